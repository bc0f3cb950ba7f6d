// Opening and snapshotting a large project: 64 tracks with envelope files, 200 working
// files with current peak files, 10,000 blocks.
//
//   project_file_bench [benchmark options]
//
// Targets: opening (ReadProject) under 100 ms; one undo snapshot (WriteProject) under 20 ms.
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace tarvok;

struct BigProject {
    std::string Folder;
    std::string Path;
    Project P;

    BigProject()
    {
        char pattern[] = "/tmp/tarvok-bench-XXXXXX";
        Folder = std::string(::mkdtemp(pattern)) + "/";
        DataFolder data(Folder);
        HeadlessUi ui;
        P.SetFadeTableType(1);
        P.SetTrackCount(64);
        P.DataFolder = Folder;
        constexpr int32_t kWaves = 200;
        constexpr int32_t kFrames = 441000; // ten seconds each
        std::vector<char> silence(static_cast<size_t>(kFrames) * 4, 0);
        for (int32_t w = 0; w < kWaves; ++w) {
            std::string path = data.NewTempName(kTempWave);
            auto file
                = WriteWaveHeader(44100, 16, 2, path, static_cast<int64_t>(silence.size()), true);
            static_cast<void>(
                WriteAt(*file, silence.data(), static_cast<int64_t>(silence.size()), -1));
            file->Close();
            int32_t index = P.AddWaveFile(path);
            bool cancel = false;
            BuildPeaks(P, index, -1, "", 0, data.NewTempName(kTempPeak), ui, cancel);
        }
        for (int32_t b = 0; b < 10000; ++b) {
            P.AddBlock();
            Block& block = P.Blocks.back();
            block.WaveNo = b % kWaves;
            block.TrackNo = b % 64;
            block.StartAdr = (b / 64) * 50000;
            block.SrcStart = 1 + (b * 37) % 1000;
            block.SrcEnd = block.SrcStart + 40000;
            block.Name = "block " + std::to_string(b);
            P.NormalizeBlock(P.BlockCount() - 1);
        }
        P.UpdateTitleLength(false);
        for (int32_t t = 0; t < 64; ++t)
            SaveEnvelope(P, t, data.NewTempName(kTempEnvelope));
        Path = Folder + "big.tvp";
        ProjectFileEnv env { data, ui };
        WriteProject(P, Path, false, env);
    }
    ~BigProject()
    {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

BigProject& Big()
{
    static BigProject big;
    return big;
}

void OpenProject(benchmark::State& state)
{
    BigProject& big = Big();
    DataFolder data(big.Folder);
    HeadlessUi ui;
    ProjectFileEnv env { data, ui };
    for (auto _ : state) {
        Project p;
        p.SetFadeTableType(1);
        p.SetTrackCount(8);
        p.DataFolder = big.Folder;
        bool ok = static_cast<bool>(ReadProject(p, big.Path, false, false, env));
        if (!ok || p.BlockCount() != 10000)
            state.SkipWithError("the project did not read back whole");
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(OpenProject)->Unit(benchmark::kMillisecond);

void UndoSnapshot(benchmark::State& state)
{
    BigProject& big = Big();
    DataFolder data(big.Folder);
    HeadlessUi ui;
    ProjectFileEnv env { data, ui };
    std::string path = big.Folder + "~t000000.tvp";
    for (auto _ : state)
        WriteProject(big.P, path, false, env);
}
BENCHMARK(UndoSnapshot)->Unit(benchmark::kMillisecond);

void UndoStep(benchmark::State& state)
{
    // Reading a snapshot over the same state: peaks and envelopes are kept, not re-read.
    BigProject& big = Big();
    DataFolder data(big.Folder);
    HeadlessUi ui;
    ProjectFileEnv env { data, ui };
    Project p = big.P;
    for (auto _ : state) {
        bool ok = static_cast<bool>(ReadProject(p, big.Path, true, false, env));
        if (!ok)
            state.SkipWithError("the snapshot did not read");
    }
}
BENCHMARK(UndoStep)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
