#include "app/commands/fade_commands.h"

#include "app/shell/cancel_progress.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/project.h"
#include "edit/fade_edit.h"
#include "edit/range_edit.h"
#include "render/render_tracks.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace tarvok {

namespace {

constexpr const char* kEnvelopeSaveFailed = N_("エンベロープを保存できません");

bool HasSelection(MainLogic& pLogic)
{
    const Project& p = pLogic.Proj();
    if (static_cast<int64_t>(p.MarkOut) - p.MarkIn > 0)
        return true;
    pLogic.ShowMessage(Tr(kFadeNothingSelected));
    return false;
}

void ReportSave(MainLogic& pLogic, bool pSaved)
{
    if (!pSaved)
        pLogic.Ui().ShowError(Tr(kEnvelopeSaveFailed));
}

bool FadeShapeCommand(MainLogic& pLogic, FadeShape pShape)
{
    Project& p = pLogic.Proj();
    FadeFrameRange range;
    if (!FadeRangeOf(p, range) || !FadeShapeApplies(pShape, range))
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    bool saved = true;
    ApplyFadeShape(p, pShape, range, pLogic.FadeChannels, pLogic.Folder(), saved);
    pLogic.EndProc();
    ReportSave(pLogic, saved);
    return true;
}

bool PointAtHeadCommand(MainLogic& pLogic)
{
    Project& p = pLogic.Proj();
    if (!FadePointFits(p, p.Head, pLogic.FadeChannels))
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    const bool added
        = AddFadePointAt(p, p.CurrentTrack, NearestEnvelopeFrame(p, p.Head), pLogic.FadeChannels);
    pLogic.EndProc();
    return added;
}

bool PointsAtMarksCommand(MainLogic& pLogic)
{
    if (!HasSelection(pLogic))
        return false;
    Project& p = pLogic.Proj();
    if (!FadePointFits(p, p.MarkIn, pLogic.FadeChannels)
        || !FadePointFits(p, p.MarkOut, pLogic.FadeChannels))
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    bool added
        = AddFadePointAt(p, p.CurrentTrack, NearestEnvelopeFrame(p, p.MarkIn), pLogic.FadeChannels);
    added
        = AddFadePointAt(p, p.CurrentTrack, NearestEnvelopeFrame(p, p.MarkOut), pLogic.FadeChannels)
        && added;
    pLogic.EndProc();
    return added;
}

bool ClearPointsCommand(MainLogic& pLogic)
{
    if (!HasSelection(pLogic))
        return false;
    if (pLogic.Proj().EnvelopeLength <= 1 || !pLogic.StartProc(1, 0))
        return false;
    ClearFade(pLogic.Proj(), true, pLogic.Folder());
    pLogic.EndProc();
    return true;
}

} // namespace

bool IsFadeCommand(int32_t pId)
{
    return (pId >= kCmdFadeIn && pId <= kCmdFadeFpclear) || pId == kCmdFadeMerge;
}

bool RunFadeCommand(MainLogic& pLogic, int32_t pId)
{
    if (!IsFadeCommand(pId) || !pLogic.CanEdit())
        return false;
    switch (pId) {
    case kCmdFadeIn:
        return FadeShapeCommand(pLogic, FadeShape::In);
    case kCmdFadeOut:
        return FadeShapeCommand(pLogic, FadeShape::Out);
    case kCmdFadeLink:
        return FadeShapeCommand(pLogic, FadeShape::Link);
    case kCmdFadeClear:
        return FadeShapeCommand(pLogic, FadeShape::Clear);
    case kCmdFadeMute:
        return FadeShapeCommand(pLogic, FadeShape::Mute);
    case kCmdFadeFphead:
        return PointAtHeadCommand(pLogic);
    case kCmdFadeFpmark:
        return PointsAtMarksCommand(pLogic);
    case kCmdFadeFpclear:
        return ClearPointsCommand(pLogic);
    case kCmdFadeMerge:
        return FadeMergeCommand(pLogic);
    default:
        return false;
    }
}

void MenuFadeOn(MainLogic& pLogic, int32_t pIndex)
{
    pLogic.FadeChannels = ToggleFadeChannel(pLogic.FadeChannels, pIndex);
    pLogic.Ui().RequestRedraw(RedrawArea::Menus);
}

bool DeleteFadePointCommand(MainLogic& pLogic, int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= pLogic.Proj().FadePointCount() || !pLogic.StartProc(1, 0))
        return false;
    pLogic.Proj().DeleteFadePoint(pIndex);
    pLogic.EndProc();
    return true;
}

bool DragFadePointCommand(MainLogic& pLogic, int32_t pIndex, int32_t pLevel, bool pShift)
{
    Project& p = pLogic.Proj();
    if (pIndex < 0 || pIndex >= p.FadePointCount() || !pLogic.StartProc(1, 0))
        return false;
    const bool done = DragFadePoint(p, pIndex, pLevel, pShift, pLogic.Folder());
    pLogic.EndProc();
    ReportSave(pLogic, done);
    return done;
}

bool FadeMergeCommand(MainLogic& pLogic)
{
    if (!pLogic.CanEdit() || !HasSelection(pLogic))
        return false;
    Project& p = pLogic.Proj();
    const int32_t length = p.ProjectLength;
    const int32_t markIn = std::min(p.MarkIn, std::max(0, length - 1));
    const int32_t markOut = std::min(p.MarkOut, length);
    if (static_cast<int64_t>(markOut) - markIn <= 0) {
        pLogic.ShowMessage(Tr(kFadeNothingSelected));
        return false;
    }
    const int32_t oldIn = p.MarkIn;
    const int32_t oldOut = p.MarkOut;
    const bool wasSaved = p.Saved;
    if (!pLogic.StartProc(1, 0))
        return false;
    p.MarkIn = markIn;
    p.MarkOut = markOut;

    // Every selected track is rendered before anything changes.
    std::vector<std::pair<int32_t, std::string>> rendered;
    bool ok = true;
    for (int32_t t = 0; t <= p.LastTrackNo && ok; ++t) {
        if (p.Tracks[static_cast<size_t>(t)].Selected == 0)
            continue;
        std::string file = pLogic.Folder().NewTempName(kTempWave);
        if (file.empty()) {
            ok = false;
            break;
        }
        RenderRequest request;
        request.File = file;
        request.From = p.MarkIn;
        request.To = p.MarkOut;
        request.Mode = kRenderTrackEnvelope;
        request.Tracks = t;
        request.Label = TrArgs("トラック%1", t + 1);

        if (!RenderTracks(p, request, pLogic.Ui(), CancelRequestProgress(pLogic))) {
            DeleteFileForce(file);
            ok = false;
            break;
        }
        rendered.emplace_back(t, std::move(file));
    }
    if (!ok) {
        for (const auto& [track, file] : rendered)
            DeleteFileForce(file);
        p.MarkIn = oldIn;
        p.MarkOut = oldOut;
        p.Saved = wasSaved;
        pLogic.CancelRequest = false;
        pLogic.EndProc();
        return false;
    }

    bool placedAll = EraseSelected(p, false);
    if (!ClearFade(p, false, pLogic.Folder()))
        pLogic.Ui().ShowError(Tr(kEnvelopeSaveFailed));
    for (const auto& [track, file] : rendered) {
        bool cancelPeaks = false;
        if (!LoadFileToTrack(p, track, file, p.MarkIn, "", pLogic.Folder(), pLogic.Options().WFMode,
                pLogic.Ui(), cancelPeaks))
            placedAll = false;
    }
    pLogic.EndProc();
    return placedAll;
}

} // namespace tarvok
