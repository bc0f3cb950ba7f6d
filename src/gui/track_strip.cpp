#include "gui/track_strip.h"

#include "app/main_logic.h"
#include "gui/controls/uc_fader.h"
#include "gui/controls/uc_io_selector.h"
#include "gui/controls/uc_vvu.h"
#include "gui/frm_main.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvok {

TrackStrip::TrackStrip(FrmMain& pOwner, MainLogic& pLogic, QWidget* pParent)
    : QWidget(pParent)
    , owner_(pOwner)
    , logic_(pLogic)
{
    setObjectName(QStringLiteral("PictureTrCtrl"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addStretch(1);
}

QPushButton* TrackStrip::NumberButton(int pTrack) const
{
    return pTrack >= 0 && pTrack < Columns() ? columns_[pTrack].Number : nullptr;
}

void TrackStrip::Build(int pCount)
{
    auto* row = static_cast<QHBoxLayout*>(layout());
    while (Columns() > pCount) {
        delete columns_.back().Box;
        columns_.pop_back();
    }
    while (Columns() < pCount) {
        const int t = Columns();
        Column c;
        c.Box = new QWidget(this);
        c.Box->setFixedWidth(52);
        auto* v = new QVBoxLayout(c.Box);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(1);
        c.Number = new QPushButton(QString::number(t + 1), c.Box);
        c.Number->setObjectName(QStringLiteral("PictureTrNo%1").arg(t));
        c.Number->setFixedSize(40, 20);
        c.Number->setFocusPolicy(Qt::NoFocus);
        c.Number->installEventFilter(this);
        v->addWidget(c.Number);
        c.Selector = new UC_IOSelector(c.Box);
        v->addWidget(c.Selector);
        auto* faderRow = new QHBoxLayout;
        faderRow->setSpacing(1);
        c.Fader = new UC_Fader(c.Box);
        c.Fader->SetFadeTable(logic_.Proj().Fades, logic_.Proj().UnityLevel);
        c.Fader->SetScaleVisible(false);
        faderRow->addWidget(c.Fader);
        c.Meter = new UC_VVU(c.Box);
        c.Meter->SetRange(-500, 0);
        c.Meter->SetRedPoint(-30);
        c.Meter->setFixedWidth(6);
        faderRow->addWidget(c.Meter);
        v->addLayout(faderRow, 1);
        connect(c.Selector, &UC_IOSelector::OutputToggled, this, [this, t] {
            if (t > logic_.Proj().LastTrackNo)
                return;
            Track& track = logic_.Proj().Tracks[t];
            track.PlaySelected = track.PlaySelected != 0 ? 0 : 1;
            columns_[t].Selector->SetOutput(track.PlayCh, track.PlaySelected != 0);
            owner_.TrackControlsChanged();
        });
        connect(c.Selector, &UC_IOSelector::InputToggled, this, [this, t] {
            if (t > logic_.Proj().LastTrackNo || logic_.Recording)
                return;
            Track& track = logic_.Proj().Tracks[t];
            track.RecSelected = track.RecSelected != 0 ? 0 : 1;
            columns_[t].Selector->SetInput(track.RecCh, track.RecSelected != 0);
            owner_.TrackControlsChanged();
        });
        auto store = [this, t](int l, int r) {
            if (t > logic_.Proj().LastTrackNo)
                return;
            Track& track = logic_.Proj().Tracks[t];
            track.LevelL = l;
            track.LevelR = r;
            track.LevelLinked = columns_[t].Fader->Linked() ? 1 : 0;
            owner_.TrackControlsChanged();
            if (!logic_.Playing && !logic_.Recording)
                logic_.ShowMessage(
                    ("Track" + QString::number(t + 1) + " " + columns_[t].Fader->FaderText())
                        .toStdString());
        };
        connect(c.Fader, &UC_Fader::LevelsChanged, this, store);
        connect(c.Fader, &UC_Fader::Released, this, store);
        connect(c.Fader, &UC_Fader::LinkChanged, this, [this, t](bool pLinked) {
            if (t <= logic_.Proj().LastTrackNo)
                logic_.Proj().Tracks[t].LevelLinked = pLinked ? 1 : 0;
        });
        connect(c.Fader, &UC_Fader::Hovered, this, [this, t] {
            if (t <= logic_.Proj().LastTrackNo && !logic_.Playing && !logic_.Recording)
                logic_.ShowMessage(
                    ("Track" + QString::number(t + 1) + " " + columns_[t].Fader->FaderText())
                        .toStdString());
        });
        row->insertWidget(t, c.Box);
        columns_.push_back(c);
    }
    setMinimumWidth(Columns() * 56 + 8);
}

void TrackStrip::Refresh()
{
    const Project& p = logic_.Proj();
    Build(p.TrackCount());
    for (int t = 0; t < Columns(); ++t) {
        const Track& track = p.Tracks[t];
        Column& c = columns_[t];
        c.Selector->SetInput(track.RecCh, track.RecSelected != 0);
        c.Selector->SetOutput(track.PlayCh, track.PlaySelected != 0);
        c.Fader->SetFadeTable(p.Fades, p.UnityLevel);
        c.Fader->SetLevels(track.LevelL, track.LevelR);
        c.Fader->SetLinked(track.LevelLinked != 0);
        c.Meter->ClearVU();
        c.Number->setDown(false);
        QFont f = c.Number->font();
        f.setBold(t == p.CurrentTrack);
        c.Number->setFont(f);
    }
}

bool TrackStrip::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(pEvent);
        for (int t = 0; t < Columns(); ++t) {
            if (pObject != columns_[t].Number)
                continue;
            if (mouse->button() == Qt::LeftButton)
                owner_.TrackNumberClicked(t, false);
            else if (mouse->button() == Qt::RightButton)
                owner_.TrackNumberClicked(t, true);
        }
    }
    return QWidget::eventFilter(pObject, pEvent);
}

} // namespace tarvok
