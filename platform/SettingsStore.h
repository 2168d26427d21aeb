#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>

namespace orvik {

// The program's persistent settings: one INI section per object Name, every value
// stored as text. Section and key names match without regard to case, and a write
// keeps the spelling of an entry that already exists.
//
// The settings file itself is read once and written only by sync(), through the
// program's own regular-file checks: QSettings works on a private copy, so it
// never opens a FIFO or device, never waits on a stuck lock and never replaces a
// link's target that is not a regular file.
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
    // does not convert, so a hand-damaged file never puts garbage into a field;
    // an entry that does not convert is logged with its section and key.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    int32_t readInt(const QString& section, const QString& key, int32_t defaultValue) const;
    double readDouble(const QString& section, const QString& key, double defaultValue) const;
    void writeBool(const QString& section, const QString& key, bool value);
    void writeInt(const QString& section, const QString& key, int32_t value);
    void writeDouble(const QString& section, const QString& key, double value);

    // Writes the settings to the file. False, with a log line naming the file
    // and saveError() saying why, when they could not be saved.
    bool sync();
    QString saveError() const { return saveError_; }
    // Why the file could not be read at start (empty when it could, or was absent).
    // Such a file is never saved over: what it holds may still be the user's.
    QString readError() const { return readError_; }
    // Why nothing can be saved in this run although the file was read (empty when it
    // can): the copy the settings are worked on could not be made. Changes then stay in
    // memory and a save that has any to write fails.
    QString saveRefusal() const { return saveRefusal_; }

    // Puts the bytes into the file; empty on success, else why not. Tests put a
    // failing one in place of the real write; an empty function restores it.
    using FileWriter = std::function<QString(const QString& file, const QByteArray& bytes)>;
    void setFileWriter(FileWriter writer) { writer_ = std::move(writer); }

    // How long a save waits for another instance's lock on the file.
    void setLockTimeoutMs(int milliseconds) { lockTimeoutMs_ = milliseconds; }

private:
    // Works the settings on a sealed copy in memory when no private copy on disk can be
    // made (a full or missing temporary folder); false when not even that can be made.
    bool openInMemory(const QString& why);
    QString findGroup(const QString& section) const;
    QString findKey(const QString& group, const QString& key) const;
    void reportUnusable(const QString& section, const QString& key) const;
    // Empty on success, else why the bytes could not be written.
    QString saveToFile(const QByteArray& bytes);
    // Keeps why as the save error and logs it once; false.
    bool reportSaveError(const QString& why);

    QString filePath_;
    QTemporaryDir privateFolder_;
    std::unique_ptr<QSettings> settings_;
    QByteArray onDisk_; // what the file holds as far as this store knows
    bool existed_ = false;
    QString readError_;
    QString saveRefusal_;
    int memoryCopy_ = -1;
    bool changedInMemory_ = false;
    QString saveError_;
    QString reportedError_;
    int lockTimeoutMs_ = 3000;
    FileWriter writer_;
};

} // namespace orvik
