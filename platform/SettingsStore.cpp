#include "platform/SettingsStore.h"

#include "platform/Log.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStringList>
#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace orvik {

namespace {

// Far beyond any settings file this program writes; a larger file is not ours.
constexpr int64_t kSettingsFileLimit = 16 * 1024 * 1024;

// A hand-edited value with bare commas comes back from QSettings as a list.
QString valueText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

std::optional<double> strictNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString doubleText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<long long>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : filePath_(std::move(filePath))
{
    std::vector<char> bytes;
    std::string why;
    const ReadResult result =
        readRegularFile(QFile::encodeName(filePath_).toStdString(), kSettingsFileLimit, bytes, why);
    existed_ = result != ReadResult::Missing;
    if (result == ReadResult::Refused) {
        readError_ = QString::fromLocal8Bit(why);
        AddLog(QStringLiteral("Error:SettingsStore:%1 cannot be read: %2. The program starts on the default "
                              "settings and does not save over the file.")
                   .arg(filePath_, readError_));
    }
    onDisk_ = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));

    const QString privateCopy = privateFolder_.filePath(QStringLiteral("ORVIKSDR.ini"));
    QString copyWhy;
    if (!privateFolder_.isValid()) {
        copyWhy = QStringLiteral("cannot be copied aside: no private folder can be made in %1 (%2)")
                      .arg(QDir::tempPath(), privateFolder_.errorString());
    } else if (!onDisk_.isEmpty()) {
        std::string why;
        if (!replaceRegularFile(QFile::encodeName(privateCopy).toStdString(), onDisk_.constData(),
                                static_cast<size_t>(onDisk_.size()), why))
            copyWhy = QStringLiteral("cannot be copied into %1: %2")
                          .arg(privateFolder_.path(), QString::fromLocal8Bit(why));
    }
    if (copyWhy.isEmpty() || !openInMemory(copyWhy))
        settings_ = std::make_unique<QSettings>(privateCopy, QSettings::IniFormat);

    // The next save rewrites the file from what could be read, so a hand-edited
    // line that could not be read would be gone: keep the file as it was.
    if (settings_->status() == QSettings::FormatError) {
        const QString copy = filePath_ + QStringLiteral(".unreadable");
        std::string copyWhy;
        const bool kept = replaceRegularFile(QFile::encodeName(copy).toStdString(), onDisk_.constData(),
                                             static_cast<size_t>(onDisk_.size()), copyWhy);
        AddLog(QStringLiteral("Error:SettingsStore:%1 holds lines that cannot be read; they are left out when the "
                              "settings are saved. %2")
                   .arg(filePath_, kept ? QStringLiteral("The file as it was is kept as ") + copy
                                        : QStringLiteral("It could not be copied aside.")));
    }
}

SettingsStore::~SettingsStore()
{
    sync();
}

bool SettingsStore::openInMemory(const QString& why)
{
    saveRefusal_ = QStringLiteral("the settings %1").arg(why);
    const int fd = ::memfd_create("ORVIKSDR.ini", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || !writeAllTo(fd, onDisk_.constData(), static_cast<size_t>(onDisk_.size()))
        || ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        const QString error = qt_error_string(errno);
        if (fd >= 0)
            ::close(fd);
        AddLog(QStringLiteral("Error:SettingsStore:%1, and no copy in memory either (%2). The program starts on the "
                              "default settings and does not save over %3.")
                   .arg(saveRefusal_, error, filePath_));
        return false;
    }
    // QSettings reads the sealed copy through its descriptor; its own saves there fail
    // at the lock it cannot make beside it, so what is changed stays in memory. The
    // descriptor stays open while the process runs: QSettings keeps what it read, and
    // what was changed, under the file's name, and a later store given the same
    // descriptor number would find this one's settings there.
    memoryCopy_ = fd;
    settings_ = std::make_unique<QSettings>(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::IniFormat);
    AddLog(QStringLiteral("Error:SettingsStore:%1. They are read from %2, but changes made in this run cannot be "
                          "saved.")
               .arg(saveRefusal_, filePath_));
    return true;
}

QString SettingsStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ORVIKSDR/ORVIKSDR.ini");
}

QString SettingsStore::filePath() const
{
    return filePath_;
}

QString SettingsStore::findGroup(const QString& section) const
{
    const QStringList groups = settings_->childGroups();
    for (const QString& g : groups)
        if (g.compare(section, Qt::CaseInsensitive) == 0)
            return g;
    return QString();
}

QString SettingsStore::findKey(const QString& group, const QString& key) const
{
    settings_->beginGroup(group);
    const QStringList keys = settings_->childKeys();
    settings_->endGroup();
    for (const QString& k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    return QString();
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QString group = findGroup(section);
    if (group.isEmpty())
        return defaultValue;
    const QString existing = findKey(group, key);
    if (existing.isEmpty())
        return defaultValue;
    return valueText(settings_->value(group + QLatin1Char('/') + existing));
}

bool SettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    if (section.isEmpty() || key.isEmpty())
        return false;
    QString group = findGroup(section);
    if (group.isEmpty())
        group = section;
    QString existing = findKey(group, key);
    if (memoryCopy_ >= 0 && (existing.isEmpty() || valueText(settings_->value(group + QLatin1Char('/') + existing)) != value))
        changedInMemory_ = true;
    if (existing.isEmpty())
        existing = key;
    settings_->setValue(group + QLatin1Char('/') + existing, value);
    return settings_->status() == QSettings::NoError;
}

void SettingsStore::reportUnusable(const QString& section, const QString& key) const
{
    // Only an entry that is there and holds garbage; a missing one is normal.
    const QString group = findGroup(section);
    const QString existing = group.isEmpty() ? QString() : findKey(group, key);
    if (existing.isEmpty())
        return;
    AddLog(QStringLiteral("Warning:SettingsStore:ignoring the stored value \"%1\" of %2/%3")
               .arg(logValue(valueText(settings_->value(group + QLatin1Char('/') + existing))), group, existing));
}

bool SettingsStore::readBool(const QString& section, const QString& key, bool defaultValue) const
{
    const QString text = read(section, key, QString()).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto v = strictNumber(text))
        return *v != 0.0;
    reportUnusable(section, key);
    return defaultValue;
}

int32_t SettingsStore::readInt(const QString& section, const QString& key, int32_t defaultValue) const
{
    const auto v = strictNumber(read(section, key, QString()));
    if (!v) {
        reportUnusable(section, key);
        return defaultValue;
    }
    // Stored fractions convert half to even, as the design's integer conversion does.
    const int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(*v);
    std::fesetround(oldMode);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min())
        || r > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        reportUnusable(section, key);
        return defaultValue;
    }
    return static_cast<int32_t>(r);
}

double SettingsStore::readDouble(const QString& section, const QString& key, double defaultValue) const
{
    const auto v = strictNumber(read(section, key, QString()));
    if (!v)
        reportUnusable(section, key);
    return v ? *v : defaultValue;
}

void SettingsStore::writeBool(const QString& section, const QString& key, bool value)
{
    write(section, key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

void SettingsStore::writeInt(const QString& section, const QString& key, int32_t value)
{
    write(section, key, QString::number(value));
}

void SettingsStore::writeDouble(const QString& section, const QString& key, double value)
{
    write(section, key, doubleText(value));
}

bool SettingsStore::sync()
{
    if (memoryCopy_ >= 0) {
        if (!changedInMemory_)
            return true;
        return reportSaveError(saveRefusal_);
    }
    settings_->sync();
    QByteArray bytes;
    QFile privateCopy(settings_->fileName());
    if (privateCopy.open(QIODevice::ReadOnly))
        bytes = privateCopy.readAll();

    QString why;
    if (settings_->status() != QSettings::NoError && settings_->status() != QSettings::FormatError)
        why = QStringLiteral("the settings could not be put together");
    else if (bytes == onDisk_ && (existed_ || bytes.isEmpty()))
        return saveError_.isEmpty();
    else if (!readError_.isEmpty())
        why = QStringLiteral("it could not be read at start (%1)").arg(readError_);
    else
        why = saveToFile(bytes);

    if (why.isEmpty()) {
        saveError_.clear();
        onDisk_ = bytes;
        existed_ = true;
        return true;
    }
    return reportSaveError(why);
}

bool SettingsStore::reportSaveError(const QString& why)
{
    saveError_ = why;
    if (why != reportedError_) {
        reportedError_ = why;
        AddLog(QStringLiteral("Error:SettingsStore:%1 cannot be saved: %2").arg(filePath_, why));
    }
    return false;
}

QString SettingsStore::saveToFile(const QByteArray& bytes)
{
    std::string why;
    const std::string target = regularWriteTarget(QFile::encodeName(filePath_).toStdString(), why);
    if (target.empty())
        return QString::fromLocal8Bit(why);
    const QString file = QFile::decodeName(QByteArray::fromStdString(target));
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("its folder %1 cannot be made").arg(info.absolutePath());

    // Another instance saving at the same moment holds this lock; anything but a
    // lock file in its place (a folder, a FIFO) would keep the lock from ever
    // being taken, so it is refused instead of waited on.
    const QString lockPath = file + QStringLiteral(".lock");
    const QFileInfo lockInfo(lockPath);
    if (lockInfo.exists() && !lockInfo.isFile())
        return QStringLiteral("%1 is in the way of its lock: it is not a lock file").arg(lockPath);
    QLockFile lock(lockPath);
    if (!lock.tryLock(lockTimeoutMs_))
        return lock.error() == QLockFile::LockFailedError
                   ? QStringLiteral("another program holds %1").arg(lockPath)
                   : QStringLiteral("the lock %1 cannot be made").arg(lockPath);
    if (writer_)
        return writer_(file, bytes);
    if (!replaceRegularFile(target, bytes.constData(), static_cast<size_t>(bytes.size()), why))
        return QString::fromLocal8Bit(why);
    return {};
}

} // namespace orvik
