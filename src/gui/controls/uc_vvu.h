#pragma once

#include "engine/level_meters.h"

#include <QWidget>

namespace tarvok {

/// A vertical bar meter with a peak mark, painting a BarMeter model (which keeps the shown
/// values and their fall-back). Values are integers in the meter's own unit
/// (tenths of dB for the master meters: Max 0, Min -500); the part above the red point is
/// drawn red, the rest green. Each DrawVU call is one display tick: the shown bar falls by
/// (Max - Min) / PeakDecRate and jumps up to a higher value; with PeakIndp the peak mark
/// falls at the same rate and jumps to its own value, without it the mark falls ten times
/// faster and follows the bar value. SetValues shows values as given, without falling,
/// for callers that keep their own fall-back (the track meters).
///
/// Use: `auto* m = new UC_VVU(parent); m->SetRange(-500, 0); m->SetRedPoint(-230);`
/// then `m->DrawVU(rmsTenths, peakTenths)` on every meter tick and `m->ClearVU()` on stop.
class UC_VVU : public QWidget {
    Q_OBJECT
public:
    explicit UC_VVU(QWidget* pParent = nullptr);

    void SetRange(int pMin, int pMax);
    int Min() const { return model_.Min; }
    int Max() const { return model_.Max; }
    void SetRedPoint(int pValue);
    void SetPeakDecRate(int pRate);
    void SetPeakIndp(bool pOn);

    /// One tick with bar value pA and peak value pB, both clamped to Min..Max.
    void DrawVU(int pA, int pB);
    /// Shows pA and pB at once, without the fall-back.
    void SetValues(int pA, int pB);
    /// Back to the bottom.
    void ClearVU();

    /// The values drawn now.
    double ShownBar() const { return model_.Bar(); }
    double ShownPeak() const { return model_.Peak(); }
    /// The y (from the top) at which a value is drawn.
    int YOfValue(double pValue) const;
    const BarMeter& Model() const { return model_; }

    QSize sizeHint() const override { return { 8, 120 }; }
    QSize minimumSizeHint() const override { return { 4, 30 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    BarMeter model_;
};

} // namespace tarvok
