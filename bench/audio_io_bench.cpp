// Cost of playing and recording on real sound devices through PortAudio: plays the tracks
// of a project that play (and, with --inputs, records one stereo input per device named
// into as many empty tracks) for S seconds with both 50 ms timers ticking, then presses
// STOP. Prints one line:
//   cpu_s=<user+system seconds> wall_s=<seconds> cpu_percent=<of one core>
//   stop_ms=<STOP until every stream is closed>
// bench/compare_audio_io.sh runs it on a private PulseAudio null sink beside peer tools.
//
//   audio_io_bench PROJECT --output NAME [--inputs NAME,NAME,...] [--seconds S]
#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "platform/portaudio/portaudio_wave_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using namespace tarvok;

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

int32_t IdOf(const std::vector<WaveDeviceInfo>& pDevices, const std::string& pName)
{
    for (const WaveDeviceInfo& d : pDevices)
        if (d.Name == pName)
            return d.Id;
    return -1;
}

std::vector<std::string> SplitCommas(const std::string& pText)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < pText.size()) {
        const size_t end = std::min(pText.find(',', start), pText.size());
        out.push_back(pText.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

struct Args {
    std::string Project, Output, Inputs;
    double Seconds = 10;
};

bool Parse(int argc, char** argv, Args& pArgs)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--output" && hasValue)
            pArgs.Output = argv[++i];
        else if (a == "--inputs" && hasValue)
            pArgs.Inputs = argv[++i];
        else if (a == "--seconds" && hasValue)
            pArgs.Seconds = std::atof(argv[++i]);
        else if (pArgs.Project.empty())
            pArgs.Project = a;
        else
            return false;
    }
    return !pArgs.Project.empty() && !pArgs.Output.empty();
}

/// Arms one empty track per input, after the tracks that play; false when too few are left.
bool ArmInputs(Project& p, EngineOptions& o, const std::vector<int32_t>& pInputIds)
{
    int32_t next = 0;
    for (const Block& b : p.Blocks)
        next = std::max(next, b.TrackNo + 1);
    for (Track& t : p.Tracks)
        t.RecSelected = 0;
    for (size_t k = 0; k < pInputIds.size(); ++k) {
        o.DevInID[k] = pInputIds[k];
        const int32_t track = next + static_cast<int32_t>(k);
        if (track >= p.TrackCount())
            return false;
        p.Tracks[track].RecCh = static_cast<int32_t>(k);
        p.Tracks[track].RecSelected = 1;
        p.Tracks[track].PlaySelected = 0;
    }
    for (size_t k = pInputIds.size(); k < o.DevInID.size(); ++k)
        o.DevInID[k] = -1;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Args args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(stderr,
            "usage: audio_io_bench PROJECT --output NAME [--inputs NAME,...] [--seconds S]\n");
        return 2;
    }
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    const std::string folder = args.Project.substr(0, args.Project.rfind('/') + 1);
    logic.SetDataFolderOverride(folder);
    if (!logic.Startup("", false) || !logic.OpenProject(args.Project, false)) {
        std::fprintf(stderr, "audio_io_bench: cannot open %s\n", args.Project.c_str());
        return 1;
    }
    Project& p = logic.Proj();
    EngineOptions& o = logic.Options();
    PortAudioWaveOut out;
    PortAudioWaveIn in;
    o.DevOutID.fill(-1);
    o.DevOutID[0] = IdOf(out.Devices(), args.Output);
    std::vector<int32_t> inputIds;
    for (const std::string& name : SplitCommas(args.Inputs))
        inputIds.push_back(IdOf(in.Devices(), name));
    for (int32_t id : inputIds)
        if (id < 0 || o.DevOutID[0] < 0) {
            std::fprintf(stderr, "audio_io_bench: a device is not listed\n");
            return 1;
        }
    if (!ArmInputs(p, o, inputIds)) {
        std::fprintf(stderr, "audio_io_bench: no empty track left for every input\n");
        return 1;
    }
    SystemEngineClock clock;
    PlaybackEngine engine(out, p, logic.Ui(), o, clock);
    Transport transport(logic, engine);
    RecordingEngine rec(in, engine, p, logic.Ui(), o, logic.Folder());
    transport.AttachRecorder(rec);
    p.Head = 0;
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    const bool started = inputIds.empty() ? transport.Play() : transport.Record(true);
    if (!started) {
        std::fprintf(stderr, "audio_io_bench: could not start\n");
        return 1;
    }
    const auto until = wall0 + std::chrono::duration<double>(args.Seconds);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.TimerProg();
        engine.TimerVU();
    }
    const auto stop0 = std::chrono::steady_clock::now();
    transport.Stop();
    const auto stop1 = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(stop1 - wall0).count();
    logic.Recorder = nullptr;
    engine.DetachRecorderTicks();
    std::printf("cpu_s=%.3f wall_s=%.3f cpu_percent=%.2f stop_ms=%.1f open=%d takes=%d\n", cpu,
        wall, 100.0 * cpu / wall, std::chrono::duration<double, std::milli>(stop1 - stop0).count(),
        engine.IsDeviceOpen() ? 1 : 0, rec.PlacedTakes);
    return 0;
}
