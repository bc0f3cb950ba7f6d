#include "render/loudness.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tarvok {

namespace {

// Frames per read: about 2 MB of 16-bit stereo, as the other streaming passes use.
constexpr int64_t kChunkFrames = 524288;

struct Source {
    FileHandle File;
    WaveInfo Info;
    int64_t Frames = 0;
};

// Opens a 16-bit PCM WAV file, mono or stereo, with the frames it really holds.
Result<Source> OpenSource(std::string_view pFile)
{
    Source s;
    s.Info = ReadWaveInfo(pFile);
    if (s.Info.Valid == 0 || s.Info.Bits != 16 || s.Info.Channels < 1 || s.Info.Channels > 2
        || s.Info.DataOffset <= 0 || s.Info.FormatTag != kFormatTagPcm)
        return Fail(TrArgs("16ビットのwavファイルではありません: %1", pFile));
    s.Frames = FramesPresent(s.Info);
    s.File = OpenFile(pFile, OpenMode::Read);
    if (!s.File.IsOpen())
        return Fail(TrArgs("ファイルを開けません: %1", pFile));
    return s;
}

bool Cancelled(const Progress& pProgress, double pDone)
{
    return !pProgress(std::clamp(pDone, 0.0, 1.0));
}

Result<LoudnessReading> ReadingOf(const LoudnessMeasurement& pMeasurement)
{
    const std::optional<double> integrated = pMeasurement.Integrated();
    if (!integrated || !std::isfinite(*integrated))
        return Fail(Tr(kMsgNoLoudness));
    return LoudnessReading { *integrated, pMeasurement.TruePeak() };
}

} // namespace

double LoudnessGain(const LoudnessReading& pReading, double pTarget, bool& pLimited)
{
    const double wanted = pTarget - pReading.Integrated;
    const double room = kLoudnessPeakCeiling - pReading.TruePeak;
    pLimited = std::isfinite(room) && wanted > room;
    return pLimited ? room : wanted;
}

Result<LoudnessReading> MeasureWaveLoudness(LoudnessMeter& pMeter, std::string_view pFile,
    int64_t pFrom, int64_t pTo, const Progress& pProgress)
{
    Result<Source> opened = OpenSource(pFile);
    if (!opened)
        return opened.error();
    Source& s = *opened;
    const int64_t from = std::clamp<int64_t>(pFrom, 0, s.Frames);
    const int64_t to = pTo < 0 ? s.Frames : std::clamp<int64_t>(pTo, from, s.Frames);
    std::unique_ptr<LoudnessMeasurement> m = pMeter.Start(s.Info.SampleRate, s.Info.Channels);
    if (!m)
        return Fail(Tr(kMsgNoLoudnessMeter));
    const int64_t frameBytes = 2LL * s.Info.Channels;
    std::vector<int16_t> buffer;
    for (int64_t position = from; position < to;) {
        if (Cancelled(
                pProgress, static_cast<double>(position - from) / static_cast<double>(to - from)))
            return CancelledError();
        const int64_t n = std::min(kChunkFrames, to - position);
        buffer.resize(static_cast<size_t>(n * s.Info.Channels));
        const int64_t bytes = n * frameBytes;
        if (ReadAt(s.File, buffer.data(), bytes, s.Info.DataOffset + position * frameBytes)
            != bytes)
            return Fail(TrArgs("読み込みに失敗しました: %1", pFile));
        if (!m->Add(buffer.data(), static_cast<size_t>(n)))
            return Fail(Tr(kMsgNoLoudnessMeter));
        position += n;
    }
    Cancelled(pProgress, 1.0);
    return ReadingOf(*m);
}

Result<LoudnessReading> CopyWithGainMeasured(LoudnessMeter& pMeter, std::string_view pSource,
    std::string_view pTarget, double pGainDb, const Progress& pProgress)
{
    Result<Source> opened = OpenSource(pSource);
    if (!opened)
        return opened.error();
    Source& s = *opened;
    std::unique_ptr<LoudnessMeasurement> m = pMeter.Start(s.Info.SampleRate, s.Info.Channels);
    if (!m)
        return Fail(Tr(kMsgNoLoudnessMeter));
    ReplaceFile target;
    // A full disk is named as such; any other failed write names the target.
    const auto writeFailed = [&](const Error& pWhy) {
        if (pWhy.Code == ErrorCode::DiskFull)
            return pWhy;
        return Fail(TrArgs("書き込みに失敗しました: %1", pTarget), pWhy.Code);
    };
    if (Status begun = target.Begin(pTarget); !begun)
        return writeFailed(begun.error());
    Result<FileHandle> written
        = StartWaveFile(s.Info.SampleRate, 16, s.Info.Channels, target.TempPath(), 0, true);
    if (!written)
        return writeFailed(written.error());
    if (!written->IsOpen())
        return writeFailed(WriteError(EBADF));
    target.Handle() = std::move(*written);

    const double gain = DbToFactor(pGainDb);
    const int64_t frameBytes = 2LL * s.Info.Channels;
    std::vector<int16_t> buffer;
    for (int64_t position = 0; position < s.Frames;) {
        if (Cancelled(pProgress, static_cast<double>(position) / static_cast<double>(s.Frames)))
            return CancelledError();
        const int64_t n = std::min(kChunkFrames, s.Frames - position);
        buffer.resize(static_cast<size_t>(n * s.Info.Channels));
        const int64_t bytes = n * frameBytes;
        if (ReadAt(s.File, buffer.data(), bytes, s.Info.DataOffset + position * frameBytes)
            != bytes)
            return Fail(TrArgs("読み込みに失敗しました: %1", pSource));
        for (int16_t& sample : buffer)
            sample = Saturate16(static_cast<double>(sample) * gain);
        if (Status put = WriteAt(target.Handle(), buffer.data(), bytes, -1); !put)
            return writeFailed(put.error());
        if (!m->Add(buffer.data(), static_cast<size_t>(n)))
            return Fail(Tr(kMsgNoLoudnessMeter));
        position += n;
    }
    Result<LoudnessReading> reading = ReadingOf(*m);
    if (!reading)
        return reading;
    if (Status fixed = FixWaveSizes(target.TempPath(), 0, false, &target.Handle()); !fixed)
        return writeFailed(fixed.error());
    if (Status committed = target.Commit(); !committed)
        return writeFailed(committed.error());
    Cancelled(pProgress, 1.0);
    return reading;
}

std::string LoudnessText(const LoudnessReading& pReading)
{
    char text[96];
    if (std::isfinite(pReading.TruePeak))
        std::snprintf(text, sizeof text, "%.1f LUFS, true peak %.1f dBTP", pReading.Integrated,
            pReading.TruePeak);
    else
        std::snprintf(text, sizeof text, "%.1f LUFS, true peak -inf dBTP", pReading.Integrated);
    return text;
}

} // namespace tarvok
