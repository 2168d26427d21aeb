#pragma once

#include "receiver/PublicVars.h"

namespace orvik {

// Start-up contents of the receiver's parameter tables, in the order the main
// window's load writes them. attackMax and decayMax are the maxima of the AGC
// attack and decay adjusters at the time the rows are derived.
void FillFilterTable(PublicVars& vars);
void FillAGCTable(PublicVars& vars, float attackMax = 100, float decayMax = 200);
void FillIFFilterSettings(PublicVars& vars);
void SetNotchDefaults(PublicVars& vars);

// All of the above plus the mode variables start-up leaves behind: AGC mode 1
// with the AGC off, IF filter mode "Man" with the IF filter off, the audio set
// of notch limits.
void InitialiseReceiverTables(PublicVars& vars, float attackMax = 100, float decayMax = 200);

} // namespace orvik
