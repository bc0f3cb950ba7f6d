#pragma once

#include "base/progress.h"
#include "base/result.h"

#include <cstdint>
#include <string>

namespace tarvok {

class Project;
class UserInterface;

/// Normalisation level meaning "do not normalise".
inline constexpr float kNoNormalize = -9999.0f;
/// The most data bytes one render may produce: 2^32 - 1 - 500 KiB.
inline constexpr int64_t kRenderMaxBytes = 4294455295;
/// Frames per chunk of the writing pass (512 KiB of 16-bit stereo per track).
inline constexpr int32_t kRenderChunkFrames = 131072;

/// Render modes.
inline constexpr int32_t kRenderMix = 0;
inline constexpr int32_t kRenderTrackRaw = 1;
inline constexpr int32_t kRenderTrackEnvelope = 2;
inline constexpr int32_t kRenderTrackEnvelopeLevel = 3;

/// Track choice of the mix mode.
inline constexpr int32_t kRenderAllTracks = -1;
inline constexpr int32_t kRenderSelectedTracks = -2;
inline constexpr int32_t kRenderPlayingTracks = -3;

/// What RenderTracks writes.
struct RenderRequest {
    std::string File; ///< WAV file to write
    int32_t From = 0; ///< first timeline frame
    int32_t To = 0; ///< end of the range (exclusive)
    int32_t Loops = 1; ///< the range is written this many times, back to back
    int32_t Mode = kRenderMix; ///< 0 mix, 1 track as is, 2 through its envelope, 3 and its level
    int32_t Tracks = kRenderAllTracks; ///< mode 0: -1, -2 or -3; modes 1..3: the track index
    std::string Label; ///< shown before the progress percentage
    bool FileReady = false; ///< true: the caller created the file and frames are appended
    float NormLevel = kNoNormalize; ///< target level in dB, or kNoNormalize
    bool UseRMS = false; ///< normalise the loudest 0.3-second RMS instead of the peak
};

/// True when (pTo - pFrom) x pLoops frames of 16-bit stereo fit the render limit.
bool RenderSizeAllowed(int64_t pFrom, int64_t pTo, int64_t pLoops);

/// Renders the blocks of the project's tracks over [From, To) into a 16-bit stereo WAV file
/// at the project rate: every chosen track mixed through its block, track, master and
/// envelope levels (mode 0), or one track alone (modes 1..3). Streams in chunks, holding one
/// chunk buffer per track with material in it. Shows its progress in the message area and
/// hands the fraction done (0..1) to pProgress before every chunk; a stop there fails with
/// ErrorCode::Cancelled. A range over the size limit is refused with "作成データは4GBまでです"
/// before the file is touched; a failed write carries the file layer's cause (DiskFull).
/// The header is finalised also after a cancel or a failed read.
Status RenderTracks(const Project& pProject, const RenderRequest& pRequest, UserInterface& pUi,
    const Progress& pProgress = {});

} // namespace tarvok
