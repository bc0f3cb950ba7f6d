#include "core/paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {

namespace fs = std::filesystem;

namespace {

std::string Home()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    return "/tmp";
}

std::string XdgBase(const char* pVar, const char* pFallback)
{
    const char* value = std::getenv(pVar);
    std::string base = (value && value[0] == '/') ? std::string(value) : Home() + "/" + pFallback;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

/// True when pPath is a folder (not a link) owned by this user that nobody else may enter;
/// it is made so when missing.
bool IsPrivateFolder(const std::string& pPath)
{
    if (::mkdir(pPath.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info { };
    if (::lstat(pPath.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

} // namespace

std::string ConfigHome() { return XdgBase("XDG_CONFIG_HOME", ".config"); }
std::string DataHome() { return XdgBase("XDG_DATA_HOME", ".local/share"); }
std::string StateHome() { return XdgBase("XDG_STATE_HOME", ".local/state"); }

std::string SettingsFolder() { return ConfigHome() + "/lumora/"; }
std::string DefaultDataFolder() { return DataHome() + "/lumora/tarvok2/data/"; }
std::string DefaultLogFolder() { return StateHome() + "/lumora/tarvok2/log/"; }
std::string DefaultCdFolder() { return DataHome() + "/lumora/tarvok2/cd/"; }

std::string PrivateRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && runtime[0] == '/')
        ? WithTrailingSlash(runtime) + "tarvok2"
        : "/tmp/tarvok2-" + std::to_string(::getuid());
    if (!IsPrivateFolder(folder))
        return {};
    return folder + "/";
}

std::string ProgramFolder()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return WithTrailingSlash(exe.parent_path().string());
}

std::string EnglishCatalogueFile()
{
    std::vector<std::string> folders;
    if (const char* dir = std::getenv("TARVOK2_TRANSLATIONS_DIR"); dir != nullptr && *dir != '\0')
        folders.emplace_back(dir);
    else {
        if (const std::string program = ProgramFolder(); !program.empty())
            folders.push_back(program + "../share/tarvok2/translations");
#ifdef TARVOK2_BUILD_TRANSLATIONS_DIR
        folders.emplace_back(TARVOK2_BUILD_TRANSLATIONS_DIR);
#endif
    }
    for (const std::string& folder : folders) {
        std::error_code ec;
        const fs::path file = fs::path(folder) / "en.mo";
        if (fs::is_regular_file(file, ec))
            return file.string();
    }
    return {};
}

std::string WithTrailingSlash(std::string_view pPath)
{
    std::string out(pPath);
    if (out.empty())
        return out;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    if (out != "/")
        out.push_back('/');
    return out;
}

bool IsAbsolutePath(std::string_view pPath)
{
    if (!pPath.empty() && pPath[0] == '/')
        return true;
    if (pPath.size() >= 2 && pPath[1] == ':')
        return true;
    return pPath.size() >= 2 && pPath[0] == '\\' && pPath[1] == '\\';
}

bool FolderExists(std::string_view pPath)
{
    if (pPath.empty())
        return false;
    std::error_code ec;
    return fs::is_directory(fs::path(std::string(pPath)), ec);
}

bool CreateFolders(std::string_view pPath)
{
    if (pPath.empty())
        return false;
    std::error_code ec;
    fs::create_directories(fs::path(std::string(pPath)), ec);
    return FolderExists(pPath);
}

} // namespace tarvok
