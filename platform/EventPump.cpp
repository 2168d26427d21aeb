#include "platform/EventPump.h"

#include <QCoreApplication>

namespace orvik {

namespace {
std::function<void()>& pumpHook()
{
    static std::function<void()> hook;
    return hook;
}

int depth = 0;

struct DepthScope {
    DepthScope() { ++depth; }
    ~DepthScope() { --depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};
} // namespace

int pumpDepth() { return depth; }

void pumpEvents()
{
    const DepthScope inside;
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
