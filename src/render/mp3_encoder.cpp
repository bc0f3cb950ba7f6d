#include "render/mp3_encoder.h"

#include "base/i18n.h"
#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "render/target_file.h"

#include <algorithm>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tarvok {

namespace {
constexpr const char* kMp3EncodeFailed = N_("MP3に変換できません");
} // namespace

std::vector<int32_t> Mp3BitRates(
    Mp3Encoder* pEncoder, int32_t pRate, int32_t pChannels, int32_t pBits)
{
    std::vector<int32_t> list;
    if (pEncoder == nullptr || !pEncoder->EncAvailable() || pBits != 16
        || (pChannels != 1 && pChannels != 2) || pRate <= 0)
        return list;
    for (int32_t kbps : kMp3BitRates)
        if (pEncoder->Accepts(pRate, pChannels, kbps))
            list.push_back(kbps);
    return list;
}

std::vector<int32_t> LoadBitRateList(Mp3Encoder* pEncoder, int32_t pFreq, int32_t pMode)
{
    if (pMode != 2 && pMode != 3)
        return {};
    return Mp3BitRates(pEncoder, pFreq, pMode == 2 ? 1 : 2, 16);
}

int32_t ChooseBitRate(const std::vector<int32_t>& pList, int32_t pDefault)
{
    if (std::find(pList.begin(), pList.end(), pDefault) != pList.end())
        return pDefault;
    return pList.empty() ? 0 : pList.front();
}

Status EncFromWavfile(Mp3Encoder* pEncoder, std::string_view pSourceFN, std::string_view pTargetFN,
    int32_t pBitrate, const Progress& pProgress, UserInterface* pUi)
{
    if (pEncoder == nullptr || !pEncoder->EncAvailable() || pTargetFN.empty())
        return Fail(Tr(kMp3EncodeFailed));
    const WaveInfo info = ReadWaveInfo(pSourceFN);
    if (info.Valid == 0 || info.FormatTag != kFormatTagPcm || info.Bits != 16
        || (info.Channels != 1 && info.Channels != 2))
        return Fail(Tr(kMp3EncodeFailed));
    std::unique_ptr<Mp3Stream> stream = pEncoder->Open(info.SampleRate, info.Channels, pBitrate);
    if (!stream)
        return Fail(Tr(kMp3EncodeFailed));
    const std::string target(pTargetFN);
    ReplaceFile replacement;
    if (Status begun = replacement.Begin(target); !begun)
        return begun;
    FileHandle& out = replacement.Handle();
    // Writes what the encoder gave back, if anything.
    const auto put = [&out](const std::vector<uint8_t>& pBytes) -> Status {
        if (pBytes.empty())
            return {};
        return WriteAt(out, pBytes.data(), static_cast<int64_t>(pBytes.size()), -1);
    };

    std::vector<int16_t> samples;
    std::vector<uint8_t> encoded;
    const int64_t frames = info.Frames;
    for (int64_t p = 0; p < frames;) {
        const int64_t n = std::min<int64_t>(frames - p, kMp3ChunkFrames);
        if (pUi != nullptr)
            pUi->Yield();
        const bool goOn = pProgress(static_cast<double>(p) / static_cast<double>(frames));
        if (pUi != nullptr)
            pUi->Yield();
        if (!goOn)
            return CancelledError();
        samples.resize(static_cast<size_t>(n * info.Channels));
        const int64_t bytes = n * info.BlockAlign;
        if (!ReadBytes(samples.data(), bytes, 0, pSourceFN,
                info.DataOffset + p * static_cast<int64_t>(info.BlockAlign), 0))
            return Fail(Tr(kMp3EncodeFailed));
        encoded.clear();
        if (!stream->Encode(samples.data(), static_cast<int32_t>(n), encoded))
            return Fail(Tr(kMp3EncodeFailed));
        if (Status written = put(encoded); !written)
            return written;
        p += n;
    }
    encoded.clear();
    if (!stream->Finish(encoded))
        return Fail(Tr(kMp3EncodeFailed));
    if (Status written = put(encoded); !written)
        return written;
    return replacement.Commit();
}

} // namespace tarvok
