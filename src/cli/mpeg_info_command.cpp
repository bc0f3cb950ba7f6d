#include "cli/mpeg_info_command.h"

#include "cli/cli_context.h"

#include "cli/json_text.h"

#include "core/file_io.h"
#include "decode/mpeg_info.h"

#include <string_view>
#include <utility>

namespace tarvok {

int RunMpegInfoCommand(const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr)
{
    if (!FileExists(pPath)) {
        pErr << "mpeg-info: " << NotAFileText("sound", pPath) << "\n";
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
        pOut << "{\"Path\":" << JsonString(pPath);
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
