// tarvok2-cli fx: one effect over a project's selection, and the list of effects.

#include "cli/fx_command.h"

#include "app/apply_effect.h"
#include "app/fx_dialog.h"
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

constexpr const char* kFxUsage
    = "usage: fx NAME FX_ID [P0 P1 ...] [--check N=0|1] [--freq HZ] [--band N=GAIN[,HZ,Q]] "
      "[--quality standard|high] [--lufs TARGET] [--track N --from TIME --to TIME] | fx --list";
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

int ListEffects(CliContext& pCtx)
{
    for (const FxInfo& fx : AllEffects()) {
        pCtx.Out << fx.Id << " " << fx.Command << " " << fx.Label
                 << (fx.HasDialog ? "" : " (no parameters)") << "\n";
        for (size_t i = 0; i < fx.Faders.size(); ++i) {
            const FxFader& f = fx.Faders[i];
            pCtx.Out << "  P" << i << " " << f.Label << " " << f.Min << ".." << f.Max << " ("
                     << f.Default << ")";
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

} // namespace

int FxCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    if (pArgs.size() == 1 && pArgs[0] == "--list")
        return ListEffects(pCtx);
    std::vector<std::string> positional;
    std::vector<std::pair<int32_t, bool>> checks;
    std::vector<BandOption> bands;
    std::optional<std::string> freq, from, to, lufs;
    std::optional<bool> high;
    std::optional<int32_t> track;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        const bool hasValue = i + 1 < pArgs.size();
        if (a == "--check" || a == "--freq" || a == "--band" || a == "--track" || a == "--from"
            || a == "--to" || a == "--quality" || a == "--lufs") {
            if (!hasValue)
                return pCtx.Fail(a + " needs a value", 2);
            const std::string& v = pArgs[++i];
            if (a == "--check") {
                const size_t eq = v.find('=');
                std::optional<int32_t> n = ToInt(v.substr(0, eq));
                std::optional<int32_t> on
                    = eq == std::string::npos ? std::nullopt : ToInt(v.substr(eq + 1));
                if (!n || !on || (*on != 0 && *on != 1))
                    return pCtx.Fail("--check takes N=0 or N=1: " + v, 2);
                checks.emplace_back(*n, *on == 1);
            } else if (a == "--band") {
                std::optional<BandOption> b = ParseBand(v);
                if (!b)
                    return pCtx.Fail("--band takes N=GAIN or N=GAIN,HZ,Q: " + v, 2);
                bands.push_back(*b);
            } else if (a == "--freq") {
                freq = v;
            } else if (a == "--lufs") {
                lufs = v;
            } else if (a == "--quality") {
                if (v != "high" && v != "standard")
                    return pCtx.Fail("--quality takes standard or high: " + v, 2);
                high = v == "high";
            } else if (a == "--track") {
                track = ToInt(v);
                if (!track || *track < 0)
                    return pCtx.Fail("--track takes a track number: " + v, 2);
            } else if (a == "--from") {
                from = v;
            } else {
                to = v;
            }
            continue;
        }
        if (a.size() > 2 && a.starts_with("--"))
            return pCtx.Fail("unknown option: " + a, 2);
        positional.push_back(a);
    }
    if (positional.size() < 2)
        return pCtx.Fail(kFxUsage, 2);
    if ((track || from || to) && !(track && from && to))
        return pCtx.Fail("--track, --from and --to go together", 2);
    const FxInfo* info = EffectNamed(positional[1]);
    if (!info)
        return pCtx.Fail("no such effect: " + positional[1] + " (see fx --list)", 2);
    if (positional.size() - 2 > info->Faders.size())
        return pCtx.Fail(std::string(info->Command) + " takes at most "
                + std::to_string(info->Faders.size()) + " parameters",
            2);
    std::vector<int32_t> values;
    for (size_t i = 2; i < positional.size(); ++i) {
        const FxFader& f = info->Faders[i - 2];
        std::optional<int32_t> v = ToInt(positional[i]);
        if (!v || *v < f.Min || *v > f.Max)
            return pCtx.Fail("P" + std::to_string(i - 2) + " (" + f.Label + ") takes "
                    + std::to_string(f.Min) + ".." + std::to_string(f.Max) + ": " + positional[i],
                2);
        values.push_back(*v);
    }
    for (const auto& [n, on] : checks)
        if (n < 0 || n >= static_cast<int32_t>(info->Checks.size()))
            return pCtx.Fail(
                std::string(info->Command) + " has no check box " + std::to_string(n), 2);
    if (freq && info->Box != FxBox::Frequency)
        return pCtx.Fail(std::string(info->Command) + " takes no frequency", 2);
    // --lufs is the normalise dialog with its LUFS check on and the target on its fader.
    if (lufs) {
        if (info->Id != kNormalizeId)
            return pCtx.Fail(
                "--lufs goes with normalise (" + std::to_string(kNormalizeId) + ")", 2);
        if (!values.empty())
            return pCtx.Fail("--lufs takes the place of P0", 2);
        const FxFader& f = info->Faders[0];
        std::optional<int32_t> v = ToInt(*lufs);
        if (!v || *v < f.Min || *v > f.Max)
            return pCtx.Fail("--lufs takes " + std::to_string(f.Min) + ".." + std::to_string(f.Max)
                    + ": " + *lufs,
                2);
        values.push_back(*v);
        checks.emplace_back(1, true);
    }
    if (high && !info->Extras.QualityChoice)
        return pCtx.Fail(std::string(info->Command) + " has no quality choice", 2);
    std::vector<std::pair<int32_t, int32_t>> bandFaders;
    if (!bands.empty()) {
        const std::string error = BandFaders(*info, bands, bandFaders);
        if (!error.empty())
            return pCtx.Fail(error, 2);
    }

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path;
    if (!OpenNamedProject(pCtx, session, positional[0], path, true))
        return 1;
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    if (high && *high && !logic.TimePitch())
        return pCtx.Fail("the high-quality mode is not available");
    if (track) {
        if (*track > p.LastTrackNo)
            return pCtx.Fail("no such track (tracks are 0.." + std::to_string(p.LastTrackNo)
                + "): " + std::to_string(*track));
        ParsedTime t0 = ParseTimeText(*from, true);
        ParsedTime t1 = ParseTimeText(*to, true);
        if (!t0.Ok || !t1.Ok || t0.Ms < 0 || t1.Ms <= t0.Ms)
            return pCtx.Fail("--from and --to take times, --from before --to", 2);
        for (Track& t : p.Tracks)
            t.Selected = 0;
        p.Tracks[static_cast<size_t>(*track)].Selected = 1;
        p.CurrentTrack = *track;
        p.MarkIn
            = static_cast<int32_t>(std::min<int64_t>(MsToFrames(t0.Ms, p.SampleRate), kMaxLength));
        p.MarkOut
            = static_cast<int32_t>(std::min<int64_t>(MsToFrames(t1.Ms, p.SampleRate), kMaxLength));
    }

    const size_t before = pCtx.Ui.Events().size();
    const bool done = ApplyEffect(logic, info->Id, [&](C_FX& pFx) {
        FxDialogModel model(info->Id, logic.Store(), static_cast<int64_t>(p.MarkOut) - p.MarkIn,
            p.SampleRate, logic.Options().RMSP3);
        for (const auto& [n, on] : checks)
            model.SetCheck(n, on);
        for (size_t i = 0; i < values.size(); ++i)
            model.SetValue(static_cast<int32_t>(i), values[i]);
        for (const auto& [fader, value] : bandFaders)
            model.SetValue(fader, value);
        if (freq)
            model.SetBoxText(*freq);
        if (high)
            model.SetHighQuality(*high);
        return model.Commit(pFx, logic.Ui());
    });
    if (!done) {
        bool reported = false;
        const auto& events = pCtx.Ui.Events();
        for (size_t i = before; i < events.size(); ++i)
            reported = reported || events[i].Kind == HeadlessUi::EventKind::MessageBox;
        if (!reported)
            pCtx.Fail("the effect was refused, failed or was cancelled; the project is unchanged");
        return 1;
    }
    ProjectFileEnv env = logic.FileEnv();
    if (!WriteProject(p, path, false, env))
        return pCtx.Fail("cannot write the project " + path);
    return 0;
}

} // namespace tarvok
