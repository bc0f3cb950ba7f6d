#pragma once

#include "app/transport/automation_window.h"

#include <QDialog>

class QLabel;

namespace tarvok {

struct GuiContext;
class UC_Fader;

/// FrmAutomation: the modeless automation window over AutomationWindowModel. The fader
/// SliderValue (a level index, unity at opening, back to unity on a double click) is the
/// automation level of the selected tracks; the text TextValue shows its level, red while
/// writing is armed, and a click on it toggles arming. Opening turns automation mode on,
/// closing turns it off; the window's place is remembered under "Curve".
class FrmAutomation : public QDialog {
    Q_OBJECT
public:
    explicit FrmAutomation(GuiContext& pContext, QWidget* pParent = nullptr);
    ~FrmAutomation() override;

    /// Opens the model and shows the window's state.
    void Start();

    AutomationWindowModel& Model() { return model_; }
    UC_Fader* Fader() const { return fader_; }
    QLabel* ValueText() const { return text_; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    void ShowState();

    GuiContext& ctx_;
    AutomationWindowModel model_;
    UC_Fader* fader_ = nullptr;
    QLabel* text_ = nullptr;
};

} // namespace tarvok
