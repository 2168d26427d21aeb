#include "bands/modIniFiles.h"

#include "platform/Log.h"
#include "platform/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik {

QString IniField(const QString& text, int32_t field)
{
    qsizetype length = std::min(text.size(), kIniValueLimit);
    // Never leave half of a surrogate pair at the cut.
    if (length < text.size() && length > 0 && text[length - 1].isHighSurrogate())
        --length;
    QString s = text.left(length);
    if (s.isEmpty() || field == 0)
        return s;
    if (field < 0)
        return {};
    for (int32_t skip = 1; skip < field; ++skip) {
        const qsizetype comma = s.indexOf(u',');
        if (comma < 0)
            return {};
        s.remove(0, comma + 1);
    }
    const qsizetype comma = s.indexOf(u',');
    return comma < 0 ? s : s.left(comma);
}

QString ReadIniString(const IniDocument& document, const QString& section, const QString& key,
                      const QString& defaultValue, int32_t field)
{
    return IniField(document.value(section, key).value_or(defaultValue), field);
}

QString ReadIniString(const QString& section, const QString& key, const QString& defaultValue,
                      const QString& file, int32_t field)
{
    const IniFileContents contents = LoadIniFile(file);
    return ReadIniString(contents.document, section, key, defaultValue, field);
}

bool WriteIniString(const QString& section, const QString& key, const QString& value,
                    const QString& file)
{
    IniFileContents contents = LoadIniFile(file);
    if (!contents.readable) {
        AddLog(QStringLiteral("Error:WriteIniString:%1 cannot be read: %2").arg(file, contents.error));
        return false;
    }
    if (!contents.document.setValue(section, key, value))
        return false;
    QString error;
    if (!SaveIniFile(file, contents.document.toBytes(), false, &error)) {
        AddLog(QStringLiteral("Error:WriteIniString:%1 cannot be written: %2").arg(file, error));
        return false;
    }
    return true;
}

IniFileContents LoadIniFile(const QString& file)
{
    IniFileContents contents;
    std::vector<char> bytes;
    std::string why;
    switch (readRegularFile(QFile::encodeName(file).toStdString(), kIniFileSizeLimit, bytes, why)) {
    case ReadResult::Missing:
        contents.readable = true;
        return contents;
    case ReadResult::Refused:
        contents.exists = true;
        contents.error = QString::fromLocal8Bit(why);
        return contents;
    case ReadResult::Read:
        break;
    }
    contents.exists = true;
    contents.document = IniDocument::fromBytes(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    contents.readable = true;
    return contents;
}

namespace {

bool keepBackupOf(const QString& file)
{
    const QString backup = file + QStringLiteral(".bak");
    if (QFileInfo::exists(backup) && !QFile::remove(backup))
        return false;
    // A hard link costs nothing and keeps the old bytes under the new name even
    // if we are stopped before the rename.
    if (::link(QFile::encodeName(file).constData(), QFile::encodeName(backup).constData()) == 0)
        return true;
    return QFile::copy(file, backup);
}

} // namespace

namespace {

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

mode_t modeForNewFile()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool SaveIniFile(const QString& linkedFile, const QByteArray& bytes, bool keepBackup, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // A file kept elsewhere and linked into the folder is written where it lives;
    // renaming over the link would cut it off from the file the user keeps. A link
    // to anything but a regular file is refused: a device must never be replaced.
    std::string why;
    const std::string target = regularWriteTarget(QFile::encodeName(linkedFile).toStdString(), why);
    if (target.empty())
        return fail(QString::fromLocal8Bit(why));
    const QString file = QFile::decodeName(QByteArray::fromStdString(target));
    const QFileInfo info(file);
    const bool exists = info.exists();
    if (exists && !info.isWritable())
        return fail(QStringLiteral("the file is read-only"));

    // Our own temporary file and rename: every short write must count as a
    // failure, and the old file must stay whole until the new one is on disk.
    QByteArray temporary = QFile::encodeName(file) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat old {};
    const mode_t mode = exists && ::stat(QFile::encodeName(file).constData(), &old) == 0 ? (old.st_mode & 07777)
                                                                                            : modeForNewFile();
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(temporary.constData());
        return fail(QString::fromLocal8Bit(std::strerror(written ? errno : writeErrno)));
    }
    if (exists && keepBackup && !keepBackupOf(file))
        AddLog(QStringLiteral("Warning: no backup copy of %1 could be made").arg(file));
    if (::rename(temporary.constData(), QFile::encodeName(file).constData()) != 0) {
        const int renameErrno = errno;
        ::unlink(temporary.constData());
        return fail(QString::fromLocal8Bit(std::strerror(renameErrno)));
    }
    return true;
}

} // namespace orvik
