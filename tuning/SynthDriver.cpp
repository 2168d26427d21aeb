#include "tuning/SynthDriver.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "tuning/SynthPortInterface.h"

#include <cmath>
#include <limits>

namespace orvik {

SynthDriver::SynthDriver(QString name, double systemClock)
    : systemClock_(systemClock)
    , Name_(std::move(name))
{
}

double SynthDriver::ClkIn() const
{
    return Int(systemClock_ / 10.0 + 0.5);
}

void SynthDriver::setClkIn(double hertz)
{
    if (!(hertz > 0.0) || !std::isfinite(hertz)) {
        AddLog(Name_ + QStringLiteral(": clock of ") + QString::fromStdString(NumberToText(hertz))
               + QStringLiteral(" Hz refused, keeping ") + QString::fromStdString(NumberToText(ClkIn()))
               + QStringLiteral(" Hz"));
        return;
    }
    systemClock_ = hertz * 10.0;
    MaxFreq_ = RoundEven(systemClock_ / 2.0);
    tuningFactor_ = 4294967296.0 / systemClock_;
}

int32_t SynthDriver::TuningWordFor(int32_t frequency) const
{
    const double product = static_cast<double>(frequency) * tuningFactor_;
    if (const auto word = RoundEvenChecked(product))
        return *word;
    return product > 0 ? std::numeric_limits<int32_t>::max() : 0;
}

int32_t SynthDriver::clampFrequency(int32_t frequency) const
{
    if (frequency > MaxFreq_)
        return MaxFreq_;
    return frequency < 0 ? 0 : frequency;
}

void SynthDriver::showClockMessage() const
{
    messages().show(QStringLiteral("Clkin is not set correctly, Clkin=") + QString::fromStdString(NumberToText(ClkIn())),
                    programTitle(), MessageButtons::Ok, MessageIcon::None);
}

void SynthDriver::sendPendingFrequency()
{
    while (pendingFrequency_ && !settingFrequency_ && !CMDOutActive_) {
        const int32_t frequency = *pendingFrequency_;
        pendingFrequency_.reset();
        SetFrequency(frequency);
    }
}

std::optional<double> StoredClock(const SettingsStore& store, const QString& section,
                                  std::optional<double> whenMissing)
{
    const QString text = store.read(section, QStringLiteral("ClkIn"), QString());
    if (text.isEmpty())
        return whenMissing;
    const auto clock = ParseNumber(text.toStdString());
    if (!clock || !(*clock > 0)) {
        AddLog(section + QStringLiteral(": stored clock \"") + logValue(text) + QStringLiteral("\" is not usable, ignored"));
        return std::nullopt;
    }
    return clock;
}

void StoreClock(SettingsStore& store, const SynthDriver& chip)
{
    if (chip.Name().isEmpty() || !(chip.ClkIn() > 0))
        return;
    store.write(chip.Name(), QStringLiteral("ClkIn"), QString::fromStdString(NumberToText(chip.ClkIn())));
}

} // namespace orvik
