#pragma once

#include <QWidget>

namespace tarvok {

class FrmMain;
class MainLogic;
class MainView;

/// The time scale (ticks labelled with the time from the zero position) and below it the
/// head strip with the head marker. Pressing the scale scrubs; pressing the head strip
/// moves the head.
class TimeScale : public QWidget {
    Q_OBJECT
public:
    TimeScale(FrmMain& pOwner, MainLogic& pLogic, MainView& pView, QWidget* pParent);

    static constexpr int kScaleHeight = 20;
    static constexpr int kHeadHeight = 13;
    QSize sizeHint() const override { return { 400, kScaleHeight + kHeadHeight }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    FrmMain& owner_;
    MainLogic& logic_;
    MainView& view_;
    bool inHead_ = false;
    bool pressed_ = false;
};

} // namespace tarvok
