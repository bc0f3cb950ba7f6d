#pragma once

#include <cstdint>
#include <span>

namespace tarvok {

class Project;

/// Channel numbers of the envelope functions.
inline constexpr int32_t kLeftChannel = 0;
inline constexpr int32_t kRightChannel = 1;

/// Weight of the next envelope frame at offset i (0..2047) inside a frame: i / 2047,
/// single precision, computed at compile time.
float EnvelopeWeightNext(int32_t pOffset);

/// Linear gain of a track's envelope at sample position pSample: the gains of the two
/// frames around it interpolated, reaching the next frame's gain at the frame's last
/// sample. From the last frame on (and for every later position) the last frame's gain
/// holds; before position 0 frame 0's gain holds. A track without envelope frames, a bad
/// track or a channel other than 0 (left) or 1 (right) gives 1.0. The per-sample reference
/// that EnvelopeGainRun matches. It reads the project, so it runs on the user-interface
/// thread like every other reader of the project; allocates nothing, takes no lock.
float EnvelopeGain(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pSample);

/// Gain of the frame holding pSample, without interpolation (scrub). Same rules outside
/// the envelope as EnvelopeGain. User-interface thread: the voice fills its buffers there
/// (scrub, shuttle, mark preview); allocates nothing, takes no lock.
float EnvelopeStepGain(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pSample);

/// Fills pGains[j] with EnvelopeGain(pProject, pTrack, pChannel, pStart + j), bit for bit,
/// looking each frame up once: the way a mixer evaluates a run of samples.
/// User-interface thread: the playback engine mixes its buffers from TimerProg and the
/// renderer runs there too; the audio devices only move finished buffers. Allocates
/// nothing and takes no lock, since it runs once per track and buffer.
void EnvelopeGainRun(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pStart,
    std::span<float> pGains);

} // namespace tarvok
