#pragma once

// The kernels of the simple per-frame effects, one factory per effect row.

#include "fx/fx_kernel.h"

#include <memory>

namespace tarvok {

/// Sine wave: P0 the level in dB, P1 the frequency in Hz; the input is ignored.
std::unique_ptr<FxKernel> MakeSineKernel(const FxContext& pContext);
/// Normalise and amplify: P0 and P1 the gains of the left and right channel in dB.
std::unique_ptr<FxKernel> MakeGainKernel(const FxContext& pContext);
/// Phase invert: P0 1 the left channel, 2 the right, 3 both.
std::unique_ptr<FxKernel> MakePhaseInvertKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeMixLrKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeExchangeLrKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeLeftToRightKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeRightToLeftKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeStereoEnhanceKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeCentreRemovalKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeCentreExtractionKernel(const FxContext& pContext);

} // namespace tarvok
