#include "shell/widgets/PointerEvents.h"

namespace orvik {

int16_t buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return LeftButton;
    case Qt::RightButton:
        return RightButton;
    case Qt::MiddleButton:
        return MiddleButton;
    default:
        return 0;
    }
}

int16_t shiftState(Qt::KeyboardModifiers modifiers)
{
    return static_cast<int16_t>((modifiers & Qt::ShiftModifier ? ShiftDown : 0) |
                                (modifiers & Qt::ControlModifier ? CtrlDown : 0) |
                                (modifiers & Qt::AltModifier ? AltDown : 0));
}

} // namespace orvik
