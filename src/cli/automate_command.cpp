// tarvok2-cli automate: automation writing driven by a curve instead of a hand on the fader.

#include "cli/automate_command.h"

#include "app/automation_window.h"
#include "app/transport.h"
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

constexpr const char* kAutomateUsage = "usage: automate NAME --track N --from TIME --curve FILE";
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

int AutomateCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    std::string name, trackText, fromText, curveFile;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        std::string* target = a == "--track" ? &trackText
            : a == "--from"                  ? &fromText
            : a == "--curve"                 ? &curveFile
                                             : nullptr;
        if (target) {
            if (i + 1 >= pArgs.size())
                return pCtx.Fail(a + " needs a value", 2);
            *target = pArgs[++i];
        } else if (a.rfind("--", 0) == 0 || !name.empty()) {
            return pCtx.Fail(kAutomateUsage, 2);
        } else {
            name = a;
        }
    }
    if (name.empty() || trackText.empty() || curveFile.empty())
        return pCtx.Fail(kAutomateUsage, 2);
    const std::optional<std::string> curveText = ReadAllBytes(curveFile);
    if (!curveText)
        return pCtx.Fail("cannot read the curve " + curveFile);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    std::string path;
    if (!OpenNamedProject(pCtx, session, name, path, true))
        return 1;
    const std::optional<int32_t> track = SettingTextToInt(trackText);
    if (!track || *track < 0 || *track >= p.TrackCount())
        return pCtx.Fail("no such track: " + trackText, 2);
    int32_t from = 0;
    if (!fromText.empty()) {
        const ParsedTime t = ParseTimeText(fromText, true);
        if (!t.Ok || t.Ms < 0 || MsToFrames(t.Ms, p.SampleRate) >= kMaxLength)
            return pCtx.Fail("not a time: " + fromText, 2);
        from = static_cast<int32_t>(MsToFrames(t.Ms, p.SampleRate));
    }
    std::vector<CurvePoint> curve;
    if (std::optional<std::string> error = ParseCurve(*curveText, p.SampleRate, p.Fades, curve))
        return pCtx.Fail(curveFile + ": " + *error, 2);
    const int32_t end = std::min(curve.back().Frame, p.ProjectLength);
    if (end <= from)
        return pCtx.Fail("the curve ends before --from (or the project is empty)", 2);

    // Every slot on its own virtual device, so that each track plays where it is routed.
    VirtualWaveOut device(kOutputSlots);
    EngineOptions options = logic.Options();
    for (int32_t s = 0; s < kOutputSlots; ++s)
        options.DevOutID[static_cast<size_t>(s)] = s;
    VirtualRunClock clock(device, p.SampleRate);
    PlaybackEngine engine(device, p, logic.Ui(), options, clock);
    engine.ComputeDeviceSlots();
    Transport transport(logic, engine);

    for (Track& t : p.Tracks)
        t.Selected = 0;
    p.Tracks[static_cast<size_t>(*track)].Selected = 1;
    p.CurrentTrack = *track;
    AutomationWindowModel window(logic);
    window.Open();
    p.Head = from;
    if (!transport.Play()) {
        window.Close();
        return pCtx.Fail("playing could not start");
    }
    // Ticks as the program's timers would run them, without waiting between them; the
    // bound only stops a run that would never end.
    const int64_t tickFrames = static_cast<int64_t>(kTickMs) * p.SampleRate / 1000;
    const int64_t maxTicks
        = (static_cast<int64_t>(end) - from) / std::max<int64_t>(1, tickFrames) + 1000;
    for (int64_t tick = 0; engine.Mode() != PlayMode::Stopped && tick < maxTicks; ++tick) {
        const int64_t position = AutomationWritePosition(logic, engine);
        if (position >= 0)
            window.SetFader(CurveLevelAt(curve, position));
        clock.Advance(kTickMs);
        engine.TimerProg();
        engine.TimerVU();
        if (engine.Mode() != PlayMode::Stopped && p.Head >= end)
            transport.Stop();
    }
    if (engine.Mode() != PlayMode::Stopped)
        transport.Stop();
    window.Close();
    for (const std::string& box : pCtx.Ui.BoxTexts())
        pCtx.Err << box << "\n";

    ProjectFileEnv env = logic.FileEnv();
    if (!WriteProject(p, path, false, env))
        return pCtx.Fail("cannot write the project " + path);
    pCtx.Out << "automation written on track " << *track << " from "
             << TimeText(FramesToMs(from, p.SampleRate), 0, true) << " to "
             << TimeText(FramesToMs(p.Head, p.SampleRate), 0, true) << "\n";
    return 0;
}

} // namespace tarvok
