// The recorder in the main window on the fake sound card: what the player hands the receiver
// reaches the device, the end of a file included, before the receiver goes off.

#include "tests/app/WindowSandbox.h"

#include "platform/DialogService.h"
#include "receiver/sound/ORVIKDX8.h"
#include "recorder/WavFormat.h"

#include <QAbstractButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

using namespace orvik;

namespace {

constexpr int kBlock = 2048;

struct RecorderWindow : orvik::testing::WindowSandbox {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowSandbox::SetUp());
        setDialogService(&dialogs);
    }
    void TearDown() override
    {
        WindowSandbox::TearDown();
        setDialogService(nullptr);
    }

    void click(int i) { window->findChild<QAbstractButton*>(QStringLiteral("cmdWavCtls_%1").arg(i))->click(); }

    // One captured block of silence through the sound card to the receiver, then what the
    // device plays next; empty while it plays nothing.
    std::vector<int16_t> nextBlock()
    {
        if (!backend.pushCapture(std::vector<int16_t>(2 * kBlock, 0)))
            return {};
        ORVIKDX8* card = window->soundCard();
        EXPECT_TRUE(QTest::qWaitFor([&] { return card->PendingCaptureEvent() == 0; }, 5000));
        return backend.pullPlayback(kBlock).value_or(std::vector<int16_t>{});
    }

    ScriptedDialogService dialogs;
};

} // namespace

TEST_F(RecorderWindow, TheEndOfAFileReachesTheDeviceBeforeThePowerGoesOff)
{
    // A tone to the end of the player's first half, so the last block of the file is audio.
    std::vector<int16_t> audio(32768);
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<int16_t>(std::lround(8000 * std::sin(2 * std::numbers::pi * 1000 * i / 48000.0)));
    const auto bytes = static_cast<uint32_t>(2 * audio.size());
    QByteArray file = wav::BuildWavHeader({48000, 1, 16, bytes, 44 + bytes});
    file.append(reinterpret_cast<const char*>(audio.data()), bytes);
    QFile f(dir.filePath("end.wav"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
    f.close();

    startWindow();
    dialogs.queueFile(f.fileName());
    click(7);
    click(1);
    ASSERT_TRUE(window->powerOn());
    std::vector<int16_t> played;
    int blocks = 0;
    for (; blocks < 60 && window->powerOn(); ++blocks) {
        const std::vector<int16_t> block = nextBlock();
        played.insert(played.end(), block.begin(), block.end());
    }
    ASSERT_FALSE(window->powerOn()) << "the end switches the receiver off";
    EXPECT_LT(blocks, 30);
    const auto loud = [](int16_t v) { return std::abs(v) > 1000; };
    const auto first = std::find_if(played.begin(), played.end(), loud);
    const auto last = std::find_if(played.rbegin(), played.rend(), loud);
    ASSERT_NE(first, played.end());
    EXPECT_GE((last.base() - first), static_cast<std::ptrdiff_t>(audio.size()) - 100)
        << "samples from the first to the last loud one";
}
