#pragma once
// Real FFT of N samples through one N/2-point complex transform (even
// samples as the real part, odd ones as the imaginary part) and a final
// split stage; the inverse runs the same forward transform.

#include "dsp/clsFFT.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

class clsFFTReal {
public:
    std::string Name;
    int32_t Index = 0;
    bool IsInitialised = false;
    int32_t Points = 0;
    int32_t Order = 0;

    bool UseSPL() const { return m_UseSPL; }
    void setUseSPL(bool value);

    // N a power of two from 2 to 32768; any other size is refused.
    bool FFTInit(int32_t NumPoints);
    // Reads bins 0..N/2 of both inputs, overwrites both inputs (bins above
    // N/2 become conjugates, SamplesIin becomes SamplesIin + SamplesQin) and
    // writes the N real samples, scaled by 1/N, into SamplesIOut.
    void IFFT_Real_S_2(float* SamplesIin, float* SamplesQin, float* SamplesIOut);
    // Forward, unscaled, full N-bin spectrum of SamplesIn(0..N-1); output
    // arrays hold N entries. SamplesIn is not changed.
    void FFT_Real_S_2(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut);
    // The same transform with the final stage's twiddle advanced by
    // recurrence rather than read from tables.
    void FFT_Real_S_2_Plain(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut);

private:
    bool checkInitialised();

    bool m_UseSPL = false;
    bool m_misuseReported = false;
    clsFFT m_inner;
    std::vector<float> m_even;
    std::vector<float> m_odd;
    std::vector<float> m_scratch;
    std::vector<float> m_twiddleCos;  // final butterfly, N/2 entries
    std::vector<float> m_twiddleSin;
};

} // namespace orvik
