// CPU time the playback engine spends per second of audio: 64 tracks of overlapping
// blocks with block levels and envelopes that change in every envelope frame, played in
// PlayMode 1 through the virtual-clock device with both 50 ms timers ticking.
//
//   engine_bench [benchmark options]
//
// Target: under 5 % of one core (the counter cpu_percent_of_realtime).
#include "core/headless_ui.h"
#include "app/main_logic.h"
#include "core/file_io.h"
#include "core/wave_info.h"
#include "engine/playback_engine.h"
#include "app/transport.h"
#include "engine/virtual_wave_device.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace tarvok;

class NoWaitClock : public EngineClock {
public:
    int32_t TimeOfDayMs() override { return 0; }
    void Wait(int32_t, UserInterface&) override { }
};

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
            WriteAt(*file, samples.data(), static_cast<int64_t>(samples.size()) * 2, -1);
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

void BM_PlaybackEngine64Tracks(benchmark::State& state)
{
    Session session;
    MainLogic& logic = *session.Logic;
    constexpr int kTicks = 200; // ten seconds of audio at 50 ms a tick
    double cpuSeconds = 0;
    double audioSeconds = 0;
    for (auto _ : state) {
        VirtualWaveOut device(1);
        NoWaitClock clock;
        PlaybackEngine engine(device, logic.Proj(), logic.Ui(), logic.Options(), clock);
        AttachTransport(logic, engine);
        logic.Proj().Head = 0;
        const std::clock_t begin = std::clock();
        PlayButton(logic, engine);
        for (int i = 0; i < kTicks; ++i) {
            device.AdvanceFrames(2205);
            engine.TimerProg();
            engine.TimerVU();
        }
        engine.StopPlay(false);
        cpuSeconds += static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
        audioSeconds += kTicks * 0.05;
        benchmark::DoNotOptimize(device.Log(0).Samples.data());
    }
    state.counters["cpu_percent_of_realtime"] = 100.0 * cpuSeconds / audioSeconds;
}
BENCHMARK(BM_PlaybackEngine64Tracks)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
