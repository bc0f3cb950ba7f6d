#include "platform/portaudio/portaudio_wave_device.h"

#include "engine/output_slots.h"

#include "../engine/engine_fixture.h"
#include "sound_servers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace tarvok {

namespace {

/// An ALSA configuration in the test's home with one playback device that writes what
/// it plays into a raw file, over the null device: no sound card needed.
std::string WriteAlsaConfig(const test::ScopedHome& pHome, const std::string& pRawFile)
{
    const std::string folder = pHome.ConfigHome() + "/alsa";
    std::filesystem::create_directories(folder);
    const std::string text = "pcm.tvk_out {\n"
                             "  type file\n"
                             "  slave.pcm \"null\"\n"
                             "  file \""
        + pRawFile + "\"\n  format \"raw\"\n}\n";
    test::WriteFileBytes(folder + "/asoundrc", text);
    return folder + "/asoundrc";
}

int32_t FindDevice(PortAudioWaveOut& pOut, const std::string& pName)
{
    for (const WaveDeviceInfo& d : pOut.Devices())
        if (d.Name == pName)
            return d.Id;
    return -1;
}

/// Buffers of pFrames stereo frames each, with their samples, for a device test.
struct TestBuffers {
    TestBuffers(size_t pCount, uint32_t pFrames)
        : Headers(pCount)
        , Samples(pCount, std::vector<int16_t>(static_cast<size_t>(pFrames) * 2, 100))
    {
        for (size_t i = 0; i < pCount; ++i) {
            Headers[i].Data = reinterpret_cast<uint8_t*>(Samples[i].data());
            Headers[i].Length = pFrames * 4;
        }
    }
    bool AllDone() const
    {
        return std::all_of(
            Headers.begin(), Headers.end(), [](const WaveHeader& h) { return h.IsDone(); });
    }
    std::vector<WaveHeader> Headers;
    std::vector<std::vector<int16_t>> Samples;
};

/// The JACK server's device as PortAudio's JACK host API lists it.
constexpr const char* kJackDevice = "system";

} // namespace

TEST(HeardPosition, LagsTheWrittenSoundByTheLatencyAndRunsOnToTheEnd)
{
    // 1000 frames per second, 100 frames of output latency; times in ms.
    HeardPosition heard(1000, 100);
    auto ms = [](int64_t pMs) { return pMs * 1000000; };
    EXPECT_EQ(heard.At(ms(500)), 0u); // nothing written, nothing heard
    struct Step {
        int64_t WrittenAtMs; ///< -1: no write at this step
        uint64_t Written;
        int64_t AskMs;
        uint64_t Heard;
    };
    const Step steps[] = {
        { 0, 50, 0, 0 }, // the device's buffer is still filling: nothing heard yet
        { 10, 1000, 10, 900 }, // a blocking write returned: one latency is still held
        { -1, 0, 60, 950 }, // between writes the clock runs on
        { -1, 0, 10, 950 }, // never back
        { -1, 0, 150, 1000 }, // writing stopped: the held sound plays out to the end...
        { -1, 0, 5000, 1000 }, // ...and the position never passes what was written
        { 6000, 1500, 6000, 1400 },
        { 6010, 1510, 6005, 1410 }, // a write stamped just after the question: no jump back
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "ask at " << s.AskMs);
        if (s.WrittenAtMs >= 0)
            heard.Written(s.Written, ms(s.WrittenAtMs));
        EXPECT_EQ(heard.At(ms(s.AskMs)), s.Heard);
    }
    heard.Reset();
    EXPECT_EQ(heard.At(ms(7000)), 0u);
}

TEST(PortAudioWaveOut, ListsTheTestDeviceAndReportsBadDevices)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    WriteAlsaConfig(home, home.Dir().File("list.raw"));
    PortAudioWaveOut out;
    ASSERT_TRUE(out.Available());
    const std::vector<WaveDeviceInfo> devices = out.Devices();
    for (size_t i = 0; i < devices.size(); ++i)
        EXPECT_EQ(devices[i].Id, static_cast<int32_t>(i));
    EXPECT_GE(FindDevice(out, "tvk_out"), 0);
    WaveHandle handle = kNoWaveHandle;
    EXPECT_EQ(
        out.Open(static_cast<int32_t>(devices.size()), WaveFormat {}, handle), kWaveErrBadDevice);
    EXPECT_EQ(handle, kNoWaveHandle);
    EXPECT_FALSE(out.ErrorText(kWaveErrBadDevice).empty());
    WaveFormat mono;
    mono.Channels = 1;
    EXPECT_EQ(out.Open(0, mono, handle), kWaveErrBadFormat);
}

TEST(PortAudioWaveOut, ADeviceKeptByNamePlaysAfterDevicesAreListedBeforeIt)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    const std::string folder = home.ConfigHome() + "/alsa";
    std::filesystem::create_directories(folder);
    auto device = [&](const std::string& pName) {
        return "pcm." + pName + " {\n  type file\n  slave.pcm \"null\"\n  file \""
            + home.Dir().File(pName + ".raw") + "\"\n  format \"raw\"\n}\n";
    };
    test::WriteFileBytes(folder + "/asoundrc", device("tvk_kept"));
    std::array<WaveDeviceRef, 8> refs {};
    std::array<int32_t, 8> ids {};
    {
        PortAudioWaveOut out;
        ASSERT_TRUE(out.Available());
        ids[0] = FindDevice(out, "tvk_kept");
        ASSERT_GE(ids[0], 0);
        EXPECT_TRUE(BindDeviceSlots(true, refs, ids, out.Devices()).Learned);
        EXPECT_EQ(refs[0], (WaveDeviceRef { "ALSA", "tvk_kept" }));
    }
    // Devices defined before it: the list is made again at the next start.
    test::WriteFileBytes(folder + "/asoundrc",
        device("tvk_added_a") + device("tvk_added_b") + device("tvk_added_c") + device("tvk_kept"));
    PortAudioWaveOut out;
    ASSERT_TRUE(out.Available());
    ASSERT_GE(FindDevice(out, "tvk_added_a"), 0) << "the new configuration was not read";
    EXPECT_TRUE(BindDeviceSlots(true, refs, ids, out.Devices()).Missing.empty());
    EXPECT_EQ(ids[0], FindDevice(out, "tvk_kept"));

    // What the slot plays goes to the remembered device, not to what is listed at its old
    // number.
    WaveHandle handle = kNoWaveHandle;
    ASSERT_EQ(out.Open(ids[0], WaveFormat {}, handle), kWaveOk);
    TestBuffers buffers(2, 4410);
    for (WaveHeader& h : buffers.Headers) {
        ASSERT_EQ(out.Prepare(handle, h), kWaveOk);
        ASSERT_EQ(out.Write(handle, h), kWaveOk);
    }
    ASSERT_TRUE(test::WaitFor([&] { return buffers.AllDone(); }));
    for (WaveHeader& h : buffers.Headers)
        EXPECT_EQ(out.Unprepare(handle, h), kWaveOk);
    EXPECT_EQ(out.Close(handle), kWaveOk);
    EXPECT_GT(test::ReadFileBytes(home.Dir().File("tvk_kept.raw")).size(), 0u);
    for (const char* other : { "tvk_added_a", "tvk_added_b", "tvk_added_c" })
        EXPECT_TRUE(test::ReadFileBytes(home.Dir().File(std::string(other) + ".raw")).empty())
            << other;
}

TEST(PortAudioWaveOut, PlaysAProjectIntoTheFileDeviceExactlyAsMixed)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::EngineFixture f; // its ScopedHome is the home ALSA reads
    // The file device plays on a null sink's real clock: the callback gives silence whenever
    // nothing is queued, so only a device that runs in real time can show that the engine
    // keeps it fed without gaps.
    test::ScopedPulseServer pulse(f.Home.Dir());
    if (!pulse.Running()) {
        GTEST_SKIP() << pulse.Why();
    }
    const std::string raw = f.Home.Dir().File("played.raw");
    const std::string folder = f.Home.ConfigHome() + "/alsa";
    std::filesystem::create_directories(folder);
    test::WriteFileBytes(
        folder + "/asoundrc", test::ScopedPulseServer::PlaybackDevice("tvk_out", raw));
    PortAudioWaveOut out;
    ASSERT_TRUE(out.Available());
    const int32_t id = FindDevice(out, "tvk_out");
    ASSERT_GE(id, 0);

    Project& p = f.P();
    f.AddBlock(0, f.AddWave(1, 300000), 0, 1, 300000, -2.0f, 1.0f);
    f.AddBlock(1, f.AddWave(2, 60000), 10000, 1, 60000);
    p.Tracks[0].Selected = 1;
    p.Tracks[1].Selected = 1;
    p.Tracks[1].LevelL = 180;
    f.ShapeEnvelopes();
    // Several seconds, far more than the buffers queued at the start: the device must get
    // the buffers back to back.
    p.MarkIn = 15000;
    p.MarkOut = 15000 + 264600;

    f.Logic.Options().DevOutID[0] = id;
    test::ManualClock clock;
    PlaybackEngine engine(out, f.Logic.Proj(), f.Logic.Ui(), f.Logic.Options(), clock);
    Transport transport(f.Logic, engine);
    ASSERT_TRUE(transport.PlayRange(PlayMode::Selection));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (engine.Mode() != PlayMode::Stopped && std::chrono::steady_clock::now() < deadline) {
        engine.TimerProg();
        engine.TimerVU();
        std::this_thread::yield();
    }
    ASSERT_EQ(engine.Mode(), PlayMode::Stopped);
    EXPECT_EQ(f.Ui.BoxTexts().size(), 0u);

    const std::string bytes = test::ReadFileBytes(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    // The device may play some silence before the first buffer.
    size_t first = 0;
    while (first < samples.size() && samples[first] == 0)
        ++first;
    first -= first % 2;
    const std::vector<int16_t> expected = test::ReferenceMix(p, f.Logic.Options().PlayTrimDB, 15000,
        264600, [&](int32_t t) { return p.Tracks[t].Selected != 0; });
    ASSERT_NE(expected[0], 0);
    const std::vector<int16_t> tail(samples.begin() + static_cast<long>(first), samples.end());
    ASSERT_GE(tail.size(), expected.size());
    EXPECT_EQ(test::FirstDifference(test::Frames(tail, 0, 264600), expected), -1);
    EXPECT_TRUE(test::AllZero(
        std::vector<int16_t>(tail.begin() + static_cast<long>(expected.size()), tail.end())));
}

TEST(PortAudioWaveOut, PlaysQueuedBuffersOnTheJackDevice)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    test::ScopedJackServer jack(home.Dir());
    if (!jack.Running()) {
        GTEST_SKIP() << jack.Why();
    }
    PortAudioWaveOut out;
    ASSERT_TRUE(out.Available());
    const int32_t id = FindDevice(out, kJackDevice);
    ASSERT_GE(id, 0) << "PortAudio lists no JACK output";
    WaveHandle handle = kNoWaveHandle;
    ASSERT_EQ(out.Open(id, WaveFormat {}, handle), kWaveOk) << out.ErrorText(kWaveErrFailed);

    TestBuffers buffers(6, 4410);
    for (WaveHeader& h : buffers.Headers) {
        ASSERT_EQ(out.Prepare(handle, h), kWaveOk);
        ASSERT_EQ(out.Write(handle, h), kWaveOk);
    }
    // A pause and a restart on the way change nothing of what is played.
    ASSERT_EQ(out.Pause(handle), kWaveOk);
    ASSERT_EQ(out.Restart(handle), kWaveOk);
    ASSERT_TRUE(test::WaitFor([&] { return buffers.AllDone(); }));
    // Once everything is handed over the heard position runs on to all of it.
    const uint32_t total = 6 * 4410 * 4;
    uint32_t heard = 0;
    EXPECT_TRUE(test::WaitFor([&] {
        return out.GetPosition(handle, heard) == kWaveOk && heard == total;
    })) << heard;
    for (WaveHeader& h : buffers.Headers)
        EXPECT_EQ(out.Unprepare(handle, h), kWaveOk);
    EXPECT_EQ(out.Close(handle), kWaveOk);
}

TEST(PortAudioWaveOut, ResetDuringPlayReturnsWithEveryBufferDone)
{
    TARVOK_IGNORE_LIBRARY_LEAKS;
    test::ScopedHome home;
    test::ScopedJackServer jack(home.Dir());
    if (!jack.Running()) {
        GTEST_SKIP() << jack.Why();
    }
    PortAudioWaveOut out;
    ASSERT_TRUE(out.Available());
    const int32_t id = FindDevice(out, kJackDevice);
    ASSERT_GE(id, 0);
    WaveHandle handle = kNoWaveHandle;
    ASSERT_EQ(out.Open(id, WaveFormat {}, handle), kWaveOk);

    // A minute queued: the reset comes while nearly all of it is still to play.
    TestBuffers buffers(30, 88200);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        for (WaveHeader& h : buffers.Headers) {
            ASSERT_EQ(out.Prepare(handle, h), kWaveOk);
            ASSERT_EQ(out.Write(handle, h), kWaveOk);
        }
        uint32_t heard = 0;
        ASSERT_TRUE(
            test::WaitFor([&] { return out.GetPosition(handle, heard) == kWaveOk && heard > 0; }));
        EXPECT_FALSE(buffers.Headers.back().IsDone());
        if (round == 1) {
            ASSERT_EQ(out.Pause(handle), kWaveOk); // a paused device resets the same way
        }
        ASSERT_EQ(out.Reset(handle), kWaveOk);
        EXPECT_TRUE(buffers.AllDone());
        ASSERT_EQ(out.GetPosition(handle, heard), kWaveOk);
        EXPECT_EQ(heard, 0u);
    }
    EXPECT_EQ(out.Close(handle), kWaveOk);
}

} // namespace tarvok
