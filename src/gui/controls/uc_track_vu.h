#pragma once

#include "engine/level_meters.h"

#include <QWidget>

namespace tarvok {

/// A track's meter in the strip: two vertical bars (left at x 3, right at x 11, 7 pixels
/// wide) showing a TrackMeterPair in whole dB (0 full scale, -50 floor). The bar's top is
/// TrackMeterBarTop of its value; the lit colour changes from green to amber at the
/// reference level (VULevelTrim dB below full scale). The fall-back is UpdateTrackMeters'.
class UC_TrackVU : public QWidget {
    Q_OBJECT
public:
    explicit UC_TrackVU(QWidget* pParent = nullptr);

    void SetValues(const TrackMeterPair& pValues);
    const TrackMeterPair& Values() const { return values_; }
    /// The reference level in dB (-23 by default): above it the bars turn amber.
    void SetReferenceDb(double pDb);
    /// The y of the top of a bar showing pValue dB.
    int BarTop(int pValue) const;

    QSize sizeHint() const override { return { 21, 120 }; }
    QSize minimumSizeHint() const override { return { 21, 30 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    TrackMeterPair values_ { -kMeterFloorDb, -kMeterFloorDb };
    double referenceDb_ = -23.0;
};

} // namespace tarvok
