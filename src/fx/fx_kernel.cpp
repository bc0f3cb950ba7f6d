#include "fx/fx_kernel.h"

#include "base/numeric.h"
#include "fx/fx_table.h"

#include <algorithm>
#include <cstring>

namespace tarvok {

int64_t FxContext::I(size_t pIndex) const { return RoundHalfEven(P(pIndex)); }

InputHistory::InputHistory(int64_t pFrames)
    : frames_(std::max<int64_t>(pFrames, 0))
    , buf_(static_cast<size_t>(frames_ * 2), 0)
{
}

void InputHistory::Push(const int16_t* pFrames, int64_t pCount)
{
    if (frames_ == 0 || pCount <= 0)
        return;
    if (pCount >= frames_) {
        std::memcpy(buf_.data(), pFrames + (pCount - frames_) * 2,
            static_cast<size_t>(frames_) * 2 * sizeof(int16_t));
        return;
    }
    const auto keep = static_cast<size_t>((frames_ - pCount) * 2);
    std::memmove(buf_.data(), buf_.data() + pCount * 2, keep * sizeof(int16_t));
    std::memcpy(buf_.data() + keep, pFrames, static_cast<size_t>(pCount) * 2 * sizeof(int16_t));
}

CrossfadeCurves BuildCrossfade(int32_t pPoints, bool pLinearOnly)
{
    CrossfadeCurves c;
    const int32_t x = std::max(pPoints, 1);
    const auto n = static_cast<size_t>(x);
    c.LinearOut.resize(n);
    c.CubicOut.resize(n);
    c.LinearIn.resize(n);
    c.CubicIn.resize(n);
    const double xd = x;
    for (int32_t i = 1; i <= x; ++i) {
        const auto k = static_cast<size_t>(i - 1);
        const double a = i / xd;
        const double b = (x - i) / xd;
        c.LinearOut[k] = b;
        c.CubicOut[k] = 1.0 - a * a * a;
        c.LinearIn[k] = a;
        c.CubicIn[k] = 1.0 - b * b * b;
    }
    if (pLinearOnly) {
        c.WeightLinear = 1.0;
        c.WeightCubic = 0.0;
    }
    return c;
}

std::unique_ptr<FxKernel> MakeFxKernel(int32_t pId, const FxContext& pContext)
{
    const FxInfo* info = FindEffect(pId);
    if (!info || !info->Make)
        return nullptr;
    return info->Make(pContext);
}

} // namespace tarvok
