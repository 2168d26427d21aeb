#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <vector>

using namespace orvik;

TEST(MessageService, RecorderKeepsMessagesAndAnswersFromItsQueueThenFirstButton)
{
    RecordingMessageService recorder;
    setMessageService(&recorder);
    recorder.queueAnswer(MessageAnswer::Cancel);
    EXPECT_EQ(messages().show("Port?", "Title", MessageButtons::RetryCancel, MessageIcon::Warning),
              MessageAnswer::Cancel);
    EXPECT_EQ(messages().show("Save?", "T2", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::Yes);
    setMessageService(nullptr);
    // Back on the default service: nothing more is recorded and nothing blocks.
    EXPECT_EQ(messages().show("x", "y", MessageButtons::AbortRetryIgnore, MessageIcon::None),
              MessageAnswer::Abort);

    ASSERT_EQ(recorder.shown().size(), 2u);
    EXPECT_EQ(recorder.shown()[0].text, "Port?");
    EXPECT_EQ(recorder.shown()[0].title, "Title");
    EXPECT_EQ(recorder.shown()[0].buttons, MessageButtons::RetryCancel);
    EXPECT_EQ(recorder.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(recorder.shown()[1].text, "Save?");
}

TEST(EventPumpAndLog, InjectedHooksReplaceTheDefaultsUntilCleared)
{
    int pumps = 0;
    std::vector<int> depths;
    setEventPump([&] {
        ++pumps;
        depths.push_back(pumpDepth());
        if (pumps == 1)
            pumpEvents(); // a handler that lets events run again
    });
    pumpEvents();
    pumpEvents();
    setEventPump({});
    pumpEvents(); // no application object: the default does nothing
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(depths, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(pumpDepth(), 0);

    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    AddLog("one");
    AddLog("two");
    setLogSink({});
    AddLog("to stderr");
    EXPECT_EQ(lines, QStringList({"one", "two"}));
}

// A box shows a lone carriage return as a line break; on standard error it joined the lines
// ("...before a new recordingDo you want...") in a log and made a terminal overwrite the first.
TEST(MessageService, TheCopyOnStandardErrorKeepsEveryLineBreak)
{
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"Recording must be saved first\rDo you want to save it ?", "T: Recording must be saved first\nDo you want to save it ?"},
        {"one\r\ntwo", "T: one\ntwo"},
        {"one\ntwo\n", "T: one\ntwo\n"},
        {"one\r\rtwo\r", "T: one\n\ntwo\n"},
        {"\n\r\n\r", "T: \n\n\n"},
        {"no break", "T: no break"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(messageCopyLine(QString::fromLatin1(c.text), "T"), QString::fromLatin1(c.line)) << c.text;

    // The default service writes that line.
    ::testing::internal::CaptureStderr();
    messages().show("Recording must be saved before a new recording\rDo you want to save the Recording ?", "ORVIKSDR",
                    MessageButtons::YesNo, MessageIcon::None);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ORVIKSDR: Recording must be saved before a new recording\nDo you want to save the Recording ?\n");
}

TEST(EventPumpAndLog, QuotedValuesStayShortAndOnOneLine)
{
    EXPECT_EQ(logValue("COM3"), "COM3");
    EXPECT_EQ(logValue(QString(80, 'a')), QString(80, 'a'));
    EXPECT_EQ(logValue(QString(100000, 'a')), QString(80, 'a') + "... (100000 characters)");
    EXPECT_EQ(logValue(QString("a") + QChar(0) + "b\r\nc\td"), "a\\x00b\\x0d\\x0ac\\x09d");
    EXPECT_EQ(logValue(QString("a") + QChar(0x2028) + QChar(0x85) + "\u00e9"), "a\\x2028\\x85\u00e9");
    // The limit counts the characters of the value, not of their escapes.
    const QString nuls(100, QChar(0));
    EXPECT_EQ(logValue(nuls), QString("\\x00").repeated(80) + "... (100 characters)");
}
