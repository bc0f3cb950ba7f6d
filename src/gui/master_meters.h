#pragma once

#include "engine/level_meters.h"

#include <QWidget>

class QLabel;

namespace tarvok {

struct AppOptions;
class UC_Needle;
class UC_VVU;

/// The master section's meters: the readout ("RMS" or "Peak" and the two values, "-13 -07")
/// over the two bar meters MasterVU (PictureMVU, shown with "ShowMasterVU"), and the two
/// needle meters MasterMeter (PictureMMP, shown with "ShowMasterMeter"). A left click asks
/// to toggle between RMS and peak ("ShowRMS"). Fed once per TimerVU tick with the master
/// measurement.
class MasterMeters : public QWidget {
    Q_OBJECT
public:
    explicit MasterMeters(QWidget* pParent = nullptr);

    /// Shows the parts the options ask for and takes the bars' red point from VULevelTrim.
    void ApplyOptions(const AppOptions& pOptions);
    /// One tick: the bars get the RMS and peak in tenths of dB, the readout the shown
    /// values, the needles the RMS against the reference level. With pReset the bars are
    /// cleared and the readout shows the reading as it is (no signal: "-∞ -∞").
    void Show(const MasterReading& pReading, const MasterMeterSettings& pSettings, bool pShowRms,
        bool pReset);

    /// Scales the bars, the needles and the fonts of the readout by pRate.
    void ApplySizeRate(double pRate);

    QString Caption() const;
    QString Readout() const;
    UC_VVU* Bar(int pChannel) const { return bars_[pChannel]; }
    UC_Needle* Needle(int pChannel) const { return needles_[pChannel]; }

signals:
    /// A left click on the panel.
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    QWidget* vuPanel_ = nullptr;
    QWidget* needlePanel_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* readout_ = nullptr;
    UC_VVU* bars_[2] {};
    UC_Needle* needles_[2] {};
};

} // namespace tarvok
