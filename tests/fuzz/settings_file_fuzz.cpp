// Feeds arbitrary bytes to the settings-file reader as a user's settings file. Reading,
// listing, writing and deleting must never crash or hang; a value written reads back as
// written, and the other keys keep the values they read as before the write.
#include "base/text.h"
#include "fuzz_input.h"
#include "platform/inifile/ini_settings_backend.h"

#include <cstdint>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    const std::string folder = tarvok::fuzz::Folder();
    tarvok::IniSettingsBackend backend(folder);
    const std::string file = backend.FileOf("Main");
    const std::string name = file.substr(folder.size());
    tarvok::fuzz::WriteInput(name, pData, pSize);
    std::vector<std::pair<std::string, std::string>> before = backend.ListValues("Main");
    // Names compare without regard to ASCII case, and the first line of a name counts.
    std::map<std::string, std::pair<std::string, std::string>> first;
    for (const auto& [key, value] : before)
        first.emplace(tarvok::ToLowerAscii(key), std::make_pair(key, value));
    for (const auto& [lower, entry] : first) {
        std::optional<std::string> read = backend.ReadValue("Main", entry.first);
        tarvok::fuzz::Check(read.has_value() && *read == entry.second);
    }
    if (backend.WriteValue("Main", "FuzzKey", "fuzz value")) {
        tarvok::fuzz::Check(
            backend.ReadValue("Main", "FuzzKey") == std::optional<std::string>("fuzz value"));
        for (const auto& [lower, entry] : first)
            if (lower != "fuzzkey")
                tarvok::fuzz::Check(backend.ReadValue("Main", entry.first)
                    == std::optional<std::string>(entry.second));
        backend.DeleteValue("Main", "FuzzKey");
        tarvok::fuzz::Check(!backend.ReadValue("Main", "FuzzKey").has_value());
    }
    return 0;
}
