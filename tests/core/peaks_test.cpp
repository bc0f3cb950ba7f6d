#include "core/peaks.h"

#include "core/file_io.h"
#include "core/headless_ui.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace tarvok {
namespace {

using test::PcmSpec;
using test::Samples16;
using test::Stereo16;
using test::TempDir;
using test::WriteWav;

/// Stops the build by setting the caller's cancel flag at the given yield, as the stop
/// command does when it arrives while the window system runs.
class CancellingUi : public HeadlessUi {
public:
    CancellingUi(bool& pFlag, int pAtYield)
        : flag_(pFlag)
        , atYield_(pAtYield)
    {
    }
    void Yield() override
    {
        HeadlessUi::Yield();
        if (YieldCount() == atYield_)
            flag_ = true;
    }

private:
    bool& flag_;
    int atYield_;
};

/// A project with one 16-bit stereo wave file holding pSamples.
int32_t AddWave(
    Project& pProject, const TempDir& pDir, const std::string& pName, std::string pSamples)
{
    std::string path = pDir.File(pName);
    if (!WriteWav(path, PcmSpec(44100, 16, 2, std::move(pSamples))))
        return -1;
    return pProject.AddWaveFile(path);
}

PeakArray Bytes(std::initializer_list<int> pValues)
{
    PeakArray bytes;
    for (int v : pValues)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

TEST(Peaks, ValueScalesFollowTheMode)
{
    struct Case {
        int32_t Peak, Mode, Value;
    };
    const Case cases[] = {
        { 0, 0, 0 },
        { 127, 0, 0 },
        { 128, 0, 1 },
        { 32767, 0, 255 },
        { 32768, 0, 255 },
        { 0, 1, 0 },
        { 1, 1, 0 },
        { 92, 1, 0 },
        { 100, 1, 3 },
        { 200, 1, 34 },
        { 3277, 1, 155 },
        { 16384, 1, 225 },
        { 32767, 1, 255 },
        { 32768, 1, 255 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Peak) + " mode " + std::to_string(c.Mode));
        EXPECT_EQ(PeakValue(c.Peak, c.Mode), c.Value);
    }
}

/// Fourteen frames in stretches of four: three whole entries and a tail that is never stored.
std::string HandFixture()
{
    return Samples16({
        100, 32767, -200, 0, 50, 0, 0, 0, // entry 0: L 200, R 32767
        -32768, 1000, 0, -999, 0, 0, 0, 0, // entry 1: L 32768, R 1000
        0, -16384, 3277, 16383, -3276, 0, 5, 0, // entry 2: L 3277, R 16384
        30000, -30000, 30000, 0, // tail
    });
}

TEST(Peaks, HandComputedEntriesInBothModes)
{
    struct Case {
        int32_t Mode;
        PeakArray Expected;
    };
    const Case cases[] = {
        { 0, Bytes({ 1, 255, 255, 7, 25, 128, 0, 0 }) },
        { 1, Bytes({ 34, 255, 255, 103, 155, 225, 0, 0 }) },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Mode);
        Project project;
        project.SampleStep = 4;
        int32_t wave = AddWave(project, dir, "hand.wav", HandFixture());
        ASSERT_EQ(wave, 0);
        ASSERT_EQ(project.WaveFiles[0].PeakCount, 4);
        HeadlessUi ui;
        bool cancel = false;
        std::string peakFile = dir.File("hand" + std::to_string(c.Mode) + ".wwf");
        PeakBuildResult result = BuildPeaks(project, 0, -1, "", c.Mode, peakFile, ui, cancel);
        EXPECT_EQ(result.Entries, 3);
        EXPECT_FALSE(result.Cancelled);
        EXPECT_TRUE(result.Saved);
        EXPECT_EQ(project.Peaks[0], c.Expected);
        EXPECT_EQ(project.WaveFiles[0].PeakFile, peakFile);
        std::string stored = test::ReadFileBytes(peakFile);
        EXPECT_EQ(PeakArray(stored.begin(), stored.end()), c.Expected);
        EXPECT_EQ(ui.RedrawCount(), 0);
    }
}

TEST(Peaks, LastEntryIsNeverComputed)
{
    struct Case {
        int32_t Frames, PeakCount;
    };
    const Case cases[] = { { 64 * 10 + 5, 11 }, { 64 * 10, 11 }, { 63, 1 }, { 0, 1 } };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Frames);
        Project project;
        int32_t wave = AddWave(project, dir, "loud.wav",
            Stereo16(
                c.Frames, [](int64_t) { return 32767; }, [](int64_t) { return -32768; }));
        ASSERT_EQ(wave, 0);
        ASSERT_EQ(project.WaveFiles[0].PeakCount, c.PeakCount);
        HeadlessUi ui;
        bool cancel = false;
        BuildPeaks(project, 0, -1, "", 0, dir.File("loud.wwf"), ui, cancel);
        PeakArray expected(static_cast<size_t>(c.PeakCount) * 2, 255);
        expected[expected.size() - 1] = 0;
        expected[expected.size() - 2] = 0;
        EXPECT_EQ(project.Peaks[0], expected);
        EXPECT_EQ(test::ReadFileBytes(dir.File("loud.wwf")).size(), expected.size());
    }
}

TEST(Peaks, SquareWaveMinusTwentyDecibelsAndSilenceInDecibelMode)
{
    TempDir dir;
    Project project;
    auto left = [](int64_t f) -> int { return f < 128 ? ((f / 8) % 2 ? 32767 : -32767) : 0; };
    auto right = [](int64_t f) -> int { return f < 128 ? ((f % 2) ? 3277 : -3277) : 0; };
    ASSERT_EQ(AddWave(project, dir, "sq.wav", Stereo16(64 * 4, left, right)), 0);
    HeadlessUi ui;
    bool cancel = false;
    BuildPeaks(project, 0, -1, "", 1, "", ui, cancel);
    EXPECT_EQ(project.Peaks[0], Bytes({ 255, 155, 255, 155, 0, 0, 0, 0, 0, 0 }));
}

TEST(Peaks, StretchesStayAlignedAcrossChunksWhenTheStepDoesNotDivideThem)
{
    TempDir dir;
    Project project;
    project.SampleStep = 100;
    const int32_t frames = 524288 + 1000;
    auto value = [](int64_t f) -> int {
        return f % 100 == 50 ? static_cast<int>((f / 100) % 250) * 128 : 0;
    };
    ASSERT_EQ(AddWave(project, dir, "long.wav",
                  Stereo16(frames, value, [&](int64_t f) { return -value(f); })),
        0);
    HeadlessUi ui;
    bool cancel = false;
    PeakBuildResult result
        = BuildPeaks(project, 0, 3, "ファイル1", 0, dir.File("long.wwf"), ui, cancel);
    ASSERT_EQ(result.Entries, frames / 100);
    const PeakArray& peaks = project.Peaks[0];
    for (int32_t k = 0; k < result.Entries; ++k) {
        if (peaks[2 * k] != k % 250 || peaks[2 * k + 1] != k % 250) {
            ADD_FAILURE() << "entry " << k << " is " << int { peaks[2 * k] } << ", "
                          << int { peaks[2 * k + 1] };
            break;
        }
    }
    EXPECT_EQ(ui.YieldCount(), 2);
    EXPECT_EQ(ui.RedrawCount(), 2);
    EXPECT_EQ(ui.StatusTexts(),
        (std::vector<std::string> { "ファイル1波形抽出 99.8%", "ファイル1波形抽出 100.0%" }));
}

TEST(Peaks, CancelKeepsTheEntriesSoFarAndStillWritesTheFile)
{
    TempDir dir;
    Project project;
    const int32_t frames = 524288 * 2 + 64 * 3;
    ASSERT_EQ(AddWave(project, dir, "c.wav",
                  Stereo16(
                      frames, [](int64_t) { return 1280; }, [](int64_t) { return -1280; })),
        0);
    bool cancel = false;
    CancellingUi ui(cancel, 1);
    PeakBuildResult result
        = BuildPeaks(project, 0, -1, "録音ファイル", 0, dir.File("c.wwf"), ui, cancel);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(result.Entries, 524288 / 64);
    EXPECT_EQ(ui.YieldCount(), 1);
    const PeakArray& peaks = project.Peaks[0];
    EXPECT_EQ(peaks[2 * 8191], 10);
    EXPECT_EQ(peaks[2 * 8192], 0);
    EXPECT_TRUE(result.Saved);
    EXPECT_TRUE(IsPeakFileCurrent(dir.File("c.wwf"), project.WaveFiles[0].PeakCount));
}

TEST(Peaks, UnreadableAndShortFilesGiveZeros)
{
    TempDir dir;
    Project project;
    auto loud = [](int64_t) { return 32767; };
    test::WavSpec spec = PcmSpec(44100, 16, 2, Stereo16(300, loud, loud));
    spec.DataSizeField = 1000 * 4;
    ASSERT_TRUE(WriteWav(dir.File("short.wav"), spec));
    ASSERT_EQ(project.AddWaveFile(dir.File("short.wav")), 0);
    ASSERT_EQ(project.WaveFiles[0].PeakCount, 1000 / 64 + 1);
    HeadlessUi ui;
    bool cancel = false;
    PeakBuildResult result = BuildPeaks(project, 0, -1, "", 0, dir.File("short.wwf"), ui, cancel);
    EXPECT_EQ(result.Entries, 4);
    PeakArray expected(2 * 16, 0);
    std::fill(expected.begin(), expected.begin() + 8, 255);
    EXPECT_EQ(project.Peaks[0], expected);

    ASSERT_TRUE(DeleteFileForce(dir.File("short.wav")));
    result = BuildPeaks(project, 0, -1, "", 0, dir.File("gone.wwf"), ui, cancel);
    EXPECT_EQ(result.Entries, 0);
    EXPECT_EQ(project.Peaks[0], PeakArray(2 * 16, 0));
    EXPECT_TRUE(result.Saved);

    EXPECT_FALSE(BuildPeaks(project, 5, -1, "", 0, dir.File("x.wwf"), ui, cancel).Saved);
    EXPECT_FALSE(FileExists(dir.File("x.wwf")));
}

TEST(Peaks, StaleSizesAreDetectedAndNotLoaded)
{
    TempDir dir;
    Project project;
    ASSERT_EQ(AddWave(project, dir, "w.wav", std::string(4 * 640, '\0')), 0);
    ASSERT_EQ(project.WaveFiles[0].PeakCount, 11);
    project.Peaks[0].assign(22, 9);
    struct Case {
        const char* Name;
        size_t Size;
        bool Current;
    };
    const Case cases[] = { { "exact", 22, true }, { "one byte short", 21, false },
        { "one byte long", 23, false }, { "empty", 0, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(test::WriteFileBytes(dir.File("p.wwf"), std::string(c.Size, '\x07')));
        EXPECT_EQ(IsPeakFileCurrent(dir.File("p.wwf"), 11), c.Current);
        project.Peaks[0].assign(22, 9);
        EXPECT_EQ(LoadPeaks(project, 0, dir.File("p.wwf")), c.Current);
        EXPECT_EQ(project.Peaks[0], PeakArray(22, c.Current ? 7 : 9));
    }
    EXPECT_FALSE(IsPeakFileCurrent(dir.File("missing.wwf"), 11));
    EXPECT_FALSE(LoadPeaks(project, 0, dir.File("missing.wwf")));
    EXPECT_FALSE(LoadPeaks(project, 1, dir.File("p.wwf")));
}

TEST(Peaks, SavePeaksReplacesTheWholeFile)
{
    TempDir dir;
    Project project;
    ASSERT_EQ(AddWave(project, dir, "w.wav", std::string(4 * 130, '\0')), 0);
    for (size_t i = 0; i < project.Peaks[0].size(); ++i)
        project.Peaks[0][i] = static_cast<uint8_t>(i + 1);
    std::string path = dir.File("w.wwf");
    project.WaveFiles[0].PeakFile = path;
    ASSERT_TRUE(test::WriteFileBytes(path, "an older and longer peak file"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_TRUE(SavePeaks(project, 0));
    EXPECT_EQ(test::ReadFileBytes(path), std::string("\x01\x02\x03\x04\x05\x06", 6));

    ASSERT_TRUE(SavePeakRange(project, 0, dir.File("r.wwf"), 1, 2));
    EXPECT_EQ(test::ReadFileBytes(dir.File("r.wwf")), std::string("\x03\x04\x05\x06", 4));
    ASSERT_TRUE(SavePeakRange(project, 0, dir.File("r.wwf"), 0, 0));
    EXPECT_EQ(test::ReadFileBytes(dir.File("r.wwf")), std::string("\x01\x02", 2));
    for (auto [first, last] : { std::pair { -1, 1 }, { 2, 1 }, { 0, 3 } }) {
        SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last));
        EXPECT_FALSE(SavePeakRange(project, 0, dir.File("bad.wwf"), first, last));
    }
    EXPECT_FALSE(FileExists(dir.File("bad.wwf")));

    project.WaveFiles[0].PeakCount = 0;
    EXPECT_FALSE(SavePeaks(project, 0));
    EXPECT_FALSE(SavePeaks(project, 3));
}

TEST(Peaks, CollectorKeepsStretchesAcrossCalls)
{
    PeakArray out(8, 0);
    PeakCollector collector(4, 0, out, 3);
    std::vector<int16_t> samples;
    for (int f = 0; f < 14; ++f) {
        samples.push_back(static_cast<int16_t>(f * 128));
        samples.push_back(static_cast<int16_t>(-f * 256));
    }
    collector.Add(samples.data(), 3);
    collector.Add(samples.data() + 6, 6);
    EXPECT_EQ(collector.Entries(), 2);
    collector.Add(samples.data() + 18, 5);
    EXPECT_EQ(collector.Entries(), 3);
    EXPECT_TRUE(collector.Full());
    EXPECT_EQ(out, Bytes({ 3, 6, 7, 14, 11, 22, 0, 0 }));
}

TEST(Peaks, CollectorMatchesAStraightforwardScanForAnySplit)
{
    std::vector<int16_t> samples;
    uint32_t state = 12345;
    for (int i = 0; i < 2 * 5000; ++i) {
        state = state * 1664525u + 1013904223u;
        samples.push_back(static_cast<int16_t>(state >> 16));
    }
    samples[2 * 777] = -32768;
    for (int32_t step : { 1, 3, 10, 64, 100, 4999 }) {
        for (int32_t mode : { 0, 1 }) {
            SCOPED_TRACE("step " + std::to_string(step) + " mode " + std::to_string(mode));
            const int32_t entries = 5000 / step;
            PeakArray expected(2 * (entries + 1), 0);
            for (int32_t k = 0; k < entries; ++k) {
                int left = 0;
                int right = 0;
                for (int32_t f = k * step; f < (k + 1) * step; ++f) {
                    left = std::max(left, std::abs(static_cast<int>(samples[2 * f])));
                    right = std::max(right, std::abs(static_cast<int>(samples[2 * f + 1])));
                }
                expected[2 * k] = PeakValue(left, mode);
                expected[2 * k + 1] = PeakValue(right, mode);
            }
            for (int64_t piece : { 1, 7, 64, 1000, 5000 }) {
                PeakArray out(expected.size(), 0);
                PeakCollector collector(step, mode, out, entries);
                for (int64_t f = 0; f < 5000; f += piece)
                    collector.Add(samples.data() + 2 * f, std::min<int64_t>(piece, 5000 - f));
                EXPECT_EQ(collector.Entries(), entries);
                EXPECT_EQ(out, expected) << "pieces of " << piece;
            }
        }
    }
}

TEST(Peaks, FileWrittenBySoxMatchesAStraightforwardScan)
{
    if (!test::HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    std::string path = dir.File("tone.wav");
    std::string command
        = "sox -D -n -r 44100 -c 2 -b 16 " + path + " synth 0.1 sine 441 sine 20 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Project project;
    ASSERT_EQ(project.AddWaveFile(path), 0);
    const WaveFile& wave = project.WaveFiles[0];
    ASSERT_EQ(wave.Length, 4410);
    ASSERT_EQ(wave.PeakCount, 69);
    const std::string bytes = test::ReadFileBytes(path);
    ASSERT_GE(bytes.size(), static_cast<size_t>(wave.DataOffset) + 4 * 4410);
    auto sample = [&](int64_t pIndex) {
        size_t at = static_cast<size_t>(wave.DataOffset + 2 * pIndex);
        return static_cast<int16_t>(
            static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8));
    };
    HeadlessUi ui;
    bool cancel = false;
    for (int32_t mode : { 0, 1 }) {
        SCOPED_TRACE(mode);
        PeakArray expected(2 * 69, 0);
        for (int k = 0; k < 68; ++k) {
            int left = 0;
            int right = 0;
            for (int f = k * 64; f < (k + 1) * 64; ++f) {
                left = std::max(left, std::abs(static_cast<int>(sample(2 * f))));
                right = std::max(right, std::abs(static_cast<int>(sample(2 * f + 1))));
            }
            expected[2 * k] = PeakValue(left, mode);
            expected[2 * k + 1] = PeakValue(right, mode);
        }
        BuildPeaks(project, 0, -1, "", mode, "", ui, cancel);
        EXPECT_EQ(project.Peaks[0], expected);
        EXPECT_GT(*std::max_element(expected.begin(), expected.end()), 100);
    }
}

} // namespace
} // namespace tarvok
