#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tarvok {

class Project;

/// Frames past the write position that take the automation level at once, so that the
/// audio queued next already uses it.
inline constexpr int32_t kAutomationLookAhead = 12;

/// What automation writing needs from its owner.
struct AutomationHooks {
    /// Saves the envelope of a track under a fresh name; false when it failed.
    std::function<bool(int32_t pTrack)> SaveEnvelope;
    /// Takes an undo snapshot (at the first write of a pass); false when it could not be
    /// written, and the pass then writes nothing and writing is disarmed.
    std::function<bool()> TakeSnapshot;
    /// The written tracks changed on screen.
    std::function<void(const std::vector<int32_t>& pTracks)> Redraw;
};

/// The automation state: the mode (on while the automation window is open), the write
/// switch and the pass that writes the tracks' automation levels into their envelopes
/// while the project plays. The per-track automation levels and written flags live in the
/// track records (AutoLevelL, AutoLevelR, AutoWritten).
struct AutomationState {
    bool Mode = false; ///< the automation window is open
    bool Armed = false; ///< writing is armed
    int32_t LastFrame = -1; ///< the last envelope frame written, -1 for none
    bool Writing = false; ///< a pass has written since it began
    int32_t LookAhead = kAutomationLookAhead;
    std::vector<int32_t> LastLevelL; ///< per track, the level written last
    std::vector<int32_t> LastLevelR;
};

/// Prepares a pass at the start of playback or recording: every track's written flag is
/// cleared; with k the envelope frame nearest the head, the last written level and the
/// automation level of each track become its envelope values at k when 0 <= k < N - 1,
/// otherwise the unity level. The last frame written becomes -1.
void StartAutomation(Project& pProject, AutomationState& pState);

/// One progress tick. pPosition is the sample position being written (the head plus the
/// queued audio while playing, the head while recording), or -1 when nothing runs, which
/// resets the pass. With writing armed and a last frame c, b = the frame nearest
/// pPosition: b < c breaks the pass; c < b < N - 1 writes every selected track when some
/// channel is on in pChannels: frames c+1..b a straight line from the last written level
/// to the automation level, frames b+1..b+LookAhead (held inside the envelope) the
/// automation level. The first write of a pass saves the tracks marked by an earlier pass
/// and takes an undo snapshot. Returns the tracks written.
std::vector<int32_t> FctAutomation(Project& pProject, AutomationState& pState, int64_t pPosition,
    int32_t pChannels, const AutomationHooks& pHooks);

/// Saves the envelope of every track that automation wrote to and clears their marks.
/// Returns false when a save failed.
bool EndAutomation(Project& pProject, const AutomationHooks& pHooks);

/// Sets the automation level (left and right) of every selected track.
void SetAutomationLevel(Project& pProject, int32_t pLevel);

} // namespace tarvok
