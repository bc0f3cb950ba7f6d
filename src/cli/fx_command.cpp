// tarvok2-cli fx: one effect over a project's selection, and the list of effects.

#include "cli/fx_command.h"

#include "app/commands/apply_effect.h"
#include "app/commands/fx_dialog.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/command_ids.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/time_text.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"

#include <cmath>
#include <optional>

namespace tarvok {

namespace {

constexpr OptionSpec kFxOptions[] = {
    { "--list", "", "print every effect with its parameters" },
    { "--check", "N=0|1", "check box N of the effect's dialog off or on (repeatable)" },
    { "--freq", "HZ", "the frequency of the effects that ask for one" },
    { "--band", "N=GAIN[,HZ,Q]",
        "an equaliser band: its gain in dB and, for the parametric "
        "equaliser, its frequency and Q (repeatable)" },
    { "--quality", "standard|high",
        "pitch shift and time stretch through the own algorithm or "
        "the high-quality engine (else the saved choice)" },
    { "--lufs", "TARGET", "normalise (FX_NORM): bring each block to TARGET LUFS" },
    { "--track", "N", "with --from and --to: the selection to apply the effect to, on track N" },
    { "--from", "TIME", "the start of that selection" },
    { "--to", "TIME", "the end of that selection" },
};
constexpr int32_t kNormalizeId = kCmdFxNorm;

constexpr int32_t kGraphicEq = kCmdFxGeq;
constexpr int32_t kParametricEq = kCmdFxPeq;
constexpr int32_t kGraphicBands = 15;
constexpr int32_t kParametricBands = 3;

/// One --band option: a band's gain in dB and, for the parametric equaliser, its frequency
/// in Hz and its Q.
struct BandOption {
    int32_t Band = 0;
    int32_t Gain = 0;
    std::optional<double> Hz;
    std::optional<double> Q;
};

/// An fx command line as given, its values checked for their form.
struct FxArgs {
    std::vector<std::string> Positional;
    std::vector<std::pair<int32_t, bool>> Checks;
    std::vector<BandOption> Bands;
    std::optional<std::string> Freq, From, To, Lufs;
    std::optional<bool> High;
    std::optional<int32_t> Track;
};

/// The run checked against the effect: the fader values, check boxes and band faders to set.
struct FxPlan {
    const FxInfo* Info = nullptr;
    std::vector<int32_t> Values;
    std::vector<std::pair<int32_t, bool>> Checks;
    std::vector<std::pair<int32_t, int32_t>> BandFaders;
};

int ListEffects(CliContext& pCtx)
{
    for (const FxInfo& fx : AllEffects()) {
        pCtx.Out << fx.Id << " " << fx.Command << " " << Tr(fx.Label.data())
                 << (fx.HasDialog ? "" : " (no parameters)") << "\n";
        for (size_t i = 0; i < fx.Faders.size(); ++i) {
            const FxFader& f = fx.Faders[i];
            pCtx.Out << "  P" << i << " " << Tr(f.Label.c_str()) << " " << f.Min << ".." << f.Max
                     << " (" << f.Default << ")";
            if (f.Display == FaderDisplay::Frequency)
                pCtx.Out << " shown as Hz: " << FaderText(f.Display, f.Min) << ".."
                         << FaderText(f.Display, f.Max) << " (" << FaderText(f.Display, f.Default)
                         << ")";
            else if (f.Display == FaderDisplay::Q)
                pCtx.Out << " shown as Q: " << FaderText(f.Display, f.Min) << ".."
                         << FaderText(f.Display, f.Max) << " (" << FaderText(f.Display, f.Default)
                         << ")";
            pCtx.Out << "\n";
        }
        for (size_t i = 0; i < fx.Checks.size(); ++i)
            pCtx.Out << "  check " << i << " " << fx.Checks[i] << " 0..1 (0)\n";
        if (fx.Box == FxBox::Frequency)
            pCtx.Out << "  --freq Hz 20..20000 (1000)\n";
        if (fx.Id == kNormalizeId)
            pCtx.Out << "  --lufs TARGET -60..0: P0 as a loudness target in LUFS (check 1 on)\n";
        if (fx.Box == FxBox::Length)
            pCtx.Out << "  length: the selection's length x 100 / (P0 + P1/100 + P2/10000)\n";
        if (fx.Extras.QualityChoice)
            pCtx.Out << "  --quality standard|high (the saved choice, else standard)\n";
        if (fx.Id == kGraphicEq)
            pCtx.Out << "  --band N=GAIN: band N 0..14 at GAIN dB -15..15 (0)\n";
        if (fx.Id == kParametricEq)
            pCtx.Out << "  --band N=GAIN[,HZ,Q]: band N 0..2 at GAIN dB -15..15 (0), HZ 20..19900 "
                        "(630, the nearest frequency the fader shows), Q 0.5..2.0 (2.0, in "
                        "tenths)\n";
    }
    return 0;
}

std::optional<int32_t> ToInt(const std::string& pText)
{
    std::optional<int64_t> n = ParseInteger(Trim(pText));
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(*n);
}

/// Parses "N=GAIN" or "N=GAIN,HZ,Q"; nothing when the text has another form.
std::optional<BandOption> ParseBand(const std::string& pText)
{
    const size_t eq = pText.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    std::vector<std::string> parts;
    size_t begin = eq + 1;
    for (;;) {
        const size_t comma = pText.find(',', begin);
        parts.push_back(pText.substr(begin, comma - begin));
        if (comma == std::string::npos)
            break;
        begin = comma + 1;
    }
    if (parts.size() != 1 && parts.size() != 3)
        return std::nullopt;
    std::optional<int32_t> band = ToInt(pText.substr(0, eq));
    std::optional<int32_t> gain = ToInt(parts[0]);
    if (!band || !gain)
        return std::nullopt;
    BandOption b { *band, *gain, std::nullopt, std::nullopt };
    if (parts.size() == 3) {
        b.Hz = ParseNumber(Trim(parts[1]));
        b.Q = ParseNumber(Trim(parts[2]));
        if (!b.Hz || !b.Q)
            return std::nullopt;
    }
    return b;
}

/// The frequency fader's value whose shown frequency lies nearest pHz (the lowest such
/// value on a tie).
int32_t FrequencyFaderFor(const FxFader& pFader, double pHz)
{
    int32_t best = pFader.Min;
    double bestDistance = -1.0;
    for (int32_t v = pFader.Min; v <= pFader.Max; ++v) {
        const double d = std::abs(FaderNumber(FaderDisplay::Frequency, v) - pHz);
        if (bestDistance < 0.0 || d < bestDistance) {
            best = v;
            bestDistance = d;
        }
    }
    return best;
}

/// Checks the --band options against the effect and turns them into fader settings
/// (fader, value); an error text when one does not fit.
std::string BandFaders(const FxInfo& pInfo, const std::vector<BandOption>& pBands,
    std::vector<std::pair<int32_t, int32_t>>& pFaders)
{
    const bool graphic = pInfo.Id == kGraphicEq;
    if (!graphic && pInfo.Id != kParametricEq)
        return std::string(pInfo.Command) + " has no bands";
    const int32_t count = graphic ? kGraphicBands : kParametricBands;
    for (const BandOption& b : pBands) {
        const std::string name = "band " + std::to_string(b.Band);
        if (b.Band < 0 || b.Band >= count)
            return std::string(pInfo.Command) + " has bands 0.." + std::to_string(count - 1);
        if (b.Gain < -15 || b.Gain > 15)
            return name + ": the gain takes -15..15 dB";
        if (graphic) {
            if (b.Hz)
                return "the graphic equaliser's bands have fixed frequencies and Q";
            pFaders.emplace_back(b.Band, b.Gain);
            continue;
        }
        const int32_t first = b.Band * 3;
        if (b.Hz) {
            if (*b.Hz < 20 || *b.Hz > 19900)
                return name + ": the frequency takes 20..19900 Hz";
            if (*b.Q < 0.5 || *b.Q > 2.0)
                return name + ": Q takes 0.5..2.0";
            pFaders.emplace_back(
                first, FrequencyFaderFor(pInfo.Faders[static_cast<size_t>(first)], *b.Hz));
            pFaders.emplace_back(first + 1, static_cast<int32_t>(RoundHalfEven(*b.Q * 100.0)));
        }
        pFaders.emplace_back(first + 2, b.Gain);
    }
    return {};
}

/// The effect named by number (kFirstEffect..kLastEffect) or command name (FX_DELAY).
const FxInfo* EffectNamed(const std::string& pText)
{
    if (std::optional<int32_t> id = ToInt(pText))
        return FindEffect(*id);
    for (const FxInfo& fx : AllEffects())
        if (EqualsNoCase(fx.Command, pText))
            return &fx;
    return nullptr;
}

/// Reads the options' values into pArgs; an error text (a usage error) when one has the
/// wrong form.
std::optional<std::string> ReadFxOptions(const ParsedOptions& pParsed, FxArgs& pArgs)
{
    for (const std::string& v : pParsed.ValuesOf("--check")) {
        const size_t eq = v.find('=');
        std::optional<int32_t> n = ToInt(v.substr(0, eq));
        std::optional<int32_t> on
            = eq == std::string::npos ? std::nullopt : ToInt(v.substr(eq + 1));
        if (!n || !on || (*on != 0 && *on != 1))
            return "--check takes N=0 or N=1: " + v;
        pArgs.Checks.emplace_back(*n, *on == 1);
    }
    for (const std::string& v : pParsed.ValuesOf("--band")) {
        std::optional<BandOption> b = ParseBand(v);
        if (!b)
            return "--band takes N=GAIN or N=GAIN,HZ,Q: " + v;
        pArgs.Bands.push_back(*b);
    }
    if (std::optional<std::string> v = pParsed.Value("--quality")) {
        if (*v != "high" && *v != "standard")
            return "--quality takes standard or high: " + *v;
        pArgs.High = *v == "high";
    }
    if (std::optional<std::string> v = pParsed.Value("--track")) {
        pArgs.Track = ToInt(*v);
        if (!pArgs.Track || *pArgs.Track < 0)
            return "--track takes a track number: " + *v;
    }
    pArgs.Freq = pParsed.Value("--freq");
    pArgs.Lufs = pParsed.Value("--lufs");
    pArgs.From = pParsed.Value("--from");
    pArgs.To = pParsed.Value("--to");
    pArgs.Positional = pParsed.Positional;
    if (pArgs.Positional.size() < 2)
        return std::string();
    if ((pArgs.Track || pArgs.From || pArgs.To) && !(pArgs.Track && pArgs.From && pArgs.To))
        return std::string("--track, --from and --to go together");
    return std::nullopt;
}

/// The faders given as P0 P1 ...; an error text when one is out of its range.
std::optional<std::string> ReadFaderValues(const FxArgs& pArgs, FxPlan& pPlan)
{
    const FxInfo& info = *pPlan.Info;
    if (pArgs.Positional.size() - 2 > info.Faders.size())
        return std::string(info.Command) + " takes at most " + std::to_string(info.Faders.size())
            + " parameters";
    for (size_t i = 2; i < pArgs.Positional.size(); ++i) {
        const FxFader& f = info.Faders[i - 2];
        std::optional<int32_t> v = ToInt(pArgs.Positional[i]);
        if (!v || *v < f.Min || *v > f.Max)
            return "P" + std::to_string(i - 2) + " (" + Tr(f.Label.c_str()) + ") takes "
                + std::to_string(f.Min) + ".." + std::to_string(f.Max) + ": " + pArgs.Positional[i];
        pPlan.Values.push_back(*v);
    }
    return std::nullopt;
}

/// --lufs is the normalise dialog with its LUFS check on and the target on its fader.
std::optional<std::string> ReadLufsTarget(const FxArgs& pArgs, FxPlan& pPlan)
{
    const FxInfo& info = *pPlan.Info;
    if (info.Id != kNormalizeId)
        return "--lufs goes with normalise (" + std::to_string(kNormalizeId) + ")";
    if (!pPlan.Values.empty())
        return std::string("--lufs takes the place of P0");
    const FxFader& f = info.Faders[0];
    std::optional<int32_t> v = ToInt(*pArgs.Lufs);
    if (!v || *v < f.Min || *v > f.Max)
        return "--lufs takes " + std::to_string(f.Min) + ".." + std::to_string(f.Max) + ": "
            + *pArgs.Lufs;
    pPlan.Values.push_back(*v);
    pPlan.Checks.emplace_back(1, true);
    return std::nullopt;
}

/// Checks the arguments against the effect they name; an error text (a usage error) when
/// one does not fit.
std::optional<std::string> PlanFx(const FxArgs& pArgs, FxPlan& pPlan)
{
    pPlan.Info = EffectNamed(pArgs.Positional[1]);
    if (!pPlan.Info)
        return "no such effect: " + pArgs.Positional[1] + " (see fx --list)";
    const FxInfo& info = *pPlan.Info;
    if (std::optional<std::string> error = ReadFaderValues(pArgs, pPlan))
        return error;
    pPlan.Checks = pArgs.Checks;
    for (const auto& [n, on] : pPlan.Checks)
        if (n < 0 || n >= static_cast<int32_t>(info.Checks.size()))
            return std::string(info.Command) + " has no check box " + std::to_string(n);
    if (pArgs.Freq && info.Box != FxBox::Frequency)
        return std::string(info.Command) + " takes no frequency";
    if (pArgs.Lufs)
        if (std::optional<std::string> error = ReadLufsTarget(pArgs, pPlan))
            return error;
    if (pArgs.High && !info.Extras.QualityChoice)
        return std::string(info.Command) + " has no quality choice";
    if (!pArgs.Bands.empty()) {
        const std::string error = BandFaders(info, pArgs.Bands, pPlan.BandFaders);
        if (!error.empty())
            return error;
    }
    return std::nullopt;
}

/// Selects --from .. --to on the track of --track; an error text and its exit code when they
/// do not fit the project.
std::optional<std::pair<std::string, int>> SelectFxRange(const FxArgs& pArgs, Project& p)
{
    const int32_t track = *pArgs.Track;
    if (track > p.LastTrackNo)
        return std::make_pair("no such track (tracks are 0.." + std::to_string(p.LastTrackNo)
                + "): " + std::to_string(track),
            1);
    ParsedTime t0 = ParseTimeText(*pArgs.From, true);
    ParsedTime t1 = ParseTimeText(*pArgs.To, true);
    if (!t0.Ok || !t1.Ok || t0.Ms < 0 || t1.Ms <= t0.Ms)
        return std::make_pair(std::string("--from and --to take times, --from before --to"), 2);
    for (Track& t : p.Tracks)
        t.Selected = 0;
    p.Tracks[static_cast<size_t>(track)].Selected = 1;
    p.CurrentTrack = track;
    p.MarkIn = static_cast<int32_t>(std::min<int64_t>(MsToFrames(t0.Ms, p.SampleRate), kMaxLength));
    p.MarkOut
        = static_cast<int32_t>(std::min<int64_t>(MsToFrames(t1.Ms, p.SampleRate), kMaxLength));
    return std::nullopt;
}

/// Applies the effect as the dialog's OK would with the plan's settings; false when it was
/// refused, failed or cancelled (with a message when the effect showed none).
bool ApplyFx(CliContext& pCtx, MainLogic& pLogic, const FxArgs& pArgs, const FxPlan& pPlan)
{
    Project& p = pLogic.Proj();
    const int32_t id = pPlan.Info->Id;
    const size_t before = pCtx.Ui.Events().size();
    const bool done = ApplyEffect(pLogic, id, [&](C_FX& pFx) {
        FxDialogModel model(id, pLogic.Store(), static_cast<int64_t>(p.MarkOut) - p.MarkIn,
            p.SampleRate, pLogic.Options().RMSP3);
        for (const auto& [n, on] : pPlan.Checks)
            model.SetCheck(n, on);
        for (size_t i = 0; i < pPlan.Values.size(); ++i)
            model.SetValue(static_cast<int32_t>(i), pPlan.Values[i]);
        for (const auto& [fader, value] : pPlan.BandFaders)
            model.SetValue(fader, value);
        if (pArgs.Freq)
            model.SetBoxText(*pArgs.Freq);
        if (pArgs.High)
            model.SetHighQuality(*pArgs.High);
        return model.Commit(pFx, pLogic.Ui());
    });
    if (done)
        return true;
    bool reported = false;
    std::string lastStatus;
    const auto& events = pCtx.Ui.Events();
    for (size_t i = before; i < events.size(); ++i) {
        reported = reported || events[i].Kind == HeadlessUi::EventKind::MessageBox;
        if (events[i].Kind == HeadlessUi::EventKind::Message && !events[i].Text.empty())
            lastStatus = events[i].Text;
    }
    // A refusal without a message box gave its reason on the status line.
    if (!reported && !lastStatus.empty())
        pCtx.Fail(lastStatus + "; the project is unchanged");
    else if (!reported)
        pCtx.Fail("the effect was refused, failed or was cancelled; the project is unchanged");
    return false;
}

} // namespace

const CliCommandSpec kFxSpec { "fx", "NAME FX_ID [P0 P1 ...] [OPTIONS]\n--list",
    "apply an effect (its number or name, FX_DELAY) to the project's selection with the "
    "faders given (saved values or defaults for the rest); fx --list prints every effect",
    "--quality high renders pitch shift and time stretch through the high-quality engine; "
    "normalise (FX_NORM) --lufs brings each block to TARGET LUFS.",
    kFxOptions };

int FxCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions parsed;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kFxSpec, pArgs, parsed))
        return *done;
    if (parsed.Has("--list")) {
        if (pArgs.size() != 1)
            return CommandUsageError(pCtx, kFxSpec);
        return ListEffects(pCtx);
    }
    FxArgs args;
    if (std::optional<std::string> error = ReadFxOptions(parsed, args))
        return error->empty() ? CommandUsageError(pCtx, kFxSpec) : pCtx.Fail(*error, 2);
    FxPlan plan;
    if (std::optional<std::string> error = PlanFx(args, plan))
        return pCtx.Fail(*error, 2);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path;
    if (!OpenNamedProject(pCtx, session, args.Positional[0], path, true))
        return 1;
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    if (args.High && *args.High && !logic.TimePitch())
        return pCtx.Fail("the high-quality mode is not available");
    if (args.Track)
        if (std::optional<std::pair<std::string, int>> error = SelectFxRange(args, p))
            return pCtx.Fail(error->first, error->second);
    if (!ApplyFx(pCtx, logic, args, plan))
        return 1;
    ProjectFileEnv env = logic.FileEnv();
    if (Status written = WriteProject(p, path, false, env); !written)
        return pCtx.Fail("cannot write the project " + path + ": " + written.error().Message);
    return 0;
}

} // namespace tarvok
