#pragma once

#include <string>
#include <string_view>

namespace orvik {

// Writes x by a numeric picture:
//   '#' digit shown only when significant, '0' digit always shown,
//   ',' anywhere in the integer part groups thousands, '.' decimal point,
//   '%' multiplies by 100 and is shown, '\c' and "text" are literal,
//   every other character is copied.
// "positive;negative;zero": the negative section is written from |x| with no
// minus sign; with one section a negative value gets a leading '-'; an empty
// section falls back to the first one.
// Rounding is half away from zero on the value's 15 significant digits.
// Digits that do not fit go into the leftmost placeholder. Format(0, "#") is "".
std::string Format(double x, std::string_view picture);

// The text without surrounding blanks, padded on the left with pad up to
// width characters; a longer text comes back trimmed but otherwise whole.
std::string FormatField(std::string_view text, int width, char pad);

} // namespace orvik
