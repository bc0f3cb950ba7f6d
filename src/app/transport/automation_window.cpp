#include "app/transport/automation_window.h"

#include "app/shell/main_logic.h"
#include "core/envelope.h"
#include "edit/fade_edit.h"
#include "engine/playback_engine.h"

#include <algorithm>

namespace tarvok {

AutomationHooks AutomationHooksFor(MainLogic& pLogic)
{
    AutomationHooks hooks;
    hooks.SaveEnvelope = [&pLogic](int32_t pTrack) {
        return SaveTrackEnvelope(pLogic.Proj(), pTrack, pLogic.Folder());
    };
    hooks.TakeSnapshot = [&pLogic] {
        if (!pLogic.TakeUndoSnapshot()) {
            pLogic.ShowUndoSnapshotFailure();
            return false;
        }
        pLogic.Proj().LastUndoType = 0;
        pLogic.Proj().Saved = false;
        return true;
    };
    hooks.Redraw
        = [&pLogic](const std::vector<int32_t>&) { pLogic.Ui().RequestRedraw(RedrawArea::Tracks); };
    return hooks;
}

void BeginAutomationPass(MainLogic& pLogic)
{
    if (!pLogic.Automation.Mode || pLogic.DrawWindowOpen || pLogic.Busy)
        return;
    StartAutomation(pLogic.Proj(), pLogic.Automation);
}

void EndAutomationPass(MainLogic& pLogic)
{
    if (!pLogic.Automation.Mode || pLogic.DrawWindowOpen)
        return;
    EndAutomation(pLogic.Proj(), AutomationHooksFor(pLogic));
    pLogic.Automation.Writing = false;
    pLogic.Automation.LastFrame = -1;
}

void AutomationTick(MainLogic& pLogic, int64_t pPosition)
{
    if (!pLogic.Automation.Mode)
        return;
    // Nothing runs: whatever the pass wrote is saved, so that no written level lives only
    // in memory however the run ended.
    if (pPosition < 0)
        EndAutomationPass(pLogic);
    FctAutomation(pLogic.Proj(), pLogic.Automation, pPosition, pLogic.FadeChannels,
        AutomationHooksFor(pLogic));
}

int64_t AutomationWritePosition(const MainLogic& pLogic, const PlaybackEngine& pEngine)
{
    const Project& p = pLogic.Proj();
    if (pEngine.IsDeviceOpen() && !pEngine.IsStarting() && IsTrackPlay(pEngine.Mode()))
        return static_cast<int64_t>(p.Head)
            + static_cast<int64_t>(pEngine.RingSize()) * pEngine.BufferSamples();
    if (pLogic.Recording && pEngine.RecordingWriting())
        return p.Head;
    return -1;
}

AutomationWindowModel::AutomationWindowModel(MainLogic& pLogic)
    : logic_(pLogic)
    , fader_(pLogic.Proj().UnityLevel)
{
}

void AutomationWindowModel::Open()
{
    logic_.Automation.Mode = true;
    logic_.Automation.Armed = true;
    logic_.Automation.LastFrame = -1;
    logic_.Automation.Writing = false;
    SetFader(logic_.Proj().UnityLevel);
    logic_.Ui().RequestRedraw(RedrawArea::Tracks);
    logic_.Ui().RequestRedraw(RedrawArea::Menus);
}

void AutomationWindowModel::Close()
{
    if (!logic_.Automation.Mode)
        return;
    EndAutomationPass(logic_);
    logic_.Automation.Mode = false;
    logic_.Automation.Writing = false;
    logic_.Automation.LastFrame = -1;
    logic_.Ui().RequestRedraw(RedrawArea::Tracks);
    logic_.Ui().RequestRedraw(RedrawArea::Menus);
}

bool AutomationWindowModel::IsOpen() const { return logic_.Automation.Mode; }

void AutomationWindowModel::SetFader(int32_t pLevel)
{
    fader_ = std::clamp(pLevel, 0, 255);
    SetAutomationLevel(logic_.Proj(), fader_);
}

void AutomationWindowModel::ResetFader() { SetFader(logic_.Proj().UnityLevel); }

bool AutomationWindowModel::Armed() const { return logic_.Automation.Armed; }

void AutomationWindowModel::ToggleArmed()
{
    logic_.Automation.Armed = !logic_.Automation.Armed;
    logic_.Ui().RequestRedraw(RedrawArea::Tracks);
}

std::string AutomationWindowModel::ValueText() const
{
    return LevelText(logic_.Proj().Fades, fader_);
}

} // namespace tarvok
