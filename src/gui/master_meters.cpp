#include "gui/master_meters.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/shell/app_options.h"
#include "base/numeric.h"
#include "gui/controls/uc_needle.h"
#include "gui/controls/uc_vvu.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <cmath>

namespace tarvok {

namespace {

/// pFont grown by pRate, whether its size is given in points or in pixels.
QFont Scaled(QFont pFont, double pRate)
{
    if (pFont.pointSizeF() > 0)
        pFont.setPointSizeF(pFont.pointSizeF() * pRate);
    else if (pFont.pixelSize() > 0)
        pFont.setPixelSize(static_cast<int>(pFont.pixelSize() * pRate));
    return pFont;
}

} // namespace

MasterMeters::MasterMeters(QWidget* pParent)
    : QWidget(pParent)
{
    setObjectName(QStringLiteral("MasterMeters"));
    setToolTip(QTr("クリックで RMS 表示とピーク表示を切り替えます"));
    setAccessibleName(QTr("マスターメーター"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    vuPanel_ = new QWidget(this);
    vuPanel_->setObjectName(QStringLiteral("PictureMVU"));
    auto* column = new QVBoxLayout(vuPanel_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    caption_ = new QLabel(QStringLiteral("RMS"), vuPanel_);
    caption_->setAlignment(Qt::AlignCenter);
    QFont small = caption_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    caption_->setFont(small);
    readout_ = new QLabel(QStringLiteral("-∞ -∞"), vuPanel_);
    readout_->setObjectName(QStringLiteral("LabelMasterReadout"));
    readout_->setAlignment(Qt::AlignCenter);
    QFont bold = readout_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    readout_->setFont(bold);
    readout_->setMinimumWidth(
        readout_->fontMetrics().horizontalAdvance(QStringLiteral("-00 -00")) + 6);
    column->addWidget(caption_);
    column->addWidget(readout_);
    auto* barsRow = new QHBoxLayout;
    barsRow->setSpacing(3);
    barsRow->addStretch(1);
    for (int c = 0; c < 2; ++c) {
        bars_[c] = new UC_VVU(vuPanel_);
        bars_[c]->setObjectName(QStringLiteral("MasterVU%1").arg(c));
        bars_[c]->SetRange(-500, 0);
        bars_[c]->SetPeakDecRate(30);
        bars_[c]->SetPeakIndp(true);
        bars_[c]->setFixedWidth(10);
        SetAccessible(bars_[c],
            { .Role = QAccessible::Indicator,
                .DefaultName = c == 0 ? QTr("マスター L") : QTr("マスター R"),
                .ValueText = [bar = bars_[c]] {
                    return tr("%1 dB").arg(bar->ShownBar() / 10.0, 0, 'f', 1);
                } });
        barsRow->addWidget(bars_[c]);
    }
    barsRow->addStretch(1);
    column->addLayout(barsRow, 1);
    row->addWidget(vuPanel_);

    needlePanel_ = new QWidget(this);
    auto* needles = new QVBoxLayout(needlePanel_);
    needles->setContentsMargins(0, 0, 0, 0);
    needles->setSpacing(3);
    for (int c = 0; c < 2; ++c) {
        needles_[c] = new UC_Needle(needlePanel_);
        needles_[c]->setObjectName(QStringLiteral("MasterMeter%1").arg(c));
        needles_[c]->SetCaption(c == 0 ? QStringLiteral("L") : QStringLiteral("R"));
        needles_[c]->setFixedWidth(112);
        needles_[c]->setAccessibleName(c == 0 ? QTr("マスター VU L") : QTr("マスター VU R"));
        needles->addWidget(needles_[c]);
    }
    row->addWidget(needlePanel_);
}

void MasterMeters::ApplySizeRate(double pRate)
{
    for (QLabel* label : { caption_, readout_ })
        label->setFont(Scaled(label->font(), pRate));
    readout_->setMinimumWidth(
        readout_->fontMetrics().horizontalAdvance(QStringLiteral("-00 -00")) + 6);
    for (int c = 0; c < 2; ++c) {
        bars_[c]->setFixedWidth(static_cast<int>(10 * pRate));
        needles_[c]->setFixedWidth(static_cast<int>(112 * pRate));
    }
}

void MasterMeters::ApplyOptions(const AppOptions& pOptions)
{
    vuPanel_->setVisible(pOptions.ShowMasterVU == 1);
    needlePanel_->setVisible(pOptions.ShowMasterMeter == 1);
    const int red = static_cast<int>(RoundHalfEven(pOptions.VULevelTrim * 10.0));
    for (UC_VVU* bar : bars_)
        bar->SetRedPoint(red);
    caption_->setText(pOptions.ShowRMS == 1 ? QStringLiteral("RMS") : QStringLiteral("Peak"));
}

void MasterMeters::Show(
    const MasterReading& pReading, const MasterMeterSettings& pSettings, bool pShowRms, bool pReset)
{
    for (int c = 0; c < 2; ++c) {
        if (pReset)
            bars_[c]->ClearVU();
        else
            bars_[c]->DrawVU(static_cast<int>(RoundHalfEven(pReading.RmsDb[c] * 10.0)),
                static_cast<int>(RoundHalfEven(pReading.PeakDb[c] * 10.0)));
        needles_[c]->Draw(pReset ? 0.0 : NeedleValue(pReading.RmsLin[c], pSettings));
    }
    caption_->setText(pShowRms ? QStringLiteral("RMS") : QStringLiteral("Peak"));
    const auto& shown = pShowRms ? pReading.RmsDb : pReading.PeakDb;
    readout_->setText(QString::fromStdString(MasterReadoutText(shown[0], shown[1])));
}

QString MasterMeters::Caption() const { return caption_->text(); }
QString MasterMeters::Readout() const { return readout_->text(); }

void MasterMeters::mousePressEvent(QMouseEvent* pEvent) { pEvent->accept(); }

void MasterMeters::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton)
        emit Clicked();
}

} // namespace tarvok
