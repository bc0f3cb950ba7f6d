#pragma once

#include "base/result.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class UserInterface;

/// An open file descriptor that is closed when the object goes; empty when no file is open.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int pFd)
        : fd_(pFd)
    {
    }
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& pOther) noexcept
        : fd_(pOther.Release())
    {
    }
    FileHandle& operator=(FileHandle&& pOther) noexcept;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    /// Closes the file; false when the close reported an error (data may not have been written).
    bool Close();
    /// Gives up ownership of the descriptor without closing it.
    int Release();

private:
    int fd_ = -1;
};

enum class OpenMode {
    Read, ///< existing regular file, read only
    Write, ///< regular file, created when missing, never truncated
    Update, ///< existing regular file, read and write
};

/// Opens a regular file; empty for folders, devices, pipes and anything that cannot be opened.
/// Never blocks on a special file.
FileHandle OpenFile(std::string_view pPath, OpenMode pMode);

/// Pause between two attempts of a read that failed.
inline constexpr std::chrono::milliseconds kReadRetryDelay { 500 };
/// Pause between two attempts of a write that failed.
inline constexpr std::chrono::milliseconds kWriteRetryDelay { 100 };
/// Attempts are capped here whatever a caller asks for, so a retry loop always ends.
inline constexpr int32_t kMaxFileAttempts = 20;

/// Reads pCount bytes from pPath at pOffset64 when that is non-zero, else at pOffset32.
/// The file is opened and closed here. With pRetries > 0 a failed read is tried again after
/// pDelay, pRetries attempts in all. False when fewer than pCount bytes could be read; bytes
/// past the end of the file are then zero in pBuffer.
bool ReadBytes(void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay = kReadRetryDelay);

/// Writes pCount bytes to pPath (created when missing) at pOffset64 when that is non-zero, else
/// at pOffset32; an offset of -1 means the end of the file. Retries as ReadBytes does. A
/// failure carries the cause of the last attempt (WriteError).
Status WriteBytes(const void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay = kWriteRetryDelay);

/// Writes at pOffset (-1 = the end of the file) through pHandle, opening pPath first when the
/// handle is empty. Returns the open handle for the next call, or an empty one on failure (the
/// file is then closed).
FileHandle WriteBytesKeep(const void* pBuffer, int64_t pCount, int64_t pOffset, FileHandle pHandle,
    std::string_view pPath);

/// Reads up to pCount bytes at pOffset through an open handle; returns the number read (short
/// only at the end of the file) or -1 on error.
int64_t ReadAt(const FileHandle& pHandle, void* pBuffer, int64_t pCount, int64_t pOffset);
/// Writes all pCount bytes at pOffset (-1 = the end of the file); fails on any error with
/// its cause (WriteError).
Status WriteAt(const FileHandle& pHandle, const void* pBuffer, int64_t pCount, int64_t pOffset);

/// The whole file, only when it is a regular file smaller than 4 GB.
std::optional<std::string> ReadAllBytes(std::string_view pPath);

/// Splits text into lines at LF (a CR before it is dropped). Text that is not valid UTF-8 is
/// legacy Shift-JIS: there a lead byte 0x81..0x9F or 0xE0..0xEF takes the next byte with it,
/// so a CR or LF inside such a pair does not split. A last line without a line end counts when
/// non-empty. With pUi, yields to the window system every 1024 bytes.
std::vector<std::string> SplitLines(std::string_view pBytes, UserInterface* pUi = nullptr);

/// Absolute seek of the handle's file position; 0, or -1 on failure.
int32_t SeekFile(const FileHandle& pHandle, int64_t pOffset);

/// Size in bytes; -1 on failure.
int64_t FileSize64(const FileHandle& pHandle);
int64_t FileSize64(std::string_view pPath);

/// True when a regular file (not a folder) exists; an empty or blank path is false.
bool FileExists(std::string_view pPath);

/// What is at a path that is not a regular file, for messages: missing, a folder, or
/// another kind of file (a pipe, a device, a socket).
enum class PathKind { Missing, RegularFile, Folder, Special };
PathKind KindOfPath(std::string_view pPath);
/// "ファイルが存在しません", "フォルダです" or "通常のファイルではありません…" for a path
/// that is not a regular file (empty for one that is).
std::string NotARegularFileText(std::string_view pPath);

/// Makes the file writable when it is not and deletes it; true also when it did not exist.
/// False for a folder or when the deletion fails.
bool DeleteFileForce(std::string_view pPath);

/// Writes pBytes to a temporary file beside pPath, flushes it and renames it over pPath, so
/// that the old or the new file survives a crash, never a truncated one (ReplaceFile).
Status WriteFileAtomic(std::string_view pPath, const void* pBytes, int64_t pCount);

/// Flushes the file's data to the disk; fails with the cause when that fails.
Status SyncFile(const FileHandle& pHandle);
/// Renames pFrom over pTo (same file system); fails with the cause when that fails.
Status RenameFile(std::string_view pFrom, std::string_view pTo);
/// Renames pFrom to pTo only when nothing has that name (atomically where the file system
/// allows); fails when something does.
Status RenameFileNoReplace(std::string_view pFrom, std::string_view pTo);
/// Swaps what two paths name (files or folders on one file system) in one step where the
/// file system allows it; fails, with both as they were, when that fails.
Status ExchangePaths(std::string_view pA, std::string_view pB);
/// Flushes a folder's entries (after a rename into it); false when that fails.
bool SyncFolder(std::string_view pFolder);

/// The path a replacement of pPath must go to: pPath itself, or the file a symbolic link
/// there finally points to, so that saving through a link keeps the link.
std::string ReplaceTargetOf(std::string_view pPath);

/// Creates a new, empty, hidden temporary file beside pTarget (beside a link's final target),
/// named "." + name + "." + process ID + "-" + number + ".part", exclusively, so that no two
/// writers (of this or another process) ever get the same one. The temporaries that ended
/// processes left in that folder are removed first (RemoveStaleTemporaries). With pOpened the file
/// stays open there. Empty when no file could be created.
std::string CreateTempSibling(std::string_view pTarget, FileHandle* pOpened = nullptr);
/// Flushes pTemp (through pOpen when that is open; it is closed), renames it over pTarget
/// (a link's final target) and flushes the folder. Fails, with pTemp left in place and
/// pTarget as it was, when that fails (a caller may then copy instead of renaming).
Status CommitTempSibling(const std::string& pTemp, std::string_view pTarget,
    FileHandle* pOpen = nullptr, bool pReplaceExisting = true);

/// The one way a file that may replace an older one is written. Begin creates a new,
/// hidden temporary file beside the target, named "." + name + "." + process ID + "-" +
/// number + ".part" (created exclusively, so two processes never share one); the caller
/// writes it through Handle() (or by its path); Commit flushes it, renames it over the
/// target and flushes the folder. Until Commit succeeds the target keeps its old content;
/// a ReplaceFile that goes without a successful Commit deletes its temporary file.
class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile() { Discard(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    /// Creates the temporary file for pTarget; fails with the cause when no file could be
    /// created there.
    Status Begin(std::string_view pTarget);
    FileHandle& Handle() { return file_; }
    /// The temporary file's path (empty before Begin).
    const std::string& TempPath() const { return temp_; }
    /// The file that Commit replaces (a link's target when pTarget was a link).
    const std::string& Target() const { return target_; }
    /// Flushes, closes and renames the temporary file over the target; fails (with the
    /// temporary file gone and the target as it was) when any step fails. Without
    /// pReplaceExisting an existing target stays and the commit fails.
    Status Commit(bool pReplaceExisting = true);
    /// Deletes the temporary file; the target stays as it was.
    void Discard();

private:
    FileHandle file_;
    std::string temp_;
    std::string target_;
};

/// True when pName (no folder) is a temporary name ReplaceFile hands out; pPid receives the
/// process ID in it.
bool IsReplaceTempName(std::string_view pName, int64_t* pPid = nullptr);

/// Deletes the ReplaceFile temporaries in pFolder whose process no longer runs; returns how
/// many went.
int RemoveStaleTemporaries(std::string_view pFolder);

/// True while a process with this ID runs (also when it belongs to another user).
bool ProcessRuns(int64_t pPid);

/// An exclusive claim on a file that one process edits: the lock file pPath + ".lock"
/// beside it, held with an advisory lock that the system releases when the process ends,
/// so a lock left by a process that is gone counts for nothing.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& pOther) noexcept;
    FileLock& operator=(FileLock&& pOther) noexcept;

    /// Takes the lock of pPath; false when another holder (in this or another process) has
    /// it; pHolder then receives that holder's process ID when known (else 0).
    bool Acquire(std::string_view pPath, int64_t* pHolder = nullptr);
    bool Held() const { return file_.IsOpen(); }
    /// The file whose lock is held (empty when none is).
    const std::string& LockedPath() const { return path_; }
    /// Gives the lock up and deletes the lock file.
    void Release();

private:
    FileHandle file_;
    std::string path_;
    std::string lockPath_;
};

/// True for the errors of a full disk or an exhausted quota.
bool IsDiskFullError(int pErrno);
/// The message for a write that failed with pErrno: a full disk is named as such.
std::string WriteFailureText(int pErrno);
/// The failure of a write, flush or rename that failed with pErrno (0 counts as EIO):
/// ErrorCode::DiskFull for a full disk or quota, ErrorCode::FileError otherwise, with
/// WriteFailureText as its message.
Error WriteError(int pErrno);

/// Where the file layer fails on purpose in tests (the fault-injection seam): every call of
/// WriteAt, SyncFile and RenameFile counts as one point of its kind.
enum class FaultPoint { Write, Flush, Rename };
enum class FaultKind {
    Error, ///< the call fails with EIO
    ShortWrite, ///< half the bytes are written, then the call fails with ENOSPC
    NoSpace, ///< the call fails with ENOSPC without writing
};
/// Makes the pNth call (from 1) of pPoint from now on fail as pKind; counts restart at 0.
void ArmFault(FaultPoint pPoint, int64_t pNth, FaultKind pKind = FaultKind::Error);
/// Disarms every fault and sets every count to 0.
void ClearFaults();
/// Calls of pPoint since the last ArmFault or ClearFaults.
int64_t FaultCount(FaultPoint pPoint);
/// True when an armed fault has fired since it was armed.
bool FaultFired();

} // namespace tarvok
