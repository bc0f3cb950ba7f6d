#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

namespace tarvok::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvok-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made ? std::string(made) + "/" : std::string();
}

TempDir::~TempDir()
{
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

ScopedHome::ScopedHome()
{
    const std::pair<const char*, std::string> vars[] = {
        { "HOME", dir_.File("home") },
        { "XDG_CONFIG_HOME", dir_.File("config") },
        { "XDG_DATA_HOME", dir_.File("data") },
        { "XDG_STATE_HOME", dir_.File("state") },
    };
    for (const auto& [name, value] : vars) {
        if (const char* old = std::getenv(name))
            saved_.push_back({ name, old });
        else
            unset_.push_back(name);
        std::filesystem::create_directories(value);
        ::setenv(name, value.c_str(), 1);
    }
}

ScopedHome::~ScopedHome()
{
    for (const auto& [name, value] : saved_)
        ::setenv(name.c_str(), value.c_str(), 1);
    for (const std::string& name : unset_)
        ::unsetenv(name.c_str());
}

bool WriteFileBytes(const std::string& pPath, std::string_view pBytes)
{
    std::ofstream out(pPath, std::ios::binary | std::ios::trunc);
    out.write(pBytes.data(), static_cast<std::streamsize>(pBytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFileBytes(const std::string& pPath)
{
    std::ifstream in(pPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int64_t DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

std::set<std::string> Names(const std::string& pFolder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace tarvok::test
