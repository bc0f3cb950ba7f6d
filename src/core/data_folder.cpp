#include "core/data_folder.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/legacy_text.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/project_file.h"
#include "core/user_interface.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tarvok {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kMaxTempNumber = 999999;
constexpr int32_t kMaxNumberedName = 9999999;
constexpr size_t kGeneratedNameLength = 12;
// Project files are a few kilobytes; anything far larger is not one we can read.
constexpr std::uintmax_t kMaxProjectFileBytes = 256u * 1024u * 1024u;
constexpr size_t kMinHeaderFields = 21;
constexpr size_t kMinTrackFields = 12;
constexpr size_t kMinWaveFields = 6;

std::string_view KindExtension(int pKind)
{
    switch (pKind) {
    case kTempSnapshot:
        return "tvp";
    case kTempWave:
        return "wav";
    case kTempPeak:
        return "wwf";
    case kTempEnvelope:
        return "wfd";
    default:
        return {};
    }
}

bool IsDigits(std::string_view pText)
{
    return !pText.empty()
        && std::all_of(pText.begin(), pText.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True for "~t" + six digits + "." + pExtension, compared in lower case.
bool IsTempName(std::string_view pLowerName, std::string_view pPrefix, std::string_view pExtension)
{
    return pLowerName.size() == kGeneratedNameLength && pLowerName.substr(0, 2) == pPrefix
        && IsDigits(pLowerName.substr(2, 6)) && pLowerName[8] == '.'
        && pLowerName.substr(9) == pExtension;
}

// An entry of the folder that exists in any form (file, folder, dangling link) blocks its
// name; so does one whose state cannot be determined.
bool NameTaken(const fs::path& pPath)
{
    std::error_code ec;
    return fs::symlink_status(pPath, ec).type() != fs::file_type::not_found;
}

struct FolderEntry {
    std::string Name;
    fs::path Path;
};

// The entries of the folder sorted by name, so that a clean-up always runs in the same order.
std::optional<std::vector<FolderEntry>> ListFolder(const fs::path& pFolder)
{
    std::vector<FolderEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(pFolder, ec);
    if (ec)
        return std::nullopt;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return std::nullopt;
        entries.push_back({ it->path().filename().string(), it->path() });
    }
    if (ec)
        return std::nullopt;
    std::sort(entries.begin(), entries.end(),
        [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    return entries;
}

bool IsRegularFile(const fs::path& pPath)
{
    std::error_code ec;
    return fs::is_regular_file(pPath, ec);
}

// A link or a file may go; a folder of that name is never removed.
bool RemoveFile(const fs::path& pPath)
{
    std::error_code ec;
    fs::file_status status = fs::symlink_status(pPath, ec);
    if (ec || status.type() == fs::file_type::directory)
        return false;
    return fs::remove(pPath, ec) && !ec;
}

// The file names a project file refers to: each track's envelope file and each wave file's
// WAV and peak file, as written. Nothing when the file cannot be read or is not laid out as
// a project file.
std::optional<std::vector<std::string>> ReadProjectReferences(const fs::path& pPath)
{
    // Read exactly as the project reader reads it, so that both see the same names.
    const int64_t size = FileSize64(pPath.string());
    if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxProjectFileBytes)
        return std::nullopt;
    std::optional<std::string> bytes = ReadAllBytes(pPath.string());
    if (!bytes)
        return std::nullopt;
    std::vector<std::string> lines = SplitLines(DecodeLegacyText(*bytes));
    if (lines.empty())
        return std::nullopt;
    std::vector<std::string> header = SplitProjectFields(lines[0]);
    if (header.size() < kMinHeaderFields)
        return std::nullopt;
    std::optional<int64_t> lastTrackNo = ParseInteger(header[1]);
    std::optional<int64_t> waveCount = ParseInteger(header[3]);
    if (!lastTrackNo || !waveCount || *lastTrackNo < 0 || *waveCount < 0)
        return std::nullopt;
    const uint64_t available = lines.size() - 1;
    const uint64_t trackLines = static_cast<uint64_t>(*lastTrackNo) + 1;
    const uint64_t waveLines = static_cast<uint64_t>(*waveCount);
    if (trackLines > available || waveLines > available - trackLines)
        return std::nullopt;

    std::vector<std::string> names;
    size_t line = 1;
    for (uint64_t i = 0; i < trackLines; ++i, ++line) {
        std::vector<std::string> fields = SplitProjectFields(lines[line]);
        if (fields.size() < kMinTrackFields)
            return std::nullopt;
        names.push_back(std::move(fields[11]));
    }
    for (uint64_t i = 0; i < waveLines; ++i, ++line) {
        std::vector<std::string> fields = SplitProjectFields(lines[line]);
        if (fields.size() < kMinWaveFields)
            return std::nullopt;
        names.push_back(std::move(fields[4]));
        names.push_back(std::move(fields[5]));
    }
    return names;
}

// A folder path in the form used for comparisons: normalised, no trailing "/", lower case
// (a match in lower case can only make the clean-up keep more, never delete more).
std::string FolderKey(const fs::path& pFolder)
{
    std::string text = pFolder.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return ToLowerAscii(text);
}

bool SameFolder(const fs::path& pA, const fs::path& pB)
{
    if (FolderKey(pA) == FolderKey(pB))
        return true;
    std::error_code ec;
    return fs::equivalent(pA, pB, ec) && !ec;
}

// The generated name (lower case) of data folder pFolder that a project file in pBase
// protects through the reference pRef, or empty when pRef names no generated file of this
// folder. The reference is resolved as the project reader resolves it: a relative name is
// taken from the project file's folder; an absolute name that does not exist is looked for
// under its file name beside the project file. Names written on another system ("C:\...",
// "\\server\...") never exist here, so they always come to the file beside the project.
std::string ProtectedName(std::string_view pRef, const fs::path& pFolder, const fs::path& pBase)
{
    std::string ref(Trim(pRef));
    if (ref.empty())
        return {};
    std::string_view base = ForeignFileNameOf(ref);
    if (!IsGeneratedName(base))
        return {};
    std::string name = ToLowerAscii(base);

    if (!IsAbsolutePath(ref)) {
        std::replace(ref.begin(), ref.end(), '\\', '/');
        fs::path full = (pBase / ref).lexically_normal();
        return SameFolder(full.parent_path(), pFolder) ? name : std::string();
    }
    const bool beside = SameFolder(pBase, pFolder);
    if (ref[0] != '/')
        return beside ? name : std::string();
    fs::path full = fs::path(ref).lexically_normal();
    if (SameFolder(full.parent_path(), pFolder))
        return name;
    std::error_code ec;
    fs::file_status status = fs::status(full, ec);
    if (status.type() == fs::file_type::not_found)
        return beside ? name : std::string();
    if (ec)
        return name; // cannot tell whether the reader would fall back: keep the file here
    return std::string();
}

// The file of pFolder (ends in "/") that keeps the names the outside project pProject (its
// full path) protects: a hash of the path names it, its first line is the path itself.
std::string OutsideKeptFile(const std::string& pFolder, const std::string& pProject)
{
    uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (unsigned char c : pProject) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name(16, '0');
    for (size_t i = 0; i < 16; ++i)
        name[15 - i] = kHex[(hash >> (4 * i)) & 15U];
    return pFolder + std::string(kOutsideKeptFolder) + "/" + name + ".lst";
}

// Writes the kept names of the outside project pProject (a full path) as it reads now;
// false when it cannot be read or the file cannot be written.
bool WriteOutsideKept(const std::string& pFolder, const std::string& pProject)
{
    std::optional<std::vector<std::string>> refs = ReadProjectReferences(pProject);
    if (!refs)
        return false;
    const fs::path base = fs::path(pProject).parent_path();
    std::set<std::string> names;
    for (const std::string& ref : *refs)
        if (std::string name = ProtectedName(ref, fs::path(pFolder), base); !name.empty())
            names.insert(std::move(name));
    std::string text = pProject + "\n";
    for (const std::string& name : names)
        text += name + "\n";
    if (!CreateFolders(pFolder + std::string(kOutsideKeptFolder)))
        return false;
    return WriteFileAtomic(
        OutsideKeptFile(pFolder, pProject), text.data(), static_cast<int64_t>(text.size()))
        .has_value();
}

// The names kept for the outside project pProject; nothing when no file keeps them.
std::optional<std::vector<std::string>> ReadOutsideKept(
    const std::string& pFolder, const std::string& pProject)
{
    std::optional<std::string> bytes = ReadAllBytes(OutsideKeptFile(pFolder, pProject));
    if (!bytes)
        return std::nullopt;
    std::vector<std::string> lines = SplitLines(*bytes);
    if (lines.empty() || lines[0] != pProject)
        return std::nullopt; // another project's path with the same hash
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i)
        if (IsGeneratedName(lines[i]))
            names.push_back(ToLowerAscii(lines[i]));
    return names;
}

// Replaces the list of projects saved outside pFolder (ends in "/").
bool WriteOutsideList(const std::string& pFolder, const std::vector<std::string>& pProjects)
{
    std::string text;
    for (const std::string& project : pProjects)
        text += project + "\n";
    return WriteFileAtomic(
        pFolder + std::string(kOutsideProjectsName), text.data(), static_cast<int64_t>(text.size()))
        .has_value();
}

std::atomic<int64_t> gFolderInstances { 0 };
std::mutex gLiveMutex;
std::set<int64_t> gLiveInstances; // DataFolders of this process that exist now

// True when the snapshot's owner is gone: another process that no longer runs, or a
// DataFolder of this process that no longer exists.
bool SnapshotOwnerGone(std::string_view pName, int64_t pPid)
{
    if (pPid != ::getpid())
        return !ProcessRuns(pPid);
    std::string_view rest = pName.substr(2);
    rest = rest.substr(rest.find('-') + 1);
    std::optional<int64_t> instance = ParseInteger(rest.substr(0, rest.find('-')));
    std::lock_guard<std::mutex> lock(gLiveMutex);
    return instance && !gLiveInstances.contains(*instance);
}

bool AllDigits(std::string_view pText, size_t pMax)
{
    return !pText.empty() && pText.size() <= pMax && IsDigits(pText);
}

// "~u" + pid + "-" + instance + ".run": a process that has entered the folder.
bool IsRunMarkerName(std::string_view pName, int64_t* pPid)
{
    if (!pName.starts_with("~u") || !pName.ends_with(".run"))
        return false;
    std::string_view body = pName.substr(2, pName.size() - 6);
    size_t dash = body.find('-');
    if (dash == std::string_view::npos || !AllDigits(body.substr(0, dash), 10)
        || !AllDigits(body.substr(dash + 1), 18))
        return false;
    *pPid = ParseInteger(body.substr(0, dash)).value_or(0);
    return true;
}

// The "~u" + pid + "-" + instance + "-" prefix shared by one DataFolder's snapshots.
std::string SnapshotPrefix(int64_t pInstance)
{
    return "~u" + std::to_string(::getpid()) + "-" + std::to_string(pInstance) + "-";
}

// The local calendar day of a moment, as a day count.
std::optional<int64_t> LocalDayNumber(std::chrono::system_clock::time_point pTime)
{
    std::time_t seconds = std::chrono::system_clock::to_time_t(pTime);
    std::tm local {};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt;
    std::chrono::year_month_day date { std::chrono::year { local.tm_year + 1900 },
        std::chrono::month { static_cast<unsigned>(local.tm_mon + 1) },
        std::chrono::day { static_cast<unsigned>(local.tm_mday) } };
    return std::chrono::sys_days(date).time_since_epoch().count();
}

// True when the file was last written more than pDays whole local days before pNow.
bool ProjectExpired(
    const fs::path& pPath, int32_t pDays, std::chrono::system_clock::time_point pNow)
{
    if (pDays <= 0)
        return false;
    std::error_code ec;
    fs::file_time_type written = fs::last_write_time(pPath, ec);
    if (ec)
        return false;
    auto writtenSys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(written));
    std::optional<int64_t> today = LocalDayNumber(pNow);
    std::optional<int64_t> day = LocalDayNumber(writtenSys);
    return today && day && *today - *day > pDays;
}

} // namespace

DataFolder::DataFolder(std::string_view pFolder)
    : folder_(WithTrailingSlash(pFolder))
    , instance_(++gFolderInstances)
{
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLiveInstances.insert(instance_);
}

DataFolder::~DataFolder()
{
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLiveInstances.erase(instance_);
    }
    if (!marker_.empty())
        ::unlink(marker_.c_str());
}

bool DataFolder::Enter()
{
    if (!marker_.empty())
        return true;
    std::string marker
        = folder_ + "~u" + std::to_string(::getpid()) + "-" + std::to_string(instance_) + ".run";
    int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    marker_ = std::move(marker);
    // Left-overs of processes that were killed: half-written replacements.
    RemoveStaleTemporaries(folder_);
    return true;
}

std::string DataFolder::NewTempName(int pKind)
{
    if (pKind < kTempWave || pKind > kTempEnvelope)
        return {};
    int32_t& counter = counters_[static_cast<size_t>(pKind - 1)];
    std::string_view extension = KindExtension(pKind);
    for (int32_t tries = 0; tries < kMaxTempNumber; ++tries) {
        counter = counter >= kMaxTempNumber || counter < 0 ? 1 : counter + 1;
        std::string path = folder_ + "~t" + ZeroPad(counter, 6) + "." + std::string(extension);
        if (NameTaken(path))
            continue;
        // Created exclusively: when another process took the name a moment ago, go on.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

std::string DataFolder::UndoSnapshotName(int32_t pNumber) const
{
    return folder_ + SnapshotPrefix(instance_) + ZeroPad(pNumber, 6) + ".tvp";
}

namespace {

// "~s" + pid + "-" + instance + "-": one DataFolder's sample-editor files.
std::string SampleEditPrefix(int64_t pInstance)
{
    return "~s" + std::to_string(::getpid()) + "-" + std::to_string(pInstance) + "-";
}

} // namespace

std::string DataFolder::SampleEditName(int32_t pNumber) const
{
    return folder_ + SampleEditPrefix(instance_) + ZeroPad(pNumber, 6) + ".wav";
}

std::string DataFolder::SampleEditClipName() const
{
    return folder_ + SampleEditPrefix(instance_) + "clip.wav";
}

int DataFolder::DeleteSampleEditFiles(int32_t pAbove) const
{
    std::optional<std::vector<FolderEntry>> entries = ListFolder(folder_);
    if (!entries)
        return 0;
    const std::string own = SampleEditPrefix(instance_);
    int deleted = 0;
    for (const FolderEntry& entry : *entries) {
        if (!entry.Name.starts_with(own) || !entry.Name.ends_with(".wav"))
            continue;
        std::string_view rest = std::string_view(entry.Name).substr(own.size());
        rest.remove_suffix(4);
        bool go = false;
        if (rest.size() == 6 && IsDigits(rest)) {
            std::optional<int64_t> number = ParseInteger(rest);
            go = pAbove < 0 || (number && *number > pAbove);
        } else {
            go = pAbove < 0 && rest == "clip";
        }
        if (go && RemoveFile(entry.Path))
            ++deleted;
    }
    return deleted;
}

bool IsSampleEditName(std::string_view pName, int64_t* pPid)
{
    // "~s" + pid + "-" + instance + "-" + (six digits | "clip") + ".wav"
    if (!pName.starts_with("~s") || !pName.ends_with(".wav"))
        return false;
    std::string_view body = pName.substr(2, pName.size() - 6);
    size_t first = body.find('-');
    size_t second = first == std::string_view::npos ? first : body.find('-', first + 1);
    if (second == std::string_view::npos || !AllDigits(body.substr(0, first), 10)
        || !AllDigits(body.substr(first + 1, second - first - 1), 18))
        return false;
    std::string_view tail = body.substr(second + 1);
    if (tail != "clip" && !(tail.size() == 6 && IsDigits(tail)))
        return false;
    if (pPid != nullptr)
        *pPid = ParseInteger(body.substr(0, first)).value_or(0);
    return true;
}

int DataFolder::DeleteOwnSnapshots(int32_t pAbove) const
{
    std::optional<std::vector<FolderEntry>> entries = ListFolder(folder_);
    if (!entries)
        return 0;
    const std::string own = SnapshotPrefix(instance_);
    int deleted = 0;
    for (const FolderEntry& entry : *entries) {
        int64_t pid = 0;
        if (!IsUndoSnapshotName(entry.Name, &pid))
            continue;
        bool mine = entry.Name.starts_with(own);
        bool go = false;
        if (mine && pAbove >= 0) {
            std::optional<int64_t> number = ParseInteger(entry.Name.substr(own.size(), 6));
            go = number && *number > pAbove;
        } else if (pAbove < 0) {
            go = mine || SnapshotOwnerGone(entry.Name, pid);
        }
        if (go && RemoveFile(entry.Path))
            ++deleted;
    }
    return deleted;
}

std::string DataFolder::NewestStaleSnapshot() const
{
    std::optional<std::vector<FolderEntry>> entries = ListFolder(folder_);
    if (!entries)
        return {};
    std::string best;
    fs::file_time_type bestTime {};
    for (const FolderEntry& entry : *entries) {
        int64_t pid = 0;
        bool stale = IsUndoSnapshotName(entry.Name, &pid)
            ? SnapshotOwnerGone(entry.Name, pid)
            : IsTempName(ToLowerAscii(entry.Name), "~t", "tvp");
        if (!stale || !IsRegularFile(entry.Path))
            continue;
        std::error_code ec;
        fs::file_time_type time = fs::last_write_time(entry.Path, ec);
        if (ec)
            continue;
        if (best.empty() || time > bestTime) {
            best = entry.Path.string();
            bestTime = time;
        }
    }
    return best;
}

bool IsUndoSnapshotName(std::string_view pName, int64_t* pPid)
{
    // "~u" + pid + "-" + instance + "-" + six digits + ".tvp"
    if (pName.size() < 16 || !pName.starts_with("~u") || !pName.ends_with(".tvp"))
        return false;
    std::string_view body = pName.substr(2, pName.size() - 6);
    size_t first = body.find('-');
    size_t second = first == std::string_view::npos ? first : body.find('-', first + 1);
    if (second == std::string_view::npos || !AllDigits(body.substr(0, first), 10)
        || !AllDigits(body.substr(first + 1, second - first - 1), 18)
        || body.size() - second - 1 != 6 || !IsDigits(body.substr(second + 1)))
        return false;
    if (pPid != nullptr)
        *pPid = ParseInteger(body.substr(0, first)).value_or(0);
    return true;
}

int32_t DataFolder::NameCounter(int pKind) const
{
    if (pKind < kTempWave || pKind > kTempEnvelope)
        return 0;
    return counters_[static_cast<size_t>(pKind - 1)];
}

void DataFolder::SetNameCounter(int pKind, int32_t pValue)
{
    if (pKind < kTempWave || pKind > kTempEnvelope)
        return;
    counters_[static_cast<size_t>(pKind - 1)] = std::clamp(pValue, 0, kMaxTempNumber);
}

std::string NewNumberedName(int pKind, std::string_view pFolder)
{
    if (pKind < kTempWave || pKind > kTempEnvelope)
        return {};
    const std::string folder = WithTrailingSlash(pFolder);
    const std::string extension = "." + std::string(KindExtension(pKind));
    for (int32_t number = 1; number <= kMaxNumberedName; ++number) {
        std::string name = ZeroPad(number, 8) + extension;
        if (!NameTaken(folder + name))
            return name;
    }
    return {};
}

bool IsGeneratedName(std::string_view pName)
{
    if (pName.size() != kGeneratedNameLength)
        return false;
    std::string lower = ToLowerAscii(pName);
    return (lower.starts_with("~t") || lower.starts_with("~s")) && IsDigits(lower.substr(2, 6))
        && lower[8] == '.';
}

int DeleteTempFiles(std::string_view pFolder, int pKind)
{
    std::string_view extension = KindExtension(pKind);
    if (extension.empty())
        return 0;
    std::optional<std::vector<FolderEntry>> entries = ListFolder(WithTrailingSlash(pFolder));
    if (!entries)
        return 0;
    int deleted = 0;
    for (const FolderEntry& entry : *entries)
        if (IsTempName(ToLowerAscii(entry.Name), "~t", extension) && RemoveFile(entry.Path))
            ++deleted;
    return deleted;
}

namespace {

/// Removes the run markers of processes that ended; true when another process works in the
/// folder.
bool OtherProcessRuns(const std::vector<FolderEntry>& pEntries)
{
    for (const FolderEntry& entry : pEntries) {
        int64_t pid = 0;
        if (IsRunMarkerName(entry.Name, &pid) && pid != ::getpid()) {
            if (ProcessRuns(pid))
                return true;
            RemoveFile(entry.Path);
        }
    }
    return false;
}

/// Project files first: snapshots and expired projects go, every other project file is
/// read for the working files it still needs (into pKeep). False when one cannot be read.
bool KeepFolderProjectNames(const std::vector<FolderEntry>& pEntries, const fs::path& pFolder,
    int32_t pDays, std::chrono::system_clock::time_point pNow, UserInterface& pUi,
    std::set<std::string>& pKeep)
{
    for (const FolderEntry& entry : pEntries) {
        std::string lower = ToLowerAscii(entry.Name);
        if (!lower.ends_with(".tvp") || !IsRegularFile(entry.Path))
            continue;
        int64_t pid = 0;
        if (IsTempName(lower, "~t", "tvp")
            || (IsUndoSnapshotName(entry.Name, &pid) && (pid == ::getpid() || !ProcessRuns(pid)))) {
            RemoveFile(entry.Path);
            continue;
        }
        if (lower != "last.tvp" && ProjectExpired(entry.Path, pDays, pNow)) {
            RemoveFile(entry.Path);
            continue;
        }
        pUi.ShowMessage("Check " + entry.Name + "…");
        pUi.Yield();
        std::optional<std::vector<std::string>> refs = ReadProjectReferences(entry.Path);
        if (!refs) {
            pUi.ShowMessage("");
            return false;
        }
        for (const std::string& ref : *refs)
            if (std::string name = ProtectedName(ref, pFolder, pFolder); !name.empty())
                pKeep.insert(std::move(name));
    }
    return true;
}

/// A project listed as saved outside the folder that is no longer there, with the working-file
/// names it had at its last save.
struct GoneProject {
    std::string Project;
    std::vector<std::string> Names;
};

/// Reads the outside projects that exist for the names they need (into pKeep) and lists them
/// in pStillThere; the ones that are gone go to pGone. False when one cannot be read.
bool KeepOutsideProjectNames(const std::vector<std::string>& pOutside, const fs::path& pFolder,
    UserInterface& pUi, std::set<std::string>& pKeep, std::vector<std::string>& pStillThere,
    std::vector<GoneProject>& pGone)
{
    for (const std::string& project : pOutside) {
        std::error_code ec;
        const fs::file_status status = fs::status(project, ec);
        if (status.type() == fs::file_type::not_found) {
            if (std::optional<std::vector<std::string>> kept
                = ReadOutsideKept(pFolder.string(), project))
                pGone.push_back({ project, std::move(*kept) });
            continue;
        }
        pStillThere.push_back(project);
        // Temporaries of killed saves of that project lie beside it.
        RemoveStaleTemporaries(fs::path(project).parent_path().string());
        pUi.ShowMessage("Check " + project + "…");
        pUi.Yield();
        std::optional<std::vector<std::string>> refs = ReadProjectReferences(project);
        if (!refs) {
            pUi.ShowMessage("");
            return false;
        }
        const fs::path base = fs::path(project).parent_path();
        for (const std::string& ref : *refs)
            if (std::string name = ProtectedName(ref, pFolder, base); !name.empty())
                pKeep.insert(std::move(name));
        // Listed before its names were kept: they are kept from now on, in case it moves.
        if (!FileExists(OutsideKeptFile(pFolder.string(), project)))
            WriteOutsideKept(pFolder.string(), project);
    }
    return true;
}

/// Keeps the names of the gone projects that still hold them and lists those in pStillThere;
/// returns them, for the report.
std::vector<std::string> KeepGoneProjectNames(const std::vector<GoneProject>& pGone,
    const fs::path& pFolder, int32_t pDays, std::chrono::system_clock::time_point pNow,
    std::set<std::string>& pKeep, std::vector<std::string>& pStillThere)
{
    std::vector<std::string> reported;
    for (const GoneProject& m : pGone) {
        const std::string keptFile = OutsideKeptFile(pFolder.string(), m.Project);
        const bool covered = std::all_of(m.Names.begin(), m.Names.end(),
            [&pKeep](const std::string& pName) { return pKeep.contains(pName); });
        if (covered || ProjectExpired(keptFile, pDays, pNow)) {
            RemoveFile(keptFile);
            continue;
        }
        pKeep.insert(m.Names.begin(), m.Names.end());
        pStillThere.push_back(m.Project);
        reported.push_back(m.Project);
    }
    return reported;
}

/// Tells the user which gone projects still keep working files.
void ReportGoneProjects(const std::vector<std::string>& pReported, UserInterface& pUi)
{
    if (!pReported.empty()) {
        std::string text(Tr(kOutsideMissingText.data()));
        for (const std::string& project : pReported)
            text += "\n" + project;
        pUi.MessageBox(text, MsgButtons::Ok, MsgIcon::Warning);
    }
}

/// The files that have a recording marker beside them (lower case): takes being recorded, or
/// left by a recording that never finished, which no project names yet.
std::set<std::string> RecordingTakes(const std::vector<FolderEntry>& pEntries)
{
    const std::string_view suffix = kRecordingMarkerSuffix;
    std::set<std::string> takes;
    for (const FolderEntry& entry : pEntries)
        if (entry.Name.size() > suffix.size() && entry.Name.ends_with(suffix))
            takes.insert(ToLowerAscii(entry.Name.substr(0, entry.Name.size() - suffix.size())));
    return takes;
}

/// Deletes the sample-editor snapshots of ended processes and the working files no project
/// keeps; returns how many files went. A take with its recording marker always stays: it is
/// offered at the next start (or placed by the command line), never lost to a clean-up.
int DeleteUnkeptWorkingFiles(
    const std::vector<FolderEntry>& pEntries, const std::set<std::string>& pKeep)
{
    const std::set<std::string> takes = RecordingTakes(pEntries);
    int deleted = 0;
    for (const FolderEntry& entry : pEntries) {
        std::string lower = ToLowerAscii(entry.Name);
        int64_t pid = 0;
        if (IsSampleEditName(entry.Name, &pid) && SnapshotOwnerGone(entry.Name, pid)) {
            if (RemoveFile(entry.Path))
                ++deleted;
            continue;
        }
        bool working = IsTempName(lower, "~t", "wav") || IsTempName(lower, "~t", "wfd")
            || IsTempName(lower, "~t", "wwf") || IsTempName(lower, "~s", "wav")
            || IsTempName(lower, "~s", "wfd") || IsTempName(lower, "~s", "wwf");
        if (working && !pKeep.contains(lower) && !takes.contains(lower) && RemoveFile(entry.Path))
            ++deleted;
    }
    return deleted;
}

} // namespace

bool OtherProcessInFolder(std::string_view pFolder)
{
    const std::optional<std::vector<FolderEntry>> entries
        = ListFolder(fs::path(WithTrailingSlash(pFolder)));
    if (!entries)
        return false;
    for (const FolderEntry& entry : *entries) {
        int64_t pid = 0;
        if (IsRunMarkerName(entry.Name, &pid) && pid != ::getpid() && ProcessRuns(pid))
            return true;
    }
    return false;
}

int CleanDataFolder(std::string_view pFolder, int32_t pDelPrjDays, UserInterface& pUi,
    std::chrono::system_clock::time_point pNow)
{
    const fs::path folder(WithTrailingSlash(pFolder));
    std::optional<std::vector<FolderEntry>> entries = ListFolder(folder);
    if (!entries)
        return -1;
    // Another process that works in the folder has working files no saved project names yet.
    if (OtherProcessRuns(*entries))
        return -2;
    RemoveStaleTemporaries(folder.string());

    // Project files first: snapshots and expired projects go, every other project file is
    // read for the working files it still needs. Nothing else is deleted until all of them
    // have been read, so a project that cannot be read protects everything.
    std::set<std::string> keep;
    if (!KeepFolderProjectNames(*entries, folder, pDelPrjDays, pNow, pUi, keep))
        return -1;

    // Projects saved outside the folder protect what they name as well. One that exists but
    // cannot be read protects everything. One that is gone may only have been moved (the
    // clean-up cannot tell): what it named at its last save stays (see below).
    const std::vector<std::string> outside = OutsideProjects(folder.string());
    std::vector<std::string> stillThere;
    std::vector<GoneProject> gone;
    if (!KeepOutsideProjectNames(outside, folder, pUi, keep, stillThere, gone))
        return -1;

    // A project that is gone keeps the names it had at its last save, so that moving it
    // (`mv`) never costs its working files. It lets them go when every one is kept by a
    // project that is there (it was opened and saved at its new place), or when its last
    // save is older than the days after which the folder's own projects expire.
    const std::vector<std::string> reported
        = KeepGoneProjectNames(gone, folder, pDelPrjDays, pNow, keep, stillThere);
    if (stillThere.size() != outside.size())
        WriteOutsideList(folder.string(), stillThere);
    ReportGoneProjects(reported, pUi);

    // The listing is taken again: files may have come or gone while the projects were read.
    entries = ListFolder(folder);
    if (!entries) {
        pUi.ShowMessage("");
        return -1;
    }
    const int deleted = DeleteUnkeptWorkingFiles(*entries, keep);
    pUi.ShowMessage("");
    return deleted;
}

std::vector<std::string> OutsideProjects(std::string_view pFolder)
{
    std::vector<std::string> projects;
    std::optional<std::string> bytes
        = ReadAllBytes(WithTrailingSlash(pFolder) + std::string(kOutsideProjectsName));
    if (!bytes)
        return projects;
    for (std::string& line : SplitLines(*bytes))
        if (!Trim(line).empty() && line[0] == '/')
            projects.push_back(std::move(line));
    return projects;
}

bool NoteOutsideProject(std::string_view pFolder, std::string_view pProject)
{
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(fs::absolute(ReplaceTargetOf(pProject), ec), ec);
    if (ec || target.empty())
        return false;
    const fs::path folder(WithTrailingSlash(pFolder));
    if (SameFolder(target.parent_path(), folder))
        return true;
    // Two processes may note projects at once: the list is changed under its lock.
    const std::string list = folder.string() + std::string(kOutsideProjectsName);
    FileLock lock;
    for (int attempt = 0; !lock.Acquire(list); ++attempt) {
        if (attempt >= 200)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::string> projects = OutsideProjects(pFolder);
    if (std::find(projects.begin(), projects.end(), target.string()) == projects.end()) {
        projects.push_back(target.string());
        if (!WriteOutsideList(folder.string(), projects))
            return false;
    }
    // What it names now is kept apart from it, so that it stays kept if the project moves.
    return WriteOutsideKept(folder.string(), target.string());
}

std::string ResolveDataFolder(const std::string& pDataPathSetting)
{
    std::string_view setting = Trim(pDataPathSetting);
    if (!setting.empty() && setting[0] == '/' && FolderExists(setting))
        return WithTrailingSlash(setting);
    std::string folder = DefaultDataFolder();
    CreateFolders(folder);
    return folder;
}

} // namespace tarvok
