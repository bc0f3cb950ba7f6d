#include "engine/track_mixer.h"

#include "core/project.h"

namespace tarvok {

void TrackMixer::SetUp(int32_t pWindowFrames, int32_t pBufferFrames)
{
    valid_ = false;
    dirty_ = true;
    windowFrames_ = pWindowFrames;
    mix_.Reset(pBufferFrames);
}

bool TrackMixer::Covers(int32_t pPosition, int32_t pFrames) const
{
    return !dirty_ && valid_ && pPosition >= cache_.Start()
        && static_cast<int64_t>(pPosition) + pFrames <= cache_.Start() + windowFrames_;
}

bool TrackMixer::Reload(
    const Project& pProject, int32_t pPosition, const TrackWindow::Filter& pFilter)
{
    dirty_ = false;
    valid_ = false;
    if (!cache_.Read(pProject, pPosition, windowFrames_, pFilter))
        return false;
    valid_ = true;
    return true;
}

void TrackMixer::MixSlot(const Project& pProject, int32_t pSlot, int32_t pPosition, int32_t pFrames,
    double pTrim, int16_t* pOut)
{
    const int64_t offset = pPosition - cache_.Start();
    mix_.Reset(pFrames);
    // Tracks in cache order (the order their first block appears in the block table).
    for (size_t c = 0; c < cache_.TrackCount(); ++c) {
        const int32_t track = cache_.TrackAt(c);
        if (pProject.Tracks[static_cast<size_t>(track)].PlayCh == pSlot)
            mix_.AddTrack(pProject, track, pPosition, cache_.Frames(c, offset),
                TrackGains(pProject, track, pTrim));
    }
    mix_.WriteSamples(pOut);
}

} // namespace tarvok
