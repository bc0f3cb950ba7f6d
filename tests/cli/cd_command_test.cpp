#include "cd/accurate_rip.h"
#include "cli/cd_command.h"
#include "cli/cli_app.h"

#include "support/cd_image.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

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

} // namespace
} // namespace tarvok
