#pragma once

#include "app/commands/sample_editor.h"
#include "gui/gui_context.h"

#include <QDialog>
#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QHBoxLayout;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollBar;
class QTimer;

namespace tarvok {

class SampleEditor;

/// The waveform area of the sample editor (PictureWave): draws the model's columns or
/// points, the selection band, the selection lines while dragging and the play cursor,
/// and hands presses, moves and releases to the model (Shift + left draws).
class SampleWavePicture : public QWidget {
    Q_OBJECT
public:
    SampleWavePicture(SampleEditor& pModel, QWidget* pParent);

signals:
    /// The right button was pressed at pGlobal (the edit menu pops up there).
    void ContextMenuAt(const QPoint& pGlobal);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    SampleEditor& model_;
};

/// The sample editor window ("波形編集"): the waveform at every zoom down to single
/// samples, the scroll slider, the information strip, the message strip, the zoom and play
/// buttons, the play, edit and silence menus, OK and Cancel. Everything it shows and does
/// comes from SampleEditor; closing (OK, Cancel or the close box) closes the model, which
/// hands the result to the main window.
class FrmSampleEdit : public QDialog {
    Q_OBJECT
public:
    /// Opens on pContext.Logic.SampleEditFile.
    FrmSampleEdit(GuiContext& pContext, QWidget* pParent = nullptr);
    ~FrmSampleEdit() override;

    SampleEditor& Model() { return *model_; }
    SampleWavePicture* Wave() const { return wave_; }
    /// Menu "編集" item 0..6, "無音" item 0..2, "再生" item 0..1.
    QAction* EditAction(int pIndex) const { return editActions_[static_cast<size_t>(pIndex)]; }
    QAction* EraseAction(int pIndex) const { return eraseActions_[static_cast<size_t>(pIndex)]; }
    QAction* PlayAction(int pIndex) const { return playActions_[static_cast<size_t>(pIndex)]; }

public slots:
    /// Redraws everything from the model.
    void Refresh();
    void done(int pResult) override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    QMenuBar* BuildMenuBar();
    QWidget* BuildInfoRow();
    QHBoxLayout* BuildButtonRow();

    GuiContext& ctx_;
    std::unique_ptr<SampleEditor> model_;
    SampleWavePicture* wave_ = nullptr;
    QScrollBar* slider_ = nullptr;
    std::array<QPushButton*, 5> info_ {};
    QLabel* message_ = nullptr;
    QMenu* editMenu_ = nullptr;
    std::array<QAction*, 7> editActions_ {};
    std::array<QAction*, 3> eraseActions_ {};
    std::array<QAction*, 2> playActions_ {};
    std::array<QPushButton*, 3> playButtons_ {};
    QTimer* timer_ = nullptr;
};

/// SAMPLEEDIT in the window front end: renders the selection and shows the editor modally
/// (the main window is disabled meanwhile). True when the editor opened.
bool RunSampleEditCommand(GuiContext& pContext, QWidget* pParent);

} // namespace tarvok
