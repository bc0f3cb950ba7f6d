#include "cd/accurate_rip.h"

#include "platform/curl/curl_http_client.h"
#include "support/local_http_server.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvok {
namespace {

/// Frames of one 32-bit word each (left in the low half).
std::vector<uint8_t> Frames(const std::vector<uint32_t>& pWords)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : pWords)
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * b)));
    return bytes;
}

TEST(AccurateRip, FramesAreWeightedByTheirPosition)
{
    const std::vector<uint8_t> bytes = Frames({ 1, 1, 2, 0x10000 });
    AccurateRipAccumulator sums(4, false, false);
    sums.Add(bytes.data(), 4);
    // 1x1 + 2x1 + 3x2 + 4x65536
    EXPECT_EQ(sums.Sums().V1, 1U + 2U + 6U + 262144U);
    EXPECT_EQ(sums.Sums().V2, sums.Sums().V1);

    // Pieces give the same result as the whole.
    AccurateRipAccumulator pieces(4, false, false);
    pieces.Add(bytes.data(), 1);
    pieces.Add(bytes.data() + 4, 3);
    EXPECT_EQ(pieces.Sums().V1, sums.Sums().V1);
}

TEST(AccurateRip, VersionTwoAddsTheHighHalvesOfTheProducts)
{
    const std::vector<uint8_t> bytes = Frames({ 0, 0xFFFFFFFFU });
    AccurateRipAccumulator sums(2, false, false);
    sums.Add(bytes.data(), 2);
    // 2 x 0xFFFFFFFF = 0x1_FFFFFFFE: low half 0xFFFFFFFE, high half 1.
    EXPECT_EQ(sums.Sums().V1, 0xFFFFFFFEU);
    EXPECT_EQ(sums.Sums().V2, 0xFFFFFFFFU);
}

TEST(AccurateRip, FirstAndLastTracksLeaveFiveSectorsOut)
{
    const int64_t total = 10 * 588;
    std::vector<uint32_t> words(static_cast<size_t>(total), 1);
    const std::vector<uint8_t> bytes = Frames(words);
    auto sum = [&](bool pFirst, bool pLast) {
        AccurateRipAccumulator a(total, pFirst, pLast);
        a.Add(bytes.data(), static_cast<size_t>(total));
        return a.Sums().V1;
    };
    auto range = [](uint64_t pFrom, uint64_t pTo) {
        return static_cast<uint32_t>((pFrom + pTo) * (pTo - pFrom + 1) / 2);
    };
    EXPECT_EQ(sum(false, false), range(1, 5880));
    EXPECT_EQ(sum(true, false), range(2940, 5880));
    EXPECT_EQ(sum(false, true), range(1, 2940));
    EXPECT_EQ(sum(true, true), range(2940, 2940));
}

TEST(AccurateRip, Text)
{
    EXPECT_EQ(AccurateRipText({ 0x1a2b, 0xffffffffU }), "v1 00001a2b v2 ffffffff");
}

/// The two-track disc of the CDDB id example: tracks at LBA 0 and 13350, lead-out 24600.
DiscToc ExampleToc()
{
    DiscToc toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 2;
    toc.Entries = { LbaToMsf(0, 1), LbaToMsf(13350, 2), LbaToMsf(24600, kLeadOutTrack) };
    return toc;
}

TEST(AccurateRipDisc, IdsAndFileName)
{
    const std::optional<AccurateRipDiscIds> ids = AccurateRipIdsOf(ExampleToc());
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->Tracks, 2);
    EXPECT_EQ(ids->Id1, 0U + 13350U + 24600U);
    EXPECT_EQ(ids->Id2, 1U * 1U + 13350U * 2U + 24600U * 3U); // a start of 0 counts as 1
    EXPECT_EQ(ids->CddbId, 0x0b014802U);
    EXPECT_EQ(AccurateRipFileName(*ids), "e/3/4/dBAR-002-0000943e-00018895-0b014802.bin");

    // A data track is left out of the sums and the count.
    DiscToc enhanced = ExampleToc();
    enhanced.Entries.insert(enhanced.Entries.end() - 1, LbaToMsf(20000, 3));
    enhanced.Entries[2].Control = 4;
    enhanced.LastTrack = 3;
    const std::optional<AccurateRipDiscIds> e = AccurateRipIdsOf(enhanced);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Tracks, 2);
    EXPECT_EQ(e->Id1, ids->Id1);
    EXPECT_FALSE(AccurateRipIdsOf(DiscToc {}));
    EXPECT_TRUE(IsFirstAudioTrack(enhanced, 0));
    EXPECT_TRUE(IsLastAudioTrack(enhanced, 1));
    EXPECT_FALSE(IsLastAudioTrack(enhanced, 2));
}

void Put32(std::string& pOut, uint32_t pValue)
{
    for (int b = 0; b < 4; ++b)
        pOut.push_back(static_cast<char>((pValue >> (8 * b)) & 0xFF));
}

/// One chunk of a database answer: the disc's keys and (confidence, checksum) per track.
std::string Chunk(const AccurateRipDiscIds& pIds,
    const std::vector<std::pair<int, uint32_t>>& pTracks, int pCount = -1)
{
    std::string out;
    out.push_back(static_cast<char>(pCount < 0 ? static_cast<int>(pTracks.size()) : pCount));
    Put32(out, pIds.Id1);
    Put32(out, pIds.Id2);
    Put32(out, pIds.CddbId);
    for (const auto& [confidence, crc] : pTracks) {
        out.push_back(static_cast<char>(confidence));
        Put32(out, crc);
        Put32(out, 0xDEADBEEFU);
    }
    return out;
}

TEST(AccurateRipDisc, AnswerParsingStopsAtTheFirstBadChunk)
{
    const AccurateRipDiscIds ids = *AccurateRipIdsOf(ExampleToc());
    const std::string two = Chunk(ids, { { 5, 0x11 }, { 7, 0x22 } });
    std::vector<AccurateRipPressing> p = ParseAccurateRipAnswer(two + two);
    ASSERT_EQ(p.size(), 2U);
    EXPECT_EQ(p[1].Ids.Id2, ids.Id2);
    ASSERT_EQ(p[1].Tracks.size(), 2U);
    EXPECT_EQ(p[1].Tracks[1].Confidence, 7);
    EXPECT_EQ(p[1].Tracks[1].Crc, 0x22U);

    // A short tail, a count of 0 and a count over 99 end the list; so does the bound.
    EXPECT_EQ(ParseAccurateRipAnswer(two + two.substr(0, 20)).size(), 1U);
    EXPECT_EQ(ParseAccurateRipAnswer(two + Chunk(ids, {}, 0) + two).size(), 1U);
    EXPECT_EQ(
        ParseAccurateRipAnswer(std::string(1, char(200)) + std::string(5000, 'x')).size(), 0U);
    EXPECT_EQ(ParseAccurateRipAnswer(two + two + two, 2).size(), 2U);
    EXPECT_TRUE(ParseAccurateRipAnswer("").empty());
}

TEST(AccurateRipDisc, MatchTakesTheLargestAgreeingConfidence)
{
    const DiscToc toc = ExampleToc();
    const AccurateRipDiscIds ids = *AccurateRipIdsOf(toc);
    AccurateRipDiscIds other = ids;
    other.Id1 += 1;
    const std::vector<AccurateRipPressing> pressings = ParseAccurateRipAnswer(
        Chunk(ids, { { 3, 0xA1 }, { 4, 0xB9 } }) + Chunk(ids, { { 9, 0xA2 }, { 1, 0xB2 } })
        + Chunk(other, { { 50, 0xC1 }, { 50, 0xC2 } }));
    const std::vector<std::optional<AccurateRipSums>> sums
        = { AccurateRipSums { 0xA1, 0xA2 }, AccurateRipSums { 0xC2, 0xC2 } };
    const std::vector<AccurateRipResult> r = MatchAccurateRip(toc, sums, pressings);
    ASSERT_EQ(r.size(), 2U);
    EXPECT_EQ(r[0].Verdict, AccurateRipVerdict::Match);
    EXPECT_EQ(r[0].Confidence, 9);
    EXPECT_TRUE(r[0].V2);
    // Only the other disc's chunk holds this checksum: no match.
    EXPECT_EQ(r[1].Verdict, AccurateRipVerdict::Mismatch);
    EXPECT_EQ(AccurateRipVerdictText(r[0]), "一致 (信頼度 9)");
    EXPECT_EQ(AccurateRipVerdictText(r[0], true), "accurate (confidence 9)");
    EXPECT_EQ(AccurateRipVerdictText(r[1]), "不一致");
}

TEST(AccurateRipCheck, LocalServerAnswers)
{
    const DiscToc toc = ExampleToc();
    const AccurateRipDiscIds ids = *AccurateRipIdsOf(toc);
    const std::string good = Chunk(ids, { { 12, 0x1234 }, { 2, 0x5678 } });
    const std::vector<std::optional<AccurateRipSums>> sums
        = { AccurateRipSums { 0x1234, 0x9999 }, AccurateRipSums { 0x1111, 0x2222 } };
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage.push_back(static_cast<char>((i * 7919) % 256 | 0x80));
    using V = AccurateRipVerdict;
    struct Case {
        const char* Name;
        test::LocalHttpServer::Response Response;
        V First;
        V Second;
    };
    const Case cases[] = {
        { "match and mismatch", test::LocalHttpServer::Ok(good), V::Match, V::Mismatch },
        { "other disc only",
            test::LocalHttpServer::Ok(Chunk({ 2, 1, 2, 3 }, { { 1, 0x1234 }, { 1, 0x1111 } })),
            V::NotFound, V::NotFound },
        { "not found", { "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", false },
            V::NotFound, V::NotFound },
        { "server error", { "HTTP/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n", false },
            V::Unreachable, V::Unreachable },
        { "garbage body", test::LocalHttpServer::Ok(garbage), V::BadAnswer, V::BadAnswer },
        { "empty body", test::LocalHttpServer::Ok(""), V::BadAnswer, V::BadAnswer },
        { "garbage answer", { garbage, false }, V::Unreachable, V::Unreachable },
        // An answer over the size bound came from a server that was reached.
        { "huge", test::LocalHttpServer::Ok(good + std::string(2 * 1024 * 1024, 'x')), V::BadAnswer,
            V::BadAnswer },
        { "slow", { "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n\x02", true }, V::Unreachable,
            V::Unreachable },
    };
    CurlHttpClient http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        test::LocalHttpServer server([&](const std::string&) { return c.Response; });
        AccurateRipOptions options;
        options.Server = "http://" + server.Address() + "/accuraterip/";
        options.Limits.TimeoutMs = 300;
        const std::vector<AccurateRipResult> r = CheckAccurateRip(http, options, toc, sums);
        ASSERT_EQ(r.size(), 2U);
        EXPECT_EQ(r[0].Verdict, c.First);
        EXPECT_EQ(r[1].Verdict, c.Second);
        ASSERT_EQ(server.Targets().size(), 1U);
        EXPECT_EQ(server.Targets()[0], "/accuraterip/" + AccurateRipFileName(ids));
        if (c.First == V::Match) {
            EXPECT_EQ(r[0].Confidence, 12);
        }
    }

    // No address: nothing is asked and nothing is said; a track without a checksum gets
    // no verdict.
    EXPECT_EQ(CheckAccurateRip(http, {}, toc, sums)[0].Verdict, V::NotChecked);
    test::LocalHttpServer server(
        [&](const std::string&) { return test::LocalHttpServer::Ok(good); });
    const std::vector<AccurateRipResult> partial = CheckAccurateRip(
        http, { "http://" + server.Address(), {} }, toc, { std::nullopt, sums[1] });
    EXPECT_EQ(partial[0].Verdict, V::NotChecked);
    EXPECT_EQ(partial[1].Verdict, V::Mismatch);
}

} // namespace
} // namespace tarvok
