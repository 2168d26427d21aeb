#include "../LineDecoders.h"
#include "../TestBed.h"

#include "platform/ModemLineWatcher.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Dial.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/FrequencyPanel.h"
#include "tuning/ui/TuningControls.h"
#include "tests/support/DropDownList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cmath>

using namespace orvik;
using namespace orvik::testing;

namespace {

constexpr uint32_t Focus = 0x00FFFF;
constexpr uint32_t Normal = 0x00BFBF;

int32_t statusOf(int state)
{
    return ((state & 1) ? 0 : 0x10) | ((state & 2) ? 0 : 0x20);
}

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF pos(target->width() / 2.0, target->height() / 2.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                      ? Qt::NoButton
                                      : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void click(QWidget* target, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseButtonPress, button);
    sendMouse(target, QEvent::MouseButtonRelease, button);
}

class TuningWindow : public TuningTest {
protected:
    void SetUp() override
    {
        TuningTest::SetUp();
        store->write("frmMain", "EnableShaftEncoder", "True");
        window = std::make_unique<QWidget>();
        buildFrequencyControls(window.get());
        addLabel(window.get(), "lblStatsVal", 3, "", {0, 3000, 2000, 240});
        watcher = new ModemLineWatcher(window.get());
        auto lines = std::make_unique<RecordingModemLines>();
        serial = lines.get();
        rig = SetUpSynthesizer(*store, "frmMain", std::move(lines), std::make_unique<RecordingParallelPort>(), watcher);
        ASSERT_TRUE(watcher->isWatching());
        ASSERT_TRUE(rig.VFO && rig.DDSAD9951);

        TuningControls::Hooks hooks;
        hooks.ActiveAdjuster = [this] { return active; };
        hooks.setActiveAdjuster = [this](int16_t id) { active = id; };
        hooks.UnFocusFrames = [this] { calls << "unfocus"; };
        hooks.focusColour = [] { return Focus; };
        hooks.normalColour = [] { return Normal; };
        hooks.BFO = [this] { return bfo; };
        hooks.setHiSideLO = [this](bool hi) {
            calls << (hi ? "high" : "low");
            rig.VFO->setHiSideLO(hi);
        };
        hooks.setDSPSettingsChanged = [this] { calls << "dsp"; };
        hooks.lblScopeX_Wheel = [this] { calls << "scope"; };
        hooks.lblNotchC_Wheel = [this] { calls << "notch"; };
        hooks.storeSubBandStep = [this](int32_t step) { storedSteps.push_back(step); };
        hooks.GetEncoderBits = [this] { return rig.DDSSerialIF->GetEncoderBits(); };
        hooks.encoderInterval = [this] { return interval; };
        hooks.random = [this] { return randomValue; };
        controls = std::make_unique<TuningControls>(window.get(), state, hooks);
        controls->setVFO(rig.VFO.get());
        controls->setCommControl(watcher);
        state.EnableShaftEncoder = rig.EnableShaftEncoder;
        dial = window->findChild<Dial*>("dialtuner");
        serial->log.clear();
    }

    void TearDown() override
    {
        controls.reset();
        rig = SynthesizerRig();
        window.reset();
        TuningTest::TearDown();
    }

    // The AD9951 frequency words (instruction 0x04) decoded from the serial lines.
    std::vector<uint32_t> wordsSent() const
    {
        std::vector<uint32_t> words;
        for (const Frame& f : decodeSerial(serial->log).frames) {
            const auto b = bytesOf(f);
            if (b.size() == 5 && b[0] == 0x04)
                words.push_back((uint32_t(b[1]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 8) | b[4]);
        }
        return words;
    }
    uint32_t lastWord() const
    {
        const auto w = wordsSent();
        return w.empty() ? 0 : w.back();
    }
    // The word for a tuned frequency on the high side of the 45 MHz IF, 360.096 MHz clock.
    static uint32_t wordFor(int64_t tuned, bool hiSide = true)
    {
        const double out = std::fabs(double(tuned) + (hiSide ? 450000000.0 : -450000000.0));
        return static_cast<uint32_t>(std::nearbyint(out * 4294967296.0 / 3600960000.0));
    }

    // Pointing at a digit picks its step, clicking it locks the rate there.
    void lockAt(int d)
    {
        sendMouse(digit(d), QEvent::MouseMove);
        click(digit(d));
    }
    QLabel* digit(int i) const { return qobject_cast<QLabel*>(controlElement(window.get(), "lbl7Seg", i)); }
    QLabel* label(const char* name) const { return window->findChild<QLabel*>(name); }
    QString shownDigits() const
    {
        QString text;
        for (int i = 0; i < 9; ++i)
            text += digit(i)->text();
        return text;
    }
    // One edge of the knob, through the modem-line watcher.
    void knob(int state)
    {
        serial->status = static_cast<uint32_t>(statusOf(state));
        watcher->poll();
    }
    void turnKnob(bool up, int edges)
    {
        static const int order[] = {0, 2, 3, 1};
        for (int i = 0; i < edges; ++i) {
            knobPosition = (knobPosition + (up ? 1 : 3)) % 4;
            knob(order[knobPosition]);
        }
    }

    std::unique_ptr<QWidget> window;
    ModemLineWatcher* watcher = nullptr;
    RecordingModemLines* serial = nullptr;
    SynthesizerRig rig;
    TuningState state;
    std::unique_ptr<TuningControls> controls;
    Dial* dial = nullptr;
    int16_t active = 0;
    int32_t bfo = 0;
    double interval = 100000;
    double randomValue = 0.5;
    QStringList calls;
    std::vector<int32_t> storedSteps;
    int knobPosition = 0;
};

} // namespace

TEST_F(TuningWindow, HoverPicksTheDigitAndHighlightsIt)
{
    sendMouse(digit(4), QEvent::MouseMove);
    EXPECT_EQ(active, 1);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 10000);
    EXPECT_DOUBLE_EQ(state.TuneRate, 10000);
    EXPECT_EQ(state.SelectedDigit, 4);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 1 KHz");
    EXPECT_EQ(textColour(digit(4)), Focus);
    EXPECT_EQ(textColour(digit(0)), Normal);
    const TwipsRect d = twipsGeometry(digit(4));
    const TwipsRect marker = twipsGeometry(window->findChild<QWidget*>("shpTuneStep"));
    EXPECT_NEAR(marker.left, d.left - 20, 15);
    EXPECT_NEAR(marker.width, d.width + 40, 15);
    EXPECT_NEAR(marker.top, d.top + 150, 15);

    sendMouse(digit(0), QEvent::MouseMove);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 10 MHz");
    EXPECT_EQ(textColour(digit(4)), Normal);
    sendMouse(digit(8), QEvent::MouseMove);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 1 dHz");
}

TEST_F(TuningWindow, ClickLocksTheRateAndADoubleClickLeavesItUnlocked)
{
    sendMouse(digit(2), QEvent::MouseMove); // the pointer reaches the digit before it clicks
    click(digit(2));
    EXPECT_TRUE(state.TuningRateLocked);
    EXPECT_TRUE(rig.VFO->TuneStepLock());
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 1000000);
    EXPECT_EQ(controls->HighlightedDigit(), 2);

    // Locked: hovering changes nothing but the active adjuster.
    active = 0;
    sendMouse(digit(6), QEvent::MouseMove);
    EXPECT_EQ(active, 1);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 1000000);
    EXPECT_NE(textColour(digit(6)), Focus);

    // Press, release, double click, release: locked by the first click, unlocked by the second.
    sendMouse(digit(5), QEvent::MouseButtonPress, Qt::LeftButton);
    sendMouse(digit(5), QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_TRUE(state.TuningRateLocked);
    sendMouse(digit(5), QEvent::MouseButtonDblClick, Qt::LeftButton);
    sendMouse(digit(5), QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_FALSE(state.TuningRateLocked);
    EXPECT_FALSE(rig.VFO->TuneStepLock());

    // The rate label toggles only the rate lock.
    click(label("lblTuningRate"));
    EXPECT_TRUE(state.TuningRateLocked);
    EXPECT_FALSE(rig.VFO->TuneStepLock());
    EXPECT_EQ(label("lblTuningRate")->toolTip(), "Click to Unlock Tuning Rate");
    EXPECT_EQ(textColour(label("lblTuningRate")), Normal);
    click(label("lblTuningRate"));
    EXPECT_FALSE(state.TuningRateLocked);
    EXPECT_EQ(label("lblTuningRate")->toolTip(), "Click to Lock Tuning Rate");
}

TEST_F(TuningWindow, RightClickOpensTheMenuAndItsItemsAct)
{
    window->show();
    sendMouse(digit(3), QEvent::MouseMove);
    sendMouse(digit(3), QEvent::MouseButtonPress, Qt::RightButton);
    sendMouse(digit(3), QEvent::MouseButtonRelease, Qt::RightButton);
    QMenu* menu = controls->vfoControlMenu();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(state.TuningRateLocked); // the right button only opens the menu
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, (QStringList{"Cancel", "-", "Set Tuning Rate", "Lock Tune Rate", "Unlock Tune rate"}));

    menu->actions()[2]->trigger(); // Set Tuning Rate: the list opens under the digit
    auto* list = window->findChild<QComboBox*>("cboTuningSteps");
    EXPECT_TRUE(list->isVisible());
    const TwipsRect pic = twipsGeometry(window->findChild<QWidget*>("picFreqDisp"));
    const TwipsRect d = twipsGeometry(digit(3));
    EXPECT_NEAR(twipsGeometry(list).top, pic.top + d.top + d.height, 15);
    EXPECT_NEAR(twipsGeometry(list).left, pic.left + d.left - twipsGeometry(list).width / 2, 15);
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());

    menu->actions()[3]->trigger(); // Lock at digit 3
    EXPECT_TRUE(state.TuningRateLocked);
    EXPECT_TRUE(rig.VFO->TuneStepLock());
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 100000);
    // The lock comes first, so locking at another digit moves the highlight, not the step.
    controls->lbl7Seg_Click(6);
    EXPECT_EQ(controls->HighlightedDigit(), 6);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 10000 Hz");
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 100000);
    menu->actions()[4]->trigger();
    EXPECT_FALSE(state.TuningRateLocked);
    EXPECT_FALSE(rig.VFO->TuneStepLock());
    menu->close();
}

TEST_F(TuningWindow, KeysStepThroughTheTuningTimerAndReachTheChip)
{
    window->show();
    QWidget* display = window->findChild<QWidget*>("picFreqDisp");
    sendMouse(display, QEvent::MouseMove);
    EXPECT_EQ(active, 1);
    EXPECT_TRUE(calls.contains("unfocus"));
    sendMouse(digit(5), QEvent::MouseMove); // 100 Hz
    controls->tmrTune()->setInterval(50);

    QTest::keyPress(display, Qt::Key_Up);
    EXPECT_EQ(controls->tmrTune()->interval(), 20);
    EXPECT_TRUE(state.TuneUpPending);
    controls->tmrTune_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100001000);
    EXPECT_EQ(lastWord(), wordFor(100001000));
    EXPECT_EQ(shownDigits(), "100001000");
    EXPECT_EQ(label("lblTuneDialRate")->text(), "x 100 Hz");
    EXPECT_EQ(dial->value(), 99); // the pointer turns back, round the end
    EXPECT_EQ(controls->DialLastValue(), 99);
    controls->tmrTune_Timer(); // nothing pending: no step
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100001000);

    QTest::keyRelease(display, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(state.TuneRate, 0);
    QTest::keyPress(display, Qt::Key_Z);
    QTest::keyRelease(display, Qt::Key_Z);
    controls->tmrTune_Timer(); // released before the tick: no step
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100001000);
    QTest::keyPress(display, Qt::Key_Z);
    controls->tmrTune_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100000000);
    EXPECT_EQ(lastWord(), wordFor(100000000));
    QTest::keyRelease(display, Qt::Key_Z);

    // The display shows the BFO on top, the chip does not move.
    bfo = 1500;
    const size_t sent = wordsSent().size();
    controls->tmrTune_Timer();
    EXPECT_EQ(shownDigits(), "100015000");
    EXPECT_EQ(wordsSent().size(), sent);
    bfo = -20000;
    rig.VFO->setTunedFrequency(100000);
    controls->tmrTune_Timer();
    EXPECT_EQ(shownDigits(), "000000000"); // below 0: no minus sign
}

TEST_F(TuningWindow, ArrowKeysMoveTheDigitRoundTheEnds)
{
    QWidget* display = window->findChild<QWidget*>("picFreqDisp");
    active = 1;
    QTest::keyPress(display, Qt::Key_Left); // first key, rate 0: starts on digit 8
    EXPECT_EQ(state.SelectedDigit, 7);
    QTest::keyPress(display, Qt::Key_Right);
    QTest::keyPress(display, Qt::Key_Right);
    EXPECT_EQ(state.SelectedDigit, 0);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 100000000);
    EXPECT_EQ(controls->HighlightedDigit(), 0);
    QTest::keyPress(display, Qt::Key_Left);
    EXPECT_EQ(state.SelectedDigit, 8);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 1 dHz");
    // Any key copies the step into the rate and the grid.
    QTest::keyPress(display, Qt::Key_Q);
    EXPECT_DOUBLE_EQ(state.TuneRate, 1);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStepLSD(), 1);

    // Another adjuster active: keys do nothing.
    active = 2;
    QTest::keyPress(display, Qt::Key_Up);
    EXPECT_FALSE(state.TuneUpPending);
    EXPECT_EQ(state.SelectedDigit, 8);
}

TEST_F(TuningWindow, DialTurnsOnlySnapUnlessTheRateIsLocked)
{
    rig.VFO->setTunedFrequency(100000400);
    dial->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    dial->triggerAction(QAbstractSlider::SliderPageStepAdd); // a big move is still one step
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100000000); // onto the 100 Hz grid only
    EXPECT_EQ(lastWord(), wordFor(100000000));

    lockAt(5); // 100 Hz
    const int before = dial->value();
    dial->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100001000);
    EXPECT_EQ(controls->DialLastValue(), dial->value());
    EXPECT_NE(dial->value(), before);
    dial->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100000000);
}

TEST_F(TuningWindow, DialKeepsSteppingAcrossTheEndOfItsRange)
{
    lockAt(5);
    controls->setDialValue(98);
    dial->triggerAction(QAbstractSlider::SliderSingleStepAdd); // first turn compares with 0: down
    const int32_t start = rig.VFO->TunedFrequency();
    for (int i = 0; i < 150; ++i)
        dial->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(rig.VFO->TunedFrequency(), start + 150 * 1000);
    for (int i = 0; i < 250; ++i)
        dial->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(rig.VFO->TunedFrequency(), start - 100 * 1000);
}

TEST_F(TuningWindow, KnobInPlainModeStepsThroughTheDial)
{
    lockAt(6); // 10 Hz
    turnKnob(true, 4); // one full cycle: four edges
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100000400);
    EXPECT_EQ(lastWord(), wordFor(100000400));
    EXPECT_EQ(dial->value(), 4);
    turnKnob(false, 6);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 99999800);
    EXPECT_EQ(dial->value(), 98);
    // Far past the dial's ends, always in the knob's direction.
    turnKnob(false, 240);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 99999800 - 24000);
    turnKnob(true, 240);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 99999800);

    state.EnableShaftEncoder = false;
    turnKnob(true, 8);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 99999800);
}

TEST_F(TuningWindow, KnobInAcceleratedModeStepsByItsSpeed)
{
    state.ShaftAutoRate = true;
    interval = 500; // fast
    turnKnob(true, 8);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 10000);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100000000); // nothing until the timer
    controls->tmrShaft_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100010000); // one step per tick
    EXPECT_EQ(lastWord(), wordFor(100010000));
    controls->tmrShaft_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100010000);

    interval = 7500; // the quarter-grid band still moves down
    turnKnob(false, 5);
    controls->tmrShaft_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100009000);
    turnKnob(false, 1);
    controls->tmrShaft_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100008000);

    interval = 50000; // slow: 1 Hz
    turnKnob(true, 5);
    controls->tmrShaft_Timer();
    EXPECT_EQ(rig.VFO->TunedFrequency(), 100008010);
}

TEST_F(TuningWindow, KnobTimerRunsOnlyWhileARequestWaits)
{
    state.ShaftAutoRate = true;
    interval = 500;
    QTimer* shaft = controls->tmrShaft();
    const auto idle = [shaft] { return QTest::qWaitFor([shaft] { return !shaft->isActive(); }, 10000); };
    const auto tunedTo = [this](int64_t hz) {
        return QTest::qWaitFor([&] { return rig.VFO->TunedFrequency() == hz; }, 10000);
    };
    // A request before start-up enables the timer waits for it.
    turnKnob(true, 5);
    const int64_t start = rig.VFO->TunedFrequency();
    EXPECT_FALSE(shaft->isActive());
    controls->enableShaftTimer(30);
    EXPECT_EQ(shaft->interval(), 30);
    ASSERT_TRUE(shaft->isActive());
    ASSERT_TRUE(tunedTo(start + 10000)) << rig.VFO->TunedFrequency();
    EXPECT_TRUE(idle()) << "the tick after finds nothing and stops the timer";

    // A step while idle starts it again and is applied by its tick.
    turnKnob(false, 1);
    EXPECT_EQ(rig.VFO->TunedFrequency(), start + 10000);
    ASSERT_TRUE(shaft->isActive());
    ASSERT_TRUE(tunedTo(start)) << rig.VFO->TunedFrequency();
    EXPECT_TRUE(idle());

    // The dial applies plain-mode steps at once: the timer has nothing to do.
    state.ShaftAutoRate = false;
    turnKnob(true, 2);
    EXPECT_FALSE(shaft->isActive());
}

TEST_F(TuningWindow, PeriodicRefreshResendsTheWordWhileAutoUpdateIsOn)
{
    rig.VFO->setTunedFrequency(70000000);
    const size_t sent = wordsSent().size();
    controls->tmrVFOUpdate()->setInterval(1000);
    rig.VFO->setAutoUpdate(false);
    controls->tmrVFOUpdate_Timer();
    EXPECT_EQ(wordsSent().size(), sent);
    EXPECT_EQ(controls->tmrVFOUpdate()->interval(), 1000);

    rig.VFO->setAutoUpdate(true);
    randomValue = 0.5;
    controls->tmrVFOUpdate_Timer();
    EXPECT_EQ(wordsSent().size(), sent + 1);
    EXPECT_EQ(lastWord(), wordFor(70000000));
    EXPECT_EQ(controls->tmrVFOUpdate()->interval(), 2250);
    randomValue = 0.0;
    controls->tmrVFOUpdate_Timer();
    EXPECT_EQ(controls->tmrVFOUpdate()->interval(), 1500);
}

TEST_F(TuningWindow, LowSideBoxRetunesOnTheOtherSideOfTheIf)
{
    rig.VFO->setTunedFrequency(100000000);
    auto* box = window->findChild<QAbstractButton*>("chkTuneLo");
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
    EXPECT_FALSE(rig.VFO->HiSideLO());
    EXPECT_EQ(calls, (QStringList{"low", "dsp", "notch"}));
    EXPECT_EQ(textColour(box), 0xC0u);
    EXPECT_EQ(lastWord(), wordFor(100000000, false));
    EXPECT_EQ(shownDigits(), "100000000");
    calls.clear();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(rig.VFO->HiSideLO());
    EXPECT_EQ(calls.first(), "high");
    EXPECT_EQ(lastWord(), wordFor(100000000));
}

TEST_F(TuningWindow, UnitLabelsClearTheirDigits)
{
    rig.VFO->setTunedFrequency(142300057);
    click(controlElement(window.get(), "lblScale", 2));
    EXPECT_EQ(rig.VFO->TunedFrequency(), 142300007);
    click(controlElement(window.get(), "lblScale", 0));
    EXPECT_EQ(rig.VFO->TunedFrequency(), 2300007);
    EXPECT_EQ(lastWord(), wordFor(2300007));
    EXPECT_EQ(shownDigits(), "002300007");
}

TEST_F(TuningWindow, SameDisplayTextLeavesTheOscillatorReadOut)
{
    auto* osc = qobject_cast<QLabel*>(controlElement(window.get(), "lblStatsVal", 3));
    rig.VFO->setTunedFrequency(100000000);
    controls->Display7Seg("100000000");
    const QString first = osc->text();
    EXPECT_EQ(first, "55 000 000 Hz");
    rig.VFO->setTunedFrequency(70000000);
    controls->Display7Seg("100000000");
    EXPECT_EQ(osc->text(), first);
    controls->Display7Seg("070000000");
    EXPECT_EQ(osc->text(), "52 000 000 Hz");
}

TEST_F(TuningWindow, StepListChoosesLocksAndStoresTheStep)
{
    controls->fillTuningStepList();
    auto* list = window->findChild<QComboBox*>("cboTuningSteps");
    ASSERT_EQ(list->count(), 17);
    EXPECT_EQ(list->itemText(3), "2.5 KHz");
    EXPECT_EQ(list->itemText(5), "500 Hz");
    EXPECT_EQ(list->currentIndex(), 7); // the VFO's 100 Hz, shown without choosing it
    EXPECT_FALSE(rig.VFO->TuneStepLock());
    EXPECT_TRUE(storedSteps.empty());

    window->show();
    sendMouse(label("lblTuningRate"), QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_TRUE(list->isVisible());
    const TwipsRect rate = twipsGeometry(label("lblTuningRate"));
    EXPECT_NEAR(twipsGeometry(list).left + twipsGeometry(list).width, rate.left + rate.width, 15);
    emit list->activated(3);
    EXPECT_EQ(storedSteps, std::vector<int32_t>{25000});
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 25000);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStepLSD(), 25000);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 2.5 KHz");
    EXPECT_EQ(controls->HighlightedDigit(), 4);
    EXPECT_TRUE(rig.VFO->TuneStepLock());

    controls->mnuVFOStepSub_Click(10); // locked: a plain selection changes nothing
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 25000);
    controls->SelectTuningStep(17, true);
    EXPECT_EQ(controls->tuningStepIndex(), 0);
    EXPECT_DOUBLE_EQ(rig.VFO->TuneStep(), 100000);
    controls->SelectTuningStep(-1, true);
    EXPECT_EQ(controls->tuningStepIndex(), 16);
    EXPECT_EQ(label("lblTuningRate")->text(), "x 1 dHz");
}

TEST_F(TuningWindow, WheelApplyProceduresStepAndRequest)
{
    rig.VFO->setTunedFrequency(70000000);
    controls->picFreqDisp_Wheel(-120);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 69999000);
    EXPECT_EQ(dial->value(), 99);
    controls->picFreqDisp_Wheel(120);
    EXPECT_EQ(rig.VFO->TunedFrequency(), 70000000);
    EXPECT_EQ(lastWord(), wordFor(70000000));
    EXPECT_EQ(controls->DialLastValue(), 0);

    controls->picScope_Wheel(120);
    EXPECT_TRUE(state.TuneUpPending);
    controls->picScope_Wheel(-120);
    EXPECT_TRUE(state.TuneDownPending);
    EXPECT_FALSE(state.TuneUpPending);
    state.TuneDownPending = false;
    rig.VFO->setTuneStepLock(true);
    controls->picScope_Wheel(120);
    EXPECT_FALSE(state.TuneUpPending);
}

TEST_F(TuningWindow, TheStepListStaysUpWhileItsOwnListIsOpenAndGoesWhenTheFocusMovesOn)
{
    controls->fillTuningStepList();
    auto* list = window->findChild<QComboBox*>("cboTuningSteps");
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QWindow* handle = window->windowHandle();
    const QPoint onRate = label("lblTuningRate")->mapTo(window.get(), QPoint(4, 4));
    QTest::mouseClick(handle, Qt::RightButton, {}, onRate);
    ASSERT_TRUE(list->isVisible());

    // Opening its list moves the keyboard focus into the list's window: not leaving it.
    pressToOpen(list);
    EXPECT_TRUE(list->isVisible());
    ASSERT_TRUE(listWindow(list)->isVisible());
    dragOntoAndRelease(list, 3);
    EXPECT_EQ(storedSteps, std::vector<int32_t>{25000});
    EXPECT_EQ(label("lblTuningRate")->text(), "x 2.5 KHz");
    EXPECT_TRUE(list->isVisible());

    // A press on another control that takes the focus leaves the list, which goes.
    auto* lowSide = window->findChild<QWidget*>("chkTuneLo");
    QTest::mouseClick(handle, Qt::LeftButton, {}, lowSide->mapTo(window.get(), QPoint(4, lowSide->height() / 2)));
    ASSERT_EQ(QApplication::focusWidget(), lowSide);
    EXPECT_FALSE(list->isVisible());
}
