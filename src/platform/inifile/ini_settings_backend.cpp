#include "platform/inifile/ini_settings_backend.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"

#include <cerrno>
#include <sys/stat.h>

namespace tarvok {

namespace {

using Line = IniSettingsBackend::Line;
using FileState = IniSettingsBackend::FileState;

/// Settings files hold a few hundred short lines; anything far beyond is not one of ours
/// and is neither read (it would cost its size in memory on every change) nor replaced.
constexpr int64_t kMaxSettingsFileBytes = int64_t { 1 } << 20;
/// The longest "name=value" line read or written; longer lines are kept but not read.
constexpr size_t kMaxSettingsLineBytes = 32768;

int64_t Nanoseconds(const struct timespec& pTime)
{
    return static_cast<int64_t>(pTime.tv_sec) * 1000000000 + pTime.tv_nsec;
}

void TakeIdentity(FileState& pState, const struct stat& pStat)
{
    pState.Device = static_cast<uint64_t>(pStat.st_dev);
    pState.Inode = static_cast<uint64_t>(pStat.st_ino);
    pState.Size = static_cast<int64_t>(pStat.st_size);
    pState.ModifiedNs = Nanoseconds(pStat.st_mtim);
    pState.ChangedNs = Nanoseconds(pStat.st_ctim);
}

bool SameIdentity(const FileState& pState, const struct stat& pStat)
{
    return pState.Present && pState.Device == static_cast<uint64_t>(pStat.st_dev)
        && pState.Inode == static_cast<uint64_t>(pStat.st_ino)
        && pState.Size == static_cast<int64_t>(pStat.st_size)
        && pState.ModifiedNs == Nanoseconds(pStat.st_mtim)
        && pState.ChangedNs == Nanoseconds(pStat.st_ctim);
}

Line ParseLine(std::string pRaw)
{
    Line line { std::move(pRaw), {}, {} };
    std::string_view view = Trim(line.Raw);
    size_t eq = view.find('=');
    if (line.Raw.size() <= kMaxSettingsLineBytes && !view.empty() && view.front() != ';'
        && view.front() != '#' && view.front() != '[' && eq != std::string_view::npos
        && !Trim(view.substr(0, eq)).empty()) {
        line.Key = std::string(Trim(view.substr(0, eq)));
        line.Value = std::string(view.substr(eq + 1));
    }
    return line;
}

/// Splits the text at LF, CR LF and CR alone; a last line without an end counts.
std::vector<Line> ParseLines(std::string_view pText)
{
    // A UTF-8 byte-order mark written by another editor is not part of the first name.
    if (pText.substr(0, 3) == "\xEF\xBB\xBF")
        pText.remove_prefix(3);
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < pText.size()) {
        size_t end = pText.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(ParseLine(std::string(pText.substr(pos))));
            break;
        }
        lines.push_back(ParseLine(std::string(pText.substr(pos, end - pos))));
        pos = end + 1;
        if (pText[end] == '\r' && pos < pText.size() && pText[pos] == '\n')
            ++pos;
    }
    return lines;
}

void IndexKeys(FileState& pState)
{
    pState.FirstLineOfKey.clear();
    for (size_t i = 0; i < pState.Lines.size(); ++i)
        if (!pState.Lines[i].Key.empty())
            pState.FirstLineOfKey.emplace(ToLowerAscii(pState.Lines[i].Key), i);
}

bool HasLineBreak(std::string_view s)
{
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

/// True when the pair can be stored as one line that reads back the same.
bool StorablePair(std::string_view pKey, std::string_view pValue)
{
    // A name or value that would break the line structure cannot be stored faithfully, nor
    // can a line too long to be read back.
    return !HasLineBreak(pKey) && !HasLineBreak(pValue) && pKey.find('=') == std::string_view::npos
        && !Trim(pKey).empty() && Trim(pKey) == pKey
        && pKey.size() + 1 + pValue.size() <= kMaxSettingsLineBytes;
}

/// Sets the first line of pKey to pValue (adding one when there is none) and drops later
/// copies of the name. True when the lines changed.
bool SetLine(std::vector<Line>& pLines, std::string_view pKey, std::string_view pValue)
{
    bool found = false;
    bool changed = false;
    std::vector<Line> kept;
    kept.reserve(pLines.size() + 1);
    for (Line& line : pLines) {
        if (!line.Key.empty() && EqualsNoCase(line.Key, pKey)) {
            // Later copies of the name go, so the file holds the name once.
            if (found) {
                changed = true;
                continue;
            }
            found = true;
            if (line.Value != pValue) {
                line.Value = std::string(pValue);
                line.Raw = line.Key + "=" + line.Value;
                changed = true;
            }
        }
        kept.push_back(std::move(line));
    }
    if (!found) {
        kept.push_back({ std::string(pKey) + "=" + std::string(pValue), std::string(pKey),
            std::string(pValue) });
        changed = true;
    }
    pLines = std::move(kept);
    return changed;
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

const FileState& IniSettingsBackend::Current(const std::string& pPath)
{
    FileState& state = files_[pPath];
    struct stat st { };
    // Anything but a regular file (a folder, a pipe, a device) holds no settings; stat never
    // opens it, so a pipe cannot block here.
    if (::stat(pPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        state = FileState {};
        return state;
    }
    if (SameIdentity(state, st))
        return state;
    state = FileState {};
    // A regular file that cannot be read (or is far beyond any settings file) reads as empty
    // and is not replaced by a write that would lose what it holds.
    state.Unreadable = true;
    if (st.st_size > kMaxSettingsFileBytes)
        return state;
    // OpenFile opens without blocking and accepts only a regular file, so a pipe put there
    // between the stat and the open is refused as well.
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0)
        return state;
    std::string text(static_cast<size_t>(st.st_size), '\0');
    const int64_t got = ReadAt(file, text.data(), static_cast<int64_t>(text.size()), 0);
    ++fileReads_;
    if (got < 0)
        return state;
    text.resize(static_cast<size_t>(got));
    state.Unreadable = false;
    state.Lines = ParseLines(text);
    IndexKeys(state);
    state.Present = true;
    // The identity is taken from the handle the text came from; a file that grew while it
    // was read no longer matches it and is read again next time.
    TakeIdentity(state, st);
    return state;
}

bool IniSettingsBackend::WriteLines(const std::string& pPath, std::vector<Line> pLines)
{
    // A folder, pipe or device at the file's path is not replaced by a settings file.
    struct stat st { };
    if (::stat(pPath.c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT)
        return false;
    if (!CreateFolders(folder_))
        return false;
    size_t bytes = 0;
    for (const Line& line : pLines)
        bytes += line.Raw.size() + 2;
    // A file that would not be read back is not written; the old one stays as it is.
    if (bytes > static_cast<size_t>(kMaxSettingsFileBytes))
        return false;
    std::string text;
    text.reserve(bytes);
    for (const Line& line : pLines) {
        text += line.Raw;
        text += "\r\n";
    }
    ReplaceFile file;
    ++fileWrites_;
    Status written = file.Begin(pPath);
    if (written)
        written = WriteAt(file.Handle(), text.data(), static_cast<int64_t>(text.size()), 0);
    if (written && ::fstat(file.Handle().Fd(), &st) != 0)
        written = WriteError(errno);
    if (written)
        written = file.Commit();
    if (!written) {
        lastWriteFailure_ = written.error();
        files_.erase(pPath);
        return false;
    }
    // The new file's lines are known: keep them unless another writer came in between.
    FileState& state = files_[pPath];
    struct stat now { };
    if (::stat(pPath.c_str(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev) {
        state = FileState {};
        return true;
    }
    state.Lines = std::move(pLines);
    IndexKeys(state);
    state.Present = true;
    TakeIdentity(state, now);
    return true;
}

std::optional<std::string> IniSettingsBackend::ReadValue(
    std::string_view pSection, std::string_view pKey)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const FileState& state = Current(FileOf(pSection));
    auto it = state.FirstLineOfKey.find(ToLowerAscii(Trim(pKey)));
    if (it == state.FirstLineOfKey.end() || !EqualsNoCase(state.Lines[it->second].Key, pKey))
        return std::nullopt;
    return state.Lines[it->second].Value;
}

bool IniSettingsBackend::WriteValue(
    std::string_view pSection, std::string_view pKey, std::string_view pValue)
{
    return WriteValues(pSection, { { std::string(pKey), std::string(pValue) } });
}

bool IniSettingsBackend::WriteValues(
    std::string_view pSection, const std::vector<std::pair<std::string, std::string>>& pValues)
{
    for (const auto& [key, value] : pValues)
        if (!StorablePair(key, value))
            return false;
    std::lock_guard<std::mutex> lock(mutex_);
    lastWriteFailure_.reset();
    std::string path = FileOf(pSection);
    const FileState& state = Current(path);
    if (state.Unreadable)
        return false;
    std::vector<Line> lines = state.Lines;
    bool changed = lines.empty();
    if (lines.empty())
        lines.push_back({ "[" + std::string(pSection) + "]", {}, {} });
    for (const auto& [key, value] : pValues)
        changed = SetLine(lines, key, value) || changed;
    // Values that are already stored leave the file as it is: no rewrite, no new identity.
    if (!changed)
        return true;
    return WriteLines(path, std::move(lines));
}

bool IniSettingsBackend::DeleteValue(std::string_view pSection, std::string_view pKey)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path = FileOf(pSection);
    const FileState& state = Current(path);
    if (state.Unreadable)
        return false;
    std::vector<Line> lines = state.Lines;
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
    return WriteLines(path, std::move(kept));
}

std::vector<std::pair<std::string, std::string>> IniSettingsBackend::ListValues(
    std::string_view pSection)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::pair<std::string, std::string>> out;
    for (const Line& line : Current(FileOf(pSection)).Lines)
        if (!line.Key.empty())
            out.push_back({ line.Key, line.Value });
    return out;
}

std::optional<Error> IniSettingsBackend::LastWriteFailure()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastWriteFailure_;
}

} // namespace tarvok
