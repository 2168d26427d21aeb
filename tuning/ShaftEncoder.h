#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace orvik {

class clsVFO;

// The tuning knob's quadrature decoder and its speed-dependent step. CTS and DSR of
// the synthesizer's serial port carry the knob's two tracks.
class ShaftEncoder {
public:
    enum class Step { None, Up, Down };

    // Pulse intervals in microseconds, fixed point with four decimals (units of
    // 0.0001 us), newest first.
    using SpeedHistory = std::array<int64_t, 25>;
    static constexpr int64_t FixedPointScale = 10000;

    // One modem-status word (CTS 0x10, DSR 0x20): the step the change of track
    // levels since the last word means. A word equal to the last one, or a jump over
    // a state (both tracks changed), is no step.
    Step Decode(int32_t modemStatus);

    // Every interval 0.1 s, so the first pulses fall in the slowest band.
    void InitTuningSpeedHistory();
    // Records the interval since the previous pulse and sets the VFO's step and grid by
    // the mean of the last five intervals: the faster the knob, the larger the step.
    void AcceleratedTuneStep(double intervalMicroseconds, clsVFO& vfo);
    // The tuning timer's part: one step per pending request, whatever the pulses since.
    void tmrShaft_Timer(clsVFO& vfo);
    bool StepPending() const { return EncoderUpCount > 0 || EncoderDownCount > 0; }

    // Mean (us) of the newest five history entries, as the band choice reads it.
    int32_t meanInterval() const;
    // Divisors of StepBase for TuneStep and TuneStepLSD by mean interval (us).
    struct Divisors {
        int tuneStep;
        int grid;
    };
    static Divisors divisorsFor(int32_t meanMicroseconds);

    int32_t EncoderState = 0;
    int32_t EncoderPrevious = 0;
    int32_t EncoderCode = 0;
    int32_t PulsesPerTurn = 24;
    // 1 kHz in 0.1 Hz: the fastest band steps 1 kHz, the slowest 1 Hz.
    double StepBase = 10000;
    QString LastFormattedFrequency;
    SpeedHistory TuningSpeedHistory{};
    int32_t EncoderUpCount = 0;
    int32_t EncoderDownCount = 0;
};

} // namespace orvik
