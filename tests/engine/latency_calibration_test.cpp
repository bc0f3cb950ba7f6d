#include "engine/latency_calibration.h"

#include "core/headless_ui.h"
#include "core/settings.h"
#include "engine/engine_fixture.h"
#include "engine/loopback_devices.h"
#include "engine/recording_engine.h"
#include "support/started_logic.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tarvok {

namespace {

/// pFrames stereo frames of low noise with a click at pAt (when pAt >= 0).
std::vector<int16_t> NoiseWithClick(int64_t pFrames, int64_t pAt, int16_t pNoise)
{
    std::vector<int16_t> s(static_cast<size_t>(pFrames) * 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(
            static_cast<int32_t>((i * 7919) % 17) * pNoise / 16 - pNoise / 2);
    if (pAt >= 0) {
        const std::vector<int16_t> click = MakeClick(64);
        for (size_t i = 0;
             i < click.size() && 2 * pAt + static_cast<int64_t>(i) < static_cast<int64_t>(s.size());
             ++i)
            s[static_cast<size_t>(2 * pAt) + i] = static_cast<int16_t>(click[i] / 2);
    }
    return s;
}

} // namespace

TEST(LatencyCalibration, TheClickOnsetIsTheFirstFrameNearItsPeak)
{
    struct Case {
        int64_t At;
        int16_t Noise;
        std::optional<int64_t> Want;
        const char* What;
    };
    const Case kCases[] = {
        { 0, 0, 0, "at the first frame" },
        { 4410, 0, 4410, "in silence" },
        { 12345, 2000, 12345, "over noise well below it" },
        { -1, 0, std::nullopt, "silence only" },
        { -1, 800, std::nullopt, "noise only, below the least click" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(FindClickOnset(NoiseWithClick(20000, c.At, c.Noise)), c.Want);
    }
    // One channel is enough.
    std::vector<int16_t> right(2000, 0);
    right[2 * 700 + 1] = -20000;
    EXPECT_EQ(FindClickOnset(right), 700);
}

TEST(LatencyCalibration, TheAnchorIsTheMedianOfTheFirstSteadyReadingsAndStaysPut)
{
    TakeAlignment a;
    EXPECT_FALSE(a.Anchor());
    // Heard 1000 + 50k, input 500 + 50k, input latency 100: input frame 0 was heard at 400.
    // The first reading has nothing to follow, so it does not count.
    a.AddReading(1000, 500, 100);
    EXPECT_FALSE(a.Anchor());
    for (int k = 1; k <= TakeAlignment::kReadings; ++k)
        a.AddReading(1000.0 + 50 * k + (k == 3 ? 20 : 0), 500.0 + 50 * k, 100);
    ASSERT_TRUE(a.Anchor());
    EXPECT_DOUBLE_EQ(*a.Anchor(), 400); // the late reading moves nothing
    EXPECT_TRUE(a.Full());
    // A clock correction needs a fixed point: later readings move nothing.
    a.AddReading(99999, 0, 0);
    a.AddReading(1000.0 + 50 * 40 + 9000, 500.0 + 50 * 40, 100);
    EXPECT_DOUBLE_EQ(*a.Anchor(), 400);
    a.Reset();
    EXPECT_FALSE(a.Anchor());
    a.AddReading(0, 0, 0);
    a.AddReading(10, 6, 1);
    a.AddReading(20, 14, 1);
    EXPECT_DOUBLE_EQ(*a.Anchor(), 4); // the middle of two
}

TEST(LatencyCalibration, ReadingsWhileAClockStandsOrTheClocksSettleDoNotCount)
{
    TakeAlignment a;
    double heard = 0, input = 0;
    auto read = [&](double pHeardStep, double pInputStep) {
        heard += pHeardStep;
        input += pInputStep;
        a.AddReading(heard, input, 0);
    };
    read(0, 0);
    // The output's position held while the server fills its buffer, the input running on.
    for (int k = 0; k < 10; ++k)
        read(0, 2205);
    EXPECT_FALSE(a.Anchor());
    // An input that stalls while the output runs.
    for (int k = 0; k < 10; ++k)
        read(2205, 0);
    EXPECT_FALSE(a.Anchor());
    // Both run, the reported delays still off; then the server settles and the heard
    // position steps 9000 frames on. Only what follows the step makes the anchor, however
    // many readings came before it.
    for (int k = 0; k < 20; ++k)
        read(2205, 2205);
    const double before = *a.Anchor();
    read(2205 + 9000, 2205); // the step itself moves by too much to count
    EXPECT_DOUBLE_EQ(*a.Anchor(), before);
    read(2205, 2205);
    read(2205 + 300, 2205); // one late reading
    read(2205 - 300, 2205);
    ASSERT_TRUE(a.Anchor());
    EXPECT_DOUBLE_EQ(*a.Anchor(), before + 9000);
}

TEST(LatencyCalibration, TheOffsetArithmeticPlacesATakeWhereItWasPlayedAlong)
{
    struct Case {
        double Anchor;
        int64_t First;
        int64_t Offset;
        int32_t Want;
    };
    const Case kCases[] = {
        { 400, 1000, 0, 1400 }, { 400.5, 1000, 0, 1400 }, // half to even
        { 401.5, 1000, 0, 1402 }, { 400, 1000, 300, 1100 }, { 400, 1000, -300, 1700 },
        { -5000, 1000, 0, 0 }, // never before the start
        { 0, 1000, 0, 900 }, // clamped to the last frame given
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Anchor);
        SCOPED_TRACE(c.Offset);
        EXPECT_EQ(PlaceTakeStart(c.Anchor, c.First, c.Offset, 900 + (c.Want == 900 ? 0 : 100000)),
            c.Want);
    }
    // A click played at 44100 and heard back at input frame 50000 with the anchor at -5700
    // landed 200 frames late; placing it by that offset puts it where it was played.
    EXPECT_EQ(MeasuredOffsetFrames(-5700, 50000, 44100), 200);
    EXPECT_EQ(PlaceTakeStart(-5700, 50000, 200, 1 << 30), 44100);
    EXPECT_EQ(FramesToUs(441, 44100), 10000);
    EXPECT_EQ(UsToFrames(10000, 44100), 441);
    EXPECT_EQ(UsToFrames(-4535, 44100), -200);
}

TEST(LatencyCalibration, OffsetsAreStoredPerDevicePair)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    const std::string out = "Out = A [hw:0,0] ";
    const std::string in = "In|B";
    EXPECT_FALSE(StoredLatencyOffsetUs(store, out, in));
    ASSERT_TRUE(StoreLatencyOffsetUs(store, out, in, -1234));
    ASSERT_TRUE(StoreLatencyOffsetUs(store, in, out, 77));
    EXPECT_EQ(StoredLatencyOffsetUs(store, out, in), -1234);
    EXPECT_EQ(StoredLatencyOffsetUs(store, in, out), 77);
    EXPECT_FALSE(StoredLatencyOffsetUs(store, out, "In"));
    // The name of the value holds neither "=" nor a space nor the pair's separator twice.
    const std::string key = LatencyOffsetKey(out, in);
    EXPECT_EQ(key.find('='), std::string::npos);
    EXPECT_EQ(key.find(' '), std::string::npos);
    EXPECT_EQ(key.find('|'), key.rfind('|'));
}

TEST(LatencyCalibration, TheRoundTripMeasuresWhatTheDevicesDoNotReport)
{
    struct Case {
        int64_t OutputLatency, InputLatency, Unreported;
    };
    const Case kCases[] = { { 0, 0, 0 }, { 2205, 441, 0 }, { 2205, 441, 300 }, { 0, 0, -50 } };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Unreported);
        SCOPED_TRACE(c.OutputLatency);
        test::LoopbackLine line;
        line.OutputLatency = c.OutputLatency;
        line.InputLatency = c.InputLatency;
        line.Unreported = c.Unreported;
        line.Now = 1000; // the input starts before the output, as it does on a card
        test::LoopbackOut out(line);
        test::LoopbackIn in(line);
        test::LoopbackClock clock(line, out, in);
        HeadlessUi ui;
        const Result<RoundTripResult> r = MeasureRoundTrip(out, in, {}, clock, ui);
        ASSERT_TRUE(r) << r.error().Message;
        EXPECT_EQ(r->OffsetFrames, c.Unreported);
        EXPECT_DOUBLE_EQ(r->ReportedOutputMs, c.OutputLatency * 1000.0 / 44100);
        EXPECT_EQ(r->Readings, TakeAlignment::kReadings);
    }
}

TEST(LatencyCalibration, NoClickBackAndNoDeviceAreFailuresThatSayWhy)
{
    test::LoopbackLine line;
    line.Unreported = 10 * 44100; // never comes back while the input listens
    test::LoopbackOut out(line);
    test::LoopbackIn in(line);
    test::LoopbackClock clock(line, out, in);
    HeadlessUi ui;
    Result<RoundTripResult> r = MeasureRoundTrip(out, in, {}, clock, ui);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().Message, kLatencyNoClickText);
    RoundTripRequest request;
    request.InputId = 5;
    r = MeasureRoundTrip(out, in, request, clock, ui);
    ASSERT_FALSE(r);
    EXPECT_TRUE(r.error().Message.starts_with(kLatencyOpenFailedText)) << r.error().Message;
}

namespace {

/// The main window with playback and recording on a loopback pair: track 1 plays a click at
/// kClickAt, track 0 records what comes back.
struct OverdubFixture : test::StartedLogic<HeadlessUi> {
    static constexpr int32_t kClickAt = 66150;
    test::LoopbackLine Line;
    test::LoopbackOut Out { Line };
    test::LoopbackIn In { Line };
    test::LoopbackClock Clock { Line, Out, In };
    std::unique_ptr<PlaybackEngine> Engine;
    std::unique_ptr<Transport> Trans;
    std::unique_ptr<RecordingEngine> Rec;

    OverdubFixture()
    {
        const std::vector<int16_t> click = MakeClick(64);
        test::AddBlockWithFile(Logic,
            test::Stereo16(
                4 * 44100,
                [&](int64_t f) {
                    return f >= kClickAt && f < kClickAt + 64 ? click[2 * (f - kClickAt)] : 0;
                },
                [&](int64_t f) {
                    return f >= kClickAt && f < kClickAt + 64 ? click[2 * (f - kClickAt) + 1] : 0;
                }),
            1, 0);
        for (Track& t : P().Tracks) {
            t.PlaySelected = 0;
            t.RecSelected = 0;
        }
        P().Tracks[1].PlaySelected = 1;
        P().Tracks[0].RecCh = 0;
        P().Tracks[0].RecSelected = 1;
        Engine = std::make_unique<PlaybackEngine>(Out, P(), Logic.Ui(), Logic.Options(), Clock);
        Trans = std::make_unique<Transport>(Logic, *Engine);
        Rec = std::make_unique<RecordingEngine>(
            In, *Engine, P(), Logic.Ui(), Logic.Options(), Logic.Folder());
        Trans->AttachRecorder(*Rec);
    }
    ~OverdubFixture()
    {
        Engine->DetachRecorderTicks();
        Logic.Recorder = nullptr;
        Rec.reset();
    }

    /// Records against playback for three seconds; the timeline frame of the click in the
    /// take, or -1 when none was taken.
    int64_t Overdub()
    {
        P().Head = 0;
        Line.Now += 777; // the clock does not start with the devices
        EXPECT_TRUE(Trans->RunCommand(kCmdRecNow));
        for (int i = 0; i < 60; ++i) {
            Clock.Wait(50, Ui);
            Engine->TimerProg();
            Engine->TimerVU();
        }
        Trans->RunCommand(kCmdStop);
        return test::ClickInTake(P(), 0);
    }
};

} // namespace

TEST(LatencyCalibration, AnOverdubLinesUpWithWhatWasPlayedOnceTheRoundTripIsStored)
{
    struct Case {
        int64_t OutputLatency, InputLatency, Unreported;
        bool Stored;
        int64_t Want; ///< where the click lands, less where it was played
    };
    const Case kCases[] = {
        { 2205, 1102, 0, false, 0 }, // the reported latencies alone are enough
        { 2205, 1102, 300, false, 300 }, // the rest of the way back shows
        { 2205, 1102, 300, true, 0 }, // and the stored round trip takes it out
        { 0, 0, -120, true, 0 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Unreported);
        SCOPED_TRACE(c.Stored);
        OverdubFixture f;
        f.Line.OutputLatency = c.OutputLatency;
        f.Line.InputLatency = c.InputLatency;
        f.Line.Unreported = c.Unreported;
        if (c.Stored) {
            // Measured on the same pair, through the command's own measurement.
            test::LoopbackLine line = f.Line;
            test::LoopbackOut out(line);
            test::LoopbackIn in(line);
            test::LoopbackClock clock(line, out, in);
            const Result<RoundTripResult> r = MeasureRoundTrip(out, in, {}, clock, f.Ui);
            ASSERT_TRUE(r) << r.error().Message;
            ASSERT_TRUE(StoreLatencyOffsetUs(
                f.Store, "loop out", "loop in", FramesToUs(r->OffsetFrames, 44100)));
        }
        const int64_t landed = f.Overdub();
        ASSERT_GE(landed, 0);
        EXPECT_EQ(landed - OverdubFixture::kClickAt, c.Want);
    }
}

} // namespace tarvok
