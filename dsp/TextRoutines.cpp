// The text routines of the ORVIK module. Positions count characters, so the
// UTF-8 texts are worked on as code points.

#include "dsp/ORVIK.h"

#include <algorithm>
#include <limits>

namespace orvik::ORVIK {
namespace {

// Bytes that are not valid UTF-8 travel as 0xDC80 + byte (a range no valid
// text decodes to) and are written back unchanged.
constexpr char32_t StrayByteBase = 0xDC80;

std::u32string decode(const std::string& text)
{
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = -1;
        char32_t cp = 0;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        }
        bool valid = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(StrayByteBase + lead);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string encode(const std::u32string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text) {
        if (cp >= StrayByteBase + 0x80 && cp <= StrayByteBase + 0xFF) {
            out.push_back(static_cast<char>(cp - StrayByteBase));
        } else if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

char32_t foldCase(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)  // Latin-1 capitals
        return c + 32;
    return c;
}

// 1-based position of find in s at or after start, 0 when absent.
size_t inStr(size_t start, const std::u32string& s, const std::u32string& find, int32_t compare)
{
    if (start < 1)
        start = 1;
    if (start > s.size() + 1)
        return 0;
    if (find.empty())
        return start;
    if (compare == 0) {
        const size_t p = s.find(find, start - 1);
        return p == std::u32string::npos ? 0 : p + 1;
    }
    const auto hit = std::search(s.begin() + static_cast<std::ptrdiff_t>(start - 1), s.end(), find.begin(),
                                 find.end(), [](char32_t a, char32_t b) { return foldCase(a) == foldCase(b); });
    return hit == s.end() ? 0 : static_cast<size_t>(hit - s.begin()) + 1;
}

size_t startPosition(int32_t start)
{
    return start < 1 ? 1 : static_cast<size_t>(start);
}

std::string nextToken(std::u32string& rest, const std::u32string& delimiter, int32_t compare)
{
    const size_t p = inStr(1, rest, delimiter, compare);
    if (p == 0)
        return {};
    std::u32string token = rest.substr(0, p - 1);
    rest.erase(0, std::min(rest.size(), p - 1 + delimiter.size()));
    return encode(token);
}

} // namespace

std::string SplitNextToken(std::string& rest, const std::string& delimiter, int32_t compare)
{
    std::u32string text = decode(rest);
    const size_t before = text.size();
    std::string token = nextToken(text, decode(delimiter), compare);
    if (text.size() != before)
        rest = encode(text);
    return token;
}

std::vector<std::string> SplitStr(const std::string& expression, const std::string& delimiter, int32_t limit,
                                  int32_t compare)
{
    const std::u32string delim = decode(delimiter);
    std::u32string rest = decode(expression);
    std::vector<std::string> parts;
    std::string token = nextToken(rest, delim, compare);
    for (;;) {
        parts.push_back(token);
        if (limit != -1 && static_cast<int64_t>(parts.size()) >= limit)
            break;
        token = nextToken(rest, delim, 0);
        if (token.empty())
            break;
    }
    parts.push_back(encode(rest));
    return parts;
}

std::string ReverseStr(const std::string& s)
{
    std::u32string text = decode(s);
    std::reverse(text.begin(), text.end());
    return encode(text);
}

int32_t InStrRevStr(const std::string& s, const std::string& find, int32_t start, int32_t compare)
{
    std::u32string rs = decode(s);
    std::u32string rf = decode(find);
    std::reverse(rs.begin(), rs.end());
    std::reverse(rf.begin(), rf.end());
    const size_t p = inStr(startPosition(start), rs, rf, compare);
    if (p == 0)
        return 0;
    return static_cast<int32_t>(rs.size()) - static_cast<int32_t>(p) - static_cast<int32_t>(rf.size()) + 2;
}

std::string ReplaceStr(const std::string& expression, const std::string& find, const std::string& replacewith,
                       int32_t start, int32_t count, int32_t compare)
{
    std::u32string r = decode(expression);
    const std::u32string f = decode(find);
    const std::u32string with = decode(replacewith);
    if (f.empty())
        return expression;
    const size_t from = startPosition(start);
    // A replacement that contains what it replaces would be found again at
    // once and the text would grow without end; such a search goes on after
    // the inserted text instead.
    const bool selfContaining = inStr(1, with, f, compare) != 0;
    int64_t replaced = 0;
    size_t p = inStr(from, r, f, compare);
    while (p > 0) {
        ++replaced;
        r = r.substr(0, p - 1) + with + r.substr(p - 1 + f.size());
        if (count != -1 && replaced >= count)
            break;
        p = inStr(selfContaining ? p + with.size() : from, r, f, compare);
    }
    return encode(r);
}

} // namespace orvik::ORVIK
