// Peak extraction speed on a ten-minute 44.1 kHz 16-bit stereo working file.
//
//   peaks_bench [benchmark options]        Google Benchmark runs for "WFMode" 0 and 1
//   peaks_bench --make-file PATH           writes the ten-minute test file
//   peaks_bench --time-file PATH [MODE]    builds the peaks of PATH once, prints seconds
//
// The last two serve bench/compare_peaks.sh, which times the same file with other tools.
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project.h"
#include "core/wave_info.h"

#include "tone_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kSeconds = 600;

bool MakeTestFile(const std::string& pPath)
{
    return tarvok::bench::MakeToneFile(pPath, kRate, kSeconds);
}

/// Builds the peaks of pPath once; returns the entries computed, -1 when it is not a WAV file.
int32_t BuildOnce(const std::string& pPath, int32_t pMode)
{
    tarvok::Project project;
    int32_t wave = project.AddWaveFile(pPath);
    if (wave < 0)
        return -1;
    tarvok::HeadlessUi ui;
    bool cancel = false;
    return tarvok::BuildPeaks(project, wave, -1, "", pMode, "", ui, cancel).Entries;
}

std::string BenchFile()
{
    static const std::string path = [] {
        std::string p = "/tmp/tarvok-peaks-bench-" + std::to_string(::getpid()) + ".wav";
        if (!MakeTestFile(p))
            std::fprintf(stderr, "cannot write %s\n", p.c_str());
        return p;
    }();
    return path;
}

void BM_BuildPeaks(benchmark::State& pState)
{
    const std::string path = BenchFile();
    const int32_t mode = static_cast<int32_t>(pState.range(0));
    for (auto _ : pState)
        benchmark::DoNotOptimize(BuildOnce(path, mode));
    pState.SetBytesProcessed(pState.iterations() * int64_t { kRate } * kSeconds * 4);
}
BENCHMARK(BM_BuildPeaks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--make-file") == 0)
        return MakeTestFile(argv[2]) ? 0 : 1;
    if (argc >= 3 && std::strcmp(argv[1], "--time-file") == 0) {
        int32_t mode = argc >= 4 ? std::atoi(argv[3]) : 0;
        auto start = std::chrono::steady_clock::now();
        int32_t entries = BuildOnce(argv[2], mode);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (entries < 0)
            return 1;
        std::printf("%.6f\n", took.count());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(BenchFile().c_str());
    return 0;
}
