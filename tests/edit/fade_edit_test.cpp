#include "edit/fade_edit.h"

#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/project.h"
#include "support/block_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvok {

namespace {

// A project of four tracks (track 0 selected) whose envelopes hold pFrames frames of unity.
struct FadeFixture {
    test::TempDir Dir;
    Project P;
    DataFolder Folder { Dir.Path() };

    explicit FadeFixture(int32_t pFrames = 100)
    {
        test::InitTestProject(P, 4);
        ResizeEnvelopes(P, 0, true);
        P.EnvelopeLength = pFrames;
        for (TrackEnvelope& e : P.Envelopes)
            e.assign(static_cast<size_t>(pFrames) * 2, static_cast<uint8_t>(P.UnityLevel));
    }

    int32_t E(int32_t pTrack, int32_t pChannel, int32_t pFrame) const
    {
        return EnvelopeLevel(P, pTrack, pChannel, pFrame);
    }
    void Fill(int32_t pTrack, int32_t pChannel, int32_t pLevel)
    {
        for (int32_t k = 0; k < P.EnvelopeLength; ++k)
            SetEnvelopeLevel(P, pTrack, pChannel, k, pLevel);
    }
    void Marks(int32_t pIn, int32_t pOut)
    {
        P.MarkIn = pIn;
        P.MarkOut = pOut;
    }
    std::vector<int32_t> Apply(FadeShape pShape, int32_t pChannels = kFadeBoth)
    {
        FadeFrameRange range;
        if (!FadeRangeOf(P, range))
            return {};
        bool saved = false;
        std::vector<int32_t> changed = ApplyFadeShape(P, pShape, range, pChannels, Folder, saved);
        EXPECT_TRUE(saved);
        return changed;
    }
    void Point(int32_t pTrack, int32_t pFrame, int32_t pChannels = kFadeBoth)
    {
        ASSERT_TRUE(AddFadePointAt(P, pTrack, pFrame, pChannels));
    }
};

} // namespace

TEST(FadeChannels, TurningOffTheOnlyChannelTurnsTheOtherOn)
{
    struct Case {
        int32_t Before, Index, After;
    };
    const Case cases[] = {
        { kFadeBoth, 0, kFadeRight },
        { kFadeBoth, 1, kFadeLeft },
        { kFadeLeft, 0, kFadeRight }, // the only one on
        { kFadeRight, 1, kFadeLeft },
        { kFadeLeft, 1, kFadeBoth },
        { kFadeRight, 0, kFadeBoth },
        { kFadeBoth, 2, kFadeBoth }, // no such switch
        { kFadeLeft, -1, kFadeLeft },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Before) + " " + std::to_string(c.Index));
        EXPECT_EQ(ToggleFadeChannel(c.Before, c.Index), c.After);
    }
}

TEST(FadeRange, FramesOfTheMarksHeldInsideTheEnvelope)
{
    struct Case {
        int32_t In, Out;
        bool Ok;
        int32_t First, Last;
    };
    const Case cases[] = {
        { 2048 * 10, 2048 * 20, true, 10, 21 },
        { 2048 * 10 + 5, 2048 * 10 + 100, true, 10, 11 }, // inside one frame
        { -500, 2048 * 3, true, 0, 4 },
        { 2048 * 98, 2048 * 500, true, 98, 99 }, // last capped at N - 1
        { 2048 * 99, 2048 * 99 + 10, true, 99, 99 }, // one frame left
        { 2048 * 100, 2048 * 101, false, 0, 0 }, // beyond the envelope
        { 2048 * 5, -1, true, 5, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.In) + ".." + std::to_string(c.Out));
        FadeFixture f;
        f.Marks(c.In, c.Out);
        FadeFrameRange range;
        ASSERT_EQ(FadeRangeOf(f.P, range), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(range.First, c.First);
            EXPECT_EQ(range.Last, c.Last);
        }
    }
}

TEST(FadeShapes, EndValuesOnAFlatUnityEnvelope)
{
    FadeFixture f;
    const int32_t u = f.P.UnityLevel;
    f.Marks(2048 * 10, 2048 * 19); // frames 10..20, d = 10
    f.Apply(FadeShape::In);
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(f.E(0, c, 10), 0);
        EXPECT_EQ(f.E(0, c, 20), u);
        EXPECT_EQ(f.E(0, c, 9), u);
        EXPECT_EQ(f.E(0, c, 21), u);
        // (j - f) x 207 / 10 rounded half to even: 5 -> 103.5 -> 104.
        EXPECT_EQ(f.E(0, c, 15), 104);
        for (int32_t k = 11; k <= 20; ++k)
            EXPECT_GE(f.E(0, c, k), f.E(0, c, k - 1));
    }
    FadeFixture g;
    g.Marks(2048 * 10, 2048 * 19);
    g.Apply(FadeShape::Out);
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(g.E(0, c, 10), u);
        EXPECT_EQ(g.E(0, c, 20), 0);
        EXPECT_EQ(g.E(0, c, 15), 104); // 207 - 103.5
    }
    EXPECT_EQ(g.E(1, 0, 15), u) << "an unselected track stays";
}

TEST(FadeShapes, LinkDrawsALineBetweenTheEndValues)
{
    FadeFixture f;
    f.Marks(2048 * 10, 2048 * 13); // frames 10..14
    SetEnvelopeLevel(f.P, 0, 0, 10, 40);
    SetEnvelopeLevel(f.P, 0, 0, 14, 240);
    SetEnvelopeLevel(f.P, 0, 0, 12, 3);
    f.Apply(FadeShape::Link, kFadeLeft);
    const int32_t expected[] = { 40, 90, 140, 190, 240 };
    for (int32_t k = 0; k < 5; ++k)
        EXPECT_EQ(f.E(0, 0, 10 + k), expected[k]) << k;
    EXPECT_EQ(f.E(0, 1, 12), f.P.UnityLevel);
}

TEST(FadeShapes, OneFrameRangeOnlyClearsAndMutes)
{
    // MarkIn in the envelope's last frame: g is held to N - 1 = f.
    for (FadeShape shape : { FadeShape::In, FadeShape::Out, FadeShape::Link }) {
        FadeFixture f(50);
        f.Marks(2048 * 49 + 3, 2048 * 49 + 900);
        SetEnvelopeLevel(f.P, 0, 0, 49, 100);
        std::string before = f.P.Tracks[0].EnvelopeFile;
        EXPECT_TRUE(f.Apply(shape).empty());
        EXPECT_EQ(f.E(0, 0, 49), 100);
        EXPECT_EQ(f.P.Tracks[0].EnvelopeFile, before) << "nothing saved";
    }
    FadeFixture m(50);
    m.Marks(2048 * 49 + 3, 2048 * 49 + 900);
    EXPECT_EQ(m.Apply(FadeShape::Mute), std::vector<int32_t> { 0 });
    EXPECT_EQ(m.E(0, 0, 49), 0);
    EXPECT_EQ(m.E(0, 1, 49), 0);
    EXPECT_EQ(m.E(0, 0, 48), m.P.UnityLevel);
    m.Apply(FadeShape::Clear);
    EXPECT_EQ(m.E(0, 0, 49), m.P.UnityLevel);
}

TEST(FadeShapes, RightChannelOnlyLeavesTheLeftAlone)
{
    for (FadeShape shape :
        { FadeShape::In, FadeShape::Out, FadeShape::Link, FadeShape::Clear, FadeShape::Mute }) {
        SCOPED_TRACE(static_cast<int>(shape));
        FadeFixture f;
        f.P.Tracks[2].Selected = 1;
        f.Fill(0, 0, 150);
        f.Fill(2, 0, 30);
        f.Marks(2048 * 3, 2048 * 30);
        EXPECT_EQ(f.Apply(shape, kFadeRight), (std::vector<int32_t> { 0, 2 }));
        for (int32_t k = 0; k < f.P.EnvelopeLength; ++k) {
            ASSERT_EQ(f.E(0, 0, k), 150);
            ASSERT_EQ(f.E(2, 0, k), 30);
        }
        EXPECT_EQ(f.E(0, 1, 3),
            shape == FadeShape::Out || shape == FadeShape::Clear ? f.P.UnityLevel
                : shape == FadeShape::Link                       ? f.P.UnityLevel
                                                                 : 0);
    }
}

TEST(FadeShapes, SavedEnvelopeFileHoldsTheNewValues)
{
    FadeFixture f;
    f.Marks(0, 2048 * 4);
    f.Apply(FadeShape::Mute);
    const std::string file = f.P.Tracks[0].EnvelopeFile;
    ASSERT_FALSE(file.empty());
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadEnvelopeFile(file, f.P.EnvelopeLength, 7, read));
    EXPECT_EQ(read, f.P.Envelopes[0]);
    EXPECT_EQ(read[0], 0);
    EXPECT_EQ(read[12], f.P.UnityLevel);
    // The next change takes a fresh name and leaves the old file for the undo snapshots.
    f.Apply(FadeShape::Clear);
    EXPECT_NE(f.P.Tracks[0].EnvelopeFile, file);
    EXPECT_TRUE(FileExists(file));
}

TEST(FadePoints, NearestFrameAndFit)
{
    FadeFixture f(10);
    EXPECT_EQ(NearestEnvelopeFrame(f.P, 3 * 2048 + 1023), 3);
    EXPECT_EQ(NearestEnvelopeFrame(f.P, 3 * 2048 + 1024), 4); // 3.5 -> 4
    EXPECT_EQ(NearestEnvelopeFrame(f.P, 2 * 2048 + 1024), 2); // 2.5 -> 2
    // Inside the envelope but nearer to the frame after its end: held to the last frame.
    EXPECT_TRUE(FadePointFits(f.P, 9 * 2048 + 2000, kFadeBoth));
    EXPECT_EQ(NearestEnvelopeFrame(f.P, 9 * 2048 + 2000), 9);
    EXPECT_FALSE(FadePointFits(f.P, 10 * 2048, kFadeBoth));
    EXPECT_FALSE(FadePointFits(f.P, 100, 0));
    EXPECT_FALSE(AddFadePointAt(f.P, 0, 10, kFadeBoth));
    EXPECT_FALSE(AddFadePointAt(f.P, 4, 1, kFadeBoth));
    EXPECT_TRUE(AddFadePointAt(f.P, 3, 9, kFadeRight));
    EXPECT_EQ(f.P.FadePoints.back().Channels, kFadeRight);
}

TEST(ClearFade, PointsOnlyLeavesTheEnvelope)
{
    FadeFixture f;
    f.P.Tracks[1].Selected = 1;
    f.Fill(0, 0, 20);
    f.Point(0, 4); // before the range
    f.Point(0, 5); // first frame of the range
    f.Point(1, 8);
    f.Point(2, 8); // track not selected
    f.Point(0, 11); // last frame of the range
    f.Point(0, 12); // after it
    f.Marks(2048 * 5 + 7, 2048 * 10 + 3); // frames 5..11
    const std::string before = f.P.Tracks[0].EnvelopeFile;
    ASSERT_TRUE(ClearFade(f.P, true, f.Folder));
    ASSERT_EQ(f.P.FadePointCount(), 3);
    EXPECT_EQ(f.P.FadePoints[0].EnvFrame, 4);
    EXPECT_EQ(f.P.FadePoints[1].TrackNo, 2);
    EXPECT_EQ(f.P.FadePoints[2].EnvFrame, 12);
    EXPECT_EQ(f.E(0, 0, 7), 20);
    EXPECT_EQ(f.P.Tracks[0].EnvelopeFile, before);

    ASSERT_TRUE(ClearFade(f.P, false, f.Folder));
    EXPECT_EQ(f.E(0, 0, 4), 20);
    for (int32_t k = 5; k <= 11; ++k)
        EXPECT_EQ(f.E(0, 0, k), f.P.UnityLevel);
    EXPECT_EQ(f.E(0, 0, 12), 20);
    EXPECT_NE(f.P.Tracks[0].EnvelopeFile, before);
}

TEST(DragFadePoint, SegmentsToTheNeighboursBecomeLines)
{
    FadeFixture f;
    f.Fill(0, 0, 100);
    f.Fill(0, 1, 100);
    f.Point(0, 10, kFadeLeft);
    f.Point(0, 20, kFadeLeft);
    f.Point(0, 30, kFadeBoth);
    ASSERT_TRUE(DragFadePoint(f.P, 1, 200, false, f.Folder));
    for (int32_t k = 10; k <= 30; ++k) {
        const int32_t expected = k <= 20 ? 100 + (k - 10) * 10 : 200 - (k - 20) * 10;
        EXPECT_EQ(f.E(0, 0, k), expected) << k;
    }
    EXPECT_EQ(f.E(0, 0, 9), 100);
    EXPECT_EQ(f.E(0, 0, 31), 100);
    // The right channel is not in the point's mask.
    EXPECT_EQ(f.E(0, 1, 20), 100);

    // The point at 30 is the only right-channel point: its neighbours there are frame 0
    // and the last frame.
    ASSERT_TRUE(DragFadePoint(f.P, 2, 0, false, f.Folder));
    EXPECT_EQ(f.E(0, 1, 0), 100);
    EXPECT_EQ(f.E(0, 1, 15), 50);
    EXPECT_EQ(f.E(0, 1, 30), 0);
    EXPECT_EQ(f.E(0, 1, 99), 100);
    EXPECT_EQ(f.E(0, 0, 30), 0);
    EXPECT_EQ(f.E(0, 0, 25), 100) << "left: 20 (200) .. 30 (0)";
}

TEST(DragFadePoint, NeighbourOneFrameAwayLeavesThatSegment)
{
    FadeFixture f;
    f.Fill(0, 0, 100);
    f.Point(0, 19, kFadeLeft);
    f.Point(0, 20, kFadeLeft);
    f.Point(0, 40, kFadeLeft);
    ASSERT_TRUE(DragFadePoint(f.P, 1, 180, false, f.Folder));
    EXPECT_EQ(f.E(0, 0, 19), 100) << "the previous point one frame away keeps its level";
    EXPECT_EQ(f.E(0, 0, 20), 180);
    EXPECT_EQ(f.E(0, 0, 30), 140);
    EXPECT_EQ(f.E(0, 0, 40), 100);

    // Both neighbours adjacent: the point itself still takes the level.
    FadeFixture g;
    g.Fill(0, 0, 100);
    g.Point(0, 19, kFadeLeft);
    g.Point(0, 20, kFadeLeft);
    g.Point(0, 21, kFadeLeft);
    ASSERT_TRUE(DragFadePoint(g.P, 1, 7, false, g.Folder));
    EXPECT_EQ(g.E(0, 0, 19), 100);
    EXPECT_EQ(g.E(0, 0, 20), 7);
    EXPECT_EQ(g.E(0, 0, 21), 100);
}

TEST(DragFadePoint, ShiftMovesThePreviousPointToo)
{
    FadeFixture f;
    f.Fill(0, 0, 100);
    f.Point(0, 10, kFadeLeft);
    f.Point(0, 20, kFadeLeft);
    f.Point(0, 30, kFadeLeft);
    f.Point(2, 25, kFadeLeft); // another track does not count
    ASSERT_TRUE(DragFadePoint(f.P, 2, 60, true, f.Folder));
    EXPECT_EQ(f.E(0, 0, 10), 100);
    EXPECT_EQ(f.E(0, 0, 15), 80);
    EXPECT_EQ(f.E(0, 0, 20), 60) << "the previous point moved with the dragged one";
    EXPECT_EQ(f.E(0, 0, 25), 60);
    EXPECT_EQ(f.E(0, 0, 30), 60);
    EXPECT_EQ(f.E(0, 0, 65), 80);
    EXPECT_EQ(f.E(0, 0, 99), 100);
    EXPECT_FALSE(DragFadePoint(f.P, 9, 60, true, f.Folder));
}

TEST(DragFadePoint, LevelIsHeldAndSaved)
{
    FadeFixture f;
    f.Point(1, 50);
    const std::string before = f.P.Tracks[1].EnvelopeFile;
    ASSERT_TRUE(DragFadePoint(f.P, 0, 999, false, f.Folder));
    EXPECT_EQ(f.E(1, 0, 50), 255);
    EXPECT_EQ(f.E(1, 1, 50), 255);
    EXPECT_NE(f.P.Tracks[1].EnvelopeFile, before);
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadEnvelopeFile(f.P.Tracks[1].EnvelopeFile, f.P.EnvelopeLength, 7, read));
    EXPECT_EQ(read, f.P.Envelopes[1]);
}

} // namespace tarvok
