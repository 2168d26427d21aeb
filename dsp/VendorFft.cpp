#include "dsp/VendorFft.h"

#include "platform/files/RegularFile.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
#include <fftw3.h>
#endif

namespace orvik::ORVIK {

namespace {

struct Planning {
    bool measure = false;
    bool wisdomRead = false;
    // Cleared when the file was refused or could not be written: it is then
    // left alone, and reported once.
    bool keepWisdom = true;
    std::string wisdomFile;
    std::function<void(const std::string&)> log;
    int64_t plans = 0;
};

Planning& planning()
{
    static Planning p;
    return p;
}

void logLine(const std::string& text)
{
    const Planning& p = planning();
    if (p.log)
        p.log(text);
    else
        std::fprintf(stderr, "ORVIKSDR: %s\n", text.c_str());
}

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
// The wisdom of every size the program plans takes a few kB; a file far larger
// is not one we wrote.
constexpr int64_t WisdomFileLimit = 4 << 20;

// Only a regular file is read (a FIFO or a device could hold the start up for
// ever), and only up to the limit.
void readWisdom(Planning& p)
{
    p.wisdomRead = true;
    std::vector<char> text;
    std::string why;
    switch (readRegularFile(p.wisdomFile, WisdomFileLimit, text, why)) {
    case ReadResult::Missing:
        logLine("no FFT wisdom in " + p.wisdomFile + " yet: the vendor transforms are planned afresh");
        return;
    case ReadResult::Refused:
        p.keepWisdom = false;
        logLine("no usable FFT wisdom in " + p.wisdomFile + ": " + why
                + "; the vendor transforms are planned afresh and the file is left as it is");
        return;
    case ReadResult::Read:
        text.push_back('\0');
        if (!fftwf_import_wisdom_from_string(text.data()))
            logLine("no usable FFT wisdom in " + p.wisdomFile
                    + ": it cannot be read as wisdom; the vendor transforms are planned afresh");
        return;
    }
}

// Replaced as a whole, like the settings, so a start cut short never leaves
// half a file, and nothing but a regular file is ever written.
void keepWisdom(Planning& p)
{
    if (!p.wisdomRead)
        readWisdom(p);
    if (!p.keepWisdom)
        return;
    char* text = fftwf_export_wisdom_to_string();
    if (!text)
        return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(p.wisdomFile).parent_path(), ignored);
    std::string why;
    const bool kept = replaceRegularFile(p.wisdomFile, text, std::strlen(text), why);
    std::free(text);
    if (!kept) {
        p.keepWisdom = false;
        logLine("could not keep the FFT wisdom in " + p.wisdomFile + ": " + why);
    }
}
#endif

} // namespace

void ConfigureVendorPlanning(bool measure, const std::string& wisdomFile, std::function<void(const std::string&)> log)
{
    Planning& p = planning();
    p.measure = measure;
    p.wisdomFile = wisdomFile;
    p.log = std::move(log);
    p.wisdomRead = false;
    p.keepWisdom = true;
}

bool VendorPlansMeasured()
{
    return planning().measure;
}

unsigned VendorPlanningFlags()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    Planning& p = planning();
    if (p.measure && !p.wisdomRead && !p.wisdomFile.empty())
        readWisdom(p);
    return p.measure ? FFTW_MEASURE : FFTW_ESTIMATE;
#else
    return 0;
#endif
}

void VendorPlanMade()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    Planning& p = planning();
    ++p.plans;
    if (p.measure && !p.wisdomFile.empty())
        keepWisdom(p);
#endif
}

int64_t VendorPlanCount()
{
    return planning().plans;
}

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
namespace {

// r2c and c2r plans per power-of-two size, made once on their own arrays and
// run on each pass's arrays (all FFTW-allocated, so equally aligned).
class RealPlans {
public:
    static constexpr int MaxOrder = 20;

    ~RealPlans()
    {
        for (Slot& s : slots_) {
            if (s.forward)
                fftwf_destroy_plan(s.forward);
            if (s.inverse)
                fftwf_destroy_plan(s.inverse);
        }
    }

    bool get(int32_t n, fftwf_plan& forward, fftwf_plan& inverse)
    {
        if (n < 2 || !std::has_single_bit(static_cast<uint32_t>(n)))
            return false;
        const int order = std::countr_zero(static_cast<uint32_t>(n));
        if (order >= MaxOrder)
            return false;
        Slot& s = slots_[order];
        if (!s.forward) {
            float* real = fftwf_alloc_real(static_cast<size_t>(n));
            fftwf_complex* spectrum = fftwf_alloc_complex(static_cast<size_t>(n) / 2 + 1);
            if (real && spectrum) {
                const unsigned flags = VendorPlanningFlags();
                s.forward = fftwf_plan_dft_r2c_1d(n, real, spectrum, flags | FFTW_PRESERVE_INPUT);
                s.inverse = fftwf_plan_dft_c2r_1d(n, spectrum, real, flags | FFTW_DESTROY_INPUT);
                if (s.forward && s.inverse)
                    VendorPlanMade();
            }
            fftwf_free(real);
            fftwf_free(spectrum);
        }
        forward = s.forward;
        inverse = s.inverse;
        return forward && inverse;
    }

private:
    struct Slot {
        fftwf_plan forward = nullptr;
        fftwf_plan inverse = nullptr;
    };
    std::array<Slot, MaxOrder> slots_{};
};

RealPlans& realPlans()
{
    static RealPlans plans;
    return plans;
}

} // namespace
#endif

VendorRealPass::~VendorRealPass()
{
    release();
}

void VendorRealPass::release()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    fftwf_free(input_);
    fftwf_free(spectrum_);
    fftwf_free(output_);
#endif
    input_ = spectrum_ = output_ = nullptr;
    forwardPlan_ = inversePlan_ = nullptr;
    segment_ = 0;
    pending_ = 0;
}

void VendorRealPass::initLater(int32_t segment)
{
    release();
    pending_ = segment;
}

bool VendorRealPass::init(int32_t segment)
{
    release();
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
    if (!realPlans().get(segment, forward, inverse))
        return false;
    const auto n = static_cast<size_t>(segment);
    input_ = fftwf_alloc_real(n);
    output_ = fftwf_alloc_real(n);
    spectrum_ = fftwf_alloc_real(n + 2);
    if (!input_ || !output_ || !spectrum_) {
        release();
        return false;
    }
    std::memset(input_, 0, n * sizeof(float));
    std::memset(output_, 0, n * sizeof(float));
    std::memset(spectrum_, 0, (n + 2) * sizeof(float));
    forwardPlan_ = forward;
    inversePlan_ = inverse;
    segment_ = segment;
    return true;
#else
    (void)segment;
    return false;
#endif
}

void VendorRealPass::forward()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (segment_ > 0)
        fftwf_execute_dft_r2c(static_cast<fftwf_plan>(forwardPlan_), input_,
                              reinterpret_cast<fftwf_complex*>(spectrum_));
#endif
}

void VendorRealPass::inverse()
{
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    if (segment_ > 0)
        fftwf_execute_dft_c2r(static_cast<fftwf_plan>(inversePlan_), reinterpret_cast<fftwf_complex*>(spectrum_),
                              output_);
#endif
}

} // namespace orvik::ORVIK
