// The single-device voice of the playback engine: output slot 0 alone, filled from the
// current track at the speeds the transport chooses (scrub, shuttle, mark preview) or from
// a WAV file (file preview).

#include "engine/playback_engine.h"

#include "base/numeric.h"
#include "core/envelope_gain.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cmath>

namespace tarvok {

bool PlaybackEngine::OpenVoice(PlayMode pMode)
{
    mode_ = pMode;
    outputUsed_.fill(0);
    outputUsed_[0] = 1;
    masterSlot_ = 0;
    SetupBuffers();
    if (!OpenSlot(0))
        return false;
    SetPlaying(true);
    return true;
}

void PlaybackEngine::PrepareVoiceRing()
{
    for (int32_t i = 0; i < RingSize(); ++i)
        slots_.Prepare(0, i);
}

void PlaybackEngine::QueueVoiceBuffer(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= RingSize())
        return;
    slots_.Write(0, pIndex);
}

bool PlaybackEngine::IsBufferFree(int32_t pIndex) const
{
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(bufferState_.size()))
        return false;
    return bufferState_[pIndex] == 0 || slots_.IsDone(masterSlot_, pIndex);
}

int16_t* PlaybackEngine::Samples(int32_t pSlot, int32_t pIndex)
{
    return slots_.Samples(pSlot, pIndex);
}

WaveHeader* PlaybackEngine::Header(int32_t pSlot, int32_t pIndex)
{
    return slots_.Header(pSlot, pIndex);
}

void PlaybackEngine::ResetSlot(int32_t pSlot) { slots_.Reset(pSlot); }

void PlaybackEngine::CloseVoice()
{
    slots_.Close(0);
    deviceOpen_ = false;
    SetPlaying(false);
}

bool PlaybackEngine::OpenVoiceRing(PlayMode pMode)
{
    if (!OpenVoice(pMode))
        return false;
    PrepareVoiceRing();
    deviceOpen_ = true;
    return true;
}

bool PlaybackEngine::OpenVoiceAt(PlayMode pMode, int32_t pPosition, float pSpeed)
{
    playStart_ = nextFill_ = pPosition;
    playEnd_ = 0;
    playSpeed_ = pSpeed;
    return OpenVoiceRing(pMode);
}

void PlaybackEngine::FillVoiceBuffer(int32_t pIndex, int32_t pPosition, float pSpeed)
{
    const Project& p = project_;
    int16_t* out = Samples(0, pIndex);
    WaveHeader* header = Header(0, pIndex);
    if (!out || !header)
        return;
    const int32_t bs = bufferSamples_;
    const double s = pSpeed;
    bufferSpeed_[pIndex] = pSpeed;
    const int32_t n = static_cast<int32_t>(RoundHalfEven(std::fabs(s) * bs + 100));
    const int64_t winStart
        = s >= 0 ? static_cast<int64_t>(pPosition) : static_cast<int64_t>(pPosition) - n;
    const int32_t track = std::clamp(p.CurrentTrack, 0, std::max(0, p.TrackCount() - 1));
    std::vector<int16_t> src;
    const bool any = ReadTrackFrames(track, winStart, n, src);
    const std::array<double, 2> g = TrackGains(track);
    // The envelope by steps: frames before 0 and beyond the envelope are silent.
    auto env = [&](int64_t pIndexInWindow, int32_t pChannel) -> double {
        const int64_t q = winStart + pIndexInWindow;
        if (q < 0 || q / kEnvelopeFrameSamples >= p.EnvelopeLength)
            return 0.0;
        return EnvelopeStepGain(p, track, pChannel, q);
    };
    auto at = [&](int64_t pI, int32_t pChannel) -> double {
        if (pI < 0 || pI >= n)
            return 0.0;
        return src[static_cast<size_t>(pI) * 2 + pChannel];
    };
    const double absS = std::fabs(s);
    const int32_t k = absS > 2 ? std::max(0, static_cast<int32_t>(absS) - 1) : 0;
    for (int32_t j = 0; j < bs; ++j) {
        for (int32_t ch = 0; ch < 2; ++ch) {
            double value = 0.0;
            int64_t envIndex = 0;
            if (!any || s == 0.0) {
                value = 0.0;
            } else if (s == 1.0) {
                value = at(j, ch);
                envIndex = j;
            } else if (s == -1.0) {
                value = at(static_cast<int64_t>(n) - (j + 1), ch);
                envIndex = static_cast<int64_t>(n) - (j + 1);
            } else {
                double h = s * j;
                if (s <= 0)
                    h += n - k - 2;
                const int64_t i0 = static_cast<int64_t>(std::floor(h));
                const double f = h - static_cast<double>(i0);
                const int64_t i1 = i0 + k + 1;
                value = static_cast<double>(RoundHalfEven(at(i1, ch) * f + at(i0, ch) * (1 - f)));
                if (k > 0) {
                    for (int64_t i = i0 + 1; i <= i1 - 1; ++i)
                        value += at(i, ch);
                    value = static_cast<double>(RoundHalfEven(value / (k + 1)));
                }
                envIndex = i0;
            }
            out[2 * j + ch]
                = value == 0.0 ? int16_t { 0 } : Saturate16(value * g[ch] * env(envIndex, ch));
        }
    }
    header->Data = reinterpret_cast<uint8_t*>(out);
    header->Length = static_cast<uint32_t>(bs) * kFrameBytes;
    if (mode_ != PlayMode::Stopped) {
        bufferState_[pIndex] = 3;
        QueueVoiceBuffer(pIndex);
        bufferStart_[pIndex] = pPosition;
        bufferPrevEnd_[pIndex] = bufferEnd_[pIndex];
        bufferEnd_[pIndex] = static_cast<int32_t>(RoundHalfEven(s * bs + pPosition));
    }
}

void PlaybackEngine::FillScrubBuffers(double pSpeed)
{
    const int32_t ring = RingSize();
    double speed = pSpeed;
    const double previous = playSpeed_;
    for (int32_t filled = 0; filled < 2; ++filled) {
        int32_t index = -1;
        for (int32_t c = 0; c < ring && index < 0; ++c) {
            const int32_t i = (nextBuffer_[0] + c) % ring;
            if (IsBufferFree(i))
                index = i;
        }
        if (index < 0)
            return;
        if (std::fabs(speed) > 1)
            speed = previous > 0 ? 1.0 : (previous < 0 ? -1.0 : 0.0);
        playSpeed_ = static_cast<float>(speed);
        nextBuffer_[0] = (index + 1) % ring;
        FillVoiceBuffer(index, nextFill_, playSpeed_);
        nextFill_ = static_cast<int32_t>(RoundHalfEven(speed * bufferSamples_ + nextFill_));
        bufferEnd_[index] = nextFill_;
    }
}

std::optional<int32_t> PlaybackEngine::TakeHeardScrubEnd()
{
    std::optional<int32_t> heard;
    const int32_t ring = std::min(RingSize(), BufferCount());
    for (int32_t i = 0; i < ring; ++i) {
        WaveHeader* h = Header(0, i);
        if (h && h->IsDone() && bufferEnd_[i] != -1) {
            heard = bufferEnd_[i];
            bufferEnd_[i] = -1;
        }
    }
    return heard;
}

void PlaybackEngine::FillShuttleBuffers(const std::function<void(int32_t)>& pHeadAt)
{
    const int32_t ring = RingSize();
    for (int32_t c = 0; c < ring; ++c) {
        const int32_t i = (nextBuffer_[0] + c) % ring;
        if (!IsBufferFree(i))
            continue;
        FillVoiceBuffer(i, nextFill_, playSpeed_);
        nextFill_ = static_cast<int32_t>(
            RoundHalfEven(static_cast<double>(bufferSpeed_[i]) * bufferSamples_ + nextFill_));
        if (bufferPrevEnd_[i] != -1 && pHeadAt)
            pHeadAt(bufferPrevEnd_[i]);
    }
}

void PlaybackEngine::ReplayMarkPreview(int32_t pPosition)
{
    // The one buffer may still be playing: stop it before its samples are rewritten.
    if (WaveHeader* h = Header(0, 0); h && !h->IsDone())
        ResetSlot(0);
    FillVoiceBuffer(0, pPosition, 1.0f);
}

void PlaybackEngine::StopVoice()
{
    CloseVoice();
    mode_ = PlayMode::Stopped;
}

bool PlaybackEngine::ReadTrackFrames(
    int32_t pTrack, int64_t pStart, int32_t pFrames, std::vector<int16_t>& pOut)
{
    const Project& p = Proj();
    pOut.assign(static_cast<size_t>(std::max(0, pFrames)) * 2, 0);
    bool any = false;
    for (const Block& b : p.Blocks) {
        if (b.TrackNo != pTrack)
            continue;
        if (const std::optional<BlockOverlap> overlap = OverlapOf(b, pStart, pFrames))
            if (ReadBlockFrames(p, b, overlap->BlockOffset, overlap->Count,
                    pOut.data() + overlap->WindowOffset * 2))
                any = true;
    }
    return any;
}

void PlaybackEngine::FillPreviewBuffer(int32_t pIndex, int32_t pPosition)
{
    WaveHeader* h = Header(0, pIndex);
    int16_t* data = Samples(0, pIndex);
    if (!h || !data || pPosition >= playEnd_)
        return;
    const int32_t frames = std::min(bufferSamples_, playEnd_ - pPosition);
    const int64_t offset = previewDataOffset_ + static_cast<int64_t>(pPosition) * kFrameBytes;
    std::fill_n(data, static_cast<size_t>(frames) * 2, int16_t { 0 });
    ReadBytes(data, static_cast<int64_t>(frames) * kFrameBytes, 0, previewFile_, offset, 0);
    h->Data = reinterpret_cast<uint8_t*>(data);
    h->Length = static_cast<uint32_t>(frames) * kFrameBytes;
    bufferStart_[pIndex] = pPosition;
    bufferPrevEnd_[pIndex] = bufferEnd_[pIndex];
    bufferEnd_[pIndex] = pPosition + frames;
    bufferState_[pIndex] = 3;
    QueueVoiceBuffer(pIndex);
}

bool PlaybackEngine::StartFilePreview(const std::string& pFile, int32_t pStart, int32_t pEnd)
{
    previewFile_ = pFile;
    playStart_ = pStart;
    paused_ = false;
    // The file's own header gives where the samples start and how many there are.
    const WaveInfo info = ReadWaveInfo(previewFile_);
    if (!info.Valid || info.Bits != 16 || info.Channels != 2)
        return false;
    previewDataOffset_ = info.DataOffset;
    playEnd_ = pEnd > 0 && pEnd < info.Frames ? pEnd : static_cast<int32_t>(info.Frames);
    playStart_ = std::max(0, playStart_);
    if (!OpenVoice(PlayMode::FilePreview))
        return false;
    PrepareVoiceRing();
    std::fill(bufferSpeed_.begin(), bufferSpeed_.end(), 1.0f);
    FillPreviewBuffer(0, playStart_);
    nextBuffer_[0] = RingSize() > 1 ? 1 : 0;
    nextFill_ = playStart_ + bufferSamples_;
    deviceOpen_ = true;
    RefillFilePreview();
    return true;
}

int32_t PlaybackEngine::RefillFilePreview()
{
    const int32_t ring = RingSize();
    if (!deviceOpen_ || !slots_.HasRing(0))
        return kRefillError;
    int32_t i = nextBuffer_[0] % ring;
    int32_t result = -1;
    bool endReached = false;
    bool busy = false;
    for (int32_t c = 0; c < ring; ++c, i = (i + 1) % ring) {
        if (bufferState_[i] != 0 && !slots_.IsDone(0, i)) {
            if (bufferState_[i] > 1)
                busy = true;
            continue;
        }
        nextBuffer_[0] = (i + 1) % ring;
        bufferState_[i] = 1;
        if (nextFill_ >= playEnd_) {
            endReached = true;
            continue;
        }
        FillPreviewBuffer(i, nextFill_);
        nextFill_ += bufferSamples_;
        result = i;
    }
    if (result >= 0)
        return result;
    if (endReached)
        return busy ? kRefillEndBusy : kRefillEndIdle;
    return kRefillNothing;
}

} // namespace tarvok
