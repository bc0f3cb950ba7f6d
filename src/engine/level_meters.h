#pragma once

#include "engine/play_mode.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvok {

class PlaybackEngine;
class Project;

/// Floor of the track meters in dB below full scale.
inline constexpr int32_t kMeterFloorDb = 50;

/// Left and right value of one track's meter in whole dB (0 full scale, -50 floor).
using TrackMeterPair = std::array<int16_t, 2>;

/// Track meters, one TimerVU tick: every value falls back 1 dB, then rises to the peak entry
/// of each heard block at the head (PlayMode 1: the playing tracks; 10..12 the current
/// track; otherwise the selected tracks). With pReset the values are left as they are.
/// pMeters is resized to the track count (new entries at the floor).
void UpdateTrackMeters(
    const Project& pProject, PlayMode pPlayMode, std::vector<TrackMeterPair>& pMeters, bool pReset);
/// Pixels from the top of a track meter pHeight pixels high to the top of its bar.
int32_t TrackMeterBarTop(int32_t pValue, int32_t pHeight);

/// Settings the master meters read.
struct MasterMeterSettings {
    int32_t RMSP3 = 0;
    float PlayTrimDB = 0.0f;
    float VULevelTrim = -23.0f;
};

/// One tick's master measurement over the mixed buffers still held in the ring.
struct MasterReading {
    std::array<float, 2> RmsLin { 0, 0 }; ///< fraction of 32767
    std::array<float, 2> RmsDb { -110, -110 };
    std::array<float, 2> PeakDb { -110, -110 };
    int64_t Frames = 0; ///< frames measured
};

/// The master measurement around the head (0.2 s before to 0.1 s after it when playing
/// forward, 0.1 s before to 0.2 s after when not), summed over the used output slots.
/// With pReset nothing is measured.
MasterReading UpdateMasterMeters(
    PlaybackEngine& pEngine, const MasterMeterSettings& pSettings, bool pReset);

/// The numeric readout of the master section for the shown left and right values in dB:
/// "-13 -07", "-∞" below -98. Values above 0 dB are shown with "+".
std::string MasterReadoutText(double pLeftDb, double pRightDb);

/// The needle meters' value: 1.0 at the reference level (VULevelTrim below full scale,
/// before the playback trim).
double NeedleValue(float pRmsLin, const MasterMeterSettings& pSettings);

/// The vertical bar meter of the master section, values in tenths of dB.
class BarMeter {
public:
    int32_t Max = 0;
    int32_t Min = -500;
    bool PeakIndp = true;
    int32_t RedPoint = -230;
    int32_t PeakDecRate = 30;

    /// One call: the bar falls by (Max - Min) / PeakDecRate and jumps up to pRms; the peak
    /// falls likewise and jumps to pPeak (PeakIndp), or falls ten times as fast and follows
    /// pRms.
    void Draw(int32_t pRms, int32_t pPeak);
    /// Shows pBar and pPeak as they are (clamped to Min..Max), without the fall-back.
    void Set(double pBar, double pPeak);
    void Clear();
    double Bar() const { return bar_; }
    double Peak() const { return peak_; }
    /// Pixels from the top of a meter pHeight high where value pValue is drawn.
    double PixelFromTop(double pValue, int32_t pHeight) const;

private:
    double bar_ = -500;
    double peak_ = -500;
};

/// A scale line of the horizontal meter: its position in pixels and its text.
struct ScaleMark {
    double X = 0;
    std::string Text;
};

/// The horizontal multi-bar meter of the recording monitor; values in the meter's own unit
/// (dB or linear). Positions are pixels in a picture of Width pixels.
class MultiBarMeter {
public:
    int32_t NumValue = 1; ///< bars - 1
    double Max = 0;
    double Min = -60;
    double RedPoint = -20;
    int32_t DecRate = 100;
    bool PeakIndp = true;
    int32_t BarWidth = 4;
    int32_t LeftMargin = 20;
    int32_t RightMargin = 45;
    int32_t TopMargin = 5;
    int32_t BarMargin = 4;
    int32_t Width = 300;

    /// After a change of size, range or bar count: positions back to the start.
    void SetParms();
    /// Labels "1", "2", ... (pIsNumber) or "L", "R" alternating.
    void SetStrType(bool pIsNumber);
    void SetStr(int32_t pBar, std::string pText);
    /// One call for a bar: value pRms as the bar, pPeak as the peak, pText at the end.
    void DrawVU(int32_t pBar, double pRms, double pPeak, std::string pText);
    /// Positions back to the start for one bar, or every bar for -1.
    void ResetVU(int32_t pBar);
    /// The pixel position of a value.
    int32_t X(double pValue) const;
    /// The usable width: Width less both margins.
    int32_t W() const { return Width - LeftMargin - RightMargin; }
    double BarPosition(int32_t pBar) const { return bars_.at(pBar).Bar; }
    double PeakPosition(int32_t pBar) const { return bars_.at(pBar).Peak; }
    const std::string& Label(int32_t pBar) const { return bars_.at(pBar).Label; }
    const std::string& Text(int32_t pBar) const { return bars_.at(pBar).Text; }
    /// Top of bar pBar in pixels, and the bar height.
    int32_t BarTop(int32_t pBar) const { return TopMargin + pBar * (BarHeight() + BarMargin); }
    int32_t BarHeight() const { return 2 * BarWidth - 1; }
    /// The scale marks of pDbMode (0 linear, 1 dB); pWidthTwips decides the dense dB scale.
    std::vector<ScaleMark> Scale(int32_t pDbMode, int32_t pWidthTwips) const;

private:
    struct BarState {
        double Bar = 0;
        double Peak = 0;
        std::string Label;
        std::string Text;
    };
    std::vector<BarState> bars_ = std::vector<BarState>(2);
};

/// A value in the form "00.0": at least two digits before the point, one after.
std::string FormatDb00_0(double pValue);

} // namespace tarvok
