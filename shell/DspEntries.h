#pragma once

// The library entries the main window and the spectrum display call directly.
// Arrays are passed as their first element and a count; a count of 0 or less
// touches nothing.

#include <cstdint>
#include <functional>

namespace orvik {

// Runs a stored parameterless procedure once; an empty one runs nothing.
inline void CallBack(const std::function<void()>& procedure)
{
    if (procedure)
        procedure();
}

void SetMemory_S(float* destination, int32_t count, float value);
float Sum_S_1(const float* source, int32_t count);
int32_t Sum_Int16_1(const int16_t* source, int32_t count);
// The sum as a 32-bit float, as the callers expect (exact up to 2^24).
float Sum_Int32_1(const int32_t* source, int32_t count);
void Int16ToFloat_S_2(const int16_t* source, float* destination, int32_t count);
void PowerSpectrum_S_2(const float* re, const float* im, float* destination, int32_t count);
void Add_S_1(float value, float* destination, int32_t count);
// Position of the first of the largest elements; 0 for an empty vector.
int32_t MaxIndex_S(const float* source, int32_t count);

} // namespace orvik
