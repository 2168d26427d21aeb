#pragma once

#include "common/PointerCodes.h"

#include <Qt>

namespace orvik {

// The handlers' codes of a Qt button (0 for one they do not know) and of Qt modifiers.
int16_t buttonCode(Qt::MouseButton button);
int16_t shiftState(Qt::KeyboardModifiers modifiers);

} // namespace orvik
