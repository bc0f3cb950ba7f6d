#pragma once

#include <cstdint>

namespace tarvok {

class MainLogic;

/// True for the block and track commands (BLOCK_DELETE .. BLOCK_GROUP, TRACK_NAME ..
/// TRACK_SAVE).
bool IsBlockCommand(int32_t pId);

/// Runs one of those commands with its own checks and messages; false when the ID is not
/// one of them or the command was refused or did nothing.
bool RunBlockCommand(MainLogic& pLogic, int32_t pId);

/// Moves the block pIndex (and its group) by pFrames frames and pTracks tracks as a whole
/// drag would: one undo snapshot, locks respected. False when nothing moved.
bool MoveBlockByDrag(MainLogic& pLogic, int32_t pIndex, int32_t pFrames, int32_t pTracks);

} // namespace tarvok
