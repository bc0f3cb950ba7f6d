#pragma once

#include "core/settings.h"

#include <string>

namespace tarvok {

/// The settings store as INI-style UTF-8 text files, one per section: <folder>/<section>.ini
/// ("tarvok2.ini", "common.ini"). Every call reads the file afresh, so two running programs
/// see each other's writes. A write replaces the file through a temporary name in the same
/// folder, flushed and renamed, so a crash leaves the old or the new file. Lines that are
/// not "name=value" are skipped when reading and kept as they are when rewriting.
class IniSettingsBackend : public SettingsBackend {
public:
    /// pFolder is created (with parents) on the first write.
    explicit IniSettingsBackend(const std::string& pFolder);

    std::optional<std::string> ReadValue(std::string_view pSection, std::string_view pKey) override;
    bool WriteValue(
        std::string_view pSection, std::string_view pKey, std::string_view pValue) override;
    bool DeleteValue(std::string_view pSection, std::string_view pKey) override;
    std::vector<std::pair<std::string, std::string>> ListValues(std::string_view pSection) override;

    std::string FileOf(std::string_view pSection) const;

private:
    std::string folder_;
};

} // namespace tarvok
