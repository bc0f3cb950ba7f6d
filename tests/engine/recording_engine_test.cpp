#include "engine/recording_engine.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/time_text.h"
#include "core/wave_info.h"
#include "engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvok {

using test::EngineFixture;

namespace {

/// A source of pFrames stereo frames: pLeft(f), pRight(f).
template <class L, class R> std::vector<int16_t> Source(int64_t pFrames, L pLeft, R pRight)
{
    std::vector<int16_t> s;
    s.reserve(static_cast<size_t>(pFrames) * 2);
    for (int64_t f = 0; f < pFrames; ++f) {
        s.push_back(static_cast<int16_t>(pLeft(f)));
        s.push_back(static_cast<int16_t>(pRight(f)));
    }
    return s;
}

int16_t Left(int32_t pSeed, int64_t f) { return test::Signal(pSeed, f, 0); }
int16_t Right(int32_t pSeed, int64_t f) { return test::Signal(pSeed, f, 1); }
/// A signal that never comes near silence: at least 2,700 in magnitude.
int16_t Loud(int32_t pSeed, int64_t f, int pChannel)
{
    return static_cast<int16_t>(test::Signal(pSeed, f, pChannel) / 4 + 5000);
}

/// The main window with a playback engine on virtual outputs, a recording engine on two
/// virtual inputs and the transport attached.
struct RecFixture : EngineFixture {
    VirtualWaveIn In { 2 };
    std::unique_ptr<RecordingEngine> Rec;
    int64_t InputFrames = 0;

    RecFixture()
    {
        Logic.Options().DevInID[1] = 1; // slots 0 and 1 enabled
        Engine->ComputeDeviceSlots();
        Rec = std::make_unique<RecordingEngine>(
            In, *Engine, Logic.Proj(), Logic.Ui(), Logic.Options(), Logic.Folder());
        Transport->AttachRecorder(*Rec);
        for (Track& t : P().Tracks) {
            t.PlaySelected = 0;
            t.RecSelected = 0;
        }
    }
    ~RecFixture()
    {
        Engine->DetachRecorderTicks();
        Logic.Recorder = nullptr;
        Rec.reset();
    }

    void Arm(int32_t pTrack, int32_t pRecCh)
    {
        P().Tracks[pTrack].RecCh = pRecCh;
        P().Tracks[pTrack].RecSelected = 1;
    }
    bool Command(int32_t pId) { return Transport->RunCommand(pId); }

    /// Runs the clock pFrames frames on in 50 ms ticks (input pInputRate times as fast as
    /// the outputs), with both timers after each.
    void Run(int64_t pFrames, double pInputRate = 1.0)
    {
        const int64_t tick = P().SampleRate / 20;
        double inputDebt = 0;
        for (int64_t done = 0; done < pFrames; done += tick) {
            const int64_t n = std::min(tick, pFrames - done);
            inputDebt += n * pInputRate;
            const int64_t in = static_cast<int64_t>(inputDebt);
            inputDebt -= static_cast<double>(in);
            In.AdvanceFrames(in);
            InputFrames += in;
            Device.AdvanceFrames(n);
            Clock.NowMs += 50;
            Engine->TimerProg();
            Engine->TimerVU();
        }
    }

    /// The 16-bit stereo samples of a block's file.
    std::vector<int16_t> BlockSamples(const Block& pBlock)
    {
        const WaveFile& w = P().WaveFiles[pBlock.WaveNo];
        const std::string bytes = test::ReadFileBytes(w.FileName);
        std::vector<int16_t> s((bytes.size() - w.DataOffset) / 2);
        std::memcpy(s.data(), bytes.data() + w.DataOffset, s.size() * 2);
        return s;
    }
    std::vector<const Block*> BlocksOn(int32_t pTrack)
    {
        std::vector<const Block*> out;
        for (const Block& b : P().Blocks)
            if (b.TrackNo == pTrack)
                out.push_back(&b);
        return out;
    }
};

/// Frames pFrom .. pFrom + pCount - 1 of a source, with channel pChannel (0, 1) in both
/// channels or, for -1, both as they are.
std::vector<int16_t> Expect(
    const std::vector<int16_t>& pSource, int64_t pFrom, int64_t pCount, int pChannel)
{
    std::vector<int16_t> out;
    for (int64_t f = pFrom; f < pFrom + pCount; ++f)
        for (int c = 0; c < 2; ++c)
            out.push_back(pSource[2 * f + (pChannel < 0 ? c : pChannel)]);
    return out;
}

/// One byte through a pipe: a step of a test that runs in two processes.
void Notify(int pFd)
{
    const char c = 1;
    ASSERT_EQ(write(pFd, &c, 1), 1);
}
bool Await(int pFd)
{
    char c = 0;
    return read(pFd, &c, 1) == 1;
}

/// The recording markers in a folder, by full path.
std::vector<std::string> MarkersIn(const std::string& pFolder)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(pFolder))
        if (e.path().string().ends_with(kRecMarkerSuffix))
            out.push_back(e.path().string());
    return out;
}

/// Kills and reaps a forked child when the test leaves, however it leaves.
struct ChildGuard {
    pid_t Pid = -1;
    ~ChildGuard()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            int status = 0;
            waitpid(Pid, &status, 0);
        }
    }
    void Reap()
    {
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = -1;
    }
};

bool AnyStartsWith(const std::vector<std::string>& pTexts, std::string_view pStart)
{
    return std::any_of(
        pTexts.begin(), pTexts.end(), [&](const std::string& t) { return t.starts_with(pStart); });
}

int32_t RecordedWavesInFolder(const std::string& pFolder)
{
    int32_t n = 0;
    for (int32_t i = 1; i < 50; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "~t%06d.wav", i);
        n += FileExists(pFolder + name) ? 1 : 0;
    }
    return n;
}

} // namespace

TEST(RecChoice, TextsMenuItemsAndOverlaps)
{
    EXPECT_EQ(RecChText(0), "1+2");
    EXPECT_EQ(RecChText(7), "15+16");
    EXPECT_EQ(RecChText(102), "3");
    EXPECT_EQ(RecChText(115), "16");
    EXPECT_EQ(RecChOfMenuItem(3), 3);
    EXPECT_EQ(RecChOfMenuItem(8), 100);
    EXPECT_EQ(RecChOfMenuItem(23), 115);
    const std::array<int32_t, 8> enabled { 1, 0, 1, 0, 0, 0, 0, 0 };
    EXPECT_TRUE(RecChMenuItemVisible(0, enabled));
    EXPECT_FALSE(RecChMenuItemVisible(1, enabled));
    EXPECT_TRUE(RecChMenuItemVisible(9, enabled)); // slot 0 right
    EXPECT_FALSE(RecChMenuItemVisible(10, enabled)); // slot 1 left
    EXPECT_TRUE(RecChMenuItemVisible(12, enabled)); // slot 2 left

    struct Case {
        int32_t A, B;
        bool Overlap;
    };
    const Case cases[] = { { 0, 0, true }, { 0, 100, true }, { 101, 0, true }, { 100, 101, false },
        { 1, 100, false }, { 102, 102, true }, { 0, 1, false }, { 103, 1, true } };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.A) + " " + std::to_string(c.B));
        EXPECT_EQ(RecChOverlaps(c.A, c.B), c.Overlap);
    }
}

TEST(RecChoice, ArmingDisarmsOverlappingTracksAndRefusesDisabledSlots)
{
    Project p;
    p.SetTrackCount(4);
    const std::array<int32_t, 8> enabled { 1, 0, 0, 0, 0, 0, 0, 0 };
    p.Tracks[0].RecCh = 0;
    p.Tracks[1].RecCh = 100;
    p.Tracks[2].RecCh = 101;
    p.Tracks[3].RecCh = 1; // slot 1 is not enabled
    EXPECT_TRUE(ToggleRecArm(p, 1, enabled, false));
    EXPECT_TRUE(ToggleRecArm(p, 2, enabled, false));
    EXPECT_EQ(p.Tracks[1].RecSelected, 1); // left and right of one slot coexist
    EXPECT_EQ(p.Tracks[2].RecSelected, 1);
    EXPECT_TRUE(ToggleRecArm(p, 0, enabled, false)); // the stereo input disarms both
    EXPECT_EQ(p.Tracks[0].RecSelected, 1);
    EXPECT_EQ(p.Tracks[1].RecSelected, 0);
    EXPECT_EQ(p.Tracks[2].RecSelected, 0);
    EXPECT_FALSE(ToggleRecArm(p, 3, enabled, false));
    EXPECT_EQ(p.Tracks[3].RecSelected, 0);
    EXPECT_FALSE(ToggleRecArm(p, 1, enabled, true)); // refused while recording
    // Choosing a channel of the armed stereo input for another armed track disarms it.
    p.Tracks[3].RecCh = 100;
    p.Tracks[3].RecSelected = 1;
    EXPECT_TRUE(ChooseRecInput(p, 3, 9, enabled, false)); // item 9 = slot 0 right
    EXPECT_EQ(p.Tracks[3].RecCh, 101);
    EXPECT_EQ(p.Tracks[0].RecSelected, 0);
    EXPECT_FALSE(ChooseRecInput(p, 3, 8, enabled, true));
}

TEST(RecordingEngine, NoArmedTrackReportsAndStartsNothing)
{
    RecFixture f;
    EXPECT_FALSE(f.Command(kCmdRec));
    EXPECT_EQ(f.Ui.LastStatus(), kRecSelectTrackText);
    EXPECT_FALSE(f.Logic.Recording);
}

TEST(RecordingEngine, SlotOneLeftIsDoubledIntoBothChannelsAtTheHead)
{
    RecFixture f;
    // The input reads its frames from a WAV file.
    const std::vector<int16_t> src = Source(
        200000, [](int64_t x) { return Left(3, x); }, [](int64_t x) { return Right(3, x); });
    const std::string wav = f.Home.Dir().File("in.wav");
    std::string bytes(reinterpret_cast<const char*>(src.data()), src.size() * 2);
    ASSERT_TRUE(test::WriteWav(wav, test::PcmSpec(f.P().SampleRate, 16, 2, bytes)));
    ASSERT_TRUE(f.In.LoadSourceWav(1, wav));
    f.P().Head = 5000;
    f.Arm(2, 102); // input 3: slot 1 left
    ASSERT_TRUE(f.Command(kCmdRec));
    EXPECT_EQ(f.Ui.LastStatus(), kRecPressPlayText);
    f.Run(13230); // 0.3 s of standby: monitored, not written
    ASSERT_TRUE(f.Command(kCmdPlay));
    f.Run(110250); // 2.5 s
    f.Command(kCmdStop);
    EXPECT_FALSE(f.Logic.Recording);
    const auto blocks = f.BlocksOn(2);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->StartAdr, 5000);
    // A take is an unnamed block over the whole of its file.
    EXPECT_TRUE(blocks[0]->Name.empty());
    EXPECT_EQ(blocks[0]->SrcStart, 1);
    EXPECT_EQ(blocks[0]->SrcEnd, f.P().WaveFiles[blocks[0]->WaveNo].Length);
    // Everything the input delivered after PLAY, the last partly filled buffer included.
    EXPECT_EQ(blocks[0]->Length, 110250);
    EXPECT_EQ(f.BlockSamples(*blocks[0]), Expect(src, 13230, 110250, 0));
    EXPECT_EQ(f.P().Head, 5000 + 110250);
    EXPECT_EQ(ReadWaveInfo(f.P().WaveFiles[blocks[0]->WaveNo].FileName).Frames, 110250);
    // The peaks came along: some entry is non-zero.
    const PeakArray& peaks = f.P().Peaks[blocks[0]->WaveNo];
    EXPECT_NE(std::count(peaks.begin(), peaks.end(), 0), static_cast<long>(peaks.size()));
}

TEST(RecordingEngine, BothChannelsOfOneSlotGoToTwoFilesAndStereoIsCopiedUnchanged)
{
    RecFixture f;
    const std::vector<int16_t> s0 = Source(
        100000, [](int64_t x) { return Left(1, x); }, [](int64_t x) { return Right(1, x); });
    const std::vector<int16_t> s1 = Source(
        100000, [](int64_t x) { return Left(2, x); }, [](int64_t x) { return Right(2, x); });
    f.In.SetSource(0, s0);
    f.In.SetSource(1, s1);
    f.Arm(0, 100);
    f.Arm(1, 101);
    f.Arm(3, 1); // stereo of slot 1, level 0 dB and trim 0 dB: unchanged
    ASSERT_TRUE(f.Command(kCmdRecNow));
    f.Run(66150);
    f.Command(kCmdStop);
    for (int32_t t : { 0, 1, 3 }) {
        SCOPED_TRACE(t);
        const auto blocks = f.BlocksOn(t);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0]->StartAdr, 0);
        const std::vector<int16_t> want
            = t == 3 ? Expect(s1, 0, 66150, -1) : Expect(s0, 0, 66150, t);
        EXPECT_EQ(f.BlockSamples(*blocks[0]), want);
    }
}

TEST(RecordingEngine, SlotLevelsAndTrimScaleTheInput)
{
    RecFixture f;
    const std::vector<int16_t> src = Source(
        50000, [](int64_t x) { return Left(4, x); }, [](int64_t) { return 30000; });
    f.In.SetSource(0, src);
    f.Logic.Options().LevelLdb[0] = -6.0f;
    f.Logic.Options().LevelRdb[0] = 6.0f;
    f.Logic.Options().RecTrimDB = -1.0f;
    f.Arm(0, 0);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    f.Run(44100);
    f.Command(kCmdStop);
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 1u);
    const std::vector<int16_t> got = f.BlockSamples(*blocks[0]);
    ASSERT_EQ(got.size(), 88200u);
    for (int64_t x : { 0, 777, 44099 }) {
        SCOPED_TRACE(x);
        EXPECT_EQ(got[2 * x], Saturate16(Left(4, x) * (DbToFactor(-1.0) * DbToFactor(-6.0))));
        EXPECT_EQ(got[2 * x + 1], 32767); // saturated
    }
}

TEST(RecordingEngine, VoiceStartBeginsAtTheFirstLoudFramePlacedRelativeToTheEarliest)
{
    RecFixture f;
    f.Logic.Options().UseMuonStart = 1; // -40 dB: amplitude 328
    auto quietThenLoud = [](int64_t pLoudFrom, int32_t pSeed) {
        return Source(
            200000, [=](int64_t x) { return x < pLoudFrom ? 328 : Loud(pSeed, x, 0); },
            [=](int64_t x) { return x < pLoudFrom ? -328 : -Loud(pSeed, x, 1); });
    };
    const std::vector<int16_t> s0 = quietThenLoud(30000, 1);
    const std::vector<int16_t> s1 = quietThenLoud(50001, 2);
    f.In.SetSource(0, s0);
    f.In.SetSource(1, s1);
    f.P().Head = 1000;
    f.Arm(4, 1);
    f.Arm(5, 0);
    ASSERT_TRUE(f.Command(kCmdRec)); // no PLAY: the voice starts it
    f.Run(150000);
    EXPECT_TRUE(f.Rec->RecStarted);
    f.Command(kCmdStop);
    const auto b5 = f.BlocksOn(5);
    const auto b4 = f.BlocksOn(4);
    ASSERT_EQ(b5.size(), 1u);
    ASSERT_EQ(b4.size(), 1u);
    EXPECT_EQ(b5[0]->StartAdr, 1000);
    EXPECT_EQ(b4[0]->StartAdr, 1000 + 20001);
    EXPECT_EQ(f.BlockSamples(*b5[0]), Expect(s0, 30000, 150000 - 30000, -1));
    EXPECT_EQ(f.BlockSamples(*b4[0]), Expect(s1, 50001, 150000 - 50001, -1));
}

TEST(RecordingEngine, VoiceStopCutsWhereTheQuietBeganAndStopsEverything)
{
    RecFixture f;
    f.Logic.Options().UseMuonStop = 1; // -40 dB for 3000 ms
    const int64_t quietFrom = 70123;
    const std::vector<int16_t> src = Source(
        400000, [=](int64_t x) { return x < quietFrom ? Loud(5, x, 0) : 327; },
        [=](int64_t x) { return x < quietFrom ? Loud(5, x, 1) : -327; });
    f.In.SetSource(0, src);
    f.Arm(0, 0);
    f.P().Tracks[1].PlaySelected = 1;
    f.AddBlock(1, f.AddWave(9, 300000), 0, 1, 300000);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    EXPECT_TRUE(f.Logic.Playing);
    f.Run(350000);
    // Every target stopped: recording and playback ended by themselves.
    EXPECT_FALSE(f.Logic.Recording);
    EXPECT_FALSE(f.Logic.Playing);
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->Length, quietFrom);
    EXPECT_EQ(f.BlockSamples(*blocks[0]), Expect(src, 0, quietFrom, -1));
}

TEST(RecordingEngine, StopDuringStandbyLeavesTheProjectUnchanged)
{
    RecFixture f;
    f.AddBlock(0, f.AddWave(1, 50000), 100, 1, 50000);
    const std::vector<Block> before = f.P().Blocks;
    const int32_t undo = f.P().UndoCounter;
    f.In.SetSource(0,
        Source(
            100000, [](int64_t x) { return Left(1, x); }, [](int64_t x) { return Right(1, x); }));
    f.Arm(0, 0);
    ASSERT_TRUE(f.Command(kCmdRec));
    f.Run(100000);
    EXPECT_FALSE(f.Rec->RecStarted);
    f.Command(kCmdStop);
    EXPECT_FALSE(f.Logic.Recording);
    EXPECT_EQ(f.P().Blocks, before);
    EXPECT_EQ(f.P().UndoCounter, undo);
    EXPECT_EQ(RecordedWavesInFolder(f.Logic.Folder().Path()), 0);
    EXPECT_TRUE(FindOrphanedRecordings(f.Logic.Folder().Path()).empty());
}

TEST(RecordingEngine, RecordingErasesTheRangeAndIsOneUndoStep)
{
    RecFixture f;
    f.AddBlock(0, f.AddWave(1, 200000), 0, 1, 200000);
    f.In.SetSource(0,
        Source(
            100000, [](int64_t x) { return Left(2, x); }, [](int64_t x) { return Right(2, x); }));
    f.P().Head = 50000;
    f.Arm(0, 0);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    f.Run(44100);
    f.Command(kCmdStop);
    // The old block is cut around the new one.
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 3u);
    int16_t frame[2];
    ASSERT_TRUE(test::TrackSample(f.P(), 0, 50000 + 10, frame));
    EXPECT_EQ(frame[0], Left(2, 10));
    ASSERT_TRUE(test::TrackSample(f.P(), 0, 49999, frame));
    EXPECT_EQ(frame[0], test::Signal(1, 49999, 0));
    ASSERT_TRUE(test::TrackSample(f.P(), 0, 50000 + 44100, frame));
    EXPECT_EQ(frame[0], test::Signal(1, 50000 + 44100, 0));
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    ASSERT_EQ(f.BlocksOn(0).size(), 1u);
    EXPECT_EQ(f.P().Blocks[0].Length, 200000);
}

TEST(RecordingEngine, PlaybackFollowsADriftingInputClock)
{
    for (int32_t adjust : { 1, 0 }) {
        SCOPED_TRACE(adjust);
        RecFixture f;
        f.Logic.Options().UseAdjustClock = adjust;
        f.In.SetSource(0,
            Source(
                2000000, [](int64_t x) { return Left(2, x); },
                [](int64_t x) { return Right(2, x); }));
        f.P().Tracks[1].PlaySelected = 1;
        f.AddBlock(1, f.AddWave(9, 1500000), 0, 1, 1500000);
        f.Arm(0, 0);
        // A second in: however far the clocks disagree, the whole take lies on the timeline
        // (a take placed partly before its start loses that part).
        constexpr int32_t kFrom = 44100;
        f.P().Head = kFrom;
        ASSERT_TRUE(f.Command(kCmdRec));
        f.Run(4410);
        const int64_t startIn = f.InputFrames;
        ASSERT_TRUE(f.Command(kCmdPlay));
        EXPECT_TRUE(f.Logic.Playing);
        f.Run(882000, 1.01); // 20 s with the input clock 1 % fast
        const int64_t drift = (f.InputFrames - startIn) - 882000;
        // The head follows the input clock.
        EXPECT_EQ(f.P().Head, kFrom + f.InputFrames - startIn);
        if (adjust) {
            // The correction is a lagging average of the measured drift.
            EXPECT_GT(f.Engine->AppliedDrift(), drift * 7 / 10);
            EXPECT_LE(f.Engine->AppliedDrift(), drift);
        } else {
            EXPECT_EQ(f.Engine->AppliedDrift(), 0);
        }
        f.Command(kCmdStop);
        ASSERT_EQ(f.BlocksOn(0).size(), 1u);
        EXPECT_EQ(f.BlocksOn(0)[0]->Length, f.InputFrames - startIn);
    }
}

TEST(RecordingEngine, AFailingWriteStopsAndKeepsWhatWasWritten)
{
    RecFixture f;
    const std::vector<int16_t> src = Source(
        300000, [](int64_t x) { return Left(6, x); }, [](int64_t x) { return Right(6, x); });
    f.In.SetSource(0, src);
    f.Arm(0, 0);
    int32_t appends = 0;
    f.Rec->FailAppend = [&](int32_t) { return ++appends > 2; };
    ASSERT_TRUE(f.Command(kCmdRecNow));
    f.Run(220500);
    EXPECT_FALSE(f.Logic.Recording);
    const auto boxes = f.Ui.BoxTexts();
    EXPECT_TRUE(AnyStartsWith(boxes, kRecWriteFailedText));
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->Length, 2 * 44100);
    EXPECT_EQ(f.BlockSamples(*blocks[0]), Expect(src, 0, 2 * 44100, -1));
}

TEST(RecordingEngine, AFullDiskStopsTheTakeAtTheLastWholeBufferAndKeepsIt)
{
    // Each appended buffer is three writes of the file layer: the samples, then the RIFF
    // and data sizes in the header. Whichever of them fails, and however, the take ends
    // with the buffers written completely before it, as one block, and nothing recorded
    // later is appended behind the gap.
    for (FaultKind kind : { FaultKind::NoSpace, FaultKind::ShortWrite, FaultKind::Error }) {
        for (int64_t nth = 1; nth <= 7; ++nth) {
            SCOPED_TRACE(
                testing::Message() << "kind " << static_cast<int>(kind) << " write " << nth);
            RecFixture f;
            const std::vector<int16_t> src = Source(
                300000, [](int64_t x) { return Left(4, x); },
                [](int64_t x) { return Right(4, x); });
            f.In.SetSource(0, src);
            f.Arm(0, 0);
            ASSERT_TRUE(f.Command(kCmdRecNow));
            const std::string file = f.Rec->Targets[0].FileName;
            ArmFault(FaultPoint::Write, nth, kind);
            f.Run(4 * 44100);
            const bool fired = FaultFired();
            ClearFaults();
            ASSERT_TRUE(fired);
            EXPECT_FALSE(f.Logic.Recording);
            EXPECT_FALSE(f.Rec->Recording);
            const auto boxes = f.Ui.BoxTexts();
            EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(),
                          [](const std::string& t) { return t.starts_with(kRecWriteFailedText); }),
                1);
            const int64_t kept = (nth - 1) / 3 * 44100;
            const auto blocks = f.BlocksOn(0);
            if (kept == 0) {
                EXPECT_TRUE(blocks.empty());
                EXPECT_FALSE(FileExists(file));
                continue;
            }
            ASSERT_EQ(blocks.size(), 1u);
            EXPECT_EQ(blocks[0]->StartAdr, 0);
            EXPECT_EQ(blocks[0]->Length, kept);
            EXPECT_EQ(f.BlockSamples(*blocks[0]), Expect(src, 0, kept, -1));
            const WaveInfo info = ReadWaveInfo(file);
            EXPECT_EQ(info.Valid, 1);
            EXPECT_EQ(info.Frames, kept);
            EXPECT_FALSE(FileExists(file + kRecMarkerSuffix));
        }
    }
}

TEST(RecordingEngine, AnOverrunIsCountedAndReported)
{
    RecFixture f;
    f.In.SetSource(0,
        Source(
            400000, [](int64_t x) { return Left(1, x); }, [](int64_t x) { return Right(1, x); }));
    f.Arm(0, 0);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    // Four seconds pass without a tick: three buffers fill, the fourth second is lost.
    f.In.AdvanceFrames(4 * 44100);
    f.Run(44100);
    EXPECT_GE(f.Rec->Overruns, 1);
    const auto texts = f.Ui.StatusTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), kRecOverrunText), texts.end());
    f.Command(kCmdStop);
}

TEST(RecordingEngine, AKilledRecordingLeavesAValidWaveThatIsOfferedNextTime)
{
    RecFixture f;
    const std::vector<int16_t> src = Source(
        300000, [](int64_t x) { return Left(7, x); }, [](int64_t x) { return Right(7, x); });
    f.In.SetSource(0, src);
    f.P().Head = 777;
    f.Arm(3, 0);
    const std::string folder = f.Logic.Folder().Path();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Record three whole buffers and part of a fourth, then die without any clean-up.
        f.Command(kCmdRecNow);
        f.Run(3 * 44100 + 30000);
        kill(getpid(), SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::vector<OrphanedRecording> orphans = FindOrphanedRecordings(folder);
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].TrackNo, 3);
    EXPECT_EQ(orphans[0].StartAdr, 777);
    EXPECT_EQ(orphans[0].Frames, 3 * 44100);
    const WaveInfo info = ReadWaveInfo(orphans[0].WaveFile);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, 3 * 44100);
    ASSERT_TRUE(PlaceOrphanedRecording(f.P(), f.Logic.Folder(), f.Ui, orphans[0], 0));
    const auto blocks = f.BlocksOn(3);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->StartAdr, 777);
    EXPECT_TRUE(blocks[0]->Name.empty());
    EXPECT_EQ(f.BlockSamples(*blocks[0]), Expect(src, 0, 3 * 44100, -1));
    EXPECT_TRUE(FindOrphanedRecordings(folder).empty());
}

TEST(RecordingEngine, TheNextStartOffersEachOrphanedRecording)
{
    test::ScopedHome home;
    const std::string data = home.Dir().File("data-folder") + "/";
    std::filesystem::create_directories(data);
    for (const char* name : { "~t000501.wav", "~t000502.wav" }) {
        test::WriteWav(data + name,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    3000, [](int64_t x) { return Left(1, x); },
                    [](int64_t x) { return Right(1, x); })));
    }
    test::WriteFileBytes(data + "~t000501.wav" + kRecMarkerSuffix, "2 44100 44100\r\n");
    test::WriteFileBytes(data + "~t000502.wav" + kRecMarkerSuffix, "1 0 44100\r\n");
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    ui.QueueAnswer("yes");
    ui.QueueAnswer("no");
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(data);
    ASSERT_TRUE(logic.Startup(""));
    const Project& p = logic.Proj();
    ASSERT_EQ(p.BlockCount(), 1);
    EXPECT_EQ(p.Blocks[0].TrackNo, 2);
    EXPECT_EQ(p.Blocks[0].StartAdr, 44100);
    EXPECT_EQ(p.Blocks[0].Length, 3000);
    EXPECT_FALSE(p.Saved);
    // The declined one keeps its file but is not offered again.
    EXPECT_TRUE(FileExists(data + "~t000502.wav"));
    EXPECT_TRUE(FindOrphanedRecordings(data).empty());
}

TEST(RecordingEngine, ALiveTakeOfAnotherProcessIsNeverTouched)
{
    RecFixture f;
    f.In.SetSource(0,
        Source(
            300000, [](int64_t x) { return Left(8, x); }, [](int64_t x) { return Right(8, x); }));
    f.Arm(2, 0);
    const std::string folder = f.Logic.Folder().Path();
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A take that has nothing yet, then one with a whole buffer; the parent looks at
        // the folder at each step. The child ends only when it is killed.
        f.Command(kCmdRecNow);
        Notify(toParent[1]);
        Await(toChild[0]);
        f.Run(44100 + 2205);
        Notify(toParent[1]);
        Await(toChild[0]);
        _exit(0);
    }
    // Only the child writes to the parent and reads from it: should it die, a wait ends.
    ChildGuard guard { child };
    close(toParent[1]);
    close(toChild[0]);
    struct Step {
        int32_t Frames;
    };
    for (const Step step : { Step { 0 }, Step { 44100 } }) {
        SCOPED_TRACE(step.Frames);
        if (step.Frames > 0)
            Notify(toChild[1]);
        ASSERT_TRUE(Await(toParent[0]));
        const std::vector<std::string> markers = MarkersIn(folder);
        ASSERT_EQ(markers.size(), 1u);
        const std::string wave = markers[0].substr(0, markers[0].size() - 4);
        EXPECT_TRUE(FindOrphanedRecordings(folder).empty());
        // Neither the scan nor a clean-up in this process touches the take.
        EXPECT_GE(CleanDataFolder(folder, 0, f.Ui), 0);
        EXPECT_TRUE(FileExists(markers[0]));
        EXPECT_TRUE(FileExists(wave));
        EXPECT_EQ(ReadWaveInfo(wave).Frames, step.Frames);
    }
    kill(child, SIGKILL);
    guard.Reap();
    // Once its process is gone the take is an orphan like any other.
    const std::vector<OrphanedRecording> orphans = FindOrphanedRecordings(folder);
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].TrackNo, 2);
    EXPECT_EQ(orphans[0].Frames, 44100);
    close(toParent[0]);
    close(toChild[1]);
}

TEST(RecordingEngine, AMarkerWithoutAProcessIdIsLeftAloneWhileAnotherProcessUsesTheFolder)
{
    // A marker of an older build names no process: its take counts as orphaned only when no
    // other process that runs has entered the data folder.
    test::TempDir dir;
    const std::string folder = dir.Path() + "/";
    test::WriteWav(folder + "~t000601.wav",
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                2000, [](int64_t x) { return Left(2, x); },
                [](int64_t x) { return Right(2, x); })));
    test::WriteFileBytes(folder + "~t000601.wav" + kRecMarkerSuffix, "1 0 44100\r\n");
    int toChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Await(toChild[0]);
        _exit(0);
    }
    ChildGuard guard { child };
    close(toChild[0]);
    const std::string run = folder + "~u" + std::to_string(child) + "-1.run";
    test::WriteFileBytes(run, "");
    EXPECT_TRUE(FindOrphanedRecordings(folder).empty());
    EXPECT_TRUE(FileExists(folder + "~t000601.wav" + kRecMarkerSuffix));
    Notify(toChild[1]);
    guard.Reap();
    const std::vector<OrphanedRecording> orphans = FindOrphanedRecordings(folder);
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].TrackNo, 1);
    EXPECT_EQ(orphans[0].Frames, 2000);
    DeleteFileForce(run);
    close(toChild[1]);
}

TEST(RecordingEngine, LostInputIsWrittenAsSilenceSoTheTakeKeepsTheElapsedLength)
{
    RecFixture f;
    const std::vector<int16_t> src = Source(
        600000, [](int64_t x) { return Left(2, x); }, [](int64_t x) { return Right(2, x); });
    f.In.SetSource(0, src);
    f.P().Head = 1000;
    f.Arm(0, 0);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    // Long enough for the take to be lined up with what plays before the input is lost.
    f.Run(2 * 44100);
    // Four seconds pass without a tick: the three queued buffers fill, the fourth second of
    // the input is lost. One tick takes a buffer back, then recording goes on.
    f.In.AdvanceFrames(4 * 44100);
    f.InputFrames += 4 * 44100;
    f.Engine->TimerProg();
    f.Run(2 * 44100);
    f.Command(kCmdStop);
    EXPECT_EQ(f.Rec->LostFrames, 44100);
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->StartAdr, 1000);
    ASSERT_EQ(blocks[0]->Length, f.InputFrames);
    // Everything stays where it was captured: the lost second is silent.
    const int64_t lostFrom = 5 * 44100; // two seconds run, three more were buffered
    std::vector<int16_t> want = Expect(src, 0, f.InputFrames, -1);
    std::fill(want.begin() + 2 * lostFrom, want.begin() + 2 * (lostFrom + 44100), 0);
    EXPECT_EQ(test::FirstDifference(f.BlockSamples(*blocks[0]), want), -1);
    // The user is told how much was lost and where on the timeline.
    const auto boxes = f.Ui.BoxTexts();
    ASSERT_TRUE(AnyStartsWith(boxes, kRecLostText));
    const std::string& box = *std::find_if(boxes.begin(), boxes.end(),
        [](const std::string& t) { return t.starts_with(kRecLostText); });
    EXPECT_NE(box.find("44100"), std::string::npos) << box;
    EXPECT_NE(box.find(TimeText(FramesToMs(1000 + lostFrom, 44100), 0, false)), std::string::npos)
        << box;
}

TEST(RecordingEngine, VoiceStopEndsTheRecordingWhenAnArmedInputFailedToOpen)
{
    RecFixture f;
    f.Logic.Options().DevInID[1] = 9; // slot 1 is enabled, but its device does not exist
    f.Engine->ComputeDeviceSlots();
    f.Logic.Options().UseMuonStop = 1; // -40 dB for 3000 ms
    const int64_t quietFrom = 50000;
    const std::vector<int16_t> src = Source(
        600000, [=](int64_t x) { return x < quietFrom ? Loud(3, x, 0) : 0; },
        [=](int64_t x) { return x < quietFrom ? Loud(3, x, 1) : 0; });
    f.In.SetSource(0, src);
    f.Arm(0, 0);
    f.Arm(1, 1);
    ASSERT_TRUE(f.Command(kCmdRecNow));
    f.Run(8 * 44100);
    EXPECT_FALSE(f.Rec->Recording);
    EXPECT_FALSE(f.Logic.Recording);
    const auto blocks = f.BlocksOn(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->Length, quietFrom);
    EXPECT_TRUE(f.BlocksOn(1).empty());
}

TEST(RecordingEngine, ATakeThatCapturedNothingSaysSoAndWhy)
{
    struct Case {
        const char* Name;
        bool VoiceStart;
        int64_t Frames;
        const char* Reason;
    };
    const Case cases[] = {
        { "no input", false, 0, kRecNoInputText },
        { "never loud enough", true, 2 * 44100, kRecNoVoiceText },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RecFixture f;
        f.Logic.Options().UseMuonStart = c.VoiceStart ? 1 : 0;
        f.In.SetSource(0,
            Source(
                300000, [](int64_t) { return 3; }, [](int64_t) { return -3; }));
        f.Arm(0, 0);
        ASSERT_TRUE(f.Command(c.VoiceStart ? kCmdRec : kCmdRecNow));
        f.Run(c.Frames);
        f.Command(kCmdStop);
        EXPECT_FALSE(f.Logic.Recording);
        EXPECT_TRUE(f.BlocksOn(0).empty());
        const auto boxes = f.Ui.BoxTexts();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].starts_with(kRecNothingText)) << boxes[0];
        EXPECT_NE(boxes[0].find(c.Reason), std::string::npos) << boxes[0];
    }
}

TEST(RecordingEngine, AFullDiskIsNamedAndTheMessageSaysWhatWasKept)
{
    struct Case {
        const char* Name;
        bool BeforeStart; ///< the fault hits the new file's header
        int64_t Nth;
        bool Kept;
    };
    const Case cases[] = {
        { "no room for the header", true, 1, false },
        { "no room for one buffer", false, 1, false },
        { "room for one buffer", false, 4, true },
    };
    const std::string cause = WriteFailureText(ENOSPC);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RecFixture f;
        f.In.SetSource(0,
            Source(
                300000, [](int64_t x) { return Left(4, x); },
                [](int64_t x) { return Right(4, x); }));
        f.Arm(0, 0);
        if (c.BeforeStart)
            ArmFault(FaultPoint::Write, c.Nth, FaultKind::NoSpace);
        const bool started = f.Command(kCmdRecNow);
        if (!c.BeforeStart)
            ArmFault(FaultPoint::Write, c.Nth, FaultKind::NoSpace);
        if (started)
            f.Run(3 * 44100);
        const bool fired = FaultFired();
        ClearFaults();
        ASSERT_TRUE(fired);
        EXPECT_FALSE(f.Logic.Recording);
        EXPECT_EQ(f.BlocksOn(0).size(), c.Kept ? 1u : 0u);
        const auto boxes = f.Ui.BoxTexts();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find(cause), std::string::npos) << boxes[0];
        EXPECT_EQ(boxes[0].find(kRecKeptText) != std::string::npos, c.Kept) << boxes[0];
        EXPECT_EQ(RecordedWavesInFolder(f.Logic.Folder().Path()), c.Kept ? 1 : 0);
    }
}

} // namespace tarvok
