#include "app/TerminationSignals.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

using namespace orvik;

// A signal comes between any two statements, also between a failed call and the read of
// its errno; a flood of them fills the pipe to the event loop, so the handler's own write
// fails. The interrupted code must still read its own errno, and the window still closes.
TEST(TerminationSignals, ASignalLeavesTheInterruptedCodesErrnoAndClosesTheWindow)
{
    QWidget window;
    window.show();
    closeWindowOnTerminationSignals(&window);
    ASSERT_FALSE(terminationRequested());

    // Far more than a pipe holds, so the last signals find it full.
    for (int i = 0; i < 200000; ++i)
        std::raise(SIGTERM);
    errno = ENOSPC;
    std::raise(SIGTERM);
    EXPECT_EQ(errno, ENOSPC);
    errno = ENOSPC;
    std::raise(SIGINT);
    EXPECT_EQ(errno, ENOSPC);

    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 30000);
    EXPECT_TRUE(terminationRequested());
}

// The terminal the program was started from closing sends SIGHUP, which used to end it
// at once, without the shut-down that saves the settings and finishes a recording.
// After the test above: the flag it tested stays set.
TEST(TerminationSignals, AHangUpClosesTheWindowAsATerminationDoes)
{
    std::signal(SIGHUP, SIG_DFL);
    QWidget window;
    window.show();
    closeWindowOnTerminationSignals(&window);
    std::raise(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 30000);
    EXPECT_TRUE(terminationRequested());
}

// Started under nohup, the program was asked to outlive its terminal.
TEST(TerminationSignals, AHangUpIgnoredFromTheStartStaysIgnored)
{
    std::signal(SIGHUP, SIG_IGN);
    QWidget window;
    window.show();
    closeWindowOnTerminationSignals(&window);
    struct sigaction now {};
    ASSERT_EQ(sigaction(SIGHUP, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}
