#pragma once

#include <cstdint>

namespace orvik {

struct Rgb {
    uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Design colours keep red in the low byte and blue in the third
// (0xFFFF00 is cyan); the top byte is ignored.
Rgb RgbFromColour(uint32_t designColour);
uint32_t ColourFromRgb(Rgb rgb);

} // namespace orvik
