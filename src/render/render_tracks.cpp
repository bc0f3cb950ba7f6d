#include "render/render_tracks.h"

#include "core/user_interface.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/wave_info.h"
#include "core/envelope_gain.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

namespace tarvok {

namespace {

// Adding and subtracting 1.5 x 2^52 rounds a double to the nearest integer, halves to even,
// in the default rounding mode, for every |x| below 2^51 - far beyond any mix value. It is
// exact where RoundHalfEven is, and the compiler can vectorise it.
constexpr double kRoundMagic = 6755399441055744.0;
inline double Nearest(double pValue) { return (pValue + kRoundMagic) - kRoundMagic; }

std::string Percent(double pFraction)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", pFraction * 100.0);
    return text;
}

inline int16_t ClampSample(double pValue)
{
    // The value is already an integer: saturation is all that is left.
    return static_cast<int16_t>(std::clamp(pValue, -32767.0, 32767.0));
}

double TableGain(const Project& pProject, int32_t pLevel)
{
    return static_cast<double>(pProject.Fades[static_cast<size_t>(std::clamp(pLevel, 0, 255))]);
}

// The per-chunk state of one render: the slot table, its buffers (kept between chunks so
// that nothing is allocated per chunk) and the accumulators.
class Renderer {
public:
    Renderer(const Project& pProject, const RenderRequest& pRequest)
        : project_(pProject)
        , request_(pRequest)
    {
        slotOf_.fill(-1);
    }

    /// Gathers the blocks of the chunk [pStart, pStart + pFrames) into the track slots.
    /// False when a working file cannot be read.
    bool Gather(int32_t pStart, int32_t pFrames);

    /// Mixes the gathered slots into acc_ (mode 0) with the render gain pGain.
    void Mix(int32_t pStart, int32_t pFrames, double pGain);

    /// The frames of a single-track mode, ready to write.
    void Single(int32_t pStart, int32_t pFrames, std::vector<int16_t>& pOut);

    const std::vector<double>& Acc() const { return acc_; }

private:
    bool Qualifies(const Track& pTrack, int32_t pTrackNo) const;
    std::vector<int16_t>& SlotFor(int32_t pTrack, int32_t pFrames);

    const Project& project_;
    const RenderRequest& request_;
    std::array<int32_t, kMaxTracks> slotOf_ {};
    std::vector<int32_t> slotTrack_;
    std::vector<std::vector<int16_t>> buffers_;
    std::vector<double> acc_;
    std::vector<float> envL_;
    std::vector<float> envR_;
};

bool Renderer::Qualifies(const Track& pTrack, int32_t pTrackNo) const
{
    if (request_.Mode != kRenderMix)
        return pTrackNo == request_.Tracks;
    if (request_.Tracks == kRenderSelectedTracks)
        return pTrack.Selected != 0;
    if (request_.Tracks == kRenderPlayingTracks)
        return pTrack.PlaySelected != 0;
    return true;
}

std::vector<int16_t>& Renderer::SlotFor(int32_t pTrack, int32_t pFrames)
{
    const int32_t key = request_.Mode == kRenderMix ? pTrack : 0;
    if (slotOf_[static_cast<size_t>(key)] < 0) {
        const size_t slot = slotTrack_.size();
        slotOf_[static_cast<size_t>(key)] = static_cast<int32_t>(slot);
        slotTrack_.push_back(pTrack);
        if (buffers_.size() <= slot)
            buffers_.emplace_back();
        buffers_[slot].assign(static_cast<size_t>(pFrames) * 2, 0);
    }
    return buffers_[static_cast<size_t>(slotOf_[static_cast<size_t>(key)])];
}

bool Renderer::Gather(int32_t pStart, int32_t pFrames)
{
    for (int32_t track : slotTrack_)
        slotOf_[static_cast<size_t>(request_.Mode == kRenderMix ? track : 0)] = -1;
    slotTrack_.clear();
    if (request_.Mode != kRenderMix)
        SlotFor(request_.Tracks, pFrames); // the single output buffer, silent without blocks
    const int64_t last = static_cast<int64_t>(pStart) + pFrames - 1;
    for (const Block& block : project_.Blocks) {
        if (block.TrackNo < 0 || block.TrackNo >= static_cast<int32_t>(project_.Tracks.size())
            || block.TrackNo >= kMaxTracks)
            continue;
        if (!Qualifies(project_.Tracks[static_cast<size_t>(block.TrackNo)], block.TrackNo))
            continue;
        if (block.StartAdr > last || block.EndAdr < pStart)
            continue;
        if (block.WaveNo < 0 || block.WaveNo >= project_.WaveFileCount())
            continue;
        std::vector<int16_t>& buffer = SlotFor(block.TrackNo, pFrames);
        int64_t dest = 0;
        int64_t source = block.SrcStart;
        if (block.StartAdr >= pStart)
            dest = block.StartAdr - pStart;
        else
            source = static_cast<int64_t>(block.SrcStart) + (pStart - block.StartAdr);
        const int64_t count = std::min<int64_t>(last, block.EndAdr) - pStart + 1 - dest;
        if (count <= 0)
            continue;
        const WaveFile& wave = project_.WaveFiles[static_cast<size_t>(block.WaveNo)];
        int16_t* target = buffer.data() + dest * 2;
        const int64_t offset = wave.DataOffset + (source - 1) * kFrameBytes;
        if (!ReadBytes(target, count * kFrameBytes, 0, wave.FileName, offset, 0))
            return false;
        if (block.LevelL != 0.0f || block.LevelR != 0.0f) {
            const double factor[2] = { DbToFactor(block.LevelL), DbToFactor(block.LevelR) };
            for (int64_t i = 0; i < count * 2; ++i)
                target[i] = Saturate16(target[i] * factor[i & 1]);
        }
    }
    return true;
}

void Renderer::Mix(int32_t pStart, int32_t pFrames, double pGain)
{
    const size_t frames = static_cast<size_t>(pFrames);
    acc_.assign(frames * 2, 0.0);
    envL_.resize(frames);
    envR_.resize(frames);
    const double masterL = TableGain(project_, project_.MasterLevelL);
    const double masterR = TableGain(project_, project_.MasterLevelR);
    double* acc = acc_.data();
    for (size_t slot = 0; slot < slotTrack_.size(); ++slot) {
        const int32_t trackNo = slotTrack_[slot];
        const Track& track = project_.Tracks[static_cast<size_t>(trackNo)];
        const double gainL = TableGain(project_, track.LevelL) * masterL * pGain;
        const double gainR = TableGain(project_, track.LevelR) * masterR * pGain;
        EnvelopeGainRun(project_, trackNo, kLeftChannel, pStart, envL_);
        EnvelopeGainRun(project_, trackNo, kRightChannel, pStart, envR_);
        const int16_t* s = buffers_[slot].data();
        const float* eL = envL_.data();
        const float* eR = envR_.data();
        const bool unity = gainL == 1.0 && gainR == 1.0
            && std::all_of(eL, eL + frames, [](float g) { return g == 1.0f; })
            && std::all_of(eR, eR + frames, [](float g) { return g == 1.0f; });
        if (unity) {
            // Integer plus integer: the rounding after the addition changes nothing.
            for (size_t i = 0; i < frames * 2; ++i)
                acc[i] += s[i];
            continue;
        }
        for (size_t j = 0; j < frames; ++j) {
            acc[2 * j] = Nearest(acc[2 * j] + s[2 * j] * gainL * eL[j]);
            acc[2 * j + 1] = Nearest(acc[2 * j + 1] + s[2 * j + 1] * gainR * eR[j]);
        }
    }
}

void Renderer::Single(int32_t pStart, int32_t pFrames, std::vector<int16_t>& pOut)
{
    const size_t frames = static_cast<size_t>(pFrames);
    const std::vector<int16_t>& buffer = buffers_[static_cast<size_t>(slotOf_[0])];
    pOut.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(frames * 2));
    if (request_.Mode == kRenderTrackRaw)
        return;
    const int32_t trackNo = request_.Tracks;
    double gainL = 1.0;
    double gainR = 1.0;
    if (request_.Mode == kRenderTrackEnvelopeLevel && trackNo >= 0
        && trackNo < static_cast<int32_t>(project_.Tracks.size())) {
        gainL = TableGain(project_, project_.Tracks[static_cast<size_t>(trackNo)].LevelL);
        gainR = TableGain(project_, project_.Tracks[static_cast<size_t>(trackNo)].LevelR);
    }
    envL_.resize(frames);
    envR_.resize(frames);
    EnvelopeGainRun(project_, trackNo, kLeftChannel, pStart, envL_);
    EnvelopeGainRun(project_, trackNo, kRightChannel, pStart, envR_);
    for (size_t j = 0; j < frames; ++j) {
        pOut[2 * j] = Saturate16(pOut[2 * j] * gainL * envL_[j]);
        pOut[2 * j + 1] = Saturate16(pOut[2 * j + 1] * gainR * envR_[j]);
    }
}

} // namespace

bool RenderSizeAllowed(int64_t pFrom, int64_t pTo, int64_t pLoops)
{
    const int64_t frames = pTo - pFrom;
    if (frames <= 0 || pLoops <= 0)
        return true;
    // Checked in steps so that absurd loop counts cannot overflow.
    if (pLoops > kRenderMaxBytes / kFrameBytes / frames + 1)
        return false;
    return frames * pLoops * kFrameBytes <= kRenderMaxBytes;
}

bool RenderTracks(const Project& pProject, const RenderRequest& pRequest, UserInterface& pUi,
    bool& pCancelRequest, const std::function<void(double)>& pProgress)
{
    // Step 1: the size limit, before anything is touched.
    if (!RenderSizeAllowed(pRequest.From, pRequest.To, pRequest.Loops)) {
        pUi.ShowMessage("作成データは4GBまでです");
        return false;
    }
    if (pRequest.Mode < kRenderMix || pRequest.Mode > kRenderTrackEnvelopeLevel)
        return false;
    if (pRequest.Mode == kRenderMix && pRequest.Tracks != kRenderAllTracks
        && pRequest.Tracks != kRenderSelectedTracks && pRequest.Tracks != kRenderPlayingTracks)
        return false;
    if (pRequest.Mode != kRenderMix
        && (pRequest.Tracks < 0 || pRequest.Tracks >= pProject.TrackCount()
            || pRequest.Tracks >= kMaxTracks))
        return false;

    // Step 2: the file.
    FileHandle file;
    if (!pRequest.FileReady) {
        if (!DeleteFileForce(pRequest.File))
            return false;
        std::optional<FileHandle> created
            = WriteWaveHeader(pProject.SampleRate, kBits, kChannels, pRequest.File, 0, true);
        if (!created)
            return false;
        file = std::move(*created);
    } else {
        if (ReadWaveInfo(pRequest.File).Valid == 0)
            return false;
        file = OpenFile(pRequest.File, OpenMode::Update);
        if (!file.IsOpen())
            return false;
    }
    auto finish = [&](bool pResult) {
        const bool fixed = FixWaveSizes(pRequest.File, 0, false, &file);
        const bool closed = file.Close();
        return pResult && fixed && closed;
    };

    // Step 3.
    const int64_t from = std::max<int32_t>(pRequest.From, 0);
    const int64_t to = pRequest.To;
    if (to - from < 1)
        return finish(false);
    const int64_t length = to - from;
    const int64_t loops = pRequest.Mode == kRenderMix ? std::max(pRequest.Loops, 1) : 1;
    const bool normalise = pRequest.NormLevel != kNoNormalize && pRequest.Mode == kRenderMix;
    const double totalWork = static_cast<double>(length) * (loops + (normalise ? 1 : 0));
    double workDone = 0.0;

    Renderer renderer(pProject, pRequest);
    auto beforeChunk = [&](const std::string& pText) {
        pUi.Yield();
        pUi.ShowMessage(pText);
        if (pProgress)
            pProgress(workDone / totalWork);
        if (pCancelRequest) {
            pCancelRequest = false;
            return false;
        }
        return true;
    };

    // Step 8: the level pass, over one repetition in 0.3-second chunks.
    double gain = 1.0;
    if (normalise) {
        const int64_t chunk = std::max<int64_t>(1, RoundHalfEven(pProject.SampleRate * 0.3));
        double peak = 0.0;
        double maxRms = 0.0;
        for (int64_t c = from; c < to; c += chunk) {
            const int32_t n = static_cast<int32_t>(std::min(chunk, to - c));
            if (!beforeChunk("レベル検出中 "
                    + Percent(static_cast<double>(c - from) / static_cast<double>(length))))
                return finish(false);
            if (!renderer.Gather(static_cast<int32_t>(c), n))
                return finish(false);
            renderer.Mix(static_cast<int32_t>(c), n, 1.0);
            double sum = 0.0;
            for (double a : renderer.Acc()) {
                peak = std::max(peak, std::abs(a));
                sum += a * a;
            }
            if (pRequest.UseRMS)
                maxRms = std::max(maxRms, std::sqrt(sum / (2.0 * n)));
            workDone += n;
        }
        const double target = DbToFactor(pRequest.NormLevel);
        if (peak > 0.0) {
            if (pRequest.UseRMS) {
                gain = target / (maxRms / 32767.0);
                if (peak * gain > 32767.0)
                    gain = 32767.0 / peak;
            } else {
                gain = target / (peak / 32767.0);
            }
        }
    }

    // Step 9: the writing pass.
    std::vector<int16_t> out;
    for (int64_t repetition = 1; repetition <= loops; ++repetition) {
        for (int64_t c = from; c < to; c += kRenderChunkFrames) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(kRenderChunkFrames, to - c));
            const double done = static_cast<double>((repetition - 1) * length + c - from)
                / static_cast<double>(loops * length);
            if (!beforeChunk(pRequest.Label + "処理中 " + Percent(done)))
                return finish(false);
            if (!renderer.Gather(static_cast<int32_t>(c), n))
                return finish(false);
            if (pRequest.Mode == kRenderMix) {
                renderer.Mix(static_cast<int32_t>(c), n, gain);
                const std::vector<double>& acc = renderer.Acc();
                out.resize(acc.size());
                for (size_t i = 0; i < acc.size(); ++i)
                    out[i] = ClampSample(acc[i]);
            } else {
                renderer.Single(static_cast<int32_t>(c), n, out);
            }
            if (!WriteAt(file, out.data(), static_cast<int64_t>(n) * kFrameBytes, -1))
                return finish(false);
            workDone += n;
        }
    }
    if (pProgress)
        pProgress(1.0);
    return finish(true);
}

} // namespace tarvok
