#pragma once

#include <array>
#include <cstdint>

namespace orvik {

// One channel of one sound block: indexes 0 to 2048, of which a block of
// SamplesPerEvent samples uses the first; index 2048 is never written.
inline constexpr int32_t kSampleBlockLength = 2049;
using SampleBlock = std::array<int16_t, kSampleBlockLength>;

} // namespace orvik
