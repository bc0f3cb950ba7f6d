#include "core/file_io.h"

#include "core/user_interface.h"
#include "base/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {

namespace {

/// Offsets are kept well below the overflow of off_t arithmetic.
constexpr int64_t kMaxOffset = int64_t { 1 } << 62;

std::string PathString(std::string_view pPath) { return std::string(pPath); }

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

bool WriteOnce(const void* pBuffer, int64_t pCount, int64_t pOffset, std::string_view pPath)
{
    FileHandle file = OpenFile(pPath, OpenMode::Write);
    if (!file.IsOpen() || !WriteAt(file, pBuffer, pCount, pOffset))
        return false;
    return file.Close();
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

bool WriteAt(const FileHandle& pHandle, const void* pBuffer, int64_t pCount, int64_t pOffset)
{
    if (!pHandle.IsOpen() || pCount < 0 || pOffset < -1 || pOffset > kMaxOffset - pCount)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(pBuffer);
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

bool WriteBytes(const void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay)
{
    int64_t offset = EffectiveOffset(pOffset32, pOffset64);
    if ((pBuffer == nullptr && pCount > 0) || pCount < 0 || offset < -1)
        return false;
    int32_t attempts = AttemptsFor(pRetries);
    for (int32_t attempt = 1;; ++attempt) {
        if (WriteOnce(pBuffer, pCount, offset, pPath))
            return true;
        if (attempt >= attempts)
            return false;
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

bool WriteFileAtomic(std::string_view pPath, const void* pBytes, int64_t pCount)
{
    if (Trim(pPath).empty() || pPath.find('\0') != std::string_view::npos || pCount < 0
        || (pBytes == nullptr && pCount > 0))
        return false;
    std::string temp = PathString(pPath) + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    FileHandle file(fd);
    ::fchmod(fd, 0644);
    bool ok = WriteAt(file, pBytes, pCount, 0) && ::fdatasync(fd) == 0;
    ok = file.Close() && ok;
    if (ok && ::rename(temp.c_str(), PathString(pPath).c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace tarvok
