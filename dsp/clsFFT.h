#pragma once
// Radix-2 complex FFT on split real and imaginary float arrays. FFTInit
// builds the tables once per size; the transforms allocate nothing and run
// on the back-end chosen by ORVIK::UseSPL at each call.

#include "dsp/StockhamFft.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

class clsFFT {
public:
    std::string Name;
    int32_t Index = 0;
    bool IsInitialised = false;
    int32_t Points = 0;
    int32_t Order = 0;

    bool UseSPL() const { return m_UseSPL; }
    // Also sets the program-wide switch (last writer wins).
    void setUseSPL(bool value);

    // Sizes for N = NumPoints, a power of two from 1 to 16384. Any other size
    // is refused: returns false and leaves the object uninitialised.
    bool FFTInit(int32_t NumPoints);
    // Forward, unscaled: X(k) = sum x(n) e^(-2 pi i n k / N). Inputs are not
    // changed; outputs are distinct arrays of at least N entries.
    void FFT_S_2(const float* SamplesI, const float* SamplesQ, float* SamplesIOut, float* SamplesQOut);
    // The radix-2 transform from the bit-reverse and twiddle-step tables,
    // the reference the fast own transform is held to.
    void FFT_S_2_Plain(const float* SamplesI, const float* SamplesQ, float* SamplesIOut, float* SamplesQOut);
    // Inverse, scaled by 1/N. Negates SamplesQ in place (left negated).
    void IFFT_S_2(const float* SamplesI, float* SamplesQ, float* SamplesIOut, float* SamplesQOut);

private:
    bool checkInitialised();
    static int32_t BitReverse(int32_t value, int16_t Bits);

    bool m_UseSPL = false;
    bool m_misuseReported = false;
    std::vector<int32_t> m_bitReverse;
    std::vector<float> m_cosine;
    std::vector<float> m_sine;
    StockhamFft m_fast;
};

} // namespace orvik
