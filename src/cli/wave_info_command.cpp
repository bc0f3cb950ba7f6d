#include "cli/wave_info_command.h"

#include "cli/cli_context.h"
#include "cli/json_text.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <cstdio>
#include <cstring>

namespace tarvok {

namespace {

uint32_t Le(const unsigned char* pBytes, int pCount)
{
    uint32_t value = 0;
    for (int i = pCount - 1; i >= 0; --i)
        value = value << 8 | pBytes[i];
    return value;
}

/// Why the WAV reader found no usable summary in a RIFF/WAVE file, from the same chunks
/// it reads.
std::string InvalidReason(const std::string& pPath)
{
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    const int64_t fmt = FindChunk(file, "fmt ");
    if (fmt < 0)
        return "it has no \"fmt \" chunk";
    unsigned char head[24];
    if (ReadAt(file, head, sizeof head, fmt) != static_cast<int64_t>(sizeof head))
        return "its \"fmt \" chunk is cut short";
    const auto channels = static_cast<int32_t>(Le(head + 10, 2));
    const auto rate = static_cast<int64_t>(Le(head + 12, 4));
    const auto bits = static_cast<int32_t>(Le(head + 22, 2));
    if (!FindFormatMode(channels, bits))
        return "its format (" + std::to_string(channels) + " channels of " + std::to_string(bits)
            + " bits) is none of the PCM formats the program reads";
    if (rate <= 0 || rate > 0x7FFFFFFF)
        return "its sampling rate (" + std::to_string(rate) + ") is not usable";
    if (FindChunk(file, "data") < 0)
        return "it has no \"data\" chunk";
    return "its \"data\" chunk cannot be used";
}

} // namespace

int RunWaveInfoCommand(const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr)
{
    if (!FileExists(pPath)) {
        pErr << "wave-info: " << NotAFileText("sound", pPath) << "\n";
        return 1;
    }
    char head[12];
    if (!ReadBytes(head, 12, 0, pPath, 0, 0)) {
        if (FileSize64(pPath) >= 12)
            pErr << "wave-info: cannot read: " << pPath << "\n";
        else
            pErr << "wave-info: not a RIFF/WAVE file: " << pPath << "\n";
        return 1;
    }
    // The import's test too: RIFX, RF64 and AVI files are not read as WAV files by either.
    if (!IsRiffWaveFile(pPath)) {
        pErr << "wave-info: not a RIFF/WAVE file: " << pPath << "\n";
        return 1;
    }
    WaveInfo info = ReadWaveInfo(pPath);
    std::string name(info.Valid != 0 ? FormatName(info.FormatMode) : std::string_view());
    // A file the program cannot use says why, and the exit status says it failed.
    const std::string reason = info.Valid != 0 ? std::string() : InvalidReason(pPath);
    if (!reason.empty())
        pErr << "wave-info: not a usable WAV file: " << pPath << ": " << reason << "\n";
    const int status = reason.empty() ? 0 : 1;
    if (pJson) {
        pOut << "{\"Path\":" << JsonString(pPath) << ",\"Valid\":" << info.Valid
             << ",\"Frames\":" << info.Frames << ",\"SampleRate\":" << info.SampleRate
             << ",\"Bits\":" << info.Bits << ",\"Channels\":" << info.Channels
             << ",\"BlockAlign\":" << info.BlockAlign << ",\"DataOffset\":" << info.DataOffset
             << ",\"DataSize\":" << info.DataSize << ",\"FileSize\":" << info.FileSize
             << ",\"FormatMode\":" << info.FormatMode << ",\"LengthMs\":" << info.LengthMs
             << ",\"FormatTag\":" << info.FormatTag << ",\"FormatName\":" << JsonString(name);
        if (!reason.empty())
            pOut << ",\"Reason\":" << JsonString(reason);
        pOut << "}\n";
        return status;
    }
    pOut << "Path: " << pPath << "\n"
         << "Valid: " << info.Valid << "\n"
         << "Frames: " << info.Frames << "\n"
         << "SampleRate: " << info.SampleRate << "\n"
         << "Bits: " << info.Bits << "\n"
         << "Channels: " << info.Channels << "\n"
         << "BlockAlign: " << info.BlockAlign << "\n"
         << "DataOffset: " << info.DataOffset << "\n"
         << "DataSize: " << info.DataSize << "\n"
         << "FileSize: " << info.FileSize << "\n"
         << "FormatMode: " << info.FormatMode << "\n"
         << "LengthMs: " << info.LengthMs << "\n"
         << "FormatTag: " << info.FormatTag << "\n"
         << "FormatName: " << name << "\n";
    if (!reason.empty())
        pOut << "Reason: " << reason << "\n";
    return status;
}

} // namespace tarvok
