#pragma once

#include <cstdint>
#include <vector>

namespace tarvok {

class DataFolder;
class Project;

/// Channel bits of the fade switches and of a fade point's mask.
inline constexpr int32_t kFadeLeft = 1;
inline constexpr int32_t kFadeRight = 2;
inline constexpr int32_t kFadeBoth = 3;

/// Toggles switch pIndex (0 left, 1 right) of the fade channels. Turning off the only
/// channel that is on turns the other one on, so that one channel is always on. An index
/// other than 0 and 1 changes nothing. Returns the new switches.
int32_t ToggleFadeChannel(int32_t pChannels, int32_t pIndex);

/// The five envelope shapes of the fade menu.
enum class FadeShape {
    In, ///< from silence up to the level at the range's end
    Out, ///< from the level at the range's start down to silence
    Link, ///< a straight line between the two end values
    Clear, ///< unity level
    Mute, ///< silence
};

/// Envelope frames a fade command works on: First..Last, both inclusive.
struct FadeFrameRange {
    int32_t First = 0;
    int32_t Last = 0;
};

/// The frames of the fade commands for the marks: first = MarkIn div 2048 and last =
/// MarkOut div 2048 + 1 (each 0 when negative), last held to the envelope's last frame.
/// Nothing when the first frame lies beyond the envelope. Last may lie below First when
/// MarkOut does; the commands then do nothing.
bool FadeRangeOf(const Project& pProject, FadeFrameRange& pRange);

/// True when pShape can run on pRange: In, Out and Link need at least two frames, Clear
/// and Mute one.
bool FadeShapeApplies(FadeShape pShape, const FadeFrameRange& pRange);

/// Writes pShape over pRange of every selected track, on each channel of pChannels, and
/// saves each changed envelope under a fresh name of pFolder. Values come from a
/// single-precision slope, rounded half to even and held to 0..255. Returns the tracks
/// changed (empty when the shape does not apply). False in pSaved when a save failed.
std::vector<int32_t> ApplyFadeShape(Project& pProject, FadeShape pShape,
    const FadeFrameRange& pRange, int32_t pChannels, DataFolder& pFolder, bool& pSaved);

/// The envelope frame nearest to sample position pPosition (half to even), held to
/// 0..EnvelopeLength - 1.
int32_t NearestEnvelopeFrame(const Project& pProject, int64_t pPosition);

/// Appends a fade point at pFrame on pTrack with the channel mask pChannels. False (nothing
/// added) for a bad track, a frame outside the envelope or an empty mask.
bool AddFadePointAt(Project& pProject, int32_t pTrack, int32_t pFrame, int32_t pChannels);

/// True when a fade point can go at sample position pPosition: some channel is on and the
/// position lies inside the envelope (EnvelopeLength > pPosition / 2048).
bool FadePointFits(const Project& pProject, int64_t pPosition, int32_t pChannels);

/// Resets the marks' frames (MarkIn div 2048 .. MarkOut div 2048 + 1, held inside the
/// envelope) of every selected track to unity on both channels and saves those envelopes,
/// unless pPointsOnly; then deletes every fade point of a selected track inside those
/// frames. Nothing with fewer than two envelope frames. False when a save failed.
bool ClearFade(Project& pProject, bool pPointsOnly, DataFolder& pFolder);

/// Moves fade point pIndex to level pLevel (held to 0..255): on each channel of its mask the
/// segments to the nearest points before and after it on the same track (frame 0 and the
/// last frame when there is none) become straight lines through the new level; with
/// pShift the segment before the previous point is redrawn too, so that point moves with
/// it. A segment of one frame or less keeps its values; the point's own frame always takes
/// the new level. Saves the track's envelope. False for a bad index or a failed save.
bool DragFadePoint(
    Project& pProject, int32_t pIndex, int32_t pLevel, bool pShift, DataFolder& pFolder);

/// Saves the envelope of pTrack under a fresh name of pFolder; false when no name could be
/// taken or the write failed.
bool SaveTrackEnvelope(Project& pProject, int32_t pTrack, DataFolder& pFolder);

/// The level of envelope frame pFrame on pChannel (0 left, 1 right); unity outside it.
int32_t EnvelopeLevel(const Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrame);
/// Sets the level of envelope frame pFrame on pChannel, held to 0..255; nothing outside.
void SetEnvelopeLevel(
    Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrame, int32_t pLevel);

/// Writes a straight line on pChannel from frame pFrom at level pFromLevel to frame pTo at
/// pToLevel: frame pFrom + j gets pFromLevel + j x step with a single-precision step,
/// rounded half to even and held to 0..255. Frames outside the envelope are skipped.
void WriteEnvelopeLine(Project& pProject, int32_t pTrack, int32_t pChannel, int32_t pFrom,
    int32_t pFromLevel, int32_t pTo, int32_t pToLevel);

} // namespace tarvok
