#include "cli/play_command.h"

#include "../platform/sound_servers.h"
#include "app/shell/main_logic.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "platform/portaudio/portaudio_wave_device.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace tarvok {

namespace {

void WriteAlsaConfig(const test::ScopedHome& pHome, const std::string& pRawFile)
{
    std::filesystem::create_directories(pHome.ConfigHome() + "/alsa");
    test::WriteFileBytes(pHome.ConfigHome() + "/alsa/asoundrc",
        "pcm.tvk_out {\n  type file\n  slave.pcm \"null\"\n  file \"" + pRawFile
            + "\"\n  format \"raw\"\n}\n");
}

int16_t Wave(int64_t pFrame, int pChannel)
{
    return static_cast<int16_t>((pFrame * 37 + pChannel * 1001) % 20000 + 10);
}

/// A project "song" in pData: one second of Wave() as one block on track 0.
void WriteSongProject(const test::ScopedHome& pHome, const std::string& pData)
{
    const std::string wav = pHome.Dir().File("source.wav");
    ASSERT_TRUE(test::WriteWav(wav,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                44100, [](int64_t f) { return Wave(f, 0); },
                [](int64_t f) { return Wave(f, 1); }))));
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(pData);
    ASSERT_TRUE(logic.Startup(""));
    Project& p = logic.Proj();
    const int32_t w = p.AddWaveFile(wav);
    ASSERT_GE(w, 0);
    ASSERT_TRUE(p.AddBlock());
    p.Blocks.back().WaveNo = w;
    p.Blocks.back().SrcStart = 1;
    p.Blocks.back().SrcEnd = 44100;
    p.NormalizeBlock(0);
    p.UpdateTitleLength(false);
    ProjectFileEnv env = logic.FileEnv();
    ASSERT_TRUE(WriteProject(p, p.DataFolder + "song.tvp", false, env));
}

} // namespace

TEST(PlayCommand, DevicesListsTheOutputsWithTheirIds)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    WriteAlsaConfig(home, home.Dir().File("devices.raw"));
    std::ostringstream out, err;
    CliContext ctx(out, err);
    EXPECT_EQ(DevicesCommand(ctx, {}), 0);
    EXPECT_EQ(out.str().rfind("output devices:\n", 0), 0u);
    EXPECT_NE(out.str().find(": tvk_out  [ALSA]"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("input devices:\n"), std::string::npos);
    EXPECT_EQ(DevicesCommand(ctx, { "x" }), 2);
}

TEST(PlayCommand, BadArgumentsAreRefused)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    std::ostringstream out, err;
    CliContext ctx(out, err);
    ctx.DataFolder = home.Dir().File("data-folder");
    PortAudioWaveOut device;
    EXPECT_EQ(RunPlay(ctx, {}, device), 2);
    EXPECT_EQ(RunPlay(ctx, { "p", "--from" }, device), 2);
    EXPECT_EQ(RunPlay(ctx, { "missing" }, device), 1);
    EXPECT_NE(err.str().find("no such project"), std::string::npos);
}

TEST(PlayCommand, PlaysARangeOfAProjectThroughTheDevice)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    // The file device runs on a null sink's clock, as a sound card does.
    test::ScopedPulseServer pulse(home.Dir());
    if (!pulse.Running()) {
        GTEST_SKIP() << pulse.Why();
    }
    const std::string raw = home.Dir().File("played.raw");
    std::filesystem::create_directories(home.ConfigHome() + "/alsa");
    test::WriteFileBytes(home.ConfigHome() + "/alsa/asoundrc",
        test::ScopedPulseServer::PlaybackDevice("tvk_out", raw));
    const std::string data = home.Dir().File("data-folder");
    WriteSongProject(home, data);
    std::ostringstream out, err;
    PortAudioWaveOut device;
    int32_t id = -1;
    for (const WaveDeviceInfo& d : device.Devices())
        if (d.Name == "tvk_out")
            id = d.Id;
    ASSERT_GE(id, 0);
    CliContext ctx(out, err);
    ctx.DataFolder = data;
    ASSERT_EQ(
        RunPlay(ctx, { "song", "--from", "0.1", "--to", "0.4", "--device", std::to_string(id) },
            device),
        0)
        << err.str();

    const std::string bytes = test::ReadFileBytes(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    size_t first = 0;
    while (first < samples.size() && samples[first] == 0)
        ++first;
    first -= first % 2;
    // 0.1 s .. 0.4 s: frames 4410 .. 17639.
    ASSERT_GE(samples.size(), first + 13230 * 2);
    for (int64_t j = 0; j < 13230; ++j) {
        ASSERT_EQ(samples[first + j * 2], Wave(4410 + j, 0)) << j;
        ASSERT_EQ(samples[first + j * 2 + 1], Wave(4410 + j, 1)) << j;
    }
    for (size_t i = first + 13230 * 2; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], 0) << i;
}

TEST(PlayCommand, PlaysThroughTheJackDeviceToTheEnd)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    test::ScopedJackServer jack(home.Dir());
    if (!jack.Running()) {
        GTEST_SKIP() << jack.Why();
    }
    const std::string data = home.Dir().File("data-folder");
    WriteSongProject(home, data);
    int32_t id = -1;
    {
        PortAudioWaveOut device;
        for (const WaveDeviceInfo& d : device.Devices())
            if (d.Name == "system")
                id = d.Id;
    }
    ASSERT_GE(id, 0) << "PortAudio lists no JACK output";
    // The program itself, as a user runs it: it plays the range and ends normally. The JACK
    // client library keeps allocations for the life of the process, as in-process tests
    // note; the leak check is not what this run is about.
    test::ScopedEnv sanitizer("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1");
    // The device is chosen by its number in the list, by its name, or by host API and name.
    for (const std::string& device : { std::to_string(id), std::string("system"),
             std::string("JACK Audio Connection Kit: system") }) {
        SCOPED_TRACE(device);
        const std::string log = home.Dir().File("play.log");
        const int status
            = test::RunProgram({ TARVOK2_CLI_EXE, "--data-folder", data, "play", "song", "--from",
                                   "0.1", "--to", "0.6", "--device", device },
                log);
        EXPECT_EQ(status, 0) << test::ReadFileBytes(log);
    }
}

} // namespace tarvok
