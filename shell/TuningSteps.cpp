#include "shell/TuningSteps.h"

#include "common/Format.h"
#include "common/Numeric.h"

namespace orvik {

TuningStepTable DefaultTuningSteps()
{
    return {100000, 90000, 50000, 25000, 10000, 5000, 2500, 1000, 500, 250, 100, 50, 25, 10, 5, 2, 1};
}

QString TuningStepText(int32_t s)
{
    auto field = [](const std::string& text, int width) {
        return QString::fromStdString(FormatField(text, width, ' '));
    };
    if (s >= 10000 && s <= 100000)
        return field(NumberToText(s / 10000.0) + " KHz", 7);
    if (s >= 10 && s <= 10000)
        return field(NumberToText(s / 10.0) + " Hz", 6);
    if (s >= 0 && s <= 10)
        return field(NumberToText(static_cast<int64_t>(s)) + " dHz", 7);
    return QString::number(s);
}

QStringList TuningStepListTexts(const TuningStepTable& steps)
{
    QStringList out;
    for (int32_t s : steps)
        out.append(TuningStepText(s));
    return out;
}

int TuningStepIndex(const TuningStepTable& steps, double tuneStep)
{
    for (size_t i = 0; i < steps.size(); ++i)
        if (static_cast<double>(steps[i]) == tuneStep)
            return static_cast<int>(i);
    return -1;
}

} // namespace orvik
