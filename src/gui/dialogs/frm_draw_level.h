#pragma once

#include "app/windows/draw_level_window.h"

#include <QDialog>
#include <QTimer>

class QLineEdit;
class QPushButton;
class QSlider;

namespace tarvok {

struct GuiContext;
class FrmDrawLevel;

/// The picture of the drawing window: the current track's blocks in the selection as the
/// background, the envelope curve in white, the handles as circles and the head line.
class PictureFade : public QWidget {
    Q_OBJECT
public:
    PictureFade(
        FrmDrawLevel& pOwner, DrawLevelModel& pModel, GuiContext& pContext, QWidget* pParent);

    QSize sizeHint() const override { return { 600, 255 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    void PaintBlocks(QPainter& pPainter);

    FrmDrawLevel& owner_;
    DrawLevelModel& model_;
    GuiContext& ctx_;
};

/// FrmDrawLevel: the modeless window of FADE_DRAW and FADE_BG over DrawLevelModel. Draw
/// mode: the offset fader SliderLevel (-128..128) and the buttons "Clear" and "Close". BG
/// mode: SliderLevel is the BG level (0..255), the fade-in and fade-out times in ms, and the
/// buttons "Save" and "Close". A 50 ms timer watches the selection and the current track.
/// Closing saves the envelopes and remembers the window's place under "Draw".
class FrmDrawLevel : public QDialog {
    Q_OBJECT
public:
    FrmDrawLevel(GuiContext& pContext, QWidget* pParent = nullptr);
    ~FrmDrawLevel() override;

    /// Opens the model in pMode; false (the window should then be deleted) when refused.
    bool Start(DrawMode pMode);

    DrawLevelModel& Model() { return model_; }
    PictureFade* Picture() const { return picture_; }
    QSlider* Slider() const { return slider_; }
    QLineEdit* FadeInBox() const { return fadeIn_; }
    QLineEdit* FadeOutBox() const { return fadeOut_; }
    QPushButton* FirstButton() const { return first_; }
    QPushButton* CloseButton() const { return close_; }
    /// The main window's tracks changed: redraw them.
    void RedrawMain();

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void Watch();
    void SliderMoved(int pValue);
    void SliderReleased();
    void FirstClicked();

    GuiContext& ctx_;
    DrawLevelModel model_;
    PictureFade* picture_ = nullptr;
    QSlider* slider_ = nullptr;
    QLineEdit* fadeIn_ = nullptr;
    QLineEdit* fadeOut_ = nullptr;
    QPushButton* first_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer watch_;
};

} // namespace tarvok
