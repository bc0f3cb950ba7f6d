// CPU time the mixdown's renderer spends per second of audio: the 64-track project of the
// engine benchmark mixed through block, track, master and envelope levels into a WAV file,
// once straight and once with a peak normalize (which mixes the range twice).
//
//   render_bench [benchmark options]
#include "core/headless_ui.h"
#include "mix_session.h"
#include "render/render_tracks.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

using namespace tarvok;
using tarvok::bench::Session;

void BM_RenderTracks64(benchmark::State& state)
{
    Session session;
    const Project& project = session.Logic->Proj();
    RenderRequest request;
    request.File = session.Folder + "render.wav";
    request.From = 0;
    request.To = 44100 * 10;
    request.NormLevel = state.range(0) != 0 ? -1.0f : kNoNormalize;
    HeadlessUi ui;
    double cpuSeconds = 0;
    double audioSeconds = 0;
    for (auto _ : state) {
        bool cancel = false;
        const std::clock_t begin = std::clock();
        if (!RenderTracks(project, request, ui, cancel))
            state.SkipWithError("render failed");
        cpuSeconds += static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
        audioSeconds += 10.0;
    }
    state.counters["cpu_percent_of_realtime"] = 100.0 * cpuSeconds / audioSeconds;
}
BENCHMARK(BM_RenderTracks64)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
