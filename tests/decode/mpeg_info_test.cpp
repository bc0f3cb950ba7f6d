#include "decode/mpeg_info.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvok {
namespace {

using test::TempDir;
using test::WriteFileBytes;

/// An MPEG-1 Layer III header: 128 kbit/s, 44.1 kHz, joint stereo.
const std::string kStereoHeader = "\xFF\xFB\x90\x44";

std::string Bytes(size_t pCount, char pFill = '\0') { return std::string(pCount, pFill); }

/// pBase with pPatch written over it at pOffset (extending it when needed).
std::string Put(std::string pBase, size_t pOffset, const std::string& pPatch)
{
    if (pBase.size() < pOffset + pPatch.size())
        pBase.resize(pOffset + pPatch.size(), '\0');
    pBase.replace(pOffset, pPatch.size(), pPatch);
    return pBase;
}

std::string BigEndian(uint32_t pValue)
{
    return { char(pValue >> 24), char(pValue >> 16), char(pValue >> 8), char(pValue) };
}

struct Parsed {
    bool Ok = false;
    MpegInfo Info;
};

Parsed Parse(const TempDir& pDir, const std::string& pName, const std::string& pBytes)
{
    std::string path = pDir.File(pName);
    EXPECT_TRUE(WriteFileBytes(path, pBytes));
    Parsed result;
    result.Ok = ReadMpegInfo(path, result.Info);
    return result;
}

TEST(MpegInfo, SummarisesAConstantBitRateFile)
{
    TempDir dir;
    Parsed p = Parse(dir, "a.mp3", Put(Bytes(4000), 0, kStereoHeader));
    ASSERT_TRUE(p.Ok);
    EXPECT_EQ(p.Info.FirstPos, 1);
    EXPECT_EQ(p.Info.FileBytes, 4000);
    EXPECT_EQ(p.Info.AudioBytes, 4000);
    EXPECT_EQ(p.Info.LastPos, 4000);
    EXPECT_EQ(p.Info.Layer, 3);
    EXPECT_EQ(p.Info.Lsf, 0);
    EXPECT_EQ(p.Info.BitRate, 128);
    EXPECT_EQ(p.Info.Rate, 44100);
    EXPECT_EQ(p.Info.ChannelMode, 1);
    EXPECT_EQ(p.Info.Channels, 2);
    EXPECT_EQ(p.Info.IsVbr, 0);
    EXPECT_EQ(p.Info.DurationMs, 250); // 4000 bytes at 16,000 bytes per second
    EXPECT_EQ(p.Info.HeaderB1, 0xFB);
    EXPECT_EQ(p.Info.HeaderB2, 0x90);
    EXPECT_EQ(p.Info.HeaderB3, 0x44);
}

TEST(MpegInfo, FindsTheFirstFrameBehindLeadingData)
{
    // A decoy header inside each leading block shows where the scan starts.
    std::string id3 = Put(Put(Bytes(3000), 0, std::string("ID3\x03\x00\x00\x00\x00\x02\x01", 10)),
        100, kStereoHeader);
    std::string tagFront = Put(Put(Bytes(3000), 0, "TAG"), 50, kStereoHeader);
    std::string mpaNoise = Put(Bytes(3000), 0, "\xFF\xF2\xFF\x00");
    struct Case {
        const char* Name;
        std::string File;
        size_t HeaderAt;
        int32_t FirstPos;
    } cases[] = {
        { "id3v2 size 00 00 02 01 is searched from 267", id3, 267, 268 },
        { "id3v2 header at 266 lies inside the tag", Put(id3, 1267, kStereoHeader), 266, 1268 },
        { "TAG at the front is searched from 128", tagFront, 128, 129 },
        { "junk before the first frame", Bytes(3000, 'x'), 1500, 1501 },
        { "header straddling two scan windows", Bytes(3000), 998, 999 },
        { "a sync with second byte below F0 is never taken",
            Put(Bytes(3000), 10, "\xFF\xE3\x90\x44"), 700, 701 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        Parsed p = Parse(dir, "a.mp3", Put(c.File, c.HeaderAt, kStereoHeader));
        ASSERT_TRUE(p.Ok);
        EXPECT_EQ(p.Info.FirstPos, c.FirstPos);
        EXPECT_EQ(p.Info.LastPos, 3000);
        EXPECT_EQ(p.Info.AudioBytes, 3000 - c.FirstPos + 1);
    }
    TempDir dir;
    // FF F2 FF at the start fixes F2: the FF FB at 900 is passed over for the FF F2 at 1200.
    Parsed noise
        = Parse(dir, "b.mp3", Put(Put(mpaNoise, 900, kStereoHeader), 1200, "\xFF\xF2\x84\x44"));
    ASSERT_TRUE(noise.Ok);
    EXPECT_EQ(noise.Info.FirstPos, 1201);
}

TEST(MpegInfo, FfFfStartIsNoHeaderInAnMp3File)
{
    std::string file = Put(Put(Bytes(3000), 0, "\xFF\xFF\x90\x44"), 500, kStereoHeader);
    TempDir dir;
    Parsed mp3 = Parse(dir, "a.MP3", file);
    ASSERT_TRUE(mp3.Ok);
    EXPECT_EQ(mp3.Info.FirstPos, 501);
    EXPECT_EQ(mp3.Info.Layer, 3);
    // Elsewhere FF FF is an MPEG-1 Layer I header without CRC.
    Parsed mp2 = Parse(dir, "a.mp2", file);
    ASSERT_TRUE(mp2.Ok);
    EXPECT_EQ(mp2.Info.FirstPos, 1);
    EXPECT_EQ(mp2.Info.Layer, 1);
    EXPECT_EQ(mp2.Info.BitRate, 288);
}

TEST(MpegInfo, FfF3FfSetsTheExpectedSecondByte)
{
    std::string file = Put(Bytes(3000), 0, "\xFF\xF3\xFF\x00");
    file = Put(file, 300, kStereoHeader); // another second byte: skipped
    file = Put(file, 400, "\xFF\xF3\xFF\x44"); // third byte FF: skipped
    file = Put(file, 600, "\xFF\xF3\x84\xC4"); // taken: LSF Layer III, 64 kbit/s, 24 kHz, mono
    TempDir dir;
    Parsed p = Parse(dir, "a.mp3", file);
    ASSERT_TRUE(p.Ok);
    EXPECT_EQ(p.Info.FirstPos, 601);
    EXPECT_EQ(p.Info.Lsf, 1);
    EXPECT_EQ(p.Info.Layer, 3);
    EXPECT_EQ(p.Info.BitRate, 64);
    EXPECT_EQ(p.Info.Rate, 24000);
    EXPECT_EQ(p.Info.ChannelMode, 3);
    EXPECT_EQ(p.Info.Channels, 1);
}

TEST(MpegInfo, XingHeaderOnlyAtTheMpeg1StereoOffset)
{
    const std::string xing = "Xing" + BigEndian(15) + BigEndian(1000);
    TempDir dir;
    // MPEG-1 stereo: the Xing header follows 32 bytes of side information.
    Parsed vbr = Parse(dir, "a.mp3", Put(Put(Bytes(40000), 0, kStereoHeader), 36, xing));
    ASSERT_TRUE(vbr.Ok);
    EXPECT_EQ(vbr.Info.IsVbr, 1);
    EXPECT_EQ(vbr.Info.VbrFrames, 1000);
    EXPECT_EQ(vbr.Info.DurationMs, 26122); // 1000 x 1152 / 44.1
    EXPECT_EQ(vbr.Info.BitRate, 12); // 40000 x 8 / 26122
    // Behind a tag the Xing header is looked for at the found frame.
    std::string tagged = Put(Bytes(40000), 0, std::string("ID3\x03\x00\x00\x00\x00\x00\x10", 10));
    Parsed behind = Parse(dir, "b.mp3", Put(Put(tagged, 26, kStereoHeader), 26 + 36, xing));
    ASSERT_TRUE(behind.Ok);
    EXPECT_EQ(behind.Info.FirstPos, 27);
    EXPECT_EQ(behind.Info.IsVbr, 1);
    // Mono MPEG-1 and LSF streams carry it at offset 21: summarised as constant bit rate.
    struct Case {
        const char* Name;
        std::string Header;
        int32_t BitRate;
    } cases[]
        = { { "mpeg-1 mono", "\xFF\xFB\x90\xC4", 128 }, { "lsf stereo", "\xFF\xF3\x84\x44", 64 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Parsed p = Parse(dir, "c.mp3", Put(Put(Bytes(40000), 0, c.Header), 21, xing));
        ASSERT_TRUE(p.Ok);
        EXPECT_EQ(p.Info.IsVbr, 0);
        EXPECT_EQ(p.Info.BitRate, c.BitRate);
        EXPECT_EQ(p.Info.DurationMs, 40000 * 8 / c.BitRate);
    }
}

TEST(MpegInfo, AudioEndsAtTheFirstTrailingTag)
{
    std::string file = Put(Bytes(5000), 0, kStereoHeader);
    struct Case {
        const char* Name;
        std::string File;
        int32_t LastPos;
    } cases[] = {
        { "no trailing tag", file, 5000 },
        { "ID3v1 tag", Put(file, 4872, "TAG"), 4872 },
        { "two tags: the first counts", Put(Put(file, 4872, "TAG"), 4200, "TAG"), 4200 },
        { "a tag before the last 1024 bytes is not seen", Put(file, 3900, "TAG"), 5000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        Parsed p = Parse(dir, "a.mp3", c.File);
        ASSERT_TRUE(p.Ok);
        EXPECT_EQ(p.Info.LastPos, c.LastPos);
        EXPECT_EQ(p.Info.AudioBytes, c.LastPos);
    }
}

TEST(MpegInfo, RefusesUnusableFiles)
{
    std::string ffRun = Bytes(100000, '\xFF');
    struct Case {
        const char* Name;
        std::string File;
    } cases[] = {
        { "zero length", "" },
        { "47 bytes", Put(Bytes(47), 0, kStereoHeader) },
        { "no sync at all", Bytes(5000, 'a') },
        { "FF FF run", ffRun },
        { "FF FF run after a tag", Put(ffRun, 0, "TAG") },
        { "huge ID3 size", Put(Bytes(5000), 0, "ID3\x03\x00\x00\x7F\x7F\x7F\x7F") },
        { "layer bits 00", Put(Bytes(5000), 0, "\xFF\xF9\x90\x44") },
        { "bit-rate index 0", Put(Bytes(5000), 0, "\xFF\xFB\x00\x44") },
        { "bit-rate index 15", Put(Bytes(5000), 0, "\xFF\xFB\xF0\x44") },
        { "sampling-rate index 3", Put(Bytes(5000), 0, "\xFF\xFB\x9C\x44") },
        { "Xing frame count 0", Put(Put(Bytes(5000), 0, kStereoHeader), 36, "Xing" + Bytes(8)) },
        { "Xing frame count beyond 2^31",
            Put(Put(Bytes(5000), 0, kStereoHeader), 36, "Xing" + Bytes(4) + "\xFF\xFF\xFF\xFF") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        EXPECT_FALSE(Parse(dir, "a.mp3", c.File).Ok);
    }
    MpegInfo info;
    EXPECT_FALSE(ReadMpegInfo("/nonexistent/a.mp3", info));
}

TEST(CopyByteRange, CopiesTheRangeIntoANewFile)
{
    TempDir dir;
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data += char(i % 251);
    ASSERT_TRUE(WriteFileBytes(dir.File("src"), data));
    ASSERT_TRUE(WriteFileBytes(dir.File("dst"), "old contents that are longer than the copy"));
    ASSERT_TRUE(CopyByteRange(dir.File("src"), dir.File("dst"), 11, 20));
    EXPECT_EQ(test::ReadFileBytes(dir.File("dst")), data.substr(10, 10));
    ASSERT_TRUE(CopyByteRange(dir.File("src"), dir.File("dst"), 0, 99999));
    EXPECT_EQ(test::ReadFileBytes(dir.File("dst")), data);

    ASSERT_TRUE(WriteFileBytes(dir.File("empty"), ""));
    EXPECT_FALSE(CopyByteRange(dir.File("empty"), dir.File("e2"), 1, 10));
    EXPECT_FALSE(CopyByteRange(dir.File("missing"), dir.File("e3"), 1, 10));
    EXPECT_FALSE(CopyByteRange(dir.File("src"), dir.File("nofolder/x"), 1, 10));
    EXPECT_FALSE(test::ReadFileBytes(dir.File("e2")).size() > 0);
}

} // namespace
} // namespace tarvok
