#include "cd/musicbrainz.h"

#include "cd/json_reader.h"
#include "cd/rip_audio.h"
#include "cd/sha1.h"
#include "core/headless_ui.h"
#include "platform/cdio/cdio_drive_service.h"
#include "platform/curl/curl_http_client.h"
#include "support/cd_image.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

namespace tarvok {
namespace {

using test::LocalHttpServer;

/// A table of contents from the tracks' start LBAs, the lead-out's LBA and the tracks that
/// carry data.
DiscToc TocOf(const std::vector<int32_t>& pStarts, int32_t pLeadOut,
    const std::vector<int32_t>& pDataTracks = {})
{
    DiscToc toc;
    toc.FirstTrack = 1;
    toc.LastTrack = static_cast<int32_t>(pStarts.size());
    for (size_t i = 0; i < pStarts.size(); ++i) {
        TocEntry e = LbaToMsf(pStarts[i], static_cast<int32_t>(i) + 1);
        for (int32_t d : pDataTracks)
            if (d == static_cast<int32_t>(i) + 1)
                e.Control = 4;
        toc.Entries.push_back(e);
    }
    toc.Entries.push_back(LbaToMsf(pLeadOut, kLeadOutTrack));
    return toc;
}

/// The two-track disc of the CDDB id example (00:02:00, 03:00:00, lead-out 05:30:00).
DiscToc ExampleToc() { return TocOf({ 0, 13350 }, 24600); }

std::string Hex(const std::array<uint8_t, 20>& pDigest)
{
    std::string text;
    char part[4];
    for (uint8_t b : pDigest) {
        std::snprintf(part, sizeof part, "%02x", b);
        text += part;
    }
    return text;
}

TEST(Sha1, KnownDigests)
{
    EXPECT_EQ(Hex(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    // Longer than one block, and a length whose padding needs a block of its own.
    EXPECT_EQ(Hex(Sha1(std::string(1000, 'a'))), "291e9a6c66994949b57ba5e650361e98fc36b1ba");
    EXPECT_EQ(Hex(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
        "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

TEST(MusicBrainzDiscId, HashOfTheTocText)
{
    // The expected ids were computed outside this code (another SHA-1 and base64).
    const DiscToc toc = ExampleToc();
    const std::string text = MusicBrainzTocText(toc);
    ASSERT_EQ(text.size(), 4U + 100U * 8U);
    EXPECT_EQ(text.substr(0, 28), "0102000060AE00000096000034BC");
    EXPECT_EQ(text.substr(28), std::string(97 * 8, '0'));
    EXPECT_EQ(MusicBrainzDiscId(toc), "iDMKg6hXDwI_Rj5rPqgfqfqjvqw-");
    EXPECT_EQ(MusicBrainzDiscId(TocOf({ 0, 20, 120 }, 130)), "x9F2d6sSQkNHcLaud7Ukq4_LKsA-");
    // A data track at the end is left out and the lead-out moves before its session.
    EXPECT_EQ(MusicBrainzDiscId(TocOf({ 0, 13350, 30000 }, 40000, { 3 })),
        "4K7pkh5WuoEn3SC_GeV4egOROHk-");
    EXPECT_EQ(MusicBrainzDiscId(DiscToc {}), "");
    EXPECT_EQ(MusicBrainzDiscId(TocOf({ 0 }, 9000, { 1 })), "");
}

TEST(JsonReader, ValuesAndRefusals)
{
    std::optional<JsonValue> v = ParseJson(
        R"( {"a": [1, -2.5e1, true, null, "x\u00e9\ud83c\udfb5\n"], "b": {"c": "d"}} )");
    ASSERT_TRUE(v);
    const JsonValue* a = v->Find("a");
    ASSERT_TRUE(a && a->Type == JsonValue::Kind::Array && a->Items.size() == 5U);
    EXPECT_EQ(a->Items[1].Number, -25.0);
    EXPECT_TRUE(a->Items[2].Bool);
    EXPECT_EQ(a->Items[3].Type, JsonValue::Kind::Null);
    EXPECT_EQ(a->Items[4].Text, "x\xC3\xA9\xF0\x9F\x8E\xB5\n");
    EXPECT_EQ(v->Find("b")->TextOf("c"), "d");
    EXPECT_EQ(v->TextOf("missing"), "");

    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    for (std::string_view bad : { "", "{", "[1,]", "{\"a\" 1}", "\"abc", "\"\\x\"", "01x", "[1] 2",
             "\"\\ud800\"", "\"\xFF\"", "\"a\nb\"", "tru", "-", "1.", "{\"a\":}" }) {
        SCOPED_TRACE(std::string(bad));
        EXPECT_FALSE(ParseJson(bad));
    }
    EXPECT_FALSE(ParseJson(deep)); // over the depth bound: refused, no deep recursion
    EXPECT_TRUE(ParseJson("[[[]]]", 3));
    EXPECT_FALSE(ParseJson("[[[[]]]]", 2));
}

/// A discid answer with the releases given as JSON objects.
std::string Answer(const std::vector<std::string>& pReleases)
{
    std::string body = R"({"id":"x","releases":[)";
    for (size_t i = 0; i < pReleases.size(); ++i)
        body += (i ? "," : "") + pReleases[i];
    return body + "]}";
}

/// A release with one medium carrying pDiscId and the track titles given.
std::string Release(const std::string& pArtist, const std::string& pTitle,
    const std::string& pDiscId, const std::vector<std::string>& pTracks)
{
    std::string tracks;
    for (size_t i = 0; i < pTracks.size(); ++i)
        tracks += std::string(i ? "," : "") + R"({"position":)" + std::to_string(i + 1)
            + R"(,"title":")" + pTracks[i] + R"(","recording":{"title":"rec"}})";
    return R"({"title":")" + pTitle + R"(","artist-credit":[{"name":")" + pArtist
        + R"(","joinphrase":""}],"media":[{"position":1,"discs":[{"id":")" + pDiscId
        + R"("}],"tracks":[)" + tracks + "]}]}";
}

TEST(MusicBrainzLookup, OneReleaseGivesItsTitles)
{
    const std::string id = MusicBrainzDiscId(ExampleToc());
    LocalHttpServer server([&](const std::string&) {
        return LocalHttpServer::Ok(Answer({ Release("Band", "Record?", id, { "One", "Two" }) }));
    });
    CurlHttpClient http;
    HeadlessUi ui;
    const CddbTitles titles
        = LookupMusicBrainz(http, ui, { "http://" + server.Address(), {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "Band - Record？");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "One", "Two" }));
    ASSERT_EQ(server.Targets().size(), 1U);
    EXPECT_EQ(server.Targets()[0],
        "/ws/2/discid/" + id
            + "?inc=recordings+artist-credits&cdstubs=no&fmt=json&toc=1+2+24750+150+13500");
    EXPECT_TRUE(ui.BoxTexts().empty());
}

TEST(MusicBrainzLookup, SeveralReleasesAskUntilYes)
{
    const std::string id = MusicBrainzDiscId(ExampleToc());
    LocalHttpServer server([&](const std::string&) {
        return LocalHttpServer::Ok(Answer({ Release("A", "First", id, { "a1", "a2" }),
            Release("B", "Second", id, { "b1", "b2" }) }));
    });
    CurlHttpClient http;
    HeadlessUi ui;
    ui.QueueAnswer("no");
    ui.QueueAnswer("yes");
    const CddbTitles titles
        = LookupMusicBrainz(http, ui, { "http://" + server.Address(), {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "B - Second");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "b1", "b2" }));
    EXPECT_EQ(ui.BoxTexts(),
        (std::vector<std::string> {
            "このCDは\r\nA - Firstですか？", "このCDは\r\nB - Secondですか？" }));
}

TEST(MusicBrainzLookup, TheTableGoesAlongAndExactMatchesComeFirst)
{
    EXPECT_EQ(MusicBrainzTocParameter(ExampleToc()), "1+2+24750+150+13500");
    // Only the audio session of an enhanced CD, as for the id.
    EXPECT_EQ(
        MusicBrainzTocParameter(TocOf({ 0, 13350, 40000 }, 50000, { 3 })), "1+2+28750+150+13500");
    EXPECT_EQ(MusicBrainzTocParameter(DiscToc {}), "");
    EXPECT_EQ(MusicBrainzLookupUrl("http://h", "abc", "1+2+3"),
        "http://h/ws/2/discid/abc?inc=recordings+artist-credits&cdstubs=no&fmt=json&toc=1+2+3");
    EXPECT_EQ(MusicBrainzLookupUrl("http://h", "abc", "1&x=2"), "");

    // A disc of nearly the same table is offered after the exact one.
    const std::string id = MusicBrainzDiscId(ExampleToc());
    LocalHttpServer server([&](const std::string&) {
        return LocalHttpServer::Ok(Answer({ Release("Near", "Fuzzy", "otherid", { "n1", "n2" }),
            Release("Band", "Exact", id, { "e1", "e2" }) }));
    });
    CurlHttpClient http;
    HeadlessUi ui;
    std::vector<std::string> offered;
    MusicBrainzOptions options { "http://" + server.Address(), {} };
    options.Choose = [&](std::string_view pService, const std::vector<std::string>& pAlbums) {
        EXPECT_EQ(pService, "MusicBrainz");
        offered = pAlbums;
        return std::optional<size_t>(1);
    };
    const CddbTitles titles = LookupMusicBrainz(http, ui, options, ExampleToc());
    EXPECT_EQ(offered, (std::vector<std::string> { "Band - Exact", "Near - Fuzzy" }));
    EXPECT_EQ(titles.Disc, "Near - Fuzzy");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "n1", "n2" }));
}

TEST(MusicBrainzLookup, DataTrackKeepsNoTitleAndAudioTracksMapInOrder)
{
    const DiscToc toc = TocOf({ 0, 13350, 30000 }, 40000, { 3 });
    const std::string id = MusicBrainzDiscId(toc);
    LocalHttpServer server([&](const std::string&) {
        return LocalHttpServer::Ok(Answer({ Release("Band", "Enhanced", id, { "x", "y" }) }));
    });
    CurlHttpClient http;
    HeadlessUi ui;
    const CddbTitles titles
        = LookupMusicBrainz(http, ui, { "http://" + server.Address(), {} }, toc);
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "x", "y", "" }));
}

TEST(MusicBrainzLookup, NoMatchAndHostileAnswersGiveEmptyTitles)
{
    const std::string id = MusicBrainzDiscId(ExampleToc());
    const std::string huge(2 * 1024 * 1024, 'x');
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<char>((i * 7919) % 256));
    struct Case {
        const char* Name;
        LocalHttpServer::Response Response;
        const char* Said; ///< part of the status message (nullptr: none asked for)
    };
    const Case cases[] = {
        { "not found",
            { "HTTP/1.0 404 Not Found\r\nContent-Length: 21\r\n\r\n{\"error\":\"Not Found\"}",
                false },
            "MusicBrainz: 該当するCDがありません" },
        { "no releases", LocalHttpServer::Ok(R"({"releases":[]})"),
            "MusicBrainz: 答えにリリースがありません" },
        { "releases not a list", LocalHttpServer::Ok(R"({"releases":{"title":1}})"),
            "MusicBrainz: 答えにリリースがありません" },
        { "wrong types", LocalHttpServer::Ok(R"({"releases":[{"title":5,"media":"x"}]})"),
            nullptr },
        { "huge", LocalHttpServer::Ok(R"({"releases":[{"title":")" + huge + "\"}]}"),
            "MusicBrainz: 問い合わせできませんでした（答えが大きすぎます）" },
        { "deep", LocalHttpServer::Ok(std::string(50000, '[') + std::string(50000, ']')),
            "MusicBrainz: 答えがJSONではありません" },
        { "slow", { "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n{\"rel", true },
            "MusicBrainz: 問い合わせできませんでした (HTTP: Timeout" },
        { "garbage", { garbage, false }, "MusicBrainz: 問い合わせできませんでした" },
        { "garbage body", LocalHttpServer::Ok(garbage), "MusicBrainz: 答えがJSONではありません" },
    };
    CurlHttpClient http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        LocalHttpServer server([&](const std::string&) { return c.Response; });
        HeadlessUi ui;
        HttpLimits limits;
        limits.TimeoutMs = 300;
        const CddbTitles titles
            = LookupMusicBrainz(http, ui, { "http://" + server.Address(), limits }, ExampleToc());
        EXPECT_EQ(titles.Disc, "");
        EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "", "" }));
        if (c.Said != nullptr) {
            ASSERT_FALSE(ui.StatusTexts().empty());
            EXPECT_NE(ui.StatusTexts().back().find(c.Said), std::string::npos)
                << ui.StatusTexts().back();
        }
    }

    // A medium without this disc's id nor its track count gives the album only; control
    // characters never reach a title.
    LocalHttpServer other([&](const std::string&) {
        return LocalHttpServer::Ok(
            Answer({ Release("Ba\\r\\nnd", "Rec", "other", { "1", "2", "3" }) }));
    });
    HeadlessUi ui;
    const CddbTitles titles
        = LookupMusicBrainz(http, ui, { "http://" + other.Address(), {} }, ExampleToc());
    EXPECT_EQ(titles.Disc, "Ba  nd - Rec");
    EXPECT_EQ(titles.Tracks, (std::vector<std::string> { "", "" }));
}

TEST(MusicBrainzLookup, UnusableAddressMakesNoRequest)
{
    EXPECT_EQ(MusicBrainzLookupUrl("", "abc"), "");
    EXPECT_EQ(MusicBrainzLookupUrl("musicbrainz.org/", "abc"),
        "https://musicbrainz.org/ws/2/discid/"
        "abc?inc=recordings+artist-credits&cdstubs=no&fmt=json");
    EXPECT_EQ(MusicBrainzLookupUrl("http://a b", "abc"), "");
    EXPECT_EQ(MusicBrainzLookupUrl("http://h?x=", "abc"), "");
    EXPECT_EQ(MusicBrainzLookupUrl("http://h", "a/b"), "");
    CurlHttpClient http;
    HeadlessUi ui;
    const CddbTitles titles = LookupMusicBrainz(http, ui, { "", {} }, ExampleToc());
    EXPECT_EQ(titles.Tracks.size(), 2U);
}

TEST(LoadTrackToList, MusicBrainzAnswersWhenCddbHasNoMatchAndBothIdsAreListed)
{
    test::TempDir dir;
    const std::string cue = test::WriteCdImage(dir.Path(), "disc", { 20, 100, 10 });
    CdioDriveService drives;
    HeadlessUi ui;
    RipAudio ra(drives, &ui);
    ra.DriveToRip(cue);
    const std::string id = "x9F2d6sSQkNHcLaud7Ukq4_LKsA-";
    LocalHttpServer server([&](const std::string& pTarget) {
        if (pTarget.find("/~cddb/") == 0)
            return LocalHttpServer::Ok("202 No match\r\n");
        return LocalHttpServer::Ok(Answer({ Release("Band", "Tape", id, { "a", "b", "c" }) }));
    });
    CurlHttpClient http;
    CddbOptions options { server.Address(), {}, "http://" + server.Address() };
    DiscListing listing;
    ASSERT_TRUE(LoadTrackToList(ra, &http, ui, options, listing));
    EXPECT_EQ(listing.MusicBrainzId, id);
    EXPECT_EQ(listing.CddbId, "07000103");
    EXPECT_EQ(listing.Title, "Band - Tape");
    EXPECT_EQ(listing.Titles, (std::vector<std::string> { "a", "b", "c" }));
    ASSERT_EQ(server.Targets().size(), 2U);
    EXPECT_EQ(server.Targets()[1].rfind("/ws/2/discid/" + id, 0), 0U);

    // A user who declined every CDDB album is not asked about MusicBrainz releases.
    LocalHttpServer declining([&](const std::string& pTarget) {
        if (pTarget.find("/~cddb/") == 0)
            return LocalHttpServer::Ok("210 list\r\nrock 07000103 A\r\nmisc 07000103 B\r\n");
        return LocalHttpServer::Ok(Answer({ Release("Band", "Tape", id, { "a", "b", "c" }) }));
    });
    CddbOptions declined { declining.Address(), {}, "http://" + declining.Address() };
    declined.Choose
        = [](std::string_view, const std::vector<std::string>&) { return std::optional<size_t>(); };
    ASSERT_TRUE(LoadTrackToList(ra, &http, ui, declined, listing));
    EXPECT_EQ(listing.Title, "");
    EXPECT_EQ(declining.Targets().size(), 1U);

    // Without a MusicBrainz address only the CDDB server is asked.
    options.MusicBrainzServer.clear();
    ASSERT_TRUE(LoadTrackToList(ra, &http, ui, options, listing));
    EXPECT_EQ(listing.Title, "");
    EXPECT_EQ(server.Targets().size(), 3U);
}

} // namespace
} // namespace tarvok
