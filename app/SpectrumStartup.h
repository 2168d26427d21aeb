#pragma once

#include "spectrum/ui/ScopeControls.h"

#include <cstdint>
#include <memory>

class QWidget;

namespace orvik {

class clsSpectrumAnalyser;
class CtlArray;
class SettingsStore;
struct PublicVars;

// The analyser with the receive chain's values it draws from: events run in its yields,
// it waits for a block in progress, and the notch marker follows the notch settings.
std::unique_ptr<clsSpectrumAnalyser> CreateSpectrumAnalyser(SettingsStore& store, const PublicVars& vars);

// Sizes the analyser for the sound card (48000 Hz, 2048 points), gives it the controls'
// pages, centres the span on the tuned frequency (tenths of a hertz), runs the current
// mode's box and lays the pages out.
void InitialiseSpectrumAnalyser(clsSpectrumAnalyser& analyser, ScopeControls& controls, QWidget* window,
                                int32_t tunedFrequency, bool notchActive);

// The left end of an IF span centred on the tuned frequency (tenths of a hertz).
int32_t SpectrumOffset(const clsSpectrumAnalyser& analyser, int32_t tunedFrequency);

// The display adjusters show in the analyser's control colours.
void ColourScopeAdjuster(CtlArray& ctl, int id, const clsSpectrumAnalyser& analyser);

} // namespace orvik
