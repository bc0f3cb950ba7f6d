#pragma once

// The kernels of the effects that change the spectrum, one factory per effect row, and the
// filter designs of the band pass, the low and high pass and the equalisers' peaking bands.

#include "fx/fx_kernel.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace tarvok {

std::unique_ptr<FxKernel> MakeBandPassKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeLowPassKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeHighPassKernel(const FxContext& pContext);
/// The graphic and the parametric equaliser: the context's bands, P0 the level in dB.
std::unique_ptr<FxKernel> MakeEqualiserKernel(const FxContext& pContext);

/// The band pass from 帯域 w (1..100), レベル and 原音: the poles c0, c1 of the two one-pole
/// low passes (single precision), their input weights c2 = 1 - c0 and c3 = 1 - c1, the level
/// factor レベル x k(w) and the dry share 原音 / 100.
struct BandPassDesign {
    double C0 = 0, C1 = 0, C2 = 0, C3 = 0, Level = 0, Dry = 0;
};
BandPassDesign DesignBandPass(int64_t pWidth, int64_t pLevel, int64_t pDry);

/// The second-order Butterworth low pass: f = B0 x[n] + B1 x[n-1] + B2 x[n-2] + A1 f[n-1] +
/// A2 f[n-2]. The cut-off is kept from 1 Hz to 0.49 x the rate (at half the rate and above the
/// filter is unstable).
struct ButterworthCoefficients {
    double B0 = 0, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
};
ButterworthCoefficients DesignButterworth(double pCutOff, int32_t pSampleRate);

/// One peaking band: out = B0 in[i] + B1 in[i-1] + B2 in[i-2] - A1 out[i-1] - A2 out[i-2],
/// with exactly the band's gain at its frequency.
struct EqCoefficients {
    float B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
};
/// The band's coefficients, or nothing for a band the equaliser skips: a gain of 0 dB, or a
/// frequency not above 0 or not below half the rate.
std::optional<EqCoefficients> DesignPeakingBand(const EqBand& pBand, int32_t pSampleRate);

} // namespace tarvok
