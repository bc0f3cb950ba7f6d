#pragma once

#include <string>
#include <vector>

namespace tarvok {

class Settings;

/// The recently-used list of the file menu: up to eight paths, newest first, stored as
/// "MRUList_1" .. "MRUList_8".
class RecentFileList {
public:
    /// Reads the stored list (empty entries skipped).
    void Load(const Settings& pSettings);
    /// Stores the list; the slots beyond it are emptied.
    void Save(Settings& pSettings) const;
    /// Puts pPath at the top: entries whose files are gone are dropped, duplicates (compared
    /// in lower case) removed, at most eight kept.
    void Add(const std::string& pPath);
    void Clear() { paths_.clear(); }
    const std::vector<std::string>& Paths() const { return paths_; }

private:
    std::vector<std::string> paths_;
};

} // namespace tarvok
