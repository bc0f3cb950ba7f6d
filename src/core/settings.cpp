#include "core/settings.h"

#include "base/numeric.h"
#include "base/text.h"

#include <cmath>

namespace tarvok {

namespace {
constexpr std::string_view kEmptyMarker = "***";
}

std::optional<std::string> MemorySettingsBackend::ReadValue(
    std::string_view pSection, std::string_view pKey)
{
    for (auto& [section, kv] : values_)
        if (EqualsNoCase(section, pSection) && EqualsNoCase(kv.first, pKey))
            return kv.second;
    return std::nullopt;
}

bool MemorySettingsBackend::WriteValue(
    std::string_view pSection, std::string_view pKey, std::string_view pValue)
{
    for (auto& [section, kv] : values_)
        if (EqualsNoCase(section, pSection) && EqualsNoCase(kv.first, pKey)) {
            kv.second = std::string(pValue);
            return true;
        }
    values_.push_back({ std::string(pSection), { std::string(pKey), std::string(pValue) } });
    return true;
}

bool MemorySettingsBackend::DeleteValue(std::string_view pSection, std::string_view pKey)
{
    for (auto it = values_.begin(); it != values_.end(); ++it)
        if (EqualsNoCase(it->first, pSection) && EqualsNoCase(it->second.first, pKey)) {
            values_.erase(it);
            return true;
        }
    return false;
}

std::vector<std::pair<std::string, std::string>> MemorySettingsBackend::ListValues(
    std::string_view pSection)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& [section, kv] : values_)
        if (EqualsNoCase(section, pSection))
            out.push_back(kv);
    return out;
}

std::optional<int32_t> SettingTextToInt(std::string_view pText) { return ParseInt32(pText); }

std::optional<std::string> Settings::GetRaw(std::string_view pKey, std::string_view pSection) const
{
    std::optional<std::string> raw = backend_.ReadValue(pSection, pKey);
    if (!raw)
        return std::nullopt;
    // The store holds text; a NUL ends it and surrounding spaces are not part of it.
    std::string_view text = *raw;
    if (size_t nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    text = Trim(text);
    if (text == kEmptyMarker)
        return std::string();
    return std::string(text);
}

std::string Settings::GetSetting(std::string_view pKey, std::string_view pDefault) const
{
    std::optional<std::string> raw = GetRaw(pKey);
    return raw ? *raw : std::string(pDefault);
}

int32_t Settings::GetSetting(std::string_view pKey, int32_t pDefault) const
{
    std::optional<std::string> raw = GetRaw(pKey);
    if (!raw)
        return pDefault;
    return SettingTextToInt(*raw).value_or(pDefault);
}

int16_t Settings::GetSetting(std::string_view pKey, int16_t pDefault) const
{
    std::optional<std::string> raw = GetRaw(pKey);
    if (!raw)
        return pDefault;
    std::optional<int32_t> value = SettingTextToInt(*raw);
    if (!value || *value < INT16_MIN || *value > INT16_MAX)
        return pDefault;
    return static_cast<int16_t>(*value);
}

float Settings::GetSetting(std::string_view pKey, float pDefault) const
{
    std::optional<std::string> raw = GetRaw(pKey);
    if (!raw)
        return pDefault;
    std::optional<double> value = ParseNumber(*raw);
    if (!value || std::fabs(*value) > 3.4e38)
        return pDefault;
    return static_cast<float>(*value);
}

std::string Settings::GetSettingIn(
    std::string_view pKey, std::string_view pDefault, std::string_view pSection) const
{
    std::optional<std::string> raw = GetRaw(pKey, pSection);
    return raw ? *raw : std::string(pDefault);
}

bool Settings::SaveSetting(std::string_view pKey, std::string_view pValue)
{
    if (Trim(pKey).empty())
        return false;
    return backend_.WriteValue(kMainSection, pKey, pValue.empty() ? kEmptyMarker : pValue);
}

bool Settings::SaveSettings(const std::vector<std::pair<std::string, std::string>>& pValues)
{
    std::vector<std::pair<std::string, std::string>> stored;
    stored.reserve(pValues.size());
    for (const auto& [key, value] : pValues) {
        if (Trim(key).empty())
            return false;
        stored.emplace_back(key, value.empty() ? std::string(kEmptyMarker) : value);
    }
    return backend_.WriteValues(kMainSection, stored);
}

bool Settings::SaveSetting(std::string_view pKey, int32_t pValue)
{
    return SaveSetting(pKey, std::string_view(std::to_string(pValue)));
}

bool Settings::SaveSetting(std::string_view pKey, float pValue)
{
    return SaveSetting(pKey, std::string_view(FormatNumber(pValue)));
}

bool Settings::DeleteSetting(std::string_view pKey)
{
    return backend_.DeleteValue(kMainSection, pKey);
}

std::string SlotKey(std::string_view pPrefix, int pNumber)
{
    return std::string(pPrefix) + std::to_string(pNumber);
}

std::string TwoDigitKey(std::string_view pPrefix, int pNumber)
{
    return std::string(pPrefix) + ZeroPad(pNumber, 2);
}

} // namespace tarvok
