#pragma once

#include "edit/block_drag.h"

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

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void PaintLanes(QPainter& pPainter);
    void PaintBlocks(QPainter& pPainter);
    void PaintEnvelopes(QPainter& pPainter);
    void PaintSelection(QPainter& pPainter);
    void PaintMarks(QPainter& pPainter);
    void MoveOutMark(int pX);
    void AutoScroll();
    int FadePointAt(QPointF pPos) const;
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
};

} // namespace tarvok
