#include "cli/mpeg_info_command.h"

#include "core/file_io.h"
#include "decode/mpeg_info.h"

#include <string_view>
#include <utility>

namespace tarvok {

namespace {

std::string JsonPath(std::string_view pText)
{
    std::string out = "\"";
    for (char ch : pText) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            // Escaped byte by byte so that any file name gives valid JSON.
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

} // namespace

int RunMpegInfoCommand(const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr)
{
    if (!FileExists(pPath)) {
        pErr << "mpeg-info: no such file: " << pPath << "\n";
        return 1;
    }
    MpegInfo info;
    if (!ReadMpegInfo(pPath, info)) {
        pErr << "mpeg-info: no usable MPEG audio header: " << pPath << "\n";
        return 1;
    }
    const std::pair<const char*, int64_t> fields[] = {
        { "FirstPos", info.FirstPos },
        { "AudioBytes", info.AudioBytes },
        { "LastPos", info.LastPos },
        { "FileBytes", info.FileBytes },
        { "IsVbr", info.IsVbr },
        { "VbrFrames", info.VbrFrames },
        { "Rate", info.Rate },
        { "Lsf", info.Lsf },
        { "BitRate", info.BitRate },
        { "Channels", info.Channels },
        { "ChannelMode", info.ChannelMode },
        { "Layer", info.Layer },
        { "DurationMs", info.DurationMs },
        { "HeaderB1", info.HeaderB1 },
        { "HeaderB2", info.HeaderB2 },
        { "HeaderB3", info.HeaderB3 },
    };
    if (pJson) {
        pOut << "{\"Path\":" << JsonPath(pPath);
        for (const auto& [name, value] : fields)
            pOut << ",\"" << name << "\":" << value;
        pOut << "}\n";
    } else {
        pOut << "Path: " << pPath << "\n";
        for (const auto& [name, value] : fields)
            pOut << name << ": " << value << "\n";
    }
    return 0;
}

} // namespace tarvok
