#include "cli/cd_command.h"

#include "app/shell/file_copy.h"
#include "base/text.h"
#include "cd/accurate_rip.h"
#include "cd/cddb.h"
#include "cd/musicbrainz.h"
#include "cd/rip_audio.h"
#include "cd/rip_check.h"
#include "cli/cli_args.h"
#include "platform/loader/lazy_adapters.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

constexpr OptionSpec kCdOptions[] = {
    { "--cddb", "",
        "toc: the titles from the CDDB server of the setting CDDBServer, else from "
        "MusicBrainz" },
    { "--album", "N", "toc: the Nth of several matches" },
    { "--accuraterip", "",
        "toc: read every track and show its AccurateRip v1 and v2 sums; toc "
        "and rip: check them against the database of the setting "
        "AccurateRipServer" },
    { "--track", "N", "rip: the track to rip, from 1" },
    { "-o", "OUT.wav", "rip: the WAV file to write" },
    { "--check", "", "rip: read the track twice and compare" },
    { "--level", "DB", "rip: apply -30..20 dB while reading" },
    { "--paranoia", "",
        "rip: read with error correction where the drive allows (also the "
        "setting ParanoiaRip)" },
};

constexpr OptionRules kCdRules { .Style = OptionStyle::AnyDash };

std::string Images(CliContext& pCtx) { return pCtx.Store.GetSetting("CDImages", ""); }

AccurateRipOptions AccurateRipSettings(CliContext& pCtx)
{
    AccurateRipOptions options;
    options.Server
        = pCtx.Store.GetSetting("AccurateRipServer", "http://www.accuraterip.com/accuraterip");
    return options;
}

/// "no audio disc in NAME", with the reason when an image cannot be read safely (its data
/// file a FIFO, a device or a folder).
std::string NoDiscText(const RipAudio& pRa, const std::string& pName)
{
    const std::string why = IsCdImagePath(pRa.Drive()) ? CdImageProblem(pRa.Drive()) : "";
    return "no audio disc in " + pName + (why.empty() ? "" : ": " + why);
}

/// Opens the drive and reads its table; false (with a message) when there is no disc.
bool LoadDisc(CliContext& pCtx, RipAudio& pRa, const std::string& pDrive)
{
    pRa.DriveToRip(ResolveCdDrive(pCtx, pDrive));
    if (pRa.Drive().empty()) {
        pCtx.Fail("not a CD drive or disc image: " + pDrive);
        return false;
    }
    pRa.UpdateToc();
    if (pRa.Tracks().empty()) {
        pCtx.Fail(NoDiscText(pRa, pDrive));
        return false;
    }
    return true;
}

int ListDrives(CliContext& pCtx)
{
    int n = 0;
    for (const CdDriveEntry& d : ListCdDrives(*CliCdServices().Drives, Images(pCtx)))
        pCtx.Out << ++n << "\t" << d.Path << "\t" << (d.IsImage ? "image" : "drive") << "\t"
                 << d.Name << "\n";
    return 0;
}

int ShowToc(CliContext& pCtx, const ParsedOptions& pArgs)
{
    if (pArgs.Positional.size() != 1)
        return CommandUsageError(pCtx, kCdSpec);
    RipAudio ra(*CliCdServices().Drives, &pCtx.Ui);
    if (!LoadDisc(pCtx, ra, pArgs.Positional[0]))
        return 1;
    if (std::optional<std::string> album = pArgs.Value("--album")) {
        std::optional<int64_t> n = ParseInteger(*album);
        if (!n || *n < 1 || *n > 1000)
            return pCtx.Fail("--album needs a number from 1", 2);
        for (int64_t i = 1; i < *n; ++i)
            pCtx.Ui.QueueAnswer("no");
        pCtx.Ui.QueueAnswer("yes");
    }
    CddbOptions options;
    options.Server = pCtx.Store.GetSetting("CDDBServer", "gnudb.gnudb.org");
    options.MusicBrainzServer
        = pCtx.Store.GetSetting("MusicBrainzServer", "https://musicbrainz.org");
    DiscListing listing;
    HttpClient* http = pArgs.Has("--cddb") ? CliCdServices().Http : nullptr;
    if (!LoadTrackToList(ra, http, pCtx.Ui, options, listing))
        return pCtx.Fail(NoDiscText(ra, pArgs.Positional[0]));
    pCtx.Ui.ClearAnswers();
    pCtx.Out << "disc id: " << listing.CddbId << "\n";
    pCtx.Out << "MusicBrainz disc id: " << listing.MusicBrainzId << "\n";
    pCtx.Out << "title: " << listing.Title << "\n";
    // With --accuraterip every audio track is read for its checksums, and the database is
    // asked once for the disc when its address is set.
    std::vector<std::optional<AccurateRipSums>> sums(ra.Tracks().size());
    std::vector<AccurateRipResult> verdicts(ra.Tracks().size());
    if (pArgs.Has("--accuraterip")) {
        for (size_t i = 0; i < ra.Tracks().size(); ++i)
            if (!ra.Tracks()[i].IsData)
                sums[i] = ra.TrackChecksums(static_cast<int32_t>(i));
        verdicts
            = CheckAccurateRip(*CliCdServices().Http, AccurateRipSettings(pCtx), ra.Toc(), sums);
    }
    for (size_t i = 0; i < ra.Tracks().size(); ++i) {
        const CdTrack& t = ra.Tracks()[i];
        pCtx.Out << ZeroPad(static_cast<int64_t>(i) + 1, 2) << "\t" << listing.Lengths[i] << "\t"
                 << t.StartLba << "\t" << t.Sectors << (t.IsData ? "\tdata" : "") << "\t"
                 << listing.Titles[i];
        if (pArgs.Has("--accuraterip") && !t.IsData) {
            pCtx.Out << "\t" << (sums[i] ? AccurateRipText(*sums[i]) : std::string("unreadable"));
            const std::string verdict = AccurateRipVerdictText(verdicts[i]);
            if (!verdict.empty())
                pCtx.Out << "\t" << verdict;
        }
        pCtx.Out << "\n";
    }
    return 0;
}

int RipCommand(CliContext& pCtx, const ParsedOptions& pArgs)
{
    const std::optional<std::string> trackText = pArgs.Value("--track");
    const std::optional<std::string> target = pArgs.Value("-o");
    if (pArgs.Positional.size() != 1 || !trackText || !target)
        return CommandUsageError(pCtx, kCdSpec);
    std::optional<int64_t> track = ParseInteger(*trackText);
    if (!track || *track < 1 || *track > 99)
        return pCtx.Fail("--track needs a track number from 1", 2);
    RipCheckOptions options;
    options.Check = pArgs.Has("--check");
    options.ErrorCorrection
        = pArgs.Has("--paranoia") || pCtx.Store.GetSetting("ParanoiaRip", int32_t { 0 }) != 0;
    if (std::optional<std::string> level = pArgs.Value("--level")) {
        std::optional<double> db = ParseNumber(*level);
        if (!db || *db < -30 || *db > 20)
            return pCtx.Fail("--level needs a number of dB from -30 to 20", 2);
        options.LevelDb = *db;
    }
    RipAudio ra(*CliCdServices().Drives, &pCtx.Ui);
    if (!LoadDisc(pCtx, ra, pArgs.Positional[0]))
        return 1;
    const auto index = static_cast<int32_t>(*track - 1);
    if (index >= static_cast<int32_t>(ra.Tracks().size()))
        return pCtx.Fail("no track " + std::to_string(*track) + " on the disc (tracks 1.."
            + std::to_string(ra.Tracks().size()) + ")");
    options.Compare = [&pCtx](const std::string& pA, const std::string& pB) {
        FileCopy fh(&pCtx.Ui);
        return fh.HikakuFile(pA, pB);
    };
    RipCheckResult result = RipWithCheck(ra, pCtx.Ui, index, *target, options);
    if (!result.Good)
        return pCtx.Fail(result.Canceled ? "the rip was cancelled" : "nothing was ripped");
    if (options.ErrorCorrection)
        pCtx.Out << (result.ErrorCorrected
                ? "error-correcting reads\n"
                : "error-correcting reads are not possible on this drive: plain reads used\n");
    // The checksums compare with other rips of the same disc only at the disc's own level.
    if (options.LevelDb == 0) {
        std::vector<std::optional<AccurateRipSums>> sums(ra.Tracks().size());
        sums[static_cast<size_t>(index)] = AccurateRipOfFile(
            result.Path, IsFirstAudioTrack(ra.Toc(), index), IsLastAudioTrack(ra.Toc(), index));
        if (const std::optional<AccurateRipSums>& own = sums[static_cast<size_t>(index)]) {
            pCtx.Out << "AccurateRip " << AccurateRipText(*own);
            if (pArgs.Has("--accuraterip")) {
                const std::vector<AccurateRipResult> verdicts = CheckAccurateRip(
                    *CliCdServices().Http, AccurateRipSettings(pCtx), ra.Toc(), sums);
                const std::string verdict
                    = AccurateRipVerdictText(verdicts[static_cast<size_t>(index)]);
                if (!verdict.empty())
                    pCtx.Out << " " << verdict;
            }
            pCtx.Out << "\n";
        }
    }
    pCtx.Out << result.Path << "\n";
    return 0;
}

} // namespace

CdServices& CliCdServices()
{
    static LazyCdDriveService drives;
    static LazyHttpClient http;
    static CdServices services { &drives, &http };
    return services;
}

bool IsCdSource(const std::string& pSource) { return pSource.rfind("cd:", 0) == 0; }

bool ParseCdSource(const std::string& pSource, std::string& pDrive, int32_t& pTrack)
{
    if (!IsCdSource(pSource))
        return false;
    const size_t hash = pSource.rfind('#');
    if (hash == std::string::npos || hash <= 3)
        return false;
    std::optional<int64_t> n = ParseInteger(std::string_view(pSource).substr(hash + 1));
    if (!n || *n < 1 || *n > 99)
        return false;
    pDrive = pSource.substr(3, hash - 3);
    pTrack = static_cast<int32_t>(*n - 1);
    return true;
}

std::string ResolveCdDrive(CliContext& pCtx, const std::string& pDrive)
{
    std::optional<int64_t> n = ParseInteger(pDrive);
    if (n && pDrive.find('/') == std::string::npos) {
        std::vector<CdDriveEntry> list = ListCdDrives(*CliCdServices().Drives, Images(pCtx));
        if (*n >= 1 && *n <= static_cast<int64_t>(list.size()))
            return list[static_cast<size_t>(*n - 1)].Path;
        return {};
    }
    return pDrive;
}

const CliCommandSpec kCdSpec { "cd",
    "list\ntoc DRIVE [--cddb] [--album N] [--accuraterip]\n"
    "rip DRIVE --track N -o OUT.wav [OPTIONS]",
    "list the CD drives and the disc images of the setting CDImages; show the tracks of a disc "
    "with its CDDB and MusicBrainz disc ids; rip a track to a WAV file",
    "DRIVE is a path or a number of cd list. A rip prints the track's AccurateRip sums.",
    kCdOptions, kCdRules };

int CdCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kCdSpec, pArgs, args))
        return *done;
    if (args.Positional.empty() || args.Positional[0] != pArgs[0])
        return CommandUsageError(pCtx, kCdSpec);
    const std::string verb = args.Positional[0];
    args.Positional.erase(args.Positional.begin());
    if (verb == "list") {
        if (pArgs.size() != 1)
            return pCtx.Fail("cd list takes no arguments", 2);
        return ListDrives(pCtx);
    }
    if (verb == "toc")
        return ShowToc(pCtx, args);
    if (verb == "rip")
        return RipCommand(pCtx, args);
    return CommandUsageError(pCtx, kCdSpec);
}

} // namespace tarvok
