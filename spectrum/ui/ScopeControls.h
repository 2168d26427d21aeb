#pragma once

#include "shell/widgets/ControlFactory.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QSlider;
class QTimer;
class QWidget;

namespace orvik {

class clsSpectrumAnalyser;
class CtlArray;
class ScopeImagePage;

// The scope panel's controls: display mode, channels, trigger, log scale, smoothing,
// tap point, Y gain and the X sliders, the display timer, the apply procedures of the
// display adjusters, and the pointer read-out and click-to-tune over the pages.
// Construct after buildScopeControls; it connects the controls itself and owns the two
// image pages that stand in for picScope_0 and picScope_1.
class ScopeControls : public QObject {
public:
    struct Hooks {
        std::function<int32_t()> TunedFrequency;        // the VFO's, tenths of a hertz
        std::function<void(int32_t)> tuneTo;            // TunedFrequency := value, then the display redraws
        std::function<int()> SpectrumSource;            // the program-wide tap point
        std::function<void(int)> setSpectrumSource;
        std::function<void()> DSPSettingsChanged;       // filters are rebuilt with the next block
        std::function<bool()> ScrollWheelEnableOverScope;
        std::function<void(int32_t)> setTuneStep;       // TuneStep, TuneRate and TuneStepLSD, tenths of a hertz
        std::function<void()> clearDigitHover;
        std::function<void()> UnFocusFrames;
        std::function<void()> DarkenControls;
    };

    // Adjuster ids of the display labels.
    static constexpr int Chn1GainId = 2, Chn1ShiftId = 3, Chn2GainId = 4, Chn2ShiftId = 5, XWidthId = 6;
    static constexpr int XCentreId = 15, SmoothId = 19, Y1BrightId = 21, Y2BrightId = 22;
    static constexpr std::array<int, 9> AdjusterIds{2, 3, 4, 5, 6, 15, 19, 21, 22};

    ScopeControls(QWidget* window, clsSpectrumAnalyser& analyser, CtlArray& ctl, Hooks hooks);
    ~ScopeControls() override;

    ScopeImagePage& page(int index) const { return *pages_.at(static_cast<size_t>(index)); }
    // The apply procedure of display adjuster id (one of AdjusterIds), empty for others.
    std::function<void()> applyProcedure(int id);

    void chkChn1On_Click();
    void chkChn2On_Click();
    void chkLog_Click();
    void chkSmoothSpectrum_Click();
    void chkScopeShowFilters_Click();
    void chkSpectrumAutoGain_Click();
    void chkSpectrumAnalyser_Click();
    void chkTrigOn_Click(int Index);
    void chkScopeMode_Click(int Index);
    void optSpectrumSource_Click(int Index);
    void sldSpectrumGain_Change();
    void sldXCentre_Scroll();
    void sldXWidth_Scroll();
    // The operator moved the slider: its scroll handler, then adjusters 6 and 15 follow it.
    void sldXCentre_Change();
    void sldXWidth_Change();
    void tmrSpectrumDisplay_Timer();

    void lblScopeChn1Gain_Wheel();
    void lblScopeChn1Shift_Wheel();
    void lblScopeChn2Gain_Wheel();
    void lblScopeChn2Shift_Wheel();
    void SetScopeXRange();
    void lblScopeX_Wheel();
    void lblSpectrumSmooth_Wheel();
    void lblY1Bright_Wheel();
    void lblY2Bright_Wheel();

    // X and Y in the page's user scale.
    void picScope_MouseMove(int Index, Qt::MouseButtons Button, float X, float Y);
    void picScope_MouseDown(int Index, Qt::MouseButtons Button, float X, float Y);
    void picScopeContainer_MouseMove();
    void imgAreaScope_MouseMove();
    void picScopeCtls_MouseMove();

    // The frequency under the pointer at position X of page Index, in hertz.
    double frequencyAt(int Index, float X) const;
    // The read-out's frequency text as the last pointer move left it.
    const QString& readOutTag() const { return tag_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* find(const QString& name) const;
    QWidget* element(const char* arrayName, int index) const;
    QCheckBox* check(const QString& name) const;
    QCheckBox* checkElement(const char* arrayName, int index) const;
    QSlider* slider(const char* name) const;
    QLabel* readOut(int index) const;
    void setChecked(QCheckBox* box, bool on);
    void setSliderSteps(QSlider* s);
    // Largest X value for the current tap point and mode: the audio tap shows a quarter.
    int32_t xLargest() const;
    // The X width the width slider gives, in bins or samples.
    int32_t sliderXWidth(const QSlider& width) const;
    // Brings adjusters 6 and 15 to the range the X sliders set, with their captions.
    void xRecordsFromSliders();
    void applyXLimits();
    void hideReadOuts();

    // What the X captions were last formatted from, and the captions written.
    struct XCaptionInputs {
        int32_t mode = -1;
        float centre = 0;
        float hzPerBin = 0;
        int32_t offset = 0;
        int32_t span = 0;
        QString centreFormat, widthFormat;
        bool operator==(const XCaptionInputs&) const = default;
    };

    QWidget* window_;
    ChildCache children_{window_};
    clsSpectrumAnalyser& analyser_;
    CtlArray& ctl_;
    Hooks hooks_;
    std::array<std::unique_ptr<ScopeImagePage>, 2> pages_;
    QTimer* tmrSpectrumDisplay_ = nullptr;
    QString tag_;
    XCaptionInputs xCaptionInputs_;
    QString centreCaption_, widthCaption_;
    bool modeBusy_ = false;
    bool trigBusy_ = false;
    bool xWheelBusy_ = false;
    bool smoothBusy_ = false;
    bool y1BrightBusy_ = false;
    bool y2BrightBusy_ = false;
};

} // namespace orvik
