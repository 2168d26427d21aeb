#pragma once

#include <cstdint>

namespace orvik {

// Mouse buttons and shift states as the click and key handlers take them, added up:
// buttons left 1, right 2, middle 4; Shift 1, Ctrl 2, Alt 4.
inline constexpr int16_t LeftButton = 1;
inline constexpr int16_t RightButton = 2;
inline constexpr int16_t MiddleButton = 4;
inline constexpr int16_t ShiftDown = 1;
inline constexpr int16_t CtrlDown = 2;
inline constexpr int16_t AltDown = 4;

} // namespace orvik
