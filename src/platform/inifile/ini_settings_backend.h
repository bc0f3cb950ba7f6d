#pragma once

#include "base/result.h"
#include "core/settings.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tarvok {

/// The settings store as INI-style UTF-8 text files, one per section: <folder>/<section>.ini
/// ("tarvok2.ini", "common.ini"). A file is read once per change: each call looks at the
/// file's identity (device, inode, size, change times) and reads it again only when that
/// differs from the copy in memory, so two running programs still see each other's writes
/// while a large file is not read once per key. Only a regular file is read, opened without
/// blocking, so a pipe or a device at that path reads as empty, as does a file over 1 MB
/// (which is never replaced either). Lines may end in LF, CR LF or CR alone. A write replaces
/// the file through a temporary name in the same folder, flushed and renamed, so a crash
/// leaves the old or the new file; a write of values already stored changes nothing. Lines
/// that are not "name=value", and lines over 32 KB, are skipped when reading and kept as they
/// are when rewriting (with CR LF ends).
class IniSettingsBackend : public SettingsBackend {
public:
    /// pFolder is created (with parents) on the first write.
    explicit IniSettingsBackend(const std::string& pFolder);

    std::optional<std::string> ReadValue(std::string_view pSection, std::string_view pKey) override;
    bool WriteValue(
        std::string_view pSection, std::string_view pKey, std::string_view pValue) override;
    /// Sets every pair with one rewrite of the file, and none when each value is already
    /// stored. Refused (false, file untouched) when a pair has a line break, a name with '='
    /// or surrounding blanks, or makes a line over 32 KB, or when the file would pass 1 MB.
    bool WriteValues(std::string_view pSection,
        const std::vector<std::pair<std::string, std::string>>& pValues) override;
    bool DeleteValue(std::string_view pSection, std::string_view pKey) override;
    std::vector<std::pair<std::string, std::string>> ListValues(std::string_view pSection) override;

    std::string FileOf(std::string_view pSection) const;

    /// Why the file of the last WriteValue could not be written (a full disk told apart);
    /// nothing when that call wrote its file or refused before writing.
    std::optional<Error> LastWriteFailure();

    /// How many times a file's text has been read (for tests of the once-per-change rule).
    int64_t FileReads() const { return fileReads_; }
    /// How many times a file has been replaced (for tests of the no-rewrite rule).
    int64_t FileWrites() const { return fileWrites_; }

    struct Line {
        std::string Raw; // the line as read, without its end
        std::string Key; // empty for lines that are not "name=value"
        std::string Value;
    };
    /// What a file held when it was last read or written, and how to tell it has changed.
    struct FileState {
        bool Present = false; // a regular file was there and was read
        bool Unreadable = false; // a regular file was there but could not be read
        uint64_t Device = 0;
        uint64_t Inode = 0;
        int64_t Size = -1;
        int64_t ModifiedNs = 0;
        int64_t ChangedNs = 0;
        std::vector<Line> Lines;
        std::unordered_map<std::string, size_t> FirstLineOfKey; // lower-case name -> line
    };

private:
    /// The file's lines as they are now, read again only when the file changed.
    const FileState& Current(const std::string& pPath);
    bool WriteLines(const std::string& pPath, std::vector<Line> pLines);

    std::string folder_;
    std::mutex mutex_;
    std::map<std::string, FileState> files_;
    int64_t fileReads_ = 0;
    int64_t fileWrites_ = 0;
    std::optional<Error> lastWriteFailure_;
};

} // namespace tarvok
