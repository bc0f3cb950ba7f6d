#include "edit/envelope.h"

#include "core/project.h"

namespace tarvok {

void ResizeEnvelopes(Project& pProject, int32_t pLength, bool pForce)
{
    int64_t wanted = (static_cast<int64_t>(pLength) + static_cast<int64_t>(pProject.SampleRate) * 10)
        / kEnvelopeFrameSamples;
    if (!pForce && pProject.EnvelopeLength >= static_cast<int64_t>(pLength) / kEnvelopeFrameSamples + 1)
        return;
    if (wanted < 0)
        wanted = 0;
    int32_t frames = static_cast<int32_t>(wanted);
    auto unity = static_cast<uint8_t>(pProject.UnityLevel);
    for (TrackEnvelope& env : pProject.Envelopes)
        env.resize(static_cast<size_t>(frames) * 2, unity);
    pProject.EnvelopeLength = frames;
}

void FillUnity(Project& pProject, int32_t pTrack)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size()))
        return;
    pProject.Envelopes[pTrack].assign(static_cast<size_t>(pProject.EnvelopeLength) * 2,
        static_cast<uint8_t>(pProject.UnityLevel));
}

} // namespace tarvok
