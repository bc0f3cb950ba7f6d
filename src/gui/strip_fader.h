#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

namespace tarvok {

/// A stereo fader of the track strip and the master: two level-index sliders (0..255) and a
/// link switch. While linked, moving either side moves both. Double click sets both to the
/// unity level.
class StripFader : public QWidget {
    Q_OBJECT
public:
    StripFader(int pUnity, QWidget* pParent);

    void SetValues(int pLeft, int pRight, bool pLinked);
    int Left() const;
    int Right() const;
    bool Linked() const;

signals:
    /// The user changed the values or the link switch.
    void Changed(int pLeft, int pRight, bool pLinked);
    /// The pointer rests on the fader.
    void Hovered();

protected:
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void enterEvent(QEnterEvent* pEvent) override;

private:
    void Moved(int pSide, int pValue);

    int unity_;
    QSlider* left_ = nullptr;
    QSlider* right_ = nullptr;
    QToolButton* link_ = nullptr;
    bool setting_ = false;
};

} // namespace tarvok
