// tarvok2-cli record: one take from a sound input into a track of a project.

#include "cli/record_command.h"

#include "app/transport/transport.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/settings.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/recording_monitor.h"
#include "platform/loader/lazy_adapters.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <thread>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr OptionSpec kRecordOptions[] = {
    { "--track", "N", "the track to record into, from 0" },
    { "--input", "RECCH",
        "the input: 1+2 .. 15+16 for a stereo pair, 1 .. 16 for one channel "
        "(else the track's input)" },
    { "--device", "ID|NAME",
        "the input device: an ID or a name of tarvok2-cli devices, alone or after its host API "
        "(\"ALSA: pulse\"; 0 is the default)" },
    { "--seconds", "S", "stop after S seconds of recording" },
    { "--with-playback", "", "play the tracks that play while recording" },
    { "--voice-start", "DB", "start recording when the input reaches DB" },
    { "--voice-stop", "DB", "stop recording when the input stays below DB" },
    { "--stop-after", "MS", "how long the input must stay below --voice-stop, in ms" },
    { "--place-orphans", "",
        "place the recordings a run that ended while writing left behind "
        "on their tracks" },
};

/// What a record command line asks for, as given.
struct RecordArgs {
    std::string Name, Track, Input, Device, Seconds, VoiceStart, VoiceStop, StopAfter;
    bool WithPlayback = false;
    bool PlaceOrphans = false;
};

/// The take as checked against the project: where it goes and when it stops.
struct TakePlan {
    int32_t Track = 0;
    int32_t RecCh = 0;
    int32_t Slot = 0;
    std::optional<double> Seconds;
};

std::atomic<bool> gInterrupted { false };

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

std::optional<double> ParseNumber(const std::string& pText)
{
    if (pText.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(pText.c_str(), &end);
    if (*end != '\0')
        return std::nullopt;
    return v;
}

std::string FramesText(int64_t pFrames, int32_t pRate)
{
    return TimeText(static_cast<int32_t>(pFrames * 1000 / std::max(1, pRate)), 0, false);
}

/// A bar of 20 characters for one channel of the meter (-60 dB .. 0 dB).
std::string MeterBar(const MultiBarMeter& pMeter, int32_t pBar)
{
    constexpr int32_t kCells = 20;
    const int32_t w = std::max(1, pMeter.W());
    const int32_t lit = std::clamp(
        static_cast<int32_t>((pMeter.BarPosition(pBar) - pMeter.LeftMargin) * kCells / w), 0,
        kCells);
    return "[" + std::string(static_cast<size_t>(lit), '#')
        + std::string(static_cast<size_t>(kCells - lit), ' ') + "]";
}

} // namespace

int32_t ParseRecInput(const std::string& pText)
{
    const size_t plus = pText.find('+');
    if (plus == std::string::npos) {
        const std::optional<int32_t> n = SettingTextToInt(pText);
        return n && *n >= 1 && *n <= 16 ? *n + 99 : -1;
    }
    const std::optional<int32_t> a = SettingTextToInt(pText.substr(0, plus));
    const std::optional<int32_t> b = SettingTextToInt(pText.substr(plus + 1));
    if (!a || !b || *a < 1 || *a > 15 || *a % 2 != 1 || *b != *a + 1)
        return -1;
    return (*a - 1) / 2;
}

namespace {

/// Parses the arguments of record; an exit code when the command ends here.
std::optional<int> ParseRecord(
    CliContext& pCtx, const std::vector<std::string>& pArgs, RecordArgs& pOut)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kRecordSpec, pArgs, args))
        return done;
    pOut.Track = args.Value("--track").value_or("");
    if (args.Positional.size() != 1 || pOut.Track.empty())
        return CommandUsageError(pCtx, kRecordSpec);
    pOut.Name = args.Positional[0];
    pOut.Input = args.Value("--input").value_or("");
    pOut.Device = args.Value("--device").value_or("");
    pOut.Seconds = args.Value("--seconds").value_or("");
    pOut.VoiceStart = args.Value("--voice-start").value_or("");
    pOut.VoiceStop = args.Value("--voice-stop").value_or("");
    pOut.StopAfter = args.Value("--stop-after").value_or("");
    pOut.WithPlayback = args.Has("--with-playback");
    pOut.PlaceOrphans = args.Has("--place-orphans");
    if (!pOut.StopAfter.empty() && pOut.VoiceStop.empty())
        return pCtx.Fail("--stop-after needs --voice-stop", 2);
    return std::nullopt;
}

/// Sets the voice-activated start and stop of pOptions from the arguments; an error text
/// when a value is not understood.
std::optional<std::string> ApplyVoiceOptions(const RecordArgs& pArgs, EngineOptions& o)
{
    if (!pArgs.VoiceStart.empty()) {
        const std::optional<double> db = ParseNumber(pArgs.VoiceStart);
        if (!db)
            return "not a level: " + pArgs.VoiceStart;
        o.UseMuonStart = 1;
        o.MuonStartLevelDB = static_cast<float>(-std::abs(*db));
    } else {
        o.UseMuonStart = 0;
    }
    if (pArgs.VoiceStop.empty()) {
        o.UseMuonStop = 0;
        return std::nullopt;
    }
    const std::optional<double> db = ParseNumber(pArgs.VoiceStop);
    if (!db)
        return "not a level: " + pArgs.VoiceStop;
    o.UseMuonStop = 1;
    o.MuonStopLevelDB = static_cast<float>(-std::abs(*db));
    if (!pArgs.StopAfter.empty()) {
        const std::optional<int32_t> ms = SettingTextToInt(pArgs.StopAfter);
        if (!ms || *ms <= 0)
            return "not a length in ms: " + pArgs.StopAfter;
        o.MuonStopLengthMS = *ms;
    }
    return std::nullopt;
}

/// Checks the arguments against the opened project and sets the engine options of the
/// take; an error text (a usage error) when one does not fit.
std::optional<std::string> PlanTake(const RecordArgs& pArgs, const Project& p, EngineOptions& o,
    WaveInService& pIn, TakePlan& pPlan)
{
    const std::optional<int32_t> track = SettingTextToInt(pArgs.Track);
    if (!track || *track < 0 || *track >= p.TrackCount())
        return "no such track: " + pArgs.Track;
    pPlan.Track = *track;
    pPlan.RecCh = p.Tracks[*track].RecCh;
    if (!pArgs.Input.empty()) {
        pPlan.RecCh = ParseRecInput(pArgs.Input);
        if (pPlan.RecCh < 0)
            return "not an input: " + pArgs.Input + " (1+2 .. 15+16, or 1 .. 16)";
    }
    pPlan.Slot = RecChSlot(pPlan.RecCh);
    if (pPlan.Slot < 0)
        return std::string("the track has no valid input");
    if (!pArgs.Device.empty()) {
        const std::optional<int32_t> id = DeviceIdFromText(pArgs.Device, pIn.Devices());
        if (!id)
            return "no input device with this ID or name: " + pArgs.Device;
        // Only the one slot this take uses: no other slot can shadow it. The device given
        // here replaces any remembered one.
        for (int32_t k = 0; k < kInputSlots; ++k) {
            o.DevInID[k] = k == pPlan.Slot ? *id : -1;
            o.DevInRef[k] = {};
        }
    }
    if (!pArgs.Seconds.empty()) {
        pPlan.Seconds = ParseNumber(pArgs.Seconds);
        if (!pPlan.Seconds || *pPlan.Seconds <= 0)
            return "not a number of seconds: " + pArgs.Seconds;
    }
    return ApplyVoiceOptions(pArgs, o);
}

/// Reports the recordings left behind by a run that ended while writing, and with
/// pPlace puts them on their tracks.
void HandleOrphans(CliContext& pCtx, MainLogic& pLogic, bool pPlace)
{
    Project& p = pLogic.Proj();
    for (const OrphanedRecording& orphan : FindOrphanedRecordings(p.DataFolder)) {
        pCtx.Err << "orphaned recording: " << orphan.WaveFile << " (track " << orphan.TrackNo
                 << " at " << FramesText(orphan.StartAdr, p.SampleRate) << ", "
                 << FramesText(orphan.Frames, orphan.SampleRate) << ")\n";
        if (pPlace) {
            if (PlaceOrphanedRecording(
                    p, pLogic.Folder(), pLogic.Ui(), orphan, pLogic.Options().WFMode))
                pCtx.Err << "  placed on track " << orphan.TrackNo << "\n";
            else
                pCtx.Err << "  could not be placed\n";
        }
    }
}

/// The recording loop: ticks the engine as the program's timers do until the take stops by
/// itself, reaches its length or pStop is set; shows the meter on a terminal.
void RecordLoop(CliContext& pCtx, Transport& pTransport, PlaybackEngine& pEngine,
    RecordingEngine& pRec, const TakePlan& pPlan, const std::atomic<bool>& pStop)
{
    Project& p = pEngine.Proj();
    RecordingMonitor monitor(pRec, pEngine.InputEnabled(), 1, 0);
    monitor.Open();
    const bool live = ::isatty(STDERR_FILENO) == 1;
    int ticks = 0;
    while (pRec.Recording) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pEngine.TimerProg();
        pEngine.TimerVU();
        if (!pRec.Recording)
            break;
        const int64_t written
            = pRec.RecStarted ? static_cast<int64_t>(p.Head) - pRec.RecStartPos : 0;
        if (pStop.load() || (pPlan.Seconds && written >= *pPlan.Seconds * p.SampleRate)) {
            pTransport.Stop();
            break;
        }
        if (++ticks % 2 == 0) {
            monitor.Tick();
            if (live) {
                pCtx.Err << "\r" << (pRec.RecStarted ? "REC " : "... ")
                         << FramesText(written, p.SampleRate);
                for (int32_t c = 0; c < monitor.ChannelCount(); ++c)
                    if (monitor.SlotOfChannel(c) == pPlan.Slot)
                        pCtx.Err << "  " << monitor.ChannelLabel(c) << " "
                                 << MeterBar(monitor.Meter(), c) << " " << monitor.Meter().Text(c)
                                 << " dB";
                pCtx.Err << "   " << std::flush;
            }
        }
    }
    if (live)
        pCtx.Err << "\n";
}

/// Records the take on the devices; an error text when recording cannot start.
std::optional<std::string> RecordTake(CliContext& pCtx, MainLogic& pLogic, WaveOutService& pOut,
    WaveInService& pIn, const TakePlan& pPlan, const std::atomic<bool>& pStop)
{
    Project& p = pLogic.Proj();
    EngineOptions& o = pLogic.Options();
    SystemEngineClock clock;
    PlaybackEngine engine(pOut, p, pLogic.Ui(), o, clock);
    Transport transport(pLogic, engine);
    RecordingEngine rec(pIn, engine, p, pLogic.Ui(), o, pLogic.Folder());
    transport.AttachRecorder(rec);
    // The settings' remembered devices are found in today's lists; a missing one is told
    // and its slot left unused.
    for (const std::string& missing : BindEngineDevices(o, pOut, &pIn, nullptr))
        pCtx.Err << missing << "\n";
    engine.ComputeDeviceSlots();
    if (!engine.InputEnabled()[pPlan.Slot]) {
        pLogic.Recorder = nullptr;
        return "input slot " + std::to_string(pPlan.Slot + 1) + " is not enabled";
    }
    if (!transport.Record(false) || !rec.Recording) {
        pLogic.Recorder = nullptr;
        return std::string("recording could not start");
    }
    if (!o.UseMuonStart)
        transport.Play();
    RecordLoop(pCtx, transport, engine, rec, pPlan, pStop);
    pLogic.Recorder = nullptr;
    engine.DetachRecorderTicks();
    if (rec.Overruns > 0)
        pCtx.Err << "warning: " << rec.Overruns << " input overruns: " << rec.LostFrames
                 << " frames of the input were lost and recorded as silence\n";
    return std::nullopt;
}

int RunRecordWith(CliContext& pCtx, const RecordArgs& pArgs, WaveOutService& pOut,
    WaveInService& pIn, const std::atomic<bool>& pStop)
{
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    // The take is saved into the project, so this run holds its edit lock.
    std::string path;
    if (!OpenNamedProject(pCtx, session, pArgs.Name, path, true))
        return 1;
    TakePlan plan;
    if (std::optional<std::string> error = PlanTake(pArgs, p, logic.Options(), pIn, plan))
        return pCtx.Fail(*error, 2);
    HandleOrphans(pCtx, logic, pArgs.PlaceOrphans);

    for (Track& t : p.Tracks)
        t.RecSelected = 0;
    p.Tracks[plan.Track].RecCh = plan.RecCh;
    p.Tracks[plan.Track].RecSelected = 1;
    std::vector<int32_t> playSelected;
    for (Track& t : p.Tracks) {
        playSelected.push_back(t.PlaySelected);
        if (!pArgs.WithPlayback)
            t.PlaySelected = 0;
    }
    const int32_t blocksBefore = p.BlockCount();
    if (std::optional<std::string> error = RecordTake(pCtx, logic, pOut, pIn, plan, pStop)) {
        // The engine's own message says why (a take file that could not be created).
        for (const std::string& box : pCtx.Ui.BoxTexts())
            pCtx.Err << box << "\n";
        return pCtx.Fail(*error);
    }
    for (size_t t = 0; t < playSelected.size() && t < p.Tracks.size(); ++t)
        p.Tracks[t].PlaySelected = playSelected[t];
    for (const std::string& box : pCtx.Ui.BoxTexts())
        pCtx.Err << box << "\n";
    if (p.BlockCount() == blocksBefore) {
        pCtx.Out << "nothing recorded\n";
        return 1;
    }
    const Block& b = p.Blocks.back();
    pCtx.Out << "recorded " << b.Length << " frames (" << FramesText(b.Length, p.SampleRate)
             << ") on track " << b.TrackNo << " at " << FramesText(b.StartAdr, p.SampleRate)
             << "\n";
    ProjectFileEnv env = logic.FileEnv();
    if (!WriteProject(p, path, false, env))
        return pCtx.Fail("cannot write the project " + path);
    return 0;
}

} // namespace

const CliCommandSpec kRecordSpec { "record", "NAME --track N [OPTIONS]",
    "record a sound input into a track until S seconds, the voice-activated stop or Ctrl-C, then "
    "save the project",
    "", kRecordOptions };

int RunRecord(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut,
    WaveInService& pIn, const std::atomic<bool>& pStop)
{
    RecordArgs args;
    if (std::optional<int> done = ParseRecord(pCtx, pArgs, args))
        return *done;
    return RunRecordWith(pCtx, args, pOut, pIn, pStop);
}

int RecordCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    RecordArgs args;
    if (std::optional<int> done = ParseRecord(pCtx, pArgs, args))
        return *done;
    LazyWaveOut out;
    LazyWaveIn in;
    if (!in.Available())
        return pCtx.Fail("the sound system could not be started");
    gInterrupted.store(false);
    // Ctrl-C stops the recording and keeps it.
    auto previous = std::signal(SIGINT, OnInterrupt);
    const int code = RunRecordWith(pCtx, args, out, in, gInterrupted);
    std::signal(SIGINT, previous);
    return code;
}

} // namespace tarvok
