#pragma once

// An output wired back into an input on one hand-driven clock, for the round-trip tests:
// what the output plays is recorded by the input a set number of frames later than the
// latencies the two devices report account for.

#include "core/project.h"
#include "engine/engine_clock.h"
#include "engine/latency_calibration.h"
#include "engine/wave_device.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvok::test {

/// The shared clock and the air between the two devices. Times are in frames.
struct LoopbackLine {
    int64_t Now = 0;
    int32_t Rate = 44100;
    int64_t OutputLatency = 0; ///< reported by the output
    int64_t InputLatency = 0; ///< reported by the input
    int64_t Unreported = 0; ///< the rest of the way back, which nobody reports
    int64_t OutputStart = -1; ///< when the output's first frame was handed over
    std::vector<int16_t> Played; ///< every frame handed to the output, in order

    /// The frame in the air at pTime: output frame pTime - OutputStart - OutputLatency.
    int16_t AirSample(int64_t pTime, int pChannel) const
    {
        if (OutputStart < 0)
            return 0;
        const int64_t frame = pTime - OutputStart - OutputLatency;
        if (frame < 0 || 2 * frame + 1 >= static_cast<int64_t>(Played.size()))
            return 0;
        return Played[static_cast<size_t>(2 * frame + pChannel)];
    }
};

class LoopbackOut : public WaveOutService {
public:
    explicit LoopbackOut(LoopbackLine& pLine)
        : line_(pLine)
    {
    }
    std::vector<WaveDeviceInfo> Devices() override { return { { 0, "loop out" } }; }
    WaveResult Open(int32_t pId, const WaveFormat&, WaveHandle& pHandle) override
    {
        if (pId != 0)
            return kWaveErrBadDevice;
        line_.OutputStart = -1;
        line_.Played.clear();
        queued_.clear();
        pHandle = 1;
        return kWaveOk;
    }
    WaveResult Prepare(WaveHandle, WaveHeader& pHeader) override
    {
        pHeader.MarkPrepared();
        return kWaveOk;
    }
    WaveResult Write(WaveHandle, WaveHeader& pHeader) override
    {
        if (line_.OutputStart < 0)
            line_.OutputStart = line_.Now;
        const auto* s = reinterpret_cast<const int16_t*>(pHeader.Data);
        line_.Played.insert(line_.Played.end(), s, s + pHeader.Length / 2);
        pHeader.MarkQueued();
        queued_.push_back({ &pHeader, static_cast<int64_t>(line_.Played.size() / 2) });
        return kWaveOk;
    }
    /// Marks done the buffers heard to their end.
    void Advance()
    {
        uint32_t bytes = 0;
        GetPosition(1, bytes);
        while (!queued_.empty() && queued_.front().second <= bytes / 4) {
            queued_.front().first->MarkDone();
            queued_.erase(queued_.begin());
        }
    }
    WaveResult Unprepare(WaveHandle, WaveHeader& pHeader) override { return pHeader.Unprepare(); }
    WaveResult GetPosition(WaveHandle, uint32_t& pBytes) override
    {
        const int64_t heard = line_.OutputStart < 0
            ? 0
            : std::clamp<int64_t>(line_.Now - line_.OutputStart - line_.OutputLatency, 0,
                static_cast<int64_t>(line_.Played.size() / 2));
        pBytes = static_cast<uint32_t>(heard * 4);
        return kWaveOk;
    }
    WaveResult Pause(WaveHandle) override { return kWaveOk; }
    WaveResult Restart(WaveHandle) override { return kWaveOk; }
    WaveResult Reset(WaveHandle) override
    {
        for (auto& [header, end] : queued_)
            header->MarkDone();
        queued_.clear();
        return kWaveOk;
    }
    WaveResult Close(WaveHandle) override { return kWaveOk; }
    std::string ErrorText(WaveResult pResult) override { return CommonWaveErrorText(pResult); }
    double LatencySeconds(WaveHandle) override
    {
        return static_cast<double>(line_.OutputLatency) / line_.Rate;
    }

private:
    LoopbackLine& line_;
    std::vector<std::pair<WaveHeader*, int64_t>> queued_;
};

class LoopbackIn : public WaveInService {
public:
    explicit LoopbackIn(LoopbackLine& pLine)
        : line_(pLine)
    {
    }
    std::vector<WaveDeviceInfo> Devices() override { return { { 0, "loop in" } }; }
    WaveResult Open(int32_t pId, const WaveFormat&, WaveHandle& pHandle) override
    {
        if (pId != 0)
            return kWaveErrBadDevice;
        queue_.clear();
        start_ = -1;
        delivered_ = 0;
        pHandle = 1;
        return kWaveOk;
    }
    WaveResult Prepare(WaveHandle, WaveHeader& pHeader) override
    {
        pHeader.MarkPrepared();
        return kWaveOk;
    }
    WaveResult AddBuffer(WaveHandle, WaveHeader& pHeader) override
    {
        pHeader.BytesRecorded.store(0);
        pHeader.MarkQueued();
        queue_.push_back(&pHeader);
        return kWaveOk;
    }
    WaveResult Unprepare(WaveHandle, WaveHeader& pHeader) override { return pHeader.Unprepare(); }
    WaveResult Start(WaveHandle) override
    {
        start_ = line_.Now;
        return kWaveOk;
    }
    WaveResult Stop(WaveHandle) override { return kWaveOk; }
    WaveResult GetPosition(WaveHandle, uint32_t& pBytes) override
    {
        pBytes = static_cast<uint32_t>(delivered_ * 4);
        return kWaveOk;
    }
    WaveResult Reset(WaveHandle) override
    {
        for (WaveHeader* h : queue_)
            h->MarkDone();
        queue_.clear();
        return kWaveOk;
    }
    WaveResult Close(WaveHandle) override { return kWaveOk; }
    std::string ErrorText(WaveResult pResult) override { return CommonWaveErrorText(pResult); }
    double LatencySeconds(WaveHandle) override
    {
        return static_cast<double>(line_.InputLatency) / line_.Rate;
    }

    /// Delivers every frame up to the line's clock: input frame j is delivered at
    /// start + j and holds what was in the air one input latency and the unreported rest
    /// before that.
    void Deliver()
    {
        if (start_ < 0)
            return;
        while (delivered_ < line_.Now - start_ && !queue_.empty()) {
            WaveHeader& h = *queue_.front();
            const uint32_t filled = h.BytesRecorded.load();
            auto* s = reinterpret_cast<int16_t*>(h.Data + filled);
            const int64_t t = start_ + delivered_ - line_.InputLatency - line_.Unreported;
            s[0] = line_.AirSample(t, 0);
            s[1] = line_.AirSample(t, 1);
            ++delivered_;
            h.BytesRecorded.store(filled + 4);
            if (filled + 4 >= h.Length) {
                h.MarkDone();
                queue_.erase(queue_.begin());
            }
        }
        delivered_ = std::max(delivered_, line_.Now - start_);
    }

private:
    LoopbackLine& line_;
    std::vector<WaveHeader*> queue_;
    int64_t start_ = -1;
    int64_t delivered_ = 0;
};

/// The clock of the loopback: each wait moves the line on and delivers the input.
class LoopbackClock : public EngineClock {
public:
    LoopbackClock(LoopbackLine& pLine, LoopbackOut& pOut, LoopbackIn& pIn)
        : line_(pLine)
        , out_(pOut)
        , in_(pIn)
    {
    }
    int32_t TimeOfDayMs() override { return static_cast<int32_t>(line_.Now * 1000 / line_.Rate); }
    void Wait(int32_t pMs, UserInterface&) override
    {
        line_.Now += static_cast<int64_t>(pMs) * line_.Rate / 1000;
        out_.Advance();
        in_.Deliver();
    }

private:
    LoopbackLine& line_;
    LoopbackOut& out_;
    LoopbackIn& in_;
};

/// The timeline frame of the click in the take on track pTrack (its first block there); -1
/// when the track holds no block or its sound no click.
inline int64_t ClickInTake(const Project& pProject, int32_t pTrack)
{
    for (const Block& b : pProject.Blocks) {
        if (b.TrackNo != pTrack)
            continue;
        const WaveFile& w = pProject.WaveFiles[b.WaveNo];
        const std::string bytes = ReadFileBytes(w.FileName);
        std::vector<int16_t> s((bytes.size() - w.DataOffset) / 2);
        std::memcpy(s.data(), bytes.data() + w.DataOffset, s.size() * 2);
        const std::optional<int64_t> onset = FindClickOnset(s);
        return onset ? b.StartAdr + *onset - (b.SrcStart - 1) : -1;
    }
    return -1;
}

} // namespace tarvok::test
