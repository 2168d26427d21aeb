#include "receiver/ReceiverCore.h"
#include "receiver/ui/SMeter.h"

#include "shell/widgets/ControlKinds.h"
#include "app/MainWindowControls.h"
#include "receiver/ui/SMeter.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"
#include "shell/widgets/Dial.h"

#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace orvik;

namespace {

float levelForDecibels(double dB)
{
    return static_cast<float>(std::pow(10.0, dB / 20.0));
}

int litTicks(QWidget* window)
{
    int lit = 0;
    for (int i = 0; i < 15; ++i)
        if (!controlElement(window, "shpSMeterTick", i)->isHidden())
            ++lit;
    return lit;
}

} // namespace

TEST(SMeterDisplay, OneTickPerSixDecibelsRoundedToWholeDecibels)
{
    struct Case {
        float level;
        int tick;
    };
    const Case table[] = {{0.0f, 0},
                          {1.1f, 0},
                          {levelForDecibels(5.4), 0},
                          {levelForDecibels(5.6), 1},
                          {levelForDecibels(53.4), 8},
                          {levelForDecibels(53.6), 9},
                          {levelForDecibels(83.6), 14},
                          {1e9f, 14},
                          {0.001f, 0}};
    for (const Case& c : table)
        EXPECT_EQ(SMeterTicks(c.level), c.tick) << c.level;
}

TEST(SMeterDisplay, LevelBarLightsTicksUpToTheLevel)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    ShowLevelBar(window.get(), levelForDecibels(54.0));
    EXPECT_EQ(litTicks(window.get()), 10);
    EXPECT_FALSE(controlElement(window.get(), "shpSMeterTick", 9)->isHidden());
    ShowLevelBar(window.get(), 0.0f);
    EXPECT_EQ(litTicks(window.get()), 1);
}

TEST(SMeterDisplay, DrawingLaysOutTicksAndPrintsTheScale)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    ShowLevelBar(window.get(), 1e6f);
    DrawSMeter(window.get());

    auto* scale = window->findChild<PictureBox*>("picSmeter_2");
    const TwipsRect area = twipsGeometry(scale);
    const QRect first = controlElement(window.get(), "shpSMeterTick", 0)->geometry();
    for (int i = 0; i < 15; ++i) {
        QWidget* tick = controlElement(window.get(), "shpSMeterTick", i);
        EXPECT_EQ(tick->x(), twipsToPixels(static_cast<int32_t>(std::floor(i * area.width / 15.0 + 0.5)))) << i;
        EXPECT_EQ(tick->width(), twipsToPixels(area.width / 15)) << i;
        EXPECT_EQ(tick->y(), first.y()) << i;
        EXPECT_EQ(tick->height(), first.height()) << i;
    }
    EXPECT_EQ(litTicks(window.get()), 1);

    QStringList printed;
    for (const auto& item : scale->printedTexts())
        printed << item.text;
    EXPECT_EQ(printed, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "+6", "12", "18", "24", "30", "36"}));
    // Labels step one cell to the right each.
    const auto& texts = scale->printedTexts();
    for (int k = 1; k < texts.size(); ++k)
        EXPECT_GT(texts[k].position.x(), texts[k - 1].position.x());

    auto* meter = window->findChild<QWidget*>("picSmeter_0");
    auto* copy = window->findChild<QWidget*>("picSmeter_1");
    EXPECT_EQ(copy->geometry(), meter->geometry());

    // Drawing again starts from a clear surface.
    DrawSMeter(window.get());
    EXPECT_EQ(scale->printedTexts().size(), 15);
}

// Each number of the printed scale stands above its own tick and stays readable with the
// whole bar lit: white-ish pixels (no tick has red and blue) where it is printed, on the picture as the screen shows it.
TEST(SMeterDisplay, TheScaleStaysReadableAboveTheLitBar)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    DrawSMeter(window.get());
    ShowLevelBar(window.get(), 1e9f);
    ASSERT_EQ(litTicks(window.get()), 15);

    auto* scale = window->findChild<PictureBox*>("picSmeter_2");
    const QFontMetrics metrics(scale->font());
    const QImage picture = scale->grab().toImage();
    const auto& texts = scale->printedTexts();
    ASSERT_EQ(texts.size(), 15);
    for (int k = 0; k < texts.size(); ++k) {
        const QRect tick = controlElement(window.get(), "shpSMeterTick", k)->geometry();
        const QRect text(texts[k].position, QSize(metrics.horizontalAdvance(texts[k].text), metrics.height()));
        const QString name = texts[k].text;
        EXPECT_TRUE(scale->rect().contains(text)) << name.toStdString();
        EXPECT_LE(text.bottom(), tick.top()) << name.toStdString();
        EXPECT_GE(text.center().x(), tick.left()) << name.toStdString();
        EXPECT_LE(text.center().x(), tick.right()) << name.toStdString();
        int white = 0;
        for (int y = text.top(); y <= text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x)
                if (picture.rect().contains(x, y) && qRed(picture.pixel(x, y)) > 128 &&
                    qBlue(picture.pixel(x, y)) > 128)
                    ++white;
        EXPECT_GT(white, 3) << name.toStdString();
    }
}

TEST(DialControl, ChangingIsRaisedByTheUserNotByCode)
{
    Dial dial;
    dial.setRange(0, 100);
    dial.setValue(50);
    QSignalSpy changing(&dial, &Dial::Changing);
    dial.setValue(60);
    EXPECT_EQ(changing.count(), 0);

    int seen = -1;
    QObject::connect(&dial, &Dial::Changing, [&] { seen = dial.value(); });
    dial.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(changing.count(), 1);
    EXPECT_EQ(seen, 61);
}
