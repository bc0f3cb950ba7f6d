#pragma once

// The kernels of the effects that change pitch or duration, one factory per effect row.

#include "fx/fx_kernel.h"

#include <memory>

namespace tarvok {

std::unique_ptr<FxKernel> MakeOctaveKernel(const FxContext& pContext);
/// Pitch shift and time stretch run through the context's high-quality engine when it asks
/// for it (nullptr then without an engine); time stretch and speed change refuse a ratio P0
/// outside the usable range.
std::unique_ptr<FxKernel> MakePitchShiftKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeTimeStretchKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeSpeedChangeKernel(const FxContext& pContext);

} // namespace tarvok
