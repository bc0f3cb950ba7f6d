#include "app/commands/range_commands.h"

#include "app/commands/range_input.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/command_ids.h"
#include "core/envelope.h"
#include "core/time_text.h"
#include "edit/range_edit.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

namespace tarvok {

namespace {

constexpr const char* kNothingSelected = N_("選択されていません");
constexpr const char* kEditError = N_("編集エラー");
constexpr const char* kHeadPosition = N_("ヘッド位置  ");
constexpr const char* kBlankLengthPrompt = N_("空白長さ指定");
constexpr const char* kThresholdPrompt = N_("閾値db");
constexpr const char* kThresholdDefault = "-40";
constexpr const char* kMarkInPrompt = N_("マークイン位置指定");
constexpr const char* kMarkOutPrompt = N_("マークアウト長さ指定");

// Marks live on the timeline: never below 0 and never past the last frame a block can use.
int32_t MarkValue(int64_t pFrames) { return Clamp32(pFrames, 0, kMaxLength); }

// Ends an edit that ran: EndProc always, then the error text when something failed.
/// Lengthens the envelopes (new frames at unity) when they end before the marks or the
/// blocks, so that a copy of the range takes all of it.
void CoverRangeWithEnvelopes(Project& pProject)
{
    const int32_t end = std::max({ pProject.MarkIn, pProject.MarkOut, pProject.ProjectLength, 0 });
    ResizeEnvelopes(pProject, std::min(end, kMaxLength), false);
}

bool FinishEdit(MainLogic& pLogic, bool pOk)
{
    pLogic.EndProc();
    if (!pOk)
        pLogic.ShowMessage(Tr(kEditError));
    return pOk;
}

bool RunEditCommand(MainLogic& pLogic, int32_t pId)
{
    if (!pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();

    switch (pId) {
    case kCmdErase:
    case kCmdDelete:
    case kCmdCut:
    case kCmdCopy:
    case kCmdTrim:
        if (!HasRange(p)) {
            pLogic.ShowMessage(Tr(kNothingSelected));
            return false;
        }
        break;
    case kCmdPaste:
    case kCmdInsert:
        if (p.Clip.Length < 1)
            return false;
        break;
    default:
        break;
    }

    switch (pId) {
    case kCmdErase: {
        if (!pLogic.StartProc(1, 0))
            return false;
        return FinishEdit(pLogic, EraseSelected(p, false));
    }
    case kCmdDelete: {
        if (!pLogic.StartProc(1, 0))
            return false;
        bool ok = EraseSelected(p, true);
        p.MarkOut = p.MarkIn;
        return FinishEdit(pLogic, ok);
    }
    case kCmdCut: {
        if (!pLogic.StartProc(1, 0))
            return false;
        // A project read from a foreign or hand-made file may have envelopes shorter than
        // its blocks; they are lengthened (new frames at unity, as the missing frames were
        // heard) so that the copy takes the whole range. Whatever the copy could not take is
        // not erased: the cut removes only what the clipboard now holds.
        CoverRangeWithEnvelopes(p);
        if (!CopyRange(p) && !p.Blocks.empty())
            return FinishEdit(pLogic, false);
        bool ok = EraseSelected(p, true);
        p.MarkOut = p.MarkIn;
        return FinishEdit(pLogic, ok);
    }
    case kCmdCopy: {
        if (!pLogic.StartProc(0, 0))
            return false;
        bool copied = CopyRange(p);
        pLogic.EndProc();
        return copied;
    }
    case kCmdPaste:
    case kCmdInsert: {
        if (!pLogic.StartProc(1, 0))
            return false;
        const int32_t length = p.Clip.Length;
        p.MarkOut = MarkValue(static_cast<int64_t>(p.MarkIn) + length);
        bool ok = true;
        if (!p.Clip.NoEnvelope)
            ok = pId == kCmdPaste ? EraseSelected(p, false)
                                  : InsertSpace(p, length, pLogic.Folder());
        ok = PasteClip(p, pLogic.Folder()) && ok;
        return FinishEdit(pLogic, ok);
    }
    case kCmdInsb: {
        std::optional<std::string> answer = pLogic.Ui().TimeInputBox(
            Tr(kBlankLengthPrompt), TimeInputDefault(p, 0, false), false);
        if (!answer)
            return false;
        std::optional<int64_t> ms = ParseTimeAnswer(*answer);
        if (!ms || *ms < 1)
            return false;
        const int32_t frames = Clamp32(MsToFrames(*ms, p.SampleRate), 1, kMaxLength);
        if (!pLogic.StartProc(1, 0))
            return false;
        p.MarkOut = MarkValue(static_cast<int64_t>(p.MarkIn) + frames);
        return FinishEdit(pLogic, InsertSpace(p, frames, pLogic.Folder()));
    }
    case kCmdTrim: {
        std::optional<std::string> answer
            = pLogic.Ui().InputBox(Tr(kThresholdPrompt), kThresholdDefault);
        if (!answer)
            return false;
        std::optional<double> value = ParseNumber(Trim(*answer));
        if (!value)
            return false;
        const double threshold = TrimThresholdDb(*value);
        if (!pLogic.StartProc(1, 0))
            return false;
        return FinishEdit(pLogic, TrimQuiet(p, threshold, pLogic.Options().WFMode));
    }
    case kCmdSelall:
        SelectAll(p);
        pLogic.Ui().RequestRedraw(RedrawArea::Tracks);
        pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
        return true;
    default:
        return false;
    }
}

// Marks may move while the transport runs (marking while listening); they stay put while an
// operation that reads them is running or the fade-drawing window works on them.
bool RunMarkCommand(MainLogic& pLogic, int32_t pId)
{
    if (pLogic.Busy || pLogic.DrawWindowOpen)
        return false;
    Project& p = pLogic.Proj();
    const bool setIn = pId <= kCmdMarkinSet;
    const int32_t which = setIn ? pId - kCmdMarkinClick : pId - kCmdMarkoutClick;
    const bool hasBlock = p.SelectedBlock >= 0 && p.SelectedBlock < p.BlockCount();

    int64_t value = 0;
    switch (which) {
    case 0: // *_CLICK
        value = ClickFrame(pLogic);
        break;
    case 1: // *_HEAD
        value = p.Head;
        break;
    case 2: // *_BLOCK_START
        if (!hasBlock)
            return false;
        value = p.Blocks[p.SelectedBlock].StartAdr;
        break;
    case 3: // *_BLOCK_END
        if (!hasBlock)
            return false;
        value = p.Blocks[p.SelectedBlock].EndAdr;
        break;
    case 4: // *_HOME
        value = 0;
        break;
    case 5: { // *_SET
        std::optional<int32_t> answer = setIn
            ? AskTimeFrames(pLogic.Ui(), p, Tr(kMarkInPrompt), p.MarkIn, true)
            : AskTimeFrames(pLogic.Ui(), p, Tr(kMarkOutPrompt),
                Clamp32(static_cast<int64_t>(p.MarkOut) - p.MarkIn, 0,
                    std::numeric_limits<int32_t>::max()),
                false);
        if (!answer)
            return false;
        value = setIn ? *answer : static_cast<int64_t>(p.MarkIn) + *answer;
        break;
    }
    default:
        return false;
    }

    if (setIn)
        p.MarkIn = MarkValue(value);
    else
        p.MarkOut = MarkValue(value);
    p.MarkIn = MarkValue(p.MarkIn);
    p.MarkOut = MarkValue(p.MarkOut);
    if (p.MarkOut < p.MarkIn) {
        if (setIn)
            p.MarkOut = p.MarkIn;
        else
            p.MarkIn = p.MarkOut;
    }
    pLogic.Ui().RequestRedraw(RedrawArea::Tracks);
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    return true;
}

// The engine owns the head while it plays or records, so the head commands wait for it.
bool RunHeadCommand(MainLogic& pLogic, int32_t pId)
{
    if (pLogic.Playing || pLogic.Recording || pLogic.Busy)
        return false;
    Project& p = pLogic.Proj();
    const bool hasBlock = p.SelectedBlock >= 0 && p.SelectedBlock < p.BlockCount();

    int64_t head = p.Head;
    switch (pId) {
    case kCmdHeadMarkin:
        head = p.MarkIn;
        break;
    case kCmdHeadMarkout:
        head = p.MarkOut;
        break;
    case kCmdHeadBlockStart:
        if (!hasBlock)
            return false;
        head = p.Blocks[p.SelectedBlock].StartAdr;
        break;
    case kCmdHeadBlockEnd:
        if (!hasBlock)
            return false;
        head = p.Blocks[p.SelectedBlock].EndAdr;
        break;
    case kCmdHeadHome:
        head = 0;
        break;
    case kCmdHeadFwd: {
        std::optional<int32_t> next;
        for (const Block& b : p.Blocks)
            if (b.StartAdr > p.Head && (!next || b.StartAdr < *next))
                next = b.StartAdr;
        if (!next)
            return false;
        head = *next;
        break;
    }
    case kCmdHeadRwd: {
        std::optional<int32_t> previous;
        for (const Block& b : p.Blocks)
            if (b.StartAdr < p.Head && (!previous || b.StartAdr > *previous))
                previous = b.StartAdr;
        if (!previous)
            return false;
        head = *previous;
        break;
    }
    default:
        return false;
    }

    p.Head = Clamp32(head, 0, std::numeric_limits<int32_t>::max());
    // Centre the head in the track area.
    const int64_t halfWidth
        = static_cast<int64_t>(pLogic.TrackAreaWidthPx / 2) * p.Zoom * p.SampleStep;
    p.ViewStart
        = Clamp32(static_cast<int64_t>(p.Head) - halfWidth, 0, std::numeric_limits<int32_t>::max());
    pLogic.Ui().RequestRedraw(RedrawArea::All);
    pLogic.ShowMessage(std::string(Tr(kHeadPosition))
        + TimeText(FramesToMs(static_cast<int64_t>(p.Head) - p.ZeroPos, p.SampleRate), 0, true));
    return true;
}

} // namespace

bool IsRangeCommand(int32_t pId) { return pId >= kCmdMarkinClick && pId <= kCmdSelall; }

bool RunRangeCommand(MainLogic& pLogic, int32_t pId)
{
    if (pId >= kCmdMarkinClick && pId <= kCmdMarkoutSet)
        return RunMarkCommand(pLogic, pId);
    if (pId >= kCmdHeadMarkin && pId <= kCmdHeadRwd)
        return RunHeadCommand(pLogic, pId);
    if (pId >= kCmdErase && pId <= kCmdSelall)
        return RunEditCommand(pLogic, pId);
    return false;
}

} // namespace tarvok
