#include "common/Colour.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(Colour, RedLivesInTheLowByte)
{
    struct Case { uint32_t colour; Rgb rgb; };
    const Case cases[] = {
        {0x0000FF, {255, 0, 0}},   {0x00FF00, {0, 255, 0}},   {0xFF0000, {0, 0, 255}},
        {0xFFFF00, {0, 255, 255}}, {0xC0C000, {0, 192, 192}}, {0x123456, {0x56, 0x34, 0x12}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RgbFromColour(c.colour), c.rgb) << std::hex << c.colour;
        EXPECT_EQ(ColourFromRgb(c.rgb), c.colour) << std::hex << c.colour;
    }
    EXPECT_EQ(RgbFromColour(0x8000000F), (Rgb{0x0F, 0, 0})); // top byte ignored
}

} // namespace
} // namespace orvik
