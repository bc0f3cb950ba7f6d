#pragma once

#include <QWidget>

#include <vector>

class QPushButton;
class QToolButton;
class QFrame;

namespace tarvok {

class FrmMain;
class MainLogic;
class StripFader;

/// The mixer-like strip: one column per track with the number button, the play and record
/// switches (the place of the input/output selector), the stereo fader and the meter.
class TrackStrip : public QWidget {
    Q_OBJECT
public:
    TrackStrip(FrmMain& pOwner, MainLogic& pLogic, QWidget* pParent);

    /// Rebuilds the columns when the track count changed and copies every track's values in.
    void Refresh();
    int Columns() const { return static_cast<int>(columns_.size()); }
    QPushButton* NumberButton(int pTrack) const;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    struct Column {
        QWidget* Box = nullptr;
        QPushButton* Number = nullptr;
        QToolButton* Play = nullptr;
        QToolButton* Rec = nullptr;
        StripFader* Fader = nullptr;
        QFrame* Meter = nullptr;
    };
    void Build(int pCount);

    FrmMain& owner_;
    MainLogic& logic_;
    std::vector<Column> columns_;
};

/// "-∞db" for level index 0, else the level's dB value with one decimal and "db".
QString LevelText(const MainLogic& pLogic, int pLevel);
/// "left : right" of two level indices.
QString FaderText(const MainLogic& pLogic, int pLeft, int pRight);

} // namespace tarvok
