#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::test {

/// A fresh folder under the system's temporary folder, removed with everything in it when
/// the object goes. Path() ends in "/".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    /// Path() + pName.
    std::string File(std::string_view pName) const { return path_ + std::string(pName); }

private:
    std::string path_;
};

/// Points HOME and the XDG folders into a temporary folder for the object's life, so that
/// nothing a test does touches the real home folder.
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    const TempDir& Dir() const { return dir_; }
    std::string ConfigHome() const { return dir_.File("config"); }
    std::string DataHome() const { return dir_.File("data"); }
    std::string StateHome() const { return dir_.File("state"); }

private:
    TempDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;
    std::vector<std::string> unset_;
};

/// Writes bytes to a file, replacing it; false on failure.
bool WriteFileBytes(const std::string& pPath, std::string_view pBytes);
/// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& pPath);

/// The ID of a process that has ended (a child that exited at once and was reaped).
int64_t DeadPid();

/// The names of the entries of a folder.
std::set<std::string> Names(const std::string& pFolder);

} // namespace tarvok::test
