#include "shell/StartupSteps.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace orvik;

TEST(StartupSteps, LogsEachStepBeforeItsActionInOrder)
{
    QStringList events;
    StartupSteps steps("frmMain:frmMain:Form_Load");
    steps.add(":Start", [&] { events << "act start"; })
        .add(":Resizing")
        .add("", [&] { events << "silent"; })
        .add(":End", [&] { events << "act end"; });
    steps.run([&](const QString& line) { events << line; });
    EXPECT_EQ(events, QStringList({"frmMain:frmMain:Form_Load:Start", "act start", "frmMain:frmMain:Form_Load:Resizing",
                                   "silent", "frmMain:frmMain:Form_Load:End", "act end"}));
    EXPECT_EQ(steps.texts(), (std::vector<QString>{":Start", ":Resizing", ":End"}));
}

TEST(StartupSteps, AFailingStepStopsTheRestAndTellsWhichStepFailed)
{
    QStringList lines;
    StartupSteps steps("L");
    steps.add(":A").add(":B", [] { throw StartupError("Unknown SDRModelNo 7", 13); }).add(":C");
    try {
        steps.run([&](const QString& line) { lines << line; });
        FAIL() << "the error did not reach the caller";
    } catch (const StartupError& e) {
        EXPECT_EQ(e.code(), 13);
        EXPECT_STREQ(e.what(), "Unknown SDRModelNo 7");
    }
    EXPECT_EQ(lines, QStringList({"L:A", "L:B"}));
    EXPECT_EQ(steps.currentStep(), 2);
}

TEST(StartupSteps, FailureReportHasTheBoxLinesAndTheLogLine)
{
    const StartupFailureReport r =
        describeStartupFailure("frmMain:frmMain:Form_Load", 31, 5, "Unknown SDRModelNo 7", "ORVIKSDR");
    EXPECT_EQ(r.messageText,
              "frmMain:frmMain:Form_Load:31\nCode=5\nDescription=Unknown SDRModelNo 7\nSource=ORVIKSDR");
    EXPECT_EQ(r.logLine, "Error:frmMain:frmMain:Form_Load:31,Code=5,Description=Unknown SDRModelNo 7,Source=ORVIKSDR");
}
