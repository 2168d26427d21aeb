#include "bands/modBandPlan.h"

#include "bands/IniDocument.h"
#include "bands/modIniFiles.h"
#include "common/Numeric.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"

#include <QElapsedTimer>
#include <charconv>
#include <cmath>
#include <limits>

namespace orvik {

namespace {

QString text(int32_t value) { return QString::fromStdString(NumberToText(value)); }
QString text(bool value) { return QString::fromStdString(BoolToText(value)); }

// A flag that is set for one scope and cleared however the scope ends.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

QString firstCharacters(const QString& value, qsizetype count)
{
    if (value.size() <= count)
        return value;
    if (count > 0 && value[count - 1].isHighSurrogate())
        --count;
    return value.left(count);
}

// Nested load and save calls only meet when window events run inside one of
// them; the outer call cannot finish while the inner one waits, so give up
// rather than hang.
constexpr qint64 kBusyWaitLimitMs = 5000;

} // namespace

QString FloatToText(float value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15f)
        return QString::number(static_cast<qint64>(value));
    char buffer[128];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// Holds the file being loaded or saved in memory so that each key costs a
// lookup instead of a read of the whole file.
class modBandPlan::OpenDocument {
public:
    OpenDocument(modBandPlan& owner, const QString& file, IniDocument& document, const char* routine)
        : owner_(owner)
    {
        owner_.warned_.clear();
        owner_.document_ = &document;
        owner_.documentFile_ = file;
        owner_.routine_ = routine;
    }
    ~OpenDocument()
    {
        owner_.document_ = nullptr;
        owner_.documentFile_.clear();
    }
    OpenDocument(const OpenDocument&) = delete;
    OpenDocument& operator=(const OpenDocument&) = delete;

private:
    modBandPlan& owner_;
};

bool modBandPlan::waitUntilIdle(const char* routine)
{
    QElapsedTimer waited;
    waited.start();
    while (BandPlanBusy) {
        if (waited.elapsed() > kBusyWaitLimitMs) {
            AddLog(QStringLiteral("Error:modBandPlan:%1:another band-plan load or save is still running")
                       .arg(QLatin1String(routine)));
            return false;
        }
        pumpEvents();
    }
    return true;
}

bool modBandPlan::InitBandPlan(BandPlan& band)
{
    const QString when = now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const int32_t alloc = std::max<int32_t>(band.NumSubBandsAlloc, 0);
    const int32_t presets = std::max<int32_t>(band.PresetsPerSubBand, 0);
    band.NumSubBands = alloc - 1;
    band.SubBands.assign(static_cast<size_t>(alloc) + 1, SubBand{});
    for (int32_t i = 0; i <= alloc; ++i) {
        SubBand& sb = band.SubBands[static_cast<size_t>(i)];
        sb.Name = band.Name + QStringLiteral(".SubBand(%1)").arg(i);
        sb.Index = i;
        sb.NumPresets = presets;
        sb.MaxPresets = presets;
        sb.Caption = QStringLiteral("S%1").arg(i + 1);
        sb.Description = QStringLiteral("SubBand #%1").arg(i + 1);
        sb.ActivePreset = -1;
        sb.Settings.FreqCurrent = -1;
        sb.FreqMax = -1;
        sb.FreqMin = -1;
        sb.HasRange = false;
        sb.Selected = false;
        sb.Presets.assign(static_cast<size_t>(presets) + 1, Preset{});
        for (int32_t p = 0; p <= presets; ++p) {
            Preset& preset = sb.Presets[static_cast<size_t>(p)];
            preset.Name = sb.Name + QStringLiteral(".Preset(%1)").arg(p);
            preset.Caption = QStringLiteral("P%1").arg(p + 1);
            preset.Description = QStringLiteral("Preset%1").arg(p + 1);
            preset.Index = p;
            preset.When = when;
            preset.Active = false;
            preset.Settings.DemodMode = 0;
            preset.Settings.FilterMode = 0;
            preset.Settings.HiSideLO = false;
            preset.Settings.FreqCurrent = -1;
        }
    }
    return true;
}

void modBandPlan::warn(const QString& key, const QString& value, const QString& why)
{
    const QString where = CurrentFile + u'\n' + CurrentSection.toCaseFolded() + u'\n' + key.toCaseFolded();
    if (warned_.contains(where))
        return;
    warned_.insert(where);
    AddLog(QStringLiteral("modBandPlan:%1:%2 [%3] %4=\"%5\" %6")
               .arg(QLatin1String(routine_), CurrentFile, CurrentSection, key, logValue(value), why));
}

void modBandPlan::readText(const QString& key, QString& field, qsizetype keep)
{
    const QString value = ReadBandPlanKey(key, field);
    field = keep >= 0 ? firstCharacters(value, keep) : value;
}

void modBandPlan::readInt(const QString& key, int32_t& field, int32_t defaultValue)
{
    const QString value = ReadBandPlanKey(key, text(defaultValue));
    if (const auto number = ParseInt32(value.toStdString()))
        field = *number;
    else
        warn(key, value, QStringLiteral("is not a whole number; kept %1").arg(field));
}

void modBandPlan::readBool(const QString& key, bool& field, bool defaultValue)
{
    const QString value = ReadBandPlanKey(key, text(defaultValue));
    if (const auto flag = ParseBool(value.toStdString()))
        field = *flag;
    else
        warn(key, value, QStringLiteral("is not True or False; kept %1").arg(text(field)));
}

void modBandPlan::readFloat(const QString& key, float& field, float defaultValue)
{
    const QString value = ReadBandPlanKey(key, FloatToText(defaultValue));
    const auto number = ParseNumber(value.toStdString());
    if (number && std::isfinite(*number) &&
        std::fabs(*number) <= static_cast<double>(std::numeric_limits<float>::max()))
        field = static_cast<float>(*number);
    else
        warn(key, value, QStringLiteral("is not a number; kept %1").arg(FloatToText(field)));
}

void modBandPlan::readFrequency(const QString& key, int32_t& field)
{
    const int32_t before = field;
    readInt(key, field);
    if (field > kLargestFrequency || field < -kLargestFrequency) {
        warn(key, text(field), QStringLiteral("is out of range; kept %1").arg(before));
        field = before;
    }
}

QString modBandPlan::ReadBandPlanKey(const QString& key, const QString& defaultValue)
{
    if (document_ && documentFile_ == CurrentFile)
        return ReadIniString(*document_, CurrentSection, key, defaultValue, 0);
    return ReadIniString(CurrentSection, key, defaultValue, CurrentFile, 0);
}

bool modBandPlan::WriteBandPlanKey(const QString& key, const QString& value)
{
    if (document_ && documentFile_ == CurrentFile) {
        if (document_->setValue(CurrentSection, key, value))
            return true;
        AddLog(QStringLiteral("Error:modBandPlan:%1:%2 [%3] key \"%4\" cannot be written")
                   .arg(QLatin1String(routine_), CurrentFile, CurrentSection, key));
        return false;
    }
    return WriteIniString(CurrentSection, key, value, CurrentFile);
}

bool modBandPlan::WriteBandPlanKey(const QString& key, int32_t value) { return WriteBandPlanKey(key, text(value)); }
bool modBandPlan::WriteBandPlanKey(const QString& key, bool value) { return WriteBandPlanKey(key, text(value)); }
bool modBandPlan::WriteBandPlanKey(const QString& key, float value) { return WriteBandPlanKey(key, FloatToText(value)); }

void modBandPlan::ReadPresetSettings(RxSettings& block)
{
    block.Captured = false;
    readInt(QStringLiteral("DemodMode"), block.DemodMode);
    readFrequency(QStringLiteral("FreqCurrent"), block.FreqCurrent);
    readBool(QStringLiteral("LowSideLO"), block.LowSideLO);
    readInt(QStringLiteral("TuneStep"), block.TuneStep, 1000);
    readInt(QStringLiteral("FilterMode"), block.FilterMode);
    readInt(QStringLiteral("FilterHi"), block.FilterHi, -1);
    readInt(QStringLiteral("FilterLo"), block.FilterLo, -1);
    readBool(QStringLiteral("MusicModeActive"), block.MusicModeActive, false);
    readBool(QStringLiteral("DynFilterActive"), block.DynFilterActive, false);
    readBool(QStringLiteral("IFFilterActive"), block.IFFilterActive, false);
    readInt(QStringLiteral("IFFilterMode"), block.IFFilterMode, 2);
    readInt(QStringLiteral("IFFilterHi"), block.IFFilterHi, 4500);
    readInt(QStringLiteral("IFFilterLo"), block.IFFilterLo, 50);
    readBool(QStringLiteral("AGCOn"), block.AGCOn, true);
    readInt(QStringLiteral("AGCMode"), block.AGCMode, 2);
    readFloat(QStringLiteral("AGCAttack"), block.AGCAttack, 10);
    readFloat(QStringLiteral("AGCDecay"), block.AGCDecay, 10);
    readBool(QStringLiteral("NotchActive"), block.NotchActive, false);
    readInt(QStringLiteral("NotchMode"), block.NotchMode, 1);
    readInt(QStringLiteral("NotchType"), block.NotchType, 0);
    readInt(QStringLiteral("NotchFilterCenter"), block.NotchFilterCenter, 1000);
    readInt(QStringLiteral("NotchFilterWidth"), block.NotchFilterWidth, 100);
    if (block.NotchFilterWidth > 12999)
        block.NotchFilterWidth = 100;
    readFloat(QStringLiteral("OutputAttenuation"), block.OutputAttenuation, 0);
}

bool modBandPlan::WritePresetSettings(const RxSettings& block)
{
    if (!block.Captured && !imageOnly_)
        return true;
    bool ok = true;
    ok &= WriteBandPlanKey(QStringLiteral("DemodMode"), block.DemodMode);
    ok &= WriteBandPlanKey(QStringLiteral("FreqCurrent"), block.FreqCurrent);
    ok &= WriteBandPlanKey(QStringLiteral("LowSideLO"), block.LowSideLO);
    ok &= WriteBandPlanKey(QStringLiteral("TuneStep"), block.TuneStep);
    ok &= WriteBandPlanKey(QStringLiteral("MusicModeActive"), block.MusicModeActive);
    ok &= WriteBandPlanKey(QStringLiteral("DynFilterActive"), block.DynFilterActive);
    ok &= WriteBandPlanKey(QStringLiteral("IFFilterActive"), block.IFFilterActive);
    ok &= WriteBandPlanKey(QStringLiteral("IFFilterMode"), block.IFFilterMode);
    ok &= WriteBandPlanKey(QStringLiteral("IFFilterHi"), block.IFFilterHi);
    ok &= WriteBandPlanKey(QStringLiteral("IFFilterLo"), block.IFFilterLo);
    ok &= WriteBandPlanKey(QStringLiteral("FilterMode"), block.FilterMode);
    ok &= WriteBandPlanKey(QStringLiteral("FilterHi"), block.FilterHi);
    ok &= WriteBandPlanKey(QStringLiteral("FilterLo"), block.FilterLo);
    ok &= WriteBandPlanKey(QStringLiteral("AGCOn"), block.AGCOn);
    ok &= WriteBandPlanKey(QStringLiteral("AGCMode"), block.AGCMode);
    ok &= WriteBandPlanKey(QStringLiteral("AGCAttack"), block.AGCAttack);
    ok &= WriteBandPlanKey(QStringLiteral("AGCDecay"), block.AGCDecay);
    ok &= WriteBandPlanKey(QStringLiteral("NotchActive"), block.NotchActive);
    ok &= WriteBandPlanKey(QStringLiteral("NotchMode"), block.NotchMode);
    ok &= WriteBandPlanKey(QStringLiteral("NotchType"), block.NotchType);
    ok &= WriteBandPlanKey(QStringLiteral("NotchFilterCenter"), block.NotchFilterCenter);
    ok &= WriteBandPlanKey(QStringLiteral("NotchFilterWidth"), block.NotchFilterWidth);
    ok &= WriteBandPlanKey(QStringLiteral("OutputAttenuation"), block.OutputAttenuation);
    return ok;
}

bool modBandPlan::LoadBandPlan(BandPlan& band)
{
    if (!waitUntilIdle("LoadBandPlan")) {
        band.LoadFailed = true; // its records were never read, so they must not be saved
        return false;
    }
    FlagScope busy(BandPlanBusy);

    IniFileContents contents = LoadIniFile(band.FileName);
    if (!contents.readable) {
        band.LoadFailed = true;
        AddLog(QStringLiteral("Error:modBandPlan:LoadBandPlan:%1 cannot be read: %2")
                   .arg(band.FileName, contents.error));
        return false;
    }
    band.LoadFailed = false;
    if (band.SubBands.size() != static_cast<size_t>(std::max(band.NumSubBandsAlloc, 0)) + 1)
        InitBandPlan(band);
    {
        OpenDocument open(*this, band.FileName, contents.document, "LoadBandPlan");
        readRecords(band);
    }
    storedImages_.insert(band.FileName, recordsImage(band));
    return true;
}

void modBandPlan::readRecords(BandPlan& band)
{
    const int32_t lastSlot = static_cast<int32_t>(band.SubBands.size()) - 1;
    CurrentFile = band.FileName;
    CurrentSection = QStringLiteral("MainBand");
    readText(QStringLiteral("Caption"), band.Caption);
    readText(QStringLiteral("Description"), band.Description);
    readBool(QStringLiteral("Active"), band.Active);
    if (band.Active)
        CurrentMainBandIndex = band.Index;
    readInt(QStringLiteral("ActiveSubBand"), band.ActiveSubBand);
    readInt(QStringLiteral("NumSubBands"), band.NumSubBands);
    if (band.NumSubBands < 0 || band.NumSubBands > lastSlot) {
        const int32_t clamped = std::clamp(band.NumSubBands, 0, lastSlot);
        warn(QStringLiteral("NumSubBands"), text(band.NumSubBands),
             QStringLiteral("is out of range; using %1").arg(clamped));
        band.NumSubBands = clamped;
    }
    if (band.ActiveSubBand != 0 && (band.ActiveSubBand < 0 || band.ActiveSubBand >= band.NumSubBands)) {
        warn(QStringLiteral("ActiveSubBand"), text(band.ActiveSubBand),
             QStringLiteral("is not a sub-band shown; using 0"));
        band.ActiveSubBand = 0;
    }

    for (int32_t i = 0; i <= band.NumSubBands; ++i) {
        SubBand& sb = band.SubBands[static_cast<size_t>(i)];
        CurrentSection = QStringLiteral("SubBand.%1").arg(i);
        readText(QStringLiteral("Caption"), sb.Caption, 6);
        readText(QStringLiteral("Description"), sb.Description);
        readInt(QStringLiteral("ActivePreset"), sb.ActivePreset);
        if (sb.ActivePreset < -1 || sb.ActivePreset >= band.PresetsPerSubBand) {
            warn(QStringLiteral("ActivePreset"), text(sb.ActivePreset),
                 QStringLiteral("is not a preset button; using -1"));
            sb.ActivePreset = -1;
        }
        readInt(QStringLiteral("FreqMin"), sb.FreqMin);
        readInt(QStringLiteral("FreqMax"), sb.FreqMax);
        readFrequency(QStringLiteral("FreqCurrent"), sb.Settings.FreqCurrent);
        sb.HasRange = !(sb.FreqMax < 0 && sb.FreqMin < 0 && sb.Settings.FreqCurrent < 0);
        ReadPresetSettings(sb.Settings);
        if (!sb.HasRange)
            continue;
        const int32_t presets = std::min<int32_t>(band.PresetsPerSubBand, static_cast<int32_t>(sb.Presets.size()));
        for (int32_t p = 0; p < presets; ++p) {
            Preset& preset = sb.Presets[static_cast<size_t>(p)];
            CurrentSection = QStringLiteral("Preset.%1.%2").arg(i).arg(p);
            readText(QStringLiteral("Caption"), preset.Caption, 7);
            readText(QStringLiteral("Description"), preset.Description);
            readBool(QStringLiteral("Active"), preset.Active);
            readText(QStringLiteral("When"), preset.When);
            ReadPresetSettings(preset.Settings);
        }
    }
}

bool modBandPlan::writeRecords(const BandPlan& band)
{
    bool ok = true;
    CurrentFile = band.FileName;
    CurrentSection = QStringLiteral("MainBand");
    ok &= WriteBandPlanKey(QStringLiteral("Index"), band.Index);
    ok &= WriteBandPlanKey(QStringLiteral("Name"), band.Name);
    ok &= WriteBandPlanKey(QStringLiteral("Caption"), band.Caption);
    ok &= WriteBandPlanKey(QStringLiteral("Description"), band.Description);
    if (!imageOnly_)
        ok &= WriteBandPlanKey(QStringLiteral("Active"), band.Active);
    ok &= WriteBandPlanKey(QStringLiteral("ActiveSubBand"), band.ActiveSubBand);
    ok &= WriteBandPlanKey(QStringLiteral("NumSubBands"), band.NumSubBands);

    const int32_t last = std::min<int32_t>(band.NumSubBands, static_cast<int32_t>(band.SubBands.size()) - 1);
    for (int32_t i = 0; i <= last; ++i) {
        const SubBand& sb = band.SubBands[static_cast<size_t>(i)];
        CurrentSection = QStringLiteral("SubBand.%1").arg(i);
        ok &= WriteBandPlanKey(QStringLiteral("Index"), sb.Index);
        ok &= WriteBandPlanKey(QStringLiteral("Name"), sb.Name);
        ok &= WriteBandPlanKey(QStringLiteral("Caption"), sb.Caption);
        ok &= WriteBandPlanKey(QStringLiteral("Description"), sb.Description);
        ok &= WriteBandPlanKey(QStringLiteral("NumPresets"), sb.NumPresets);
        ok &= WriteBandPlanKey(QStringLiteral("ActivePreset"), sb.ActivePreset);
        ok &= WriteBandPlanKey(QStringLiteral("FreqMin"), sb.FreqMin);
        ok &= WriteBandPlanKey(QStringLiteral("FreqMax"), sb.FreqMax);
        ok &= WritePresetSettings(sb.Settings);
        const int32_t presets = std::min<int32_t>(sb.MaxPresets, static_cast<int32_t>(sb.Presets.size()));
        for (int32_t p = 0; p < presets; ++p) {
            const Preset& preset = sb.Presets[static_cast<size_t>(p)];
            CurrentSection = QStringLiteral("Preset.%1.%2").arg(i).arg(p);
            if (preset.Settings.FreqCurrent <= 0)
                continue;
            ok &= WriteBandPlanKey(QStringLiteral("Index"), preset.Index);
            ok &= WriteBandPlanKey(QStringLiteral("Name"), preset.Name);
            ok &= WriteBandPlanKey(QStringLiteral("Caption"), preset.Caption);
            ok &= WriteBandPlanKey(QStringLiteral("Description"), preset.Description);
            ok &= WriteBandPlanKey(QStringLiteral("Active"), preset.Active);
            ok &= WriteBandPlanKey(QStringLiteral("When"), preset.When);
            ok &= WritePresetSettings(preset.Settings);
        }
    }
    return ok;
}

QByteArray modBandPlan::recordsImage(const BandPlan& band)
{
    IniDocument image;
    FlagScope imageOnly(imageOnly_);
    OpenDocument open(*this, band.FileName, image, "SaveBandPlan");
    writeRecords(band);
    return image.toBytes();
}

bool modBandPlan::BandPlanChanged(const BandPlan& band)
{
    const auto stored = storedImages_.constFind(band.FileName);
    return stored == storedImages_.constEnd() || *stored != recordsImage(band);
}

bool modBandPlan::failSave(const QString& file, const QString& why, const QString& logText)
{
    saveError_ = why;
    AddLog(QStringLiteral("Error:modBandPlan:SaveBandPlan:%1 %2").arg(file, logText));
    return false;
}

bool modBandPlan::SaveBandPlan(BandPlan& band)
{
    if (band.LoadFailed)
        return failSave(band.FileName, QStringLiteral("it could not be read at start"),
                        QStringLiteral("not saved: it could not be read at start"));
    if (!waitUntilIdle("SaveBandPlan")) {
        saveError_ = QStringLiteral("another band-plan load or save is still running");
        return false;
    }
    FlagScope busy(BandPlanBusy);

    // Start from the file as it is now, so that sections and keys we do not
    // write survive.
    IniFileContents contents = LoadIniFile(band.FileName);
    if (!contents.readable)
        return failSave(band.FileName, contents.error, QStringLiteral("cannot be read: ") + contents.error);
    const QByteArray before = contents.document.toBytes();
    bool ok = true;
    {
        OpenDocument open(*this, band.FileName, contents.document, "SaveBandPlan");
        ok = writeRecords(band);
    }

    const QByteArray after = contents.document.toBytes();
    if (!contents.exists || after != before) {
        QString error;
        if (!SaveIniFile(band.FileName, after, true, &error))
            return failSave(band.FileName, error, QStringLiteral("cannot be written: ") + error);
    }
    storedImages_.insert(band.FileName, recordsImage(band));
    if (!ok)
        saveError_ = QStringLiteral("some keys could not be written");
    return ok;
}

void modBandPlan::reportUnsaved(const QStringList& lines, const QString& productName, const QString& consequence)
{
    messages().show(consequence + QStringLiteral(":\n") + lines.join(u'\n'),
                    productName + QStringLiteral(" - Band plan not saved"), MessageButtons::Ok, MessageIcon::Warning);
}

QStringList modBandPlan::SaveBandPlans(const QString& productName)
{
    QStringList lost;
    QStringList lines;
    for (BandPlan& band : BandPlans) {
        const bool changed = BandPlanChanged(band);
        if (!SaveBandPlan(band) && changed) {
            lost.append(band.FileName);
            lines.append(band.FileName + QStringLiteral(": ") + saveError_);
        }
    }
    if (!lost.isEmpty())
        reportUnsaved(lines, productName,
                      QStringLiteral("These band plans could not be saved; your changes to them are lost"));
    return lost;
}

bool modBandPlan::SaveBandPlanAfterStore(BandPlan& band, const QString& productName)
{
    if (SaveBandPlan(band))
        return true;
    reportUnsaved({band.FileName + QStringLiteral(": ") + saveError_}, productName,
                  QStringLiteral("This band plan could not be saved now; what you stored is kept, and the save is "
                                 "tried again when the program closes"));
    return false;
}

} // namespace orvik
