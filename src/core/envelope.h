#pragma once

#include "base/result.h"
#include "core/fade_table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class Project;

/// Upper bound on the frames of one envelope: 2^31 samples, beyond any timeline position.
/// Frame counts from files or callers are clamped to it so that bad input cannot ask for
/// gigabytes.
inline constexpr int32_t kMaxEnvelopeFrames = 1 << 20;

/// Sets the number of envelope frames of every track. With pForce the count becomes
/// (pLength + 10 s) / 2048; without it that happens only when the envelopes do not reach
/// pLength yet. New frames hold the unity level on both channels.
void ResizeEnvelopes(Project& pProject, int32_t pLength, bool pForce);

/// Refills the track's envelope (EnvelopeLength frames) with the unity level.
void FillUnity(Project& pProject, int32_t pTrack);

/// Writes the first pFrames frames of an envelope (two bytes each, left then right) to
/// pPath through a temporary file in the same folder that is flushed and renamed, so the
/// path holds either its old content or the whole envelope. Fails when the envelope holds
/// fewer frames or the file cannot be written (with the cause); nothing is left behind then.
Status WriteEnvelopeFile(
    std::string_view pPath, const std::vector<uint8_t>& pEnvelope, int32_t pFrames);

/// Reads an envelope file into pEnvelope, which becomes pFrames frames long (clamped to
/// 0..kMaxEnvelopeFrames). A file of exactly pFrames bytes holds one level per frame for
/// both channels; a file of odd size is ignored; otherwise its pairs are read as far as
/// they go and the remaining frames get pUnity. Returns false, with every frame at pUnity,
/// when the file is missing or cannot be read.
bool ReadEnvelopeFile(
    std::string_view pPath, int32_t pFrames, uint8_t pUnity, std::vector<uint8_t>& pEnvelope);

/// Writes the track's envelope (EnvelopeLength frames) to pNewPath, a fresh working-file
/// name the caller took from the data folder, and stores that name in the track's
/// EnvelopeFile on success only. With EnvelopeLength 0 nothing is written, the track keeps
/// its file name and the result is true. False for a bad track or a failed write.
bool SaveEnvelope(Project& pProject, int32_t pTrack, std::string_view pNewPath);

/// Loads the track's envelope from pFile as pFrames frames (see ReadEnvelopeFile). Does
/// not change the track's EnvelopeFile. Returns false when the file is missing or cannot
/// be read (the envelope is then all unity), so the caller can report it; also false for
/// a bad track, which changes nothing.
bool LoadEnvelope(Project& pProject, int32_t pTrack, std::string_view pFile, int32_t pFrames);

/// Converts an envelope byte of the old linear encoding (b/128, 255 meaning 2.0) to the
/// smallest level index whose gain reaches it; 0 when no entry does.
uint8_t ConvertLegacyLevel(const FadeTable& pTable, uint8_t pLegacy);

/// The level of an index as shown to the user: "-∞db" for index 0, otherwise its dB
/// value with at least two integer digits and one decimal ("-12.0db", "03.2db",
/// "-03.5db", "-110.0db"). The decimal is rounded half to even and a value that rounds
/// to zero shows without a sign. Indices outside 0..255 are clamped.
std::string LevelText(const FadeTable& pTable, int32_t pIndex);

} // namespace tarvok
