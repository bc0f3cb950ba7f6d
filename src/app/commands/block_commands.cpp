#include "app/commands/block_commands.h"

#include "base/i18n.h"
#include "core/file_io.h"
#include "render/render_tracks.h"

#include "app/commands/range_input.h"
#include "app/shell/cancel_progress.h"

#include "app/shell/main_logic.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/peaks.h"
#include "core/time_text.h"
#include "edit/block_drag.h"
#include "edit/block_edit.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace tarvok {

namespace {

constexpr const char* kNothingSelected = N_("選択されていません");
constexpr const char* kRenameCaption = N_("名称入力");
constexpr const char* kNoMoreTracks = N_("これ以上トラックを追加できません（64トラックまで）");
constexpr const char* kPositionPrompt = N_("位置を入力");
constexpr const char* kGroupPrompt = N_("グループID指定(解除は0)");
constexpr const char* kInvalidValue = N_("値が不正です");
constexpr const char* kTrackStateSaved = N_("トラック状態を保存しました");
/// Prompts of the two level fields, asked in this order: left, then right.
constexpr const char* kLevelPromptL = "L";
constexpr const char* kLevelPromptR = "R";

/// The rename dialog: the current name as default; OK gives the trimmed, cleaned text and
/// cancelling gives the name unchanged.
std::string AskName(UserInterface& pUi, const std::string& pCurrent)
{
    std::optional<std::string> answer = pUi.InputBox(Tr(kRenameCaption), pCurrent);
    if (!answer)
        return pCurrent;
    return CleanBlockName(Trim(*answer));
}

/// A level as the level dialog shows it: at least two integer digits and one decimal
/// ("00.0", "-03.5", "12.3").
std::string LevelField(float pDb)
{
    int64_t tenths = std::isfinite(pDb) ? RoundHalfEven(static_cast<double>(pDb) * 10.0) : 0;
    std::string text = tenths < 0 ? "-" : "";
    int64_t magnitude = tenths < 0 ? -tenths : tenths;
    return text + ZeroPad(magnitude / 10, 2) + "." + std::to_string(magnitude % 10);
}

/// The level dialog as two questions, left then right. A cancelled question cancels the
/// dialog; a text that is not a number keeps that channel's value; a number a level cannot
/// hold shows "値が不正です" and cancels.
std::optional<std::pair<float, float>> AskLevels(UserInterface& pUi, float pLevelL, float pLevelR)
{
    float values[2] = { pLevelL, pLevelR };
    const char* prompts[2] = { kLevelPromptL, kLevelPromptR };
    for (int c = 0; c < 2; ++c) {
        std::optional<std::string> answer = pUi.InputBox(prompts[c], LevelField(values[c]));
        if (!answer)
            return std::nullopt;
        std::optional<double> number = ParseNumber(Trim(*answer));
        if (!number)
            continue;
        if (!std::isfinite(*number) || std::fabs(*number) > std::numeric_limits<float>::max()) {
            pUi.ShowError(Tr(kInvalidValue));
            return std::nullopt;
        }
        values[c] = static_cast<float>(*number);
    }
    return std::make_pair(values[0], values[1]);
}

bool HasSelection(MainLogic& pLogic)
{
    const Project& p = pLogic.Proj();
    if (static_cast<int64_t>(p.MarkOut) - p.MarkIn > 0)
        return true;
    pLogic.ShowMessage(Tr(kNothingSelected));
    return false;
}

/// Runs pEdit between StartProc(1, 0) and EndProc; false when the edit was refused.
template <class Edit> bool Edit1(MainLogic& pLogic, Edit&& pEdit)
{
    if (!pLogic.StartProc(1, 0))
        return false;
    pEdit(pLogic.Proj());
    pLogic.EndProc();
    return true;
}

bool MergeCommand(MainLogic& pLogic)
{
    if (!HasSelection(pLogic))
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    Project& p = pLogic.Proj();
    // Each selected track's range through its levels and envelope into a new working file.
    TrackRenderer render
        = [&pLogic](const Project& pProject, int32_t pTrack) -> Result<std::string> {
        std::string file = pLogic.Folder().NewTempName(kTempWave);
        if (file.empty())
            return Fail(TrArgs("トラック%1のレンダリングはできません", pTrack + 1));
        RenderRequest request;
        request.File = file;
        request.From = pProject.MarkIn;
        request.To = pProject.MarkOut;
        request.Mode = kRenderTrackEnvelopeLevel;
        request.Tracks = pTrack;
        request.Label = TrArgs("トラック%1", pTrack + 1);
        if (!RenderTracks(pProject, request, pLogic.Ui(), CancelRequestProgress(pLogic))) {
            DeleteFileForce(file);
            return Fail(TrArgs("トラック%1のレンダリングはできません", pTrack + 1));
        }
        return file;
    };
    Result<std::vector<PlacedFile>> merged = MergeRange(p, render);
    if (merged) {
        for (const PlacedFile& file : *merged) {
            if (!file.NewWave)
                continue;
            BuildPeaks(p, file.Wave, p.Blocks[file.Block].TrackNo, "", pLogic.Options().WFMode,
                pLogic.Folder().NewTempName(kTempPeak), pLogic.Ui(), pLogic.CancelRequest);
        }
    }
    pLogic.EndProc();
    if (!merged)
        pLogic.ShowMessage(merged.error().Message);
    return merged.has_value();
}

bool TrackSaveCommand(MainLogic& pLogic)
{
    Project& p = pLogic.Proj();
    Settings& s = pLogic.Store();
    s.SaveSetting("TrackNum", p.LastTrackNo);
    for (int32_t t = 0; t <= p.LastTrackNo; ++t) {
        const Track& track = p.Tracks[t];
        int nn = t + 1;
        s.SaveSetting(TwoDigitKey("TrackName_", nn), std::string_view(track.Name));
        s.SaveSetting(TwoDigitKey("TrackPlaySelected_", nn), track.PlaySelected);
        s.SaveSetting(TwoDigitKey("TrackRecSelected_", nn), track.RecSelected);
        s.SaveSetting(TwoDigitKey("TrackLevelLinked_", nn), track.LevelLinked);
        s.SaveSetting(TwoDigitKey("TrackLevelL_", nn), track.LevelL);
        s.SaveSetting(TwoDigitKey("TrackLevelR_", nn), track.LevelR);
        s.SaveSetting(TwoDigitKey("TrackRecCh_", nn), track.RecCh);
        s.SaveSetting(TwoDigitKey("TrackPlayCh_", nn), track.PlayCh);
    }
    pLogic.Ui().ShowInfo(Tr(kTrackStateSaved));
    return true;
}

DragHooks HooksFor(MainLogic& pLogic)
{
    DragHooks hooks;
    hooks.TakeSnapshot = [&pLogic] {
        if (!pLogic.TakeUndoSnapshot()) {
            pLogic.ShowUndoSnapshotFailure();
            return false;
        }
        // A drag is an ordinary edit: a following undo must snapshot this state first.
        pLogic.Proj().LastUndoType = 0;
        return true;
    };
    hooks.NewEnvelopeName = [&pLogic] { return pLogic.Folder().NewTempName(kTempEnvelope); };
    return hooks;
}

} // namespace

bool IsBlockCommand(int32_t pId) { return pId >= kCmdBlockDelete && pId <= kCmdTrackSave; }

bool RunBlockCommand(MainLogic& pLogic, int32_t pId)
{
    if (!IsBlockCommand(pId) || !pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();
    const int32_t sel = p.SelectedBlock;
    const bool hasBlock = sel >= 0 && sel < p.BlockCount();

    switch (pId) {
    case kCmdBlockDevide:
        return HasSelection(pLogic) && Edit1(pLogic, [](Project& pr) { SplitAtMarks(pr); });
    case kCmdBlockDevideh:
        return Edit1(pLogic, [](Project& pr) { SplitAtHead(pr); });
    case kCmdBlockMerge:
        return MergeCommand(pLogic);
    case kCmdBlockGroup: {
        if (p.BlockCount() == 0)
            return false;
        std::optional<std::string> answer = pLogic.Ui().InputBox(Tr(kGroupPrompt), "0");
        if (!answer)
            return false;
        std::optional<int32_t> id = ParseInt32(Trim(*answer));
        if (!id || *id < 0)
            return false;
        return Edit1(pLogic, [&](Project& pr) { SetGroupIdInRange(pr, *id); });
    }
    case kCmdTrackName: {
        std::string current = p.Tracks[p.CurrentTrack].Name;
        std::string name = AskName(pLogic.Ui(), current);
        if (name == current)
            return false;
        return Edit1(pLogic, [&](Project& pr) { pr.Tracks[pr.CurrentTrack].Name = name; });
    }
    case kCmdTrackDelete:
        if (p.LastTrackNo <= 0)
            return false;
        return Edit1(pLogic, [](Project& pr) {
            RemoveTrack(pr, pr.CurrentTrack);
            pr.UpdateTitleLength(false);
        });
    case kCmdTrackAdd:
        if (p.LastTrackNo > kMaxTrackIndex - 1) {
            pLogic.ShowMessage(Tr(kNoMoreTracks));
            return false;
        }
        return Edit1(pLogic, [](Project& pr) { InsertTrack(pr, pr.CurrentTrack + 1); });
    case kCmdTrackSave:
        return TrackSaveCommand(pLogic);
    default:
        break;
    }

    // The rest act on the selected block.
    if (!hasBlock)
        return false;
    switch (pId) {
    case kCmdBlockDelete:
        return Edit1(pLogic, [sel](Project& pr) { DeleteBlockGroup(pr, sel); });
    case kCmdBlockName: {
        std::string current = p.Blocks[sel].Name;
        std::string name = AskName(pLogic.Ui(), current);
        if (name == current)
            return false;
        return Edit1(pLogic, [&](Project& pr) { pr.Blocks[sel].Name = name; });
    }
    case kCmdBlockClip:
        if (!pLogic.StartProc(0, 0))
            return false;
        ClipBlockGroup(p, sel);
        pLogic.EndProc();
        return true;
    case kCmdBlockLock:
        return Edit1(pLogic, [sel](Project& pr) { ToggleGroupFlag(pr, sel, kBlockLocked); });
    case kCmdBlockFlock:
        return Edit1(pLogic, [sel](Project& pr) { ToggleGroupFlag(pr, sel, kBlockFadeLocked); });
    case kCmdBlockFitF:
        return Edit1(pLogic, [sel](Project& pr) { FitBlockFront(pr, sel); });
    case kCmdBlockFitR:
        return Edit1(pLogic, [sel](Project& pr) { FitBlockRear(pr, sel); });
    case kCmdBlockFront:
        return Edit1(pLogic, [sel](Project& pr) { BringBlockToFront(pr, sel); });
    case kCmdBlockBehind:
        return Edit1(pLogic, [sel](Project& pr) { SendBlockBehind(pr, sel); });
    case kCmdBlockSetadr: {
        std::optional<int32_t> position
            = AskTimeFrames(pLogic.Ui(), p, Tr(kPositionPrompt), p.Blocks[sel].StartAdr, true);
        if (!position || *position < 0)
            return false;
        return Edit1(pLogic, [&](Project& pr) { SetBlockAddress(pr, sel, *position); });
    }
    case kCmdBlockLevel: {
        std::optional<std::pair<float, float>> levels
            = AskLevels(pLogic.Ui(), p.Blocks[sel].LevelL, p.Blocks[sel].LevelR);
        if (!levels)
            return false;
        return Edit1(
            pLogic, [&](Project& pr) { SetBlockLevel(pr, sel, levels->first, levels->second); });
    }
    default:
        return false;
    }
}

bool MoveBlockByDrag(MainLogic& pLogic, int32_t pIndex, int32_t pFrames, int32_t pTracks)
{
    Project& p = pLogic.Proj();
    if (!pLogic.CanEdit() || pIndex < 0 || pIndex >= p.BlockCount())
        return false;
    // A move by a number (a script line) that would leave the longest project is refused,
    // not cut short: the block would land somewhere nobody asked for.
    if (!GroupMoveFits(p, pIndex, pFrames)) {
        pLogic.Ui().ShowError(TrArgs("移動先が最長のプロジェクト（0〜%1フレーム）の範囲外です。"
                                     "ブロックは移動しませんでした",
            kMaxLength - 1));

        return false;
    }
    const Block& block = p.Blocks[pIndex];
    bool carry = (block.Flags & kBlockFadeLocked) != 0;
    BlockDrag drag;
    drag.BeginMove(p, pIndex, carry);
    int32_t frame = Clamp32(static_cast<int64_t>(block.StartAdr) + pFrames, 0, kMaxLength);
    int32_t track = Clamp32(static_cast<int64_t>(block.TrackNo) + pTracks, 0, p.LastTrackNo);
    DragHooks hooks = HooksFor(pLogic);
    drag.Move(p, frame, track, 0, false, hooks);
    bool moved = drag.Release(p, hooks);
    if (moved) {
        pLogic.Ui().RequestRedraw(RedrawArea::All);
        pLogic.Ui().RequestRedraw(RedrawArea::Menus);
    }
    return moved;
}

} // namespace tarvok
