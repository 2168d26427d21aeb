#include "common/Format.h"

#include "common/Numeric.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvik {

namespace {

struct PictureItem {
    enum class Kind { Digit, Literal, Point } kind;
    char placeholder = 0; // '#' or '0' for Kind::Digit
    std::string text;     // for Kind::Literal
};

struct Picture {
    std::vector<PictureItem> items;
    bool grouping = false;
    bool percent = false;
};

std::vector<std::string_view> splitSections(std::string_view picture)
{
    std::vector<std::string_view> sections;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i < picture.size(); ++i) {
        char c = picture[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '\\') {
            ++i;
        } else if (!quoted && c == ';') {
            sections.push_back(picture.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(picture.substr(start));
    return sections;
}

Picture parseSection(std::string_view section)
{
    Picture picture;
    bool afterPoint = false;
    auto addLiteral = [&](std::string_view text) {
        if (!picture.items.empty() && picture.items.back().kind == PictureItem::Kind::Literal)
            picture.items.back().text += text;
        else
            picture.items.push_back({PictureItem::Kind::Literal, 0, std::string(text)});
    };
    for (size_t i = 0; i < section.size(); ++i) {
        char c = section[i];
        if (c == '#' || c == '0') {
            picture.items.push_back({PictureItem::Kind::Digit, c, {}});
        } else if (c == '.' && !afterPoint) {
            picture.items.push_back({PictureItem::Kind::Point, 0, {}});
            afterPoint = true;
        } else if (c == ',' && !afterPoint) {
            picture.grouping = true;
        } else if (c == '%') {
            picture.percent = true;
            addLiteral("%");
        } else if (c == '\\') {
            if (i + 1 < section.size())
                addLiteral(section.substr(++i, 1));
        } else if (c == '"') {
            size_t close = section.find('"', i + 1);
            if (close == std::string_view::npos)
                close = section.size();
            addLiteral(section.substr(i + 1, close - i - 1));
            i = close;
        } else {
            addLiteral(section.substr(i, 1));
        }
    }
    return picture;
}

// |value| in fixed notation with exactly `fractionDigits` decimals, rounded half
// away from zero. Rounding works on the 15 significant digits a double reliably
// holds, so 2.675 shows as 2.68 the way a reader expects.
// Returns the integer digits without leading zeros ("" for 0) and the fraction.
std::pair<std::string, std::string> toFixed(double value, int fractionDigits)
{
    constexpr int significant = 15;
    if (value == 0.0)
        return {std::string(), std::string(fractionDigits, '0')};
    // to_chars, unlike printf, ignores the locale the GUI may have set.
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer - 1, value,
                             std::chars_format::scientific, significant - 1).ptr;
    *end = '\0';
    std::string mantissa;
    mantissa += buffer[0];
    mantissa.append(buffer + 2, significant - 1);
    int exponent = std::atoi(std::strchr(buffer, 'e') + 1);

    // digits[k] stands for 10^(top - k), down to 10^-fractionDigits.
    int top = std::max(exponent, 0);
    std::string digits(static_cast<size_t>(top + 1 + fractionDigits), '0');
    for (int j = 0; j < significant; ++j) {
        int power = exponent - j;
        if (power <= top && power >= -fractionDigits)
            digits[static_cast<size_t>(top - power)] = mantissa[static_cast<size_t>(j)];
    }
    int firstDropped = exponent + fractionDigits + 1;
    if (firstDropped >= 0 && firstDropped < significant
        && mantissa[static_cast<size_t>(firstDropped)] >= '5') {
        size_t k = digits.size();
        while (k > 0 && digits[k - 1] == '9')
            digits[--k] = '0';
        if (k == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[k - 1];
    }
    std::string integer = digits.substr(0, digits.size() - static_cast<size_t>(fractionDigits));
    std::string fraction = digits.substr(integer.size());
    integer.erase(0, integer.find_first_not_of('0'));
    return {integer, fraction};
}

struct Rendered {
    std::string text;
    bool isZero = false;
};

// Literals between two integer placeholders are written only once a digit has
// been written to their left, so "### ### 000" of 12345 is "12 345" and not
// " 12 345", while "#0 000 000" of 455000 keeps its required zero: "0 455 000".
// Likewise a literal between fraction placeholders is written only when a digit
// follows it. Literals before the first or after the last placeholder of each
// part are always written. The decimal point is always written.
Rendered render(double magnitude, const Picture& picture)
{
    using Kind = PictureItem::Kind;
    const auto& items = picture.items;
    auto pointAt = std::find_if(items.begin(), items.end(),
                                [](const PictureItem& item) { return item.kind == Kind::Point; });
    size_t point = static_cast<size_t>(pointAt - items.begin());

    int integerPlaces = 0, firstRequired = -1;
    int fractionPlaces = 0, lastRequired = -1;
    size_t lastIntegerItem = 0, lastFractionItem = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].kind != Kind::Digit)
            continue;
        if (i < point) {
            if (items[i].placeholder == '0' && firstRequired < 0)
                firstRequired = integerPlaces;
            ++integerPlaces;
            lastIntegerItem = i;
        } else {
            if (items[i].placeholder == '0')
                lastRequired = fractionPlaces;
            ++fractionPlaces;
            lastFractionItem = i;
        }
    }

    double value = picture.percent ? magnitude * 100.0 : magnitude;
    // Named variables, not a structured binding: the lambda below captures them.
    auto fixed = toFixed(value, fractionPlaces);
    std::string& integer = fixed.first;
    std::string& fraction = fixed.second;
    Rendered out;
    out.isZero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;

    int requiredIntegerDigits = firstRequired < 0 ? 0 : integerPlaces - firstRequired;
    if (static_cast<int>(integer.size()) < requiredIntegerDigits)
        integer.insert(0, static_cast<size_t>(requiredIntegerDigits) - integer.size(), '0');
    const int integerLength = static_cast<int>(integer.size());

    size_t fractionShown = fraction.size();
    while (static_cast<int>(fractionShown) > lastRequired + 1 && fraction[fractionShown - 1] == '0')
        --fractionShown;

    int written = 0; // integer digits written so far
    auto writeIntegerDigits = [&](int count) {
        for (int n = 0; n < count; ++n, ++written) {
            if (picture.grouping && written > 0 && (integerLength - written) % 3 == 0)
                out.text += ',';
            out.text += integer[static_cast<size_t>(written)];
        }
    };

    int placeIndex = 0;    // integer placeholders met so far
    int fractionIndex = 0; // fraction placeholders met so far
    for (size_t i = 0; i < items.size(); ++i) {
        const PictureItem& item = items[i];
        if (item.kind == Kind::Point) {
            if (integerPlaces == 0)
                writeIntegerDigits(integerLength); // an implied '#' before a bare point
            out.text += '.';
        } else if (item.kind == Kind::Digit && i < point) {
            // The leftmost placeholder takes every digit that does not fit.
            int digitsHere = placeIndex == 0 ? std::max(integerLength - integerPlaces + 1, 0)
                                             : (placeIndex >= integerPlaces - integerLength ? 1 : 0);
            writeIntegerDigits(digitsHere);
            ++placeIndex;
        } else if (item.kind == Kind::Digit) {
            if (static_cast<size_t>(fractionIndex) < fractionShown)
                out.text += fraction[static_cast<size_t>(fractionIndex)];
            ++fractionIndex;
        } else if (i < point) {
            bool between = placeIndex > 0 && i < lastIntegerItem;
            if (!between || written > 0)
                out.text += item.text;
        } else {
            bool between = fractionIndex < fractionPlaces && i < lastFractionItem;
            if (!between || static_cast<size_t>(fractionIndex) < fractionShown)
                out.text += item.text;
        }
    }
    return out;
}

} // namespace

std::string Format(double x, std::string_view picture)
{
    if (!std::isfinite(x) || picture.empty())
        return NumberToText(x);
    auto sections = splitSections(picture);
    const bool negative = x < 0;
    std::string_view section = sections[0];
    bool minus = negative;
    if (negative && sections.size() >= 2 && !sections[1].empty()) {
        section = sections[1];
        minus = false;
    }
    if (x == 0 && sections.size() >= 3 && !sections[2].empty())
        section = sections[2];
    if (section.empty())
        return NumberToText(x);

    Rendered rendered = render(std::fabs(x), parseSection(section));
    if (negative && rendered.isZero) {
        // A negative value too small to show is written as zero, without a sign.
        if (sections[0].empty())
            return NumberToText(0.0);
        return render(0.0, parseSection(sections[0])).text;
    }
    return minus ? "-" + rendered.text : rendered.text;
}

std::string FormatField(std::string_view text, int width, char pad)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        text = {};
    else
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    std::string out;
    if (width > 0 && static_cast<size_t>(width) > text.size())
        out.assign(static_cast<size_t>(width) - text.size(), pad);
    out += text;
    return out;
}

} // namespace orvik
