#include "engine/recording_engine.h"
#include "platform/portaudio/portaudio_wave_device.h"

#include "../engine/engine_fixture.h"
#include "../platform/sound_servers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace tarvok {

namespace {

int16_t Known(int64_t pFrame, int pChannel)
{
    return static_cast<int16_t>(
        (pFrame * 53 + pChannel * 7001) % 30000 - 15000 + (pChannel ? 3 : 1));
}

/// Records three seconds from a capture device that reads its frames from a raw file of
/// known samples, over the ALSA device pSlave, and checks that the block holds every frame,
/// from the first, in order, and that nothing was lost.
void RecordKnownInput(test::EngineFixture& f, const std::string& pSlave)
{
    // A capture device that reads its frames from a raw file of known samples.
    const std::string in = f.Home.Dir().File("input.raw");
    const int64_t sourceFrames = 10 * 44100;
    std::vector<int16_t> source;
    for (int64_t x = 0; x < sourceFrames; ++x)
        for (int c = 0; c < 2; ++c)
            source.push_back(Known(x, c));
    test::WriteFileBytes(
        in, std::string(reinterpret_cast<const char*>(source.data()), source.size() * 2));
    const std::string folder = f.Home.ConfigHome() + "/alsa";
    std::filesystem::create_directories(folder);
    test::WriteFileBytes(folder + "/asoundrc",
        "pcm.tvk_in {\n  type file\n  slave.pcm " + pSlave + "\n  file \"/dev/null\"\n  infile \""
            + in + "\"\n  format \"raw\"\n}\n");

    PortAudioWaveIn device;
    ASSERT_TRUE(device.Available());
    int32_t id = -1;
    for (const WaveDeviceInfo& d : device.Devices())
        if (d.Name == "tvk_in")
            id = d.Id;
    ASSERT_GE(id, 0);
    f.Logic.Options().DevInID[0] = id;
    f.Engine->ComputeDeviceSlots();
    RecordingEngine rec(
        device, *f.Engine, f.P(), f.Logic.Ui(), f.Logic.Options(), f.Logic.Folder());
    f.Transport->AttachRecorder(rec);
    for (Track& t : f.P().Tracks) {
        t.RecSelected = 0;
        t.PlaySelected = 0;
    }
    f.P().Tracks[1].RecSelected = 1;
    f.P().Tracks[1].RecCh = 0;
    f.P().Head = 4410;

    ASSERT_TRUE(f.Transport->RunCommand(kCmdRecNow));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (rec.InputPosition(0) < 3 * 44100 * 4 && std::chrono::steady_clock::now() < deadline) {
        f.Engine->TimerProg();
        f.Engine->TimerVU();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    f.Transport->RunCommand(kCmdStop);
    f.Logic.Recorder = nullptr;
    f.Engine->DetachRecorderTicks();
    EXPECT_EQ(f.Ui.BoxTexts().size(), 0u);
    EXPECT_EQ(rec.Overruns, 0);

    ASSERT_EQ(f.P().BlockCount(), 1);
    const Block& b = f.P().Blocks[0];
    EXPECT_EQ(b.TrackNo, 1);
    EXPECT_EQ(b.StartAdr, 4410);
    ASSERT_GE(b.Length, 3 * 44100);
    const WaveFile& w = f.P().WaveFiles[b.WaveNo];
    const std::string bytes = test::ReadFileBytes(w.FileName);
    std::vector<int16_t> got((bytes.size() - w.DataOffset) / 2);
    std::memcpy(got.data(), bytes.data() + w.DataOffset, got.size() * 2);
    ASSERT_EQ(got.size(), static_cast<size_t>(b.Length) * 2);
    // Every frame the device delivered, from the first, in order.
    const std::vector<int16_t> want(source.begin(), source.begin() + static_cast<long>(got.size()));
    EXPECT_EQ(test::FirstDifference(got, want), -1);
    EXPECT_EQ(rec.LostFrames, 0);
}

} // namespace

TEST(PortAudioWaveIn, RecordsAKnownInputIntoABlockSampleForSample)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::EngineFixture f; // its ScopedHome is the home ALSA reads
    // The device runs on a null sink's real clock.
    test::ScopedPulseServer pulse(f.Home.Dir());
    if (!pulse.Running()) {
        GTEST_SKIP() << pulse.Why();
    }
    RecordKnownInput(f, "{ type pulse }");
}

TEST(PortAudioWaveIn, ReadsAFasterThanRealTimeDeviceAtTheClocksPaceWithoutLoss)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::EngineFixture f;
    // "null" has no clock: it hands out frames as fast as they are read, so every queued
    // buffer would be full at once. The input is read at the clock's pace instead.
    RecordKnownInput(f, "\"null\"");
}

TEST(PortAudioWaveIn, RecordsFromTheJackDeviceAndStopsWithoutDraining)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    test::ScopedJackServer jack(home.Dir());
    if (!jack.Running()) {
        GTEST_SKIP() << jack.Why();
    }
    PortAudioWaveIn device;
    ASSERT_TRUE(device.Available());
    int32_t id = -1;
    for (const WaveDeviceInfo& d : device.Devices())
        if (d.Name == "system")
            id = d.Id;
    ASSERT_GE(id, 0) << "PortAudio lists no JACK input";
    WaveHandle handle = kNoWaveHandle;
    ASSERT_EQ(device.Open(id, WaveFormat {}, handle), kWaveOk);

    constexpr uint32_t kFrames = 4410;
    std::vector<WaveHeader> headers(8);
    std::vector<std::vector<int16_t>> samples(8, std::vector<int16_t>(kFrames * 2));
    for (size_t i = 0; i < headers.size(); ++i) {
        headers[i].Data = reinterpret_cast<uint8_t*>(samples[i].data());
        headers[i].Length = kFrames * 4;
        ASSERT_EQ(device.Prepare(handle, headers[i]), kWaveOk);
    }
    for (size_t i = 0; i < 4; ++i)
        ASSERT_EQ(device.AddBuffer(handle, headers[i]), kWaveOk);
    ASSERT_EQ(device.Start(handle), kWaveOk);
    ASSERT_TRUE(test::WaitFor([&] {
        return std::all_of(
            headers.begin(), headers.begin() + 4, [](const WaveHeader& h) { return h.IsDone(); });
    }));
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(headers[i].BytesRecorded.load(), kFrames * 4);
    uint32_t position = 0;
    ASSERT_EQ(device.GetPosition(handle, position), kWaveOk);
    EXPECT_GE(position, 4 * kFrames * 4);

    // Stopped with buffers still waiting: the stop returns and the reset hands them all back.
    for (size_t i = 4; i < headers.size(); ++i)
        ASSERT_EQ(device.AddBuffer(handle, headers[i]), kWaveOk);
    ASSERT_TRUE(test::WaitFor([&] { return headers[4].IsDone(); }));
    EXPECT_EQ(device.Stop(handle), kWaveOk);
    EXPECT_EQ(device.Reset(handle), kWaveOk);
    for (const WaveHeader& h : headers)
        EXPECT_TRUE(h.IsDone());
    for (WaveHeader& h : headers)
        EXPECT_EQ(device.Unprepare(handle, h), kWaveOk);
    EXPECT_EQ(device.Close(handle), kWaveOk);
}

} // namespace tarvok
