#pragma once

#include "app/commands/command_table.h"
#include "app/windows/main_view.h"
#include "core/user_interface.h"
#include "engine/level_meters.h"
#include "gui/gui_context.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <set>

class QHBoxLayout;
class QScrollBar;
class QToolBar;
class QScrollArea;

namespace tarvok {

class BottomRow;
class FrmMon;
class InstanceChannel;
class MainMenus;
class MasterMeters;
class QtUserInterface;
class UC_Fader;
class TimeScale;
class TrackArea;
class TrackStrip;
class UC_FileHand;

/// The program's document window: the track area with its time scale and head strip, the
/// scroll bars, the bottom row, the master fader and the track strip, the menus and the
/// toolbar. It turns keys, clicks, the wheel and its two 50 ms timers into commands of the
/// command table and paints what the view model computes.
class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    FrmMain(GuiContext& pContext, QtUserInterface& pUi, QWidget* pParent = nullptr);
    ~FrmMain() override;

    /// The display side of start-up, after the logic read the settings: layout, window
    /// position, menus; shows the window, then handles the command line (or offers to
    /// resume, with pOfferResume) and starts the timers (unless pTimers is false).
    void Start(const std::string& pCommandLine, bool pOfferResume, bool pTimers = true);
    bool Loaded() const { return loaded_; }

    /// Runs a command of the command table as a key, a button or a menu item does.
    bool Run(int32_t pCommand, int32_t pLevel = 0);
    /// The display size factor "SizeRate", held to 0.7..3.0 (1 when it is no number).
    double SizeRate() const { return sizeRate_; }
    /// The second-instance channel whose handed-over command lines the progress timer takes.
    void SetInstanceChannel(InstanceChannel* pChannel) { channel_ = pChannel; }

    MainView& View() { return view_; }
    /// The playback engine, nullptr without sound devices.
    PlaybackEngine* Engine() const { return ctx_.Engine; }
    /// The transport, nullptr without sound devices.
    Transport* TransportControl() const { return ctx_.Transport; }
    MainMenus& Menus() { return *menus_; }
    TrackArea& Tracks() { return *tracks_; }
    BottomRow& Bottom() { return *bottom_; }
    TrackStrip& Strip() { return *strip_; }
    MasterMeters& Meters() { return *masterMeters_; }
    /// The track meters' values (whole dB per track and channel).
    const std::vector<TrackMeterPair>& TrackMeters() const { return trackMeters_; }
    QToolBar* ToolBar() { return toolbar_; }
    /// The file-copy control shown over the window while a copy runs.
    UC_FileHand* FileHand() const { return fileHand_; }
    const KeyAssignment& Keys() const { return keys_; }
    QScrollBar* VerticalBar() { return vbar_; }
    QScrollBar* Slider() { return slider_; }

    /// Full redraw of the track area, scale, head and the texts around them.
    void DrawAll();
    void UpdateMenus();
    void UpdateInfo();
    void RefreshTrackControls();
    /// The toolbar from the bindings (shown with "ShowToolBar" = 1).
    void BuildToolbar();
    /// One tick of each timer (tests call them directly).
    void TimerProgTick();
    void TimerVUTick();

    // Called by the widgets of the window.
    void AfterArrange();
    bool SpaceClick(bool pLeft, int32_t pFrame);
    bool SpaceHeld() const;
    void PressTrack(int32_t pTrack, int pModifiers);
    void MarksChanged();
    void EndMarkerDrag();
    void ProjectMoved();
    void ViewScrolled();
    void AfterDrag(bool pChanged);
    bool StopIfPlaying();
    void ShowEditPopup(QPoint pGlobal);
    void DropFiles(const QStringList& pPaths, int32_t pTrack, int32_t pFrame);
    void HeadDown(int pX);
    void HeadMove(int pX);
    void HeadUp(int pX);
    void HeadRightUp(QPoint pGlobal);
    void HeadDoubleClick();
    void ScaleScrubDown(int pX);
    void ScaleScrubMove(int pX);
    void ScaleScrubUp();
    void TransportButton(int pIndex);
    void DisplayButton(int pIndex, bool pRight, int pModifiers, QPoint pGlobal);
    void ShuttlePressed(int pValue);
    void ShuttleMoved(int pValue);
    void ShuttleReleased();
    void InfoClicked(int pField);
    void CounterClicked();
    void TrackControlsChanged();
    void TrackNumberClicked(int32_t pTrack, bool pRight);
    /// Opens recent file pIndex as the recent-files menu does.
    void OpenRecent(int pIndex);
    /// Shows the recording monitor (REC with "ShowRecMon", a right click on REC, the menu);
    /// an open monitor is raised. False, with a message, without a recording engine.
    bool OpenMonitor();
    /// The open recording monitor, or nullptr.
    FrmMon* Monitor() const;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    std::optional<bool> HandleWindowCommand(int32_t pId, int32_t pLevel);
    bool OpenNamedWindow(const QString& pName, int32_t pCommand);
    void OnRedraw(const std::set<RedrawArea>& pAreas);
    /// Feeds the track and master meters (TimerVU): measured while a play run sounds, set
    /// back to the floor once when it ends.
    void UpdateMeters();
    MasterMeterSettings MeterSettings() const;
    void RefreshCounter();
    /// Shows the file-copy control, centred, while pText is a copy's progress; hides it else.
    void ShowCopyControl(const QString& pText, int pPercent);
    void RefreshTitle();
    void ShowTracks(int32_t pCount);
    void ToggleToolbar();
    void OpenSettings();
    void LaunchMixer();
    void RestorePosition();
    void SavePosition();
    void BuildLayout();
    QHBoxLayout* BuildTrackArea(QWidget& pCentral);
    QWidget* BuildBottomBox(QWidget& pCentral);
    void BuildMenus();
    /// Scales the controls, the strip's columns and the fonts by "SizeRate" (once, at start).
    void ApplySizeRate();
    void ScaleStripColumns();
    /// Takes back pSteps undo steps one after another (the edit menu's history list).
    void UndoSteps(int pSteps);
    bool KeyPress(QKeyEvent* pEvent);
    bool KeyRelease(QKeyEvent* pEvent);
    void AfterCommand();

    GuiContext& ctx_;
    QtUserInterface& ui_;
    MainView view_;
    KeyAssignment keys_;
    KeyboardState keyboard_;
    /// The keys whose press this window saw and whose release has not come yet.
    std::set<int> keysDownHere_;
    /// The view start at the last head tick: a change repaints the whole track area.
    int32_t viewStartDrawn_ = 0;
    bool loaded_ = false;
    bool closing_ = false;
    int redrawCountdown_ = 3;
    int wheel_ = 0;
    InstanceChannel* channel_ = nullptr;
    QTimer timerProg_;
    QTimer timerVU_;

    QToolBar* toolbar_ = nullptr;
    TrackArea* tracks_ = nullptr;
    TimeScale* scale_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    QScrollBar* slider_ = nullptr;
    BottomRow* bottom_ = nullptr;
    UC_Fader* master_ = nullptr;
    MasterMeters* masterMeters_ = nullptr;
    std::vector<TrackMeterPair> trackMeters_;
    bool metersLive_ = false;
    /// Where a scale scrub drag last counted, twips.
    int32_t scaleScrubTwips_ = 0;
    TrackStrip* strip_ = nullptr;
    QScrollArea* stripView_ = nullptr;
    QWidget* bottomBox_ = nullptr;
    UC_FileHand* fileHand_ = nullptr;
    double sizeRate_ = 1.0;
    std::unique_ptr<MainMenus> menus_;
    QPointer<FrmMon> monitor_;
};

} // namespace tarvok
