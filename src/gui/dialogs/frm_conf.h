#pragma once

#include "app/commands/command_table.h"
#include "app/windows/settings_window.h"
#include "gui/gui_context.h"

#include <QDialog>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace tarvok {

/// The settings window: tabs "一般", "詳細", "デバイス", "キーボード", "ツールバー" over the
/// options, the store, the device lists and the key bindings. OK applies and saves them
/// (SettingsWindowModel::Apply) and closes; Cancel closes without changes (except "マーカー
/// を細く", which is saved as soon as it is ticked). After OK the main window re-reads what
/// it shows: the recent files, the device slots, the markers and the toolbar from
/// Assignment().
class FrmConf : public QDialog {
    Q_OBJECT
public:
    /// pAssignment: the main window's bindings, updated by OK; when null the window edits a
    /// copy loaded from the store (read it back with Assignment()).
    FrmConf(GuiContext& pContext, KeyAssignment* pAssignment = nullptr, QWidget* pParent = nullptr);
    ~FrmConf() override;

    SettingsWindowModel& Model() { return *model_; }
    const KeyAssignment& Assignment() const { return *assignment_; }
    QTabWidget* Tabs() const { return tabs_; }

public slots:
    /// OK: reads every control into the model, applies and closes.
    void ApplyAndClose();

private:
    QWidget* BuildGeneral();
    QWidget* BuildDetails();
    QWidget* BuildDevices();
    QWidget* BuildKeyboard();
    QWidget* BuildToolbar();
    QComboBox* CommandCombo(const std::string& pCurrent, QWidget* pParent) const;
    void FillToolbarTable();
    void ReadToolbarTable();
    int SelectedToolbarRow() const;
    void ChooseColour(int32_t& pValue, QPushButton* pButton);
    void ReadControls();

    GuiContext& context_;
    KeyAssignment ownAssignment_;
    KeyAssignment* assignment_;
    std::unique_ptr<SettingsWindowModel> model_;
    QTabWidget* tabs_ = nullptr;

    QComboBox* freq_ = nullptr;
    QLineEdit* sampleStep_ = nullptr;
    QLineEdit* soundPath_ = nullptr;
    QLineEdit* levelMargin_ = nullptr;
    QLineEdit* delPrjDate_ = nullptr;
    QCheckBox* delOnEnd_ = nullptr;
    QCheckBox* adjustClock_ = nullptr;
    QComboBox* fadeTable_ = nullptr;
    QLineEdit* mixerApp_ = nullptr;

    QLineEdit* sizeRate_ = nullptr;
    QComboBox* language_ = nullptr;
    QLineEdit* vuLevelTrim_ = nullptr;
    QPushButton* waveColour_ = nullptr;
    QPushButton* lockColour_ = nullptr;
    QListWidget* displayOptions_ = nullptr;

    std::array<QComboBox*, SettingsWindowModel::kMaxDeviceSlots> outputs_ {};
    std::array<QComboBox*, SettingsWindowModel::kMaxDeviceSlots> inputs_ {};
    QLineEdit* playTrim_ = nullptr;
    QLineEdit* recTrim_ = nullptr;

    QTableWidget* keys_ = nullptr;
    QTableWidget* toolbar_ = nullptr;
    QCheckBox* showToolBar_ = nullptr;
};

} // namespace tarvok
