#include "app/transport/transport.h"

#include "app/commands/command_dispatch.h"
#include "app/windows/main_view.h"
#include "engine/engine_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::EngineFixture;

namespace {

/// One track of Signal(1) at unity levels with a flat envelope, so the voice output is
/// the track's own samples.
void BuildPlainTrack(EngineFixture& f)
{
    const int32_t w = f.AddWave(1, 300000);
    f.AddBlock(0, w, 0, 1, 300000);
    f.P().Tracks[0].Selected = 1;
}

} // namespace

TEST(Transport, StopTwiceWhenStoppedGoesToThePlayStartThenToZero)
{
    EngineFixture f;
    f.P().Head = 3000;
    f.Transport->Play(); // a run from 3000
    f.Transport->Stop(); // ends it; the head stays where it is
    f.P().Head = 5000;
    f.Transport->RunCommand(kCmdStop);
    EXPECT_EQ(f.P().Head, 3000);
    f.Transport->RunCommand(kCmdStop);
    EXPECT_EQ(f.P().Head, 0);
}

TEST(Transport, PlayCommandAfterStartUpActsAsThePlayButton)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.P().Head = 777;
    EXPECT_EQ(f.Transport->LastPlayMode(), PlayMode::All);
    ASSERT_TRUE(f.Transport->RunCommand(kCmdPlay));
    EXPECT_EQ(f.Engine->Mode(), PlayMode::All);
    EXPECT_EQ(f.Engine->PlayStart(), 777);
    EXPECT_EQ(f.Ui.LastStatus(), "再生中");
    // After a range play, PLAY repeats it.
    f.P().MarkIn = 1000;
    f.P().MarkOut = 5000;
    ASSERT_TRUE(f.Transport->RunCommand(kCmdPlayFromin));
    f.P().Head = 90000;
    ASSERT_TRUE(f.Transport->RunCommand(kCmdPlay));
    EXPECT_EQ(f.Engine->Mode(), PlayMode::FromIn);
    EXPECT_EQ(f.Engine->PlayStart(), 1000);
}

TEST(Transport, PauseWhileRecordingDoesNothingAndRecReportsItIsUnavailable)
{
    EngineFixture f;
    BuildPlainTrack(f);
    ASSERT_TRUE(f.Transport->Play());
    f.Logic.Recording = true;
    f.Transport->RunCommand(kCmdPause);
    EXPECT_FALSE(f.Engine->IsPaused());
    f.Logic.Recording = false;
    EXPECT_FALSE(f.Transport->RunCommand(kCmdRec));
    EXPECT_EQ(f.Ui.LastStatus(), kRecordingUnavailable);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::All); // the run goes on
}

TEST(Transport, EmptyRangesStartNothing)
{
    EngineFixture f;
    BuildPlainTrack(f);
    const std::pair<int32_t, int32_t> kMarks[] = { { 0, 0 }, { 0, 1 }, { 500, 500 } };
    for (auto [in, out] : kMarks) {
        SCOPED_TRACE(out);
        f.P().MarkIn = in;
        f.P().MarkOut = out;
        EXPECT_FALSE(f.Transport->PlayRange(PlayMode::Selection));
        EXPECT_FALSE(f.Transport->PlayRange(PlayMode::Loop));
        EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
        EXPECT_EQ(f.Device.OpenCount(), 0);
    }
}

TEST(Transport, SilentKeyScrubStepGrowsTowards194481AndRestartsAfterAPause)
{
    EngineFixture f;
    BuildPlainTrack(f);
    ASSERT_FALSE(f.Transport->ScrubWithSound());
    f.Clock.NowMs = 10000;
    f.Engine->NoteScrubCommand(10000 - 50);
    int32_t previous = 0;
    int64_t head = 0;
    for (int i = 0; i < 200; ++i) {
        f.Transport->RunCommand(kCmdScrubPlus);
        const int32_t step = f.Transport->ScrubStep();
        ASSERT_GE(step, previous);
        ASSERT_LE(step, 194481);
        head += step;
        previous = step;
        f.Clock.NowMs += 50;
    }
    EXPECT_EQ(f.Transport->ScrubStep(), 194479); // rounding holds it two frames short
    EXPECT_EQ(f.P().Head, head);
    EXPECT_EQ(f.Ui.LastStatus().rfind("ヘッド位置  ", 0), 0u);
    f.Clock.NowMs += 950; // more than 500 ms later: e is capped at 800
    f.Transport->RunCommand(kCmdScrubMinus);
    EXPECT_EQ(f.Transport->ScrubStep(), 152);
    EXPECT_EQ(f.P().Head, head - 152);
    f.Clock.NowMs += 50;
    f.P().Head = 10;
    f.Transport->RunCommand(kCmdScrubMinusw);
    EXPECT_EQ(f.P().Head, 0);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
}

TEST(Transport, ScaleScrubSmoothsTheSpeedAndKeepsItWithinOne)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.P().Head = 50000;
    // The drag keeps where it last counted; the transport is told how far it moved.
    int32_t anchor = 1000;
    auto dragTo = [&](int32_t pX) {
        if (f.Transport->ScaleScrubMove(pX - anchor))
            anchor = pX;
    };
    ASSERT_TRUE(f.Transport->ScaleScrubDown());
    ASSERT_EQ(f.Engine->Mode(), PlayMode::ScaleScrub);
    EXPECT_EQ(f.Engine->RingSize(), 11);
    EXPECT_EQ(f.Engine->PlaySpeed(), 0.0f);
    dragTo(1030); // 30 twips from rest
    EXPECT_FLOAT_EQ(f.Engine->PlaySpeed(), 0.5f);
    // Two 50 ms buffers filled at half speed: 1102.5 rounds to 1102 each time.
    EXPECT_EQ(f.Engine->NextFill(), 50000 + 1102 * 2);
    const int32_t kMoves[] = { 1090, 1500, 400, -3000, 5000, 5001, 4000 };
    for (int32_t x : kMoves) {
        SCOPED_TRACE(x);
        f.Device.AdvanceFrames(2205);
        dragTo(x);
        EXPECT_LE(std::fabs(f.Engine->PlaySpeed()), 1.0f);
    }
    f.Transport->ScaleScrubUp();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_EQ(f.Engine->PlaySpeed(), 1.0f);
    EXPECT_EQ(f.Device.OpenCount(), 0);
}

TEST(Transport, JogLevelsSetTheShuttleSpeed)
{
    const std::pair<int32_t, int32_t> kLevels[] = { { 1, 20 }, { 2, 40 }, { 3, 80 }, { 4, 100 },
        { 5, 150 }, { 6, 200 }, { 7, 300 }, { 12, 300 } };
    for (auto [level, percent] : kLevels) {
        SCOPED_TRACE(level);
        EXPECT_EQ(JogPercent(level), percent);
    }
    EngineFixture f;
    BuildPlainTrack(f);
    f.P().Head = 100000;
    f.Transport->RunCommand(kCmdJogPlus, 7);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Shuttle);
    EXPECT_FLOAT_EQ(f.Engine->PlaySpeed(), 3.0f);
    EXPECT_EQ(f.Transport->CounterLines()[0], "JOG × +3.0");
    f.Transport->RunCommand(kCmdJogMinus, 2);
    EXPECT_FLOAT_EQ(f.Engine->PlaySpeed(), -0.4f);
    EXPECT_EQ(f.Transport->CounterLines()[0], "JOG × -0.4");
    f.Transport->RunCommand(kCmdJogPlus, 0);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_EQ(f.Engine->PlaySpeed(), 1.0f);
}

TEST(Transport, ShuttleAtNormalSpeedPlaysTheTrackForwardsAndBackwards)
{
    for (int32_t direction : { 1, -1 }) {
        SCOPED_TRACE(direction);
        EngineFixture f;
        BuildPlainTrack(f);
        f.P().Head = 100000;
        f.Transport->ShuttlePress(100 * direction);
        ASSERT_EQ(f.Engine->Mode(), PlayMode::Shuttle);
        for (int i = 0; i < 20; ++i)
            f.Tick(2205);
        const std::vector<int16_t>& played = f.Device.Log(0).Samples;
        ASSERT_GE(played.size(), 40000u * 2);
        for (int64_t j = 0; j < 40000; j += 101) {
            const int64_t frame = direction > 0 ? 100000 + j : 100000 - 1 - j;
            ASSERT_EQ(played[j * 2], test::Signal(1, frame, 0)) << j;
            ASSERT_EQ(played[j * 2 + 1], test::Signal(1, frame, 1)) << j;
        }
        EXPECT_NE(f.P().Head, 100000);
        f.Transport->ShuttleRelease();
        EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    }
}

TEST(Transport, KeyScrubWithSoundStartsABurstThatEndsAfterHalfASecond)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.Transport->RunCommand(kCmdScrubOnoff);
    EXPECT_EQ(f.Ui.LastStatus(), "スクラブON");
    f.Clock.NowMs = 20000;
    f.Engine->NoteScrubCommand(20000 - 50);
    f.Transport->RunCommand(kCmdScrubPlus);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::ScrubBurst);
    EXPECT_FLOAT_EQ(f.Engine->PlaySpeed(), 0.05f);
    f.Clock.NowMs += 50;
    f.Transport->RunCommand(kCmdScrubMinusw);
    EXPECT_FLOAT_EQ(f.Engine->PlaySpeed(), -0.05f * 0.95f - 0.1f);
    f.Clock.NowMs += 499;
    f.Engine->TimerProg();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::ScrubBurst);
    f.Clock.NowMs += 1;
    f.Engine->TimerProg();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
}

TEST(Transport, CounterShowsStateIndicatorAndHeadTime)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.P().Head = 44100 * 65 + 11025;
    auto lines = f.Transport->CounterLines();
    EXPECT_EQ(lines[0], "STOP");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "001'05.250");
    EXPECT_EQ(f.Transport->CounterColour(), 0);
    ASSERT_TRUE(f.Transport->Play());
    lines = f.Transport->CounterLines();
    EXPECT_EQ(lines[0], "PLAY");
    EXPECT_EQ(lines[1], "     >>"); // 65 s: 65 mod 6 = 5 spaces
    EXPECT_EQ(f.Transport->CounterColour(), 1);
    f.Transport->RunCommand(kCmdPause);
    EXPECT_EQ(f.Transport->CounterLines()[0], "PAUSE");
}

TEST(Transport, TheViewFollowsTheHead)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.Logic.TrackAreaWidthPx = 100; // 100 x 32 x 64 = 204800 frames wide
    f.P().Head = 200000;
    ASSERT_TRUE(f.Transport->Play());
    EXPECT_EQ(f.P().ViewStart, 0);
    for (int i = 0; i < 3; ++i)
        f.Tick(2205);
    EXPECT_EQ(f.P().Head, 200000 + 3 * 2205);
    EXPECT_EQ(f.P().ViewStart, 200000 + 3 * 2205 - 20480); // head at 10 %
    ASSERT_TRUE(f.Transport->RunCommand(kCmdScrubOnoff));
    f.Tick(2205);
    EXPECT_EQ(f.P().ViewStart, f.P().Head - 50 * 32 * 64);
}

TEST(Transport, HeadStripSetsTheHeadAndRestartsARun)
{
    EngineFixture f;
    BuildPlainTrack(f);
    f.P().ViewStart = 4096;
    f.Transport->SetHeadFromX(-10);
    EXPECT_EQ(f.P().Head, 0);
    EXPECT_EQ(MainView(f.Logic).HeadX(), -9);
    f.Transport->SetHeadFromX(10);
    EXPECT_EQ(f.P().Head, 4096 + 10 * 64 * 32);
    EXPECT_EQ(f.Ui.LastStatus().rfind("ヘッド位置  ", 0), 0u);
    f.Transport->HeadStripDoubleClick();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::FromClick);
    f.Transport->HeadStripUp(20);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::FromClick);
    EXPECT_EQ(f.Engine->PlayStart(), 4096 + 20 * 64 * 32);
    EXPECT_TRUE(f.Engine->IsDeviceOpen());
    EXPECT_TRUE(f.Transport->HeadStripRightUp());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
}

TEST(Transport, StateNamesWhatTheTransportIsDoing)
{
    EngineFixture f;
    BuildPlainTrack(f);
    EXPECT_EQ(f.Transport->State(), Motion::Stopped);
    ASSERT_TRUE(f.Transport->Play());
    EXPECT_EQ(f.Transport->State(), Motion::Rolling);
    f.Transport->Pause();
    EXPECT_EQ(f.Transport->State(), Motion::Paused);
    EXPECT_TRUE(f.Transport->IsPaused());
    f.Transport->Stop();
    EXPECT_EQ(f.Transport->State(), Motion::Stopped);
    EXPECT_FALSE(f.Transport->IsRunning());
    f.Transport->ShuttlePress(100);
    EXPECT_EQ(f.Transport->State(), Motion::Scrubbing);
    EXPECT_EQ(f.Transport->ShuttleValue(), 100);
    f.Transport->ShuttleRelease();
    EXPECT_EQ(f.Transport->State(), Motion::Stopped);
    EXPECT_EQ(f.Transport->ShuttleValue(), 0);
    f.Logic.Recording = true;
    EXPECT_EQ(f.Transport->State(), Motion::Recording);
}

TEST(Transport, MarkPreviewPlaysTheTrackAtTheMark)
{
    EngineFixture f;
    BuildPlainTrack(f);
    ASSERT_TRUE(f.Transport->MarkPreviewBegin());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::MarkPreview);
    EXPECT_EQ(f.Engine->RingSize(), 1);
    EXPECT_FALSE(f.Transport->MarkPreviewMove(1, 5000)); // one pixel: nothing
    EXPECT_TRUE(f.Transport->MarkPreviewMove(10, 60000));
    EXPECT_EQ(f.Ui.LastStatus().rfind("トラック1をサーチ  ", 0), 0u);
    f.Device.AdvanceFrames(1000);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), 2000u);
    EXPECT_EQ(played[0], test::Signal(1, 60000, 0));
    EXPECT_EQ(played[1999], test::Signal(1, 60999, 1));
    f.Transport->MarkPreviewEnd();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_EQ(f.Device.OpenCount(), 0);
    EXPECT_EQ(f.Ui.LastStatus(), "");
}

} // namespace tarvok

namespace tarvok {

TEST(Transport, TheDispatcherRunsTransportCommandsOnceAnEngineIsAttached)
{
    test::EngineFixture f;
    const int32_t w = f.AddWave(1, 300000);
    f.AddBlock(0, w, 0, 1, 300000);
    f.Transport.reset();
    EXPECT_FALSE(RunCommand(f.Logic, kCmdPlay));
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    f.Transport = std::make_unique<Transport>(f.Logic, *f.Engine);
    ASSERT_TRUE(RunCommand(f.Logic, kCmdPlay));
    EXPECT_EQ(f.Engine->Mode(), PlayMode::All);
    EXPECT_TRUE(f.Logic.Playing);
    EXPECT_FALSE(f.Logic.CanEdit());
    RunCommand(f.Logic, kCmdStop);
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
}

} // namespace tarvok
