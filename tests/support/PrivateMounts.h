#pragma once

// Mounts that only this test process and the programs it starts see.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <sched.h>
#include <sys/mount.h>

namespace orvik::testing {

// A mount namespace of this test process alone, inherited by the program it starts: a
// tmpfs mounted here vanishes with the process, and the machine's serial ports are
// hidden (bound to /dev/null), so a program that opens the first one fails to.
// Empty when done, else why not.
inline QString privateMounts()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral("no private mount namespace: %1").arg(qt_error_string(errno));
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("mounts cannot be made private: %1").arg(qt_error_string(errno));
    for (const QString& port : QDir("/dev").entryList({"ttyS*"}, QDir::System)) {
        const QByteArray path = QFile::encodeName("/dev/" + port);
        if (::mount("/dev/null", path.constData(), nullptr, MS_BIND, nullptr) != 0)
            return QStringLiteral("%1 cannot be hidden: %2").arg(path, qt_error_string(errno));
    }
    return {};
}

// A tmpfs of the given size ("256k") on a folder, made if missing, for as long as the
// object lives; call after privateMounts().
class SmallDisk {
public:
    SmallDisk(const QString& folder, const char* size) : path_(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        const QByteArray options = QByteArray("size=") + size;
        if (::mount("tmpfs", path_.constData(), "tmpfs", 0, options.constData()) != 0)
            problem_ = QStringLiteral("no tmpfs can be mounted here: %1").arg(qt_error_string(errno));
    }
    ~SmallDisk()
    {
        if (problem_.isEmpty())
            ::umount2(path_.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty when mounted.
    QString problem() const { return problem_; }

    // Takes every byte left with one file; false when it cannot be made.
    bool fill() const
    {
        QFile filler(QFile::decodeName(path_) + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
        return true;
    }

private:
    QByteArray path_;
    QString problem_;
};

} // namespace orvik::testing
