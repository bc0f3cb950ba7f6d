#include "core/envelope.h"

#include "base/numeric.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/project.h"

#include <algorithm>
#include <cerrno>

namespace tarvok {

void ResizeEnvelopes(Project& pProject, int32_t pLength, bool pForce)
{
    int64_t wanted
        = (static_cast<int64_t>(pLength) + static_cast<int64_t>(pProject.SampleRate) * 10)
        / kEnvelopeFrameSamples;
    if (!pForce
        && pProject.EnvelopeLength >= static_cast<int64_t>(pLength) / kEnvelopeFrameSamples + 1)
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

namespace {

int32_t ClampFrames(int32_t pFrames) { return std::clamp(pFrames, 0, kMaxEnvelopeFrames); }

} // namespace

Status WriteEnvelopeFile(
    std::string_view pPath, const std::vector<uint8_t>& pEnvelope, int32_t pFrames)
{
    if (pPath.empty() || pFrames < 0 || pEnvelope.size() / 2 < static_cast<size_t>(pFrames))
        return WriteError(EINVAL);
    return WriteFileAtomic(pPath, pEnvelope.data(), static_cast<int64_t>(pFrames) * 2);
}

bool ReadEnvelopeFile(
    std::string_view pPath, int32_t pFrames, uint8_t pUnity, std::vector<uint8_t>& pEnvelope)
{
    const size_t frames = static_cast<size_t>(ClampFrames(pFrames));
    pEnvelope.assign(frames * 2, pUnity);
    if (pPath.empty())
        return false;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen())
        return false;
    const int64_t size = FileSize64(file);
    if (size < 0)
        return false;

    if (size == static_cast<int64_t>(frames)) {
        // One level per frame, used for both channels.
        std::vector<uint8_t> bytes(frames);
        if (ReadAt(file, bytes.data(), static_cast<int64_t>(frames), 0)
            != static_cast<int64_t>(frames))
            return false;
        for (size_t k = 0; k < frames; ++k)
            pEnvelope[2 * k] = pEnvelope[2 * k + 1] = bytes[k];
        return true;
    }
    if (size % 2 != 0)
        return true; // not an envelope of pairs: all unity
    const int64_t wanted = std::min<int64_t>(size, static_cast<int64_t>(frames) * 2);
    int64_t got = ReadAt(file, pEnvelope.data(), wanted, 0);
    if (got < 0) {
        std::fill(pEnvelope.begin(), pEnvelope.end(), pUnity);
        return false;
    }
    // A file that shrank while being read leaves its missing pairs at unity.
    std::fill(pEnvelope.begin() + (got / 2) * 2, pEnvelope.end(), pUnity);
    return true;
}

bool SaveEnvelope(Project& pProject, int32_t pTrack, std::string_view pNewPath)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size())
        || pTrack >= static_cast<int32_t>(pProject.Tracks.size()))
        return false;
    if (pProject.EnvelopeLength <= 0)
        return true;
    if (!WriteEnvelopeFile(pNewPath, pProject.Envelopes[pTrack], pProject.EnvelopeLength))
        return false;
    pProject.Tracks[pTrack].EnvelopeFile = std::string(pNewPath);
    return true;
}

bool LoadEnvelope(Project& pProject, int32_t pTrack, std::string_view pFile, int32_t pFrames)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size()))
        return false;
    return ReadEnvelopeFile(
        pFile, pFrames, static_cast<uint8_t>(pProject.UnityLevel), pProject.Envelopes[pTrack]);
}

uint8_t ConvertLegacyLevel(const FadeTable& pTable, uint8_t pLegacy)
{
    const double target = pLegacy == 255 ? 2.0 : pLegacy / 128.0;
    for (size_t i = 0; i < pTable.size(); ++i) {
        if (static_cast<double>(pTable[i]) >= target)
            return static_cast<uint8_t>(i);
    }
    return 0;
}

std::string LevelText(const FadeTable& pTable, int32_t pIndex)
{
    const int32_t index = Clamp32(pIndex, 0, 255);
    if (index == 0)
        return "-\xE2\x88\x9E"
               "db"; // "-∞db"
    const int64_t tenths = RoundHalfEven(FactorToDb(pTable[index]) * 10.0);
    const int64_t magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = tenths < 0 ? "-" : "";
    text += ZeroPad(magnitude / 10, 2);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    text += "db";
    return text;
}

} // namespace tarvok
