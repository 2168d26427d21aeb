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
// that size and kept for the run, with its own aligned arrays: FFTW runs a split plan on other arrays only when
// their real and imaginary parts lie as far apart as at planning, which
// callers' arrays never promise. The copies in and out cost little next to
// the transform.
class VendorFftPlans {
public:
    static constexpr int MaxOrder = 16;

    ~VendorFftPlans()
    {
        for (Slot& slot : m_slots) {
            if (slot.plan)
                fftwf_destroy_plan(slot.plan);
            fftwf_free(slot.data);
        }
    }

    bool execute(int32_t n, const float* reIn, const float* imIn, float* reOut, float* imOut)
    {
        const int order = orderOf(n);
        if (order < 0 || !prepare(n))
            return false;
        Slot& slot = m_slots[order];
        const size_t bytes = static_cast<size_t>(n) * sizeof(float);
        std::memcpy(slot.data, reIn, bytes);
        std::memcpy(slot.data + n, imIn, bytes);
        fftwf_execute(slot.plan);
        std::memcpy(reOut, slot.data + 2 * n, bytes);
        std::memcpy(imOut, slot.data + 3 * n, bytes);
        return true;
    }

    bool prepare(int32_t n)
    {
        const int order = orderOf(n);
        if (order < 0)
            return false;
        Slot& slot = m_slots[order];
        if (slot.tried)
            return slot.plan != nullptr;
        slot.tried = true;
        slot.data = fftwf_alloc_real(4 * static_cast<size_t>(n));
        if (!slot.data)
            return false;
        fftw_iodim dim{n, 1, 1};
        float* d = slot.data;
        slot.plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, d, d + n, d + 2 * n, d + 3 * n,
                                              VendorPlanningFlags() | FFTW_PRESERVE_INPUT);
        if (slot.plan)
            VendorPlanMade();
        return slot.plan != nullptr;
    }

private:
    struct Slot {
        fftwf_plan plan = nullptr;
        bool tried = false;  // a size that cannot be planned is not tried per block
        float* data = nullptr;  // real in, imaginary in, real out, imaginary out
    };

    static int orderOf(int32_t n)
    {
        if (n <= 0 || !std::has_single_bit(static_cast<uint32_t>(n)))
            return -1;
        const int order = std::countr_zero(static_cast<uint32_t>(n));
        return order < MaxOrder ? order : -1;
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
