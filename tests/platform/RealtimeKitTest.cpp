#include "platform/RealtimeKit.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvik {
namespace {

// A system bus that is missing, or that takes the connection and never answers (a frozen
// dbus-daemon): each call gives up within its limit with the reason, and the next call
// tries afresh.
TEST(RealtimeKit, AMissingOrFrozenBusIsReportedWithinTheCallLimit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string missing = dir.filePath("nobody").toStdString();
    const std::string frozen = dir.filePath("frozen").toStdString();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    frozen.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0); // never accepted

    // A call that reached a bus may still be acted on; one that found none never will.
    struct Case {
        std::string socket;
        const char* reason;
        RealtimeKitReply reply;
    } cases[] = {{missing, "no system bus: ", RealtimeKitReply::NotSent},
                 {frozen, "no answer within 300 ms", RealtimeKitReply::NoAnswer}};
    const char* before = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string saved = before ? before : "";
    for (const Case& c : cases) {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + c.socket).c_str(), 1);
        const std::unique_ptr<RealtimeKit> kit = RealtimeKit::onSystemBus(std::chrono::milliseconds(300));
        for (int call = 0; call < 2; ++call) {
            RealtimeKitLimits limits;
            std::string error;
            EXPECT_FALSE(kit->readLimits(limits, error));
            EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
            error.clear();
            EXPECT_EQ(kit->makeThreadRealtime(gettid(), 1, error), c.reply);
            EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
        }
    }
    if (before)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
    else
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    ::close(listener);
}

} // namespace
} // namespace orvik
