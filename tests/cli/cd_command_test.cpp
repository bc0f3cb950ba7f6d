#include "cd/accurate_rip.h"
#include "cd/cd_fakes.h"
#include "cd/cd_folder.h"
#include "cd/cd_image.h"
#include "cd/rip_check.h"
#include "cli/cd_command.h"
#include "cli/cli_app.h"

#include "cli_project.h"
#include "support/cd_image.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace tarvok {
namespace {

struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

CliRun RunTool(std::vector<std::string> pArgs)
{
    std::ostringstream out, err;
    int code = RunCli(pArgs, out, err);
    return { code, out.str(), err.str() };
}

TEST(CliCd, ListShowsTheImagesOfTheSetting)
{
    test::ScopedHome home;
    const std::string a = test::WriteCdImage(home.Dir().Path(), "a", { 10 });
    const std::string b = test::WriteCdImage(home.Dir().Path(), "b", { 10 });
    ASSERT_EQ(RunTool({ "settings", "set", "CDImages", a + ";" + b }).Code, 0);
    CliRun list = RunTool({ "cd", "list" });
    EXPECT_EQ(list.Code, 0);
    EXPECT_NE(list.Out.find("\t" + a + "\timage\ta.cue\n"), std::string::npos);
    EXPECT_NE(list.Out.find("\t" + b + "\timage\tb.cue\n"), std::string::npos);
}

TEST(CliCd, AnImageWhoseDataFileIsAFifoIsRefusedWithItsReason)
{
    test::ScopedHome home;
    const std::string cue = home.Dir().File("pipe.cue");
    const std::string bin = home.Dir().File("pipe.bin");
    ASSERT_EQ(::mkfifo(bin.c_str(), 0600), 0);
    std::ofstream(cue) << "FILE \"pipe.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    for (const char* command : { "toc", "rip" }) {
        SCOPED_TRACE(command);
        std::vector<std::string> args { "cd", command, cue };
        if (std::string(command) == "rip")
            args.insert(args.end(), { "--track", "1", "-o", home.Dir().File("t.wav") });
        const CliRun run = RunTool(args);
        EXPECT_EQ(run.Code, 1) << run.Err;
        EXPECT_NE(run.Err.find("pipe.bin"), std::string::npos) << run.Err;
    }
}

TEST(CliCd, TocListsTracksAndTitlesFromTheServer)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 150, 263 });
    test::LocalHttpServer server([](const std::string& pTarget) {
        if (pTarget.find("query") != std::string::npos)
            return test::LocalHttpServer::Ok("210 list\r\nrock 06000502 A\r\nmisc 06000502 B\r\n");
        return test::LocalHttpServer::Ok("DTITLE=Band / Tape\r\nTTITLE0=First\r\n");
    });
    ASSERT_EQ(RunTool({ "settings", "set", "CDDBServer", server.Address() }).Code, 0);
    CliRun toc = RunTool({ "cd", "toc", cue, "--cddb", "--album", "2" });
    EXPECT_EQ(toc.Code, 0) << toc.Err;
    EXPECT_NE(toc.Out.find("disc id: 06000502\n"), std::string::npos) << toc.Out;
    EXPECT_NE(toc.Out.find("title: Band - Tape\n"), std::string::npos) << toc.Out;
    EXPECT_NE(toc.Out.find("01\t00'02.0\t0\t150\tFirst\n"), std::string::npos) << toc.Out;
    EXPECT_NE(toc.Out.find("02\t00'03.5\t150\t263\t\n"), std::string::npos) << toc.Out;
    ASSERT_EQ(server.Targets().size(), 2U);
    EXPECT_NE(server.Targets()[1].find("read+misc+06000502"), std::string::npos);

    // Without --cddb nothing is asked.
    CliRun plain = RunTool({ "cd", "toc", cue });
    EXPECT_EQ(plain.Code, 0);
    EXPECT_EQ(server.Targets().size(), 2U);
    EXPECT_NE(plain.Out.find("title: \n"), std::string::npos);
}

TEST(CliCd, RipWritesTheTrackBitExactAndNumbersExistingTargets)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 40, 70 });
    const std::string out = home.Dir().File("out.wav");
    CliRun rip = RunTool({ "cd", "rip", cue, "--track", "2", "-o", out, "--check" });
    ASSERT_EQ(rip.Code, 0) << rip.Err;
    EXPECT_EQ(rip.Out.substr(rip.Out.size() - out.size() - 1), out + "\n");
    EXPECT_TRUE(test::ReadFileBytes(out).substr(44) == test::CdImageTrackBytes(1, 70));
    EXPECT_FALSE(std::filesystem::exists(out + ".chk"));
    const std::optional<AccurateRipSums> sums = AccurateRipOfFile(out, false, true);
    ASSERT_TRUE(sums.has_value());
    EXPECT_NE(rip.Out.find("AccurateRip " + AccurateRipText(*sums) + "\n"), std::string::npos);
    // The same sums come from reading the disc for the track list; the database (a local
    // server without this disc) is asked once.
    test::LocalHttpServer none([](const std::string&) {
        return test::LocalHttpServer::Response { "HTTP/1.0 404 No\r\nContent-Length: 0\r\n\r\n" };
    });
    ASSERT_EQ(
        RunTool({ "settings", "set", "AccurateRipServer", "http://" + none.Address() }).Code, 0);
    CliRun toc = RunTool({ "cd", "toc", cue, "--accuraterip" });
    EXPECT_NE(toc.Out.find("\t" + AccurateRipText(*sums) + "\t未登録\n"), std::string::npos)
        << toc.Out;
    EXPECT_EQ(none.Targets().size(), 1U);

    CliRun again = RunTool({ "cd", "rip", cue, "--track", "1", "-o", out, "--level", "-6" });
    ASSERT_EQ(again.Code, 0) << again.Err;
    EXPECT_TRUE(std::filesystem::exists(home.Dir().File("out01.wav")));
    // Sums of a track read at another level mean nothing to other rips: none are shown.
    EXPECT_EQ(again.Out.find("AccurateRip"), std::string::npos);
    EXPECT_TRUE(test::ReadFileBytes(out).substr(44) == test::CdImageTrackBytes(1, 70));

    for (const std::vector<std::string>& bad :
        { std::vector<std::string> { "cd", "rip", cue, "--track", "3", "-o", out },
            { "cd", "rip", cue, "--track", "0", "-o", out },
            { "cd", "rip", cue, "--track", "1", "-o", out, "--level", "21" },
            { "cd", "rip", home.Dir().File("none.cue"), "--track", "1", "-o", out },
            { "cd", "rip", cue, "--track", "1" } }) {
        SCOPED_TRACE(bad[2] + " " + bad[4]);
        EXPECT_NE(RunTool(bad).Code, 0);
    }
}

void Put32(std::string& pOut, uint32_t pValue)
{
    for (int b = 0; b < 4; ++b)
        pOut.push_back(static_cast<char>((pValue >> (8 * b)) & 0xFF));
}

TEST(CliCd, RipChecksTheDatabaseAndReadsWithErrorCorrection)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 40, 70 });
    const std::string out = home.Dir().File("out.wav");
    CliRun plain = RunTool({ "cd", "rip", cue, "--track", "2", "-o", out });
    ASSERT_EQ(plain.Code, 0) << plain.Err;
    EXPECT_EQ(plain.Out.find("error-correcting"), std::string::npos);
    const std::optional<AccurateRipSums> sums = AccurateRipOfFile(out, false, true);
    ASSERT_TRUE(sums);

    // A database answer that knows track 2 with a confidence of 4.
    DiscToc toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 2;
    toc.Entries = { LbaToMsf(0, 1), LbaToMsf(40, 2), LbaToMsf(110, kLeadOutTrack) };
    const AccurateRipDiscIds ids = *AccurateRipIdsOf(toc);
    std::string dbar(1, '\x02');
    Put32(dbar, ids.Id1);
    Put32(dbar, ids.Id2);
    Put32(dbar, ids.CddbId);
    for (uint32_t crc : { 1U, sums->V1 }) {
        dbar.push_back('\x04');
        Put32(dbar, crc);
        Put32(dbar, 0);
    }
    test::LocalHttpServer server(
        [&](const std::string&) { return test::LocalHttpServer::Ok(dbar); });
    ASSERT_EQ(
        RunTool({ "settings", "set", "AccurateRipServer", "http://" + server.Address() }).Code, 0);
    CliRun rip = RunTool({ "cd", "rip", cue, "--track", "2", "-o", home.Dir().File("p.wav"),
        "--paranoia", "--accuraterip" });
    ASSERT_EQ(rip.Code, 0) << rip.Err;
    EXPECT_NE(rip.Out.find("error-correcting reads\n"), std::string::npos) << rip.Out;
    EXPECT_NE(rip.Out.find("AccurateRip " + AccurateRipText(*sums) + " 一致 (信頼度 4)\n"),
        std::string::npos)
        << rip.Out;
    ASSERT_EQ(server.Targets().size(), 1U);
    EXPECT_EQ(server.Targets()[0], "/" + AccurateRipFileName(ids));
    EXPECT_TRUE(
        test::ReadFileBytes(home.Dir().File("p.wav")).substr(44) == test::CdImageTrackBytes(1, 70));

    // The toc shows both disc ids.
    CliRun listed = RunTool({ "cd", "toc", cue });
    EXPECT_NE(listed.Out.find("disc id: 04000102\nMusicBrainz disc id: "), std::string::npos)
        << listed.Out;
}

TEST(CliCd, ImportRipsATrackIntoTheProjectAtMarkIn)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 40, 75 });
    ASSERT_EQ(RunTool({ "settings", "set", "CDImages", cue }).Code, 0);
    ASSERT_EQ(RunTool({ "new", "p" }).Code, 0);
    CliRun imp = RunTool({ "import", "p", "cd:" + cue + "#2" });
    ASSERT_EQ(imp.Code, 0) << imp.Err;
    CliRun info = RunTool({ "info", "p" });
    EXPECT_NE(info.Out.find("blocks:      1\n"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("(44100 frames)"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("block 0: track 0 frames 0.."), std::string::npos) << info.Out;

    // By the number of the drive list (the image is its last entry).
    const std::string list = RunTool({ "cd", "list" }).Out;
    const auto count = std::count(list.begin(), list.end(), '\n');
    CliRun byNumber = RunTool({ "import", "p", "cd:" + std::to_string(count) + "#1" });
    ASSERT_EQ(byNumber.Code, 0) << byNumber.Err;
    EXPECT_NE(RunTool({ "info", "p" }).Out.find("blocks:      2\n"), std::string::npos);
    // A track the disc does not have, and a source without a track.
    EXPECT_NE(RunTool({ "import", "p", "cd:" + cue + "#3" }).Code, 0);
    EXPECT_NE(RunTool({ "import", "p", "cd:" + cue }).Code, 0);
}

TEST(CliCd, ASheetOfSeveralFilesListsAndRipsEachTrackAndRefusesItsDataTrack)
{
    test::ScopedHome home;
    const std::string a = test::CdImageTrackBytes(0, 40);
    const std::string b = test::CdImageTrackBytes(1, 75);
    std::ofstream(home.Dir().File("one.bin"), std::ios::binary) << a;
    std::ofstream(home.Dir().File("two.bin"), std::ios::binary) << b;
    std::ofstream(home.Dir().File("data.iso"), std::ios::binary) << std::string(20 * 2048, 'x');
    const std::string cue = home.Dir().File("album.cue");
    std::ofstream(cue)
        << "FILE \"one.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
           "FILE \"two.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
           "FILE \"data.iso\" BINARY\n  TRACK 03 MODE1/2048\n    INDEX 01 00:00:00\n";
    CliRun toc = RunTool({ "cd", "toc", cue });
    ASSERT_EQ(toc.Code, 0) << toc.Err;
    EXPECT_NE(toc.Out.find("01\t00'00.5\t0\t40\t\n"), std::string::npos) << toc.Out;
    EXPECT_NE(toc.Out.find("02\t00'01.0\t40\t"), std::string::npos) << toc.Out;
    EXPECT_NE(toc.Out.find("03\t00'00.2\t11515\t20\tdata\t\n"), std::string::npos) << toc.Out;
    for (int track : { 1, 2 }) {
        SCOPED_TRACE(track);
        const std::string out = home.Dir().File("t" + std::to_string(track) + ".wav");
        CliRun rip = RunTool({ "cd", "rip", cue, "--track", std::to_string(track), "-o", out });
        ASSERT_EQ(rip.Code, 0) << rip.Err;
        EXPECT_TRUE(test::ReadFileBytes(out).substr(44) == (track == 1 ? a : b));
    }
    CliRun data = RunTool({ "cd", "rip", cue, "--track", "3", "-o", home.Dir().File("d.wav") });
    EXPECT_EQ(data.Code, 1);
    EXPECT_NE(data.Err.find(std::string(kRipDataTrack)), std::string::npos) << data.Err;
    EXPECT_FALSE(std::filesystem::exists(home.Dir().File("d.wav")));
}

/// Answers the CLI's questions from pText while it lives.
class ScopedInput {
public:
    explicit ScopedInput(const std::string& pText)
        : in_(pText)
    {
        CliCdServices().Input = &in_;
    }
    ~ScopedInput() { CliCdServices().Input = nullptr; }

private:
    std::istringstream in_;
};

TEST(CliCd, SeveralAlbumsAreListedAndAskedOnTheInput)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 150, 263 });
    test::LocalHttpServer server([](const std::string& pTarget) {
        if (pTarget.find("/~cddb/") != 0)
            return test::LocalHttpServer::Ok(R"({"releases":[]})");
        if (pTarget.find("query") != std::string::npos)
            return test::LocalHttpServer::Ok("210 list\r\nrock 06000502 A\r\nmisc 06000502 B\r\n");
        return test::LocalHttpServer::Ok("DTITLE=Band / Tape\r\nTTITLE0=First\r\n");
    });
    ASSERT_EQ(RunTool({ "settings", "set", "CDDBServer", server.Address() }).Code, 0);
    ASSERT_EQ(
        RunTool({ "settings", "set", "MusicBrainzServer", "http://" + server.Address() }).Code, 0);
    const struct {
        const char* Input;
        const char* Title;
        size_t Requests; ///< query and read; MusicBrainz never after a decline
    } cases[] = {
        { "n\nyes\n", "Band - Tape", 2 },
        { "y\n", "Band - Tape", 2 },
        { "", "", 1 },
        { "no\nmaybe\n", "", 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Input);
        const size_t before = server.Targets().size();
        ScopedInput input(c.Input);
        CliRun toc = RunTool({ "cd", "toc", cue, "--cddb" });
        EXPECT_EQ(toc.Code, 0) << toc.Err;
        EXPECT_NE(toc.Out.find("CDDB: 該当するアルバムが 2 件あります\n  1\trock A\n  2\tmisc B\n"),
            std::string::npos)
            << toc.Out;
        EXPECT_NE(toc.Out.find("このCDは rock A ですか？ [y/N] "), std::string::npos);
        EXPECT_NE(toc.Out.find("title: " + std::string(c.Title) + "\n"), std::string::npos)
            << toc.Out;
        EXPECT_EQ(toc.Out.find("--album N") == std::string::npos, *c.Title != 0) << toc.Out;
        EXPECT_EQ(server.Targets().size() - before, c.Requests);
    }
    // A number beyond the list takes nothing and says so.
    const size_t before = server.Targets().size();
    CliRun beyond = RunTool({ "cd", "toc", cue, "--cddb", "--album", "3" });
    EXPECT_EQ(beyond.Code, 0);
    EXPECT_NE(beyond.Err.find("--album 3"), std::string::npos) << beyond.Err;
    EXPECT_NE(beyond.Out.find("title: \n"), std::string::npos);
    EXPECT_EQ(server.Targets().size() - before, 1U);
}

/// The exit code of a shell command line.
int Shell(const std::string& pCommand)
{
    const int status = std::system(pCommand.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliCdFolder, MixdownsWriteASheetAndSumsThatVerifyChecks)
{
    test::CliProject p(test::CdImageTrackBytes(0, 30), 0, 0);
    const std::string folder = p.Home.Dir().File("cd folder/");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(p.Run({ "settings", "set", "CDFolder", folder }).Code, 0);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(p.Run({ "mixdown", "p", "--cd" }).Code, 0);

    // The sheet lists the files in order as CD-TEXT titled tracks with a gap between them,
    // as this reader and another one read it.
    const std::string sheet = folder + std::string(kCdFolderSheet);
    Result<CdImage> image = ReadCdImageSheet(sheet);
    ASSERT_TRUE(image) << image.error().Message;
    ASSERT_EQ(image->Tracks.size(), 2U);
    EXPECT_EQ(image->Title, "cd folder");
    // The command line reads the project without holding it, so no project name titles
    // the tracks: their file names do.
    EXPECT_EQ(image->Tracks[0].Title, "track001");
    EXPECT_EQ(image->Tracks[1].StartLba, 30 + kCdFolderGapSectors);
    EXPECT_EQ(image->LeadOutLba, 60 + kCdFolderGapSectors);
    if (Shell("command -v cuebreakpoints >/dev/null 2>&1") == 0) {
        EXPECT_EQ(Shell("cuebreakpoints \"" + sheet + "\" >/dev/null 2>&1"), 0);
    }
    // A title given in the sheet stays when the next mixdown rewrites it.
    std::string text = test::ReadFileBytes(sheet);
    text.replace(text.find("TITLE \"track001\""), 16, "TITLE \"Mine\"");
    std::ofstream(sheet, std::ios::binary | std::ios::trunc) << text;
    ASSERT_EQ(p.Run({ "mixdown", "p", "--cd" }).Code, 0);
    image = ReadCdImageSheet(sheet);
    ASSERT_TRUE(image && image->Tracks.size() == 3U);
    EXPECT_EQ(image->Tracks[0].Title, "Mine");
    EXPECT_EQ(image->Tracks[2].Title, "track003");

    const test::CliRun good = p.Run({ "cd", "verify", folder });
    EXPECT_EQ(good.Code, 0) << good.Err;
    EXPECT_EQ(good.Out, "track001.wav\tOK\ntrack002.wav\tOK\ntrack003.wav\tOK\n");
    const std::optional<AccurateRipSums> sums
        = AccurateRipOfFile(folder + "track002.wav", false, false);
    ASSERT_TRUE(sums);
    const std::string listed = test::ReadFileBytes(folder + std::string(kCdFolderSums));
    EXPECT_NE(listed.find(AccurateRipText(*sums).substr(3, 8) + " "
                  + AccurateRipText(*sums).substr(15) + " track002.wav\n"),
        std::string::npos)
        << listed;

    // One changed byte of one track's audio fails the check, naming the track.
    {
        std::fstream f(folder + "track002.wav", std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(1000);
        const char c = static_cast<char>(f.get());
        f.seekp(1000);
        f.put(static_cast<char>(c ^ 0x5A));
    }
    const test::CliRun bad = p.Run({ "cd", "verify", folder });
    EXPECT_EQ(bad.Code, 1);
    EXPECT_NE(bad.Out.find("track002.wav\tチェックサムが一致しません\n"), std::string::npos);
    EXPECT_NE(bad.Err.find("track002.wav"), std::string::npos) << bad.Err;
    EXPECT_EQ(bad.Err.find("track001.wav"), std::string::npos) << bad.Err;
    EXPECT_EQ(p.Run({ "cd", "verify", p.Home.Dir().File("") }).Code, 1);
}

TEST(CdFolder, Crc32OfKnownText)
{
    const std::string text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0xCBF43926U);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text.data()) + 4, 5,
                  Crc32(reinterpret_cast<const uint8_t*>(text.data()), 4)),
        0xCBF43926U);
}

TEST(CliCd, TheReadOffsetOfADriveModelIsStoredAndMovesItsRips)
{
    test::ScopedHome home;
    const std::string cue = test::WriteCdImage(home.Dir().Path(), "disc", { 40, 70 });
    test::ModelDriveService drives(*CliCdServices().Drives, cue, "ACME CD-1000");
    struct Swap {
        CdDriveService* Before = CliCdServices().Drives;
        ~Swap() { CliCdServices().Drives = Before; }
    } swap;
    CliCdServices().Drives = &drives;
    const CliRun none = RunTool({ "cd", "offset", "/dev/fakecd" });
    EXPECT_EQ(none.Out, "ACME CD-1000\t0\n") << none.Err;
    const CliRun set = RunTool({ "cd", "offset", "/dev/fakecd", "--set", "-6" });
    EXPECT_EQ(set.Code, 0) << set.Err;
    EXPECT_EQ(set.Out, "ACME CD-1000\t-6\n");
    EXPECT_EQ(RunTool({ "settings", "get", "CDReadOffset-ACME_CD_1000" }).Out, "-6\n");
    EXPECT_EQ(RunTool({ "cd", "offset", "/dev/fakecd", "--set", "x" }).Code, 2);
    // Images are read as they are.
    const CliRun image = RunTool({ "cd", "offset", cue });
    EXPECT_EQ(image.Code, 1);
    EXPECT_NE(image.Err.find("ディスクイメージ"), std::string::npos) << image.Err;

    for (const std::string& drive : { std::string("/dev/fakecd"), cue }) {
        SCOPED_TRACE(drive);
        const std::string out = home.Dir().File("o.wav");
        std::filesystem::remove(out);
        const CliRun rip = RunTool({ "cd", "rip", drive, "--track", "2", "-o", out });
        ASSERT_EQ(rip.Code, 0) << rip.Err;
        std::string expected = test::CdImageTrackBytes(1, 70);
        if (drive != cue)
            expected = test::CdImageTrackBytes(0, 40).substr(40 * 2352 - 24)
                + expected.substr(0, expected.size() - 24);
        EXPECT_TRUE(test::ReadFileBytes(out).substr(44) == expected);
    }
}

} // namespace
} // namespace tarvok
