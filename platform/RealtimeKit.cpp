#include "platform/RealtimeKit.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <functional>
#include <system_error>

namespace orvik {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kObject = "/org/freedesktop/RealtimeKit1";

std::string errnoText(int negativeErrno)
{
    return std::generic_category().message(-negativeErrno);
}

// A connection used by one thread at a time. sd-bus's own blocking calls could wait on a
// frozen bus for its 25 s default while connecting; here every call, connecting included,
// runs against one deadline, and a connection that overran is dropped, not reused.
class SystemBusRealtimeKit final : public RealtimeKit {
public:
    explicit SystemBusRealtimeKit(std::chrono::milliseconds callLimit) : callLimit_(callLimit) {}
    ~SystemBusRealtimeKit() override { drop(); }

    bool readLimits(RealtimeKitLimits& limits, std::string& error) override
    {
        int64_t priority = 0, nice = 0, rttime = 0;
        if (readProperty("MaxRealtimePriority", priority, error) != RealtimeKitReply::Granted ||
            readProperty("MinNiceLevel", nice, error) != RealtimeKitReply::Granted ||
            readProperty("RTTimeUSecMax", rttime, error) != RealtimeKitReply::Granted)
            return false;
        limits.maxRealtimePriority = static_cast<int32_t>(priority);
        limits.minNiceLevel = static_cast<int32_t>(nice);
        limits.rttimeUSecMax = rttime;
        return true;
    }

    RealtimeKitReply makeThreadRealtime(pid_t thread, uint32_t priority, std::string& error) override
    {
        return call(
            "MakeThreadRealtime",
            [&](sd_bus_message* m) { return sd_bus_message_append(m, "tu", static_cast<uint64_t>(thread), priority); },
            nullptr, error);
    }

    RealtimeKitReply makeThreadHighPriority(pid_t thread, int32_t nice, std::string& error) override
    {
        return call(
            "MakeThreadHighPriority",
            [&](sd_bus_message* m) { return sd_bus_message_append(m, "ti", static_cast<uint64_t>(thread), nice); },
            nullptr, error);
    }

private:
    using Clock = std::chrono::steady_clock;

    RealtimeKitReply readProperty(const char* name, int64_t& value, std::string& error)
    {
        const auto read = [&](sd_bus_message* reply) {
            char type = 0;
            const char* contents = nullptr;
            if (sd_bus_message_peek_type(reply, &type, &contents) <= 0 || type != 'v' || !contents)
                return -EBADMSG;
            int r = sd_bus_message_enter_container(reply, 'v', contents);
            if (r < 0)
                return r;
            if (std::strcmp(contents, "i") == 0) {
                int32_t v = 0;
                r = sd_bus_message_read(reply, "i", &v);
                value = v;
            } else if (std::strcmp(contents, "x") == 0) {
                int64_t v = 0;
                r = sd_bus_message_read(reply, "x", &v);
                value = v;
            } else {
                return -EBADMSG;
            }
            return r;
        };
        return call(
            nullptr,
            [&](sd_bus_message* m) { return sd_bus_message_append(m, "ss", kService, name); }, read, error);
    }

    // One method call of the broker (`method`), or a property read when `method` is null.
    RealtimeKitReply call(const char* method, const std::function<int(sd_bus_message*)>& arguments,
              const std::function<int(sd_bus_message*)>& readReply, std::string& error)
    {
        const Clock::time_point deadline = Clock::now() + callLimit_;
        if (!bus_) {
            const int r = sd_bus_open_system(&bus_);
            if (r < 0) {
                bus_ = nullptr;
                error = "no system bus: " + errnoText(r);
                return RealtimeKitReply::NotSent;
            }
        }
        sd_bus_message* request = nullptr;
        int r = method ? sd_bus_message_new_method_call(bus_, &request, kService, kObject, kService, method)
                       : sd_bus_message_new_method_call(bus_, &request, kService, kObject,
                                                        "org.freedesktop.DBus.Properties", "Get");
        if (r >= 0)
            r = arguments(request);
        struct Answer {
            bool arrived = false;
            sd_bus_message* reply = nullptr;
        } answer;
        const auto onReply = [](sd_bus_message* m, void* userdata, sd_bus_error*) {
            auto* a = static_cast<Answer*>(userdata);
            a->arrived = true;
            a->reply = sd_bus_message_ref(m);
            return 0;
        };
        sd_bus_slot* slot = nullptr;
        bool sent = false;
        if (r >= 0) {
            r = sd_bus_call_async(bus_, &slot, request, onReply, &answer,
                                  std::chrono::duration_cast<std::chrono::microseconds>(callLimit_).count());
            sent = r >= 0;
        }
        sd_bus_message_unref(request);
        while (r >= 0 && !answer.arrived) {
            r = sd_bus_process(bus_, nullptr);
            if (r != 0)
                continue;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                r = -ETIMEDOUT;
                break;
            }
            r = sd_bus_wait(bus_, static_cast<uint64_t>(left));
        }
        sd_bus_slot_unref(slot);
        if (!answer.arrived) {
            error = r == -ETIMEDOUT ? "no answer within " + std::to_string(callLimit_.count()) + " ms"
                                    : "system bus: " + errnoText(r);
            // A bus that froze or broke is connected afresh for the next call. Closing at once
            // also bounds how late the broker can act on the call (kLateActionLimit).
            drop();
            return sent ? RealtimeKitReply::NoAnswer : RealtimeKitReply::NotSent;
        }
        RealtimeKitReply reply = RealtimeKitReply::Granted;
        if (const sd_bus_error* e = sd_bus_message_get_error(answer.reply);
            e && (sd_bus_error_has_name(e, SD_BUS_ERROR_TIMEOUT) || sd_bus_error_has_name(e, SD_BUS_ERROR_NO_REPLY))) {
            // The bus library's own timer or the bus gave up on the answer for us.
            error = "no answer within " + std::to_string(callLimit_.count()) + " ms";
            reply = RealtimeKitReply::NoAnswer;
            drop();
        } else if (e) {
            error = e->message && *e->message ? e->message : (e->name ? e->name : "refused");
            // RealtimeKit answers its limits with EBUSY's text, written by the service in its
            // own locale (C), whatever ours is.
            reply = error == "Device or resource busy" ? RealtimeKitReply::Limited : RealtimeKitReply::Refused;
        } else if (readReply) {
            if (const int rr = readReply(answer.reply); rr < 0) {
                error = "unreadable answer: " + errnoText(rr);
                reply = RealtimeKitReply::Refused;
            }
        }
        sd_bus_message_unref(answer.reply);
        return reply;
    }

    void drop()
    {
        if (bus_)
            sd_bus_close_unref(bus_);
        bus_ = nullptr;
    }

    std::chrono::milliseconds callLimit_;
    sd_bus* bus_ = nullptr;
};

} // namespace

std::unique_ptr<RealtimeKit> RealtimeKit::onSystemBus(std::chrono::milliseconds callLimit)
{
    return std::make_unique<SystemBusRealtimeKit>(callLimit);
}

} // namespace orvik
