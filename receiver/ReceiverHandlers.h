#pragma once

#include "receiver/ReceiverCore.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace orvik {

// The receiver's controls as the handlers address them. Groups of option buttons are
// one entry each; the bandwidth slider array is sldBW0 (lower edge) and sldBW1.
enum class RxWidget {
    optMode, optFilter, optIFFilter, optNotch, optAGC,
    chkDynFilter, chkNB, chkNotchOn, chkNotchType, chkIFFilter, chkMusic, chkMute, chkAGC,
    sldAGCAttack, sldAGCDecay, sldBalance, sldBW0, sldBW1, sldNB, sldNotch, sldNotchWidth, sldOutVolume,
    dialNB, dialOutVol,
    lblFLo, lblFHi, lblNotch, lblNotchWidth,
    lblIFHi, lblIFHiDesc, lblIFLo, lblIFLoDesc,
    lblNotchC, lblNotchCDesc, lblNotchW, lblNotchWDesc,
    Count
};

// The controls as the handlers read and write them. Every write here is a program write:
// it must not raise the control's own handler again. The base class keeps the state of
// controls that exist nowhere else (the command-line harness, the handlers' own tests)
// and shows nothing.
class ReceiverView {
public:
    virtual ~ReceiverView() = default;
    // Checks option button index of the group and gives the group its highlight.
    virtual void selectOption(RxWidget group, int index) { at(selected_, group) = index; }
    virtual int selectedOption(RxWidget group) const { return at(selected_, group); }
    virtual void setChecked(RxWidget box, bool checked) { at(checked_, box) = checked; }
    virtual bool isChecked(RxWidget box) const { return at(checked_, box); }
    // A position outside the control's range is held to the range, as a slider does.
    virtual void setPosition(RxWidget control, int32_t value);
    virtual int32_t position(RxWidget control) const { return at(position_, control); }
    virtual void setRange(RxWidget control, int32_t min, int32_t max);
    virtual int32_t minimum(RxWidget control) const { return at(min_, control); }
    virtual int32_t maximum(RxWidget control) const { return at(max_, control); }
    virtual void setText(RxWidget, const std::string&) {}
    virtual void setToolTip(RxWidget, const std::string&) {}
    virtual void setVisible(RxWidget, bool) {}
    virtual void setEnabled(RxWidget, bool) {}
    virtual void setForeColour(RxWidget, uint32_t /*designColour*/) {}

private:
    template <typename T>
    using PerControl = std::array<T, static_cast<size_t>(RxWidget::Count)>;
    template <typename T>
    static T& at(PerControl<T>& a, RxWidget w) { return a[static_cast<size_t>(w)]; }
    template <typename T>
    static const T& at(const PerControl<T>& a, RxWidget w) { return a[static_cast<size_t>(w)]; }

    PerControl<int> selected_{};
    PerControl<bool> checked_{};
    PerControl<int32_t> position_{};
    PerControl<int32_t> min_{};
    PerControl<int32_t> max_{};
};

// The adjustable-value records the receiver's handlers read and write (ids 7 to 14, 17,
// 18, 20). The program's table of records implements it.
class ReceiverAdjusters {
public:
    virtual ~ReceiverAdjusters() = default;
    virtual float& Value(int id) = 0;
    virtual float& Default(int id) = 0;
    virtual float& Max(int id) = 0;
    virtual float& Min(int id) = 0;
    virtual bool& Disabled(int id) = 0;
    virtual bool& Locked(int id) = 0;
    // The label shows Value in the record's format when the record shows its value.
    virtual void UpdateCaption(int id) = 0;
    // The label shows Value in the record's format whatever the record's ShowValue.
    virtual void WriteCaption(int id) = 0;
    virtual void SetCaption(int id, const std::string& text) = 0;
};

// The option, check-box, slider and dial handlers of the receiver and the apply procedures
// of its adjustable values. They set variables, filter switches, adjuster records and
// the rebuild flags; the filters are redesigned later by the statistics pass. The
// program's controls and the command-line harness both drive the receiver through them.
class ReceiverHandlers {
public:
    struct Hooks {
        // The DRM hand-off: the sound card and the external decoder.
        std::function<bool()> soundPrepared;
        std::function<void()> prepareAndStartSound;
        std::function<void()> stopAndReleaseSound;
        std::function<bool()> powerOn;
        std::function<void()> RunDREAM;
        std::function<void()> CloseListedWindows;
        std::function<bool()> MuteAFOnDRM;
        std::function<bool()> CloseSoundcardOnDRM;
        std::function<bool()> DreamCloseOnModeChange;
        // The VFO's injection side, read by the IF notch.
        std::function<bool()> vfoHiSideLO;
        // The spectrum display's notch overlay.
        std::function<void(bool)> setShowNotch;
        // The level handed to the sound output (hundredths of a dB when at or below zero).
        std::function<void(float)> setOutputAttenuation;
        // Lets pending events run, where the handlers do.
        std::function<void()> yield;
    };

    ReceiverHandlers(ReceiverCore& core, ReceiverAdjusters& adjusters, ReceiverView& view, Hooks hooks = {});

    // Start-up: slider and dial ranges from the records, the start positions, the option
    // groups and boxes in their start state (nothing is applied).
    void InitialiseControls();

    // Option groups.
    void optMode_Click(int Index);
    void optFilter_Click(int Index); // -1 re-derives from the edges in force, -2 first takes the tags
    void optIFFilter_Click(int Index);
    void optNotch_Click(int Index);
    void optAGC_Click(int Index);

    // Check boxes; the box's state is set first (setBox), then its handler runs.
    void chkDynFilter_Click();
    void chkNB_Click();
    void chkNotchOn_Click();
    void chkNotchType_Click();
    void chkIFFilter_Click();
    void chkMusic_Click();
    void chkMute_Click();
    void chkAGC_Click();

    // Sliders and dials; a user move first stores the position (setPosition).
    void sldAGCAttack_Change();
    void sldAGCDecay_Change();
    void sldBalance_Change();
    void sldBW_Scroll(int Index);
    void sldBW_MouseDown(int Index, bool rightButton);
    void ShowFilterEdges();
    void sldNB_Scroll();
    void sldNB_MouseDown(bool rightButton);
    void sldNotch_Change();
    void sldNotchWidth_Change();
    void sldNotchWidth_MouseDown(bool rightButton);
    void sldOutVolume_Change();
    void sldOutVolume_MouseDown(bool rightButton);
    void dialNB_Changing();
    void dialOutVol_Changing();

    // Apply procedures of the adjustable values.
    void lblFilterHi_Wheel();
    void lblFilterLo_Wheel();
    void lblNB_Wheel();
    void lblOutVol_Wheel();
    void ApplyOutputAttenuation();
    void lblNotchC_Wheel();
    void lblNotchW_Wheel();
    void lblAGCAttack_Wheel();
    void lblAGCDecay_Wheel();
    void lblIFHi_Wheel();
    void lblIFLo_Wheel();
    void lblBFO_Wheel();

    // Control state as the handlers read it, through the view.
    bool box(RxWidget box) const { return view_.isChecked(box); }
    int32_t position(RxWidget control) const { return view_.position(control); }
    const std::string& bandwidthTag(int Index) const { return sldBWTag_[Index == 0 ? 0 : 1]; }

    // Clicks made from code (a settings block, the harness): the box's state, then its
    // handler, as a click on the control does.
    void clickBox(RxWidget box, bool checked);
    // A box's value written from code: its handler runs only when the value changes.
    void writeBox(RxWidget box, bool checked);
    // A move made from code: the position, then the control's handler.
    void movePosition(RxWidget control, int32_t value);

    ReceiverCore& core() { return core_; }
    ReceiverAdjusters& adjusters() { return adj_; }
    PublicVars& vars() { return core_.vars(); }

private:
    int32_t positionMin(RxWidget control) const { return view_.minimum(control); }
    int32_t positionMax(RxWidget control) const { return view_.maximum(control); }
    void letEventsRun();
    bool soundPrepared() const;
    bool hookFlag(const std::function<bool()>& f) const { return f && f(); }
    FilterSetting& filterRow();
    void changeMode(int Index);

    ReceiverCore& core_;
    ReceiverAdjusters& adj_;
    ReceiverView& view_;
    Hooks hooks_;

    std::array<std::string, 2> sldBWTag_{"0", "0"};

    // Re-entry flags: a call that arrives while the handler runs returns at once.
    bool inOptMode_ = false;
    int pendingMode_ = -1; // a mode clicked while a change was running
    bool inOptIFFilter_ = false;
    bool inOptNotch_ = false;
    bool inOptAGC_ = false;
    bool inChkNotchType_ = false;
    bool inChkIFFilter_ = false;
    bool inSldAGCAttack_ = false;
    bool inSldAGCDecay_ = false;
    bool inSldBW_ = false;
    bool inShowFilterEdges_ = false;
    bool inSldNB_ = false;
    bool inSldNotchWidth_ = false;
    bool inSldOutVolume_ = false;
    bool inDialNB_ = false;
    bool inDialOutVol_ = false;
    bool inFilterHi_ = false;
    bool inFilterLo_ = false;
    bool inNB_ = false;
    bool inOutVol_ = false;
    bool inNotchW_ = false;
    bool inAGCAttack_ = false;
    bool inAGCDecay_ = false;
    bool inIFHi_ = false;
    bool inIFLo_ = false;
    bool inBFO_ = false;

public:
    // Shared by sldNotch_Change and the notch-centre procedure.
    bool NotchCentreBusy = false;
};

// Adjuster ids of the receive chain.
namespace rxadj {
inline constexpr int FilterHi = 7;
inline constexpr int FilterLo = 8;
inline constexpr int NB = 9;
inline constexpr int OutVol = 10;
inline constexpr int NotchC = 11;
inline constexpr int NotchW = 12;
inline constexpr int AGCAttack = 13;
inline constexpr int AGCDecay = 14;
inline constexpr int IFHi = 17;
inline constexpr int IFLo = 18;
inline constexpr int BFO = 20;
inline constexpr int All[] = {FilterHi, FilterLo, NB, OutVol, NotchC, NotchW, AGCAttack, AGCDecay, IFHi, IFLo, BFO};
} // namespace rxadj

// The range (Min to Max) each slider and dial of the receiver is built with; the blanker's
// and the output's controls take their adjusters' ranges, the same numbers.
struct ControlRange {
    int32_t min;
    int32_t max;
};
inline constexpr std::pair<RxWidget, ControlRange> DesignRanges[] = {
    {RxWidget::sldAGCAttack, {5, 50}},         {RxWidget::sldAGCDecay, {10, 200}},
    {RxWidget::sldBalance, {-20000, 20000}},    {RxWidget::sldBW0, {0, 1999}},
    {RxWidget::sldBW1, {0, 5000}},              {RxWidget::sldNotchWidth, {10, 1000}},
    {RxWidget::sldNotch, {100, 3000}},          {RxWidget::sldNB, {0, 10000}},
    {RxWidget::dialNB, {0, 10000}},             {RxWidget::sldOutVolume, {-10000, 8000}},
    {RxWidget::dialOutVol, {-10000, 8000}}};
constexpr ControlRange DesignRange(RxWidget control)
{
    for (const auto& [c, range] : DesignRanges)
        if (c == control)
            return range;
    return {0, 0};
}

// Output-level caption for adjuster value V: V / 100 dB at or below -50 (the level the
// sound output is given), the gain factor in dB above 1, "0.0" in between.
std::string OutputLevelCaption(float value);

} // namespace orvik
