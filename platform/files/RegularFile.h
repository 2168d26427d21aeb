#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

// Opening a FIFO waits for a writer, a device may never answer, and reading
// /dev/zero never ends: every file the program reads or writes is opened with
// O_NONBLOCK and accepted only when the opened descriptor is a regular file.
// Plain POSIX, so the command-line tools can share it.

// What kind of file a stat mode is, for messages ("a FIFO", "a folder", ...).
std::string describeFileKind(unsigned mode);

// A descriptor to a regular file opened for reading, or -1 with why filled in.
int openRegularFileForReading(const std::string& path, std::string& why);

// A descriptor to a regular file opened for writing (created when missing, with
// mode & ~umask), or -1 with why filled in. With truncate the file is emptied,
// only after it was found to be a regular file.
int openRegularFileForWriting(const std::string& path, bool truncate, bool append, std::string& why);

enum class ReadResult { Read, Missing, Refused };

// Reads a whole regular file, never more than it held when opened and never
// more than limit bytes (larger files are refused).
ReadResult readRegularFile(const std::string& path, int64_t limit, std::vector<char>& bytes, std::string& why);

// Writes every byte, retrying short writes; false with errno set on failure.
bool writeAllTo(int fd, const char* data, size_t size);

// The path a write to `path` lands on: a symbolic link is followed to the file it
// names. Refused (empty, why filled in) when that exists and is not a regular file.
std::string regularWriteTarget(const std::string& path, std::string& why);

// Why this process may not write a file of that mode, owner and group; empty when
// it may. Judged by the permission bits that apply to the effective user and groups,
// for root as for anybody: access(2) lets root write anything, and a file replaced by
// renaming over it would change hands.
std::string notWritableReason(unsigned mode, unsigned owner, unsigned group);

// A file written beside its target and put in its place only once complete, so the
// old file stays whole until then: a temporary file next to the target (see
// regularWriteTarget) that commit() flushes to disk and renames over it. The old
// file's permissions, and where permitted its owner, are kept; an old file this
// process may not write (see notWritableReason) is left alone. A temporary file
// that is not committed is removed.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // False, with why filled in, when the target is refused or nothing can be made.
    bool open(const std::string& path, std::string& why);
    // The temporary file, -1 when not open.
    int fd() const { return fd_; }
    bool commit(std::string& why);

private:
    void discard();

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

// The whole of a ReplacementFile in one call.
bool replaceRegularFile(const std::string& path, const char* data, size_t size, std::string& why);

} // namespace orvik
