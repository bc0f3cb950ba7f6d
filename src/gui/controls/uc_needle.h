#pragma once

#include <QString>
#include <QWidget>

namespace tarvok {

/// A needle meter (the master section's MasterMeter): Draw(value) with 1.0 at the reference
/// level (0 VU). The scale runs from -20 to +3 VU, placed in proportion to the linear value
/// as on a classic VU meter (0 VU at about 71 % of the sweep), the part above 0 VU in red.
/// Values beyond the scale pin the needle at its end.
class UC_Needle : public QWidget {
    Q_OBJECT
public:
    explicit UC_Needle(QWidget* pParent = nullptr);

    void Draw(double pValue);
    double Value() const { return value_; }
    void SetCaption(const QString& pCaption);
    /// Where a value sits on the sweep: 0 at the left end, 1 at the right end.
    static double SweepOf(double pValue);

    QSize sizeHint() const override { return { 120, 78 }; }
    QSize minimumSizeHint() const override { return { 80, 54 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    double value_ = 0;
    QString caption_;
};

} // namespace tarvok
