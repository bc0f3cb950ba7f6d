#pragma once

#include "render/mix_kernel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvok {

class Project;

/// The mix side of playback: a cache of the playing tracks over a window of the timeline
/// (read again when a buffer leaves it or the project changed) and the mix of one device
/// slot's tracks from it, through the shared mix kernel.
class TrackMixer {
public:
    /// A new ring: windows of pWindowFrames frames, buffers of up to pBufferFrames.
    void SetUp(int32_t pWindowFrames, int32_t pBufferFrames);
    /// The project's blocks or levels changed: the next buffer reads the window again.
    void MarkDirty() { dirty_ = true; }
    /// True when [pPosition, pPosition + pFrames) can be mixed from the cached window.
    bool Covers(int32_t pPosition, int32_t pFrames) const;
    /// Reads the window from pPosition; false when the filter abandoned it.
    bool Reload(const Project& pProject, int32_t pPosition, const TrackWindow::Filter& pFilter);
    /// Damaged working files the last reads met for the first time (TrackWindow::TakeDamaged).
    std::vector<std::string> TakeDamaged() { return cache_.TakeDamaged(); }
    /// True when no track of the window has a block in it.
    bool Empty() const { return cache_.TrackCount() == 0; }
    /// Mixes the cached tracks that play on pSlot over pFrames frames from pPosition into
    /// pOut (interleaved), each through its track and master levels, pTrim and its envelope.
    void MixSlot(const Project& pProject, int32_t pSlot, int32_t pPosition, int32_t pFrames,
        double pTrim, int16_t* pOut);

private:
    TrackWindow cache_;
    MixAccumulator mix_;
    int32_t windowFrames_ = 0;
    bool valid_ = false;
    bool dirty_ = true;
};

} // namespace tarvok
