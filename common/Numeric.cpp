#include "common/Numeric.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace orvik {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// from_chars refuses a leading '+' and accepts "inf"/"nan", neither of which
// a stored number may be.
std::optional<double> parseDecimal(std::string_view text)
{
    std::string_view body = text;
    if (!body.empty() && (body.front() == '+' || body.front() == '-'))
        body.remove_prefix(1);
    if (body.empty() || !(isDigit(body.front()) || body.front() == '.'))
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value))
        return std::nullopt;
    return text.front() == '-' ? -value : value;
}

} // namespace

std::optional<int32_t> RoundEvenChecked(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    double lower = std::floor(x);
    double fraction = x - lower; // exact for every finite double
    double rounded = lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0))
        rounded = lower + 1.0;
    if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min())
        || rounded > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<int32_t>(rounded);
}

int32_t RoundEven(double x)
{
    if (std::isnan(x))
        return 0;
    if (auto r = RoundEvenChecked(x))
        return *r;
    return x < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

double Int(double x)
{
    return std::floor(x);
}

int32_t IntDiv(int32_t a, int32_t b)
{
    if (b == 0)
        return 0;
    if (a == std::numeric_limits<int32_t>::min() && b == -1)
        return std::numeric_limits<int32_t>::max();
    return a / b;
}

double NumericValue(std::string_view text)
{
    // Gather the accepted characters without blanks, then let from_chars read them.
    std::string number;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            number += '-';
        ++i;
    }
    bool seenPoint = false;
    bool seenDigit = false;
    for (;; ++i) {
        skipBlanks();
        if (i >= text.size())
            break;
        if (isDigit(text[i])) {
            number += text[i];
            seenDigit = true;
        } else if (text[i] == '.' && !seenPoint) {
            number += '.';
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::string exponent = "e";
        ++i;
        skipBlanks();
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponent += text[i];
            ++i;
        }
        bool exponentDigits = false;
        for (;; ++i) {
            skipBlanks();
            if (i >= text.size() || !isDigit(text[i]))
                break;
            exponent += text[i];
            exponentDigits = true;
        }
        if (exponentDigits)
            number += exponent;
    }
    const char* first = number.data();
    if (*first == '-')
        ++first;
    double value = 0;
    auto [end, ec] = std::from_chars(first, number.data() + number.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc() || !std::isfinite(value))
        return 0;
    (void)end;
    return number.front() == '-' ? -value : value;
}

std::optional<double> ParseNumber(std::string_view text)
{
    return parseDecimal(trimBlanks(text));
}

std::optional<int32_t> ParseInt32(std::string_view text)
{
    auto value = ParseNumber(text);
    if (!value)
        return std::nullopt;
    return RoundEvenChecked(*value);
}

std::optional<bool> ParseBool(std::string_view text)
{
    std::string_view trimmed = trimBlanks(text);
    if (equalsIgnoringCase(trimmed, "true"))
        return true;
    if (equalsIgnoringCase(trimmed, "false"))
        return false;
    if (auto value = parseDecimal(trimmed))
        return *value != 0.0;
    return std::nullopt;
}

std::string BoolToText(bool value)
{
    return value ? "True" : "False";
}

std::string NumberToText(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    if (value == 0.0)
        return "0"; // also for -0
    char buffer[400];
    double magnitude = std::fabs(value);
    auto format = (magnitude >= 1e-5 && magnitude < 1e15) ? std::chars_format::fixed
                                                         : std::chars_format::general;
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, end);
}

std::string NumberToText(int64_t value)
{
    return std::to_string(value);
}

} // namespace orvik
