#pragma once

#include "app/commands/command_table.h"
#include "gui/gui_context.h"

#include <cstdint>
#include <optional>

class QWidget;

namespace tarvok {

/// Runs a command whose work happens in one of the dialogs of this folder, with the same
/// refusals as its headless form: MIXDOWN (the mixdown window), BLOCK_NAME and TRACK_NAME
/// (the rename dialog), BLOCK_LEVEL (the level dialog), BLOCK_SETADR (the time input),
/// FADE_DRAW and FADE_BG (the drawing window), FADE_AUTO (the automation window) and
/// SAMPLEEDIT (the sample editor).
/// Returns nothing for any other command, so that a window handler can try this first and
/// let everything else fall through: `if (auto r = RunDialogCommand(id, ctx, this)) return r;`
std::optional<bool> RunDialogCommand(int32_t pId, GuiContext& pContext, QWidget* pParent);

class FrmAutomation;
class FrmDrawLevel;

/// The open drawing window (FADE_DRAW, FADE_BG) and automation window (FADE_AUTO), or
/// nullptr; RunDialogCommand opens them without blocking.
FrmDrawLevel* OpenDrawLevelWindow();
FrmAutomation* OpenAutomationWindow();

/// The track level dialog (right button on a track's number): sets the track's faders to
/// the levels entered. True when a fader moved; the caller then refreshes the strip.
bool RunTrackLevelDialog(GuiContext& pContext, int32_t pTrack, QWidget* pParent);

/// The settings window, modal. pAssignment: the main window's bindings, updated on OK.
/// True after OK; the caller then re-reads the recent files, device slots, markers and
/// toolbar.
bool RunSettingsWindow(GuiContext& pContext, KeyAssignment* pAssignment, QWidget* pParent);

/// The about window, modal.
void RunAboutWindow(QWidget* pParent);

} // namespace tarvok
