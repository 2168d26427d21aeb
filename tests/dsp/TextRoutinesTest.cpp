#include "dsp/ORVIK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace orvik {
namespace {

using Parts = std::vector<std::string>;

TEST(Log10, IsTheLogarithmOfTheMagnitudeAndZeroWhereItFails)
{
    const std::pair<double, double> cases[] = {
        {1000.0, 3.0}, {-100.0, 2.0}, {1.0, 0.0}, {0.001, -3.0}, {0.0, 0.0},
        {std::numeric_limits<double>::quiet_NaN(), 0.0}, {std::numeric_limits<double>::infinity(), 0.0},
    };
    for (auto [x, want] : cases)
        EXPECT_NEAR(ORVIK::Log10(x), want, 1e-12) << x;
}

TEST(UtcClock, GivesTwoDigitFieldsOfTheCurrentUtcTime)
{
    // The second may turn over during the call: either side of it is right.
    const std::time_t before = std::time(nullptr);
    const std::string text = ORVIK::GetUTCTimeString();
    const std::time_t after = std::time(nullptr);
    std::vector<std::string> accepted;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm utc{};
        gmtime_r(&t, &utc);
        char want[16];
        std::snprintf(want, sizeof want, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
        accepted.push_back(want);
    }
    EXPECT_NE(std::find(accepted.begin(), accepted.end(), text), accepted.end()) << text;
}

TEST(SplitStr, SplitsUntilAnEmptyFieldAndKeepsTheRemainder)
{
    struct Case {
        std::string text, delimiter;
        int32_t limit;
        Parts want;
    };
    const Case cases[] = {
        {"a,b,c", ",", -1, {"a", "b", "c"}},
        {"abc", ",", -1, {"", "abc"}},
        {"a,,b,c", ",", -1, {"a", "b,c"}},
        {"a,b,c", ",", 1, {"a", "b,c"}},
        {"a,b,", ",", -1, {"a", "b", ""}},
        {"", ",", -1, {"", ""}},
        {"one::two::three", "::", -1, {"one", "two", "three"}},
        {std::string("C:\\dir\0f1.wav\0f2.wav", 20), std::string("\0", 1), -1, {"C:\\dir", "f1.wav", "f2.wav"}},
        {"é,ü,ß", ",", -1, {"é", "ü", "ß"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ORVIK::SplitStr(c.text, c.delimiter, c.limit, 0), c.want) << c.text;
}

TEST(SplitStr, NextTokenTakesTheFrontOffOrLeavesTheRestAlone)
{
    std::string rest = "key=value=more";
    EXPECT_EQ(ORVIK::SplitNextToken(rest, "=", 0), "key");
    EXPECT_EQ(rest, "value=more");
    std::string none = "plain";
    EXPECT_EQ(ORVIK::SplitNextToken(none, "=", 0), "");
    EXPECT_EQ(none, "plain");
    std::string mixed = "aXbxc";
    EXPECT_EQ(ORVIK::SplitNextToken(mixed, "x", 1), "a");
    EXPECT_EQ(mixed, "bxc");
}

TEST(InStrRevStr, FindsTheLastOccurrenceCountingStartFromTheEnd)
{
    struct Case {
        std::string text, find;
        int32_t start, compare, want;
    };
    const Case cases[] = {
        {"C:\\Radio\\Rec\\take1.wav", "\\", 1, 0, 13},
        {"take1.wav", "\\", 1, 0, 0},
        {"a\\b\\c", "\\", 1, 0, 4},
        {"a\\b\\c", "\\", 3, 0, 2},
        {"theme.old.thm", ".", 1, 0, 10},
        {"abcABC", "bc", 1, 0, 2},
        {"abcABC", "BC", 1, 0, 5},
        {"abcABC", "bc", 1, 1, 5},
        {"abcabc", "BC", 1, 1, 5},
        {"ü\\ö", "\\", 1, 0, 2},
        {"", "\\", 1, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ORVIK::InStrRevStr(c.text, c.find, c.start, c.compare), c.want) << c.text << " " << c.find;
}

TEST(ReplaceStr, ReplacesFromStartUpToCount)
{
    struct Case {
        std::string text, find, with;
        int32_t start, count, compare;
        std::string want;
    };
    const Case cases[] = {
        {"dream -f %CurFreq% -x %CurFreq%", "%CurFreq%", "6095", 1, -1, 0, "dream -f 6095 -x 6095"},
        {"dream -f %CurFreq% -x %CurFreq%", "%CurFreq%", "6095", 1, 1, 0, "dream -f 6095 -x %CurFreq%"},
        {"dream -f %curfreq%", "%CurFreq%", "6095", 1, -1, 1, "dream -f 6095"},
        {"dream -f %curfreq%", "%CurFreq%", "6095", 1, -1, 0, "dream -f %curfreq%"},
        {"Wave files|*.wav|All|*.*", "|", std::string("\0", 1), 1, -1, 0,
         std::string("Wave files\0*.wav\0All\0*.*", 24)},
        {".wav", ".", "", 1, -1, 0, "wav"},
        {"a.b.c", ".", "-", 3, -1, 0, "a.b-c"},
        // Searching again from the start sees text the replacement made.
        {"aab", "ab", "b", 1, -1, 0, "b"},
        // A replacement holding what it replaces must not grow without end.
        {"x-x", "x", "xx", 1, -1, 0, "xx-xx"},
        {"nothing here", "%CurFreq%", "1", 1, -1, 0, "nothing here"},
        {"abc", "", "z", 1, -1, 0, "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ORVIK::ReplaceStr(c.text, c.find, c.with, c.start, c.count, c.compare), c.want) << c.text;
}

TEST(ReverseStr, ReversesCharactersNotBytes)
{
    EXPECT_EQ(ORVIK::ReverseStr(""), "");
    EXPECT_EQ(ORVIK::ReverseStr("abc"), "cba");
    EXPECT_EQ(ORVIK::ReverseStr("aéb"), "béa");
    const std::string stray = "a\xff" "b";
    EXPECT_EQ(ORVIK::ReverseStr(ORVIK::ReverseStr(stray)), stray);
}

} // namespace
} // namespace orvik
