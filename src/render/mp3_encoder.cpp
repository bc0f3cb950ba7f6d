#include "render/mp3_encoder.h"

#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "render/target_file.h"

#include <algorithm>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tarvok {

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

bool EncFromWavfile(Mp3Encoder* pEncoder, std::string_view pSourceFN, std::string_view pTargetFN,
    int32_t pBitrate, const std::function<void(double, bool&)>& pProgress, UserInterface* pUi)
{
    if (pEncoder == nullptr || !pEncoder->EncAvailable() || pTargetFN.empty())
        return false;
    const WaveInfo info = ReadWaveInfo(pSourceFN);
    if (info.Valid == 0 || info.FormatTag != kFormatTagPcm || info.Bits != 16
        || (info.Channels != 1 && info.Channels != 2))
        return false;
    std::unique_ptr<Mp3Stream> stream = pEncoder->Open(info.SampleRate, info.Channels, pBitrate);
    if (!stream)
        return false;
    const std::string target(pTargetFN);
    ReplaceFile replacement;
    if (!replacement.Begin(target))
        return false;
    FileHandle& out = replacement.Handle();

    std::vector<int16_t> samples;
    std::vector<uint8_t> encoded;
    bool ok = true;
    const int64_t frames = info.Frames;
    for (int64_t p = 0; ok && p < frames;) {
        const int64_t n = std::min<int64_t>(frames - p, kMp3ChunkFrames);
        if (pUi != nullptr)
            pUi->Yield();
        bool cancel = false;
        if (pProgress)
            pProgress(static_cast<double>(p) / static_cast<double>(frames), cancel);
        if (pUi != nullptr)
            pUi->Yield();
        if (cancel) {
            ok = false;
            break;
        }
        samples.resize(static_cast<size_t>(n * info.Channels));
        const int64_t bytes = n * info.BlockAlign;
        ok = ReadBytes(samples.data(), bytes, 0, pSourceFN,
            info.DataOffset + p * static_cast<int64_t>(info.BlockAlign), 0);
        encoded.clear();
        ok = ok && stream->Encode(samples.data(), static_cast<int32_t>(n), encoded);
        ok = ok
            && (encoded.empty()
                || WriteAt(out, encoded.data(), static_cast<int64_t>(encoded.size()), -1));
        p += n;
    }
    if (ok) {
        encoded.clear();
        ok = stream->Finish(encoded)
            && (encoded.empty()
                || WriteAt(out, encoded.data(), static_cast<int64_t>(encoded.size()), -1));
    }
    return ok && replacement.Commit();
}

} // namespace tarvok
