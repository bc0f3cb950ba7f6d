// The effect processor over long material.
//   fx_bench --make-file PATH                 writes the ten-minute 44.1 kHz stereo test file
//   fx_bench --fx ID IN OUT [P0 P1 ...]       renders all of IN through effect ID once; for
//                                             the graphic equaliser (130) the values are its
//                                             faders: 15 band gains in dB, then the level
//   fx_bench --fx-high ID IN OUT [P0 ...]     the same in the high-quality mode (117, 118)
//   fx_bench                                  Google Benchmark: delay, echo, reverb, graphic
//                                             equaliser, overdrive, compressor, maximize, time
//                                             stretch and pitch shift on 60 s
// bench/compare_fx.sh and bench/compare_pitch_time.sh time --fx against sox in one run and
// print the ratios.

#include "fx/c_fx.h"
#include "platform/rubberband/rubberband_time_pitch.h"
#include "tone_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tarvok;

constexpr int32_t kGraphicEq = 130;

bool RenderOnce(int32_t pId, const std::string& pIn, const std::string& pOut,
    const std::vector<double>& pParms, bool pHighQuality = false)
{
    const WaveInfo info = ReadWaveInfo(pIn);
    if (info.Valid == 0)
        return false;
    C_FX fx(info.SampleRate);
    if (pId == kGraphicEq) {
        fx.SetEQasGEQ();
        for (size_t b = 0; b < pParms.size() && b < 15; ++b)
            fx.SetEQParm(static_cast<int32_t>(b), pParms[b], -9999, -9999);
        fx.SetFXParm(0, pParms.size() > 15 ? pParms[15] : 0.0);
    } else {
        for (size_t i = 0; i < pParms.size(); ++i)
            fx.SetFXParm(static_cast<int32_t>(i), pParms[i]);
    }
    RubberBandTimePitch engine;
    fx.SetTimePitchEngine(&engine);
    fx.SetHighQuality(pHighQuality);
    return fx.Proc(pId, pIn, pOut, 0, info.Frames, false, "bench").has_value();
}

std::string BenchFile() { return "/tmp/tarvok-fx-bench-60s.wav"; }

void BM_Effect(
    benchmark::State& pState, int32_t pId, std::vector<double> pParms, bool pHighQuality = false)
{
    static const bool made = bench::MakeToneFile(BenchFile(), 44100, 60);
    if (!made) {
        pState.SkipWithError("cannot write the test file");
        return;
    }
    const std::string out = "/tmp/tarvok-fx-bench-out.wav";
    for (auto _ : pState)
        benchmark::DoNotOptimize(RenderOnce(pId, BenchFile(), out, pParms, pHighQuality));
    std::remove(out.c_str());
}

BENCHMARK_CAPTURE(BM_Effect, Delay, 106, std::vector<double> { 100, 50, 100 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, Echo, 108, std::vector<double> { 100, 50 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, GraphicEqAllBands, kGraphicEq, std::vector<double>(15, 6.0))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, Reverb, 109, std::vector<double> { 50, 50, 50, 32, 50, 30, 50 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, TimeStretch, 118, std::vector<double> { 1.25 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, PitchShift, 117, std::vector<double> { 3, 0, 100, 0 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, TimeStretchHigh, 118, std::vector<double> { 1.25 }, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, PitchShiftHigh, 117, std::vector<double> { 3, 0, 100, 0 }, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, Overdrive, 121, std::vector<double> { 50, 50, 50 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, Compressor, 123, std::vector<double> { 50, 200, 100, 100, 0 })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Effect, Maximize, 124, std::vector<double> { 4, 10, 50, 0 })
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--make-file") == 0)
        return tarvok::bench::MakeToneFile(argv[2], 44100, 600) ? 0 : 1;
    const bool high = argc >= 5 && std::strcmp(argv[1], "--fx-high") == 0;
    if (argc >= 5 && (high || std::strcmp(argv[1], "--fx") == 0)) {
        std::vector<double> parms;
        for (int i = 5; i < argc; ++i)
            parms.push_back(std::atof(argv[i]));
        return RenderOnce(std::atoi(argv[2]), argv[3], argv[4], parms, high) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(BenchFile().c_str());
    return 0;
}
