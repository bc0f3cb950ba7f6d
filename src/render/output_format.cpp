#include "render/output_format.h"

#include "base/file_name.h"
#include "base/text.h"
#include "render/mp3_encoder.h"

#include <array>

namespace tarvok {

namespace {

constexpr int32_t kAnyMinRate = 1000;
constexpr int32_t kAnyMaxRate = 768000;

constexpr std::array<OutputFormatInfo, 5> kFormats { {
    { OutputKind::Wav, "WAV", "wav", kAnyMinRate, kAnyMaxRate, 2, 0, 0, std::nullopt, true },
    { OutputKind::Mp3, "MP3", "mp3", 8000, 48000, 2, kMp3BitRates.back(), kMp3BitRates.front(),
        std::nullopt, true },
    { OutputKind::Flac, "FLAC", "flac", kAnyMinRate, kAnyMaxRate, 2, 0, 0, AudioCodec::Flac, true },
    { OutputKind::Opus, "Opus", "opus", 8000, 48000, 2, kOpusMinKbps, kOpusMaxKbps,
        AudioCodec::Opus, true },
    { OutputKind::CdFolder, "CD", "wav", 44100, 44100, 2, 0, 0, std::nullopt, false },
} };

bool EndsWithExtension(std::string_view pPath, std::string_view pExtension)
{
    return pPath.size() > pExtension.size() && pPath[pPath.size() - pExtension.size() - 1] == '.'
        && EqualsNoCase(pPath.substr(pPath.size() - pExtension.size()), pExtension);
}

} // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo& OutputFormatOf(OutputKind pKind)
{
    for (const OutputFormatInfo& format : kFormats)
        if (format.Kind == pKind)
            return format;
    return kFormats.front();
}

const OutputFormatInfo* OutputFormatOfPath(std::string_view pPath)
{
    for (const OutputFormatInfo& format : kFormats)
        if (format.NamedByPath && EndsWithExtension(pPath, format.Extension))
            return &format;
    return nullptr;
}

std::string WithOutputExtension(std::string_view pPath, OutputKind pKind)
{
    std::string path(pPath);
    if (Trim(path).empty())
        return path;
    const std::string folder = FolderOf(path);
    std::string name = path.substr(folder.size());
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return folder + name + "." + std::string(OutputFormatOf(pKind).Extension);
}

std::string EnsureOutputExtension(std::string_view pPath, OutputKind pKind)
{
    const std::string dotted = "." + std::string(OutputFormatOf(pKind).Extension);
    std::string path(pPath);
    if (!path.ends_with(dotted))
        path += dotted;
    return path;
}

} // namespace tarvok
