#include "gui/track_strip.h"

#include "app/main_logic.h"
#include "gui/frm_main.h"
#include "gui/strip_fader.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tarvok {

QString LevelText(const MainLogic& pLogic, int pLevel)
{
    const FadeTable& table = pLogic.Proj().Fades;
    if (pLevel <= 0 || pLevel > 255 || table[pLevel] <= 0.0f)
        return QStringLiteral("-∞db");
    return QString::asprintf("%04.1f", 20.0 * std::log10(table[pLevel])) + "db";
}

QString FaderText(const MainLogic& pLogic, int pLeft, int pRight)
{
    return LevelText(pLogic, pLeft) + " : " + LevelText(pLogic, pRight);
}

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
        c.Box->setFixedWidth(46);
        auto* v = new QVBoxLayout(c.Box);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(1);
        c.Number = new QPushButton(QString::number(t + 1), c.Box);
        c.Number->setObjectName(QStringLiteral("PictureTrNo%1").arg(t));
        c.Number->setFixedSize(40, 20);
        c.Number->setFocusPolicy(Qt::NoFocus);
        c.Number->installEventFilter(this);
        v->addWidget(c.Number);
        auto* switches = new QHBoxLayout;
        switches->setSpacing(0);
        c.Play = new QToolButton(c.Box);
        c.Play->setText(QStringLiteral("P"));
        c.Play->setToolTip(tr("再生"));
        c.Rec = new QToolButton(c.Box);
        c.Rec->setText(QStringLiteral("R"));
        c.Rec->setToolTip(tr("録音"));
        for (QToolButton* b : { c.Play, c.Rec }) {
            b->setCheckable(true);
            b->setFixedSize(20, 16);
            b->setFocusPolicy(Qt::NoFocus);
            switches->addWidget(b);
        }
        v->addLayout(switches);
        auto* faderRow = new QHBoxLayout;
        faderRow->setSpacing(1);
        c.Fader = new StripFader(logic_.Proj().UnityLevel, c.Box);
        faderRow->addWidget(c.Fader);
        c.Meter = new QFrame(c.Box);
        c.Meter->setFixedWidth(5);
        c.Meter->setFrameShape(QFrame::Panel);
        c.Meter->setFrameShadow(QFrame::Sunken);
        c.Meter->setAutoFillBackground(true);
        QPalette pal = c.Meter->palette();
        pal.setColor(QPalette::Window, QColor(30, 30, 30));
        c.Meter->setPalette(pal);
        faderRow->addWidget(c.Meter);
        v->addLayout(faderRow, 1);
        connect(c.Play, &QToolButton::toggled, this, [this, t](bool on) {
            if (t <= logic_.Proj().LastTrackNo)
                logic_.Proj().Tracks[t].PlaySelected = on ? 1 : 0;
            owner_.TrackControlsChanged();
        });
        connect(c.Rec, &QToolButton::toggled, this, [this, t](bool on) {
            if (t <= logic_.Proj().LastTrackNo)
                logic_.Proj().Tracks[t].RecSelected = on ? 1 : 0;
            owner_.TrackControlsChanged();
        });
        connect(c.Fader, &StripFader::Changed, this, [this, t](int l, int r, bool linked) {
            if (t > logic_.Proj().LastTrackNo)
                return;
            Track& track = logic_.Proj().Tracks[t];
            track.LevelL = l;
            track.LevelR = r;
            track.LevelLinked = linked ? 1 : 0;
            owner_.TrackControlsChanged();
            if (!logic_.Playing && !logic_.Recording)
                logic_.ShowMessage(
                    ("Track" + QString::number(t + 1) + " " + FaderText(logic_, l, r))
                        .toStdString());
        });
        connect(c.Fader, &StripFader::Hovered, this, [this, t] {
            if (t <= logic_.Proj().LastTrackNo && !logic_.Playing && !logic_.Recording) {
                const Track& track = logic_.Proj().Tracks[t];
                logic_.ShowMessage(("Track" + QString::number(t + 1) + " "
                    + FaderText(logic_, track.LevelL, track.LevelR))
                                       .toStdString());
            }
        });
        row->insertWidget(t, c.Box);
        columns_.push_back(c);
    }
    setMinimumWidth(Columns() * 50 + 8);
}

void TrackStrip::Refresh()
{
    const Project& p = logic_.Proj();
    Build(p.TrackCount());
    for (int t = 0; t < Columns(); ++t) {
        const Track& track = p.Tracks[t];
        Column& c = columns_[t];
        const QSignalBlocker b1(c.Play), b2(c.Rec);
        c.Play->setChecked(track.PlaySelected != 0);
        c.Rec->setChecked(track.RecSelected != 0);
        c.Fader->SetValues(track.LevelL, track.LevelR, track.LevelLinked != 0);
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
