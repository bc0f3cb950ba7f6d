// tarvok2-cli commands that reach the sound devices through PortAudio.

#include "cli/play_command.h"

#include "app/transport.h"
#include "core/file_io.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "platform/loader/lazy_adapters.h"

#include <chrono>
#include <optional>
#include <thread>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr const char* kPlayUsage = "usage: play NAME [--from TIME] [--to TIME] [--device ID]";

/// A time given on the command line, in frames at pRate; nothing when it is not a time.
std::optional<int32_t> ParseFrames(const std::string& pText, int32_t pRate)
{
    const ParsedTime t = ParseTimeText(pText, true);
    if (!t.Ok || t.Ms < 0)
        return std::nullopt;
    const int64_t frames = MsToFrames(t.Ms, pRate);
    if (frames >= kMaxLength)
        return std::nullopt;
    return static_cast<int32_t>(frames);
}

} // namespace

int RunDevices(CliContext& pCtx, WaveOutService& pOut, WaveInService& pIn)
{
    pCtx.Out << "output devices:\n";
    for (const WaveDeviceInfo& d : pOut.Devices())
        pCtx.Out << "  " << d.Id << ": " << d.Name << (d.Id == 0 ? " (default)" : "") << "\n";
    pCtx.Out << "input devices:\n";
    for (const WaveDeviceInfo& d : pIn.Devices())
        pCtx.Out << "  " << d.Id << ": " << d.Name << (d.Id == 0 ? " (default)" : "") << "\n";
    return 0;
}

int DevicesCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    if (!pArgs.empty())
        return pCtx.Fail("devices takes no arguments", 2);
    LazyWaveOut out;
    LazyWaveIn in;
    if (!out.Available())
        return pCtx.Fail("the sound system could not be started");
    return RunDevices(pCtx, out, in);
}

int RunPlay(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut)
{
    std::string name;
    std::string fromText, toText, deviceText;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        std::string* target = a == "--from" ? &fromText
            : a == "--to"                   ? &toText
            : a == "--device"               ? &deviceText
                                            : nullptr;
        if (target) {
            if (i + 1 >= pArgs.size())
                return pCtx.Fail(a + " needs a value", 2);
            *target = pArgs[++i];
        } else if (a.rfind("--", 0) == 0 || !name.empty()) {
            return pCtx.Fail(kPlayUsage, 2);
        } else {
            name = a;
        }
    }
    if (name.empty())
        return pCtx.Fail(kPlayUsage, 2);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    std::string path;
    if (!OpenNamedProject(pCtx, session, name, path))
        return 1;

    int32_t from = 0;
    std::optional<int32_t> to;
    if (!fromText.empty()) {
        std::optional<int32_t> f = ParseFrames(fromText, p.SampleRate);
        if (!f)
            return pCtx.Fail("not a time: " + fromText, 2);
        from = *f;
    }
    if (!toText.empty()) {
        to = ParseFrames(toText, p.SampleRate);
        if (!to)
            return pCtx.Fail("not a time: " + toText, 2);
        if (*to <= from)
            return pCtx.Fail("--to must lie after --from", 2);
    }
    if (!deviceText.empty()) {
        std::optional<int32_t> id = SettingTextToInt(deviceText);
        if (!id || *id < 0)
            return pCtx.Fail("not a device ID: " + deviceText, 2);
        logic.Options().DevOutID[0] = *id;
    }

    SystemEngineClock clock;
    PlaybackEngine engine(pOut, logic.Proj(), logic.Ui(), logic.Options(), clock);
    Transport transport(logic, engine);
    bool started = false;
    if (to) {
        // A range plays the tracks that PLAY would play.
        for (Track& t : p.Tracks)
            t.Selected = t.PlaySelected;
        p.MarkIn = from;
        p.MarkOut = *to;
        started = transport.PlayRange(PlayMode::Selection);
    } else {
        p.Head = from;
        started = transport.Play();
    }
    if (!started)
        return pCtx.Fail("playing could not start");

    const bool showHead = ::isatty(STDERR_FILENO) == 1;
    while (engine.Mode() != PlayMode::Stopped) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.TimerProg();
        engine.TimerVU();
        // Without an end the run stops when the head leaves the project.
        if (!to && engine.Mode() == PlayMode::All && p.Head >= p.ProjectLength)
            transport.Stop();
        if (showHead)
            pCtx.Err << "\r" << HeadTimeText(logic) << std::flush;
    }
    if (showHead)
        pCtx.Err << "\n";
    return 0;
}

int PlayCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    LazyWaveOut out;
    if (!out.Available())
        return pCtx.Fail("the sound system could not be started");
    return RunPlay(pCtx, pArgs, out);
}

} // namespace tarvok
