#include "common/Format.h"
#include "shell/CtlArray.h"
#include "shell/widgets/ControlFactory.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeControls.h"
#include "spectrum/ui/ScopeImagePage.h"
#include "spectrum/ui/ScopePanel.h"
#include "spectrum/ui/ScopeView.h"
#include "tests/spectrum/AnalyserRig.h"
#include "tests/spectrum/RecordingPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace orvik;

namespace {

class TestLabel : public AdjusterLabel {
public:
    void SetCaption(const QString& caption) override
    {
        text = caption;
        ++writes;
    }
    QString Caption() const override { return text; }
    void SetForeColour(uint32_t) override {}
    void SetBorder(bool) override {}
    QString text;
    int writes = 0;
};

// The scope panel on a bare window, its controller, an analyser set up as at start-up
// and a VFO stand-in tuned to 7.088 MHz.
struct ScopeWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    clsSpectrumAnalyser analyser;
    CtlArray ctl;
    std::vector<std::unique_ptr<TestLabel>> labels;
    std::unique_ptr<ScopeControls> controls;
    int32_t tuned = 70880000;
    std::vector<int32_t> tunedTo;
    int source = 1;
    int rebuilds = 0;
    bool wheelTunes = false;
    int32_t tuneStep = 0;

    ScopeWindow()
    {
        window->resize(1000, 500);
        buildScopeControls(window.get());
        ScopeControls::Hooks hooks;
        hooks.TunedFrequency = [this] { return tuned; };
        hooks.tuneTo = [this](int32_t f) { tunedTo.push_back(f); };
        hooks.SpectrumSource = [this] { return source; };
        hooks.setSpectrumSource = [this](int s) { source = s; };
        hooks.DSPSettingsChanged = [this] { ++rebuilds; };
        hooks.ScrollWheelEnableOverScope = [this] { return wheelTunes; };
        hooks.setTuneStep = [this](int32_t step) { tuneStep = step; };
        controls = std::make_unique<ScopeControls>(window.get(), analyser, ctl, hooks);
        for (int id : ScopeControls::AdjusterIds) {
            labels.push_back(std::make_unique<TestLabel>());
            ctl.Define(id, labels.back().get(), controls->applyProcedure(id));
        }
        ctl[19].Default = static_cast<float>(analyser.DefaultSmoothCount);
        ctl[19].Value = static_cast<float>(analyser.SpectrumSmooth());
        analyser.FSampling = 48000;
        analyser.Order = 11;
        analyser.picDisplay0(&controls->page(0));
        analyser.picDisplay1(&controls->page(1));
        analyser.StartBin = 0;
        analyser.StopBin = 1024;
        analyser.FStart = 0;
        analyser.FEnd = 24000;
        analyser.FOffset = tuned / 10 - 12000;
        ctl.Apply(15);
        ctl.Apply(6);
        // As at start-up: the current mode's box goes off and on so its click handler runs.
        box("chkScopeMode", analyser.Mode())->setChecked(false);
        box("chkScopeMode", analyser.Mode())->setChecked(true);
        analyser.Init();
        analyser.Active = true;
    }

    template <typename T = QWidget>
    T* get(const QString& name) const { return window->findChild<T*>(name); }
    QCheckBox* box(const char* array, int i) const
    {
        return qobject_cast<QCheckBox*>(controlElement(window.get(), QLatin1String(array), i));
    }
    QString caption(int id) const { return ctl[id].Control->Caption(); }
    int captionWrites(int id) const { return static_cast<const TestLabel*>(ctl[id].Control)->writes; }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3)); }
    void mouse(QWidget* target, QEvent::Type type, QPointF pos, Qt::MouseButton button = Qt::NoButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        QMouseEvent e(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    // Moves to and clicks the front page at user X (halfway up).
    void clickAt(float x)
    {
        ScopeImagePage& page = controls->page(analyser.ActivePage() == 0 ? 0 : 1);
        // After a layout page 0 is in front; after a frame the page last drawn is.
        ScopeImagePage& front = page.Visible() ? page : controls->page(1 - (analyser.ActivePage() == 0 ? 0 : 1));
        const QPointF at = front.toPixel(x, front.ScaleTop + front.ScaleHeight / 2);
        mouse(front.view(), QEvent::MouseMove, at);
        mouse(front.view(), QEvent::MouseButtonPress, at, Qt::LeftButton);
    }
};

// Drags a slider's handle by dx pixels with the left button, as a pointer does.
void dragHandle(QSlider* slider, int dx)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QPoint from =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, at, slider->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(slider, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int step = 1; step <= 4; ++step)
        send(QEvent::MouseMove, from + QPoint(dx * step / 4, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::NoButton);
}

// The tune timer's tick, as the program runs it (every 20 ms while tuning): adjuster 15's
// apply procedure, which sets the X range again from adjusters 6 and 15.
struct TuneTimer {
    QTimer timer;
    int ticks = 0;
    explicit TuneTimer(CtlArray& ctl)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, &ctl] {
            ctl.Apply(15);
            ++ticks;
        });
        timer.start(20);
    }
    // Lets the timer tick a few more times.
    bool tickAFewTimes()
    {
        const int until = ticks + 3;
        return QTest::qWaitFor([&] { return ticks >= until; }, 10000);
    }
};

} // namespace

TEST(ScopeControls, TheModeBoxesActAsRadioButtonsAndLoadEachModesRecord)
{
    ScopeWindow w;
    QCheckBox* time = w.box("chkScopeMode", 1);
    w.analyser.ModeSettings(1).Chn2Enabled = false;
    w.analyser.ModeSettings(1).FastMode = false;
    w.analyser.ModeSettings(1).LogMode = true;
    w.click(time);
    EXPECT_EQ(w.analyser.Mode(), 1);
    EXPECT_TRUE(time->isChecked());
    EXPECT_FALSE(w.box("chkScopeMode", 0)->isChecked());
    EXPECT_TRUE(w.analyser.FastMode());
    EXPECT_FALSE(w.analyser.LogMode());
    EXPECT_TRUE(w.get<QCheckBox>("chkLog")->isChecked());
    EXPECT_TRUE(w.get<QCheckBox>("chkSmoothSpectrum")->isChecked());
    EXPECT_FALSE(w.get<QCheckBox>("chkChn2On")->isChecked());
    EXPECT_EQ(w.get<QGroupBox>("frScopeSweep")->title(), "Timebase");
    EXPECT_EQ(qobject_cast<QLabel*>(controlElement(w.window.get(), "lblScopeCtl", 0))->text(), "ms/Div");
    EXPECT_FALSE(w.get("frScopeYMode")->isVisibleTo(w.window.get()));
    EXPECT_TRUE(w.box("chkTrigOn", 1)->isVisibleTo(w.window.get()));
    // The adjuster records decide the sweep: 1023 - 10 samples, captioned in ms per division.
    EXPECT_EQ(w.analyser.ScreenWidth, 1013);
    EXPECT_EQ(w.analyser.StopBin, 1012);
    EXPECT_EQ(w.caption(6), "1.759");
    EXPECT_EQ(w.analyser.TriggerChn(), 0);

    // Clicking the ticked box keeps it ticked.
    w.click(time);
    EXPECT_TRUE(time->isChecked());

    w.click(w.box("chkScopeMode", 0));
    EXPECT_EQ(w.analyser.Mode(), 0);
    EXPECT_EQ(w.get<QGroupBox>("frScopeSweep")->title(), "Sweep");
    EXPECT_EQ(qobject_cast<QLabel*>(controlElement(w.window.get(), "lblScopeCtl", 0))->text(), "Hz/Div");
    EXPECT_TRUE(w.get("frScopeYMode")->isVisibleTo(w.window.get()));
    EXPECT_EQ(w.analyser.StartBin, 0);
    EXPECT_EQ(w.analyser.StopBin, 1023);
    EXPECT_EQ(w.caption(6), "2,000");
    EXPECT_EQ(w.caption(15), "7,088,000");

    w.analyser.ModeSettings(2).Chn1Enabled = false;
    w.click(w.box("chkScopeMode", 2));
    EXPECT_EQ(w.analyser.Mode(), 2);
    EXPECT_TRUE(w.analyser.Chn1Enabled());
    EXPECT_FALSE(w.get("frScopeSweep")->isVisibleTo(w.window.get()));
}

TEST(ScopeControls, TheCheckBoxesSetTheAnalyser)
{
    ScopeWindow w;
    w.click(w.get("chkChn1On"));
    EXPECT_FALSE(w.analyser.Chn1Enabled());
    w.click(w.get("chkScopeShowFilters"));
    EXPECT_TRUE(w.analyser.ShowFilter);
    w.click(w.get("chkSpectrumAutoGain"));
    EXPECT_TRUE(w.analyser.AutoGain);
    w.analyser.Active = false;
    w.click(w.get("chkSpectrumAnalyser"));
    EXPECT_TRUE(w.analyser.Active);

    // "Lin" unticked is the log scale, laid out again with the log scale's top.
    w.get<QCheckBox>("chkLog")->setChecked(true);
    w.click(w.get("chkLog"));
    EXPECT_TRUE(w.analyser.LogMode());
    EXPECT_NEAR(w.controls->page(0).ScaleTop, 7.380211, 1e-5);

    w.click(w.get("chkSmoothSpectrum"));
    EXPECT_TRUE(w.analyser.FastMode());
    EXPECT_FALSE(w.analyser.SmoothSpectrum);
    EXPECT_FALSE(w.get("lblSpectrumSmooth")->isVisibleTo(w.window.get()));
    w.click(w.get("chkSmoothSpectrum"));
    EXPECT_FALSE(w.analyser.FastMode());
    EXPECT_TRUE(w.get("lblSpectrumSmooth")->isVisibleTo(w.window.get()));

    w.click(w.box("chkScopeMode", 1));
    w.click(w.box("chkTrigOn", 2));
    EXPECT_EQ(w.analyser.TriggerChn(), 2);
    EXPECT_FALSE(w.box("chkTrigOn", 1)->isChecked());
    EXPECT_TRUE(w.analyser.Chn2Trig());
    w.click(w.box("chkTrigOn", 1));
    EXPECT_EQ(w.analyser.TriggerChn(), 1);
    EXPECT_FALSE(w.box("chkTrigOn", 2)->isChecked());
}

TEST(ScopeControls, TheGainSliderStepsSixDecibelsUnlessAutoGainIsOn)
{
    ScopeWindow w;
    auto* gain = w.get<QSlider>("sldSpectrumGain");
    gain->setValue(2);
    EXPECT_FLOAT_EQ(w.analyser.Gain, 4.0F);
    EXPECT_EQ(gain->toolTip(), "YGain : 12 dB");
    gain->setValue(8);
    EXPECT_FLOAT_EQ(w.analyser.Gain, 1.0F / 16);
    w.mouse(gain, QEvent::MouseButtonPress, QPointF(2, 2), Qt::RightButton);
    EXPECT_EQ(gain->value(), 4);
    EXPECT_FLOAT_EQ(w.analyser.Gain, 1.0F);

    w.get<QCheckBox>("chkSpectrumAutoGain")->setChecked(true);
    const QString tip = gain->toolTip();
    gain->setValue(0);
    EXPECT_FLOAT_EQ(w.analyser.Gain, 1.0F);
    EXPECT_EQ(gain->toolTip(), tip);
}

TEST(ScopeControls, TheXSlidersZoomWithinTheSpan)
{
    ScopeWindow w;
    auto* width = w.get<QSlider>("sldXWidth");
    auto* centre = w.get<QSlider>("sldXCentre");
    w.click(w.box("chkScopeMode", 0)); // sets the slider steps and centres the X centre
    centre->setValue(511);
    width->setValue(100);
    EXPECT_EQ(w.analyser.StartBin, 461);
    EXPECT_EQ(w.analyser.StopBin, 561);
    EXPECT_EQ(width->toolTip(), "Spectrum Width : 195 Hz/div");
    width->setValue(3); // drawn as 10
    EXPECT_EQ(w.analyser.StopBin - w.analyser.StartBin, 10);
    centre->setValue(1020);
    width->setValue(200);
    EXPECT_EQ(w.analyser.StartBin, 920);
    EXPECT_EQ(w.analyser.StopBin, 1023);
    EXPECT_EQ(centre->toolTip(), "Center Frequency : 7,099,906 Hz");
    w.mouse(width, QEvent::MouseButtonPress, QPointF(2, 2), Qt::RightButton);
    EXPECT_EQ(width->value(), 1023);
    w.mouse(centre, QEvent::MouseButtonPress, QPointF(2, 2), Qt::RightButton);
    EXPECT_EQ(centre->value(), 512);
    EXPECT_EQ(w.analyser.StartBin, 1);

    w.click(w.box("chkScopeMode", 1));
    width->setValue(500);
    EXPECT_EQ(w.analyser.ScreenWidth, 500);
    EXPECT_EQ(w.analyser.StopBin, 499);
    EXPECT_EQ(width->toolTip(), "Timebase : 00.87 mS/div");
}

TEST(ScopeControls, TheTapPointsSetTheSpanAndAskForNewFilters)
{
    ScopeWindow w;
    w.click(controlElement(w.window.get(), "optSpectrumSource", 3));
    EXPECT_EQ(w.source, 3);
    EXPECT_EQ(w.analyser.FEnd, 6000);
    EXPECT_EQ(w.analyser.FOffset, 0);
    EXPECT_TRUE(w.analyser.ReverseSpectrum);
    EXPECT_EQ(w.analyser.StartBin, 0);
    EXPECT_EQ(w.analyser.StopBin, 256);
    EXPECT_EQ(w.rebuilds, 1);

    w.tuned = 140740000;
    w.click(controlElement(w.window.get(), "optSpectrumSource", 0));
    EXPECT_EQ(w.analyser.FEnd, 24000);
    EXPECT_EQ(w.analyser.FOffset, 14074000 - 12000);
    EXPECT_EQ(w.analyser.StopBin, 1023);
    EXPECT_EQ(w.rebuilds, 2);
}

// Clicks tune by the new axis at once, sweep or no sweep: its labels must show it at once too.
TEST(ScopeControls, ATapPointChosenWithNoSweepRunningRedrawsTheAxisLabels)
{
    ScopeWindow w;
    ScopeImagePage& front = w.controls->page(0);
    ASSERT_TRUE(front.Visible());
    const QImage before = front.image().copy();
    w.click(controlElement(w.window.get(), "optSpectrumSource", 3));
    const QImage after = front.image().copy();
    EXPECT_NE(after, before);
    w.analyser.SetupDisplay();
    EXPECT_EQ(front.image(), after) << "the page shows other labels than a fresh layout draws";
}

TEST(ScopeControls, TheDisplayAdjustersApplyTheirValues)
{
    ScopeWindow w;
    w.ctl[2].Value = 2.5F;
    w.ctl.Apply(2);
    EXPECT_FLOAT_EQ(w.analyser.Chn1Gain(), 2.5F);
    w.ctl[5].Value = 50;
    w.ctl.Apply(5);
    EXPECT_NEAR(w.analyser.ModeSettings(0).Chn2Offset, 16e6, 1);
    // A smoothing count from the configuration dialog can be far outside the history.
    w.ctl[19].Value = 1000;
    w.ctl.Apply(19);
    EXPECT_EQ(w.analyser.SpectrumSmooth(), 24);
    EXPECT_EQ(w.caption(19), "1000");
    w.ctl[21].Value = 50;
    w.ctl.Apply(21);
    EXPECT_EQ(w.analyser.Y1Colour, 0x8000U);
    w.ctl[22].Value = 30;
    w.ctl.Apply(22);
    EXPECT_EQ(w.analyser.Y2Colour, 0x4C4CU);

    // X width 100 around the centre 511, by the adjusters.
    w.ctl[6].Value = 100;
    w.ctl.Apply(6);
    EXPECT_EQ(w.analyser.StartBin, 461);
    EXPECT_EQ(w.analyser.StopBin, 561);
    EXPECT_EQ(w.caption(6), "197");
    w.click(w.box("chkScopeMode", 1));
    w.ctl[6].Value = 15;
    w.ctl.Apply(15);
    EXPECT_EQ(w.analyser.ScreenWidth, 10);
    EXPECT_EQ(w.analyser.StopBin, 9);
}

TEST(ScopeControls, AClickTunesToTheFrequencyTheGraticuleShowsThere)
{
    for (bool reverse : {true, false}) {
        ScopeWindow w;
        w.analyser.ReverseSpectrum = reverse;
        // Full span: the middle of the page is the tuned frequency either way.
        w.clickAt(512);
        ASSERT_EQ(w.tunedTo.size(), 1U) << reverse;
        EXPECT_EQ(w.tunedTo[0], 70880000) << reverse;

        // Zoomed to bins 461 to 561: 30 bins in from the left edge.
        w.ctl[6].Value = 100;
        w.ctl.Apply(6);
        w.analyser.setMode(0); // lays the pages out for the zoomed span
        w.clickAt(30);
        ASSERT_EQ(w.tunedTo.size(), 2U);
        const double f = reverse ? 7076000 + 23.4375 * (461 + 30) : 7076000 + 24000 - 23.4375 * (561 - 30);
        EXPECT_EQ(w.tunedTo[1], static_cast<int32_t>(std::floor(f / 1000 + 0.5)) * 10000) << reverse;
        EXPECT_NEAR(w.controls->readOutTag().toDouble(), f, 0.05);
    }
}

// Hertz in a caption: blanks group the digits of both the labels and the read-out.
double hertz(const std::string& text, double unit)
{
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    return std::stod(digits) * unit;
}

TEST(ScopeControls, TheReadOutAndAClickFollowTheGraticuleLabelsInEveryZoomTapAndSide)
{
    struct Zoom {
        double width, centre; // fractions of the largest X value
    };
    const Zoom zooms[] = {{1.0, 0.5}, {0.853, 0.5}, {0.2, 0.15}, {0.3, 0.93}};
    struct View {
        int tap;
        bool highSide;
    };
    // High-side injection runs the IF axis upward; "AF Out" always runs upward.
    const View views[] = {{0, true}, {0, false}, {1, true}, {2, false}, {3, true}};
    for (const View& view : views)
        for (const Zoom& zoom : zooms) {
            ScopeWindow w;
            w.click(controlElement(w.window.get(), "optSpectrumSource", view.tap));
            const bool audio = view.tap == 3;
            if (!audio)
                w.analyser.ReverseSpectrum = view.highSide;
            // Zoomed as the operator zooms, through the X adjusters; the page keeps the
            // layout it had.
            const float largest = w.ctl[6].Max;
            w.ctl[6].Value = std::round(largest * static_cast<float>(zoom.width));
            w.ctl[15].Value = std::round(largest * static_cast<float>(zoom.centre));
            w.ctl.Apply(15);
            const std::string where = "tap " + std::to_string(view.tap) + (view.highSide ? " high" : " low") +
                                      " bins " + std::to_string(w.analyser.StartBin) + ".." +
                                      std::to_string(w.analyser.StopBin);

            ScopeImagePage& front = w.controls->page(0).Visible() ? w.controls->page(0) : w.controls->page(1);
            test::RecordingPage labels;
            labels.ScaleLeft = front.ScaleLeft;
            labels.ScaleTop = front.ScaleTop;
            labels.ScaleWidth = front.ScaleWidth;
            labels.ScaleHeight = front.ScaleHeight;
            w.analyser.DrawGraticule(labels);
            // The labels stand on whole-bin steps spread over the width less one unit, so
            // the farthest one is a few bins from its own frequency; the caption itself is
            // rounded to its last digit.
            const double slack = 8 * w.analyser.HzPerBin + (audio ? 50 : 500);
            auto* readOut = qobject_cast<QLabel*>(controlElement(w.window.get(), "lblSpectrumFreq", 0));
            int checked = 0;
            for (const test::RecordingPage::Text& text : labels.texts) {
                if (text.colour != w.analyser.XTextColour)
                    continue;
                // A label stands centred on its line, unless it is pushed in from an edge.
                const float width = labels.TextWidth(text.text);
                if (text.x <= 0 || text.x + width >= front.ScaleWidth)
                    continue;
                const float x = text.x + width / 2;
                const double shown = hertz(text.text, 1000);
                const QPointF at = front.toPixel(x, front.ScaleTop + front.ScaleHeight / 2);
                w.mouse(front.view(), QEvent::MouseMove, at);
                EXPECT_NEAR(hertz(readOut->text().toStdString(), 1), shown, slack)
                    << where << " label " << text.text;
                const size_t clicks = w.tunedTo.size();
                w.mouse(front.view(), QEvent::MouseButtonPress, at, Qt::LeftButton);
                if (audio) {
                    EXPECT_EQ(w.tunedTo.size(), clicks) << where;
                } else {
                    ASSERT_EQ(w.tunedTo.size(), clicks + 1) << where;
                    EXPECT_NEAR(w.tunedTo.back() / 10.0, shown, slack + 500) << where << " label " << text.text;
                }
                ++checked;
            }
            EXPECT_GE(checked, 10) << where;
        }
}

TEST(ScopeControls, OnlyARadioFrequencySpectrumTunesOnAClick)
{
    ScopeWindow w;
    w.click(w.box("chkScopeMode", 1));
    w.clickAt(300);
    w.click(w.box("chkScopeMode", 2));
    w.clickAt(0);
    w.click(w.box("chkScopeMode", 0));
    w.click(controlElement(w.window.get(), "optSpectrumSource", 3));
    w.clickAt(100);
    EXPECT_TRUE(w.tunedTo.empty());
}

TEST(ScopeControls, TheReadOutFollowsThePointerAndStaysOnThePage)
{
    ScopeWindow w;
    w.analyser.ReverseSpectrum = true;
    w.window->show();
    ScopeImagePage& page = w.controls->page(0);
    auto* label = qobject_cast<QLabel*>(controlElement(w.window.get(), "lblSpectrumFreq", 0));
    w.mouse(page.view(), QEvent::MouseMove, page.toPixel(1020, 0));
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), "7 099 906");
    EXPECT_LE(label->geometry().right(), page.picture()->width());

    w.wheelTunes = true;
    w.mouse(page.view(), QEvent::MouseMove, page.toPixel(512, 24e6F * 0.55F));
    // 0.275 of the scale's whole height: Int(2.75 + 0.5) x 100 = 300 Hz.
    EXPECT_EQ(label->text(), "7 088 000 : 300");
    EXPECT_EQ(w.tuneStep, 3000);
    EXPECT_EQ(w.ctl.ActiveAdjuster, CtlArray::PicScopeIndex);

    w.analyser.HideFreqToolTip = true;
    w.mouse(page.view(), QEvent::MouseMove, page.toPixel(100, 0));
    EXPECT_FALSE(label->isVisible());
    w.mouse(page.view(), QEvent::MouseButtonPress, page.toPixel(100, 0), Qt::LeftButton);
    EXPECT_EQ(w.tunedTo.size(), 1U);

    w.analyser.HideFreqToolTip = false;
    w.mouse(page.view(), QEvent::MouseMove, page.toPixel(100, 0));
    ASSERT_TRUE(label->isVisible());
    w.mouse(w.get("picScopeContainer"), QEvent::MouseMove, QPointF(1, 1));
    EXPECT_FALSE(label->isVisible());
}

TEST(ScopeControls, TheDisplayTimerDrawsOnceUnlessFrozen)
{
    ScopeWindow w;
    auto* timer = w.get<QTimer>("tmrSpectrumDisplay");
    timer->start(100);
    const int before = w.analyser.ActivePage();
    w.controls->tmrSpectrumDisplay_Timer();
    EXPECT_FALSE(timer->isActive());
    EXPECT_NE(w.analyser.ActivePage(), before);

    timer->start(100);
    w.analyser.Freeze = true;
    w.analyser.Active = false; // a frozen picture is redrawn even with the analyser off
    w.controls->tmrSpectrumDisplay_Timer();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(w.analyser.ActivePage(), before);
}

TEST(ScopeControls, ReceptionBelowSixtyKilohertzStillTunesOnAClick)
{
    ScopeWindow w;
    w.tuned = 400000; // 40 kHz: the span's left end, 28 kHz, is below the sampling rate
    w.click(controlElement(w.window.get(), "optSpectrumSource", 0));
    w.analyser.ReverseSpectrum = true;
    ASSERT_EQ(w.analyser.FOffset, 28000);
    w.clickAt(512);
    ASSERT_EQ(w.tunedTo.size(), 1U);
    EXPECT_EQ(w.tunedTo[0], 400000);
}

// The tune timer applies the X centre fifty times a second, with the display on or off.
TEST(ScopeControls, TheXCaptionsAreWrittenOnlyWhenWhatTheyShowChanges)
{
    ScopeWindow w;
    w.ctl.Apply(15);
    ASSERT_EQ(w.caption(15), "7,088,000");
    ASSERT_EQ(w.caption(6), "2,000");
    const int centreWrites = w.captionWrites(15);
    const int widthWrites = w.captionWrites(6);
    for (bool on : {true, false}) {
        w.get<QCheckBox>("chkSpectrumAnalyser")->setChecked(on);
        for (int tick = 0; tick < 5; ++tick)
            w.ctl.Apply(15);
    }
    EXPECT_EQ(w.captionWrites(15), centreWrites);
    EXPECT_EQ(w.captionWrites(6), widthWrites);

    // Tuning moves the span's offset: the centre caption follows, the width stays written.
    w.analyser.FOffset += 1000;
    w.ctl.Apply(15);
    EXPECT_EQ(w.caption(15), "7,089,000");
    EXPECT_EQ(w.captionWrites(15), centreWrites + 1);

    // A caption written over by the adjuster itself (its own value) is put right again.
    w.ctl.WriteCaption(6);
    ASSERT_NE(w.caption(6), "2,000");
    w.ctl.Apply(15);
    EXPECT_EQ(w.caption(6), "2,000");

    // Zooming changes the width.
    w.ctl[6].Value = 100;
    w.ctl.Apply(15);
    EXPECT_EQ(w.caption(6), "197");
    EXPECT_EQ(w.caption(15), "7,089,000");
}

// The X sliders and the X adjusters set the same range: whichever is used last decides, while
// the tune timer applies the adjusters on every tick.
TEST(ScopeControls, TheXSlidersRangeLastsThroughTheTuneTimersTicks)
{
    ScopeWindow w;
    auto* width = w.get<QSlider>("sldXWidth");
    auto* centre = w.get<QSlider>("sldXCentre");
    w.click(w.box("chkScopeMode", 0));
    TuneTimer tune(w.ctl);
    auto range = [&] { return std::pair(w.analyser.StartBin, w.analyser.StopBin); };
    auto hz = [&](double value) { return Format(value, "#,###"); };

    // A right click on the width slider gives the full width; then the handle is dragged.
    w.mouse(width, QEvent::MouseButtonPress, QPointF(2, 2), Qt::RightButton);
    ASSERT_EQ(width->value(), 1023);
    dragHandle(width, -50);
    ASSERT_LT(width->value(), 800);
    const auto zoomed = range();
    ASSERT_LT(zoomed.second - zoomed.first, 800);
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(range(), zoomed);
    // The labels show the slider's range.
    EXPECT_EQ(w.caption(6).toStdString(), hz(w.analyser.HzPerBin * (zoomed.second - zoomed.first + 1) / 12.0));

    dragHandle(centre, 10);
    QTest::keyClick(centre, Qt::Key_PageUp);
    const auto moved = range();
    ASSERT_GT(moved.first, zoomed.first);
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(range(), moved);
    EXPECT_EQ(w.caption(15).toStdString(), hz((centre->value() + 1) * w.analyser.HzPerBin + w.analyser.FOffset));

    // The width adjuster used next decides, about the centre the slider left.
    w.ctl.StepUp(6, 50);
    const auto widened = range();
    EXPECT_EQ(widened.second - widened.first, moved.second - moved.first + 50);
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(range(), widened);

    // Then the slider again.
    QTest::keyClick(width, Qt::Key_PageDown);
    const auto narrowed = range();
    EXPECT_LT(narrowed.second - narrowed.first, widened.second - widened.first);
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(range(), narrowed);

    // The sweep in time mode; its adjuster holds no more than 1013 samples.
    w.click(w.box("chkScopeMode", 1));
    const int before = width->value();
    dragHandle(width, -20);
    ASSERT_NE(width->value(), before);
    const int32_t sweep = w.analyser.ScreenWidth;
    ASSERT_EQ(sweep, std::max(width->value(), 10));
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(w.analyser.ScreenWidth, sweep);
    EXPECT_EQ(w.analyser.StopBin, sweep - 1);
    width->setValue(width->maximum());
    ASSERT_TRUE(tune.tickAFewTimes());
    EXPECT_EQ(w.analyser.ScreenWidth, 1013);
}
