#pragma once

#include "core/project.h"
#include "edit/block_edit.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvok {

/// What the drag needs from its owner. Both may be left empty.
struct DragHooks {
    /// Called once per drag, right before the first change, to save an undo snapshot.
    /// False when it could not be written: the drag then ends without changing anything.
    std::function<bool()> TakeSnapshot;
    /// A fresh working-file name for an envelope the drag changed; an empty name (or no
    /// hook) leaves the envelope unsaved in memory only.
    std::function<std::string()> NewEnvelopeName;
};

/// Mouse-down in the track area, in timeline units: the GUI turns pixels into frames
/// (x x Zoom x SampleStep + ViewStart) and lanes into tracks.
struct DragPress {
    int32_t Frame = 0;
    int32_t Track = 0;
    bool LowerHalf = true; ///< pointer in the lower half of the lane
    bool Shift = false;
    bool Alt = false;
    int32_t EdgeFrames = 0; ///< how near (in frames) an edge must be to grab it: 2 pixels
};

enum class DragMode { None, Range, Head, Move, TrimStart, TrimEnd };

/// What a press decided.
struct PressOutcome {
    DragMode Mode = DragMode::None;
    int32_t Block = -1; ///< block being moved or trimmed (-1 for none)
    std::string Message; ///< for the message area: the block's name, or an error
};

/// The headless model of a block drag in the track area: press picks the block and the
/// mode, each move changes the project, release finishes it. The first change of a drag
/// takes one undo snapshot through the hooks; a drag that changes nothing takes none.
/// Locked blocks do not move; a group moves as one; a block with fades locked to it (or
/// pressed with Alt) carries its section of the track envelope and its fade points.
class BlockDrag {
public:
    /// Mouse down: selects the track and the topmost block under the pointer and decides
    /// the mode (range selection in the upper half, head drag when pShiftToDrag is set and
    /// Shift is not held, otherwise edge trimming near an edge or moving the block).
    PressOutcome Press(Project& pProject, const DragPress& pPress, bool pShiftToDrag);

    /// Starts moving block pIndex directly (as a press on it in the lower half would);
    /// pCarryEnvelope captures its envelope section. False for a bad index.
    bool BeginMove(Project& pProject, int32_t pIndex, bool pCarryEnvelope);
    /// Starts trimming an edge of block pIndex directly. False for a bad index.
    bool BeginTrim(Project& pProject, int32_t pIndex, BlockEdge pEdge);

    /// Mouse move with the left button to timeline frame pFrame over track pTrack.
    /// pBeyond is 0 while the pointer is inside the area horizontally, -1 left of it and 1
    /// right of it (a move then only sets the scroll direction); pCtrl tells that Ctrl is
    /// held (a held Ctrl does not move blocks). Returns the text for the message area,
    /// empty when nothing changed.
    std::string Move(Project& pProject, int32_t pFrame, int32_t pTrack, int32_t pBeyond, bool pCtrl,
        const DragHooks& pHooks);

    /// The view scrolled by pFrames while the pointer is beyond the area: the moved block
    /// follows. Returns the message text, empty when nothing changed.
    std::string FollowScroll(Project& pProject, int32_t pFrames, const DragHooks& pHooks);

    /// Mouse up: after a change, normalises, puts the carried envelope section at its new
    /// place and recomputes the project length. Returns true when the drag changed the
    /// project. The drag is over afterwards.
    bool Release(Project& pProject, const DragHooks& pHooks);

    DragMode Mode() const { return mode_; }
    int32_t Block() const { return block_; }
    bool SnapshotTaken() const { return snapshotTaken_; }
    /// -1 while the pointer is left of the area during a move, 1 right of it, else 0.
    int32_t ScrollDirection() const { return scroll_; }

private:
    struct FadeCopy {
        int32_t Offset = 0; ///< envelope frames from the section's first frame
        int32_t Channels = 0;
    };
    struct Section {
        int32_t Block = -1;
        int32_t Track = 0;
        int32_t FirstFrame = 0;
        std::vector<uint8_t> Frames; ///< two bytes per envelope frame
        std::vector<FadeCopy> Fades;
    };

    void Reset();
    void CaptureEnvelope(const Project& pProject);
    void PlaceEnvelope(Project& pProject, const DragHooks& pHooks);
    std::string ApplyDelta(
        Project& pProject, int32_t pFrames, int32_t pTrack, const DragHooks& pHooks);
    bool Snapshot(Project& pProject, const DragHooks& pHooks);

    DragMode mode_ = DragMode::None;
    int32_t block_ = -1;
    int32_t previousFrame_ = 0;
    int32_t previousTrack_ = 0;
    bool snapshotTaken_ = false;
    int32_t scroll_ = 0;
    std::vector<Section> sections_;
    std::vector<int32_t> capturedFades_; ///< indices of the fade points carried along
};

} // namespace tarvok
