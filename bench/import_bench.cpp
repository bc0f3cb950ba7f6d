// Conversion speed of import: a ten-minute 48 kHz 16-bit stereo WAV file made 44.1 kHz.
//
//   import_bench [benchmark options]            Google Benchmark run of ConvWave
//   import_bench --make-file PATH               writes the ten-minute test file
//   import_bench --time-conv PATH OUT           converts PATH into OUT once, prints seconds
//   import_bench --time-import PATH FOLDER      imports PATH into an empty 44.1 kHz project
//                                               with FOLDER as data folder (conversion,
//                                               peaks), prints seconds
//
// The last three serve bench/compare_import.sh, which times sox on the same file.
#include "app/shell/main_logic.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "core/wave_info.h"
#include "render/conv_wave.h"

#include "tone_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kSeconds = 600;

bool MakeTestFile(const std::string& pPath)
{
    return tarvok::bench::MakeToneFile(pPath, kRate, kSeconds);
}

bool ConvertOnce(const std::string& pSource, const std::string& pTarget)
{
    tarvok::C_ConvWave cw;
    return cw.ConvWave(pSource, pTarget, 44100, 16, 2, 1, false);
}

/// Imports pSource as the import command does, with settings and logs kept in pFolder.
bool ImportOnce(const std::string& pSource, const std::string& pFolder)
{
    // Nothing may land in the real home folder.
    ::setenv("XDG_CONFIG_HOME", (pFolder + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (pFolder + "/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (pFolder + "/state").c_str(), 1);
    tarvok::MemorySettingsBackend backend;
    tarvok::Settings store { backend };
    tarvok::HeadlessUi ui;
    tarvok::MainLogic logic { store, ui };
    logic.SetDataFolderOverride(pFolder + "/data");
    if (!logic.Startup(""))
        return false;
    ui.QueueAnswer("yes"); // keep the project at 44.1 kHz: the file is converted
    return logic.ImportSoundFile(0, pSource, 0, true);
}

std::string BenchFile()
{
    static const std::string path = [] {
        std::string p = "/tmp/tarvok-import-bench-" + std::to_string(::getpid()) + ".wav";
        if (!MakeTestFile(p))
            std::fprintf(stderr, "cannot write %s\n", p.c_str());
        return p;
    }();
    return path;
}

void BM_ConvWave48To44(benchmark::State& pState)
{
    const std::string path = BenchFile();
    const std::string out = path + ".out.wav";
    for (auto _ : pState)
        benchmark::DoNotOptimize(ConvertOnce(path, out));
    pState.SetBytesProcessed(pState.iterations() * int64_t { kRate } * kSeconds * 4);
    std::remove(out.c_str());
}
BENCHMARK(BM_ConvWave48To44)->Unit(benchmark::kMillisecond);

template <class F> int TimeIt(F pWork)
{
    auto start = std::chrono::steady_clock::now();
    bool ok = pWork();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!ok)
        return 1;
    std::printf("%.6f\n", took.count());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--make-file") == 0)
        return MakeTestFile(argv[2]) ? 0 : 1;
    if (argc >= 4 && std::strcmp(argv[1], "--time-conv") == 0)
        return TimeIt([&] { return ConvertOnce(argv[2], argv[3]); });
    if (argc >= 4 && std::strcmp(argv[1], "--time-import") == 0)
        return TimeIt([&] { return ImportOnce(argv[2], argv[3]); });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(BenchFile().c_str());
    return 0;
}
