#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace orvik {

// The value label an adjuster shows itself on. The main window wraps its QLabel in
// one; the core never sees a widget.
class AdjusterLabel {
public:
    virtual ~AdjusterLabel() = default;
    virtual void SetCaption(const QString& caption) = 0;
    virtual QString Caption() const = 0;
    virtual void SetForeColour(uint32_t designColour) = 0;
    virtual void SetBorder(bool fixedSingle) = 0;
};

// Copy of the last wheel message the hook acted on for an adjuster.
struct WheelMessage {
    int32_t hwnd = 0;
    int32_t message = 0;
    int32_t wParam = 0;
    int32_t lParam = 0;
    int32_t time = 0;
    int32_t x = 0;
    int32_t y = 0;
};

// One adjustable value: limits, steps, caption format and the procedure that pushes
// the value into the receiver, the tuning code or the spectrum display.
struct Adjuster {
    int16_t Id = 0;
    bool Disabled = false;
    int32_t Reserved = 0;
    float Max = 0;
    float Min = 0;
    float Default = 0;
    float Value = 0;
    float CtrlStep = 0;
    float Step = 0;
    float ShiftStep = 0;
    bool Locked = false;
    QString StepText;
    bool ShowValue = false;
    QString FormatText;
    AdjusterLabel* Control = nullptr;
    std::function<void()> ApplyProc;
    WheelMessage LastWheelMsg;
    uint32_t FocusColour = 0;
    uint32_t NormalColour = 0;
};

// The start-up values of one adjuster (limits, default, start value, steps, format).
struct AdjusterDefinition {
    int16_t Id;
    const char* labelName; // design name of the value label, nullptr for none
    float Max;
    float Min;
    float Default;
    float Value;
    float CtrlStep;
    float Step;
    float ShiftStep;
    const char* FormatText; // nullptr for none
    bool ShowValue;
    bool Disabled;
};

} // namespace orvik
