// tarvok2-cli record: one take from a sound input into a track of a project.

#include "cli/record_command.h"

#include "app/transport.h"
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

constexpr const char* kRecordUsage
    = "usage: record NAME --track N [--input RECCH] [--device ID] [--seconds S] "
      "[--with-playback] [--voice-start DB] [--voice-stop DB --stop-after MS] [--place-orphans]";

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

int RunRecord(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut,
    WaveInService& pIn, const std::atomic<bool>& pStop)
{
    std::string name, trackText, inputText, deviceText, secondsText;
    std::string voiceStartText, voiceStopText, stopAfterText;
    bool withPlayback = false, placeOrphans = false;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        std::string* target = a == "--track" ? &trackText
            : a == "--input"                 ? &inputText
            : a == "--device"                ? &deviceText
            : a == "--seconds"               ? &secondsText
            : a == "--voice-start"           ? &voiceStartText
            : a == "--voice-stop"            ? &voiceStopText
            : a == "--stop-after"            ? &stopAfterText
                                             : nullptr;
        if (target) {
            if (i + 1 >= pArgs.size())
                return pCtx.Fail(a + " needs a value", 2);
            *target = pArgs[++i];
        } else if (a == "--with-playback") {
            withPlayback = true;
        } else if (a == "--place-orphans") {
            placeOrphans = true;
        } else if (a.rfind("--", 0) == 0 || !name.empty()) {
            return pCtx.Fail(kRecordUsage, 2);
        } else {
            name = a;
        }
    }
    if (name.empty() || trackText.empty())
        return pCtx.Fail(kRecordUsage, 2);
    if (!stopAfterText.empty() && voiceStopText.empty())
        return pCtx.Fail("--stop-after needs --voice-stop", 2);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    // The take is saved into the project, so this run holds its edit lock.
    std::string path;
    if (!OpenNamedProject(pCtx, session, name, path, true))
        return 1;

    const std::optional<int32_t> track = SettingTextToInt(trackText);
    if (!track || *track < 0 || *track >= p.TrackCount())
        return pCtx.Fail("no such track: " + trackText, 2);
    EngineOptions& o = logic.Options();
    int32_t recCh = p.Tracks[*track].RecCh;
    if (!inputText.empty()) {
        recCh = ParseRecInput(inputText);
        if (recCh < 0)
            return pCtx.Fail("not an input: " + inputText + " (1+2 .. 15+16, or 1 .. 16)", 2);
    }
    const int32_t slot = RecChSlot(recCh);
    if (slot < 0)
        return pCtx.Fail("the track has no valid input", 2);
    if (!deviceText.empty()) {
        const std::optional<int32_t> id = SettingTextToInt(deviceText);
        if (!id || *id < 0)
            return pCtx.Fail("not a device ID: " + deviceText, 2);
        // Only the one slot this take uses: no other slot can shadow it.
        for (int32_t k = 0; k < kInputSlots; ++k)
            o.DevInID[k] = k == slot ? *id : -1;
    }
    std::optional<double> seconds;
    if (!secondsText.empty()) {
        seconds = ParseNumber(secondsText);
        if (!seconds || *seconds <= 0)
            return pCtx.Fail("not a number of seconds: " + secondsText, 2);
    }
    if (!voiceStartText.empty()) {
        const std::optional<double> db = ParseNumber(voiceStartText);
        if (!db)
            return pCtx.Fail("not a level: " + voiceStartText, 2);
        o.UseMuonStart = 1;
        o.MuonStartLevelDB = static_cast<float>(-std::abs(*db));
    } else {
        o.UseMuonStart = 0;
    }
    if (!voiceStopText.empty()) {
        const std::optional<double> db = ParseNumber(voiceStopText);
        if (!db)
            return pCtx.Fail("not a level: " + voiceStopText, 2);
        o.UseMuonStop = 1;
        o.MuonStopLevelDB = static_cast<float>(-std::abs(*db));
        if (!stopAfterText.empty()) {
            const std::optional<int32_t> ms = SettingTextToInt(stopAfterText);
            if (!ms || *ms <= 0)
                return pCtx.Fail("not a length in ms: " + stopAfterText, 2);
            o.MuonStopLengthMS = *ms;
        }
    } else {
        o.UseMuonStop = 0;
    }

    // Recordings left behind by a run that ended while writing.
    for (const OrphanedRecording& orphan : FindOrphanedRecordings(p.DataFolder)) {
        pCtx.Err << "orphaned recording: " << orphan.WaveFile << " (track " << orphan.TrackNo
                 << " at " << FramesText(orphan.StartAdr, p.SampleRate) << ", "
                 << FramesText(orphan.Frames, orphan.SampleRate) << ")\n";
        if (placeOrphans) {
            if (PlaceOrphanedRecording(p, logic.Folder(), logic.Ui(), orphan, o.WFMode))
                pCtx.Err << "  placed on track " << orphan.TrackNo << "\n";
            else
                pCtx.Err << "  could not be placed\n";
        }
    }

    for (Track& t : p.Tracks)
        t.RecSelected = 0;
    p.Tracks[*track].RecCh = recCh;
    p.Tracks[*track].RecSelected = 1;
    std::vector<int32_t> playSelected;
    for (Track& t : p.Tracks) {
        playSelected.push_back(t.PlaySelected);
        if (!withPlayback)
            t.PlaySelected = 0;
    }

    SystemEngineClock clock;
    PlaybackEngine engine(pOut, p, logic.Ui(), o, clock);
    Transport transport(logic, engine);
    RecordingEngine rec(pIn, engine, p, logic.Ui(), o, logic.Folder());
    transport.AttachRecorder(rec);
    engine.ComputeDeviceSlots();
    if (!engine.InputEnabled()[slot]) {
        logic.Recorder = nullptr;
        return pCtx.Fail("input slot " + std::to_string(slot + 1) + " is not enabled");
    }
    const int32_t blocksBefore = p.BlockCount();
    if (!transport.Record(false) || !rec.Recording) {
        logic.Recorder = nullptr;
        return pCtx.Fail("recording could not start");
    }
    if (!o.UseMuonStart)
        transport.Play();
    RecordingMonitor monitor(rec, engine.InputEnabled(), 1, 0);
    monitor.Open();

    const bool live = ::isatty(STDERR_FILENO) == 1;
    int ticks = 0;
    while (rec.Recording) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.TimerProg();
        engine.TimerVU();
        if (!rec.Recording)
            break;
        const int64_t written = rec.RecStarted ? static_cast<int64_t>(p.Head) - rec.RecStartPos : 0;
        if (pStop.load() || (seconds && written >= *seconds * p.SampleRate)) {
            transport.Stop();
            break;
        }
        if (++ticks % 2 == 0) {
            monitor.Tick();
            if (live) {
                pCtx.Err << "\r" << (rec.RecStarted ? "REC " : "... ")
                         << FramesText(written, p.SampleRate);
                for (int32_t c = 0; c < monitor.ChannelCount(); ++c)
                    if (monitor.SlotOfChannel(c) == slot)
                        pCtx.Err << "  " << monitor.ChannelLabel(c) << " "
                                 << MeterBar(monitor.Meter(), c) << " " << monitor.Meter().Text(c)
                                 << " dB";
                pCtx.Err << "   " << std::flush;
            }
        }
    }
    if (live)
        pCtx.Err << "\n";
    logic.Recorder = nullptr;
    engine.DetachRecorderTicks();
    for (size_t t = 0; t < playSelected.size() && t < p.Tracks.size(); ++t)
        p.Tracks[t].PlaySelected = playSelected[t];
    if (rec.Overruns > 0)
        pCtx.Err << "warning: " << rec.Overruns << " input overruns: part of the input was lost\n";
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

int RecordCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    LazyWaveOut out;
    LazyWaveIn in;
    if (!in.Available())
        return pCtx.Fail("the sound system could not be started");
    gInterrupted.store(false);
    // Ctrl-C stops the recording and keeps it.
    auto previous = std::signal(SIGINT, OnInterrupt);
    const int code = RunRecord(pCtx, pArgs, out, in, gInterrupted);
    std::signal(SIGINT, previous);
    return code;
}

} // namespace tarvok
