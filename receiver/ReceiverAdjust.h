#pragma once

#include "receiver/PublicVars.h"

#include <cstdint>

namespace orvik {

// What the apply procedures of the receive chain's adjustable values carry into
// the chain, given the adjuster's Value. The value labels, sliders and dials
// that show them are the controls' business; these functions only set the
// variables and raise the rebuild flags.

void ApplyFilterHi(PublicVars& vars, float value);   // adjuster 7
void ApplyFilterLo(PublicVars& vars, float value);   // adjuster 8
// The IF-filter row of the IF-filter mode and the demodulation mode in force; each index
// is held to its table, so a stored mode out of range reads a row and never beyond.
FilterSetting& CurrentIFRow(PublicVars& vars);
const FilterSetting& CurrentIFRow(const PublicVars& vars);
// Adjusters 17 and 18: the current IF row's edge, as a distance from the IF centre.
void ApplyIFHi(PublicVars& vars, float value);
void ApplyIFLo(PublicVars& vars, float value);
// Adjuster 9; max and min are the adjuster's limits.
void ApplyNoiseBlanker(PublicVars& vars, float value, float max = 10000, float min = 0);
// Adjuster 10. Returns false in the dead zone -50 <= V < -1, where nothing changes.
bool ApplyOutputAttenuation(PublicVars& vars, float value);
// Adjuster 11. vfoHiSideLO is the VFO's injection side; notchFilterActive the
// notch filter's Active switch.
void ApplyNotchCentre(PublicVars& vars, float value, bool vfoHiSideLO, bool notchFilterActive);
void ApplyNotchWidth(PublicVars& vars, float value); // adjuster 12
// NotchLo and NotchHi from NotchCentre and NotchWidth, on the spectrum (0 to
// half the sample rate), where the filter design would put them anyway.
void SetNotchEdges(PublicVars& vars);
// Adjusters 13 and 14, in tenths of a second and tenths of a millisecond. The
// resulting lengths are held to the capacity of the AGC arrays and to one
// block, whatever a settings file asks for.
void ApplyAGCAttack(PublicVars& vars, float value);
// The AGC lengths for an attack in seconds and a decay in milliseconds, without the
// AGC table (the sliders set only these).
void SetAGCDelayTime(PublicVars& vars, float seconds);
void SetAGCSmoothTime(PublicVars& vars, int32_t milliseconds);
void ApplyAGCDecay(PublicVars& vars, float value);
void ApplyBFO(PublicVars& vars, float value);        // adjuster 20

// Phase step of the quadrature oscillator for 12000 Hz + bfo on a 30-bit
// accumulator, rounded half up.
int32_t BFOPhaseIncrementFor(int32_t bfo);

// Start-up: each apply procedure once with its adjuster's start value, then the
// parameter tables, then the AGC peak history primed with 16383.
void InitialiseReceiverState(PublicVars& vars);

} // namespace orvik
