// Ripping speed: a five-minute CUE/BIN image of one track ripped with the check read (two
// reads, then the chunked compare), as the rip window does it.
//
//   cd_bench [benchmark options]     Google Benchmark run of one rip with check
//   cd_bench --time FOLDER           one rip with check in FOLDER, prints seconds and the
//                                    speed as a multiple of real time
#include "app/shell/file_copy.h"
#include "cd/rip_check.h"
#include "core/headless_ui.h"
#include "platform/cdio/cdio_drive_service.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int32_t kSeconds = 300;
constexpr int32_t kSectors = kSeconds * 75;

/// Writes FOLDER/bench.bin (a tone, one track) and FOLDER/bench.cue; the cue's path.
std::string MakeImage(const std::string& pFolder)
{
    const std::string bin = pFolder + "/bench.bin";
    std::ofstream b(bin, std::ios::binary | std::ios::trunc);
    std::vector<int16_t> sector(2352 / 2);
    int64_t n = 0;
    for (int32_t s = 0; s < kSectors; ++s) {
        for (size_t i = 0; i < sector.size(); ++i, ++n)
            sector[i] = static_cast<int16_t>((n * 97) % 30000 - 15000);
        b.write(reinterpret_cast<const char*>(sector.data()), 2352);
    }
    std::ofstream c(pFolder + "/bench.cue", std::ios::trunc);
    c << "FILE \"bench.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    return pFolder + "/bench.cue";
}

/// One rip with check into pFolder (with pErrorCorrection through the error-correcting
/// reads); true when the file is good.
bool RipOnce(const std::string& pCue, const std::string& pFolder, bool pErrorCorrection)
{
    tarvok::CdioDriveService drives;
    tarvok::HeadlessUi ui;
    tarvok::RipAudio ra(drives, &ui);
    ra.DriveToRip(pCue);
    ra.UpdateToc();
    tarvok::RipCheckOptions options;
    options.Check = true;
    options.ErrorCorrection = pErrorCorrection;
    options.Compare = [&ui](const std::string& pA, const std::string& pB) {
        tarvok::FileCopy copy(&ui);
        copy.SetWait([](int32_t) {});
        return copy.HikakuFile(pA, pB);
    };
    const std::string out = pFolder + "/rip.wav";
    std::remove(out.c_str());
    const tarvok::RipCheckResult r = tarvok::RipWithCheck(ra, ui, 0, out, options);
    std::remove(r.Path.c_str());
    return r.Good;
}

std::string MakeFolder()
{
    char pattern[] = "/tmp/cd_bench.XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "";
}

void RemoveFolder(const std::string& pFolder)
{
    std::remove((pFolder + "/bench.bin").c_str());
    std::remove((pFolder + "/bench.cue").c_str());
    rmdir(pFolder.c_str());
}

void BM_RipWithCheck(benchmark::State& pState)
{
    const std::string folder = MakeFolder();
    const std::string cue = MakeImage(folder);
    for (auto _ : pState)
        if (!RipOnce(cue, folder, pState.range(0) != 0))
            pState.SkipWithError("the rip failed");
    pState.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(pState.iterations()), benchmark::Counter::kIsRate);
    RemoveFolder(folder);
}
// Argument 0: plain reads; 1: the error-correcting reads.
BENCHMARK(BM_RipWithCheck)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--time") == 0) {
        const std::string folder = argv[2];
        const std::string cue = MakeImage(folder);
        bool good = true;
        for (bool paranoia : { false, true }) {
            const auto start = std::chrono::steady_clock::now();
            const bool ok = RipOnce(cue, folder, paranoia);
            const double seconds
                = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%s: %.3f s for %d s of audio with the check read: %.1fx real time%s\n",
                paranoia ? "error-correcting reads" : "plain reads", seconds, kSeconds,
                kSeconds / seconds, ok ? "" : " (FAILED)");
            good = good && ok;
        }
        std::remove((folder + "/bench.bin").c_str());
        std::remove((folder + "/bench.cue").c_str());
        return good ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
