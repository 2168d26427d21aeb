#pragma once

#include "platform/RecordingModemLines.h"

#include <cstdint>
#include <vector>

namespace orvik::testing {

// Bits clocked in while the frame line was active, MSB first.
using Frame = std::vector<int>;

// Reads the recorded serial lines the way the chip sees them: IOUPD is DTR
// cleared, SDATA is RTS cleared, SCLK is break on. A frame starts at every
// IOUPD := 0 and is complete at the next IOUPD := 1; a bit is taken at each
// rising clock inside a frame. Calls made on a closed port are ignored.
struct SerialDecode {
    std::vector<Frame> frames;
    int strayBits = 0;  // clock pulses outside any frame
    int lineOps = 0;
    int eventPasses = 0;
};
SerialDecode decodeSerial(const std::vector<RecordingModemLines::Entry>& log);

// Parallel data-register writes: frames split at writes of 0, a bit at each
// write whose D1 rises (6 is a 1 and 7 a 0 with the default inversion, the
// reverse with nonInverting). Values other than 0, 4, 5, 6, 7 are counted.
struct ParallelDecode {
    std::vector<Frame> frames;
    int illegalWrites = 0;
};
ParallelDecode decodeParallel(const std::vector<uint8_t>& writes, bool nonInverting);

std::vector<uint8_t> bytesOf(const Frame& frame);
std::vector<uint16_t> wordsOf(const Frame& frame);

} // namespace orvik::testing
