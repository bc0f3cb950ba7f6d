#include "platform/inifile/ini_settings_backend.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tarvok {

namespace {

struct Line {
    std::string Raw; // the line as read, without its end
    std::string Key; // empty for lines that are not "name=value"
    std::string Value;
};

std::vector<Line> ReadLines(const std::string& pPath)
{
    std::vector<Line> lines;
    std::ifstream in(pPath, std::ios::binary);
    if (!in)
        return lines;
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    // A UTF-8 byte-order mark written by another editor is not part of the first name.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        pos = end + 1;
        Line line { raw, {}, {} };
        std::string_view view = Trim(raw);
        size_t eq = view.find('=');
        if (!view.empty() && view.front() != ';' && view.front() != '#' && view.front() != '['
            && eq != std::string_view::npos && !Trim(view.substr(0, eq)).empty()) {
            line.Key = std::string(Trim(view.substr(0, eq)));
            line.Value = std::string(view.substr(eq + 1));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool WriteLinesAtomically(
    const std::string& pFolder, const std::string& pPath, const std::vector<Line>& pLines)
{
    if (!CreateFolders(pFolder))
        return false;
    std::string text;
    for (const Line& line : pLines) {
        text += line.Raw;
        text += "\r\n";
    }
    return WriteFileAtomic(pPath, text.data(), static_cast<int64_t>(text.size()));
}

bool HasLineBreak(std::string_view s)
{
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

} // namespace

IniSettingsBackend::IniSettingsBackend(const std::string& pFolder)
    : folder_(WithTrailingSlash(pFolder))
{
}

std::string IniSettingsBackend::FileOf(std::string_view pSection) const
{
    return folder_ + ToLowerAscii(pSection) + ".ini";
}

std::optional<std::string> IniSettingsBackend::ReadValue(
    std::string_view pSection, std::string_view pKey)
{
    for (const Line& line : ReadLines(FileOf(pSection)))
        if (!line.Key.empty() && EqualsNoCase(line.Key, pKey))
            return line.Value;
    return std::nullopt;
}

bool IniSettingsBackend::WriteValue(
    std::string_view pSection, std::string_view pKey, std::string_view pValue)
{
    // A name or value that would break the line structure cannot be stored faithfully.
    if (HasLineBreak(pKey) || HasLineBreak(pValue) || pKey.find('=') != std::string_view::npos
        || Trim(pKey).empty() || Trim(pKey) != pKey)
        return false;
    std::string path = FileOf(pSection);
    std::vector<Line> lines = ReadLines(path);
    bool found = false;
    for (Line& line : lines) {
        if (!line.Key.empty() && EqualsNoCase(line.Key, pKey)) {
            if (found) {
                line.Key.clear();
                line.Raw.clear();
                continue;
            }
            line.Value = std::string(pValue);
            line.Raw = line.Key + "=" + line.Value;
            found = true;
        }
    }
    if (lines.empty())
        lines.push_back({ "[" + std::string(pSection) + "]", {}, {} });
    if (!found)
        lines.push_back({ std::string(pKey) + "=" + std::string(pValue), std::string(pKey),
            std::string(pValue) });
    return WriteLinesAtomically(folder_, path, lines);
}

bool IniSettingsBackend::DeleteValue(std::string_view pSection, std::string_view pKey)
{
    std::string path = FileOf(pSection);
    std::vector<Line> lines = ReadLines(path);
    std::vector<Line> kept;
    bool found = false;
    for (Line& line : lines) {
        if (!line.Key.empty() && EqualsNoCase(line.Key, pKey)) {
            found = true;
            continue;
        }
        kept.push_back(std::move(line));
    }
    if (!found)
        return false;
    return WriteLinesAtomically(folder_, path, kept);
}

std::vector<std::pair<std::string, std::string>> IniSettingsBackend::ListValues(
    std::string_view pSection)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const Line& line : ReadLines(FileOf(pSection)))
        if (!line.Key.empty())
            out.push_back({ line.Key, line.Value });
    return out;
}

} // namespace tarvok
