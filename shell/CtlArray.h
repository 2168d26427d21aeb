#pragma once

#include "common/PointerCodes.h"
#include "shell/Adjuster.h"

#include <array>
#include <functional>
#include <optional>

namespace orvik {

// The table of adjustable values, records 0 to 32 (ids 1 to 22 used), and the id of
// the active one. Shared by the main window, the hook, the colour scheme and the
// apply procedures for the whole run.
class CtlArray {
public:
    // Key codes of Form_KeyDown (the platform's virtual-key numbers).
    static constexpr int16_t KeySpace = 32;
    static constexpr int16_t KeyLeft = 37;
    static constexpr int16_t KeyUp = 38;
    static constexpr int16_t KeyRight = 39;
    static constexpr int16_t KeyDown = 40;
    static constexpr int16_t KeyA = 65;
    static constexpr int16_t KeyZ = 90;

    // Resets that need other subsystems' state; the receiver side fills them. An empty
    // hook makes the reset take the record's Default (and move no slider).
    struct Hooks {
        // Upper (id 7) or lower (id 8) edge of the FilterTable row of FilterMode.
        std::function<float(int id)> mainFilterEdge;
        // Upper (17) or lower (18) edge of the IF row of IFFilterMode and DemodMode;
        // nullopt for a demodulation mode without one (DRM): the reset takes Default.
        std::function<std::optional<float>(int id)> ifFilterEdge;
        // Puts sldNB at the given position without its change handler writing back.
        std::function<void(int position)> positionNoiseBlankerSlider;
    };

    static constexpr int Size = 33;
    static constexpr int16_t PicScopeIndex = 16;
    // Id 20 (the BFO label) is drawn in the tuning colour when not active.
    static constexpr int16_t BfoId = 20;

    CtlArray();

    Adjuster& operator[](int id) { return records_.at(static_cast<size_t>(id)); }
    const Adjuster& operator[](int id) const { return records_.at(static_cast<size_t>(id)); }

    int16_t ActiveAdjuster = 0;
    // Colour of id 20 while not active (the scheme's tuning colour).
    uint32_t TuningColour = 0;
    bool HiLiteBorder = false;

    // The start-up values of record id (1..22); nullptr for others.
    static const AdjusterDefinition* definition(int id);
    // Stores the start-up values of record id, its label and its apply procedure; the
    // colours already in the record stay.
    void Define(int id, AdjusterLabel* label, std::function<void()> applyProc);
    void Define(const AdjusterDefinition& definition, AdjusterLabel* label, std::function<void()> applyProc);

    // The label shows Value in FormatText when the record has both a format and ShowValue.
    void UpdateCaption(int id);
    // The label shows Value in FormatText whatever ShowValue (the reset handlers, start-up).
    void WriteCaption(int id);
    // Runs the stored apply procedure, if any.
    void Apply(int id);

    // Value += step (clamped at Max) or -= step (clamped at Min), caption update, apply.
    void StepUp(int id, float step);
    void StepDown(int id, float step);

    // Makes id the active adjuster (a negative id means the one recorded as active);
    // a disabled record is not activated. Re-entry is ignored.
    void ActivateAdjuster(int16_t& id);
    // Puts a label back to normal and clears ActiveAdjuster; no id: the active one.
    void DeactivateAdjuster(std::optional<int16_t> id = std::nullopt);
    // Every label in its normal colour, no active adjuster.
    void DarkenAll();

    // The window's key handler: step, reset or move to the neighbouring adjuster. Shift
    // wins over Ctrl. Nothing while the frequency display (1) is active; the stepping
    // keys do nothing on an adjuster without a value label (the scope area, 16).
    void Form_KeyDown(int16_t KeyCode, int16_t Shift);
    // A mouse button went down on the value label of id: the right button resets (any
    // button on 15); the left button on 13 only records it as active.
    void LabelMouseDown(int id, int16_t Button);
    // True for the ids that have a value label of their own (not 1, 16 or the empty records).
    static bool hasLabel(int id);

    // Hook for activation: moves the keyboard focus to the focus sink.
    std::function<void()> focusSink;
    Hooks hooks;

private:
    std::array<Adjuster, Size> records_;
    bool activating_ = false;
};

// Value formatted with the record's picture, as the captions show it.
QString AdjusterCaption(const Adjuster& record);

} // namespace orvik
