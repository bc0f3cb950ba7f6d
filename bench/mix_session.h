#pragma once

// The project both mix benchmarks play or render: 64 tracks of overlapping blocks with
// block levels, track levels and envelopes that change in every envelope frame, in a
// started main-window logic with its own temporary home.

#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project.h"
#include "core/settings.h"
#include "core/wave_info.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tarvok::bench {

struct Session {
    std::string Folder;
    MemorySettingsBackend Backend;
    Settings Store { Backend };
    HeadlessUi Ui;
    std::unique_ptr<MainLogic> Logic;

    Session()
    {
        char pattern[] = "/tmp/tarvok-bench-XXXXXX";
        Folder = std::string(::mkdtemp(pattern)) + "/";
        for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME" }) {
            std::filesystem::create_directories(Folder + name);
            ::setenv(name, (Folder + name).c_str(), 1);
        }
        Backend.WriteValue(kMainSection, "TrackNum", "64");
        Logic = std::make_unique<MainLogic>(Store, Ui);
        Logic->SetDataFolderOverride(Folder + "data");
        Logic->Startup("");
        Project& p = Logic->Proj();
        constexpr int32_t kWaves = 16;
        constexpr int32_t kFrames = 44100 * 30;
        std::vector<int16_t> samples(static_cast<size_t>(kFrames) * 2);
        for (int32_t w = 0; w < kWaves; ++w) {
            for (int32_t f = 0; f < kFrames; ++f) {
                samples[2 * f] = static_cast<int16_t>(3000 * std::sin(0.01 * f * (w + 1)));
                samples[2 * f + 1] = static_cast<int16_t>(3000 * std::cos(0.013 * f * (w + 1)));
            }
            const std::string path = Folder + "w" + std::to_string(w) + ".wav";
            auto file = WriteWaveHeader(
                44100, 16, 2, path, static_cast<int64_t>(samples.size()) * 2, true);
            static_cast<void>(
                WriteAt(*file, samples.data(), static_cast<int64_t>(samples.size()) * 2, -1));
            file->Close();
            p.AddWaveFile(path);
        }
        // Per track a long block and a shorter one over it, both with levels.
        for (int32_t t = 0; t < 64; ++t) {
            for (int32_t k = 0; k < 2; ++k) {
                p.AddBlock();
                Block& b = p.Blocks.back();
                b.TrackNo = t;
                b.WaveNo = (t + k * 7) % kWaves;
                b.StartAdr = k == 0 ? 0 : 44100 * (1 + t % 5);
                b.SrcStart = 1 + t * 100;
                b.SrcEnd = b.SrcStart + (k == 0 ? 44100 * 25 : 44100 * 10);
                b.LevelL = -1.5f - t % 3;
                b.LevelR = 0.5f;
                p.NormalizeBlock(p.BlockCount() - 1);
            }
        }
        p.UpdateTitleLength(false);
        for (int32_t t = 0; t < 64; ++t) {
            TrackEnvelope& e = p.Envelopes[t];
            for (size_t k = 0; k + 1 < e.size(); k += 2) {
                e[k] = static_cast<uint8_t>(150 + (k * 3 + t) % 90);
                e[k + 1] = static_cast<uint8_t>(160 + (k * 7 + t) % 80);
            }
            p.Tracks[t].LevelL = 180 + t % 20;
        }
    }

    ~Session()
    {
        Logic.reset();
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

} // namespace tarvok::bench
