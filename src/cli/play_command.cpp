// tarvok2-cli commands that reach the sound devices through PortAudio.

#include "cli/play_command.h"

#include "app/transport/transport.h"
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

constexpr OptionSpec kPlayOptions[] = {
    { "--from", "TIME", "start at TIME (else at the start of the project)" },
    { "--to", "TIME", "stop at TIME: plays the range --from .. --to of the tracks that play" },
    { "--device", "ID|NAME",
        "the output device: an ID or a name of tarvok2-cli devices, alone or after its host API "
        "(\"ALSA: pulse\"; 0 is the default)" },
};

/// What a play command line asks for.
struct PlayOptions {
    std::string Name;
    std::string From;
    std::string To;
    std::string Device;
};

/// Parses the arguments of play; an exit code when the command ends here.
std::optional<int> ParsePlay(
    CliContext& pCtx, const std::vector<std::string>& pArgs, PlayOptions& pOptions)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kPlaySpec, pArgs, args))
        return done;
    if (args.Positional.size() != 1)
        return CommandUsageError(pCtx, kPlaySpec);
    pOptions.Name = args.Positional[0];
    pOptions.From = args.Value("--from").value_or("");
    pOptions.To = args.Value("--to").value_or("");
    pOptions.Device = args.Value("--device").value_or("");
    return std::nullopt;
}

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

int RunPlayWith(CliContext& pCtx, const PlayOptions& pOptions, WaveOutService& pOut);

} // namespace

const CliCommandSpec kDevicesSpec { "devices", "",
    "the output and input devices with their IDs (0 = default)", "", {} };

const CliCommandSpec kPlaySpec { "play", "NAME [--from TIME] [--to TIME] [--device ID|NAME]",
    "play a project (or a range of it) on a sound device", "", kPlayOptions };

/// One line per device: its ID, its name and, where known, the host API that lists it
/// (the same name may be listed under several).
void PrintDevices(CliContext& pCtx, const std::vector<WaveDeviceInfo>& pDevices)
{
    for (const WaveDeviceInfo& d : pDevices)
        pCtx.Out << "  " << d.Id << ": " << d.Name
                 << (d.HostApi.empty() ? "" : "  [" + d.HostApi + "]")
                 << (d.Id == 0 ? " (default)" : "") << "\n";
}

int RunDevices(CliContext& pCtx, WaveOutService& pOut, WaveInService& pIn)
{
    pCtx.Out << "output devices:\n";
    PrintDevices(pCtx, pOut.Devices());
    pCtx.Out << "input devices:\n";
    PrintDevices(pCtx, pIn.Devices());
    return 0;
}

int DevicesCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kDevicesSpec, pArgs, args))
        return *done;
    if (!args.Positional.empty())
        return pCtx.Fail("devices takes no arguments", 2);
    LazyWaveOut out;
    LazyWaveIn in;
    if (!out.Available())
        return pCtx.Fail("the sound system could not be started");
    return RunDevices(pCtx, out, in);
}

int RunPlay(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut)
{
    PlayOptions options;
    if (std::optional<int> done = ParsePlay(pCtx, pArgs, options))
        return *done;
    return RunPlayWith(pCtx, options, pOut);
}

namespace {

int RunPlayWith(CliContext& pCtx, const PlayOptions& pOptions, WaveOutService& pOut)
{
    const std::string& fromText = pOptions.From;
    const std::string& toText = pOptions.To;
    const std::string& deviceText = pOptions.Device;
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    std::string path;
    if (!OpenNamedProject(pCtx, session, pOptions.Name, path))
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
        std::optional<int32_t> id = DeviceIdFromText(deviceText, pOut.Devices());
        if (!id)
            return pCtx.Fail("no output device with this ID or name: " + deviceText, 2);
        logic.Options().DevOutID[0] = *id;
        logic.Options().DevOutRef[0] = {};
    }
    // The settings' remembered devices are found in today's lists; a missing one is told
    // and its slot left unused.
    for (const std::string& missing : BindEngineDevices(logic.Options(), pOut, nullptr, nullptr))
        pCtx.Err << missing << "\n";

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

} // namespace

int PlayCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    PlayOptions options;
    if (std::optional<int> done = ParsePlay(pCtx, pArgs, options))
        return *done;
    LazyWaveOut out;
    if (!out.Available())
        return pCtx.Fail("the sound system could not be started");
    return RunPlayWith(pCtx, options, out);
}

} // namespace tarvok
