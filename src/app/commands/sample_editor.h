#pragma once

#include "base/text_marks.h"
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tarvok {

class MainLogic;
class Transport;

/// Texts of the sample editor.
inline constexpr const char* kSeMaking = N_("選択範囲をファイル化…");
inline constexpr const char* kSeTitle = N_("波形編集");
inline constexpr const char* kSeNothingSelected = N_("選択されていません");
inline constexpr const char* kSeLengthChanged
    = N_("長さが変更されています。これより後のブロックを移動しますか？");
inline constexpr const char* kSeFinished = N_("処理終了");

/// The frames a view of this zoom shows per pixel column and the pixels a frame takes.
int32_t SeFramesPerColumn(int32_t pZoom);
int32_t SePixelsPerFrame(int32_t pZoom);

/// SAMPLEEDIT, the main window's half of opening: refusals, then the selection of the
/// current track rendered alone (block levels only) into a new working file, which becomes
/// pLogic.SampleEditFile with its frame count in SampleEditFrames. True when the editor may
/// open on it; a failed render ends the command with EndProc and gives false.
bool PrepareSampleEdit(MainLogic& pLogic);

/// The command: PrepareSampleEdit, then the front end's SampleEditorOpener shows the editor.
/// Without an opener the rendered file is deleted again and the command is unavailable.
bool SampleEditCommand(MainLogic& pLogic);

/// The main window's half of closing: places SampleEditFile (when it exists) over the
/// selection of the current track as one editing step, asking whether later blocks move
/// when the length changed; ends with EndProc either way.
void SampleEdit2(MainLogic& pLogic);

/// The sample editor without its window: the edit chain over the current file, the window
/// buffer, zoom and the pixel mappings, selection, the pencil, the edits, playback through
/// the file preview, and closing. The window FrmSampleEdit draws from it and forwards its
/// mouse, keys and buttons to it; the CLI drives it by frames and values.
class SampleEditor {
public:
    /// Opens on pLogic.SampleEditFile. pTransport (may be null) plays the file preview.
    SampleEditor(MainLogic& pLogic, Transport* pTransport, int32_t pViewWidth = 800,
        int32_t pViewHeight = 256);
    /// Closes with Cancel when Close was never called.
    ~SampleEditor();
    SampleEditor(const SampleEditor&) = delete;
    SampleEditor& operator=(const SampleEditor&) = delete;

    // The view.

    /// The waveform area's size in pixels; the buffer follows the view.
    void SetViewSize(int32_t pWidth, int32_t pHeight);
    int32_t ViewWidth() const { return viewWidth_; }
    int32_t ViewHeight() const { return viewHeight_; }
    int32_t Zoom() const { return zoom_; }
    int32_t FramesPerColumn() const { return SeFramesPerColumn(zoom_); }
    int32_t PixelsPerFrame() const { return SePixelsPerFrame(zoom_); }
    /// Frames the view spans (the buffer's centring width).
    int32_t ViewFrames() const;
    int32_t ViewStart() const { return viewStart_; }
    /// Scrolls (limited to 0..length); the buffer is refilled when the view leaves it.
    void SetViewStart(int32_t pFrame);
    /// Sets Z (1..2048, a power of two) and centres the view on the selection's middle.
    void SetZoom(int32_t pZoom);
    /// Button 0 zooms out (Z doubled), button 1 in (Z halved).
    void ZoomButton(int32_t pIndex);
    /// The slider's small step: Z frames, 1 below Z 32.
    int32_t SmallStep() const { return zoom_ < 32 ? 1 : zoom_; }

    /// The frame under pixel column pX (rounded), limited to 0..length-1.
    int32_t FrameAtX(int32_t pX) const;
    /// The pixel column of a frame's left edge (may lie outside the view).
    int64_t XOfFrame(int64_t pFrame) const;
    /// The zero line of channel pChannel (0 left, 1 right) in pixels from the top.
    double ZeroLine(int32_t pChannel) const;
    /// Pixels per unit of sample value: height / 131072.
    double Scale() const { return viewHeight_ / 131072.0; }
    /// The sample value at height pY on channel pChannel, rounded and limited to ±32767.
    int32_t ValueAtY(int32_t pChannel, int32_t pY) const;
    /// The channel of the half in which pY lies (lower half: right).
    int32_t ChannelAtY(int32_t pY) const { return pY >= viewHeight_ / 2 ? 1 : 0; }

    /// One pixel column of the waveform with more than 3 frames per column: the largest
    /// magnitude per channel. With 1 to 3 frames per column: the first frame's value.
    struct Column {
        std::array<int32_t, 2> Value {};
        bool Valid = false; ///< false after the end of the file or outside the buffer
    };
    /// The columns of the view when a column holds at least one frame (Z >= 32).
    std::vector<Column> Columns() const;
    /// One drawn frame when a frame takes several pixels.
    struct Point {
        int32_t Frame = 0;
        int64_t X = 0;
        std::array<int32_t, 2> Value {};
    };
    /// The frames of the view (and one beyond each edge) when a frame takes several pixels.
    std::vector<Point> Points() const;
    /// True at Z <= 2, where frames show their drawing handles.
    bool ShowsHandles() const { return zoom_ <= 2; }

    // The file and the buffer.

    const std::string& CurrentFile() const { return currentFile_; }
    int32_t Length() const { return length_; }
    int32_t EditNumber() const { return editNumber_; }
    /// The chain file of pNumber (0: SampleEditFile).
    std::string ChainFile(int32_t pNumber) const;
    std::string ClipFile() const;
    int32_t BufferFirst() const { return bufferFirst_; }
    int32_t BufferFrames() const { return static_cast<int32_t>(buffer_.size() / 2); }
    bool InBuffer(int64_t pFrame) const
    {
        return pFrame >= bufferFirst_ && pFrame < bufferFirst_ + BufferFrames();
    }
    /// A buffered sample; 0 outside the buffer.
    int32_t Sample(int64_t pFrame, int32_t pChannel) const;

    // The selection.

    int32_t SelFirst() const { return selFirst_; }
    int32_t SelLast() const { return selLast_; }
    /// Sets the selection (ordered and limited to 0..length-1).
    void Select(int32_t pFirst, int32_t pLast);
    /// Left press without Shift at pX: drags an edge within 2 pixels of it, else starts a new
    /// selection there.
    void SelectDown(int32_t pX);
    void SelectMove(int32_t pX);
    void SelectUp();
    /// True while a selection drag runs.
    bool Selecting() const { return dragEdge_ != DragEdge::None; }
    /// True when pX lies within 2 pixels of either selection edge (the resize pointer).
    bool NearEdge(int32_t pX) const;

    // The pencil.

    /// Starts a stroke on a channel (Shift + left press); the GUI passes the press's half.
    void StrokeBegin(int32_t pChannel);
    /// One pointer position of the stroke, as a frame and a value (already mapped). Frames
    /// outside the file or the buffer are ignored; false then.
    bool StrokePoint(int32_t pFrame, int32_t pValue);
    /// Shift + left press, moves and release in pixels.
    void PencilDown(int32_t pX, int32_t pY);
    void PencilMove(int32_t pX, int32_t pY);
    /// Writes the stroke as one edit; false when there was none or writing failed.
    bool StrokeEnd();
    bool Stroking() const { return strokeActive_; }

    // The edits (menu "編集" and "無音"). Each is refused while busy.

    bool Cut();
    bool Delete();
    bool Copy();
    bool Paste();
    bool Undo();
    bool Redo();
    bool SelectAll();
    /// pChannels: bit 0 left, bit 1 right (3 "L and R", 1 "L", 2 "R").
    bool Silence(int32_t pChannels);
    /// Menu "編集" item 0..6.
    bool EditMenu(int32_t pIndex);
    bool Busy() const { return busy_; }

    // Playback.

    /// 0 the selection ("範囲内"), 1 the whole file ("全て").
    int32_t PlayMode() const { return playMode_; }
    /// Chooses a play mode and plays (the menu items and F5, F6).
    bool ChoosePlayMode(int32_t pMode);
    bool Play();
    void Stop();
    void Pause();
    /// Timer1: moves the play cursor and refills the preview.
    void Tick();
    bool IsPlaying() const;
    bool IsPaused() const;
    /// The play cursor's frame, or -1 when hidden.
    int32_t HeadFrame() const { return headFrame_; }

    // The strips.

    /// The message strip.
    const std::string& Message() const { return message_; }
    /// The information strip's five values: total, view start, selection start and end and
    /// selection length, as times.
    std::array<std::string, 5> InfoTexts() const;
    static const std::array<const char*, 5>& InfoLabels();
    /// A click on field pIndex: refresh, scroll to the start, scroll to the selection's
    /// start or end, zoom to fit the selection.
    void InfoClick(int32_t pIndex);

    /// Called after every change the window must redraw.
    std::function<void()> OnChange;

    // Closing.

    /// OK (pOk true) or Cancel: stops playback, stores the play mode, leaves the result in
    /// SampleEditFile (or deletes it on Cancel), removes the chain and clip files and calls
    /// SampleEdit2. Only the first call does anything.
    void Close(bool pOk);
    bool Closed() const { return closed_; }

private:
    enum class DragEdge { None, Start, End, New };

    bool Load(const std::string& pFile);
    void FillBuffer();
    void EnsureBuffer();
    void CentreOn(int64_t pFrame);
    void SetMessage(std::string pText);
    void Changed();
    /// One part of an edit's new file: frames [From, To) of File, or Frames from memory
    /// when File is empty.
    struct Piece {
        Piece() = default;
        Piece(std::string pFile, int64_t pFrom, int64_t pTo)
            : File(std::move(pFile))
            , From(pFrom)
            , To(pTo)
        {
        }
        std::string File;
        int64_t From = 0;
        int64_t To = 0;
        int32_t Silence = 0; ///< channels written as zeros (bit 0 left, bit 1 right)
        std::vector<int16_t> Frames; ///< interleaved left, right
    };
    /// Runs one edit: a new chain file from the pieces, loaded as current.
    bool RunEdit(const std::vector<Piece>& pPieces);
    bool WritePieces(const std::string& pTarget, const std::vector<Piece>& pPieces);
    bool BeginBusy();
    void EndBusy();

    MainLogic& logic_;
    Transport* transport_;
    int32_t viewWidth_;
    int32_t viewHeight_;
    int32_t zoom_ = 32;
    int32_t viewStart_ = 0;
    std::string currentFile_;
    int32_t length_ = 0;
    int64_t dataOffset_ = 44;
    int32_t editNumber_ = 0;
    std::vector<int16_t> buffer_;
    int32_t bufferFirst_ = 0;
    int32_t selFirst_ = 0;
    int32_t selLast_ = 0;
    DragEdge dragEdge_ = DragEdge::None;
    int32_t anchor_ = 0;
    bool strokeActive_ = false;
    bool strokeTouched_ = false;
    int32_t strokeChannel_ = 0;
    int32_t strokeLow_ = 0;
    int32_t strokeHigh_ = 0;
    int32_t strokeLast_ = 0;
    int32_t playMode_ = 0;
    int32_t headFrame_ = -1;
    bool busy_ = false;
    bool cancelled_ = true;
    bool closed_ = false;
    std::string message_;
};

} // namespace tarvok
