#pragma once
// FIR Hilbert transformer (90-degree phase shifter) with a matching pure
// delay: sTransform and sDelaySamples applied to the same blocks give an
// in-phase and quadrature pair, both lagging the input by Delay samples.

#include <array>
#include <cstdint>
#include <vector>

namespace orvik {

class clHilbert {
public:
    double Gain = 0.0;    // after Load: 1 / the design's response at FS/4
    int32_t Delay = 0;    // centre delay in samples, Nzeros / 2
    int32_t Nzeros = 0;   // number of taps
    float sGain = 0.0f;   // Gain as applied by sTransform

    // Copy Taps coefficients from or to element 0.
    void GetCoefs(double* Coefficients, int32_t Taps) const;
    void sGetCoefs(float* Coefficients, int32_t Taps) const;
    void sSetCoefs(const float* Coefficients, int32_t Taps);
    void dSetCoefs(const double* Coefficients, int32_t Taps);  // leaves the 32-bit taps alone
    // Designs Taps taps (4 to 8194) for blocks of up to NumSamples. Refused
    // (false, nothing changed) outside those limits.
    bool Load(int32_t Taps, int32_t NumSamples);
    // Delay blocks by Delay samples; each keeps its own saved tail.
    void DelaySamples(const double* SamplesIn, double* SamplesOut, int32_t NumSamples);
    void sDelaySamples(const float* SamplesIn, float* SamplesOut, int32_t NumSamples);
    // Filters one block; history carries over to the next. In and Out are
    // distinct. Blocks longer than the loaded size are taken in pieces.
    void sTransform(const float* SamplesIn, float* SamplesOut, int32_t NumSamples);
    // Writes the Points-tap design into HCoeffs (indexes 1..2 Mid - 1 only)
    // and the response magnitude at a quarter of the sample rate into Gain.
    static void CalcCoefficients(int32_t Points, double* HCoeffs, double& Gain);
    // Forgets the history and the saved delay tails, so the next block starts from silence.
    void ClearHistory();

private:
    static constexpr int32_t SavedTailSize = 4097;

    // Half the designed taps are zero; the block filter runs over the rest.
    void collectTaps();

    std::vector<double> m_coefsD;
    std::vector<float> m_coefsS;
    std::vector<float> m_delayLine;
    std::vector<int32_t> m_tapOffsets;
    std::vector<float> m_tapValues;
    int32_t m_blockCapacity = 0;
    std::array<float, SavedTailSize> m_savedS{};
    std::array<double, SavedTailSize> m_savedD{};
};

} // namespace orvik
