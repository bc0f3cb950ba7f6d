#include "engine/latency_calibration.h"

#include "base/numeric.h"
#include "core/settings.h"
#include "engine/engine_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace tarvok {

namespace {

constexpr int32_t kFrameBytes = 4;
/// Output and input move in buffers of this length.
constexpr int32_t kChunkMs = 250;
/// The input records this long after the output has ended, for the way back.
constexpr int32_t kTailMs = 1500;
/// Readings are this far apart, as the recorder's ticks are.
constexpr int32_t kReadingMs = 50;

int32_t Magnitude(int16_t pSample) { return std::abs(static_cast<int32_t>(pSample)); }

/// A ring of pCount buffers of pFrames stereo frames each.
struct Buffers {
    Buffers(int32_t pCount, int32_t pFrames)
        : Headers(std::make_unique<WaveHeader[]>(static_cast<size_t>(pCount)))
        , Samples(
              static_cast<size_t>(pCount), std::vector<int16_t>(static_cast<size_t>(pFrames) * 2))
        , Count(pCount)
    {
        for (int32_t i = 0; i < pCount; ++i) {
            Headers[i].Data = reinterpret_cast<uint8_t*>(Samples[static_cast<size_t>(i)].data());
            Headers[i].Length = static_cast<uint32_t>(pFrames) * kFrameBytes;
        }
    }
    bool AllDone() const
    {
        for (int32_t i = 0; i < Count; ++i)
            if (!Headers[i].IsDone())
                return false;
        return true;
    }
    std::unique_ptr<WaveHeader[]> Headers;
    std::vector<std::vector<int16_t>> Samples;
    int32_t Count;
};

/// The output side of the measurement: silence with the click at pClickAt, queued whole.
WaveResult PlayClick(WaveOutService& pOut, WaveHandle pHandle, Buffers& pBuffers, int64_t pClickAt,
    int32_t pChunk, int32_t pRate)
{
    const std::vector<int16_t> click = MakeClick(std::max(8, pRate / 200));
    for (size_t i = 0; i < click.size(); ++i) {
        const int64_t at = pClickAt * 2 + static_cast<int64_t>(i);
        const int64_t chunk = at / (2 * static_cast<int64_t>(pChunk));
        if (chunk < pBuffers.Count)
            pBuffers.Samples[static_cast<size_t>(chunk)][static_cast<size_t>(at % (2 * pChunk))]
                = click[i];
    }
    for (int32_t i = 0; i < pBuffers.Count; ++i) {
        WaveResult r = pOut.Prepare(pHandle, pBuffers.Headers[i]);
        if (r == kWaveOk)
            r = pOut.Write(pHandle, pBuffers.Headers[i]);
        if (r != kWaveOk)
            return r;
    }
    return kWaveOk;
}

std::string EncodeName(const std::string& pName)
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : pName) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_'
            || u == '-' || u == '.')
            out += c;
        else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

} // namespace

void TakeAlignment::AddReading(double pHeardFrame, double pInputFrames, double pInputLatencyFrames)
{
    if (Full())
        return;
    const std::optional<Clocks> previous = previous_;
    previous_ = Clocks { pHeardFrame, pInputFrames };
    if (!previous)
        return;
    const double heard = pHeardFrame - previous->Heard;
    const double input = pInputFrames - previous->Input;
    // Both clocks run at the same rate; a block's jitter either way is allowed.
    if (heard <= 0 || input <= 0 || std::abs(heard - input) > 0.5 * std::max(heard, input))
        return;
    const double reading = pHeardFrame - pInputLatencyFrames - pInputFrames;
    // Jitter moves a reading by a block at most; a larger step is the clocks settling, and
    // what was read before it no longer holds.
    if (!readings_.empty() && std::abs(reading - readings_.back()) > kSettledStepFrames)
        readings_.clear();
    readings_.push_back(reading);
}

std::optional<double> TakeAlignment::Anchor() const
{
    if (readings_.empty())
        return std::nullopt;
    std::vector<double> sorted = readings_;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

int32_t PlaceTakeStart(
    double pAnchor, int64_t pFirstInputFrame, int64_t pOffsetFrames, int32_t pMaxFrame)
{
    const int64_t at
        = RoundHalfEven(pAnchor + static_cast<double>(pFirstInputFrame)) - pOffsetFrames;
    return static_cast<int32_t>(std::clamp<int64_t>(at, 0, pMaxFrame));
}

int64_t MeasuredOffsetFrames(double pAnchor, int64_t pOnsetInputFrame, int64_t pPlayedFrame)
{
    return RoundHalfEven(pAnchor + static_cast<double>(pOnsetInputFrame)) - pPlayedFrame;
}

std::vector<int16_t> MakeClick(int32_t pFrames)
{
    std::vector<int16_t> click(static_cast<size_t>(std::max(0, pFrames)) * 2, 0);
    // A few frames of full scale, alternating: a sharp edge that survives a resampler.
    const int32_t burst = std::min(pFrames, 8);
    for (int32_t f = 0; f < burst; ++f)
        click[2 * static_cast<size_t>(f)] = click[2 * static_cast<size_t>(f) + 1]
            = f % 2 == 0 ? int16_t { 30000 } : int16_t { -30000 };
    return click;
}

std::optional<int64_t> FindClickOnset(const std::vector<int16_t>& pFrames, int32_t pMinPeak)
{
    int32_t peak = 0;
    for (const int16_t s : pFrames)
        peak = std::max(peak, Magnitude(s));
    if (peak < std::max(1, pMinPeak))
        return std::nullopt;
    const int32_t threshold = std::max(1, peak / 4);
    for (size_t i = 0; i < pFrames.size(); ++i)
        if (Magnitude(pFrames[i]) >= threshold)
            return static_cast<int64_t>(i / 2);
    return std::nullopt;
}

std::string LatencyOffsetKey(const std::string& pOutput, const std::string& pInput)
{
    return "RoundTripUs_" + EncodeName(pOutput) + "|" + EncodeName(pInput);
}

std::optional<int64_t> StoredLatencyOffsetUs(
    const Settings& pStore, const std::string& pOutput, const std::string& pInput)
{
    const std::optional<std::string> text
        = pStore.GetRaw(LatencyOffsetKey(pOutput, pInput), kLatencySection);
    if (!text || text->empty())
        return std::nullopt;
    char* end = nullptr;
    const long long us = std::strtoll(text->c_str(), &end, 10);
    if (*end != '\0')
        return std::nullopt;
    return us;
}

bool StoreLatencyOffsetUs(
    Settings& pStore, const std::string& pOutput, const std::string& pInput, int64_t pUs)
{
    return pStore.Backend().WriteValue(
        kLatencySection, LatencyOffsetKey(pOutput, pInput), std::to_string(pUs));
}

int64_t FramesToUs(int64_t pFrames, int32_t pRate)
{
    return RoundHalfEven(static_cast<double>(pFrames) * 1e6 / std::max(1, pRate));
}

int64_t UsToFrames(int64_t pUs, int32_t pRate)
{
    return RoundHalfEven(static_cast<double>(pUs) * std::max(1, pRate) / 1e6);
}

namespace {

/// Ends both sides: every buffer handed back, the handles closed.
void CloseBoth(WaveOutService& pOut, WaveHandle pOutHandle, Buffers& pPlayed, WaveInService& pIn,
    WaveHandle pInHandle, Buffers& pRecorded)
{
    if (pOutHandle != kNoWaveHandle) {
        pOut.Reset(pOutHandle);
        for (int32_t i = 0; i < pPlayed.Count; ++i)
            pOut.Unprepare(pOutHandle, pPlayed.Headers[i]);
        pOut.Close(pOutHandle);
    }
    if (pInHandle != kNoWaveHandle) {
        pIn.Reset(pInHandle);
        pIn.Stop(pInHandle);
        for (int32_t i = 0; i < pRecorded.Count; ++i)
            pIn.Unprepare(pInHandle, pRecorded.Headers[i]);
        pIn.Close(pInHandle);
    }
}

} // namespace

Result<RoundTripResult> MeasureRoundTrip(WaveOutService& pOut, WaveInService& pIn,
    const RoundTripRequest& pRequest, EngineClock& pClock, UserInterface& pUi)
{
    const int32_t rate = std::max(8000, pRequest.SampleRate);
    const int32_t chunk = rate * kChunkMs / 1000;
    const int64_t total = static_cast<int64_t>(rate) * pRequest.LengthMs / 1000;
    const int64_t clickAt = static_cast<int64_t>(rate) * pRequest.ClickAtMs / 1000;
    Buffers played(static_cast<int32_t>((total + chunk - 1) / chunk), chunk);
    Buffers recorded(played.Count + kTailMs / kChunkMs, chunk);
    WaveFormat format;
    format.SampleRate = rate;
    WaveHandle in = kNoWaveHandle, out = kNoWaveHandle;
    auto fail = [&](const std::string& pWhy) {
        CloseBoth(pOut, out, played, pIn, in, recorded);
        return Fail(pWhy);
    };
    if (WaveResult r = pIn.Open(pRequest.InputId, format, in); r != kWaveOk) {
        in = kNoWaveHandle;
        return fail(TrArgs("%1（入力: %2）", Tr(kLatencyOpenFailedText), pIn.ErrorText(r)));
    }
    if (WaveResult r = pOut.Open(pRequest.OutputId, format, out); r != kWaveOk) {
        out = kNoWaveHandle;
        return fail(TrArgs("%1（出力: %2）", Tr(kLatencyOpenFailedText), pOut.ErrorText(r)));
    }
    for (int32_t i = 0; i < recorded.Count; ++i) {
        WaveResult r = pIn.Prepare(in, recorded.Headers[i]);
        if (r == kWaveOk)
            r = pIn.AddBuffer(in, recorded.Headers[i]);
        if (r != kWaveOk)
            return fail(TrArgs("%1（入力: %2）", Tr(kLatencyOpenFailedText), pIn.ErrorText(r)));
    }
    if (WaveResult r = pIn.Start(in); r != kWaveOk)
        return fail(TrArgs("%1（入力: %2）", Tr(kLatencyOpenFailedText), pIn.ErrorText(r)));
    if (WaveResult r = PlayClick(pOut, out, played, clickAt, chunk, rate); r != kWaveOk)
        return fail(TrArgs("%1（出力: %2）", Tr(kLatencyOpenFailedText), pOut.ErrorText(r)));

    RoundTripResult result;
    result.SampleRate = rate;
    result.ReportedOutputMs = pOut.LatencySeconds(out) * 1000;
    result.ReportedInputMs = pIn.LatencySeconds(in) * 1000;
    const double inputLatency = pIn.LatencySeconds(in) * rate;
    TakeAlignment alignment;
    const int32_t started = pClock.TimeOfDayMs();
    const int32_t bound = pRequest.LengthMs + kTailMs + 5000;
    while (!recorded.AllDone() && ElapsedMs(started, pClock.TimeOfDayMs()) < bound) {
        pClock.Wait(kReadingMs, pUi);
        uint32_t bytes = 0;
        if (pOut.GetPosition(out, bytes) != kWaveOk)
            continue;
        const auto heardFrames = bytes / kFrameBytes; // whole frames
        const double heard = static_cast<double>(heardFrames);
        if (heard > 0 && heard < static_cast<double>(total))
            alignment.AddReading(heard, pIn.ClockFrames(in), inputLatency);
    }
    std::vector<int16_t> samples;
    for (int32_t i = 0; i < recorded.Count; ++i) {
        const uint32_t got = recorded.Headers[i].BytesRecorded.load() / 2;
        const std::vector<int16_t>& s = recorded.Samples[static_cast<size_t>(i)];
        samples.insert(samples.end(), s.begin(), s.begin() + std::min<size_t>(got, s.size()));
    }
    CloseBoth(pOut, out, played, pIn, in, recorded);
    in = out = kNoWaveHandle;
    const std::optional<int64_t> onset = FindClickOnset(samples);
    const std::optional<double> anchor = alignment.Anchor();
    if (!onset || !anchor)
        return Fail(Tr(kLatencyNoClickText));
    result.OnsetInputFrame = *onset;
    result.Anchor = *anchor;
    result.Readings = alignment.Count();
    result.OffsetFrames = MeasuredOffsetFrames(*anchor, *onset, clickAt);
    return result;
}

} // namespace tarvok
