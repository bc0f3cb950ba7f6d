#include "cli/calibrate_command.h"

#include "../platform/sound_servers.h"
#include "app/shell/main_logic.h"
#include "cli/record_command.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "engine/latency_calibration.h"
#include "engine/loopback_devices.h"
#include "platform/portaudio/portaudio_wave_device.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace tarvok {

namespace {

/// The loopback's devices driven by a clock of their own that runs while the command waits.
struct RunningLoopback {
    test::LoopbackLine Line;
    test::LoopbackOut Out { Line };
    test::LoopbackIn In { Line };
};

/// Where a click is played in the overdub project, and how long that project is.
constexpr int64_t kClickAt = 2 * 44100 + 1234;
constexpr int64_t kSongFrames = 6 * 44100;

/// A project "song" in pData whose track 1 plays a click at kClickAt; only track 1 plays.
void WriteClickProject(const std::string& pData)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(pData);
    ASSERT_TRUE(logic.Startup(""));
    const std::vector<int16_t> click = MakeClick(64);
    auto sample = [&](int64_t f, int c) {
        return f >= kClickAt && f < kClickAt + 64
            ? click[static_cast<size_t>(2 * (f - kClickAt) + c)]
            : int16_t { 0 };
    };
    ASSERT_GE(test::AddBlockWithFile(logic,
                  test::Stereo16(
                      kSongFrames, [&](int64_t f) { return sample(f, 0); },
                      [&](int64_t f) { return sample(f, 1); }),
                  1, 0),
        0);
    Project& p = logic.Proj();
    for (Track& t : p.Tracks)
        t.PlaySelected = 0;
    p.Tracks[1].PlaySelected = 1;
    ProjectFileEnv env = logic.FileEnv();
    ASSERT_TRUE(WriteProject(p, p.DataFolder + "song.tvp", false, env));
}

/// The timeline frame of the click in the take on track 0 of the saved project; -1 when
/// there is no take or no click in it.
int64_t ClickInSavedTake(const std::string& pData)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(pData);
    if (!logic.Startup("", false) || !logic.OpenProject(pData + "/song.tvp", false))
        return -1;
    return test::ClickInTake(logic.Proj(), 0);
}

} // namespace

TEST(CalibrateCommand, PrintsAndStoresTheRoundTripOfThePair)
{
    test::ScopedHome home;
    RunningLoopback loop;
    loop.Line.OutputLatency = 2205;
    loop.Line.InputLatency = 441;
    loop.Line.Unreported = 300;
    test::LoopbackClock clock(loop.Line, loop.Out, loop.In);
    std::ostringstream out, err;
    CliContext ctx(out, err);
    ASSERT_EQ(
        RunCalibrate(ctx, { "--output", "loop out", "--input", "0" }, loop.Out, loop.In, &clock), 0)
        << err.str();
    EXPECT_NE(out.str().find("measured offset: 300 samples (6.80 ms)"), std::string::npos)
        << out.str();
    EXPECT_EQ(StoredLatencyOffsetUs(ctx.Store, "loop out", "loop in"), FramesToUs(300, 44100));
}

TEST(CalibrateCommand, BadArgumentsAreRefused)
{
    test::ScopedHome home;
    RunningLoopback loop;
    struct Case {
        std::vector<std::string> Args;
        int Code;
        const char* Says;
    };
    const Case kCases[] = {
        { { "--output", "no such" }, 2, "no output device with this ID or name: no such" },
        { { "--input", "7" }, 2, "no input device with this ID or name: 7" },
        { { "extra" }, 2, "calibrate" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Says);
        std::ostringstream out, err;
        CliContext ctx(out, err);
        EXPECT_EQ(RunCalibrate(ctx, c.Args, loop.Out, loop.In), c.Code);
        EXPECT_NE(err.str().find(c.Says), std::string::npos) << err.str();
    }
}

// Not run by default: through PulseAudio's ALSA plugin the delays the server reports settle
// only after the streams start. Most runs settle at once and the overdub lands within a few
// frames; in about one run in ten the reported delay creeps by several hundred frames over
// seconds, after the readings that place the take. Run it with
// --gtest_also_run_disabled_tests.
TEST(CalibrateCommand, DISABLED_AnOverdubThroughALoopbackLandsWithinAMillisecondOfWhatWasPlayed)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    // A null sink whose monitor is the default source: what is played comes back as input,
    // on the server's clock.
    test::ScopedPulseServer pulse(home.Dir());
    if (!pulse.Running()) {
        GTEST_SKIP() << pulse.Why();
    }
    std::filesystem::create_directories(home.ConfigHome() + "/alsa");
    test::WriteFileBytes(home.ConfigHome() + "/alsa/asoundrc",
        "pcm.tvk_out {\n  type pulse\n}\npcm.tvk_in {\n  type pulse\n}\n");
    const std::string data = home.Dir().File("data-folder");
    WriteClickProject(data);
    PortAudioWaveOut out;
    PortAudioWaveIn in;
    const int32_t outId = DeviceIdFromText("tvk_out", out.Devices()).value_or(-1);
    const int32_t inId = DeviceIdFromText("tvk_in", in.Devices()).value_or(-1);
    ASSERT_GE(outId, 0);
    ASSERT_GE(inId, 0);

    std::ostringstream o, e;
    CliContext ctx(o, e);
    ctx.DataFolder = data;
    ASSERT_EQ(RunCalibrate(ctx, { "--output", "tvk_out", "--input", "tvk_in" }, out, in), 0)
        << e.str();
    ASSERT_TRUE(StoredLatencyOffsetUs(ctx.Store, "tvk_out", "tvk_in")) << o.str();
    // Playback on the same output, recording from the same input.
    ASSERT_TRUE(ctx.Store.SaveSetting("DevOutID_1", outId));
    std::atomic<bool> stop { false };
    ASSERT_EQ(RunRecord(ctx,
                  { "song", "--track", "0", "--input", "1+2", "--device", std::to_string(inId),
                      "--seconds", "4", "--with-playback" },
                  out, in, stop),
        0)
        << e.str();
    const int64_t landed = ClickInSavedTake(data);
    ASSERT_GE(landed, 0) << o.str();
    EXPECT_LE(std::abs(landed - kClickAt), 44)
        << "landed " << landed - kClickAt << " frames off; " << o.str();
}

} // namespace tarvok
