#pragma once

#include "../tuning/LineDecoders.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cmath>
#include <vector>

namespace orvik::testing {

// The AD9951 frequency words (instruction 0x04) in a port record file written by the
// program under ORVIKSDR_SYNTH_PORT=record:FILE through its serial port.
inline std::vector<uint32_t> ad9951WordsInRecord(const QString& path)
{
    QFile f(path);
    std::vector<RecordingModemLines::Entry> log;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
            const QStringList parts = line.split(' ');
            if (parts.size() != 3 || parts[0] != "serial")
                continue;
            using Op = RecordingModemLines::Op;
            const Op op = parts[1] == "dtr" ? Op::Dtr : parts[1] == "rts" ? Op::Rts : Op::Break;
            if (parts[1] == "open")
                continue;
            log.push_back({op, parts[2] == "1", true, QString()});
        }
    }
    std::vector<uint32_t> words;
    for (const Frame& frame : decodeSerial(log).frames) {
        const auto b = bytesOf(frame);
        if (b.size() == 5 && b[0] == 0x04)
            words.push_back((uint32_t(b[1]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 8) | b[4]);
    }
    return words;
}

// The word for a tuned frequency (0.1 Hz) 45 MHz below the oscillator, 360.096 MHz clock.
inline uint32_t ad9951WordFor(int64_t tuned)
{
    return static_cast<uint32_t>(std::nearbyint((double(tuned) + 450000000.0) * 4294967296.0 / 3600960000.0));
}

} // namespace orvik::testing
