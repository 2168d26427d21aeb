#pragma once
// The own back-end's fast complex FFT: forward, unscaled, on split real and
// imaginary arrays, radix 4 (one radix-2 stage for odd orders) in the
// self-sorting Stockham order, so no bit reversal pass, with every twiddle
// computed once in double precision. Each stage's inner loop runs over
// contiguous samples with one twiddle, which the compiler turns into vector
// code on any target. init allocates; forward allocates nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvik {

class StockhamFft {
public:
    // n a power of two from 1 to 2^20; false (and unusable) otherwise.
    bool init(int32_t n);
    int32_t size() const { return n_; }
    // Inputs are not changed; outputs are distinct from the inputs.
    void forward(const float* reIn, const float* imIn, float* reOut, float* imOut);

private:
    struct Stage {
        int32_t radix;
        int32_t length;   // the sub-transform length this stage splits
        int32_t stride;   // number of interleaved sub-transforms
        size_t twiddles;  // first entry of this stage's twiddles
    };

    int32_t n_ = 0;
    std::vector<Stage> stages_;
    std::vector<float> twiddleRe_;
    std::vector<float> twiddleIm_;
    std::vector<float> workRe_;
    std::vector<float> workIm_;
};

} // namespace orvik
