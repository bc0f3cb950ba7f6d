#pragma once

#include <array>
#include <cstdint>

namespace tarvok {

/// The settings the audio engine reads while it runs: device slots, trims and how hard the
/// user-interface thread may work. The application keeps them current; the engine only
/// reads them, so a change in the settings window takes effect at the next run.
struct EngineOptions {
    std::array<int32_t, 8> DevInID {};
    std::array<int32_t, 8> DevOutID {};
    std::array<float, 8> LevelLdb {};
    std::array<float, 8> LevelRdb {};
    float PlayTrimDB = 0.0f;
    float RecTrimDB = 0.0f;
    int32_t MaxPow = 1; ///< 1: yield to the window system while filling buffers
    int32_t UseAdjustClock = 1;
};

} // namespace tarvok
