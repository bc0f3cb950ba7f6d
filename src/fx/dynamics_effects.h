#pragma once

// The kernels of the effects that shape the level or the waveform, one factory per effect
// row.

#include "fx/fx_kernel.h"

#include <memory>

namespace tarvok {

std::unique_ptr<FxKernel> MakeDistortionKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeOverdriveKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeLimiterKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeCompressorKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeMaximizeKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeGateKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeEnhancerKernel(const FxContext& pContext);

} // namespace tarvok
