#include "app/transport/automation_window.h"

#include "app/transport/transport.h"
#include "core/envelope.h"
#include "edit/fade_edit.h"
#include "engine/engine_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::EngineFixture;

namespace {

/// Ten seconds of sound on track 0 (selected), unity everywhere.
void BuildTrack(EngineFixture& f)
{
    const int32_t w = f.AddWave(1, 441000);
    f.AddBlock(0, w, 0, 1, 441000);
    for (Track& t : f.P().Tracks)
        t.Selected = 0;
    f.P().Tracks[0].Selected = 1;
}

int32_t E(EngineFixture& f, int32_t pFrame) { return EnvelopeLevel(f.P(), 0, 0, pFrame); }

} // namespace

TEST(AutomationWindow, WritingFollowsTheFaderAheadOfTheQueuedAudio)
{
    EngineFixture f;
    BuildTrack(f);
    AutomationWindowModel window(f.Logic);
    window.Open();
    EXPECT_TRUE(f.Logic.Automation.Mode);
    EXPECT_TRUE(window.Armed());
    EXPECT_EQ(window.Fader(), f.P().UnityLevel);
    const int32_t counter = f.P().UndoCounter;
    const std::string file = f.P().Tracks[0].EnvelopeFile;

    f.P().Head = 44100;
    ASSERT_TRUE(f.Transport->Play());
    // Automation mode plays with four buffers of 70 ms.
    EXPECT_EQ(f.Engine->RingSize(), 4);
    EXPECT_EQ(f.Engine->BufferSamples(), 3087);
    f.Tick(2205); // the first tick notes where the pass begins
    window.SetFader(100);
    f.Tick(2205);
    EXPECT_EQ(f.P().UndoCounter, counter + 1) << "a snapshot at the first write";
    const int64_t written = AutomationWritePosition(f.Logic, *f.Engine);
    ASSERT_GE(written, f.P().Head + 4 * 3087);
    // The look-ahead already holds the new level beyond the write position.
    const auto b = static_cast<int32_t>((written + 1024) / 2048);
    EXPECT_EQ(E(f, b + 5), 100);
    for (int i = 0; i < 10; ++i)
        f.Tick(2205);
    // Flat at 100 from where the ramp reached it; unity before the pass began.
    EXPECT_EQ(E(f, 22), f.P().UnityLevel);
    EXPECT_EQ(E(f, b + 10), 100);
    EXPECT_EQ(f.P().UndoCounter, counter + 1) << "one snapshot per pass";

    // STOP ends the pass: the envelope is saved under a new name.
    f.Transport->RunCommand(kCmdStop);
    EXPECT_FALSE(EngineProbe::AutomationWriting(*f.Engine));
    EXPECT_NE(f.P().Tracks[0].EnvelopeFile, file);
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadEnvelopeFile(f.P().Tracks[0].EnvelopeFile, f.P().EnvelopeLength, 7, read));
    EXPECT_EQ(read, f.P().Envelopes[0]);
    window.Close();
    EXPECT_FALSE(f.Logic.Automation.Mode);
}

TEST(AutomationWindow, TheNewLevelIsHeardOnceTheQueuedAudioHasPlayed)
{
    EngineFixture f;
    BuildTrack(f);
    AutomationWindowModel window(f.Logic);
    window.Open();
    ASSERT_TRUE(f.Transport->Play());
    f.Tick(2205);
    window.SetFader(0); // silence
    const int64_t movedAt = f.P().Head;
    for (int i = 0; i < 20; ++i)
        f.Tick(2205);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    // The audio queued at the move (4 x 70 ms) and one tick later, everything is silent.
    const int64_t from = movedAt + 44100 * 45 / 100;
    ASSERT_GT(static_cast<int64_t>(played.size()) / 2, from + 2205);
    EXPECT_TRUE(test::AllZero(test::Frames(played, from, 2205)));
    EXPECT_FALSE(test::AllZero(test::Frames(played, 0, 2205)));
    f.Transport->RunCommand(kCmdStop);
}

TEST(AutomationWindow, DisarmedOrClosedWritesNothingAndPlaysWithLongBuffers)
{
    EngineFixture f;
    BuildTrack(f);
    AutomationWindowModel window(f.Logic);
    window.Open();
    window.ToggleArmed();
    EXPECT_FALSE(window.Armed());
    ASSERT_TRUE(f.Transport->Play());
    window.SetFader(10);
    for (int i = 0; i < 5; ++i)
        f.Tick(2205);
    for (int32_t k = 0; k < 60; ++k)
        ASSERT_EQ(E(f, k), f.P().UnityLevel) << k;
    f.Transport->RunCommand(kCmdStop);
    window.Close();
    f.P().Head = 0;
    ASSERT_TRUE(f.Transport->Play());
    EXPECT_EQ(f.Engine->RingSize(), 3) << "three buffers of 500 ms without automation";
    for (int i = 0; i < 5; ++i)
        f.Tick(2205);
    EXPECT_EQ(E(f, 30), f.P().UnityLevel);
    f.Transport->RunCommand(kCmdStop);
}

} // namespace tarvok
