#pragma once

// The kernels of the effects that delay or modulate the signal, one factory per effect row.

#include "fx/fx_kernel.h"

#include <memory>

namespace tarvok {

std::unique_ptr<FxKernel> MakeDelayKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeStereoDelayKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeEchoKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeReverbKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeFlangerKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakePhaserKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeChorusKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeAutopanKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeTremoloKernel(const FxContext& pContext);
std::unique_ptr<FxKernel> MakeVibratoKernel(const FxContext& pContext);

} // namespace tarvok
