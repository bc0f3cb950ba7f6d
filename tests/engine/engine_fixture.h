#pragma once

#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "base/numeric.h"
#include "core/command_ids.h"
#include "core/envelope_gain.h"
#include "core/headless_ui.h"
#include "core/project.h"
#include "engine/playback_engine.h"
#include "engine/virtual_wave_device.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvok {

/// The tests' view into the engine's ring and run state, for set-ups and checks that no
/// transport command makes.
struct EngineProbe {
    static PlayMode& Mode(PlaybackEngine& pEngine) { return pEngine.mode_; }
    static bool& AutomationWriting(PlaybackEngine& pEngine) { return pEngine.automationWriting_; }
    static std::array<int32_t, kOutputSlots>& OutputUsed(PlaybackEngine& pEngine)
    {
        return pEngine.outputUsed_;
    }
    static int32_t& PlayEnd(PlaybackEngine& pEngine) { return pEngine.playEnd_; }
    static std::vector<int32_t>& BufferStart(PlaybackEngine& pEngine)
    {
        return pEngine.bufferStart_;
    }
    static std::vector<int32_t>& BufferEnd(PlaybackEngine& pEngine) { return pEngine.bufferEnd_; }
    static int32_t MasterSlot(const PlaybackEngine& pEngine) { return pEngine.masterSlot_; }
};

} // namespace tarvok

namespace tarvok::test {

/// A hand-driven clock; waiting moves the virtual device on, so a flush is heard.
class ManualClock : public EngineClock {
public:
    int32_t NowMs = 1000;
    VirtualWaveOut* Device = nullptr;
    int32_t Rate = 44100;
    int32_t Waits = 0;

    int32_t TimeOfDayMs() override { return NowMs; }
    void Wait(int32_t pMs, UserInterface& pUi) override
    {
        ++Waits;
        pUi.Yield();
        if (Device)
            Device->AdvanceFrames(static_cast<int64_t>(pMs) * Rate / 1000);
    }
};

/// A headless window whose yield can run one nested action (a second start).
class YieldingUi : public HeadlessUi {
public:
    std::function<void()> OnYield;
    void Yield() override
    {
        HeadlessUi::Yield();
        if (OnYield) {
            auto action = std::move(OnYield);
            OnYield = nullptr;
            action();
        }
    }
};

/// Test signals: distinct, non-silent, different per track and channel.
inline int16_t Signal(int32_t pSeed, int64_t pFrame, int32_t pChannel)
{
    const double v = 9000.0 * std::sin(0.0013 * (pFrame + 1) * (pSeed + 2) + pChannel)
        + 700.0 * ((pFrame * 7 + pSeed) % 13) + 100;
    return static_cast<int16_t>(std::lround(v));
}

/// A started main window with a project built in a temporary data folder, an engine on
/// a virtual device and the transport attached.
struct EngineFixture : StartedLogic<YieldingUi> {
    VirtualWaveOut Device { 3 };
    ManualClock Clock;
    std::unique_ptr<PlaybackEngine> Engine;
    std::unique_ptr<tarvok::Transport> Transport;

    EngineFixture()
    {
        Clock.Device = &Device;
        Clock.Rate = Logic.Proj().SampleRate;
        Engine = std::make_unique<PlaybackEngine>(
            Device, Logic.Proj(), Logic.Ui(), Logic.Options(), Clock);
        Transport = std::make_unique<tarvok::Transport>(Logic, *Engine);
    }

    /// Writes a WAV file of pFrames frames of Signal(pSeed) and returns its wave index.
    int32_t AddWave(int32_t pSeed, int32_t pFrames)
    {
        const std::string path = Home.Dir().File("w" + std::to_string(pSeed) + ".wav");
        WriteWav(path,
            PcmSpec(P().SampleRate, 16, 2,
                Stereo16(
                    pFrames, [&](int64_t f) { return Signal(pSeed, f, 0); },
                    [&](int64_t f) { return Signal(pSeed, f, 1); })));
        return P().AddWaveFile(path);
    }

    /// Places frames pSrcStart.. of a wave at pStart on a track.
    void AddBlock(int32_t pTrack, int32_t pWave, int32_t pStart, int32_t pSrcStart, int32_t pLength,
        float pLevelL = 0, float pLevelR = 0)
    {
        P().AddBlock();
        Block& b = P().Blocks.back();
        b.TrackNo = pTrack;
        b.WaveNo = pWave;
        b.StartAdr = pStart;
        b.SrcStart = pSrcStart;
        b.SrcEnd = pSrcStart + pLength - 1;
        b.LevelL = pLevelL;
        b.LevelR = pLevelR;
        P().NormalizeBlock(P().BlockCount() - 1);
        P().UpdateTitleLength(false);
    }

    /// Envelope ramps that change every frame on two tracks, so interpolation shows.
    void ShapeEnvelopes()
    {
        for (int32_t t = 0; t < P().TrackCount(); ++t) {
            TrackEnvelope& e = P().Envelopes[t];
            for (size_t k = 0; k + 1 < e.size(); k += 2) {
                e[k] = static_cast<uint8_t>(150 + (k * 3 + t * 11) % 100);
                e[k + 1] = static_cast<uint8_t>(120 + (k * 5 + t * 7) % 130);
            }
        }
    }

    /// Ticks both timers every 50 ms of device time until the run ends (or pMaxTicks).
    int RunUntilStopped(int pMaxTicks = 2000, int64_t pFramesPerTick = 2205)
    {
        int ticks = 0;
        while (Engine->Mode() != PlayMode::Stopped && ticks < pMaxTicks) {
            Device.AdvanceFrames(pFramesPerTick);
            Clock.NowMs += 50;
            Engine->TimerProg();
            Engine->TimerVU();
            ++ticks;
        }
        return ticks;
    }

    void Tick(int64_t pFrames)
    {
        Device.AdvanceFrames(pFrames);
        Clock.NowMs += static_cast<int32_t>(pFrames * 1000 / P().SampleRate);
        Engine->TimerProg();
        Engine->TimerVU();
    }
};

/// The frame a track holds at a timeline position: the last block in record order
/// covering it, with the block level applied; nothing when no block covers it.
inline bool TrackSample(const Project& pProject, int32_t pTrack, int64_t pPos, int16_t pOut[2])
{
    for (int32_t bi = pProject.BlockCount() - 1; bi >= 0; --bi) {
        const Block& b = pProject.Blocks[bi];
        if (b.TrackNo != pTrack || pPos < b.StartAdr || pPos > b.EndAdr)
            continue;
        const std::string bytes = ReadFileBytes(pProject.WaveFiles[b.WaveNo].FileName);
        const int64_t offset
            = pProject.WaveFiles[b.WaveNo].DataOffset + (b.SrcStart - 1 + (pPos - b.StartAdr)) * 4;
        int16_t raw[2] = { 0, 0 };
        if (offset + 4 <= static_cast<int64_t>(bytes.size()))
            std::memcpy(raw, bytes.data() + offset, 4);
        const float levels[2] = { b.LevelL, b.LevelR };
        for (int c = 0; c < 2; ++c) {
            if (b.LevelL != 0.0f || b.LevelR != 0.0f)
                pOut[c] = Saturate16(raw[c] * DbToFactor(levels[c]));
            else
                pOut[c] = raw[c];
        }
        return true;
    }
    return false;
}

/// A plain frame-by-frame mix of frames pFrom .. pFrom + pCount - 1 of the tracks that
/// pHeard accepts (in track order, as the test projects add their blocks in track order):
/// block level, track and master level, playback trim and the interpolated envelope,
/// rounded after every track and saturated.
inline std::vector<int16_t> ReferenceMix(const Project& pProject, float pTrimDb, int64_t pFrom,
    int64_t pCount, const std::function<bool(int32_t)>& pHeard)
{
    // Read each file once.
    std::vector<std::string> files;
    for (const WaveFile& w : pProject.WaveFiles)
        files.push_back(ReadFileBytes(w.FileName));
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(pCount) * 2);
    const double trim = DbToFactor(pTrimDb);
    for (int64_t q = pFrom; q < pFrom + pCount; ++q) {
        double acc[2] = { 0, 0 };
        for (int32_t t = 0; t < pProject.TrackCount(); ++t) {
            if (!pHeard(t))
                continue;
            const Block* hit = nullptr;
            for (int32_t bi = pProject.BlockCount() - 1; bi >= 0 && !hit; --bi) {
                const Block& b = pProject.Blocks[bi];
                if (b.TrackNo == t && q >= b.StartAdr && q <= b.EndAdr)
                    hit = &b;
            }
            if (!hit)
                continue;
            const std::string& bytes = files[hit->WaveNo];
            const int64_t offset = pProject.WaveFiles[hit->WaveNo].DataOffset
                + (hit->SrcStart - 1 + (q - hit->StartAdr)) * 4;
            int16_t raw[2] = { 0, 0 }; // a file that lost its tail is silent there
            if (offset + 4 <= static_cast<int64_t>(bytes.size()))
                std::memcpy(raw, bytes.data() + offset, 4);
            const Track& track = pProject.Tracks[t];
            const int32_t levels[2] = { track.LevelL, track.LevelR };
            const int32_t masters[2] = { pProject.MasterLevelL, pProject.MasterLevelR };
            const float blockLevels[2] = { hit->LevelL, hit->LevelR };
            for (int c = 0; c < 2; ++c) {
                int16_t sample = raw[c];
                if (hit->LevelL != 0.0f || hit->LevelR != 0.0f)
                    sample = Saturate16(raw[c] * DbToFactor(blockLevels[c]));
                const double g = static_cast<double>(pProject.Fades[levels[c]])
                    * static_cast<double>(pProject.Fades[masters[c]]) * trim;
                const float env = EnvelopeGain(pProject, t, c, q);
                acc[c] = static_cast<double>(RoundHalfEven(acc[c] + g * sample * env));
            }
        }
        out.push_back(Saturate16(acc[0]));
        out.push_back(Saturate16(acc[1]));
    }
    return out;
}

/// Frames pFrom .. pFrom + pCount - 1 of a log of played samples.
inline std::vector<int16_t> Frames(
    const std::vector<int16_t>& pSamples, int64_t pFrom, int64_t pCount)
{
    if (pFrom * 2 >= static_cast<int64_t>(pSamples.size()))
        return {};
    const int64_t end
        = std::min<int64_t>(static_cast<int64_t>(pSamples.size()), (pFrom + pCount) * 2);
    return std::vector<int16_t>(pSamples.begin() + pFrom * 2, pSamples.begin() + end);
}

/// Index of the first frame where two sample runs differ, or -1.
inline int64_t FirstDifference(const std::vector<int16_t>& pA, const std::vector<int16_t>& pB)
{
    const size_t n = std::min(pA.size(), pB.size());
    for (size_t i = 0; i < n; ++i)
        if (pA[i] != pB[i])
            return static_cast<int64_t>(i / 2);
    return pA.size() == pB.size() ? -1 : static_cast<int64_t>(n / 2);
}

inline bool AllZero(const std::vector<int16_t>& pSamples)
{
    for (int16_t s : pSamples)
        if (s != 0)
            return false;
    return true;
}

} // namespace tarvok::test
