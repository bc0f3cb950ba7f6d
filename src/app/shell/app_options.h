#pragma once

#include "engine/engine_options.h"

#include <cstdint>
#include <string>

namespace tarvok {

class Settings;

/// Options the main window reads at start-up and writes back at exit.
struct AppOptions : EngineOptions {
    int32_t LogError = 0;
    int32_t ErrorCatch = 0;
    int32_t WaveColor = 13388306;
    int32_t WaveColorLocked = 8485241;
    std::string SizeRate = "1.0";
    std::string Language = "auto"; ///< "auto" (the locale decides), "ja" or "en"
    int32_t DrawWFP = 0;
    int32_t WFMono = 0;
    int32_t LevelMargin = 0;
    int32_t ShowRMS = 1;
    int32_t ShowMasterVU = 1;
    int32_t ShowMasterMeter = 0;
    int32_t RMSP3 = 0;
    float VULevelTrim = -23.0f;
    int32_t ShiftToDrag = 0;
    int32_t UndoAll = 1;
    int32_t ShowToolBar = 0;
    int32_t ScrollMode = 0;
    int32_t ZoomMode = 0;
    int32_t ShowRecMon = 0;
    int32_t ShowMRU = 1;
    int32_t DelOnEnd = 1;
    int32_t HideMark = 0;
    std::string MixerApp;
    int32_t LangMode = 0;
};

/// Reads the options from the settings; a missing or unreadable key keeps the value in
/// pOptions. The trims are limited to -40..40 dB, LevelMargin and VULevelTrim to 0 or less.
void ReadAppOptions(const Settings& pSettings, AppOptions& pOptions);

/// Writes the options that exit stores (the device slots, trims and display choices; the
/// others are only ever changed in the settings file).
void SaveAppOptions(Settings& pSettings, const AppOptions& pOptions);

} // namespace tarvok
