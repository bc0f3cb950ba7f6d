#include "engine/recording_monitor.h"

#include "base/numeric.h"
#include "core/project.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tarvok {

namespace {

constexpr double kRmsP3Factor = 1.412538;

} // namespace

std::optional<double> ParseLevelText(std::string_view pText)
{
    std::string text(pText);
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    text = text.substr(first);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return std::nullopt;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

RecordingMonitor::RecordingMonitor(RecordingEngine& pRecorder,
    const std::array<int32_t, 8>& pInputEnabled, int32_t pDbMode, int32_t pRmsP3)
    : rec_(pRecorder)
    , dbMode_(pDbMode != 0)
    , rmsP3_(pRmsP3)
{
    for (int32_t k = 0; k < 8; ++k)
        if (pInputEnabled[k])
            slots_.push_back(k);
}

void RecordingMonitor::Open()
{
    rec_.MonitorOpen = -1;
    meter_.NumValue = std::max(0, ChannelCount() - 1);
    meter_.PeakIndp = true;
    meter_.LeftMargin = 20;
    meter_.RightMargin = 45;
    SetMeterMode(dbMode_);
    for (int32_t c = 0; c < ChannelCount(); ++c)
        meter_.SetStr(c, ChannelLabel(c));
    lastRecording_ = rec_.Recording;
    prevP_.fill(0);
    rec_.MonitorOpen = 1;
}

void RecordingMonitor::Close()
{
    rec_.MonitorOpen = -1;
    meter_.ResetVU(-1);
    rec_.MonitorOpen = 0;
}

bool RecordingMonitor::IsOpen() const { return rec_.MonitorOpen == 1; }

std::string RecordingMonitor::ChannelLabel(int32_t pChannel) const
{
    return std::to_string(2 * SlotOfChannel(pChannel) + 1 + pChannel % 2);
}

int32_t RecordingMonitor::SliderValue(int32_t pChannel) const
{
    const int32_t slot = SlotOfChannel(pChannel);
    const EngineOptions& o = rec_.Options();
    const float db = pChannel % 2 == 0 ? o.LevelLdb[slot] : o.LevelRdb[slot];
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(db * 10.0), -400, 200));
}

std::string RecordingMonitor::SliderText(int32_t pChannel) const
{
    return FormatDb00_0(SliderValue(pChannel) / 10.0);
}

void RecordingMonitor::SetSlider(int32_t pChannel, int32_t pTenthsDb)
{
    if (pChannel < 0 || pChannel >= ChannelCount())
        return;
    const int32_t v = std::clamp(pTenthsDb, -400, 200);
    const int32_t slot = SlotOfChannel(pChannel);
    EngineOptions& o = rec_.Options();
    (pChannel % 2 == 0 ? o.LevelLdb : o.LevelRdb)[slot] = static_cast<float>(v / 10.0);
}

void RecordingMonitor::SetMeterMode(bool pDb)
{
    dbMode_ = pDb;
    if (pDb) {
        meter_.Min = -60;
        meter_.Max = 0;
        meter_.RedPoint = -20;
    } else {
        meter_.Min = 0;
        meter_.Max = 32768;
        meter_.RedPoint = 16384;
    }
    meter_.SetParms();
    for (int32_t c = 0; c < ChannelCount(); ++c)
        meter_.SetStr(c, ChannelLabel(c));
}

void RecordingMonitor::ToggleMeterMode() { SetMeterMode(!dbMode_); }

void RecordingMonitor::SetUseStart(bool pOn) { rec_.Options().UseMuonStart = pOn ? 1 : 0; }
void RecordingMonitor::SetUseStop(bool pOn) { rec_.Options().UseMuonStop = pOn ? 1 : 0; }

bool RecordingMonitor::EnterLevel(bool pStop, std::string_view pText)
{
    const std::optional<double> v = ParseLevelText(pText);
    if (!v)
        return false;
    const float db = static_cast<float>(-std::fabs(*v));
    const int32_t amplitude = static_cast<int32_t>(RoundHalfEven(DbToFactor(db) * 32767));
    if (pStop) {
        rec_.Options().MuonStopLevelDB = db;
        rec_.StopAmplitude = amplitude;
    } else {
        rec_.Options().MuonStartLevelDB = db;
        rec_.StartAmplitude = amplitude;
    }
    return true;
}

std::string RecordingMonitor::LevelText(bool pStop) const
{
    const double db = pStop ? rec_.Options().MuonStopLevelDB : rec_.Options().MuonStartLevelDB;
    const int64_t tenths = RoundHalfEven(db * 10.0);
    const int64_t mag = std::llabs(tenths);
    return std::string(tenths < 0 ? "-" : "") + std::to_string(mag / 10) + "."
        + std::to_string(mag % 10);
}

void RecordingMonitor::ChooseStopSeconds(int32_t pItem)
{
    const int32_t item = std::clamp(pItem, 0, 9);
    rec_.Options().MuonStopLengthMS = item * 1000 + 1000;
    rec_.StopLength = static_cast<int32_t>(RoundHalfEven(
        rec_.Options().MuonStopLengthMS / 1000.0 * rec_.Playback().Proj().SampleRate));
}

int32_t RecordingMonitor::StopSecondsItem() const
{
    return std::clamp(rec_.Options().MuonStopLengthMS / 1000 - 1, 0, 9);
}

bool RecordingMonitor::ShowsRecordingButtons() const { return rec_.Recording; }

bool RecordingMonitor::Tick()
{
    if (rec_.Recording != lastRecording_) {
        lastRecording_ = rec_.Recording;
    } else if (rec_.Recording && rec_.RecBufferSamples > 0) {
        const int32_t n = rec_.RecBufferSamples;
        const int32_t rate = rec_.Playback().Proj().SampleRate;
        for (size_t si = 0; si < slots_.size(); ++si) {
            const int32_t k = slots_[si];
            if (!rec_.Slots[k].Active)
                continue;
            // 50 ms behind the device, so the frames read are surely in the buffer.
            const int64_t p = RoundHalfEven(rec_.InputPosition(k) / 4.0 - 0.05 * rate);
            const int32_t buffer = static_cast<int32_t>(((p / n) % 3 + 3) % 3);
            int64_t from = prevP_[k] % n;
            const int64_t to = ((p % n) + n) % n;
            if (to < from || from < 0 || p < 0)
                from = 0;
            prevP_[k] = p;
            const std::vector<int16_t>& samples = rec_.BufferSamples(k, buffer);
            for (int c = 0; c < 2; ++c) {
                double peak = 0, sumSq = 0;
                const int64_t count = std::max<int64_t>(0, to - from);
                for (int64_t f = from; f < to && 2 * f + c < static_cast<int64_t>(samples.size());
                     ++f) {
                    const double v = std::abs(static_cast<int32_t>(samples[2 * f + c]));
                    peak = std::max(peak, v);
                    sumSq += v * v;
                }
                double rms = count > 0 ? std::sqrt(sumSq / static_cast<double>(count)) : 0;
                const double gain = rec_.SlotGain(k, c);
                peak *= gain;
                rms *= gain;
                if (rmsP3_)
                    rms *= kRmsP3Factor;
                const int32_t bar = static_cast<int32_t>(si) * 2 + c;
                const std::string text = FormatDb00_0(FactorToDb(rms / 32767.0));
                if (dbMode_)
                    meter_.DrawVU(bar, FactorToDb(rms / 32767.0), FactorToDb(peak / 32767.0), text);
                else
                    meter_.DrawVU(bar, static_cast<double>(RoundHalfEven(rms)), peak, text);
            }
        }
    }
    if (rec_.MonitorClose) {
        rec_.MonitorClose = false;
        Close();
        return false;
    }
    return true;
}

} // namespace tarvok
