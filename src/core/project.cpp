#include "core/project.h"

#include "base/numeric.h"
#include "base/text.h"
#include "core/envelope.h"

#include <limits>

namespace tarvok {

namespace {
// Tables are bounded so that indices always fit the 32-bit fields that refer to them.
constexpr size_t kMaxTableSize = static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2);
} // namespace

void ClipProject::Clear()
{
    Blocks.clear();
    WaveFiles.clear();
    Peaks.clear();
    Envelopes.clear();
    FadePoints.clear();
    TrackPresent.clear();
    FirstTrack = 0;
    LastTrackNo = 0;
    Length = 0;
    NoEnvelope = false;
}

bool Project::SetFadeTableType(int32_t pType)
{
    if (!BuildFadeTable(pType, Fades))
        return false;
    FadeTableType = pType;
    UnityLevel = UnityLevelOf(pType);
    return true;
}

void Project::SetTrackCount(int32_t pCount)
{
    int32_t count = Clamp32(pCount, 1, kMaxTracks);
    Track fresh;
    fresh.LevelL = fresh.LevelR = fresh.AutoLevelL = fresh.AutoLevelR = UnityLevel;
    Tracks.resize(static_cast<size_t>(count), fresh);
    Envelopes.resize(static_cast<size_t>(count),
        TrackEnvelope(static_cast<size_t>(EnvelopeLength) * 2, static_cast<uint8_t>(UnityLevel)));
    LastTrackNo = count - 1;
    if (CurrentTrack > LastTrackNo)
        CurrentTrack = LastTrackNo;
    if (CurrentTrack < 0)
        CurrentTrack = 0;
    ViewTrackCount = Clamp32(ViewTrackCount, 0, LastTrackNo);
}

bool Project::AddBlock()
{
    if (Blocks.size() >= kMaxTableSize)
        return false;
    Blocks.emplace_back();
    return true;
}

bool Project::DeleteBlock(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= BlockCount())
        return false;
    int32_t wave = Blocks[pIndex].WaveNo;
    Blocks.erase(Blocks.begin() + pIndex);
    SelectedBlock = -1;
    if (wave >= 0 && wave < WaveFileCount() && !IsWaveFileUsed(wave))
        RemoveWaveFile(wave);
    return true;
}

void NormalizeBlockFields(
    Block& pBlock, const WaveFile& pWave, int32_t pLastTrackNo, int32_t pSampleStep)
{
    pBlock.TrackNo = Clamp32(pBlock.TrackNo, 0, pLastTrackNo);
    if (pBlock.SrcEnd > pWave.Length)
        pBlock.SrcEnd = pWave.Length;
    if (pBlock.SrcStart > pWave.Length)
        pBlock.SrcStart = pWave.Length;
    if (pBlock.SrcStart < 1)
        pBlock.SrcStart = 1;
    // A source end before its start would give a block of no frames; it keeps one frame.
    if (pBlock.SrcEnd < pBlock.SrcStart)
        pBlock.SrcEnd = pBlock.SrcStart;
    pBlock.Length = pBlock.SrcEnd - pBlock.SrcStart + 1;
    if (pBlock.StartAdr < 0)
        pBlock.StartAdr = 0;
    if (static_cast<int64_t>(pBlock.Length) + pBlock.StartAdr > kMaxLength)
        pBlock.StartAdr = kMaxLength - pBlock.Length;
    pBlock.EndAdr = pBlock.Length + pBlock.StartAdr - 1;
    int32_t step = pSampleStep > 0 ? pSampleStep : 64;
    pBlock.PeakStart = pBlock.SrcStart / step;
    pBlock.PeakEnd = pBlock.SrcEnd / step;
    if (pBlock.PeakStart > pWave.PeakCount - 1)
        pBlock.PeakStart = pWave.PeakCount - 1;
    if (pBlock.PeakEnd > pWave.PeakCount - 1)
        pBlock.PeakEnd = pWave.PeakCount - 1;
    pBlock.PeakLen = pBlock.PeakEnd - pBlock.PeakStart + 1;
}

void Project::NormalizeBlock(Block& pBlock, const WaveFile& pWave) const
{
    NormalizeBlockFields(pBlock, pWave, LastTrackNo, SampleStep);
}

bool Project::NormalizeBlock(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= BlockCount())
        return false;
    Block& block = Blocks[pIndex];
    if (block.WaveNo < 0 || block.WaveNo >= WaveFileCount())
        return false;
    NormalizeBlock(block, WaveFiles[block.WaveNo]);
    return true;
}

bool Project::IsBlockInRange(int32_t pIndex) const
{
    if (pIndex < 0 || pIndex >= BlockCount())
        return false;
    const Block& b = Blocks[pIndex];
    if (b.TrackNo < 0 || b.TrackNo > LastTrackNo || Tracks[b.TrackNo].Selected == 0)
        return false;
    return b.StartAdr < MarkOut && b.EndAdr >= MarkIn;
}

int32_t Project::FindWaveFile(std::string_view pPath) const
{
    for (int32_t i = 0; i < WaveFileCount(); ++i)
        if (EqualsNoCase(WaveFiles[i].FileName, pPath))
            return i;
    return -1;
}

int32_t Project::AddWaveFileEntry(std::string_view pPath, int32_t pDataOffset, int32_t pFrames)
{
    if (int32_t existing = FindWaveFile(pPath); existing >= 0)
        return existing;
    if (WaveFiles.size() >= kMaxTableSize || pFrames < 0 || pDataOffset < 0)
        return -1;
    WaveFile wave;
    wave.FileName = std::string(pPath);
    wave.DataOffset = pDataOffset;
    wave.Length = pFrames;
    int32_t step = SampleStep > 0 ? SampleStep : 64;
    wave.PeakCount = pFrames / step + 1;
    WaveFiles.push_back(std::move(wave));
    Peaks.emplace_back(static_cast<size_t>(WaveFiles.back().PeakCount) * 2, uint8_t { 0 });
    return WaveFileCount() - 1;
}

bool Project::IsWaveFileUsed(int32_t pIndex) const
{
    for (const Block& b : Blocks)
        if (b.WaveNo == pIndex)
            return true;
    return false;
}

bool Project::RemoveWaveFile(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= WaveFileCount())
        return false;
    WaveFiles.erase(WaveFiles.begin() + pIndex);
    if (pIndex < static_cast<int32_t>(Peaks.size()))
        Peaks.erase(Peaks.begin() + pIndex);
    for (Block& b : Blocks)
        if (b.WaveNo > pIndex)
            --b.WaveNo;
    return true;
}

bool Project::AddFadePoint()
{
    if (FadePoints.size() >= kMaxTableSize)
        return false;
    FadePoints.emplace_back();
    return true;
}

bool Project::DeleteFadePoint(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= FadePointCount())
        return false;
    FadePoints.erase(FadePoints.begin() + pIndex);
    return true;
}

int32_t Project::ComputeLength() const
{
    int64_t length = 0;
    for (const Block& b : Blocks)
        if (static_cast<int64_t>(b.EndAdr) + 1 > length)
            length = static_cast<int64_t>(b.EndAdr) + 1;
    if (RecordingEnd > length)
        length = RecordingEnd;
    return Clamp32(length, 0, std::numeric_limits<int32_t>::max());
}

bool Project::UpdateTitleLength(bool pOnlyLonger)
{
    int32_t length = ComputeLength();
    if (pOnlyLonger && length < ProjectLength)
        return false;
    int32_t old = ProjectLength;
    ProjectLength = length;
    if (length > old || static_cast<int64_t>(old) - length > static_cast<int64_t>(SampleRate) * 60)
        ResizeEnvelopes(*this, length, true);
    return length != old;
}

void Project::ResetProject()
{
    ProjectFile.clear();
    LastSoundFile.clear();
    UndoCounter = 0;
    LastUndoType = 0;
    Zoom = kDefaultZoom;
    RecordingEnd = -1;
    Peaks.clear();
    for (Track& t : Tracks) {
        t.Name.clear();
        t.EnvelopeFile.clear();
    }
    for (TrackEnvelope& env : Envelopes)
        env.clear();
    EnvelopeLength = 0;
    SelectedBlock = -1;
    ZeroPos = 0;
    Blocks.clear();
    FadePoints.clear();
    WaveFiles.clear();
    Clip.Clear();
}

std::string Project::CheckInvariants() const
{
    if (LastTrackNo < 0 || LastTrackNo > kMaxTrackIndex)
        return "LastTrackNo out of range: " + std::to_string(LastTrackNo);
    if (static_cast<int32_t>(Tracks.size()) != LastTrackNo + 1)
        return "Tracks holds " + std::to_string(Tracks.size()) + " records";
    if (static_cast<int32_t>(Envelopes.size()) != LastTrackNo + 1)
        return "Envelopes holds " + std::to_string(Envelopes.size()) + " envelopes";
    for (size_t t = 0; t < Envelopes.size(); ++t)
        if (Envelopes[t].size() != static_cast<size_t>(EnvelopeLength) * 2)
            return "envelope of track " + std::to_string(t) + " has the wrong length";
    if (CurrentTrack < 0 || CurrentTrack > LastTrackNo)
        return "CurrentTrack out of range";
    if (Peaks.size() != WaveFiles.size())
        return "peak arrays do not match the wave files";
    int32_t step = SampleStep > 0 ? SampleStep : 64;
    for (int32_t w = 0; w < WaveFileCount(); ++w) {
        const WaveFile& wave = WaveFiles[w];
        if (wave.PeakCount != wave.Length / step + 1)
            return "wave file " + std::to_string(w) + " has the wrong PeakCount";
        if (Peaks[w].size() != static_cast<size_t>(wave.PeakCount) * 2)
            return "peak array " + std::to_string(w) + " has the wrong size";
        if (!IsWaveFileUsed(w))
            return "wave file " + std::to_string(w) + " is used by no block";
        for (int32_t v = 0; v < w; ++v)
            if (EqualsNoCase(WaveFiles[v].FileName, wave.FileName))
                return "wave file " + std::to_string(w) + " occurs twice";
    }
    for (int32_t i = 0; i < BlockCount(); ++i) {
        const Block& b = Blocks[i];
        std::string where = "block " + std::to_string(i) + ": ";
        if (b.TrackNo < 0 || b.TrackNo > LastTrackNo)
            return where + "TrackNo out of range";
        if (b.WaveNo < 0 || b.WaveNo >= WaveFileCount())
            return where + "WaveNo out of range";
        const WaveFile& wave = WaveFiles[b.WaveNo];
        if (b.SrcStart < 1 || b.SrcStart > b.SrcEnd || b.SrcEnd > wave.Length)
            return where + "source range outside its wave file";
        if (b.StartAdr < 0 || b.EndAdr >= kMaxLength)
            return where + "timeline position out of range";
        if (b.Length != b.SrcEnd - b.SrcStart + 1 || b.EndAdr != b.StartAdr + b.Length - 1)
            return where + "Length or EndAdr does not agree";
        Block copy = b;
        NormalizeBlock(copy, wave);
        if (copy.PeakStart != b.PeakStart || copy.PeakEnd != b.PeakEnd || copy.PeakLen != b.PeakLen)
            return where + "peak fields do not agree";
    }
    if (SelectedBlock < -1 || SelectedBlock >= BlockCount())
        return "SelectedBlock out of range";
    for (int32_t i = 0; i < FadePointCount(); ++i)
        if (FadePoints[i].TrackNo < 0 || FadePoints[i].TrackNo > LastTrackNo)
            return "fade point " + std::to_string(i) + " on a missing track";
    return {};
}

} // namespace tarvok
