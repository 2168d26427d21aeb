#pragma once

#include "app/frmMain.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvik::testing {

// The main window on a fake sound card: a program folder with one band plan and an empty
// folder of shipped plans, and a settings store beside them on the parallel interface (no
// serial port is ever opened). Message boxes are recorded in `shown`.
class WindowSandbox : public ::testing::Test {
protected:
    explicit WindowSandbox(QByteArray bandPlan = "[MainBand]\r\nName=Test\r\n",
                           std::vector<std::string> playbackNames = {"Fake playback"},
                           std::vector<std::string> captureNames = {"Fake capture"})
        : bandPlan_(std::move(bandPlan)), backend(std::move(playbackNames), std::move(captureNames))
    {
    }

    void SetUp() override
    {
        QDir().mkpath(home);
        QDir().mkpath(dir.filePath("shipped"));
        QFile f(QDir(home).filePath("Test.bpl"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bandPlan_) == bandPlan_.size());
        f.close();
        store = std::make_unique<SettingsStore>(dir.filePath("ORVIKSDR.ini"));
        store->write("frmMain", "VFO1.IFType", "1");
        setMessageService(&shown);
    }

    void TearDown() override
    {
        if (window)
            window->Form_Unload();
        window.reset();
        setMessageService(nullptr);
    }

    void startWindow()
    {
        window = std::make_unique<frmMain>(frmMain::Services{*store, backend, home, dir.filePath("shipped")});
        ASSERT_EQ(window->Form_Initialize({}), 0);
    }

private:
    QByteArray bandPlan_;

protected:
    QTemporaryDir dir;
    QString home = dir.filePath("home");
    std::unique_ptr<SettingsStore> store;
    FakeSoundBackend backend;
    RecordingMessageService shown;
    std::unique_ptr<frmMain> window;
};

} // namespace orvik::testing
