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

std::string Hex4(int32_t pTag)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(pTag) & 0xFFFFU);
    return text;
}

/// Why the WAV reader found no usable summary, from what it read; the import follows the
/// same examination, so the reason also says what an import of the file does.
std::string InvalidReason(const WaveExamination& pExam)
{
    const WaveInfo& info = pExam.Info;
    switch (pExam.Fault) {
    case WaveFault::None:
        return {};
    case WaveFault::Unreadable:
        return "it cannot be read";
    case WaveFault::BigEndian:
        return "it is a big-endian (RIFX) WAV file, which the program does not read";
    case WaveFault::Rf64:
        return "it is an RF64 file: the import hands it to the decoder instead of reading it "
               "as a WAV file";
    case WaveFault::NoFmt:
        return "it has no \"fmt \" chunk";
    case WaveFault::FmtCut:
        return "its \"fmt \" chunk is cut short";
    case WaveFault::FmtTooShort:
        return "its \"fmt \" chunk is too short (" + std::to_string(pExam.FmtSize)
            + " bytes, at least " + (info.FormatTag == kFormatTagExtensible ? "40" : "16")
            + " needed)";
    case WaveFault::NotPcm:
        return (info.FormatTag == kFormatTagExtensible
                       ? "its extensible sub-format is not integer PCM"
                       : "its format (tag " + Hex4(info.FormatTag) + ") is not integer PCM")
            + std::string("; the import hands the file to the decoder, which reads it only if "
                          "it knows the format");
    case WaveFault::NoMode:
        return "its format (" + std::to_string(info.Channels) + " channels of "
            + std::to_string(info.Bits) + " bits) is none of the PCM formats the program reads";
    case WaveFault::BadRate:
        return "its sampling rate (" + std::to_string(static_cast<uint32_t>(info.SampleRate))
            + ") is not usable";
    case WaveFault::NoData:
        return "it has no \"data\" chunk";
    case WaveFault::DataTooFar:
        return "its \"data\" chunk starts past 2 GB";
    }
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
    const WaveExamination exam = ExamineWave(pPath);
    // The import's test too: AVI and other RIFF forms are not read as WAV files by either;
    // RIFX and RF64 files are named as what they are.
    if (!IsRiffWaveFile(pPath) && exam.Container == WaveContainer::Riff) {
        pErr << "wave-info: not a RIFF/WAVE file: " << pPath << "\n";
        return 1;
    }
    const WaveInfo& info = exam.Info;
    std::string name(info.Valid != 0 ? FormatName(info.FormatMode) : std::string_view());
    // A file the program cannot use says why, and the exit status says it failed.
    const std::string reason = info.Valid != 0 ? std::string() : InvalidReason(exam);
    const bool decoded = exam.Fault == WaveFault::Rf64 || exam.Fault == WaveFault::NotPcm;
    if (!reason.empty())
        pErr << "wave-info: " << (decoded ? "not read as a WAV file: " : "not a usable WAV file: ")
             << pPath << ": " << reason << "\n";
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
