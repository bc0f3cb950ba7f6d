#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvok {

/// Section of the program's own settings.
inline constexpr std::string_view kMainSection = "tarvok2";
/// Section shared with sibling programs; only the log folder is read from it.
inline constexpr std::string_view kCommonSection = "common";

/// A per-user store of named text values in named sections. Value names compare without
/// regard to ASCII case, as the registry it stands for does. Failures are quiet: a store
/// that cannot be read reads as empty, a write that fails returns false.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    virtual std::optional<std::string> ReadValue(std::string_view pSection, std::string_view pKey)
        = 0;
    virtual bool WriteValue(
        std::string_view pSection, std::string_view pKey, std::string_view pValue)
        = 0;
    /// Writes several values of one section, as one change where the store can; true when
    /// every value was written.
    virtual bool WriteValues(
        std::string_view pSection, const std::vector<std::pair<std::string, std::string>>& pValues)
    {
        bool ok = true;
        for (const auto& [key, value] : pValues)
            ok = WriteValue(pSection, key, value) && ok;
        return ok;
    }
    virtual bool DeleteValue(std::string_view pSection, std::string_view pKey) = 0;
    /// Every stored name and raw value of a section, in stored order.
    virtual std::vector<std::pair<std::string, std::string>> ListValues(std::string_view pSection)
        = 0;
};

/// An in-memory store for tests and for runs that must not touch the user's settings.
class MemorySettingsBackend : public SettingsBackend {
public:
    std::optional<std::string> ReadValue(std::string_view pSection, std::string_view pKey) override;
    bool WriteValue(
        std::string_view pSection, std::string_view pKey, std::string_view pValue) override;
    bool DeleteValue(std::string_view pSection, std::string_view pKey) override;
    std::vector<std::pair<std::string, std::string>> ListValues(std::string_view pSection) override;

private:
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> values_;
};

/// The typed view of the store that the rest of the program uses. Values are stored as
/// text: numbers in their shortest decimal form, an empty text as "***" (read back as
/// empty). A missing value, or one that does not convert to the default's type, gives the
/// caller's default, which is never written back.
class Settings {
public:
    explicit Settings(SettingsBackend& pBackend)
        : backend_(pBackend)
    {
    }

    std::string GetSetting(std::string_view pKey, std::string_view pDefault) const;
    std::string GetSetting(std::string_view pKey, const char* pDefault) const
    {
        return GetSetting(pKey, std::string_view(pDefault));
    }
    int32_t GetSetting(std::string_view pKey, int32_t pDefault) const;
    int16_t GetSetting(std::string_view pKey, int16_t pDefault) const;
    float GetSetting(std::string_view pKey, float pDefault) const;

    /// Reads from another section (the "common" one).
    std::string GetSettingIn(
        std::string_view pKey, std::string_view pDefault, std::string_view pSection) const;

    /// The stored text after the "***" rule, or nothing when the value is missing.
    std::optional<std::string> GetRaw(
        std::string_view pKey, std::string_view pSection = kMainSection) const;

    bool SaveSetting(std::string_view pKey, std::string_view pValue);
    bool SaveSetting(std::string_view pKey, const char* pValue)
    {
        return SaveSetting(pKey, std::string_view(pValue));
    }
    bool SaveSetting(std::string_view pKey, int32_t pValue);
    bool SaveSetting(std::string_view pKey, float pValue);
    /// Saves several texts at once (one file write in a file store); false when any name is
    /// blank or a write failed.
    bool SaveSettings(const std::vector<std::pair<std::string, std::string>>& pValues);
    bool DeleteSetting(std::string_view pKey);

    SettingsBackend& Backend() { return backend_; }

private:
    SettingsBackend& backend_;
};

/// Converts stored text to an integer: a whole number, or a decimal one rounded half to
/// even; nothing when it is not a number or does not fit in 32 bits.
std::optional<int32_t> SettingTextToInt(std::string_view pText);

/// "Name_" + n, for the families numbered 1..8.
std::string SlotKey(std::string_view pPrefix, int pNumber);
/// Key + two-digit number, for per-track (track index + 1) and per-command families.
std::string TwoDigitKey(std::string_view pPrefix, int pNumber);

} // namespace tarvok
