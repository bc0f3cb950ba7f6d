#include "engine/level_meters.h"

#include "base/numeric.h"
#include "core/project.h"
#include "engine/playback_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvok {

void UpdateTrackMeters(
    const Project& pProject, PlayMode pPlayMode, std::vector<TrackMeterPair>& pMeters, bool pReset)
{
    pMeters.resize(static_cast<size_t>(pProject.TrackCount()),
        TrackMeterPair { -kMeterFloorDb, -kMeterFloorDb });
    if (pReset)
        return;
    for (TrackMeterPair& m : pMeters)
        for (int16_t& v : m)
            v = static_cast<int16_t>(std::max(-kMeterFloorDb, v - 1));
    const int32_t step = std::max(1, pProject.SampleStep);
    for (const Block& b : pProject.Blocks) {
        if (b.TrackNo < 0 || b.TrackNo >= pProject.TrackCount())
            continue;
        const Track& t = pProject.Tracks[b.TrackNo];
        bool heard = false;
        if (pPlayMode == PlayMode::All)
            heard = t.PlaySelected != 0;
        else if (pPlayMode >= PlayMode::Shuttle && pPlayMode <= PlayMode::ScrubBurst)
            heard = b.TrackNo == pProject.CurrentTrack;
        else
            heard = t.Selected != 0;
        if (!heard || b.WaveNo < 0 || b.WaveNo >= static_cast<int32_t>(pProject.Peaks.size()))
            continue;
        const int64_t k = RoundHalfEven(
            static_cast<double>(static_cast<int64_t>(b.SrcStart) + pProject.Head - b.StartAdr)
            / step);
        if (k < b.PeakStart || k > b.PeakEnd)
            continue;
        const PeakArray& peaks = pProject.Peaks[b.WaveNo];
        if (2 * k + 1 >= static_cast<int64_t>(peaks.size()))
            continue;
        for (int c = 0; c < 2; ++c) {
            const double v = FactorToDb(peaks[2 * k + c] / 256.0);
            int16_t& m = pMeters[b.TrackNo][c];
            if (m < v)
                m = static_cast<int16_t>(std::clamp<int64_t>(RoundHalfEven(v), -kMeterFloorDb, 0));
        }
    }
}

int32_t TrackMeterBarTop(int32_t pValue, int32_t pHeight)
{
    return static_cast<int32_t>(-pValue * (pHeight - 8) / static_cast<double>(kMeterFloorDb));
}

MasterReading UpdateMasterMeters(
    PlaybackEngine& pEngine, const MasterMeterSettings& pSettings, bool pReset)
{
    MasterReading r;
    double peak[2] = { 0, 0 };
    double sumSq[2] = { 0, 0 };
    int64_t count = 0;
    if (!pReset && pEngine.BufferSamples() > 0) {
        const Project& p = pEngine.Proj();
        const int64_t d2 = RoundHalfEven(0.2 * p.SampleRate);
        const int64_t d1 = RoundHalfEven(0.1 * p.SampleRate);
        int64_t lo, hi;
        if (pEngine.PlaySpeed() > 0) {
            lo = p.Head - d2;
            hi = p.Head + RoundHalfEven(0.3 * p.SampleRate) - d2;
        } else {
            lo = p.Head - d1;
            hi = p.Head + d2;
        }
        const int32_t ring = pEngine.BufferCount();
        for (int32_t i = 0; i < ring; ++i) {
            int64_t start = pEngine.BufferStart(i);
            int64_t end = pEngine.BufferEnd(i);
            if (start == -1 || end == -1)
                continue;
            if (end < start)
                std::swap(start, end);
            const int64_t from = std::max(start, lo);
            const int64_t to = std::min({ end, hi, start + pEngine.BufferSamples() });
            for (int64_t q = from; q < to; ++q) {
                const int64_t j = q - start;
                double s[2] = { 0, 0 };
                for (int32_t slot = 0; slot < kOutputSlots; ++slot) {
                    if (!pEngine.OutputUsed()[slot])
                        continue;
                    const int16_t* samples = pEngine.Samples(slot, i);
                    if (!samples)
                        continue;
                    s[0] += std::abs(static_cast<int32_t>(samples[2 * j]));
                    s[1] += std::abs(static_cast<int32_t>(samples[2 * j + 1]));
                }
                for (int c = 0; c < 2; ++c) {
                    peak[c] = std::max(peak[c], s[c]);
                    sumSq[c] += s[c] * s[c];
                }
                ++count;
            }
        }
    }
    r.Frames = count;
    for (int c = 0; c < 2; ++c) {
        const double rms = sumSq[c] != 0 ? std::sqrt(sumSq[c] / static_cast<double>(count)) : 0;
        r.RmsLin[c] = static_cast<float>(rms / 32767.0);
        r.RmsDb[c] = static_cast<float>(
            FactorToDb(r.RmsLin[c]) + 3.0 * pSettings.RMSP3 - pSettings.PlayTrimDB);
        r.PeakDb[c] = static_cast<float>(FactorToDb(peak[c] / 32767.0) - pSettings.PlayTrimDB);
    }
    return r;
}

std::string MasterReadoutText(double pLeftDb, double pRightDb)
{
    auto part = [](double pDb) -> std::string {
        const int64_t v = RoundHalfEven(pDb);
        if (v < -98)
            return "-∞";
        char text[32];
        std::snprintf(text, sizeof text, "%s%02lld", v > 0 ? "+" : "-",
            static_cast<long long>(std::llabs(v)));
        return text;
    };
    return part(pLeftDb) + " " + part(pRightDb);
}

double NeedleValue(float pRmsLin, const MasterMeterSettings& pSettings)
{
    return pRmsLin * DbToFactor(std::fabs(pSettings.VULevelTrim) - pSettings.PlayTrimDB);
}

void BarMeter::Draw(int32_t pRms, int32_t pPeak)
{
    const double a = std::clamp(pRms, Min, Max);
    const double b = std::clamp(pPeak, Min, Max);
    const double fall = static_cast<double>(Max - Min) / std::max(1, PeakDecRate);
    bar_ = std::max<double>(Min, bar_ - fall);
    if (a > bar_)
        bar_ = a;
    if (PeakIndp) {
        peak_ = std::max<double>(Min, peak_ - fall);
        if (b > peak_)
            peak_ = b;
    } else {
        peak_ = std::max<double>(Min, peak_ - 10 * fall);
        if (a > peak_)
            peak_ = a;
    }
}

void BarMeter::Set(double pBar, double pPeak)
{
    bar_ = std::clamp<double>(pBar, Min, Max);
    peak_ = std::clamp<double>(pPeak, Min, Max);
}

void BarMeter::Clear() { bar_ = peak_ = Min; }

double BarMeter::PixelFromTop(double pValue, int32_t pHeight) const
{
    return pHeight - pHeight / static_cast<double>(Max - Min) * (pValue - Min);
}

void MultiBarMeter::SetParms()
{
    bars_.resize(static_cast<size_t>(std::max(0, NumValue)) + 1);
    ResetVU(-1);
}

void MultiBarMeter::SetStrType(bool pIsNumber)
{
    for (size_t i = 0; i < bars_.size(); ++i)
        bars_[i].Label = pIsNumber ? std::to_string(i + 1) : (i % 2 == 0 ? "L" : "R");
}

void MultiBarMeter::SetStr(int32_t pBar, std::string pText)
{
    if (pBar >= 0 && pBar < static_cast<int32_t>(bars_.size()))
        bars_[pBar].Label = std::move(pText);
}

int32_t MultiBarMeter::X(double pValue) const
{
    const double span = std::fabs(Max - Min);
    if (span == 0)
        return LeftMargin;
    return static_cast<int32_t>(std::floor(std::fabs(pValue - Min) * W() / span)) + LeftMargin;
}

void MultiBarMeter::DrawVU(int32_t pBar, double pRms, double pPeak, std::string pText)
{
    if (pBar < 0 || pBar >= static_cast<int32_t>(bars_.size()))
        return;
    BarState& s = bars_[pBar];
    const double a = std::max(pRms, Min);
    const double b = std::max(pPeak, Min);
    const double fall = static_cast<double>(W()) / std::max(1, DecRate);
    s.Bar = std::max<double>(LeftMargin, s.Bar - (PeakIndp ? fall : fall / 2));
    s.Bar = std::max<double>(s.Bar, X(a));
    if (PeakIndp) {
        s.Peak = std::max<double>(LeftMargin, s.Peak - fall);
        s.Peak = std::max<double>(s.Peak, X(b));
    }
    s.Text = std::move(pText);
}

void MultiBarMeter::ResetVU(int32_t pBar)
{
    for (int32_t i = 0; i < static_cast<int32_t>(bars_.size()); ++i)
        if (pBar == -1 || pBar == i) {
            bars_[i].Bar = LeftMargin;
            bars_[i].Peak = LeftMargin;
        }
}

std::vector<ScaleMark> MultiBarMeter::Scale(int32_t pDbMode, int32_t pWidthTwips) const
{
    std::vector<ScaleMark> marks;
    const double w = W();
    const double left = LeftMargin;
    if (pDbMode == 0) {
        marks = { { left, "-∞" }, { left + 0.1 * w, "-20db" }, { left + 0.25 * w, "-12db" },
            { left + 0.5 * w, "-6db" } };
    } else if (pWidthTwips >= 5000) {
        for (int j = 0; j <= 14; ++j)
            marks.push_back({ left + j / 15.0 * w, std::to_string(-60 + 4 * j) });
    } else {
        for (int j = 0; j <= 5; ++j)
            marks.push_back({ left + j / 6.0 * w, std::to_string(-60 + 10 * j) });
    }
    marks.push_back({ left + w, "0db" });
    return marks;
}

std::string FormatDb00_0(double pValue)
{
    const int64_t tenths = RoundHalfEven(pValue * 10.0);
    const int64_t mag = std::llabs(tenths);
    char text[32];
    std::snprintf(text, sizeof text, "%s%02lld.%lld", tenths < 0 ? "-" : "",
        static_cast<long long>(mag / 10), static_cast<long long>(mag % 10));
    return text;
}

} // namespace tarvok
