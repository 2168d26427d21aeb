#pragma once

#include "dsp/clsFFTReal.h"
#include "spectrum/ScopeModeRecord.h"
#include "spectrum/ScopePage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

class SettingsStore;

// The two-channel spectrum analyser, oscilloscope and Lissajous display behind the main
// window's scope area. It holds its settings and per-mode records, takes sample blocks
// from the receive chain, analyses them when a display is asked for, and draws each
// frame on the hidden one of its two pages before showing it.
class clsSpectrumAnalyser {
public:
    static constexpr int ModeCount = 4;
    // Most blocks the smoothing averages over.
    static constexpr int MaxSmoothCount = 24;
    static constexpr int FilterTapCount = 2048;

    // What the analyser needs from the rest of the program while it draws.
    struct Environment {
        std::function<void()> yield;          // let pending events run once
        std::function<bool()> InDSP;          // a sound block is being processed
        std::function<int32_t()> NotchCentre; // Hz on the spectrum's axis
        std::function<int32_t()> NotchWidth;  // Hz
    };

    // Loads the settings from store (section Name and Name.Mode.0..3); no store: defaults.
    explicit clsSpectrumAnalyser(SettingsStore* store = nullptr, Environment environment = {});
    // Writes the settings back to the store it was loaded from.
    ~clsSpectrumAnalyser();
    clsSpectrumAnalyser(const clsSpectrumAnalyser&) = delete;
    clsSpectrumAnalyser& operator=(const clsSpectrumAnalyser&) = delete;

    void setEnvironment(Environment environment) { env_ = std::move(environment); }
    void SaveSettings();

    // Public state.
    float YSpectrumLOGMax = 0; // unused
    std::string Name = "SpectrumAnalyser";
    bool InDisplay = false;
    bool Initialised = false;
    int32_t FSampling = 0;
    int32_t Points = 0;
    int32_t Order = 0;
    float Gain = 1.0F;
    bool AutoGain = false;
    bool ReverseSpectrum = false;
    bool Freeze = false;
    float DisplayWidth = 0;
    float Max = 0; // unused
    float Min = 0; // unused
    bool Active = false;
    int32_t SpectrumWidth = 0;
    float SmoothDivider = 4.5F;
    int32_t ScreenWidth = 0;
    float ScreenHeight = 0; // unused
    int32_t FStart = 0;
    int32_t FEnd = 0;
    float HzPerBin = 0;
    int32_t StartBin = 0;
    int32_t StopBin = 0;
    int32_t CentreBin = 0; // unused
    int32_t FOffset = 0;
    bool SmoothSpectrum = true;
    int32_t DefaultSmoothCount = 8;
    uint32_t Y1Colour = 0xFF00;
    uint32_t Y2Colour = 0xFFFF;
    uint32_t ControlColourNormal = 192;
    uint32_t ControlColourFocused = 255;

    // Properties.
    int32_t SpectrumSmooth() const { return spectrumSmooth_; }
    // Clamped to 1..MaxSmoothCount: the history holds no more, and 0 would divide by zero.
    void setSpectrumSmooth(int32_t count);
    uint32_t YTextColour = 0xFF7F00;
    uint32_t XTextColour = 0xFFFF00;
    uint32_t FilterCurveColour = 0xC0;
    uint32_t NotchFilterColour = 0xC0FF60;
    uint32_t GraticuleColour = 0x7F00;
    uint32_t ScopeBackColour = 0;
    bool HideFreqToolTip = false;
    uint32_t Y1BaseColour = 0xFF00;
    uint32_t Y2BaseColour = 0xFFFF;
    bool Y1PlusY2 = false;
    bool Y1MinusY2 = false;
    int32_t YScaleOffset = 0;

    // Per-mode properties, on the record of the current Mode.
    bool LogMode() const { return current().LogMode; }
    // Rebuilds the filter overlay for the new scale.
    void setLogMode(bool on);
    bool FastMode() const { return current().FastMode; }
    void setFastMode(bool on) { current().FastMode = on; }
    bool Chn1Trig() const { return current().Chn1Trig; }
    void setChn1Trig(bool on) { current().Chn1Trig = on; }
    bool Chn2Trig() const { return current().Chn2Trig; }
    void setChn2Trig(bool on) { current().Chn2Trig = on; }
    bool Chn1Enabled() const { return current().Chn1Enabled; }
    void setChn1Enabled(bool on) { current().Chn1Enabled = on; }
    bool Chn2Enabled() const { return current().Chn2Enabled; }
    void setChn2Enabled(bool on) { current().Chn2Enabled = on; }
    float Chn1Gain() const { return current().Chn1Gain; }
    // A gain of 0 or less is kept as 0.000001 so the level labels never divide by zero.
    void setChn1Gain(float gain) { current().Chn1Gain = safeGain(gain); }
    float Chn2Gain() const { return current().Chn2Gain; }
    void setChn2Gain(float gain) { current().Chn2Gain = safeGain(gain); }
    int16_t TriggerChn() const { return current().TriggerChn; }
    void setTriggerChn(int16_t channel);
    float Chn1Shift() const { return current().Chn1Shift; }
    void setChn1Shift(float shift);
    float Chn2Shift() const { return current().Chn2Shift; }
    void setChn2Shift(float shift);
    // Getters follow LogMode; setters change the linear scale only.
    float YScaleMax() const;
    void setYScaleMax(float value);
    float YScaleMin() const;
    void setYScaleMin(float value);
    float YScaleRange() const;
    int32_t Mode() const { return mode_; }
    // Mode 2 turns both of its channels on; then the pages are laid out for the mode.
    void setMode(int32_t mode);
    bool ShowNotch = false;
    bool ShowFilter = false;

    std::array<ScopeModeRecord, ModeCount> ScopeModeSettings{};
    ScopeModeRecord& ModeSettings(int mode) { return ScopeModeSettings.at(static_cast<size_t>(mode)); }

    void SetChannelBrightness(int Channel, int level);
    void picDisplay0(ScopePage* page) { forgetGraticule(0, page); }
    void picDisplay1(ScopePage* page) { forgetGraticule(1, page); }

    // Pipeline.
    void Init();
    void LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin);
    void LoadSamples_S(const float* SamplesIin, const float* SamplesQin);
    // FilterTapCount time-domain taps; the caller's array is not changed.
    void LoadFilterCoeffs_T_S(const float* Coeffs_S);
    // Points magnitude values.
    void LoadFilterCoeffs_F_S(const float* Coeffs_S);
    void Display();
    void Display_I16(const int16_t* SamplesIin, const int16_t* SamplesQin);
    void DisplayFrozen();
    void Display_S(const float* SamplesI_SIN, const float* SamplesQ_S);
    // Lays both pages out for the current mode and scale and draws their graticules.
    void SetupDisplay();

    // True while a frame, a layout or an Init runs; requests to re-lay or re-Init wait for its end.
    bool FrameInProgress() const { return frameBusy_; }
    int ActivePage() const { return activePage_; }
    int32_t TriggerIndex() const { return triggerIndex_; }
    bool LoadingSettings() const { return loadingSettings_; }
    float LabelHeight() const { return labelHeight_; }
    float LabelWidth() const { return labelWidth_; }
    const std::string& LabelFormat() const { return labelFormat_; }
    float XStep() const { return xStep_; }

    // The working arrays, read by tests and the display.
    const std::vector<float>& InputBuf1() const { return inputBuf1_; }
    const std::vector<float>& InputBuf2() const { return inputBuf2_; }
    const std::vector<float>& TraceBuf1() const { return traceBuf1_; }
    const std::vector<float>& TraceBuf2() const { return traceBuf2_; }
    std::vector<float>& TraceBuf1() { return traceBuf1_; }
    std::vector<float>& TraceBuf2() { return traceBuf2_; }
    const std::vector<float>& ScratchBuf() const { return scratchBuf_; }
    const std::vector<float>& FilterCurveLin() const { return filterCurveLin_; }
    const std::vector<float>& FilterCurveLog() const { return filterCurveLog_; }

    void DrawGraticule(ScopePage& page);
    void DrawSpectrum(ScopePage& page);

private:
    ScopeModeRecord& current() { return ScopeModeSettings[static_cast<size_t>(mode_)]; }
    const ScopeModeRecord& current() const { return ScopeModeSettings[static_cast<size_t>(mode_)]; }
    static float safeGain(float gain) { return gain > 0 ? gain : 0.000001F; }
    void LoadSettings();
    void RenderPage();
    void Trigger();
    void rebuildFilterCurve();
    void runDeferred();
    // Lets pending events run once, and again while a sound block is being processed.
    void yieldWhileDrawing(ScopePage& page);
    void yieldOnce(ScopePage& page);
    void smooth(std::vector<float>& trace, int channel);
    void drawSpectrumMode(ScopePage& page, const ScopeModeRecord& m);
    void drawTimeMode(ScopePage& page, const ScopeModeRecord& m);
    void drawLissajous(ScopePage& page);
    void drawFrequencyLabels(ScopePage& page);

    // Everything a graticule is drawn from: two pages with equal keys show the same one.
    struct GraticuleKey {
        std::array<double, 14> numbers{};
        std::array<uint32_t, 4> colours{};
        std::string font;
        bool operator==(const GraticuleKey&) const = default;
    };
    // A graticule a page keeps, and the state its drawing left behind.
    struct KeptGraticule {
        GraticuleKey key;
        float labelHeight = 0, labelWidth = 0;
        std::string labelFormat;
        float currentX = 0, currentY = 0;
        int drawMode = ScopePage::DrawCopyPen;
    };
    GraticuleKey graticuleKey(const ScopePage& page) const;
    // A new page in slot index: nothing drawn on the old one counts for it.
    void forgetGraticule(int index, ScopePage* page)
    {
        pages_[static_cast<size_t>(index)] = page;
        keptGraticule_[static_cast<size_t>(index)].reset();
        lastDrawnGraticule_[static_cast<size_t>(index)].reset();
    }
    // Which display page P is, -1 for another.
    int pageSlot(const ScopePage& P) const { return &P == pages_[0] ? 0 : (&P == pages_[1] ? 1 : -1); }
    // Puts back the graticule page P keeps when it is still the one to draw.
    bool restoreGraticule(ScopePage& P, const GraticuleKey& key);

    SettingsStore* store_ = nullptr;
    Environment env_;
    int32_t spectrumSmooth_ = 8;
    int32_t mode_ = 0;
    bool loadingSettings_ = false;
    std::array<ScopePage*, 2> pages_{};
    int activePage_ = 0;
    int32_t triggerIndex_ = 0;
    bool displayBusy_ = false;   // Display
    bool displaySBusy_ = false;  // Display_S
    bool layoutBusy_ = false;
    bool frameBusy_ = false;
    bool pendingInit_ = false;
    bool pendingLayout_ = false;
    float labelHeight_ = 0;
    float labelWidth_ = 0;
    std::string labelFormat_;
    float xStep_ = 0;

    clsFFTReal RealFFT;
    std::vector<float> inputBuf1_, inputBuf2_, specRe_, specIm_, traceBuf1_, traceBuf2_, scratchBuf_;
    std::vector<float> filterCurveLin_, filterCurveLog_;
    std::vector<float> filterTaps_;
    // The taps as the receive chain gave them, so the overlay can be rescaled after a mode
    // or scale change.
    std::vector<float> unscaledTaps_;
    // Per channel, MaxSmoothCount blocks of Points / 2 values. The first smoothRing_ of them
    // form a ring: block k (k frames old) is in slot (smoothHead_ + k) % smoothRing_.
    std::array<std::vector<float>, 2> smoothHistory_;
    std::array<int32_t, 2> smoothHead_{};
    std::array<int32_t, 2> smoothRing_{};
    std::vector<float> smoothSum_;
    // One per display page.
    std::array<std::optional<KeptGraticule>, 2> keptGraticule_;
    std::array<std::optional<GraticuleKey>, 2> lastDrawnGraticule_;
};

} // namespace orvik
