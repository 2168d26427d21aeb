#pragma once

#include <QString>

namespace orvik {

// A plain-text file that port recorders append one line per line change or data write
// to, written through at once so another process can follow it while the program runs.
// Only a regular file is taken: a FIFO would hold up the start until a reader came,
// every write while the reader lagged, and end the program when the reader left.
class PortRecordFile {
public:
    // A path that is not a regular file, or cannot be opened, is reported through the
    // message service and nothing is recorded.
    explicit PortRecordFile(const QString& path);
    ~PortRecordFile();
    PortRecordFile(const PortRecordFile&) = delete;
    PortRecordFile& operator=(const PortRecordFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }
    void writeLine(const QString& line);

private:
    QString path_;
    int fd_ = -1;
    bool writeFailureReported_ = false;
};

// The file of ORVIKSDR_SYNTH_PORT=record:FILE, or empty when the switch is not set.
QString synthPortRecordPath();

} // namespace orvik
