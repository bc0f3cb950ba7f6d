#include "gui/track_area.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/commands/fade_commands.h"
#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "app/windows/main_view.h"
#include "core/envelope.h"
#include "gui/frm_main.h"
#include "gui/view_colours.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>

namespace tarvok {

namespace {

QString Q(const std::string& pText) { return QString::fromStdString(pText); }

int Modifiers(Qt::KeyboardModifiers pMods)
{
    return (pMods & Qt::ShiftModifier ? 1 : 0) | (pMods & Qt::ControlModifier ? 2 : 0)
        | (pMods & Qt::AltModifier ? 4 : 0);
}

} // namespace

TrackArea::TrackArea(FrmMain& pOwner, MainLogic& pLogic, MainView& pView, QWidget* pParent)
    : QWidget(pParent)
    , owner_(pOwner)
    , logic_(pLogic)
    , view_(pView)
{
    setObjectName(QStringLiteral("PictureTrack"));
    SetAccessible(
        this, { .Role = QAccessible::Canvas, .DefaultName = QTr("トラック"), .ValueText = [this] {
                   const Project& p = logic_.Proj();
                   return QTr("トラック %1 / %2、ブロック %3 個")
                       .arg(p.CurrentTrack + 1)
                       .arg(p.LastTrackNo + 1)
                       .arg(p.BlockCount());
               } });
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setMinimumSize(200, 60);
    setFocusPolicy(Qt::NoFocus);
    scrollTimer_.setInterval(50);
    connect(&scrollTimer_, &QTimer::timeout, this, &TrackArea::AutoScroll);
}

DragHooks TrackArea::Hooks()
{
    DragHooks hooks;
    hooks.TakeSnapshot = [this] {
        if (!logic_.TakeUndoSnapshot()) {
            logic_.ShowUndoSnapshotFailure();
            return false;
        }
        logic_.Proj().LastUndoType = 0;
        logic_.Proj().Saved = false;
        return true;
    };
    hooks.NewEnvelopeName = [this] { return logic_.Folder().NewTempName(kTempEnvelope); };
    return hooks;
}

void TrackArea::resizeEvent(QResizeEvent*)
{
    view_.Arrange(height() + 2, width());
    owner_.AfterArrange();
}

void TrackArea::paintEvent(QPaintEvent* pEvent)
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    // A repaint of part of the surface (the head's columns while playing) copies that part
    // of the kept picture; a repaint of the whole draws the picture anew. Every change of
    // what the picture shows asks for the whole (update() without a rectangle).
    const QRect dirty = pEvent->rect();
    const bool reuse = picture_.size() == pixels && dirty != rect();
    if (!reuse) {
        if (picture_.size() != pixels) {
            picture_ = QImage(pixels, QImage::Format_RGB32);
            picture_.setDevicePixelRatio(ratio);
        }
        // At scale 1 the waveform columns are written straight into the pixel rows.
        QPainter image(&picture_);
        PaintPicture(image);
        pictureViewStart_ = logic_.Proj().ViewStart;
        pictureZoom_ = logic_.Proj().Zoom;
    }
    QPainter painter(this);
    painter.drawImage(QRectF(dirty), picture_,
        QRectF(QPointF(dirty.topLeft()) * ratio, QSizeF(dirty.size()) * ratio));
    PaintHead(painter);
}

void TrackArea::HeadMoved(bool pWhole)
{
    const int head = view_.XOfFrame(logic_.Proj().Head);
    // A scrolled view changes the picture itself.
    if (pWhole || picture_.isNull() || logic_.Proj().ViewStart != pictureViewStart_
        || logic_.Proj().Zoom != pictureZoom_) {
        update();
    } else if (head != headX_) {
        if (headX_ >= 0 && headX_ < width())
            update(QRect(headX_, 0, 1, height()));
        if (head >= 0 && head < width())
            update(QRect(head, 0, 1, height()));
    }
    headX_ = head;
}

/// Writes vertical lines of one colour straight into a 32-bit image; false when the painter
/// does not draw on such an image without a transform (the caller then draws the lines).
static bool WriteColumns(QPainter& pPainter, const std::vector<WaveLine>& pLines, QColor pColour)
{
    auto* image = dynamic_cast<QImage*>(pPainter.device());
    if (!image || !pPainter.transform().isIdentity() || image->devicePixelRatio() != 1.0
        || (image->format() != QImage::Format_RGB32
            && image->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QRgb rgb = pColour.rgb();
    const int w = image->width();
    const int h = image->height();
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    for (const WaveLine& l : pLines) {
        if (l.X < 0 || l.X >= w)
            continue;
        const int y1 = std::max(0, std::min(l.Y1, l.Y2));
        const int y2 = std::min(h - 1, std::max(l.Y1, l.Y2));
        for (int y = y1; y <= y2; ++y)
            reinterpret_cast<QRgb*>(bits + y * stride)[l.X] = rgb;
    }
    return true;
}

void TrackArea::PaintAll(QPainter& pPainter)
{
    PaintPicture(pPainter);
    PaintHead(pPainter);
}

void TrackArea::PaintPicture(QPainter& pPainter)
{
    pPainter.fillRect(QRect(0, 0, width(), height()), ViewColours::Surface());
    pPainter.setRenderHint(QPainter::Antialiasing, false);
    if (!owner_.Loaded())
        return;
    PaintLanes(pPainter);
    PaintBlocks(pPainter);
    PaintEnvelopes(pPainter);
    PaintSelection(pPainter);
    PaintMarks(pPainter);
    PaintSearchBox(pPainter);
}

void TrackArea::PaintLanes(QPainter& pPainter)
{
    const Project& p = logic_.Proj();
    for (int32_t t = 0; t <= p.LastTrackNo; ++t) {
        if (!view_.LaneVisible(t))
            continue;
        pPainter.fillRect(
            0, view_.LaneTop(t), view_.ViewWidth, view_.TrackHeight, ViewColours::Lane());
    }
}

void TrackArea::PaintBlocks(QPainter& pPainter)
{
    const Project& p = logic_.Proj();
    const AppOptions& o = logic_.Options();
    const QColor wave = ViewColours::FromSetting(o.WaveColor);
    const QColor locked = ViewColours::FromSetting(o.WaveColorLocked);
    for (int32_t i = 0; i < p.BlockCount(); ++i) {
        const Block& b = p.Blocks[i];
        if (b.WaveNo < 0 || b.WaveNo >= static_cast<int32_t>(p.Peaks.size())
            || !view_.LaneVisible(b.TrackNo))
            continue;
        PaintWave(
            pPainter, b, p.Peaks[b.WaveNo], (b.Flags & kBlockLocked) != 0 ? locked : wave, true);
    }
    // The takes being recorded grow on their lanes over the blocks already there.
    for (const RecordingLane& lane : view_.RecordingBlocks())
        if (view_.LaneVisible(lane.Place.TrackNo))
            PaintWave(pPainter, lane.Place, *lane.Peaks, QColor(192, 96, 96), false);
}

void TrackArea::PaintWave(
    QPainter& pPainter, const Block& pBlock, const PeakArray& pPeaks, QColor pColour, bool pLabel)
{
    const BlockPlacement place = view_.PlaceBlock(pBlock, pPeaks);
    if (!place.Visible)
        return;
    const QRect box(
        place.Left, place.Top, std::max(1, place.Right - place.Left), view_.TrackHeight);
    pPainter.fillRect(box, Qt::black);
    lines_.clear();
    view_.BlockWave(place, pPeaks, lines_);
    if (!WriteColumns(pPainter, lines_, pColour)) {
        qlines_.resize(lines_.size());
        for (size_t k = 0; k < lines_.size(); ++k)
            qlines_[k] = QLine(lines_[k].X, lines_[k].Y1, lines_[k].X, lines_[k].Y2);
        pPainter.setPen(pColour);
        pPainter.drawLines(qlines_.data(), static_cast<int>(qlines_.size()));
    }
    pPainter.setPen(QColor(224, 224, 224));
    if (place.StartLine)
        pPainter.drawLine(place.Left, place.Top, place.Left, place.Bottom - 1);
    if (place.EndLine)
        pPainter.drawLine(place.Right, place.Top, place.Right, place.Bottom - 1);
    const int labelHeight = pPainter.fontMetrics().height();
    if (pLabel && view_.TrackHeight >= labelHeight) {
        pPainter.save();
        pPainter.setClipRect(box);
        pPainter.drawText(place.Left + 2, place.Bottom - labelHeight, box.width(), labelHeight,
            Qt::AlignLeft | Qt::AlignTop, Q(MainView::BlockLabel(pBlock)));
        pPainter.restore();
    }
}

void TrackArea::PaintEnvelopes(QPainter& pPainter)
{
    Project& p = logic_.Proj();
    std::vector<QPoint> points;
    for (int32_t t = 0; t <= p.LastTrackNo; ++t) {
        if (!view_.LaneVisible(t))
            continue;
        const bool selected = p.Tracks[t].Selected != 0;
        // Red while automation writing is armed, on the tracks it writes.
        const bool writing = logic_.Automation.Mode && logic_.Automation.Armed;
        const QColor colour = selected ? (writing ? QColor(192, 0, 0) : QColor(Qt::white))
                                       : ViewColours::ButtonFace();
        pPainter.setPen(colour);
        for (int ch = 0; ch < 2; ++ch) {
            std::vector<EnvPoint> line = view_.EnvelopeLine(t, ch);
            // A flat stretch is one line, not one per pixel.
            MergeFlatRuns(line);
            points.resize(line.size());
            for (size_t k = 0; k < line.size(); ++k)
                points[k] = QPoint(line[k].X, line[k].Y);
            if (points.size() > 1)
                pPainter.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
        pPainter.setBrush(ViewColours::ButtonFace());
        pPainter.setPen(ViewColours::ButtonFace());
        const int r = view_.PointRadius;
        for (int32_t i : view_.PlaceFadePoints(t)) {
            const FadePoint& fp = p.FadePoints[i];
            for (int ch = 0; ch < 2; ++ch) {
                if ((fp.Channels & (1 << ch)) == 0)
                    continue;
                // The dot being dragged follows the pointer inside its lane.
                const bool dragged = fadeDrag_.Point == i && fadeDrag_.Channel == ch;
                pPainter.drawEllipse(
                    QPointF(fp.DotX[ch], dragged ? fadeDrag_.Y : fp.DotY[ch]), r, r);
            }
        }
        pPainter.setBrush(Qt::NoBrush);
        pPainter.setPen(colour);
        if (view_.TrackHeight >= pPainter.fontMetrics().height())
            pPainter.drawText(1, view_.LaneTop(t) + 1, view_.ViewWidth, view_.TrackHeight,
                Qt::AlignLeft | Qt::AlignTop, Q(view_.TrackLabel(t)));
    }
}

void TrackArea::PaintSelection(QPainter& pPainter)
{
    const Project& p = logic_.Proj();
    const auto [left, right] = view_.SelectionSpan();
    if (left >= right || selecting_)
        return;
    pPainter.save();
    pPainter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    for (int32_t t = 0; t <= p.LastTrackNo; ++t)
        if (p.Tracks[t].Selected != 0 && view_.LaneVisible(t))
            pPainter.fillRect(
                left, view_.LaneTop(t), right - left, view_.TrackHeight, QColor(85, 85, 85));
    pPainter.restore();
}

void TrackArea::PaintMarks(QPainter& pPainter)
{
    const Project& p = logic_.Proj();
    const int top = view_.LaneTop(p.CurrentTrack);
    const int h = view_.TrackHeight;
    const bool pictures = logic_.Options().HideMark != 1;
    const int marks[2] = { p.MarkIn, p.MarkOut };
    const QColor colours[2] = { ViewColours::MarkIn(), ViewColours::MarkOut() };
    for (int m = 0; m < 2; ++m) {
        const int x = view_.MarkImageLeft(marks[m]) + kMarkHalfWidth;
        pPainter.setPen(colours[m]);
        pPainter.drawLine(x, top, x, top + h - 1);
        if (!pictures)
            continue;
        // A flag at the top and the bottom of the lane, pointing into the selection.
        const int dir = m == 0 ? 1 : -1;
        const QPoint topFlag[3]
            = { { x, top }, { x + dir * kMarkHalfWidth, top + 4 }, { x, top + 8 } };
        const QPoint bottomFlag[3]
            = { { x, top + h - 1 }, { x + dir * kMarkHalfWidth, top + h - 5 }, { x, top + h - 9 } };
        pPainter.setBrush(colours[m]);
        pPainter.drawPolygon(topFlag, 3);
        pPainter.drawPolygon(bottomFlag, 3);
        pPainter.setBrush(Qt::NoBrush);
    }
}

void TrackArea::PaintHead(QPainter& pPainter)
{
    const int head = view_.XOfFrame(logic_.Proj().Head);
    headX_ = head;
    if (head >= 0 && head < width()) {
        pPainter.setPen(ViewColours::Head());
        pPainter.drawLine(head, 0, head, height() - 1);
    }
}

int TrackArea::FadePointAt(QPointF pPos, int* pChannel) const
{
    const Project& p = logic_.Proj();
    const double r = view_.PointRadius + 1;
    for (int32_t i = p.FadePointCount() - 1; i >= 0; --i) {
        const FadePoint& fp = p.FadePoints[i];
        if (!view_.LaneVisible(fp.TrackNo))
            continue;
        for (int ch = 0; ch < 2; ++ch) {
            if ((fp.Channels & (1 << ch)) == 0)
                continue;
            const double dx = pPos.x() - fp.DotX[ch];
            const double dy = pPos.y() - fp.DotY[ch];
            if (dx * dx + dy * dy <= r * r && fp.DotX[ch] >= 1) {
                if (pChannel)
                    *pChannel = ch;
                return i;
            }
        }
    }
    return -1;
}

void TrackArea::mousePressEvent(QMouseEvent* pEvent)
{
    if (logic_.Busy)
        return;
    const QPointF pos = pEvent->position();
    const int x = static_cast<int>(pos.x());
    const int y = static_cast<int>(pos.y());
    const bool left = pEvent->button() == Qt::LeftButton;
    const int64_t frame = std::max<int64_t>(0, view_.FrameOfX(x));
    if (left)
        logic_.LastClickFrame = static_cast<int32_t>(std::min<int64_t>(frame, kMaxLength - 1));
    if (owner_.SpaceClick(left, static_cast<int32_t>(std::min<int64_t>(frame, kMaxLength - 1))))
        return;
    const int mods = Modifiers(pEvent->modifiers());
    int channel = 0;
    const int fade = FadePointAt(pos, &channel);
    if (fade < 0 && PressMarker(pEvent))
        return;
    const int32_t track = fade >= 0 ? logic_.Proj().FadePoints[fade].TrackNo : view_.TrackFromY(y);
    owner_.PressTrack(track, mods & 3);
    if (fade >= 0) {
        // The left button drags the dot up and down its lane; the drop is an edit.
        if (left && logic_.CanEdit()) {
            const FadePoint& fp = logic_.Proj().FadePoints[fade];
            fadeDrag_ = { fade, channel, fp.DotY[channel], fp.DotY[channel], false };
        }
        return;
    }
    if (!left) {
        // The right button picks the block under the pointer for the edit menu.
        Project& p = logic_.Proj();
        p.SelectedBlock = -1;
        for (int32_t i = p.BlockCount() - 1; i >= 0; --i) {
            const Block& b = p.Blocks[i];
            if (b.TrackNo == track && b.StartAdr <= frame && frame <= b.EndAdr) {
                p.SelectedBlock = i;
                logic_.ShowMessage(b.Name);
                break;
            }
        }
        owner_.UpdateMenus();
        return;
    }
    leftDown_ = true;
    lastX_ = x;
    DragPress press;
    press.Frame = static_cast<int32_t>(std::min<int64_t>(frame, kMaxLength - 1));
    press.Track = track;
    press.LowerHalf = !view_.InUpperHalf(track, y);
    press.Shift = (mods & 1) != 0;
    press.Alt = (mods & 4) != 0;
    press.EdgeFrames = static_cast<int32_t>(2 * view_.Fpp());
    const PressOutcome outcome
        = drag_.Press(logic_.Proj(), press, logic_.Options().ShiftToDrag != 0);
    if (!outcome.Message.empty())
        logic_.ShowMessage(outcome.Message);
    if (outcome.Mode == DragMode::Range) {
        selecting_ = true;
        Project& p = logic_.Proj();
        p.MarkIn = p.MarkOut = view_.MarkFromImage(x - kMarkHalfWidth);
        owner_.MarksChanged();
    } else if (outcome.Mode == DragMode::Head) {
        owner_.HeadDown(x);
    }
    owner_.UpdateMenus();
    update();
}

void TrackArea::MoveOutMark(int pX)
{
    Project& p = logic_.Proj();
    const int32_t mark = view_.MarkFromImage(pX - kMarkHalfWidth);
    if (view_.MarkImageLeft(mark) < view_.MarkImageLeft(p.MarkIn))
        p.MarkIn = p.MarkOut = mark;
    else
        p.MarkOut = mark;
    owner_.MarksChanged();
}

void TrackArea::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (markerDrag_.Mark >= 0) {
        MoveMarker(pEvent);
        return;
    }
    if (fadeDrag_.Point >= 0 && (pEvent->buttons() & Qt::LeftButton)) {
        const Project& p = logic_.Proj();
        const int32_t track = fadeDrag_.Point < p.FadePointCount()
            ? p.FadePoints[static_cast<size_t>(fadeDrag_.Point)].TrackNo
            : 0;
        const double top = view_.LaneTop(track);
        const double y = std::clamp(pEvent->position().y(), top, top + view_.TrackHeight - 1.0);
        if (y != fadeDrag_.Y) {
            fadeDrag_.Y = y;
            fadeDrag_.Moved = fadeDrag_.Moved || y != fadeDrag_.StartY;
            const int32_t level = view_.EnvelopeLevelOfY(track, fadeDrag_.Channel, y);
            logic_.ShowMessage(LevelText(p.Fades, level));
            update();
        }
        return;
    }
    if (!leftDown_ || !(pEvent->buttons() & Qt::LeftButton))
        return;
    const QPointF pos = pEvent->position();
    const int x = static_cast<int>(pos.x());
    if (x == lastX_ && drag_.Mode() != DragMode::Move)
        return;
    lastX_ = x;
    const int beyond = x < 0 ? -1 : (x >= width() ? 1 : 0);
    if (selecting_) {
        MoveOutMark(std::clamp(x, 0, width()));
        scrollDir_ = beyond;
    } else if (drag_.Mode() == DragMode::Head) {
        owner_.HeadMove(x);
    } else if (drag_.Mode() == DragMode::Move || drag_.Mode() == DragMode::TrimStart
        || drag_.Mode() == DragMode::TrimEnd) {
        const int64_t frame = std::clamp<int64_t>(view_.FrameOfX(x), 0, kMaxLength - 1);
        const int32_t track = view_.TrackFromY(static_cast<int>(pos.y()));
        const std::string message = drag_.Move(logic_.Proj(), static_cast<int32_t>(frame), track,
            beyond, (pEvent->modifiers() & Qt::ControlModifier) != 0, Hooks());
        if (!message.empty())
            logic_.ShowMessage(message);
        scrollDir_ = drag_.ScrollDirection();
        owner_.ProjectMoved();
    }
    if (scrollDir_ != 0 && !scrollTimer_.isActive())
        scrollTimer_.start();
    else if (scrollDir_ == 0)
        scrollTimer_.stop();
    update();
}

void TrackArea::AutoScroll()
{
    if (scrollDir_ == 0 || !leftDown_) {
        scrollTimer_.stop();
        return;
    }
    Project& p = logic_.Proj();
    const int32_t before = p.ViewStart;
    view_.ScrollTo(
        static_cast<int64_t>(p.ViewStart) + static_cast<int64_t>(scrollDir_) * p.Zoom * 1024);
    const int32_t moved = p.ViewStart - before;
    if (moved == 0)
        return;
    if (selecting_) {
        MoveOutMark(scrollDir_ < 0 ? 0 : width());
    } else if (drag_.Mode() == DragMode::Move) {
        const std::string message = drag_.FollowScroll(p, moved, Hooks());
        if (!message.empty())
            logic_.ShowMessage(message);
        owner_.ProjectMoved();
    }
    owner_.ViewScrolled();
}

void TrackArea::mouseReleaseEvent(QMouseEvent* pEvent)
{
    scrollTimer_.stop();
    scrollDir_ = 0;
    if (markerDrag_.Mark >= 0) {
        if (pEvent->button() == (markerDrag_.Right ? Qt::RightButton : Qt::LeftButton))
            ReleaseMarker();
        return;
    }
    if (pEvent->button() == Qt::LeftButton && fadeDrag_.Point >= 0) {
        EndFadeDrag(pEvent);
        return;
    }
    if (pEvent->button() == Qt::LeftButton) {
        if (!leftDown_)
            return;
        leftDown_ = false;
        if (selecting_) {
            selecting_ = false;
            owner_.EndMarkerDrag();
        } else if (drag_.Mode() == DragMode::Head) {
            owner_.HeadUp(static_cast<int>(pEvent->position().x()));
            drag_.Release(logic_.Proj(), Hooks());
        } else {
            const bool changed = drag_.Release(logic_.Proj(), Hooks());
            owner_.AfterDrag(changed);
        }
        update();
        return;
    }
    if (pEvent->button() != Qt::RightButton || owner_.SpaceHeld())
        return;
    const int fade = FadePointAt(pEvent->position());
    if (fade >= 0) {
        DeleteFadePointCommand(logic_, fade);
        update();
        return;
    }
    if (owner_.StopIfPlaying() || logic_.Recording)
        return;
    owner_.ShowEditPopup(pEvent->globalPosition().toPoint());
}

bool TrackArea::PressMarker(QMouseEvent* pEvent)
{
    const bool right = pEvent->button() == Qt::RightButton;
    if ((!right && pEvent->button() != Qt::LeftButton) || logic_.Recording)
        return false;
    const int x = static_cast<int>(pEvent->position().x());
    const int mark = view_.MarkerAt(x, static_cast<int>(pEvent->position().y()));
    if (mark < 0)
        return false;
    markerDrag_ = { mark, right, x };
    if (right) {
        // The right button lets the dragged mark be heard: a second from the mark on each
        // step, and a box over the stretch being heard.
        if (Transport* transport = owner_.TransportControl())
            transport->MarkPreviewBegin();
        searchShown_ = true;
        searchDirection_ = 0;
    }
    update();
    return true;
}

void TrackArea::MoveMarker(QMouseEvent* pEvent)
{
    const int x = std::clamp(static_cast<int>(pEvent->position().x()), 0, width());
    view_.MoveMarker(markerDrag_.Mark, x);
    owner_.MarksChanged();
    if (markerDrag_.Right) {
        const Project& p = logic_.Proj();
        const int32_t mark = markerDrag_.Mark == 0 ? p.MarkIn : p.MarkOut;
        const int delta = x - markerDrag_.PreviewX;
        // A move of a pixel or less keeps the step's anchor, as the preview does.
        if (std::abs(delta) > 1) {
            if (Transport* transport = owner_.TransportControl())
                transport->MarkPreviewMove(delta, mark);
            markerDrag_.PreviewX = x;
            searchDirection_ = delta > 0 ? 1 : -1;
        }
    }
    update();
}

void TrackArea::ReleaseMarker()
{
    const bool right = markerDrag_.Right;
    markerDrag_ = MarkerDrag {};
    if (right) {
        if (Transport* transport = owner_.TransportControl())
            transport->MarkPreviewEnd();
        searchShown_ = false;
        owner_.MarksChanged();
    } else {
        owner_.EndMarkerDrag();
    }
    update();
}

void TrackArea::PaintSearchBox(QPainter& pPainter)
{
    if (!searchShown_ || markerDrag_.Mark < 0)
        return;
    const Project& p = logic_.Proj();
    const MainView::SearchBox box
        = view_.SearchBoxAt(markerDrag_.Mark == 0 ? p.MarkIn : p.MarkOut, searchDirection_);
    pPainter.setPen(ViewColours::ButtonFace());
    pPainter.setBrush(Qt::NoBrush);
    pPainter.drawRect(box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top - 1);
}

void TrackArea::wheelEvent(QWheelEvent* pEvent)
{
    const bool ctrl = (pEvent->modifiers() & Qt::ControlModifier) != 0;
    const bool shift = (pEvent->modifiers() & Qt::ShiftModifier) != 0;
    if ((!ctrl && !shift) || logic_.Busy || !owner_.Loaded()) {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
    // Some systems turn a Shift-held wheel into a horizontal one.
    const QPoint angle = pEvent->angleDelta();
    wheelRest_ += angle.y() != 0 ? angle.y() : angle.x();
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    if (notches == 0)
        return;
    if (ctrl) {
        // Away from the user zooms in around the pointer.
        const int x = static_cast<int>(pEvent->position().x());
        for (int n = 0; n < std::abs(notches); ++n)
            view_.ZoomAt(notches > 0, x);
    } else {
        // Towards the user goes later in time, as a page scrolls down.
        view_.ScrollNotches(-notches);
    }
    owner_.DrawAll();
}

void TrackArea::EndFadeDrag(QMouseEvent* pEvent)
{
    const FadeDrag drag = fadeDrag_;
    fadeDrag_ = FadeDrag {};
    const Project& p = logic_.Proj();
    if (drag.Moved && drag.Point < p.FadePointCount()) {
        const int32_t track = p.FadePoints[static_cast<size_t>(drag.Point)].TrackNo;
        const int32_t level = view_.EnvelopeLevelOfY(track, drag.Channel, drag.Y);
        DragFadePointCommand(
            logic_, drag.Point, level, (pEvent->modifiers() & Qt::ShiftModifier) != 0);
    }
    update();
}

void TrackArea::dragEnterEvent(QDragEnterEvent* pEvent)
{
    if (pEvent->mimeData()->hasUrls())
        pEvent->acceptProposedAction();
}

void TrackArea::dropEvent(QDropEvent* pEvent)
{
    QStringList paths;
    for (const QUrl& url : pEvent->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    const QPointF pos = pEvent->position();
    const int32_t track = view_.TrackFromY(static_cast<int>(pos.y()));
    const int64_t frame = std::clamp<int64_t>(view_.FrameOfX(pos.x()), 0, kMaxLength - 1);
    pEvent->acceptProposedAction();
    owner_.DropFiles(paths, track, static_cast<int32_t>(frame));
}

} // namespace tarvok
