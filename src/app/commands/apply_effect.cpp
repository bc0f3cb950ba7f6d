#include "app/commands/apply_effect.h"

#include "app/commands/fx_dialog.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "core/command_ids.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/wave_info.h"
#include "edit/block_edit.h"
#include "edit/range_edit.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"
#include "render/conv_wave.h"
#include "render/edit_wave.h"
#include "render/loudness.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tarvok {

namespace {

constexpr const char* kNothingSelected = N_("選択されていません");
constexpr const char* kNoBlockInRange = N_("範囲内にブロックがありません");
constexpr const char* kLengthChanged
    = N_("長さが変更されています。これより後のブロックを移動しますか？");

/// One block part to render: its index after the split, a copy of it and its result.
struct EffectJob {
    int32_t Index = -1;
    Block Part;
    std::string File;
    int64_t Frames = 0;
};

bool OnSelectedTrack(const Project& pProject, const Block& pBlock)
{
    return pBlock.TrackNo >= 0 && pBlock.TrackNo <= pProject.LastTrackNo
        && pProject.Tracks[static_cast<size_t>(pBlock.TrackNo)].Selected != 0;
}

/// The parts the split at the marks leaves inside the selection, from the last record to the
/// first; the project's blocks are left as they were.
std::vector<EffectJob> PartsInSelection(Project& pProject)
{
    const std::vector<Block> before = pProject.Blocks;
    const int32_t selected = pProject.SelectedBlock;
    SplitAtMarks(pProject);
    std::vector<EffectJob> jobs;
    for (int32_t i = pProject.BlockCount() - 1; i >= 0; --i) {
        const Block& b = pProject.Blocks[static_cast<size_t>(i)];
        if (OnSelectedTrack(pProject, b) && b.StartAdr >= pProject.MarkIn
            && b.EndAdr <= pProject.MarkOut)
            jobs.push_back(EffectJob { i, b, {}, 0 });
    }
    pProject.Blocks = before;
    pProject.SelectedBlock = selected;
    return jobs;
}

} // namespace

std::optional<double> NormalizeGain(MainLogic& pLogic, const std::string& pSource, int64_t pFrom,
    int64_t pTo, double pTarget, int32_t pMode, std::string& pNote)
{
    UserInterface& ui = pLogic.Ui();
    if (pMode != kNormalizeLoudness) {
        C_EditWave measure(&ui);
        EditWaveRequest request;
        request.SourceFN = pSource;
        request.From = pFrom;
        request.To = pTo;
        request.CheckLevel = 1;
        if (!measure.EditWave(request))
            return std::nullopt;
        const double measured = pMode == kNormalizeRms ? measure.MaxRMSDB : measure.MaxPeakDB;
        return pTarget + std::abs(measured);
    }
    LoudnessMeter* meter = pLogic.Loudness();
    if (!meter) {
        ui.ShowError(kMsgNoLoudnessMeter);
        return std::nullopt;
    }
    bool cancelled = false;
    Result<LoudnessReading> reading
        = MeasureWaveLoudness(*meter, pSource, pFrom, pTo, [&](double pRate, std::string_view) {
              pLogic.ShowMessage(
                  TrArgs("ラウドネス測定中 %1%", std::to_string(RoundHalfEven(pRate * 100.0))));
              ui.Yield();
              cancelled = cancelled || pLogic.CancelRequest;
              pLogic.CancelRequest = false;
              return !cancelled;
          });
    if (!reading) {
        if (!cancelled)
            ui.ShowError(reading.error().Message);
        return std::nullopt;
    }
    bool limited = false;
    const double gain = LoudnessGain(*reading, pTarget, limited);
    char text[64];
    std::snprintf(text, sizeof text, "%.1f LUFS%s", reading->Integrated + gain,
        limited ? Tr("（トゥルーピーク制限）") : "");
    pNote += (pNote.empty() ? Tr("ラウドネス ") : ", ") + std::string(text);
    return gain;
}

namespace {

/// Renders every part into a new working file; false (with the files made deleted) when
/// one fails or is cancelled. pNote receives the loudness each normalised block will have.
bool RenderParts(
    MainLogic& pLogic, int32_t pId, C_FX& pFx, std::vector<EffectJob>& pJobs, std::string& pNote)
{
    Project& p = pLogic.Proj();
    UserInterface& ui = pLogic.Ui();
    pFx.SetProg([&pLogic](double /*pRate*/, std::string_view pMessage) {
        pLogic.ShowMessage(pMessage);
        if (!pLogic.CancelRequest)
            return true;
        pLogic.CancelRequest = false;
        return false;
    });
    const double target = pFx.FXParm(0);
    const int32_t mode = static_cast<int32_t>(RoundHalfEven(pFx.FXParm(1)));
    int32_t number = 0;
    bool ok = true;
    for (EffectJob& job : pJobs) {
        ++number;
        const Block& b = job.Part;
        if (b.WaveNo < 0 || b.WaveNo >= p.WaveFileCount()) {
            ok = false;
            break;
        }
        const std::string source = p.WaveFiles[static_cast<size_t>(b.WaveNo)].FileName;
        const int64_t from = static_cast<int64_t>(b.SrcStart) - 1;
        const int64_t to = b.SrcEnd;
        errno = 0;
        job.File = pLogic.Folder().NewTempName(1);
        if (job.File.empty()) {
            ui.ShowError(WriteError(errno).Message);
            ok = false;
            break;
        }
        if (pId == kCmdFxNorm) {
            const std::optional<double> gain
                = NormalizeGain(pLogic, source, from, to, target, mode, pNote);
            if (!gain) {
                ok = false;
                break;
            }
            pFx.SetFXParm(0, *gain);
            pFx.SetFXParm(1, *gain);
        }
        const Status rendered = pId == kCmdFxRvs
            ? ReverseRange(source, job.File, static_cast<int32_t>(from), static_cast<int32_t>(to),
                p.SampleRate, ui, pLogic.CancelRequest)
            : pFx.Proc(pId, source, job.File, from, to, false, TrArgs("%1ブロック", number));
        // A stop is the user's own choice and needs no message; any other cause is shown.
        if (!rendered && rendered.error().Code != ErrorCode::Cancelled)
            ui.ShowError(rendered.error().Message);
        ok = rendered.has_value();
        if (!ok)
            break;
        job.Frames = ReadWaveInfo(job.File).Frames;
    }
    if (!ok)
        for (EffectJob& job : pJobs)
            if (!job.File.empty())
                DeleteFileForce(job.File);
    return ok;
}

/// Time stretch and speed change: the selection's new end, and the blocks after it moved
/// when the user agrees.
void ApplyLengthChange(MainLogic& pLogic, double pRatio)
{
    Project& p = pLogic.Proj();
    const int64_t oldOut = p.MarkOut;
    const int64_t length = static_cast<int64_t>(p.MarkOut) - p.MarkIn;
    const int64_t newEnd = std::max<int64_t>(p.MarkIn,
        p.MarkIn + (pRatio > 0 ? RoundHalfEven(static_cast<double>(length) / pRatio) : length));
    bool later = false;
    for (const Block& b : p.Blocks)
        later = later || (OnSelectedTrack(p, b) && b.StartAdr >= oldOut);
    if (later && pLogic.Ui().AskYesNo(Tr(kLengthChanged))) {
        const int64_t delta = newEnd - oldOut;
        for (int32_t i = 0; i < p.BlockCount(); ++i) {
            Block& b = p.Blocks[static_cast<size_t>(i)];
            if (OnSelectedTrack(p, b) && b.StartAdr >= oldOut) {
                b.StartAdr = Clamp32(b.StartAdr + delta, 0, kMaxLength - 1);
                p.NormalizeBlock(i);
            }
        }
    }
    p.MarkOut = Clamp32(newEnd, 0, kMaxLength);
}

/// The selection an effect command may change before it edits: marks, selected tracks and
/// the selected block.
struct SelectionState {
    int32_t MarkIn = 0;
    int32_t MarkOut = 0;
    int32_t SelectedBlock = -1;
    std::vector<int32_t> Selected;

    static SelectionState Of(const Project& pProject)
    {
        SelectionState s { pProject.MarkIn, pProject.MarkOut, pProject.SelectedBlock, {} };
        for (const Track& t : pProject.Tracks)
            s.Selected.push_back(t.Selected);
        return s;
    }

    void Restore(Project& pProject) const
    {
        pProject.MarkIn = MarkIn;
        pProject.MarkOut = MarkOut;
        pProject.SelectedBlock = SelectedBlock;
        for (size_t i = 0; i < pProject.Tracks.size() && i < Selected.size(); ++i)
            pProject.Tracks[i].Selected = Selected[i];
    }
};

} // namespace

bool ApplyEffect(MainLogic& pLogic, int32_t pId, const EffectDialog& pDialog)
{
    const FxInfo* info = FindEffect(pId);
    if (!info || !pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();
    if (p.BlockCount() == 0)
        return false;
    UserInterface& ui = pLogic.Ui();
    // The command changes the selection only when it edits: the undo snapshot then holds the
    // selection as it was, and a cancelled or refused command leaves it alone.
    const SelectionState original = SelectionState::Of(p);
    bool done = false;
    struct RestoreUnlessDone {
        Project& P;
        const SelectionState& S;
        const bool& Done;
        ~RestoreUnlessDone()
        {
            if (!Done)
                S.Restore(P);
        }
    } restore { p, original, done };
    if (!HasRange(p)) {
        p.MarkIn = 0;
        p.MarkOut = p.ComputeLength();
        for (Track& t : p.Tracks)
            t.Selected = 0;
        if (p.CurrentTrack >= 0 && p.CurrentTrack <= p.LastTrackNo)
            p.Tracks[static_cast<size_t>(p.CurrentTrack)].Selected = 1;
        pLogic.ShowMessage(Tr(kNothingSelected));
        ui.RequestRedraw(RedrawArea::Tracks);
    }
    int32_t first = -1;
    for (int32_t i = 0; i < p.BlockCount(); ++i)
        if (p.IsBlockInRange(i)
            && (first < 0
                || p.Blocks[static_cast<size_t>(i)].StartAdr
                    < p.Blocks[static_cast<size_t>(first)].StartAdr))
            first = i;
    if (first < 0) {
        pLogic.ShowMessage(Tr(kNoBlockInRange));
        return false;
    }
    p.SelectedBlock = first;

    C_FX fx(p.SampleRate, &ui);
    fx.SetTimePitchEngine(pLogic.TimePitch());
    if (info->HasDialog && (!pDialog || !pDialog(fx) || fx.FXCanceled != 0))
        return false;
    if (!pLogic.CanEdit())
        return false;

    std::vector<EffectJob> jobs = PartsInSelection(p);
    if (jobs.empty()) {
        pLogic.ShowMessage(Tr(kNoBlockInRange));
        return false;
    }
    // Every part is rendered before anything in the project changes, so a failed or
    // cancelled render leaves the project exactly as it was.
    pLogic.Busy = true;
    ui.SetBusy(true);
    std::string loudnessNote;
    const bool rendered = RenderParts(pLogic, pId, fx, jobs, loudnessNote);
    pLogic.Busy = false;
    ui.SetBusy(false);
    if (!rendered)
        return false;

    const SelectionState chosen = SelectionState::Of(p);
    original.Restore(p);
    if (!pLogic.StartProc(1, 0)) {
        for (EffectJob& job : jobs)
            DeleteFileForce(job.File);
        return false;
    }
    chosen.Restore(p);
    done = true;
    SplitAtMarks(p);
    // Jobs run from the last record to the first, so deleting one leaves the indexes of the
    // others valid.
    for (const EffectJob& job : jobs)
        p.DeleteBlock(job.Index);
    if (HasTail(pId)) {
        int64_t end = p.MarkOut;
        for (const EffectJob& job : jobs)
            end = std::max<int64_t>(end, static_cast<int64_t>(job.Part.StartAdr) + job.Frames);
        p.MarkOut = Clamp32(end, 0, kMaxLength);
    }
    if (ChangesLength(pId))
        ApplyLengthChange(pLogic, fx.FXParm(0));
    bool placed = true;
    for (auto it = jobs.rbegin(); it != jobs.rend(); ++it) {
        bool cancel = false;
        if (!LoadFileToTrack(p, it->Part.TrackNo, it->File, it->Part.StartAdr, it->Part.Name,
                pLogic.Folder(), pLogic.Options().WFMode, ui, cancel)) {
            placed = false;
            continue;
        }
        // The new block keeps the old one's levels: the effect rendered the source without them.
        Block& b = p.Blocks.back();
        b.LevelL = it->Part.LevelL;
        b.LevelR = it->Part.LevelR;
    }
    pLogic.EndProc();
    if (!placed)
        ui.ShowError(Tr("編集エラー"));

    else if (!loudnessNote.empty())
        pLogic.ShowMessage(loudnessNote);
    return placed;
}

bool IsEffectAvailable(int32_t pId)
{
    if (pId == kCmdFxRvs)
        return true;
    const FxInfo* info = FindEffect(pId);
    if (!info)
        return false;
    FxContext context;
    context.Parm.resize(16, 1.0);
    context.Preview = true;
    return MakeFxKernel(pId, context) != nullptr;
}

bool SavedValuesDialog(MainLogic& pLogic, int32_t pId, C_FX& pFx)
{
    const Project& p = pLogic.Proj();
    FxDialogModel model(pId, pLogic.Store(), static_cast<int64_t>(p.MarkOut) - p.MarkIn,
        p.SampleRate, pLogic.Options().RMSP3);
    return model.Commit(pFx, pLogic.Ui());
}

bool RunEffectCommand(MainLogic& pLogic, int32_t pId)
{
    return ApplyEffect(
        pLogic, pId, [&pLogic, pId](C_FX& pFx) { return SavedValuesDialog(pLogic, pId, pFx); });
}

} // namespace tarvok
