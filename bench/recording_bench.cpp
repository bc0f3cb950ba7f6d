// Cost of recording: 8 stereo inputs at 48 kHz into 8 tracks through the virtual-clock
// input, both 50 ms timers ticking, every buffer appended with its header brought up to
// date and flushed to the disk. A second thread keeps the disk busy with large flushed
// writes meanwhile.
//
//   recording_bench [benchmark options]
//
// Counters: cpu_percent_of_realtime (target under 2 % of one core) and the time from a
// buffer's completion to its bytes being in the file (max and 99th percentile, ms),
// which is at most one tick (50 ms) plus the tick's own work.
#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvok;

class NoWaitClock : public EngineClock {
public:
    int32_t TimeOfDayMs() override { return 0; }
    void Wait(int32_t, UserInterface&) override { }
};

/// Writes 1 MB blocks with a flush after each into a scratch file until told to stop.
void KeepDiskBusy(const std::string& pPath, const std::atomic<bool>& pStop)
{
    std::vector<char> block(1 << 20, 'x');
    const int fd = ::open(pPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return;
    int64_t written = 0;
    while (!pStop.load()) {
        if (::write(fd, block.data(), block.size()) < 0)
            break;
        ::fdatasync(fd);
        written += static_cast<int64_t>(block.size());
        if (written >= (int64_t { 256 } << 20)) {
            (void)::ftruncate(fd, 0);
            ::lseek(fd, 0, SEEK_SET);
            written = 0;
        }
    }
    ::close(fd);
    ::unlink(pPath.c_str());
}

void BM_Recording8StereoInputs48k(benchmark::State& state)
{
    char pattern[] = "/tmp/tarvok-recbench-XXXXXX";
    const std::string folder = std::string(::mkdtemp(pattern)) + "/";
    for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME" }) {
        std::filesystem::create_directories(folder + name);
        ::setenv(name, (folder + name).c_str(), 1);
    }
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(folder + "data");
    logic.Startup("", false);
    Project& p = logic.Proj();
    p.SampleRate = 48000;
    constexpr int32_t kTick = 2400; // 50 ms at 48 kHz
    constexpr int kTicks = 600; // thirty seconds of audio
    constexpr int32_t kInputs = 8;

    VirtualWaveIn in(kInputs);
    for (int32_t k = 0; k < kInputs; ++k) {
        std::vector<int16_t> source(static_cast<size_t>(kTicks + 40) * kTick * 2);
        for (size_t i = 0; i < source.size(); ++i)
            source[i]
                = static_cast<int16_t>(8000 * std::sin(0.001 * static_cast<double>(i) * (k + 1)));
        in.SetSource(k, std::move(source));
        logic.Options().DevInID[k] = k;
    }

    std::atomic<bool> stop { false };
    std::thread disk(KeepDiskBusy, folder + "busy.bin", std::cref(stop));
    double cpuSeconds = 0;
    double audioSeconds = 0;
    std::vector<double> latencyMs;
    for (auto _ : state) {
        VirtualWaveOut out(1);
        NoWaitClock clock;
        PlaybackEngine engine(out, p, logic.Ui(), logic.Options(), clock);
        Transport transport(logic, engine);
        RecordingEngine rec(in, engine, p, logic.Ui(), logic.Options(), logic.Folder());
        transport.AttachRecorder(rec);
        for (int32_t t = 0; t < p.TrackCount(); ++t) {
            p.Tracks[t].PlaySelected = 0;
            p.Tracks[t].RecSelected = t < kInputs ? 1 : 0;
            p.Tracks[t].RecCh = t;
        }
        p.Head = 0;
        const std::clock_t begin = std::clock();
        transport.Record(true);
        for (int i = 0; i < kTicks; ++i) {
            in.AdvanceFrames(kTick);
            const bool bufferDone = ((i + 1) * kTick) % p.SampleRate < kTick;
            const auto t0 = std::chrono::steady_clock::now();
            engine.TimerProg();
            engine.TimerVU();
            const auto t1 = std::chrono::steady_clock::now();
            // A buffer completes at some point during the 50 ms before the tick that
            // finds it; its bytes are in the file when the tick ends.
            if (bufferDone)
                latencyMs.push_back(
                    50.0 + std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        transport.Stop();
        cpuSeconds += static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
        audioSeconds += kTicks * 0.05;
        logic.Recorder = nullptr;
        engine.DetachRecorderTicks();
        // The next round starts from an empty project.
        p.Blocks.clear();
        p.WaveFiles.clear();
        p.Peaks.clear();
    }
    stop.store(true);
    disk.join();
    std::sort(latencyMs.begin(), latencyMs.end());
    const size_t n = latencyMs.size();
    state.counters["cpu_percent_of_realtime"] = 100.0 * cpuSeconds / audioSeconds;
    state.counters["latency_p99_ms"] = n ? latencyMs[std::min(n - 1, n * 99 / 100)] : 0;
    state.counters["latency_max_ms"] = n ? latencyMs.back() : 0;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Recording8StereoInputs48k)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
