#include "render/audio_file_encoder.h"

#include "base/i18n.h"
#include "base/text.h"
#include "core/file_io.h"
#include "render/output_format.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace tarvok {

std::optional<AudioCodec> CodecOfPath(std::string_view pPath)
{
    const OutputFormatInfo* format = OutputFormatOfPath(pPath);
    return format != nullptr ? format->Codec : std::nullopt;
}

std::string_view CodecName(AudioCodec pCodec)
{
    return pCodec == AudioCodec::Flac ? "FLAC" : "Opus";
}

std::string CodecFormatProblem(
    AudioCodec pCodec, int32_t pRate, int32_t pBits, int32_t pChannels, int32_t pKbps)
{
    if (pChannels != 1 && pChannels != 2)
        return TrArgs("%1はモノラルかステレオで作成してください", CodecName(pCodec));
    if (pCodec == AudioCodec::Flac) {
        if (pBits != 16 && pBits != 24)
            return Tr("FLACは16bitか24bitの形式で作成してください");
        if (pRate < 1 || pRate > 655350)
            return Tr("FLACで扱えない周波数です");
        return {};
    }
    if (pBits != 16)
        return Tr("Opusは16bitの形式で作成してください");
    if (std::find(std::begin(kOpusRates), std::end(kOpusRates), pRate) == std::end(kOpusRates))
        return Tr("Opusの周波数は48000, 24000, 16000, 12000, 8000のいずれかです");
    if (pKbps < kOpusMinKbps || pKbps > kOpusMaxKbps)
        return Tr("Opusのビットレートは6から510kbpsです");
    return {};
}

Status EncodeFileInPlace(AudioFileEncoder& pEncoder, AudioCodec pCodec, int32_t pKbps,
    std::string_view pSource, std::string_view pTarget, const Progress& pProgress)
{
    ReplaceFile out;
    if (Status begun = out.Begin(pTarget); !begun)
        return begun;
    Status encoded = pEncoder.Encode(pCodec, pKbps, pSource, out.Handle(), pProgress);
    if (!encoded)
        return encoded; // out goes with its temporary file
    return out.Commit();
}

} // namespace tarvok
