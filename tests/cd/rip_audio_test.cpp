#include "cd/rip_audio.h"

#include "cd/cd_fakes.h"
#include "cd/rip_check.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "platform/cdio/cdio_drive_service.h"
#include "support/cd_image.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace tarvok {
namespace {

using test::CdImageTrackBytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteCdImage;

/// The PCM bytes of a WAV file written by RipTrack (after its 44-byte header).
std::string WavData(const std::string& pPath)
{
    std::string bytes = ReadFileBytes(pPath);
    return bytes.size() < 44 ? std::string() : bytes.substr(44);
}

std::vector<std::string> FolderNames(const std::string& pFolder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(pFolder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CdAddress, TimeAddressesConvertToBlockAddresses)
{
    EXPECT_EQ(MsfToLba(0, 2, 0), 0);
    EXPECT_EQ(MsfToLba(1, 0, 0), 4350);
    for (int32_t lba : { 0, 1, 74, 75, 4350, 123456 }) {
        SCOPED_TRACE(lba);
        TocEntry e = LbaToMsf(lba);
        EXPECT_EQ(MsfToLba(e.M, e.S, e.F), lba);
    }
}

TEST(CdDriveList, PhysicalDrivesThenExistingImages)
{
    TempDir dir;
    const std::string a = WriteCdImage(dir.Path(), "a", { 10 });
    const std::string b = WriteCdImage(dir.Path(), "b", { 10 });
    CdioDriveService service;
    const size_t physical = service.PhysicalDrives().size();
    std::vector<CdDriveEntry> list
        = ListCdDrives(service, " " + a + " ;" + dir.File("missing.cue") + ";;" + b);
    ASSERT_EQ(list.size(), physical + 2);
    EXPECT_EQ(list[physical].Path, a);
    EXPECT_EQ(list[physical].Name, "a.cue");
    EXPECT_TRUE(list[physical].IsImage);
    EXPECT_EQ(list[physical + 1].Path, b);
}

TEST(RipAudio, TrackTableFromImage)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 10, 33, 150 });
    CdioDriveService service;
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ASSERT_EQ(ra.Drive(), cue);
    ra.UpdateToc();
    ASSERT_EQ(ra.LastTrack(), 3);
    ASSERT_EQ(ra.Tracks().size(), 3U);
    const int32_t starts[] = { 0, 10, 43 };
    const int32_t sectors[] = { 10, 33, 150 };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const CdTrack& t = ra.Tracks()[i];
        EXPECT_EQ(t.StartLba, starts[i]);
        EXPECT_EQ(t.Sectors, sectors[i]);
        EXPECT_EQ(t.EndLba, starts[i] + sectors[i] - 1);
        EXPECT_EQ(t.Frames, sectors[i] * 588);
        EXPECT_EQ(ra.GetTrackSample(static_cast<int32_t>(i)), sectors[i] * 588);
    }
    EXPECT_EQ(ra.Tracks()[0].LengthMs, 133); // 10 / 75 s
    EXPECT_EQ(ra.Tracks()[2].LengthMs, 2000);
    EXPECT_EQ(ra.GetTrackSample(3), 0);
    EXPECT_EQ(ra.GetTrackSample(-1), 0);
    // The lead-out follows the last track.
    EXPECT_EQ(ra.Toc().Entries.back().TrackNo, kLeadOutTrack);
    EXPECT_EQ(
        MsfToLba(ra.Toc().Entries.back().M, ra.Toc().Entries.back().S, ra.Toc().Entries.back().F),
        193);
}

TEST(RipAudio, CdTextTitlesLoseTheirControlCharacters)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 10, 10 });
    CdioDriveService real;
    test::WatchedDriveService service(real);
    service.CdText = std::vector<std::string> { "\x1b]0;owned\x07Song\x1b[2J",
        " A\xc2\x9b"
        "31mB " };
    RipAudio ra(service);
    ra.DriveToRip(cue);
    const std::vector<std::string> titles = ra.CdTextTitles();
    ASSERT_EQ(titles.size(), 2U);
    EXPECT_EQ(titles[0], "]0;owned Song [2J");
    EXPECT_EQ(titles[1], "A 31mB");
}

TEST(RipAudio, EveryTrackRipsBitExactInRequestsOfSixteenSectors)
{
    TempDir dir;
    const std::vector<int32_t> sizes = { 10, 33, 160, 1 };
    const std::string cue = WriteCdImage(dir.Path(), "disc", sizes);
    CdioDriveService real;
    test::WatchedDriveService service(real);
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    ASSERT_EQ(ra.LastTrack(), 4);
    int32_t lba = 0;
    for (int32_t t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        service.Requests.clear();
        const std::string out = dir.File("t" + std::to_string(t) + ".wav");
        EXPECT_EQ(ra.RipTrack(t, out, 1.0), RipOutcome::Done);
        WaveInfo info = ReadWaveInfo(out);
        ASSERT_EQ(info.Valid, 1);
        EXPECT_EQ(info.SampleRate, 44100);
        EXPECT_EQ(info.Channels, 2);
        EXPECT_EQ(info.Bits, 16);
        EXPECT_EQ(info.Frames, sizes[static_cast<size_t>(t)] * 588);
        EXPECT_TRUE(WavData(out) == CdImageTrackBytes(t, sizes[static_cast<size_t>(t)]));
        // Requests of 16 sectors in order, the last one shorter.
        int32_t at = lba;
        int32_t left = sizes[static_cast<size_t>(t)];
        ASSERT_EQ(service.Requests.size(), static_cast<size_t>((left + 15) / 16));
        for (const auto& r : service.Requests) {
            EXPECT_EQ(r.Lba, at);
            EXPECT_EQ(r.Count, std::min(16, left));
            at += r.Count;
            left -= r.Count;
        }
        lba += sizes[static_cast<size_t>(t)];
    }
    // Only the rips' own files are in the folder: no temporary is left behind.
    EXPECT_EQ(FolderNames(dir.Path()),
        (std::vector<std::string> {
            "disc.bin", "disc.cue", "t0.wav", "t1.wav", "t2.wav", "t3.wav" }));
}

TEST(RipAudio, LevelIsAppliedWithRoundingAndSaturation)
{
    uint8_t bytes[8];
    const int16_t in[4] = { 20000, -20000, 3, -32768 };
    std::memcpy(bytes, in, sizeof bytes);
    ScaleCdSamples(bytes, 4, 2.0);
    int16_t out[4];
    std::memcpy(out, bytes, sizeof out);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32767);
    EXPECT_EQ(out[2], 6);
    EXPECT_EQ(out[3], -32767);
    std::memcpy(bytes, in, sizeof bytes);
    ScaleCdSamples(bytes, 4, 0.5);
    std::memcpy(out, bytes, sizeof out);
    EXPECT_EQ(out[2], 2); // 1.5 rounds half to even
    EXPECT_EQ(out[3], -16384);

    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 20 });
    CdioDriveService service;
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    const std::string out2 = dir.File("half.wav");
    ASSERT_EQ(ra.RipTrack(0, out2, 0.5), RipOutcome::Done);
    std::string expected = CdImageTrackBytes(0, 20);
    ScaleCdSamples(reinterpret_cast<uint8_t*>(expected.data()), expected.size() / 2, 0.5);
    EXPECT_TRUE(WavData(out2) == expected);
}

TEST(RipAudio, CancelAndReadFailureLeaveValidShorterFiles)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 400 });
    CdioDriveService real;
    test::WatchedDriveService service(real);
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();

    std::vector<double> rates;
    ra.SetProgressHandler([&](double pRate, std::string_view) {
        rates.push_back(pRate);
        return rates.size() != 2;
    });
    const std::string canceled = dir.File("canceled.wav");
    EXPECT_EQ(ra.RipTrack(0, canceled, 1.0), RipOutcome::Canceled);
    EXPECT_TRUE(ra.Canceled());
    ASSERT_EQ(rates.size(), 2U);
    EXPECT_DOUBLE_EQ(rates[0], 160.0 / 400.0);
    EXPECT_DOUBLE_EQ(rates[1], 320.0 / 400.0);
    WaveInfo info = ReadWaveInfo(canceled);
    ASSERT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, 320 * 588);
    EXPECT_TRUE(WavData(canceled) == CdImageTrackBytes(0, 400).substr(0, 320 * 2352));

    ra.SetCanceled(false);
    ra.SetProgressHandler({});
    service.Requests.clear();
    service.FailRead = 4;
    const std::string failed = dir.File("failed.wav");
    EXPECT_EQ(ra.RipTrack(0, failed, 1.0), RipOutcome::ReadFailed);
    info = ReadWaveInfo(failed);
    ASSERT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, 48 * 588);
    EXPECT_TRUE(WavData(failed) == CdImageTrackBytes(0, 400).substr(0, 48 * 2352));
}

TEST(RipAudio, RipReplacesAnOldFileOnlyWhenDone)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 40 });
    CdioDriveService real;
    test::WatchedDriveService service(real);
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    const std::string out = dir.File("out.wav");
    ASSERT_TRUE(test::WriteFileBytes(out, "old"));
    // The file cannot be made beside an unwritable target folder: the old file stays.
    const std::string missing = dir.File("no/such/folder/out.wav");
    EXPECT_EQ(ra.RipTrack(0, missing, 1.0), RipOutcome::WriteFailed);
    EXPECT_EQ(ReadFileBytes(out), "old");
    EXPECT_EQ(ra.RipTrack(0, out, 1.0), RipOutcome::Done);
    EXPECT_TRUE(WavData(out) == CdImageTrackBytes(0, 40));
}

TEST(RipAudio, WithoutACdDriveEveryCallDoesNothing)
{
    TempDir dir;
    const std::string notImage = dir.File("song.wav");
    ASSERT_TRUE(test::WriteFileBytes(notImage, "RIFF"));
    CdioDriveService service;
    for (const std::string& drive :
        { notImage, std::string("/dev/null"), dir.File("missing.cue"), std::string() }) {
        SCOPED_TRACE(drive);
        RipAudio ra(service);
        ra.DriveToRip(drive);
        EXPECT_EQ(ra.Drive(), "");
        ra.UpdateToc();
        EXPECT_EQ(ra.LastTrack(), 0);
        EXPECT_TRUE(ra.Tracks().empty());
        EXPECT_EQ(ra.RipTrack(0, dir.File("x.wav"), 1.0), RipOutcome::NoTrack);
        EXPECT_FALSE(std::filesystem::exists(dir.File("x.wav")));
        uint8_t buffer[RipAudio::kBufferBytes] = { 7 };
        EXPECT_EQ(ra.RipCDtoBuff(0, 0, buffer), -1);
        EXPECT_EQ(buffer[0], 7);
    }
}

TEST(RipAudio, AnImageThatIsNotACueSheetGivesAnEmptyTable)
{
    TempDir dir;
    const std::string cue = dir.File("bad.cue");
    ASSERT_TRUE(test::WriteFileBytes(cue, "FILE \"nothing.bin\" BINARY\r\nTRACK zz\r\n"));
    CdioDriveService service;
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    EXPECT_EQ(ra.LastTrack(), 0);
    EXPECT_EQ(ra.RipTrack(0, dir.File("x.wav"), 1.0), RipOutcome::NoTrack);
}

TEST(RipAudio, BufferReadsSixteenSectorsAndSilenceAfterTheTrack)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 20, 30 });
    CdioDriveService service;
    RipAudio ra(service);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    const std::string track = CdImageTrackBytes(1, 30);
    std::vector<uint8_t> buffer(RipAudio::kBufferBytes, 0xAB);
    ASSERT_EQ(ra.RipCDtoBuff(1, 0, buffer.data()), 1);
    EXPECT_TRUE(std::string(buffer.begin(), buffer.end()) == track.substr(0, 16 * 2352));
    // The second buffer holds the track's last 14 sectors, then silence.
    ASSERT_EQ(ra.RipCDtoBuff(1, RipAudio::GetBufferLen(), buffer.data()), 1);
    EXPECT_TRUE(std::string(buffer.begin(), buffer.begin() + 14 * 2352) == track.substr(16 * 2352));
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 14 * 2352, buffer.end(), [](uint8_t b) { return b == 0; }));
    // Past the end of the track nothing is read.
    EXPECT_EQ(ra.RipCDtoBuff(1, 30 * 588, buffer.data()), -1);
    // The buffer level applies.
    ra.SetBuffRipLevel(2.0);
    ASSERT_EQ(ra.RipCDtoBuff(0, 0, buffer.data()), 1);
    std::string scaled = CdImageTrackBytes(0, 20).substr(0, 16 * 2352);
    ScaleCdSamples(reinterpret_cast<uint8_t*>(scaled.data()), scaled.size() / 2, 2.0);
    EXPECT_TRUE(std::string(buffer.begin(), buffer.end()) == scaled);
}

} // namespace
} // namespace tarvok

namespace tarvok {
namespace {

TEST(RipAudioErrorCorrection, ImagesRipBitExactThroughTheErrorCorrectingReads)
{
    TempDir dir;
    const std::vector<int32_t> sizes = { 40, 300, 25 };
    const std::string cue = WriteCdImage(dir.Path(), "disc", sizes);
    CdioDriveService drives;
    RipAudio ra(drives);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    ra.SetErrorCorrection(true);
    for (int32_t t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        const std::string out = dir.File("t" + std::to_string(t) + ".wav");
        ASSERT_EQ(ra.RipTrack(t, out, 1.0), RipOutcome::Done);
        EXPECT_TRUE(ra.ErrorCorrectionUsed());
        EXPECT_TRUE(WavData(out) == CdImageTrackBytes(t, sizes[static_cast<size_t>(t)]));
        // The checksums read through the same reads agree with the file's.
        const std::optional<AccurateRipSums> read = ra.TrackChecksums(t);
        const std::optional<AccurateRipSums> file = AccurateRipOfFile(out, t == 0, t == 2);
        ASSERT_TRUE(read && file);
        EXPECT_EQ(read->V1, file->V1);
        EXPECT_EQ(read->V2, file->V2);
    }
    // Asked for plain reads, the same device reads plainly.
    ra.SetErrorCorrection(false);
    ASSERT_EQ(ra.RipTrack(1, dir.File("plain.wav"), 1.0), RipOutcome::Done);
    EXPECT_FALSE(ra.ErrorCorrectionUsed());
}

TEST(RipAudioErrorCorrection, ADeviceWithoutItFallsBackToPlainReads)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 33 });
    CdioDriveService real;
    // The watching wrapper offers no error correction, like a platform without it.
    test::WatchedDriveService drives(real);
    RipAudio ra(drives);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    ra.SetErrorCorrection(true);
    const std::string out = dir.File("t.wav");
    ASSERT_EQ(ra.RipTrack(0, out, 1.0), RipOutcome::Done);
    EXPECT_FALSE(ra.ErrorCorrectionUsed());
    EXPECT_TRUE(WavData(out) == CdImageTrackBytes(0, 33));
    ASSERT_EQ(drives.Requests.size(), 3U);
    EXPECT_EQ(drives.Requests[2].Count, 1);

    // The rip with check reports which reads it got.
    RipCheckOptions options;
    options.Check = false;
    options.ErrorCorrection = true;
    HeadlessUi ui;
    EXPECT_FALSE(RipWithCheck(ra, ui, 0, dir.File("c.wav"), options).ErrorCorrected);
    RipAudio direct(real);
    direct.DriveToRip(cue);
    direct.UpdateToc();
    const RipCheckResult r = RipWithCheck(direct, ui, 0, dir.File("d.wav"), options);
    EXPECT_TRUE(r.Good);
    EXPECT_TRUE(r.ErrorCorrected);
    EXPECT_TRUE(WavData(r.Path) == CdImageTrackBytes(0, 33));
}

TEST(RipAudio, ATrackOfNoSectorsIsRefusedWithoutAFile)
{
    TempDir dir;
    const std::string cue = WriteCdImage(dir.Path(), "disc", { 10, 0, 10 });
    CdioDriveService real;
    RipAudio ra(real);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    ASSERT_EQ(ra.LastTrack(), 3);
    ASSERT_EQ(ra.Tracks()[1].Sectors, 0);
    EXPECT_EQ(ra.RipTrack(1, dir.File("empty.wav"), 1.0), RipOutcome::EmptyTrack);
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.wav")));

    HeadlessUi ui;
    RipCheckOptions options;
    const RipCheckResult result = RipWithCheck(ra, ui, 1, dir.File("empty.wav"), options);
    EXPECT_FALSE(result.Good);
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.wav")));
    ASSERT_EQ(ui.BoxTexts().size(), 1U);
    EXPECT_EQ(ui.BoxTexts()[0], kRipNoAudio);

    // A track the disc does not have is named as such, not as a track without audio.
    HeadlessUi missing;
    EXPECT_FALSE(RipWithCheck(ra, missing, 7, dir.File("none.wav"), options).Good);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.wav")));
    ASSERT_EQ(missing.BoxTexts().size(), 1U);
    EXPECT_EQ(missing.BoxTexts()[0], kRipNoSuchTrack);
}

} // namespace
} // namespace tarvok

namespace tarvok {
namespace {

/// Track pTrack of a disc of tracks pSectors as a drive with read offset pOffset delivers
/// it once the offset is applied: every sample taken pOffset samples later on the disc,
/// silence beyond the disc's audio.
std::string ShiftedTrack(const std::vector<int32_t>& pSectors, size_t pTrack, int32_t pOffset)
{
    std::string disc;
    int64_t start = 0;
    for (size_t t = 0; t < pSectors.size(); ++t) {
        if (t == pTrack)
            start = static_cast<int64_t>(disc.size()) / 4;
        disc += CdImageTrackBytes(static_cast<int32_t>(t), pSectors[t]);
    }
    const int64_t frames = static_cast<int64_t>(pSectors[pTrack]) * 588;
    std::string out(static_cast<size_t>(frames) * 4, '\0');
    for (int64_t f = 0; f < frames; ++f) {
        const int64_t src = start + f + pOffset;
        if (src >= 0 && src * 4 < static_cast<int64_t>(disc.size()))
            out.replace(static_cast<size_t>(f) * 4, 4, disc, static_cast<size_t>(src) * 4, 4);
    }
    return out;
}

TEST(RipAudioReadOffset, MovesTheAudioByExactlyTheOffsetWithSilenceAtTheEdges)
{
    TempDir dir;
    const std::vector<int32_t> sizes = { 40, 70, 30 };
    const std::string cue = WriteCdImage(dir.Path(), "disc", sizes);
    CdioDriveService drives;
    RipAudio ra(drives);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    ASSERT_EQ(ra.Tracks().size(), 3U);
    EXPECT_EQ(ra.DriveModel(), "");
    for (int32_t offset : { 0, 6, -6, 588, -1000, 667, 30 * 588 + 5 }) {
        ra.SetReadOffset(offset);
        for (size_t t = 0; t < sizes.size(); ++t) {
            SCOPED_TRACE(std::to_string(offset) + " track " + std::to_string(t + 1));
            const std::string out = dir.File("o.wav");
            ASSERT_EQ(ra.RipTrack(static_cast<int32_t>(t), out, 1.0), RipOutcome::Done);
            EXPECT_TRUE(WavData(out) == ShiftedTrack(sizes, t, offset));
            // The checksums are those of the moved audio too.
            const std::optional<AccurateRipSums> read = ra.TrackChecksums(static_cast<int32_t>(t));
            const std::optional<AccurateRipSums> file
                = AccurateRipOfFile(out, t == 0, t + 1 == sizes.size());
            ASSERT_TRUE(read && file);
            EXPECT_EQ(read->V1, file->V1);
        }
    }
}

TEST(RipAudioReadOffset, TheRipTakesTheOffsetOfTheDriveModelButNotForImages)
{
    TempDir dir;
    const std::vector<int32_t> sizes = { 40, 70 };
    const std::string cue = WriteCdImage(dir.Path(), "disc", sizes);
    CdioDriveService real;
    test::ModelDriveService drives(real, cue, "ACME CD-1000 ");
    HeadlessUi ui;
    RipCheckOptions options;
    options.Check = false;
    std::vector<std::string> asked;
    options.ReadOffsetOf = [&](std::string_view pModel) {
        asked.emplace_back(pModel);
        return 48;
    };
    for (const std::string& drive : { std::string("/dev/fakecd"), cue }) {
        SCOPED_TRACE(drive);
        RipAudio ra(drives, &ui);
        ra.DriveToRip(drive);
        ra.UpdateToc();
        const RipCheckResult result = RipWithCheck(ra, ui, 1, dir.File("r.wav"), options);
        ASSERT_TRUE(result.Good);
        EXPECT_TRUE(WavData(result.Path) == ShiftedTrack(sizes, 1, drive == cue ? 0 : 48));
    }
    EXPECT_EQ(asked, (std::vector<std::string> { "ACME CD-1000 " }));
    EXPECT_EQ(ReadOffsetKey("ACME CD-1000 "), "CDReadOffset-ACME_CD_1000_");
}

} // namespace
} // namespace tarvok
