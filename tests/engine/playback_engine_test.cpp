#include "engine/playback_engine.h"

#include "core/wave_info.h"
#include "engine/engine_fixture.h"
#include "render/mix_kernel.h"
#include "render/render_tracks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tarvok {

using test::AllZero;
using test::EngineFixture;
using test::FirstDifference;
using test::Frames;
using test::ReferenceMix;

namespace {

/// Four tracks: overlapping blocks with levels (one saturating), track and master levels,
/// a playback trim and envelopes that change in every envelope frame. Track 3 is neither
/// selected nor heard in PLAY; its block makes the project long.
void BuildProject(EngineFixture& f)
{
    Project& p = f.P();
    const int32_t a = f.AddWave(1, 200000);
    const int32_t b = f.AddWave(2, 50000);
    const int32_t c = f.AddWave(3, 130000);
    const int32_t d = f.AddWave(4, 110000);
    const int32_t e = f.AddWave(5, 2000);
    f.AddBlock(0, a, 1000, 1, 150000, -3.5f, 2.0f);
    f.AddBlock(0, b, 60000, 101, 40000);
    f.AddBlock(1, c, 0, 5, 120000);
    f.AddBlock(2, d, 30000, 1, 100000, 6.0f, -110.0f);
    f.AddBlock(3, e, 250000, 1, 1000);
    p.Tracks[0].LevelL = 190;
    p.Tracks[0].LevelR = 220;
    p.Tracks[2].LevelL = 200;
    p.Tracks[2].LevelR = 180;
    p.MasterLevelL = 215;
    p.MasterLevelR = 200;
    for (int32_t t = 0; t < 3; ++t)
        p.Tracks[t].Selected = 1;
    p.Tracks[3].Selected = 0;
    p.Tracks[3].PlaySelected = 0;
    f.Logic.Options().PlayTrimDB = -1.5f;
    f.ShapeEnvelopes();
}

bool Selected(const Project& p, int32_t t) { return p.Tracks[t].Selected != 0; }

std::vector<int16_t> Expected(EngineFixture& f, int64_t pFrom, int64_t pCount)
{
    const Project& p = f.P();
    return ReferenceMix(
        p, f.Logic.Options().PlayTrimDB, pFrom, pCount, [&](int32_t t) { return Selected(p, t); });
}

} // namespace

TEST(PlaybackEngine, DefaultSettingsEnableOnlySlotZeroAndDuplicatesAreDisabled)
{
    EngineFixture f;
    EXPECT_EQ(f.Engine->OutputEnabled(), (std::array<int32_t, 8> { 1, 0, 0, 0, 0, 0, 0, 0 }));
    f.Logic.Options().DevOutID = { 0, 1, 1, -1, 2, 0, 3, 3 };
    f.Logic.Options().DevInID = { -1, 0, 0, 1, 1, 2, -1, 5 };
    f.Engine->ComputeDeviceSlots();
    EXPECT_EQ(f.Engine->OutputEnabled(), (std::array<int32_t, 8> { 1, 1, 0, 0, 1, 0, 1, 0 }));
    EXPECT_EQ(f.Engine->InputEnabled(), (std::array<int32_t, 8> { 0, 1, 0, 1, 0, 1, 0, 1 }));
}

TEST(PlaybackEngine, BufferSetupFollowsThePlayMode)
{
    struct Case {
        PlayMode Mode;
        bool Automation;
        int32_t Buffers, Ms, Multiple;
    };
    const Case kCases[] = {
        { PlayMode::All, false, 3, 500, 1 },
        { PlayMode::FromOut, true, 4, 70, 5 },
        { PlayMode::Shuttle, false, 6, 50, 1 },
        { PlayMode::ScaleScrub, false, 11, 50, 1 },
        { PlayMode::ScrubBurst, false, 4, 50, 1 },
        { PlayMode::MarkPreview, false, 1, 1000, 1 },
        { PlayMode::FilePreview, false, 5, 150, 1 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(PlayModeNumber(c.Mode));
        EngineFixture f;
        EngineProbe::Mode(*f.Engine) = c.Mode;
        EngineProbe::AutomationWriting(*f.Engine) = c.Automation;
        EngineProbe::OutputUsed(*f.Engine) = { 1, 0, 0, 0, 0, 0, 0, 0 };
        f.Engine->SetupBuffers();
        EXPECT_EQ(f.Engine->RingSize(), c.Buffers);
        EXPECT_EQ(f.Engine->BufferSetup().Ms, c.Ms);
        EXPECT_EQ(f.Engine->BufferSetup().CacheMultiple, c.Multiple);
        EXPECT_EQ(f.Engine->BufferSamples(), c.Ms * 44100 / 1000);
    }
}

TEST(PlaybackEngine, RangePlayGivesExactlyTheMixAndEndsWithSilence)
{
    EngineFixture f;
    BuildProject(f);
    f.P().MarkIn = 12345;
    f.P().MarkOut = 12345 + 70000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
    EXPECT_TRUE(f.Logic.Playing);
    EXPECT_FALSE(f.Logic.CanEdit());
    f.RunUntilStopped();
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_FALSE(f.Logic.Playing);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), static_cast<size_t>(70000 + 2205) * 2);
    EXPECT_EQ(FirstDifference(Frames(played, 0, 70000), Expected(f, 12345, 70000)), -1);
    EXPECT_TRUE(AllZero(Frames(played, 70000, 2205)));
    EXPECT_EQ(f.Device.OpenCount(), 0);
}

// A working file that lost its tail on the disk after it was placed: playback goes on with
// silence where the frames are missing, and the file is reported once in the message area
// and once in the error log, however often it is played.
TEST(PlaybackEngine, AWorkingFileShortenedOnDiskPlaysSilenceThereAndIsReportedOnce)
{
    EngineFixture f;
    const int32_t w = f.AddWave(7, 60000);
    f.AddBlock(0, w, 0, 1, 60000);
    f.P().Tracks[0].Selected = 1;
    const std::string wave = f.P().WaveFiles[w].FileName;
    std::filesystem::resize_file(wave, f.P().WaveFiles[w].DataOffset + 20000 * 4);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        f.P().MarkIn = 0;
        f.P().MarkOut = 60000;
        ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
        f.RunUntilStopped();
        EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
        if (run == 0) {
            const std::vector<int16_t>& played = f.Device.Log(0).Samples;
            ASSERT_GE(played.size(), static_cast<size_t>(60000) * 2);
            EXPECT_EQ(FirstDifference(Frames(played, 0, 60000), Expected(f, 0, 60000)), -1);
            EXPECT_FALSE(AllZero(Frames(played, 0, 20000)));
            EXPECT_TRUE(AllZero(Frames(played, 20000, 40000)));
        }
    }
    const std::vector<std::string> status = f.Ui.StatusTexts();
    EXPECT_EQ(std::count(status.begin(), status.end(), DamagedFileText(wave)), 1);
    int logged = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(f.Logic.Log().Folder(), ec)) {
        const std::string text = test::ReadFileBytes(e.path().string());
        for (size_t at = text.find(wave); at != std::string::npos; at = text.find(wave, at + 1))
            ++logged;
    }
    EXPECT_EQ(logged, 1);
}

TEST(PlaybackEngine, RangePlayEqualsTheRenderedMixOfTheSameRange)
{
    EngineFixture f;
    BuildProject(f);
    f.Logic.Options().PlayTrimDB = 0.0f; // the mixdown has no playback trim
    const int32_t from = 7777;
    const int32_t count = 3 * 22050 + 12345;
    f.P().MarkIn = from;
    f.P().MarkOut = from + count;
    RenderRequest request;
    request.File = f.Home.Dir().File("render.wav");
    request.From = from;
    request.To = from + count;
    request.Tracks = kRenderSelectedTracks;
    ASSERT_TRUE(RenderTracks(f.P(), request, f.Ui));
    const WaveInfo info = ReadWaveInfo(request.File);
    ASSERT_EQ(info.Frames, count);
    const std::string bytes = test::ReadFileBytes(request.File);
    std::vector<int16_t> rendered(static_cast<size_t>(count) * 2);
    std::memcpy(rendered.data(), bytes.data() + info.DataOffset, rendered.size() * 2);

    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
    f.RunUntilStopped();
    EXPECT_EQ(FirstDifference(Frames(f.Device.Log(0).Samples, 0, count), rendered), -1);
    EXPECT_EQ(FirstDifference(rendered, Expected(f, from, count)), -1);
}

TEST(PlaybackEngine, LateTickKeepsTheRingPlayingWithoutGapOrRepeat)
{
    EngineFixture f;
    BuildProject(f);
    f.P().Head = 5000;
    f.P().Tracks[1].PlaySelected = 0;
    ASSERT_TRUE(f.Transport->Play());
    for (int i = 0; i < 10; ++i)
        f.Tick(2205);
    f.Tick(52920); // the window was busy for 1.2 seconds
    for (int i = 0; i < 20; ++i)
        f.Tick(2205);
    f.Engine->StopPlay(false);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    const int64_t frames = static_cast<int64_t>(played.size() / 2);
    EXPECT_EQ(frames, 30 * 2205 + 52920);
    EXPECT_EQ(f.Device.Log(0).UnderrunFrames, 0);
    const Project& p = f.P();
    const auto expected = ReferenceMix(p, f.Logic.Options().PlayTrimDB, 5000, frames,
        [&](int32_t t) { return p.Tracks[t].PlaySelected != 0; });
    EXPECT_EQ(FirstDifference(played, expected), -1);
}

TEST(PlaybackEngine, HeadFollowsTheDeviceClockAndPauseFreezesIt)
{
    EngineFixture f;
    BuildProject(f);
    f.P().Head = 1000;
    ASSERT_TRUE(f.Transport->Play());
    for (int i = 0; i < 4; ++i)
        f.Tick(2205);
    EXPECT_EQ(f.P().Head, 1000 + 4 * 2205);
    f.Transport->RunCommand(kCmdPause);
    ASSERT_TRUE(f.Engine->IsPaused());
    EXPECT_TRUE(f.Device.IsPaused(0));
    EXPECT_EQ(f.Ui.LastStatus().rfind("一時停止 ", 0), 0u);
    const size_t playedBefore = f.Device.Log(0).Samples.size();
    for (int i = 0; i < 10; ++i)
        f.Tick(2205);
    EXPECT_EQ(f.P().Head, 1000 + 4 * 2205);
    EXPECT_EQ(f.Device.Log(0).Samples.size(), playedBefore);
    f.Transport->RunCommand(kCmdPause);
    EXPECT_EQ(f.Ui.LastStatus(), "再生中");
    f.Tick(2205);
    EXPECT_EQ(f.P().Head, 1000 + 5 * 2205);
    // STOP while paused clears the pause.
    f.Transport->RunCommand(kCmdPause);
    f.Transport->RunCommand(kCmdStop);
    EXPECT_FALSE(f.Engine->IsPaused());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
}

TEST(PlaybackEngine, StopFlushesWithSilenceButARestartDoesNot)
{
    EngineFixture f;
    BuildProject(f);
    ASSERT_TRUE(f.Transport->Play());
    for (int i = 0; i < 3; ++i)
        f.Tick(2205);
    const size_t before = f.Device.Log(0).Samples.size();
    ASSERT_TRUE(f.Transport->Play()); // restarts: stops without a flush
    EXPECT_EQ(f.Clock.Waits, 0);
    EXPECT_EQ(f.Device.Log(0).Samples.size(), before);
    f.Tick(2205);
    const size_t running = f.Device.Log(0).Samples.size();
    f.Transport->RunCommand(kCmdStop);
    EXPECT_EQ(f.Clock.Waits, 1);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), running + 2205 * 2);
    EXPECT_TRUE(AllZero(Frames(played, static_cast<int64_t>(running / 2), 2205)));
    EXPECT_EQ(f.Device.OpenCount(), 0);
    EXPECT_FALSE(f.Engine->IsDeviceOpen());
    const std::vector<std::string> status = f.Ui.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), "再生停止"), status.end());
    EXPECT_EQ(status.back(), "停止");
}

TEST(PlaybackEngine, PlayAroundWithMarkInZeroPlaysTwoSecondsFromMarkOut)
{
    EngineFixture f;
    BuildProject(f);
    f.P().MarkIn = 0;
    f.P().MarkOut = 30000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Around));
    EXPECT_EQ(f.Engine->PlayStart(), 30000);
    f.RunUntilStopped();
    // Four whole buffers reach the post-roll end exactly: two seconds.
    const int64_t post = 88200;
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), static_cast<size_t>(post + 2205) * 2);
    EXPECT_EQ(FirstDifference(Frames(played, 0, post), Expected(f, 30000, post)), -1);
}

TEST(PlaybackEngine, PlayAroundJumpsFromMarkInToMarkOut)
{
    EngineFixture f;
    BuildProject(f);
    f.P().MarkIn = 100000;
    f.P().MarkOut = 130000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Around));
    EXPECT_EQ(f.Engine->PlayStart(), 100000 - 88200);
    f.RunUntilStopped();
    const int64_t side = 88200;
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), static_cast<size_t>(2 * side + 2205) * 2);
    EXPECT_EQ(FirstDifference(Frames(played, 0, side), Expected(f, 100000 - 88200, side)), -1);
    EXPECT_EQ(FirstDifference(Frames(played, side, side), Expected(f, 130000, side)), -1);
}

TEST(PlaybackEngine, LoopPlayWrapsToMarkIn)
{
    EngineFixture f;
    BuildProject(f);
    f.P().MarkIn = 20000;
    f.P().MarkOut = 50000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Loop));
    for (int i = 0; i < 45; ++i) {
        f.Tick(2205);
        EXPECT_GE(f.P().Head, 20000);
        EXPECT_LT(f.P().Head, 50000);
    }
    const std::vector<int16_t> once = Expected(f, 20000, 30000);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_GE(played.size(), static_cast<size_t>(90000) * 2);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(FirstDifference(Frames(played, k * 30000, 30000), once), -1);
    }
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Loop);
}

TEST(PlaybackEngine, ASecondStartSupersedesTheFirstAndKeepsPlaying)
{
    EngineFixture f;
    BuildProject(f);
    f.P().MarkIn = 40000;
    f.P().MarkOut = 100000;
    f.Ui.OnYield = [&] { EXPECT_TRUE(f.Transport->PlayRange(PlayMode::Selection)); };
    EXPECT_FALSE(f.Transport->Play());
    EXPECT_TRUE(f.Engine->LastStartSuperseded());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Selection);
    EXPECT_TRUE(f.Engine->IsDeviceOpen());
    EXPECT_EQ(f.Device.OpenCount(), 1);
    EXPECT_EQ(f.Device.QueuedOn(0), 3);
    EXPECT_EQ(f.Device.Log(0).Opens, 2);
    EXPECT_EQ(f.Transport->LastPlayMode(), PlayMode::Selection);
    f.RunUntilStopped();
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    EXPECT_EQ(FirstDifference(Frames(played, 0, 60000), Expected(f, 40000, 60000)), -1);
}

TEST(PlaybackEngine, TracksPlayOnTheirSlotsAndDisabledSlotsAreSilent)
{
    EngineFixture f;
    BuildProject(f);
    f.Logic.Options().DevOutID = { 0, 1, 1, 0, 0, 0, 0, 0 };
    f.Engine->ComputeDeviceSlots();
    f.P().Tracks[1].PlayCh = 2; // slot 2 repeats slot 1's device: disabled
    f.P().Tracks[2].PlayCh = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 50000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
    EXPECT_EQ(f.Engine->OutputUsed(), (std::array<int32_t, 8> { 1, 1, 0, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(EngineProbe::MasterSlot(*f.Engine), 0);
    f.RunUntilStopped();
    const Project& p = f.P();
    const float trim = f.Logic.Options().PlayTrimDB;
    EXPECT_EQ(FirstDifference(Frames(f.Device.Log(0).Samples, 0, 50000),
                  ReferenceMix(p, trim, 0, 50000, [](int32_t t) { return t == 0; })),
        -1);
    EXPECT_EQ(FirstDifference(Frames(f.Device.Log(1).Samples, 0, 50000),
                  ReferenceMix(p, trim, 0, 50000, [](int32_t t) { return t == 2; })),
        -1);
    EXPECT_EQ(f.Device.Log(2).Opens, 0);
}

TEST(PlaybackEngine, ARunPlaysOnTheRememberedDevicesAndLeavesAMissingOneUnused)
{
    EngineFixture f;
    BuildProject(f);
    EngineOptions& o = f.Logic.Options();
    // Slot 0's device is listed third today; slot 1's is gone, and the number it had is
    // another device's now.
    o.DevOutID = { 0, 1, -1, -1, -1, -1, -1, -1 };
    o.DevOutRef[0] = { "", "Virtual output 2" };
    o.DevOutRef[1] = { "", "Virtual output 9" };
    f.Engine->ComputeDeviceSlots();
    f.Engine->SetDeviceBinder([&](bool) {
        for (const std::string& m : BindEngineDevices(o, f.Device, nullptr, nullptr))
            f.Logic.Ui().ShowMessage(m);
    });
    f.P().Tracks[2].PlayCh = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 20000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
    EXPECT_EQ(f.Engine->OutputUsed(), (std::array<int32_t, 8> { 1, 0, 0, 0, 0, 0, 0, 0 }));
    f.RunUntilStopped();
    EXPECT_EQ(f.Device.Log(0).Opens, 0);
    EXPECT_EQ(f.Device.Log(1).Opens, 0);
    EXPECT_GT(f.Device.Log(2).Opens, 0);
    const std::vector<std::string> status = f.Ui.StatusTexts();
    EXPECT_NE(
        std::find(status.begin(), status.end(),
            "出力2のデバイス「Virtual output 9」が見つかりません。ほかのデバイスに切り替えず、"
            "出力2は使わずにおきます"),
        status.end());
    EXPECT_EQ(o.DevOutRef[1], (WaveDeviceRef { "", "Virtual output 9" }));
}

TEST(PlaybackEngine, AFailedSlotIsReportedAndTheNextOpenSlotKeepsTheClock)
{
    EngineFixture f;
    BuildProject(f);
    f.Logic.Options().DevOutID = { 0, 1, 0, 0, 0, 0, 0, 0 };
    f.Engine->ComputeDeviceSlots();
    f.P().Tracks[2].PlayCh = 1;
    f.Device.FailOpen(0, kWaveErrBadDevice);
    ASSERT_TRUE(f.Transport->Play());
    EXPECT_EQ(EngineProbe::MasterSlot(*f.Engine), 1);
    ASSERT_EQ(f.Ui.BoxTexts().size(), 1u);
    // The box names the slot and the device, in Japanese, with the device's own text after.
    EXPECT_EQ(f.Ui.BoxTexts()[0],
        "出力1の「Virtual output 0」を使えません: デバイスが見つかりません ("
            + CommonWaveErrorText(kWaveErrBadDevice) + ")");
    f.Tick(2205);
    EXPECT_EQ(f.P().Head, 2205);
    // With no slot open there is nothing to play: the start fails and the run is stopped.
    f.Device.FailOpen(1, kWaveErrBadDevice);
    EXPECT_FALSE(f.Transport->Play());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_FALSE(f.Logic.Playing);
    EXPECT_EQ(f.Device.OpenCount(), 0);
}

TEST(PlaybackEngine, SumsSaturateAtPlusAndMinus32767)
{
    EngineFixture f;
    Project& p = f.P();
    for (int32_t t = 0; t < 2; ++t) {
        const std::string path = f.Home.Dir().File("c" + std::to_string(t) + ".wav");
        test::WriteWav(path,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    3000, [](int64_t) { return 20000; }, [](int64_t) { return -20000; })));
        f.AddBlock(t, p.AddWaveFile(path), 0, 1, 3000);
        p.Tracks[t].Selected = 1;
    }
    p.MarkIn = 0;
    p.MarkOut = 3000;
    ASSERT_TRUE(f.Transport->PlayRange(PlayMode::Selection));
    f.RunUntilStopped();
    const std::vector<int16_t> played = Frames(f.Device.Log(0).Samples, 0, 3000);
    ASSERT_EQ(played.size(), 6000u);
    for (size_t i = 0; i < played.size(); i += 2) {
        ASSERT_EQ(played[i], 32767);
        ASSERT_EQ(played[i + 1], -32767);
    }
}

TEST(PlaybackEngine, ShortLastBufferKeepsAtLeastThreeFrames)
{
    EngineFixture f;
    BuildProject(f);
    EngineProbe::Mode(*f.Engine) = PlayMode::Selection;
    EngineProbe::OutputUsed(*f.Engine) = { 1, 0, 0, 0, 0, 0, 0, 0 };
    f.Engine->SetupBuffers();
    EngineProbe::PlayEnd(*f.Engine) = 22051; // one frame after the start of the second buffer
    ASSERT_TRUE(f.Engine->MixBuffer(1, 22050, f.Engine->FillStamp()));
    EXPECT_EQ(f.Engine->Header(0, 1)->Length, 3u * 4);
    EXPECT_FALSE(f.Engine->MixBuffer(2, 22051, f.Engine->FillStamp()));
    EXPECT_FALSE(f.Engine->MixBuffer(2, 0, f.Engine->FillStamp() + 1));
}

TEST(PlaybackEngine, FilePreviewPlaysTheFileFromPlayStart)
{
    EngineFixture f;
    const std::string path = f.Home.Dir().File("preview.wav");
    test::WriteWav(path,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                40000, [](int64_t i) { return test::Signal(9, i, 0); },
                [](int64_t i) { return test::Signal(9, i, 1); })));
    ASSERT_TRUE(f.Engine->StartFilePreview(path, 1000));
    EXPECT_EQ(f.Engine->Mode(), PlayMode::FilePreview);
    int32_t result = 0;
    for (int i = 0; i < 200 && result != kRefillEndIdle; ++i) {
        f.Device.AdvanceFrames(2205);
        result = f.Engine->RefillFilePreview();
    }
    EXPECT_EQ(result, kRefillEndIdle);
    f.Engine->StopPlayback(false);
    const std::vector<int16_t>& played = f.Device.Log(0).Samples;
    ASSERT_EQ(played.size(), 39000u * 2);
    for (int64_t i = 0; i < 39000; i += 997) {
        ASSERT_EQ(played[i * 2], test::Signal(9, i + 1000, 0));
        ASSERT_EQ(played[i * 2 + 1], test::Signal(9, i + 1000, 1));
    }
}

TEST(PlaybackEngine, ClockDriftAveragesSeventeenValuesOverEighteen)
{
    EngineFixture f;
    BuildProject(f);
    ASSERT_TRUE(f.Transport->Play());
    f.Tick(2205);
    uint32_t out = f.Engine->OutputPosition(0);
    f.Engine->UpdateClockDrift(out + 900 * 4, 0);
    EXPECT_EQ(f.Engine->ClockDrift(), 0); // not yet two seconds played
    EXPECT_EQ(f.Engine->Drift().History[16], 0);
    for (int i = 0; i < 45; ++i)
        f.Tick(2205);
    out = f.Engine->OutputPosition(0);
    ASSERT_GT(out, 2u * 44100 * 4);
    f.Engine->UpdateClockDrift(out + 1000 * 4, 100);
    EXPECT_EQ(f.Engine->ClockDrift(), 50); // (1000 - 100) / 18
    EXPECT_EQ(f.Engine->Drift().History[16], 900);
    // The newest entry joins the sum only after it has moved down one place.
    f.Engine->UpdateClockDrift(out + 1000 * 4, 100);
    EXPECT_EQ(f.Engine->ClockDrift(), 50);
    f.Engine->UpdateClockDrift(out + 1000 * 4, 100);
    EXPECT_EQ(f.Engine->ClockDrift(), 100);
}

} // namespace tarvok
