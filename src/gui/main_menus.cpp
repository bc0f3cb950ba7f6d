#include "gui/main_menus.h"
#include "gui/gui_text.h"

#include "app/commands/command_table.h"
#include "core/command_ids.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace tarvok {

namespace {

QString Description(int32_t pCommand)
{
    return QString::fromUtf8(GetCommandText(pCommand, kCommandDescription).data());
}

constexpr int32_t kTrackCounts[] = { 0, 1, 2, 3, 7, 15, 23 };

} // namespace

std::vector<int32_t> TrackDisplayCounts(int32_t pLastTrack)
{
    std::vector<int32_t> counts { pLastTrack };
    counts.insert(counts.end(), std::begin(kTrackCounts), std::end(kTrackCounts));
    return counts;
}

MainMenus::MainMenus(QMenuBar* pBar, Handlers pHandlers, QObject* pParent)
    : QObject(pParent)
    , bar_(pBar)
    , handlers_(std::move(pHandlers))
{
    file_ = AddHeading(QTr("ファイル(&F)"));
    AddCommands(file_, kCmdOpensound, kCmdRipcd);
    file_->addSeparator();
    AddCommands(file_, kCmdOpenprj, kCmdCleanup);
    file_->addSeparator();
    AddCommands(file_, kCmdCloseprj, kCmdCloseprj);
    recentSeparator_ = file_->addSeparator();
    recent_ = file_->addMenu(QTr("最近使ったファイル"));
    recent_->setObjectName(QStringLiteral("MenuMRUP"));
    file_->addSeparator();
    QAction* exit = file_->addAction(QTr("終了(&X)"));
    connect(exit, &QAction::triggered, this, [this] { handlers_.Exit(); });

    edit_ = AddHeading(QTr("編集(&E)"));
    AddCommands(edit_, kCmdErase, kCmdSelall);
    edit_->addSeparator();
    AddCommands(edit_, kCmdUndo, kCmdRedo);
    history_ = edit_->addMenu(QTr("履歴"));
    history_->setObjectName(QStringLiteral("MenuUndoHistory"));
    history_->setEnabled(false);
    edit_->addSeparator();
    AddCommands(edit_, kCmdSampleedit, kCmdSampleedit);

    QMenu* play = AddHeading(QTr("再生"));
    AddCommands(play, kCmdPlaySelected, kCmdPlayFromout);
    play->addSeparator();
    monitor_ = play->addAction(QTr("録音モニター(&M)..."));
    monitor_->setObjectName(QStringLiteral("MenuRecMonitor"));
    connect(monitor_, &QAction::triggered, this, [this] {
        if (handlers_.Monitor)
            handlers_.Monitor();
    });
    QMenu* marks = AddHeading(QTr("マーク/ヘッド移動"));
    AddCommands(marks, kCmdMarkinClick, kCmdMarkinSet);
    marks->addSeparator();
    AddCommands(marks, kCmdMarkoutClick, kCmdMarkoutSet);
    marks->addSeparator();
    AddCommands(marks, kCmdHeadMarkin, kCmdHeadRwd);
    AddCommands(AddHeading(QTr("ブロック")), kCmdBlockDelete, kCmdBlockGroup);
    AddCommands(AddHeading(QTr("トラック")), kCmdTrackName, kCmdTrackSave);
    QMenu* fade = AddHeading(QTr("フェード"));
    AddCommands(fade, kCmdFadeIn, kCmdFadeMerge);
    fade->addSeparator();
    const QString channels[2] = { QStringLiteral("Lch"), QStringLiteral("Rch") };
    for (int i = 0; i < 2; ++i) {
        fadeOn_[i] = fade->addAction(channels[i]);
        fadeOn_[i]->setObjectName(QStringLiteral("MenuFadeOn%1").arg(i));
        fadeOn_[i]->setCheckable(true);
        connect(fadeOn_[i], &QAction::triggered, this, [this, i] {
            if (handlers_.FadeChannel)
                TickFadeChannels(handlers_.FadeChannel(i));
        });
    }
    connect(fade, &QMenu::aboutToShow, this, [this] {
        if (handlers_.FadeChannel)
            TickFadeChannels(handlers_.FadeChannel(-1));
    });
    TickFadeChannels(handlers_.FadeChannel ? handlers_.FadeChannel(-1) : 3);
    AddCommands(AddHeading(QTr("エフェクト")), kCmdFxDelay, kCmdFxAmplify);
    AddCommands(AddHeading(QTr("ステレオエフェクト")), kCmdFxPhaseOut, kCmdFxVocal);

    tracks_ = AddHeading(QTr("表示トラック(&T)"));
    tracks_->setObjectName(QStringLiteral("MenuTrackDisp"));
    tracksGroup_ = new QActionGroup(this);
    const QString labels[] = { QTr("全て"), QStringLiteral("1"), QStringLiteral("2"),
        QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("8"), QStringLiteral("16"),
        QStringLiteral("24") };
    for (int i = 0; i < 8; ++i) {
        QAction* a = tracks_->addAction(labels[i]);
        a->setCheckable(true);
        tracksGroup_->addAction(a);
        connect(a, &QAction::triggered, this,
            [this, i] { handlers_.ShowTracks(i == 0 ? -1 : kTrackCounts[i - 1]); });
    }

    settings_ = AddHeading(QTr("設定(&C)"));
    QAction* conf = settings_->addAction(QTr("設定(&S)..."));
    connect(conf, &QAction::triggered, this, [this] { handlers_.Settings(); });
    toolbar_ = settings_->addAction(QTr("ツールバー表示"));
    toolbar_->setCheckable(true);
    connect(toolbar_, &QAction::triggered, this, [this] { handlers_.ToggleToolbar(); });

    QMenu* help = AddHeading(QTr("ヘルプ(&H)"));
    QAction* about = help->addAction(QTr("情報"));
    connect(about, &QAction::triggered, this, [this] { handlers_.About(); });
}

QMenu* MainMenus::AddHeading(const QString& pTitle)
{
    QMenu* menu = bar_->addMenu(pTitle);
    headings_[pTitle] = menu;
    return menu;
}

QMenu* MainMenus::Heading(const QString& pTitle) const
{
    auto it = headings_.find(pTitle);
    return it == headings_.end() ? nullptr : it->second;
}

void MainMenus::AddCommands(QMenu* pMenu, int32_t pFirst, int32_t pLast)
{
    for (int32_t c = pFirst; c <= pLast; ++c) {
        QAction* a = pMenu->addAction(Description(c));
        a->setObjectName(QString::fromUtf8(GetCommandText(c, kCommandIdColumn).data()));
        a->setData(c);
        connect(a, &QAction::triggered, this, [this, c] { handlers_.RunCommand(c); });
        commands_[c] = a;
    }
}

void MainMenus::ShowUndoSteps(const std::string& pUndo, const std::string& pRedo,
    const std::vector<std::string>& pHistory, bool pEnabled)
{
    auto caption = [](int32_t pCommand, const std::string& pName) {
        return pName.empty()
            ? Description(pCommand)
            : Description(pCommand) + QStringLiteral(": ") + QString::fromStdString(pName);
    };
    if (QAction* undo = Command(kCmdUndo))
        undo->setText(caption(kCmdUndo, pUndo));
    if (QAction* redo = Command(kCmdRedo))
        redo->setText(caption(kCmdRedo, pRedo));
    // The item being triggered may be the one replaced here: it goes once its signal ends.
    for (QAction* old : history_->actions()) {
        history_->removeAction(old);
        old->deleteLater();
    }
    for (size_t i = 0; i < pHistory.size(); ++i) {
        const int steps = static_cast<int>(i) + 1;
        QAction* a = history_->addAction(QString::fromStdString(pHistory[i]));
        a->setData(steps);
        connect(a, &QAction::triggered, this, [this, steps] {
            if (handlers_.UndoSteps)
                handlers_.UndoSteps(steps);
        });
    }
    history_->setEnabled(pEnabled && !pHistory.empty());
}

QAction* MainMenus::Command(int32_t pCommand) const
{
    auto it = commands_.find(pCommand);
    return it == commands_.end() ? nullptr : it->second;
}

void MainMenus::ShowKeys(const KeyAssignment& pKeys)
{
    for (const auto& [command, action] : commands_) {
        action->setShortcut(
            QKeySequence::fromString(QString::fromStdString(KeyTextOfCommand(command, pKeys))));
        action->setShortcutContext(Qt::WidgetShortcut);
    }
}

void MainMenus::EnableMenus(bool pOn)
{
    for (const QString& title : { QTr("ファイル(&F)"), QTr("ブロック"), QTr("トラック"),
             QTr("フェード"), QTr("エフェクト"), QTr("ステレオエフェクト") })
        if (QMenu* m = Heading(title))
            m->setEnabled(pOn);
    settings_->setEnabled(pOn);
    for (int32_t c = kCmdErase; c <= kCmdRedo; ++c)
        Command(c)->setEnabled(pOn);
    Command(kCmdSampleedit)->setEnabled(pOn);
}

void MainMenus::TickFadeChannels(int32_t pChannels)
{
    for (int i = 0; i < 2; ++i)
        fadeOn_[i]->setChecked((pChannels & (1 << i)) != 0);
}

void MainMenus::TickTracks(int32_t pCount, int32_t pLastTrack)
{
    const QList<QAction*> items = tracksGroup_->actions();
    int tick = 0;
    for (int i = 0; i < 7; ++i)
        if (kTrackCounts[i] == pCount)
            tick = i + 1;
    (void)pLastTrack;
    items[tick]->setChecked(true);
}

void MainMenus::ShowRecent(const std::vector<std::string>& pPaths, bool pShow)
{
    recent_->clear();
    for (size_t i = 0; i < pPaths.size(); ++i) {
        QAction* a = recent_->addAction(QString::fromStdString(pPaths[i]));
        a->setObjectName(QStringLiteral("MenuMRU%1").arg(i));
        const int index = static_cast<int>(i);
        connect(a, &QAction::triggered, this, [this, index] { handlers_.OpenRecent(index); });
    }
    const bool visible = pShow && !pPaths.empty();
    recent_->menuAction()->setVisible(visible);
    recentSeparator_->setVisible(visible);
}

} // namespace tarvok
