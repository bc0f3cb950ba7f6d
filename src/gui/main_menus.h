#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace tarvok {

struct KeyAssignment;

/// The main window's menu bar: every command item captioned with its command description
/// and running its command, the recent-files list, the tracks-shown menu, the settings and
/// help menus. It keeps the actions so that the window can enable and tick them.
class MainMenus : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void(int32_t)> RunCommand;
        std::function<void(int)> OpenRecent;
        std::function<void(int32_t)> ShowTracks; ///< SetViewTrackCount argument
        std::function<void()> Settings;
        std::function<void()> ToggleToolbar;
        std::function<void()> About;
        std::function<void()> Monitor;
        std::function<void()> Exit;
        /// Toggles fade channel pIndex (0 "Lch", 1 "Rch"; -1 toggles nothing) and returns
        /// the channels on (bit 0 left, bit 1 right).
        std::function<int32_t(int)> FadeChannel;
        /// Takes back the given number of undo steps (the history list).
        std::function<void(int)> UndoSteps;
    };

    MainMenus(QMenuBar* pBar, Handlers pHandlers, QObject* pParent);

    /// The action of command pCommand (nullptr when no menu item runs it).
    QAction* Command(int32_t pCommand) const;
    QMenu* EditMenu() const { return edit_; }
    QMenu* Heading(const QString& pTitle) const;
    /// Enables the whole menus and items the transport turns off while playing.
    void EnableMenus(bool pOn);
    /// Ticks the tracks-shown item for ViewTrackCount pCount (of pLastTrack + 1 tracks).
    void TickTracks(int32_t pCount, int32_t pLastTrack);
    /// Shows the recent files; the submenu is hidden without entries or with pShow false.
    void ShowRecent(const std::vector<std::string>& pPaths, bool pShow);
    QMenu* TracksMenu() const { return tracks_; }
    QAction* ToolbarAction() const { return toolbar_; }
    QAction* MonitorAction() const { return monitor_; }
    /// The fade menu's channel items, MenuFadeOn 0 ("Lch") and 1 ("Rch").
    QAction* FadeChannelAction(int pIndex) const { return fadeOn_[pIndex == 0 ? 0 : 1]; }
    /// Shows beside each command item the key that runs it (the window's own key handling
    /// runs it; the shortcut acts only while the menu itself has the focus).
    void ShowKeys(const KeyAssignment& pKeys);
    /// Names the steps in the undo and redo items ("元に戻す: 消去") and fills the history
    /// list with pHistory (the most recent first); an empty name leaves the plain caption.
    /// With pEnabled false the history list is disabled.
    void ShowUndoSteps(const std::string& pUndo, const std::string& pRedo,
        const std::vector<std::string>& pHistory, bool pEnabled);
    QMenu* HistoryMenu() const { return history_; }
    /// Ticks the channel items for the channels on.
    void TickFadeChannels(int32_t pChannels);

private:
    QMenu* AddHeading(const QString& pTitle);
    void AddCommands(QMenu* pMenu, int32_t pFirst, int32_t pLast);

    QMenuBar* bar_;
    Handlers handlers_;
    std::map<int32_t, QAction*> commands_;
    std::map<QString, QMenu*> headings_;
    QMenu* file_ = nullptr;
    QMenu* edit_ = nullptr;
    QMenu* history_ = nullptr;
    QMenu* recent_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QMenu* tracks_ = nullptr;
    QActionGroup* tracksGroup_ = nullptr;
    QAction* toolbar_ = nullptr;
    QAction* monitor_ = nullptr;
    QMenu* settings_ = nullptr;
    QAction* fadeOn_[2] = { nullptr, nullptr };
};

/// The SetViewTrackCount argument of each item of the tracks-shown menu ("全て" first,
/// standing for every track).
std::vector<int32_t> TrackDisplayCounts(int32_t pLastTrack);

} // namespace tarvok
