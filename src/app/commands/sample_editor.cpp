#include "app/commands/sample_editor.h"

#include "app/commands/command_dispatch.h"
#include "app/shell/cancel_progress.h"
#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/time_text.h"
#include "core/wave_info.h"
#include "edit/range_edit.h"
#include "engine/playback_engine.h"
#include "render/edit_wave.h"
#include "render/render_tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarvok {

namespace {

constexpr int32_t kMinZoom = 1;
constexpr int32_t kMaxZoom = 2048;
/// Pixels within which a press grabs a selection edge (30 twips at 96 dpi).
constexpr int32_t kEdgeReach = 2;
/// Frames per chunk of the editor's own copies (2 MB of 16-bit stereo).
constexpr int64_t kCopyChunkFrames = 524288;

int32_t Clamp16(double pValue)
{
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(pValue), -32767, 32767));
}

int32_t NextPowerZoom(int32_t pZoom)
{
    int32_t z = kMinZoom;
    while (z < pZoom && z < kMaxZoom)
        z *= 2;
    return z;
}

/// Appends frames [pFrom, pTo) of a 16-bit stereo file at byte pDataOffset to pTarget,
/// writing zeros on the channels of pSilence (bit 0 left, bit 1 right).
bool AppendFrames(const std::string& pSource, int64_t pDataOffset, int64_t pFrom, int64_t pTo,
    int32_t pSilence, const std::string& pTarget)
{
    std::vector<int16_t> data;
    for (int64_t pos = pFrom; pos < pTo;) {
        const int64_t n = std::min(kCopyChunkFrames, pTo - pos);
        data.assign(static_cast<size_t>(n) * 2, 0);
        if (!ReadBytes(
                data.data(), n * kFrameBytes, 0, pSource, pDataOffset + pos * kFrameBytes, 0))
            return false;
        for (size_t i = 0; i < data.size(); i += 2) {
            if ((pSilence & 1) != 0)
                data[i] = 0;
            if ((pSilence & 2) != 0)
                data[i + 1] = 0;
        }
        if (!WriteBytes(data.data(), n * kFrameBytes, 0, pTarget, -1, 0))
            return false;
        pos += n;
    }
    return true;
}

std::string FormatPercent(double pRate)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::clamp(pRate, 0.0, 1.0) * 100.0);
    return text;
}

} // namespace

int32_t SeFramesPerColumn(int32_t pZoom)
{
    return pZoom >= 32 ? std::max<int32_t>(1, static_cast<int32_t>(RoundHalfEven(pZoom / 32.0)))
                       : 1;
}

int32_t SePixelsPerFrame(int32_t pZoom)
{
    return pZoom < 32 ? static_cast<int32_t>(RoundHalfEven(32.0 / std::max(1, pZoom))) : 1;
}

// ---------------------------------------------------------------------------------------
// The main window's half.

bool PrepareSampleEdit(MainLogic& pLogic)
{
    if (!pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();
    if (p.BlockCount() == 0)
        return false;
    if (static_cast<int64_t>(p.MarkOut) - p.MarkIn <= 0) {
        pLogic.ShowMessage(Tr(kSeNothingSelected));
        return false;
    }
    UserInterface& ui = pLogic.Ui();
    ui.ShowMessage(Tr(kSeMaking));
    ui.SetBusy(true);
    pLogic.Busy = true;
    pLogic.CancelRequest = false;

    std::string file = pLogic.Folder().NewTempName(kTempWave);
    bool ok = !file.empty();
    if (ok) {
        RenderRequest request;
        request.File = file;
        request.From = p.MarkIn;
        request.To = p.MarkOut;
        request.Mode = kRenderTrackRaw;
        request.Tracks = p.CurrentTrack;
        request.Label = TrArgs("トラック%1", p.CurrentTrack + 1);
        ok = RenderTracks(p, request, ui, CancelRequestProgress(pLogic)) && FileExists(file);
    }
    const WaveInfo info = ok ? ReadWaveInfo(file) : WaveInfo {};
    if (!ok || info.Valid == 0) {
        if (!file.empty())
            DeleteFileForce(file);
        pLogic.SampleEditFile.clear();
        pLogic.SampleEditFrames = 0;
        pLogic.EndProc();
        return false;
    }
    pLogic.SampleEditFile = file;
    pLogic.SampleEditFrames = info.Frames;
    pLogic.Busy = false;
    ui.SetBusy(false);
    ui.ShowMessage(Tr(kSeTitle));
    return true;
}

bool SampleEditCommand(MainLogic& pLogic)
{
    if (!pLogic.SampleEditorOpener) {
        if (pLogic.CanEdit())
            pLogic.ShowMessage(NotAvailableMessage(kCmdSampleedit));
        return false;
    }
    if (!PrepareSampleEdit(pLogic))
        return false;
    if (pLogic.SampleEditorOpener())
        return true;
    DeleteFileForce(pLogic.SampleEditFile);
    pLogic.SampleEditFile.clear();
    pLogic.SampleEditFrames = 0;
    return false;
}

void SampleEdit2(MainLogic& pLogic)
{
    std::string file = pLogic.SampleEditFile;
    auto forget = [&] {
        pLogic.SampleEditFile.clear();
        pLogic.SampleEditFrames = 0;
    };
    if (file.empty() || !FileExists(file)) {
        forget();
        pLogic.EndProc();
        return;
    }
    if (!pLogic.StartProc(1, 0)) {
        // Refused (the editor cannot close while a job runs, but be safe): nothing placed.
        DeleteFileForce(file);
        forget();
        return;
    }
    Project& p = pLogic.Proj();
    // The editor showed the current track alone, so only its range is replaced; other
    // selected tracks keep their material.
    std::vector<int32_t> selected;
    for (const Track& t : p.Tracks)
        selected.push_back(t.Selected);
    for (Track& t : p.Tracks)
        t.Selected = 0;
    if (p.CurrentTrack >= 0 && p.CurrentTrack < static_cast<int32_t>(p.Tracks.size()))
        p.Tracks[static_cast<size_t>(p.CurrentTrack)].Selected = 1;
    EraseSelected(p, false);
    for (size_t i = 0; i < p.Tracks.size() && i < selected.size(); ++i)
        p.Tracks[i].Selected = selected[i];

    const int32_t length = ReadWaveInfo(file).Frames;
    if (length > 0) {
        if (length != pLogic.SampleEditFrames && pLogic.Ui().AskYesNo(Tr(kSeLengthChanged))) {
            const int64_t shift = static_cast<int64_t>(length) - pLogic.SampleEditFrames;
            for (int32_t i = 0; i < p.BlockCount(); ++i) {
                Block& b = p.Blocks[static_cast<size_t>(i)];
                if (b.TrackNo != p.CurrentTrack || b.StartAdr <= p.MarkIn)
                    continue;
                b.StartAdr = static_cast<int32_t>(
                    std::clamp<int64_t>(b.StartAdr + shift, 0, kMaxLength - 1));
                p.NormalizeBlock(i);
            }
            p.MarkOut = static_cast<int32_t>(
                std::min<int64_t>(static_cast<int64_t>(p.MarkIn) + length, kMaxLength - 1));
        }
        bool cancel = false;
        if (!LoadFileToTrack(p, p.CurrentTrack, file, p.MarkIn, "", pLogic.Folder(),
                pLogic.Options().WFMode, pLogic.Ui(), cancel))
            DeleteFileForce(file);
    } else {
        DeleteFileForce(file);
    }
    forget();
    pLogic.EndProc();
}

// ---------------------------------------------------------------------------------------
// The editor.

SampleEditor::SampleEditor(
    MainLogic& pLogic, Transport* pTransport, int32_t pViewWidth, int32_t pViewHeight)
    : logic_(pLogic)
    , transport_(pTransport)
    , viewWidth_(std::max(1, pViewWidth))
    , viewHeight_(std::max(8, pViewHeight))
{
    playMode_ = std::clamp(logic_.Store().GetSetting("PlayModeSE", int32_t { 0 }), 0, 1);
    Load(logic_.SampleEditFile);
}

SampleEditor::~SampleEditor()
{
    if (!closed_)
        Close(false);
}

std::string SampleEditor::ChainFile(int32_t pNumber) const
{
    return pNumber == 0 ? logic_.SampleEditFile : logic_.Folder().SampleEditName(pNumber);
}

std::string SampleEditor::ClipFile() const { return logic_.Folder().SampleEditClipName(); }

void SampleEditor::SetMessage(std::string pText) { message_ = std::move(pText); }

void SampleEditor::Changed()
{
    if (OnChange)
        OnChange();
}

bool SampleEditor::Load(const std::string& pFile)
{
    const WaveInfo info = ReadWaveInfo(pFile);
    currentFile_ = pFile;
    const bool usable = info.Valid != 0 && info.Bits == 16 && info.Channels == 2;
    length_ = usable ? info.Frames : 0;
    dataOffset_ = usable ? info.DataOffset : 44;
    selLast_ = std::clamp(selLast_, 0, std::max(0, length_ - 1));
    selFirst_ = std::clamp(selFirst_, 0, selLast_);
    viewStart_ = std::clamp(viewStart_, 0, length_);
    FillBuffer();
    return usable;
}

int32_t SampleEditor::ViewFrames() const { return viewWidth_ * FramesPerColumn(); }

void SampleEditor::FillBuffer()
{
    const int64_t size
        = std::min<int64_t>(length_, static_cast<int64_t>(logic_.Proj().SampleRate) * 10);
    const double c = ViewFrames();
    int64_t first = RoundHalfEven(c / 2.0 + viewStart_ - static_cast<double>(size) / 2.0);
    first = std::clamp<int64_t>(first, 0, std::max<int64_t>(0, length_ - size));
    bufferFirst_ = static_cast<int32_t>(first);
    buffer_.assign(static_cast<size_t>(size) * 2, 0);
    if (size > 0)
        ReadBytes(buffer_.data(), size * kFrameBytes, 0, currentFile_,
            dataOffset_ + first * kFrameBytes, 0);
}

void SampleEditor::EnsureBuffer()
{
    if (strokeActive_)
        return; // the drawn samples live only in the buffer until the stroke is written
    const int64_t visible = static_cast<int64_t>(viewWidth_) * FramesPerColumn() / PixelsPerFrame();
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(viewStart_) + visible, length_);
    if (viewStart_ < bufferFirst_ || last > bufferFirst_ + BufferFrames())
        FillBuffer();
}

int32_t SampleEditor::Sample(int64_t pFrame, int32_t pChannel) const
{
    if (!InBuffer(pFrame))
        return 0;
    return buffer_[static_cast<size_t>((pFrame - bufferFirst_) * 2 + (pChannel & 1))];
}

void SampleEditor::SetViewSize(int32_t pWidth, int32_t pHeight)
{
    viewWidth_ = std::max(1, pWidth);
    viewHeight_ = std::max(8, pHeight);
    EnsureBuffer();
}

void SampleEditor::SetViewStart(int32_t pFrame)
{
    viewStart_ = std::clamp(pFrame, 0, length_);
    EnsureBuffer();
    Changed();
}

void SampleEditor::CentreOn(int64_t pFrame)
{
    const int64_t visible = static_cast<int64_t>(viewWidth_) * FramesPerColumn() / PixelsPerFrame();
    SetViewStart(static_cast<int32_t>(std::clamp<int64_t>(pFrame - visible / 2, 0, length_)));
}

void SampleEditor::SetZoom(int32_t pZoom)
{
    zoom_ = std::clamp(NextPowerZoom(pZoom), kMinZoom, kMaxZoom);
    CentreOn((static_cast<int64_t>(selFirst_) + selLast_) / 2);
}

void SampleEditor::ZoomButton(int32_t pIndex)
{
    SetZoom(pIndex == 0 ? std::min(zoom_ * 2, kMaxZoom) : std::max(zoom_ / 2, kMinZoom));
}

int32_t SampleEditor::FrameAtX(int32_t pX) const
{
    const int64_t f = viewStart_
        + RoundHalfEven(static_cast<double>(pX) * FramesPerColumn() / PixelsPerFrame());
    return static_cast<int32_t>(std::clamp<int64_t>(f, 0, std::max(0, length_ - 1)));
}

int64_t SampleEditor::XOfFrame(int64_t pFrame) const
{
    const int64_t d = (pFrame - viewStart_) * PixelsPerFrame();
    const int64_t fpc = FramesPerColumn();
    return d >= 0 ? d / fpc : -((-d + fpc - 1) / fpc);
}

double SampleEditor::ZeroLine(int32_t pChannel) const
{
    return (pChannel == 0 ? viewHeight_ / 4.0 : 3.0 * viewHeight_ / 4.0) - 2.0;
}

int32_t SampleEditor::ValueAtY(int32_t pChannel, int32_t pY) const
{
    return Clamp16((ZeroLine(pChannel) - pY) / Scale());
}

std::vector<SampleEditor::Column> SampleEditor::Columns() const
{
    std::vector<Column> columns(static_cast<size_t>(viewWidth_));
    if (PixelsPerFrame() > 1)
        return columns;
    const int64_t fpc = FramesPerColumn();
    const int64_t step = std::max<int64_t>(1, RoundHalfEven(static_cast<double>(fpc) / 16.0));
    for (int32_t x = 0; x < viewWidth_; ++x) {
        Column& c = columns[static_cast<size_t>(x)];
        const int64_t first = viewStart_ + x * fpc;
        if (first >= length_ || !InBuffer(first))
            continue;
        c.Valid = true;
        if (fpc <= 3) {
            c.Value = { Sample(first, 0), Sample(first, 1) };
            continue;
        }
        const int64_t end = std::min<int64_t>(first + fpc, length_);
        for (int64_t f = first; f < end; f += step) {
            if (!InBuffer(f))
                break;
            for (int32_t ch = 0; ch < 2; ++ch)
                c.Value[static_cast<size_t>(ch)]
                    = std::max(c.Value[static_cast<size_t>(ch)], std::abs(Sample(f, ch)));
        }
    }
    return columns;
}

std::vector<SampleEditor::Point> SampleEditor::Points() const
{
    std::vector<Point> points;
    const int32_t ppf = PixelsPerFrame();
    if (ppf <= 1)
        return points;
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(viewStart_) - 1);
    const int64_t last
        = std::min<int64_t>(length_ - 1, static_cast<int64_t>(viewStart_) + viewWidth_ / ppf + 1);
    for (int64_t f = first; f <= last; ++f) {
        if (!InBuffer(f))
            continue;
        points.push_back({ static_cast<int32_t>(f), XOfFrame(f), { Sample(f, 0), Sample(f, 1) } });
    }
    return points;
}

// ---------------------------------------------------------------------------------------
// Selection.

void SampleEditor::Select(int32_t pFirst, int32_t pLast)
{
    const int32_t top = std::max(0, length_ - 1);
    selFirst_ = std::clamp(std::min(pFirst, pLast), 0, top);
    selLast_ = std::clamp(std::max(pFirst, pLast), 0, top);
    Changed();
}

bool SampleEditor::NearEdge(int32_t pX) const
{
    return std::abs(pX - XOfFrame(selFirst_)) <= kEdgeReach
        || std::abs(pX - XOfFrame(selLast_)) <= kEdgeReach;
}

void SampleEditor::SelectDown(int32_t pX)
{
    if (busy_ || strokeActive_)
        return;
    const bool nearStart = std::abs(pX - XOfFrame(selFirst_)) <= kEdgeReach;
    const bool nearEnd = std::abs(pX - XOfFrame(selLast_)) <= kEdgeReach;
    // When both edges are within reach (a short selection) the press starts afresh, so that
    // the drag can go either way.
    if (nearStart && !nearEnd) {
        dragEdge_ = DragEdge::Start;
    } else if (nearEnd && !nearStart) {
        dragEdge_ = DragEdge::End;
    } else {
        dragEdge_ = DragEdge::New;
        anchor_ = FrameAtX(pX);
        selFirst_ = selLast_ = anchor_;
    }
    SelectMove(pX);
}

void SampleEditor::SelectMove(int32_t pX)
{
    if (dragEdge_ == DragEdge::None)
        return;
    const int32_t f = FrameAtX(pX);
    switch (dragEdge_) {
    case DragEdge::Start:
        if (f > selLast_)
            selFirst_ = selLast_ = f;
        else
            selFirst_ = f;
        break;
    case DragEdge::End:
        if (f < selFirst_)
            selFirst_ = selLast_ = f;
        else
            selLast_ = f;
        break;
    case DragEdge::New:
        selFirst_ = std::min(anchor_, f);
        selLast_ = std::max(anchor_, f);
        break;
    case DragEdge::None:
        break;
    }
    SetMessage(
        std::to_string(selFirst_ + 1) + "sample to " + std::to_string(selLast_ + 1) + "sample");
    Changed();
}

void SampleEditor::SelectUp()
{
    if (dragEdge_ == DragEdge::None)
        return;
    dragEdge_ = DragEdge::None;
    Changed();
}

// ---------------------------------------------------------------------------------------
// The pencil.

void SampleEditor::StrokeBegin(int32_t pChannel)
{
    if (busy_)
        return;
    strokeActive_ = true;
    strokeTouched_ = false;
    strokeChannel_ = pChannel == 1 ? 1 : 0;
}

bool SampleEditor::StrokePoint(int32_t pFrame, int32_t pValue)
{
    if (!strokeActive_ || pFrame < 0 || pFrame >= length_ || !InBuffer(pFrame))
        return false;
    const int32_t v = std::clamp(pValue, -32767, 32767);
    if (!strokeTouched_) {
        strokeTouched_ = true;
        strokeLow_ = strokeHigh_ = strokeLast_ = pFrame;
    }
    const int32_t ch = strokeChannel_;
    auto set = [&](int64_t pF, int32_t pV) {
        buffer_[static_cast<size_t>((pF - bufferFirst_) * 2 + ch)] = static_cast<int16_t>(pV);
    };
    const int32_t l = strokeLast_;
    if (pFrame == l) {
        set(pFrame, v);
    } else {
        const int32_t lower = std::min(pFrame, l);
        const int32_t upper = std::max(pFrame, l);
        const int32_t atLast = Sample(l, ch);
        const double a = lower == pFrame ? v : atLast;
        const double b = upper == pFrame ? v : atLast;
        const double span = static_cast<double>(upper) - lower + 1.0;
        for (int32_t i = lower; i <= upper; ++i) {
            const double t = (i - lower) / span;
            set(i, Clamp16((1.0 - t) * a + t * b));
        }
    }
    SetMessage(std::to_string(pFrame + 1) + "sample " + std::to_string(v));
    strokeLow_ = std::min(strokeLow_, pFrame);
    strokeHigh_ = std::max(strokeHigh_, pFrame);
    strokeLast_ = pFrame;
    Changed();
    return true;
}

void SampleEditor::PencilDown(int32_t pX, int32_t pY)
{
    StrokeBegin(ChannelAtY(pY));
    PencilMove(pX, pY);
}

void SampleEditor::PencilMove(int32_t pX, int32_t pY)
{
    if (!strokeActive_)
        return;
    // Unlike a selection, a frame beyond the file is not limited to the last one: it is
    // not drawn at all.
    const int64_t f = viewStart_
        + RoundHalfEven(static_cast<double>(pX) * FramesPerColumn() / PixelsPerFrame());
    if (f < 0 || f >= length_)
        return;
    StrokePoint(static_cast<int32_t>(f), ValueAtY(strokeChannel_, pY));
}

bool SampleEditor::StrokeEnd()
{
    if (!strokeActive_)
        return false;
    strokeActive_ = false;
    if (!strokeTouched_)
        return false;
    strokeTouched_ = false;
    Piece drawn;
    const auto from = static_cast<size_t>(strokeLow_ - bufferFirst_) * 2;
    const auto to = static_cast<size_t>(strokeHigh_ + 1 - bufferFirst_) * 2;
    drawn.Frames.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(from),
        buffer_.begin() + static_cast<std::ptrdiff_t>(to));
    std::vector<Piece> pieces;
    pieces.push_back({ currentFile_, 0, strokeLow_ });
    pieces.push_back(std::move(drawn));
    pieces.push_back({ currentFile_, strokeHigh_ + 1, length_ });
    if (!BeginBusy())
        return false;
    const bool ok = RunEdit(pieces);
    if (!ok)
        FillBuffer(); // the drawing was not written: show the file as it is
    EndBusy();
    Changed();
    return ok;
}

// ---------------------------------------------------------------------------------------
// The edits.

bool SampleEditor::BeginBusy()
{
    if (busy_ || strokeActive_)
        return false;
    busy_ = true;
    logic_.Ui().SetBusy(true);
    return true;
}

void SampleEditor::EndBusy()
{
    busy_ = false;
    logic_.Ui().SetBusy(false);
}

bool SampleEditor::WritePieces(const std::string& pTarget, const std::vector<Piece>& pPieces)
{
    if (!WriteWaveHeader(logic_.Proj().SampleRate, 16, 2, pTarget, 0, false))
        return false;
    for (const Piece& piece : pPieces) {
        if (piece.File.empty()) {
            // Every part leaves the header matching the data, so that the next may append.
            if (!piece.Frames.empty()
                && (!WriteBytes(piece.Frames.data(), static_cast<int64_t>(piece.Frames.size()) * 2,
                        0, pTarget, -1, 0)
                    || !FixWaveSizes(pTarget, 0, false)))
                return false;
            continue;
        }
        if (piece.To <= piece.From)
            continue;
        if (piece.Silence != 0) {
            const WaveInfo info = ReadWaveInfo(piece.File);
            if (info.Valid == 0
                || !AppendFrames(
                    piece.File, info.DataOffset, piece.From, piece.To, piece.Silence, pTarget)
                || !FixWaveSizes(pTarget, 0, false))
                return false;
            continue;
        }
        C_EditWave ew(&logic_.Ui());
        ew.SetProg([this](double pRate, std::string_view) {
            SetMessage(TrArgs("書き出し %1%", FormatPercent(pRate)));
            Changed();
            return true;
        });
        EditWaveRequest request;
        request.SourceFN = piece.File;
        request.TargetFN = pTarget;
        request.From = piece.From;
        request.To = piece.To;
        if (!ew.EditWave(request))
            return false;
    }
    return FixWaveSizes(pTarget, 0, false).has_value();
}

bool SampleEditor::RunEdit(const std::vector<Piece>& pPieces)
{
    const int32_t number = editNumber_ + 1;
    // The redo history ends here.
    logic_.Folder().DeleteSampleEditFiles(number);
    const std::string target = ChainFile(number);
    DeleteFileForce(target);
    if (!WritePieces(target, pPieces)) {
        DeleteFileForce(target);
        SetMessage(Tr("書き出しに失敗しました"));
        logic_.Ui().MessageBox(
            Tr("ファイルを書き出せませんでした。"), MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    editNumber_ = number;
    Load(target);
    SetMessage(Tr(kSeFinished));
    return true;
}

bool SampleEditor::Delete()
{
    if (length_ <= 0 || !BeginBusy())
        return false;
    const int32_t start = selFirst_;
    const bool ok
        = RunEdit({ { currentFile_, 0, selFirst_ }, { currentFile_, selLast_ + 1, length_ } });
    if (ok)
        Select(start, start);
    EndBusy();
    Changed();
    return ok;
}

bool SampleEditor::Copy()
{
    if (length_ <= 0 || !BeginBusy())
        return false;
    const std::string clip = ClipFile();
    DeleteFileForce(clip);
    bool ok = WritePieces(clip, { { currentFile_, selFirst_, selLast_ + 1 } });
    if (!ok) {
        DeleteFileForce(clip);
        logic_.Ui().MessageBox(
            Tr("ファイルを書き出せませんでした。"), MsgButtons::Ok, MsgIcon::Error);
    }
    SetMessage(ok ? Tr(kSeFinished) : Tr("書き出しに失敗しました"));
    EndBusy();
    Changed();
    return ok;
}

bool SampleEditor::Cut()
{
    if (busy_ || length_ <= 0)
        return false;
    return Copy() && Delete();
}

bool SampleEditor::Paste()
{
    const std::string clip = ClipFile();
    const WaveInfo info = ReadWaveInfo(clip);
    if (info.Valid == 0 || info.Frames <= 0 || !BeginBusy())
        return false;
    // A selection of more than one frame is replaced; a single frame is a cursor that the
    // clip goes in front of, so that a cut pasted back at its place restores the file.
    const int32_t start = std::min(selFirst_, length_);
    const int32_t resume = selLast_ > selFirst_ ? selLast_ + 1 : start;
    const bool ok = RunEdit({ { currentFile_, 0, start }, { clip, 0, info.Frames },
        { currentFile_, resume, length_ } });
    if (ok)
        Select(start, start + info.Frames - 1);
    EndBusy();
    Changed();
    return ok;
}

bool SampleEditor::Silence(int32_t pChannels)
{
    if (length_ <= 0 || (pChannels & 3) == 0 || !BeginBusy())
        return false;
    Piece quiet { currentFile_, selFirst_, selLast_ + 1 };
    quiet.Silence = pChannels & 3;
    const bool ok = RunEdit(
        { { currentFile_, 0, selFirst_ }, quiet, { currentFile_, selLast_ + 1, length_ } });
    EndBusy();
    Changed();
    return ok;
}

bool SampleEditor::Undo()
{
    if (IsPlaying() || editNumber_ <= 0 || !BeginBusy())
        return false;
    --editNumber_;
    Load(ChainFile(editNumber_));
    SetMessage(Tr(kSeFinished));
    EndBusy();
    Changed();
    return true;
}

bool SampleEditor::Redo()
{
    if (IsPlaying() || !FileExists(ChainFile(editNumber_ + 1)) || !BeginBusy())
        return false;
    ++editNumber_;
    Load(ChainFile(editNumber_));
    SetMessage(Tr(kSeFinished));
    EndBusy();
    Changed();
    return true;
}

bool SampleEditor::SelectAll()
{
    if (busy_ || strokeActive_)
        return false;
    Select(0, length_ - 1);
    return true;
}

bool SampleEditor::EditMenu(int32_t pIndex)
{
    switch (pIndex) {
    case 0:
        return Cut();
    case 1:
        return Delete();
    case 2:
        return Copy();
    case 3:
        return Paste();
    case 4:
        return Undo();
    case 5:
        return Redo();
    case 6:
        return SelectAll();
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// Playback.

bool SampleEditor::IsPlaying() const
{
    return transport_ != nullptr && transport_->PreviewPlaying();
}

bool SampleEditor::IsPaused() const { return IsPlaying() && transport_->IsPaused(); }

bool SampleEditor::ChoosePlayMode(int32_t pMode)
{
    playMode_ = pMode == 1 ? 1 : 0;
    Changed();
    return Play();
}

bool SampleEditor::Play()
{
    if (busy_ || transport_ == nullptr || IsPaused())
        return false;
    if (transport_->Mode() != PlayMode::Stopped)
        Stop();
    int32_t start = 0;
    int32_t end = length_;
    if (playMode_ == 0) {
        if (selLast_ <= selFirst_)
            return false;
        start = selFirst_;
        end = selLast_ + 1;
    } else if (length_ <= 0) {
        return false;
    }
    if (!transport_->StartPreview(currentFile_, start, end)) {
        Stop();
        return false;
    }
    headFrame_ = std::max(0, start);
    Changed();
    return true;
}

void SampleEditor::Stop()
{
    if (transport_ != nullptr)
        transport_->StopPreview();
    headFrame_ = -1;
    SetMessage("STOP");
    Changed();
}

void SampleEditor::Pause()
{
    if (!IsPlaying())
        return;
    transport_->TogglePreviewPause();
    Changed();
}

void SampleEditor::Tick()
{
    if (!IsPlaying())
        return;
    const int64_t position = transport_->PreviewPosition();
    headFrame_ = static_cast<int32_t>(std::min<int64_t>(position, length_));
    SetMessage(TimeText(FramesToMs(headFrame_, logic_.Proj().SampleRate), 0, false));
    if (!transport_->IsPaused()) {
        const int32_t result = transport_->RefillPreview();
        if (result == kRefillEndIdle || result == kRefillError) {
            Stop();
            return;
        }
    }
    Changed();
}

// ---------------------------------------------------------------------------------------
// The strips.

const std::array<const char*, 5>& SampleEditor::InfoLabels()
{
    static const std::array<const char*, 5> labels { N_("全体"), N_("先頭"), N_("開始"), N_("終了"),
        N_("選択") };
    return labels;
}

std::array<std::string, 5> SampleEditor::InfoTexts() const
{
    const int32_t rate = std::max(1, logic_.Proj().SampleRate);
    const int32_t perMs = std::max(1, rate / 1000);
    auto ms = [rate](int64_t pFrames) {
        return static_cast<int32_t>(RoundHalfEven(static_cast<double>(pFrames) * 1000.0 / rate));
    };
    const int64_t selected = length_ > 0 ? static_cast<int64_t>(selLast_) - selFirst_ + 1 : 0;
    return { TimeText(length_ / perMs, 0, false), TimeText(viewStart_ / perMs, 0, false),
        TimeText(ms(selFirst_), 0, false), TimeText(ms(selLast_), 0, false),
        TimeText(ms(selected), 0, false) };
}

void SampleEditor::InfoClick(int32_t pIndex)
{
    switch (pIndex) {
    case 1:
        SetViewStart(0);
        return;
    case 2:
        CentreOn(selFirst_);
        return;
    case 3:
        CentreOn(selLast_);
        return;
    case 4: {
        const int64_t frames = static_cast<int64_t>(selLast_) - selFirst_ + 1;
        int32_t z = kMinZoom;
        for (; z < kMaxZoom; z *= 2)
            if (frames * SePixelsPerFrame(z) / SeFramesPerColumn(z) <= viewWidth_)
                break;
        SetZoom(z);
        return;
    }
    default:
        Changed();
        return;
    }
}

// ---------------------------------------------------------------------------------------
// Closing.

void SampleEditor::Close(bool pOk)
{
    if (closed_)
        return;
    closed_ = true;
    strokeActive_ = false;
    if (pOk)
        cancelled_ = false;
    if (IsPlaying())
        Stop();
    logic_.Store().SaveSetting("PlayModeSE", playMode_);
    DataFolder& folder = logic_.Folder();
    if (cancelled_) {
        DeleteFileForce(logic_.SampleEditFile);
        logic_.SampleEditFile.clear();
    } else if (currentFile_ != logic_.SampleEditFile) {
        // The result leaves the chain under a working-file name of its own; only then is the
        // opening render given up, so that a failed rename loses nothing of the project.
        const std::string name = folder.NewTempName(kTempWave);
        if (!name.empty() && RenameFile(currentFile_, name)) {
            SyncFolder(folder.Path());
            DeleteFileForce(logic_.SampleEditFile);
            logic_.SampleEditFile = name;
        } else {
            if (!name.empty())
                DeleteFileForce(name);
            logic_.Ui().MessageBox(
                Tr("編集結果をファイルにできませんでした。"), MsgButtons::Ok, MsgIcon::Error);

            DeleteFileForce(logic_.SampleEditFile);
            logic_.SampleEditFile.clear();
        }
    }
    folder.DeleteSampleEditFiles();
    if (transport_ != nullptr)
        transport_->ForgetPreviewFile();
    SampleEdit2(logic_);
}

} // namespace tarvok
