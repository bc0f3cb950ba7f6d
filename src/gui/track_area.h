#pragma once

#include "core/project.h"
#include "edit/block_drag.h"

#include <QImage>
#include <QLine>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace tarvok {

class FrmMain;
class MainLogic;
class MainView;
struct WaveLine;

/// The track drawing surface: one lane per track with its blocks drawn from the peak
/// arrays, the envelopes, fade points, selection highlight, marks and head. Mouse presses
/// select tracks and start a range selection, a block move or an edge trim through the
/// block drag model; files dropped on a lane are imported there.
class TrackArea : public QWidget {
    Q_OBJECT
public:
    TrackArea(FrmMain& pOwner, MainLogic& pLogic, MainView& pView, QWidget* pParent);

    /// The drag in progress (tests and the owner's timer read it).
    const BlockDrag& Drag() const { return drag_; }
    /// Paints everything onto pPainter's device (the screenshot and the benchmark use it).
    void PaintAll(QPainter& pPainter);
    /// The head may have moved: repaints only its old and new columns over the kept picture,
    /// or everything with pWhole (the picture itself changes while the head moves: a
    /// recording grows, automation writes, the view scrolled).
    void HeadMoved(bool pWhole);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void PaintLanes(QPainter& pPainter);
    void PaintBlocks(QPainter& pPainter);
    /// One block: its black box, waveform columns in pColour, edge lines and (with
    /// pLabel) its label.
    void PaintWave(QPainter& pPainter, const Block& pBlock, const PeakArray& pPeaks, QColor pColour,
        bool pLabel);
    void PaintSearchBox(QPainter& pPainter);
    /// A press on a marker image starts dragging that mark (the right button with the mark
    /// preview); false when the press is not on one.
    bool PressMarker(QMouseEvent* pEvent);
    void MoveMarker(QMouseEvent* pEvent);
    void ReleaseMarker();
    void PaintEnvelopes(QPainter& pPainter);
    void PaintSelection(QPainter& pPainter);
    void PaintMarks(QPainter& pPainter);
    /// Everything but the head: what the kept picture holds.
    void PaintPicture(QPainter& pPainter);
    void PaintHead(QPainter& pPainter);
    void MoveOutMark(int pX);
    void AutoScroll();
    /// The fade point whose dot lies under pPos, or -1; pChannel gets the dot's channel.
    int FadePointAt(QPointF pPos, int* pChannel = nullptr) const;
    /// Ends a fade point drag: an editing step when the pointer moved.
    void EndFadeDrag(QMouseEvent* pEvent);
    DragHooks Hooks();

    FrmMain& owner_;
    MainLogic& logic_;
    MainView& view_;
    BlockDrag drag_;
    bool selecting_ = false;
    bool leftDown_ = false;
    int lastX_ = 0;
    int scrollDir_ = 0;
    QTimer scrollTimer_;
    std::vector<WaveLine> lines_;
    std::vector<QLine> qlines_;
    /// A fade point being dragged: its index, the channel of the dot, where it is now.
    struct FadeDrag {
        int Point = -1;
        int Channel = 0;
        double StartY = 0;
        double Y = 0;
        bool Moved = false;
    } fadeDrag_;
    /// A marker image being dragged: the mark (0 in, 1 out), the right button (mark
    /// preview), where the last preview step was taken.
    struct MarkerDrag {
        int Mark = -1;
        bool Right = false;
        int PreviewX = 0;
    } markerDrag_;
    bool searchShown_ = false;
    int searchDirection_ = 0;
    int wheelRest_ = 0; ///< wheel angle not yet turned into whole notches
    QImage picture_; ///< everything but the head, as last drawn
    int headX_ = -1; ///< the column where the head was last drawn
    int32_t pictureViewStart_ = -1; ///< the view the kept picture shows
    int32_t pictureZoom_ = -1;
};

} // namespace tarvok
