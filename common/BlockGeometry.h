#pragma once

#include <cstdint>

namespace orvik {

// The sound blocks every subsystem counts in: 48 kHz, 2048 samples a block.
inline constexpr int32_t kSampleRate = 48000;
inline constexpr int32_t kBlockSamples = 2048;
inline constexpr double kBlocksPerSecond = 23.4375;
// The block time 2048 / 48000 s rounded to single precision, the value the load and AGC
// arithmetic divide by.
inline constexpr float kBlockTimeSeconds = 0.04266666620969772f;
// One block's duration in seconds, in full precision.
inline constexpr double kBlockPeriodSeconds = static_cast<double>(kBlockSamples) / kSampleRate;

// Peak and time rings of the statistics: indexes 0 to 47, of which the first
// kStatsRingWritten (the first whole number above 2 s of blocks) are written and counted.
inline constexpr int32_t kStatsRingWritten = 47;
inline constexpr int32_t kStatsRingSize = kStatsRingWritten + 1;

} // namespace orvik
