#pragma once

#include <array>
#include <cstdint>

namespace tarvok {

/// 256 linear gains indexed by a level index (track faders, master fader, envelope bytes).
using FadeTable = std::array<float, 256>;

/// The index whose gain is exactly 1.0: 207 for type 1, 128 for type 0; -1 for other types.
int32_t UnityLevelOf(int32_t pType);

/// Fills the table for fade table type 0 (centre zero) or 1 (general fader). Any other
/// type leaves the table as it was and returns false.
bool BuildFadeTable(int32_t pType, FadeTable& pTable);

/// The level of index pIndex in dB: 20 log10 of its gain, -110 for a gain of 0. An index
/// outside 0..255 is clamped.
double LevelIndexToDb(const FadeTable& pTable, int32_t pIndex);

/// The highest index whose level in dB is not above pDb, so that a typed level never comes
/// out louder than asked; 0 when even index 0 is above it. Levels within 0.0001 dB of pDb
/// count as equal, so that the table's single-precision gains do not turn a typed "-5" into
/// the index below -5 dB.
int32_t LevelIndexFromDb(const FadeTable& pTable, double pDb);

} // namespace tarvok
