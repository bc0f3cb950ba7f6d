#pragma once

#include <cstdint>

namespace tarvok {

class Project;
class DataFolder;

/// The range is MarkIn .. MarkOut - 1 on every Selected track; it exists when it holds a frame.
bool HasRange(const Project& pProject);

/// Clears the range on the selected tracks by rewriting block records: blocks inside it are
/// deleted, blocks across its edges are cut (a block spanning it is split in two, the second
/// part placed directly above the first in stacking order). With pShrink the material after
/// the range moves left by its length (delete); without, it stays (erase, leaving silence).
/// Envelopes and fade points are not touched. False only when the block table cannot grow;
/// the blocks done by then stay changed and every invariant holds.
bool EraseSelected(Project& pProject, bool pShrink);

/// Fills the clipboard from the range: the blocks on the selected tracks cut to the range
/// (start relative to MarkIn, track relative to the lowest selected track), each wave file
/// they use once with its peak array, the selected tracks' envelope frames covering the range
/// and their fade points (frame relative to the range's first envelope frame). Without
/// blocks, or when MarkIn lies beyond the envelopes, nothing is copied and the result is
/// false. With no selected track the clipboard holds only the range length (a stretch of
/// silence); anything copied earlier is dropped.
bool CopyRange(Project& pProject);

/// Inserts pLength frames of silence at MarkIn on the selected tracks: later blocks move
/// right, a block holding frame MarkIn is split there (the second part placed directly above
/// the first). The envelopes of the selected tracks move right by whole envelope frames from
/// MarkIn's frame on, the gap becoming unity, and are written under fresh names from
/// pFolder; fade points on them move along. False when a table cannot grow or an envelope
/// cannot be written.
bool InsertSpace(Project& pProject, int32_t pLength, DataFolder& pFolder);

/// Places the clipboard at MarkIn onto the tracks from CurrentTrack on, above the blocks
/// already there; clip tracks that would land beyond the last track are dropped. A wave file
/// the project does not hold is added again (it must still be a readable WAV file; blocks of
/// a file that is gone are skipped and make the result false). Unless the clipboard came
/// without envelopes, its envelope frames replace the target tracks' frames from MarkIn's
/// frame on (growing the envelopes when they end too early), are written under fresh names
/// from pFolder, and its fade points are added.
bool PasteClip(Project& pProject, DataFolder& pFolder);

/// True when a peak entry counts as quiet below pThresholdDb: with pWfMode 0 (linear peaks)
/// both channels' 20 x log10(value / 255) lie below it, with pWfMode 1 (dB-coded peaks) both
/// channels' value - 255 lie below 5 x pThresholdDb.
bool IsQuietPeak(uint8_t pLeft, uint8_t pRight, double pThresholdDb, int32_t pWfMode);

/// The threshold TRIM uses for an answer: a positive value is negated, and anything below
/// -60 dB becomes -60 dB.
double TrimThresholdDb(double pAnswer);

/// Trims quiet edges of the blocks on the selected tracks that have an end inside the range,
/// judged by their peak entries: a quiet head (block starting inside) and a quiet tail (block
/// ending inside) are cut in whole peak entries, keeping every remaining frame at its
/// timeline position; a block quiet throughout is deleted. False only for a broken block.
bool TrimQuiet(Project& pProject, double pThresholdDb, int32_t pWfMode);

/// Selects the whole project: MarkIn 0, MarkOut ProjectLength, every track Selected.
void SelectAll(Project& pProject);

} // namespace tarvok
