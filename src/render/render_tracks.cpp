#include "render/render_tracks.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/envelope_gain.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "render/mix_kernel.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

namespace tarvok {

namespace {

constexpr const char* kRenderTooLarge = N_("作成データは4GBまでです");
constexpr const char* kRenderReadFailed = N_("作業ファイルを読めません");
constexpr const char* kRenderOpenFailed = N_("ファイルに書き込めません");

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
    Renderer(const Project& pProject, const RenderRequest& pRequest, UserInterface& pUi)
        : project_(pProject)
        , request_(pRequest)
        , ui_(pUi)
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
    UserInterface& ui_;
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
    // A working file that lost its tail on the disk renders as silence there; the user hears
    // of it once, not from every chunk.
    for (const std::string& damaged : window_.TakeDamaged())
        ui_.MessageBox(DamagedFileText(damaged), MsgButtons::Ok, MsgIcon::Warning);
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

// The request names a mode and tracks the renderer knows.
bool RequestValid(const Project& pProject, const RenderRequest& pRequest)
{
    if (pRequest.Mode < kRenderMix || pRequest.Mode > kRenderTrackEnvelopeLevel)
        return false;
    if (pRequest.Mode == kRenderMix)
        return pRequest.Tracks == kRenderAllTracks || pRequest.Tracks == kRenderSelectedTracks
            || pRequest.Tracks == kRenderPlayingTracks;
    return pRequest.Tracks >= 0 && pRequest.Tracks < pProject.TrackCount()
        && pRequest.Tracks < kMaxTracks;
}

// A new file with a 16-bit stereo header at the project rate, or the caller's existing WAV
// file opened for appending.
Result<FileHandle> OpenRenderFile(const Project& pProject, const RenderRequest& pRequest)
{
    if (!pRequest.FileReady) {
        if (!DeleteFileForce(pRequest.File))
            return WriteError(errno);
        return StartWaveFile(pProject.SampleRate, kBits, kChannels, pRequest.File, 0, true);
    }
    if (ReadWaveInfo(pRequest.File).Valid == 0)
        return Fail(Tr(kRenderOpenFailed), ErrorCode::FileError);
    errno = 0;
    FileHandle file = OpenFile(pRequest.File, OpenMode::Update);
    if (!file.IsOpen())
        return WriteError(errno);
    return file;
}

// The passes over the range: the level pass of a normalised mix, then the writing pass for
// each repetition. Both yield, show their progress and stop at a cancel between chunks.
class RenderPasses {
public:
    RenderPasses(const Project& pProject, const RenderRequest& pRequest, UserInterface& pUi,
        const Progress& pProgress)
        : project_(pProject)
        , request_(pRequest)
        , ui_(pUi)
        , progress_(pProgress)
        , renderer_(pProject, pRequest, pUi)
        , from_(std::max<int32_t>(pRequest.From, 0))
        , to_(pRequest.To)
        , loops_(pRequest.Mode == kRenderMix ? std::max(pRequest.Loops, 1) : 1)
        , normalise_(pRequest.NormLevel != kNoNormalize && pRequest.Mode == kRenderMix)
        , totalWork_(static_cast<double>(to_ - from_) * (loops_ + (normalise_ ? 1 : 0)))
    {
    }

    bool Normalises() const { return normalise_; }
    /// The level pass over one repetition in 0.3-second chunks: the gain that brings the
    /// peak (or the loudest chunk's RMS, with the peak kept at full scale) to the target
    /// level; 1 for silence. Fails when cancelled or a read failed.
    Result<double> NormaliseGain();
    /// Writes the range pLoops times through pGain (mix mode) into pFile; fails when
    /// cancelled or a read or write failed.
    Status Write(const FileHandle& pFile, double pGain);

private:
    bool BeforeChunk(const std::string& pText);

    const Project& project_;
    const RenderRequest& request_;
    UserInterface& ui_;
    const Progress& progress_;
    Renderer renderer_;
    const int64_t from_;
    const int64_t to_;
    const int64_t loops_;
    const bool normalise_;
    const double totalWork_;
    double workDone_ = 0.0;
};

bool RenderPasses::BeforeChunk(const std::string& pText)
{
    ui_.Yield();
    ui_.ShowMessage(pText);
    return progress_(workDone_ / totalWork_);
}

Result<double> RenderPasses::NormaliseGain()
{
    const int64_t length = to_ - from_;
    const int64_t chunk = std::max<int64_t>(1, RoundHalfEven(project_.SampleRate * 0.3));
    double peak = 0.0;
    double maxRms = 0.0;
    for (int64_t c = from_; c < to_; c += chunk) {
        const int32_t n = static_cast<int32_t>(std::min(chunk, to_ - c));
        if (!BeforeChunk(TrArgs("レベル検出中 %1",
                Percent(static_cast<double>(c - from_) / static_cast<double>(length)))))
            return CancelledError();
        if (!renderer_.Gather(static_cast<int32_t>(c), n))
            return Fail(Tr(kRenderReadFailed));
        renderer_.Mix(static_cast<int32_t>(c), 1.0);
        double sum = 0.0;
        for (double a : renderer_.Mixed().Sums()) {
            peak = std::max(peak, std::abs(a));
            sum += a * a;
        }
        if (request_.UseRMS)
            maxRms = std::max(maxRms, std::sqrt(sum / (2.0 * n)));
        workDone_ += n;
    }
    const double target = DbToFactor(request_.NormLevel);
    double gain = 1.0;
    if (peak > 0.0) {
        if (request_.UseRMS) {
            gain = target / (maxRms / 32767.0);
            if (peak * gain > 32767.0)
                gain = 32767.0 / peak;
        } else {
            gain = target / (peak / 32767.0);
        }
    }
    return gain;
}

Status RenderPasses::Write(const FileHandle& pFile, double pGain)
{
    const int64_t length = to_ - from_;
    std::vector<int16_t> out;
    for (int64_t repetition = 1; repetition <= loops_; ++repetition) {
        for (int64_t c = from_; c < to_; c += kRenderChunkFrames) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(kRenderChunkFrames, to_ - c));
            const double done = static_cast<double>((repetition - 1) * length + c - from_)
                / static_cast<double>(loops_ * length);
            if (!BeforeChunk(TrArgs("%1処理中 %2", request_.Label, Percent(done))))
                return CancelledError();
            if (!renderer_.Gather(static_cast<int32_t>(c), n))
                return Fail(Tr(kRenderReadFailed));
            if (request_.Mode == kRenderMix) {
                renderer_.Mix(static_cast<int32_t>(c), pGain);
                out.resize(static_cast<size_t>(n) * 2);
                renderer_.Mixed().WriteSamples(out.data());
            } else {
                renderer_.Single(static_cast<int32_t>(c), n, out);
            }
            if (Status written
                = WriteAt(pFile, out.data(), static_cast<int64_t>(n) * kFrameBytes, -1);
                !written)
                return written;
            workDone_ += n;
        }
    }
    return {};
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

Status RenderTracks(const Project& pProject, const RenderRequest& pRequest, UserInterface& pUi,
    const Progress& pProgress)
{
    // The size limit is checked before anything is touched.
    if (!RenderSizeAllowed(pRequest.From, pRequest.To, pRequest.Loops)) {
        pUi.ShowMessage(Tr(kRenderTooLarge));
        return Fail(Tr(kRenderTooLarge));
    }
    if (!RequestValid(pProject, pRequest))
        return Fail("unknown render mode or track");
    Result<FileHandle> file = OpenRenderFile(pProject, pRequest);
    if (!file)
        return file.error();
    // The header is finalised whatever happens, so that the file stays a valid WAV file.
    auto finish = [&](const Status& pResult) -> Status {
        Status fixed = FixWaveSizes(pRequest.File, 0, false, &*file);
        errno = 0;
        if (!file->Close() && fixed)
            fixed = WriteError(errno);
        return pResult ? fixed : pResult;
    };
    if (pRequest.To - std::max<int32_t>(pRequest.From, 0) < 1)
        return finish(Fail("empty range"));

    RenderPasses passes(pProject, pRequest, pUi, pProgress);
    double gain = 1.0;
    if (passes.Normalises()) {
        Result<double> measured = passes.NormaliseGain();
        if (!measured)
            return finish(measured.error());
        gain = *measured;
    }
    if (Status written = passes.Write(*file, gain); !written)
        return finish(written);
    pProgress(1.0);
    return finish({});
}

} // namespace tarvok
