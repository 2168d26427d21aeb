#include "common/Colour.h"

namespace orvik {

Rgb RgbFromColour(uint32_t designColour)
{
    return Rgb{static_cast<uint8_t>(designColour & 0xFF),
               static_cast<uint8_t>((designColour >> 8) & 0xFF),
               static_cast<uint8_t>((designColour >> 16) & 0xFF)};
}

uint32_t ColourFromRgb(Rgb rgb)
{
    return uint32_t{rgb.r} | (uint32_t{rgb.g} << 8) | (uint32_t{rgb.b} << 16);
}

} // namespace orvik
