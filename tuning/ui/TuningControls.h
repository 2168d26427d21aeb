#pragma once

#include "shell/TuningSteps.h"
#include "tuning/ShaftEncoder.h"
#include "tuning/TuningState.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QMenu;
class QTimer;
class QWidget;

namespace orvik {

class Dial;
class ModemLineWatcher;
class clsVFO;

// Tuning from the frequency display (digit hover, clicks, the digit menu, the unit
// labels), the keys, the tuning dial, the wheel apply procedures and the knob, the
// timers tmrTune, tmrVFOUpdate and tmrShaft, the low-side box and the tuning-step list.
// Construct after buildFrequencyControls; it connects its own controls and timers.
class TuningControls : public QObject {
public:
    struct Hooks {
        std::function<int16_t()> ActiveAdjuster;
        std::function<void(int16_t)> setActiveAdjuster;
        std::function<void()> UnFocusFrames;
        // Colours of the display's adjuster record.
        std::function<uint32_t()> focusColour;
        std::function<uint32_t()> normalColour;
        // IF shift in Hz, added to the shown frequency.
        std::function<int32_t()> BFO;
        // The one setter of the LO side: the VFO, the receiver's and the window's copies.
        std::function<void(bool)> setHiSideLO;
        std::function<void()> setDSPSettingsChanged;
        std::function<void()> lblScopeX_Wheel;
        std::function<void()> lblNotchC_Wheel;
        // The active sub-band keeps the chosen step (and is marked captured).
        std::function<void(int32_t)> storeSubBandStep;
        // Modem-status word of the synthesizer's serial port (0 when closed).
        std::function<int32_t()> GetEncoderBits;
        // Microseconds since the previous knob pulse, restarting the interval.
        std::function<double()> encoderInterval;
        // Uniform in [0, 1); the refresh period's random part.
        std::function<double()> random;
    };

    TuningControls(QWidget* window, TuningState& state, Hooks hooks);

    void setVFO(clsVFO* vfo) { vfo_ = vfo; }
    clsVFO* VFO() const { return vfo_; }
    // The knob's line changes arrive through this watcher.
    void setCommControl(ModemLineWatcher* MSComm1);

    // Display and digit selection.
    void Display7Seg(const QString& Text);
    void SelectTuningDigit(int Digit, double Multiplier);
    void lbl7Seg_MouseMove(int Index);
    void lbl7Seg_Click(int Index);
    void lbl7Seg_DblClick(int Index);
    void lbl7Seg_MouseDown(int Index, Qt::MouseButton Button);
    void mnuVFOControlSub_Click(int Index);
    void lblTuningRate_Click();
    void lblTuningRate_MouseDown(Qt::MouseButton Button);
    void lblTuneDialRate_MouseDown(Qt::MouseButton Button);
    void lblScale_Click(int Index);

    // Keys, pointer and timers.
    void picFreqDisp_KeyDown(int KeyCode);
    void picFreqDisp_KeyUp();
    void picFreqDisp_MouseMove();
    void picFreqDisp_MouseUp(Qt::MouseButton Button);
    void img7SegArea_MouseMove() { picFreqDisp_MouseMove(); }
    void tmrTune_Timer();
    void tmrVFOUpdate_Timer();
    void tmrShaft_Timer();
    // Gives tmrShaft its interval and lets the knob's requests start it; until then a
    // request waits.
    void enableShaftTimer(int intervalMs);
    void DialTuner_Changing();
    void chkTuneLo_Click();
    void MSComm1_OnComm(int CommEvent);

    // Apply procedures of the display's and the scope area's wheel adjusters.
    void picFreqDisp_Wheel(int32_t wParam);
    void picScope_Wheel(int32_t wParam);

    // The knob.
    void InitTuningSpeedHistory() { encoder_.InitTuningSpeedHistory(); }
    void DecodeShaftEncoder();
    void AcceleratedTuneStep();
    ShaftEncoder& encoder() { return encoder_; }

    // Tuning steps.
    void fillTuningStepList();
    void SelectTuningStep(int Index, bool Unlock);
    void cboTuningSteps_Click(int ListIndex);
    void cboTuningSteps_LostFocus();
    void mnuVFOStepSub_Click(int Index) { SelectTuningStep(Index, false); }
    int tuningStepIndex() const { return TuningStepIndex_; }
    // The window's step table, filled at start-up.
    void setTuningSteps(const TuningStepTable& steps) { TuningSteps_ = steps; }
    const TuningStepTable& tuningSteps() const { return TuningSteps_; }

    // Program writes of the dial's position wrap round its range.
    void setDialValue(int value);

    // What tests and the start-up read.
    QMenu* vfoControlMenu() const { return mnuVFOControl_; }
    int HighlightedDigit() const { return HighlightedDigit_; }
    int HoverDigit() const { return HoverDigit_; }
    int DialLastValue() const { return DialLastValue_; }
    QTimer* tmrTune() const { return tmrTune_; }
    QTimer* tmrVFOUpdate() const { return tmrVFOUpdate_; }
    QTimer* tmrShaft() const { return tmrShaft_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* digitLabel(int index) const;
    void showStepList(int leftTwips, int topTwips);
    void placeMarker(int digit);
    void colourDigit(int digit, uint32_t colour);
    uint32_t focusColour() const;
    uint32_t normalColour() const;
    int16_t activeAdjuster() const { return hooks_.ActiveAdjuster ? hooks_.ActiveAdjuster() : 0; }
    void setActiveAdjuster(int16_t id);
    void showDisplayedFrequency();
    void armShaftTimer();

    QWidget* window_;
    TuningState& state_;
    Hooks hooks_;
    clsVFO* vfo_ = nullptr;
    ShaftEncoder encoder_;
    TuningStepTable TuningSteps_ = DefaultTuningSteps();

    std::array<QLabel*, 9> lbl7Seg_{};
    std::array<QWidget*, 3> lblScale_{};
    QWidget* frFreqCtl_ = nullptr;
    QWidget* picFreqDisp_ = nullptr;
    QWidget* img7SegArea_ = nullptr;
    QWidget* shpTuneStep_ = nullptr;
    QLabel* lblTuningRate_ = nullptr;
    QLabel* lblTuneDialRate_ = nullptr;
    QLabel* lblStatsVal3_ = nullptr;
    QWidget* chkTuneLo_ = nullptr;
    QComboBox* cboTuningSteps_ = nullptr;
    Dial* dialtuner_ = nullptr;
    QMenu* mnuVFOControl_ = nullptr;
    QTimer* tmrTune_ = nullptr;
    QTimer* tmrVFOUpdate_ = nullptr;
    QTimer* tmrShaft_ = nullptr;
    bool shaftTimerEnabled_ = false;

    int menuTag_ = 0;
    int HoverDigit_ = 0;
    int HighlightedDigit_ = 0;
    QString LastDisplayText_;
    bool KeyDigitInitialised_ = false;
    bool DialBusy_ = false;
    int DialLastValue_ = 0;
    double DialStep_ = 0;
    int32_t DisplayFrequency_ = 0;
    int TuningStepIndex_ = 0;
    // Qt sends a release after a double click; the design's label raises no click then.
    bool swallowNextClick_ = false;
};

} // namespace orvik
