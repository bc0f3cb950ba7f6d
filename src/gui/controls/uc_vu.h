#pragma once

#include <QWidget>

namespace tarvok {

class MultiBarMeter;

/// A horizontal multi-bar meter drawn from a MultiBarMeter model: one bar per channel with
/// its label in the left margin and its text (the level) right-aligned in the right margin,
/// the green ramp up to the red point and the red ramp beyond it, a grey peak mark, and the
/// scale of the meter's mode under the bars. The model keeps the positions and the
/// fall-back; the control keeps the model's width equal to its own and paints.
///
/// Use: `auto* vu = new UC_VU(monitor.Meter(), parent); vu->SetDbMode(true);` then, after
/// each model tick, `vu->update()`. A click with any button but the right one emits
/// Clicked (the monitor toggles its scale with it).
class UC_VU : public QWidget {
    Q_OBJECT
public:
    UC_VU(MultiBarMeter& pModel, QWidget* pParent = nullptr);

    /// The scale drawn: dB (true) or linear.
    void SetDbMode(bool pDb);
    bool DbMode() const { return db_; }
    /// Call after the model's bar count or range changed: the model takes this width again.
    void ModelChanged();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    int ScaleTop() const;

    MultiBarMeter& model_;
    bool db_ = true;
};

} // namespace tarvok
