#include "edit/fade_edit.h"

#include "base/numeric.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/project.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace tarvok {

namespace {

bool TrackHasEnvelope(const Project& pProject, int32_t pTrack)
{
    return pTrack >= 0 && pTrack <= pProject.LastTrackNo
        && pTrack < static_cast<int32_t>(pProject.Envelopes.size())
        && pProject.Envelopes[static_cast<size_t>(pTrack)].size()
        >= static_cast<size_t>(pProject.EnvelopeLength) * 2;
}

bool IsSelected(const Project& pProject, int32_t pTrack)
{
    return pTrack >= 0 && pTrack <= pProject.LastTrackNo
        && pProject.Tracks[static_cast<size_t>(pTrack)].Selected != 0;
}

int32_t HoldLevel(double pValue) { return Clamp32(RoundHalfEven(pValue), 0, 255); }

/// The frames FADE_IN etc. and ClearFade start from: pMark div 2048, 0 when negative.
int64_t FrameOfMark(int32_t pMark) { return pMark < 0 ? 0 : pMark / kEnvelopeFrameSamples; }

} // namespace

int32_t ToggleFadeChannel(int32_t pChannels, int32_t pIndex)
{
    if (pIndex != 0 && pIndex != 1)
        return pChannels;
    const int32_t bit = 1 << pIndex;
    int32_t channels = (pChannels & kFadeBoth) ^ bit;
    if (channels == 0)
        channels = kFadeBoth & ~bit;
    return channels;
}

bool FadeRangeOf(const Project& pProject, FadeFrameRange& pRange)
{
    const int64_t n = pProject.EnvelopeLength;
    const int64_t f = FrameOfMark(pProject.MarkIn);
    int64_t g = pProject.MarkOut < 0 ? 0 : FrameOfMark(pProject.MarkOut) + 1;
    if (n <= 0 || f > n - 1)
        return false;
    g = std::min(g, n - 1);
    pRange.First = static_cast<int32_t>(f);
    pRange.Last = static_cast<int32_t>(g);
    return true;
}

bool FadeShapeApplies(FadeShape pShape, const FadeFrameRange& pRange)
{
    const int64_t d = static_cast<int64_t>(pRange.Last) - pRange.First;
    switch (pShape) {
    case FadeShape::In:
    case FadeShape::Out:
    case FadeShape::Link:
        return d > 0;
    case FadeShape::Clear:
    case FadeShape::Mute:
        return d >= 0;
    }
    return false;
}

int32_t EnvelopeLevel(const Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrame)
{
    if (!TrackHasEnvelope(pProject, pTrack) || pFrame < 0 || pFrame >= pProject.EnvelopeLength
        || (pChannel != 0 && pChannel != 1))
        return pProject.UnityLevel;
    return pProject.Envelopes[static_cast<size_t>(pTrack)]
                             [static_cast<size_t>(pFrame) * 2 + static_cast<size_t>(pChannel)];
}

void SetEnvelopeLevel(
    Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrame, int32_t pLevel)
{
    if (!TrackHasEnvelope(pProject, pTrack) || pFrame < 0 || pFrame >= pProject.EnvelopeLength
        || (pChannel != 0 && pChannel != 1))
        return;
    pProject.Envelopes[static_cast<size_t>(pTrack)]
                      [static_cast<size_t>(pFrame) * 2 + static_cast<size_t>(pChannel)]
        = static_cast<uint8_t>(std::clamp(pLevel, 0, 255));
}

void WriteEnvelopeLine(Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrom,
    int32_t pFromLevel, int32_t pTo, int32_t pToLevel)
{
    const int64_t d = static_cast<int64_t>(pTo) - pFrom;
    if (d < 0)
        return;
    const float step
        = d == 0 ? 0.0f : static_cast<float>(pToLevel - pFromLevel) / static_cast<float>(d);
    const auto start = static_cast<float>(pFromLevel);
    for (int64_t j = 0; j <= d; ++j) {
        const float value = start + static_cast<float>(j) * step;
        SetEnvelopeLevel(
            pProject, pTrack, pChannel, static_cast<int32_t>(pFrom + j), HoldLevel(value));
    }
}

bool SaveTrackEnvelope(Project& pProject, int32_t pTrack, DataFolder& pFolder)
{
    std::string name = pFolder.NewTempName(kTempEnvelope);
    return !name.empty() && SaveEnvelope(pProject, pTrack, name);
}

std::vector<int32_t> ApplyFadeShape(Project& pProject, FadeShape pShape,
    const FadeFrameRange& pRange, int32_t pChannels, DataFolder& pFolder, bool& pSaved)
{
    pSaved = true;
    std::vector<int32_t> changed;
    if (!FadeShapeApplies(pShape, pRange) || (pChannels & kFadeBoth) == 0)
        return changed;
    const int32_t f = pRange.First;
    const int32_t g = pRange.Last;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        if (!IsSelected(pProject, t) || !TrackHasEnvelope(pProject, t))
            continue;
        for (int32_t c = 0; c < 2; ++c) {
            if ((pChannels & (1 << c)) == 0)
                continue;
            const int32_t ef = EnvelopeLevel(pProject, t, c, f);
            const int32_t eg = EnvelopeLevel(pProject, t, c, g);
            switch (pShape) {
            case FadeShape::In:
                WriteEnvelopeLine(pProject, t, c, f, 0, g, eg);
                break;
            case FadeShape::Out:
                WriteEnvelopeLine(pProject, t, c, f, ef, g, 0);
                break;
            case FadeShape::Link:
                WriteEnvelopeLine(pProject, t, c, f, ef, g, eg);
                break;
            case FadeShape::Clear:
                WriteEnvelopeLine(pProject, t, c, f, pProject.UnityLevel, g, pProject.UnityLevel);
                break;
            case FadeShape::Mute:
                WriteEnvelopeLine(pProject, t, c, f, 0, g, 0);
                break;
            }
        }
        if (!SaveTrackEnvelope(pProject, t, pFolder))
            pSaved = false;
        changed.push_back(t);
    }
    return changed;
}

int32_t NearestEnvelopeFrame(const Project& pProject, int64_t pPosition)
{
    const int64_t frame = RoundHalfEven(static_cast<double>(pPosition) / kEnvelopeFrameSamples);
    return static_cast<int32_t>(
        std::clamp<int64_t>(frame, 0, std::max<int64_t>(0, pProject.EnvelopeLength - 1)));
}

bool FadePointFits(const Project& pProject, int64_t pPosition, int32_t pChannels)
{
    return (pChannels & kFadeBoth) != 0
        && static_cast<double>(pProject.EnvelopeLength)
        > static_cast<double>(pPosition) / kEnvelopeFrameSamples;
}

bool AddFadePointAt(Project& pProject, int32_t pTrack, int32_t pFrame, int32_t pChannels)
{
    if (pTrack < 0 || pTrack > pProject.LastTrackNo || pFrame < 0
        || pFrame >= pProject.EnvelopeLength || (pChannels & kFadeBoth) == 0)
        return false;
    if (!pProject.AddFadePoint())
        return false;
    FadePoint& point = pProject.FadePoints.back();
    point.EnvFrame = pFrame;
    point.TrackNo = pTrack;
    point.Channels = pChannels & kFadeBoth;
    return true;
}

bool ClearFade(Project& pProject, bool pPointsOnly, DataFolder& pFolder)
{
    const int64_t n = pProject.EnvelopeLength;
    if (n <= 1)
        return true;
    const auto first = static_cast<int32_t>(std::min(FrameOfMark(pProject.MarkIn), n - 1));
    const auto last = static_cast<int32_t>(
        std::min(pProject.MarkOut < 0 ? int64_t { 0 } : FrameOfMark(pProject.MarkOut) + 1, n - 1));
    bool ok = true;
    if (!pPointsOnly) {
        for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
            if (!IsSelected(pProject, t) || !TrackHasEnvelope(pProject, t))
                continue;
            for (int32_t c = 0; c < 2; ++c)
                WriteEnvelopeLine(
                    pProject, t, c, first, pProject.UnityLevel, last, pProject.UnityLevel);
            if (!SaveTrackEnvelope(pProject, t, pFolder))
                ok = false;
        }
    }
    for (int32_t i = pProject.FadePointCount() - 1; i >= 0; --i) {
        const FadePoint& point = pProject.FadePoints[static_cast<size_t>(i)];
        if (IsSelected(pProject, point.TrackNo) && point.EnvFrame >= first
            && point.EnvFrame <= last)
            pProject.DeleteFadePoint(i);
    }
    return ok;
}

bool DragFadePoint(
    Project& pProject, int32_t pIndex, int32_t pLevel, bool pShift, DataFolder& pFolder)
{
    if (pIndex < 0 || pIndex >= pProject.FadePointCount())
        return false;
    const FadePoint point = pProject.FadePoints[static_cast<size_t>(pIndex)];
    const int32_t track = point.TrackNo;
    const int32_t n = pProject.EnvelopeLength;
    if (!TrackHasEnvelope(pProject, track) || point.EnvFrame < 0 || point.EnvFrame >= n)
        return false;
    const int32_t v = std::clamp(pLevel, 0, 255);
    const int32_t p = point.EnvFrame;
    for (int32_t c = 0; c < 2; ++c) {
        const int32_t bit = 1 << c;
        if ((point.Channels & bit) == 0)
            continue;
        // The nearest points of the same track and channel before and after this one.
        auto nearestBefore = [&](int32_t pFrame) {
            int32_t best = -1;
            for (const FadePoint& other : pProject.FadePoints)
                if (other.TrackNo == track && (other.Channels & bit) != 0 && other.EnvFrame < pFrame
                    && other.EnvFrame > best)
                    best = other.EnvFrame;
            return best;
        };
        int32_t p3 = -1;
        for (const FadePoint& other : pProject.FadePoints)
            if (other.TrackNo == track && (other.Channels & bit) != 0 && other.EnvFrame > p
                && other.EnvFrame < n && (p3 < 0 || other.EnvFrame < p3))
                p3 = other.EnvFrame;
        const int32_t p1 = std::max(0, nearestBefore(p));
        const int32_t p3Frame = p3 < 0 ? n - 1 : p3;
        if (pShift) {
            const int32_t p0 = p1 == 0 ? 0 : std::max(0, nearestBefore(p1));
            if (p1 - p0 > 1)
                WriteEnvelopeLine(
                    pProject, track, c, p0, EnvelopeLevel(pProject, track, c, p0), p1, v);
        }
        if (p - p1 > 1)
            WriteEnvelopeLine(pProject, track, c, p1, EnvelopeLevel(pProject, track, c, p1), p, v);
        if (p3Frame - p > 1)
            WriteEnvelopeLine(
                pProject, track, c, p, v, p3Frame, EnvelopeLevel(pProject, track, c, p3Frame));
        // The dot was put at v: its own frame takes it even between two adjacent points.
        SetEnvelopeLevel(pProject, track, c, p, v);
    }
    return SaveTrackEnvelope(pProject, track, pFolder);
}

} // namespace tarvok
