#pragma once

#include "shell/WheelHook.h"

#include <QObject>
#include <QRect>

class QWidget;

namespace orvik {

class CtlArray;

// The message hook on Linux: one application event filter that sees every key press,
// pointer move and wheel turn where it arrives at a window, once per physical event, and
// hands it to WheelHook. While an enabled adjuster is active it keeps the wheel from also
// scrolling the control under the pointer; pointer moves and keys always go on.
class modWheelMouse : public QObject {
public:
    explicit modWheelMouse(CtlArray& ctl, QObject* parent = nullptr);
    ~modWheelMouse() override;

    // Keeps where the frequency display lies in the window (pixels); returns true.
    bool init(QWidget* frame, QWidget* display, QWidget* label, QWidget* window);
    void HookWheel();
    void UnhookWheel();

    WheelHook& hook() { return hook_; }

    // Non-zero once installed; keeps its value after UnhookWheel.
    int32_t HookHandle = 0;
    QRect FreqDisplayRect;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool adjusterTakesWheel() const;

    CtlArray& ctl_;
    WheelHook hook_;
    bool installed_ = false;
    // Touchpads and fine-step wheels send parts of a notch; they count once a notch is full.
    int partialDelta_ = 0;
};

} // namespace orvik
