#include "spectrum/clsSpectrumAnalyser.h"

#include "common/Format.h"
#include "common/Numeric.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"
#include "platform/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace orvik {

using namespace vectorlib;

namespace {

constexpr uint32_t LissajousColour = 0xFF00;
constexpr uint32_t CentreLineColour = 0xC0C0;
constexpr uint32_t LayoutForeColour = 0xCF00;
// Page position in its container, twips.
constexpr int32_t PageLeft = 30;
constexpr int32_t PageTop = 180;
constexpr int32_t PageBottomMargin = 50;
// A frame never waits longer than this for the receive chain to finish a block.
constexpr int MaxDspWaits = 1000;

QString q(const std::string& s) { return QString::fromStdString(s); }

// Leading blanks of a grouped picture ("# ###" with 950) carry no meaning on the page, and
// a fraction reads better with its zero ("0.1", not ".1").
std::string label(double value, const char* picture)
{
    std::string text = Format(value, picture);
    const size_t start = text.find_first_not_of(' ');
    text = start == std::string::npos ? std::string() : text.substr(start);
    if (text.starts_with('.'))
        return "0" + text;
    if (text.starts_with("-."))
        return "-0" + text.substr(1);
    return text;
}

// The points of a polyline between two yields, handed to the page at once.
class PointBatch {
public:
    explicit PointBatch(ScopePage& page) : page_(page) {}
    PointBatch(const PointBatch&) = delete;
    PointBatch& operator=(const PointBatch&) = delete;
    ~PointBatch() { flush(); }

    void add(float x, float y)
    {
        xs_[static_cast<size_t>(count_)] = x;
        ys_[static_cast<size_t>(count_)] = y;
        if (++count_ == Capacity)
            flush();
    }
    void flush()
    {
        if (count_ > 0)
            page_.PolylineTo(xs_.data(), ys_.data(), count_);
        count_ = 0;
    }

private:
    static constexpr int Capacity = 128;
    ScopePage& page_;
    std::array<float, Capacity> xs_{};
    std::array<float, Capacity> ys_{};
    int count_ = 0;
};

} // namespace

clsSpectrumAnalyser::clsSpectrumAnalyser(SettingsStore* store, Environment environment)
    : store_(store), env_(std::move(environment))
{
    loadingSettings_ = true;
    Name = "SpectrumAnalyser";
    DefaultSmoothCount = 8;
    setSpectrumSmooth(8);

    Y1BaseColour = 0xFF00;
    Y2BaseColour = 0xFFFF;
    SetChannelBrightness(0, 100);
    SetChannelBrightness(1, 100);

    ControlColourNormal = 192;
    ControlColourFocused = 255;
    ScopeBackColour = 0;
    GraticuleColour = 0x7F00;
    NotchFilterColour = 0xC0FF60;
    FilterCurveColour = 0xC0;
    XTextColour = 0xFFFF00;
    YTextColour = 0xFF7F00;

    for (int m = 0; m < 3; ++m) {
        ScopeModeRecord& r = ScopeModeSettings[static_cast<size_t>(m)];
        const float top = m == 0 ? 24000000.0F : 32768.0F;
        r.YLinMax = top;
        r.YLinMin = -top;
        r.YLinRange = 2 * top;
        r.YLogMax = static_cast<float>(ORVIK::Log10(top));
        r.YLogMin = (m == 0 ? -0.000001F : -0.01F) * r.YLogMax;
        r.YLogRange = r.YLogMax - r.YLogMin;
    }

    LoadSettings();

    // The loaded base colours are what the traces are drawn in until a brightness changes.
    SetChannelBrightness(0, 100);
    SetChannelBrightness(1, 100);
    FOffset = 0;
    Gain = 1.0F;
    AutoGain = false;
    loadingSettings_ = false;
}

clsSpectrumAnalyser::~clsSpectrumAnalyser()
{
    SaveSettings();
}

void clsSpectrumAnalyser::LoadSettings()
{
    const QString section = q(Name);
    auto readBool = [&](const QString& s, const char* key, bool def) {
        return store_ ? store_->readBool(s, QLatin1String(key), def) : def;
    };
    auto readInt = [&](const QString& s, const char* key, int32_t def) {
        return store_ ? store_->readInt(s, QLatin1String(key), def) : def;
    };
    auto readColour = [&](const char* key, uint32_t def) {
        const int32_t v = readInt(section, key, static_cast<int32_t>(def));
        return v >= 0 && v <= 0xFFFFFF ? static_cast<uint32_t>(v) : def;
    };
    auto readFloat = [&](const QString& s, const char* key, float def) {
        return store_ ? static_cast<float>(store_->readDouble(s, QLatin1String(key), def)) : def;
    };

    Active = readBool(section, "Active", false);
    const int32_t mode = readInt(section, "Mode", 0);
    setMode(mode >= 0 && mode <= 2 ? mode : 0);
    SmoothSpectrum = readBool(section, "SmoothSpectrum", true);
    ShowNotch = readBool(section, "ShowNotch", false);
    ShowFilter = readBool(section, "ShowFilter", false);
    AutoGain = readBool(section, "AutoGain", false);
    ReverseSpectrum = readBool(section, "ReverseSpectrum", false);
    HideFreqToolTip = readBool(section, "HideFreqToolTip", false);
    setSpectrumSmooth(readInt(section, "SpectrumSmooth", spectrumSmooth_));
    DefaultSmoothCount = std::clamp(readInt(section, "DefaultSmoothCount", DefaultSmoothCount), 1, MaxSmoothCount);
    Y1BaseColour = readColour("Y1BaseColour", Y1BaseColour);
    Y2BaseColour = readColour("Y2BaseColour", Y2BaseColour);
    ControlColourNormal = readColour("ControlColourNormal", ControlColourNormal);
    ControlColourFocused = readColour("ControlColourFocused", ControlColourFocused);
    NotchFilterColour = readColour("NotchFilterColour", NotchFilterColour);
    FilterCurveColour = readColour("FilterCurveColour", FilterCurveColour);
    ScopeBackColour = readColour("ScopeBackColour", ScopeBackColour);
    GraticuleColour = readColour("GraticuleColour", GraticuleColour);
    XTextColour = readColour("XTextColour", XTextColour);
    YTextColour = readColour("YTextColour", YTextColour);

    for (int m = 0; m < ModeCount; ++m) {
        const QString s = section + QStringLiteral(".Mode.") + QString::number(m);
        ScopeModeRecord& r = ScopeModeSettings[static_cast<size_t>(m)];
        r.LogMode = readBool(s, "LogMode", false);
        r.FastMode = readBool(s, "FastMode", false);
        r.Chn1Shift = readFloat(s, "Chn1.Shift", 0);
        r.Chn2Shift = readFloat(s, "Chn2.Shift", 0);
        r.Chn1Gain = safeGain(readFloat(s, "Chn1.Gain", 1));
        r.Chn2Gain = safeGain(readFloat(s, "Chn2.Gain", 1));
        r.Chn1Enabled = readBool(s, "Chn1.Enabled", true);
        r.Chn2Enabled = readBool(s, "Chn2.Enabled", true);
        r.Chn1Trig = readBool(s, "Chn1.TriggerOn", true);
        r.Chn2Trig = readBool(s, "Chn2.TriggerOn", false);
    }
}

void clsSpectrumAnalyser::SaveSettings()
{
    if (!store_)
        return;
    const QString section = q(Name);
    for (int m = 0; m < ModeCount; ++m) {
        const QString s = section + QStringLiteral(".Mode.") + QString::number(m);
        const ScopeModeRecord& r = ScopeModeSettings[static_cast<size_t>(m)];
        store_->writeBool(s, QStringLiteral("LogMode"), r.LogMode);
        store_->writeBool(s, QStringLiteral("FastMode"), r.FastMode);
        store_->writeDouble(s, QStringLiteral("Chn1.Shift"), r.Chn1Shift);
        store_->writeDouble(s, QStringLiteral("Chn2.Shift"), r.Chn2Shift);
        store_->writeDouble(s, QStringLiteral("Chn1.Gain"), r.Chn1Gain);
        store_->writeDouble(s, QStringLiteral("Chn2.Gain"), r.Chn2Gain);
        store_->writeBool(s, QStringLiteral("Chn1.Enabled"), r.Chn1Enabled);
        store_->writeBool(s, QStringLiteral("Chn2.Enabled"), r.Chn2Enabled);
        store_->writeBool(s, QStringLiteral("Chn1.TriggerOn"), r.Chn1Trig);
        store_->writeBool(s, QStringLiteral("Chn2.TriggerOn"), r.Chn2Trig);
    }
    store_->writeInt(section, QStringLiteral("Mode"), mode_);
    store_->writeBool(section, QStringLiteral("ShowNotch"), ShowNotch);
    store_->writeBool(section, QStringLiteral("ShowFilter"), ShowFilter);
    store_->writeBool(section, QStringLiteral("ReverseSpectrum"), ReverseSpectrum);
    store_->writeBool(section, QStringLiteral("Active"), Active);
    store_->writeBool(section, QStringLiteral("SmoothSpectrum"), SmoothSpectrum);
    store_->writeBool(section, QStringLiteral("AutoGain"), AutoGain);
    store_->writeInt(section, QStringLiteral("SpectrumWidth"), SpectrumWidth);
    store_->writeInt(section, QStringLiteral("TriggerChn"), TriggerChn());
    store_->writeBool(section, QStringLiteral("HideFreqTooltip"), HideFreqToolTip);
    store_->writeInt(section, QStringLiteral("SpectrumSmooth"), spectrumSmooth_);
    store_->writeInt(section, QStringLiteral("DefaultSmoothCount"), DefaultSmoothCount);
    const std::pair<const char*, uint32_t> colours[] = {
        {"Y1BaseColour", Y1BaseColour},           {"Y2BaseColour", Y2BaseColour},
        {"ControlColourNormal", ControlColourNormal}, {"ControlColourFocused", ControlColourFocused},
        {"NotchFilterColour", NotchFilterColour}, {"FilterCurveColour", FilterCurveColour},
        {"ScopeBackColour", ScopeBackColour},     {"GraticuleColour", GraticuleColour},
        {"XTextColour", XTextColour},             {"YTextColour", YTextColour}};
    for (const auto& [key, colour] : colours)
        store_->writeInt(section, QLatin1String(key), static_cast<int32_t>(colour));
    store_->sync();
}

void clsSpectrumAnalyser::setSpectrumSmooth(int32_t count)
{
    spectrumSmooth_ = std::clamp(count, 1, MaxSmoothCount);
    SmoothDivider = static_cast<float>(spectrumSmooth_ + 1) / 2.0F;
}

void clsSpectrumAnalyser::setLogMode(bool on)
{
    current().LogMode = on;
    rebuildFilterCurve();
}

void clsSpectrumAnalyser::setTriggerChn(int16_t channel)
{
    ScopeModeRecord& r = current();
    r.TriggerChn = channel;
    r.Chn1Trig = channel == 1;
    r.Chn2Trig = channel == 2;
}

void clsSpectrumAnalyser::setChn1Shift(float shift)
{
    current().Chn1Shift = shift;
    current().Chn1Offset = shift / 150.0F * YScaleRange();
}

void clsSpectrumAnalyser::setChn2Shift(float shift)
{
    current().Chn2Shift = shift;
    current().Chn2Offset = shift / 150.0F * YScaleRange();
}

float clsSpectrumAnalyser::YScaleMax() const { return current().LogMode ? current().YLogMax : current().YLinMax; }

void clsSpectrumAnalyser::setYScaleMax(float value)
{
    current().YLinMax = value;
    current().YLinRange = value - current().YLinMin;
}

float clsSpectrumAnalyser::YScaleMin() const { return current().LogMode ? current().YLogMin : current().YLinMin; }

void clsSpectrumAnalyser::setYScaleMin(float value)
{
    current().YLinMin = value;
    current().YLinRange = current().YLinMax - value;
}

float clsSpectrumAnalyser::YScaleRange() const
{
    return current().LogMode ? current().YLogRange : current().YLinRange;
}

void clsSpectrumAnalyser::setMode(int32_t mode)
{
    mode_ = mode >= 0 && mode < ModeCount ? mode : 0;
    if (mode_ == 2) {
        current().Chn1Enabled = true;
        current().Chn2Enabled = true;
    }
    rebuildFilterCurve();
    SetupDisplay();
}

void clsSpectrumAnalyser::SetChannelBrightness(int Channel, int level)
{
    if (Channel != 0 && Channel != 1)
        return;
    const uint32_t c = Channel == 0 ? Y1BaseColour : Y2BaseColour;
    auto dim = [level](uint32_t byte) {
        return static_cast<uint32_t>(RoundEven(static_cast<double>(byte) * level / 100.0)) & 0xFFU;
    };
    const uint32_t result = dim(c / 65536 & 0xFF) * 65536 + dim((c / 256) & 0xFF) * 256 + dim(c & 0xFF);
    (Channel == 0 ? Y1Colour : Y2Colour) = result;
}

void clsSpectrumAnalyser::Init()
{
    if (frameBusy_) {
        pendingInit_ = true;
        return;
    }
    // The loaders copy Points samples out of one 2048-sample block, so no more than that.
    if (Order < 1 || Order > 11)
        return;
    Points = int32_t{1} << Order;
    Gain = 1.0F;
    const size_t n1 = static_cast<size_t>(Points) + 1;
    for (std::vector<float>* v : {&inputBuf1_, &inputBuf2_, &specRe_, &specIm_, &traceBuf1_, &traceBuf2_,
                                  &scratchBuf_, &filterCurveLin_, &filterCurveLog_})
        v->assign(n1, 0.0F);
    filterTaps_.assign(static_cast<size_t>(std::max(FilterTapCount, Points)), 0.0F);
    for (auto& history : smoothHistory_)
        history.assign(static_cast<size_t>(MaxSmoothCount) * static_cast<size_t>(Points / 2), 0.0F);
    smoothHead_ = {};
    smoothRing_ = {};
    smoothSum_.assign(static_cast<size_t>(Points / 2), 0.0F);
    RealFFT.Points = Points;
    RealFFT.FFTInit(Points);

    SpectrumWidth = IntDiv(FSampling, 2);
    HzPerBin = 2.0F * static_cast<float>(SpectrumWidth) / static_cast<float>(Points);
    if (HzPerBin > 0) {
        StartBin = RoundEven(FStart / HzPerBin);
        StopBin = RoundEven(FEnd / HzPerBin);
    }
    rebuildFilterCurve();
    SetupDisplay();
    Initialised = true;
}

void clsSpectrumAnalyser::LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin)
{
    if (!Active || inputBuf1_.empty())
        return;
    Int16ToFloat_S_2(SamplesIin, inputBuf1_.data(), Points);
    Int16ToFloat_S_2(SamplesQin, inputBuf2_.data(), Points);
}

void clsSpectrumAnalyser::LoadSamples_S(const float* SamplesIin, const float* SamplesQin)
{
    if (!Active || inputBuf1_.empty())
        return;
    ORVIK::VecCopyS(SamplesIin, inputBuf1_.data(), Points);
    ORVIK::VecCopyS(SamplesQin, inputBuf2_.data(), Points);
}

void clsSpectrumAnalyser::LoadFilterCoeffs_T_S(const float* Coeffs_S)
{
    unscaledTaps_.assign(Coeffs_S, Coeffs_S + FilterTapCount);
    rebuildFilterCurve();
}

void clsSpectrumAnalyser::rebuildFilterCurve()
{
    if (unscaledTaps_.empty() || filterTaps_.empty())
        return;
    std::copy(unscaledTaps_.begin(), unscaledTaps_.end(), filterTaps_.begin());
    const bool log = current().LogMode;
    ORVIK::VecMpy1S(log ? 12.0F : current().YLinMax, filterTaps_.data(), FilterTapCount);
    RealFFT.FFT_Real_S_2(filterTaps_.data(), specRe_.data(), specIm_.data());
    const int32_t half = Points / 2;
    PowerSpectrum_S_2(specRe_.data(), specIm_.data(), filterCurveLin_.data(), half);
    Add_S_1(1.01F, filterCurveLin_.data(), half);
    const double scale = (log ? 0.89 : 0.9) * YScaleMax();
    for (int32_t k = 0; k < half; ++k)
        filterCurveLog_[static_cast<size_t>(k)] =
            static_cast<float>(std::log(filterCurveLin_[static_cast<size_t>(k)]) / 2.30258509299405 * scale);
}

void clsSpectrumAnalyser::LoadFilterCoeffs_F_S(const float* Coeffs_S)
{
    if (filterCurveLin_.empty())
        return;
    // A response given directly replaces the one derived from taps.
    unscaledTaps_.clear();
    for (int32_t i = 0; i < Points; ++i) {
        filterCurveLin_[static_cast<size_t>(i)] = Coeffs_S[i];
        filterCurveLog_[static_cast<size_t>(i)] = static_cast<float>(ORVIK::Log10(Coeffs_S[i]) * 20.0);
    }
}

void clsSpectrumAnalyser::Display()
{
    if (displayBusy_)
        return;
    displayBusy_ = true;
    InDisplay = true;
    Display_S(inputBuf1_.data(), inputBuf2_.data());
    InDisplay = false;
    displayBusy_ = false;
}

void clsSpectrumAnalyser::Display_I16(const int16_t* SamplesIin, const int16_t* SamplesQin)
{
    if (inputBuf1_.empty())
        return;
    Int16ToFloat_S_2(SamplesIin, inputBuf1_.data(), Points);
    Int16ToFloat_S_2(SamplesQin, inputBuf2_.data(), Points);
    Display_S(inputBuf1_.data(), inputBuf2_.data());
}

void clsSpectrumAnalyser::DisplayFrozen()
{
    if (frameBusy_ || traceBuf1_.empty())
        return;
    RenderPage();
}

void clsSpectrumAnalyser::Display_S(const float* /*SamplesI_SIN*/, const float* SamplesQ_S)
{
    if (!Active || displaySBusy_ || frameBusy_ || traceBuf1_.empty())
        return;
    displaySBusy_ = true;
    const ScopeModeRecord& m = current();
    const int32_t n = Points;
    const int32_t half = n / 2;
    float* re = specRe_.data();
    float* im = specIm_.data();
    switch (mode_) {
    case 0:
        if (m.Chn1Enabled) {
            RealFFT.FFT_Real_S_2(inputBuf1_.data(), re, im);
            PowerSpectrum_S_2(re, im, traceBuf1_.data(), half);
        }
        if (m.Chn2Enabled) {
            RealFFT.FFT_Real_S_2(SamplesQ_S, re, im);
            PowerSpectrum_S_2(re, im, traceBuf2_.data(), half);
        }
        break;
    case 1:
        if (m.Chn1Enabled)
            ORVIK::VecCopyS(inputBuf1_.data(), traceBuf1_.data(), n);
        if (m.Chn2Enabled)
            ORVIK::VecCopyS(SamplesQ_S, traceBuf2_.data(), n);
        Trigger();
        break;
    case 2:
        ORVIK::VecCopyS(inputBuf1_.data(), traceBuf1_.data(), n);
        ORVIK::VecCopyS(SamplesQ_S, traceBuf2_.data(), n);
        break;
    default:
        RealFFT.FFT_Real_S_2(inputBuf1_.data(), re, im);
        PowerSpectrum_S_2(re, im, scratchBuf_.data(), half);
        ORVIK::VecCopyS(im, traceBuf2_.data(), half);
        break;
    }
    RenderPage();
    displaySBusy_ = false;
}

void clsSpectrumAnalyser::Trigger()
{
    const int16_t channel = current().TriggerChn;
    if (channel != 1 && channel != 2)
        return;
    const int32_t n = Points;
    const int32_t count = std::min(n - ScreenWidth - 1, n);
    if (count <= 0) {
        // A sweep as wide as the block leaves nothing to search.
        StartBin = std::clamp(StartBin, 0, n);
        StopBin = std::clamp(StopBin, 0, n);
        return;
    }
    triggerIndex_ = MaxIndex_S(channel == 1 ? traceBuf1_.data() : traceBuf2_.data(), count);
    if (triggerIndex_ > count) {
        StartBin = 0;
    } else {
        StartBin = triggerIndex_;
        StopBin = triggerIndex_ + ScreenWidth - 1;
    }
}

void clsSpectrumAnalyser::RenderPage()
{
    ScopePage* page0 = pages_[0];
    ScopePage* page1 = pages_[1];
    if (!page0 || !page1)
        return;
    frameBusy_ = true;
    ScopePage& page = activePage_ == 0 ? *page0 : *page1;
    DrawGraticule(page);
    DrawSpectrum(page);
    if (activePage_ == 0) {
        page0->SetVisible(true);
        page1->SetVisible(false);
    } else {
        page0->SetVisible(false);
        page1->SetVisible(true);
    }
    activePage_ = 1 - activePage_;
    frameBusy_ = false;
    runDeferred();
}

void clsSpectrumAnalyser::runDeferred()
{
    if (pendingInit_) {
        pendingInit_ = false;
        pendingLayout_ = false;
        Init();
    } else if (pendingLayout_) {
        pendingLayout_ = false;
        SetupDisplay();
    }
}

void clsSpectrumAnalyser::SetupDisplay()
{
    if (loadingSettings_)
        return;
    if (frameBusy_) {
        pendingLayout_ = true;
        return;
    }
    if (layoutBusy_)
        return;
    layoutBusy_ = true;
    if (!Initialised)
        Init();
    ScopePage* p0 = pages_[0];
    ScopePage* p1 = pages_[1];
    if (!p0 || !p1) {
        layoutBusy_ = false;
        return;
    }
    frameBusy_ = true;

    p0->BackColor = 0;
    p0->SetFont("Tahoma", 7);
    p0->ForeColor = LayoutForeColour;
    const float range = YScaleRange();
    const float top = YScaleMax();
    if (StopBin - StartBin <= 0) {
        p0->ScaleWidth = 100;
    } else if (mode_ == 0 || mode_ == 1) {
        p0->ScaleLeft = 0;
        p0->ScaleWidth = static_cast<float>(StopBin - StartBin);
        p0->ScaleTop = top;
        p0->ScaleHeight = -range;
    } else if (mode_ == 2 && p0->Height() > 0) {
        const float aspect = static_cast<float>(p0->Width()) / static_cast<float>(p0->Height());
        p0->ScaleTop = top;
        p0->ScaleHeight = -range;
        p0->ScaleLeft = -top * aspect;
        p0->ScaleWidth = range * aspect;
    }
    const int32_t height = std::max(p0->ContainerScaleHeight() - PageTop - PageBottomMargin, 15);
    p0->Move(PageLeft, PageTop, p0->Width(), height);

    p1->BackColor = p0->BackColor;
    p1->Move(p0->Left(), p0->Top(), p0->Width(), p0->Height());
    p1->SetFont(p0->FontName(), p0->FontSize());
    p1->ScaleHeight = p0->ScaleHeight;
    p1->ScaleLeft = p0->ScaleLeft;
    p1->ScaleTop = p0->ScaleTop;
    p1->ScaleWidth = p0->ScaleWidth;
    p1->ScaleMode = p0->ScaleMode;

    DrawGraticule(*p0);
    DrawGraticule(*p1);

    DisplayWidth = static_cast<float>(p0->Width());
    p0->SetVisible(true);
    p0->ZOrder();
    p1->SetVisible(false);
    activePage_ = 0;
    frameBusy_ = false;
    layoutBusy_ = false;
    runDeferred();
}

void clsSpectrumAnalyser::yieldOnce(ScopePage&)
{
    // Pending lines stay pending, so a trace goes to the painter in one piece: whatever
    // shows the page meanwhile (its paint, or showing it) hands them to the surface first.
    if (env_.yield)
        env_.yield();
}

void clsSpectrumAnalyser::yieldWhileDrawing(ScopePage& page)
{
    yieldOnce(page);
    for (int i = 0; env_.yield && env_.InDSP && env_.InDSP() && i < MaxDspWaits; ++i)
        env_.yield();
}

clsSpectrumAnalyser::GraticuleKey clsSpectrumAnalyser::graticuleKey(const ScopePage& P) const
{
    const ScopeModeRecord& m = current();
    GraticuleKey key;
    key.numbers = {P.ScaleLeft,
                   P.ScaleTop,
                   P.ScaleWidth,
                   P.ScaleHeight,
                   static_cast<double>(P.Width()),
                   static_cast<double>(P.Height()),
                   P.FontSize(),
                   static_cast<double>(mode_) + (m.LogMode ? 0.5 : 0.0),
                   m.Chn1Gain,
                   static_cast<double>(FOffset) + (ReverseSpectrum ? 0.5 : 0.0),
                   static_cast<double>(FSampling),
                   HzPerBin,
                   static_cast<double>(StartBin),
                   static_cast<double>(StopBin)};
    key.colours = {ScopeBackColour, GraticuleColour, XTextColour, YTextColour};
    key.font = P.FontName();
    return key;
}

bool clsSpectrumAnalyser::restoreGraticule(ScopePage& P, const GraticuleKey& key)
{
    const int slot = pageSlot(P);
    if (slot < 0)
        return false;
    std::optional<KeptGraticule>& kept = keptGraticule_[static_cast<size_t>(slot)];
    if (!kept || !(kept->key == key) || !P.RestorePicture())
        return false;
    P.BackColor = ScopeBackColour;
    P.DrawMode = kept->drawMode;
    P.CurrentX = kept->currentX;
    P.CurrentY = kept->currentY;
    labelHeight_ = kept->labelHeight;
    labelWidth_ = kept->labelWidth;
    labelFormat_ = kept->labelFormat;
    P.ForeColor = LissajousColour;
    P.SetAutoRedraw(false);
    P.ZOrder();
    return true;
}

void clsSpectrumAnalyser::DrawGraticule(ScopePage& P)
{
    // Most frames show the graticule of the frame before: it is put back, not drawn.
    const GraticuleKey key = graticuleKey(P);
    if (restoreGraticule(P, key))
        return;
    P.SetAutoRedraw(true);
    P.BackColor = ScopeBackColour;
    P.Cls();
    P.ForeColor = GraticuleColour;
    const float SL = P.ScaleLeft;
    const float ST = P.ScaleTop;
    const float SW = P.ScaleWidth;
    const float SH = P.ScaleHeight;
    const float height = std::fabs(SH);
    const float yStep = height / 10.0F;
    // By index, so the last line does not drift off by rounding; the bound keeps a
    // degenerate scale from looping.
    const float yTolerance = height * 1e-5F;
    auto gridY = [&](int k) { return ST + SH + static_cast<float>(k) * yStep; };
    for (int k = 0; yStep > 0 && k <= 100 && gridY(k) <= height + yTolerance; ++k)
        P.Line(SL, gridY(k), SW, gridY(k));
    yieldOnce(P);

    if (mode_ == 0) {
        P.ForeColor = YTextColour;
        P.DrawMode = ScopePage::DrawMaskNotPen;
        if (current().LogMode) {
            labelHeight_ = 0.9F * P.TextHeight(NumberToText(static_cast<double>(ST)));
            labelWidth_ = P.TextWidth("0");
            const float gain = current().Chn1Gain;
            for (int k = 0; yStep > 0 && k <= 100 && gridY(k) <= height + yTolerance; ++k) {
                const float y = gridY(k);
                P.CurrentY = y - labelHeight_;
                P.CurrentX = SW / 2 + 2 * labelWidth_;
                // One unit of the log scale is 10 dB of power.
                float below = SH + static_cast<float>(k) * yStep;
                if (std::fabs(below) < yTolerance)
                    below = 0;
                P.Print(label(static_cast<double>(below) * 10.0 / gain, "#"));
            }
        }
        P.DrawMode = ScopePage::DrawCopyPen;
        P.ForeColor = GraticuleColour;
    }

    const float xStep = SW / 12.01F;
    for (int k = 0; xStep > 0 && k <= 100 && SL + static_cast<float>(k) * xStep <= SW - SL; ++k) {
        const float x = SL + static_cast<float>(k) * xStep;
        P.Line(x, ST, x, ST + SH);
    }
    P.ForeColor = CentreLineColour;
    P.Line(SL + SW / 2, ST, SL + SW / 2, ST + SH);
    yieldOnce(P);

    if (mode_ == 0)
        drawFrequencyLabels(P);
    yieldOnce(P);
    if (const int slot = pageSlot(P); slot >= 0) {
        std::optional<KeptGraticule>& kept = keptGraticule_[static_cast<size_t>(slot)];
        std::optional<GraticuleKey>& last = lastDrawnGraticule_[static_cast<size_t>(slot)];
        kept.reset();
        // Kept once the same one is drawn twice in a row: while the receiver is being tuned
        // every frame's differs, and copying each would only add to the frame. A setting
        // changed during the yields may have drawn part of it the new way.
        const bool steady = last && *last == key;
        last = key;
        if (steady && graticuleKey(P) == key && P.KeepPicture())
            kept = KeptGraticule{key, labelHeight_, labelWidth_, labelFormat_, P.CurrentX, P.CurrentY, P.DrawMode};
    }
    P.ForeColor = LissajousColour;
    P.SetAutoRedraw(false);
    P.ZOrder();
}

void clsSpectrumAnalyser::drawFrequencyLabels(ScopePage& P)
{
    const float SW = P.ScaleWidth;
    const float SH = P.ScaleHeight;
    P.CurrentY = 0;
    P.CurrentX = 0;
    P.ForeColor = XTextColour;
    if (FOffset == 0) {
        labelFormat_ = "# ###.0";
        labelHeight_ = P.TextHeight("3.3");
        labelWidth_ = P.TextWidth("3.3");
    } else {
        labelFormat_ = "# ###";
        labelHeight_ = P.TextHeight(NumberToText(FOffset / 10000.0));
        labelWidth_ = P.TextWidth(label(FOffset / 10000.0, labelFormat_.c_str()));
    }
    P.CurrentX = SW / 2;
    P.CurrentY = current().LogMode ? -SH / 2 - labelHeight_ : -SH / 32 - labelHeight_ / 2;

    int32_t b = StopBin;
    const int32_t db = RoundEven((StopBin - StartBin) / 12.0);
    const float dx = std::fabs((SW - 1) / 12.0F);
    if (!(dx > 0))
        return;
    const float tolerance = dx * 1e-4F;
    for (int k = 0; k <= 100; ++k) {
        const float x = ReverseSpectrum ? SW - static_cast<float>(k) * dx : static_cast<float>(k) * dx;
        if (ReverseSpectrum ? x < -tolerance : x > SW + tolerance)
            break;
        const double hz = Int(static_cast<double>(HzPerBin) * b + 0.5);
        const double value = ReverseSpectrum ? (hz + FOffset) / 1000.0 : (FOffset + FSampling / 2.0 - hz) / 1000.0;
        // Centred on its line by its own width (LabelWidth measures a shorter number), and
        // the labels at the edges pushed inside the page, so that every one shows whole.
        const std::string text = label(value, labelFormat_.c_str());
        const float width = P.TextWidth(text);
        P.CurrentX = std::clamp(x - width / 2, 0.0F, std::max(0.0F, SW - width));
        P.Print(text);
        b -= db;
    }
}

void clsSpectrumAnalyser::smooth(std::vector<float>& trace, int channel)
{
    const int32_t s = spectrumSmooth_;
    const size_t blockSize = static_cast<size_t>(Points / 2);
    const auto c = static_cast<size_t>(channel);
    float* history = smoothHistory_[c].data();
    int32_t& head = smoothHead_[c];
    int32_t& ring = smoothRing_[c];
    if (ring != s) {
        // Block k back into slot k, where a history that moves its blocks keeps it, so the
        // blocks beyond the old count stay what they were; then the ring spans the new count.
        if (ring > 1 && head != 0)
            std::rotate(history, history + static_cast<size_t>(head) * blockSize,
                        history + static_cast<size_t>(ring) * blockSize);
        ring = s;
        head = 0;
    }
    // Every block ages by one: the newest spectrum takes the slot of the oldest.
    head = (head + s - 1) % s;
    std::copy_n(trace.data(), blockSize, history + static_cast<size_t>(head) * blockSize);
    // The oldest spectrum in the history weighs most: block k gets (k + 1) / S. Each bin's
    // sum adds the blocks from the newest on, as it always has, so the rounding is the same.
    float* sum = smoothSum_.data();
    std::fill_n(sum, blockSize, 0.0F);
    for (int32_t k = 0; k < s; ++k) {
        const float* block = history + static_cast<size_t>((head + k) % s) * blockSize;
        const auto weight = static_cast<float>(k + 1);
        const auto count = static_cast<float>(s);
        for (size_t i = 0; i < blockSize; ++i)
            sum[i] += block[i] * weight / count;
    }
    for (size_t i = 0; i < blockSize; ++i)
        trace[i] = sum[i] / SmoothDivider;
}

void clsSpectrumAnalyser::DrawSpectrum(ScopePage& page)
{
    // The record is copied so that a control changed during a yield does not change
    // the frame half-way.
    const ScopeModeRecord m = current();
    const int mode = mode_;
    if (!m.FastMode && !Freeze) {
        if (m.Chn1Enabled)
            smooth(traceBuf1_, 0);
        if (m.Chn2Enabled)
            smooth(traceBuf2_, 1);
    }

    const int32_t first = std::max(StartBin, 0);
    const int32_t last = std::min(StopBin, Points);
    const int32_t count = last - first + 1;
    if (!AutoGain && !Freeze && !(mode == 0 && m.LogMode) && count > 0) {
        // The Y-gain slider scales every trace of the linear display with the channel's gain.
        const auto apply = [&](std::vector<float>& trace, float gain, float offset) {
            const float factor = gain * Gain;
            if (factor != 1.0F)
                ORVIK::VecMpy1S(factor, trace.data() + first, count);
            Add_S_1(offset, trace.data() + first, count);
        };
        if (m.Chn1Enabled)
            apply(traceBuf1_, m.Chn1Gain, m.Chn1Offset);
        if (m.Chn2Enabled)
            apply(traceBuf2_, m.Chn2Gain, m.Chn2Offset);
    }

    page.SetAutoRedraw(true);
    const int32_t span = StopBin - StartBin;
    xStep_ = span > 0 ? page.ScaleWidth / static_cast<float>(span) : 0.0F;
    if (count > 0) {
        if (mode == 0)
            drawSpectrumMode(page, m);
        else if (mode == 1)
            drawTimeMode(page, m);
        else if (mode == 2)
            drawLissajous(page);
    }
    page.SetAutoRedraw(false);
    page.ZOrder();
}

void clsSpectrumAnalyser::drawSpectrumMode(ScopePage& P, const ScopeModeRecord& m)
{
    const int32_t first = std::max(StartBin, 0);
    const int32_t last = std::min(StopBin, Points);
    const int32_t from = ReverseSpectrum ? first : last;
    const int32_t step = ReverseSpectrum ? 1 : -1;
    const int32_t count = last - first + 1;
    const float xStep = xStep_;
    const float scaleTop = m.LogMode ? m.YLogMax : m.YLinMax;

    auto polyline = [&](const float* values) {
        float x = 0;
        P.CurrentX = 0;
        P.CurrentY = values[from];
        PointBatch points(P);
        for (int32_t j = 0, i = from; j < count; ++j, i += step) {
            points.add(x, values[i]);
            x += xStep;
            if (i % 64 == 0) {
                points.flush();
                yieldWhileDrawing(P);
            }
        }
    };
    auto logTreatment = [&](std::vector<float>& trace, float offset, float gain) {
        if (!m.LogMode || Freeze)
            return;
        for (int32_t i = first; i <= last; ++i) {
            float v = static_cast<float>(ORVIK::Log10(trace[static_cast<size_t>(i)]));
            if (v < 0)
                v = 0;
            trace[static_cast<size_t>(i)] = (v + offset - scaleTop / 3.0F) * gain;
        }
    };

    P.CurrentX = 0;
    P.ForeColor = Y1Colour;
    if (m.Chn1Enabled) {
        logTreatment(traceBuf1_, m.Chn1Offset, m.Chn1Gain);
        polyline(traceBuf1_.data());
    }
    if (m.Chn2Enabled) {
        P.ForeColor = Y2Colour;
        logTreatment(traceBuf2_, m.Chn2Offset, m.Chn2Gain);
        polyline(traceBuf2_.data());
    }

    if (ShowFilter) {
        P.ForeColor = FilterCurveColour;
        P.DrawWidth = 1;
        P.DrawStyle = 0;
        P.CurrentX = 0;
        float x = 0;
        const float* curve = m.LogMode ? filterCurveLog_.data() : filterCurveLin_.data();
        P.CurrentY = curve[from] + m.Chn1Offset;
        {
            PointBatch points(P);
            for (int32_t j = 0, i = from; j < count; ++j, i += step) {
                x += xStep;
                points.add(x, m.LogMode ? curve[i] : curve[i] * m.Chn1Gain + m.Chn1Offset);
                if (i % 64 == 0) {
                    points.flush();
                    yieldWhileDrawing(P);
                }
            }
        }
        P.DrawWidth = 1;
        P.DrawStyle = 0;
    }

    if (ShowNotch && HzPerBin > 0 && P.ScaleWidth != 0) {
        const float centre = static_cast<float>(env_.NotchCentre ? env_.NotchCentre() : 0);
        const float width = static_cast<float>(env_.NotchWidth ? env_.NotchWidth() : 0);
        P.ForeColor = NotchFilterColour;
        P.DrawWidth = std::max(1, RoundEven(width * 1.2 * HzPerBin / P.ScaleWidth * xStep));
        P.DrawMode = ScopePage::DrawNotXorPen;
        const double x = ReverseSpectrum ? centre / HzPerBin * xStep - xStep * StartBin
                                         : xStep * StopBin - centre / HzPerBin * xStep;
        const float xr = static_cast<float>(RoundEven(x));
        P.Line(xr, P.ScaleTop, xr, P.ScaleTop + P.ScaleHeight);
        P.DrawWidth = 1;
        P.DrawMode = ScopePage::DrawCopyPen;
    }
}

void clsSpectrumAnalyser::drawTimeMode(ScopePage& P, const ScopeModeRecord& m)
{
    const int32_t first = std::max(StartBin, 0);
    const int32_t last = std::min(StopBin, Points);
    auto trace = [&](const std::vector<float>& values, uint32_t colour) {
        float x = 0;
        P.CurrentX = 0;
        P.CurrentY = values[static_cast<size_t>(first)];
        P.ForeColor = colour;
        PointBatch points(P);
        for (int32_t i = first; i <= last; ++i) {
            points.add(x, values[static_cast<size_t>(i)]);
            x += xStep_;
            if (i % 64 == 0) {
                points.flush();
                yieldWhileDrawing(P);
            }
        }
    };
    if (m.Chn1Enabled)
        trace(traceBuf1_, Y1Colour);
    if (m.Chn2Enabled)
        trace(traceBuf2_, Y2Colour);
}

void clsSpectrumAnalyser::drawLissajous(ScopePage& P)
{
    const int32_t first = std::max(StartBin, 0);
    const int32_t last = std::min(StopBin, Points);
    P.CurrentY = traceBuf1_[static_cast<size_t>(first)];
    P.CurrentX = traceBuf2_[static_cast<size_t>(first)];
    for (int32_t i = first; i <= last; ++i) {
        P.LineTo(traceBuf2_[static_cast<size_t>(i)], traceBuf1_[static_cast<size_t>(i)]);
        if (i % 64 == 0)
            yieldWhileDrawing(P);
    }
}

} // namespace orvik
