// tarvok2-cli automate: automation writing driven by a curve instead of a hand on the fader.

#include "cli/automate_command.h"

#include "app/transport/automation_window.h"
#include "app/transport/transport.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/envelope.h"
#include "core/fade_table.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "engine/virtual_wave_device.h"

#include <algorithm>

namespace tarvok {

namespace {

constexpr OptionSpec kAutomateOptions[] = {
    { "--track", "N", "the track to write automation into, from 0" },
    { "--from", "TIME", "where playing starts (else at the start of the project)" },
    { "--curve", "FILE",
        "the curve: lines \"TIME LEVEL\", timeline times, levels 0..255 or "
        "dB followed by \"db\" (\"-6db\")" },
};

/// What an automate command line asks for, as given.
struct AutomateArgs {
    std::string Name, Track, From, CurveFile;
};

/// The run as checked against the project.
struct AutomatePlan {
    int32_t Track = 0;
    int32_t From = 0;
    int32_t End = 0;
    std::vector<CurvePoint> Curve;
};
/// Frames the virtual device plays between two ticks: the 50 ms of the program's timers.
constexpr int32_t kTickMs = 50;

/// The clock of a run on the virtual device: time moves only when the loop moves it, and a
/// wait lets the device play on, so a flush at the end of a run is heard.
class VirtualRunClock : public EngineClock {
public:
    VirtualRunClock(VirtualWaveOut& pDevice, int32_t pRate)
        : device_(pDevice)
        , rate_(pRate)
    {
    }
    int32_t TimeOfDayMs() override { return now_; }
    void Wait(int32_t pMs, UserInterface& pUi) override
    {
        pUi.Yield();
        Advance(pMs);
    }
    void Advance(int32_t pMs)
    {
        device_.AdvanceFrames(static_cast<int64_t>(pMs) * rate_ / 1000);
        now_ = (now_ + pMs) % 86400000;
    }

private:
    VirtualWaveOut& device_;
    int32_t rate_;
    int32_t now_ = 0;
};

std::optional<int32_t> LevelOf(std::string_view pText, const FadeTable& pTable)
{
    std::string text = ToLowerAscii(Trim(pText));
    if (text.size() > 2 && text.ends_with("db")) {
        text = std::string(Trim(text.substr(0, text.size() - 2)));
        if (text == "-inf" || text == "-∞")
            return 0;
        std::optional<double> db = ParseNumber(text);
        if (!db)
            return std::nullopt;
        return LevelIndexFromDb(pTable, *db);
    }
    std::optional<int64_t> index = ParseInteger(text);
    if (!index || *index < 0 || *index > 255)
        return std::nullopt;
    return static_cast<int32_t>(*index);
}

} // namespace

std::optional<std::string> ParseCurve(std::string_view pText, int32_t pRate,
    const FadeTable& pTable, std::vector<CurvePoint>& pPoints)
{
    pPoints.clear();
    int number = 0;
    for (const std::string& raw : SplitLines(pText)) {
        ++number;
        std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t blank = line.find_first_of(" \t");
        if (blank == std::string_view::npos)
            return "line " + std::to_string(number) + ": expected TIME LEVEL";
        const ParsedTime time = ParseTimeText(Trim(line.substr(0, blank)), true);
        if (!time.Ok || time.Ms < 0)
            return "line " + std::to_string(number) + ": not a time";
        const int64_t frame = MsToFrames(time.Ms, pRate);
        if (frame >= kMaxLength)
            return "line " + std::to_string(number) + ": the time is beyond the longest project";
        const std::optional<int32_t> level = LevelOf(line.substr(blank), pTable);
        if (!level)
            return "line " + std::to_string(number)
                + ": not a level (0..255, or dB followed by \"db\")";
        if (!pPoints.empty() && frame < pPoints.back().Frame)
            return "line " + std::to_string(number) + ": the times go back";
        pPoints.push_back({ static_cast<int32_t>(frame), *level });
    }
    if (pPoints.empty())
        return "the curve has no points";
    return std::nullopt;
}

int32_t CurveLevelAt(const std::vector<CurvePoint>& pPoints, int64_t pFrame)
{
    if (pPoints.empty())
        return 0;
    if (pFrame <= pPoints.front().Frame)
        return pPoints.front().Level;
    for (size_t i = 1; i < pPoints.size(); ++i) {
        const CurvePoint& a = pPoints[i - 1];
        const CurvePoint& b = pPoints[i];
        if (pFrame > b.Frame)
            continue;
        if (b.Frame == a.Frame)
            return b.Level;
        const double t = static_cast<double>(pFrame - a.Frame) / (b.Frame - a.Frame);
        return static_cast<int32_t>(RoundHalfEven(a.Level + t * (b.Level - a.Level)));
    }
    return pPoints.back().Level;
}

namespace {

/// Parses the arguments of automate; an exit code when the command ends here.
std::optional<int> ParseAutomate(
    CliContext& pCtx, const std::vector<std::string>& pArgs, AutomateArgs& pOut)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kAutomateSpec, pArgs, args))
        return done;
    pOut.Track = args.Value("--track").value_or("");
    pOut.From = args.Value("--from").value_or("");
    pOut.CurveFile = args.Value("--curve").value_or("");
    if (args.Positional.size() != 1 || pOut.Track.empty() || pOut.CurveFile.empty())
        return CommandUsageError(pCtx, kAutomateSpec);
    pOut.Name = args.Positional[0];
    return std::nullopt;
}

/// Checks the arguments and the curve against the opened project; an error text (a usage
/// error) when one does not fit.
std::optional<std::string> PlanAutomation(
    const AutomateArgs& pArgs, const std::string& pCurveText, const Project& p, AutomatePlan& pPlan)
{
    const std::optional<int32_t> track = SettingTextToInt(pArgs.Track);
    if (!track || *track < 0 || *track >= p.TrackCount())
        return "no such track: " + pArgs.Track;
    pPlan.Track = *track;
    if (!pArgs.From.empty()) {
        const ParsedTime t = ParseTimeText(pArgs.From, true);
        if (!t.Ok || t.Ms < 0 || MsToFrames(t.Ms, p.SampleRate) >= kMaxLength)
            return "not a time: " + pArgs.From;
        pPlan.From = static_cast<int32_t>(MsToFrames(t.Ms, p.SampleRate));
    }
    if (std::optional<std::string> error
        = ParseCurve(pCurveText, p.SampleRate, p.Fades, pPlan.Curve))
        return pArgs.CurveFile + ": " + *error;
    pPlan.End = std::min(pPlan.Curve.back().Frame, p.ProjectLength);
    if (pPlan.End <= pPlan.From)
        return std::string("the curve ends before --from (or the project is empty)");
    return std::nullopt;
}

/// Plays from the plan's start on virtual devices with the automation window armed for its
/// track, moving the fader along the curve until the head passes the end; false when
/// playing could not start.
bool WriteAutomation(MainLogic& pLogic, const AutomatePlan& pPlan)
{
    Project& p = pLogic.Proj();
    // Every slot on its own virtual device, so that each track plays where it is routed.
    VirtualWaveOut device(kOutputSlots);
    EngineOptions options = pLogic.Options();
    for (int32_t s = 0; s < kOutputSlots; ++s)
        options.DevOutID[static_cast<size_t>(s)] = s;
    VirtualRunClock clock(device, p.SampleRate);
    PlaybackEngine engine(device, p, pLogic.Ui(), options, clock);
    engine.ComputeDeviceSlots();
    Transport transport(pLogic, engine);

    for (Track& t : p.Tracks)
        t.Selected = 0;
    p.Tracks[static_cast<size_t>(pPlan.Track)].Selected = 1;
    p.CurrentTrack = pPlan.Track;
    AutomationWindowModel window(pLogic);
    window.Open();
    p.Head = pPlan.From;
    if (!transport.Play()) {
        window.Close();
        return false;
    }
    // Ticks as the program's timers would run them, without waiting between them; the
    // bound only stops a run that would never end.
    const int64_t tickFrames = static_cast<int64_t>(kTickMs) * p.SampleRate / 1000;
    const int64_t maxTicks
        = (static_cast<int64_t>(pPlan.End) - pPlan.From) / std::max<int64_t>(1, tickFrames) + 1000;
    for (int64_t tick = 0; engine.Mode() != PlayMode::Stopped && tick < maxTicks; ++tick) {
        const int64_t position = AutomationWritePosition(pLogic, engine);
        if (position >= 0)
            window.SetFader(CurveLevelAt(pPlan.Curve, position));
        clock.Advance(kTickMs);
        engine.TimerProg();
        engine.TimerVU();
        if (engine.Mode() != PlayMode::Stopped && p.Head >= pPlan.End)
            transport.Stop();
    }
    if (engine.Mode() != PlayMode::Stopped)
        transport.Stop();
    window.Close();
    return true;
}

} // namespace

const CliCommandSpec kAutomateSpec { "automate", "NAME --track N --curve FILE [--from TIME]",
    "write automation into track N: play from TIME as fast as possible while the automation "
    "fader follows FILE (lines \"TIME LEVEL\": timeline times, levels 0..255 or \"-6db\"), up "
    "to its last point, then save the project",
    "", kAutomateOptions };

int AutomateCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    AutomateArgs args;
    if (std::optional<int> done = ParseAutomate(pCtx, pArgs, args))
        return *done;
    const std::optional<std::string> curveText = ReadAllBytes(args.CurveFile);
    if (!curveText)
        return pCtx.Fail("cannot read the curve " + args.CurveFile);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    std::string path;
    if (!OpenNamedProject(pCtx, session, args.Name, path, true))
        return 1;
    AutomatePlan plan;
    if (std::optional<std::string> error = PlanAutomation(args, *curveText, p, plan))
        return pCtx.Fail(*error, 2);
    if (!WriteAutomation(logic, plan))
        return pCtx.Fail("playing could not start");
    for (const std::string& box : pCtx.Ui.BoxTexts())
        pCtx.Err << box << "\n";

    ProjectFileEnv env = logic.FileEnv();
    if (Status written = WriteProject(p, path, false, env); !written)
        return pCtx.Fail("cannot write the project " + path + ": " + written.error().Message);
    pCtx.Out << "automation written on track " << plan.Track << " from "
             << TimeText(FramesToMs(plan.From, p.SampleRate), 0, true) << " to "
             << TimeText(FramesToMs(p.Head, p.SampleRate), 0, true) << "\n";
    return 0;
}

} // namespace tarvok
