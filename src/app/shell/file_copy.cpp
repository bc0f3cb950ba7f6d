#include "app/shell/file_copy.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/text.h"
#include "core/file_io.h"
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

constexpr const char* kComparingText = N_("ファイル比較中…");

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

int64_t ChunkBytes(int64_t pSize)
{
    if (pSize < 1)
        return FileCopy::kDefaultChunkBytes;
    return std::min(pSize, FileCopy::kMaxChunkBytes);
}

int32_t PauseMs(int32_t pInt) { return pInt < 1 ? FileCopy::kDefaultPauseMs : pInt; }

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
    if (pHandler && !pHandler(pRate))
        canceled_ = true;
    if (canceled_ || !showInMessage_ || !ui_ || message_.empty())
        return;
    const int percent = static_cast<int>(std::clamp(pRate, 0.0, 1.0) * 100.0);
    if (percent == lastPercentShown_)
        return;
    lastPercentShown_ = percent;
    ui_->ShowMessage(message_ + " " + std::to_string(percent) + "%");
}

bool FileCopy::CopyInto(const std::string& pSource, ReplaceFile& pOut, int32_t pInt, int64_t pSize)
{
    FileDescriptor source(::open(pSource.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info { };
    if (!source.Valid() || ::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        failure_ = Tr("コピー元のファイルを読めません");
        return false;
    }
    const int64_t size = info.st_size;
    const int32_t pause = PauseMs(pInt);
    bool complete = size == 0; // an empty file needs no chunks and raises no progress
    if (!complete) {
        message_ = Tr(kCopyingMessage.data());
        lastPercentShown_ = -1;
        const int64_t chunk = ChunkBytes(pSize);
        std::vector<char> buffer(static_cast<size_t>(std::min(chunk, size)));
        int64_t remaining = size;
        int64_t offset = 0;
        for (;;) {
            const auto n = static_cast<size_t>(std::min(remaining, chunk));
            RaiseProgress(
                mirrorProg_, static_cast<double>(size - remaining) / static_cast<double>(size));
            if (!ReadExact(source.Get(), buffer.data(), n, offset)) {
                failure_ = Tr("コピー元のファイルを読めません");
                break;
            }
            Pause(pause);
            if (Status written
                = WriteAt(pOut.Handle(), buffer.data(), static_cast<int64_t>(n), offset);
                !written) {
                failure_ = written.error().Message;
                break;
            }
            remaining -= static_cast<int64_t>(n);
            offset += static_cast<int64_t>(n);
            if (remaining == 0) {
                complete = true;
                break;
            }
            if (canceled_) {
                failure_ = Tr("キャンセルしました");
                break;
            }
        }
    }
    if (complete) {
        // Only the modification time follows the source; the access time stays as it is.
        const struct timespec times[2] = { { 0, UTIME_OMIT }, info.st_mtim };
        complete = ::futimens(pOut.Handle().Fd(), times) == 0;
        if (!complete)
            failure_ = WriteFailureText(errno);
    }
    if (size > 0) {
        if (complete) {
            Pause(pause);
            RaiseProgress(mirrorProg_, 1.0);
        }
        message_.clear();
    }
    return complete;
}

bool FileCopy::MirrorFile(std::string_view sFilename, std::string_view tFilename, int32_t pInt,
    int64_t pSize, bool pSaiki)
{
    if (!pSaiki)
        canceled_ = false;
    failure_.clear();
    const std::string source(sFilename);
    const std::string target(tFilename);
    struct stat info { };
    if (target.empty() || !StatRegular(source, info)) {
        failure_ = Tr("コピー元のファイルがありません");
        return false;
    }
    // The file layer's one safe replace: a hidden temporary file beside the target, renamed
    // over it only when complete.
    ReplaceFile out;
    if (Status begun = out.Begin(target); !begun) {
        failure_ = begun.error().Message;
        return false;
    }
    if (!CopyInto(source, out, pInt, pSize))
        return false;
    if (Status committed = out.Commit(); !committed) {
        failure_ = committed.error().Message;
        return false;
    }
    return true;
}

bool FileCopy::TranspFile(std::string_view sFilename, std::string_view tFilename, bool KillTarget,
    bool KillSource, int64_t pSize, int32_t pInt, bool pSaiki)
{
    if (!pSaiki)
        canceled_ = false;
    failure_.clear();
    const std::string source(sFilename);
    const std::string target(tFilename);
    if (target.empty() || target.back() == '/') {
        failure_ = Tr("コピー先の名前がありません");
        return false;
    }
    struct stat info { };
    if (!StatRegular(source, info)) {
        failure_ = Tr("コピー元のファイルがありません");
        return false;
    }
    const std::string folder = FolderOf(target);
    if (!folder.empty() && !CreateFolders(folder)) {
        failure_ = Tr("コピー先のフォルダを作成できません");
        return false;
    }
    // Checked before copying so that a refused transfer costs nothing; checked again by
    // the rename itself, in case the target appears meanwhile.
    if (!KillTarget && PathExists(target)) {
        failure_ = Tr("コピー先のファイルがすでにあります");
        return false;
    }
    ReplaceFile out;
    if (Status begun = out.Begin(target); !begun) {
        failure_ = begun.error().Message;
        return false;
    }
    if (!CopyInto(source, out, pInt, pSize))
        return false;
    const bool same = SamePath(source, target);
    if (Status committed = out.Commit(KillTarget); !committed) {
        // A commit that may not replace fails when the target appeared meanwhile.
        failure_ = !KillTarget && PathExists(target)
            ? std::string(Tr("コピー先のファイルがすでにあります"))
            : committed.error().Message;
        return false;
    }
    if (same || !KillSource)
        return true;
    if (::unlink(source.c_str()) != 0) {
        failure_ = Tr("コピー元のファイルを削除できません");
        return false;
    }
    return true;
}

bool FileCopy::HikakuFile(
    std::string_view sFilename, std::string_view tFilename, int32_t pInt, int64_t pSize)
{
    const std::string first(sFilename);
    const std::string second(tFilename);
    FileDescriptor a(::open(first.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    FileDescriptor b(::open(second.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat infoA { };
    struct stat infoB { };
    if (!a.Valid() || !b.Valid() || ::fstat(a.Get(), &infoA) != 0 || ::fstat(b.Get(), &infoB) != 0
        || !S_ISREG(infoA.st_mode) || !S_ISREG(infoB.st_mode))
        return false;
    canceled_ = false;
    const int64_t size = infoA.st_size;
    if (size != infoB.st_size || size <= 0)
        return false;

    message_ = Tr(kComparingText);
    lastPercentShown_ = -1;
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
