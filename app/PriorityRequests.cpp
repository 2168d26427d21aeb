#include "app/PriorityRequests.h"

#include "platform/Log.h"
#include "platform/sound/SoundBackend.h"

#include <QMetaObject>
#include <QObject>

namespace orvik {

RealtimeKitRequests realtimeKitRequests(SoundBackend& backend, QObject* window)
{
    RealtimeKitRequests requests;
    requests.kit = RealtimeKit::onSystemBus();
    requests.soundThreads = [&backend] { return backend.soundLibraryThreads(); };
    // Dropped with the window when it has gone.
    requests.onWindowThread = [window](std::function<void()> work) {
        QMetaObject::invokeMethod(window, std::move(work), Qt::QueuedConnection);
    };
    requests.log = [](const QString& line) { AddLog(line); };
    return requests;
}

} // namespace orvik
