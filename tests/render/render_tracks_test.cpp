#include "render/render_tracks.h"

#include "base/numeric.h"
#include "core/envelope.h"
#include "core/envelope_gain.h"
#include "core/fade_table.h"
#include "core/headless_ui.h"
#include "core/project.h"
#include "core/wave_info.h"
#include "render/mix_kernel.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

namespace tarvok {

namespace {

using test::TempDir;

std::vector<int16_t> ReadFrames16(const std::string& pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    std::vector<int16_t> out;
    if (info.Valid == 0)
        return out;
    std::string bytes = test::ReadFileBytes(pPath).substr(
        static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
    out.resize(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// A project of pTracks tracks at 44.1 kHz with the general fader table.
Project MakeProject(int32_t pTracks)
{
    Project p;
    BuildFadeTable(1, p.Fades);
    p.UnityLevel = 207;
    p.MasterLevelL = p.MasterLevelR = 207;
    p.SetTrackCount(pTracks);
    return p;
}

// Writes a 16-bit stereo working file and returns its wave index.
int32_t AddWave(Project& pProject, const std::string& pPath, int64_t pFrames,
    const std::function<int(int64_t)>& pLeft, const std::function<int(int64_t)>& pRight)
{
    EXPECT_TRUE(
        test::WriteWav(pPath, test::PcmSpec(44100, 16, 2, test::Stereo16(pFrames, pLeft, pRight))));
    return pProject.AddWaveFile(pPath);
}

void AddBlock(Project& pProject, int32_t pTrack, int32_t pStart, int32_t pWave, int32_t pSrcStart,
    int32_t pLength, float pLevelL = 0, float pLevelR = 0)
{
    ASSERT_TRUE(pProject.AddBlock());
    Block& b = pProject.Blocks.back();
    b.TrackNo = pTrack;
    b.StartAdr = pStart;
    b.WaveNo = pWave;
    b.SrcStart = pSrcStart;
    b.SrcEnd = pSrcStart + pLength - 1;
    b.LevelL = pLevelL;
    b.LevelR = pLevelR;
    ASSERT_TRUE(pProject.NormalizeBlock(pProject.BlockCount() - 1));
}

// The mix as described, one frame at a time: gather every track's frame from the last
// block covering it, apply the block level, then add track by track in order of first
// appearance in the chunk, rounding after every addition.
std::vector<int16_t> ReferenceMix(const Project& p, int32_t pFrom, int32_t pTo, double pGain,
    int32_t pTracks, double* pPeak = nullptr)
{
    std::vector<int16_t> out;
    std::vector<std::vector<int16_t>> files;
    for (const WaveFile& w : p.WaveFiles)
        files.push_back(ReadFrames16(w.FileName));
    double peak = 0;
    for (int64_t chunkStart = pFrom; chunkStart < pTo; chunkStart += kRenderChunkFrames) {
        const int64_t chunkEnd = std::min<int64_t>(pTo, chunkStart + kRenderChunkFrames);
        // Slot order: tracks by their first block (record order) in this chunk.
        std::vector<int32_t> order;
        for (const Block& b : p.Blocks) {
            const Track& t = p.Tracks[b.TrackNo];
            if ((pTracks == -2 && !t.Selected) || (pTracks == -3 && !t.PlaySelected))
                continue;
            if (b.StartAdr > chunkEnd - 1 || b.EndAdr < chunkStart)
                continue;
            if (std::find(order.begin(), order.end(), b.TrackNo) == order.end())
                order.push_back(b.TrackNo);
        }
        for (int64_t pos = chunkStart; pos < chunkEnd; ++pos) {
            double acc[2] = { 0, 0 };
            for (int32_t track : order) {
                int32_t sample[2] = { 0, 0 };
                for (const Block& b : p.Blocks) {
                    if (b.TrackNo != track || pos < b.StartAdr || pos > b.EndAdr)
                        continue;
                    const int64_t src = b.SrcStart - 1 + (pos - b.StartAdr);
                    for (int c = 0; c < 2; ++c) {
                        int32_t s = files[b.WaveNo][src * 2 + c];
                        const float level = c == 0 ? b.LevelL : b.LevelR;
                        if (b.LevelL != 0.0f || b.LevelR != 0.0f)
                            s = Saturate16(s * DbToFactor(level));
                        sample[c] = s;
                    }
                }
                const Track& t = p.Tracks[track];
                for (int c = 0; c < 2; ++c) {
                    const double g = static_cast<double>(p.Fades[c == 0 ? t.LevelL : t.LevelR])
                        * static_cast<double>(p.Fades[c == 0 ? p.MasterLevelL : p.MasterLevelR])
                        * pGain;
                    const double e = EnvelopeGain(p, track, c, pos);
                    acc[c] = static_cast<double>(RoundHalfEven(acc[c] + sample[c] * g * e));
                }
            }
            for (int c = 0; c < 2; ++c) {
                peak = std::max(peak, std::abs(acc[c]));
                out.push_back(Saturate16(acc[c]));
            }
        }
    }
    if (pPeak != nullptr)
        *pPeak = peak;
    return out;
}

struct MixFixture {
    TempDir Dir;
    HeadlessUi Ui;
    Project P = MakeProject(4);
    bool Cancel = false;

    /// Renders with a Progress that hands on the fraction and stops (once) when Cancel is set.
    Status Render(RenderRequest pRequest, const std::function<void(double)>& pProgress = {})
    {
        return RenderTracks(P, pRequest, Ui, [&](double pRate, std::string_view) {
            if (pProgress)
                pProgress(pRate);
            const bool stop = Cancel;
            Cancel = false;
            return !stop;
        });
    }
};

} // namespace

TEST(RenderTracks, MixMatchesAStraightforwardMixBitForBit)
{
    MixFixture f;
    Project& p = f.P;
    const int64_t n = 300000; // crosses two chunk boundaries
    const int32_t w0 = AddWave(
        p, f.Dir.File("a.wav"), n,
        [](int64_t i) { return static_cast<int>((i * 131) % 60000) - 30000; },
        [](int64_t i) { return static_cast<int>(std::sin(i * 0.01) * 30000); });
    const int32_t w1 = AddWave(
        p, f.Dir.File("b.wav"), n,
        [](int64_t i) { return static_cast<int>((i * 977) % 65535) - 32768; },
        [](int64_t i) { return static_cast<int>(i % 2 == 0 ? 32767 : -32768); });
    const int32_t w2 = AddWave(
        p, f.Dir.File("c.wav"), n, [](int64_t i) { return static_cast<int>(i % 1000) * 30; },
        [](int64_t i) { return -static_cast<int>(i % 777) * 40; });
    AddBlock(p, 0, 0, w0, 1, 200000);
    AddBlock(p, 0, 150000, w1, 5000, 100000, -3.5f, 2.0f); // overlaps the first, later record wins
    AddBlock(p, 1, 1000, w1, 1, 280000, 6.0f, 0.0f);
    AddBlock(p, 2, 131000, w2, 10, 150000);
    AddBlock(p, 3, 0, w2, 1, 1000, -200.0f, 0.0f); // silenced left channel
    p.Tracks[0].LevelL = 190;
    p.Tracks[0].LevelR = 230;
    p.Tracks[1].LevelL = 250;
    p.Tracks[2].LevelR = 120;
    p.MasterLevelL = 200;
    p.MasterLevelR = 215;
    ResizeEnvelopes(p, 300000, true);
    for (int32_t k = 0; k < p.EnvelopeLength; ++k) {
        p.Envelopes[0][2 * k] = static_cast<uint8_t>(150 + (k * 7) % 100);
        p.Envelopes[1][2 * k + 1] = static_cast<uint8_t>(k % 3 == 0 ? 100 : 207);
        p.Envelopes[2][2 * k] = static_cast<uint8_t>(255 - k % 50);
    }
    p.UpdateTitleLength(false);
    p.Tracks[3].PlaySelected = 0;

    struct Case {
        int32_t Tracks;
        int32_t From;
        int32_t To;
    };
    const Case kCases[] = { { -1, 0, 300000 }, { -3, 500, 290000 }, { -2, 100000, 140000 } };
    p.Tracks[2].Selected = 1;
    for (const Case& c : kCases) {
        SCOPED_TRACE("tracks " + std::to_string(c.Tracks));
        RenderRequest r;
        r.File = f.Dir.File("mix.wav");
        r.From = c.From;
        r.To = c.To;
        r.Tracks = c.Tracks;
        ASSERT_TRUE(f.Render(r));
        std::vector<int16_t> got = ReadFrames16(r.File);
        std::vector<int16_t> want = ReferenceMix(p, c.From, c.To, 1.0, c.Tracks);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], want[i]) << "sample " << i;
    }
}

TEST(RenderTracks, UnityTracksSumWithSaturation)
{
    MixFixture f;
    Project& p = f.P;
    const int32_t w0 = AddWave(
        p, f.Dir.File("a.wav"), 10, [](int64_t) { return 30000; }, [](int64_t) { return -30000; });
    const int32_t w1 = AddWave(
        p, f.Dir.File("b.wav"), 10, [](int64_t i) { return static_cast<int>(i) * 1000; },
        [](int64_t) { return -5000; });
    AddBlock(p, 0, 0, w0, 1, 10);
    AddBlock(p, 1, 0, w1, 1, 10);
    p.UpdateTitleLength(false);
    RenderRequest r;
    r.File = f.Dir.File("mix.wav");
    r.To = 10;
    r.Loops = 2;
    ASSERT_TRUE(f.Render(r));
    std::vector<int16_t> got = ReadFrames16(r.File);
    ASSERT_EQ(got.size(), 40u);
    for (int rep = 0; rep < 2; ++rep)
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(got[rep * 20 + 2 * i], std::min(30000 + i * 1000, 32767));
            EXPECT_EQ(got[rep * 20 + 2 * i + 1], -32767);
        }
}

TEST(RenderTracks, NormalisationByPeakAndByRms)
{
    MixFixture f;
    Project& p = f.P;
    // A square wave of +-1000 over 1 s, with one spike of 3000 at frame 20000.
    const int32_t w0 = AddWave(
        p, f.Dir.File("a.wav"), 44100,
        [](int64_t i) { return i == 20000 ? 3000 : (i % 2 == 0 ? 1000 : -1000); },
        [](int64_t i) { return i % 2 == 0 ? -1000 : 1000; });
    AddBlock(p, 0, 0, w0, 1, 44100);
    p.UpdateTitleLength(false);
    RenderRequest r;
    r.File = f.Dir.File("mix.wav");
    r.To = 44100;
    r.NormLevel = 0;
    ASSERT_TRUE(f.Render(r));
    std::vector<int16_t> got = ReadFrames16(r.File);
    int peak = 0;
    for (int16_t s : got)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_EQ(peak, 32767);
    EXPECT_EQ(got[40000], 32767);

    // By RMS at -20 dB: the loudest 0.3-second window reaches 0.1 of full scale, as the
    // peak allows it.
    r.UseRMS = true;
    r.NormLevel = -20;
    ASSERT_TRUE(f.Render(r));
    got = ReadFrames16(r.File);
    const int32_t chunk = static_cast<int32_t>(RoundHalfEven(44100 * 0.3));
    double maxRms = 0;
    for (int32_t c = 0; c < 44100; c += chunk) {
        double sum = 0;
        const int32_t n = std::min(chunk, 44100 - c);
        for (int32_t j = 0; j < 2 * n; ++j)
            sum += static_cast<double>(got[2 * c + j]) * got[2 * c + j];
        maxRms = std::max(maxRms, std::sqrt(sum / (2.0 * n)));
    }
    EXPECT_NEAR(maxRms, 3276.7, 1.0);

    // By RMS at 0 dB the peak would pass full scale: the peak lands on 32767 instead.
    r.NormLevel = 0;
    ASSERT_TRUE(f.Render(r));
    got = ReadFrames16(r.File);
    EXPECT_EQ(got[40000], 32767);
    EXPECT_EQ(got[0], RoundHalfEven(1000 * (32767.0 / 3000)));
}

TEST(RenderTracks, RefusesBeyondFourGigabytesAtExactlyTheLimit)
{
    MixFixture f;
    const std::string file = f.Dir.File("big.wav");
    ASSERT_TRUE(test::WriteFileBytes(file, "old"));
    RenderRequest r;
    r.File = file;
    r.From = 0;
    r.To = 536806912; // x 2 loops x 4 bytes = 4,294,455,296
    r.Loops = 2;
    EXPECT_FALSE(f.Render(r));
    EXPECT_EQ(f.Ui.LastStatus(), "作成データは4GBまでです");
    EXPECT_EQ(test::ReadFileBytes(file), "old");
    EXPECT_FALSE(RenderSizeAllowed(0, 536806912, 2));
    EXPECT_TRUE(RenderSizeAllowed(0, 536806911, 2));
    EXPECT_FALSE(RenderSizeAllowed(0, 1000, 2000000000));

    // One frame less passes the check: the file is made, then the cancel stops the render.
    r.To = 536806911;
    f.Cancel = true;
    Status cancelled = f.Render(r);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().Code, ErrorCode::Cancelled);
    EXPECT_FALSE(f.Cancel);
    EXPECT_EQ(ReadWaveInfo(file).Valid, 1);
    EXPECT_EQ(ReadWaveInfo(file).Frames, 0);
}

TEST(RenderTracks, CancelStopsBetweenChunksWithAFinalisedHeader)
{
    MixFixture f;
    Project& p = f.P;
    const int32_t w0 = AddWave(
        p, f.Dir.File("a.wav"), 300000, [](int64_t) { return 5; }, [](int64_t) { return 6; });
    AddBlock(p, 0, 0, w0, 1, 300000);
    p.UpdateTitleLength(false);
    RenderRequest r;
    r.File = f.Dir.File("mix.wav");
    r.To = 300000;
    r.Label = "L";
    int calls = 0;
    Status rendered = f.Render(r, [&](double) {
        if (++calls == 2)
            f.Cancel = true;
    });
    ASSERT_FALSE(rendered);
    EXPECT_EQ(rendered.error().Code, ErrorCode::Cancelled);
    WaveInfo info = ReadWaveInfo(r.File);
    ASSERT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, kRenderChunkFrames);
    EXPECT_EQ(f.Ui.StatusTexts().front(), "L処理中 0.0%");
}

TEST(RenderTracks, SingleTrackModes)
{
    MixFixture f;
    Project& p = f.P;
    const int32_t w0 = AddWave(
        p, f.Dir.File("a.wav"), 5000, [](int64_t i) { return static_cast<int>(i * 6) - 15000; },
        [](int64_t) { return -32768; });
    AddBlock(p, 1, 100, w0, 1, 5000, 1.5f, 0.0f);
    AddBlock(p, 0, 0, w0, 1, 5000); // another track: never in a single-track render
    p.Tracks[1].LevelL = 180;
    p.Tracks[1].LevelR = 240;
    ResizeEnvelopes(p, 6000, true);
    for (int32_t k = 0; k < p.EnvelopeLength; ++k)
        p.Envelopes[1][2 * k] = static_cast<uint8_t>(100 + 40 * k);
    std::vector<int16_t> blockOnly(2 * 6000, 0);
    std::vector<int16_t> src = ReadFrames16(f.Dir.File("a.wav"));
    for (int i = 0; i < 5000; ++i) {
        blockOnly[2 * (i + 100)] = Saturate16(src[2 * i] * DbToFactor(1.5));
        blockOnly[2 * (i + 100) + 1] = Saturate16(src[2 * i + 1] * DbToFactor(0.0));
    }
    for (int32_t mode : { 1, 2, 3 }) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        RenderRequest r;
        r.File = f.Dir.File("t.wav");
        r.To = 6000;
        r.Mode = mode;
        r.Tracks = 1;
        ASSERT_TRUE(f.Render(r));
        std::vector<int16_t> got = ReadFrames16(r.File);
        ASSERT_EQ(got.size(), blockOnly.size());
        for (int64_t j = 0; j < 6000; ++j)
            for (int c = 0; c < 2; ++c) {
                double want = blockOnly[2 * j + c];
                if (mode >= 2)
                    want = Saturate16(want * (mode == 3 ? p.Fades[c == 0 ? 180 : 240] : 1.0f)
                        * EnvelopeGain(p, 1, c, j));
                ASSERT_EQ(got[2 * j + c], want) << j;
            }
    }
}

} // namespace tarvok

namespace tarvok {

TEST(RenderTracks, AWorkingFileShortenedOnDiskRendersItsLostTailAsSilenceAndIsReportedOnce)
{
    // Cases: the file lost part of a block, and the file lost everything after its header.
    struct Case {
        const char* Name;
        int64_t KeptFrames;
    };
    for (const Case& c : { Case { "part", 400 }, Case { "all", 0 } }) {
        SCOPED_TRACE(c.Name);
        MixFixture f;
        Project& p = f.P;
        const std::string wave = f.Dir.File(std::string("w_") + c.Name + ".wav");
        const int32_t w0 = AddWave(
            p, wave, 1000, [](int64_t) { return 7; }, [](int64_t) { return -3; });
        AddBlock(p, 0, 0, w0, 1, 1000);
        p.UpdateTitleLength(false);
        std::filesystem::resize_file(wave, 44 + c.KeptFrames * 4);

        for (int run = 0; run < 2; ++run) {
            RenderRequest r;
            r.File = f.Dir.File("mix" + std::to_string(run) + ".wav");
            r.To = 1000;
            r.NormLevel = run == 0 ? kNoNormalize : -6.0f; // the level pass reads it too
            ASSERT_TRUE(f.Render(r));
            std::vector<int16_t> got = ReadFrames16(r.File);
            ASSERT_EQ(got.size(), 2000u);
            if (run == 0) {
                for (int64_t i = 0; i < 1000; ++i) {
                    const bool kept = i < c.KeptFrames;
                    ASSERT_EQ(got[static_cast<size_t>(2 * i)], kept ? 7 : 0) << i;
                    ASSERT_EQ(got[static_cast<size_t>(2 * i + 1)], kept ? -3 : 0) << i;
                }
            }
        }
        EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { DamagedFileText(wave) });
    }
}

} // namespace tarvok
