#include "shell/DspEntries.h"

namespace orvik {

void SetMemory_S(float* destination, int32_t count, float value)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] = value;
}

float Sum_S_1(const float* source, int32_t count)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < count; ++i)
        sum += source[i];
    return sum;
}

int32_t Sum_Int16_1(const int16_t* source, int32_t count)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i)
        sum += source[i];
    return static_cast<int32_t>(sum);
}

float Sum_Int32_1(const int32_t* source, int32_t count)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i)
        sum += source[i];
    return static_cast<float>(sum);
}

void Int16ToFloat_S_2(const int16_t* source, float* destination, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] = static_cast<float>(source[i]);
}

void PowerSpectrum_S_2(const float* re, const float* im, float* destination, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] = re[i] * re[i] + im[i] * im[i];
}

void Add_S_1(float value, float* destination, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] += value;
}

int32_t MaxIndex_S(const float* source, int32_t count)
{
    int32_t best = 0;
    for (int32_t i = 1; i < count; ++i)
        if (source[i] > source[best])
            best = i;
    return best;
}

} // namespace orvik
