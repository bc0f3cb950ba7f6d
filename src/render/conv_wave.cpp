#include "render/conv_wave.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <unistd.h>

namespace tarvok {

namespace {

/// A new file written under a temporary name beside its final path. Commit renames it into
/// place; otherwise it is deleted when the object goes, so a failed or cancelled job never
/// leaves a partial file under the final name (nor replaces an older one there).
class PendingFile {
public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() { Discard(); }

    /// Writes a WAV header with an empty data chunk and keeps the file open after it.
    Status Create(std::string_view pTarget, int32_t pRate, int32_t pBits, int32_t pChannels)
    {
        if (Status begun = replacement_.Begin(pTarget); !begun)
            return begun;
        Result<FileHandle> file
            = StartWaveFile(pRate, pBits, pChannels, replacement_.TempPath(), 0, true);
        if (!file || !file->IsOpen()) {
            replacement_.Discard();
            return file ? WriteError(EBADF) : file.error();
        }
        replacement_.Handle() = std::move(*file);
        return {};
    }

    FileHandle& Handle() { return replacement_.Handle(); }
    const std::string& Path() const { return replacement_.TempPath(); }

    /// Flushes the file and renames it over the target; fails (and the file goes) when that
    /// fails.
    Status Commit() { return replacement_.Commit(); }

    void Discard() { replacement_.Discard(); }

private:
    ReplaceFile replacement_;
};

/// Frames the file really holds: the header's count, less what a truncated file lacks.
int64_t AvailableFrames(const WaveInfo& pInfo)
{
    if (pInfo.BlockAlign <= 0)
        return 0;
    int64_t inFile = (pInfo.FileSize - pInfo.DataOffset) / pInfo.BlockAlign;
    return std::clamp<int64_t>(inFile, 0, pInfo.Frames);
}

/// Unpacks interleaved source frames to the 24-bit working scale, one array per channel.
void Unpack(const uint8_t* pSrc, int32_t pBits, int32_t pChannels, int64_t pFrames, int32_t* pLeft,
    int32_t* pRight)
{
    int32_t* sides[2] = { pLeft, pRight };
    for (int32_t c = 0; c < pChannels; ++c) {
        int32_t* dst = sides[c];
        switch (pBits) {
        case 8: {
            const uint8_t* p = pSrc + c;
            for (int64_t f = 0; f < pFrames; ++f, p += pChannels)
                dst[f] = (static_cast<int32_t>(*p) - 128) * 65536;
            break;
        }
        case 16: {
            const uint8_t* p = pSrc + 2 * c;
            const int32_t step = 2 * pChannels;
            for (int64_t f = 0; f < pFrames; ++f, p += step)
                dst[f] = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) * 256;
            break;
        }
        default: {
            const uint8_t* p = pSrc + 3 * c;
            const int32_t step = 3 * pChannels;
            for (int64_t f = 0; f < pFrames; ++f, p += step)
                dst[f] = Read24(p);
            break;
        }
        }
    }
}

/// Where output frame i of a chunk reads its input: frame Index and the fraction F of the
/// way to the next one (held in single precision, as the conversion defines it), with
/// G = 1 - F also in single precision.
struct Phase {
    int32_t Index;
    float F;
    float G;
};

enum class RateMode { Point, Up, Down };

/// The phases of the first pCount output frames of a chunk; they are the same for every
/// chunk because each chunk starts at phase 0.
std::vector<Phase> BuildPhases(RateMode pMode, double pRatio, int64_t pCount)
{
    std::vector<Phase> phases(static_cast<size_t>(pCount));
    for (int64_t i = 0; i < pCount; ++i) {
        const double position = static_cast<double>(i) * pRatio;
        Phase& p = phases[static_cast<size_t>(i)];
        if (pMode == RateMode::Point) {
            p.Index = static_cast<int32_t>(RoundHalfEven(position));
            p.F = 0.0f;
            p.G = 1.0f;
        } else {
            const auto k = static_cast<int64_t>(position); // position >= 0: truncation floors
            p.Index = static_cast<int32_t>(k);
            p.F = static_cast<float>(position - static_cast<double>(k));
            p.G = 1.0f - p.F;
        }
    }
    return phases;
}

/// Resamples one side of a chunk. pX holds pAvail input frames (the chunk and its
/// look-ahead); every read index is limited to the last of them, which matters only at the
/// end of the file (where the look-ahead is short) and for ratios above about 100.
void Resample(RateMode pMode, int32_t pM, const std::vector<Phase>& pPhases, int64_t pCount,
    const int32_t* pX, int64_t pAvail, int32_t* pY)
{
    const int64_t last = pAvail - 1;
    auto at = [&](int64_t pIndex) { return pX[std::min(pIndex, last)]; };
    switch (pMode) {
    case RateMode::Point:
        for (int64_t i = 0; i < pCount; ++i)
            pY[i] = at(pPhases[i].Index);
        break;
    case RateMode::Up:
        for (int64_t i = 0; i < pCount; ++i) {
            const Phase& p = pPhases[i];
            const double value = static_cast<double>(at(p.Index + 1)) * static_cast<double>(p.F)
                + static_cast<double>(at(p.Index)) * static_cast<double>(p.G);
            pY[i] = static_cast<int32_t>(NearestEven(value));
        }
        break;
    case RateMode::Down: {
        const double divisor = static_cast<double>(pM) + 1.0;
        for (int64_t i = 0; i < pCount; ++i) {
            const Phase& p = pPhases[i];
            const int64_t k = p.Index;
            const int64_t outer = k + pM + 1;
            const double edge = static_cast<double>(at(outer)) * static_cast<double>(p.F)
                + static_cast<double>(at(k)) * static_cast<double>(p.G);
            auto sum = static_cast<int64_t>(NearestEven(edge));
            if (pM == 0) {
                pY[i] = static_cast<int32_t>(sum); // a sum of one frame divides by 1 exactly
                continue;
            }
            for (int64_t j = k + 1; j < outer; ++j)
                sum += at(j);
            pY[i] = static_cast<int32_t>(NearestEven(static_cast<double>(sum) / divisor));
        }
        break;
    }
    }
}

/// Packs one working-scale value to the output width at pDst.
inline void PackSample(int32_t pValue, int32_t pBits, uint8_t* pDst)
{
    switch (pBits) {
    case 8: {
        const int32_t v = pValue / 65536; // truncates toward zero
        pDst[0] = static_cast<uint8_t>(std::clamp(v + 128, 0, 255));
        break;
    }
    case 16: {
        const int32_t v = std::clamp(pValue / 256, -32767, 32767);
        const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
        pDst[0] = static_cast<uint8_t>(u);
        pDst[1] = static_cast<uint8_t>(u >> 8);
        break;
    }
    default:
        Pack24(&pValue, pDst, 1);
        break;
    }
}

/// Mixes (for one output channel) and packs pCount frames.
void PackFrames(const int32_t* pLeft, const int32_t* pRight, int64_t pCount, int32_t pBits,
    int32_t pChannels, uint8_t* pOut)
{
    const int32_t width = pBits / 8;
    if (pChannels == 1) {
        for (int64_t i = 0; i < pCount; ++i) {
            const double mean
                = (static_cast<double>(pLeft[i]) + static_cast<double>(pRight[i])) / 2.0;
            PackSample(static_cast<int32_t>(NearestEven(mean)), pBits, pOut + i * width);
        }
        return;
    }
    if (pBits == 16) {
        for (int64_t i = 0; i < pCount; ++i) {
            uint8_t* out = pOut + i * 4;
            const auto l = static_cast<uint16_t>(std::clamp(pLeft[i] / 256, -32767, 32767));
            const auto r = static_cast<uint16_t>(std::clamp(pRight[i] / 256, -32767, 32767));
            out[0] = static_cast<uint8_t>(l);
            out[1] = static_cast<uint8_t>(l >> 8);
            out[2] = static_cast<uint8_t>(r);
            out[3] = static_cast<uint8_t>(r >> 8);
        }
        return;
    }
    for (int64_t i = 0; i < pCount; ++i) {
        PackSample(pLeft[i], pBits, pOut + i * 2 * width);
        PackSample(pRight[i], pBits, pOut + i * 2 * width + width);
    }
}

/// Output frames of a chunk of pLength source frames.
int64_t OutputFramesOf(int64_t pLength, double pRatio)
{
    return RoundHalfEven(static_cast<double>(pLength) / pRatio);
}

} // namespace

std::string PercentText(double pFraction)
{
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", pFraction * 100.0);
    return std::string(number) + "%";
}

C_ConvWave::C_ConvWave(UserInterface* pUi)
    : ui_(pUi)
{
}

int32_t C_ConvWave::NeedConv(
    std::string_view pFilename, int32_t pFreq, int32_t pBit, int32_t pCh, int32_t pWaveMode)
{
    WaveInfo info = ReadWaveInfo(pFilename);
    if (info.Valid == 0 || info.DataOffset < 0 || info.DataSize < 0)
        return -1;
    if (info.SampleRate != pFreq)
        return 1;
    if (pBit == 0 && pCh == 0)
        return info.FormatMode != pWaveMode ? 1 : 0;
    return (info.Bits != pBit || info.Channels != pCh) ? 1 : 0;
}

namespace {

/// How a conversion cuts and resamples the source: fixed chunks of kConvChunkSeconds, so the
/// size of the output is known before anything is written.
struct ConvPlan {
    double Ratio = 1.0; ///< source rate / target rate
    int64_t ChunkFrames = 0;
    RateMode Mode = RateMode::Point;
    int32_t M = 0; ///< frames averaged beyond the first when the rate drops by more than half
    int64_t OutputFrames = 0;
    int64_t FirstChunkOutput = 0; ///< the largest chunk's output, for the buffers
};

ConvPlan PlanConversion(const WaveInfo& pInfo, int64_t pSourceFrames, int32_t pFreq, int32_t pFlg)
{
    ConvPlan plan;
    plan.Ratio = static_cast<double>(pInfo.SampleRate) / static_cast<double>(pFreq);
    plan.ChunkFrames = static_cast<int64_t>(kConvChunkSeconds) * pInfo.SampleRate;
    if (pFlg != 0 && pInfo.SampleRate != pFreq)
        plan.Mode = pFreq > pInfo.SampleRate ? RateMode::Up : RateMode::Down;
    plan.M = plan.Mode == RateMode::Down ? static_cast<int32_t>(plan.Ratio) - 1 : 0;
    for (int64_t pos = 0; pos < pSourceFrames; pos += plan.ChunkFrames) {
        const int64_t u
            = OutputFramesOf(std::min(plan.ChunkFrames, pSourceFrames - pos), plan.Ratio);
        if (u <= 0)
            break;
        if (pos == 0)
            plan.FirstChunkOutput = u;
        plan.OutputFrames += u;
    }
    return plan;
}

/// The file a conversion writes: an existing WAV file appended to in place, or a new one
/// made under a temporary name. Fail leaves things as they were before the conversion.
class ConvTarget {
public:
    /// False when the target cannot be opened or made (or, appending, has another format or
    /// data that does not end the file).
    Status Open(std::string_view pTargetFN, bool pAppend, int32_t pFreq, int32_t pBit, int32_t pCh)
    {
        append_ = pAppend;
        if (pAppend) {
            const WaveInfo existing = ReadWaveInfo(pTargetFN);
            // Appending is only sound to a file of the same format whose data ends the file.
            if (existing.Valid == 0 || existing.SampleRate != pFreq || existing.Bits != pBit
                || existing.Channels != pCh || existing.DataSize % 2 != 0
                || existing.DataOffset + existing.DataSize != existing.FileSize)
                return WriteError(EINVAL);
            errno = 0;
            appended_ = OpenFile(pTargetFN, OpenMode::Update);
            if (!appended_.IsOpen())
                return WriteError(errno);
            oldSize_ = FileSize64(appended_);
            path_ = std::string(pTargetFN);
            return {};
        }
        if (Status created = created_.Create(pTargetFN, pFreq, pBit, pCh); !created)
            return created;
        oldSize_ = FileSize64(created_.Handle());
        path_ = created_.Path();
        return {};
    }

    FileHandle& Handle() { return append_ ? appended_ : created_.Handle(); }
    /// The file being written (the temporary name of a new target).
    const std::string& Path() const { return path_; }
    /// Bytes the file held before the conversion (its header alone for a new one).
    int64_t OldSize() const { return oldSize_; }

    /// Cuts the appended bytes off again, or deletes the new file; returns false.
    bool Fail()
    {
        if (append_) {
            // The old header sizes were never touched, so cutting the appended bytes off
            // restores the file exactly.
            const int rc = appended_.IsOpen()
                ? ::ftruncate(appended_.Fd(), static_cast<off_t>(oldSize_))
                : ::truncate(path_.c_str(), static_cast<off_t>(oldSize_));
            static_cast<void>(rc);
            appended_.Close();
        } else {
            created_.Discard();
        }
        return false;
    }

    /// Writes the header sizes and closes the file, renaming a new one into place.
    Status Finish()
    {
        if (Status fixed = FixWaveSizes(path_, 0, false, &Handle()); !fixed) {
            Fail();
            return fixed;
        }
        if (append_) {
            errno = 0;
            if (appended_.Close())
                return {};
            const Error closed = WriteError(errno);
            Fail();
            return closed;
        }
        return created_.Commit();
    }

private:
    bool append_ = false;
    PendingFile created_;
    FileHandle appended_;
    std::string path_;
    int64_t oldSize_ = 0;
};

enum class ChunksResult { Done, Failed, Cancelled };

/// Reads, resamples, mixes and packs the source chunk by chunk and appends the result to
/// pTarget. pAfterChunk gets the fraction done after each chunk; a stop ends the conversion.
/// pWritten receives the bytes written, pWriteFailure the cause of a failed write.
ChunksResult ConvertChunks(const FileHandle& pSource, const WaveInfo& pInfo, int64_t pSourceFrames,
    const ConvPlan& pPlan, int32_t pBit, int32_t pCh, ConvTarget& pTarget, int64_t& pWritten,
    Status& pWriteFailure, const Progress& pAfterChunk)
{
    const int32_t outFrameBytes = pCh * (pBit / 8);
    const std::vector<Phase> phases = BuildPhases(pPlan.Mode, pPlan.Ratio, pPlan.FirstChunkOutput);
    const int64_t bufferFrames = std::min(pPlan.ChunkFrames + kConvLookAheadFrames, pSourceFrames);
    std::vector<uint8_t> raw(static_cast<size_t>(bufferFrames * pInfo.BlockAlign));
    std::vector<int32_t> xLeft(static_cast<size_t>(bufferFrames));
    std::vector<int32_t> xRight(pInfo.Channels == 2 ? static_cast<size_t>(bufferFrames) : 0);
    std::vector<int32_t> yLeft(static_cast<size_t>(pPlan.FirstChunkOutput));
    std::vector<int32_t> yRight(
        pInfo.Channels == 2 ? static_cast<size_t>(pPlan.FirstChunkOutput) : 0);
    std::vector<uint8_t> out(static_cast<size_t>(pPlan.FirstChunkOutput * outFrameBytes));

    int64_t pos = 0;
    int64_t writeAt = pTarget.OldSize();
    pWritten = 0;
    while (pos < pSourceFrames) {
        const int64_t length = std::min(pPlan.ChunkFrames, pSourceFrames - pos);
        const int64_t lookAhead
            = std::min<int64_t>(kConvLookAheadFrames, pSourceFrames - pos - length);
        const int64_t u = OutputFramesOf(length, pPlan.Ratio);
        if (u <= 0)
            break;
        const int64_t avail = length + lookAhead;
        const int64_t bytes = avail * pInfo.BlockAlign;
        if (ReadAt(pSource, raw.data(), bytes, pInfo.DataOffset + pos * pInfo.BlockAlign) != bytes)
            return ChunksResult::Failed;
        Unpack(raw.data(), pInfo.Bits, pInfo.Channels, avail, xLeft.data(), xRight.data());
        Resample(pPlan.Mode, pPlan.M, phases, u, xLeft.data(), avail, yLeft.data());
        const int32_t* right = yLeft.data();
        if (pInfo.Channels == 2) {
            Resample(pPlan.Mode, pPlan.M, phases, u, xRight.data(), avail, yRight.data());
            right = yRight.data();
        }
        PackFrames(yLeft.data(), right, u, pBit, pCh, out.data());
        pWriteFailure = WriteAt(pTarget.Handle(), out.data(), u * outFrameBytes, writeAt);
        if (!pWriteFailure)
            return ChunksResult::Failed;
        writeAt += u * outFrameBytes;
        pWritten += u * outFrameBytes;
        pos += length;
        if (!pAfterChunk(static_cast<double>(pos) / static_cast<double>(pSourceFrames)))
            return ChunksResult::Cancelled;
    }
    // A data chunk of odd length (mono 8- or 24-bit, odd frames) gets one silent frame.
    if (pWritten % 2 != 0) {
        const uint8_t silence[3] = { static_cast<uint8_t>(pBit == 8 ? 128 : 0), 0, 0 };
        pWriteFailure = WriteAt(pTarget.Handle(), silence, outFrameBytes, writeAt);
        if (!pWriteFailure)
            return ChunksResult::Failed;
    }
    return ChunksResult::Done;
}

} // namespace

bool C_ConvWave::ConvWave(std::string_view pSourceFN, std::string_view pTargetFN, int32_t pFreq,
    int32_t pBit, int32_t pCh, int32_t pFlg, bool HeadderExists)
{
    Canceled = false;
    FailureText.clear();
    FailureCode = ErrorCode::Other;
    auto refuse = [this](std::string_view pWhy) {
        FailureText = Tr(pWhy.data());
        return false;
    };
    auto writeFailed = [this](const Error& pWhy) {
        FailureText = pWhy.Message;
        FailureCode = pWhy.Code;
    };
    const WaveInfo info = ReadWaveInfo(pSourceFN);
    if (info.Valid == 0 || info.DataOffset <= 0 || info.DataSize <= 0 || info.Channels > 2)
        return refuse(kConvSourceUnusable);
    if (pFreq <= 0 || pFreq > kMaxConvRate || info.SampleRate > kMaxConvRate)
        return refuse(kConvSourceUnusable);
    if ((pBit != 8 && pBit != 16 && pBit != 24) || (pCh != 1 && pCh != 2))
        return refuse(kConvSourceUnusable);
    const int64_t sourceFrames = AvailableFrames(info);
    if (sourceFrames <= 0)
        return refuse(kConvSourceUnusable);
    FileHandle source = OpenFile(pSourceFN, OpenMode::Read);
    if (!source.IsOpen())
        return refuse(kConvSourceUnreadable);
    const ConvPlan plan = PlanConversion(info, sourceFrames, pFreq, pFlg);
    ConvTarget target;
    if (Status opened = target.Open(pTargetFN, HeadderExists, pFreq, pBit, pCh); !opened) {
        writeFailed(opened.error());
        return false;
    }

    // Upsampling makes more output than input, so the limit is checked against whichever
    // is larger (with the silent frame that pads odd data).
    const int32_t outFrameBytes = pCh * (pBit / 8);
    int64_t outputBytes = plan.OutputFrames * outFrameBytes;
    if (outputBytes % 2 != 0)
        outputBytes += outFrameBytes;
    const int64_t bound = std::max(sourceFrames * outFrameBytes, outputBytes);
    if (target.OldSize() < 0 || bound > kConvMaxFileBytes - target.OldSize()) {
        FailureText = std::string(Tr(kConvTooLarge.data()));
        return target.Fail();
    }

    int64_t written = 0;
    Status writeFailure;
    const ChunksResult result = ConvertChunks(source, info, sourceFrames, plan, pBit, pCh, target,
        written, writeFailure, [this](double pDone, std::string_view) {
            if (!prog_(pDone))
                Canceled = true;
            // Lets the window system (and a stop button) run between chunks.
            if (ui_ != nullptr)
                ui_->Yield();
            return !Canceled;
        });
    if (result == ChunksResult::Failed) {
        if (!writeFailure)
            writeFailed(writeFailure.error());
        else
            FailureText = std::string(Tr(kConvSourceUnreadable.data()));
    }
    if (result != ChunksResult::Done)
        return target.Fail();
    if (Status finished = target.Finish(); !finished) {
        writeFailed(finished.error());
        return false;
    }
    return true;
}

Status SplitChannels(std::string_view pSource, std::vector<std::string>& pNames,
    DataFolder& pFolder, UserInterface& pUi, const Progress& pProgress)
{
    pNames.clear();
    std::vector<FileHandle> files;
    auto fail = [&](Error pWhy) -> Status {
        files.clear();
        for (const std::string& name : pNames)
            DeleteFileForce(name);
        pNames.clear();
        return pWhy;
    };
    const WaveInfo info = ReadWaveInfo(pSource);
    if (info.Valid == 0 || info.DataOffset <= 0)
        return fail(Fail(std::string(Tr(kConvSourceUnusable.data()))));
    const int64_t frames = AvailableFrames(info);
    if (frames <= 0)
        return fail(Fail(std::string(Tr(kConvSourceUnusable.data()))));
    FileHandle source = OpenFile(pSource, OpenMode::Read);
    if (!source.IsOpen())
        return fail(Fail(std::string(Tr(kConvSourceUnreadable.data())), ErrorCode::FileError));

    const int32_t channels = info.Channels;
    const int32_t width = info.Bits / 8;
    for (int32_t c = 0; c < channels; ++c) {
        errno = 0;
        std::string name = pFolder.NewTempName(kTempWave);
        if (name.empty())
            return fail(WriteError(errno));
        pNames.push_back(name);
        Result<FileHandle> file = StartWaveFile(info.SampleRate, info.Bits, 1, name, 0, true);
        if (!file)
            return fail(file.error());
        if (!file->IsOpen())
            return fail(WriteError(EBADF));
        files.push_back(std::move(*file));
    }

    const int64_t chunkFrames
        = std::max<int64_t>(1, kSplitChunkBytes / std::max(info.BlockAlign, 1));
    std::vector<uint8_t> raw(static_cast<size_t>(std::min(chunkFrames, frames) * info.BlockAlign));
    std::vector<uint8_t> channel(static_cast<size_t>(std::min(chunkFrames, frames) * width));
    int64_t done = 0;
    while (done < frames) {
        pUi.Yield();
        const int64_t n = std::min(chunkFrames, frames - done);
        const int64_t bytes = n * info.BlockAlign;
        if (ReadAt(source, raw.data(), bytes, info.DataOffset + done * info.BlockAlign) != bytes)
            return fail(Fail(std::string(Tr(kConvSourceUnreadable.data())), ErrorCode::FileError));
        done += n;
        pUi.ShowMessage(PercentText(static_cast<double>(done) / static_cast<double>(frames)));
        for (int32_t c = 0; c < channels; ++c) {
            const uint8_t* src = raw.data() + c * width;
            uint8_t* dst = channel.data();
            for (int64_t f = 0; f < n; ++f, src += info.BlockAlign, dst += width)
                std::memcpy(dst, src, static_cast<size_t>(width));
            if (Status written = WriteAt(files[c], channel.data(), n * width, -1); !written)
                return fail(written.error());
        }
        if (!pProgress(static_cast<double>(done) / static_cast<double>(frames)))
            return fail(CancelledError());
    }
    for (int32_t c = 0; c < channels; ++c) {
        if (Status sized = SetWaveDataSize(pNames[c], frames * width, &files[c]); !sized)
            return fail(sized.error());
        errno = 0;
        if (!files[c].Close())
            return fail(WriteError(errno));
    }
    return {};
}

Status ReverseRange(std::string_view pSource, std::string_view pTarget, int32_t pFirst,
    int32_t pEnd, int32_t pSampleRate, UserInterface& pUi, bool& pCancelRequest)
{
    const WaveInfo info = ReadWaveInfo(pSource);
    if (info.Valid == 0 || info.FormatMode != 3 || info.DataOffset <= 0)
        return Fail(std::string(Tr(kConvSourceUnusable.data())));
    if (pSampleRate <= 0 || pSampleRate > kMaxConvRate)
        return Fail(std::string(Tr(kConvSourceUnusable.data())));
    const int64_t frames = AvailableFrames(info);
    const int64_t end = std::min<int64_t>(pEnd, frames);
    const int64_t first = pFirst;
    if (frames <= 0 || first < 0 || first >= end)
        return Fail(Tr("範囲が正しくありません"));
    FileHandle source = OpenFile(pSource, OpenMode::Read);
    if (!source.IsOpen())
        return Fail(std::string(Tr(kConvSourceUnreadable.data())), ErrorCode::FileError);
    PendingFile target;
    if (Status created = target.Create(pTarget, pSampleRate, 16, 2); !created)
        return created;

    const int64_t chunkFrames = static_cast<int64_t>(kConvChunkSeconds) * pSampleRate;
    std::vector<uint8_t> in(static_cast<size_t>(std::min(chunkFrames, end - first) * 4));
    std::vector<uint8_t> out(in.size());
    int64_t p = end;
    while (p - first > 0) {
        pUi.Yield();
        pUi.ShowMessage(
            PercentText(static_cast<double>(end - p) / static_cast<double>(end - first)));
        pUi.Yield();
        if (pCancelRequest) {
            pCancelRequest = false;
            return CancelledError();
        }
        const int64_t n = std::min(chunkFrames, p - first);
        const int64_t bytes = n * 4;
        if (ReadAt(source, in.data(), bytes, info.DataOffset + (p - n) * 4) != bytes)
            return Fail(std::string(Tr(kConvSourceUnreadable.data())), ErrorCode::FileError);
        for (int64_t f = 0; f < n; ++f) {
            const uint8_t* src = in.data() + (n - 1 - f) * 4;
            uint8_t* dst = out.data() + f * 4;
            for (int side = 0; side < 2; ++side) {
                auto v = static_cast<int16_t>(
                    static_cast<uint16_t>(src[2 * side] | (src[2 * side + 1] << 8)));
                if (v == -32768)
                    v = -32767;
                const auto u = static_cast<uint16_t>(v);
                dst[2 * side] = static_cast<uint8_t>(u);
                dst[2 * side + 1] = static_cast<uint8_t>(u >> 8);
            }
        }
        if (Status wrote = WriteAt(target.Handle(), out.data(), bytes, -1); !wrote)
            return wrote;
        p -= n;
    }
    if (Status fixed = FixWaveSizes(target.Path(), 0, false, &target.Handle()); !fixed)
        return fixed;
    return target.Commit();
}

} // namespace tarvok
