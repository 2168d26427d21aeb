#pragma once

#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/RecordingModemLines.h"
#include "platform/RecordingParallelPort.h"
#include "platform/SettingsStore.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace orvik::testing {

// A fresh settings file, recorded messages and log lines, and an event pump
// that marks each pass in the serial log and can run a callback at a chosen
// pass, the way a timer fires in the middle of a transfer.
class TuningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<SettingsStore>(dir.path() + "/ORVIKSDR.ini");
        setMessageService(&messagesShown);
        setLogSink([this](const QString& line) { logLines << line; });
        setEventPump([this] {
            lines.recordEventPass();
            ++passes;
            if (passes == firePass && onPass) {
                auto action = std::move(onPass);
                onPass = nullptr;
                action();
            }
        });
    }

    void TearDown() override
    {
        setEventPump({});
        setLogSink({});
        setMessageService(nullptr);
    }

    // Runs action once, at the n-th event pass from now.
    void fireAtPass(int n, std::function<void()> action)
    {
        firePass = passes + n;
        onPass = std::move(action);
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    RecordingMessageService messagesShown;
    QStringList logLines;
    RecordingModemLines lines;
    RecordingParallelPort parallel;
    int passes = 0;
    int firePass = -1;
    std::function<void()> onPass;
};

} // namespace orvik::testing
