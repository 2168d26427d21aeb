#include "tuning/SynthesizerSetup.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/ModemLines.h"
#include "platform/ParallelPort.h"
#include "platform/SettingsStore.h"
#include "tuning/clsAD9835.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"

namespace orvik {

SynthesizerRig::SynthesizerRig() = default;
SynthesizerRig::SynthesizerRig(SynthesizerRig&&) noexcept = default;

SynthesizerRig::~SynthesizerRig()
{
    release();
}

void SynthesizerRig::release()
{
    // The interfaces use the ports in their destructors, so the ports go last.
    VFO.reset();
    DDSAD9835.reset();
    DDSAD9951.reset();
    DDSSerialIF.reset();
    DDSParallelIF.reset();
    parallelPort.reset();
    serialLines.reset();
}

SynthesizerRig& SynthesizerRig::operator=(SynthesizerRig&& other) noexcept
{
    if (this == &other)
        return *this;
    release();
    serialLines = std::move(other.serialLines);
    parallelPort = std::move(other.parallelPort);
    DDSParallelIF = std::move(other.DDSParallelIF);
    DDSSerialIF = std::move(other.DDSSerialIF);
    DDSAD9951 = std::move(other.DDSAD9951);
    DDSAD9835 = std::move(other.DDSAD9835);
    VFO = std::move(other.VFO);
    IFType = other.IFType;
    EnableShaftEncoder = other.EnableShaftEncoder;
    SDRModelNo = other.SDRModelNo;
    modelKnown = other.modelKnown;
    return *this;
}

namespace {

void openSerialPort(SynthesizerRig& rig, const ModemLines& lines)
{
    if (rig.DDSSerialIF->OpenPort(rig.EnableShaftEncoder) != 0)
        return;
    messages().show(QStringLiteral("Unable to open Serial Interface ") + rig.DDSSerialIF->portName() + QLatin1Char('\n')
                        + QStringLiteral("frmMain:frmMain:Form_Load:0") + QLatin1Char('\n')
                        + QStringLiteral("Error Code=0") + QLatin1Char('\n') + QStringLiteral("Error Desc=")
                        + lines.lastError(),
                    programTitle(), MessageButtons::Ok, MessageIcon::None);
}

void wireChip(SynthesizerRig& rig, SynthDriver& chip)
{
    clsVFO& vfo = *rig.VFO;
    // The stored interface type decides; anything but parallel is the serial port.
    if (vfo.DDSInterfaceType() == 1)
        chip.setIFHandler(rig.DDSParallelIF.get());
    else
        chip.setIFHandler(rig.DDSSerialIF.get());
    chip.Initialise();
}

void setVfoDefaults(clsVFO& vfo, const QString& name, int32_t ifFrequency, bool autoUpdate)
{
    vfo.setName(name);
    vfo.setAutoUpdate(false);
    vfo.setCalibOffset(0);
    vfo.setHiSideLO(true);
    vfo.setIFFrequency(ifFrequency);
    vfo.setOscMultiplier(1);
    vfo.setTuneStep(1000);
    if (autoUpdate)
        vfo.setAutoUpdate(true);
    vfo.setDDSInterfaceType(0);
    vfo.RestoreSettings();
}

} // namespace

SynthesizerRig SetUpSynthesizer(SettingsStore& store, const QString& mainSection,
                                std::unique_ptr<ModemLines> serialLines,
                                std::unique_ptr<ParallelPort> parallelPort, ModemLineWatcher* MSComm1)
{
    SynthesizerRig rig;
    rig.serialLines = std::move(serialLines);
    rig.parallelPort = std::move(parallelPort);

    rig.DDSSerialIF = std::make_unique<clsDDSSerialIF>(store, *rig.serialLines);
    rig.DDSSerialIF->setName(QStringLiteral("DDSSerialIF"));
    rig.DDSSerialIF->setMSCommCtl(MSComm1);
    rig.DDSSerialIF->Initialise();
    rig.DDSSerialIF->RestoreSettings();

    rig.DDSParallelIF = std::make_unique<clsDDSParallelIF>(store, *rig.parallelPort);
    rig.DDSParallelIF->setName(QStringLiteral("DDSParallelIF"));
    rig.DDSParallelIF->Initialise();
    rig.DDSParallelIF->RestoreSettings();

    rig.IFType = store.readInt(mainSection, QStringLiteral("VFO1.IFType"), 0);
    rig.EnableShaftEncoder = store.readBool(mainSection, QStringLiteral("EnableShaftEncoder"), false);
    switch (rig.IFType) {
    case 0:
        openSerialPort(rig, *rig.serialLines);
        break;
    case 1:
    case 2:
        break;
    default:
        messages().show(
            QStringLiteral("Unknown DDSIFType specified in Registry - Check DDSIFType key - No interface initialised"),
            programTitle(), MessageButtons::Ok, MessageIcon::None);
        break;
    }

    rig.VFO = std::make_unique<clsVFO>(store);
    rig.SDRModelNo = store.readInt(mainSection, QStringLiteral("SDRModelNo"), 0);
    if (rig.SDRModelNo == 0) {
        rig.DDSAD9951 = std::make_unique<clsAD9951>();
        rig.VFO->setOscType(rig.DDSAD9951.get());
        setVfoDefaults(*rig.VFO, QStringLiteral("VFO1.VESKA"), 45000000, true);
        rig.DDSAD9951->setName(QStringLiteral("DDSAD9951"));
        // Eight times the IF plus a quarter of the 48 kHz sampling rate, so a
        // restored IF moves the clock with it, unless a calibration was stored.
        rig.DDSAD9951->setClkIn(StoredClock(store, rig.DDSAD9951->Name())
                                    .value_or((48000.0 / 4 + rig.VFO->IFFrequency()) * 8));
        wireChip(rig, *rig.DDSAD9951);
        rig.modelKnown = true;
    } else if (rig.SDRModelNo == 1) {
        rig.DDSAD9835 = std::make_unique<clsAD9835>(store);
        rig.VFO->setOscType(rig.DDSAD9835.get());
        setVfoDefaults(*rig.VFO, QStringLiteral("VFO1.ElektorDRM"), 455000, false);
        rig.DDSAD9835->setName(QStringLiteral("DDSAD9835"));
        rig.DDSAD9835->setClkIn(50000000);
        wireChip(rig, *rig.DDSAD9835);
        rig.modelKnown = true;
    } else {
        AddLog(QStringLiteral("Unknown SDRModelNo ") + QString::number(rig.SDRModelNo)
               + QStringLiteral(" - no synthesizer set up"));
    }
    return rig;
}

} // namespace orvik
