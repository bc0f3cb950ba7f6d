// CPU time the playback engine spends per second of audio: 64 tracks of overlapping
// blocks with block levels and envelopes that change in every envelope frame, played in
// PlayMode 1 through the virtual-clock device with both 50 ms timers ticking.
//
//   engine_bench [benchmark options]
//
// Target: under 5 % of one core (the counter cpu_percent_of_realtime).
#include "app/transport/transport.h"
#include "engine/playback_engine.h"
#include "engine/virtual_wave_device.h"
#include "mix_session.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

using namespace tarvok;
using tarvok::bench::Session;

class NoWaitClock : public EngineClock {
public:
    int32_t TimeOfDayMs() override { return 0; }
    void Wait(int32_t, UserInterface&) override { }
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
        Transport transport(logic, engine);
        logic.Proj().Head = 0;
        const std::clock_t begin = std::clock();
        transport.Play();
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
