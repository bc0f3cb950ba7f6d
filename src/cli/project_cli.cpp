// tarvok2-cli commands that work on project files in the data folder.

#include "app/commands/rip_command.h"
#include "app/shell/import_command.h"
#include "base/i18n.h"
#include "base/text.h"
#include "cli/cd_command.h"
#include "cli/cli_args.h"
#include "cli/cli_context.h"
#include "cli/json_text.h"
#include "cli/mpeg_info_command.h"
#include "cli/wave_info_command.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/time_text.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>

namespace tarvok {

namespace {

constexpr OptionSpec kNewProjectOptions[] = {
    { "--rate", "HZ", "the sampling rate in Hz, 1000..768000" },
    { "--tracks", "N", "the number of tracks, 1..64" },
};

constexpr OptionSpec kImportOptions[] = {
    { "--track", "N", "the track to import into, from 0 (else the current track)" },
    { "--at", "TIME", "where the sound starts on the timeline (else the start of the selection)" },
    { "--keep-rate", "", "an empty project takes the file's sampling rate" },
    { "--force", "", "save even when opening the project dropped missing working files" },
};

constexpr OptionSpec kInfoOptions[] = {
    { "--json", "", "print one JSON object instead of text" },
};

constexpr OptionSpec kSaveAllOptions[] = {
    { "--replace", "",
        "replace the data an earlier saveall wrote into FOLDER (other files are "
        "kept)" },
    { "--force", "", "save even when opening the project dropped missing working files" },
};

} // namespace

const CliCommandSpec kNewProjectSpec { "new", "NAME [--rate HZ] [--tracks N]",
    "create an empty project NAME.tvp in the data folder", "", kNewProjectOptions };

const CliCommandSpec kImportSpec { "import", "NAME FILE [--track N] [--at TIME] [--keep-rate]",
    "import a sound file into a project (tracks count from 0; --keep-rate makes an empty "
    "project take the file's rate); FILE cd:DRIVE#N rips CD track N (from 1) and imports it",
    "", kImportOptions };

const CliCommandSpec kInfoSpec { "info", "FILE [--json]\nNAME [--json]",
    "the format summary of a sound file, or the summary of a project (tracks, wave files, "
    "blocks, length)",
    "", kInfoOptions };

const CliCommandSpec kSaveAllSpec { "saveall", "NAME FOLDER [--replace] [--force]",
    "write a self-contained copy of a project into FOLDER", "", kSaveAllOptions };

namespace {

bool EndsWithNoCase(const std::string& pText, const std::string& pSuffix)
{
    return pText.size() >= pSuffix.size()
        && EqualsNoCase(pText.substr(pText.size() - pSuffix.size()), pSuffix);
}

/// 3 (with a message) when opening the project dropped working files and the user did not
/// ask to save it anyway; else 0.
int RefuseLossyOpen(
    CliContext& pCtx, HeadlessSession& pSession, const std::string& pPath, bool pForce)
{
    const int32_t lost = pSession.Logic.LostOnOpen;
    if (lost == 0 || pForce)
        return 0;
    return pCtx.Fail("opening " + pPath + " dropped " + std::to_string(lost)
            + " missing or unusable working file(s) with their blocks; nothing was saved"
              " (--force saves the project without them)",
        3);
}

bool SaveBack(CliContext& pCtx, HeadlessSession& pSession, const std::string& pPath)
{
    ProjectFileEnv env = pSession.Logic.FileEnv();
    if (Status written = WriteProject(pSession.Logic.Proj(), pPath, false, env); !written) {
        pCtx.Fail("cannot write the project " + pPath + ": " + written.error().Message);
        return false;
    }
    return true;
}

void PrintProjectText(std::ostream& pOut, const std::string& pPath, const Project& p)
{
    pOut << "project:     " << pPath << "\n";
    pOut << "rate:        " << p.SampleRate << " Hz\n";
    pOut << "tracks:      " << p.TrackCount() << "\n";
    pOut << "length:      " << p.ProjectLength << " frames ("
         << TimeText(FramesToMs(p.ProjectLength, p.SampleRate), 0, false) << ")\n";
    for (int32_t t = 0; t < p.TrackCount(); ++t) {
        const Track& track = p.Tracks[t];
        if (track.Name.empty() && track.EnvelopeFile.empty())
            continue;
        pOut << "track " << t << ": name \"" << track.Name << "\" envelope "
             << (track.EnvelopeFile.empty() ? "-" : track.EnvelopeFile) << "\n";
    }
    pOut << "wave files:  " << p.WaveFileCount() << "\n";
    for (int32_t w = 0; w < p.WaveFileCount(); ++w)
        pOut << "  wave " << w << ": " << p.WaveFiles[w].FileName << " (" << p.WaveFiles[w].Length
             << " frames)\n";
    pOut << "blocks:      " << p.BlockCount() << "\n";
    for (int32_t b = 0; b < p.BlockCount(); ++b) {
        const Block& k = p.Blocks[b];
        pOut << "  block " << b << ": track " << k.TrackNo << " frames " << k.StartAdr << ".."
             << k.EndAdr << " wave " << k.WaveNo << " source " << k.SrcStart << ".." << k.SrcEnd
             << " level " << FormatBlockLevel(k.LevelL) << "/" << FormatBlockLevel(k.LevelR)
             << " flags " << k.Flags << " group " << k.GroupID << " name \"" << k.Name << "\"\n";
    }
    pOut << "fade points: " << p.FadePointCount() << "\n";
}

void PrintProjectJson(std::ostream& pOut, const std::string& pPath, const Project& p)
{
    pOut << "{\"Project\":" << JsonString(pPath) << ",\"SampleRate\":" << p.SampleRate
         << ",\"Tracks\":[";
    for (int32_t t = 0; t < p.TrackCount(); ++t) {
        const Track& k = p.Tracks[t];
        pOut << (t ? "," : "") << "{\"Name\":" << JsonString(k.Name)
             << ",\"EnvelopeFile\":" << JsonString(k.EnvelopeFile)
             << ",\"PlaySelected\":" << k.PlaySelected << ",\"Selected\":" << k.Selected
             << ",\"LevelL\":" << k.LevelL << ",\"LevelR\":" << k.LevelR << "}";
    }
    pOut << "],\"WaveFiles\":[";
    for (int32_t w = 0; w < p.WaveFileCount(); ++w)
        pOut << (w ? "," : "") << "{\"FileName\":" << JsonString(p.WaveFiles[w].FileName)
             << ",\"PeakFile\":" << JsonString(p.WaveFiles[w].PeakFile)
             << ",\"Length\":" << p.WaveFiles[w].Length << "}";
    pOut << "],\"Blocks\":[";
    for (int32_t b = 0; b < p.BlockCount(); ++b) {
        const Block& k = p.Blocks[b];
        pOut << (b ? "," : "") << "{\"TrackNo\":" << k.TrackNo << ",\"StartAdr\":" << k.StartAdr
             << ",\"EndAdr\":" << k.EndAdr << ",\"Length\":" << k.Length
             << ",\"WaveNo\":" << k.WaveNo << ",\"SrcStart\":" << k.SrcStart
             << ",\"SrcEnd\":" << k.SrcEnd << ",\"Flags\":" << k.Flags
             << ",\"GroupID\":" << k.GroupID << ",\"LevelL\":" << FormatBlockLevel(k.LevelL)
             << ",\"LevelR\":" << FormatBlockLevel(k.LevelR) << ",\"Name\":" << JsonString(k.Name)
             << "}";
    }
    pOut << "],\"FadePoints\":" << p.FadePointCount() << ",\"ProjectLength\":" << p.ProjectLength
         << "}\n";
}

} // namespace

std::string NotAFileText(const std::string& pWhat, const std::string& pPath)
{
    switch (KindOfPath(pPath)) {
    case PathKind::Folder:
        return "a folder, not a " + pWhat + " file: " + pPath;
    case PathKind::Special:
        return "not a regular file (a pipe, device or socket): " + pPath;
    case PathKind::Missing:
    case PathKind::RegularFile:
        break;
    }
    return std::string(pWhat == "project" ? "no such project: " : "no such file: ") + pPath;
}

bool LockForWriting(CliContext& pCtx, HeadlessSession& pSession, const std::string& pPath)
{
    if (pSession.Logic.LockProjectFile(pPath))
        return true;
    const int64_t holder = pSession.Logic.LockHolder();
    pCtx.Fail("the project " + pPath + " is being edited by another process"
        + (holder > 0 ? " (PID " + std::to_string(holder) + ")" : std::string())
        + "; nothing was changed");
    return false;
}

bool OpenNamedProject(CliContext& pCtx, HeadlessSession& pSession, const std::string& pName,
    std::string& pPath, bool pForWriting)
{
    pPath = pCtx.ProjectPath(pName, pSession.Logic.Proj().DataFolder);
    if (!FileExists(pPath)) {
        pCtx.Fail(NotAFileText("project", pPath));
        return false;
    }
    if (pForWriting && !LockForWriting(pCtx, pSession, pPath))
        return false;
    // A command that only reads leaves the lock to writers: the atomic replace of every
    // save lets it read the old file or the new one, never half of one.
    if (!pSession.Logic.OpenProject(
            pPath, true, pForWriting ? ProjectAccess::Edit : ProjectAccess::ReadOnly)) {
        pCtx.Fail("cannot read the project " + pPath + ": " + pSession.Logic.OpenFailure);
        return false;
    }
    return true;
}

std::string CliContext::ProjectPath(const std::string& pName, const std::string& pDataFolder) const
{
    std::string path = pName.find('/') == std::string::npos ? pDataFolder + pName : pName;
    if (!EndsWithNoCase(path, ".tvp"))
        path += ".tvp";
    return path;
}

int NewProjectCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kNewProjectSpec, pArgs, args))
        return *done;
    if (args.Positional.size() != 1)
        return CommandUsageError(pCtx, kNewProjectSpec);
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    Project& p = session.Logic.Proj();
    std::string path = pCtx.ProjectPath(args.Positional[0], p.DataFolder);
    // Held before the check, so that no other writer can make the file in between.
    if (!LockForWriting(pCtx, session, path))
        return 1;
    if (FileExists(path))
        return pCtx.Fail("the project already exists: " + path);
    if (std::optional<std::string> value = args.Value("--rate")) {
        std::optional<int64_t> rate = ParseInteger(*value);
        if (!rate || *rate < 1000 || *rate > 768000)
            return pCtx.Fail("not a sampling rate: " + *value, 2);
        p.SampleRate = static_cast<int32_t>(*rate);
    }
    if (std::optional<std::string> value = args.Value("--tracks")) {
        std::optional<int64_t> tracks = ParseInteger(*value);
        if (!tracks || *tracks < 1 || *tracks > kMaxTracks)
            return pCtx.Fail("the number of tracks must be 1..64: " + *value, 2);
        p.SetTrackCount(static_cast<int32_t>(*tracks));
        p.ViewTrackCount = p.LastTrackNo;
        session.Logic.LoadTrackSettings();
    }
    if (!SaveBack(pCtx, session, path))
        return 1;
    pCtx.Out << path << "\n";
    return 0;
}

namespace {

/// Why an import placed nothing: the last error the import showed, else its last status
/// line that is not progress (such as "ファイル形式が違います").
std::string ImportFailureReason(const CliContext& pCtx, size_t pEventsBefore)
{
    const auto& events = pCtx.Ui.Events();
    std::string status;
    for (size_t i = events.size(); i-- > pEventsBefore;) {
        const HeadlessUi::Event& e = events[i];
        if (e.Kind == HeadlessUi::EventKind::MessageBox && e.Icon == MsgIcon::Error) {
            // The import's own error has the file on its second line and the cause after it.
            const size_t file = e.Text.starts_with(Tr(kImportFailedText.data()))
                ? e.Text.find('\n')
                : std::string::npos;
            const size_t cause
                = file == std::string::npos ? std::string::npos : e.Text.find('\n', file + 1);
            return cause == std::string::npos ? e.Text : e.Text.substr(cause + 1);
        }
        if (status.empty() && e.Kind == HeadlessUi::EventKind::Message && !e.Text.empty()
            && e.Text.back() != '%')
            status = e.Text;
    }
    return status.empty() ? std::string("the file holds no sound that could be placed") : status;
}

} // namespace

int ImportCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kImportSpec, pArgs, args))
        return *done;
    if (args.Positional.size() != 2)
        return CommandUsageError(pCtx, kImportSpec);
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path;
    if (!OpenNamedProject(pCtx, session, args.Positional[0], path, true))
        return 1;
    if (int code = RefuseLossyOpen(pCtx, session, path, args.Has("--force")))
        return code;
    Project& p = session.Logic.Proj();
    int32_t track = p.CurrentTrack;
    if (std::optional<std::string> value = args.Value("--track")) {
        std::optional<int64_t> t = ParseInteger(*value);
        if (!t || *t < 0 || *t > p.LastTrackNo)
            return pCtx.Fail(
                "no such track (tracks are 0.." + std::to_string(p.LastTrackNo) + "): " + *value,
                2);
        track = static_cast<int32_t>(*t);
    }
    int32_t position = p.MarkIn;
    if (std::optional<std::string> value = args.Value("--at")) {
        ParsedTime time = ParseTimeText(*value, true);
        if (!time.Ok || time.Ms < 0)
            return pCtx.Fail("not a time: " + *value, 2);
        int64_t frames = MsToFrames(time.Ms, p.SampleRate);
        if (frames >= kMaxLength)
            return pCtx.Fail("the time is beyond the longest project: " + *value, 2);
        position = static_cast<int32_t>(frames);
    }
    std::string file = args.Positional[1];
    const bool fromCd = IsCdSource(file);
    if (fromCd) {
        std::string drive;
        int32_t cdTrack = 0;
        if (!ParseCdSource(file, drive, cdTrack))
            return pCtx.Fail("a CD source is cd:DRIVE#TRACK (tracks from 1): " + file, 2);
        const std::string resolved = ResolveCdDrive(pCtx, drive);
        if (resolved.empty())
            return pCtx.Fail("no such CD drive: " + drive);
        file = RipCdToDataFolder(session.Logic, *CliCdServices().Drives, resolved, cdTrack,
            RipOptionsFromSettings(session.Logic));
        if (file.empty())
            return pCtx.Fail("nothing was ripped from " + args.Positional[1]);
    }
    if (!FileExists(file))
        return pCtx.Fail(NotAFileText("sound", file));
    int32_t blocksBefore = p.BlockCount();
    pCtx.Ui.QueueAnswer(args.Has("--keep-rate") ? "no" : "yes");
    const size_t eventsBefore = pCtx.Ui.Events().size();
    bool placed = session.Logic.ImportSoundFile(track, file, position, fromCd);
    if (!placed || p.BlockCount() == blocksBefore)
        return pCtx.Fail(
            "nothing was imported from " + file + ": " + ImportFailureReason(pCtx, eventsBefore));
    if (!SaveBack(pCtx, session, path))
        return 1;
    return 0;
}

int InfoCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kInfoSpec, pArgs, args))
        return *done;
    if (args.Positional.size() != 1)
        return CommandUsageError(pCtx, kInfoSpec);
    const std::string& target = args.Positional[0];
    bool json = args.Has("--json");
    // A sound file is summarised as it is; anything else names a project.
    if (FileExists(target) && !EndsWithNoCase(target, ".tvp")) {
        for (const char* ext : { ".mp1", ".mp2", ".mp3", ".mpa" })
            if (EndsWithNoCase(target, ext))
                return RunMpegInfoCommand(target, json, pCtx.Out, pCtx.Err);
        return RunWaveInfoCommand(target, json, pCtx.Out, pCtx.Err);
    }
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path = pCtx.ProjectPath(target, session.Logic.Proj().DataFolder);
    if (!FileExists(path))
        return pCtx.Fail(KindOfPath(target) != PathKind::Missing ? NotAFileText("sound", target)
                                                                 : NotAFileText("project", path));
    // The summary must not be mixed with status messages on standard output.
    pCtx.Ui.SetMessageSink(nullptr);
    std::string unused;
    if (!OpenNamedProject(pCtx, session, target, unused))
        return 1;
    if (json)
        PrintProjectJson(pCtx.Out, path, session.Logic.Proj());
    else
        PrintProjectText(pCtx.Out, path, session.Logic.Proj());
    return 0;
}

int SaveAllCliCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kSaveAllSpec, pArgs, args))
        return *done;
    if (args.Positional.size() != 2)
        return CommandUsageError(pCtx, kSaveAllSpec);
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    std::string path;
    if (!OpenNamedProject(pCtx, session, args.Positional[0], path))
        return 1;
    if (int code = RefuseLossyOpen(pCtx, session, path, args.Has("--force")))
        return code;
    std::string folder = args.Positional[1];
    if (!IsAbsolutePath(folder))
        folder = std::filesystem::absolute(folder).string();
    std::error_code ec;
    const bool exists = std::filesystem::exists(folder, ec);
    if (exists && !args.Has("--replace"))
        return pCtx.Fail(folder
                + " exists; --replace replaces the data a SAVEALL wrote there (other files are "
                  "kept)",
            2);
    // The reason of a failure has gone to the error stream as the command showed it.
    pCtx.Ui.QueueAnswer(folder);
    // Only the user's --replace answers the question whether to replace an existing folder.
    pCtx.Ui.QueueAnswer(args.Has("--replace") ? "yes" : "no");
    if (!session.Logic.SaveAllCommand())
        return pCtx.Fail("writing out all data failed");
    pCtx.Out << session.Logic.LastSaveAllProject() << "\n";
    return 0;
}

} // namespace tarvok
