#include "app/import_command.h"

#include "app/cancel_progress.h"
#include "app/file_copy.h"
#include "app/main_logic.h"
#include "base/file_name.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/wave_info.h"
#include "render/conv_wave.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
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
    return "サンプリング周波数 " + std::to_string(pRate) + " Hz のファイルは読み込めません（"
        + std::to_string(kMinImportRate) + "〜" + std::to_string(kMaxImportRate) + " Hz）";
}

bool NeedsDecoderFor(const std::string& pPath, SoundDecoder& pDecoder)
{
    // The content decides first: a RIFF/WAVE file of integer PCM is read as a WAV file
    // whatever its name says, one that wraps a compressed codec is decoded.
    if (IsRiffWaveFile(pPath)) {
        const WaveInfo info = ReadWaveInfo(pPath);
        if (NeedsDecoding({}, info.FormatTag))
            return true;
        const bool pcm = info.FormatTag == kFormatTagPcm || info.FormatTag == kFormatTagExtensible;
        // Integer PCM in a layout the WAV reader refuses stays refused, with its reason.
        return !pcm && pDecoder.Recognises(pPath);
    }
    // Anything else (RIFX, RF64, AVI, FLAC, Ogg, MPEG-4 ...) is not a WAV file: the names of
    // the compressed formats go to the decoder as they are, other files only when the
    // decoder finds sound in them.
    return NeedsDecoding(ExtensionOf(pPath), 0) || pDecoder.Recognises(pPath);
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
    std::string file = pPath;
    bool decoded = false;
    // Tells the user why the import stopped; an empty cause is a cancelled import.
    auto showFailure = [this, &pPath](const std::string& pCause) {
        if (pCause.empty())
            ui_.ShowMessage(kImportCancelledText);
        else
            ui_.ShowError(std::string(kImportFailedText) + "\n" + pPath + "\n" + pCause);
    };
    // NewTempName makes the file it names, so an empty name is a failed write in the folder.
    auto createFailure = [] { return WriteFailureText(errno != 0 ? errno : EIO); };
    if (NeedsDecoderFor(pPath, *decoder_)) {
        errno = 0;
        const std::string target = folder_->NewTempName(kTempWave);
        if (target.empty()) {
            showFailure(createFailure());
            return false;
        }
        ui_.ShowMessage(kDecodingText);
        CancelRequest = false;
        const bool decodedOk = decoder_->Decode(pPath, target, ui_, CancelRequest);
        CancelRequest = false;
        // The name was handed out as an empty file: a decode that wrote nothing leaves it so.
        if (!decodedOk || FileSize64(target) <= 0) {
            DeleteFileForce(target);
            ui_.ShowMessage("");
            return false;
        }
        file = target;
        decoded = true;
    }
    auto dropDecoded = [&]() {
        if (decoded)
            DeleteFileForce(file);
    };

    const WaveInfo info = IsRiffWaveFile(file) ? ReadWaveInfo(file) : WaveInfo {};
    if (info.Valid == 0) {
        ui_.ShowMessage(kWrongFormatText);
        dropDecoded();
        return false;
    }
    // A rate below every rate the system offers (or an absurd one) would be converted into
    // an enormous working file, or none: such a file is refused before anything is written.
    if (info.SampleRate < kMinImportRate || info.SampleRate > kMaxImportRate) {
        ui_.ShowMessage(RateRefusedText(info.SampleRate));
        dropDecoded();
        return false;
    }
    if (!StartProc(1, 0)) {
        dropDecoded();
        return false;
    }
    Project& p = project_;
    const int32_t oldRate = p.SampleRate;
    const std::string oldSoundFile = p.LastSoundFile;
    if (p.BlockCount() == 0 && info.SampleRate != p.SampleRate) {
        const bool convert = ui_.AskYesNo(kConvertRateQuestion);
        // A rate no device could use stays converted.
        if (!convert && info.SampleRate >= kMinProjectRate && info.SampleRate <= kMaxProjectRate)
            p.SampleRate = info.SampleRate;
    }
    if (!decoded)
        p.LastSoundFile = pPath;

    std::vector<ImportItem> items;
    const bool pcm = info.FormatTag == kFormatTagPcm || info.FormatTag == kFormatTagExtensible;
    // Surround files become one mono file per channel. Mono and stereo files written in the
    // extensible form (usual for 24 bits) stay whole, as do their plain PCM equivalents.
    if (pcm && info.Channels > 2) {
        std::vector<std::string> names;
        const Status split
            = SplitChannels(file, names, *folder_, ui_, CancelRequestProgress(*this));
        dropDecoded();
        if (!split) {
            showFailure(IsCancelled(split) ? std::string() : split.error().Message);
            p.SampleRate = oldRate;
            p.LastSoundFile = oldSoundFile;
            EndProc();
            return false;
        }
        for (std::string& name : names)
            items.push_back({ std::move(name), true });
    } else if (pcm) {
        items.push_back({ file, decoded });
    } else {
        dropDecoded();
        p.SampleRate = oldRate;
        p.LastSoundFile = oldSoundFile;
        EndProc();
        return false;
    }

    int32_t placed = 0;
    int64_t endFrame = 0;
    size_t done = 0;
    std::string failure; // why the item "done" could not be made ready; empty when cancelled
    for (; done < items.size(); ++done) {
        ImportItem& item = items[done];
        const WaveInfo itemInfo = ReadWaveInfo(item.Path);
        if (itemInfo.FormatMode != 3 || itemInfo.SampleRate != p.SampleRate) {
            errno = 0;
            const std::string target = folder_->NewTempName(kTempWave);
            C_ConvWave cw(&ui_);
            cw.SetProg([this](double pRate, std::string_view) {
                ui_.ShowMessage(std::string(kConvertingText) + PercentText(pRate));
                return !CancelRequest;
            });
            const bool converted
                = !target.empty() && cw.ConvWave(item.Path, target, p.SampleRate, 16, 2, 1, false);
            if (item.Temporary)
                DeleteFileForce(item.Path);
            if (!converted) {
                failure = target.empty() ? createFailure()
                    : cw.Canceled        ? std::string()
                                         : cw.FailureText;
                DeleteFileForce(target);
                break;
            }
            item = { target, true };
        }
        // A header that claims more data than the file holds is put right in a copy of the
        // file (never in the user's own file), so that a later open of the project sees the
        // length that was placed.
        const WaveInfo placedInfo = ReadWaveInfo(item.Path);
        const bool overclaimed = FramesPresent(placedInfo) < placedInfo.Frames;
        if (overclaimed || !IsInsideFolder(item.Path, folder_->Path())) {
            errno = 0;
            const std::string target = folder_->NewTempName(kTempWave);
            FileCopy copy(&ui_);
            // Yielding between chunks keeps the window responsive; no pause is needed.
            copy.SetWait([this](int32_t) { ui_.Yield(); });
            copy.SetMirrorProg([this](double, std::string_view) { return !CancelRequest; });
            // The target is the empty file NewTempName made for this copy alone.
            if (target.empty() || !copy.TranspFile(item.Path, target, true, false)) {
                failure = target.empty() ? createFailure()
                    : CancelRequest      ? std::string()
                                         : copy.FailureText();
                DeleteFileForce(target);
                if (item.Temporary)
                    DeleteFileForce(item.Path);
                break;
            }
            if (item.Temporary)
                DeleteFileForce(item.Path);
            item = { target, false };
            if (overclaimed) {
                if (Status sized = SetWaveDataSize(target,
                        static_cast<int64_t>(FramesPresent(placedInfo)) * placedInfo.BlockAlign);
                    !sized) {
                    failure = sized.error().Message;
                    DeleteFileForce(target);
                    break;
                }
            }
        }
        if (pTrack + static_cast<int64_t>(done) <= p.LastTrackNo) {
            const auto track = static_cast<int32_t>(pTrack + static_cast<int64_t>(done));
            if (LoadFileToTrack(p, track, item.Path, position, blockName, *folder_, options_.WFMode,
                    ui_, CancelRequest)) {
                ++placed;
                endFrame = std::max<int64_t>(endFrame,
                    static_cast<int64_t>(position) + FramesPresent(ReadWaveInfo(item.Path)));
            }
        }
    }
    const bool complete = done == items.size();
    if (!complete)
        showFailure(failure);
    // Channel files not reached are of no use to anyone.
    for (size_t i = done + 1; i < items.size(); ++i)
        if (items[i].Temporary)
            DeleteFileForce(items[i].Path);
    CancelRequest = false;
    // An import that placed nothing leaves the project as it found it.
    if (placed == 0) {
        p.SampleRate = oldRate;
        p.LastSoundFile = oldSoundFile;
    }

    if (complete && placed > 0 && p.BlockCount() == placed) {
        p.ViewStart = 0;
        p.Zoom = FitZoom(endFrame, p.SampleStep, TrackAreaWidthPx);
    }
    EndProc();
    return placed > 0;
}

} // namespace tarvok
