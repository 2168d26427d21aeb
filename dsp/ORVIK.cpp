#include "dsp/ORVIK.h"

#include "dsp/VectorLib.h"
#include "dsp/VendorFft.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
#include <fftw3.h>
#include <volk/volk.h>
#endif

namespace orvik::ORVIK {

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
namespace {

// One FFTW plan per power-of-two size, made at the first vendor transform of
// that size and kept for the run, on four arrays of its own allocated as
// callers' arrays are (malloc and FFTW both align to FFTW's SIMD boundary).
// A caller's arrays with the same alignment, outputs apart from inputs, are
// transformed where they lie; others go through the plan's arrays.
class VendorFftPlans {
public:
    static constexpr int MaxOrder = 16;

    ~VendorFftPlans()
    {
        for (Slot& slot : m_slots) {
            if (slot.plan)
                fftwf_destroy_plan(slot.plan);
            for (float* a : slot.arrays)
                fftwf_free(a);
        }
    }

    bool execute(int32_t n, const float* reIn, const float* imIn, float* reOut, float* imOut)
    {
        const int order = orderOf(n);
        if (order < 0 || !prepare(n))
            return false;
        Slot& slot = m_slots[order];
        if (slot.direct && fitsPlan(slot, n, {reIn, imIn, reOut, imOut})) {
            // A plan made with FFTW_PRESERVE_INPUT leaves the inputs alone.
            fftwf_execute_split_dft(slot.plan, const_cast<float*>(reIn), const_cast<float*>(imIn), reOut, imOut);
            return true;
        }
        const size_t bytes = static_cast<size_t>(n) * sizeof(float);
        std::memcpy(slot.arrays[0], reIn, bytes);
        std::memcpy(slot.arrays[1], imIn, bytes);
        fftwf_execute(slot.plan);
        std::memcpy(reOut, slot.arrays[2], bytes);
        std::memcpy(imOut, slot.arrays[3], bytes);
        return true;
    }

    bool prepare(int32_t n)
    {
        const int order = orderOf(n);
        if (order < 0)
            return false;
        Slot& slot = m_slots[order];
        if (!slot.tried) {
            slot.tried = true;
            plan(slot, n);
        }
        return slot.plan != nullptr;
    }

private:
    struct Slot {
        fftwf_plan plan = nullptr;
        bool tried = false;
        // Real in, imaginary in, real out, imaginary out, with their alignments.
        std::array<float*, 4> arrays{};
        std::array<int, 4> alignments{};
        bool direct = false;  // the plan may run on callers' arrays
    };

    static int orderOf(int32_t n)
    {
        if (n <= 0 || !std::has_single_bit(static_cast<uint32_t>(n)))
            return -1;
        const int order = std::countr_zero(static_cast<uint32_t>(n));
        return order < MaxOrder ? order : -1;
    }

    static void plan(Slot& slot, int32_t n)
    {
        const auto count = static_cast<size_t>(n);
        for (float*& a : slot.arrays) {
            a = fftwf_alloc_real(count);
            if (!a)
                return;
        }
        fftw_iodim dim{n, 1, 1};
        auto& a = slot.arrays;
        slot.plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, a[0], a[1], a[2], a[3],
                                              VendorPlanningFlags() | FFTW_PRESERVE_INPUT);
        if (!slot.plan)
            return;
        VendorPlanMade();
        for (size_t i = 0; i < a.size(); ++i)
            slot.alignments[i] = fftwf_alignment_of(a[i]);
        slot.direct = runsAnywhere(slot, n);
    }

    // FFTW promises new-array execution only where the imaginary parts lie
    // as far from the real ones as at planning, which separately allocated
    // arrays never do; a split plan reads them through their own pointers
    // in practice. That is checked once per plan, on arrays placed
    // differently: only a plan that gives the same bits runs in place.
    static bool runsAnywhere(Slot& slot, int32_t n)
    {
        const auto count = static_cast<size_t>(n);
        float* other = fftwf_alloc_real(5 * count);
        if (!other)
            return false;
        float* re = other + 3 * count;  // the order of the planning arrays reversed
        float* im = other + 2 * count;
        float* reOut = other + count;
        float* imOut = other;
        for (int32_t i = 0; i < n; ++i) {
            slot.arrays[0][i] = re[i] = static_cast<float>((i * 37) % 101) - 50.0f;
            slot.arrays[1][i] = im[i] = static_cast<float>((i * 53) % 89) - 44.0f;
        }
        fftwf_execute(slot.plan);
        bool same = fitsPlan(slot, n, {re, im, reOut, imOut});
        if (same) {
            fftwf_execute_split_dft(slot.plan, re, im, reOut, imOut);
            same = std::memcmp(reOut, slot.arrays[2], count * sizeof(float)) == 0
                   && std::memcmp(imOut, slot.arrays[3], count * sizeof(float)) == 0;
        }
        fftwf_free(other);
        return same;
    }

    // Same alignments as the planning arrays, and no output overlapping an
    // input or the other output (the plan is out of place).
    static bool fitsPlan(const Slot& slot, int32_t n, std::array<const float*, 4> arrays)
    {
        for (size_t i = 0; i < arrays.size(); ++i)
            if (fftwf_alignment_of(const_cast<float*>(arrays[i])) != slot.alignments[i])
                return false;
        const auto apart = [n](const float* a, const float* b) {
            const auto x = reinterpret_cast<uintptr_t>(a);
            const auto y = reinterpret_cast<uintptr_t>(b);
            const auto bytes = static_cast<uintptr_t>(n) * sizeof(float);
            return x + bytes <= y || y + bytes <= x;
        };
        return apart(arrays[2], arrays[0]) && apart(arrays[2], arrays[1]) && apart(arrays[3], arrays[0])
               && apart(arrays[3], arrays[1]) && apart(arrays[2], arrays[3]);
    }

    std::array<Slot, MaxOrder> m_slots{};
};

VendorFftPlans& vendorPlans()
{
    static VendorFftPlans plans;
    return plans;
}

bool vendorProbe()
{
    alignas(32) float a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    alignas(32) float b[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    alignas(32) float c[8] = {};
    volk_32f_x2_add_32f(c, a, b, 8);
    for (int i = 0; i < 8; ++i)
        if (c[i] != a[i] + 1.0f)
            return false;
    return true;
}

} // namespace
#endif

void INIT()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    SPLPresent = vendorProbe();
#else
    SPLPresent = false;
#endif
    UseSPL = false;
}

// A build without the vendor back-end never leaves the own path, whatever
// UseSPL says.
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
static bool vendorSelected()
{
    return UseSPL;
}
#endif

void VecCopyI16(const int16_t* src, int16_t* dst, int32_t n)
{
    if (n > 0)
        std::memmove(dst, src, static_cast<size_t>(n) * sizeof(int16_t));
}

void VecCopyS(const float* src, float* dst, int32_t n)
{
    if (n > 0)
        std::memmove(dst, src, static_cast<size_t>(n) * sizeof(float));
}

void VecCopy8(const double* src, double* dst, int32_t n)
{
    if (n > 0)
        std::memmove(dst, src, static_cast<size_t>(n) * sizeof(double));
}

void VecZeroI16(int16_t* dst, int32_t n)
{
    if (n > 0)
        std::memset(dst, 0, static_cast<size_t>(n) * sizeof(int16_t));
}

void VecZeroS(float* dst, int32_t n)
{
    if (n > 0)
        std::memset(dst, 0, static_cast<size_t>(n) * sizeof(float));
}

void VecCartToPolarS(const float* re, const float* im, float* mag, float* phase, int32_t n)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        // Interleaved through a stack buffer, a chunk at a time: nothing is
        // allocated per call.
        constexpr int32_t chunk = 512;
        alignas(32) lv_32fc_t buffer[chunk];
        for (int32_t done = 0; done < n; done += chunk) {
            const auto count = static_cast<unsigned>(std::min(chunk, n - done));
            volk_32f_x2_interleave_32fc(buffer, re + done, im + done, count);
            volk_32fc_magnitude_32f(mag + done, buffer, count);
            volk_32fc_s32f_atan2_32f(phase + done, buffer, 1.0f, count);
        }
        return;
    }
#endif
    vectorlib::CartToPolar_S_2(re, im, mag, phase, n);
}

void VecMpy1S(float value, float* dst, int32_t n)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        volk_32f_s32f_multiply_32f(dst, dst, value, static_cast<unsigned>(n));
        return;
    }
#endif
    vectorlib::Mpy_S_1(value, dst, n);
}

void VecMpy2S(const float* src, float* dst, int32_t n)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        volk_32f_x2_multiply_32f(dst, dst, src, static_cast<unsigned>(n));
        return;
    }
#endif
    vectorlib::Mpy_S_2(src, dst, n);
}

void VecMpy3S(const float* a, const float* b, float* dst, int32_t n)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        volk_32f_x2_multiply_32f(dst, a, b, static_cast<unsigned>(n));
        return;
    }
#endif
    vectorlib::Mpy_S_3(a, b, dst, n);
}

void VecAdd2S(const float* src, float* dst, int32_t n)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        volk_32f_x2_add_32f(dst, dst, src, static_cast<unsigned>(n));
        return;
    }
#endif
    vectorlib::Add_S_2(src, dst, n);
}

float VecMaxAbsS(const float* src, int32_t n)
{
    if (n <= 0)
        return 0.0f;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        // The largest magnitude is the larger of |max| and |min|.
        uint32_t maxIndex = 0;
        uint32_t minIndex = 0;
        volk_32f_index_max_32u(&maxIndex, src, static_cast<uint32_t>(n));
        volk_32f_index_min_32u(&minIndex, src, static_cast<uint32_t>(n));
        return std::max(std::fabs(src[maxIndex]), std::fabs(src[minIndex]));
    }
#endif
    return vectorlib::MaxValueAbs_S(src, n);
}

void VecFFTS(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n, int32_t order,
             const int32_t* bitReverse, const float* cosine, const float* sine)
{
    if (n <= 0)
        return;
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (vendorSelected()) {
        if (vendorPlans().execute(n, reIn, imIn, reOut, imOut))
            return;
    }
#endif
    vectorlib::FFT_S_2(reIn, imIn, reOut, imOut, n, order, bitReverse, cosine, sine);
}

bool VendorFFTS(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n)
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (n > 0 && vendorSelected())
        return vendorPlans().execute(n, reIn, imIn, reOut, imOut);
#else
    (void)reIn, (void)imIn, (void)reOut, (void)imOut, (void)n;
#endif
    return false;
}

bool PrepareVendorFFT(int32_t n)
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    return vendorPlans().prepare(n);
#else
    (void)n;
    return false;
#endif
}

double Log10(double x)
{
    if (x == 0.0 || !std::isfinite(x))
        return 0.0;
    return std::log(std::fabs(x)) / 2.30258509299405;
}

int32_t FnPtr(int32_t p)
{
    return p;
}

std::string GetUTCTimeString()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace orvik::ORVIK
