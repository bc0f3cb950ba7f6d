#include "edit/fade_automation.h"

#include "base/numeric.h"
#include "core/project.h"
#include "edit/fade_edit.h"

#include <algorithm>

namespace tarvok {

namespace {

void SizeLevels(const Project& pProject, AutomationState& pState)
{
    const auto n = static_cast<size_t>(pProject.TrackCount());
    pState.LastLevelL.resize(n, pProject.UnityLevel);
    pState.LastLevelR.resize(n, pProject.UnityLevel);
}

/// The envelope frame nearest to a sample position, half to even; not held to the envelope.
int64_t NearestFrame(int64_t pPosition)
{
    return RoundHalfEven(static_cast<double>(pPosition) / kEnvelopeFrameSamples);
}

} // namespace

void StartAutomation(Project& pProject, AutomationState& pState)
{
    SizeLevels(pProject, pState);
    const int64_t k = NearestFrame(pProject.Head);
    const bool inside = k >= 0 && k < static_cast<int64_t>(pProject.EnvelopeLength) - 1;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        Track& track = pProject.Tracks[static_cast<size_t>(t)];
        track.AutoWritten = 0;
        const int32_t left
            = inside ? EnvelopeLevel(pProject, t, 0, static_cast<int32_t>(k)) : pProject.UnityLevel;
        const int32_t right
            = inside ? EnvelopeLevel(pProject, t, 1, static_cast<int32_t>(k)) : pProject.UnityLevel;
        pState.LastLevelL[static_cast<size_t>(t)] = track.AutoLevelL = left;
        pState.LastLevelR[static_cast<size_t>(t)] = track.AutoLevelR = right;
    }
    pState.LastFrame = -1;
    pState.Writing = false;
    pState.LookAhead = kAutomationLookAhead;
}

std::vector<int32_t> FctAutomation(Project& pProject, AutomationState& pState, int64_t pPosition,
    int32_t pChannels, const AutomationHooks& pHooks)
{
    std::vector<int32_t> written;
    if (pPosition < 0) {
        pState.LastFrame = -1;
        pState.Writing = false;
        return written;
    }
    SizeLevels(pProject, pState);
    const int64_t b = NearestFrame(pPosition);
    const int64_t c = pState.LastFrame;
    const int64_t n = pProject.EnvelopeLength;
    if (!pState.Armed) {
        pState.Writing = false;
    } else if (c >= 0 && b < c) {
        pState.Writing = false; // the head moved back: this pass ends
    } else if (c >= 0 && b > c && b < n - 1) {
        std::vector<int32_t> tracks;
        if ((pChannels & kFadeBoth) != 0)
            for (int32_t t = 0; t <= pProject.LastTrackNo; ++t)
                if (pProject.Tracks[static_cast<size_t>(t)].Selected != 0)
                    tracks.push_back(t);
        if (tracks.empty()) {
            pState.Writing = false;
        } else {
            if (!pState.Writing) {
                EndAutomation(pProject, pHooks);
                if (pHooks.TakeSnapshot && !pHooks.TakeSnapshot()) {
                    pState.Armed = false;
                    pState.Writing = false;
                    return written;
                }
                pState.Writing = true;
            }
            const int64_t d = b - c;
            const int64_t aheadEnd = std::min(b + pState.LookAhead, n - 1);
            for (int32_t t : tracks) {
                Track& track = pProject.Tracks[static_cast<size_t>(t)];
                track.AutoWritten = 1;
                for (int32_t ch = 0; ch < 2; ++ch) {
                    if ((pChannels & (1 << ch)) == 0)
                        continue;
                    const int32_t last = ch == 0 ? pState.LastLevelL[static_cast<size_t>(t)]
                                                 : pState.LastLevelR[static_cast<size_t>(t)];
                    const int32_t level = ch == 0 ? track.AutoLevelL : track.AutoLevelR;
                    for (int64_t k = 1; k <= d; ++k) {
                        const double value = last
                            + static_cast<double>(k) * (level - last) / static_cast<double>(d);
                        SetEnvelopeLevel(pProject, t, ch, static_cast<int32_t>(c + k),
                            static_cast<int32_t>(RoundHalfEven(value)));
                    }
                    for (int64_t k = b + 1; k <= aheadEnd; ++k)
                        SetEnvelopeLevel(pProject, t, ch, static_cast<int32_t>(k), level);
                }
            }
            written = std::move(tracks);
        }
    }
    pState.LastFrame = static_cast<int32_t>(std::clamp<int64_t>(b, 0, INT32_MAX));
    for (int32_t t : written) {
        const Track& track = pProject.Tracks[static_cast<size_t>(t)];
        pState.LastLevelL[static_cast<size_t>(t)] = track.AutoLevelL;
        pState.LastLevelR[static_cast<size_t>(t)] = track.AutoLevelR;
    }
    if (!written.empty() && pHooks.Redraw)
        pHooks.Redraw(written);
    return written;
}

bool EndAutomation(Project& pProject, const AutomationHooks& pHooks)
{
    bool ok = true;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        Track& track = pProject.Tracks[static_cast<size_t>(t)];
        if (track.AutoWritten == 0)
            continue;
        if (pHooks.SaveEnvelope && !pHooks.SaveEnvelope(t))
            ok = false;
        track.AutoWritten = 0;
    }
    return ok;
}

void SetAutomationLevel(Project& pProject, int32_t pLevel)
{
    const int32_t level = std::clamp(pLevel, 0, 255);
    for (Track& track : pProject.Tracks)
        if (track.Selected != 0) {
            track.AutoLevelL = level;
            track.AutoLevelR = level;
        }
}

} // namespace tarvok
