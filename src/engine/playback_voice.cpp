// The single-device voice of the playback engine: output slot 0 alone, filled by the
// transport (scrub, shuttle, mark preview) or here from a WAV file (file preview).

#include "engine/playback_engine.h"

#include "core/file_io.h"
#include "core/project.h"
#include "core/wave_info.h"

#include <algorithm>

namespace tarvok {

bool PlaybackEngine::OpenVoice(PlayMode pMode)
{
    Mode = pMode;
    OutputUsed.fill(0);
    OutputUsed[0] = 1;
    MasterSlot = 0;
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
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(BufferState.size()))
        return false;
    return BufferState[pIndex] == 0 || slots_.IsDone(MasterSlot, pIndex);
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
    DeviceOpen = 0;
    SetPlaying(false);
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
    if (!h || !data || pPosition >= PlayEnd)
        return;
    const int32_t frames = std::min(BufferSamples, PlayEnd - pPosition);
    const int64_t offset = previewDataOffset_ + static_cast<int64_t>(pPosition) * kFrameBytes;
    std::fill_n(data, static_cast<size_t>(frames) * 2, int16_t { 0 });
    ReadBytes(data, static_cast<int64_t>(frames) * kFrameBytes, 0, PreviewFile, offset, 0);
    h->Data = reinterpret_cast<uint8_t*>(data);
    h->Length = static_cast<uint32_t>(frames) * kFrameBytes;
    BufferStart[pIndex] = pPosition;
    BufferPrevEnd[pIndex] = BufferEnd[pIndex];
    BufferEnd[pIndex] = pPosition + frames;
    BufferState[pIndex] = 3;
    QueueVoiceBuffer(pIndex);
}

bool PlaybackEngine::StartFilePreview(int32_t pEnd)
{
    // The file's own header gives where the samples start and how many there are.
    const WaveInfo info = ReadWaveInfo(PreviewFile);
    if (!info.Valid || info.Bits != 16 || info.Channels != 2)
        return false;
    previewDataOffset_ = info.DataOffset;
    PlayEnd = pEnd > 0 && pEnd < info.Frames ? pEnd : static_cast<int32_t>(info.Frames);
    PlayStart = std::max(0, PlayStart);
    if (!OpenPreviewDevice())
        return false;
    PrepareVoiceRing();
    std::fill(BufferSpeed.begin(), BufferSpeed.end(), 1.0f);
    FillPreviewBuffer(0, PlayStart);
    NextBuffer[0] = RingSize() > 1 ? 1 : 0;
    NextFill = PlayStart + BufferSamples;
    DeviceOpen = 1;
    RefillFilePreview();
    return true;
}

int32_t PlaybackEngine::RefillFilePreview()
{
    const int32_t ring = RingSize();
    if (!DeviceOpen || !slots_.HasRing(0))
        return kRefillError;
    int32_t i = NextBuffer[0] % ring;
    int32_t result = -1;
    bool endReached = false;
    bool busy = false;
    for (int32_t c = 0; c < ring; ++c, i = (i + 1) % ring) {
        if (BufferState[i] != 0 && !slots_.IsDone(0, i)) {
            if (BufferState[i] > 1)
                busy = true;
            continue;
        }
        NextBuffer[0] = (i + 1) % ring;
        BufferState[i] = 1;
        if (NextFill >= PlayEnd) {
            endReached = true;
            continue;
        }
        FillPreviewBuffer(i, NextFill);
        NextFill += BufferSamples;
        result = i;
    }
    if (result >= 0)
        return result;
    if (endReached)
        return busy ? kRefillEndBusy : kRefillEndIdle;
    return kRefillNothing;
}

} // namespace tarvok
