#pragma once
// The back-end switch and the thin vector wrappers through which every
// caller reaches either the own vector library or the vendor back-end
// (VOLK kernels and FFTW), plus the general routines kept beside them.
// Every wrapper reads UseSPL afresh at each call and does nothing for a
// count of 0 or less.

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::ORVIK {

// Program-wide: True selects the vendor back-end. Only ever True when
// SPLPresent is True (settings restore and configuration dialog check it).
inline bool UseSPL = false;
// Program-wide: the vendor back-end answered the start-up probe. Stays False
// in a build without the vendor back-end.
inline bool SPLPresent = false;

// Start-up probe: sets SPLPresent, then UseSPL = False.
void INIT();

void VecCopyI16(const int16_t* src, int16_t* dst, int32_t n);
void VecCopyS(const float* src, float* dst, int32_t n);
void VecCopy8(const double* src, double* dst, int32_t n);
void VecZeroI16(int16_t* dst, int32_t n);
void VecZeroS(float* dst, int32_t n);
void VecCartToPolarS(const float* re, const float* im, float* mag, float* phase, int32_t n);
void VecMpy1S(float value, float* dst, int32_t n);
// dst(i) = dst(i) * src(i).
void VecMpy2S(const float* src, float* dst, int32_t n);
// dst(i) = a(i) * b(i).
void VecMpy3S(const float* a, const float* b, float* dst, int32_t n);
// dst(i) = dst(i) + src(i).
void VecAdd2S(const float* src, float* dst, int32_t n);
// The largest magnitude, on both back-ends; 0 for n <= 0.
float VecMaxAbsS(const float* src, int32_t n);
// Forward unscaled complex FFT, not in place. The vendor path plans n once,
// at its first transform of that size unless PrepareVendorFFT did it
// before; a size it cannot plan falls back to the own transform.
void VecFFTS(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n, int32_t order,
             const int32_t* bitReverse, const float* cosine, const float* sine);
// The vendor half of VecFFTS alone: true when the vendor back-end is
// selected and can plan n, and has done the transform.
bool VendorFFTS(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n);
// Plans the vendor FFT of n points once (kept for the whole run), for an
// owner that sizes itself while the vendor back-end is selected. False when
// there is no vendor back-end or n cannot be planned.
bool PrepareVendorFFT(int32_t n);

// ln|x| / 2.30258509299405; 0 for 0, infinities and NaN.
double Log10(double x);
// Identity; kept for the adjuster table.
int32_t FnPtr(int32_t p);
// Current UTC time as "hh:mm:ss".
std::string GetUTCTimeString();

// Text routines. Texts are UTF-8; positions count characters from 1;
// compare 0 is exact, any other value ignores letter case.
std::vector<std::string> SplitStr(const std::string& expression, const std::string& delimiter, int32_t limit,
                                  int32_t compare);
std::string SplitNextToken(std::string& rest, const std::string& delimiter, int32_t compare);
std::string ReverseStr(const std::string& s);
int32_t InStrRevStr(const std::string& s, const std::string& find, int32_t start, int32_t compare);
std::string ReplaceStr(const std::string& expression, const std::string& find, const std::string& replacewith,
                       int32_t start, int32_t count, int32_t compare);

} // namespace orvik::ORVIK
