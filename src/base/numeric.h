#pragma once

#include <cstdint>

namespace tarvok {

/// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4).
int64_t RoundHalfEven(double pValue);

/// Rounds half to even and saturates to the 16-bit sample range, never giving -32768.
int16_t Saturate16(double pValue);

/// Clamps an integer to lo..hi.
int32_t Clamp32(int64_t pValue, int32_t pLo, int32_t pHi);

/// 10^(dB/20); -110 dB or less gives 0.
double DbToFactor(double pDb);

/// 20 log10(x); 0 or less gives -110.
double FactorToDb(double pFactor);

} // namespace tarvok
