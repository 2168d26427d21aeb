#include "platform/EventPump.h"

#include <QCoreApplication>

namespace orvik {

namespace {
std::function<void()>& pumpHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void pumpEvents()
{
    if (const auto& hook = pumpHook()) {
        hook();
        return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void setEventPump(std::function<void()> pump)
{
    pumpHook() = std::move(pump);
}

} // namespace orvik
