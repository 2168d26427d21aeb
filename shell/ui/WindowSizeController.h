#pragma once

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <functional>

class QWidget;

namespace orvik {

// Program-wide window-frame state (twips); power on and off read and write it too.
struct WindowFrameState {
    int32_t FormHeight = 0;     // outer height for the chosen size, title bar shown
    bool TitleBarHidden = false;
    int32_t TitleBarHeight = 0; // outer minus client height, measured once at start-up
};

// The display-size option group optDisplaySize, the drag of the window by frPower, and the
// sldPwm tool tip. Construct after buildMainWindowControls; it connects the controls itself.
class WindowSizeController : public QObject {
public:
    struct Hooks {
        std::function<void()> chkPerfStatsOn_Click;      // Ext and Full re-run these two
        std::function<void()> chkSpectrumAnalyser_Click;
        std::function<void()> statisticsAndAnalyserOff;  // Std and Comp: PerfStatsOn and analyser Active False
        std::function<void()> frPowerHover;              // frame highlight before a drag move
    };

    WindowSizeController(QWidget* window, WindowFrameState& state, Hooks hooks);

    // Y1 of the marker line of display size index (twips), or -1 for an unknown index.
    static int32_t markerLineY1(int index);

    // The click handler: highlight, cut the height, statistics and analyser, FormHeight.
    void optDisplaySize_Click(int index);
    // Checks option index (without a toggled handler of its own) and runs the click handler,
    // as selecting the option in code does.
    void selectDisplaySize(int index);
    // Index of the checked option, -1 when none.
    int selectedDisplaySize() const;

    void frPower_MouseDown(QPoint framePos);
    void frPower_MouseMove(QPoint framePos);
    void frPower_MouseUp();
    void Form_MouseDown() {}
    void Form_MouseUp();
    bool dragging() const { return drag_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    WindowFrameState& state_;
    Hooks hooks_;
    QWidget* frPower_ = nullptr;
    bool drag_ = false;
    int32_t pressX_ = 0; // twips, frame coordinates
    int32_t pressY_ = 0;
    int32_t dragLeft_ = 0; // twips
    int32_t dragTop_ = 0;
};

} // namespace orvik
