#pragma once

#include <functional>

namespace orvik {

// "Let pending window events run": timers and port events may fire inside the
// caller, so everything that calls this must be safe against re-entry.
void pumpEvents();

// How many pumpEvents() calls are running now: above 0, an event handler runs
// inside other work that the handler must not tear down.
int pumpDepth();

// Tests put a hook in place of the event loop; an empty function restores the
// default (QCoreApplication::processEvents() when an application object exists).
void setEventPump(std::function<void()> pump);

} // namespace orvik
