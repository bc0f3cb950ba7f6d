#pragma once

#include <QWidget>

#include <vector>

class QPushButton;

namespace tarvok {

class FrmMain;
class MainLogic;
class UC_Fader;
class UC_IOSelector;
class UC_VVU;

/// The mixer-like strip: one column per track with the number button, the play and record
/// input/output selector, the stereo fader and the meter.
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
        UC_IOSelector* Selector = nullptr;
        UC_Fader* Fader = nullptr;
        UC_VVU* Meter = nullptr;
    };
    void Build(int pCount);

    FrmMain& owner_;
    MainLogic& logic_;
    std::vector<Column> columns_;
};

} // namespace tarvok
