#pragma once

#include "core/load_file_to_track.h"

#include "base/result.h"
#include "core/project.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// The block pIndex and every block sharing its non-zero GroupID, in record order; empty
/// for an index outside the table.
std::vector<int32_t> BlockGroupOf(const Project& pProject, int32_t pIndex);

/// Deletes the block and its group, from the last record down (wave files no longer used
/// go too). False for an index outside the table.
bool DeleteBlockGroup(Project& pProject, int32_t pIndex);

/// Cuts every block of a selected track that runs across MarkIn or MarkOut at the marks.
/// New parts are inserted right after the block they come from, so the stacking order of
/// what is heard does not change; SelectedBlock keeps pointing at the same record.
/// Returns the number of new parts.
int32_t SplitAtMarks(Project& pProject);

/// Sets both marks to the head and cuts every block running across it in two.
int32_t SplitAtHead(Project& pProject);

/// Copies the block and its group, whole, into the clipboard as blocks only (no envelope,
/// no fade points): positions relative to the group's first frame, tracks relative to its
/// lowest track. False (clipboard unchanged) for an index outside the table.
bool ClipBlockGroup(Project& pProject, int32_t pIndex);

/// Moves the block and its group by pFrames frames and pTracks tracks, both reduced so
/// that every member stays on the timeline and on an existing track (the group keeps its
/// shape). Returns false when, after the reduction, nothing moves.
bool MoveBlockGroup(Project& pProject, int32_t pIndex, int32_t pFrames, int32_t pTracks);

/// The frames MoveBlockGroup would really move the group by, and the tracks.
struct GroupMove {
    int32_t Frames = 0;
    int32_t Tracks = 0;
};
GroupMove LimitGroupMove(const Project& pProject, int32_t pIndex, int32_t pFrames, int32_t pTracks);

/// True when moving the block's group by pFrames frames keeps every member inside the longest
/// project (frames 0 .. kMaxLength - 1) without cutting the move short; also true when the
/// block has no group to move (a locked block, an index outside the table).
bool GroupMoveFits(const Project& pProject, int32_t pIndex, int32_t pFrames);

enum class BlockEdge { Start, End };

/// Moves an edge of a block by up to pFrames frames, keeping the audio in place on the
/// timeline: the block never becomes shorter than SampleStep + 1 frames (a block already
/// shorter cannot shrink), never reads outside its wave file and never leaves the timeline.
/// Returns the frames the edge really moved.
int32_t TrimBlockEdge(Project& pProject, int32_t pIndex, BlockEdge pEdge, int32_t pFrames);

/// Sets or clears pFlag (kBlockLocked, kBlockFadeLocked) on the block and its group: all of
/// them get the opposite of the block's own state, so a group stays consistent. False for
/// a bad index.
bool ToggleGroupFlag(Project& pProject, int32_t pIndex, int32_t pFlag);

/// Moves the block to start right after the nearest block before it on its track (the one
/// with the greatest StartAdr below its own), or to 0 without one. False for a bad index.
bool FitBlockFront(Project& pProject, int32_t pIndex);
/// Moves the block to end right before the nearest block after it on its track (smallest
/// StartAdr above its own), or at the project end without one. False for a bad index.
bool FitBlockRear(Project& pProject, int32_t pIndex);

/// Moves the block's record to the end of the table (heard and drawn on top); the other
/// records keep their order. SelectedBlock follows the block. False for a bad index.
bool BringBlockToFront(Project& pProject, int32_t pIndex);
/// Moves the block's record to the start of the table (below everything else).
bool SendBlockBehind(Project& pProject, int32_t pIndex);

/// Places the block at pStartAdr (normalised onto the timeline). False for a bad index.
bool SetBlockAddress(Project& pProject, int32_t pIndex, int32_t pStartAdr);
/// Sets the block's levels in dB. False for a bad index.
bool SetBlockLevel(Project& pProject, int32_t pIndex, float pLevelL, float pLevelR);
/// Gives pGroupId to every block in the range (selected tracks, overlapping the marks);
/// returns how many blocks got it.
int32_t SetGroupIdInRange(Project& pProject, int32_t pGroupId);

/// Removes track pTrack: later tracks, their envelopes, blocks and fade points move down
/// one; the track's blocks and fade points are deleted. CurrentTrack beyond the last track
/// becomes 0 and the current track is selected; a view showing every track keeps showing
/// every track. False (nothing changed) with a single track or a bad index.
bool RemoveTrack(Project& pProject, int32_t pTrack);

/// Inserts a fresh track at pTrack (0..TrackCount()): tracks, envelopes, blocks and fade
/// points from pTrack on move up one. The new track has default settings and an all-unity
/// envelope. False (nothing changed) with 64 tracks or a bad index.
bool InsertTrack(Project& pProject, int32_t pTrack);

/// Renders track pTrack's range [MarkIn, MarkOut) with its levels and envelope into a new
/// working file and returns its path, or the reason it could not.
using TrackRenderer = std::function<Result<std::string>(const Project& pProject, int32_t pTrack)>;

/// The single-track render merge uses until the mixdown's track render is wired in: it
/// renders nothing and always fails with a message for the message area.
Result<std::string> UnwiredTrackRender(const Project& pProject, int32_t pTrack);

/// Merges the range on each selected track into one new block: every selected track is
/// rendered first; if any render fails, nothing in the project changes and the reason is
/// returned. Then the range is erased and each rendered file is placed at MarkIn on its
/// track. Returns the placed files (their peaks still need building).
Result<std::vector<PlacedFile>> MergeRange(Project& pProject, const TrackRenderer& pRender);

} // namespace tarvok
