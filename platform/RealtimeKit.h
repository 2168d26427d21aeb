#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace orvik {

// What the desktop's priority broker allows a process.
struct RealtimeKitLimits {
    int32_t maxRealtimePriority = 0;
    int32_t minNiceLevel = 0;
    // The broker grants real time only to a process whose hard RLIMIT_RTTIME is at most this.
    int64_t rttimeUSecMax = 0;
};

// How the broker answered a request to raise a thread.
enum class RealtimeKitReply {
    Granted,
    Refused,
    // Refused for now: the broker grants a user only so many requests at a time and in a
    // short while (RealtimeKit: 25 in 20 s by default).
    Limited,
    // Sent, but not answered in time: the broker may still act on it (see kLateActionLimit).
    NoAnswer,
    // Never reached the broker.
    NotSent,
};

// The desktop's RealtimeKit service (org.freedesktop.RealtimeKit1 on the system bus), which
// raises the threads of a process that may not raise them itself. Every call blocks its
// caller (never the window thread) for a short time at most; each gives the reason in
// `error` when the broker is missing, frozen or says no.
class RealtimeKit {
public:
    virtual ~RealtimeKit() = default;
    virtual bool readLimits(RealtimeKitLimits& limits, std::string& error) = 0;
    // SCHED_RR at `priority` for one thread of this process.
    virtual RealtimeKitReply makeThreadRealtime(pid_t thread, uint32_t priority, std::string& error) = 0;
    // The nice level `nice` for one thread of this process.
    virtual RealtimeKitReply makeThreadHighPriority(pid_t thread, int32_t nice, std::string& error) = 0;

    // The broker on the system bus ($DBUS_SYSTEM_BUS_ADDRESS when set); each call gives up
    // after `callLimit`, connecting included.
    static std::unique_ptr<RealtimeKit> onSystemBus(std::chrono::milliseconds callLimit = std::chrono::seconds(1));

    // How long after a request was given up the broker may still act on it. RealtimeKit
    // looks its caller up on the bus as it takes a request, then asks polkit with the bus
    // library's 25 s reply limit, and acts when polkit says yes. The connection of a call
    // given up is closed at once, so a request it had not taken yet fails the lookup; one it
    // had taken is acted on within 25 s or never.
    static constexpr std::chrono::seconds kLateActionLimit{30};
};

} // namespace orvik
