#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// Nearest 32-bit integer, exact halves to the even neighbour. nullopt for NaN,
// infinities and results outside the int32 range, so callers can keep their
// old value instead of storing garbage.
std::optional<int32_t> RoundEvenChecked(double x);

// As RoundEvenChecked, but saturating at the int32 limits; NaN gives 0.
int32_t RoundEven(double x);

// Largest integer not above x (Int(-0.5) is -1).
double Int(double x);

// a \ b: division truncating toward zero. 0 when b is 0; INT32_MIN \ -1
// saturates to INT32_MAX instead of overflowing.
int32_t IntDiv(int32_t a, int32_t b);

// The number a text begins with, 0 when it begins with none. Blanks are
// skipped anywhere ("455 000" reads 455000); then an optional sign, digits,
// one '.', and an optional exponent (E or D). Reading stops at the first
// other character. Values too large for a double read as 0.
double NumericValue(std::string_view text);

// Strict reading of stored values: the whole text (blanks around it allowed)
// must be one decimal number. nullopt otherwise, including out of range.
std::optional<double> ParseNumber(std::string_view text);

// ParseNumber, then RoundEvenChecked.
std::optional<int32_t> ParseInt32(std::string_view text);

// "True"/"False" in any case; a number reads 0 as false, anything else true.
std::optional<bool> ParseBool(std::string_view text);

// "True" / "False".
std::string BoolToText(bool value);

// Default number-to-text form: integral values plain ("10", "-3"), others the
// shortest text that reads back to the same double ("2.5"); '.' always, no
// exponent between 1e-5 and 1e15.
std::string NumberToText(double value);
std::string NumberToText(int64_t value);

// Lets int, unsigned, int16_t ... pick the integer form instead of being
// ambiguous between the two overloads above.
template <typename T>
  requires(std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, int64_t>)
std::string NumberToText(T value)
{
    return NumberToText(static_cast<int64_t>(value));
}

} // namespace orvik
