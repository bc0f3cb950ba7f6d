#include "render/edit_wave.h"

#include "base/numeric.h"
#include "core/file_io.h"
#include "core/user_interface.h"
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
    const bool goOn = prog_(pRate);
    Yield();
    if (!goOn)
        Canceled = true;
    return Canceled;
}

// The settings of one call as the passes use them (switches turned off by a measure-only
// call, thresholds and margins in samples and frames) and what the passes find.
struct C_EditWave::Job {
    EditWaveRequest R;
    WaveInfo Info;
    bool MeasureOnly = false;
    int32_t Channels = 0;
    int32_t Bits = 0;
    int32_t Fs = 0; ///< full scale of the bit depth
    int32_t Rate = 0;
    int64_t StartMargin = 0;
    int64_t EndMargin = 0;
    int64_t ThIn = 0;
    int64_t ThOut = 0;
    int64_t QuietLimit = 0; ///< frames a quiet stretch may last and still count (mode 3)
    int64_t QuietTh = 0;
    int64_t From = 0;
    int64_t To = 0;
    double PassCount = 1.0;
    std::vector<uint8_t> Bytes;
    std::vector<int32_t> Samples;

    int64_t Peak = 0;
    int64_t MaxRms = 0;
    int64_t RangeRms = 0;
    int64_t DetectedStart = -1;
    int64_t DetectedEnd = -1;
    double Rms2 = 0.0;
    double Prescale = 1.0;
    int64_t LeadSilence = 0;
    int64_t TrailSilence = 0;
    FileHandle Target;

    /// Reads and unpacks pFrames frames at pPos; false when the read failed.
    bool ReadChunk(int64_t pPos, int64_t pFrames)
    {
        if (!ReadFrames(R.SourceFN, Info, pPos, pFrames, Bytes))
            return false;
        Unpack(Bytes, Bits, static_cast<size_t>(pFrames * Channels), Samples);
        return true;
    }
};

// Pass 1: peak, loudest 0.3-second RMS, RMS of the range and, when trimming, the first and
// last frames over the thresholds.
bool C_EditWave::AnalyseLevels(Job& pJob)
{
    const int64_t chunk = std::max<int64_t>(1, RoundHalfEven(pJob.Rate * 0.3));
    const int32_t channels = pJob.Channels;
    double maxChunkRms = 0.0;
    long double totalSum = 0.0L;
    int64_t totalCount = 0;
    const double span = static_cast<double>(std::max<int64_t>(pJob.To - pJob.From, 1));
    for (int64_t pos = pJob.From; pos < pJob.To;) {
        const int64_t n = std::min(chunk, pJob.To - pos);
        Yield();
        if (!ReadFrames(pJob.R.SourceFN, pJob.Info, pos, n, pJob.Bytes))
            return false;
        Unpack(pJob.Bytes, pJob.Bits, static_cast<size_t>(n * channels), pJob.Samples);
        uint64_t chunkSum = 0;
        for (int64_t f = 0; f < n; ++f) {
            bool overIn = false;
            bool overOut = false;
            for (int32_t c = 0; c < channels; ++c) {
                const int64_t v = std::abs(pJob.Samples[static_cast<size_t>(f * channels + c)]);
                overIn = overIn || v > pJob.ThIn;
                overOut = overOut || v > pJob.ThOut;
                pJob.Peak = std::max(pJob.Peak, v);
                chunkSum += static_cast<uint64_t>(v * v);
            }
            if (pJob.R.UseTh != 0) {
                if (overIn && pJob.DetectedStart < 0)
                    pJob.DetectedStart = pos + f;
                if (overOut)
                    pJob.DetectedEnd = pos + f;
            }
        }
        const double chunkRms
            = std::sqrt(static_cast<double>(chunkSum) / static_cast<double>(channels * n));
        maxChunkRms = std::max(maxChunkRms, chunkRms);
        totalSum += static_cast<long double>(chunkSum);
        totalCount += channels * n;
        pos += n;
        if (Report((static_cast<double>(pos - pJob.From) / span) / pJob.PassCount))
            return false;
    }
    pJob.MaxRms = RoundHalfEven(maxChunkRms);
    if (totalCount > 0)
        pJob.RangeRms = RoundHalfEven(
            std::sqrt(static_cast<double>(totalSum / static_cast<long double>(totalCount))));
    return true;
}

void C_EditWave::PublishLevels(const Job& pJob)
{
    MaxPeak = static_cast<int32_t>(pJob.Peak);
    MaxRMS = static_cast<int32_t>(pJob.MaxRms);
    NormRMS = static_cast<int32_t>(pJob.RangeRms);
    MaxPeakDB = static_cast<float>(RmsDb(pJob.Peak, pJob.Fs));
    MaxRMSDB = static_cast<float>(RmsDb(pJob.MaxRms, pJob.Fs));
    NormRMSDB = static_cast<float>(RmsDb(pJob.RangeRms, pJob.Fs));
}

// Moves the range to the detected start and end plus the margins, kept to an even number
// of frames. Margins beyond the source become silence counts (written only with
// ForceMargin). False when nothing is left.
bool C_EditWave::TrimToThreshold(Job& pJob) const
{
    const int64_t start = pJob.DetectedStart >= 0 ? pJob.DetectedStart : pJob.From;
    const int64_t end = pJob.DetectedEnd >= 0 ? pJob.DetectedEnd : 0;
    int64_t newFrom = start - pJob.StartMargin;
    int64_t newTo = end + pJob.EndMargin;
    if ((newTo - newFrom) % 2 != 0)
        --newTo;
    if (newTo < newFrom)
        return false;
    if (newFrom < 0) {
        pJob.LeadSilence = -newFrom;
        if (pJob.LeadSilence % 2 != 0)
            --pJob.LeadSilence;
        newFrom = 0;
    }
    if (newTo > pJob.Info.Frames) {
        pJob.TrailSilence = newTo - pJob.Info.Frames;
        if (pJob.TrailSilence % 2 != 0)
            --pJob.TrailSilence;
        newTo = pJob.Info.Frames;
    }
    pJob.From = newFrom;
    pJob.To = newTo;
    return true;
}

// Pass 2 (modes 2 and 3): the RMS of the (trimmed) range; mode 3 leaves out quiet stretches
// longer than the limit, judged on the data as peak normalisation would leave it.
bool C_EditWave::MeasureRangeRms(Job& pJob)
{
    const int32_t channels = pJob.Channels;
    pJob.Prescale
        = (pJob.R.NormMode == 3 && pJob.Peak > 0) ? static_cast<double>(pJob.Fs) / pJob.Peak : 1.0;
    const double prescale = pJob.Prescale;
    const int64_t chunk = std::max<int64_t>(1, kEditWaveChunkBytes / pJob.Info.BlockAlign);
    const double span = static_cast<double>(std::max<int64_t>(pJob.To - pJob.From, 1));
    double sum = 0.0;
    int64_t contributing = 0;
    int64_t quietRun = 0;
    for (int64_t pos = pJob.From; pos < pJob.To;) {
        const int64_t n = std::min(chunk, pJob.To - pos);
        Yield();
        if (!pJob.ReadChunk(pos, n))
            return false;
        for (int64_t f = 0; f < n; ++f) {
            const int32_t* frame = pJob.Samples.data() + f * channels;
            if (pJob.QuietLimit != 0) {
                bool quiet = true;
                for (int32_t c = 0; c < channels; ++c)
                    quiet = quiet && std::abs(frame[c]) * prescale <= pJob.QuietTh;
                quietRun = quiet ? quietRun + 1 : 0;
            }
            if (quietRun <= pJob.QuietLimit) {
                for (int32_t c = 0; c < channels; ++c) {
                    const double u = std::abs(frame[c]) * prescale;
                    sum += u * u;
                }
                ++contributing;
            }
        }
        pos += n;
        if (Report((static_cast<double>(pos - pJob.From) / span) / pJob.PassCount
                + 1.0 / pJob.PassCount))
            return false;
    }
    if (contributing > 0 && sum > 0.0)
        pJob.Rms2 = std::sqrt(sum / static_cast<double>(channels * contributing));
    return true;
}

// The normalisation gain of the chosen mode, limited so that the peak stays at full scale
// unless clipping is allowed. Trimming alone leaves the level as it is.
double C_EditWave::NormalizeGain(const Job& pJob) const
{
    double gain = 1.0;
    if (pJob.R.UseNorm == 0)
        return gain;
    const double target = DbToFactor(pJob.R.NormLevel) * pJob.Fs;
    switch (pJob.R.NormMode) {
    case 0:
        if (pJob.Peak > 0)
            gain = target / static_cast<double>(pJob.Peak);
        break;
    case 1:
        if (pJob.MaxRms > 0)
            gain = target / static_cast<double>(pJob.MaxRms);
        break;
    case 2:
        if (pJob.RangeRms > 0 && pJob.Rms2 > 0.0)
            gain = target / pJob.Rms2;
        break;
    default:
        if (pJob.Rms2 > 0.0)
            gain = target / (pJob.Rms2 / pJob.Prescale);
        break;
    }
    if (pJob.Peak > 0 && pJob.R.Clip == 0 && gain > static_cast<double>(pJob.Fs) / pJob.Peak)
        gain = static_cast<double>(pJob.Fs) / pJob.Peak;
    return gain;
}

// Pass 3: the copy through the channel gains and the fades, saturating at full scale.
// Without any gain or fade the source bytes go through untouched.
bool C_EditWave::CopyRange(Job& pJob, double pGain)
{
    const int32_t channels = pJob.Channels;
    const int32_t bits = pJob.Bits;
    const int32_t fs = pJob.Fs;
    const int64_t from = pJob.From;
    const int64_t to = pJob.To;
    const float gainL
        = static_cast<float>(std::max(-60.0, FactorToDb(DbToFactor(pJob.R.AdjustdbL) * pGain)));
    const float gainR
        = static_cast<float>(std::max(-60.0, FactorToDb(DbToFactor(pJob.R.AdjustdbR) * pGain)));
    const int64_t fadeIn = std::max(pJob.R.FadeInSample, 0);
    const int64_t fadeOut = std::max(pJob.R.FadeOutSample, 0);
    const bool straight
        = gainL == 0.0f && (channels == 1 || gainR == 0.0f) && fadeIn == 0 && fadeOut == 0;
    const float channelGain[2] = { gainL, gainR };
    // Without fades the linear gain of a channel is the same for every frame.
    const float steadyK[2]
        = { static_cast<float>(DbToFactor(gainL)), static_cast<float>(DbToFactor(gainR)) };

    const int64_t chunk = std::max<int64_t>(1, kEditWaveChunkBytes / pJob.Info.BlockAlign);
    const double span = static_cast<double>(std::max<int64_t>(to - from, 1));
    std::vector<uint8_t> out;
    for (int64_t pos = from; pos < to;) {
        const int64_t n = std::min(chunk, to - pos);
        Yield();
        if (!ReadFrames(pJob.R.SourceFN, pJob.Info, pos, n, pJob.Bytes))
            return false;
        if (!straight) {
            Unpack(pJob.Bytes, bits, static_cast<size_t>(n * channels), pJob.Samples);
            const std::vector<int32_t>& samples = pJob.Samples;
            out.resize(pJob.Bytes.size());
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
        const std::vector<uint8_t>& data = straight ? pJob.Bytes : out;
        if (!data.empty()
            && !WriteAt(pJob.Target, data.data(), static_cast<int64_t>(data.size()), -1))
            return false;
        pos += n;
        if (Report((static_cast<double>(pos - from) / span) / pJob.PassCount
                + (pJob.PassCount - 1.0) / pJob.PassCount))
            return false;
    }
    return true;
}

namespace {

// The data chunk as a whole decides the pad byte, so appends to an odd-sized file stay
// well formed; then the header sizes are written and the file closed.
bool FinishTarget(FileHandle& pTarget, const std::string& pPath, int32_t pBits)
{
    const int64_t dataChunk = FindChunk(pTarget, "data");
    const int64_t fileSize = FileSize64(pTarget);
    if (dataChunk < 0 || fileSize < dataChunk + 8)
        return false;
    int64_t trailing = 0;
    if ((fileSize - dataChunk - 8) % 2 != 0) {
        const uint8_t pad = pBits == 8 ? 128 : 0;
        if (!WriteAt(pTarget, &pad, 1, -1))
            return false;
        trailing = 1;
    }
    if (!FixWaveSizes(pPath, trailing, false, &pTarget))
        return false;
    return pTarget.Close();
}

} // namespace

bool C_EditWave::EditWave(const EditWaveRequest& pRequest)
{
    Canceled = false;
    if (pRequest.CheckLevel != 0) {
        MaxPeak = MaxRMS = NormRMS = -1;
        MaxPeakDB = MaxRMSDB = NormRMSDB = 0.0f;
    }
    Job job;
    EditWaveRequest& r = job.R;
    r = pRequest;
    job.MeasureOnly = r.TargetFN.empty() || r.CheckLevel == 1;
    if (job.MeasureOnly) {
        r.UseTh = 0;
        r.UseNorm = 1;
        r.AdjustdbL = r.AdjustdbR = 0.0f;
    }
    job.Info = ReadWaveInfo(r.SourceFN);
    const WaveInfo& info = job.Info;
    if (info.Valid == 0 || info.FormatTag != kFormatTagPcm || info.FormatMode < 0
        || info.FormatMode > 5 || info.BlockAlign <= 0)
        return false;
    job.Channels = info.Channels;
    job.Bits = info.Bits;
    job.Fs = FullScale(job.Bits);
    job.Rate = info.SampleRate;
    if (r.UseTh != 0) {
        job.StartMargin = RoundHalfEven(job.Rate / 1000.0 * r.StartMargin);
        job.EndMargin = RoundHalfEven(job.Rate / 1000.0 * r.EndMargin);
        job.ThIn = RoundHalfEven(DbToFactor(r.ThIn) * job.Fs);
        job.ThOut = RoundHalfEven(DbToFactor(r.ThOut) * job.Fs);
    } else {
        r.ForceMargin = 0;
    }
    if (r.UseNorm == 0)
        r.NormMode = 0;
    r.NormMode = std::clamp(r.NormMode, 0, 3);
    if (r.NormMode == 3) {
        job.QuietLimit = std::max<int64_t>(0, RoundHalfEven(r.RMSmsec / 1000.0 * job.Rate));
        job.QuietTh = RoundHalfEven(DbToFactor(r.RMSdb) * job.Fs);
    }
    job.From = r.From > 0 ? r.From : 0;
    // Never read past the source: a range beyond it is limited to its frames.
    job.To = std::min<int64_t>(r.To > 0 ? r.To : info.Frames, info.Frames);
    if (job.To < job.From)
        return false;
    const bool analyse = r.UseTh != 0 || r.UseNorm != 0;
    const int32_t passes
        = (r.NormMode >= 2 ? 3 : 2) - (r.CheckLevel != 0 ? 1 : 0) - (analyse ? 0 : 1);
    job.PassCount = std::max(passes, 1);

    double gain = 1.0;
    if (analyse) {
        if (!AnalyseLevels(job))
            return false;
        if (job.MeasureOnly) {
            if (r.CheckLevel != 0)
                PublishLevels(job);
            return true;
        }
        if (r.UseTh != 0 && !TrimToThreshold(job))
            return false;
        if (r.NormMode >= 2 && !MeasureRangeRms(job))
            return false;
        gain = NormalizeGain(job);
    }

    job.Target = OpenTarget(r.TargetFN, info);
    if (!job.Target.IsOpen())
        return false;
    if (job.LeadSilence > 0 && r.ForceMargin == 1
        && !AppendSilence(job.Target, job.LeadSilence, info.BlockAlign, job.Bits))
        return false;
    if (!CopyRange(job, gain))
        return false;
    if (job.TrailSilence > 0 && r.ForceMargin == 1
        && !AppendSilence(job.Target, job.TrailSilence, info.BlockAlign, job.Bits))
        return false;
    return FinishTarget(job.Target, r.TargetFN, job.Bits);
}

} // namespace tarvok
