#pragma once

#include "bands/BandPlan.h"
#include "bands/RxSettings.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvik {

class IniDocument;

// The band plans of the program and the routines that read and write their
// ".bpl" files. The application owns one instance; the band, sub-band and
// preset controls take a reference to it.
class modBandPlan {
public:
    static constexpr int32_t kSubBandButtons = 18;
    static constexpr int32_t kPresetButtons = 12;
    // FreqCurrent is multiplied by ten into the VFO's tenths of a hertz.
    static constexpr int32_t kLargestFrequency = 214748364;

    std::vector<BandPlan> BandPlans;
    int32_t CurrentMainBandIndex = 0;
    bool BandPlanBusy = false;
    QString CurrentSection;
    QString CurrentFile;

    // Time source for the default "When" of fresh presets.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    // Sizes and defaults the records from NumSubBandsAlloc and PresetsPerSubBand.
    bool InitBandPlan(BandPlan& band);

    // Reads band.FileName into the records. A missing file leaves the defaults.
    // Values that do not convert, or lie outside what the program can index,
    // are logged with file, section and key. False (and band.LoadFailed) when
    // the file exists but cannot be read.
    bool LoadBandPlan(BandPlan& band);

    // Writes the records into band.FileName, keeping every section and key the
    // program does not write. The file is replaced atomically and the previous
    // one kept as "<file>.bak". False, logged, and the file untouched when it
    // cannot be written or when it failed to load.
    bool SaveBandPlan(BandPlan& band);

    // SaveBandPlan for every band in order; when any fails, one message naming
    // the files. Returns the files that could not be saved.
    QStringList SaveBandPlans(const QString& productName);

    // One key of CurrentSection of CurrentFile.
    bool WriteBandPlanKey(const QString& key, const QString& value);
    // Without this a string literal would pick the bool overload.
    bool WriteBandPlanKey(const QString& key, const char* value) { return WriteBandPlanKey(key, QString::fromUtf8(value)); }
    bool WriteBandPlanKey(const QString& key, int32_t value);
    bool WriteBandPlanKey(const QString& key, bool value);
    bool WriteBandPlanKey(const QString& key, float value);
    QString ReadBandPlanKey(const QString& key, const QString& defaultValue);

    // The 23 settings keys of a sub-band or preset section.
    void ReadPresetSettings(RxSettings& block);
    // Writes nothing unless block.Captured.
    bool WritePresetSettings(const RxSettings& block);

private:
    class OpenDocument;

    bool waitUntilIdle(const char* routine);
    void warn(const QString& key, const QString& text, const QString& why);
    void readText(const QString& key, QString& field, qsizetype keep = -1);
    void readInt(const QString& key, int32_t& field, int32_t defaultValue);
    void readInt(const QString& key, int32_t& field) { readInt(key, field, field); }
    void readBool(const QString& key, bool& field, bool defaultValue);
    void readBool(const QString& key, bool& field) { readBool(key, field, field); }
    void readFloat(const QString& key, float& field, float defaultValue);
    void readFrequency(const QString& key, int32_t& field);

    IniDocument* document_ = nullptr; // the file being loaded or saved, held in memory
    QString documentFile_;
    const char* routine_ = "LoadBandPlan";
    QSet<QString> warned_; // "FreqCurrent" is read twice per section; report it once
};

// Shortest text that reads back to the same 32-bit float; whole values plain.
QString FloatToText(float value);

} // namespace orvik
