#pragma once

// A ProgramSandbox with a virtual X server of its own, for tests that run the program on
// a display and drive it with X clients; skipped where a tool the test needs is missing.

#include "tests/app/ProgramSandbox.h"
#include "tests/support/VirtualDisplay.h"

#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

namespace orvik::soundtest {

class DisplaySandbox : public ProgramSandbox {
protected:
    // Tools the test needs besides Xvfb and xdotool.
    explicit DisplaySandbox(QStringList tools = {}) : tools_(std::move(tools)) {}

    // A derived SetUp goes on only when this left the test neither skipped nor failed.
    void SetUp() override
    {
        for (const QString& tool : QStringList{QStringLiteral("Xvfb"), QStringLiteral("xdotool")} + tools_)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool.toStdString() << " is not installed";
        ASSERT_NO_FATAL_FAILURE(ProgramSandbox::SetUp());
        const QString problem = xserver.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    // The program and the sound server first, then the display they used.
    void TearDown() override
    {
        ProgramSandbox::TearDown();
        xserver.stop();
    }

    bool readyForTest() const { return !IsSkipped() && !HasFailure(); }

    VirtualDisplay xserver;

private:
    QStringList tools_;
};

} // namespace orvik::soundtest
