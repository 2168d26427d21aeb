#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace orvik {

// The 17 tuning steps in tenths of a hertz, in the order of the step list.
using TuningStepTable = std::array<int32_t, 17>;
TuningStepTable DefaultTuningSteps();

// One line of the tuning-step list: kHz, Hz or dHz, right-aligned for a fixed-pitch font.
QString TuningStepText(int32_t tenthsHz);
QStringList TuningStepListTexts(const TuningStepTable& steps);
// Index of the first step equal to tuneStep, -1 when none matches.
int TuningStepIndex(const TuningStepTable& steps, double tuneStep);

} // namespace orvik
