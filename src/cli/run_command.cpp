// tarvok2-cli run: a script of table commands and state changes applied to one project.

#include "cli/run_command.h"

#include "app/commands/block_commands.h"
#include "app/commands/command_dispatch.h"
#include "app/commands/command_table.h"
#include "app/commands/sample_editor.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/time_text.h"
#include "edit/block_edit.h"

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

namespace tarvok {

namespace {

constexpr OptionSpec kRunOptions[] = {
    { "--keep-going", "",
        "go on after a failed step; the project is saved at the end and the "
        "exit code is still 1" },
    { "--force", "", "save even when opening the project dropped missing working files" },
};

enum class LineKind {
    Command,
    SelectTracks,
    CurrentTrack,
    MarkIn,
    MarkOut,
    Head,
    SelectBlock,
    MoveBlock,
    FadeChannels,
    SampleEdit, ///< a line of the sample editor (SE_...), Command holds which
};

/// The sample editor's script lines.
enum SampleEditLine : int32_t {
    kSeSelect,
    kSePencil,
    kSeCut,
    kSeDelete,
    kSeCopy,
    kSePaste,
    kSeUndo,
    kSeRedo,
    kSeSilence,
    kSeSelAll,
    kSeOk,
    kSeCancel,
};

/// One understood line: what to do and its checked arguments.
struct ScriptLine {
    int Number = 0;
    std::string Text; ///< the line as written, for messages
    LineKind Kind = LineKind::Command;
    int32_t Command = 0;
    std::vector<std::string> Answers; ///< queued for the command's questions, in order
    std::vector<int32_t> Numbers; ///< tracks, indexes, frames
    int32_t Ms = 0; ///< times
};

std::optional<int32_t> ToInt32(std::string_view pText)
{
    std::optional<int64_t> n = ParseInteger(Trim(pText));
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(*n);
}

/// L, R or LR (any case) as channel bits; 0 for anything else.
int32_t ChannelBits(const std::string& pText)
{
    std::string which = ToLowerAscii(pText);
    return which == "l" ? 1 : which == "r" ? 2 : which == "lr" ? 3 : 0;
}

/// Reads a sample-editor line (its word begins with "SE_"); an error text when it is not
/// understood.
std::optional<std::string> ParseSampleEditLine(
    const std::string& pWord, std::vector<std::string>& pArgs, ScriptLine& pLine)
{
    static const std::pair<const char*, SampleEditLine> kWords[]
        = { { "SE_SELECT", kSeSelect }, { "SE_PENCIL", kSePencil }, { "SE_CUT", kSeCut },
              { "SE_DELETE", kSeDelete }, { "SE_COPY", kSeCopy }, { "SE_PASTE", kSePaste },
              { "SE_UNDO", kSeUndo }, { "SE_REDO", kSeRedo }, { "SE_SILENCE", kSeSilence },
              { "SE_SELALL", kSeSelAll }, { "SE_OK", kSeOk }, { "SE_CANCEL", kSeCancel } };
    pLine.Kind = LineKind::SampleEdit;
    pLine.Command = -1;
    for (const auto& [name, which] : kWords)
        if (pWord == name)
            pLine.Command = which;
    if (pLine.Command < 0)
        return "unknown command: " + pWord;
    auto number = [&](const std::string& pText, int32_t pMin) -> std::optional<std::string> {
        std::optional<int32_t> n = ToInt32(pText);
        if (!n || *n < pMin)
            return pWord + ": not a valid number: " + pText;
        pLine.Numbers.push_back(*n);
        return std::nullopt;
    };
    switch (pLine.Command) {
    case kSeSelect:
        if (pArgs.size() != 2)
            return pWord + ": wrong number of arguments (FROM TO, frames of the edit file)";
        for (const std::string& a : pArgs)
            if (auto e = number(a, 0))
                return e;
        return std::nullopt;
    case kSePencil: {
        if (pArgs.size() != 5)
            return pWord + ": wrong number of arguments (L|R F1 V1 F2 V2)";
        const int32_t bits = ChannelBits(pArgs[0]);
        if (bits != 1 && bits != 2)
            return pWord + ": expected L or R: " + pArgs[0];
        pLine.Numbers.push_back(bits == 1 ? 0 : 1);
        for (size_t i = 1; i < 5; ++i)
            if (auto e = number(pArgs[i], i % 2 == 1 ? 0 : -32767))
                return e;
        if (pLine.Numbers[2] > 32767 || pLine.Numbers[4] > 32767)
            return pWord + ": values lie in -32767..32767";
        return std::nullopt;
    }
    case kSeSilence: {
        if (pArgs.size() != 1)
            return pWord + ": wrong number of arguments (L, R or LR)";
        const int32_t bits = ChannelBits(pArgs[0]);
        if (bits == 0)
            return pWord + ": expected L, R or LR: " + pArgs[0];
        pLine.Numbers.push_back(bits);
        return std::nullopt;
    }
    case kSeOk:
        pLine.Answers = std::move(pArgs); // for the length question
        return std::nullopt;
    default:
        if (!pArgs.empty())
            return pWord + ": wrong number of arguments";
        return std::nullopt;
    }
}

/// Why a table command cannot run in a script, or nothing when it can. A script edits the one
/// project it was given, whose lock it holds and over which it saves at the end: a command
/// that would put another project in its place, or move the edit to another file, could
/// write another project's state over it.
std::optional<std::string> RefusedInScript(int32_t pCommand)
{
    struct Refusal {
        int32_t Command;
        const char* Why;
    };
    static constexpr Refusal kRefused[] = {
        { kCmdOpenprj,
            "it would put another project in place of the one the script runs on, and the run "
            "would save that one over it" },
        { kCmdCloseprj, "the run would save an empty project over the one the script runs on" },
        { kCmdSaveprj,
            "it would move the edit to another file and give up the lock of the project the "
            "script runs on (run saves that project at the end)" },
        { kCmdSaveall,
            "it may open the copy in place of the project the script runs on (use "
            "tarvok2-cli saveall)" },
    };
    for (const Refusal& r : kRefused)
        if (r.Command == pCommand)
            return std::string(r.Why);
    return std::nullopt;
}

/// Reads one line; an error text when it is not understood.
std::optional<std::string> ParseLine(std::string_view pText, ScriptLine& pLine)
{
    size_t quotes = 0;
    for (char c : pText)
        quotes += c == '"' ? 1 : 0;
    if (quotes % 2 != 0)
        return "unbalanced double quote";
    std::vector<std::string> tokens = SplitCommandLine(pText);
    if (tokens.empty())
        return "empty command";
    const std::string& word = tokens[0];
    std::vector<std::string> args(tokens.begin() + 1, tokens.end());
    auto wantCount = [&](size_t pMin, size_t pMax) -> std::optional<std::string> {
        if (args.size() < pMin || args.size() > pMax)
            return word + ": wrong number of arguments";
        return std::nullopt;
    };
    auto readInts
        = [&](const std::vector<std::string>& pTexts, int32_t pMin) -> std::optional<std::string> {
        for (const std::string& t : pTexts) {
            std::optional<int32_t> n = ToInt32(t);
            if (!n || *n < pMin)
                return word + ": not a valid number: " + t;
            pLine.Numbers.push_back(*n);
        }
        return std::nullopt;
    };

    if (word == "SELECT_TRACKS") {
        pLine.Kind = LineKind::SelectTracks;
        if (auto e = wantCount(1, SIZE_MAX))
            return e;
        std::vector<std::string> pieces;
        for (const std::string& a : args) {
            size_t start = 0;
            for (;;) {
                size_t comma = a.find(',', start);
                pieces.push_back(a.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        }
        return readInts(pieces, 0);
    }
    if (word == "CURRENT_TRACK" || word == "SELECT_BLOCK") {
        pLine.Kind = word == "CURRENT_TRACK" ? LineKind::CurrentTrack : LineKind::SelectBlock;
        if (auto e = wantCount(1, 1))
            return e;
        return readInts(args, pLine.Kind == LineKind::CurrentTrack ? 0 : -1);
    }
    if (word == "MARKIN" || word == "MARKOUT" || word == "HEAD") {
        pLine.Kind = word == "MARKIN" ? LineKind::MarkIn
            : word == "MARKOUT"       ? LineKind::MarkOut
                                      : LineKind::Head;
        if (auto e = wantCount(1, 1))
            return e;
        ParsedTime time = ParseTimeText(args[0], true);
        if (!time.Ok || time.Ms < 0)
            return word + ": not a time: " + args[0];
        pLine.Ms = time.Ms;
        return std::nullopt;
    }
    if (word == "MOVE_BLOCK") {
        pLine.Kind = LineKind::MoveBlock;
        if (auto e = wantCount(2, 3))
            return e;
        if (auto e = readInts({ args[0] }, 0))
            return e;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (auto e = readInts(rest, INT32_MIN))
            return e;
        if (pLine.Numbers.size() == 2)
            pLine.Numbers.push_back(0);
        return std::nullopt;
    }
    if (word == "FADE_CHANNELS") {
        pLine.Kind = LineKind::FadeChannels;
        if (auto e = wantCount(1, 1))
            return e;
        std::string which = ToLowerAscii(args[0]);
        int32_t bits = which == "l" ? 1 : which == "r" ? 2 : which == "lr" ? 3 : 0;
        if (bits == 0)
            return word + ": expected L, R or LR: " + args[0];
        pLine.Numbers.push_back(bits);
        return std::nullopt;
    }
    if (word.starts_with("SE_"))
        return ParseSampleEditLine(word, args, pLine);
    int32_t command = FindCommand(word, kCommandIdColumn);
    if (command < 1)
        return "unknown command: " + word;
    if (std::optional<std::string> why = RefusedInScript(command))
        return word + " cannot run in a script: " + *why;
    pLine.Kind = LineKind::Command;
    pLine.Command = command;
    pLine.Answers = std::move(args);
    return std::nullopt;
}

/// Reads every line first, so that a typo anywhere stops the run before anything ran.
bool ParseScript(CliContext& pCtx, std::string_view pScript, std::vector<ScriptLine>& pLines)
{
    int number = 0;
    size_t pos = 0;
    while (pos < pScript.size()) {
        size_t end = pScript.find('\n', pos);
        std::string_view text = pScript.substr(
            pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? pScript.size() : end + 1;
        ++number;
        if (number == 1 && text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        text = Trim(text);
        if (!text.empty() && text.back() == '\r')
            text = Trim(text.substr(0, text.size() - 1));
        if (text.empty() || text[0] == '#')
            continue;
        ScriptLine line;
        line.Number = number;
        line.Text = std::string(text);
        if (std::optional<std::string> error = ParseLine(text, line)) {
            pCtx.Fail("line " + std::to_string(number) + ": " + *error);
            return false;
        }
        pLines.push_back(std::move(line));
    }
    return true;
}

/// Drops answers that the last command did not ask for.
void DropAnswers(HeadlessUi& pUi) { pUi.ClearAnswers(); }

/// Frames of a time at the project rate; nothing beyond the longest project.
std::optional<int32_t> TimeFrames(const Project& pProject, int32_t pMs)
{
    int64_t frames = MsToFrames(pMs, pProject.SampleRate);
    if (frames < 0 || frames >= kMaxLength)
        return std::nullopt;
    return static_cast<int32_t>(frames);
}

/// Runs pAction with pAnswers queued for its questions. An error text when it did nothing
/// or reported an error while it ran (named pName): the error boxes shown, else the last
/// status message of a refusal.
template <class Action>
std::optional<std::string> RunAnswered(CliContext& pCtx, const std::string& pName,
    const std::vector<std::string>& pAnswers, Action&& pAction)
{
    DropAnswers(pCtx.Ui);
    for (const std::string& answer : pAnswers)
        pCtx.Ui.QueueAnswer(answer);
    const size_t before = pCtx.Ui.Events().size();
    const bool did = pAction();
    DropAnswers(pCtx.Ui);
    std::string reason;
    std::string lastStatus;
    const std::vector<HeadlessUi::Event>& events = pCtx.Ui.Events();
    for (size_t i = before; i < events.size(); ++i) {
        if (events[i].Kind == HeadlessUi::EventKind::MessageBox && events[i].Icon == MsgIcon::Error)
            reason += (reason.empty() ? "" : "; ") + events[i].Text;
        if (events[i].Kind == HeadlessUi::EventKind::Message && !events[i].Text.empty())
            lastStatus = events[i].Text;
    }
    if (did && reason.empty())
        return std::nullopt;
    // A command that refused without an error box gave its reason on the status line.
    if (reason.empty())
        reason = lastStatus;
    for (char& c : reason)
        if (c == '\n')
            c = ' ';
    return pName + ": "
        + (reason.empty() ? std::string("the command was refused or did nothing") : reason);
}

/// What a script run keeps between its lines: the sample editor while it is open.
struct ScriptState {
    std::unique_ptr<SampleEditor> Editor;
};

/// Carries out one sample-editor line on the open editor.
std::optional<std::string> RunSampleEditLine(
    CliContext& pCtx, ScriptState& pState, const ScriptLine& pLine)
{
    if (!pState.Editor || pState.Editor->Closed())
        return "the sample editor is not open (SAMPLEEDIT opens it on the selection)";
    SampleEditor& e = *pState.Editor;
    const std::string name = pLine.Text.substr(0, pLine.Text.find(' '));
    const std::vector<int32_t>& n = pLine.Numbers;
    switch (pLine.Command) {
    case kSeSelect:
        if (n[0] >= e.Length() || n[1] >= e.Length() || n[1] < n[0])
            return name + ": the edit file has frames 0.." + std::to_string(e.Length() - 1)
                + " and FROM must not lie after TO";
        e.Select(n[0], n[1]);
        return std::nullopt;
    case kSePencil: {
        const int32_t low = std::min(n[1], n[3]);
        const int32_t high = std::max(n[1], n[3]);
        if (high >= e.Length())
            return name + ": the edit file has frames 0.." + std::to_string(e.Length() - 1);
        // The editor draws into the part of the file it holds: bring the stroke into it.
        if (!e.InBuffer(low) || !e.InBuffer(high))
            e.SetViewStart(low);
        if (!e.InBuffer(low) || !e.InBuffer(high))
            return name + ": a stroke spans at most " + std::to_string(e.BufferFrames())
                + " frames of the edit file at once";
        return RunAnswered(pCtx, name, {}, [&] {
            e.StrokeBegin(n[0]);
            const bool first = e.StrokePoint(n[1], n[2]);
            const bool second = e.StrokePoint(n[3], n[4]);
            return e.StrokeEnd() && first && second;
        });
    }
    case kSeSilence:
        return RunAnswered(pCtx, name, {}, [&] { return e.Silence(n[0]); });
    case kSeOk:
    case kSeCancel: {
        std::optional<std::string> error = RunAnswered(pCtx, name, pLine.Answers, [&] {
            e.Close(pLine.Command == kSeOk);
            return true;
        });
        pState.Editor.reset();
        return error;
    }
    default: {
        static const int32_t kMenu[] = { 0, 0, 0, 1, 2, 3, 4, 5, 0, 6 };
        const int32_t item = pLine.Command < 10 ? kMenu[pLine.Command] : 6;
        return RunAnswered(pCtx, name, {}, [&] { return e.EditMenu(item); });
    }
    }
}

/// Carries out one line; an error text when its arguments do not fit the project now.
std::optional<std::string> RunLine(
    CliContext& pCtx, MainLogic& pLogic, ScriptState& pState, const ScriptLine& pLine)
{
    Project& p = pLogic.Proj();
    if (pLine.Kind == LineKind::SampleEdit)
        return RunSampleEditLine(pCtx, pState, pLine);
    if (pState.Editor)
        return "the sample editor is open: SE_OK or SE_CANCEL closes it first";
    switch (pLine.Kind) {
    case LineKind::Command:
        return RunAnswered(pCtx, std::string(GetCommandText(pLine.Command, kCommandIdColumn)),
            pLine.Answers, [&] { return RunCommand(pLogic, pLine.Command); });
    case LineKind::SelectTracks:
        for (int32_t t : pLine.Numbers)
            if (t > p.LastTrackNo)
                return "no such track (tracks are 0.." + std::to_string(p.LastTrackNo)
                    + "): " + std::to_string(t);
        for (Track& track : p.Tracks)
            track.Selected = 0;
        for (int32_t t : pLine.Numbers)
            p.Tracks[static_cast<size_t>(t)].Selected = 1;
        return std::nullopt;
    case LineKind::CurrentTrack:
        if (pLine.Numbers[0] > p.LastTrackNo)
            return "no such track (tracks are 0.." + std::to_string(p.LastTrackNo)
                + "): " + std::to_string(pLine.Numbers[0]);
        p.CurrentTrack = pLine.Numbers[0];
        return std::nullopt;
    case LineKind::MarkIn:
    case LineKind::MarkOut:
    case LineKind::Head: {
        std::optional<int32_t> frames = TimeFrames(p, pLine.Ms);
        if (!frames)
            return "the time is beyond the longest project";
        (pLine.Kind == LineKind::MarkIn           ? p.MarkIn
                : pLine.Kind == LineKind::MarkOut ? p.MarkOut
                                                  : p.Head)
            = *frames;
        return std::nullopt;
    }
    case LineKind::SelectBlock:
        if (pLine.Numbers[0] >= p.BlockCount())
            return "no such block (the project has " + std::to_string(p.BlockCount())
                + "): " + std::to_string(pLine.Numbers[0]);
        p.SelectedBlock = pLine.Numbers[0];
        return std::nullopt;
    case LineKind::MoveBlock:
        if (pLine.Numbers[0] >= p.BlockCount())
            return "no such block (the project has " + std::to_string(p.BlockCount())
                + "): " + std::to_string(pLine.Numbers[0]);
        if (!GroupMoveFits(p, pLine.Numbers[0], pLine.Numbers[1]))
            return "MOVE_BLOCK: the block would leave the longest project (frames 0.."
                + std::to_string(kMaxLength - 1) + "); it was not moved";
        MoveBlockByDrag(pLogic, pLine.Numbers[0], pLine.Numbers[1], pLine.Numbers[2]);
        return std::nullopt;
    case LineKind::FadeChannels:
        pLogic.FadeChannels = pLine.Numbers[0];
        return std::nullopt;
    case LineKind::SampleEdit:
        break;
    }
    return "unknown line";
}

} // namespace

int RunScriptText(CliContext& pCtx, const std::string& pName, std::string_view pScript,
    const RunOptions& pOptions)
{
    std::vector<ScriptLine> lines;
    if (!ParseScript(pCtx, pScript, lines))
        return 1;
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path = pCtx.ProjectPath(pName, session.Logic.Proj().DataFolder);
    if (!FileExists(path))
        return pCtx.Fail(NotAFileText("project", path));
    if (!LockForWriting(pCtx, session, path))
        return 1;
    std::optional<std::string> original = ReadAllBytes(path);
    if (!original)
        return pCtx.Fail("no such project: " + path);
    if (!session.Logic.OpenProject(path, true))
        return pCtx.Fail("cannot read the project " + path + ": " + session.Logic.OpenFailure);
    if (session.Logic.LostOnOpen > 0 && !pOptions.Force)
        return pCtx.Fail("opening " + path + " dropped " + std::to_string(session.Logic.LostOnOpen)
                + " missing or unusable working file(s) with their blocks; nothing was run or saved"
                  " (--force saves the project without them)",
            3);

    // Puts the file back as it was before the run: a command of the script (OWPRJ) may
    // have written it already.
    auto restore = [&] {
        std::optional<std::string> now = ReadAllBytes(path);
        if ((!now || *now != *original)
            && !WriteFileAtomic(path, original->data(), static_cast<int64_t>(original->size())))
            pCtx.Fail("cannot restore " + path + " as it was before the run");
    };
    // SAMPLEEDIT opens the editor without a window; the SE_ lines drive it, and SE_OK or
    // SE_CANCEL closes it.
    ScriptState state;
    session.Logic.SampleEditorOpener = [&state, &session] {
        state.Editor = std::make_unique<SampleEditor>(session.Logic, nullptr);
        return true;
    };
    int failed = 0;
    for (size_t i = 0; i <= lines.size(); ++i) {
        std::optional<std::string> error;
        int number = 0;
        if (i < lines.size()) {
            number = lines[i].Number;
            error = RunLine(pCtx, session.Logic, state, lines[i]);
        } else if (state.Editor) {
            // An editor left open at the end is closed without placing anything.
            number = lines.empty() ? 0 : lines.back().Number;
            state.Editor->Close(false);
            state.Editor.reset();
            error = "the sample editor was left open (closed with Cancel; SE_OK places the "
                    "result)";
        }
        if (!error)
            continue;
        ++failed;
        pCtx.Fail("line " + std::to_string(number) + ": " + *error);
        if (!pOptions.KeepGoing) {
            restore();
            pCtx.Err << "tarvok2-cli: nothing of this run was saved\n";
            return 1;
        }
    }
    ProjectFileEnv env = session.Logic.FileEnv();
    if (Status written = WriteProject(session.Logic.Proj(), path, false, env); !written)
        return pCtx.Fail("cannot write the project " + path + ": " + written.error().Message);
    return failed > 0 ? 1 : 0;
}

const CliCommandSpec kRunSpec { "run", "NAME SCRIPT [--keep-going] [--force]",
    "run a command script (a file, or - for standard input) on a project and save it when every "
    "step succeeded",
    "The script holds one command ID per line with the answers to its prompts, or SELECT_TRACKS "
    "0,2 / CURRENT_TRACK N / MARKIN TIME / MARKOUT TIME / HEAD TIME / SELECT_BLOCK I / "
    "MOVE_BLOCK I FRAMES [TRACKS] / FADE_CHANNELS L|R|LR; SAMPLEEDIT opens the sample editor on "
    "the selection of the current track, then SE_SELECT FROM TO / SE_PENCIL L|R F1 V1 F2 V2 / "
    "SE_CUT / SE_DELETE / SE_COPY / SE_PASTE / SE_UNDO / SE_REDO / SE_SILENCE L|R|LR / SE_SELALL "
    "(frames of the edit file) and SE_OK [yes|no] or SE_CANCEL to close it.",
    kRunOptions };

int RunScriptCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kRunSpec, pArgs, args))
        return *done;
    RunOptions options;
    options.KeepGoing = args.Has("--keep-going");
    options.Force = args.Has("--force");
    const std::vector<std::string>& positional = args.Positional;
    if (positional.size() != 2)
        return CommandUsageError(pCtx, kRunSpec);
    std::string script;
    if (positional[1] == "-") {
        script.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::optional<std::string> bytes = ReadAllBytes(positional[1]);
        if (!bytes)
            return pCtx.Fail("cannot read the script " + positional[1]);
        script = std::move(*bytes);
    }
    return RunScriptText(pCtx, positional[0], script, options);
}

} // namespace tarvok
