#include "app/windows/main_view.h"

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "core/peaks.h"
#include "core/time_text.h"
#include "engine/recording_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarvok {

namespace {

int32_t Nearest(double pValue)
{
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(pValue), INT32_MIN, INT32_MAX));
}

std::string OneDecimal(double pValue)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", pValue);
    return text;
}

/// Level index of envelope frame pFrame, channel pChannel; 0 outside the array.
int32_t EnvelopeAt(const TrackEnvelope& pEnv, int64_t pFrame, int pChannel)
{
    const int64_t i = 2 * pFrame + pChannel;
    if (pFrame < 0 || i >= static_cast<int64_t>(pEnv.size()))
        return 0;
    return pEnv[static_cast<size_t>(i)];
}

} // namespace

MainView::MainView(MainLogic& pLogic)
    : logic_(pLogic)
{
    ZoomMode = pLogic.Options().ZoomMode;
}

int64_t MainView::Fpp() const
{
    const Project& p = logic_.Proj();
    return std::max<int64_t>(1, static_cast<int64_t>(p.Zoom) * p.SampleStep);
}

void MainView::Arrange(int32_t pAvailablePx, int32_t pViewWidthPx)
{
    Project& p = logic_.Proj();
    p.ViewTrackCount = std::clamp(p.ViewTrackCount, 0, p.LastTrackNo);
    available_ = pAvailablePx;
    int32_t n = p.ViewTrackCount;
    // Lanes too low to read are not squeezed in: as many lanes as keep the readable height
    // are shown, and the others scroll. A room lower than one readable lane squeezes them to 3.
    if ((pAvailablePx - kLaneGap * n - 5) / (n + 1) < kMinReadableLaneHeight
        && pAvailablePx >= kMinReadableLaneHeight + 5)
        n = std::max(0, (pAvailablePx - 5 + kLaneGap) / (kMinReadableLaneHeight + kLaneGap) - 1);
    shown_ = n;
    TrackHeight = std::max(3, (pAvailablePx - kLaneGap * n - 5) / (n + 1));
    HalfHeight = TrackHeight / 2;
    TrackY.assign(static_cast<size_t>(p.TrackCount()), 0);
    for (int32_t t = 1; t < p.TrackCount(); ++t)
        TrackY[t] = TrackY[t - 1] + TrackHeight + kLaneGap;
    PointRadius = std::clamp(2 * (TrackHeight / 60), 4, 16);
    ViewWidth = std::max(1, pViewWidthPx);
    SurfaceHeight = ContainerHeight() - 2;
    logic_.TrackAreaWidthPx = ViewWidth;
    UpdateScrollOffset();
    RecomputeScale();
}

int32_t MainView::ContainerHeight() const
{
    if (HeldToReadable())
        return available_;
    const int32_t n = shown_;
    return (n + 1) * TrackHeight + kLaneGap * n + 5;
}

bool MainView::HeldToReadable() const { return shown_ < logic_.Proj().ViewTrackCount; }

bool MainView::VerticalBarShown() const { return shown_ < logic_.Proj().LastTrackNo; }

void MainView::UpdateScrollOffset()
{
    const Project& p = logic_.Proj();
    const int32_t n = std::min(shown_, p.LastTrackNo);
    if (!VerticalBarShown() || TrackY.size() != static_cast<size_t>(p.TrackCount())) {
        ScrollOffset = 0;
        return;
    }
    if (HeldToReadable()) {
        // The bar's full travel brings the last lane's bottom to the surface's bottom, so
        // that no empty band is left below it.
        const int32_t travel = std::max(0, TrackY[p.LastTrackNo] + TrackHeight - SurfaceHeight);
        ScrollOffset = -Nearest(travel * 0.001 * p.ViewScroll);
        return;
    }
    ScrollOffset = Nearest((TrackY[p.LastTrackNo] - TrackY[n]) * -0.001 * p.ViewScroll);
}

void MainView::RecomputeScale()
{
    const Project& p = logic_.Proj();
    const AppOptions& o = logic_.Options();
    if (o.WFMode == kWfModeDb) {
        WaveScale = TrackHeight / 1024.0;
        return;
    }
    const double factor = std::fabs(DbToFactor(o.LevelMargin - p.LevelZoomDB));
    WaveScale = TrackHeight / 1024.0 / std::max(factor, 1e-6);
}

void MainView::Redraw() { logic_.Ui().RequestRedraw(RedrawArea::All); }

void MainView::SetViewTrackCount(int32_t pCount)
{
    Project& p = logic_.Proj();
    p.ViewTrackCount = std::clamp(pCount, 0, p.LastTrackNo);
    Arrange(available_, ViewWidth);
    if (!VerticalBarShown())
        Redraw();
    else
        ScrollToTrack(p.CurrentTrack);
}

void MainView::ScrollToTrack(int32_t pTrack)
{
    Project& p = logic_.Proj();
    if (!VerticalBarShown() || pTrack < 0 || pTrack > p.LastTrackNo
        || TrackY.size() != static_cast<size_t>(p.TrackCount()))
        return;
    const int32_t h = TrackHeight;
    const int32_t n = shown_;
    const int32_t divisor = TrackY[p.LastTrackNo] - n * h;
    if (divisor <= 0)
        return;
    const int32_t numerator = TrackY[pTrack] - (h * (n + 1)) / 2 + h / 2;
    p.ViewScroll = std::clamp(1000 * numerator / divisor, 0, 1000);
    UpdateScrollOffset();
    Redraw();
}

bool MainView::SetVerticalBar(int32_t pValue)
{
    Project& p = logic_.Proj();
    const int32_t value = std::clamp(std::abs(pValue), 0, 1000);
    if (value == p.ViewScroll)
        return false;
    p.ViewScroll = value;
    UpdateScrollOffset();
    Redraw();
    return true;
}

int32_t MainView::VerticalBarValue() const
{
    return VerticalBarShown() ? -logic_.Proj().ViewScroll : 0;
}

int32_t MainView::LaneTop(int32_t pTrack) const
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(TrackY.size()))
        return 0;
    return TrackY[pTrack] + ScrollOffset;
}

bool MainView::LaneVisible(int32_t pTrack) const
{
    const int32_t top = LaneTop(pTrack);
    return top <= SurfaceHeight && top + TrackHeight >= 0;
}

int32_t MainView::TrackFromY(int32_t pY) const
{
    const Project& p = logic_.Proj();
    if (TrackY.empty())
        return 0;
    const int32_t last = std::min<int32_t>(p.LastTrackNo, static_cast<int32_t>(TrackY.size()) - 1);
    if (pY >= LaneTop(last) + TrackHeight)
        return last;
    for (int32_t t = 0; t <= last; ++t)
        if (pY < LaneTop(t) + TrackHeight)
            return t;
    return 0;
}

bool MainView::InUpperHalf(int32_t pTrack, int32_t pY) const
{
    return pY <= LaneTop(pTrack) + TrackHeight * 0.5;
}

void MainView::ScrollTo(int64_t pFrame)
{
    Project& p = logic_.Proj();
    if (p.ProjectLength <= 0)
        return;
    const int64_t fpp = Fpp();
    const int64_t start = fpp * (pFrame / fpp);
    p.ViewStart = static_cast<int32_t>(std::clamp<int64_t>(start, 0, p.ProjectLength));
    Redraw();
}

bool MainView::SetSlider(int32_t pValue)
{
    Project& p = logic_.Proj();
    if (p.ProjectLength <= 0)
        return false;
    const int64_t fpp = Fpp();
    const int64_t start = pValue <= 0
        ? 0
        : fpp * (RoundHalfEven(pValue / static_cast<double>(kHSliderMax) * p.ProjectLength) / fpp);
    const int32_t value = static_cast<int32_t>(std::clamp<int64_t>(start, 0, p.ProjectLength));
    if (value == p.ViewStart)
        return false;
    p.ViewStart = value;
    Redraw();
    return true;
}

int32_t MainView::SliderValue() const
{
    const Project& p = logic_.Proj();
    if (p.ProjectLength <= 0 || p.ViewStart <= 0)
        return 0;
    return std::clamp(
        Nearest(static_cast<double>(kHSliderMax) * p.ViewStart / p.ProjectLength), 0, kHSliderMax);
}

void MainView::ZoomStep(bool pIn)
{
    Project& p = logic_.Proj();
    if (pIn) {
        p.Zoom = std::max(1, p.Zoom / 2);
    } else {
        if (p.Zoom > 8192)
            return;
        p.Zoom *= 2;
    }
    const int64_t half = static_cast<int64_t>(ViewWidth / 2) * Fpp();
    if (logic_.Playing)
        Redraw();
    else if (ZoomMode == 1)
        ScrollTo(p.Head - half);
    else
        ScrollTo(RoundHalfEven((static_cast<double>(p.MarkIn) + p.MarkOut) / 2.0 - half));
    Redraw();
    logic_.ShowMessage(VisibleTimeMessage());
}

void MainView::ZoomAt(bool pIn, int32_t pX)
{
    Project& p = logic_.Proj();
    const int64_t anchor = FrameOfX(pX);
    if (pIn)
        p.Zoom = std::max(1, p.Zoom / 2);
    else if (p.Zoom > 8192)
        return;
    else
        p.Zoom *= 2;
    ScrollTo(anchor - static_cast<int64_t>(pX) * Fpp());
    Redraw();
    logic_.ShowMessage(VisibleTimeMessage());
}

void MainView::ScrollNotches(int32_t pNotches)
{
    const int64_t pixels = static_cast<int64_t>(std::max(1, ViewWidth / 10)) * pNotches;
    ScrollTo(std::max<int64_t>(0, logic_.Proj().ViewStart + pixels * Fpp()));
}

void MainView::ZoomWhole()
{
    ZoomToFit(logic_.Proj().ProjectLength);
    Redraw();
    logic_.ShowMessage(VisibleTimeMessage());
}

void MainView::ZoomToFit(int64_t pLength)
{
    Project& p = logic_.Proj();
    p.ViewStart = 0;
    int32_t z = 1;
    while (static_cast<double>(pLength) / (static_cast<double>(p.SampleStep) * z) > ViewWidth
        && z <= 8192)
        z *= 2;
    p.Zoom = z;
}

void MainView::ZoomToSelection()
{
    Project& p = logic_.Proj();
    const double length = static_cast<double>(p.MarkOut) - p.MarkIn;
    int32_t z = 1;
    while (length / (static_cast<double>(p.SampleStep) * z) > ViewWidth) {
        z *= 2;
        if (z > 32000)
            break;
    }
    p.Zoom = z;
    const int64_t half = static_cast<int64_t>(ViewWidth / 2) * Fpp();
    ScrollTo(RoundHalfEven((static_cast<double>(p.MarkIn) + p.MarkOut) / 2.0 - half));
    ScrollToTrack(p.CurrentTrack);
    Redraw();
}

void MainView::LevelZoom(bool pUp)
{
    Project& p = logic_.Proj();
    p.LevelZoomDB = std::clamp(p.LevelZoomDB + (pUp ? 3 : -3), -30, 30);
    logic_.ShowMessage(std::to_string(p.LevelZoomDB) + "db");
    RecomputeScale();
    Redraw();
}

std::string MainView::VisibleTimeMessage() const
{
    const Project& p = logic_.Proj();
    const double seconds
        = static_cast<double>(ViewWidth) * static_cast<double>(Fpp()) / std::max(1, p.SampleRate);
    return OneDecimal(seconds) + Tr(kSecondsShown);
}

int32_t MainView::XOfFrame(int64_t pFrame) const
{
    return Nearest(
        static_cast<double>(pFrame - logic_.Proj().ViewStart) / static_cast<double>(Fpp()));
}

int32_t MainView::HeadX() const
{
    const Project& p = logic_.Proj();
    if (p.Head < p.ViewStart)
        return -9;
    return static_cast<int32_t>(
        std::min<int64_t>((static_cast<int64_t>(p.Head) - p.ViewStart) / Fpp(), INT32_MAX));
}

int64_t MainView::FrameOfX(double pX) const
{
    return RoundHalfEven(pX * static_cast<double>(Fpp())) + logic_.Proj().ViewStart;
}

int32_t MainView::MarkImageLeft(int64_t pFrame) const { return XOfFrame(pFrame) - kMarkHalfWidth; }

int32_t MainView::MarkFromImage(int32_t pLeft) const
{
    const int64_t frame = FrameOfX(pLeft + kMarkHalfWidth);
    return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, kMaxLength - 1));
}

int32_t MainView::MarkerAt(int32_t pX, int32_t pY) const
{
    const Project& p = logic_.Proj();
    // The flags at the top and the bottom of the current lane; the lane between them stays
    // free for selecting a range.
    const int32_t top = LaneTop(p.CurrentTrack);
    const int32_t bottom = top + TrackHeight;
    if (pY < top || pY >= bottom || (pY >= top + kMarkFlagHeight && pY < bottom - kMarkFlagHeight))
        return -1;
    const int32_t xi = MarkImageLeft(p.MarkIn) + kMarkHalfWidth;
    const int32_t xo = MarkImageLeft(p.MarkOut) + kMarkHalfWidth;
    const int32_t di = std::abs(pX - xi);
    const int32_t dout = std::abs(pX - xo);
    const bool onIn = di <= kMarkHalfWidth;
    const bool onOut = dout <= kMarkHalfWidth;
    if (onIn && onOut) {
        if (di != dout)
            return di < dout ? 0 : 1;
        return pX >= xo ? 1 : 0;
    }
    return onOut ? 1 : (onIn ? 0 : -1);
}

void MainView::MoveMarker(int32_t pMark, int32_t pX)
{
    Project& p = logic_.Proj();
    const int32_t mark = MarkFromImage(pX - kMarkHalfWidth);
    if (pMark == 0) {
        p.MarkIn = mark;
        if (MarkImageLeft(p.MarkOut) < MarkImageLeft(p.MarkIn))
            p.MarkOut = mark;
    } else {
        p.MarkOut = mark;
        if (MarkImageLeft(p.MarkOut) < MarkImageLeft(p.MarkIn))
            p.MarkIn = mark;
    }
}

MainView::SearchBox MainView::SearchBoxAt(int64_t pMark, int pDirection) const
{
    const Project& p = logic_.Proj();
    SearchBox box;
    const int32_t width = std::max<int32_t>(
        1, static_cast<int32_t>(std::max(1, p.SampleRate) / std::max<int64_t>(1, Fpp())));
    const int32_t x = XOfFrame(pMark);
    if (pDirection > 0) {
        box.Left = x;
        box.Right = x + width;
    } else {
        box.Right = pDirection < 0 ? x : x - kMarkHalfWidth - 8;
        box.Left = box.Right - width;
    }
    box.Top = LaneTop(p.CurrentTrack) + HalfHeight;
    box.Bottom = LaneTop(p.CurrentTrack) + TrackHeight;
    return box;
}

std::vector<int32_t> MainView::SetCurrentTrack(int32_t pTrack, int pModifiers)
{
    Project& p = logic_.Proj();
    std::vector<int32_t> changed;
    if (pTrack == p.CurrentTrack || pTrack < 0 || pTrack > p.LastTrackNo)
        return changed;
    const int32_t lo = std::min(pTrack, p.CurrentTrack);
    const int32_t hi = std::max(pTrack, p.CurrentTrack);
    for (int32_t t = 0; t <= p.LastTrackNo; ++t) {
        int32_t selected = t == pTrack ? 1 : 0;
        if (pModifiers == 2)
            selected = t == pTrack ? 1 : p.Tracks[t].Selected;
        else if (pModifiers == 1)
            selected = t >= lo && t <= hi ? 1 : 0;
        if (selected != p.Tracks[t].Selected) {
            p.Tracks[t].Selected = selected;
            changed.push_back(t);
        }
    }
    p.CurrentTrack = pTrack;
    return changed;
}

std::vector<RecordingLane> MainView::RecordingBlocks() const
{
    std::vector<RecordingLane> lanes;
    const RecordingEngine* rec = logic_.Recorder;
    const Project& p = logic_.Proj();
    if (!rec || !rec->Recording || logic_.Options().MaxPow == 0)
        return lanes;
    std::vector<bool> taken(static_cast<size_t>(p.TrackCount()), false);
    for (const RecordingEngine::RecTarget& t : rec->Targets) {
        if (t.TrackNo < 0 || t.TrackNo > p.LastTrackNo || taken[static_cast<size_t>(t.TrackNo)]
            || t.PeakEntries < 1 || p.Tracks[t.TrackNo].RecSelected == 0)
            continue;
        taken[static_cast<size_t>(t.TrackNo)] = true;
        RecordingLane lane;
        lane.Place.TrackNo = t.TrackNo;
        lane.Place.StartAdr = t.StartAdr;
        lane.Place.PeakStart = 0;
        lane.Place.PeakEnd = t.PeakEntries - 1;
        lane.Place.PeakLen = t.PeakEntries;
        lane.Place.EndAdr = t.StartAdr + std::max(0, t.Total - 1);
        lane.Peaks = &t.Peaks;
        lanes.push_back(lane);
    }
    return lanes;
}

BlockPlacement MainView::PlaceBlock(const Block& pBlock, const PeakArray& pPeaks) const
{
    const Project& p = logic_.Proj();
    BlockPlacement out;
    if (pBlock.PeakLen < 1 || pBlock.TrackNo < 0
        || pBlock.TrackNo >= static_cast<int32_t>(TrackY.size()))
        return out;
    const int64_t fpp = Fpp();
    int32_t x0 = Nearest(static_cast<double>(static_cast<int64_t>(pBlock.StartAdr) - p.ViewStart)
        / static_cast<double>(fpp));
    int32_t a = pBlock.PeakStart;
    if (x0 < 0) {
        const int64_t skipped
            = (static_cast<int64_t>(p.ViewStart) - pBlock.StartAdr) / std::max(1, p.SampleStep);
        if (pBlock.PeakStart + skipped > pBlock.PeakEnd)
            return out;
        a = static_cast<int32_t>(pBlock.PeakStart + skipped);
        x0 = 0;
    }
    if (x0 >= ViewWidth)
        return out;
    out.Top = LaneTop(pBlock.TrackNo);
    out.Bottom = out.Top + TrackHeight;
    const int32_t zoom = std::max(1, p.Zoom);
    const int32_t cols = (pBlock.PeakEnd - a) / zoom;
    const int32_t lastIndex = static_cast<int32_t>(pPeaks.size() / 2) - 1;
    if (ViewWidth - x0 < cols) {
        out.Right = ViewWidth;
        out.Columns = ViewWidth - x0;
    } else {
        out.Right = x0 + cols;
        out.EndLine = true;
        out.Columns = cols;
        if (static_cast<int64_t>(a) + static_cast<int64_t>(zoom) * cols > lastIndex)
            out.Columns = std::max(0, (lastIndex - a) / zoom);
    }
    out.Visible = true;
    out.Left = x0;
    out.FirstPeak = a;
    out.StartLine = x0 > 0;
    return out;
}

void MainView::BlockWave(
    const BlockPlacement& pPlace, const PeakArray& pPeaks, std::vector<WaveLine>& pOut) const
{
    if (!pPlace.Visible)
        return;
    const Project& p = logic_.Proj();
    const AppOptions& o = logic_.Options();
    const int64_t lastIndex = static_cast<int64_t>(pPeaks.size() / 2) - 1;
    const int32_t zoom = std::max(1, p.Zoom);
    const int32_t stride = o.DrawWFP == 0 ? zoom : (zoom <= 256 ? 1 : zoom / 256);
    const double c = o.WFMode == kWfModeDb ? 5.0 * (p.LevelZoomDB - o.LevelMargin) : 0.0;
    const int32_t top = pPlace.Top;
    const int32_t h = HalfHeight;
    const uint8_t* peaks = pPeaks.data();
    auto halfHeight = [&](int32_t pValue, int32_t pLimit) {
        return std::clamp(Nearest((c + pValue) * WaveScale), 0, pLimit);
    };
    const int32_t centreMono = top + h;
    const int32_t centreL = Nearest(top + h * 0.5);
    const int32_t centreR = Nearest(top + h * 1.5);
    for (int32_t i = 0; i <= pPlace.Columns; ++i) {
        const int64_t e = pPlace.FirstPeak + static_cast<int64_t>(zoom) * i;
        if (e > lastIndex)
            break;
        const int64_t end = std::min<int64_t>(e + zoom - 1, lastIndex);
        const int32_t x = pPlace.Left + i;
        if (o.WFMono == 1) {
            int32_t value = 0;
            for (int64_t k = e; k <= end; k += stride)
                value = std::max(value, peaks[2 * k] + peaks[2 * k + 1]);
            const int32_t y = halfHeight(value, TrackHeight / 2);
            pOut.push_back({ x, centreMono - y, centreMono + y });
        } else {
            int32_t left = 0;
            int32_t right = 0;
            for (int64_t k = e; k <= end; k += stride) {
                left = std::max<int32_t>(left, peaks[2 * k]);
                right = std::max<int32_t>(right, peaks[2 * k + 1]);
            }
            const int32_t yl = halfHeight(left, TrackHeight / 4);
            const int32_t yr = halfHeight(right, TrackHeight / 4);
            pOut.push_back({ x, centreL - yl, centreL + yl });
            pOut.push_back({ x, centreR - yr, centreR + yr });
        }
    }
}

std::vector<ScaleTick> MainView::ScaleTicks() const
{
    const Project& p = logic_.Proj();
    std::vector<ScaleTick> ticks;
    if (p.ProjectLength <= 0 || p.SampleRate <= 0)
        return ticks;
    const int64_t fpp = Fpp();
    int64_t s = static_cast<int64_t>(ViewWidth) * fpp / p.SampleRate;
    int64_t step = 1;
    if (s > 16) {
        while (s > 15) {
            s /= 2;
            step *= 2;
        }
    }
    const int64_t g = p.SampleRate * step;
    for (int64_t k = 0; k <= s + 1; ++k) {
        const double base = static_cast<double>(g)
            * std::floor(static_cast<double>(k * g + p.ViewStart) / static_cast<double>(g));
        const int64_t l = RoundHalfEven(base + static_cast<double>(p.ZeroPos % g));
        const int64_t seconds
            = static_cast<int64_t>(std::floor(static_cast<double>(l - p.ZeroPos) / p.SampleRate));
        ScaleTick tick;
        tick.X = Nearest(static_cast<double>(l - p.ViewStart) / static_cast<double>(fpp)) + 1;
        tick.Label = "|"
            + TimeText(
                static_cast<int32_t>(std::clamp<int64_t>(seconds * 1000, INT32_MIN, INT32_MAX)), 4,
                true);
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

int32_t MainView::EnvelopeY(int32_t pTrack, int pChannel, int32_t pLevel) const
{
    const int32_t top = LaneTop(pTrack);
    const int32_t h = HalfHeight;
    if (logic_.Options().WFMono == 1)
        return Nearest(top + 2 * h - 1 - pLevel * (h - 1) / 128.0);
    const int32_t base = pChannel == 0 ? top + h : top + 2 * h - 1;
    return Nearest(base - pLevel * (h - 1) / 256.0);
}

int32_t MainView::EnvelopeLevelOfY(int32_t pTrack, int pChannel, double pY) const
{
    const int32_t top = LaneTop(pTrack);
    const int32_t h = HalfHeight;
    if (h <= 1)
        return 0;
    const bool mono = logic_.Options().WFMono == 1;
    const int32_t base = mono || pChannel != 0 ? top + 2 * h - 1 : top + h;
    const double perLevel = (h - 1) / (mono ? 128.0 : 256.0);
    return Clamp32(RoundHalfEven((base - pY) / perLevel), 0, 255);
}

std::vector<EnvPoint> MainView::EnvelopeLine(int32_t pTrack, int pChannel) const
{
    const Project& p = logic_.Proj();
    std::vector<EnvPoint> points;
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(p.Envelopes.size()))
        return points;
    const TrackEnvelope& env = p.Envelopes[pTrack];
    const int64_t fpp = Fpp();
    const int64_t envLength = p.EnvelopeLength;
    const int64_t first = p.ViewStart / kEnvelopeFrameSamples;
    const int64_t last = std::min<int64_t>(
        envLength - 1, (p.ViewStart + ViewWidth * fpp) / kEnvelopeFrameSamples + 1);
    if (first >= last)
        return points;
    auto y = [&](int64_t pFrame) {
        return EnvelopeY(
            pTrack, pChannel, EnvelopeAt(env, std::min(pFrame, envLength - 1), pChannel));
    };
    if (fpp < kEnvelopeFrameSamples) {
        // Each frame at its own position, so that the line and the fade-point dots meet the
        // waveform under them.
        points.reserve(static_cast<size_t>(last - first + 1));
        for (int64_t f = first; f <= last; ++f)
            points.push_back({ Nearest(static_cast<double>(f * kEnvelopeFrameSamples - p.ViewStart)
                                   / static_cast<double>(fpp)),
                y(f) });
        return points;
    }
    const double framesPerPixel = static_cast<double>(fpp) / kEnvelopeFrameSamples;
    const int32_t l = envLength - 1 > ViewWidth * framesPerPixel + first
        ? ViewWidth
        : Nearest((envLength - first - 1) / framesPerPixel - 1);
    if (l <= 0)
        return points;
    points.reserve(static_cast<size_t>(l) + 2);
    points.push_back({ 0, y(first) });
    for (int32_t i = 0; i <= l; ++i) {
        const int64_t f = fpp == kEnvelopeFrameSamples
            ? first + i
            : (i * fpp + p.ViewStart) / kEnvelopeFrameSamples;
        points.push_back({ i - 1, y(f) });
    }
    return points;
}

void MergeFlatRuns(std::vector<EnvPoint>& pLine)
{
    if (pLine.size() < 3)
        return;
    size_t kept = 1;
    for (size_t k = 1; k + 1 < pLine.size(); ++k) {
        const EnvPoint& before = pLine[kept - 1];
        const EnvPoint& here = pLine[k];
        const EnvPoint& after = pLine[k + 1];
        const bool inner
            = before.Y == here.Y && here.Y == after.Y && before.X <= here.X && here.X <= after.X;
        if (!inner)
            pLine[kept++] = here;
    }
    pLine[kept++] = pLine.back();
    pLine.resize(kept);
}

std::vector<int32_t> GangTrackLevels(
    Project& pProject, int32_t pTrack, int32_t pDeltaL, int32_t pDeltaR)
{
    std::vector<int32_t> changed;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        if (t == pTrack)
            continue;
        Track& track = pProject.Tracks[t];
        const int32_t left = std::clamp(track.LevelL + pDeltaL, 0, 255);
        const int32_t right
            = track.LevelLinked != 0 ? left : std::clamp(track.LevelR + pDeltaR, 0, 255);
        if (left == track.LevelL && right == track.LevelR)
            continue;
        track.LevelL = left;
        track.LevelR = right;
        changed.push_back(t);
    }
    return changed;
}

void CopyTrackLink(Project& pProject, int32_t pTrack)
{
    if (pTrack < 0 || pTrack > pProject.LastTrackNo)
        return;
    const int32_t linked = pProject.Tracks[pTrack].LevelLinked;
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t)
        pProject.Tracks[t].LevelLinked = linked;
}

void AllTracksToUnity(Project& pProject)
{
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t)
        pProject.Tracks[t].LevelL = pProject.Tracks[t].LevelR = pProject.UnityLevel;
}

std::vector<int32_t> MainView::PlaceFadePoints(int32_t pTrack)
{
    Project& p = logic_.Proj();
    std::vector<int32_t> shown;
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(p.Envelopes.size()))
        return shown;
    const TrackEnvelope& env = p.Envelopes[pTrack];
    for (int32_t i = 0; i < p.FadePointCount(); ++i) {
        FadePoint& fp = p.FadePoints[i];
        if (fp.TrackNo != pTrack || fp.EnvFrame >= p.EnvelopeLength)
            continue;
        const int32_t x = XOfFrame(static_cast<int64_t>(fp.EnvFrame) * kEnvelopeFrameSamples);
        if (x < 1 || x >= ViewWidth)
            continue;
        for (int ch = 0; ch < 2; ++ch) {
            if ((fp.Channels & (1 << ch)) == 0)
                continue;
            fp.DotX[ch] = static_cast<float>(x);
            fp.DotY[ch]
                = static_cast<float>(EnvelopeY(pTrack, ch, EnvelopeAt(env, fp.EnvFrame, ch)));
        }
        shown.push_back(i);
    }
    return shown;
}

std::pair<int32_t, int32_t> MainView::SelectionSpan() const
{
    const Project& p = logic_.Proj();
    const int32_t xi = MarkImageLeft(p.MarkIn) + kMarkHalfWidth;
    const int32_t xo = MarkImageLeft(p.MarkOut) + kMarkHalfWidth;
    if (ViewWidth < xi || xo < 0 || xi == xo)
        return { 0, 0 };
    return { std::max(xi, 0), std::min(ViewWidth, xo) };
}

std::string MainView::BlockLabel(const Block& pBlock)
{
    std::string text = pBlock.Name;
    if (pBlock.GroupID != 0)
        text += " [" + std::to_string(pBlock.GroupID) + "]";
    if (pBlock.LevelL != 0.0f || pBlock.LevelR != 0.0f)
        text += " (" + OneDecimal(pBlock.LevelL) + "db : " + OneDecimal(pBlock.LevelR) + "db)";
    return text;
}

std::string MainView::TrackLabel(int32_t pTrack) const
{
    const Project& p = logic_.Proj();
    std::string text = std::to_string(pTrack + 1);
    if (pTrack >= 0 && pTrack <= p.LastTrackNo && !p.Tracks[pTrack].Name.empty())
        text += " " + p.Tracks[pTrack].Name;
    return text;
}

} // namespace tarvok
