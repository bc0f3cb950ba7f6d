#include "base/numeric.h"

#include <cmath>

namespace tarvok {

int64_t RoundHalfEven(double pValue)
{
    if (std::isnan(pValue))
        return 0;
    // nearbyint uses the current rounding mode, which is round-to-nearest-even unless
    // someone changed it; doing it by hand keeps the result independent of that.
    double floorValue = std::floor(pValue);
    double diff = pValue - floorValue;
    double result = floorValue;
    if (diff > 0.5)
        result = floorValue + 1.0;
    else if (diff == 0.5)
        result = std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
    if (result >= 9.2e18)
        return INT64_MAX;
    if (result <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(result);
}

int32_t Clamp32(int64_t pValue, int32_t pLo, int32_t pHi)
{
    if (pValue < pLo)
        return pLo;
    if (pValue > pHi)
        return pHi;
    return static_cast<int32_t>(pValue);
}

double DbToFactor(double pDb)
{
    if (pDb <= -110.0)
        return 0.0;
    return std::pow(10.0, pDb / 20.0);
}

double FactorToDb(double pFactor)
{
    if (!(pFactor > 0.0))
        return -110.0;
    return 20.0 * std::log10(pFactor);
}

} // namespace tarvok
