// tarvok2-cli fx: one effect over a project's selection, and the list of effects.

#include "cli/fx_command.h"

#include "app/apply_effect.h"
#include "app/fx_dialog.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/time_text.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"

#include <optional>

namespace tarvok {

namespace {

constexpr const char* kFxUsage
    = "usage: fx NAME FX_ID [P0 P1 ...] [--check N=0|1] [--freq HZ] [--lufs TARGET] "
      "[--track N --from TIME --to TIME] | fx --list";
constexpr int32_t kNormalizeId = 134;

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

/// The effect named by number (106..143) or command name (FX_DELAY).
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
    std::optional<std::string> freq, from, to, lufs;
    std::optional<int32_t> track;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        const bool hasValue = i + 1 < pArgs.size();
        if (a == "--check" || a == "--freq" || a == "--track" || a == "--from" || a == "--to"
            || a == "--lufs") {
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
            } else if (a == "--freq") {
                freq = v;
            } else if (a == "--lufs") {
                lufs = v;
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

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path;
    if (!OpenNamedProject(pCtx, session, positional[0], path, true))
        return 1;
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
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
        if (freq)
            model.SetBoxText(*freq);
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
