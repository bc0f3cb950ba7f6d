#pragma once

#include "core/fade_table.h"

#include <QString>
#include <QWidget>

namespace tarvok {

/// A vertical stereo fader over level indices 0..255 with a scale in dB taken from the fade
/// table, so that its marks sit where the table puts each level. Two thumbs (left, right)
/// move together while linked; a right-button release toggles the link; a double click sets
/// both to the unity level. Dragging, the wheel and the arrow keys move by whole indices.
///
/// Use: `auto* f = new UC_Fader(parent); f->SetFadeTable(project.Fades, project.UnityLevel);
/// f->SetLevels(track.LevelL, track.LevelR); f->SetLinked(track.LevelLinked != 0);` and
/// connect LevelsChanged / Released / LinkChanged to store the values back. Setters never
/// emit signals; only the user's actions do.
class UC_Fader : public QWidget {
    Q_OBJECT
public:
    explicit UC_Fader(QWidget* pParent = nullptr);

    /// The table the scale is drawn from and the index a double click returns to.
    void SetFadeTable(const FadeTable& pTable, int pUnityLevel);
    void SetLevels(int pLeft, int pRight);
    int LevelL() const { return left_; }
    int LevelR() const { return right_; }
    void SetLinked(bool pLinked);
    bool Linked() const { return linked_; }
    /// Whether the dB marks are drawn (a narrow strip fader may leave them out).
    void SetScaleVisible(bool pVisible);
    /// Widens the scale and the groove's room by the display size factor pRate.
    void SetSizeRate(double pRate);

    /// "-∞db" for index 0, else the level in dB formatted "00.0" and "db".
    QString LevelText(int pIndex) const;
    /// The fader's text: LevelText(left) + " : " + LevelText(right).
    QString FaderText() const;

    /// The index at a y position of the groove, and the y of an index (for tests and for
    /// callers that draw next to the fader).
    int IndexAtY(int pY) const;
    int YOfIndex(int pIndex) const;

    /// The keyboard modifiers held during the user's action that sent the last signal (Alt
    /// gangs the track faders).
    Qt::KeyboardModifiers ActionModifiers() const { return mods_; }
    /// True while a double click sends its signals (the levels go to the unity level).
    bool ResettingToUnity() const { return resetting_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// The user moved the fader (drag, wheel, key, double click).
    void LevelsChanged(int pLeft, int pRight);
    /// The left button was released after a move.
    void Released(int pLeft, int pRight);
    /// The right button toggled the link.
    void LinkChanged(bool pLinked);
    /// The pointer moved over the fader without a button held.
    void Hovered();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    /// Width of the dB scale at the display size factor.
    int ScaleWidth() const;
    double sizeRate_ = 1.0;
    int GrooveTop() const;
    int GrooveBottom() const;
    void MoveBy(int pStep, bool pLeft, bool pRight);
    void SetFromUser(int pLeft, int pRight);

    FadeTable table_ {};
    int unity_ = 207;
    int left_ = 207;
    int right_ = 207;
    bool linked_ = true;
    bool scale_ = true;
    bool dragging_ = false;
    bool dragLeft_ = true;
    bool dragRight_ = true;
    int dragStartY_ = 0;
    int dragStartL_ = 0;
    int dragStartR_ = 0;
    Qt::KeyboardModifiers mods_ = Qt::NoModifier;
    bool resetting_ = false;
};

} // namespace tarvok
