#include "app/shell/import_command.h"

#include "app/shell/cancel_progress.h"
#include "app/shell/file_copy.h"
#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "base/i18n.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/wave_info.h"
#include "render/conv_wave.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

/// Rates a project can be switched to by answering No to the rate question.
constexpr int32_t kMinProjectRate = 1000;
constexpr int32_t kMaxProjectRate = 768000;
constexpr int32_t kMaxFitZoom = 16384;

/// One file on its way to a track; Temporary files were made by this import and go when a
/// converted copy replaces them.
struct ImportItem {
    std::string Path;
    bool Temporary = false;
};

} // namespace

bool NeedsDecoding(std::string_view pExtension, int32_t pFormatTag)
{
    static constexpr std::string_view kExtensions[]
        = { "mp1", "mp2", "mp3", "mpg", "mpa", "mpeg", "wma", "wmv", "asf", "aiff", "aif" };
    for (std::string_view ext : kExtensions)
        if (pExtension == ext)
            return true;
    return pFormatTag == 80 || pFormatTag == 85 || pFormatTag == 352 || pFormatTag == 353;
}

std::string RateRefusedText(int32_t pRate)
{
    return TrArgs("サンプリング周波数 %1 Hz のファイルは読み込めません（%2〜%3 Hz）", pRate,
        kMinImportRate, kMaxImportRate);
}

bool NeedsDecoderFor(const std::string& pPath, SoundDecoder& pDecoder)
{
    const WaveExamination exam = ExamineWave(pPath);
    // Big-endian samples read as little-endian ones are noise: a RIFX file is refused with
    // its reason, never handed on.
    if (exam.Container == WaveContainer::BigEndian)
        return false;
    // The content decides first: a RIFF/WAVE file of integer PCM is read as a WAV file
    // whatever its name says, one that wraps a compressed codec is decoded.
    if (IsRiffWaveFile(pPath)) {
        if (NeedsDecoding({}, exam.Info.FormatTag) || NeedsDecoding({}, exam.SubFormatTag))
            return true;
        // Integer PCM in a layout the WAV reader refuses, and a damaged header, stay
        // refused with their reason; another format goes to the decoder if it knows it.
        return exam.Fault == WaveFault::NotPcm && pDecoder.Recognises(pPath);
    }
    // Anything else (RF64, AVI, FLAC, Ogg, MPEG-4 ...) is not a WAV file: the names of
    // the compressed formats go to the decoder as they are, other files only when the
    // decoder finds sound in them.
    return NeedsDecoding(ExtensionOf(pPath), 0) || pDecoder.Recognises(pPath);
}

std::string WaveRefusedText(const WaveExamination& pExam)
{
    const WaveInfo& info = pExam.Info;
    switch (pExam.Fault) {
    case WaveFault::None:
        return Tr("wavファイルに音声データがありません");
    case WaveFault::Unreadable:
        return std::string(Tr(kWrongFormatText.data()));
    case WaveFault::BigEndian:
        return Tr("ビッグエンディアン（RIFX）のwavファイルは読み込めません");
    case WaveFault::Rf64:
        return Tr("RF64形式のwavファイルはデコーダがないと読み込めません");
    case WaveFault::NoFmt:
        return Tr("wavファイルにfmtチャンクがありません");
    case WaveFault::FmtCut:
        return Tr("wavファイルのfmtチャンクが途中で切れています");
    case WaveFault::FmtTooShort:
        return TrArgs("wavファイルのfmtチャンクが短すぎます（%1 バイト）", pExam.FmtSize);
    case WaveFault::NotPcm: {
        char tag[8];
        std::snprintf(tag, sizeof tag, "0x%04X", static_cast<unsigned>(info.FormatTag) & 0xFFFFU);
        return info.FormatTag == kFormatTagExtensible
            ? std::string(Tr("この形式（拡張形式のサブフォーマット）のwavファイルは読み込めません"))
            : TrArgs("この形式（フォーマットタグ %1）のwavファイルは読み込めません", tag);
    }
    case WaveFault::NoMode:
        return TrArgs(
            Tr("%1 チャンネル %2 ビットのwavファイルは読み込めません"), info.Channels, info.Bits);

    case WaveFault::BadRate:
        return RateRefusedText(info.SampleRate);
    case WaveFault::NoData:
        return Tr("wavファイルにdataチャンクがありません");
    case WaveFault::DataTooFar:
        return Tr("wavファイルのdataチャンクが2 GBより後ろにあります");
    }
    return std::string(Tr(kWrongFormatText.data()));
}

int32_t FitZoom(int64_t pEndFrame, int32_t pSampleStep, int32_t pWidthPx)
{
    const int64_t step = std::max(pSampleStep, 1);
    const int64_t width = std::max(pWidthPx, 0);
    for (int32_t zoom = 1; zoom <= kMaxFitZoom; zoom *= 2)
        if (pEndFrame <= width * step * zoom)
            return zoom;
    return kMaxFitZoom;
}

bool IsInsideFolder(std::string_view pPath, std::string_view pFolder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path parent = fs::canonical(fs::path(std::string(pPath)).parent_path(), error);
    if (error)
        return false;
    const fs::path folder = fs::canonical(fs::path(std::string(pFolder)), error);
    return !error && parent == folder;
}

namespace {

// Tells the user why the import of pPath stopped; an empty cause is a cancelled import.
void ShowImportFailure(UserInterface& pUi, const std::string& pPath, const std::string& pCause)
{
    if (pCause.empty())
        pUi.ShowMessage(Tr(kImportCancelledText.data()));
    else
        pUi.ShowError(std::string(Tr(kImportFailedText.data())) + "\n" + pPath + "\n" + pCause);
}

// NewTempName makes the file it names, so an empty name is a failed write in the folder.
std::string CreateFailure() { return WriteFailureText(errno != 0 ? errno : EIO); }

// A file the WAV reader cannot take goes through the decoder into a new working file first.
// The file to import (pPath itself when no decoder is needed); nothing when the decode
// failed or was cancelled (the user has been told).
std::optional<std::string> DecodeIfNeeded(MainLogic& pLogic, const std::string& pPath)
{
    if (!NeedsDecoderFor(pPath, pLogic.Decoder()))
        return pPath;
    UserInterface& ui = pLogic.Ui();
    errno = 0;
    const std::string target = pLogic.Folder().NewTempName(kTempWave);
    if (target.empty()) {
        ShowImportFailure(ui, pPath, CreateFailure());
        return std::nullopt;
    }
    ui.ShowMessage(Tr(kDecodingText.data()));
    pLogic.CancelRequest = false;
    const bool decodedOk = pLogic.Decoder().Decode(pPath, target, ui, pLogic.CancelRequest);
    pLogic.CancelRequest = false;
    // The name was handed out as an empty file: a decode that wrote nothing leaves it so.
    if (!decodedOk || FileSize64(target) <= 0) {
        DeleteFileForce(target);
        ui.ShowMessage("");
        return std::nullopt;
    }
    return target;
}

// True, with the message shown, when the file is refused before anything is written. A
// file that looks like a WAV file also says why in an error box.
bool RefusedFormat(
    UserInterface& pUi, const std::string& pPath, const WaveExamination& pExam, bool pRiffWave)
{
    const WaveInfo& pInfo = pExam.Info;
    if (pInfo.Valid == 0 || FramesPresent(pInfo) < 1) {
        if (pRiffWave || pExam.Container != WaveContainer::Riff)
            ShowImportFailure(pUi, pPath, WaveRefusedText(pExam));
        pUi.ShowMessage(Tr(kWrongFormatText.data()));
        return true;
    }
    // A rate below every rate the system offers (or an absurd one) would be converted into
    // an enormous working file, or none: such a file is refused before anything is written.
    if (pInfo.SampleRate < kMinImportRate || pInfo.SampleRate > kMaxImportRate) {
        pUi.ShowMessage(RateRefusedText(pInfo.SampleRate));
        return true;
    }
    return false;
}

// The files to place: pFile itself, or one mono working file per channel of a surround
// file. Mono and stereo files written in the extensible form (usual for 24 bits) stay
// whole, as do their plain PCM equivalents. Nothing when the file is not PCM or the split
// failed (the user has been told why).
std::optional<std::vector<ImportItem>> ImportItems(MainLogic& pLogic, const std::string& pPath,
    const std::string& pFile, bool pDecoded, const WaveInfo& pInfo)
{
    const bool pcm = pInfo.FormatTag == kFormatTagPcm || pInfo.FormatTag == kFormatTagExtensible;
    if (!pcm)
        return std::nullopt;
    if (pInfo.Channels <= 2)
        return std::vector<ImportItem> { { pFile, pDecoded } };
    std::vector<std::string> names;
    const Status split
        = SplitChannels(pFile, names, pLogic.Folder(), pLogic.Ui(), CancelRequestProgress(pLogic));
    if (!split) {
        ShowImportFailure(
            pLogic.Ui(), pPath, IsCancelled(split) ? std::string() : split.error().Message);
        return std::nullopt;
    }
    std::vector<ImportItem> items;
    items.reserve(names.size());
    for (std::string& name : names)
        items.push_back({ std::move(name), true });
    return items;
}

// Converts the item to 16-bit stereo at the project's rate into a new working file that
// takes its place. The cause of a failure (empty when cancelled); nothing when done.
std::optional<std::string> ConvertItem(MainLogic& pLogic, ImportItem& pItem)
{
    errno = 0;
    const std::string target = pLogic.Folder().NewTempName(kTempWave);
    UserInterface& ui = pLogic.Ui();
    C_ConvWave cw(&ui);
    cw.SetProg([&pLogic, &ui](double pRate, std::string_view) {
        ui.ShowMessage(std::string(Tr(kConvertingText.data())) + PercentText(pRate));
        return !pLogic.CancelRequest;
    });
    const bool converted = !target.empty()
        && cw.ConvWave(pItem.Path, target, pLogic.Proj().SampleRate, 16, 2, 1, false);
    if (pItem.Temporary)
        DeleteFileForce(pItem.Path);
    if (!converted) {
        const std::string failure = target.empty() ? CreateFailure()
            : cw.Canceled                          ? std::string()
                                                   : cw.FailureText;
        DeleteFileForce(target);
        return failure;
    }
    pItem = { target, true };
    return std::nullopt;
}

// Copies the item into a new working file that takes its place; a header that claims more
// data than the file holds is put right in the copy (never in the user's own file), so that
// a later open of the project sees the length that was placed. The cause of a failure (empty
// when cancelled); nothing when done.
std::optional<std::string> CopyItemIn(MainLogic& pLogic, ImportItem& pItem, const WaveInfo& pInfo)
{
    const bool overclaimed = FramesPresent(pInfo) < pInfo.Frames;
    errno = 0;
    const std::string target = pLogic.Folder().NewTempName(kTempWave);
    UserInterface& ui = pLogic.Ui();
    FileCopy copy(&ui);
    // Yielding between chunks keeps the window responsive; no pause is needed.
    copy.SetWait([&ui](int32_t) { ui.Yield(); });
    copy.SetMirrorProg([&pLogic](double, std::string_view) { return !pLogic.CancelRequest; });
    copy.ShowInMessageArea(pLogic.CopyProgressShown);
    // The target is the empty file NewTempName made for this copy alone.
    if (target.empty() || !copy.TranspFile(pItem.Path, target, true, false)) {
        const std::string failure = target.empty() ? CreateFailure()
            : pLogic.CancelRequest                 ? std::string()
                                                   : copy.FailureText();
        DeleteFileForce(target);
        if (pItem.Temporary)
            DeleteFileForce(pItem.Path);
        return failure;
    }
    if (pItem.Temporary)
        DeleteFileForce(pItem.Path);
    pItem = { target, true };
    if (overclaimed) {
        if (Status sized = SetWaveDataSize(
                target, static_cast<int64_t>(FramesPresent(pInfo)) * pInfo.BlockAlign);
            !sized) {
            DeleteFileForce(target);
            return sized.error().Message;
        }
    }
    return std::nullopt;
}

// Makes the item ready to be placed: in the project's format, inside the data folder. The
// cause of a failure (empty when cancelled); nothing when ready.
std::optional<std::string> PrepareItem(MainLogic& pLogic, ImportItem& pItem)
{
    const WaveInfo itemInfo = ReadWaveInfo(pItem.Path);
    if (itemInfo.FormatMode != 3 || itemInfo.SampleRate != pLogic.Proj().SampleRate)
        if (std::optional<std::string> failure = ConvertItem(pLogic, pItem))
            return failure;
    const WaveInfo placedInfo = ReadWaveInfo(pItem.Path);
    if (FramesPresent(placedInfo) < placedInfo.Frames
        || !IsInsideFolder(pItem.Path, pLogic.Folder().Path()))
        return CopyItemIn(pLogic, pItem, placedInfo);
    return std::nullopt;
}

} // namespace

bool MainLogic::ImportSoundFile(
    int32_t pTrack, const std::string& pPath, int32_t pPosition, bool pNoRecent)
{
    if (!pNoRecent)
        AddRecentFile(pPath);
    ui_.Yield();
    // Refused like every edit while the engine runs or another job is busy; checked before
    // decoding, so that a refused import leaves no decoded file behind.
    if (!CanEdit() || pTrack < 0 || pTrack > project_.LastTrackNo)
        return false;
    const int32_t position = std::max(pPosition, 0);
    const std::string blockName = CleanBlockName(BaseNameOf(pPath));
    const std::optional<std::string> file = DecodeIfNeeded(*this, pPath);
    if (!file)
        return false;
    const bool decoded = *file != pPath;
    auto dropDecoded = [&]() {
        if (decoded)
            DeleteFileForce(*file);
    };

    WaveExamination exam = ExamineWave(*file);
    // Only a RIFF/WAVE file is read as a WAV file; the others are examined for the reason.
    const bool riffWave = IsRiffWaveFile(*file);
    if (!riffWave)
        exam.Info = WaveInfo {};
    const WaveInfo& info = exam.Info;
    if (RefusedFormat(ui_, pPath, exam, riffWave) || !StartProc(1, 0)) {
        dropDecoded();
        return false;
    }
    Project& p = project_;
    const int32_t oldRate = p.SampleRate;
    const std::string oldSoundFile = p.LastSoundFile;
    auto restore = [&]() {
        p.SampleRate = oldRate;
        p.LastSoundFile = oldSoundFile;
    };
    if (p.BlockCount() == 0 && info.SampleRate != p.SampleRate) {
        const bool convert = ui_.AskYesNo(Tr(kConvertRateQuestion.data()));
        // A rate no device could use stays converted.
        if (!convert && info.SampleRate >= kMinProjectRate && info.SampleRate <= kMaxProjectRate)
            p.SampleRate = info.SampleRate;
    }
    if (!decoded)
        p.LastSoundFile = pPath;

    std::optional<std::vector<ImportItem>> items = ImportItems(*this, pPath, *file, decoded, info);
    if (!items || (*items)[0].Path != *file)
        dropDecoded();
    if (!items) {
        restore();
        EndProc();
        return false;
    }

    int32_t placed = 0;
    int64_t endFrame = 0;
    size_t done = 0;
    std::optional<std::string> failure; // why item "done" could not be made ready
    std::optional<std::string> placeFailure; // why the first item that was ready was not placed
    for (; done < items->size(); ++done) {
        ImportItem& item = (*items)[done];
        if ((failure = PrepareItem(*this, item)))
            break;
        if (pTrack + static_cast<int64_t>(done) <= p.LastTrackNo) {
            const auto track = static_cast<int32_t>(pTrack + static_cast<int64_t>(done));
            if (LoadFileToTrack(p, track, item.Path, position, blockName, *folder_, options_.WFMode,
                    ui_, CancelRequest)) {
                ++placed;
                endFrame = std::max<int64_t>(endFrame,
                    static_cast<int64_t>(position) + FramesPresent(ReadWaveInfo(item.Path)));
            } else {
                if (!placeFailure)
                    placeFailure = WaveRefusedText(ExamineWave(item.Path));
                // A file this import made and could not place is nobody's.
                if (item.Temporary)
                    DeleteFileForce(item.Path);
            }
        }
    }
    if (failure)
        ShowImportFailure(ui_, pPath, *failure);
    else if (placed == 0 && placeFailure)
        ShowImportFailure(ui_, pPath, *placeFailure);
    // Channel files not reached are of no use to anyone.
    for (size_t i = done + 1; i < items->size(); ++i)
        if ((*items)[i].Temporary)
            DeleteFileForce((*items)[i].Path);
    CancelRequest = false;
    // An import that placed nothing leaves the project as it found it.
    if (placed == 0)
        restore();
    if (!failure && placed > 0 && p.BlockCount() == placed) {
        p.ViewStart = 0;
        p.Zoom = FitZoom(endFrame, p.SampleStep, TrackAreaWidthPx);
    }
    EndProc();
    return placed > 0;
}

} // namespace tarvok
