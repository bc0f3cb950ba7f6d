#include "core/fade_table.h"

#include "base/numeric.h"

#include <cstddef>

namespace tarvok {

int32_t UnityLevelOf(int32_t pType)
{
    if (pType == 1)
        return 207;
    if (pType == 0)
        return 128;
    return -1;
}

namespace {

// Level of fade table type 1 in dB for index i (2..255); indices 0 and 1 are silence.
double GeneralFaderDb(int i)
{
    if (i == 2)
        return -96.0;
    if (i <= 10)
        return -90.0 + 5.0 * (i - 3);
    if (i <= 22)
        return -50.0 + (i - 11) * 5.0 / 6.0;
    if (i <= 42)
        return -40.0 + (i - 23) * 0.5;
    if (i <= 78)
        return -30.0 + (i - 43) * 5.0 / 18.0;
    if (i <= 104)
        return -20.0 + (i - 79) * 5.0 / 26.0;
    if (i <= 142)
        return -15.0 + (i - 105) * 5.0 / 38.0;
    if (i <= 178)
        return -10.0 + (i - 143) * 5.0 / 36.0;
    if (i <= 206)
        return -5.0 + (i - 179) * 5.0 / 28.0;
    if (i <= 230)
        return (i - 207) * 5.0 / 24.0;
    return 5.0 + (i - 231) * 5.0 / 24.0;
}

} // namespace

bool BuildFadeTable(int32_t pType, FadeTable& pTable)
{
    if (pType == 1) {
        pTable[0] = 0.0f;
        pTable[1] = 0.0f;
        for (int i = 2; i < 256; ++i)
            pTable[i] = static_cast<float>(DbToFactor(GeneralFaderDb(i)));
        pTable[207] = 1.0f;
        return true;
    }
    if (pType == 0) {
        pTable[0] = 0.0f;
        for (int i = 1; i < 128; ++i)
            pTable[i] = static_cast<float>(DbToFactor(-60.0 * (128 - i) / 127.0));
        pTable[128] = 1.0f;
        for (int i = 129; i < 256; ++i)
            pTable[i] = static_cast<float>(DbToFactor(12.0 * (i - 128) / 127.0));
        return true;
    }
    return false;
}

double LevelIndexToDb(const FadeTable& pTable, int32_t pIndex)
{
    return FactorToDb(pTable[static_cast<size_t>(Clamp32(pIndex, 0, 255))]);
}

int32_t LevelIndexFromDb(const FadeTable& pTable, double pDb)
{
    constexpr double kToleranceDb = 0.0001;
    for (int32_t i = 255; i > 0; --i) {
        if (LevelIndexToDb(pTable, i) <= pDb + kToleranceDb)
            return i;
    }
    return 0;
}

} // namespace tarvok
