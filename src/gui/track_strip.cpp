#include "gui/track_strip.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "app/windows/main_view.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "gui/controls/uc_fader.h"
#include "gui/controls/uc_io_selector.h"
#include "gui/controls/uc_track_vu.h"
#include "gui/frm_main.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
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
        c.Box->setFixedWidth(70);
        auto* v = new QVBoxLayout(c.Box);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(1);
        c.Number = new QPushButton(QString::number(t + 1), c.Box);
        c.Number->setObjectName(QStringLiteral("PictureTrNo%1").arg(t));
        c.Number->setFixedSize(40, 20);
        c.Number->setFocusPolicy(Qt::NoFocus);
        c.Number->installEventFilter(this);
        c.Number->setAccessibleName(QTr("トラック %1").arg(t + 1));
        v->addWidget(c.Number);
        c.Selector = new UC_IOSelector(c.Box);
        c.Selector->setAccessibleName(QTr("トラック %1 の入出力").arg(t + 1));
        v->addWidget(c.Selector);
        auto* faderRow = new QHBoxLayout;
        faderRow->setSpacing(1);
        c.Fader = new UC_Fader(c.Box);
        c.Fader->SetFadeTable(logic_.Proj().Fades, logic_.Proj().UnityLevel);
        c.Fader->SetScaleVisible(false);
        c.Fader->setAccessibleName(QTr("トラック %1 のフェーダー").arg(t + 1));
        faderRow->addWidget(c.Fader);
        c.Meter = new UC_TrackVU(c.Box);
        c.Meter->setObjectName(QStringLiteral("TrackVU%1").arg(t));
        c.Meter->SetReferenceDb(referenceDb_);
        c.Meter->setAccessibleName(QTr("トラック %1 のメーター").arg(t + 1));
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
            if (t > logic_.Proj().LastTrackNo
                || !ToggleRecArm(logic_.Proj(), t, InputSlots(), logic_.Recording))
                return;
            // Arming may have disarmed other tracks on the same input.
            for (int k = 0; k < Columns(); ++k)
                RefreshColumn(k);
            owner_.TrackControlsChanged();
        });
        connect(
            c.Selector, &UC_IOSelector::InputMenuRequested, this, [this, t](const QPoint& pGlobal) {
                if (std::unique_ptr<QMenu> menu = InputMenu(t))
                    menu->exec(pGlobal);
            });
        connect(c.Selector, &UC_IOSelector::OutputMenuRequested, this,
            [this, t](const QPoint& pGlobal) {
                if (std::unique_ptr<QMenu> menu = OutputMenu(t))
                    menu->exec(pGlobal);
            });
        auto store = [this, t](int l, int r) {
            if (t > logic_.Proj().LastTrackNo)
                return;
            Track& track = logic_.Proj().Tracks[t];
            const int deltaL = l - track.LevelL;
            const int deltaR = r - track.LevelR;
            track.LevelL = l;
            track.LevelR = r;
            track.LevelLinked = columns_[t].Fader->Linked() ? 1 : 0;
            if (columns_[t].Fader->ActionModifiers() & Qt::AltModifier)
                GangFaders(t, deltaL, deltaR);
            owner_.TrackControlsChanged();
            if (!logic_.Playing && !logic_.Recording)
                logic_.ShowMessage(
                    ("Track" + QString::number(t + 1) + " " + columns_[t].Fader->FaderText())
                        .toStdString());
        };
        connect(c.Fader, &UC_Fader::LevelsChanged, this, store);
        connect(c.Fader, &UC_Fader::Released, this, store);
        connect(c.Fader, &UC_Fader::LinkChanged, this, [this, t](bool pLinked) {
            if (t > logic_.Proj().LastTrackNo)
                return;
            logic_.Proj().Tracks[t].LevelLinked = pLinked ? 1 : 0;
            // With Alt every fader takes the same link switch.
            if (columns_[t].Fader->ActionModifiers() & Qt::AltModifier) {
                CopyTrackLink(logic_.Proj(), t);
                for (int o = 0; o < Columns() && o <= logic_.Proj().LastTrackNo; ++o)
                    columns_[o].Fader->SetLinked(pLinked);
            }
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
    setMinimumWidth(Columns() * 74 + 8);
}

void TrackStrip::GangFaders(int pTrack, int pDeltaL, int pDeltaR)
{
    Project& p = logic_.Proj();
    // An Alt double click sends every fader to unity; an Alt move moves them all alike.
    if (columns_[pTrack].Fader->ResettingToUnity())
        AllTracksToUnity(p);
    else
        GangTrackLevels(p, pTrack, pDeltaL, pDeltaR);
    for (int t = 0; t < Columns() && t <= p.LastTrackNo; ++t)
        if (t != pTrack)
            columns_[t].Fader->SetLevels(p.Tracks[t].LevelL, p.Tracks[t].LevelR);
}

std::array<int32_t, 8> TrackStrip::InputSlots() const
{
    if (const PlaybackEngine* e = owner_.Engine())
        return e->InputEnabled();
    std::array<int32_t, 8> all {};
    all.fill(1);
    return all;
}

std::array<int32_t, 8> TrackStrip::OutputSlots() const
{
    if (const PlaybackEngine* e = owner_.Engine())
        return e->OutputEnabled();
    std::array<int32_t, 8> all {};
    all.fill(1);
    return all;
}

void TrackStrip::RefreshColumn(int pTrack)
{
    const Project& p = logic_.Proj();
    if (pTrack < 0 || pTrack >= Columns() || pTrack > p.LastTrackNo)
        return;
    const Track& track = p.Tracks[pTrack];
    UC_IOSelector* s = columns_[pTrack].Selector;
    const int32_t inSlot = RecChSlot(track.RecCh);
    s->SetInputAvailable(inSlot >= 0 && InputSlots()[inSlot] != 0);
    s->SetOutputAvailable(
        track.PlayCh >= 0 && track.PlayCh < 8 && OutputSlots()[track.PlayCh] != 0);
    s->SetInput(track.RecCh, track.RecSelected != 0);
    s->SetOutput(track.PlayCh, track.PlaySelected != 0);
}

std::unique_ptr<QMenu> TrackStrip::InputMenu(int pTrack)
{
    if (logic_.Recording || pTrack < 0 || pTrack > logic_.Proj().LastTrackNo)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("MenuRecCh"));
    const std::array<int32_t, 8> enabled = InputSlots();
    const int32_t current = logic_.Proj().Tracks[pTrack].RecCh;
    for (int32_t i = 0; i < 24; ++i) {
        const int32_t recCh = RecChOfMenuItem(i);
        QAction* a = menu->addAction(UC_IOSelector::InputText(recCh));
        a->setObjectName(QStringLiteral("MenuRecCh%1").arg(i));
        a->setCheckable(true);
        a->setChecked(recCh == current);
        a->setVisible(RecChMenuItemVisible(i, enabled));
        if (i == 7)
            menu->addSeparator();
        connect(a, &QAction::triggered, this, [this, pTrack, i] {
            if (pTrack > logic_.Proj().LastTrackNo
                || !ChooseRecInput(logic_.Proj(), pTrack, i, InputSlots(), logic_.Recording))
                return;
            for (int k = 0; k < Columns(); ++k)
                RefreshColumn(k);
            owner_.TrackControlsChanged();
        });
    }
    return menu;
}

std::unique_ptr<QMenu> TrackStrip::OutputMenu(int pTrack)
{
    if (logic_.Recording || logic_.Playing || pTrack < 0 || pTrack > logic_.Proj().LastTrackNo)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("MenuPlayCh"));
    const std::array<int32_t, 8> enabled = OutputSlots();
    const int32_t current = logic_.Proj().Tracks[pTrack].PlayCh;
    for (int32_t k = 0; k < 8; ++k) {
        QAction* a = menu->addAction(UC_IOSelector::OutputText(k));
        a->setObjectName(QStringLiteral("MenuPlayCh%1").arg(k));
        a->setCheckable(true);
        a->setChecked(k == current);
        a->setVisible(enabled[k] != 0);
        connect(a, &QAction::triggered, this, [this, pTrack, k] {
            if (pTrack > logic_.Proj().LastTrackNo || logic_.Recording || logic_.Playing)
                return;
            logic_.Proj().Tracks[pTrack].PlayCh = k;
            RefreshColumn(pTrack);
            owner_.TrackControlsChanged();
        });
    }
    return menu;
}

void TrackStrip::Refresh()
{
    Project& p = logic_.Proj();
    Build(p.TrackCount());
    const bool devices = owner_.Engine() != nullptr;
    for (int t = 0; t < Columns(); ++t) {
        Track& track = p.Tracks[t];
        Column& c = columns_[t];
        // A track routed to a slot without a device neither plays nor records.
        if (devices && !logic_.Playing && !logic_.Recording) {
            const int32_t inSlot = RecChSlot(track.RecCh);
            if (inSlot < 0 || !InputSlots()[inSlot])
                track.RecSelected = 0;
            if (track.PlayCh < 0 || track.PlayCh >= 8 || !OutputSlots()[track.PlayCh])
                track.PlaySelected = 0;
        }
        RefreshColumn(t);
        c.Fader->SetFadeTable(p.Fades, p.UnityLevel);
        c.Fader->SetLevels(track.LevelL, track.LevelR);
        c.Fader->SetLinked(track.LevelLinked != 0);
        c.Meter->SetValues({ -kMeterFloorDb, -kMeterFloorDb });
        c.Number->setDown(false);
        QFont f = c.Number->font();
        f.setBold(t == p.CurrentTrack);
        c.Number->setFont(f);
    }
}

UC_IOSelector* TrackStrip::Selector(int pTrack) const
{
    return pTrack >= 0 && pTrack < Columns() ? columns_[pTrack].Selector : nullptr;
}

UC_TrackVU* TrackStrip::Meter(int pTrack) const
{
    return pTrack >= 0 && pTrack < Columns() ? columns_[pTrack].Meter : nullptr;
}

UC_Fader* TrackStrip::Fader(int pTrack) const
{
    return pTrack >= 0 && pTrack < Columns() ? columns_[pTrack].Fader : nullptr;
}

void TrackStrip::ShowMeters(const std::vector<TrackMeterPair>& pMeters)
{
    for (int t = 0; t < Columns() && t < static_cast<int>(pMeters.size()); ++t)
        columns_[t].Meter->SetValues(pMeters[t]);
}

void TrackStrip::SetMeterReference(double pDb)
{
    referenceDb_ = pDb;
    for (Column& c : columns_)
        c.Meter->SetReferenceDb(pDb);
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
