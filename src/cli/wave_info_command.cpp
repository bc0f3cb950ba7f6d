#include "cli/wave_info_command.h"

#include "cli/json_text.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <cstdio>
#include <cstring>

namespace tarvok {

int RunWaveInfoCommand(const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr)
{
    if (!FileExists(pPath)) {
        pErr << "wave-info: no such file: " << pPath << "\n";
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
    if (pJson) {
        pOut << "{\"Path\":" << JsonString(pPath) << ",\"Valid\":" << info.Valid
             << ",\"Frames\":" << info.Frames << ",\"SampleRate\":" << info.SampleRate
             << ",\"Bits\":" << info.Bits << ",\"Channels\":" << info.Channels
             << ",\"BlockAlign\":" << info.BlockAlign << ",\"DataOffset\":" << info.DataOffset
             << ",\"DataSize\":" << info.DataSize << ",\"FileSize\":" << info.FileSize
             << ",\"FormatMode\":" << info.FormatMode << ",\"LengthMs\":" << info.LengthMs
             << ",\"FormatTag\":" << info.FormatTag << ",\"FormatName\":" << JsonString(name)
             << "}\n";
        return 0;
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
    return 0;
}

} // namespace tarvok
