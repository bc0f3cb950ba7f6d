#include "app/shell/recent_files.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/settings.h"

namespace tarvok {

namespace {

constexpr size_t kMaxRecent = 8;

} // namespace

void RecentFileList::Load(const Settings& pSettings)
{
    paths_.clear();
    for (int n = 1; n <= static_cast<int>(kMaxRecent); ++n) {
        std::string path = pSettings.GetSetting(SlotKey("MRUList_", n), "");
        if (!path.empty())
            paths_.push_back(path);
    }
}

void RecentFileList::Save(Settings& pSettings) const
{
    // All slots in one write: a file store rewrites its file once, not once per slot.
    std::vector<std::pair<std::string, std::string>> slots;
    for (int n = 1; n <= static_cast<int>(kMaxRecent); ++n)
        slots.emplace_back(SlotKey("MRUList_", n),
            static_cast<size_t>(n) <= paths_.size() ? paths_[n - 1] : std::string());
    pSettings.SaveSettings(slots);
}

void RecentFileList::Add(const std::string& pPath)
{
    std::vector<std::string> list { pPath };
    for (const std::string& entry : paths_) {
        if (list.size() >= kMaxRecent)
            break;
        if (EqualsNoCase(entry, pPath) || !FileExists(entry))
            continue;
        bool duplicate = false;
        for (const std::string& kept : list)
            duplicate = duplicate || EqualsNoCase(kept, entry);
        if (!duplicate)
            list.push_back(entry);
    }
    paths_ = std::move(list);
}

} // namespace tarvok
