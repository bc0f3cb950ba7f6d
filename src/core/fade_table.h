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

} // namespace tarvok
