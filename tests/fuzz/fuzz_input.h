#pragma once

// What every fuzz target needs: a private folder for the run and a way to hand the fuzzer's
// bytes to code that reads files.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace tarvok::fuzz {

/// A folder under /tmp made for this run, ending in "/"; removed with its contents at exit.
inline const std::string& Folder()
{
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/tarvok-fuzz-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        if (dir == nullptr)
            std::abort();
        folder = std::string(dir) + "/";
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
    }
    return folder;
}

/// Writes the bytes to Folder() + pName, replacing it, and returns that path.
inline std::string WriteInput(std::string_view pName, const uint8_t* pData, size_t pSize)
{
    std::string path = Folder() + std::string(pName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(pSize));
    out.close();
    if (!out)
        std::abort();
    return path;
}

/// Stops the run with a crash report when a property does not hold.
inline void Check(bool pCondition)
{
    if (!pCondition)
        std::abort();
}

} // namespace tarvok::fuzz
