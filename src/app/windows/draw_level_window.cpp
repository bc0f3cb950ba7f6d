#include "app/windows/draw_level_window.h"

#include "app/commands/command_table.h"
#include "app/commands/fade_commands.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/command_ids.h"
#include "core/envelope.h"
#include "core/project.h"
#include "edit/fade_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarvok {

namespace {

/// True when the marks allow the window: a selection that starts at 0 or later and ends
/// inside the envelope.
bool SelectionFits(const Project& pProject)
{
    return static_cast<int64_t>(pProject.MarkOut) - pProject.MarkIn > 0 && pProject.MarkIn >= 0
        && pProject.MarkOut / kEnvelopeFrameSamples <= pProject.EnvelopeLength - 1;
}

std::optional<double> NumberOf(const std::string& pText) { return ParseNumber(Trim(pText)); }

} // namespace

DrawLevelModel::DrawLevelModel(MainLogic& pLogic)
    : logic_(pLogic)
{
}

bool DrawLevelModel::Open(DrawMode pMode, int32_t pWidth, int32_t pHeight)
{
    if (open_ || !logic_.CanEdit())
        return false;
    Project& p = logic_.Proj();
    if (static_cast<int64_t>(p.MarkOut) - p.MarkIn <= 0) {
        logic_.ShowMessage(Tr(kFadeNothingSelected));
        return false;
    }
    if (!SelectionFits(p))
        return false;
    if (!logic_.TakeUndoSnapshot()) {
        logic_.ShowUndoSnapshotFailure();
        return false;
    }
    p.LastUndoType = 0;
    p.Saved = false;
    logic_.DrawWindowOpen = true;
    open_ = true;
    mode_ = pMode;
    width_ = std::max(1, pWidth);
    height_ = std::max(1, pHeight);
    offset_ = 0;
    dragging_ = -1;
    watchedIn_ = p.MarkIn;
    watchedOut_ = p.MarkOut;
    watchedTrack_ = p.CurrentTrack;
    BuildGeometry();
    BuildEdgeHandles();
    if (mode_ == DrawMode::Background) {
        const Settings& s = logic_.Store();
        bgLevel_ = std::clamp(s.GetSetting("BGFadeValue", int32_t { 128 }), 0, 255);
        fadeInText_ = std::to_string(s.GetSetting("BGFadeIn", int32_t { 3000 }));
        fadeOutText_ = std::to_string(s.GetSetting("BGFadeOut", int32_t { 3000 }));
        BuildHandles();
    }
    RedrawMain();
    return true;
}

void DrawLevelModel::Close()
{
    if (!open_)
        return;
    Project& p = logic_.Proj();
    bool saved = true;
    for (int32_t t = 0; t <= p.LastTrackNo; ++t)
        if (p.Tracks[static_cast<size_t>(t)].Selected != 0 || t == p.CurrentTrack)
            saved = SaveTrackEnvelope(p, t, logic_.Folder()) && saved;
    open_ = false;
    dragging_ = -1;
    logic_.DrawWindowOpen = false;
    RedrawMain();
    logic_.Ui().RequestRedraw(RedrawArea::Menus);
    if (!saved)
        logic_.Ui().ShowError(Tr("エンベロープを保存できません"));
}

void DrawLevelModel::Resize(int32_t pWidth, int32_t pHeight)
{
    width_ = std::max(1, pWidth);
    height_ = std::max(1, pHeight);
    if (!open_)
        return;
    BuildGeometry();
    for (DrawHandle& h : handles_)
        PlaceFromFrame(h, h.Frame, h.Level);
    // The edges stay at the picture's edges.
    if (handles_.size() >= 2) {
        handles_[0].X = 0;
        handles_[1].X = width_;
    }
}

void DrawLevelModel::BuildGeometry()
{
    const Project& p = logic_.Proj();
    fpp_ = (static_cast<double>(p.MarkOut) - p.MarkIn) / kEnvelopeFrameSamples / width_;
    if (!(fpp_ > 0.0))
        fpp_ = 1.0 / width_;
    first_ = static_cast<int32_t>(
        RoundHalfEven(static_cast<double>(p.MarkIn) / kEnvelopeFrameSamples));
}

int32_t DrawLevelModel::XOfFrame(double pFrame) const
{
    const int64_t x = RoundHalfEven((pFrame - first_) / fpp_);
    return x > 0 ? static_cast<int32_t>(std::min<int64_t>(x, INT32_MAX)) : 0;
}

int32_t DrawLevelModel::YOfLevel(int32_t pLevel) const
{
    return static_cast<int32_t>(
        RoundHalfEven(height_ - static_cast<double>(pLevel) * height_ / 255.0));
}

int32_t DrawLevelModel::FrameOfX(int32_t pX) const
{
    const int64_t frame = RoundHalfEven(fpp_ * pX + first_);
    const int64_t last = std::max<int64_t>(0, logic_.Proj().EnvelopeLength - 1);
    return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, last));
}

int32_t DrawLevelModel::LevelOfY(int32_t pY) const
{
    return Clamp32(RoundHalfEven(255.0 - static_cast<double>(pY) / height_ * 255.0), 0, 255);
}

int32_t DrawLevelModel::HitTest(int32_t pX, int32_t pY) const
{
    int32_t best = -1;
    int32_t bestDistance = kHandleRadius + 1;
    for (size_t i = 0; i < handles_.size(); ++i) {
        const int32_t dx = std::abs(handles_[i].X - pX);
        const int32_t dy = std::abs(handles_[i].Y - pY);
        const int32_t distance = std::max(dx, dy);
        if (dx <= kHandleRadius && dy <= kHandleRadius && distance <= bestDistance) {
            best = static_cast<int32_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

void DrawLevelModel::PlaceFromFrame(DrawHandle& pHandle, double pFrame, int32_t pLevel) const
{
    pHandle.X = XOfFrame(pFrame);
    pHandle.Level = std::clamp(pLevel, 0, 255);
    pHandle.Y = YOfLevel(pHandle.Level);
    pHandle.Frame = FrameOfX(pHandle.X);
}

void DrawLevelModel::Recompute(DrawHandle& pHandle) const
{
    pHandle.Frame = FrameOfX(pHandle.X);
    pHandle.Level = LevelOfY(pHandle.Y);
}

int32_t DrawLevelModel::ReadChannel() const { return (logic_.FadeChannels & kFadeLeft) ? 0 : 1; }

int32_t DrawLevelModel::EnvelopeAt(int32_t pTrack, int32_t pFrame) const
{
    return EnvelopeLevel(logic_.Proj(), pTrack, ReadChannel(), pFrame);
}

void DrawLevelModel::BuildEdgeHandles()
{
    const int32_t track = logic_.Proj().CurrentTrack;
    handles_.assign(2, DrawHandle {});
    DrawHandle& start = handles_[0];
    start.X = 0;
    start.Frame = FrameOfX(0);
    start.Level = EnvelopeAt(track, start.Frame);
    start.Y = YOfLevel(start.Level);
    DrawHandle& end = handles_[1];
    end.X = width_;
    end.Frame = FrameOfX(width_);
    end.Level = EnvelopeAt(track, end.Frame);
    end.Y = YOfLevel(end.Level);
}

void DrawLevelModel::SortExtras()
{
    if (handles_.size() > 3)
        std::sort(handles_.begin() + 2, handles_.end(),
            [](const DrawHandle& a, const DrawHandle& b) { return a.X < b.X; });
}

std::vector<int32_t> DrawLevelModel::Order() const
{
    std::vector<int32_t> order;
    if (handles_.size() < 2)
        return order;
    order.push_back(0);
    for (int32_t i = 2; i < static_cast<int32_t>(handles_.size()); ++i)
        order.push_back(i);
    order.push_back(1);
    return order;
}

std::vector<int32_t> DrawLevelModel::TargetTracks(bool pAllTracks) const
{
    const Project& p = logic_.Proj();
    std::vector<int32_t> tracks;
    if (!pAllTracks) {
        if (p.CurrentTrack >= 0 && p.CurrentTrack <= p.LastTrackNo)
            tracks.push_back(p.CurrentTrack);
        return tracks;
    }
    for (int32_t t = 0; t <= p.LastTrackNo; ++t)
        if (p.Tracks[static_cast<size_t>(t)].Selected != 0)
            tracks.push_back(t);
    return tracks;
}

bool DrawLevelModel::ApplyHandle(int32_t pIndex, bool pAllTracks)
{
    const std::vector<int32_t> order = Order();
    const auto at = std::find(order.begin(), order.end(), pIndex);
    if (at == order.end())
        return false;
    const auto pos = static_cast<size_t>(at - order.begin());
    const int32_t left = pos > 0 ? order[pos - 1] : pIndex;
    const int32_t right = pos + 1 < order.size() ? order[pos + 1] : pIndex;
    for (int32_t i : { left, pIndex, right })
        Recompute(handles_[static_cast<size_t>(i)]);
    const DrawHandle& self = handles_[static_cast<size_t>(pIndex)];
    const DrawHandle& l = handles_[static_cast<size_t>(left)];
    const DrawHandle& r = handles_[static_cast<size_t>(right)];
    if ((left != pIndex && l.Frame == self.Frame) || (right != pIndex && r.Frame == self.Frame))
        return false;
    Project& p = logic_.Proj();
    const int32_t channels = logic_.FadeChannels & kFadeBoth;
    for (int32_t t : TargetTracks(pAllTracks)) {
        for (int32_t ch = 0; ch < 2; ++ch)
            if (channels & (1 << ch))
                SetEnvelopeLevel(p, t, ch, self.Frame, self.Level);
        const int32_t leftValue = EnvelopeAt(t, l.Frame);
        const int32_t rightValue = EnvelopeAt(t, r.Frame);
        for (int32_t ch = 0; ch < 2; ++ch) {
            if ((channels & (1 << ch)) == 0)
                continue;
            if (left != pIndex)
                WriteEnvelopeLine(p, t, ch, l.Frame, leftValue, self.Frame, self.Level);
            if (right != pIndex)
                WriteEnvelopeLine(p, t, ch, self.Frame, self.Level, r.Frame, rightValue);
        }
    }
    logic_.Ui().RequestRedraw(RedrawArea::Tracks);
    return true;
}

double DrawLevelModel::CurveY(int32_t pColumn) const
{
    const Project& p = logic_.Proj();
    const int64_t frame = std::clamp<int64_t>(
        RoundHalfEven(fpp_ * pColumn + first_), 0, std::max<int64_t>(0, p.EnvelopeLength - 1));
    const double level = offset_ + EnvelopeAt(p.CurrentTrack, static_cast<int32_t>(frame));
    return height_ - height_ * level / 255.0;
}

std::optional<int32_t> DrawLevelModel::HeadX() const
{
    const Project& p = logic_.Proj();
    if (p.Head < p.MarkIn || p.Head > p.MarkOut || p.MarkOut <= p.MarkIn)
        return std::nullopt;
    return static_cast<int32_t>((static_cast<double>(p.Head) - p.MarkIn)
        / (static_cast<double>(p.MarkOut) - p.MarkIn) * width_);
}

std::string DrawLevelModel::Caption() const
{
    return std::string(
        GetCommandText(mode_ == DrawMode::Draw ? kCmdFadeDraw : kCmdFadeBg, kCommandDescription));
}

bool DrawLevelModel::Press(int32_t pX, int32_t pY, bool pRightButton, bool pShift)
{
    if (!open_ || handles_.size() < 2)
        return false;
    const int32_t hit = HitTest(pX, pY);
    if (pRightButton) {
        if (hit < 2)
            return false;
        handles_.erase(handles_.begin() + hit);
        SortExtras();
        dragging_ = -1;
        return true;
    }
    if (hit >= 0) {
        dragging_ = hit;
    } else if (pX > handles_[0].X && pX < handles_[1].X) {
        DrawHandle handle;
        handle.X = pX;
        handle.Y = std::clamp(pY, 0, height_);
        Recompute(handle);
        handles_.push_back(handle);
        SortExtras();
        dragging_ = -1;
        for (size_t i = 2; i < handles_.size(); ++i)
            if (handles_[i].X == pX && dragging_ < 0)
                dragging_ = static_cast<int32_t>(i);
    } else {
        return false;
    }
    if (!pShift)
        ApplyHandle(dragging_, false);
    return true;
}

void DrawLevelModel::Move(int32_t pY, bool pShift)
{
    if (!open_ || dragging_ < 0)
        return;
    DrawHandle& h = handles_[static_cast<size_t>(dragging_)];
    h.Y = std::clamp(pY, 0, height_);
    Recompute(h);
    if (!pShift)
        ApplyHandle(dragging_, false);
    logic_.ShowMessage(LevelText(logic_.Proj().Fades, h.Level));
}

void DrawLevelModel::Release(bool pShift)
{
    if (!open_ || dragging_ < 0)
        return;
    if (!pShift) {
        ApplyHandle(dragging_, true);
        RedrawMain();
    } else {
        Recompute(handles_[static_cast<size_t>(dragging_)]);
    }
    dragging_ = -1;
}

void DrawLevelModel::PreviewOffset(int32_t pOffset)
{
    offset_ = std::clamp(pOffset, -128, 128);
    const int32_t start = handles_.empty() ? 0 : handles_[0].Level;
    logic_.ShowMessage(LevelText(logic_.Proj().Fades, std::clamp(start + offset_, 0, 255)));
}

void DrawLevelModel::ApplyOffset(int32_t pOffset)
{
    offset_ = 0;
    const int32_t o = std::clamp(pOffset, -128, 128);
    if (!open_ || o == 0)
        return;
    Project& p = logic_.Proj();
    const int32_t n = p.EnvelopeLength;
    const int32_t from = std::max(0, p.MarkIn / kEnvelopeFrameSamples);
    const int32_t to = std::min(p.MarkOut / kEnvelopeFrameSamples + 1, n - 1);
    const int32_t channels = logic_.FadeChannels & kFadeBoth;
    for (int32_t t : TargetTracks(true))
        for (int32_t k = from; k <= to; ++k) {
            const int32_t value = std::clamp(EnvelopeAt(t, k) + o, 0, 255);
            for (int32_t ch = 0; ch < 2; ++ch)
                if (channels & (1 << ch))
                    SetEnvelopeLevel(p, t, ch, k, value);
        }
    for (DrawHandle& h : handles_) {
        h.Level = std::clamp(h.Level + o, 0, 255);
        h.Y = YOfLevel(h.Level);
    }
    RedrawMain();
}

void DrawLevelModel::Clear()
{
    if (!open_ || handles_.size() < 2)
        return;
    handles_.resize(2);
    ApplyHandle(0, true);
    RedrawMain();
}

void DrawLevelModel::PreviewBgLevel(int32_t pLevel)
{
    logic_.ShowMessage(LevelText(logic_.Proj().Fades, std::clamp(pLevel, 0, 255)));
}

void DrawLevelModel::SetBgLevel(int32_t pLevel)
{
    bgLevel_ = std::clamp(pLevel, 0, 255);
    if (open_)
        BuildHandles();
}

void DrawLevelModel::BuildHandles()
{
    if (!open_)
        return;
    const Project& p = logic_.Proj();
    BuildEdgeHandles();
    const int64_t in = p.MarkIn;
    const int64_t out = p.MarkOut;
    if (out - in < kBgMinimumSamples) {
        ApplyHandle(0, true);
        RedrawMain();
        return;
    }
    const std::optional<double> fadeIn = NumberOf(fadeInText_);
    const std::optional<double> fadeOut = NumberOf(fadeOutText_);
    if (!fadeIn || !fadeOut)
        return;
    const double rate = p.SampleRate;
    double a = static_cast<double>(in) + std::fabs(*fadeIn) * rate / 1000.0;
    double b = static_cast<double>(out) - std::fabs(*fadeOut) * rate / 1000.0;
    if (a >= b) {
        a = static_cast<double>(RoundHalfEven(b / 2 + a / 2));
        b = a + kEnvelopeFrameSamples;
    }
    const double low = static_cast<double>(in + kEnvelopeFrameSamples);
    const double high = static_cast<double>(out - kEnvelopeFrameSamples);
    a = std::clamp(a, low, high);
    b = std::clamp(b, low, high);
    for (double position : { a, b }) {
        DrawHandle h;
        PlaceFromFrame(h, position / kEnvelopeFrameSamples, bgLevel_);
        handles_.push_back(h);
    }
    SortExtras();
    ApplyHandle(2, true);
    ApplyHandle(3, true);
    RedrawMain();
}

void DrawLevelModel::SaveBgSettings()
{
    Settings& s = logic_.Store();
    s.SaveSetting("BGFadeValue", bgLevel_);
    auto store = [&s](const char* pKey, const std::string& pText) {
        if (std::optional<double> ms = NumberOf(pText); ms && std::isfinite(*ms))
            s.SaveSetting(pKey, Clamp32(RoundHalfEven(std::fabs(*ms)), 0, INT32_MAX));
    };
    store("BGFadeIn", fadeInText_);
    store("BGFadeOut", fadeOutText_);
}

void DrawLevelModel::FillFrames(int32_t pFrom, int32_t pTo, int32_t pBoundary)
{
    Project& p = logic_.Proj();
    const int32_t channels = logic_.FadeChannels & kFadeBoth;
    for (int32_t t : TargetTracks(true))
        for (int32_t ch = 0; ch < 2; ++ch) {
            if ((channels & (1 << ch)) == 0)
                continue;
            const int32_t value = EnvelopeLevel(p, t, ch, pBoundary);
            for (int32_t k = pFrom; k <= pTo; ++k)
                SetEnvelopeLevel(p, t, ch, k, value);
        }
}

bool DrawLevelModel::Watch()
{
    if (!open_)
        return false;
    const Project& p = logic_.Proj();
    if (p.MarkIn == watchedIn_ && p.MarkOut == watchedOut_ && p.CurrentTrack == watchedTrack_)
        return false;
    if (!SelectionFits(p))
        return false; // kept until the selection is usable again
    const bool sameTrack = p.CurrentTrack == watchedTrack_;
    const int32_t oldStart = handles_.size() >= 2 ? handles_[0].Frame : 0;
    const int32_t oldEnd = handles_.size() >= 2 ? handles_[1].Frame : 0;
    watchedIn_ = p.MarkIn;
    watchedOut_ = p.MarkOut;
    watchedTrack_ = p.CurrentTrack;
    BuildGeometry();
    if (mode_ == DrawMode::Background && sameTrack && handles_.size() >= 2) {
        const int32_t newStart = FrameOfX(0);
        const int32_t newEnd = FrameOfX(width_);
        if (newStart > oldStart)
            FillFrames(oldStart, newStart, oldStart);
        if (newEnd < oldEnd)
            FillFrames(newEnd, oldEnd, oldEnd);
    }
    BuildEdgeHandles();
    if (mode_ == DrawMode::Background)
        BuildHandles();
    RedrawMain();
    return true;
}

void DrawLevelModel::RedrawMain() { logic_.Ui().RequestRedraw(RedrawArea::Tracks); }

} // namespace tarvok
