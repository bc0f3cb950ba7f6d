#include "core/error_log.h"

#include "base/text.h"
#include "core/paths.h"
#include "core/settings.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace tarvok {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLogTitle = "tarvok2";
constexpr std::string_view kLogKey = "DebugLogPath";

std::optional<std::tm> LocalTime(std::chrono::system_clock::time_point pTime)
{
    std::time_t seconds = std::chrono::system_clock::to_time_t(pTime);
    std::tm local {};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt;
    return local;
}

// "yyyymmdd" of the local date.
std::string DateStamp(const std::tm& pLocal)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", pLocal.tm_year + 1900, pLocal.tm_mon + 1,
        pLocal.tm_mday);
    return text;
}

// "yyyy/mm/dd hh:mm:ss" of the local time.
std::string LineStamp(const std::tm& pLocal)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", pLocal.tm_year + 1900,
        pLocal.tm_mon + 1, pLocal.tm_mday, pLocal.tm_hour, pLocal.tm_min, pLocal.tm_sec);
    return text;
}

} // namespace

std::string ResolveLogFolder(const Settings& pSettings)
{
    std::string setting(Trim(pSettings.GetSettingIn(kLogKey, "", kCommonSection)));
    // A relative folder would depend on the working folder of the moment; only an absolute
    // one is taken.
    if (!setting.empty() && setting[0] == '/')
        return WithTrailingSlash(setting);
    return DefaultLogFolder();
}

bool IsLogFileName(std::string_view pName)
{
    constexpr size_t kLength = 8 + kLogTitle.size() + 4;
    if (pName.size() != kLength)
        return false;
    if (!std::all_of(pName.begin(), pName.begin() + 8, [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    std::string_view rest = pName.substr(8);
    return rest.starts_with(kLogTitle) && (rest.ends_with(".err") || rest.ends_with(".log"));
}

ErrorLog::ErrorLog(std::string_view pFolder, Clock pClock)
    : folder_(WithTrailingSlash(pFolder))
    , clock_(std::move(pClock))
{
}

ErrorLog::ErrorLog(const Settings& pSettings, Clock pClock)
    : ErrorLog(ResolveLogFolder(pSettings), std::move(pClock))
{
}

std::chrono::system_clock::time_point ErrorLog::Now() const
{
    return clock_ ? clock_() : std::chrono::system_clock::now();
}

std::string ErrorLog::LogFileName(std::chrono::system_clock::time_point pTime, bool pIsError) const
{
    std::optional<std::tm> local = LocalTime(pTime);
    if (!local || folder_.empty())
        return {};
    return folder_ + DateStamp(*local) + std::string(kLogTitle) + (pIsError ? ".err" : ".log");
}

void ErrorLog::WriteLog(std::string_view pMessage, bool pIsError, bool pForce)
{
    if (!pForce && !enabled_)
        return;
    const std::chrono::system_clock::time_point now = Now();
    std::optional<std::tm> local = LocalTime(now);
    std::string path = LogFileName(now, pIsError);
    if (!local || path.empty())
        return;
    if (!FolderExists(folder_) && !CreateFolders(folder_))
        return;

    std::string line = LineStamp(*local) + " " + std::string(pMessage);
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    line += "\r\n";

    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out)
        return;
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

int ErrorLog::CleanAtStart(int pMaxAgeDays)
{
    enabled_ = true;
    if (folder_.empty())
        return 0;
    const fs::path folder(folder_);
    const auto limit = Now() - std::chrono::hours(24) * pMaxAgeDays;

    // Only our own dated log files are considered: the folder may be one of the user's,
    // chosen through the settings, and whatever else lies there is not ours to delete.
    std::vector<fs::path> old;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::path& path = it->path();
        if (!IsLogFileName(path.filename().string()))
            continue;
        std::error_code statusEc;
        if (fs::symlink_status(path, statusEc).type() != fs::file_type::regular)
            continue;
        fs::file_time_type written = fs::last_write_time(path, statusEc);
        if (statusEc)
            continue;
        if (std::chrono::file_clock::to_sys(written) < limit)
            old.push_back(path);
    }

    int deleted = 0;
    for (const fs::path& path : old) {
        std::error_code removeEc;
        if (fs::remove(path, removeEc) && !removeEc)
            ++deleted;
    }

    // The folder goes when nothing is left in it; WriteLog makes it again when needed.
    std::string bare = folder_;
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();
    std::error_code folderEc;
    if (fs::symlink_status(bare, folderEc).type() == fs::file_type::directory
        && fs::is_empty(bare, folderEc) && !folderEc)
        fs::remove(bare, folderEc);
    return deleted;
}

} // namespace tarvok
