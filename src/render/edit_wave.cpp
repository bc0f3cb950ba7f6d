#include "render/edit_wave.h"

#include "core/user_interface.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace tarvok {

namespace {

// Full scale of each bit depth the copy accepts.
int32_t FullScale(int32_t pBits)
{
    switch (pBits) {
    case 8:
        return 127;
    case 16:
        return 32767;
    default:
        return 8388607;
    }
}

// Signed sample values of a chunk: 8-bit bytes become byte - 128, 24-bit triples are
// sign-extended.
void Unpack(
    const std::vector<uint8_t>& pBytes, int32_t pBits, size_t pSamples, std::vector<int32_t>& pOut)
{
    pOut.resize(pSamples);
    if (pBits == 8) {
        for (size_t i = 0; i < pSamples; ++i)
            pOut[i] = static_cast<int32_t>(pBytes[i]) - 128;
    } else if (pBits == 16) {
        for (size_t i = 0; i < pSamples; ++i)
            pOut[i] = static_cast<int16_t>(pBytes[2 * i] | (pBytes[2 * i + 1] << 8));
    } else {
        Unpack24(pBytes.data(), pOut.data(), pSamples);
    }
}

double RmsDb(int64_t pValue, int32_t pFullScale)
{
    return FactorToDb(static_cast<double>(pValue) / pFullScale);
}

// Reads pFrames frames at frame pFrame of the source, opening and closing the file.
bool ReadFrames(std::string_view pPath, const WaveInfo& pInfo, int64_t pFrame, int64_t pFrames,
    std::vector<uint8_t>& pBytes)
{
    const int64_t count = pFrames * pInfo.BlockAlign;
    pBytes.resize(static_cast<size_t>(count));
    if (count == 0)
        return true;
    const int64_t offset = pInfo.DataOffset + pFrame * pInfo.BlockAlign;
    return ReadBytes(pBytes.data(), count, 0, pPath, offset, 0);
}

// Appends pFrames silent frames (128 for 8-bit data, 0 otherwise).
bool AppendSilence(const FileHandle& pFile, int64_t pFrames, int32_t pBlockAlign, int32_t pBits)
{
    const uint8_t fill = pBits == 8 ? 128 : 0;
    std::vector<uint8_t> silence(
        static_cast<size_t>(std::min<int64_t>(pFrames * pBlockAlign, kEditWaveChunkBytes)), fill);
    int64_t remaining = pFrames * pBlockAlign;
    while (remaining > 0) {
        const int64_t n = std::min<int64_t>(remaining, static_cast<int64_t>(silence.size()));
        if (!WriteAt(pFile, silence.data(), n, -1))
            return false;
        remaining -= n;
    }
    return true;
}

// Opens the target for appending: a new file gets a header of the source's format, an
// existing one must hold data of the same format and nothing after it but a pad byte,
// which is cut so that the new frames follow the old ones directly.
FileHandle OpenTarget(std::string_view pTarget, const WaveInfo& pSource)
{
    if (!FileExists(pTarget)) {
        std::optional<FileHandle> created
            = WriteWaveHeader(pSource.SampleRate, pSource.Bits, pSource.Channels, pTarget, 0, true);
        return created ? std::move(*created) : FileHandle {};
    }
    WaveInfo target = ReadWaveInfo(pTarget);
    if (target.Valid == 0 || target.Bits != pSource.Bits || target.Channels != pSource.Channels
        || target.SampleRate != pSource.SampleRate)
        return {};
    FileHandle file = OpenFile(pTarget, OpenMode::Update);
    if (!file.IsOpen())
        return {};
    const int64_t dataEnd = target.DataOffset + target.DataSize;
    const int64_t size = FileSize64(file);
    if (size < dataEnd || size > dataEnd + 1)
        return {};
    if (size != dataEnd && ::ftruncate(file.Fd(), static_cast<off_t>(dataEnd)) != 0)
        return {};
    return file;
}

} // namespace

C_EditWave::C_EditWave(UserInterface* pUi)
    : ui_(pUi)
{
}

void C_EditWave::Yield()
{
    if (ui_ != nullptr)
        ui_->Yield();
}

// Raises the progress event and takes its answer; true when the call must stop.
bool C_EditWave::Report(double pRate)
{
    bool cancel = false;
    if (prog_)
        prog_(pRate, cancel);
    Yield();
    if (cancel)
        Canceled = true;
    return Canceled;
}

bool C_EditWave::EditWave(std::string_view pSourceFN, std::string_view pTargetFN, int64_t pFrom,
    int64_t pTo, int32_t pUseTh, float pThIn, float pThOut, int32_t pStartMargin,
    int32_t pEndMargin, int32_t pForceMargin, int32_t pUseNorm, float pNormLevel, int32_t pNormMode,
    int32_t pRMSmsec, float pRMSdb, int32_t pClip, float pAdjustdbL, float pAdjustdbR,
    int32_t pFadeInSample, int32_t pFadeOutSample, int32_t pCheckLevel)
{
    // Step 1: set-up.
    Canceled = false;
    if (pCheckLevel != 0) {
        MaxPeak = MaxRMS = NormRMS = -1;
        MaxPeakDB = MaxRMSDB = NormRMSDB = 0.0f;
    }
    const bool measureOnly = pTargetFN.empty() || pCheckLevel == 1;
    if (measureOnly) {
        pUseTh = 0;
        pUseNorm = 1;
        pAdjustdbL = pAdjustdbR = 0.0f;
    }
    const WaveInfo info = ReadWaveInfo(pSourceFN);
    if (info.Valid == 0 || info.FormatTag != kFormatTagPcm || info.FormatMode < 0
        || info.FormatMode > 5 || info.BlockAlign <= 0)
        return false;
    const int32_t channels = info.Channels;
    const int32_t bits = info.Bits;
    const int32_t fs = FullScale(bits);
    const int32_t rate = info.SampleRate;

    int64_t startMargin = 0;
    int64_t endMargin = 0;
    int64_t thIn = 0;
    int64_t thOut = 0;
    if (pUseTh != 0) {
        startMargin = RoundHalfEven(rate / 1000.0 * pStartMargin);
        endMargin = RoundHalfEven(rate / 1000.0 * pEndMargin);
        thIn = RoundHalfEven(DbToFactor(pThIn) * fs);
        thOut = RoundHalfEven(DbToFactor(pThOut) * fs);
    } else {
        pForceMargin = 0;
    }
    double gain = 1.0;
    if (pUseNorm == 0)
        pNormMode = 0;
    pNormMode = std::clamp(pNormMode, 0, 3);
    int64_t quietLimit = 0;
    int64_t quietTh = 0;
    if (pNormMode == 3) {
        quietLimit = std::max<int64_t>(0, RoundHalfEven(pRMSmsec / 1000.0 * rate));
        quietTh = RoundHalfEven(DbToFactor(pRMSdb) * fs);
    }
    int64_t from = pFrom > 0 ? pFrom : 0;
    int64_t to = pTo > 0 ? pTo : info.Frames;
    // Never read past the source: a range beyond it is limited to its frames.
    to = std::min<int64_t>(to, info.Frames);
    if (to < from)
        return false;
    const bool analyse = pUseTh != 0 || pUseNorm != 0;
    const int32_t passes
        = (pNormMode >= 2 ? 3 : 2) - (pCheckLevel != 0 ? 1 : 0) - (analyse ? 0 : 1);
    const double passCount = std::max(passes, 1);

    std::vector<uint8_t> bytes;
    std::vector<int32_t> samples;
    int64_t peak = 0;
    int64_t maxRms = 0;
    int64_t rangeRms = 0;
    double rms2 = 0.0;
    double prescale = 1.0;
    int64_t leadSilence = 0;
    int64_t trailSilence = 0;

    if (analyse) {
        // Step 2, pass 1: level analysis in 0.3-second chunks.
        const int64_t chunk = std::max<int64_t>(1, RoundHalfEven(rate * 0.3));
        int64_t detectedStart = -1;
        int64_t detectedEnd = -1;
        double maxChunkRms = 0.0;
        long double totalSum = 0.0L;
        int64_t totalCount = 0;
        const double span = static_cast<double>(std::max<int64_t>(to - from, 1));
        for (int64_t pos = from; pos < to;) {
            const int64_t n = std::min(chunk, to - pos);
            Yield();
            if (!ReadFrames(pSourceFN, info, pos, n, bytes))
                return false;
            Unpack(bytes, bits, static_cast<size_t>(n * channels), samples);
            uint64_t chunkSum = 0;
            for (int64_t f = 0; f < n; ++f) {
                bool overIn = false;
                bool overOut = false;
                for (int32_t c = 0; c < channels; ++c) {
                    const int64_t v = std::abs(samples[static_cast<size_t>(f * channels + c)]);
                    overIn = overIn || v > thIn;
                    overOut = overOut || v > thOut;
                    peak = std::max(peak, v);
                    chunkSum += static_cast<uint64_t>(v * v);
                }
                if (pUseTh != 0) {
                    if (overIn && detectedStart < 0)
                        detectedStart = pos + f;
                    if (overOut)
                        detectedEnd = pos + f;
                }
            }
            const double chunkRms
                = std::sqrt(static_cast<double>(chunkSum) / static_cast<double>(channels * n));
            maxChunkRms = std::max(maxChunkRms, chunkRms);
            totalSum += static_cast<long double>(chunkSum);
            totalCount += channels * n;
            pos += n;
            if (Report((static_cast<double>(pos - from) / span) / passCount))
                return false;
        }
        maxRms = RoundHalfEven(maxChunkRms);
        if (totalCount > 0)
            rangeRms = RoundHalfEven(
                std::sqrt(static_cast<double>(totalSum / static_cast<long double>(totalCount))));

        if (measureOnly) {
            if (pCheckLevel != 0) {
                MaxPeak = static_cast<int32_t>(peak);
                MaxRMS = static_cast<int32_t>(maxRms);
                NormRMS = static_cast<int32_t>(rangeRms);
                MaxPeakDB = static_cast<float>(RmsDb(peak, fs));
                MaxRMSDB = static_cast<float>(RmsDb(maxRms, fs));
                NormRMSDB = static_cast<float>(RmsDb(rangeRms, fs));
            }
            return true;
        }

        // Step 3: trimming.
        if (pUseTh != 0) {
            const int64_t start = detectedStart >= 0 ? detectedStart : from;
            const int64_t end = detectedEnd >= 0 ? detectedEnd : 0;
            int64_t newFrom = start - startMargin;
            int64_t newTo = end + endMargin;
            if ((newTo - newFrom) % 2 != 0)
                --newTo;
            if (newTo < newFrom)
                return false;
            if (newFrom < 0) {
                leadSilence = -newFrom;
                if (leadSilence % 2 != 0)
                    --leadSilence;
                newFrom = 0;
            }
            if (newTo > info.Frames) {
                trailSilence = newTo - info.Frames;
                if (trailSilence % 2 != 0)
                    --trailSilence;
                newTo = info.Frames;
            }
            from = newFrom;
            to = newTo;
        }

        // Step 4, pass 2: RMS of the range, without long quiet stretches in mode 3.
        if (pNormMode >= 2) {
            prescale = (pNormMode == 3 && peak > 0) ? static_cast<double>(fs) / peak : 1.0;
            const int64_t chunk2 = std::max<int64_t>(1, kEditWaveChunkBytes / info.BlockAlign);
            const double span2 = static_cast<double>(std::max<int64_t>(to - from, 1));
            double sum = 0.0;
            int64_t contributing = 0;
            int64_t quietRun = 0;
            for (int64_t pos = from; pos < to;) {
                const int64_t n = std::min(chunk2, to - pos);
                Yield();
                if (!ReadFrames(pSourceFN, info, pos, n, bytes))
                    return false;
                Unpack(bytes, bits, static_cast<size_t>(n * channels), samples);
                for (int64_t f = 0; f < n; ++f) {
                    const int32_t* frame = samples.data() + f * channels;
                    if (quietLimit != 0) {
                        bool quiet = true;
                        for (int32_t c = 0; c < channels; ++c)
                            quiet = quiet && std::abs(frame[c]) * prescale <= quietTh;
                        quietRun = quiet ? quietRun + 1 : 0;
                    }
                    if (quietRun <= quietLimit) {
                        for (int32_t c = 0; c < channels; ++c) {
                            const double u = std::abs(frame[c]) * prescale;
                            sum += u * u;
                        }
                        ++contributing;
                    }
                }
                pos += n;
                if (Report((static_cast<double>(pos - from) / span2) / passCount + 1.0 / passCount))
                    return false;
            }
            if (contributing > 0 && sum > 0.0)
                rms2 = std::sqrt(sum / static_cast<double>(channels * contributing));
        }

        // Step 5: the normalisation gain. Trimming alone leaves the level as it is.
        if (pUseNorm != 0) {
            const double target = DbToFactor(pNormLevel) * fs;
            switch (pNormMode) {
            case 0:
                if (peak > 0)
                    gain = target / static_cast<double>(peak);
                break;
            case 1:
                if (maxRms > 0)
                    gain = target / static_cast<double>(maxRms);
                break;
            case 2:
                if (rangeRms > 0 && rms2 > 0.0)
                    gain = target / rms2;
                break;
            default:
                if (rms2 > 0.0)
                    gain = target / (rms2 / prescale);
                break;
            }
            if (peak > 0 && pClip == 0 && gain > static_cast<double>(fs) / peak)
                gain = static_cast<double>(fs) / peak;
        }
    }

    // Step 6: output set-up.
    FileHandle target = OpenTarget(pTargetFN, info);
    if (!target.IsOpen())
        return false;
    if (leadSilence > 0 && pForceMargin == 1
        && !AppendSilence(target, leadSilence, info.BlockAlign, bits))
        return false;
    const float gainL
        = static_cast<float>(std::max(-60.0, FactorToDb(DbToFactor(pAdjustdbL) * gain)));
    const float gainR
        = static_cast<float>(std::max(-60.0, FactorToDb(DbToFactor(pAdjustdbR) * gain)));
    const int64_t fadeIn = std::max(pFadeInSample, 0);
    const int64_t fadeOut = std::max(pFadeOutSample, 0);
    const bool straight
        = gainL == 0.0f && (channels == 1 || gainR == 0.0f) && fadeIn == 0 && fadeOut == 0;
    const float channelGain[2] = { gainL, gainR };
    // Without fades the linear gain of a channel is the same for every frame.
    const float steadyK[2]
        = { static_cast<float>(DbToFactor(gainL)), static_cast<float>(DbToFactor(gainR)) };

    // Step 7, pass 3: the copy.
    const int64_t chunk3 = std::max<int64_t>(1, kEditWaveChunkBytes / info.BlockAlign);
    const double span3 = static_cast<double>(std::max<int64_t>(to - from, 1));
    std::vector<uint8_t> out;
    for (int64_t pos = from; pos < to;) {
        const int64_t n = std::min(chunk3, to - pos);
        Yield();
        if (!ReadFrames(pSourceFN, info, pos, n, bytes))
            return false;
        if (!straight) {
            Unpack(bytes, bits, static_cast<size_t>(n * channels), samples);
            out.resize(bytes.size());
            for (int64_t f = 0; f < n; ++f) {
                const int64_t p = pos + f;
                const bool inFadeIn = fadeIn > 0 && p < from + fadeIn;
                const bool inFadeOut = fadeOut > 0 && p > to - fadeOut;
                float fade = 0.0f;
                if (inFadeOut)
                    fade = static_cast<float>(-60.0 * static_cast<double>(p - (to - fadeOut))
                        / static_cast<double>(fadeOut));
                else if (inFadeIn)
                    fade = static_cast<float>(-60.0 * static_cast<double>(fadeIn - (p - from))
                        / static_cast<double>(fadeIn));
                for (int32_t c = 0; c < channels; ++c) {
                    const size_t i = static_cast<size_t>(f * channels + c);
                    const float k = (inFadeIn || inFadeOut)
                        ? static_cast<float>(DbToFactor(fade + channelGain[c]))
                        : steadyK[c];
                    if (bits == 8) {
                        const double y
                            = std::clamp(samples[i] * static_cast<double>(k) + 128.0, 0.0, 255.0);
                        out[i] = static_cast<uint8_t>(RoundHalfEven(y));
                        continue;
                    }
                    const double y = samples[i] * static_cast<double>(k);
                    int64_t v;
                    if (std::abs(y) >= fs)
                        v = y < 0 ? -fs : fs;
                    else
                        v = RoundHalfEven(y);
                    if (bits == 16) {
                        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
                        out[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
                    } else {
                        const int32_t v32 = static_cast<int32_t>(v);
                        Pack24(&v32, out.data() + 3 * i, 1);
                    }
                }
            }
        }
        const std::vector<uint8_t>& data = straight ? bytes : out;
        if (!data.empty() && !WriteAt(target, data.data(), static_cast<int64_t>(data.size()), -1))
            return false;
        pos += n;
        if (Report((static_cast<double>(pos - from) / span3) / passCount
                + (passCount - 1.0) / passCount))
            return false;
    }

    // Step 8: completion.
    if (trailSilence > 0 && pForceMargin == 1
        && !AppendSilence(target, trailSilence, info.BlockAlign, bits))
        return false;
    // The data chunk as a whole decides the pad byte, so appends to an odd-sized file stay
    // well formed.
    const int64_t dataChunk = FindChunk(target, "data");
    const int64_t fileSize = FileSize64(target);
    if (dataChunk < 0 || fileSize < dataChunk + 8)
        return false;
    int64_t trailing = 0;
    if ((fileSize - dataChunk - 8) % 2 != 0) {
        const uint8_t pad = bits == 8 ? 128 : 0;
        if (!WriteAt(target, &pad, 1, -1))
            return false;
        trailing = 1;
    }
    if (!FixWaveSizes(pTargetFN, trailing, false, &target))
        return false;
    return target.Close();
}

} // namespace tarvok
