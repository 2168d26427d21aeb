#include "tuning/clsAD9835.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "tuning/SynthPortInterface.h"

namespace orvik {

namespace {
const QString clockKeyWritten = QStringLiteral("CLKIn");
constexpr double defaultClock = 50000000.0;
} // namespace

clsAD9835::clsAD9835(SettingsStore& store)
    : SynthDriver(QStringLiteral("clsAD9835"), 0.0)
    , store_(store)
{
    setClkIn(defaultClock);
    loadStoredClock(Name_);
}

clsAD9835::~clsAD9835()
{
    SaveSettings();
}

void clsAD9835::SaveSettings()
{
    store_.write(Name_, clockKeyWritten, QString::fromStdString(NumberToText(ClkIn())));
}

void clsAD9835::loadStoredClock(const QString& section)
{
    // No stored clock is the board's 50 MHz; an unusable one keeps the clock in force.
    if (const auto clock = StoredClock(store_, section, defaultClock))
        setClkIn(*clock);
}

int32_t clsAD9835::Initialise()
{
    if (initialising_)
        return 0;
    initialising_ = true;
    loadStoredClock(Name_);
    initialising_ = false;
    return 0;
}

bool clsAD9835::reportMissingInterface()
{
    if (IFHandler_) {
        interfaceMissingReported_ = false;
        return false;
    }
    if (!interfaceMissingReported_) {
        interfaceMissingReported_ = true;
        messages().show(Name_ + QStringLiteral(": no interface object - assign an object that handles the ")
                            + QStringLiteral("interface to IFHandler"),
                        programTitle(), MessageButtons::Ok, MessageIcon::None);
    }
    return true;
}

void clsAD9835::sendFrame(uint16_t word)
{
    IFHandler_->IOUPD(0);
    IFHandler_->Out8(static_cast<uint8_t>(word >> 8));
    IFHandler_->Out8(static_cast<uint8_t>(word & 0xFF));
    IFHandler_->IOUPD(1);
}

int32_t clsAD9835::SetFrequency(int32_t FrequencyToSet)
{
    const int32_t f = clampFrequency(FrequencyToSet);
    if (settingFrequency_ || CMDOutActive_) {
        pendingFrequency_ = FrequencyToSet;
        return f;
    }
    if (tuningFactor_ <= 0) {
        showClockMessage();
        return f;
    }
    CurrentTuningWord_ = TuningWordFor(f);
    if (reportMissingInterface())
        return f;

    settingFrequency_ = true;
    CMDOutActive_ = true;
    const auto word = static_cast<uint32_t>(CurrentTuningWord_);
    const uint32_t high = word >> 16;
    const uint32_t low = word & 0xFFFF;
    sendFrame(0xF800);                                        // sleep, reset, clear
    sendFrame(static_cast<uint16_t>(0x3000 | (low & 0xFF)));  // bits 7..0 to defer register
    sendFrame(static_cast<uint16_t>(0x2100 | (low >> 8)));    // bits 15..0 of FREQ0
    sendFrame(static_cast<uint16_t>(0x3200 | (high & 0xFF))); // bits 23..16 to defer register
    sendFrame(static_cast<uint16_t>(0x2300 | (high >> 8)));   // bits 31..16 of FREQ0
    sendFrame(0x8000);                                        // sync and source select cleared
    sendFrame(0xC000);                                        // sleep, reset, clear released
    CMDOutActive_ = false;
    settingFrequency_ = false;
    sendPendingFrequency();
    return f;
}

void clsAD9835::Refresh()
{
    if (CMDOutActive_)
        return;
    if (reportMissingInterface())
        return;
    CMDOutActive_ = true;
    IFHandler_->Out16(static_cast<int16_t>(0xF800));
    IFHandler_->Out16(static_cast<int16_t>(0xC000));
    IFHandler_->Out16(static_cast<int16_t>(0xA000));
    // The word sender's last command is always empty, so an empty frame ends it.
    IFHandler_->IOUPD(0);
    IFHandler_->IOUPD(1);
    CMDOutActive_ = false;
    sendPendingFrequency();
}

} // namespace orvik
