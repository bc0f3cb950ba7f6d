#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvok {

class MainLogic;

/// One handle of the drawing window: its place in pixels and the envelope frame and level
/// index it stands for.
struct DrawHandle {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Frame = 0;
    int32_t Level = 0;
};

/// Which of its two jobs the drawing window does.
enum class DrawMode {
    Draw, ///< free drawing with handles and the offset fader (FADE_DRAW)
    Background, ///< the BG fade: the selection lowered to one level and brought back (FADE_BG)
};

/// Selections shorter than this many samples get no BG fade handles.
inline constexpr int32_t kBgMinimumSamples = 0x10000;
/// Radius of a handle's circle and its hit distance, in pixels.
inline constexpr int32_t kHandleRadius = 8;

/// The drawing window without its window: the handles over the selection of the current
/// track's envelope, their geometry, applying them to the current or the selected tracks,
/// the offset fader and "Clear" of the draw mode, the BG fade with its level and times,
/// the watch of the selection and the current track, and closing with the envelopes saved.
/// While it is open MainLogic::DrawWindowOpen refuses the edits.
///
/// Handle 0 is always the selection start and handle 1 its end; the handles from 2 on lie
/// between them, sorted by x.
class DrawLevelModel {
public:
    explicit DrawLevelModel(MainLogic& pLogic);

    /// Opens the window for FADE_DRAW or FADE_BG on a picture of pWidth x pHeight pixels:
    /// needs an idle editor and a selection (else "選択されていません") with MarkIn >= 0
    /// and MarkOut inside the envelope; takes an undo snapshot and sets DrawWindowOpen. In
    /// BG mode the fader and the times come from the settings and the fade is built. False,
    /// with nothing changed, when refused.
    bool Open(DrawMode pMode, int32_t pWidth, int32_t pHeight);
    /// Saves the envelope of every selected track (and the current one), clears
    /// DrawWindowOpen and redraws the main window.
    void Close();
    bool IsOpen() const { return open_; }
    DrawMode Mode() const { return mode_; }

    /// A new picture size: geometry and handles rebuilt, nothing applied.
    void Resize(int32_t pWidth, int32_t pHeight);
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    const std::vector<DrawHandle>& Handles() const { return handles_; }
    /// The handle being dragged, -1 for none.
    int32_t Dragging() const { return dragging_; }

    // Geometry.
    /// Envelope frames per pixel: selection frames / 2048 / width.
    double FramesPerPixel() const { return fpp_; }
    /// The first frame shown: MarkIn / 2048 rounded.
    int32_t FirstFrame() const { return first_; }
    int32_t XOfFrame(double pFrame) const;
    int32_t YOfLevel(int32_t pLevel) const;
    /// The frame under pixel column x, held to the envelope's last frame.
    int32_t FrameOfX(int32_t pX) const;
    /// The level of pixel row y, held to 0..255.
    int32_t LevelOfY(int32_t pY) const;
    /// The handle within kHandleRadius pixels of (x, y) in both directions (the last one
    /// when several are), or -1.
    int32_t HitTest(int32_t pX, int32_t pY) const;

    // Display.
    /// The y of the envelope curve at pixel column pColumn: the current track's left
    /// channel (the right one when only it is on), moved by the offset being previewed.
    double CurveY(int32_t pColumn) const;
    /// The head's x while it lies inside the selection.
    std::optional<int32_t> HeadX() const;
    /// The caption: the description of FADE_DRAW or FADE_BG.
    std::string Caption() const;

    // Mouse.
    /// Button press at (x, y): on a handle starts a drag (a right press on handle 2 or
    /// more deletes it instead); a left press on empty space strictly between the start
    /// and end handles adds a handle there and drags it. Without Shift the pressed handle
    /// is applied to the current track. Returns true when something changed.
    bool Press(int32_t pX, int32_t pY, bool pRightButton, bool pShift);
    /// Drag to row y (held to 0..height): the handle moves vertically and, without Shift,
    /// is applied to the current track; the status shows its level.
    void Move(int32_t pY, bool pShift);
    /// Release: without Shift the handle is applied to every selected track.
    void Release(bool pShift);

    /// Recomputes a handle's frame and level from its pixels and applies it: its frame
    /// takes its level, and the segments to its neighbours become straight lines, on the
    /// current track (or every selected track) and each fade channel that is on. Nothing
    /// when two neighbouring handles have the same frame. False when nothing was applied.
    bool ApplyHandle(int32_t pIndex, bool pAllTracks);

    // Draw mode.
    /// The offset fader (-128..128) being dragged: the curve previewed moved by it and the
    /// status shows the start handle's level plus the offset.
    void PreviewOffset(int32_t pOffset);
    /// The offset fader released: the offset is added to the selection's frames of every
    /// selected track and to every handle; the fader goes back to 0.
    void ApplyOffset(int32_t pOffset);
    int32_t Offset() const { return offset_; }
    /// "Clear": the extra handles dropped and the start handle applied to every selected
    /// track, which leaves a straight line from the start value to the end value.
    void Clear();

    // BG mode.
    int32_t BgLevel() const { return bgLevel_; }
    const std::string& FadeInText() const { return fadeInText_; }
    const std::string& FadeOutText() const { return fadeOutText_; }
    void SetFadeInText(std::string pText) { fadeInText_ = std::move(pText); }
    void SetFadeOutText(std::string pText) { fadeOutText_ = std::move(pText); }
    /// The BG fader (0..255) being dragged: the status shows its level.
    void PreviewBgLevel(int32_t pLevel);
    /// The BG fader released: the fade is built again at that level.
    void SetBgLevel(int32_t pLevel);
    /// Builds the BG handles and applies them (see the class comment of the window).
    void BuildHandles();
    /// "Save": the level and, where numeric, the times stored in the settings.
    void SaveBgSettings();

    /// The 50 ms watch: when the selection or the current track changed, the geometry and
    /// handles are rebuilt; in BG mode on the same track the frames the selection left are
    /// first given back the level at the old boundary, then the fade is built again.
    /// Returns true when it rebuilt.
    bool Watch();

private:
    void BuildGeometry();
    void BuildEdgeHandles();
    void Recompute(DrawHandle& pHandle) const;
    void PlaceFromFrame(DrawHandle& pHandle, double pFrame, int32_t pLevel) const;
    void SortExtras();
    std::vector<int32_t> Order() const;
    int32_t ReadChannel() const;
    int32_t EnvelopeAt(int32_t pTrack, int32_t pFrame) const;
    std::vector<int32_t> TargetTracks(bool pAllTracks) const;
    void FillFrames(int32_t pFrom, int32_t pTo, int32_t pBoundary);
    void RedrawMain();

    MainLogic& logic_;
    bool open_ = false;
    DrawMode mode_ = DrawMode::Draw;
    int32_t width_ = 1;
    int32_t height_ = 1;
    double fpp_ = 1.0;
    int32_t first_ = 0;
    std::vector<DrawHandle> handles_;
    int32_t dragging_ = -1;
    int32_t offset_ = 0;
    int32_t bgLevel_ = 128;
    std::string fadeInText_;
    std::string fadeOutText_;
    // What the watch compares.
    int32_t watchedIn_ = 0;
    int32_t watchedOut_ = 0;
    int32_t watchedTrack_ = 0;
};

} // namespace tarvok
