#pragma once

// The main window's colour scheme. Colours are design colours: 24-bit, red in the low
// byte (0xFFFF00 is cyan).

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace orvik {

class SettingsStore;

struct SDRColourSchemes {
    uint32_t SDRBackgroundColour = 0;
    uint32_t SDRLabelColour = 0;
    uint32_t SDRFrameFocusColour = 0;
    uint32_t SDRFrameNormalColour = 0;
    uint32_t SDRTuningColour = 0;
    uint32_t ScrollableLabelNormalColour = 0;
    uint32_t ScrollableLabelFocusColour = 0;
    bool operator==(const SDRColourSchemes&) const = default;
};

// The start-up defaults: black background, 0xBFBF00 labels and frames, red tuning read-outs.
SDRColourSchemes defaultColourScheme();

// Scales the three colour bytes by percent / 100, each rounded half to even, low 8 bits kept.
uint32_t DarkenColour(uint32_t colour, int percent);

// Reads the seven keys of section "frmMain"; each key's default is the scheme's current value.
// A stored text that is not a number keeps the current value and is logged.
void RestoreColours(const SettingsStore& store, SDRColourSchemes& scheme);
// Writes the seven keys as decimal text.
void SaveColours(SettingsStore& store, const SDRColourSchemes& scheme);

// Sets the window's own background (ReColour never does; its callers do first).
void setWindowBackground(QWidget* window, uint32_t colour);

// Object names of the adjustable value labels by adjuster id (1 to 22); empty where the
// adjuster has no label of its own (1, the frequency display; 16, the scope area).
QString adjusterLabelName(int id);

struct ReColourHooks {
    // Steps 3 and 4: give the adjuster records (CtlArray) their focus and normal colours.
    // The labels of the records are coloured by ReColour itself either way.
    std::function<void(const SDRColourSchemes&)> colourAdjusterRecords;
    // The spectrum analyser's ScopeBackColour (design colour) for picScope_0 and picScope_1.
    uint32_t scopeBackColour = 0;
    // Step 12: redraws the S-meter; empty skips it.
    std::function<void()> drawSMeter;
};

// Repaints the window's controls from the scheme, step by step; the selected option of every
// highlighted option group gets its highlight back at the end.
void ReColour(QWidget* window, const SDRColourSchemes& scheme, const ReColourHooks& hooks = {});

// Option-group highlight: every option of the array 0xC0C000, the chosen one 0xFFFF00.
// Colours only; the caller checks the chosen option.
void HighlightOptionGroup(QWidget* window, const QString& arrayName, int chosen);

} // namespace orvik
