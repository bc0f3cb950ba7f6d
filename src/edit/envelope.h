#pragma once

#include <cstdint>

namespace tarvok {

class Project;

/// Sets the number of envelope frames of every track. With pForce the count becomes
/// (pLength + 10 s) / 2048; without it that happens only when the envelopes do not reach
/// pLength yet. New frames hold the unity level on both channels.
void ResizeEnvelopes(Project& pProject, int32_t pLength, bool pForce);

/// Refills the track's envelope (EnvelopeLength frames) with the unity level.
void FillUnity(Project& pProject, int32_t pTrack);

} // namespace tarvok
