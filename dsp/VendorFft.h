#pragma once
// The vendor back-end's FFTW plans: how they are made (estimated, or
// measured with the wisdom kept in a file so that later starts plan at
// once), and the real transform pair the filters run on. In a build
// without the vendor back-end nothing here plans and every pass reports
// itself unusable, so callers keep to the own back-end.

#include <cstdint>
#include <functional>
#include <string>

namespace orvik::ORVIK {

// Measured plans are a few per cent faster per block but take a while to
// make; the wisdom file makes that a first-use cost only. Nothing is read or
// planned here: the wisdom is read just before the first plan, so a program
// that never selects the vendor back-end never touches FFTW. Only a regular
// file of a few MB at most is read, and it is replaced whole when written; a
// missing or unusable one means planning again, reported in one line through
// log (stderr when empty), and one that is not a regular file (a FIFO, a link
// to a device) is left alone. Plans made before this call keep their rigour.
void ConfigureVendorPlanning(bool measure, const std::string& wisdomFile,
                             std::function<void(const std::string&)> log = {});
bool VendorPlansMeasured();
// Planning flags for a new plan (FFTW_MEASURE or FFTW_ESTIMATE); the first
// call reads the wisdom file.
unsigned VendorPlanningFlags();
// The hook after a plan was made: counts it and stores the wisdom.
void VendorPlanMade();
// How many vendor plans this process has made (a real forward and inverse
// pair counts once).
int64_t VendorPlanCount();

// One real FFT pair of a segment size: forward r2c from input() into
// spectrum(), inverse c2r from spectrum() into output(), unscaled. The
// buffers belong to the pass and are aligned for FFTW; the plans are shared
// by every pass of the same size. Nothing is allocated per transform.
//
// An owner that runs on the own back-end for now sizes the pass with
// initLater: plans and buffers are then made by the first ready(), when the
// vendor back-end is first used.
class VendorRealPass {
public:
    VendorRealPass() = default;
    ~VendorRealPass();
    VendorRealPass(const VendorRealPass&) = delete;
    VendorRealPass& operator=(const VendorRealPass&) = delete;

    // False (and unusable) without the vendor back-end or for a size FFTW
    // cannot plan. input() starts all zero.
    bool init(int32_t segment);
    // Drops what the pass had and keeps the size for ready().
    void initLater(int32_t segment);
    // usable(), after the init that initLater put off (tried once: a size
    // that cannot be planned stays unusable).
    bool ready()
    {
        if (pending_ > 0)
            init(pending_);
        return usable();
    }
    bool usable() const { return segment_ > 0; }
    int32_t segment() const { return segment_; }
    float* input() { return input_; }
    // segment/2 + 1 complex bins, real and imaginary interleaved.
    float* spectrum() { return spectrum_; }
    float* output() { return output_; }
    void forward();
    // Destroys spectrum().
    void inverse();

private:
    void release();

    int32_t segment_ = 0;
    int32_t pending_ = 0;
    float* input_ = nullptr;
    float* spectrum_ = nullptr;
    float* output_ = nullptr;
    void* forwardPlan_ = nullptr;  // owned by the shared plan table
    void* inversePlan_ = nullptr;
};

} // namespace orvik::ORVIK
