#pragma once

#include "bands/BandPlan.h"
#include "bands/RxSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
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

    // SaveBandPlan for every band in order, as the program closes. One message names
    // the bands that could not be saved and held changes (BandPlanChanged); a band
    // without changes that cannot be written loses nothing and is only logged.
    // Returns the files of the bands named.
    QStringList SaveBandPlans(const QString& productName);

    // SaveBandPlan at once for a band the operator has just stored something in, so
    // that it survives a crash. When that fails the operator is told; the records stay
    // as they are, and the save is tried again at close.
    bool SaveBandPlanAfterStore(BandPlan& band, const QString& productName);

    // True when the records hold something their file did not at the last load or
    // save: anything SaveBandPlan writes, settings blocks compared by value whether
    // captured or not, but for the band's Active mark, which only says the band was
    // selected once (the settings keep the band in use). True for a band never
    // loaded or saved here.
    bool BandPlanChanged(const BandPlan& band);

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

    // Reads the records from the open document.
    void readRecords(BandPlan& band);
    // Writes the records into the open document.
    bool writeRecords(const BandPlan& band);
    // What BandPlanChanged compares: the records written into an empty document.
    QByteArray recordsImage(const BandPlan& band);
    bool failSave(const QString& file, const QString& why, const QString& logText);
    void reportUnsaved(const QStringList& lines, const QString& productName, const QString& consequence);

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
    bool imageOnly_ = false; // writing recordsImage: every block, no Active mark
    QHash<QString, QByteArray> storedImages_; // by FileName: the records as their file held them
    QString saveError_; // why the last SaveBandPlan that failed did
};

// Shortest text that reads back to the same 32-bit float; whole values plain.
QString FloatToText(float value);

} // namespace orvik
