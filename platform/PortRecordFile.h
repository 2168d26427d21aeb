#pragma once

#include <QString>

#include <cstdio>
#include <memory>

namespace orvik {

// A plain-text file that port recorders append one line per line change or data write
// to, flushed at once so another process can follow it while the program runs.
class PortRecordFile {
public:
    explicit PortRecordFile(const QString& path);
    ~PortRecordFile();
    PortRecordFile(const PortRecordFile&) = delete;
    PortRecordFile& operator=(const PortRecordFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    QString path() const { return path_; }
    void writeLine(const QString& line);

private:
    QString path_;
    std::FILE* file_ = nullptr;
};

// The file of ORVIKSDR_SYNTH_PORT=record:FILE, or empty when the switch is not set.
QString synthPortRecordPath();

} // namespace orvik
