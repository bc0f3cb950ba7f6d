#include "decode/decode_audio.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "decode/mpeg_info.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace tarvok {

namespace {

constexpr std::string_view kDecoding = N_("デコード中…");
constexpr std::string_view kNoMpegHeader = N_("mpegヘッダが見つかりません");
constexpr std::string_view kStripFailed = N_("フレーム抽出失敗");
constexpr std::string_view kDecodeFailed = N_("デコード失敗");
constexpr std::string_view kStripName = "~strip.mp3";
constexpr size_t kWriteBufferBytes = 2097152;
constexpr int32_t kMaxRate = 768000;
// Reads between two yields when the shown percentage does not change.
constexpr int32_t kYieldEvery = 64;

void LogError(const DecodeEnvironment& pEnv, const std::string& pMessage)
{
    if (pEnv.Log != nullptr)
        pEnv.Log->WriteLog(pMessage, true, true);
}

/// The decoded samples on their way into a WAV file under a temporary name.
class WavOutput {
public:
    WavOutput(std::string pPath, MediaStreamFormat pFormat)
        : path_(std::move(pPath))
        , format_(pFormat)
    {
    }
    ~WavOutput()
    {
        if (!finished_) {
            file_.Close();
            DeleteFileForce(path_);
        }
    }

    bool Create()
    {
        Result<FileHandle> file
            = StartWaveFile(format_.SampleRate, 16, format_.Channels, path_, 0, true);
        if (!file) {
            failure_ = file.error();
            return false;
        }
        file_ = std::move(*file);
        buffer_.reserve(kWriteBufferBytes);
        return true;
    }

    bool Append(const int16_t* pSamples, int64_t pCount)
    {
        if constexpr (std::endian::native == std::endian::little) {
            // The samples are already in file order: copy them in blocks.
            const char* bytes = reinterpret_cast<const char*>(pSamples);
            int64_t left = pCount * 2;
            while (left > 0) {
                size_t room = kWriteBufferBytes - buffer_.size();
                size_t take = std::min<size_t>(room, static_cast<size_t>(left));
                buffer_.insert(buffer_.end(), bytes, bytes + take);
                bytes += take;
                left -= static_cast<int64_t>(take);
                if (buffer_.size() >= kWriteBufferBytes && !Flush())
                    return false;
            }
        } else {
            for (int64_t i = 0; i < pCount; ++i) {
                uint16_t value = static_cast<uint16_t>(pSamples[i]);
                buffer_.push_back(static_cast<char>(value & 0xFF));
                buffer_.push_back(static_cast<char>(value >> 8));
                if (buffer_.size() >= kWriteBufferBytes && !Flush())
                    return false;
            }
        }
        dataBytes_ += pCount * 2;
        return true;
    }

    int64_t DataBytes() const { return dataBytes_; }
    /// Why the last write failed (success when none did).
    const Status& Failure() const { return failure_; }

    /// Writes what is buffered, sets the header's sizes and closes the file.
    bool Finish()
    {
        if (!Flush())
            return false;
        failure_ = SetWaveDataSize(path_, dataBytes_, &file_);
        if (!failure_)
            return false;
        errno = 0;
        if (!file_.Close()) {
            failure_ = WriteError(errno);
            return false;
        }
        finished_ = true;
        return true;
    }

private:
    bool Flush()
    {
        if (buffer_.empty())
            return true;
        failure_ = WriteAt(file_, buffer_.data(), static_cast<int64_t>(buffer_.size()), -1);
        buffer_.clear();
        return failure_.has_value();
    }

    std::string path_;
    MediaStreamFormat format_;
    FileHandle file_;
    std::vector<char> buffer_;
    int64_t dataBytes_ = 0;
    bool finished_ = false;
    Status failure_;
};

/// Shows "デコード中… NN%" when the whole percentage changes and yields to the window system.
class DecodeProgress {
public:
    explicit DecodeProgress(UserInterface& pUi)
        : ui_(pUi)
    {
    }

    void Update(double pPosition)
    {
        const int64_t percent = std::clamp<int64_t>(RoundHalfEven(pPosition * 100.0), 0, 100);
        if (percent != shown_) {
            shown_ = percent;
            ui_.ShowMessage(std::string(Tr(kDecoding.data())) + " " + ZeroPad(percent, 2) + "%");
            ui_.Yield();
            reads_ = 0;
        } else if (++reads_ >= kYieldEvery) {
            ui_.Yield();
            reads_ = 0;
        }
    }

private:
    UserInterface& ui_;
    int64_t shown_ = -1;
    int32_t reads_ = 0;
};

enum class RunResult { Done, Failed, Canceled };

/// Opens the source by the attempts of its route; logs each failed attempt.
std::unique_ptr<MediaSource> OpenSource(
    const std::string& pSource, MediaBackend& pBackend, const DecodeEnvironment& pEnv)
{
    std::vector<MediaContainer> route = DecodeRoute(pSource);
    if (route.size() == 1)
        LogError(pEnv, "SetupPinsToDecode Unknown Filetype #" + pSource);
    for (MediaContainer container : route) {
        Result<std::unique_ptr<MediaSource>> opened = pBackend.Open(pSource, container);
        if (opened && *opened)
            return std::move(*opened);
        std::string reason = opened ? "no source" : opened.error().Message;
        std::string step
            = container == MediaContainer::Auto ? "RenderPinsToDecode " : "SetupPinsToDecode ";
        LogError(pEnv,
            step + std::string(MediaContainerName(container)) + "#" + pSource
                + " open failed: " + reason);
    }
    return nullptr;
}

/// Pulls the whole stream into pOut; sets pWhy on failure.
RunResult RunDecode(MediaSource& pSource, WavOutput& pOut, const DecodeLimits& pLimits,
    UserInterface& pUi, bool& pCancel, std::string& pWhy)
{
    const int32_t channels = pSource.Format().Channels;
    DecodeProgress progress(pUi);
    double lastPosition = pSource.Position();
    int32_t idle = 0;
    progress.Update(lastPosition);
    for (;;) {
        if (pCancel)
            return RunResult::Canceled;
        MediaChunk chunk = pSource.Read();
        const double position = pSource.Position();
        switch (chunk.Status) {
        case MediaReadStatus::End:
            progress.Update(1.0);
            return RunResult::Done;
        case MediaReadStatus::Error:
            pWhy = "decode failed: " + chunk.Error;
            return RunResult::Failed;
        case MediaReadStatus::Data:
        case MediaReadStatus::Pending:
            break;
        }
        const int64_t frames = chunk.Status == MediaReadStatus::Data ? chunk.Frames : 0;
        if (frames > 0 && chunk.Samples != nullptr) {
            if (pOut.DataBytes() + frames * channels * 2 > pLimits.MaxDataBytes) {
                pWhy = "output exceeds " + std::to_string(pLimits.MaxDataBytes) + " bytes";
                return RunResult::Failed;
            }
            if (!pOut.Append(chunk.Samples, frames * channels)) {
                pWhy = "cannot write the output file";
                return RunResult::Failed;
            }
            idle = 0;
        } else if (position != lastPosition) {
            idle = 0;
        } else if (++idle > pLimits.MaxIdleReads) {
            pWhy = "no progress after " + std::to_string(pLimits.MaxIdleReads) + " reads";
            return RunResult::Failed;
        }
        lastPosition = position;
        progress.Update(position);
    }
}

/// The decode proper, after any MP3 preparation: pInput is what the backend reads.
bool DecodeInto(const std::string& pInput, const std::string& pTarget, MediaBackend& pBackend,
    const DecodeEnvironment& pEnv, UserInterface& pUi, bool& pCancel)
{
    auto fail = [&](const std::string& pWhy, const Status& pCause = {}) {
        LogError(pEnv, "DecodeAudio " + pInput + ": " + pWhy);
        // A full disk is named as such: the file was fine, the room was not.
        const bool full = !pCause && pCause.error().Code == ErrorCode::DiskFull;
        pUi.ShowError(full ? pCause.error().Message : std::string(Tr(kDecodeFailed.data())));
        return false;
    };
    const int64_t size = FileSize64(pInput);
    if (size <= 0)
        return fail(size == 0 ? "empty file" : "cannot read the file");

    std::unique_ptr<MediaSource> source = OpenSource(pInput, pBackend, pEnv);
    if (!source)
        return fail("no decoder could open the file");
    const MediaStreamFormat format = source->Format();
    if (format.SampleRate <= 0 || format.SampleRate > kMaxRate || format.Channels < 1
        || format.Channels > 2)
        return fail("unusable output format " + std::to_string(format.SampleRate) + " Hz, "
            + std::to_string(format.Channels) + " channels");

    const std::string partial = CreateTempSibling(pTarget);
    if (partial.empty())
        return fail("cannot create a file beside " + pTarget);
    WavOutput out(partial, format);
    if (!out.Create())
        return fail("cannot create " + partial, out.Failure());
    std::string why;
    switch (RunDecode(*source, out, pEnv.Limits, pUi, pCancel, why)) {
    case RunResult::Canceled:
        return false;
    case RunResult::Failed:
        return fail(why, out.Failure());
    case RunResult::Done:
        break;
    }
    source.reset();
    if (out.DataBytes() == 0)
        return fail("no audio decoded");
    if (!out.Finish())
        return fail("cannot write " + partial, out.Failure());
    if (Status committed = CommitTempSibling(partial, pTarget); !committed) {
        DeleteFileForce(partial);
        return fail("cannot put the decoded file in place: " + pTarget, committed);
    }
    return true;
}

} // namespace

std::string_view MediaContainerName(MediaContainer pContainer)
{
    switch (pContainer) {
    case MediaContainer::Auto:
        return "auto";
    case MediaContainer::MpegAudio:
        return "mpegaudio";
    case MediaContainer::MpegSystem:
        return "mpegsystem";
    case MediaContainer::Riff:
        return "riff";
    case MediaContainer::Aiff:
        return "aiff";
    case MediaContainer::Asf:
        return "asf";
    }
    return "auto";
}

std::vector<MediaContainer> DecodeRoute(std::string_view pPath)
{
    using C = MediaContainer;
    std::string type = WaveFileType(pPath);
    // A RIFF file is read as such whatever its extension says, whichever codec it wraps.
    if (ReadWaveInfo(pPath).FormatTag != 0 || type == "wav" || type == "wmariff")
        return { C::Riff, C::Auto };
    if (type == "aiff" || type == "aif")
        return { C::Aiff, C::Auto };
    if (type == "mp1" || type == "mp2" || type == "mp3" || type == "mpa")
        return { C::MpegAudio, C::Auto };
    if (type == "mpg" || type == "mpeg")
        return { C::MpegSystem, C::MpegAudio, C::Auto };
    if (type == "wma" || type == "wmv" || type == "asf")
        return { C::Asf, C::Auto };
    return { C::Auto };
}

bool DecodeSoundFile(const std::string& pSource, const std::string& pTarget, MediaBackend& pBackend,
    const DecodeEnvironment& pEnv, UserInterface& pUi, bool& pCancel)
{
    pUi.ShowMessage(Tr(kDecoding.data()));
    pUi.Yield();
    // Whatever stood at the target before is replaced or, on failure, gone: afterwards the
    // import finds the decoded file there or nothing.
    if (pSource == pTarget) {
        LogError(pEnv, "DecodeAudio " + pSource + ": the target is the source");
        pUi.ShowError(Tr(kDecodeFailed.data()));
        return false;
    }

    std::string input = pSource;
    std::string strip;
    if (ExtensionOf(pSource) == "mp3") {
        MpegInfo info;
        if (!ReadMpegInfo(pSource, info)) {
            DeleteFileForce(pTarget);
            pUi.ShowError(Tr(kNoMpegHeader.data()));
            return false;
        }
        if (info.FirstPos != 1) {
            // The decoder must start at a frame header: leading tags and junk are cut off.
            strip = pEnv.DataFolder + std::string(kStripName);
            DeleteFileForce(strip);
            if (pEnv.DataFolder.empty()
                || !CopyByteRange(pSource, strip, info.FirstPos, info.LastPos, &pUi)) {
                DeleteFileForce(strip);
                DeleteFileForce(pTarget);
                pUi.ShowError(Tr(kStripFailed.data()));
                return false;
            }
            input = strip;
        }
    }

    bool ok = DecodeInto(input, pTarget, pBackend, pEnv, pUi, pCancel);
    if (!ok)
        DeleteFileForce(pTarget);
    else if (!IsPcmWave(pTarget, false)) {
        LogError(pEnv, "DecodeAudio " + pSource + ": the output is not a PCM WAV file");
        DeleteFileForce(pTarget);
        pUi.ShowError(Tr(kDecodeFailed.data()));
        ok = false;
    }
    if (!strip.empty())
        DeleteFileForce(strip);
    return ok;
}

MediaSoundDecoder::MediaSoundDecoder(MediaBackend& pBackend,
    std::function<std::string()> pDataFolder, std::function<ErrorLog*()> pLog, DecodeLimits pLimits)
    : backend_(pBackend)
    , dataFolder_(std::move(pDataFolder))
    , log_(std::move(pLog))
    , limits_(pLimits)
{
}

bool MediaSoundDecoder::Decode(
    const std::string& pSource, const std::string& pTarget, UserInterface& pUi, bool& pCancel)
{
    DecodeEnvironment env;
    env.DataFolder = dataFolder_ ? dataFolder_() : std::string();
    if (!env.DataFolder.empty() && env.DataFolder.back() != '/')
        env.DataFolder += '/';
    env.Log = log_ ? log_() : nullptr;
    env.Limits = limits_;
    return DecodeSoundFile(pSource, pTarget, backend_, env, pUi, pCancel);
}

bool MediaSoundDecoder::Recognises(const std::string& pSource)
{
    Result<std::unique_ptr<MediaSource>> opened = backend_.Open(pSource, MediaContainer::Auto);
    return opened && *opened;
}

} // namespace tarvok
