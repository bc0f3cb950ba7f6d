#include "edit/range_edit.h"

#include "base/numeric.h"
#include "base/text.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/project.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvok {

namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

bool IsSelectedTrack(const Project& pProject, int32_t pTrack)
{
    return pTrack >= 0 && pTrack <= pProject.LastTrackNo
        && pTrack < static_cast<int32_t>(pProject.Tracks.size())
        && pProject.Tracks[pTrack].Selected != 0;
}

// Timeline and source values are worked out in 64 bits and stored back saturated; the
// normalisation that follows brings them inside the project's limits.
int32_t Store32(int64_t pValue)
{
    return Clamp32(pValue, std::numeric_limits<int32_t>::min(), kInt32Max);
}

// Puts a copy of block pIndex directly above it in stacking order, so that splitting a block
// never changes which of several overlapping blocks is heard outside the edited range.
bool InsertCopyAbove(Project& pProject, int32_t pIndex)
{
    if (!pProject.AddBlock())
        return false;
    pProject.Blocks.back() = pProject.Blocks[pIndex];
    std::rotate(
        pProject.Blocks.begin() + pIndex + 1, pProject.Blocks.end() - 1, pProject.Blocks.end());
    if (pProject.SelectedBlock > pIndex)
        ++pProject.SelectedBlock;
    return true;
}

void SetUnityFrame(TrackEnvelope& pEnvelope, int64_t pFrame, uint8_t pUnity)
{
    pEnvelope[static_cast<size_t>(pFrame) * 2] = pUnity;
    pEnvelope[static_cast<size_t>(pFrame) * 2 + 1] = pUnity;
}

} // namespace

bool HasRange(const Project& pProject)
{
    return static_cast<int64_t>(pProject.MarkOut) - pProject.MarkIn > 0;
}

bool EraseSelected(Project& pProject, bool pShrink)
{
    const int64_t in = pProject.MarkIn;
    const int64_t out = pProject.MarkOut;
    const int64_t length = out - in;
    if (length <= 0)
        return true;
    bool ok = true;
    for (int32_t i = pProject.BlockCount() - 1; i >= 0; --i) {
        if (!IsSelectedTrack(pProject, pProject.Blocks[i].TrackNo))
            continue;
        const int64_t start = pProject.Blocks[i].StartAdr;
        const int64_t end = pProject.Blocks[i].EndAdr;
        if (end < in)
            continue;
        if (start >= out) {
            if (pShrink) {
                pProject.Blocks[i].StartAdr = Store32(start - length);
                pProject.NormalizeBlock(i);
            }
            continue;
        }
        if (start >= in && end < out) {
            pProject.DeleteBlock(i);
            continue;
        }
        if (start < in && end >= out) {
            // The block spans the range: keep its head here and its tail in a copy.
            if (!InsertCopyAbove(pProject, i)) {
                ok = false;
                continue;
            }
            Block& head = pProject.Blocks[i];
            Block& tail = pProject.Blocks[i + 1];
            tail.SrcStart = Store32(head.SrcStart + (out - start));
            tail.StartAdr = Store32(pShrink ? in : out);
            head.SrcEnd = Store32(head.SrcStart + (in - start) - 1);
            pProject.NormalizeBlock(i);
            pProject.NormalizeBlock(i + 1);
            continue;
        }
        Block& block = pProject.Blocks[i];
        if (start < in) {
            // Only the tail lies in the range.
            block.SrcEnd = Store32(block.SrcStart + (in - start) - 1);
        } else {
            // Only the head lies in the range (the block reaches MarkOut or beyond).
            block.SrcStart = Store32(block.SrcStart + (out - start));
            block.StartAdr = Store32(pShrink ? in : out);
        }
        pProject.NormalizeBlock(i);
    }
    return ok;
}

bool CopyRange(Project& pProject)
{
    const int64_t in = pProject.MarkIn;
    const int64_t out = pProject.MarkOut;
    if (pProject.Blocks.empty() || in < 0 || out - in <= 0)
        return false;
    const int64_t envelopeLength = pProject.EnvelopeLength;
    const int64_t firstFrame = in / kEnvelopeFrameSamples;
    if (firstFrame > envelopeLength)
        return false;

    ClipProject& clip = pProject.Clip;
    clip.Clear();
    clip.Length = Store32(out - in);

    int64_t frames = (out - in) / kEnvelopeFrameSamples + 2;
    if (firstFrame + frames > envelopeLength)
        frames = std::max<int64_t>(envelopeLength - firstFrame - 1, 0);
    const int64_t endFrame = std::min(out / kEnvelopeFrameSamples + 2, envelopeLength);

    int32_t first = -1;
    int32_t last = -1;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        if (!IsSelectedTrack(pProject, t))
            continue;
        if (first < 0)
            first = t;
        last = t;
    }
    if (first < 0)
        return true; // only the length: the range holds nothing on any track

    clip.FirstTrack = first;
    clip.LastTrackNo = last - first;
    clip.TrackPresent.assign(static_cast<size_t>(clip.LastTrackNo) + 1, 0);
    clip.Envelopes.assign(static_cast<size_t>(clip.LastTrackNo) + 1, TrackEnvelope {});
    for (int32_t t = first; t <= last; ++t) {
        if (!IsSelectedTrack(pProject, t))
            continue;
        clip.TrackPresent[t - first] = 1;
        const TrackEnvelope& source = pProject.Envelopes[t];
        const size_t from = static_cast<size_t>(firstFrame) * 2;
        const size_t to = std::min(source.size(), static_cast<size_t>(firstFrame + frames) * 2);
        if (from < to)
            clip.Envelopes[t - first].assign(source.begin() + from, source.begin() + to);
    }

    for (const FadePoint& point : pProject.FadePoints) {
        if (!IsSelectedTrack(pProject, point.TrackNo) || point.EnvFrame < firstFrame
            || point.EnvFrame >= endFrame)
            continue;
        FadePoint copy = point;
        copy.TrackNo = point.TrackNo - first;
        copy.EnvFrame = Store32(std::max<int64_t>(point.EnvFrame - firstFrame, 0));
        clip.FadePoints.push_back(copy);
    }

    for (int32_t i = 0; i < pProject.BlockCount(); ++i) {
        if (!pProject.IsBlockInRange(i))
            continue;
        const Block& block = pProject.Blocks[i];
        if (block.WaveNo < 0 || block.WaveNo >= pProject.WaveFileCount())
            continue;
        const int64_t start = block.StartAdr;
        Block copy = block;
        if (start >= in) {
            copy.StartAdr = Store32(start - in);
        } else {
            copy.StartAdr = 0;
            copy.SrcStart = Store32(block.SrcStart + (in - start));
        }
        if (block.EndAdr >= out)
            copy.SrcEnd = Store32(block.SrcStart + (out - start) - 1);

        const WaveFile& wave = pProject.WaveFiles[block.WaveNo];
        int32_t clipWave = -1;
        for (int32_t w = 0; w < static_cast<int32_t>(clip.WaveFiles.size()); ++w)
            if (EqualsNoCase(clip.WaveFiles[w].FileName, wave.FileName)) {
                clipWave = w;
                break;
            }
        if (clipWave < 0) {
            clip.WaveFiles.push_back(wave);
            clip.Peaks.push_back(block.WaveNo < static_cast<int32_t>(pProject.Peaks.size())
                    ? pProject.Peaks[block.WaveNo]
                    : PeakArray {});
            clipWave = static_cast<int32_t>(clip.WaveFiles.size()) - 1;
        }
        copy.WaveNo = clipWave;
        copy.TrackNo = block.TrackNo - first;
        NormalizeBlockFields(copy, clip.WaveFiles[clipWave], clip.LastTrackNo, pProject.SampleStep);
        clip.Blocks.push_back(std::move(copy));
    }
    clip.NoEnvelope = false;
    return true;
}

bool InsertSpace(Project& pProject, int32_t pLength, DataFolder& pFolder)
{
    if (pLength <= 0)
        return true;
    const int64_t in = std::max<int32_t>(pProject.MarkIn, 0);
    const int64_t length = pLength;
    bool ok = true;
    for (int32_t i = pProject.BlockCount() - 1; i >= 0; --i) {
        if (!IsSelectedTrack(pProject, pProject.Blocks[i].TrackNo))
            continue;
        const int64_t start = pProject.Blocks[i].StartAdr;
        const int64_t end = pProject.Blocks[i].EndAdr;
        if (start >= in) {
            pProject.Blocks[i].StartAdr = Store32(start + length);
            pProject.NormalizeBlock(i);
        } else if (end >= in) {
            // The block holds frame MarkIn: from there on it moves right in a copy.
            if (!InsertCopyAbove(pProject, i)) {
                ok = false;
                continue;
            }
            Block& head = pProject.Blocks[i];
            Block& tail = pProject.Blocks[i + 1];
            tail.SrcStart = Store32(head.SrcStart + (in - start));
            tail.StartAdr = Store32(in + length);
            head.SrcEnd = Store32(head.SrcStart + (in - start) - 1);
            pProject.NormalizeBlock(i);
            pProject.NormalizeBlock(i + 1);
        }
    }
    pProject.UpdateTitleLength(false);

    // Envelopes move in whole envelope frames; the frame holding MarkIn and the gap after it
    // become unity.
    const int64_t envelopeLength = pProject.EnvelopeLength;
    const int64_t base = in / kEnvelopeFrameSamples;
    const int64_t shift = length / kEnvelopeFrameSamples;
    const auto unity = static_cast<uint8_t>(pProject.UnityLevel);
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        if (!IsSelectedTrack(pProject, t) || base >= envelopeLength)
            continue;
        TrackEnvelope& env = pProject.Envelopes[t];
        if (env.size() < static_cast<size_t>(envelopeLength) * 2)
            continue;
        for (int64_t k = envelopeLength - 1; k >= shift + base + 1; --k) {
            env[static_cast<size_t>(k) * 2] = env[static_cast<size_t>(k - shift) * 2];
            env[static_cast<size_t>(k) * 2 + 1] = env[static_cast<size_t>(k - shift) * 2 + 1];
        }
        for (int64_t k = base; k <= std::min(base + shift, envelopeLength - 1); ++k)
            SetUnityFrame(env, k, unity);
        std::string name = pFolder.NewTempName(kTempEnvelope);
        if (name.empty() || !SaveEnvelope(pProject, t, name))
            ok = false;
    }
    for (FadePoint& point : pProject.FadePoints) {
        if (!IsSelectedTrack(pProject, point.TrackNo) || point.EnvFrame < base)
            continue;
        point.EnvFrame
            = Store32(std::min(point.EnvFrame + shift, std::max<int64_t>(envelopeLength - 1, 0)));
    }
    return ok;
}

bool PasteClip(Project& pProject, DataFolder& pFolder)
{
    const ClipProject& clip = pProject.Clip;
    if (clip.Length <= 0)
        return true;
    const int64_t in = std::max<int32_t>(pProject.MarkIn, 0);
    const int64_t current = pProject.CurrentTrack;
    bool ok = true;

    for (const Block& source : clip.Blocks) {
        const int64_t track = current + source.TrackNo;
        if (source.TrackNo < 0 || track > pProject.LastTrackNo)
            continue;
        if (source.WaveNo < 0 || source.WaveNo >= static_cast<int32_t>(clip.WaveFiles.size())) {
            ok = false;
            continue;
        }
        const WaveFile& clipWave = clip.WaveFiles[source.WaveNo];
        int32_t wave = pProject.FindWaveFile(clipWave.FileName);
        bool added = false;
        if (wave < 0) {
            // The file left the project since the copy; it comes back only while it is still
            // a usable WAV file, with the record and peaks the clipboard kept.
            wave = pProject.AddWaveFile(clipWave.FileName);
            if (wave < 0) {
                ok = false;
                continue;
            }
            added = true;
            WaveFile& entry = pProject.WaveFiles[wave];
            entry = clipWave;
            const int32_t step = pProject.SampleStep > 0 ? pProject.SampleStep : 64;
            entry.PeakCount = entry.Length / step + 1;
            PeakArray peaks = source.WaveNo < static_cast<int32_t>(clip.Peaks.size())
                ? clip.Peaks[source.WaveNo]
                : PeakArray {};
            peaks.resize(static_cast<size_t>(entry.PeakCount) * 2, 0);
            pProject.Peaks[wave] = std::move(peaks);
        }
        if (!pProject.AddBlock()) {
            if (added)
                pProject.RemoveWaveFile(wave);
            ok = false;
            break;
        }
        Block block = source;
        block.StartAdr = Store32(in + source.StartAdr);
        block.TrackNo = static_cast<int32_t>(track);
        block.WaveNo = wave;
        pProject.NormalizeBlock(block, pProject.WaveFiles[wave]);
        pProject.Blocks.back() = std::move(block);
    }

    if (clip.NoEnvelope)
        return ok;

    const int64_t base = in / kEnvelopeFrameSamples;
    const int32_t reach = Store32(std::min<int64_t>(in + clip.Length, kMaxLength));
    for (int32_t j = 0; j <= clip.LastTrackNo; ++j) {
        const int64_t track = current + j;
        if (track > pProject.LastTrackNo)
            break;
        if (static_cast<size_t>(j) >= clip.TrackPresent.size() || clip.TrackPresent[j] == 0
            || static_cast<size_t>(j) >= clip.Envelopes.size())
            continue;
        const TrackEnvelope& source = clip.Envelopes[j];
        const int64_t frames = static_cast<int64_t>(source.size() / 2);
        if (pProject.EnvelopeLength < frames + base)
            ResizeEnvelopes(pProject, reach, false);
        TrackEnvelope& target = pProject.Envelopes[static_cast<size_t>(track)];
        for (int64_t k = 0; k < frames && base + k < pProject.EnvelopeLength; ++k) {
            target[static_cast<size_t>(base + k) * 2] = source[static_cast<size_t>(k) * 2];
            target[static_cast<size_t>(base + k) * 2 + 1] = source[static_cast<size_t>(k) * 2 + 1];
        }
        std::string name = pFolder.NewTempName(kTempEnvelope);
        if (name.empty() || !SaveEnvelope(pProject, static_cast<int32_t>(track), name))
            ok = false;
    }
    for (const FadePoint& source : clip.FadePoints) {
        const int64_t track = current + source.TrackNo;
        if (source.TrackNo < 0 || track > pProject.LastTrackNo)
            continue;
        if (!pProject.AddFadePoint()) {
            ok = false;
            break;
        }
        FadePoint& point = pProject.FadePoints.back();
        point.TrackNo = static_cast<int32_t>(track);
        point.EnvFrame = Store32(std::clamp<int64_t>(
            source.EnvFrame + base, 0, std::max<int64_t>(pProject.EnvelopeLength - 1, 0)));
        point.Channels = source.Channels;
    }
    return ok;
}

bool IsQuietPeak(uint8_t pLeft, uint8_t pRight, double pThresholdDb, int32_t pWfMode)
{
    auto quiet = [&](uint8_t value) {
        if (pWfMode == 1)
            return static_cast<double>(value) - 255.0 < 5.0 * pThresholdDb;
        if (value == 0)
            return true; // silence lies below any threshold
        return 20.0 * std::log10(value / 255.0) < pThresholdDb;
    };
    return quiet(pLeft) && quiet(pRight);
}

double TrimThresholdDb(double pAnswer)
{
    double threshold = pAnswer > 0 ? -pAnswer : pAnswer;
    return threshold < -60.0 ? -60.0 : threshold;
}

bool TrimQuiet(Project& pProject, double pThresholdDb, int32_t pWfMode)
{
    const int64_t in = pProject.MarkIn;
    const int64_t out = pProject.MarkOut;
    const int64_t step = pProject.SampleStep > 0 ? pProject.SampleStep : 64;
    bool ok = true;
    for (int32_t i = pProject.BlockCount() - 1; i >= 0; --i) {
        const Block& block = pProject.Blocks[i];
        if (!IsSelectedTrack(pProject, block.TrackNo))
            continue;
        const int64_t start = block.StartAdr;
        const int64_t end = block.EndAdr;
        if (!(end >= in && start <= out) || !(end <= out || start >= in))
            continue;
        if (block.WaveNo < 0 || block.WaveNo >= pProject.WaveFileCount()
            || block.WaveNo >= static_cast<int32_t>(pProject.Peaks.size())) {
            ok = false;
            continue;
        }
        const PeakArray& peaks = pProject.Peaks[block.WaveNo];
        const int64_t entries = static_cast<int64_t>(peaks.size() / 2);
        auto quietAt = [&](int64_t k) {
            return k >= 0 && k < entries
                && IsQuietPeak(peaks[static_cast<size_t>(k) * 2],
                    peaks[static_cast<size_t>(k) * 2 + 1], pThresholdDb, pWfMode);
        };

        // The walks stay inside the block's own entries.
        int64_t head = -1;
        if (start >= in) {
            const int64_t limit = (out - start) / step + block.PeakStart;
            for (int64_t k = block.PeakStart; k < limit && k <= block.PeakEnd && quietAt(k); ++k)
                head = k;
        }
        int64_t tail = -1;
        if (end <= out) {
            const int64_t limit = (in - start) / step + block.PeakStart;
            for (int64_t k = block.PeakEnd; k > limit && k >= block.PeakStart && quietAt(k); --k)
                tail = k;
        }
        if (head < 0 && tail < 0)
            continue;

        // The head is cut without moving any remaining frame on the timeline, and never
        // uncovers source frames before the block's own start.
        const int64_t newSrcStart
            = head >= 0 ? std::max<int64_t>(block.SrcStart, head * step) : block.SrcStart;
        const int64_t newSrcEnd = tail >= 0 ? tail * step : block.SrcEnd;
        if ((head >= 0 && tail >= 0 && head >= tail) || newSrcEnd < newSrcStart) {
            pProject.DeleteBlock(i);
            continue;
        }
        Block& edited = pProject.Blocks[i];
        edited.StartAdr = Store32(start + (newSrcStart - edited.SrcStart));
        edited.SrcStart = Store32(newSrcStart);
        edited.SrcEnd = Store32(newSrcEnd);
        pProject.NormalizeBlock(i);
    }
    return ok;
}

void SelectAll(Project& pProject)
{
    pProject.MarkIn = 0;
    pProject.MarkOut = pProject.ProjectLength;
    for (Track& track : pProject.Tracks)
        track.Selected = 1;
}

} // namespace tarvok
