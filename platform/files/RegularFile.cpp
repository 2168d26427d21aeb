#include "platform/files/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvik {

namespace {

std::string errorText(int error)
{
    return std::strerror(error);
}

// Clears O_NONBLOCK once the descriptor is known to be a regular file, where
// it has no effect on reads and writes anyway but would on later reuse.
int keepIfRegular(int fd, std::string& why)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = errorText(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "it is " + describeFileKind(st.st_mode) + ", not a regular file";
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t modeForNewFile()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::string describeFileKind(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a regular file";
    case S_IFDIR:
        return "a folder";
    case S_IFIFO:
        return "a FIFO";
    case S_IFSOCK:
        return "a socket";
    case S_IFCHR:
        return "a character device";
    case S_IFBLK:
        return "a block device";
    case S_IFLNK:
        return "a symbolic link";
    default:
        return "not a file";
    }
}

int openRegularFileForReading(const std::string& path, std::string& why)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = errorText(errno);
        return -1;
    }
    return keepIfRegular(fd, why);
}

int openRegularFileForWriting(const std::string& path, bool truncate, bool append, std::string& why)
{
    // A FIFO without a reader fails here with ENXIO instead of waiting.
    const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (append ? O_APPEND : 0);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        why = errno == ENXIO ? "it is not a regular file" : errorText(errno);
        return -1;
    }
    if (keepIfRegular(fd, why) < 0)
        return -1;
    if (truncate && ::ftruncate(fd, 0) != 0) {
        why = errorText(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

ReadResult readRegularFile(const std::string& path, int64_t limit, std::vector<char>& bytes, std::string& why)
{
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        why = errorText(error);
        return error == ENOENT ? ReadResult::Missing : ReadResult::Refused;
    }
    fd = keepIfRegular(fd, why);
    if (fd < 0)
        return ReadResult::Refused;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = errorText(errno);
        ::close(fd);
        return ReadResult::Refused;
    }
    if (st.st_size > limit) {
        why = "it is larger than " + std::to_string(limit) + " bytes";
        ::close(fd);
        return ReadResult::Refused;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            why = errorText(errno);
            ::close(fd);
            bytes.clear();
            return ReadResult::Refused;
        }
        if (got == 0)
            break; // shrank while being read
        have += static_cast<size_t>(got);
    }
    bytes.resize(have);
    ::close(fd);
    return ReadResult::Read;
}

bool writeAllTo(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::string regularWriteTarget(const std::string& path, std::string& why)
{
    std::string current = path;
    // As many hops as the kernel follows.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return current;
            why = errorText(errno);
            return {};
        }
        if (S_ISREG(st.st_mode))
            return current;
        if (!S_ISLNK(st.st_mode)) {
            why = current == path ? "it is " + describeFileKind(st.st_mode) + ", not a regular file"
                                  : "it leads to " + current + ", which is " + describeFileKind(st.st_mode)
                                        + ", not a regular file";
            return {};
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
        if (length < 0) {
            why = errorText(errno);
            return {};
        }
        target[length] = '\0';
        current = target[0] == '/' ? std::string(target) : folderOf(current) + "/" + target;
    }
    why = errorText(ELOOP);
    return {};
}

std::string notWritableReason(unsigned mode, unsigned owner, unsigned group)
{
    const uid_t user = ::geteuid();
    bool inGroup = ::getegid() == group;
    if (!inGroup && user != owner) {
        const int count = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
        if (count > 0 && ::getgroups(count, groups.data()) == count)
            inGroup = std::find(groups.begin(), groups.end(), group) != groups.end();
    }
    const unsigned bit = user == owner ? S_IWUSR : inGroup ? S_IWGRP : S_IWOTH;
    if (mode & bit)
        return {};
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777);
    if (user == owner)
        return std::string("its mode ") + octal + " does not let you write it";
    return "it belongs to user " + std::to_string(owner) + " and its mode " + octal + " does not let you write it";
}

ReplacementFile::~ReplacementFile()
{
    discard();
}

void ReplacementFile::discard()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
}

bool ReplacementFile::open(const std::string& path, std::string& why)
{
    discard();
    target_ = regularWriteTarget(path, why);
    if (target_.empty())
        return false;
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (exists) {
        why = notWritableReason(old.st_mode, old.st_uid, old.st_gid);
        if (!why.empty())
            return false;
    }
    temporary_ = target_ + ".XXXXXX";
    const int fd = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd < 0) {
        why = errorText(errno);
        return false;
    }
    fd_ = fd;
    // A file another user lets us write stays theirs where we may give it back;
    // where not, the new file is ours, as any rename makes it.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        const int given = ::fchown(fd, old.st_uid, old.st_gid);
        static_cast<void>(given);
    }
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : modeForNewFile()) != 0) {
        why = errorText(errno);
        discard();
        return false;
    }
    return true;
}

bool ReplacementFile::commit(std::string& why)
{
    if (fd_ < 0) {
        why = "nothing to put in place";
        return false;
    }
    bool ok = ::fsync(fd_) == 0;
    int error = errno;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary_.c_str());
        why = errorText(error);
    }
    return ok;
}

bool replaceRegularFile(const std::string& path, const char* data, size_t size, std::string& why)
{
    ReplacementFile file;
    if (!file.open(path, why))
        return false;
    if (!writeAllTo(file.fd(), data, size)) {
        why = errorText(errno);
        return false;
    }
    return file.commit(why);
}

} // namespace orvik
