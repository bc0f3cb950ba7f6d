#include "render/render_tracks.h"

#include "base/numeric.h"
#include "core/envelope_gain.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "render/mix_kernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

namespace tarvok {

namespace {

std::string Percent(double pFraction)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", pFraction * 100.0);
    return text;
}

// The per-chunk state of one render: the chosen tracks' window, the mix and the envelope
// runs of the single-track modes, kept between chunks so that nothing is allocated per chunk.
class Renderer {
public:
    Renderer(const Project& pProject, const RenderRequest& pRequest)
        : project_(pProject)
        , request_(pRequest)
    {
        filter_.Qualifies = [this](int32_t pTrack) { return Qualifies(pTrack); };
    }

    /// Reads the blocks of the chunk [pStart, pStart + pFrames). False when a working file
    /// cannot be read.
    bool Gather(int32_t pStart, int32_t pFrames);

    /// Mixes the gathered tracks (mode 0) with the render gain pGain.
    void Mix(int32_t pStart, double pGain);

    /// The frames of a single-track mode, ready to write.
    void Single(int32_t pStart, int32_t pFrames, std::vector<int16_t>& pOut);

    const MixAccumulator& Mixed() const { return mix_; }

private:
    bool Qualifies(int32_t pTrackNo) const;

    const Project& project_;
    const RenderRequest& request_;
    TrackWindow::Filter filter_;
    TrackWindow window_;
    MixAccumulator mix_;
    std::vector<float> envL_;
    std::vector<float> envR_;
};

bool Renderer::Qualifies(int32_t pTrackNo) const
{
    if (request_.Mode != kRenderMix)
        return pTrackNo == request_.Tracks;
    const Track& track = project_.Tracks[static_cast<size_t>(pTrackNo)];
    if (request_.Tracks == kRenderSelectedTracks)
        return track.Selected != 0;
    if (request_.Tracks == kRenderPlayingTracks)
        return track.PlaySelected != 0;
    return true;
}

bool Renderer::Gather(int32_t pStart, int32_t pFrames)
{
    if (!window_.Read(project_, pStart, pFrames, filter_))
        return false;
    if (request_.Mode != kRenderMix)
        window_.BufferFor(request_.Tracks); // the single output buffer, silent without blocks
    return true;
}

void Renderer::Mix(int32_t pStart, double pGain)
{
    mix_.Reset(window_.Length());
    for (size_t i = 0; i < window_.TrackCount(); ++i) {
        const int32_t track = window_.TrackAt(i);
        mix_.AddTrack(
            project_, track, pStart, window_.Frames(i), TrackGains(project_, track, pGain));
    }
}

void Renderer::Single(int32_t pStart, int32_t pFrames, std::vector<int16_t>& pOut)
{
    const size_t frames = static_cast<size_t>(pFrames);
    const int16_t* buffer = window_.BufferFor(request_.Tracks);
    pOut.assign(buffer, buffer + frames * 2);
    if (request_.Mode == kRenderTrackRaw)
        return;
    const int32_t trackNo = request_.Tracks;
    double gainL = 1.0;
    double gainR = 1.0;
    if (request_.Mode == kRenderTrackEnvelopeLevel && trackNo >= 0
        && trackNo < static_cast<int32_t>(project_.Tracks.size())) {
        gainL = FaderGain(project_, project_.Tracks[static_cast<size_t>(trackNo)].LevelL);
        gainR = FaderGain(project_, project_.Tracks[static_cast<size_t>(trackNo)].LevelR);
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
            renderer.Mix(static_cast<int32_t>(c), 1.0);
            double sum = 0.0;
            for (double a : renderer.Mixed().Sums()) {
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
                renderer.Mix(static_cast<int32_t>(c), gain);
                out.resize(static_cast<size_t>(n) * 2);
                renderer.Mixed().WriteSamples(out.data());
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
