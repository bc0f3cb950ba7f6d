#include "cd/cddb.h"

#include "cd/rip_audio.h"
#include "core/headless_ui.h"
#include "platform/cdio/cdio_drive_service.h"
#include "platform/curl/curl_http_client.h"
#include "support/cd_image.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>

namespace tarvok {
namespace {

using test::LocalHttpServer;

/// A table of contents from the tracks' start times and the lead-out, as M, S, F.
DiscToc MakeToc(const std::vector<std::array<int32_t, 3>>& pStarts)
{
    DiscToc toc;
    toc.FirstTrack = 1;
    toc.LastTrack = static_cast<int32_t>(pStarts.size()) - 1;
    for (size_t i = 0; i < pStarts.size(); ++i)
        toc.Entries.push_back(
            { i + 1 == pStarts.size() ? kLeadOutTrack : static_cast<int32_t>(i + 1), 0,
                pStarts[i][0], pStarts[i][1], pStarts[i][2] });
    return toc;
}

/// The two-track disc of the identifier example: tracks at 00:02:00 and 03:00:00, lead-out
/// at 05:30:00.
DiscToc ExampleToc() { return MakeToc({ { 0, 2, 0 }, { 3, 0, 0 }, { 5, 30, 0 } }); }

TEST(Cddb, DiscIdAndQueryTextOfTheExample)
{
    const DiscToc toc = ExampleToc();
    EXPECT_EQ(CddbDiscId(toc), "0b014802");
    EXPECT_EQ(CddbQueryText(toc), "0b014802+2+150+13500+330");
    EXPECT_EQ(CddbDiscId(DiscToc {}), "");
}

TEST(Cddb, DigitSumOfAMultipleOf255StartsWithZeros)
{
    // 15 tracks whose start seconds each have the digit sum 17: 255 in all.
    std::vector<std::array<int32_t, 3>> starts(15);
    const int32_t seconds[15]
        = { 89, 98, 179, 188, 197, 269, 278, 287, 296, 359, 368, 377, 386, 395, 449 };
    for (int i = 0; i < 15; ++i)
        starts[static_cast<size_t>(i)] = { seconds[i] / 60, seconds[i] % 60, 0 };
    starts.push_back({ 10, 0, 0 });
    const DiscToc toc = MakeToc(starts);
    const std::string id = CddbDiscId(toc);
    EXPECT_EQ(id.substr(0, 2), "00");
    EXPECT_EQ(id, "00" + std::string("01ff") + "0f"); // 600 - 89 = 511 s
}

TEST(Cddb, AlbumsAndCategories)
{
    const std::string single = "200 rock 0b014802 Artist / Album\r\n";
    std::vector<std::string> albums = CddbAlbums(single, "0b014802");
    ASSERT_EQ(albums.size(), 1U);
    EXPECT_EQ(albums[0], "200 rock Artist / Album");
    EXPECT_EQ(CddbCategoryOfSingle(albums[0]), "rock");

    const std::string several = "210 Found exact matches, list follows (until terminating `.')\r\n"
                                "rock 0b014802 First / One\r\n"
                                "misc 0b014802 Second / Two\r\n"
                                "jazz 0c014802 Other disc\r\n.\r\n";
    albums = CddbAlbums(several, "0b014802");
    ASSERT_EQ(albums.size(), 2U);
    EXPECT_EQ(albums[1], "misc Second / Two");
    EXPECT_EQ(CddbCategoryOfListed(albums[1]), "misc");

    // Words that are no plain category never reach a URL.
    for (std::string_view bad : { "200 ro/ck x", "200 ../x y", "2", "200  x", "200 ROCK x" }) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(CddbCategoryOfSingle(bad), "");
    }
    EXPECT_EQ(CddbCategoryOfListed("a&b=c title"), "");
}

TEST(Cddb, EntryTitlesWithFullWidthReplacements)
{
    const std::string entry = "210 rock 0b014802 CD database entry follows\r\n"
                              "# xmcd\r\n"
                              "DISCID=0b014802\r\n"
                              "DTITLE=Artist / Album?\r\n"
                              "TTITLE0=Why?\r\n"
                              "TTITLE1=Long title, \r\n"
                              "TTITLE1=continued\r\n"
                              "TTITLE11=not a track of this disc\r\n"
                              "EXTD=\r\n.\r\n";
    CddbTitles titles = ParseCddbEntry(entry, 3);
    EXPECT_EQ(titles.Disc, "Artist - Album？");
    ASSERT_EQ(titles.Tracks.size(), 3U);
    EXPECT_EQ(titles.Tracks[0], "Why？");
    EXPECT_EQ(titles.Tracks[1], "Long title, continued");
    EXPECT_EQ(titles.Tracks[2], "");
}

TEST(Cddb, ControlCharactersInAnswersBecomeBlanks)
{
    const std::string entry = "210 rock 0b014802 CD database entry follows\r\n"
                              "DTITLE=\x1b]0;title\x07"
                              "Artist / Album\r\n"
                              "TTITLE0=Clear\x1b[2Jscreen\r\n"
                              "TTITLE1=C1\xc2\x9b"
                              "31mred\r\n.\r\n";
    CddbTitles titles = ParseCddbEntry(entry, 2);
    EXPECT_EQ(titles.Disc, "]0;title Artist - Album");
    ASSERT_EQ(titles.Tracks.size(), 2U);
    EXPECT_EQ(titles.Tracks[0], "Clear [2Jscreen");
    EXPECT_EQ(titles.Tracks[1], "C1 31mred");

    const std::vector<std::string> albums = CddbAlbums(
        "211 close matches found\r\nrock 0b014802 Bad\x1b[2J / One\r\n.\r\n", "0b014802");
    ASSERT_EQ(albums.size(), 1U);
    EXPECT_EQ(albums[0], "rock Bad [2J / One");
}

TEST(TrackLength, MinutesSecondsTenths)
{
    EXPECT_EQ(TrackLengthText(275250), "04'35.2");
    EXPECT_EQ(TrackLengthText(0), "00'00.0");
    EXPECT_EQ(TrackLengthText(133), "00'00.1");
    // The tenths are cut like every time text's (milliseconds div 100), never rounded:
    // 5000 sectors are 66666.7 ms, held as 66667 ms and shown as 01'06.6.
    EXPECT_EQ(TrackLengthText(66667), "01'06.6");
    EXPECT_EQ(TrackLengthText(59999), "00'59.9");
}

/// A CDDB server answering a query with pQuery and a read with pRead.
LocalHttpServer::Handler Canned(LocalHttpServer::Response pQuery, LocalHttpServer::Response pRead)
{
    return [pQuery, pRead](const std::string& pTarget) {
        return pTarget.find("cmd=cddb+query+") != std::string::npos ? pQuery : pRead;
    };
}

const char* kEntry
    = "210 rock 0b014802\r\nDTITLE=Band / Record\r\nTTITLE0=One\r\nTTITLE1=Two?\r\n.\r\n";

TEST(CddbLookup, OneMatchReadsItsEntry)
{
    LocalHttpServer server(Canned(
        LocalHttpServer::Ok("200 rock 0b014802 Band / Record\r\n"), LocalHttpServer::Ok(kEntry)));
    CurlHttpClient http;
    HeadlessUi ui;
    CddbTitles titles = LookupCddb(http, ui, { server.Address(), {}, {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "Band - Record");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "One", "Two？" }));
    const std::vector<std::string> targets = server.Targets();
    ASSERT_EQ(targets.size(), 2U);
    EXPECT_EQ(targets[0],
        "/~cddb/"
        "cddb.cgi?cmd=cddb+query+0b014802+2+150+13500+330&hello=ru+localhost+ripper+2&proto=6");
    EXPECT_EQ(targets[1],
        "/~cddb/cddb.cgi?cmd=cddb+read+rock+0b014802&hello=ru+localhost+ripper+2&proto=6");
    EXPECT_TRUE(ui.BoxTexts().empty());
}

TEST(CddbLookup, SeveralMatchesAskPerAlbumUntilYes)
{
    const std::string list = "210 Found exact matches\r\nrock 0b014802 First\r\nmisc 0b014802 "
                             "Second\r\njazz 0b014802 Third\r\n.\r\n";
    LocalHttpServer server(Canned(LocalHttpServer::Ok(list), LocalHttpServer::Ok(kEntry)));
    CurlHttpClient http;
    HeadlessUi ui;
    ui.QueueAnswer("no");
    ui.QueueAnswer("yes");
    CddbTitles titles = LookupCddb(http, ui, { server.Address(), {}, {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "Band - Record");
    EXPECT_EQ(ui.BoxTexts(),
        (std::vector<std::string> {
            "このCDは\r\nrock Firstですか？", "このCDは\r\nmisc Secondですか？" }));
    ASSERT_EQ(server.Targets().size(), 2U);
    EXPECT_NE(server.Targets()[1].find("cmd=cddb+read+misc+0b014802"), std::string::npos);

    // Every answer No: no read, empty titles.
    HeadlessUi declining;
    for (int i = 0; i < 3; ++i)
        declining.QueueAnswer("no");
    titles = LookupCddb(http, declining, { server.Address(), {}, {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "", "" }));
    EXPECT_EQ(server.Targets().size(), 3U);
}

TEST(CddbLookup, AListOfOneIsOneAlbumAndAChooserPicksAmongSeveral)
{
    CurlHttpClient http;
    HeadlessUi ui;
    LocalHttpServer one(
        Canned(LocalHttpServer::Ok("210 Found exact matches\r\njazz 0b014802 Only\r\n.\r\n"),
            LocalHttpServer::Ok(kEntry)));
    CddbTitles titles = LookupCddb(http, ui, { one.Address(), {}, {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "Band - Record");
    EXPECT_TRUE(ui.BoxTexts().empty());
    ASSERT_EQ(one.Targets().size(), 2U);
    EXPECT_NE(one.Targets()[1].find("cmd=cddb+read+jazz+0b014802"), std::string::npos);

    const std::string list = "211 close matches\r\nrock 0b014802 First\r\nmisc 0b014802 "
                             "Second\r\njazz 0b014802 Third\r\n.\r\n";
    LocalHttpServer several(Canned(LocalHttpServer::Ok(list), LocalHttpServer::Ok(kEntry)));
    CddbOptions options { several.Address(), {}, {} };
    std::vector<std::string> offered;
    std::optional<size_t> pick = 2;
    options.Choose = [&](std::string_view pService, const std::vector<std::string>& pAlbums) {
        EXPECT_EQ(pService, "CDDB");
        offered = pAlbums;
        return pick;
    };
    titles = LookupCddb(http, ui, options, ExampleToc());
    EXPECT_EQ(offered, (std::vector<std::string> { "rock First", "misc Second", "jazz Third" }));
    EXPECT_EQ(titles.Disc, "Band - Record");
    EXPECT_FALSE(titles.Declined);
    ASSERT_EQ(several.Targets().size(), 2U);
    EXPECT_NE(several.Targets()[1].find("cmd=cddb+read+jazz+0b014802"), std::string::npos);
    EXPECT_TRUE(ui.BoxTexts().empty());

    // Declined: no read, and the titles say so.
    pick.reset();
    titles = LookupCddb(http, ui, options, ExampleToc());
    EXPECT_TRUE(titles.Declined);
    EXPECT_EQ(titles.Disc, "");
    EXPECT_EQ(several.Targets().size(), 3U);
}

TEST(CddbLookup, NoMatchAndHostileAnswersGiveEmptyTitlesAndSayWhy)
{
    struct Case {
        const char* Name;
        LocalHttpServer::Response Query;
        LocalHttpServer::Response Read;
        const char* Said; ///< part of the status message
    };
    const std::string huge(2 * 1024 * 1024, 'x');
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<char>((i * 7919) % 256));
    const Case cases[] = {
        { "no match", LocalHttpServer::Ok("202 No match for disc ID 0b014802.\r\n"), {},
            "CDDB: 該当するCDがありません" },
        { "empty", LocalHttpServer::Ok(""), {}, "CDDB: 答えがCDDBの形式ではありません" },
        { "not found", { "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", false }, {},
            "CDDB: 問い合わせできませんでした (HTTP: status 404)" },
        { "server error",
            { "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n", false }, {},
            "CDDB: 問い合わせできませんでした (HTTP: status 500)" },
        { "web page", LocalHttpServer::Ok("<!DOCTYPE html><html>0b014802</html>\r\n"), {},
            "CDDB: 答えがCDDBの形式ではありません (<!DOCTYPE html>" },
        { "refused", LocalHttpServer::Ok("500 Command syntax error\r\n"), {},
            "CDDB: サーバーが断りました (500 Command syntax error)" },
        { "huge query", LocalHttpServer::Ok(huge + " 0b014802 x\r\n"), {},
            "CDDB: 問い合わせできませんでした（答えが大きすぎます）" },
        { "huge read", LocalHttpServer::Ok("200 rock 0b014802 x\r\n"),
            LocalHttpServer::Ok("DTITLE=" + huge), "CDDB: タイトルを読み込みできませんでした" },
        { "slow query", { "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n200 rock", true }, {},
            "CDDB: 問い合わせできませんでした (HTTP: Timeout" },
        { "slow read", LocalHttpServer::Ok("200 rock 0b014802 x\r\n"), { "HTTP/1.0 200", true },
            "CDDB: タイトルを読み込みできませんでした" },
        { "garbage", { garbage, false }, {}, "CDDB: 問い合わせできませんでした" },
        { "garbage body", LocalHttpServer::Ok(garbage + "0b014802" + garbage),
            LocalHttpServer::Ok(garbage), "CDDB: " },
        { "bad category", LocalHttpServer::Ok("200 ../../x 0b014802 y\r\n"), {},
            "CDDB: 答えのカテゴリーが不正です" },
    };
    CurlHttpClient http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        LocalHttpServer server(Canned(c.Query, c.Read));
        HeadlessUi ui;
        HttpLimits limits;
        limits.TimeoutMs = 300;
        CddbTitles titles = LookupCddb(http, ui, { server.Address(), limits, {} }, ExampleToc());
        EXPECT_EQ(titles.Disc, "");
        EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "", "" }));
        const std::vector<std::string> said = ui.StatusTexts();
        ASSERT_FALSE(said.empty());
        EXPECT_NE(said.back().find(c.Said), std::string::npos) << said.back();
        for (unsigned char ch : said.back())
            EXPECT_TRUE(ch >= 0x20 || ch == 0) << "a control character reached the status";
    }
}

TEST(CddbLookup, UnreachableOrUnusableServerMakesNoRequest)
{
    CurlHttpClient http;
    HeadlessUi ui;
    LocalHttpServer server([](const std::string&) { return LocalHttpServer::Ok(""); });
    for (std::string bad :
        { std::string(), std::string("host/../x"), std::string("a b"), std::string("h?cmd=x") }) {
        SCOPED_TRACE(bad);
        CddbTitles titles = LookupCddb(http, ui, { bad, {}, {} }, ExampleToc());
        EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "", "" }));
    }
    EXPECT_TRUE(server.Targets().empty());
}

TEST(LoadTrackToList, ListsLengthsAndTitlesOfAnImage)
{
    test::TempDir dir;
    // Tracks of 2 s and 3.5 s starting at 00:02:00: the server is asked about this disc.
    const std::string cue = test::WriteCdImage(dir.Path(), "disc", { 150, 263 });
    CdioDriveService cd;
    RipAudio ra(cd);
    ra.DriveToRip(cue);
    LocalHttpServer server([](const std::string& pTarget) {
        if (pTarget.find("query") != std::string::npos)
            return LocalHttpServer::Ok("200 misc 06000502 Band / Tape\r\n");
        return LocalHttpServer::Ok("DTITLE=Band / Tape\r\nTTITLE1=B side\r\n");
    });
    CurlHttpClient http;
    HeadlessUi ui;
    DiscListing listing;
    ASSERT_TRUE(LoadTrackToList(ra, &http, ui, { server.Address(), {}, {} }, listing));
    EXPECT_EQ(listing.Title, "Band - Tape");
    EXPECT_EQ(listing.Titles, (std::vector<std::string> { "", "B side" }));
    EXPECT_EQ(listing.Lengths, (std::vector<std::string> { "00'02.0", "00'03.5" }));
    EXPECT_EQ(ra.Tracks()[1].Title, "B side");
    ASSERT_FALSE(server.Targets().empty());
    EXPECT_NE(server.Targets()[0].find("06000502+2+150+300+7"), std::string::npos);

    // Without the server's help: lengths only, and no request.
    const size_t before = server.Targets().size();
    DiscListing plain;
    ASSERT_TRUE(LoadTrackToList(ra, nullptr, ui, { server.Address(), {}, {} }, plain));
    EXPECT_EQ(plain.Titles, (std::vector<std::string> { "", "" }));
    EXPECT_EQ(server.Targets().size(), before);

    // Without titles from the server, the disc's CD-TEXT gives them.
    const std::string texted
        = test::WriteCdImage(dir.Path(), "texted", { 75, 75 }, { "Album", "One", "Two" });
    RipAudio withText(cd);
    withText.DriveToRip(texted);
    DiscListing fromText;
    ASSERT_TRUE(LoadTrackToList(withText, nullptr, ui, { server.Address(), {}, {} }, fromText));
    EXPECT_EQ(fromText.Title, "Album");
    EXPECT_EQ(fromText.Titles, (std::vector<std::string> { "One", "Two" }));

    RipAudio none(cd);
    EXPECT_FALSE(LoadTrackToList(none, &http, ui, { server.Address(), {}, {} }, plain));
}

} // namespace
} // namespace tarvok
