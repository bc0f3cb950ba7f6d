#include "edit/block_edit.h"

#include "base/i18n.h"
#include "edit/range_edit.h"

#include "base/numeric.h"
#include "core/project_file.h"
#include "core/wave_info.h"

#include <algorithm>
#include <limits>

namespace tarvok {

namespace {

bool ValidBlock(const Project& pProject, int32_t pIndex)
{
    return pIndex >= 0 && pIndex < pProject.BlockCount();
}

bool OnSelectedTrack(const Project& pProject, const Block& pBlock)
{
    return pBlock.TrackNo >= 0 && pBlock.TrackNo <= pProject.LastTrackNo
        && pProject.Tracks[pBlock.TrackNo].Selected != 0;
}

int32_t StepOf(const Project& pProject)
{
    return pProject.SampleStep > 0 ? pProject.SampleStep : 64;
}

/// Inserts a copy of a block right after record pAfter, so that it shares that record's
/// place in the stacking order. False when the table cannot grow.
bool InsertBlockAfter(Project& pProject, int32_t pAfter, const Block& pBlock)
{
    if (!pProject.AddBlock())
        return false;
    pProject.Blocks.pop_back();
    pProject.Blocks.insert(pProject.Blocks.begin() + pAfter + 1, pBlock);
    if (pProject.SelectedBlock > pAfter)
        ++pProject.SelectedBlock;
    return true;
}

/// A copy of pBlock reading from source frame pSrcStart on, placed at pStartAdr.
Block PartFrom(const Block& pBlock, int64_t pSrcStart, int64_t pStartAdr)
{
    Block part = pBlock;
    part.SrcStart = Clamp32(pSrcStart, 1, std::numeric_limits<int32_t>::max());
    part.StartAdr = Clamp32(pStartAdr, 0, std::numeric_limits<int32_t>::max());
    return part;
}

} // namespace

std::vector<int32_t> BlockGroupOf(const Project& pProject, int32_t pIndex)
{
    std::vector<int32_t> members;
    if (!ValidBlock(pProject, pIndex))
        return members;
    int32_t group = pProject.Blocks[pIndex].GroupID;
    for (int32_t i = 0; i < pProject.BlockCount(); ++i)
        if (i == pIndex || (group != 0 && pProject.Blocks[i].GroupID == group))
            members.push_back(i);
    return members;
}

bool DeleteBlockGroup(Project& pProject, int32_t pIndex)
{
    std::vector<int32_t> members = BlockGroupOf(pProject, pIndex);
    if (members.empty())
        return false;
    for (auto it = members.rbegin(); it != members.rend(); ++it)
        pProject.DeleteBlock(*it);
    return true;
}

int32_t SplitAtMarks(Project& pProject)
{
    const int64_t in = pProject.MarkIn;
    const int64_t out = pProject.MarkOut;
    if (out < in)
        return 0;
    int32_t parts = 0;
    for (int32_t i = pProject.BlockCount() - 1; i >= 0; --i) {
        const Block b = pProject.Blocks[i];
        const int64_t s = b.StartAdr;
        const int64_t e = b.EndAdr;
        if (!OnSelectedTrack(pProject, b) || s >= out || e <= in)
            continue;
        if (s >= in && e <= out)
            continue; // wholly inside: nothing to cut
        std::vector<Block> newParts;
        Block& kept = pProject.Blocks[i];
        if (s >= in) {
            // The tail beyond MarkOut becomes a part of its own.
            newParts.push_back(PartFrom(b, b.SrcStart + (out - s), out));
            kept.SrcEnd = Clamp32(b.SrcStart + (out - s) - 1, 1, b.SrcEnd);
        } else if (e > out) {
            // Runs across both marks: a middle part (none when the marks meet) and a tail.
            if (in != out) {
                Block middle = PartFrom(b, b.SrcStart + (in - s), in);
                middle.SrcEnd = Clamp32(b.SrcStart + (out - s) - 1, 1, b.SrcEnd);
                newParts.push_back(middle);
            }
            newParts.push_back(PartFrom(b, b.SrcStart + (out - s), out));
            kept.SrcEnd = Clamp32(b.SrcStart + (in - s) - 1, 1, b.SrcEnd);
        } else {
            newParts.push_back(PartFrom(b, b.SrcStart + (in - s), in));
            kept.SrcEnd = Clamp32(b.SrcStart + (in - s) - 1, 1, b.SrcEnd);
        }
        pProject.NormalizeBlock(i);
        int32_t at = i;
        for (const Block& part : newParts) {
            if (!InsertBlockAfter(pProject, at, part))
                break;
            ++at;
            pProject.NormalizeBlock(at);
            ++parts;
        }
    }
    return parts;
}

int32_t SplitAtHead(Project& pProject)
{
    pProject.MarkIn = pProject.MarkOut = pProject.Head;
    return SplitAtMarks(pProject);
}

bool ClipBlockGroup(Project& pProject, int32_t pIndex)
{
    std::vector<int32_t> members = BlockGroupOf(pProject, pIndex);
    if (members.empty())
        return false;
    int32_t firstTrack = kMaxTrackIndex;
    int32_t lastTrack = 0;
    int32_t firstFrame = std::numeric_limits<int32_t>::max();
    int32_t lastFrame = 0;
    for (int32_t i : members) {
        const Block& b = pProject.Blocks[i];
        firstTrack = std::min(firstTrack, b.TrackNo);
        lastTrack = std::max(lastTrack, b.TrackNo);
        firstFrame = std::min(firstFrame, b.StartAdr);
        lastFrame = std::max(lastFrame, b.EndAdr);
    }
    ClipProject& clip = pProject.Clip;
    clip.Clear();
    clip.FirstTrack = firstTrack;
    clip.LastTrackNo = lastTrack - firstTrack;
    // The clip covers the group's last frame too, so a one-frame group is not empty.
    clip.Length = lastFrame - firstFrame + 1;
    clip.Envelopes.assign(static_cast<size_t>(clip.LastTrackNo) + 1, TrackEnvelope {});
    clip.TrackPresent.assign(static_cast<size_t>(clip.LastTrackNo) + 1, 0);
    clip.NoEnvelope = true; // blocks only: paste lays them over the material as they are
    for (int32_t i : members) {
        Block copy = pProject.Blocks[i];
        const WaveFile& wave = pProject.WaveFiles[copy.WaveNo];
        int32_t clipWave = -1;
        for (int32_t w = 0; w < static_cast<int32_t>(clip.WaveFiles.size()); ++w)
            if (clip.WaveFiles[w].FileName == wave.FileName)
                clipWave = w;
        if (clipWave < 0) {
            clip.WaveFiles.push_back(wave);
            clip.Peaks.push_back(pProject.Peaks[copy.WaveNo]);
            clipWave = static_cast<int32_t>(clip.WaveFiles.size()) - 1;
        }
        copy.WaveNo = clipWave;
        copy.StartAdr -= firstFrame;
        copy.TrackNo -= firstTrack;
        NormalizeBlockFields(copy, clip.WaveFiles[clipWave], clip.LastTrackNo, pProject.SampleStep);
        clip.Blocks.push_back(copy);
    }
    return true;
}

GroupMove LimitGroupMove(const Project& pProject, int32_t pIndex, int32_t pFrames, int32_t pTracks)
{
    std::vector<int32_t> members = BlockGroupOf(pProject, pIndex);
    if (members.empty())
        return {};
    int64_t minStart = std::numeric_limits<int64_t>::max();
    int64_t maxEnd = 0;
    int64_t lowTrack = kMaxTrackIndex;
    int64_t highTrack = 0;
    for (int32_t i : members) {
        const Block& b = pProject.Blocks[i];
        minStart = std::min<int64_t>(minStart, b.StartAdr);
        maxEnd = std::max<int64_t>(maxEnd, b.EndAdr);
        lowTrack = std::min<int64_t>(lowTrack, b.TrackNo);
        highTrack = std::max<int64_t>(highTrack, b.TrackNo);
    }
    int64_t frames = pFrames;
    if (minStart + frames < 0)
        frames = -minStart;
    // The last frame must stay below kMaxLength; stopping at it would make NormalizeBlock
    // push that member back and bend the group out of shape.
    if (maxEnd + frames > kMaxLength - 1)
        frames = kMaxLength - 1 - maxEnd;
    int64_t tracks = pTracks;
    if (lowTrack + tracks < 0)
        tracks = -lowTrack;
    if (highTrack + tracks > pProject.LastTrackNo)
        tracks = pProject.LastTrackNo - highTrack;
    return { static_cast<int32_t>(frames), static_cast<int32_t>(tracks) };
}

bool GroupMoveFits(const Project& pProject, int32_t pIndex, int32_t pFrames)
{
    const std::vector<int32_t> members = BlockGroupOf(pProject, pIndex);
    if (members.empty())
        return true;
    int64_t minStart = std::numeric_limits<int64_t>::max();
    int64_t maxEnd = 0;
    for (int32_t i : members) {
        minStart = std::min<int64_t>(minStart, pProject.Blocks[i].StartAdr);
        maxEnd = std::max<int64_t>(maxEnd, pProject.Blocks[i].EndAdr);
    }
    return minStart + pFrames >= 0 && maxEnd + pFrames <= kMaxLength - 1;
}

bool MoveBlockGroup(Project& pProject, int32_t pIndex, int32_t pFrames, int32_t pTracks)
{
    GroupMove move = LimitGroupMove(pProject, pIndex, pFrames, pTracks);
    if (move.Frames == 0 && move.Tracks == 0)
        return false;
    for (int32_t i : BlockGroupOf(pProject, pIndex)) {
        Block& b = pProject.Blocks[i];
        b.StartAdr += move.Frames;
        b.TrackNo += move.Tracks;
        pProject.NormalizeBlock(i);
    }
    return true;
}

int32_t TrimBlockEdge(Project& pProject, int32_t pIndex, BlockEdge pEdge, int32_t pFrames)
{
    if (!ValidBlock(pProject, pIndex))
        return 0;
    Block& b = pProject.Blocks[pIndex];
    if (b.WaveNo < 0 || b.WaveNo >= pProject.WaveFileCount())
        return 0;
    const int64_t step = StepOf(pProject);
    int64_t moved = 0;
    if (pEdge == BlockEdge::Start) {
        // Never before the file's first frame nor before timeline frame 0.
        int64_t lower = std::max<int64_t>(1, static_cast<int64_t>(b.SrcStart) - b.StartAdr);
        int64_t upper = std::max<int64_t>(b.SrcStart, b.SrcEnd - step);
        int64_t wanted
            = std::clamp<int64_t>(static_cast<int64_t>(b.SrcStart) + pFrames, lower, upper);
        moved = wanted - b.SrcStart;
        b.SrcStart = static_cast<int32_t>(wanted);
        b.StartAdr = static_cast<int32_t>(b.StartAdr + moved);
    } else {
        const WaveFile& wave = pProject.WaveFiles[b.WaveNo];
        // Never beyond the file's last frame nor onto kMaxLength.
        int64_t lower = std::min<int64_t>(b.SrcEnd, b.SrcStart + step);
        int64_t fileEnd = std::min<int64_t>(
            wave.Length, b.SrcStart + (kMaxLength - 1 - static_cast<int64_t>(b.StartAdr)));
        int64_t upper = std::max<int64_t>(b.SrcEnd, fileEnd);
        int64_t wanted
            = std::clamp<int64_t>(static_cast<int64_t>(b.SrcEnd) + pFrames, lower, upper);
        moved = wanted - b.SrcEnd;
        b.SrcEnd = static_cast<int32_t>(wanted);
    }
    pProject.NormalizeBlock(pIndex);
    return static_cast<int32_t>(moved);
}

bool ToggleGroupFlag(Project& pProject, int32_t pIndex, int32_t pFlag)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    bool set = (pProject.Blocks[pIndex].Flags & pFlag) == 0;
    for (int32_t i : BlockGroupOf(pProject, pIndex)) {
        if (set)
            pProject.Blocks[i].Flags |= pFlag;
        else
            pProject.Blocks[i].Flags &= ~pFlag;
    }
    return true;
}

bool FitBlockFront(Project& pProject, int32_t pIndex)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    const Block& b = pProject.Blocks[pIndex];
    int32_t before = -1;
    for (int32_t j = 0; j < pProject.BlockCount(); ++j) {
        const Block& o = pProject.Blocks[j];
        if (j != pIndex && o.TrackNo == b.TrackNo && o.StartAdr < b.StartAdr
            && (before < 0 || o.StartAdr > pProject.Blocks[before].StartAdr))
            before = j;
    }
    int64_t start = before < 0
        ? 0
        : static_cast<int64_t>(pProject.Blocks[before].StartAdr) + pProject.Blocks[before].Length;
    pProject.Blocks[pIndex].StartAdr = Clamp32(start, 0, kMaxLength);
    pProject.NormalizeBlock(pIndex);
    return true;
}

bool FitBlockRear(Project& pProject, int32_t pIndex)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    const Block& b = pProject.Blocks[pIndex];
    int32_t after = -1;
    for (int32_t j = 0; j < pProject.BlockCount(); ++j) {
        const Block& o = pProject.Blocks[j];
        if (j != pIndex && o.TrackNo == b.TrackNo && o.StartAdr > b.StartAdr
            && (after < 0 || o.StartAdr < pProject.Blocks[after].StartAdr))
            after = j;
    }
    // Without a later block the end is the project's end, measured now rather than taken
    // from a length that an unfinished edit may not have refreshed yet.
    int64_t end = after < 0 ? pProject.ComputeLength() : pProject.Blocks[after].StartAdr;
    pProject.Blocks[pIndex].StartAdr = Clamp32(end - b.Length, 0, kMaxLength);
    pProject.NormalizeBlock(pIndex);
    return true;
}

bool BringBlockToFront(Project& pProject, int32_t pIndex)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    auto first = pProject.Blocks.begin() + pIndex;
    std::rotate(first, first + 1, pProject.Blocks.end());
    int32_t last = pProject.BlockCount() - 1;
    if (pProject.SelectedBlock == pIndex)
        pProject.SelectedBlock = last;
    else if (pProject.SelectedBlock > pIndex)
        --pProject.SelectedBlock;
    return true;
}

bool SendBlockBehind(Project& pProject, int32_t pIndex)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    auto block = pProject.Blocks.begin() + pIndex;
    std::rotate(pProject.Blocks.begin(), block, block + 1);
    if (pProject.SelectedBlock == pIndex)
        pProject.SelectedBlock = 0;
    else if (pProject.SelectedBlock >= 0 && pProject.SelectedBlock < pIndex)
        ++pProject.SelectedBlock;
    return true;
}

bool SetBlockAddress(Project& pProject, int32_t pIndex, int32_t pStartAdr)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    pProject.Blocks[pIndex].StartAdr = pStartAdr;
    pProject.NormalizeBlock(pIndex);
    return true;
}

bool SetBlockLevel(Project& pProject, int32_t pIndex, float pLevelL, float pLevelR)
{
    if (!ValidBlock(pProject, pIndex))
        return false;
    pProject.Blocks[pIndex].LevelL = pLevelL;
    pProject.Blocks[pIndex].LevelR = pLevelR;
    return true;
}

int32_t SetGroupIdInRange(Project& pProject, int32_t pGroupId)
{
    int32_t count = 0;
    for (int32_t i = 0; i < pProject.BlockCount(); ++i)
        if (pProject.IsBlockInRange(i)) {
            pProject.Blocks[i].GroupID = pGroupId;
            ++count;
        }
    return count;
}

bool RemoveTrack(Project& pProject, int32_t pTrack)
{
    Project& p = pProject;
    if (p.LastTrackNo <= 0 || pTrack < 0 || pTrack > p.LastTrackNo)
        return false;
    for (int32_t i = p.BlockCount() - 1; i >= 0; --i)
        if (p.Blocks[i].TrackNo == pTrack)
            p.DeleteBlock(i);
    for (Block& b : p.Blocks)
        if (b.TrackNo > pTrack)
            --b.TrackNo;
    // Fade points follow their envelopes: those of the removed track go with it.
    for (int32_t i = p.FadePointCount() - 1; i >= 0; --i) {
        if (p.FadePoints[i].TrackNo == pTrack)
            p.DeleteFadePoint(i);
        else if (p.FadePoints[i].TrackNo > pTrack)
            --p.FadePoints[i].TrackNo;
    }
    p.Tracks.erase(p.Tracks.begin() + pTrack);
    p.Envelopes.erase(p.Envelopes.begin() + pTrack);
    bool allShown = p.ViewTrackCount >= p.LastTrackNo;
    --p.LastTrackNo;
    p.ViewTrackCount = allShown ? p.LastTrackNo : Clamp32(p.ViewTrackCount, 0, p.LastTrackNo);
    if (p.CurrentTrack > p.LastTrackNo)
        p.CurrentTrack = 0;
    p.Tracks[p.CurrentTrack].Selected = 1;
    return true;
}

bool InsertTrack(Project& pProject, int32_t pTrack)
{
    Project& p = pProject;
    if (p.LastTrackNo >= kMaxTrackIndex || pTrack < 0 || pTrack > p.LastTrackNo + 1)
        return false;
    Track fresh;
    fresh.LevelL = fresh.LevelR = fresh.AutoLevelL = fresh.AutoLevelR = p.UnityLevel;
    fresh.Selected = 0;
    fresh.RecSelected = 0;
    fresh.RecCh = 0;
    fresh.PlayCh = 0;
    fresh.LevelLinked = 0;
    fresh.PlaySelected = 1;
    p.Tracks.insert(p.Tracks.begin() + pTrack, fresh);
    p.Envelopes.insert(p.Envelopes.begin() + pTrack,
        TrackEnvelope(
            static_cast<size_t>(p.EnvelopeLength) * 2, static_cast<uint8_t>(p.UnityLevel)));
    for (Block& b : p.Blocks)
        if (b.TrackNo >= pTrack)
            ++b.TrackNo;
    for (FadePoint& f : p.FadePoints)
        if (f.TrackNo >= pTrack)
            ++f.TrackNo;
    bool allShown = p.ViewTrackCount >= p.LastTrackNo;
    ++p.LastTrackNo;
    if (allShown)
        p.ViewTrackCount = p.LastTrackNo;
    return true;
}

Result<std::string> UnwiredTrackRender(const Project&, int32_t pTrack)
{
    return Fail(TrArgs("トラック%1のレンダリングはできません", pTrack + 1));
}

Result<std::vector<PlacedFile>> MergeRange(Project& pProject, const TrackRenderer& pRender)
{
    if (pProject.MarkOut - static_cast<int64_t>(pProject.MarkIn) <= 0)
        return Fail(Tr("選択されていません"));
    std::vector<std::pair<int32_t, std::string>> rendered;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        if (pProject.Tracks[t].Selected == 0)
            continue;
        Result<std::string> file = pRender ? pRender(pProject, t) : UnwiredTrackRender(pProject, t);
        if (!file)
            return file.error();
        rendered.emplace_back(t, *file);
    }
    // Every file is checked before the range is erased, so a bad render changes nothing.
    for (const auto& [track, path] : rendered) {
        WaveInfo info = ReadWaveInfo(path);
        if (info.Valid == 0 || info.Frames < 1)
            return Fail(Tr("ファイル形式が違います"));
    }
    if (!EraseSelected(pProject, false))
        return Fail(Tr("編集エラー"));
    std::vector<PlacedFile> placed;
    for (const auto& [track, path] : rendered) {
        Result<PlacedFile> one = PlaceFileOnTrack(pProject, track, path, pProject.MarkIn, "");
        if (one)
            placed.push_back(*one);
    }
    return placed;
}

} // namespace tarvok
