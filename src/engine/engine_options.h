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
    int32_t WFMode = 0; ///< peak bytes: 0 linear, 1 dB-coded
    // Voice-activated recording: start above a level, stop after a run of quiet input.
    int32_t UseMuonStart = 0;
    int32_t UseMuonStop = 0;
    float MuonStartLevelDB = -40.0f;
    float MuonStopLevelDB = -40.0f;
    int32_t MuonStopLengthMS = 3000;
};

} // namespace tarvok
