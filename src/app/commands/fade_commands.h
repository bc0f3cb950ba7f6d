#pragma once

#include "base/text_marks.h"
#include <cstdint>

namespace tarvok {

class MainLogic;

/// Status text of the commands that need a selection.
inline constexpr const char* kFadeNothingSelected = N_("選択されていません");

/// True for the fade commands that run without a window: FADE_IN .. FADE_FPCLEAR and
/// FADE_MERGE. FADE_DRAW, FADE_BG and FADE_AUTO open windows.
bool IsFadeCommand(int32_t pId);

/// Runs one of those commands on the selected tracks (fade points on the current track),
/// between StartProc and EndProc, with its refusals: nothing while playing, recording,
/// busy or while the drawing window is open. False when the ID is not one of them or the
/// command was refused or did nothing.
bool RunFadeCommand(MainLogic& pLogic, int32_t pId);

/// The fade menu's channel items: toggles switch pIndex (0 "Lch", 1 "Rch") of
/// MainLogic::FadeChannels; turning off the only channel that is on turns the other on.
void MenuFadeOn(MainLogic& pLogic, int32_t pIndex);

/// Deletes fade point pIndex as an editing step (right click on its dot). False when
/// refused or the index is bad.
bool DeleteFadePointCommand(MainLogic& pLogic, int32_t pIndex);

/// Ends a drag of fade point pIndex at level pLevel as an editing step (DragFadePoint).
/// False when refused or the index is bad.
bool DragFadePointCommand(MainLogic& pLogic, int32_t pIndex, int32_t pLevel, bool pShift);

/// FADE_MERGE: renders each selected track's range through its envelope into a new
/// working file; when every render succeeded, erases the range (leaving the gap), resets
/// its envelope to unity, deletes its fade points and places each file on its track at
/// MarkIn. A failed or cancelled render leaves the project as it was.
bool FadeMergeCommand(MainLogic& pLogic);

} // namespace tarvok
