#pragma once

#include "shell/ProcessPriority.h"

class QObject;

namespace orvik {

class SoundBackend;

// RealtimeKit on the system bus for the threads of `backend`, its outcome logged on
// `window`'s thread.
RealtimeKitRequests realtimeKitRequests(SoundBackend& backend, QObject* window);

} // namespace orvik
