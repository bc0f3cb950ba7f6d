#include "gui/frm_main.h"
#include "gui/gui_text.h"

#include "app/commands/command_dispatch.h"
#include "app/commands/fade_commands.h"
#include "app/shell/file_copy.h"
#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "base/i18n.h"
#include "core/command_ids.h"
#include "core/file_io.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "gui/bottom_row.h"
#include "gui/controls/uc_fader.h"
#include "gui/controls/uc_file_hand.h"
#include "gui/dialogs/dialog_commands.h"
#include "gui/dialogs/frm_mon.h"
#include "gui/dialogs/frm_rip.h"
#include "gui/dialogs/window_registry.h"
#include "gui/instance_channel.h"
#include "gui/main_menus.h"
#include "gui/master_meters.h"
#include "gui/mixer_launcher.h"
#include "gui/qt_ui.h"
#include "gui/time_scale.h"
#include "gui/track_area.h"
#include "gui/track_strip.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

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

QString Q(std::string_view pText)
{
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

/// The command-table key of a Qt key event.
CommandKey KeyOf(const QKeyEvent* pEvent)
{
    const int key = pEvent->key();
    const bool keypad = (pEvent->modifiers() & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<CommandKey>(static_cast<int>(CommandKey::F1) + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Escape:
        return CommandKey::Escape;
    case Qt::Key_Space:
        return CommandKey::Space;
    case Qt::Key_Home:
        return CommandKey::Home;
    case Qt::Key_Left:
        return CommandKey::Left;
    case Qt::Key_Right:
        return CommandKey::Right;
    case Qt::Key_Up:
        return CommandKey::Up;
    case Qt::Key_Down:
        return CommandKey::Down;
    case Qt::Key_J:
        return CommandKey::J;
    case Qt::Key_A:
    case Qt::Key_C:
    case Qt::Key_N:
    case Qt::Key_O:
    case Qt::Key_S:
    case Qt::Key_V:
    case Qt::Key_X:
    case Qt::Key_Y:
    case Qt::Key_Z:
        // Letters count only with Ctrl: typed alone they run nothing.
        return (pEvent->modifiers() & Qt::ControlModifier) != 0
            ? static_cast<CommandKey>(key - Qt::Key_A + static_cast<int>(CommandKey::A))
            : CommandKey::None;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return keypad ? CommandKey::KeypadPlus : CommandKey::Plus;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return keypad ? CommandKey::KeypadMinus : CommandKey::Minus;
    default:
        return CommandKey::None;
    }
}

int ModifierState(Qt::KeyboardModifiers pMods)
{
    return (pMods & Qt::ShiftModifier ? kModShift : 0)
        | (pMods & Qt::ControlModifier ? kModCtrl : 0) | (pMods & Qt::AltModifier ? kModAlt : 0);
}

constexpr int kBottomBoxHeight = 196;
/// The least size of the window at display size 1.
constexpr int kMinWidth = 922;
constexpr int kMinHeight = 695;

/// The display size factor of a "SizeRate" text: held to 0.7..3.0, 1 when it is no number.
double SizeRateOf(const std::string& pText)
{
    bool ok = false;
    const double rate = QString::fromStdString(pText).trimmed().toDouble(&ok);
    return ok ? std::clamp(rate, 0.7, 3.0) : 1.0;
}

/// Window geometry settings are twips; the window works in device-independent pixels.
int32_t ToTwips(int pPixels) { return pPixels * kTwipsPerPixel; }
int ToPixels(int32_t pTwips) { return pTwips / kTwipsPerPixel; }

} // namespace

FrmMain::FrmMain(GuiContext& pContext, QtUserInterface& pUi, QWidget* pParent)
    : QMainWindow(pParent)
    , ctx_(pContext)
    , ui_(pUi)
    , view_(pContext.Logic)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("tarvok2"));
    setMinimumSize(kMinWidth, kMinHeight);
    ui_.SetWindow(this);
    ui_.SetTimeProject(&pContext.Logic.Proj());
    connect(&ui_, &QtUserInterface::MessageShown, this, [this](const QString& pText, int pPercent) {
        bottom_->SetMessage(pText, pPercent);
        ShowCopyControl(pText, pPercent);
    });
    connect(&ui_, &QtUserInterface::RedrawRequested, this, &FrmMain::OnRedraw);
    ctx_.Logic.WindowHandler
        = [this](int32_t pId, int32_t pLevel) { return HandleWindowCommand(pId, pLevel); };
    ctx_.Logic.ShowRecordingMonitor = [this] { OpenMonitor(); };
    ctx_.Logic.CopyProgressShown = true;
    BuildLayout();
    BuildMenus();
    fileHand_ = new UC_FileHand(this);
    fileHand_->setObjectName(QStringLiteral("FH1"));
    fileHand_->Init(0);
    fileHand_->resize(fileHand_->sizeHint());
    fileHand_->hide();
    connect(
        fileHand_, &UC_FileHand::CancelClicked, this, [this] { ctx_.Logic.CancelRequest = true; });
    timerProg_.setInterval(50);
    timerVU_.setInterval(50);
    connect(&timerProg_, &QTimer::timeout, this, &FrmMain::TimerProgTick);
    connect(&timerVU_, &QTimer::timeout, this, &FrmMain::TimerVUTick);
    qApp->installEventFilter(this);
}

FrmMain::~FrmMain()
{
    qApp->removeEventFilter(this);
    delete monitor_.data();
    ctx_.Logic.WindowHandler = nullptr;
    ctx_.Logic.ShowRecordingMonitor = nullptr;
    ctx_.Logic.CopyProgressShown = false;
    ui_.SetWindow(nullptr);
    ui_.SetTimeProject(nullptr);
}

void FrmMain::BuildLayout()
{
    toolbar_ = addToolBar(QTr("ツールバー"));
    if (auto* more = toolbar_->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QTr("ツールバーの残りのボタン"));
    toolbar_->setObjectName(QStringLiteral("ToolButtons"));
    toolbar_->setMovable(false);
    toolbar_->setVisible(false);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(4);

    column->addLayout(BuildTrackArea(*central), 1);

    slider_ = new QScrollBar(Qt::Horizontal, central);
    slider_->setObjectName(QStringLiteral("HScrollAddr"));
    slider_->setAccessibleName(QTr("表示位置"));
    slider_->setRange(0, kHSliderMax);
    slider_->setPageStep(500);
    connect(slider_, &QScrollBar::valueChanged, this, [this](int v) {
        if (view_.SetSlider(v))
            DrawAll();
    });
    column->addWidget(slider_);

    column->addWidget(BuildBottomBox(*central));
    setCentralWidget(central);
    // The Cancel button beside the progress bar stops the running operation after its
    // current chunk.
    connect(bottom_, &BottomRow::CancelClicked, this, [this] { ctx_.Logic.CancelRequest = true; });
}

/// The track area, time scale and head strip, with the vertical bar at their right.
QHBoxLayout* FrmMain::BuildTrackArea(QWidget& pCentral)
{
    MainLogic& logic = ctx_.Logic;
    auto* all = new QHBoxLayout;
    all->setSpacing(3);
    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    auto* container = new QFrame(&pCentral);
    container->setObjectName(QStringLiteral("PictureConta"));
    container->setFrameShape(QFrame::Panel);
    container->setFrameShadow(QFrame::Sunken);
    container->setLineWidth(1);
    auto* inner = new QVBoxLayout(container);
    inner->setContentsMargins(1, 1, 1, 1);
    tracks_ = new TrackArea(*this, logic, view_, container);
    inner->addWidget(tracks_);
    left->addWidget(container, 1);
    scale_ = new TimeScale(*this, logic, view_, &pCentral);
    left->addWidget(scale_);
    all->addLayout(left, 1);
    vbar_ = new QScrollBar(Qt::Vertical, &pCentral);
    vbar_->setObjectName(QStringLiteral("VScrollTrack"));
    vbar_->setAccessibleName(QTr("トラックのスクロール"));
    vbar_->setRange(0, 1000);
    vbar_->setPageStep(100);
    connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) {
        if (view_.SetVerticalBar(-v))
            DrawAll();
    });
    all->addWidget(vbar_);
    return all;
}

/// The bottom row, the master fader and meters, and the track strip.
QWidget* FrmMain::BuildBottomBox(QWidget& pCentral)
{
    MainLogic& logic = ctx_.Logic;
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom_ = new BottomRow(*this, &pCentral);
    bottom->addWidget(bottom_, 3);
    master_ = new UC_Fader(&pCentral);
    master_->setObjectName(QStringLiteral("MasterFader"));
    master_->setToolTip(QTr("マスター"));
    master_->setAccessibleName(QTr("マスターフェーダー"));
    master_->SetFadeTable(logic.Proj().Fades, logic.Proj().UnityLevel);
    auto storeMaster = [this](int l, int r) {
        Project& p = ctx_.Logic.Proj();
        p.MasterLevelL = l;
        p.MasterLevelR = r;
        if (ctx_.Engine)
            ctx_.Engine->MarkCacheDirty();
        if (!ctx_.Logic.Playing && !ctx_.Logic.Recording)
            ctx_.Logic.ShowMessage(("Master " + master_->FaderText()).toStdString());
    };
    connect(master_, &UC_Fader::LevelsChanged, this, storeMaster);
    connect(master_, &UC_Fader::Released, this, storeMaster);
    connect(master_, &UC_Fader::Hovered, this, [this] {
        if (!ctx_.Logic.Playing && !ctx_.Logic.Recording)
            ctx_.Logic.ShowMessage(("Master " + master_->FaderText()).toStdString());
    });
    bottom->addWidget(master_);
    masterMeters_ = new MasterMeters(&pCentral);
    connect(masterMeters_, &MasterMeters::Clicked, this, [this] {
        AppOptions& o = ctx_.Logic.Options();
        o.ShowRMS = o.ShowRMS == 1 ? 0 : 1;
        masterMeters_->ApplyOptions(o);
        if (!metersLive_ && ctx_.Engine)
            masterMeters_->Show(UpdateMasterMeters(*ctx_.Engine, MeterSettings(), true),
                MeterSettings(), o.ShowRMS == 1, true);
    });
    bottom->addWidget(masterMeters_);
    stripView_ = new QScrollArea(&pCentral);
    stripView_->setObjectName(QStringLiteral("PictureTrCtrlP"));
    stripView_->setFrameShape(QFrame::NoFrame);
    stripView_->setWidgetResizable(true);
    stripView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    stripView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    strip_ = new TrackStrip(*this, logic, stripView_);
    stripView_->setWidget(strip_);
    bottom->addWidget(stripView_, 2);
    bottomBox_ = new QWidget(&pCentral);
    bottomBox_->setLayout(bottom);
    bottomBox_->setFixedHeight(kBottomBoxHeight);
    return bottomBox_;
}

void FrmMain::BuildMenus()
{
    MainMenus::Handlers h;
    h.RunCommand = [this](int32_t c) { Run(c); };
    h.OpenRecent = [this](int i) { OpenRecent(i); };
    h.ShowTracks = [this](int32_t n) { ShowTracks(n); };
    h.Settings = [this] { OpenSettings(); };
    h.ToggleToolbar = [this] { ToggleToolbar(); };
    h.About = [this] {
        if (!ctx_.Logic.Busy)
            RunAboutWindow(this);
    };
    h.Exit = [this] { close(); };
    h.Monitor = [this] { OpenMonitor(); };
    h.UndoSteps = [this](int pSteps) { UndoSteps(pSteps); };
    h.FadeChannel = [this](int pIndex) {
        if (pIndex >= 0)
            MenuFadeOn(ctx_.Logic, pIndex);
        return ctx_.Logic.FadeChannels;
    };
    menus_ = std::make_unique<MainMenus>(menuBar(), h, this);
}

void FrmMain::ApplySizeRate()
{
    sizeRate_ = SizeRateOf(ctx_.Logic.Options().SizeRate);
    if (sizeRate_ == 1.0)
        return;
    const double r = sizeRate_;
    // Larger controls need a larger window to sit side by side: the least size grows with
    // them, as far as the screen allows, and never below the size at 1.
    QSize least(static_cast<int>(kMinWidth * r), static_cast<int>(kMinHeight * r));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        least = least.boundedTo(screen->availableGeometry().size());
    setMinimumSize(least.expandedTo(QSize(kMinWidth, kMinHeight)));
    setFont(Scaled(QApplication::font(), r));
    bottomBox_->setFixedHeight(static_cast<int>(kBottomBoxHeight * r));
    bottom_->ApplySizeRate(r);
    master_->SetSizeRate(r);
    masterMeters_->ApplySizeRate(r);
    ScaleStripColumns();
}

void FrmMain::ScaleStripColumns()
{
    if (sizeRate_ == 1.0)
        return;
    // The strip builds its columns at size 1; each column and its number button grow here.
    const double r = sizeRate_;
    for (int t = 0; t < strip_->Columns(); ++t) {
        QPushButton* number = strip_->NumberButton(t);
        if (!number)
            continue;
        number->setFixedSize(static_cast<int>(40 * r), static_cast<int>(20 * r));
        if (QWidget* column = number->parentWidget())
            column->setFixedWidth(static_cast<int>(70 * r));
    }
    strip_->setMinimumWidth(static_cast<int>(strip_->Columns() * 74 * r) + 8);
}

void FrmMain::UndoSteps(int pSteps)
{
    for (int i = 0; i < pSteps; ++i)
        if (!Run(kCmdUndo))
            break;
    DrawAll();
}

void FrmMain::BuildToolbar()
{
    toolbar_->clear();
    for (int32_t c : keys_.ToolbarCommands) {
        if (keys_.ToolbarCount <= 0)
            break;
        auto* b = new QToolButton(toolbar_);
        b->setText(Q(GetCommandText(c, kCommandLabel)));
        b->setToolTip(Q(GetCommandText(c, kCommandDescription)));
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumWidth(static_cast<int>(40 * sizeRate_));
        connect(b, &QToolButton::clicked, this, [this, c] {
            if (QApplication::keyboardModifiers() == Qt::NoModifier)
                Run(c);
        });
        toolbar_->addWidget(b);
    }
    toolbar_->setVisible(ctx_.Logic.Options().ShowToolBar == 1);
    menus_->ToolbarAction()->setChecked(ctx_.Logic.Options().ShowToolBar == 1);
}

void FrmMain::Start(const std::string& pCommandLine, bool pOfferResume, bool pTimers)
{
    MainLogic& logic = ctx_.Logic;
    keys_ = LoadKeyAssignment(logic.Store());
    menus_->ShowKeys(keys_);
    view_.ZoomMode = logic.Options().ZoomMode;
    ApplySizeRate();
    BuildToolbar();
    masterMeters_->ApplyOptions(logic.Options());
    strip_->SetMeterReference(logic.Options().VULevelTrim);
    RestorePosition();
    loaded_ = true;
    RefreshTrackControls();
    UpdateMenus();
    menus_->ShowRecent(logic.RecentFiles(), logic.Options().ShowMRU == 1);
    show();
    view_.Arrange(tracks_->height() + 2, tracks_->width());
    DrawAll();
    if (!pCommandLine.empty())
        logic.HandleCommandLine(pCommandLine);
    else if (pOfferResume) {
        logic.OfferResume();
        logic.OfferOrphanedRecordings();
    }
    ui_.FlushRedraws();
    DrawAll();
    redrawCountdown_ = 3;
    if (pTimers) {
        timerVU_.start();
        timerProg_.start();
    }
}

bool FrmMain::Run(int32_t pCommand, int32_t pLevel)
{
    // An undo snapshot the command takes carries the command's name.
    ctx_.Logic.NameNextEdit(std::string(GetCommandText(pCommand, kCommandDescription)));
    const bool done = RunCommand(ctx_.Logic, pCommand, pLevel);
    ctx_.Logic.NameNextEdit({});
    AfterCommand();
    return done;
}

void FrmMain::AfterCommand()
{
    ui_.FlushRedraws();
    RefreshCounter();
    UpdateMenus();
    menus_->ShowRecent(ctx_.Logic.RecentFiles(), ctx_.Logic.Options().ShowMRU == 1);
}

std::optional<bool> FrmMain::HandleWindowCommand(int32_t pId, int32_t)
{
    MainLogic& logic = ctx_.Logic;
    Project& p = logic.Proj();
    if (std::optional<bool> done = RunDialogCommand(pId, ctx_, this)) {
        AfterCommand();
        DrawAll();
        return done;
    }
    switch (pId) {
    case kCmdRipcd: {
        const bool imported = RunRipCommand(ctx_, this);
        DrawAll();
        return imported;
    }
    case kCmdTrackUp:
    case kCmdTrackDown: {
        const int32_t next = p.CurrentTrack + (pId == kCmdTrackUp ? -1 : 1);
        if (next < 0 || next > p.LastTrackNo)
            return false;
        PressTrack(next, 0);
        view_.ScrollToTrack(next);
        DrawAll();
        return true;
    }
    case kCmdZoomPlus:
    case kCmdZoomMinus:
        view_.ZoomStep(pId == kCmdZoomPlus);
        DrawAll();
        return true;
    case kCmdZoomvPlus:
    case kCmdZoomvMinus:
        view_.SetViewTrackCount(p.ViewTrackCount + (pId == kCmdZoomvPlus ? -1 : 1));
        RefreshTrackControls();
        DrawAll();
        return true;
    case kCmdZoomlPlus:
    case kCmdZoomlMinus:
        view_.LevelZoom(pId == kCmdZoomlPlus);
        DrawAll();
        return true;
    default:
        return std::nullopt;
    }
}

bool FrmMain::OpenNamedWindow(const QString& pName, int32_t pCommand)
{
    QWidget* w = CreateNamedWindow(pName, ctx_, this);
    if (!w) {
        if (pCommand > 0)
            ctx_.Logic.ShowMessage(NotAvailableMessage(pCommand));
        return false;
    }
    if (auto* dialog = qobject_cast<QDialog*>(w)) {
        dialog->exec();
        delete dialog;
    } else {
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    }
    AfterCommand();
    DrawAll();
    return true;
}

void FrmMain::OnRedraw(const std::set<RedrawArea>& pAreas)
{
    for (RedrawArea a : pAreas) {
        switch (a) {
        case RedrawArea::All:
        case RedrawArea::Tracks:
            DrawAll();
            break;
        case RedrawArea::TimeDisplay:
            RefreshCounter();
            UpdateInfo();
            scale_->update();
            tracks_->HeadMoved(false);
            break;
        case RedrawArea::Title:
            RefreshTitle();
            break;
        case RedrawArea::Menus:
            UpdateMenus();
            RefreshTrackControls();
            break;
        }
    }
}

void FrmMain::DrawAll()
{
    if (!loaded_)
        return;
    view_.Arrange(tracks_->height() + 2, tracks_->width());
    tracks_->update();
    scale_->update();
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(view_.SliderValue());
    }
    {
        const QSignalBlocker block(vbar_);
        vbar_->setVisible(view_.VerticalBarShown());
        vbar_->setValue(-view_.VerticalBarValue());
    }
    if (strip_->Columns() != ctx_.Logic.Proj().TrackCount())
        RefreshTrackControls();
    UpdateInfo();
    RefreshCounter();
    RefreshTitle();
}

void FrmMain::UpdateInfo()
{
    const Project& p = ctx_.Logic.Proj();
    auto text = [&p](int64_t pFrames, bool pSigned) {
        return Q(TimeText(FramesToMs(pFrames, p.SampleRate), 0, pSigned));
    };
    bottom_->SetInfo(0, text(p.ProjectLength, false));
    bottom_->SetInfo(1, text(static_cast<int64_t>(p.ViewStart) - p.ZeroPos, true));
    bottom_->SetInfo(2, text(static_cast<int64_t>(p.MarkIn) - p.ZeroPos, true));
    bottom_->SetInfo(3, text(static_cast<int64_t>(p.MarkOut) - p.ZeroPos, true));
    bottom_->SetInfo(4, text(static_cast<int64_t>(p.MarkOut) - p.MarkIn, false));
}

void FrmMain::RefreshCounter()
{
    std::array<QString, 3> lines;
    int colour = 0;
    if (Transport* transport = ctx_.Transport) {
        const std::array<std::string, 3> l = transport->CounterLines();
        for (int i = 0; i < 3; ++i)
            lines[i] = Q(l[i]);
        colour = transport->CounterColour();
        bottom_->SetTransportState(
            ctx_.Logic.Recording, transport->IsPaused(), transport->Mode() != PlayMode::Stopped);
    } else {
        lines = { QStringLiteral("STOP"), QString(), Q(HeadTimeText(ctx_.Logic)) };
    }
    bottom_->SetCounter(lines, colour);
}

void FrmMain::ShowCopyControl(const QString& pText, int pPercent)
{
    static const QString kCopying = QTr(kCopyingMessage.data());
    if (pPercent < 0 || pPercent >= 100 || !pText.startsWith(kCopying)) {
        fileHand_->hide();
        return;
    }
    if (fileHand_->isHidden()) {
        fileHand_->ResetCancel();
        fileHand_->move((width() - fileHand_->width()) / 2, (height() - fileHand_->height()) / 2);
        fileHand_->show();
        fileHand_->raise();
    }
    fileHand_->ShowProgress(pText, pPercent / 100.0);
}

void FrmMain::RefreshTitle()
{
    const Project& p = ctx_.Logic.Proj();
    QString title = QStringLiteral("tarvok2");
    if (!p.ProjectFile.empty())
        title += " - " + QFileInfo(Q(p.ProjectFile)).fileName();
    setWindowTitle(title);
}

void FrmMain::UpdateMenus()
{
    MainLogic& logic = ctx_.Logic;
    const Project& p = logic.Proj();
    const bool running = logic.Playing || logic.Recording;
    menus_->EnableMenus(!running);
    if (running)
        return;
    int selected = 0;
    for (const Track& t : p.Tracks)
        selected += t.Selected != 0 ? 1 : 0;
    const bool recording = logic.Recording || (ctx_.Transport && ctx_.Transport->RecordingArmed());
    menus_->Command(kCmdSampleedit)->setEnabled(selected < 2 && !recording);
    if (QMenu* track = menus_->Heading(QTr("トラック")))
        track->setEnabled(selected < 2 && !recording);
    const bool block = !recording && p.SelectedBlock >= 0 && p.SelectedBlock < p.BlockCount();
    for (int32_t c : { kCmdBlockDelete, kCmdBlockName, kCmdBlockClip, kCmdBlockLock, kCmdBlockFlock,
             kCmdBlockFitF, kCmdBlockFitR, kCmdBlockFront, kCmdBlockBehind, kCmdBlockSetadr,
             kCmdBlockLevel })
        menus_->Command(c)->setEnabled(block);
    const bool paste = selected < 2 && !recording && !p.Clip.Empty();
    menus_->Command(kCmdPaste)->setEnabled(paste);
    menus_->Command(kCmdInsert)->setEnabled(paste);
    const bool undoBlocked = recording || logic.DrawWindowOpen;
    menus_->Command(kCmdUndo)->setEnabled(!undoBlocked && logic.StepUndo(false, true));
    menus_->Command(kCmdRedo)->setEnabled(!undoBlocked && logic.StepUndo(true, true));
    menus_->ShowUndoSteps(
        logic.UndoStepName(false), logic.UndoStepName(true), logic.UndoHistory(), !undoBlocked);
    menus_->TickTracks(p.ViewTrackCount, p.LastTrackNo);
}

void FrmMain::RefreshTrackControls()
{
    strip_->Refresh();
    ScaleStripColumns();
    const Project& p = ctx_.Logic.Proj();
    master_->SetFadeTable(p.Fades, p.UnityLevel);
    if (p.MasterLevelL != p.MasterLevelR)
        master_->SetLinked(false);
    master_->SetLevels(p.MasterLevelL, p.MasterLevelR);
    menus_->TickTracks(p.ViewTrackCount, p.LastTrackNo);
}

void FrmMain::TimerProgTick()
{
    if (ctx_.Engine)
        ctx_.Engine->TimerProg();
    if (channel_) {
        const QString handed = channel_->Take();
        if (!handed.trimmed().isEmpty()) {
            ctx_.Logic.HandleCommandLine(handed.toStdString());
            AfterCommand();
            DrawAll();
        }
    }
}

MasterMeterSettings FrmMain::MeterSettings() const
{
    const AppOptions& o = ctx_.Logic.Options();
    return { o.RMSP3, o.PlayTrimDB, o.VULevelTrim };
}

void FrmMain::UpdateMeters()
{
    if (!ctx_.Engine)
        return;
    PlaybackEngine& engine = *ctx_.Engine;
    const Project& p = ctx_.Logic.Proj();
    const bool showRms = ctx_.Logic.Options().ShowRMS == 1;
    const bool live = engine.Mode() != PlayMode::Stopped && engine.Mode() != PlayMode::MarkPreview;
    if (live) {
        UpdateTrackMeters(p, engine.Mode(), trackMeters_, false);
        masterMeters_->Show(
            UpdateMasterMeters(engine, MeterSettings(), false), MeterSettings(), showRms, false);
        metersLive_ = true;
    } else if (metersLive_ || trackMeters_.size() != static_cast<size_t>(p.TrackCount())) {
        // The run ended: every meter back to its floor.
        trackMeters_.assign(
            static_cast<size_t>(p.TrackCount()), TrackMeterPair { -kMeterFloorDb, -kMeterFloorDb });
        UpdateTrackMeters(p, engine.Mode(), trackMeters_, true);
        masterMeters_->Show(
            UpdateMasterMeters(engine, MeterSettings(), true), MeterSettings(), showRms, true);
        metersLive_ = false;
    } else {
        return;
    }
    strip_->ShowMeters(trackMeters_);
}

void FrmMain::TimerVUTick()
{
    if (ctx_.Engine) {
        const int32_t head = ctx_.Logic.Proj().Head;
        ctx_.Engine->TimerVU();
        if (ctx_.Logic.Proj().Head != head || ctx_.Engine->Mode() != PlayMode::Stopped) {
            // While only the head moves, only its columns are drawn again; a growing take,
            // written automation or a scrolled view change the picture itself.
            const Project& p = ctx_.Logic.Proj();
            const bool whole = (ctx_.Transport && ctx_.Transport->State() == Motion::Recording)
                || ctx_.Logic.Automation.Writing || p.ViewStart != viewStartDrawn_;
            viewStartDrawn_ = p.ViewStart;
            tracks_->HeadMoved(whole);
            scale_->update();
            RefreshCounter();
        }
        UpdateMeters();
    }
    if (redrawCountdown_ <= 3 && ++redrawCountdown_ == 2)
        DrawAll();
    const bool paused = ctx_.Transport && ctx_.Transport->IsPaused();
    if (wheel_ != 0 && !ctx_.Logic.Busy && !paused) {
        const int direction = wheel_;
        wheel_ = 0;
        Run(CommandForWheel(direction > 0));
    }
}

void FrmMain::AfterArrange()
{
    if (loaded_)
        DrawAll();
}

bool FrmMain::SpaceHeld() const { return keyboard_.LastKeyDown() == CommandKey::Space; }

bool FrmMain::SpaceClick(bool pLeft, int32_t pFrame)
{
    if (!keyboard_.MouseDownInTracks())
        return false;
    MainLogic& logic = ctx_.Logic;
    logic.LastClickFrame = pFrame;
    Run(pLeft ? kCmdMarkinClick : kCmdMarkoutClick);
    if (ctx_.Transport && ctx_.Transport->Mode() != PlayMode::Stopped) {
        // Start the run again with the new mark, in the mode it was playing.
        ctx_.Transport->RepeatCurrentModeOnPlay();
        Run(kCmdPlay);
    }
    return true;
}

void FrmMain::PressTrack(int32_t pTrack, int pModifiers)
{
    const std::vector<int32_t> changed = view_.SetCurrentTrack(pTrack, pModifiers);
    if (ctx_.Engine)
        ctx_.Engine->MarkCacheDirty();
    (void)changed;
    tracks_->update();
    strip_->Refresh();
    UpdateMenus();
}

void FrmMain::MarksChanged()
{
    UpdateInfo();
    tracks_->update();
}

void FrmMain::EndMarkerDrag()
{
    UpdateInfo();
    tracks_->update();
    if (ctx_.Transport && IsRangePlay(ctx_.Transport->Mode())) {
        ctx_.Transport->RepeatCurrentModeOnPlay();
        Run(kCmdPlay);
    }
}

void FrmMain::ProjectMoved()
{
    if (ctx_.Engine)
        ctx_.Engine->MarkCacheDirty();
    UpdateInfo();
    tracks_->update();
}

void FrmMain::ViewScrolled() { DrawAll(); }

void FrmMain::AfterDrag(bool pChanged)
{
    if (pChanged && ctx_.Engine)
        ctx_.Engine->MarkCacheDirty();
    DrawAll();
    UpdateMenus();
}

bool FrmMain::StopIfPlaying()
{
    if (!ctx_.Logic.Playing)
        return false;
    Run(kCmdStop);
    return true;
}

void FrmMain::ShowEditPopup(QPoint pGlobal)
{
    UpdateMenus();
    tracks_->update();
    menus_->EditMenu()->popup(pGlobal);
}

void FrmMain::DropFiles(const QStringList& pPaths, int32_t pTrack, int32_t pFrame)
{
    MainLogic& logic = ctx_.Logic;
    int32_t track = pTrack;
    for (const QString& path : pPaths) {
        if (path.endsWith(QStringLiteral(".tvp"), Qt::CaseInsensitive)) {
            logic.OpenFile(path.toStdString());
            break;
        }
        if (track > logic.Proj().LastTrackNo)
            break;
        PressTrack(track, 0);
        logic.ImportSoundFile(track, path.toStdString(), pFrame, false);
        ++track;
    }
    AfterCommand();
    DrawAll();
}

void FrmMain::HeadDown(int pX)
{
    if (ctx_.Transport)
        ctx_.Transport->HeadStripDown(pX);
    else if (!ctx_.Logic.Recording)
        ctx_.Logic.Proj().Head
            = static_cast<int32_t>(std::clamp<int64_t>(view_.FrameOfX(pX), 0, kMaxLength - 1));
    tracks_->update();
    scale_->update();
    RefreshCounter();
}

void FrmMain::HeadMove(int pX)
{
    if (ctx_.Transport)
        ctx_.Transport->HeadStripMove(pX);
    else
        HeadDown(pX);
    tracks_->update();
    scale_->update();
    RefreshCounter();
}

void FrmMain::HeadUp(int pX)
{
    if (ctx_.Transport)
        ctx_.Transport->HeadStripUp(pX);
    AfterCommand();
    tracks_->update();
    scale_->update();
}

void FrmMain::HeadRightUp(QPoint pGlobal)
{
    if (ctx_.Transport && ctx_.Transport->HeadStripRightUp()) {
        AfterCommand();
        return;
    }
    if (ctx_.Logic.Busy)
        return;
    QMenu menu(this);
    QAction* zero = menu.addAction(QTr("ヘッド位置を0にする"));
    if (menu.exec(pGlobal) == zero) {
        SetZeroAtHead(ctx_.Logic);
        AfterCommand();
        DrawAll();
    }
}

void FrmMain::HeadDoubleClick()
{
    if (ctx_.Transport)
        ctx_.Transport->HeadStripDoubleClick();
}

void FrmMain::ScaleScrubDown(int pX)
{
    if (ctx_.Transport && ctx_.Transport->ScaleScrubDown())
        scaleScrubTwips_ = pX * kTwipsPerPixel;
    RefreshCounter();
}

void FrmMain::ScaleScrubMove(int pX)
{
    const int32_t twips = pX * kTwipsPerPixel;
    if (ctx_.Transport && ctx_.Transport->ScaleScrubMove(twips - scaleScrubTwips_))
        scaleScrubTwips_ = twips;
    tracks_->update();
    scale_->update();
}

void FrmMain::ScaleScrubUp()
{
    if (ctx_.Transport)
        ctx_.Transport->ScaleScrubUp();
    AfterCommand();
}

void FrmMain::TransportButton(int pIndex)
{
    static constexpr int32_t kCommands[4] = { kCmdRec, kCmdStop, kCmdPause, kCmdPlayWhole };
    if (pIndex >= 0 && pIndex < 4)
        Run(kCommands[pIndex]);
}

void FrmMain::DisplayButton(int pIndex, bool pRight, int pModifiers, QPoint pGlobal)
{
    if (pRight) {
        if (pIndex == 0 || pIndex == 2) {
            QMenu menu(this);
            QAction* items[2] = { menu.addAction(QTr("選択範囲を中心")),
                menu.addAction(QTr("再生ヘッドを中心")) };
            for (int i = 0; i < 2; ++i) {
                items[i]->setCheckable(true);
                items[i]->setChecked(view_.ZoomMode == i);
            }
            QAction* chosen = menu.exec(pGlobal);
            for (int i = 0; i < 2; ++i)
                if (chosen == items[i]) {
                    view_.ZoomMode = i;
                    ctx_.Logic.Options().ZoomMode = i;
                }
        } else if (pIndex == 1 && ctx_.Logic.Proj().LastTrackNo > 0) {
            menus_->TracksMenu()->exec(pGlobal);
        }
        return;
    }
    if (pModifiers == kModShift && (pIndex == 0 || pIndex == 2)) {
        Run(pIndex == 0 ? kCmdZoomvMinus : kCmdZoomvPlus);
        return;
    }
    if (pModifiers == kModCtrl && (pIndex == 0 || pIndex == 2)) {
        Run(pIndex == 0 ? kCmdZoomlMinus : kCmdZoomlPlus);
        return;
    }
    if (pModifiers != 0)
        return;
    switch (pIndex) {
    case 0:
    case 2:
        view_.ZoomStep(pIndex == 2);
        break;
    case 1:
        view_.ZoomWhole();
        break;
    case 3:
        LaunchMixer();
        break;
    }
    DrawAll();
}

void FrmMain::ShuttlePressed(int pValue)
{
    if (ctx_.Transport)
        ctx_.Transport->ShuttlePress(pValue);
    RefreshCounter();
}

void FrmMain::ShuttleMoved(int pValue)
{
    if (ctx_.Transport)
        ctx_.Transport->ShuttleMove(pValue);
}

void FrmMain::ShuttleReleased()
{
    if (ctx_.Transport)
        ctx_.Transport->ShuttleRelease();
    bottom_->ResetShuttle();
    AfterCommand();
}

void FrmMain::InfoClicked(int pField)
{
    const Project& p = ctx_.Logic.Proj();
    const int64_t half = static_cast<int64_t>(view_.ViewWidth / 2) * view_.Fpp();
    switch (pField) {
    case 0:
        view_.ZoomWhole();
        break;
    case 1:
        view_.ScrollTo(0);
        break;
    case 2:
        view_.ScrollTo(p.MarkIn - half);
        break;
    case 3:
        view_.ScrollTo(p.MarkOut - half);
        break;
    case 4:
        view_.ZoomToSelection();
        break;
    default:
        return;
    }
    DrawAll();
}

void FrmMain::CounterClicked()
{
    const Project& p = ctx_.Logic.Proj();
    view_.ScrollTo(p.Head - static_cast<int64_t>(view_.ViewWidth / 2) * view_.Fpp());
    DrawAll();
}

void FrmMain::TrackControlsChanged()
{
    if (ctx_.Engine)
        ctx_.Engine->MarkCacheDirty();
}

void FrmMain::TrackNumberClicked(int32_t pTrack, bool pRight)
{
    if (!pRight) {
        view_.ScrollToTrack(pTrack);
        DrawAll();
        return;
    }
    if (RunTrackLevelDialog(ctx_, pTrack, this))
        RefreshTrackControls();
}

void FrmMain::OpenRecent(int pIndex)
{
    MainLogic& logic = ctx_.Logic;
    const std::vector<std::string>& recent = logic.RecentFiles();
    if (pIndex < 0 || pIndex >= static_cast<int>(recent.size()))
        return;
    const std::string path = recent[pIndex];
    if (!FileExists(path))
        return;
    static const QStringList kKnown = { QStringLiteral("tvp"), QStringLiteral("wav"),
        QStringLiteral("mp1"), QStringLiteral("mp2"), QStringLiteral("mp3"), QStringLiteral("wma"),
        QStringLiteral("asf"), QStringLiteral("mpg"), QStringLiteral("mpeg"),
        QStringLiteral("wmv") };
    const QString ext = QFileInfo(Q(path)).suffix().toLower();
    if (!kKnown.contains(ext))
        return;
    // A project opens; a sound file replaces the project and lands on track 0 at frame 0.
    logic.OpenFile(path);
    AfterCommand();
    DrawAll();
}

FrmMon* FrmMain::Monitor() const { return monitor_.data(); }

bool FrmMain::OpenMonitor()
{
    if (monitor_) {
        monitor_->show();
        monitor_->raise();
        monitor_->activateWindow();
        return true;
    }
    RecordingEngine* rec = ctx_.Logic.Recorder;
    if (!rec || !ctx_.Engine) {
        ctx_.Logic.ShowMessage(Tr(kRecordingUnavailable));
        return false;
    }
    if (rec->MonitorOpen != 0)
        return false;
    if (!ctx_.Logic.Playing && !ctx_.Logic.Recording)
        ctx_.Engine->ComputeDeviceSlots();
    auto* monitor = new FrmMon(
        ctx_, *rec, ctx_.Engine->InputEnabled(), [this](int32_t pCommand) { Run(pCommand); }, this);
    monitor->setAttribute(Qt::WA_DeleteOnClose);
    monitor_ = monitor;
    monitor->show();
    return true;
}

void FrmMain::ShowTracks(int32_t pCount)
{
    view_.SetViewTrackCount(pCount < 0 ? ctx_.Logic.Proj().LastTrackNo : pCount);
    RefreshTrackControls();
    DrawAll();
}

void FrmMain::ToggleToolbar()
{
    AppOptions& o = ctx_.Logic.Options();
    o.ShowToolBar = o.ShowToolBar == 1 ? 0 : 1;
    ctx_.Logic.Store().SaveSetting("ShowToolBar", o.ShowToolBar);
    BuildToolbar();
    DrawAll();
}

void FrmMain::OpenSettings()
{
    if (ctx_.Logic.Busy)
        return;
    if (RunSettingsWindow(ctx_, &keys_, this)) {
        // The settings may have changed the bindings, the toolbar, the view options and the
        // recent-files display.
        BuildToolbar();
        masterMeters_->ApplyOptions(ctx_.Logic.Options());
        strip_->SetMeterReference(ctx_.Logic.Options().VULevelTrim);
        view_.ZoomMode = ctx_.Logic.Options().ZoomMode;
        if (ctx_.Engine)
            ctx_.Engine->ComputeDeviceSlots();
        AfterCommand();
        DrawAll();
    }
}

void FrmMain::LaunchMixer()
{
    const QString problem = LaunchMixerProgram(Q(ctx_.Logic.Options().MixerApp));
    if (!problem.isEmpty())
        ctx_.Logic.ShowMessage(problem.toStdString());
}

void FrmMain::RestorePosition()
{
    Settings& s = ctx_.Logic.Store();
    const QRect screen = QGuiApplication::primaryScreen()
        ? QGuiApplication::primaryScreen()->availableGeometry()
        : QRect(0, 0, 1280, 800);
    int32_t left = s.GetSetting("WindowLeft", ToTwips(screen.left() + 40));
    int32_t top = s.GetSetting("WindowTop", ToTwips(screen.top() + 40));
    int32_t width = s.GetSetting("WindowWidth", ToTwips(std::min(1200, screen.width())));
    int32_t height = s.GetSetting("WindowHeight", ToTwips(std::min(800, screen.height())));
    const WindowRequest& request = ctx_.Logic.RequestedWindow();
    left = request.Left.value_or(left);
    top = request.Top.value_or(top);
    width = request.Width.value_or(width);
    height = request.Height.value_or(height);
    // Held inside the screen, at least the minimum size.
    QRect r(ToPixels(left), ToPixels(top), std::max(minimumWidth(), ToPixels(width)),
        std::max(minimumHeight(), ToPixels(height)));
    r.moveLeft(
        std::clamp(r.left(), screen.left(), std::max(screen.left(), screen.right() - r.width())));
    r.moveTop(
        std::clamp(r.top(), screen.top(), std::max(screen.top(), screen.bottom() - r.height())));
    // The stored position is the frame's (x(), y()), the size the client area's.
    move(r.topLeft());
    resize(r.size());
    if (s.GetSetting("WindowState", int32_t { 0 }) == 2)
        setWindowState(Qt::WindowMaximized);
}

void FrmMain::SavePosition()
{
    Settings& s = ctx_.Logic.Store();
    if (windowState() == Qt::WindowNoState) {
        s.SaveSetting("WindowLeft", ToTwips(x()));
        s.SaveSetting("WindowTop", ToTwips(y()));
        s.SaveSetting("WindowWidth", ToTwips(width()));
        s.SaveSetting("WindowHeight", ToTwips(height()));
    }
    s.SaveSetting("WindowState", int32_t { isMaximized() ? 2 : (isMinimized() ? 1 : 0) });
}

void FrmMain::closeEvent(QCloseEvent* pEvent)
{
    MainLogic& logic = ctx_.Logic;
    if (closing_) {
        pEvent->accept();
        return;
    }
    if (!logic.ConfirmExit(isMinimized())) {
        pEvent->ignore();
        return;
    }
    closing_ = true;
    timerProg_.stop();
    timerVU_.stop();
    ui_.SetBusy(true);
    if (ctx_.Transport && (ctx_.Transport->Mode() != PlayMode::Stopped || logic.Recording))
        ctx_.Transport->Stop();
    SavePosition();
    SaveKeyAssignment(logic.Store(), keys_);
    logic.Shutdown();
    ui_.SetBusy(false);
    pEvent->accept();
}

void FrmMain::resizeEvent(QResizeEvent* pEvent)
{
    QMainWindow::resizeEvent(pEvent);
    if (loaded_ && !isMinimized())
        DrawAll();
}

bool FrmMain::KeyPress(QKeyEvent* pEvent)
{
    const CommandKey key = KeyOf(pEvent);
    if (key == CommandKey::None)
        return false;
    if (!pEvent->isAutoRepeat() || key != CommandKey::Space)
        keyboard_.KeyDown(key);
    keysDownHere_.insert(static_cast<int>(key));
    return true;
}

bool FrmMain::KeyRelease(QKeyEvent* pEvent)
{
    const CommandKey key = KeyOf(pEvent);
    if (key == CommandKey::None || pEvent->isAutoRepeat())
        return key != CommandKey::None;
    // A release whose press went elsewhere (Esc that closed a pop-up menu) runs nothing.
    if (keysDownHere_.erase(static_cast<int>(key)) == 0)
        return true;
    const bool playing = ctx_.Transport && ctx_.Transport->Mode() != PlayMode::Stopped;
    const std::optional<int32_t> command
        = keyboard_.KeyUp(key, ModifierState(pEvent->modifiers()), keys_, playing);
    if (command && *command > 0)
        Run(*command);
    return true;
}

bool FrmMain::eventFilter(QObject* pObject, QEvent* pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(pObject);
        // Keys typed into another window, or into a text field, stay there.
        if (!widget || widget->window() != this)
            return QMainWindow::eventFilter(pObject, pEvent);
        if (QApplication::activePopupWidget() || QApplication::activeModalWidget())
            return QMainWindow::eventFilter(pObject, pEvent);
        auto* key = static_cast<QKeyEvent*>(pEvent);
        const bool handled = type == QEvent::KeyPress ? KeyPress(key) : KeyRelease(key);
        if (handled)
            return true;
    } else if (type == QEvent::Wheel && pObject == tracks_) {
        auto* wheel = static_cast<QWheelEvent*>(pEvent);
        // With Ctrl or Shift the track area zooms or scrolls itself.
        if (wheel->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
            return QMainWindow::eventFilter(pObject, pEvent);
        if (wheel->angleDelta().y() != 0)
            wheel_ = wheel->angleDelta().y() < 0 ? 1 : -1;
        return true;
    }
    return QMainWindow::eventFilter(pObject, pEvent);
}

} // namespace tarvok
