#include "app/file_copy.h"

#include "base/text.h"
#include "core/paths.h"
#include "core/user_interface.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarvok {

namespace {

constexpr const char* kCopyingText = "ファイルコピー中…";
constexpr const char* kComparingText = "ファイル比較中…";

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int pFd = -1)
        : fd_(pFd)
    {
    }
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    /// False when the close reports a failure (data that did not land).
    bool Close()
    {
        if (fd_ < 0)
            return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

// Removes a file on every path out of a function unless released.
class RemoveOnExit {
public:
    explicit RemoveOnExit(std::string pPath)
        : path_(std::move(pPath))
    {
    }
    ~RemoveOnExit()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;
    void Release() { path_.clear(); }

private:
    std::string path_;
};

bool StatRegular(const std::string& pPath, struct stat& pInfo)
{
    return ::stat(pPath.c_str(), &pInfo) == 0 && S_ISREG(pInfo.st_mode);
}

bool PathExists(const std::string& pPath)
{
    struct stat info { };
    return ::lstat(pPath.c_str(), &info) == 0;
}

// Reads exactly pSize bytes at pOffset; a file that ends sooner is a failed read.
bool ReadExact(int pFd, char* pData, size_t pSize, int64_t pOffset)
{
    while (pSize > 0) {
        ssize_t done = ::pread(pFd, pData, pSize, static_cast<off_t>(pOffset));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (done == 0)
            return false;
        pData += done;
        pSize -= static_cast<size_t>(done);
        pOffset += done;
    }
    return true;
}

bool WriteAll(int pFd, const char* pData, size_t pSize)
{
    while (pSize > 0) {
        ssize_t done = ::write(pFd, pData, pSize);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        pData += done;
        pSize -= static_cast<size_t>(done);
    }
    return true;
}

// The folder part of a path including its final "/", or empty for a bare file name.
std::string FolderOf(const std::string& pPath)
{
    size_t slash = pPath.rfind('/');
    return slash == std::string::npos ? std::string() : pPath.substr(0, slash + 1);
}

int64_t ChunkBytes(int64_t pSize)
{
    if (pSize < 1)
        return FileCopy::kDefaultChunkBytes;
    return std::min(pSize, FileCopy::kMaxChunkBytes);
}

int32_t PauseMs(int32_t pInt) { return pInt < 1 ? FileCopy::kDefaultPauseMs : pInt; }

// Renames without replacing an existing target; false (target untouched) when one exists.
bool RenameNoReplace(const std::string& pFrom, const std::string& pTo)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, pFrom.c_str(), AT_FDCWD, pTo.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // A file system without the atomic form: check, then rename.
    if (PathExists(pTo))
        return false;
    return std::rename(pFrom.c_str(), pTo.c_str()) == 0;
}

// True when both names lead to the same file: the same text apart from letter case (names
// from other systems), or the same resolved path.
bool SamePath(const std::string& pA, const std::string& pB)
{
    if (EqualsNoCase(pA, pB))
        return true;
    std::error_code ecA;
    std::error_code ecB;
    auto a = std::filesystem::weakly_canonical(pA, ecA);
    auto b = std::filesystem::weakly_canonical(pB, ecB);
    return !ecA && !ecB && a == b;
}

} // namespace

FileCopy::FileCopy(UserInterface* pUi)
    : ui_(pUi)
    , random_(std::random_device {}())
{
}

void FileCopy::Yield()
{
    if (ui_)
        ui_->Yield();
}

void FileCopy::Pause(int32_t pMs)
{
    if (wait_) {
        wait_(pMs);
        return;
    }
    // Keep the window system served while waiting.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(pMs);
    for (;;) {
        Yield();
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(2)));
    }
}

void FileCopy::RaiseProgress(const ProgressHandler& pHandler, double pRate)
{
    bar_ = pRate;
    if (!pHandler)
        return;
    bool cancel = canceled_;
    pHandler(pRate, cancel);
    if (cancel)
        canceled_ = true;
}

int FileCopy::CreateTemporary(const std::string& pFolder, std::string& pTemporary)
{
    std::uniform_int_distribution<int> draw(0, 9999);
    for (int32_t attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        // The process ID in the name (the file layer's temporary form) lets a clean-up tell
        // the leftover of a killed copy from the file of a copy that still runs.
        std::string name = pFolder + ".~tmp." + std::to_string(::getpid()) + "-"
            + ZeroPad(draw(random_), 4) + ".part";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            pTemporary = std::move(name);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

bool FileCopy::CopyToTemporary(const std::string& pSource, const std::string& pFolder,
    std::string& pTemporary, int32_t pInt, int64_t pSize)
{
    pTemporary.clear();
    FileDescriptor source(::open(pSource.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info { };
    if (!source.Valid() || ::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::string temporary;
    FileDescriptor target(CreateTemporary(pFolder, temporary));
    if (!target.Valid())
        return false;
    RemoveOnExit removeTemporary(temporary);

    const int64_t size = info.st_size;
    const int32_t pause = PauseMs(pInt);
    bool complete = size == 0; // an empty file needs no chunks and raises no progress
    if (!complete) {
        message_ = kCopyingText;
        const int64_t chunk = ChunkBytes(pSize);
        std::vector<char> buffer(static_cast<size_t>(std::min(chunk, size)));
        int64_t remaining = size;
        int64_t offset = 0;
        for (;;) {
            const auto n = static_cast<size_t>(std::min(remaining, chunk));
            RaiseProgress(
                mirrorProg_, static_cast<double>(size - remaining) / static_cast<double>(size));
            if (!ReadExact(source.Get(), buffer.data(), n, offset))
                break;
            Pause(pause);
            if (!WriteAll(target.Get(), buffer.data(), n))
                break;
            remaining -= static_cast<int64_t>(n);
            offset += static_cast<int64_t>(n);
            if (remaining == 0) {
                complete = true;
                break;
            }
            if (canceled_)
                break;
        }
    }
    if (complete) {
        // Only the modification time follows the source; the access time stays as it is.
        const struct timespec times[2] = { { 0, UTIME_OMIT }, info.st_mtim };
        complete = ::futimens(target.Get(), times) == 0 && ::fsync(target.Get()) == 0;
    }
    complete = target.Close() && complete;
    if (size > 0) {
        if (complete) {
            Pause(pause);
            RaiseProgress(mirrorProg_, 1.0);
        }
        message_.clear();
    }
    if (!complete)
        return false;
    removeTemporary.Release();
    pTemporary = std::move(temporary);
    return true;
}

bool FileCopy::MirrorFile(std::string_view sFilename, std::string_view tFilename, int32_t pInt,
    int64_t pSize, bool pSaiki)
{
    if (!pSaiki)
        canceled_ = false;
    const std::string source(sFilename);
    const std::string target(tFilename);
    struct stat info { };
    if (target.empty() || !StatRegular(source, info))
        return false;
    std::string temporary;
    if (!CopyToTemporary(source, FolderOf(target), temporary, pInt, pSize))
        return false;
    RemoveOnExit removeTemporary(temporary);
    // The rename replaces an older target in one step; a folder in the way makes it fail.
    if (std::rename(temporary.c_str(), target.c_str()) != 0)
        return false;
    removeTemporary.Release();
    return true;
}

bool FileCopy::TranspFile(std::string_view sFilename, std::string_view tFilename, bool KillTarget,
    bool KillSource, int64_t pSize, int32_t pInt, bool pSaiki)
{
    if (!pSaiki)
        canceled_ = false;
    const std::string source(sFilename);
    const std::string target(tFilename);
    if (target.empty() || target.back() == '/')
        return false;
    struct stat info { };
    if (!StatRegular(source, info))
        return false;
    const std::string folder = FolderOf(target);
    if (!folder.empty() && !CreateFolders(folder))
        return false;
    // Checked before copying so that a refused transfer costs nothing; checked again by
    // the rename itself, in case the target appears meanwhile.
    if (!KillTarget && PathExists(target))
        return false;

    std::string temporary;
    if (!CopyToTemporary(source, folder, temporary, pInt, pSize))
        return false;
    RemoveOnExit removeTemporary(temporary);
    const bool same = SamePath(source, target);
    const bool placed = KillTarget ? std::rename(temporary.c_str(), target.c_str()) == 0
                                   : RenameNoReplace(temporary, target);
    if (!placed)
        return false;
    removeTemporary.Release();
    if (same || !KillSource)
        return true;
    return ::unlink(source.c_str()) == 0;
}

bool FileCopy::HikakuFile(
    std::string_view sFilename, std::string_view tFilename, int32_t pInt, int64_t pSize)
{
    const std::string first(sFilename);
    const std::string second(tFilename);
    FileDescriptor a(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
    FileDescriptor b(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat infoA { };
    struct stat infoB { };
    if (!a.Valid() || !b.Valid() || ::fstat(a.Get(), &infoA) != 0 || ::fstat(b.Get(), &infoB) != 0
        || !S_ISREG(infoA.st_mode) || !S_ISREG(infoB.st_mode))
        return false;
    canceled_ = false;
    const int64_t size = infoA.st_size;
    if (size != infoB.st_size || size <= 0)
        return false;

    message_ = kComparingText;
    const int64_t chunk = ChunkBytes(pSize);
    const int32_t pause = PauseMs(pInt);
    std::vector<char> bufferA(static_cast<size_t>(std::min(chunk, size)));
    std::vector<char> bufferB(bufferA.size());
    int64_t remaining = size;
    int64_t offset = 0;
    bool result = false;
    for (;;) {
        Yield();
        const auto n = static_cast<size_t>(std::min(remaining, chunk));
        RaiseProgress(hikakuProg_, static_cast<double>(offset) / static_cast<double>(size));
        if (!ReadExact(a.Get(), bufferA.data(), n, offset))
            break;
        Pause(pause);
        if (!ReadExact(b.Get(), bufferB.data(), n, offset))
            break;
        if (std::memcmp(bufferA.data(), bufferB.data(), n) != 0) {
            RaiseProgress(hikakuProg_, 1.0);
            break;
        }
        remaining -= static_cast<int64_t>(n);
        offset += static_cast<int64_t>(n);
        if (remaining == 0) {
            RaiseProgress(hikakuProg_, 1.0);
            result = true;
            break;
        }
        if (canceled_) {
            canceled_ = false;
            break;
        }
    }
    message_.clear();
    return result;
}

} // namespace tarvok
