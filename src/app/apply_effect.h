#pragma once

#include <cstdint>
#include <functional>

namespace tarvok {

class C_FX;
class MainLogic;

/// The dialog step of an effect command: shows the effect's parameters and fills pFx with
/// them; false (or pFx.FXCanceled set) when the user cancelled.
using EffectDialog = std::function<bool(C_FX& pFx)>;

/// Runs effect command pId (106..143) on the selection: refused silently while edits are
/// refused or the project has no blocks; with no selection the whole project on the current
/// track. Effects with a dialog ask pDialog first. Every block of a selected track inside
/// the selection (after splitting at the marks) is rendered into a new working file, and
/// only when every block rendered are the old parts replaced by the new ones, as one
/// undoable edit; a failed or cancelled render leaves the project as it was and deletes
/// the files made. Delays and reverb may move MarkOut to the end of their longest result;
/// time stretch and speed change set the new end and ask whether later blocks move.
/// Returns true when the blocks were replaced.
bool ApplyEffect(MainLogic& pLogic, int32_t pId, const EffectDialog& pDialog);

/// True when effect pId can be rendered today (reverse, and every effect the processor has).
bool IsEffectAvailable(int32_t pId);

/// The headless dialog step: the effect's saved values (or defaults) committed as OK
/// would commit them; false when they are out of range.
bool SavedValuesDialog(MainLogic& pLogic, int32_t pId, C_FX& pFx);

/// The effect command as the menu runs it, with SavedValuesDialog as the dialog step; a
/// window front end takes the command first and shows its dialog instead.
bool RunEffectCommand(MainLogic& pLogic, int32_t pId);

} // namespace tarvok
