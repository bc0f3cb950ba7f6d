#pragma once

#include <cstdint>

namespace tarvok {

/// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4).
int64_t RoundHalfEven(double pValue);

/// RoundHalfEven for the per-sample loops, inline and vectorisable: the same result for
/// every |pValue| below 2^51 (far beyond any sample sum), as a double.
inline double NearestEven(double pValue)
{
    // Adding and taking away 1.5 x 2^52 leaves the nearest integer, ties to even, in the
    // round-to-nearest mode the program always runs in.
    constexpr double kShift = 6755399441055744.0;
    return (pValue + kShift) - kShift;
}

/// Rounds half to even and saturates to the 16-bit sample range, never giving -32768;
/// NaN gives 0.
inline int16_t Saturate16(double pValue)
{
    if (!(pValue < 32767.0))
        return pValue != pValue ? int16_t { 0 } : int16_t { 32767 };
    if (pValue <= -32767.0)
        return -32767;
    return static_cast<int16_t>(NearestEven(pValue));
}

/// Clamps an integer to lo..hi.
int32_t Clamp32(int64_t pValue, int32_t pLo, int32_t pHi);

/// 10^(dB/20); -110 dB or less gives 0.
double DbToFactor(double pDb);

/// 20 log10(x); 0 or less gives -110.
double FactorToDb(double pFactor);

} // namespace tarvok
