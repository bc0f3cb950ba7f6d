#include "cd/cd_image.h"
#include "cd/cddb.h"
#include "cd/musicbrainz.h"
#include "cd/rip_audio.h"
#include "platform/cdio/cdio_drive_service.h"

#include "support/cd_image.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace tarvok {
namespace {

using test::CdImageTrackBytes;

/// A probe that knows files by name only: their sizes, no file system.
CdImageFileProbe SizesProbe(std::map<std::string, int64_t> pSizes)
{
    return [pSizes](const std::string& pPath, CdImageFileKind) -> std::optional<CdImageFileInfo> {
        auto it = pSizes.find(pPath);
        if (it == pSizes.end())
            return std::nullopt;
        return CdImageFileInfo { 0, it->second };
    };
}

std::vector<int32_t> Starts(const CdImage& pImage)
{
    std::vector<int32_t> starts;
    for (const CdImageTrack& t : pImage.Tracks)
        starts.push_back(t.StartLba);
    return starts;
}

struct LayoutCase {
    const char* Name;
    bool Toc;
    const char* Sheet;
    std::map<std::string, int64_t> Sizes;
    std::vector<int32_t> Starts;
    int32_t LeadOut;
    std::vector<int32_t> Pregaps; ///< PregapLba per track
};

TEST(CdImageSheet, LaysTracksOutAsADriveListsThem)
{
    const LayoutCase cases[] = {
        { "index 00 goes to the previous track", false,
            "FILE \"a b.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
            "INDEX 00 00:00:30\nINDEX 01 00:00:40\n",
            { { "/d/a b.bin", 75 * 2352 } }, { 0, 40 }, 75, { -1, 30 } },
        { "one file per track with gaps", false,
            "FILE t1.bin BINARY\nTRACK 01 AUDIO\nPREGAP 00:00:10\nINDEX 01 00:00:00\n"
            "POSTGAP 00:00:05\nFILE \"t2.bin\" BINARY\nTRACK 02 AUDIO\nPREGAP 00:00:07\n"
            "INDEX 01 00:00:00\n",
            { { "/d/t1.bin", 20 * 2352 }, { "/d/t2.bin", 15 * 2352 } }, { 0, 32 }, 47, { -1, 25 } },
        { "a track of no sectors is listed", false,
            "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
            "INDEX 01 00:00:10\n",
            { { "/d/a.bin", 10 * 2352 } }, { 0, 10 }, 10, { -1, -1 } },
        { "a partial last sector counts whole", false,
            "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", { { "/d/a.bin", 2353 } },
            { 0 }, 2, { -1 } },
        { "a trailing data track is a second session", false,
            "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 MODE1/2352\n"
            "INDEX 00 00:00:20\nINDEX 01 00:00:22\n",
            { { "/d/a.bin", 30 * 2352 } }, { 0, 20 + kCdSessionGap }, 28 + kCdSessionGap,
            { -1, -1 } },
        { "a leading data track stays where it is", false,
            "FILE \"/abs/d.iso\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n"
            "FILE a.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
            { { "/abs/d.iso", 10 * 2048 }, { "/d/a.bin", 5 * 2352 } }, { 0, 10 }, 15, { -1, -1 } },
        { "toc pieces, START, PREGAP and a data track", true,
            "CD_DA\nTRACK AUDIO\nFILE \"a.bin\" 0 00:00:30\nTRACK AUDIO\n"
            "FILE \"a.bin\" 00:00:30 00:00:20\nSTART 00:00:05\nTRACK AUDIO\nPREGAP 00:00:03\n"
            "AUDIOFILE \"b.bin\" SWAP 0\nTRACK MODE1\nDATAFILE \"d.iso\"\n",
            { { "/d/a.bin", 50 * 2352 }, { "/d/b.bin", 10 * 2352 }, { "/d/d.iso", 15 * 2048 } },
            { 0, 35, 53, 63 + kCdSessionGap }, 78 + kCdSessionGap, { -1, 30, 50, -1 } },
        { "toc sample counts and a first-track PREGAP", true,
            "TRACK AUDIO\nPREGAP 0:2:0\nFILE \"a.bin\" 0 5880\nTRACK AUDIO\nSILENCE 1176\n"
            "FILE \"a.bin\" 5880\n",
            { { "/d/a.bin", 20 * 2352 } }, { 0, 10 }, 22, { -1, -1 } },
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Result<CdImage> image = c.Toc ? ParseTocSheet(c.Sheet, "/d/", SizesProbe(c.Sizes))
                                      : ParseCueSheet(c.Sheet, "/d/", SizesProbe(c.Sizes));
        ASSERT_TRUE(image) << image.error().Message;
        EXPECT_EQ(Starts(*image), c.Starts);
        EXPECT_EQ(image->LeadOutLba, c.LeadOut);
        std::vector<int32_t> pregaps;
        for (const CdImageTrack& t : image->Tracks)
            pregaps.push_back(t.PregapLba);
        EXPECT_EQ(pregaps, c.Pregaps);
    }
}

TEST(CdImageSheet, RefusesBrokenSheetsSayingWhy)
{
    const std::map<std::string, int64_t> sizes { { "/d/a.bin", 10 * 2352 },
        { "/d/b.wav", 10 * 2352 } };
    const struct {
        bool Toc;
        const char* Sheet;
        const char* Why;
    } cases[] = {
        { false, "TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "FILE がありません" },
        { false, "FILE gone.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "/d/gone.bin" },
        { false, "FILE a.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\n",
            "順になっていません" },
        { false, "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n",
            "INDEX 01 がありません" },
        { false, "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:61:00\n", "INDEX の行" },
        { false, "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:11\n", "終わりを超えて" },
        { false,
            "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:05\nTRACK 02 AUDIO\n"
            "INDEX 01 00:00:02\n",
            "前に戻って" },
        { false, "FILE b.wav WAVE\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", "WAV" },
        { false,
            "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 MODE1/2048\n"
            "INDEX 01 00:00:05\n",
            "セクターの大きさ" },
        { true, "TRACK AUDIO\nFILE \"a.bin\" 0\nBOGUS\n", "BOGUS" },
        { true, "TRACK AUDIO\nFILE \"a.bin\" 0 100\nFILE \"a.bin\" 0\n", "セクターの境目" },
        { true, "TRACK AUDIO\nFILE \"a.bin\" 0 00:00:02\nSTART 00:00:05\n", "START" },
        { true, "TRACK VIDEO\n", "モード" },
        { true, "CD_DA\n", "トラックがありません" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sheet);
        Result<CdImage> image = c.Toc ? ParseTocSheet(c.Sheet, "/d/", SizesProbe(sizes))
                                      : ParseCueSheet(c.Sheet, "/d/", SizesProbe(sizes));
        ASSERT_FALSE(image);
        EXPECT_NE(image.error().Message.find(c.Why), std::string::npos) << image.error().Message;
    }
}

TEST(CdImageSheet, ReadsTheTextsOfBothSheets)
{
    Result<CdImage> cue = ParseCueSheet("CATALOG 0123456789012\nTITLE \"Tape\"\nPERFORMER Band\n"
                                        "FILE a.bin BINARY\nTRACK 01 AUDIO\nTITLE \"First One\"\n"
                                        "PERFORMER \"Singer\"\nISRC JPABC0100001\n"
                                        "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:05\n",
        "/d/", SizesProbe({ { "/d/a.bin", 10 * 2352 } }));
    ASSERT_TRUE(cue) << cue.error().Message;
    EXPECT_EQ(cue->Catalog, "0123456789012");
    EXPECT_EQ(cue->Performer, "Band");
    EXPECT_EQ(cue->Tracks[0].Performer, "Singer");
    EXPECT_EQ(cue->Tracks[0].Isrc, "JPABC0100001");
    EXPECT_EQ(cue->CdTextTitles(), (std::vector<std::string> { "Tape", "First One", "" }));

    Result<CdImage> toc = ParseTocSheet(
        "CD_DA // a comment\nCATALOG \"0123456789012\"\n"
        "CD_TEXT { LANGUAGE_MAP { 0 : EN }\n LANGUAGE 0 { TITLE \"Tape \\\"2\\\"\" PERFORMER "
        "\"Band\" GENRE { 0, 1 } }\n LANGUAGE 1 { TITLE \"Other\" } }\n"
        "TRACK AUDIO\nISRC \"JPABC0100001\"\nNO COPY\nTWO_CHANNEL_AUDIO\n"
        "CD_TEXT { LANGUAGE 0 { TITLE \"One\" PERFORMER \"Singer\" } }\nFILE \"a.bin\" 0\n",
        "/d/", SizesProbe({ { "/d/a.bin", 10 * 2352 } }));
    ASSERT_TRUE(toc) << toc.error().Message;
    EXPECT_EQ(toc->Catalog, "0123456789012");
    EXPECT_EQ(toc->Performer, "Band");
    EXPECT_EQ(toc->Tracks[0].Performer, "Singer");
    EXPECT_EQ(toc->Tracks[0].Isrc, "JPABC0100001");
    EXPECT_EQ(toc->CdTextTitles(), (std::vector<std::string> { "Tape \"2\"", "One" }));
}

// ---- images written to disk, read through the drive interface the rip uses ----

void WriteBytes(const std::string& pPath, const std::string& pBytes)
{
    std::ofstream(pPath, std::ios::binary | std::ios::trunc) << pBytes;
}

std::string Swapped(std::string pBytes)
{
    for (size_t i = 0; i + 1 < pBytes.size(); i += 2)
        std::swap(pBytes[i], pBytes[i + 1]);
    return pBytes;
}

std::string Zeros(int32_t pSectors)
{
    return std::string(static_cast<size_t>(pSectors) * 2352, '\0');
}

std::string P(int32_t pSeed, int32_t pSectors) { return CdImageTrackBytes(pSeed, pSectors); }

/// One track as the rip should deliver it; "data" for a data track.
struct ImageCase {
    const char* Name;
    const char* Sheet; ///< the sheet's file name
    std::string SheetText;
    std::map<std::string, std::string> Files;
    std::vector<std::string> Tracks;
};

std::vector<ImageCase> ImageCases()
{
    const std::string a = P(0, 30) + P(1, 20) + P(2, 25);
    const std::string wavA = P(0, 12).substr(0, 12 * 2352 - 100);
    const std::string data2352(15 * 2352, '\x5A');
    return {
        { "one bin named unlike the sheet, with an index 00", "disc.cue",
            "FILE \"music data.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
            "INDEX 00 00:00:30\nINDEX 01 00:00:40\nTRACK 03 AUDIO\nINDEX 01 00:00:50\n",
            { { "music data.bin", a } },
            { a.substr(0, 40 * 2352), a.substr(40 * 2352, 10 * 2352), a.substr(50 * 2352) } },
        { "one file per track with PREGAP and POSTGAP", "gaps.cue",
            "FILE t1.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPOSTGAP 00:00:05\n"
            "FILE t2.bin BINARY\nTRACK 02 AUDIO\nPREGAP 00:00:07\nINDEX 01 00:00:00\n",
            { { "t1.bin", P(0, 20) }, { "t2.bin", P(1, 15) } },
            { P(0, 20) + Zeros(12), P(1, 15) } },
        { "wave files, one ending inside a sector", "wave.cue",
            "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE b.wav WAVE\nTRACK 02 AUDIO\n"
            "INDEX 00 00:00:00\nINDEX 01 00:00:02\n",
            { { "a.wav", test::MakeWav(test::PcmSpec(44100, 16, 2, wavA)) },
                { "b.wav", test::MakeWav(test::PcmSpec(44100, 16, 2, P(1, 10))) } },
            { wavA + std::string(100, '\0') + P(1, 2), P(1, 10).substr(2 * 2352) } },
        { "big-endian samples and an enhanced-CD data track", "extra.cue",
            "FILE be.bin MOTOROLA\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE d.bin BINARY\n"
            "TRACK 02 MODE1/2352\nINDEX 01 00:00:00\n",
            { { "be.bin", Swapped(P(3, 20)) }, { "d.bin", data2352 } }, { P(3, 20), "data" } },
        { "a cdrdao sheet", "disc.toc",
            "CD_DA\nTRACK AUDIO\nFILE \"a.bin\" 0 00:00:30\nTRACK AUDIO\n"
            "FILE \"a.bin\" 00:00:30 00:00:20\nSTART 00:00:05\nTRACK AUDIO\nPREGAP 00:00:03\n"
            "AUDIOFILE \"b.bin\" SWAP 0\nTRACK AUDIO\nFILE \"c.wav\" 0\nTRACK MODE1\n"
            "DATAFILE \"d.iso\"\n",
            { { "a.bin", Swapped(P(0, 30) + P(1, 20)) }, { "b.bin", P(2, 10) },
                { "c.wav", test::MakeWav(test::PcmSpec(44100, 16, 2, P(4, 6))) },
                { "d.iso", std::string(15 * 2048, '\x11') } },
            { P(0, 30) + P(1, 5), P(1, 20).substr(5 * 2352) + Zeros(3), P(2, 10), P(4, 6),
                "data" } },
    };
}

TEST(CdImageDevice, EveryAudioTrackRipsBitExactAndDataTracksAreRefused)
{
    for (const ImageCase& c : ImageCases()) {
        SCOPED_TRACE(c.Name);
        test::TempDir dir;
        for (const auto& [name, bytes] : c.Files)
            WriteBytes(dir.File(name), bytes);
        WriteBytes(dir.File(c.Sheet), c.SheetText);
        CdioDriveService drives;
        RipAudio ra(drives);
        ra.DriveToRip(dir.File(c.Sheet));
        ra.UpdateToc();
        ASSERT_EQ(ra.Tracks().size(), c.Tracks.size());
        for (size_t t = 0; t < c.Tracks.size(); ++t) {
            SCOPED_TRACE(t + 1);
            const std::string out = dir.File("t" + std::to_string(t) + ".wav");
            const bool data = c.Tracks[t] == "data";
            EXPECT_EQ(ra.Tracks()[t].IsData, data);
            if (data) {
                EXPECT_EQ(ra.RipTrack(static_cast<int32_t>(t), out, 1.0), RipOutcome::DataTrack);
                EXPECT_FALSE(std::filesystem::exists(out));
                continue;
            }
            ASSERT_EQ(ra.RipTrack(static_cast<int32_t>(t), out, 1.0), RipOutcome::Done);
            EXPECT_TRUE(test::ReadFileBytes(out).substr(44) == c.Tracks[t]);
        }
    }
}

TEST(CdImageDevice, ATrailingDataTrackCountsForCddbButNotForMusicBrainz)
{
    test::TempDir dir;
    WriteBytes(dir.File("a.bin"), P(0, 20) + P(1, 20) + std::string(15 * 2352, '\x5A'));
    WriteBytes(dir.File("e.cue"),
        "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
        "INDEX 01 00:00:20\nTRACK 03 MODE1/2352\nINDEX 01 00:00:40\n");
    CdioDriveService drives;
    RipAudio ra(drives);
    ra.DriveToRip(dir.File("e.cue"));
    ra.UpdateToc();
    ASSERT_EQ(ra.Tracks().size(), 3U);
    // As a drive lists an enhanced CD: the data session starts 11400 sectors after the
    // audio, and the last audio track ends with its session.
    EXPECT_EQ(ra.Tracks()[2].StartLba, 40 + kCdSessionGap);
    EXPECT_EQ(ra.Tracks()[1].Sectors, 20);
    DiscToc withData;
    withData.FirstTrack = 1;
    withData.LastTrack = 3;
    withData.Entries = { LbaToMsf(0, 1), LbaToMsf(20, 2), LbaToMsf(40 + kCdSessionGap, 3),
        LbaToMsf(55 + kCdSessionGap, kLeadOutTrack) };
    withData.Entries[2].Control = 4;
    DiscToc audioOnly;
    audioOnly.FirstTrack = 1;
    audioOnly.LastTrack = 2;
    audioOnly.Entries = { LbaToMsf(0, 1), LbaToMsf(20, 2), LbaToMsf(40, kLeadOutTrack) };
    // CDDB counts every track and the disc's own lead-out; MusicBrainz the audio session.
    EXPECT_EQ(CddbDiscId(ra.Toc()), CddbDiscId(withData));
    EXPECT_EQ(CddbDiscId(ra.Toc()).substr(6), "03");
    EXPECT_EQ(MusicBrainzDiscId(ra.Toc()), MusicBrainzDiscId(audioOnly));
    ASSERT_EQ(ra.RipTrack(1, dir.File("t2.wav"), 1.0), RipOutcome::Done);
    EXPECT_TRUE(test::ReadFileBytes(dir.File("t2.wav")).substr(44) == P(1, 20));
}

} // namespace
} // namespace tarvok
