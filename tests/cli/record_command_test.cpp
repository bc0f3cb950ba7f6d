#include "cli/record_command.h"

#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace tarvok {

namespace {

/// A virtual input whose clock moves 50 ms each time its position is read (once per tick
/// of the recorder), so the command's loop records without a sound card or waiting.
class SelfClockedIn : public VirtualWaveIn {
public:
    using VirtualWaveIn::VirtualWaveIn;
    WaveResult GetPosition(WaveHandle pHandle, uint32_t& pBytes) override
    {
        AdvanceFrames(2205);
        return VirtualWaveIn::GetPosition(pHandle, pBytes);
    }
};

/// A self-clocked input at whose open a write of the file layer is set to fail as on a full
/// disk: the pNth write from then on (each buffer of the take is three writes).
class FullDiskIn : public SelfClockedIn {
public:
    FullDiskIn(int32_t pDevices, int64_t pNth)
        : SelfClockedIn(pDevices)
        , nth_(pNth)
    {
    }
    WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) override
    {
        ArmFault(FaultPoint::Write, nth_, FaultKind::NoSpace);
        return SelfClockedIn::Open(pDeviceId, pFormat, pHandle);
    }

private:
    int64_t nth_;
};

int16_t Known(int64_t pFrame, int pChannel)
{
    return static_cast<int16_t>((pFrame * 31 + pChannel * 5003) % 24000 - 12000 + 1);
}

/// Five seconds of Known samples, both channels interleaved.
std::vector<int16_t> KnownSource()
{
    std::vector<int16_t> source;
    for (int64_t x = 0; x < 5 * 44100; ++x)
        for (int c = 0; c < 2; ++c)
            source.push_back(Known(x, c));
    return source;
}

/// An empty project "song" in pData; returns its path.
std::string MakeProject(const std::string& pData)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(pData);
    EXPECT_TRUE(logic.Startup(""));
    ProjectFileEnv env = logic.FileEnv();
    const std::string path = logic.Proj().DataFolder + "song.tvp";
    EXPECT_TRUE(WriteProject(logic.Proj(), path, false, env));
    return path;
}

} // namespace

TEST(RecordCommand, InputNamesAreParsed)
{
    struct Case {
        const char* Text;
        int32_t RecCh;
    };
    const Case cases[] = { { "1+2", 0 }, { "15+16", 7 }, { "3", 102 }, { "16", 115 }, { "2+3", -1 },
        { "17", -1 }, { "0", -1 }, { "x", -1 }, { "1+3", -1 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(ParseRecInput(c.Text), c.RecCh);
    }
}

TEST(RecordCommand, RecordsSecondsIntoTheTrackAndSavesTheProject)
{
    test::ScopedHome home;
    const std::string data = home.Dir().File("data-folder");
    const std::string path = MakeProject(data);
    // A recording left behind by an earlier run is reported.
    test::WriteWav(data + "/~t000900.wav",
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                100, [](int64_t) { return 5; }, [](int64_t) { return 6; })));
    test::WriteFileBytes(data + "/~t000900.wav" + kRecMarkerSuffix, "2 44100 44100\r\n");

    SelfClockedIn in { 2 };
    in.SetSource(1, KnownSource());
    VirtualWaveOut out { 2 };
    std::ostringstream o, e;
    CliContext ctx(o, e);
    ctx.DataFolder = data;
    std::atomic<bool> stop { false };
    ASSERT_EQ(RunRecord(ctx,
                  { "song", "--track", "1", "--input", "4", "--device", "1", "--seconds", "2" },
                  out, in, stop),
        0)
        << e.str();
    EXPECT_NE(
        e.str().find("orphaned recording: " + data + "/~t000900.wav (track 2"), std::string::npos)
        << e.str();
    EXPECT_NE(o.str().find("recorded "), std::string::npos);

    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(data);
    ASSERT_TRUE(logic.Startup("", false));
    ASSERT_TRUE(logic.OpenProject(path, false));
    const Project& p = logic.Proj();
    ASSERT_EQ(p.BlockCount(), 1);
    const Block& b = p.Blocks[0];
    EXPECT_EQ(b.TrackNo, 1);
    EXPECT_EQ(b.StartAdr, 0);
    EXPECT_GE(b.Length, 2 * 44100);
    EXPECT_LE(b.Length, 2 * 44100 + 2 * 2205);
    const WaveFile& w = p.WaveFiles[b.WaveNo];
    const std::string bytes = test::ReadFileBytes(w.FileName);
    std::vector<int16_t> got((bytes.size() - w.DataOffset) / 2);
    std::memcpy(got.data(), bytes.data() + w.DataOffset, got.size() * 2);
    ASSERT_EQ(got.size(), static_cast<size_t>(b.Length) * 2);
    // Input 4 is the right channel of slot 1, doubled; the take begins at the input's
    // position when PLAY was pressed, a whole number of this input's clock steps.
    int64_t from = -1;
    for (int64_t k = 0; k <= 10 && from < 0; ++k)
        if (got[0] == Known(k * 2205, 1) && got[2] == Known(k * 2205 + 1, 1))
            from = k * 2205;
    ASSERT_GE(from, 0);
    for (int64_t x = 0; x < b.Length; ++x) {
        ASSERT_EQ(got[2 * x], Known(from + x, 1)) << x;
        ASSERT_EQ(got[2 * x + 1], Known(from + x, 1)) << x;
    }
}

TEST(RecordCommand, BadArgumentsAreRefused)
{
    test::ScopedHome home;
    const std::string data = home.Dir().File("data-folder");
    MakeProject(data);
    SelfClockedIn in { 1 };
    VirtualWaveOut out { 1 };
    std::ostringstream o, e;
    CliContext ctx(o, e);
    ctx.DataFolder = data;
    std::atomic<bool> stop { false };
    EXPECT_EQ(RunRecord(ctx, { "song" }, out, in, stop), 2);
    EXPECT_EQ(RunRecord(ctx, { "song", "--track", "99" }, out, in, stop), 2);
    EXPECT_EQ(RunRecord(ctx, { "song", "--track", "0", "--input", "2+3" }, out, in, stop), 2);
    EXPECT_EQ(RunRecord(ctx, { "song", "--track", "0", "--stop-after", "100" }, out, in, stop), 2);
    EXPECT_EQ(RunRecord(ctx, { "missing", "--track", "0" }, out, in, stop), 1);
    // Slot 1 is not enabled with the default device IDs.
    EXPECT_EQ(RunRecord(ctx, { "song", "--track", "0", "--input", "3+4" }, out, in, stop), 1);
    EXPECT_NE(e.str().find("not enabled"), std::string::npos);
}

TEST(RecordCommand, TheDeviceIsChosenByNameAsWellAsByNumber)
{
    /// A self-clocked input that notes which devices were opened.
    struct NotingIn : SelfClockedIn {
        using SelfClockedIn::SelfClockedIn;
        std::vector<int32_t> Opened;
        WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) override
        {
            Opened.push_back(pDeviceId);
            return SelfClockedIn::Open(pDeviceId, pFormat, pHandle);
        }
    };
    test::ScopedHome home;
    const std::string data = home.Dir().File("data-folder");
    MakeProject(data);
    VirtualWaveOut out { 1 };
    struct Case {
        const char* Device;
        int Status;
        int32_t Opened;
    };
    const Case cases[] = { { "Virtual input 2", 0, 2 }, { "1", 0, 1 }, { "Virtual input 7", 2, -1 },
        { "-1", 2, -1 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Device);
        NotingIn in { 3 };
        std::ostringstream o, e;
        CliContext ctx(o, e);
        ctx.DataFolder = data;
        std::atomic<bool> stop { false };
        EXPECT_EQ(
            RunRecord(ctx, { "song", "--track", "0", "--device", c.Device, "--seconds", "0.2" },
                out, in, stop),
            c.Status)
            << e.str();
        if (c.Opened >= 0) {
            EXPECT_EQ(in.Opened, std::vector<int32_t> { c.Opened });
        } else {
            EXPECT_TRUE(in.Opened.empty());
            EXPECT_NE(
                e.str().find(std::string("no input device with this ID or name: ") + c.Device),
                std::string::npos)
                << e.str();
        }
    }
}

TEST(RecordCommand, AFullDiskIsNamedAndWhatFittedIsKept)
{
    struct Case {
        const char* Name;
        int64_t Nth;
        bool Kept; ///< the first buffer (the part of it after PLAY) fitted
    };
    const Case cases[]
        = { { "less than one buffer free", 1, false }, { "room for one buffer", 4, true } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        test::ScopedHome home;
        const std::string data = home.Dir().File("data-folder");
        const std::string path = MakeProject(data);
        FullDiskIn in { 1, c.Nth };
        in.SetSource(0, KnownSource());
        VirtualWaveOut out { 1 };
        std::ostringstream o, e;
        CliContext ctx(o, e);
        ctx.DataFolder = data;
        std::atomic<bool> stop { false };
        const int code
            = RunRecord(ctx, { "song", "--track", "0", "--seconds", "3" }, out, in, stop);
        const bool fired = FaultFired();
        ClearFaults();
        ASSERT_TRUE(fired);
        EXPECT_EQ(code, c.Kept ? 0 : 1) << e.str();
        EXPECT_NE(e.str().find(WriteFailureText(ENOSPC)), std::string::npos) << e.str();
        EXPECT_EQ(e.str().find(kRecKeptText) != std::string::npos, c.Kept) << e.str();

        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(data);
        ASSERT_TRUE(logic.Startup("", false));
        ASSERT_TRUE(logic.OpenProject(path, false));
        const Project& p = logic.Proj();
        if (!c.Kept) {
            EXPECT_EQ(p.BlockCount(), 0);
            continue;
        }
        ASSERT_EQ(p.BlockCount(), 1);
        EXPECT_EQ(p.Blocks[0].TrackNo, 0);
        EXPECT_GT(p.Blocks[0].Length, 0);
        EXPECT_LE(p.Blocks[0].Length, 44100);
        const WaveInfo info = ReadWaveInfo(p.WaveFiles[p.Blocks[0].WaveNo].FileName);
        EXPECT_EQ(info.Valid, 1);
        EXPECT_EQ(info.Frames, p.Blocks[0].Length);
    }
}

} // namespace tarvok
