#include "engine/clock_drift.h"

#include "base/numeric.h"
#include "core/project.h"

namespace tarvok {

int32_t ClockDriftFilter::Update(
    uint32_t pInputBytes, uint32_t pOutputBytes, int32_t pStartOffset, int32_t pRate)
{
    if (static_cast<int64_t>(pOutputBytes) / kFrameBytes <= 2 * static_cast<int64_t>(pRate))
        return 0;
    const double diff
        = (static_cast<double>(pInputBytes) - static_cast<double>(pOutputBytes)) / kFrameBytes
        - pStartOffset;
    const int64_t u = RoundHalfEven(diff);
    int64_t sum = u;
    for (int32_t i = 0; i < 16; ++i)
        sum += History[i];
    // Seventeen values over eighteen: the correction slightly under-shoots on purpose.
    const int32_t drift = static_cast<int32_t>(RoundHalfEven(static_cast<double>(sum) / 18.0));
    for (int32_t i = 0; i < 16; ++i)
        History[i] = History[i + 1];
    History[16] = static_cast<int32_t>(u);
    return drift;
}

} // namespace tarvok
