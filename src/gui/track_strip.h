#pragma once

#include "engine/level_meters.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QMenu;
class QPushButton;

namespace tarvok {

class FrmMain;
class MainLogic;
class UC_Fader;
class UC_IOSelector;
class UC_TrackVU;

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
    UC_IOSelector* Selector(int pTrack) const;
    UC_TrackVU* Meter(int pTrack) const;
    UC_Fader* Fader(int pTrack) const;
    /// Shows the track meters' values (one pair per track, whole dB).
    void ShowMeters(const std::vector<TrackMeterPair>& pMeters);
    /// The meters' reference level, where their colour changes.
    void SetMeterReference(double pDb);

    /// The input choice menu MenuRecCh of a track: the stereo input of every enabled slot
    /// and its two channels, the track's input ticked; choosing an item routes the track
    /// (disarming overlapping armed tracks). Nothing while recording.
    std::unique_ptr<QMenu> InputMenu(int pTrack);
    /// The output choice menu of a track: every enabled output slot, the track's ticked.
    /// Nothing while playing or recording.
    std::unique_ptr<QMenu> OutputMenu(int pTrack);

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    struct Column {
        QWidget* Box = nullptr;
        QPushButton* Number = nullptr;
        UC_IOSelector* Selector = nullptr;
        UC_Fader* Fader = nullptr;
        UC_TrackVU* Meter = nullptr;
    };
    void Build(int pCount);
    /// The enabled input and output slots (all of them when no sound devices are wired in,
    /// so that routing can still be edited).
    std::array<int32_t, 8> InputSlots() const;
    std::array<int32_t, 8> OutputSlots() const;
    void RefreshColumn(int pTrack);
    /// An Alt-held move of pTrack's fader by the given steps (or its double click) reaches
    /// every other track; their faders show the new values without messages.
    void GangFaders(int pTrack, int pDeltaL, int pDeltaR);

    FrmMain& owner_;
    MainLogic& logic_;
    std::vector<Column> columns_;
    double referenceDb_ = -23.0;
};

} // namespace tarvok
