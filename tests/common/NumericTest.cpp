#include "common/Numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orvik {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(RoundEven, ExactHalvesGoToTheEvenNeighbour)
{
    struct Case { double x; int32_t expected; };
    const Case cases[] = {
        {0.5, 0},       {1.5, 2},         {2.5, 2},          {-0.5, 0},
        {-1.5, -2},     {-2.5, -2},       {117.1875, 117},   {11.71875, 12},
        {-25.5, -26},   {0.1 * 2005, 200}, {2.4999999999, 2}, {2.5000000001, 3},
        {-0.49, 0},     {1e-300, 0},      {2147483646.5, 2147483646},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundEven(c.x), c.expected) << c.x;
        EXPECT_EQ(RoundEvenChecked(c.x), c.expected) << c.x;
    }
}

TEST(RoundEven, OutOfRangeIsReportedOrSaturated)
{
    struct Case { double x; std::optional<int32_t> checked; int32_t saturated; };
    const Case cases[] = {
        {2147483647.0, 2147483647, 2147483647},
        {2147483647.5, std::nullopt, 2147483647}, // the even neighbour is 2^31
        {2147483648.0, std::nullopt, 2147483647},
        {-2147483648.0, -2147483647 - 1, -2147483647 - 1},
        {-2147483648.5, -2147483647 - 1, -2147483647 - 1},
        {-2147483649.0, std::nullopt, -2147483647 - 1},
        {1e300, std::nullopt, 2147483647},
        {kInf, std::nullopt, 2147483647},
        {-kInf, std::nullopt, -2147483647 - 1},
        {kNaN, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundEvenChecked(c.x), c.checked) << c.x;
        EXPECT_EQ(RoundEven(c.x), c.saturated) << c.x;
    }
}

TEST(IntAndIntDiv, FloorAndTruncation)
{
    EXPECT_EQ(Int(-0.5), -1.0);
    EXPECT_EQ(Int(2.999), 2.0);
    EXPECT_EQ(Int(-3.0), -3.0);
    EXPECT_EQ(Int(0.5 + 0.5), 1.0);

    struct Case { int32_t a, b, expected; };
    const Case cases[] = {
        {7, 2, 3}, {-7, 2, -3}, {7, -2, -3}, {-7, -2, 3}, {1, 6, 0},
        {5, 0, 0}, {std::numeric_limits<int32_t>::min(), -1, std::numeric_limits<int32_t>::max()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntDiv(c.a, c.b), c.expected) << c.a << " \\ " << c.b;
}

TEST(NumericValue, ReadsTheNumberATextBeginsWith)
{
    struct Case { const char* text; double expected; };
    const Case cases[] = {
        {"455 000", 455000},   {"7 074 000", 7074000}, {"  12.5kHz", 12.5},
        {"-3", -3},            {"+4", 4},              {"- 5", -5},
        {".5", 0.5},           {"5.", 5},              {"1.2.3", 1.2},
        {"1e3", 1000},         {"2.5E-1x", 0.25},      {"1D2", 100},
        {"1e", 1},             {"1e+", 1},             {"\t1\t2", 12},
        {"", 0},               {"abc", 0},             {"--5", 0},
        {".", 0},              {"-", 0},               {"x12", 0},
        {"1e999", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NumericValue(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseNumber, AcceptsOnlyAWholeNumber)
{
    struct Case { const char* text; std::optional<double> expected; };
    const Case cases[] = {
        {"2.5", 2.5},        {" -3 ", -3},      {"+7", 7},       {"1e3", 1000},
        {".25", 0.25},       {"0", 0},          {"\t10\r\n", 10}, {"0.1", 0.1},
        {"", std::nullopt},  {"  ", std::nullopt}, {"abc", std::nullopt},
        {"12abc", std::nullopt}, {"455 000", std::nullopt}, {"2,5", std::nullopt},
        {"inf", std::nullopt}, {"nan", std::nullopt}, {"-", std::nullopt},
        {"+-1", std::nullopt}, {"0x10", std::nullopt}, {"1e999", std::nullopt},
        {"True", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseInt32, RoundsHalfToEvenAndChecksRange)
{
    struct Case { const char* text; std::optional<int32_t> expected; };
    const Case cases[] = {
        {"42", 42},           {"-42", -42},             {"2.5", 2},
        {"3.5", 4},           {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt}, {"1e10", std::nullopt},
        {"", std::nullopt},   {"7x", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInt32(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseBool, ReadsWordsInAnyCaseAndNumbers)
{
    struct Case { const char* text; std::optional<bool> expected; };
    const Case cases[] = {
        {"True", true},  {"FALSE", false}, {"true", true}, {" false ", false},
        {"0", false},    {"-1", true},     {"1", true},    {"0.0", false},
        {"", std::nullopt}, {"yes", std::nullopt}, {"Tru", std::nullopt}, {"Truex", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseBool(c.text), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(BoolToText(true), "True");
    EXPECT_EQ(BoolToText(false), "False");
}

TEST(NumberToText, IntegersPlainFloatsShortestWithPoint)
{
    struct Case { double x; const char* expected; };
    const Case cases[] = {
        {2.5, "2.5"},     {10.0, "10"},       {250.0, "250"},   {-3.0, "-3"},
        {0.0, "0"},       {-0.0, "0"},        {0.1, "0.1"},     {-0.125, "-0.125"},
        {1.0 / 3.0, "0.3333333333333333"},    {0.0001, "0.0001"},
        {123456789012.0, "123456789012"},     {1e20, "1e+20"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberToText(c.x), c.expected) << c.x;

    EXPECT_EQ(NumberToText(int64_t{-9007199254740993}), "-9007199254740993");
    EXPECT_EQ(NumberToText(48000), "48000"); // int picks the integer form
    EXPECT_EQ(NumberToText(static_cast<int16_t>(-7)), "-7");
}

TEST(NumberToText, FloatsReadBackToTheSameValue)
{
    const double values[] = {0.1, 1.0 / 3.0, 2.0 / 3.0 * 1e-3, 123456.789, 1e-7, -9.87654321e12,
                             0.04266666620969772, 3.1415927410125732};
    for (double v : values) {
        auto back = ParseNumber(NumberToText(v));
        ASSERT_TRUE(back.has_value()) << NumberToText(v);
        EXPECT_EQ(*back, v) << NumberToText(v);
    }
}

} // namespace
} // namespace orvik
