#include "core/file_io.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/text.h"
#include "core/user_interface.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {

namespace {

/// Offsets are kept well below the overflow of off_t arithmetic.
constexpr int64_t kMaxOffset = int64_t { 1 } << 62;

std::string PathString(std::string_view pPath) { return std::string(pPath); }

// The fault-injection seam: one armed fault at a time, counted per kind of call.
std::atomic<int> gFaultPoint { -1 };
std::atomic<int> gFaultKind { 0 };
std::atomic<int64_t> gFaultNth { 0 };
std::atomic<bool> gFaultFired { false };
std::atomic<int64_t> gFaultCounts[3] {};

// Counts one call of pPoint; the kind of fault to simulate when this call is the armed one.
std::optional<FaultKind> FaultHere(FaultPoint pPoint)
{
    const int index = static_cast<int>(pPoint);
    const int64_t count = ++gFaultCounts[index];
    if (gFaultPoint.load() != index || count != gFaultNth.load())
        return std::nullopt;
    gFaultFired = true;
    return static_cast<FaultKind>(gFaultKind.load());
}

bool ValidPath(std::string_view pPath)
{
    return !Trim(pPath).empty() && pPath.find('\0') == std::string_view::npos;
}

std::string FolderPart(const std::string& pPath)
{
    std::string folder = FolderOf(pPath);
    return folder.empty() ? std::string("./") : folder;
}

std::atomic<int64_t> gTempCounter { 0 };

int32_t AttemptsFor(int32_t pRetries) { return std::clamp(pRetries, 1, kMaxFileAttempts); }

/// Offsets as the read and write primitives take them: the 64-bit one when it is non-zero.
int64_t EffectiveOffset(int32_t pOffset32, int64_t pOffset64)
{
    return pOffset64 != 0 ? pOffset64 : static_cast<int64_t>(pOffset32);
}

bool ReadOnce(void* pBuffer, int64_t pCount, int64_t pOffset, std::string_view pPath)
{
    auto* bytes = static_cast<unsigned char*>(pBuffer);
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    int64_t got = file.IsOpen() ? ReadAt(file, bytes, pCount, pOffset) : -1;
    if (got == pCount)
        return true;
    std::memset(bytes + std::max<int64_t>(got, 0), 0,
        static_cast<size_t>(pCount - std::max<int64_t>(got, 0)));
    return false;
}

Status WriteOnce(const void* pBuffer, int64_t pCount, int64_t pOffset, std::string_view pPath)
{
    errno = 0;
    FileHandle file = OpenFile(pPath, OpenMode::Write);
    if (!file.IsOpen())
        return WriteError(errno);
    if (Status written = WriteAt(file, pBuffer, pCount, pOffset); !written)
        return written;
    errno = 0;
    if (!file.Close())
        return WriteError(errno);
    return {};
}

} // namespace

FileHandle& FileHandle::operator=(FileHandle&& pOther) noexcept
{
    if (this != &pOther) {
        Close();
        fd_ = pOther.Release();
    }
    return *this;
}

bool FileHandle::Close()
{
    if (fd_ < 0)
        return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

int FileHandle::Release()
{
    int fd = fd_;
    fd_ = -1;
    return fd;
}

FileHandle OpenFile(std::string_view pPath, OpenMode pMode)
{
    if (Trim(pPath).empty() || pPath.find('\0') != std::string_view::npos)
        return {};
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted below.
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (pMode == OpenMode::Read)
        flags |= O_RDONLY;
    else if (pMode == OpenMode::Write)
        flags |= O_RDWR | O_CREAT;
    else
        flags |= O_RDWR;
    int fd = ::open(PathString(pPath).c_str(), flags, 0644);
    if (fd < 0)
        return {};
    FileHandle file(fd);
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    int current = ::fcntl(fd, F_GETFL);
    if (current >= 0)
        ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    return file;
}

int64_t ReadAt(const FileHandle& pHandle, void* pBuffer, int64_t pCount, int64_t pOffset)
{
    if (!pHandle.IsOpen() || pCount < 0 || pOffset < 0 || pOffset > kMaxOffset - pCount)
        return -1;
    auto* bytes = static_cast<unsigned char*>(pBuffer);
    int64_t done = 0;
    while (done < pCount) {
        ssize_t n = ::pread(pHandle.Fd(), bytes + done, static_cast<size_t>(pCount - done),
            static_cast<off_t>(pOffset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

namespace {

// The failure of a system call that reported false, from its errno.
Status Checked(bool pOk)
{
    if (pOk)
        return {};
    return WriteError(errno);
}

// The failure an armed fault simulates.
Status Simulated(FaultKind pKind)
{
    errno = pKind == FaultKind::Error ? EIO : ENOSPC;
    return WriteError(errno);
}

bool WriteAtOnce(const FileHandle& pHandle, const void* pBuffer, int64_t pCount, int64_t pOffset)
{
    if (!pHandle.IsOpen() || pCount < 0 || pOffset < -1 || pOffset > kMaxOffset - pCount)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(pBuffer);
    if (std::optional<FaultKind> fault = FaultHere(FaultPoint::Write)) {
        if (*fault == FaultKind::ShortWrite && pCount > 1) {
            const int64_t half = pCount / 2;
            if (pOffset == -1)
                ::lseek(pHandle.Fd(), 0, SEEK_END);
            ssize_t n = pOffset == -1 ? ::write(pHandle.Fd(), bytes, static_cast<size_t>(half))
                                      : ::pwrite(pHandle.Fd(), bytes, static_cast<size_t>(half),
                                          static_cast<off_t>(pOffset));
            (void)n;
        }
        errno = *fault == FaultKind::Error ? EIO : ENOSPC;
        return false;
    }
    if (pOffset == -1) {
        // Writing at the end moves the file position there, so that SeekFile and appends agree.
        if (::lseek(pHandle.Fd(), 0, SEEK_END) < 0)
            return false;
        int64_t done = 0;
        while (done < pCount) {
            ssize_t n = ::write(pHandle.Fd(), bytes + done, static_cast<size_t>(pCount - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }
    int64_t done = 0;
    while (done < pCount) {
        ssize_t n = ::pwrite(pHandle.Fd(), bytes + done, static_cast<size_t>(pCount - done),
            static_cast<off_t>(pOffset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool IsDiskFullError(int pErrno) { return pErrno == ENOSPC || pErrno == EDQUOT; }

std::string WriteFailureText(int pErrno)
{
    if (IsDiskFullError(pErrno))
        return Tr("ディスクの空き容量が足りません");
    if (pErrno == EROFS)
        return Tr("書き込み禁止のディスクです");
    if (pErrno == EACCES || pErrno == EPERM)
        return Tr("書き込みの権限がありません");
    return Tr("ファイルに書き込めません");
}

Error WriteError(int pErrno)
{
    const int error = pErrno != 0 ? pErrno : EIO;
    return Fail(WriteFailureText(error),
        IsDiskFullError(error) ? ErrorCode::DiskFull : ErrorCode::FileError);
}

Status WriteAt(const FileHandle& pHandle, const void* pBuffer, int64_t pCount, int64_t pOffset)
{
    errno = 0;
    return Checked(WriteAtOnce(pHandle, pBuffer, pCount, pOffset));
}

bool ReadBytes(void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay)
{
    int64_t offset = EffectiveOffset(pOffset32, pOffset64);
    if (pBuffer == nullptr || pCount < 0 || offset < 0)
        return false;
    int32_t attempts = AttemptsFor(pRetries);
    for (int32_t attempt = 1;; ++attempt) {
        if (ReadOnce(pBuffer, pCount, offset, pPath))
            return true;
        if (attempt >= attempts)
            return false;
        std::this_thread::sleep_for(pDelay);
    }
}

Status WriteBytes(const void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay)
{
    int64_t offset = EffectiveOffset(pOffset32, pOffset64);
    if ((pBuffer == nullptr && pCount > 0) || pCount < 0 || offset < -1)
        return WriteError(EINVAL);
    int32_t attempts = AttemptsFor(pRetries);
    for (int32_t attempt = 1;; ++attempt) {
        Status written = WriteOnce(pBuffer, pCount, offset, pPath);
        if (written || attempt >= attempts)
            return written;
        std::this_thread::sleep_for(pDelay);
    }
}

FileHandle WriteBytesKeep(const void* pBuffer, int64_t pCount, int64_t pOffset, FileHandle pHandle,
    std::string_view pPath)
{
    if ((pBuffer == nullptr && pCount > 0) || pCount < 0 || pOffset < -1)
        return {};
    FileHandle file = pHandle.IsOpen() ? std::move(pHandle) : OpenFile(pPath, OpenMode::Write);
    if (!file.IsOpen() || !WriteAt(file, pBuffer, pCount, pOffset))
        return {};
    return file;
}

std::optional<std::string> ReadAllBytes(std::string_view pPath)
{
    constexpr int64_t kLimit = int64_t { 1 } << 32;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    int64_t size = FileSize64(file);
    if (size < 0 || size >= kLimit)
        return std::nullopt;
    std::string bytes;
    bytes.resize(static_cast<size_t>(size));
    if (ReadAt(file, bytes.data(), size, 0) != size)
        return std::nullopt;
    return bytes;
}

std::vector<std::string> SplitLines(std::string_view pBytes, UserInterface* pUi)
{
    const bool legacy = !IsValidUtf8(pBytes);
    std::vector<std::string> lines;
    size_t start = 0;
    size_t nextYield = 1024;
    size_t i = 0;
    const size_t n = pBytes.size();
    while (i < n) {
        if (pUi != nullptr && i >= nextYield) {
            pUi->Yield();
            nextYield = i + 1024;
        }
        unsigned char c = static_cast<unsigned char>(pBytes[i]);
        if (legacy && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF))) {
            i += 2;
            continue;
        }
        if (c == '\n') {
            size_t end = i;
            if (end > start && pBytes[end - 1] == '\r')
                --end;
            lines.emplace_back(pBytes.substr(start, end - start));
            start = i + 1;
        }
        ++i;
    }
    if (start < n) {
        std::string_view rest = pBytes.substr(start);
        if (!rest.empty() && rest.back() == '\r')
            rest.remove_suffix(1);
        if (!rest.empty())
            lines.emplace_back(rest);
    }
    return lines;
}

int32_t SeekFile(const FileHandle& pHandle, int64_t pOffset)
{
    if (!pHandle.IsOpen() || pOffset < 0)
        return -1;
    return ::lseek(pHandle.Fd(), static_cast<off_t>(pOffset), SEEK_SET) < 0 ? -1 : 0;
}

int64_t FileSize64(const FileHandle& pHandle)
{
    struct stat st { };
    if (!pHandle.IsOpen() || ::fstat(pHandle.Fd(), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t FileSize64(std::string_view pPath)
{
    struct stat st { };
    if (Trim(pPath).empty() || ::stat(PathString(pPath).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FileExists(std::string_view pPath)
{
    struct stat st { };
    if (Trim(pPath).empty() || pPath.find('\0') != std::string_view::npos)
        return false;
    return ::stat(PathString(pPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

PathKind KindOfPath(std::string_view pPath)
{
    struct stat st { };
    if (!ValidPath(pPath) || ::stat(PathString(pPath).c_str(), &st) != 0)
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::RegularFile;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Special;
}

std::string NotARegularFileText(std::string_view pPath)
{
    switch (KindOfPath(pPath)) {
    case PathKind::Missing:
        return Tr("ファイルが存在しません");
    case PathKind::Folder:
        return Tr("フォルダです。ファイルを指定してください");
    case PathKind::Special:
        return Tr("通常のファイルではありません（パイプまたはデバイス）");
    case PathKind::RegularFile:
        break;
    }
    return {};
}

bool DeleteFileForce(std::string_view pPath)
{
    if (Trim(pPath).empty() || pPath.find('\0') != std::string_view::npos)
        return false;
    std::string path = PathString(pPath);
    struct stat st { };
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode))
        return false;
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
        ::chmod(path.c_str(), st.st_mode | S_IWUSR);
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

Status WriteFileAtomic(std::string_view pPath, const void* pBytes, int64_t pCount)
{
    if (!ValidPath(pPath) || pCount < 0 || (pBytes == nullptr && pCount > 0))
        return WriteError(EINVAL);
    ReplaceFile file;
    if (Status begun = file.Begin(pPath); !begun)
        return begun;
    if (Status written = WriteAt(file.Handle(), pBytes, pCount, 0); !written)
        return written;
    return file.Commit();
}

Status SyncFile(const FileHandle& pHandle)
{
    if (!pHandle.IsOpen())
        return WriteError(EBADF);
    if (std::optional<FaultKind> fault = FaultHere(FaultPoint::Flush))
        return Simulated(*fault);
    return Checked(::fsync(pHandle.Fd()) == 0);
}

Status RenameFile(std::string_view pFrom, std::string_view pTo)
{
    if (!ValidPath(pFrom) || !ValidPath(pTo))
        return WriteError(EINVAL);
    if (std::optional<FaultKind> fault = FaultHere(FaultPoint::Rename))
        return Simulated(*fault);
    return Checked(std::rename(PathString(pFrom).c_str(), PathString(pTo).c_str()) == 0);
}

Status RenameFileNoReplace(std::string_view pFrom, std::string_view pTo)
{
    if (!ValidPath(pFrom) || !ValidPath(pTo))
        return WriteError(EINVAL);
    if (std::optional<FaultKind> fault = FaultHere(FaultPoint::Rename))
        return Simulated(*fault);
    const std::string from = PathString(pFrom);
    const std::string to = PathString(pTo);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return WriteError(errno);
#endif
    // A file system without the atomic form: check, then rename.
    struct stat st { };
    if (::lstat(to.c_str(), &st) == 0)
        return WriteError(EEXIST);
    return Checked(std::rename(from.c_str(), to.c_str()) == 0);
}

Status ExchangePaths(std::string_view pA, std::string_view pB)
{
    if (!ValidPath(pA) || !ValidPath(pB))
        return WriteError(EINVAL);
    if (std::optional<FaultKind> fault = FaultHere(FaultPoint::Rename))
        return Simulated(*fault);
    const std::string a = PathString(pA);
    const std::string b = PathString(pB);
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return WriteError(errno);
#endif
    // A file system without the atomic form: three renames, the first undone when the
    // second fails, so that pA is never left missing on a failure.
    const std::string aside = a + "." + std::to_string(::getpid()) + ".swap";
    if (std::rename(a.c_str(), aside.c_str()) != 0)
        return WriteError(errno);
    if (std::rename(b.c_str(), a.c_str()) != 0) {
        const int error = errno;
        std::rename(aside.c_str(), a.c_str());
        return WriteError(error);
    }
    return Checked(std::rename(aside.c_str(), b.c_str()) == 0);
}

bool SyncFolder(std::string_view pFolder)
{
    std::string folder = pFolder.empty() ? std::string(".") : PathString(pFolder);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    FileHandle handle(fd);
    return SyncFile(handle).has_value();
}

std::string ReplaceTargetOf(std::string_view pPath)
{
    namespace fs = std::filesystem;
    std::string path = PathString(pPath);
    // A chain of links is followed to its end; a link loop leaves the path as given, and
    // the rename then replaces the link itself rather than failing the save.
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        fs::path p(path);
        if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec)
            return path;
        fs::path link = fs::read_symlink(p, ec);
        if (ec)
            return path;
        path = (link.is_absolute() ? link : p.parent_path() / link).lexically_normal().string();
    }
    return PathString(pPath);
}

std::string CreateTempSibling(std::string_view pTarget, FileHandle* pOpened)
{
    if (!ValidPath(pTarget) || pTarget.back() == '/')
        return {};
    const std::string target = ReplaceTargetOf(pTarget);
    const std::string folder = FolderPart(target);
    // Saves and mixdowns that were killed left their temporaries here: those of processes
    // that no longer run go before a new one is made, so a folder never collects them.
    RemoveStaleTemporaries(folder);
    std::string name = target.substr(target.rfind('/') + 1); // npos + 1 is 0: no folder part
    // The name keeps well inside the system's limit of 255 bytes per name.
    if (name.size() > 180)
        name.resize(180);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-"
            + std::to_string(++gTempCounter) + ".part";
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            FileHandle file(fd);
            if (pOpened != nullptr)
                *pOpened = std::move(file);
            return candidate;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

Status CommitTempSibling(
    const std::string& pTemp, std::string_view pTarget, FileHandle* pOpen, bool pReplaceExisting)
{
    if (pTemp.empty() || !ValidPath(pTarget))
        return WriteError(EINVAL);
    FileHandle own;
    FileHandle& file = pOpen != nullptr && pOpen->IsOpen() ? *pOpen : own;
    if (!file.IsOpen())
        file = OpenFile(pTemp, OpenMode::Update);
    Status synced = SyncFile(file);
    errno = 0;
    if (!file.Close() && synced)
        synced = WriteError(errno);
    if (!synced)
        return synced;
    const std::string target = ReplaceTargetOf(pTarget);
    Status renamed
        = pReplaceExisting ? RenameFile(pTemp, target) : RenameFileNoReplace(pTemp, target);
    if (!renamed)
        return renamed;
    // The rename is in place; a failed flush of the folder leaves it there, so the new file
    // is what the target names now and the replacement counts as done.
    SyncFolder(FolderPart(target));
    return {};
}

Status ReplaceFile::Begin(std::string_view pTarget)
{
    Discard();
    errno = 0;
    temp_ = CreateTempSibling(pTarget, &file_);
    if (temp_.empty())
        return WriteError(errno);
    target_ = ReplaceTargetOf(pTarget);
    return {};
}

Status ReplaceFile::Commit(bool pReplaceExisting)
{
    if (temp_.empty())
        return WriteError(EINVAL);
    if (Status committed = CommitTempSibling(temp_, target_, &file_, pReplaceExisting);
        !committed) {
        Discard();
        return committed;
    }
    temp_.clear();
    return {};
}

void ReplaceFile::Discard()
{
    file_.Close();
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

bool IsReplaceTempName(std::string_view pName, int64_t* pPid)
{
    // "." + name + "." + digits + "-" + digits + ".part"
    if (pName.size() < 10 || pName[0] != '.' || !pName.ends_with(".part"))
        return false;
    std::string_view body = pName.substr(0, pName.size() - 5);
    size_t dash = body.rfind('-');
    if (dash == std::string_view::npos)
        return false;
    size_t dot = body.rfind('.', dash);
    if (dot == std::string_view::npos || dot == 0)
        return false;
    std::string_view pid = body.substr(dot + 1, dash - dot - 1);
    std::string_view number = body.substr(dash + 1);
    auto digits = [](std::string_view t) {
        return !t.empty() && t.size() < 12
            && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(pid) || !digits(number))
        return false;
    if (pPid != nullptr)
        *pPid = std::stoll(std::string(pid));
    return true;
}

int RemoveStaleTemporaries(std::string_view pFolder)
{
    std::string folder = PathString(pFolder);
    if (folder.empty())
        return 0;
    if (folder.back() != '/')
        folder += '/';
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    std::vector<std::string> stale;
    while (dirent* entry = ::readdir(dir)) {
        int64_t pid = 0;
        if (IsReplaceTempName(entry->d_name, &pid) && pid != ::getpid() && !ProcessRuns(pid))
            stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : stale) {
        struct stat st { };
        std::string path = folder + name;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool ProcessRuns(int64_t pPid)
{
    if (pPid <= 0 || pPid > INT32_MAX)
        return false;
    return ::kill(static_cast<pid_t>(pPid), 0) == 0 || errno == EPERM;
}

FileLock::FileLock(FileLock&& pOther) noexcept
    : file_(std::move(pOther.file_))
    , path_(std::move(pOther.path_))
    , lockPath_(std::move(pOther.lockPath_))
{
}

FileLock& FileLock::operator=(FileLock&& pOther) noexcept
{
    if (this != &pOther) {
        Release();
        file_ = std::move(pOther.file_);
        path_ = std::move(pOther.path_);
        lockPath_ = std::move(pOther.lockPath_);
    }
    return *this;
}

bool FileLock::Acquire(std::string_view pPath, int64_t* pHolder)
{
    Release();
    if (pHolder != nullptr)
        *pHolder = 0;
    if (!ValidPath(pPath))
        return false;
    const std::string path = ReplaceTargetOf(pPath);
    const std::string lockPath = path + ".lock";
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return false;
        FileHandle file(fd);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (pHolder != nullptr) {
                char text[32] = {};
                ssize_t n = ::pread(fd, text, sizeof(text) - 1, 0);
                if (n > 0)
                    *pHolder = std::strtoll(text, nullptr, 10);
            }
            return false;
        }
        // The holder before us may have deleted the lock file between our open and our lock:
        // then the lock is on a file nobody else will find, and we try again.
        struct stat held { };
        struct stat named { };
        if (::fstat(fd, &held) != 0 || ::stat(lockPath.c_str(), &named) != 0
            || held.st_ino != named.st_ino || held.st_dev != named.st_dev)
            continue;
        std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) != 0
            || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
            // The lock holds without the note of who holds it.
        }
        file_ = std::move(file);
        path_ = path;
        lockPath_ = lockPath;
        return true;
    }
    return false;
}

void FileLock::Release()
{
    if (!file_.IsOpen())
        return;
    ::unlink(lockPath_.c_str());
    file_.Close();
    path_.clear();
    lockPath_.clear();
}

void ArmFault(FaultPoint pPoint, int64_t pNth, FaultKind pKind)
{
    ClearFaults();
    gFaultKind = static_cast<int>(pKind);
    gFaultNth = pNth;
    gFaultPoint = static_cast<int>(pPoint);
}

void ClearFaults()
{
    gFaultPoint = -1;
    gFaultNth = 0;
    gFaultFired = false;
    for (std::atomic<int64_t>& count : gFaultCounts)
        count = 0;
}

int64_t FaultCount(FaultPoint pPoint) { return gFaultCounts[static_cast<int>(pPoint)].load(); }

bool FaultFired() { return gFaultFired.load(); }

} // namespace tarvok
