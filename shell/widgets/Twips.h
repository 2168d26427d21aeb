#pragma once

#include <cstdint>

namespace orvik {

// Window geometry is designed in twips (1/1440 inch). At 96 DPI one pixel is 15 twips.
// Every conversion between the two goes through these functions.
inline constexpr int TwipsPerPixel = 15;

// Nearest whole pixel, halves away from zero (3650 twips -> 243 px, 1280 -> 85).
constexpr int twipsToPixels(int32_t twips)
{
    return twips >= 0 ? (twips + TwipsPerPixel / 2) / TwipsPerPixel
                      : -((-twips + TwipsPerPixel / 2) / TwipsPerPixel);
}

constexpr int32_t pixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

} // namespace orvik
