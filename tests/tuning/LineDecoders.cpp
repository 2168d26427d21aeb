#include "LineDecoders.h"

namespace orvik::testing {

SerialDecode decodeSerial(const std::vector<RecordingModemLines::Entry>& log)
{
    using Op = RecordingModemLines::Op;
    SerialDecode out;
    bool inFrame = false;
    int data = 0;
    bool clock = false;
    Frame current;
    for (const auto& e : log) {
        if (e.op == Op::EventPass) {
            ++out.eventPasses;
            continue;
        }
        if (e.op == Op::Open || e.op == Op::Close || !e.wasOpen)
            continue;
        ++out.lineOps;
        switch (e.op) {
        case Op::Dtr:
            if (e.on) {
                inFrame = true;
                current.clear();
            } else if (inFrame) {
                out.frames.push_back(current);
                inFrame = false;
            }
            break;
        case Op::Rts:
            data = e.on ? 0 : 1;
            break;
        case Op::Break:
            if (e.on && !clock) {
                if (inFrame)
                    current.push_back(data);
                else
                    ++out.strayBits;
            }
            clock = e.on;
            break;
        default:
            break;
        }
    }
    return out;
}

ParallelDecode decodeParallel(const std::vector<uint8_t>& writes, bool nonInverting)
{
    ParallelDecode out;
    Frame current;
    bool clock = false;
    for (const uint8_t v : writes) {
        if (v != 0 && (v < 4 || v > 7))
            ++out.illegalWrites;
        if (v == 0) {
            if (!current.empty())
                out.frames.push_back(current);
            current.clear();
        }
        const bool newClock = (v & 2) != 0;
        if (newClock && !clock) {
            const int pin = v & 1;
            current.push_back(nonInverting ? pin : 1 - pin);
        }
        clock = newClock;
    }
    if (!current.empty())
        out.frames.push_back(current);
    return out;
}

std::vector<uint8_t> bytesOf(const Frame& frame)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 8 <= frame.size(); i += 8) {
        uint8_t b = 0;
        for (size_t k = 0; k < 8; ++k)
            b = static_cast<uint8_t>((b << 1) | frame[i + k]);
        bytes.push_back(b);
    }
    return bytes;
}

std::vector<uint16_t> wordsOf(const Frame& frame)
{
    std::vector<uint16_t> words;
    for (size_t i = 0; i + 16 <= frame.size(); i += 16) {
        uint16_t w = 0;
        for (size_t k = 0; k < 16; ++k)
            w = static_cast<uint16_t>((w << 1) | frame[i + k]);
        words.push_back(w);
    }
    return words;
}

} // namespace orvik::testing
