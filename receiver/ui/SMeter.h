#pragma once

#include <vector>

class QWidget;

namespace orvik {

// Lays out the S-meter surfaces of the main window: picSmeter_1 onto picSmeter_0, the
// printed scale (S1..S9, +6 .. 36 dB) along the top of picSmeter_2 and the tick row
// shpSMeterTick_0..14 under it, then lights tick 0 only.
void DrawSMeter(QWidget* window);

// Lights one tick per 6 dB of the block power level (rounded to whole decibels first); the
// ticks above are hidden, tick 0 always shows. A call made while one runs is ignored.
void ShowLevelBar(QWidget* window, float level);
// The same on the tick row found once (the statistics pass lights it after every block).
std::vector<QWidget*> SMeterTickWidgets(QWidget* window);
void ShowLevelBar(const std::vector<QWidget*>& ticks, float level);

} // namespace orvik
