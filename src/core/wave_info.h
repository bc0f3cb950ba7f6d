#pragma once

#include "core/file_io.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

/// Format summary of a WAV file; fields past the point where reading stopped stay 0.
struct WaveInfo {
    int32_t Valid = 0; ///< 1 when "fmt " and "data" were found, integer PCM in one of the modes
    int32_t Frames = 0; ///< DataSize / BlockAlign, at most 2,147,483,647
    int32_t SampleRate = 0;
    int16_t Bits = 0;
    int16_t Channels = 0;
    int32_t BlockAlign = 0; ///< Channels x Bits / 8, computed, not read from the file
    int32_t DataOffset = 0; ///< byte offset of the first data byte
    int64_t DataSize = 0; ///< the "data" chunk's size field, unsigned 32-bit
    int64_t FileSize = 0;
    int32_t FormatMode = 0; ///< 0..9
    int32_t LengthMs = 0;
    int32_t FormatTag = 0; ///< sign-extended from 16 bits (0xFFFE is -2); set even when not Valid

    bool operator==(const WaveInfo&) const = default;
};

inline constexpr int32_t kFormatTagPcm = 1;
inline constexpr int32_t kFormatTagFloat = 3;
inline constexpr int32_t kFormatTagExtensible = -2;
inline constexpr int32_t kFormatModeCount = 10;
inline constexpr int64_t kMaxRiffSize = 4294967295;

/// Sample rates offered in rate lists, in list order.
inline constexpr std::array<int32_t, 12> kRateList { 192000, 96000, 88200, 48000, 44100, 32000,
    24000, 22050, 16000, 12000, 11025, 8000 };

/// The rates a file brought in from outside may have: from the smallest rate of the list up
/// to four times the largest (a rate outside would make absurd working files or none).
inline constexpr int32_t kMinImportRate = kRateList.back();
inline constexpr int32_t kMaxImportRate = 768000;

/// True when the file starts as a RIFF/WAVE file ("RIFF", size, "WAVE"): the one test of
/// whether a file is read as a WAV file. RIFX (big-endian), RF64 and AVI files are not.
bool IsRiffWaveFile(std::string_view pPath);

/// What a file's first twelve bytes say it is.
enum class WaveContainer {
    Riff, ///< "RIFF" .. "WAVE", or any other start (walked as before, for old callers)
    BigEndian, ///< "RIFX" .. "WAVE": sizes and samples big-endian, never read as WAV
    Rf64, ///< "RF64" .. "WAVE": the sizes are in a "ds64" chunk, never read as WAV
};

/// Why a summary is not Valid; None for a Valid one.
enum class WaveFault {
    None,
    Unreadable, ///< missing or unreadable file
    BigEndian, ///< a RIFX file
    Rf64, ///< an RF64 file whose format and sizes were summarised
    NoFmt, ///< no "fmt " chunk before the end of the file
    FmtCut, ///< the "fmt " chunk runs past the end of the file
    FmtTooShort, ///< the "fmt " chunk is smaller than its fields (16 bytes, 40 extensible)
    NotPcm, ///< a format tag, or extensible sub-format, other than integer PCM
    NoMode, ///< channels and bits are none of the format modes
    BadRate, ///< a sampling rate of 0 or past 2^31
    NoData, ///< no "data" chunk
    DataTooFar, ///< the data starts past 2 GB
};

/// A summary with the reason it is not Valid and what the format chunk said.
struct WaveExamination {
    WaveInfo Info;
    WaveContainer Container = WaveContainer::Riff;
    WaveFault Fault = WaveFault::Unreadable;
    int64_t FmtSize = -1; ///< the "fmt " chunk's size field; -1 when none was found
    /// The extensible form's sub-format as a format tag (1 integer PCM, 3 float, ...) when
    /// its GUID is one of the standard ones; 0 for any other GUID and for other forms.
    int32_t SubFormatTag = 0;
};

/// Walks the chunks of a WAV file from offset 12 and says why it is not Valid. Never reads
/// past the end of the file nor past the end of the "fmt " chunk. Only integer PCM (tag 1,
/// or the extensible form with the PCM sub-format GUID) is Valid. A RIFX file is not walked;
/// an RF64 file is summarised from its "ds64" sizes but is never Valid.
WaveExamination ExamineWave(std::string_view pPath);

/// Summarises a WAV file: ExamineWave(pPath).Info. A missing, unreadable or malformed file,
/// and one that is not integer PCM, gives Valid 0.
WaveInfo ReadWaveInfo(std::string_view pPath);

/// The whole frames of a Valid summary that the file really holds: Frames, or fewer when the
/// file ends before the data its header claims (a streamed or truncated file).
int32_t FramesPresent(const WaveInfo& pInfo);

/// Byte offset of the first chunk with this four-character id, walking from offset 12 as
/// ReadWaveInfo does, or -1.
int64_t FindChunk(std::string_view pPath, std::string_view pId);
int64_t FindChunk(const FileHandle& pFile, std::string_view pId);

/// Deletes the file and writes a fresh header for pDataSize data bytes: 44 bytes, or 68 bytes
/// in the extensible form for 6 and 8 channels. With pKeepOpen the returned handle is open and
/// positioned after the header, otherwise it is empty and the file closed. Nothing on failure
/// (including formats whose sizes do not fit the header fields).
std::optional<FileHandle> WriteWaveHeader(int32_t pRate, int32_t pBits, int32_t pChannels,
    std::string_view pPath, int64_t pDataSize, bool pKeepOpen);
/// WriteWaveHeader with the cause of a failure (ErrorCode::DiskFull for a full disk).
Result<FileHandle> StartWaveFile(int32_t pRate, int32_t pBits, int32_t pChannels,
    std::string_view pPath, int64_t pDataSize, bool pKeepOpen);

/// Sets the RIFF size to the file size - 8 and, unless pRiffOnly, the "data" size to what
/// follows the data chunk header less pTrailing bytes. Uses pFile when given (left open).
/// A failed write carries its cause.
Status FixWaveSizes(
    std::string_view pPath, int64_t pTrailing, bool pRiffOnly, const FileHandle* pFile = nullptr);

/// Sets the "data" size to pSize, the RIFF size to match, and cuts the file after the data
/// (and its pad byte when pSize is odd). Uses pFile when given (left open). A failed write
/// carries its cause.
Status SetWaveDataSize(std::string_view pPath, int64_t pSize, const FileHandle* pFile = nullptr);

/// Valid and integer PCM (format tag 1, or -2 when pAllowExtensible).
bool IsPcmWave(std::string_view pPath, bool pAllowExtensible);

/// The format mode of a channel/bit combination; combinations outside the table give 0.
int32_t FormatModeOf(int32_t pChannels, int32_t pBits);
/// The format mode of a file's summary (0 when the file is not Valid).
int32_t FormatModeOf(std::string_view pPath);
/// Like FormatModeOf, but nothing for combinations outside the table.
std::optional<int32_t> FindFormatMode(int32_t pChannels, int32_t pBits);

struct SampleFormat {
    int32_t Bits = 0;
    int32_t Channels = 0;
};
/// Bits and channels of a format mode; nothing for a mode outside 0..9.
std::optional<SampleFormat> FormatBitsChannels(int32_t pMode);

/// The display name of a format mode ("Stereo16bit"); empty for a mode outside 0..9.
std::string_view FormatName(int32_t pMode);

/// "wav", "mp2", "mp3" or "wmariff" by the file's format tag; for other tags the file's
/// extension in lower case (empty when it has none).
std::string WaveFileType(std::string_view pPath);

/// Unpacks pCount little-endian 24-bit samples into 32-bit integers with sign extension.
void Unpack24(const uint8_t* pSrc, int32_t* pDst, size_t pCount);
/// Packs pCount samples into three bytes each after clamping to -8,388,608..8,388,607.
void Pack24(const int32_t* pSrc, uint8_t* pDst, size_t pCount);
/// Scales one value by pFactor, rounds halves to even, clamps and packs it into pDst[0..2].
void ScalePack24(double pValue, double pFactor, uint8_t* pDst);

inline int32_t Read24(const uint8_t* pSrc)
{
    int32_t value = pSrc[0] | (pSrc[1] << 8) | (pSrc[2] << 16);
    return value > 8388607 ? value - 16777216 : value;
}

} // namespace tarvok
