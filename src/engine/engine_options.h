#pragma once

#include "engine/wave_device.h"

#include <array>
#include <cstdint>

namespace tarvok {

/// The settings the audio engine reads while it runs: device slots, trims and how hard the
/// user-interface thread may work. The application keeps them current; the engine only
/// reads them, so a change in the settings window takes effect at the next run.
struct EngineOptions {
    /// The device of each slot as an ID of today's list (-1: the slot is unused). A slot
    /// whose device is remembered in DevInRef / DevOutRef has its ID found again by
    /// BindDeviceSlots before a run; the stored ID is then only a hint between devices of
    /// the same name.
    std::array<int32_t, 8> DevInID {};
    std::array<int32_t, 8> DevOutID {};
    std::array<WaveDeviceRef, 8> DevInRef {};
    std::array<WaveDeviceRef, 8> DevOutRef {};
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
