#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace tarvok {

class Settings;

/// The log folder: the "DebugLogPath" setting of the "common" section when it is an
/// absolute path, else the default log folder; ends in "/".
std::string ResolveLogFolder(const Settings& pSettings);

/// True for the names of our log files: an 8-digit date stamp + "tarvok2" + ".err" or ".log".
bool IsLogFileName(std::string_view pName);

/// The dated, append-only log of failures the user is not shown. One file per day and kind:
/// folder + YYYYMMDD + "tarvok2" + ".err" (errors) or ".log" (other entries), each line
/// "yyyy/mm/dd hh:mm:ss message" in local time, ended by CR LF. Logging never reports a
/// failure and never stops the caller. User-interface thread only.
class ErrorLog {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    /// pFolder gets a trailing "/"; pClock gives "now" (the system clock when empty).
    explicit ErrorLog(std::string_view pFolder, Clock pClock = {});
    /// The folder from the settings (ResolveLogFolder).
    explicit ErrorLog(const Settings& pSettings, Clock pClock = {});

    const std::string& Folder() const { return folder_; }

    /// Appends one line when pForce is set or logging is enabled; pIsError chooses ".err".
    /// The folder is created when missing. Line breaks in the message become blanks so that
    /// every entry stays one line.
    void WriteLog(std::string_view pMessage, bool pIsError, bool pForce);

    /// The start-up step: deletes our log files last written more than pMaxAgeDays days
    /// before now, removes the folder when it is then empty, and enables logging. Other
    /// files and sub-folders of the folder are left alone. Returns the files deleted.
    int CleanAtStart(int pMaxAgeDays = 90);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool pEnabled) { enabled_ = pEnabled; }

    /// The file an entry written at pTime goes to.
    std::string LogFileName(std::chrono::system_clock::time_point pTime, bool pIsError) const;

private:
    std::chrono::system_clock::time_point Now() const;

    std::string folder_;
    Clock clock_;
    bool enabled_ = false;
};

} // namespace tarvok
