#include "tuning/clsVFO.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/SettingsStore.h"
#include "tuning/SynthDriver.h"
#include "tuning/TuningArithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace orvik {

namespace {

constexpr int64_t int32Max = std::numeric_limits<int32_t>::max();

int32_t hertzFromTenths(int32_t tenths)
{
    return static_cast<int32_t>(Int(tenths / 10.0 + 0.5));
}

bool tenthsFromHertz(int32_t hertz, int32_t& tenths)
{
    const int64_t value = static_cast<int64_t>(hertz) * 10;
    if (value > int32Max || value < std::numeric_limits<int32_t>::min())
        return false;
    tenths = static_cast<int32_t>(value);
    return true;
}

} // namespace

clsVFO::clsVFO(SettingsStore& store)
    : store_(store)
{
}

clsVFO::~clsVFO()
{
    SaveSettings();
}

int64_t clsVFO::TunedFrequencyLimit() const
{
    if (!OscType_ || OscType_->MaxFreq() <= 0)
        return -1;
    // The limit keeps the oscillator below MaxFreq on the high side; it does
    // not depend on the injection side.
    const int64_t limit = static_cast<int64_t>(OscType_->MaxFreq()) - 10 * static_cast<int64_t>(IFFrequency());
    return std::clamp<int64_t>(limit, 0, DisplayMaximum);
}

int32_t clsVFO::TunedFrequency() const
{
    int64_t value = std::llabs(static_cast<int64_t>(TunedFrequency_));
    const int64_t limit = TunedFrequencyLimit();
    if (limit >= 0 && value > limit)
        value = limit;
    return static_cast<int32_t>(std::min(value, int32Max));
}

void clsVFO::storeTunedFrequency(int64_t value)
{
    value = std::llabs(value);
    const int64_t limit = TunedFrequencyLimit();
    if (limit >= 0 && value > limit)
        value = limit;
    TunedFrequency_ = static_cast<int32_t>(std::min(value, int32Max));
}

void clsVFO::setTunedFrequency(int32_t value)
{
    // A timer or the knob can fire inside the transfer of the previous value.
    if (assigning_)
        return;
    assigning_ = true;
    storeTunedFrequency(value);
    Refresh();
    assigning_ = false;
}

int32_t clsVFO::IFFrequency() const
{
    return hertzFromTenths(IFFrequency_);
}

void clsVFO::setIFFrequency(int32_t hertz)
{
    if (!tenthsFromHertz(hertz, IFFrequency_))
        AddLog(Name_ + QStringLiteral(": IF of ") + QString::number(hertz) + QStringLiteral(" Hz is out of range, kept ")
               + QString::number(IFFrequency()) + QStringLiteral(" Hz"));
}

int32_t clsVFO::CalibOffset() const
{
    return hertzFromTenths(CalibOffset_);
}

void clsVFO::setCalibOffset(int32_t hertz)
{
    if (!tenthsFromHertz(hertz, CalibOffset_))
        AddLog(Name_ + QStringLiteral(": calibration offset of ") + QString::number(hertz)
               + QStringLiteral(" Hz is out of range, kept ") + QString::number(CalibOffset()) + QStringLiteral(" Hz"));
}

void clsVFO::setTuneStep(double value)
{
    if (TuneStepLock_)
        return;
    TuneStep_ = value;
    TuneStepLSD_ = value;
}

void clsVFO::setTuneStepLSD(double value)
{
    if (TuneStepLock_)
        return;
    TuneStepLSD_ = value > 10000 ? 10000 : value;
}

QString clsVFO::FormattedTunedFreq() const
{
    return QStringLiteral("%1").arg(TunedFrequency(), 9, 10, QLatin1Char('0'));
}

void clsVFO::Refresh()
{
    // A restored frequency outside the chip's range is brought into it here.
    storeTunedFrequency(TunedFrequency_);
    const int64_t sum = static_cast<int64_t>(TunedFrequency_) + CalibOffset_ + (HiSideLO_ ? IFFrequency_ : -IFFrequency_);
    // In 64 bits and capped at the chip's top, so a large multiplier cannot wrap
    // into an unrelated frequency.
    const double product = std::fabs(static_cast<double>(sum) * OscMultiplier_);
    const int64_t cap = OscType_ && OscType_->MaxFreq() > 0 ? OscType_->MaxFreq() : int32Max;
    OscOut_ = product > static_cast<double>(cap) ? static_cast<int32_t>(cap) : static_cast<int32_t>(product);
    if (OscType_)
        OscType_->SetFrequency(OscOut_);
}

double clsVFO::Inc_Freq(double Increment)
{
    const double step = Increment != 0 ? Increment : TuneStep_;
    // The periodic refresh stays away while the step is being sent.
    const bool savedAutoUpdate = AutoUpdate_;
    AutoUpdate_ = false;
    const double tuned = TunedFrequency();
    // Nearest grid point, halves up; no grid means no snapping.
    const double snapped = TuneStepLSD_ > 0 ? Int(tuned / TuneStepLSD_ + 0.5) * TuneStepLSD_ : tuned;
    setTunedFrequency(RoundEven(snapped + step));
    AutoUpdate_ = savedAutoUpdate;
    Refresh();
    return TunedFrequency();
}

double clsVFO::StepToGrid(double step)
{
    if (step == 0)
        return TunedFrequency();
    const bool savedAutoUpdate = AutoUpdate_;
    AutoUpdate_ = false;
    const double old = TunedFrequency();
    const double target = old + step;
    double snapped = target;
    if (TuneStepLSD_ > 0) {
        const double units = target / TuneStepLSD_;
        // A hair of tolerance keeps a target already on the grid where it is.
        snapped = (step > 0 ? std::ceil(units - 1e-9) : std::floor(units + 1e-9)) * TuneStepLSD_;
    }
    setTunedFrequency(RoundEven(snapped));
    AutoUpdate_ = savedAutoUpdate;
    Refresh();
    return TunedFrequency();
}

double clsVFO::Dec_Freq(double Decrement)
{
    const double step = Decrement != 0 ? Decrement : TuneStep_;
    return Inc_Freq(-std::fabs(step));
}

void clsVFO::RestoreSettings()
{
    setIFFrequency(store_.readInt(Name_, QStringLiteral("IFFrequency"), IFFrequency()));
    HiSideLO_ = store_.readBool(Name_, QStringLiteral("HiSideLo"), HiSideLO_);
    AutoUpdate_ = store_.readBool(Name_, QStringLiteral("AutoUpdate"), AutoUpdate_);
    TunedFrequency_ = store_.readInt(Name_, QStringLiteral("TunedFrequency"), TunedFrequency_);
    TuneStep_ = store_.readDouble(Name_, QStringLiteral("TuneStep"), TuneStep_);
    OscMultiplier_ = store_.readInt(Name_, QStringLiteral("OscMultiplier"), OscMultiplier_);
    setCalibOffset(store_.readInt(Name_, QStringLiteral("CalibOffset"), CalibOffset()));
    DDSInterfaceType_ = store_.readInt(Name_, QStringLiteral("DDSInterfaceType"), DDSInterfaceType_);
}

void clsVFO::SaveSettings()
{
    if (Name_.isEmpty())
        return;
    store_.writeInt(Name_, QStringLiteral("IFFrequency"), IFFrequency());
    store_.writeBool(Name_, QStringLiteral("HiSideLo"), HiSideLO_);
    store_.writeBool(Name_, QStringLiteral("AutoUpdate"), AutoUpdate_);
    store_.writeInt(Name_, QStringLiteral("TunedFrequency"), TunedFrequency());
    store_.write(Name_, QStringLiteral("TuneStep"), QString::fromStdString(NumberToText(Int(TuneStep_ + 0.5))));
    store_.writeInt(Name_, QStringLiteral("OscMultiplier"), OscMultiplier_);
    store_.writeInt(Name_, QStringLiteral("CalibOffset"), CalibOffset());
    store_.writeInt(Name_, QStringLiteral("DDSInterfaceType"), DDSInterfaceType_);
}

} // namespace orvik
