#pragma once

#include "base/text_marks.h"
#include "core/project.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvok {

class MainLogic;

/// Device-independent pixels per twip: the window works in pixels of 1/96 inch, so that a
/// twip measure of the layout becomes twips / 15 pixels on every screen.
inline constexpr int32_t kTwipsPerPixel = 15;
/// Pixels between two lanes.
inline constexpr int32_t kLaneGap = 3;
/// The lowest lane whose label and waveform stay readable: when the lanes asked for would be
/// lower, fewer are shown at once and the rest are reached by scrolling.
inline constexpr int32_t kMinReadableLaneHeight = 24;
/// Half the width of a marker image.
inline constexpr int32_t kMarkHalfWidth = 4;
/// Height of the flag a marker shows at the top and the bottom of the current lane.
inline constexpr int32_t kMarkFlagHeight = 9;
inline constexpr int32_t kMaxZoom = 16384;
inline constexpr int32_t kHSliderMax = 10000;
/// Messages of the view.
inline constexpr const char* kSecondsShown = N_("秒表示");

/// One vertical line of a waveform or an edge, in surface pixels.
struct WaveLine {
    int32_t X = 0;
    int32_t Y1 = 0;
    int32_t Y2 = 0;
};

/// Where one block lies on the surface (all pixels); Visible is false when nothing of it
/// shows.
struct BlockPlacement {
    bool Visible = false;
    int32_t Left = 0; ///< x0
    int32_t Right = 0; ///< right edge of the black rectangle
    int32_t Top = 0;
    int32_t Bottom = 0;
    int32_t FirstPeak = 0; ///< peak entry under x0
    int32_t Columns = 0; ///< columns drawn: 0..Columns
    bool StartLine = false; ///< edge line at Left
    bool EndLine = false; ///< edge line at Right
};

/// A tick of the time scale: the label's left edge and its text ("|" and a time).
struct ScaleTick {
    int32_t X = 0;
    std::string Label;
};

/// A point of an envelope polyline.
struct EnvPoint {
    int32_t X = 0;
    int32_t Y = 0;
};

/// Drops the inner points of every horizontal run of a polyline (points in x order with the
/// same y as both neighbours), so that a flat stretch is one line however many pixels it
/// spans. The line drawn is the same.
void MergeFlatRuns(std::vector<EnvPoint>& pLine);

/// A take being recorded, placed as a block on its lane over the peaks gathered so far.
struct RecordingLane {
    Block Place;
    const PeakArray* Peaks = nullptr;
};

/// Alt-ganged track faders. Moves every track but pTrack by pDeltaL and pDeltaR level
/// steps, held to 0..255; a linked track takes its left value on the right too. Returns
/// the tracks whose levels changed.
std::vector<int32_t> GangTrackLevels(
    Project& pProject, int32_t pTrack, int32_t pDeltaL, int32_t pDeltaR);
/// Copies the link switch of pTrack to every other track.
void CopyTrackLink(Project& pProject, int32_t pTrack);
/// Sets both levels of every track to the unity level.
void AllTracksToUnity(Project& pProject);

/// The geometry of the main window's track area: lane heights and tops, vertical and
/// horizontal scrolling, zoom, level zoom, marks in pixels, the time-scale ticks and the
/// pixel columns of every waveform. It owns no widgets: the window asks it where things go
/// and paints them. The view state that belongs to the project (ViewStart, Zoom,
/// ViewTrackCount, ViewScroll, LevelZoomDB, marks, CurrentTrack) is read and written in the
/// project; the rest is kept here and recomputed by Arrange.
class MainView {
public:
    explicit MainView(MainLogic& pLogic);

    // Geometry kept by the view.
    int32_t ViewWidth = 800;
    int32_t SurfaceHeight = 400;
    int32_t TrackHeight = 50;
    int32_t HalfHeight = 25;
    std::vector<int32_t> TrackY;
    int32_t ScrollOffset = 0;
    double WaveScale = 0.0;
    int32_t PointRadius = 4;
    /// 0: zooming centres the selection; 1: it centres the head ("ZoomMode").
    int32_t ZoomMode = 0;

    /// Frames per pixel: Zoom x SampleStep (at least 1).
    int64_t Fpp() const;

    /// Lane geometry for a lane container that may be pAvailablePx pixels high and a surface
    /// pViewWidthPx wide: TrackHeight (at least 3), TrackY, ScrollOffset, PointRadius,
    /// WaveScale. Also keeps the main-window logic's track-area width current.
    void Arrange(int32_t pAvailablePx, int32_t pViewWidthPx);
    /// Height of the lane container for the current lanes: (n + 1) x h + 3n + 5, or the
    /// whole room when the lanes are held to their readable height and scroll.
    int32_t ContainerHeight() const;
    /// The number of lanes shown at once less one: ViewTrackCount, or fewer when that many
    /// lanes would be lower than kMinReadableLaneHeight.
    int32_t ShownTrackCount() const { return shown_; }
    /// True when some lanes are hidden (the vertical bar is shown).
    bool VerticalBarShown() const;

    // Vertical scrolling.
    /// Shows n + 1 lanes (n held to 0..LastTrackNo); centres the current track.
    void SetViewTrackCount(int32_t pCount);
    /// Scrolls so that track t's lane is centred; nothing when every lane is shown.
    void ScrollToTrack(int32_t pTrack);
    /// The vertical bar moved to pValue (-1000..0); true when ViewScroll changed.
    bool SetVerticalBar(int32_t pValue);
    /// The value of the vertical bar: -ViewScroll, or 0 with every lane shown.
    int32_t VerticalBarValue() const;
    /// Top of lane t on the surface (TrackY + ScrollOffset).
    int32_t LaneTop(int32_t pTrack) const;
    /// True when any row of lane t lies on the surface.
    bool LaneVisible(int32_t pTrack) const;
    /// The track whose lane holds surface row y: LastTrackNo below the last lane.
    int32_t TrackFromY(int32_t pY) const;
    /// True when y lies in the upper half of lane t (range selection there).
    bool InUpperHalf(int32_t pTrack, int32_t pY) const;

    // Horizontal scrolling and zoom.
    /// ViewStart = p rounded down to whole pixels, held to 0..ProjectLength; nothing for an
    /// empty project.
    void ScrollTo(int64_t pFrame);
    /// The horizontal slider moved to pValue (0..10000); true when ViewStart changed.
    bool SetSlider(int32_t pValue);
    /// The value of the horizontal slider for ViewStart.
    int32_t SliderValue() const;
    /// Zoom out (ZOOM_MINUS, pIn false) or in (ZOOM_PLUS), re-centres and shows the visible
    /// time in the message area.
    void ZoomStep(bool pIn);
    /// The whole project (display button 1).
    void ZoomWhole();
    /// The mouse wheel over the track area with Ctrl: one zoom step in (pIn) or out that
    /// keeps the frame under column pX where it is, with the visible time in the message
    /// area.
    void ZoomAt(bool pIn, int32_t pX);
    /// The mouse wheel with Shift: scrolls by pNotches tenths of the surface's width (later
    /// for a positive count).
    void ScrollNotches(int32_t pNotches);
    /// Zoom so that pLength frames fit the surface; ViewStart 0.
    void ZoomToFit(int64_t pLength);
    /// Zoom to the selection and centre it.
    void ZoomToSelection();
    /// LevelZoomDB +3 (pUp) or -3, held to -30..30.
    void LevelZoom(bool pUp);
    /// "12.3秒表示": the time the surface shows.
    std::string VisibleTimeMessage() const;

    // Pixels and frames.
    /// x of a timeline frame on the surface (may be outside it).
    int32_t XOfFrame(int64_t pFrame) const;
    /// The head in pixels from the left edge of the track area: (Head - ViewStart) / fpp,
    /// integer division, or -9 (just off the area) when the head lies before the view.
    int32_t HeadX() const;
    /// The timeline frame under surface column x: x x fpp + ViewStart.
    int64_t FrameOfX(double pX) const;
    /// Left edge of a marker image for mark pFrame (centre at the mark's x).
    int32_t MarkImageLeft(int64_t pFrame) const;
    /// The mark a marker image at pLeft stands for (at least 0).
    int32_t MarkFromImage(int32_t pLeft) const;
    /// The marker flag under surface point (pX, pY): 0 in, 1 out, -1 none. The flags lie at
    /// the top and the bottom of the current track's lane, half a marker image either side
    /// of the mark's line; where both cover the point the nearer line wins, and on a tie the
    /// out mark right of the line, the in mark left of it.
    int32_t MarkerAt(int32_t pX, int32_t pY) const;
    /// Drags marker pMark (0 in, 1 out) so that its line lies at surface column pX. When the
    /// out mark would lie left of the in mark, the other mark takes the same place (the two
    /// move together).
    void MoveMarker(int32_t pMark, int32_t pX);
    /// The box that shows the second heard while a mark is previewed: left and right
    /// pixels, from the middle of the current lane to its bottom. pMark is the dragged
    /// mark's frame; pDirection is 0 at the press (the box ends 8 pixels left of the marker
    /// image), 1 moving right (it starts at the mark), -1 moving left (it ends there).
    struct SearchBox {
        int32_t Left = 0;
        int32_t Right = 0;
        int32_t Top = 0;
        int32_t Bottom = 0;
    };
    SearchBox SearchBoxAt(int64_t pMark, int pDirection) const;

    // Track selection.
    /// Makes t current; Ctrl (2) adds it to the selection, Shift (1) selects the tracks
    /// between the current one and t, otherwise only t is selected. Nothing for t = current.
    /// Returns the tracks whose Selected flag changed.
    std::vector<int32_t> SetCurrentTrack(int32_t pTrack, int pModifiers);

    // Drawing.
    /// The takes being recorded, one per armed track (the first target recording into it),
    /// while the recording engine runs and "MaxPow" asks for waveforms while recording;
    /// empty otherwise. The peaks point into the engine and hold only until its next tick.
    std::vector<RecordingLane> RecordingBlocks() const;
    /// Placement of a block on the surface.
    BlockPlacement PlaceBlock(const Block& pBlock, const PeakArray& pPeaks) const;
    /// Appends the waveform columns of a placed block to pOut.
    void BlockWave(
        const BlockPlacement& pPlace, const PeakArray& pPeaks, std::vector<WaveLine>& pOut) const;
    /// The time-scale ticks; none for an empty project.
    std::vector<ScaleTick> ScaleTicks() const;
    /// The envelope polyline of track t, channel pChannel (0 left, 1 right); empty when
    /// nothing is drawn.
    std::vector<EnvPoint> EnvelopeLine(int32_t pTrack, int pChannel) const;
    /// y of an envelope level on lane t for channel pChannel.
    int32_t EnvelopeY(int32_t pTrack, int pChannel, int32_t pLevel) const;
    /// The envelope level at row y of lane t for channel pChannel (the inverse of
    /// EnvelopeY: the rows above the channel's baseline divided by the pixels of one level
    /// step), held to 0..255. A fade point dragged to y takes this level.
    int32_t EnvelopeLevelOfY(int32_t pTrack, int pChannel, double pY) const;
    /// Computes the dots of the fade points of track t, storing their centres in the points
    /// (for hit testing); returns the indices of the points shown.
    std::vector<int32_t> PlaceFadePoints(int32_t pTrack);
    /// The selection box on a lane: [left, right) pixels; empty (left >= right) when the
    /// selection is empty or off the surface.
    std::pair<int32_t, int32_t> SelectionSpan() const;
    /// Text of a block's label: name, group, block levels.
    static std::string BlockLabel(const Block& pBlock);
    /// Text of a lane's label: track number from 1 and name.
    std::string TrackLabel(int32_t pTrack) const;

private:
    void UpdateScrollOffset();
    void RecomputeScale();
    void Redraw();

    /// True when the lanes are held to their readable height and fewer are shown than asked.
    bool HeldToReadable() const;

    MainLogic& logic_;
    int32_t available_ = 400;
    int32_t shown_ = 0;
};

} // namespace tarvok
