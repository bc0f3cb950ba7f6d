#include "edit/fade_automation.h"

#include "core/envelope.h"
#include "core/project.h"
#include "edit/fade_edit.h"
#include "support/block_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvok {

namespace {

// Three tracks (0 and 2 selected) with 200 frames of unity and hooks that count.
struct AutoFixture {
    Project P;
    AutomationState S;
    AutomationHooks Hooks;
    std::vector<int32_t> Saved;
    int Snapshots = 0;

    AutoFixture()
    {
        test::InitTestProject(P, 3);
        P.EnvelopeLength = 200;
        for (TrackEnvelope& e : P.Envelopes)
            e.assign(400, static_cast<uint8_t>(P.UnityLevel));
        P.Tracks[2].Selected = 1;
        Hooks.SaveEnvelope = [this](int32_t t) {
            Saved.push_back(t);
            return true;
        };
        Hooks.TakeSnapshot = [this] {
            ++Snapshots;
            return true;
        };
        S.Mode = true;
        S.Armed = true;
    }

    int32_t E(int32_t pTrack, int32_t pChannel, int32_t pFrame) const
    {
        return EnvelopeLevel(P, pTrack, pChannel, pFrame);
    }
    std::vector<int32_t> Tick(int64_t pFrame, int32_t pChannels = kFadeBoth)
    {
        return FctAutomation(P, S, pFrame * 2048, pChannels, Hooks);
    }
};

} // namespace

TEST(Automation, StartTakesTheLevelsAtTheHead)
{
    AutoFixture f;
    SetEnvelopeLevel(f.P, 0, 0, 10, 40);
    SetEnvelopeLevel(f.P, 0, 1, 10, 50);
    f.P.Tracks[1].AutoWritten = 1;
    f.P.Head = 10 * 2048 + 1000; // nearest frame 10
    StartAutomation(f.P, f.S);
    EXPECT_EQ(f.P.Tracks[0].AutoLevelL, 40);
    EXPECT_EQ(f.P.Tracks[0].AutoLevelR, 50);
    EXPECT_EQ(f.S.LastLevelL[0], 40);
    EXPECT_EQ(f.S.LastLevelR[0], 50);
    EXPECT_EQ(f.P.Tracks[1].AutoWritten, 0);
    EXPECT_EQ(f.S.LastFrame, -1);
    // At the envelope's last frame or beyond: unity.
    f.P.Head = 199 * 2048;
    SetEnvelopeLevel(f.P, 0, 0, 199, 3);
    StartAutomation(f.P, f.S);
    EXPECT_EQ(f.P.Tracks[0].AutoLevelL, f.P.UnityLevel);
}

TEST(Automation, WritesALineAndTheLookAheadOnSelectedTracks)
{
    AutoFixture f;
    f.P.Head = 0;
    StartAutomation(f.P, f.S);
    EXPECT_TRUE(f.Tick(20).empty()) << "the first tick only notes where it is";
    EXPECT_EQ(f.S.LastFrame, 20);
    EXPECT_EQ(f.Snapshots, 0);
    SetAutomationLevel(f.P, 107);
    EXPECT_EQ(f.P.Tracks[1].AutoLevelL, f.P.UnityLevel) << "track 1 is not selected";
    EXPECT_EQ(f.Tick(30), (std::vector<int32_t> { 0, 2 }));
    EXPECT_EQ(f.Snapshots, 1);
    for (int32_t t : { 0, 2 })
        for (int32_t c = 0; c < 2; ++c) {
            EXPECT_EQ(f.E(t, c, 20), f.P.UnityLevel);
            EXPECT_EQ(f.E(t, c, 21), 197); // 207 - 100 / 10
            EXPECT_EQ(f.E(t, c, 25), 157);
            EXPECT_EQ(f.E(t, c, 30), 107);
            EXPECT_EQ(f.E(t, c, 42), 107); // look-ahead to b + 12
            EXPECT_EQ(f.E(t, c, 43), f.P.UnityLevel);
        }
    EXPECT_EQ(f.E(1, 0, 25), f.P.UnityLevel);
    EXPECT_EQ(f.P.Tracks[0].AutoWritten, 1);
    EXPECT_EQ(f.P.Tracks[1].AutoWritten, 0);
    // The level holds: the next tick continues flat from 107.
    f.Tick(35);
    EXPECT_EQ(f.E(0, 0, 35), 107);
    EXPECT_EQ(f.Snapshots, 1) << "one snapshot per pass";
}

TEST(Automation, HeadMovingBackStopsWritingUntilItAdvances)
{
    AutoFixture f;
    StartAutomation(f.P, f.S);
    f.Tick(50);
    SetAutomationLevel(f.P, 60);
    f.Tick(60);
    ASSERT_TRUE(f.S.Writing);
    // Back to frame 10: nothing written, the pass ends.
    SetAutomationLevel(f.P, 0);
    EXPECT_TRUE(f.Tick(10).empty());
    EXPECT_FALSE(f.S.Writing);
    EXPECT_EQ(f.E(0, 0, 10), f.P.UnityLevel);
    EXPECT_EQ(f.E(0, 0, 11), f.P.UnityLevel);
    // The same frame again writes nothing either.
    EXPECT_TRUE(f.Tick(10).empty());
    // The next advance begins a new pass: the first one's tracks are saved, a snapshot taken.
    f.Saved.clear();
    EXPECT_EQ(f.Tick(14), (std::vector<int32_t> { 0, 2 }));
    EXPECT_EQ(f.Saved, (std::vector<int32_t> { 0, 2 }));
    EXPECT_EQ(f.Snapshots, 2);
    EXPECT_EQ(f.E(0, 0, 14), 0);
}

TEST(Automation, NothingIsWrittenUnarmedOrWithoutTracksOrBeyondTheEnvelope)
{
    AutoFixture f;
    StartAutomation(f.P, f.S);
    f.S.Armed = false;
    SetAutomationLevel(f.P, 5);
    f.Tick(10);
    EXPECT_TRUE(f.Tick(20).empty());
    EXPECT_EQ(f.S.LastFrame, 20);
    f.S.Armed = true;
    for (Track& t : f.P.Tracks)
        t.Selected = 0;
    EXPECT_TRUE(f.Tick(30).empty());
    f.P.Tracks[0].Selected = 1;
    EXPECT_TRUE(f.Tick(199).empty()) << "b must lie below the last frame";
    EXPECT_EQ(f.E(0, 0, 150), f.P.UnityLevel);
    // Nothing runs: the pass is reset.
    EXPECT_TRUE(FctAutomation(f.P, f.S, -1, kFadeBoth, f.Hooks).empty());
    EXPECT_EQ(f.S.LastFrame, -1);
    EXPECT_TRUE(f.Tick(100).empty());
    EXPECT_EQ(f.Snapshots, 0);
}

TEST(Automation, OnlyTheChannelsSwitchedOnAreWritten)
{
    AutoFixture f;
    StartAutomation(f.P, f.S);
    f.Tick(10, kFadeRight);
    SetAutomationLevel(f.P, 30);
    f.Tick(20, kFadeRight);
    EXPECT_EQ(f.E(0, 0, 20), f.P.UnityLevel);
    EXPECT_EQ(f.E(0, 1, 20), 30);
}

TEST(Automation, EndSavesTheWrittenTracksOnce)
{
    AutoFixture f;
    StartAutomation(f.P, f.S);
    f.Tick(10);
    f.Tick(12);
    EXPECT_TRUE(EndAutomation(f.P, f.Hooks));
    EXPECT_EQ(f.Saved, (std::vector<int32_t> { 0, 2 }));
    EXPECT_TRUE(EndAutomation(f.P, f.Hooks));
    EXPECT_EQ(f.Saved.size(), 2u);
}

} // namespace tarvok
