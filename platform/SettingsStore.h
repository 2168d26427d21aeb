#pragma once

#include <QSettings>
#include <QString>
#include <cstdint>
#include <memory>

namespace orvik {

// The program's persistent settings: one INI section per object Name, every value
// stored as text. Section and key names match without regard to case, and a write
// keeps the spelling of an entry that already exists.
class SettingsStore {
public:
    explicit SettingsStore(QString filePath = defaultPath());
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // $XDG_CONFIG_HOME/ORVIKSDR/ORVIKSDR.ini (~/.config when the variable is unset).
    static QString defaultPath();
    QString filePath() const;

    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    bool write(const QString& section, const QString& key, const QString& value);

    // Typed reads fall back to the default when the entry is missing or its text
    // does not convert, so a hand-damaged file never puts garbage into a field.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    int32_t readInt(const QString& section, const QString& key, int32_t defaultValue) const;
    double readDouble(const QString& section, const QString& key, double defaultValue) const;
    void writeBool(const QString& section, const QString& key, bool value);
    void writeInt(const QString& section, const QString& key, int32_t value);
    void writeDouble(const QString& section, const QString& key, double value);

    bool sync();

private:
    QString findGroup(const QString& section) const;
    QString findKey(const QString& group, const QString& key) const;

    std::unique_ptr<QSettings> settings_;
};

} // namespace orvik
