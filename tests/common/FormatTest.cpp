#include "common/Format.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

struct FormatCase {
    double x;
    const char* picture;
    const char* expected;
};

void expectAll(std::initializer_list<FormatCase> cases)
{
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.x, c.picture), c.expected) << "Format(" << c.x << ", \"" << c.picture << "\")";
}

TEST(Format, RequiredAndOptionalDigits)
{
    expectAll({
        {0, "#", ""},          {0, "#0", "0"},         {7, "#0", "7"},
        {5, "0#", "05"},       {5, "#0#", "05"},       {1234, "#0", "1234"},
        {1234, "0", "1234"},   {7074000, "000000000", "007074000"},
        {3.14159, "#0.00", "3.14"}, {0.5, "#.00", ".50"}, {0.5, "0.0#", "0.5"},
        {0.25, "0.0#", "0.25"}, {12.5, ".00", "12.50"},  {5, "#0.0 kHz", "5.0 kHz"},
        {1.0 / 230400, "0.000000000", "0.000004340"},
        {5, "#.##", "5."}, // the point is written even without fraction digits
    });
}

TEST(Format, LiteralsBetweenPlaceholdersFollowTheDigits)
{
    expectAll({
        {455000, "#0 000 000", "0 455 000"},
        {5000000, "#0 000 000", "5 000 000"},
        {50000000, "#0 000 000", "50 000 000"},
        {360096000, "#0 000 000", "360 096 000"},
        {0, "#0 000 000", "0 000 000"},
        {7074000, "#0 000 000 Hz", "7 074 000 Hz"},
        {12345, "### ### 000", "12 345"},
        {123456789, "### ### 000", "123 456 789"},
        {42, "### ### 000", "042"},
        {1234567890, "### ### 000", "1234 567 890"},
        {1.5, "0.000 000", "1.500 000"},
        {1.5, "0.0## #", "1.5"},
        {1.25, "0.0# #", "1.25"},
        {1.251, "0.0# #", "1.25 1"},
    });
}

TEST(Format, ThousandsGrouping)
{
    expectAll({
        {1234567, "#,##0 Hz", "1,234,567 Hz"},
        {7074000, "#,###0 Hz", "7,074,000 Hz"},
        {999, "#,##0", "999"},
        {1000, "#,##0", "1,000"},
        {0, "#,###", ""},
        {0, "##,##0  ", "0  "},
        {5, "0,000", "0,005"},
        {1234.5678, "#,##0.000 ms", "1,234.568 ms"},
        {-1234, "#,##0", "-1,234"},
    });
}

TEST(Format, HalvesRoundAwayFromZero)
{
    expectAll({
        {0.5, "#0", "1"},     {1.5, "#0", "2"},      {2.5, "#0", "3"},
        {-2.5, "#0", "-3"},   {0.125, "0.00", "0.13"}, {2.675, "0.00", "2.68"},
        {1.005, "0.00", "1.01"}, {9.995, "#0.00 dB", "10.00 dB"},
        {99999.5, "#,##0", "100,000"}, {0.49, "#", ""}, {0.6, "#", "1"},
    });
}

TEST(Format, SignsAndSections)
{
    expectAll({
        {-12, "#0", "-12"},
        {-1.5, "#0 000 000;(#0.000 000)", "(1.500 000)"},
        {2500000, "#0 000 000;(#0.000 000)", "2 500 000"},
        {-5, "#0;#0-", "5-"},
        {-5, "#0;", "-5"},              // an empty negative section borrows the first
        {0, "#0;(#0);nil", "nil"},
        {-3, "#0;(#0);nil", "(3)"},
        {-0.004, "#0.00", "0.00"},      // too small to show: no minus sign
        {-0.004, "#0.00;(#0.00)", "0.00"},
        {5, "+#", "+5"},
        {12.34, "-#0.0", "-12.3"},
        {0.25, "#0%", "25%"},
        {0.07, "#0%", "7%"},
        {-0.5, "#0%", "-50%"},
    });
}

TEST(Format, QuotedAndEscapedTextIsLiteral)
{
    expectAll({
        {5, "#0 \"#0;\"", "5 #0;"},
        {5, "\\#0", "#5"},
        {-5, "#0;\"minus \"#0", "minus 5"},
        {3, "#0 dB", "3 dB"},
    });
}

TEST(Format, EmptyPictureGivesTheDefaultText)
{
    EXPECT_EQ(Format(2.5, ""), "2.5");
    EXPECT_EQ(Format(-10, ""), "-10");
}

TEST(FormatField, TrimsAndPadsOnTheLeft)
{
    struct Case { const char* text; int width; char pad; const char* expected; };
    const Case cases[] = {
        {"12", 5, '0', "00012"}, {"  12 ", 5, ' ', "   12"}, {"abc", 3, '*', "abc"},
        {"abcdef", 3, '*', "abcdef"}, {"", 2, '-', "--"}, {" x ", 0, '0', "x"},
        {"7", -1, '0', "7"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatField(c.text, c.width, c.pad), c.expected) << '"' << c.text << '"';
}

} // namespace
} // namespace orvik
