#include "cli/cd_command.h"

#include "base/i18n.h"

#include "app/shell/file_copy.h"
#include "base/file_name.h"
#include "base/text.h"
#include "cd/accurate_rip.h"
#include "cd/cd_folder.h"
#include "cd/cd_image.h"
#include "cd/cddb.h"
#include "cd/musicbrainz.h"
#include "cd/rip_audio.h"
#include "cd/rip_check.h"
#include "cli/cli_args.h"
#include "platform/loader/lazy_adapters.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

constexpr OptionSpec kCdOptions[] = {
    { "--cddb", "",
        "toc: the titles from the CDDB server of the setting CDDBServer, else from "
        "MusicBrainz" },
    { "--album", "N", "toc: the Nth of several matches (without it each is asked on stdin)" },
    { "--accuraterip", "",
        "toc: read every track and show its AccurateRip v1 and v2 sums; toc "
        "and rip: check them against the database of the setting "
        "AccurateRipServer" },
    { "--track", "N", "rip: the track to rip, from 1" },
    { "-o", "OUT.wav", "rip: the WAV file to write" },
    { "--check", "", "rip: read the track twice and compare" },
    { "--level", "DB", "rip: apply -30..20 dB while reading" },
    { "--set", "N", "offset: store the drive's read offset in samples (-5000..5000)" },
    { "--paranoia", "",
        "rip: read with error correction where the drive allows (also the "
        "setting ParanoiaRip)" },
};

constexpr OptionRules kCdRules { .Style = OptionStyle::AnyDash };

std::string Images(CliContext& pCtx) { return pCtx.Store.GetSetting("CDImages", ""); }

/// The stored read offset of a drive model; 0 for none.
std::function<int32_t(std::string_view)> ReadOffsets(CliContext& pCtx)
{
    return [&pCtx](std::string_view pModel) {
        return pCtx.Store.GetSetting(ReadOffsetKey(pModel), int32_t { 0 });
    };
}

AccurateRipOptions AccurateRipSettings(CliContext& pCtx)
{
    AccurateRipOptions options;
    options.Server
        = pCtx.Store.GetSetting("AccurateRipServer", "http://www.accuraterip.com/accuraterip");
    return options;
}

/// "no audio disc in NAME", with the reason when an image cannot be read safely (its data
/// file a FIFO, a device or a folder) or its sheet cannot be read.
std::string NoDiscText(const RipAudio& pRa, const std::string& pName)
{
    std::string why = IsCdImagePath(pRa.Drive()) ? CdImageProblem(pRa.Drive()) : "";
    const std::string extension = ExtensionOf(pRa.Drive());
    if (why.empty() && (extension == "cue" || extension == "toc"))
        if (Result<CdImage> image = ReadCdImageSheet(pRa.Drive()); !image)
            why = image.error().Message;
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

/// The choice among several albums: the list, numbered, then --album N when given, else
/// the rip window's question for each album in turn, answered on the input ("y" or "yes"
/// takes it; anything else, or the end of the input, is No). Nobody answers Yes for the
/// user: without an answer no album is taken, and the way to pick one is named.
AlbumChooser AlbumChoice(CliContext& pCtx, std::optional<int64_t> pAlbum)
{
    return [&pCtx, pAlbum](std::string_view pService,
               const std::vector<std::string>& pAlbums) -> std::optional<size_t> {
        pCtx.Out << TrArgs("%1: 該当するアルバムが %2 件あります", pService, pAlbums.size())
                 << "\n";
        for (size_t i = 0; i < pAlbums.size(); ++i)
            pCtx.Out << "  " << i + 1 << "\t" << pAlbums[i] << "\n";
        if (pAlbum) {
            if (*pAlbum <= static_cast<int64_t>(pAlbums.size()))
                return static_cast<size_t>(*pAlbum - 1);
            pCtx.Err << TrArgs(
                "--album %1: その番号のアルバムはありません (1..%2)", *pAlbum, pAlbums.size())
                     << "\n";
            return std::nullopt;
        }
        std::istream& in = CliCdServices().Input ? *CliCdServices().Input : std::cin;
        for (size_t i = 0; i < pAlbums.size(); ++i) {
            pCtx.Out << TrArgs("このCDは %1 ですか？ [y/N] ", pAlbums[i]) << std::flush;
            std::string answer;
            if (!std::getline(in, answer)) {
                pCtx.Out << "\n";
                break;
            }
            const std::string word = ToLowerAscii(Trim(answer));
            if (word == "y" || word == "yes")
                return i;
        }
        pCtx.Out << Tr(
            "どのアルバムも選ばれませんでした。番号で選ぶには --album N を付けてください")
                 << "\n";
        return std::nullopt;
    };
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
    std::optional<int64_t> album;
    if (std::optional<std::string> text = pArgs.Value("--album")) {
        album = ParseInteger(*text);
        if (!album || *album < 1 || *album > 1000)
            return pCtx.Fail("--album needs a number from 1", 2);
    }
    CddbOptions options;
    options.Choose = AlbumChoice(pCtx, album);
    options.Server = pCtx.Store.GetSetting("CDDBServer", "gnudb.gnudb.org");
    options.MusicBrainzServer
        = pCtx.Store.GetSetting("MusicBrainzServer", "https://musicbrainz.org");
    DiscListing listing;
    HttpClient* http = pArgs.Has("--cddb") ? CliCdServices().Http : nullptr;
    if (!LoadTrackToList(ra, http, pCtx.Ui, options, listing))
        return pCtx.Fail(NoDiscText(ra, pArgs.Positional[0]));
    pCtx.Out << "disc id: " << listing.CddbId << "\n";
    pCtx.Out << "MusicBrainz disc id: " << listing.MusicBrainzId << "\n";
    pCtx.Out << "title: " << listing.Title << "\n";
    // With --accuraterip every audio track is read for its checksums, and the database is
    // asked once for the disc when its address is set.
    std::vector<std::optional<AccurateRipSums>> sums(ra.Tracks().size());
    std::vector<AccurateRipResult> verdicts(ra.Tracks().size());
    if (pArgs.Has("--accuraterip")) {
        if (!IsCdImagePath(ra.Drive()))
            ra.SetReadOffset(ReadOffsets(pCtx)(ra.DriveModel()));
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
    if (ra.Tracks()[static_cast<size_t>(index)].IsData)
        return pCtx.Fail(TrArgs("%1: %2", Tr(kRipDataTrack.data()), *track));
    options.ReadOffsetOf = ReadOffsets(pCtx);
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

/// `cd offset DRIVE [--set N]`: shows (and stores) the read offset of the drive's model.
int OffsetCommand(CliContext& pCtx, const ParsedOptions& pArgs)
{
    if (pArgs.Positional.size() != 1)
        return CommandUsageError(pCtx, kCdSpec);
    RipAudio ra(*CliCdServices().Drives, &pCtx.Ui);
    if (!LoadDisc(pCtx, ra, pArgs.Positional[0]))
        return 1;
    if (IsCdImagePath(ra.Drive()))
        return pCtx.Fail(
            TrArgs("ディスクイメージは読み取りオフセットなしで読みます: %1", ra.Drive()));
    if (ra.DriveModel().empty())
        return pCtx.Fail(TrArgs(
            "ドライブの機種名がわからないので読み取りオフセットを記録できません: %1", ra.Drive()));
    const std::string key = ReadOffsetKey(ra.DriveModel());
    if (std::optional<std::string> text = pArgs.Value("--set")) {
        const std::optional<int64_t> n = ParseInteger(*text);
        if (!n || *n < -5000 || *n > 5000)
            return pCtx.Fail("--set needs a number of samples from -5000 to 5000", 2);
        if (!pCtx.Store.SaveSetting(key, static_cast<int32_t>(*n)))
            return pCtx.Fail(Tr("読み取りオフセットを保存できませんでした"));
    }
    pCtx.Out << ra.DriveModel() << "\t" << pCtx.Store.GetSetting(key, int32_t { 0 }) << "\n";
    return 0;
}

/// `cd verify FOLDER`: every track file of a CD folder against its checksum file; one line
/// per file, and a failure naming the files that changed.
int VerifyCommand(CliContext& pCtx, const ParsedOptions& pArgs)
{
    if (pArgs.Positional.size() != 1)
        return CommandUsageError(pCtx, kCdSpec);
    Result<std::vector<CdFolderCheck>> checks = VerifyCdFolder(pArgs.Positional[0]);
    if (!checks)
        return pCtx.Fail(checks.error().Message);
    std::string bad;
    for (const CdFolderCheck& c : *checks) {
        pCtx.Out << c.File << "\t" << (c.Good ? "OK" : c.Why) << "\n";
        if (!c.Good)
            bad += (bad.empty() ? "" : ", ") + c.File;
    }
    if (!bad.empty())
        return pCtx.Fail(TrArgs("CDフォルダのファイルがチェックサムと合いません: %1", bad));
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
    "rip DRIVE --track N -o OUT.wav [OPTIONS]\noffset DRIVE [--set N]\nverify FOLDER",
    "list the CD drives and the disc images of the setting CDImages; show the tracks of a disc "
    "with its CDDB and MusicBrainz disc ids; rip a track to a WAV file; store a drive's read "
    "offset (applied to every rip from it); "
    "check the files of a CD folder against its checksum file",
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
    if (verb == "offset")
        return OffsetCommand(pCtx, args);
    if (verb == "verify")
        return VerifyCommand(pCtx, args);
    return CommandUsageError(pCtx, kCdSpec);
}

} // namespace tarvok
