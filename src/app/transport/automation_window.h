#pragma once

#include "edit/fade_automation.h"

#include <cstdint>
#include <string>

namespace tarvok {

class MainLogic;
class PlaybackEngine;

/// The hooks automation writing uses in this program: envelopes saved under fresh names of
/// the data folder, the undo snapshot of an ordinary edit, a redraw of the tracks.
AutomationHooks AutomationHooksFor(MainLogic& pLogic);

/// StartAutomation when automation mode is on, unless the drawing window is open or the
/// editor is busy (the transport calls it when playback or recording starts).
void BeginAutomationPass(MainLogic& pLogic);
/// EndAutomation when automation mode is on, unless the drawing window is open (the
/// transport calls it when playback stops).
void EndAutomationPass(MainLogic& pLogic);
/// FctAutomation for one progress tick at sample position pPosition (-1 when nothing
/// runs), when automation mode is on.
void AutomationTick(MainLogic& pLogic, int64_t pPosition);
/// The position automation writes at: while a play run goes, the head plus the audio
/// queued on the devices (every ring buffer); while recording without playback, the head;
/// otherwise -1.
int64_t AutomationWritePosition(const MainLogic& pLogic, const PlaybackEngine& pEngine);

/// The automation window without its window: opening turns automation mode on and arms
/// writing; the fader (a level index, unity at opening) is stored as the automation level
/// of every selected track at each change; the text shows its level and whether writing
/// is armed; closing turns the mode off and ends a pass that is writing.
class AutomationWindowModel {
public:
    explicit AutomationWindowModel(MainLogic& pLogic);

    /// Automation mode on, writing armed, the fader at unity.
    void Open();
    /// Automation mode off; the pass ends and whatever it wrote is saved.
    void Close();
    bool IsOpen() const;

    int32_t Fader() const { return fader_; }
    /// Moves the fader (held to 0..255) and stores it in every selected track.
    void SetFader(int32_t pLevel);
    /// The double click: the fader back to unity.
    void ResetFader();
    bool Armed() const;
    /// The click on the text: toggles arming; the main window redraws (envelope colours).
    void ToggleArmed();
    /// LevelText of the fader.
    std::string ValueText() const;

private:
    MainLogic& logic_;
    int32_t fader_ = 0;
};

} // namespace tarvok
