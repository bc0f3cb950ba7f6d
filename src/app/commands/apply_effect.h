#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarvok {

class C_FX;
class MainLogic;

/// The dialog step of an effect command: shows the effect's parameters and fills pFx with
/// them; false (or pFx.FXCanceled set) when the user cancelled.
using EffectDialog = std::function<bool(C_FX& pFx)>;

/// Runs effect command pId (kFirstEffect..kLastEffect) on the selection: refused silently while
/// edits are refused or the project has no blocks; with no selection the whole project on the
/// current track. Effects with a dialog ask pDialog first. Every block of a selected track inside
/// the selection (after splitting at the marks) is rendered into a new working file, and
/// only when every block rendered are the old parts replaced by the new ones, as one
/// undoable edit; a failed or cancelled render leaves the project as it was and deletes
/// the files made. Delays and reverb may move MarkOut to the end of their longest result;
/// time stretch and speed change set the new end and ask whether later blocks move.
/// Returns true when the blocks were replaced.
bool ApplyEffect(MainLogic& pLogic, int32_t pId, const EffectDialog& pDialog);

/// Normalise's gain in dB for frames pFrom..pTo-1 (0-based) of pSource: the peak (pMode
/// kNormalizePeak) or loudest RMS (kNormalizeRms) brought to pTarget dB, or the integrated
/// loudness (kNormalizeLoudness) brought to pTarget LUFS through the main window's loudness
/// meter, lowered so that the true peak stays at the ceiling; pNote collects the loudness
/// each block will have. Nothing, with the message shown, when the range cannot be measured
/// or the measuring was cancelled.
std::optional<double> NormalizeGain(MainLogic& pLogic, const std::string& pSource, int64_t pFrom,
    int64_t pTo, double pTarget, int32_t pMode, std::string& pNote);

/// True when effect pId can be rendered today (reverse, and every effect the processor has).
bool IsEffectAvailable(int32_t pId);

/// The headless dialog step: the effect's saved values (or defaults) committed as OK
/// would commit them; false when they are out of range.
bool SavedValuesDialog(MainLogic& pLogic, int32_t pId, C_FX& pFx);

/// The effect command as the menu runs it, with SavedValuesDialog as the dialog step; a
/// window front end takes the command first and shows its dialog instead.
bool RunEffectCommand(MainLogic& pLogic, int32_t pId);

} // namespace tarvok
