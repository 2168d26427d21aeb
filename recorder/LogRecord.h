#pragma once

#include <QDateTime>

#include <cstdint>
#include <vector>

namespace orvik {

// One track of a recording: when and at which frequency it began, and its byte range in the file.
struct LogRecord {
    QDateTime When;            // local time
    int32_t Frequency = 0;     // tenths of a hertz
    int64_t StartOffset = 0;   // offset (from 0) of the track's first audio byte
    int64_t EndOffset = 0;     // next track's StartOffset; for the last track data size + 45

    bool operator==(const LogRecord&) const = default;
};

// The records followed by one zero-filled spare element, which the next record fills.
using TrackLogArray = std::vector<LogRecord>;

} // namespace orvik
