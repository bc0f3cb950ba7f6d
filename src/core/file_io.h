#pragma once

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
/// at pOffset32; an offset of -1 means the end of the file. Retries as ReadBytes does.
bool WriteBytes(const void* pBuffer, int64_t pCount, int32_t pOffset32, std::string_view pPath,
    int64_t pOffset64, int32_t pRetries, std::chrono::milliseconds pDelay = kWriteRetryDelay);

/// Writes at pOffset (-1 = the end of the file) through pHandle, opening pPath first when the
/// handle is empty. Returns the open handle for the next call, or an empty one on failure (the
/// file is then closed).
FileHandle WriteBytesKeep(const void* pBuffer, int64_t pCount, int64_t pOffset, FileHandle pHandle,
    std::string_view pPath);

/// Reads up to pCount bytes at pOffset through an open handle; returns the number read (short
/// only at the end of the file) or -1 on error.
int64_t ReadAt(const FileHandle& pHandle, void* pBuffer, int64_t pCount, int64_t pOffset);
/// Writes all pCount bytes at pOffset (-1 = the end of the file); false on any error.
bool WriteAt(const FileHandle& pHandle, const void* pBuffer, int64_t pCount, int64_t pOffset);

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

/// Makes the file writable when it is not and deletes it; true also when it did not exist.
/// False for a folder or when the deletion fails.
bool DeleteFileForce(std::string_view pPath);

/// Writes pBytes to a temporary file beside pPath, flushes it and renames it over pPath, so
/// that the old or the new file survives a crash, never a truncated one.
bool WriteFileAtomic(std::string_view pPath, const void* pBytes, int64_t pCount);

} // namespace tarvok
