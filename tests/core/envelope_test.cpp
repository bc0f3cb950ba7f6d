#include "core/envelope.h"

#include "core/envelope_gain.h"
#include "core/project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvok {

namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr int32_t kRate = 44100;

// A project of pTracks tracks whose envelopes have exactly pFrames frames.
Project MakeProject(int32_t pFrames, int32_t pTracks = 2, int32_t pType = 1)
{
    Project project;
    project.SampleRate = kRate;
    EXPECT_TRUE(project.SetFadeTableType(pType));
    project.SetTrackCount(pTracks);
    project.EnvelopeLength = pFrames;
    for (int32_t t = 0; t < pTracks; ++t)
        FillUnity(project, t);
    return project;
}

void SetLevel(Project& pProject, int32_t pTrack, int32_t pFrame, uint8_t pLeft, uint8_t pRight)
{
    pProject.Envelopes[pTrack][2 * pFrame] = pLeft;
    pProject.Envelopes[pTrack][2 * pFrame + 1] = pRight;
}

std::vector<std::string> FolderEntries(const std::string& pFolder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bytes(std::initializer_list<int> pValues)
{
    std::string bytes;
    for (int v : pValues)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

} // namespace

TEST(Envelope, NewTrackEnvelopeIsAllUnity)
{
    for (auto [type, unity] : { std::pair { 1, 207 }, std::pair { 0, 128 } }) {
        SCOPED_TRACE(type);
        Project project = MakeProject(0, 1, type);
        ResizeEnvelopes(project, 5 * kRate, true);
        project.SetTrackCount(3);
        ASSERT_EQ(project.Envelopes.size(), 3u);
        for (const TrackEnvelope& envelope : project.Envelopes) {
            ASSERT_EQ(envelope.size(), static_cast<size_t>(project.EnvelopeLength) * 2);
            for (uint8_t level : envelope)
                ASSERT_EQ(level, unity);
        }
        EXPECT_EQ(project.Fades[unity], 1.0f);
    }
}

TEST(Envelope, ResizeGrowthKeepsFramesAndFillsUnity)
{
    Project project = MakeProject(4);
    SetLevel(project, 1, 3, 10, 20);
    ResizeEnvelopes(project, 100000, true);
    const int32_t frames = (100000 + 10 * kRate) / 2048;
    ASSERT_EQ(project.EnvelopeLength, frames);
    const TrackEnvelope& envelope = project.Envelopes[1];
    ASSERT_EQ(envelope.size(), static_cast<size_t>(frames) * 2);
    EXPECT_EQ(envelope[6], 10);
    EXPECT_EQ(envelope[7], 20);
    for (size_t i = 8; i < envelope.size(); ++i)
        ASSERT_EQ(envelope[i], 207) << "byte " << i;
}

TEST(Envelope, ResizeWithoutForceOnlyGrowsWhenTheEndIsNotCovered)
{
    Project project = MakeProject(100);
    ResizeEnvelopes(project, 99 * 2048, false); // frame 99 exists: nothing to do
    EXPECT_EQ(project.EnvelopeLength, 100);
    ResizeEnvelopes(project, 100 * 2048, false);
    EXPECT_EQ(project.EnvelopeLength, (100 * 2048 + 10 * kRate) / 2048);
    ResizeEnvelopes(project, 0, true); // forced: shrinks to 10 seconds
    EXPECT_EQ(project.EnvelopeLength, 10 * kRate / 2048);
    EXPECT_EQ(project.Envelopes[0].size(), static_cast<size_t>(10 * kRate / 2048) * 2);
}

TEST(EnvelopeGain, InterpolatesFromTheFrameToTheNextWithinTheFrame)
{
    Project project = MakeProject(4);
    SetLevel(project, 0, 1, 143, 255); // left -10 dB, right +10 dB
    SetLevel(project, 0, 2, 2, 0);
    const float* fades = project.Fades.data();
    struct Case {
        int64_t Sample;
        int32_t Channel;
        float Expected;
    };
    const Case kCases[] = {
        { 0, kLeftChannel, 1.0f }, // unity to unity stays exactly 1
        { 2048, kLeftChannel, fades[143] }, // i = 0: the frame's own gain
        { 2048 + 2047, kLeftChannel, fades[2] }, // i = 2047: already the next frame's gain
        { 4096, kLeftChannel, fades[2] },
        { 2048, kRightChannel, fades[255] },
        { 2048 + 2047, kRightChannel, fades[0] },
        { 2047, kRightChannel, fades[255] },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Sample);
        EXPECT_EQ(EnvelopeGain(project, 0, c.Channel, c.Sample), c.Expected);
    }
    const double middle = fades[143] * (1.0 - 1000.0 / 2047) + fades[2] * (1000.0 / 2047);
    EXPECT_NEAR(EnvelopeGain(project, 0, kLeftChannel, 2048 + 1000), middle, 1e-6);
    EXPECT_EQ(EnvelopeWeightNext(0), 0.0f);
    EXPECT_EQ(EnvelopeWeightNext(2047), 1.0f);
}

TEST(EnvelopeGain, HoldsTheLastFrameBeyondTheEnvelopeAndFrameZeroBeforeIt)
{
    Project project = MakeProject(3);
    SetLevel(project, 0, 0, 100, 100);
    SetLevel(project, 0, 2, 50, 60);
    const float last = project.Fades[50];
    const int64_t kBeyond[] = { 2 * 2048, 2 * 2048 + 2047, 3 * 2048, 1000000, INT64_MAX };
    for (int64_t sample : kBeyond) {
        SCOPED_TRACE(sample);
        EXPECT_EQ(EnvelopeGain(project, 0, kLeftChannel, sample), last);
        EXPECT_EQ(EnvelopeStepGain(project, 0, kLeftChannel, sample), last);
    }
    for (int64_t sample : { int64_t { -1 }, int64_t { -5000 }, INT64_MIN }) {
        SCOPED_TRACE(sample);
        EXPECT_EQ(EnvelopeGain(project, 0, kLeftChannel, sample), project.Fades[100]);
        EXPECT_EQ(EnvelopeStepGain(project, 0, kLeftChannel, sample), project.Fades[100]);
    }
}

TEST(EnvelopeGain, MissingEnvelopeOrBadArgumentsGiveUnityGain)
{
    Project empty = MakeProject(0);
    EXPECT_EQ(EnvelopeGain(empty, 0, kLeftChannel, 0), 1.0f);
    Project project = MakeProject(4);
    SetLevel(project, 1, 0, 0, 0);
    SetLevel(project, 1, 1, 0, 0);
    EXPECT_EQ(EnvelopeGain(project, 2, kLeftChannel, 0), 1.0f);
    EXPECT_EQ(EnvelopeGain(project, -1, kLeftChannel, 0), 1.0f);
    EXPECT_EQ(EnvelopeGain(project, 1, 2, 0), 1.0f);
    EXPECT_EQ(EnvelopeStepGain(project, 1, -1, 0), 1.0f);
    // A track whose envelope is shorter than EnvelopeLength is read only as far as it goes.
    project.Envelopes[1].resize(4);
    EXPECT_EQ(EnvelopeGain(project, 1, kRightChannel, 3 * 2048 + 5), 0.0f);
    float gains[8];
    EnvelopeGainRun(project, 1, kLeftChannel, 3 * 2048, gains);
    EXPECT_EQ(gains[7], 0.0f);
}

TEST(EnvelopeGain, StepGainUsesTheFrameWithoutInterpolation)
{
    Project project = MakeProject(3);
    SetLevel(project, 0, 1, 143, 179);
    EXPECT_EQ(EnvelopeStepGain(project, 0, kLeftChannel, 2047), 1.0f);
    EXPECT_EQ(EnvelopeStepGain(project, 0, kLeftChannel, 2048), project.Fades[143]);
    EXPECT_EQ(EnvelopeStepGain(project, 0, kRightChannel, 4095), project.Fades[179]);
}

TEST(EnvelopeGain, RunEqualsSampleBySampleEvaluation)
{
    Project project = MakeProject(6);
    const uint8_t kLevels[] = { 207, 143, 143, 255, 0, 60 };
    for (int32_t k = 0; k < 6; ++k)
        SetLevel(project, 0, k, kLevels[k], static_cast<uint8_t>(255 - kLevels[k]));
    const std::pair<int64_t, size_t> kRuns[] = {
        { 0, 6 * 2048 + 100 },
        { -300, 2048 },
        { 2000, 100 },
        { 5 * 2048 - 3, 10 },
        { 20000, 1 },
        { 0, 0 },
    };
    for (auto [start, count] : kRuns) {
        for (int32_t channel : { kLeftChannel, kRightChannel }) {
            SCOPED_TRACE(testing::Message() << start << " + " << count << " ch " << channel);
            std::vector<float> gains(count, -1.0f);
            EnvelopeGainRun(project, 0, channel, start, gains);
            for (size_t j = 0; j < count; ++j) {
                ASSERT_EQ(
                    gains[j], EnvelopeGain(project, 0, channel, start + static_cast<int64_t>(j)))
                    << "sample " << start + static_cast<int64_t>(j);
            }
        }
    }
    std::vector<float> unity(50, 0.0f);
    EnvelopeGainRun(project, 7, kLeftChannel, 0, unity);
    EXPECT_EQ(unity, std::vector<float>(50, 1.0f));
}

TEST(EnvelopeGain, FlatGainIsGivenOnlyWhereEverySampleHasIt)
{
    Project project = MakeProject(6);
    const uint8_t kLevels[] = { 207, 143, 143, 143, 0, 0 };
    for (int32_t k = 0; k < 6; ++k)
        SetLevel(project, 0, k, kLevels[k], 207);
    struct Case {
        int64_t Start;
        int64_t Count;
        bool Flat;
    };
    const Case kCases[] = {
        { 2048, 2 * 2048, true }, // frames 1..2 blend into frame 3 too: all 143
        { 2048, 2 * 2048 + 2, false }, // reaches into frame 3, which blends towards frame 4
        { 0, 10, false }, // frame 0 blends towards frame 1
        { -500, 100, true }, // before the timeline: frame 0 alone
        { 5 * 2048, 4096, true }, // from the last frame on
        { 4 * 2048 + 7, 3000, true }, // frames 4 and 5 are equal
        { 0, 0, false },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.Start << " + " << c.Count);
        const std::optional<float> flat
            = EnvelopeFlatGain(project, 0, kLeftChannel, c.Start, c.Count);
        EXPECT_EQ(flat.has_value(), c.Flat);
        if (!flat)
            continue;
        for (int64_t j = 0; j < c.Count; ++j)
            ASSERT_EQ(EnvelopeGain(project, 0, kLeftChannel, c.Start + j), *flat) << j;
    }
    // The right channel is flat at unity everywhere, as is a track without an envelope.
    EXPECT_EQ(EnvelopeFlatGain(project, 0, kRightChannel, 0, 6 * 2048), project.Fades[207]);
    EXPECT_EQ(EnvelopeFlatGain(project, 7, kLeftChannel, 0, 50), 1.0f);
}

TEST(EnvelopeFile, SaveWritesTwoBytesPerFrameAndStoresTheName)
{
    TempDir dir;
    Project project = MakeProject(3);
    SetLevel(project, 1, 0, 1, 2);
    SetLevel(project, 1, 2, 254, 255);
    project.Tracks[1].EnvelopeFile = dir.File("~t000001.wfd");
    const std::string path = dir.File("~t000002.wfd");
    ASSERT_TRUE(WriteFileBytes(path, "stale content"));
    ASSERT_TRUE(SaveEnvelope(project, 1, path));
    EXPECT_EQ(ReadFileBytes(path), Bytes({ 1, 2, 207, 207, 254, 255 }));
    EXPECT_EQ(project.Tracks[1].EnvelopeFile, path);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string> { "~t000002.wfd" });
}

TEST(EnvelopeFile, NothingIsWrittenForAnEmptyEnvelope)
{
    TempDir dir;
    Project project = MakeProject(0);
    project.Tracks[0].EnvelopeFile = "old.wfd";
    EXPECT_TRUE(SaveEnvelope(project, 0, dir.File("~t000003.wfd")));
    EXPECT_EQ(project.Tracks[0].EnvelopeFile, "old.wfd");
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
}

TEST(EnvelopeFile, FailedSaveKeepsTheOldName)
{
    TempDir dir;
    Project project = MakeProject(2);
    project.Tracks[0].EnvelopeFile = "old.wfd";
    EXPECT_FALSE(SaveEnvelope(project, 0, dir.File("missing/~t000004.wfd")));
    EXPECT_FALSE(SaveEnvelope(project, 0, ""));
    EXPECT_FALSE(SaveEnvelope(project, 5, dir.File("~t000005.wfd")));
    EXPECT_EQ(project.Tracks[0].EnvelopeFile, "old.wfd");
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
}

TEST(EnvelopeFile, LoadFollowsTheFileSize)
{
    TempDir dir;
    constexpr int32_t kFrames = 4;
    const int U = 207;
    struct Case {
        const char* Name;
        std::string Content;
        std::string Expected;
    };
    const Case kCases[] = {
        { "one byte per frame", Bytes({ 10, 20, 30, 40 }),
            Bytes({ 10, 10, 20, 20, 30, 30, 40, 40 }) },
        { "odd size", Bytes({ 1, 2, 3, 4, 5 }), Bytes({ U, U, U, U, U, U, U, U }) },
        { "short", Bytes({ 1, 2, 3, 4, 5, 6 }), Bytes({ 1, 2, 3, 4, 5, 6, U, U }) },
        { "empty", "", Bytes({ U, U, U, U, U, U, U, U }) },
        { "long", Bytes({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 }), Bytes({ 1, 2, 3, 4, 5, 6, 7, 8 }) },
        { "exact", Bytes({ 8, 7, 6, 5, 4, 3, 2, 1 }), Bytes({ 8, 7, 6, 5, 4, 3, 2, 1 }) },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Project project = MakeProject(kFrames);
        project.Tracks[0].EnvelopeFile = "kept.wfd";
        const std::string path = dir.File("env.wfd");
        ASSERT_TRUE(WriteFileBytes(path, c.Content));
        EXPECT_TRUE(LoadEnvelope(project, 0, path, kFrames));
        const TrackEnvelope& envelope = project.Envelopes[0];
        EXPECT_EQ(std::string(envelope.begin(), envelope.end()), c.Expected);
        EXPECT_EQ(project.Tracks[0].EnvelopeFile, "kept.wfd");
    }
}

TEST(EnvelopeFile, MissingOrUnreadableFileLoadsAsUnityAndReportsIt)
{
    TempDir dir;
    Project project = MakeProject(3);
    SetLevel(project, 0, 0, 1, 1);
    EXPECT_FALSE(LoadEnvelope(project, 0, dir.File("none.wfd"), 3));
    EXPECT_EQ(project.Envelopes[0], TrackEnvelope(6, 207));
    SetLevel(project, 0, 0, 1, 1);
    EXPECT_FALSE(LoadEnvelope(project, 0, dir.Path(), 3)); // a folder
    EXPECT_EQ(project.Envelopes[0], TrackEnvelope(6, 207));
    EXPECT_FALSE(LoadEnvelope(project, 0, "", 3));
    EXPECT_FALSE(LoadEnvelope(project, 9, dir.File("none.wfd"), 3));
}

TEST(EnvelopeFile, SavedEnvelopeLoadsBackUnchanged)
{
    TempDir dir;
    Project project = MakeProject(5);
    for (int32_t k = 0; k < 5; ++k)
        SetLevel(project, 0, k, static_cast<uint8_t>(k * 40), static_cast<uint8_t>(255 - k));
    const TrackEnvelope saved = project.Envelopes[0];
    ASSERT_TRUE(SaveEnvelope(project, 0, dir.File("~t000010.wfd")));
    FillUnity(project, 0);
    EXPECT_TRUE(LoadEnvelope(project, 0, project.Tracks[0].EnvelopeFile, 5));
    EXPECT_EQ(project.Envelopes[0], saved);
}

TEST(EnvelopeLevels, LegacyBytesConvertToTheFirstIndexReachingTheirGain)
{
    struct Case {
        int32_t Type;
        uint8_t Legacy;
        uint8_t Expected;
    };
    const Case kCases[] = {
        { 1, 0, 0 },
        { 1, 128, 207 },
        { 1, 255, 236 },
        { 1, 64, 172 },
        { 0, 0, 0 },
        { 0, 128, 128 },
        { 0, 255, 192 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.Type << " byte " << int { c.Legacy });
        FadeTable table {};
        ASSERT_TRUE(BuildFadeTable(c.Type, table));
        EXPECT_EQ(ConvertLegacyLevel(table, c.Legacy), c.Expected);
    }
}

TEST(EnvelopeLevels, LevelTextShowsTwoIntegerDigitsAndOneDecimal)
{
    FadeTable general {};
    ASSERT_TRUE(BuildFadeTable(1, general));
    FadeTable centre {};
    ASSERT_TRUE(BuildFadeTable(0, centre));
    struct Case {
        const FadeTable* Table;
        int32_t Index;
        const char* Text;
    };
    const Case kCases[] = {
        { &general, 0,
            "-\xE2\x88\x9E"
            "db" },
        { &general, -3,
            "-\xE2\x88\x9E"
            "db" },
        { &general, 1, "-110.0db" },
        { &general, 2, "-96.0db" },
        { &general, 23, "-40.0db" },
        { &general, 187, "-03.6db" },
        { &general, 206, "-00.2db" },
        { &general, 207, "00.0db" },
        { &general, 208, "00.2db" },
        { &general, 222, "03.1db" },
        { &general, 255, "10.0db" },
        { &general, 300, "10.0db" },
        { &centre, 1, "-60.0db" },
        { &centre, 128, "00.0db" },
        { &centre, 255, "12.0db" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Index);
        EXPECT_EQ(LevelText(*c.Table, c.Index), c.Text);
    }
}

} // namespace tarvok
