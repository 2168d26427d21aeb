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

// The desktop's RealtimeKit service (org.freedesktop.RealtimeKit1 on the system bus), which
// raises the threads of a process that may not raise them itself. Every call blocks its
// caller (never the window thread) for a short time at most; each returns false with the
// reason in `error` when the broker is missing, frozen or says no.
class RealtimeKit {
public:
    virtual ~RealtimeKit() = default;
    virtual bool readLimits(RealtimeKitLimits& limits, std::string& error) = 0;
    // SCHED_RR at `priority` for one thread of this process.
    virtual bool makeThreadRealtime(pid_t thread, uint32_t priority, std::string& error) = 0;
    // The nice level `nice` for one thread of this process.
    virtual bool makeThreadHighPriority(pid_t thread, int32_t nice, std::string& error) = 0;

    // The broker on the system bus ($DBUS_SYSTEM_BUS_ADDRESS when set); each call gives up
    // after `callLimit`, connecting included.
    static std::unique_ptr<RealtimeKit> onSystemBus(std::chrono::milliseconds callLimit = std::chrono::seconds(1));
};

} // namespace orvik
