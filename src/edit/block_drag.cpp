#include "edit/block_drag.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/envelope.h"
#include "core/time_text.h"

#include <algorithm>
#include <limits>
#include <set>

namespace tarvok {

namespace {

std::string TimeOf(const Project& pProject, int64_t pFrames, bool pSigned)
{
    return TimeText(FramesToMs(pFrames, pProject.SampleRate), 0, pSigned);
}

bool IsLocked(const Project& pProject, int32_t pIndex)
{
    return (pProject.Blocks[pIndex].Flags & kBlockLocked) != 0;
}

} // namespace

void BlockDrag::Reset()
{
    mode_ = DragMode::None;
    block_ = -1;
    previousFrame_ = 0;
    previousTrack_ = 0;
    snapshotTaken_ = false;
    scroll_ = 0;
    sections_.clear();
    capturedFades_.clear();
}

PressOutcome BlockDrag::Press(Project& pProject, const DragPress& pPress, bool pShiftToDrag)
{
    Project& p = pProject;
    Reset();
    PressOutcome outcome;
    if (pPress.Track < 0 || pPress.Track > p.LastTrackNo) {
        outcome.Message = Tr("トラック選択エラー");
        return outcome;
    }
    p.CurrentTrack = pPress.Track;
    p.SelectedBlock = -1;
    for (int32_t i = p.BlockCount() - 1; i >= 0; --i) {
        const tarvok::Block& b = p.Blocks[i];
        if (b.TrackNo == pPress.Track && b.StartAdr <= pPress.Frame && pPress.Frame <= b.EndAdr) {
            p.SelectedBlock = i;
            break;
        }
    }
    if (p.SelectedBlock >= 0)
        outcome.Message = p.Blocks[p.SelectedBlock].Name;

    auto selectBlockRange = [&p](int32_t pIndex) {
        p.MarkIn = p.Blocks[pIndex].StartAdr;
        p.MarkOut = p.Blocks[pIndex].EndAdr + 1;
    };

    if (!pPress.LowerHalf) {
        mode_ = outcome.Mode = DragMode::Range;
        return outcome;
    }
    if (pShiftToDrag && !pPress.Shift) {
        if (pPress.Alt && p.SelectedBlock >= 0)
            selectBlockRange(p.SelectedBlock);
        mode_ = outcome.Mode = DragMode::Head;
        return outcome;
    }

    bool carry = p.SelectedBlock >= 0
        && (pPress.Alt || (p.Blocks[p.SelectedBlock].Flags & kBlockFadeLocked) != 0);
    if (carry)
        selectBlockRange(p.SelectedBlock);

    const int64_t near = std::max(0, pPress.EdgeFrames);
    for (int32_t i = p.BlockCount() - 1; i >= 0; --i) {
        const tarvok::Block& b = p.Blocks[i];
        if (b.TrackNo != pPress.Track)
            continue;
        int64_t toStart = static_cast<int64_t>(pPress.Frame) - b.StartAdr;
        int64_t toEnd = static_cast<int64_t>(pPress.Frame) - b.EndAdr;
        if (toStart >= -near && toStart <= near) {
            BeginTrim(p, i, BlockEdge::Start);
            break;
        }
        if (toEnd >= -near && toEnd <= near) {
            BeginTrim(p, i, BlockEdge::End);
            break;
        }
    }
    if (mode_ == DragMode::None && p.SelectedBlock >= 0)
        BeginMove(p, p.SelectedBlock, carry);
    previousFrame_ = pPress.Frame;
    previousTrack_ = pPress.Track;
    outcome.Mode = mode_;
    outcome.Block = block_;
    return outcome;
}

bool BlockDrag::BeginMove(Project& pProject, int32_t pIndex, bool pCarryEnvelope)
{
    if (pIndex < 0 || pIndex >= pProject.BlockCount())
        return false;
    Reset();
    mode_ = DragMode::Move;
    block_ = pIndex;
    previousFrame_ = pProject.Blocks[pIndex].StartAdr;
    previousTrack_ = pProject.Blocks[pIndex].TrackNo;
    if (pCarryEnvelope)
        CaptureEnvelope(pProject);
    return true;
}

bool BlockDrag::BeginTrim(Project& pProject, int32_t pIndex, BlockEdge pEdge)
{
    if (pIndex < 0 || pIndex >= pProject.BlockCount())
        return false;
    Reset();
    mode_ = pEdge == BlockEdge::Start ? DragMode::TrimStart : DragMode::TrimEnd;
    block_ = pIndex;
    const tarvok::Block& b = pProject.Blocks[pIndex];
    previousFrame_ = pEdge == BlockEdge::Start ? b.StartAdr : b.EndAdr;
    previousTrack_ = b.TrackNo;
    return true;
}

bool BlockDrag::Snapshot(Project& pProject, const DragHooks& pHooks)
{
    if (snapshotTaken_)
        return true;
    if (pHooks.TakeSnapshot && !pHooks.TakeSnapshot()) {
        // A change that could not be undone is not made: the drag ends here.
        Reset();
        return false;
    }
    snapshotTaken_ = true;
    pProject.Saved = false;
    return true;
}

std::string BlockDrag::ApplyDelta(
    Project& pProject, int32_t pFrames, int32_t pTrack, const DragHooks& pHooks)
{
    Project& p = pProject;
    if (block_ < 0 || block_ >= p.BlockCount() || IsLocked(p, block_))
        return {};
    if (mode_ == DragMode::Move) {
        GroupMove move = LimitGroupMove(p, block_, pFrames, pTrack - p.Blocks[block_].TrackNo);
        if (move.Frames == 0 && move.Tracks == 0)
            return {};
        if (!Snapshot(p, pHooks))
            return {};
        MoveBlockGroup(p, block_, move.Frames, move.Tracks);
        p.UpdateTitleLength(true);
        return TrArgs("ブロック位置  %1",
            TimeOf(p, static_cast<int64_t>(p.Blocks[block_].StartAdr) - p.ZeroPos, true));
    }
    if (mode_ != DragMode::TrimStart && mode_ != DragMode::TrimEnd)
        return {};
    BlockEdge edge = mode_ == DragMode::TrimStart ? BlockEdge::Start : BlockEdge::End;
    // Try the trim first; the record is put back for the snapshot when this is the first
    // change of the drag, so that the snapshot holds the state before it.
    const tarvok::Block before = p.Blocks[block_];
    int32_t moved = TrimBlockEdge(p, block_, edge, pFrames);
    if (moved == 0)
        return {};
    if (!snapshotTaken_) {
        tarvok::Block after = p.Blocks[block_];
        const int32_t index = block_;
        p.Blocks[index] = before;
        if (!Snapshot(p, pHooks))
            return {};
        p.Blocks[index] = after;
    }
    p.UpdateTitleLength(true);
    const tarvok::Block& b = p.Blocks[block_];
    if (edge == BlockEdge::Start)
        return TrArgs("ブロック開始  %1", TimeOf(p, b.SrcStart, false));
    return TrArgs("ブロック終了  %1", TimeOf(p, b.SrcEnd, false));
}

std::string BlockDrag::Move(Project& pProject, int32_t pFrame, int32_t pTrack, int32_t pBeyond,
    bool pCtrl, const DragHooks& pHooks)
{
    if (mode_ != DragMode::Move && mode_ != DragMode::TrimStart && mode_ != DragMode::TrimEnd)
        return {};
    if (pFrame == previousFrame_ && pTrack == previousTrack_)
        return {};
    int32_t delta = Clamp32(static_cast<int64_t>(pFrame) - previousFrame_, -kMaxLength, kMaxLength);
    previousFrame_ = pFrame;
    previousTrack_ = pTrack;
    if (mode_ == DragMode::Move) {
        if (pCtrl)
            return {};
        if (pBeyond != 0) {
            scroll_ = pBeyond < 0 ? -1 : 1;
            return {};
        }
        scroll_ = 0;
        return ApplyDelta(pProject, delta, Clamp32(pTrack, 0, pProject.LastTrackNo), pHooks);
    }
    return ApplyDelta(pProject, delta, 0, pHooks);
}

std::string BlockDrag::FollowScroll(Project& pProject, int32_t pFrames, const DragHooks& pHooks)
{
    if (mode_ != DragMode::Move || block_ < 0 || block_ >= pProject.BlockCount())
        return {};
    previousFrame_ = Clamp32(static_cast<int64_t>(previousFrame_) + pFrames,
        std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return ApplyDelta(pProject, pFrames, pProject.Blocks[block_].TrackNo, pHooks);
}

bool BlockDrag::Release(Project& pProject, const DragHooks& pHooks)
{
    bool changed = snapshotTaken_ && block_ >= 0 && block_ < pProject.BlockCount()
        && (mode_ == DragMode::Move || mode_ == DragMode::TrimStart || mode_ == DragMode::TrimEnd);
    if (changed) {
        pProject.NormalizeBlock(block_);
        // The length first, so that the envelopes already reach the block's new place.
        pProject.UpdateTitleLength(false);
        if (!sections_.empty())
            PlaceEnvelope(pProject, pHooks);
    }
    Reset();
    return changed;
}

void BlockDrag::CaptureEnvelope(const Project& pProject)
{
    const Project& p = pProject;
    std::set<int32_t> taken;
    for (int32_t i : BlockGroupOf(p, block_)) {
        const tarvok::Block& b = p.Blocks[i];
        Section section;
        section.Block = i;
        section.Track = b.TrackNo;
        section.FirstFrame = b.StartAdr / kEnvelopeFrameSamples;
        int64_t count = (static_cast<int64_t>(b.Length) + 1) / kEnvelopeFrameSamples + 2;
        count = std::clamp<int64_t>(count, 0,
            std::max<int64_t>(0, static_cast<int64_t>(p.EnvelopeLength) - section.FirstFrame));
        const TrackEnvelope& env = p.Envelopes[b.TrackNo];
        size_t from = static_cast<size_t>(section.FirstFrame) * 2;
        size_t to = from + static_cast<size_t>(count) * 2;
        if (to <= env.size())
            section.Frames.assign(env.begin() + static_cast<std::ptrdiff_t>(from),
                env.begin() + static_cast<std::ptrdiff_t>(to));
        for (int32_t f = 0; f < p.FadePointCount(); ++f) {
            const FadePoint& fade = p.FadePoints[f];
            if (fade.TrackNo != b.TrackNo || fade.EnvFrame < section.FirstFrame
                || fade.EnvFrame >= section.FirstFrame + count || taken.count(f))
                continue;
            taken.insert(f);
            capturedFades_.push_back(f);
            section.Fades.push_back({ fade.EnvFrame - section.FirstFrame, fade.Channels });
        }
        sections_.push_back(std::move(section));
    }
}

void BlockDrag::PlaceEnvelope(Project& pProject, const DragHooks& pHooks)
{
    Project& p = pProject;
    const auto unity = static_cast<uint8_t>(p.UnityLevel);
    std::set<int32_t> changedTracks;
    // Every old section is cleared before any is written, so members of a group that
    // overlap on one track do not wipe each other's new frames.
    for (const Section& s : sections_) {
        if (s.Track < 0 || s.Track > p.LastTrackNo)
            continue;
        TrackEnvelope& env = p.Envelopes[s.Track];
        size_t from = static_cast<size_t>(s.FirstFrame) * 2;
        size_t to = std::min(env.size(), from + s.Frames.size());
        for (size_t k = from; k < to; ++k)
            env[k] = unity;
        changedTracks.insert(s.Track);
    }
    std::vector<int32_t> fades = capturedFades_;
    std::sort(fades.begin(), fades.end());
    for (auto it = fades.rbegin(); it != fades.rend(); ++it)
        p.DeleteFadePoint(*it);
    for (const Section& s : sections_) {
        if (s.Block < 0 || s.Block >= p.BlockCount())
            continue;
        const tarvok::Block& b = p.Blocks[s.Block];
        TrackEnvelope& env = p.Envelopes[b.TrackNo];
        size_t from = static_cast<size_t>(b.StartAdr / kEnvelopeFrameSamples) * 2;
        for (size_t k = 0; k < s.Frames.size() && from + k < env.size(); ++k)
            env[from + k] = s.Frames[k];
        changedTracks.insert(b.TrackNo);
        for (const FadeCopy& fade : s.Fades) {
            if (!p.AddFadePoint())
                break;
            FadePoint& added = p.FadePoints.back();
            int64_t frame = static_cast<int64_t>(b.StartAdr / kEnvelopeFrameSamples) + fade.Offset;
            added.EnvFrame = Clamp32(frame, 0, std::max(0, p.EnvelopeLength - 1));
            added.TrackNo = b.TrackNo;
            added.Channels = fade.Channels;
        }
    }
    if (!pHooks.NewEnvelopeName)
        return;
    for (int32_t track : changedTracks) {
        std::string name = pHooks.NewEnvelopeName();
        if (!name.empty())
            SaveEnvelope(p, track, name);
    }
}

} // namespace tarvok
