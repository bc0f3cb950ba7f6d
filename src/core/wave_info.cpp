#include "core/wave_info.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <unistd.h>

namespace tarvok {

namespace {

constexpr int64_t kFirstChunk = 12;
constexpr int64_t kMaxDataSetSize = 4294967250;

struct ModeRow {
    int32_t Channels;
    int32_t Bits;
    std::string_view Name;
};

constexpr std::array<ModeRow, kFormatModeCount> kModes { {
    { 1, 8, "Mono8bit" },
    { 2, 8, "Stereo8bit" },
    { 1, 16, "Mono16bit" },
    { 2, 16, "Stereo16bit" },
    { 1, 24, "Mono24bit" },
    { 2, 24, "Stereo24bit" },
    { 6, 16, "Surround 5.1 16bit" },
    { 8, 16, "Surround 7.1 16bit" },
    { 6, 24, "Surround 5.1 24bit" },
    { 8, 24, "Surround 7.1 24bit" },
} };

uint32_t Le32(const uint8_t* pBytes)
{
    return static_cast<uint32_t>(pBytes[0]) | (static_cast<uint32_t>(pBytes[1]) << 8)
        | (static_cast<uint32_t>(pBytes[2]) << 16) | (static_cast<uint32_t>(pBytes[3]) << 24);
}

uint16_t Le16(const uint8_t* pBytes) { return static_cast<uint16_t>(pBytes[0] | (pBytes[1] << 8)); }

void Put32(uint8_t* pDst, uint32_t pValue)
{
    for (int i = 0; i < 4; ++i)
        pDst[i] = static_cast<uint8_t>(pValue >> (8 * i));
}

void Put16(uint8_t* pDst, uint32_t pValue)
{
    pDst[0] = static_cast<uint8_t>(pValue);
    pDst[1] = static_cast<uint8_t>(pValue >> 8);
}

/// Reads small pieces of a file through a window, so that walking many small chunks does not
/// cost one system call each. Never reads past the size taken at the start.
class WindowReader {
public:
    explicit WindowReader(const FileHandle& pFile)
        : file_(pFile)
        , size_(FileSize64(pFile))
    {
    }

    int64_t Size() const { return size_; }

    /// Copies pCount bytes at pOffset; false when they are not all inside the file.
    bool Read(int64_t pOffset, void* pDst, int64_t pCount)
    {
        if (pOffset < 0 || pCount < 0 || pCount > kWindow || pOffset > size_ - pCount)
            return false;
        if (pOffset < start_ || pOffset + pCount > start_ + length_) {
            int64_t want = std::min<int64_t>(kWindow, size_ - pOffset);
            int64_t got = ReadAt(file_, window_.data(), want, pOffset);
            if (got < pCount) {
                start_ = 0;
                length_ = 0;
                return false;
            }
            start_ = pOffset;
            length_ = got;
        }
        std::memcpy(pDst, window_.data() + (pOffset - start_), static_cast<size_t>(pCount));
        return true;
    }

private:
    static constexpr int64_t kWindow = 4096;
    const FileHandle& file_;
    int64_t size_;
    std::vector<uint8_t> window_ = std::vector<uint8_t>(kWindow);
    int64_t start_ = 0;
    int64_t length_ = 0;
};

/// The offset of the chunk after the one at pPos whose size field is pSize (pad byte included).
int64_t NextChunk(int64_t pPos, uint32_t pSize) { return pPos + 8 + pSize + (pSize & 1U); }

/// The file opened for the caller's handle, or a fresh one kept in pOwn.
const FileHandle* UseFile(
    std::string_view pPath, const FileHandle* pFile, FileHandle& pOwn, OpenMode pMode)
{
    if (pFile != nullptr && pFile->IsOpen())
        return pFile;
    pOwn = OpenFile(pPath, pMode);
    return pOwn.IsOpen() ? &pOwn : nullptr;
}

Status WriteLe32(const FileHandle& pFile, int64_t pOffset, uint32_t pValue)
{
    uint8_t bytes[4];
    Put32(bytes, pValue);
    return WriteAt(pFile, bytes, 4, pOffset);
}

// Closes a file this layer opened itself; the cause when the close failed.
Status CloseOwn(FileHandle& pOwn)
{
    errno = 0;
    if (pOwn.IsOpen() && !pOwn.Close())
        return WriteError(errno);
    return {};
}

} // namespace

namespace {

/// The last twelve bytes of every standard sub-format GUID; the first four are a format tag.
constexpr uint8_t kGuidBase[12]
    = { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 };

constexpr int64_t kFmtFields = 16;
constexpr int64_t kFmtExtensible = 40;
constexpr uint32_t kRf64Placeholder = 0xFFFFFFFF;

uint64_t Le64(const uint8_t* pBytes)
{
    return static_cast<uint64_t>(Le32(pBytes)) | (static_cast<uint64_t>(Le32(pBytes + 4)) << 32);
}

/// Reads the "fmt " chunk at pPos into pOut; the fault that stops the walk, or None.
WaveFault ReadFmt(WindowReader& pReader, int64_t pPos, WaveExamination& pOut)
{
    uint8_t size[4];
    if (!pReader.Read(pPos + 4, size, 4))
        return WaveFault::FmtCut;
    pOut.FmtSize = Le32(size);
    if (pOut.FmtSize < kFmtFields)
        return WaveFault::FmtTooShort;
    uint8_t fmt[kFmtExtensible];
    if (!pReader.Read(pPos + 8, fmt, kFmtFields))
        return WaveFault::FmtCut;
    WaveInfo& info = pOut.Info;
    info.FormatTag = static_cast<int16_t>(Le16(fmt));
    info.Channels = static_cast<int16_t>(Le16(fmt + 2));
    info.SampleRate = static_cast<int32_t>(Le32(fmt + 4));
    info.Bits = static_cast<int16_t>(Le16(fmt + 14));
    info.BlockAlign = static_cast<int16_t>(info.Channels * info.Bits) / 8;
    if (info.FormatTag == kFormatTagExtensible) {
        // The sub-format GUID is the last field of the 40-byte form; a shorter chunk has none.
        if (pOut.FmtSize < kFmtExtensible)
            return WaveFault::FmtTooShort;
        if (!pReader.Read(pPos + 8 + kFmtFields, fmt + kFmtFields, kFmtExtensible - kFmtFields))
            return WaveFault::FmtCut;
        if (std::memcmp(fmt + 28, kGuidBase, sizeof kGuidBase) == 0)
            pOut.SubFormatTag = static_cast<int32_t>(Le32(fmt + 24));
    }
    const bool pcm = info.FormatTag == kFormatTagPcm
        || (info.FormatTag == kFormatTagExtensible && pOut.SubFormatTag == kFormatTagPcm);
    if (!pcm)
        return WaveFault::NotPcm;
    std::optional<int32_t> mode = FindFormatMode(info.Channels, info.Bits);
    if (!mode)
        return WaveFault::NoMode;
    // A rate of 0 (or one past 2^31) cannot be played or measured.
    if (info.SampleRate <= 0)
        return WaveFault::BadRate;
    info.FormatMode = *mode;
    return WaveFault::None;
}

/// The "data" size an RF64 file keeps in its "ds64" chunk (which must come first), or
/// nothing when it has none.
std::optional<uint64_t> Rf64DataSize(WindowReader& pReader)
{
    uint8_t head[8 + 16];
    if (!pReader.Read(kFirstChunk, head, sizeof head) || std::memcmp(head, "ds64", 4) != 0
        || Le32(head + 4) < 16)
        return std::nullopt;
    return Le64(head + 16);
}

/// Fills the sizes of a summary whose "fmt " and "data" chunks were both read.
void FinishInfo(WaveInfo& pInfo, int64_t pFileSize)
{
    int64_t frames = pInfo.DataSize / pInfo.BlockAlign;
    pInfo.Frames
        = static_cast<int32_t>(std::min<int64_t>(frames, std::numeric_limits<int32_t>::max()));
    double ms = static_cast<double>(pInfo.Frames) / pInfo.SampleRate * 1000.0;
    pInfo.LengthMs
        = Clamp32(RoundHalfEven(std::min(ms, 4.0e9)), 0, std::numeric_limits<int32_t>::max());
    pInfo.FileSize = pFileSize;
}

WaveContainer ContainerOf(WindowReader& pReader)
{
    uint8_t head[12];
    if (!pReader.Read(0, head, 12) || std::memcmp(head + 8, "WAVE", 4) != 0)
        return WaveContainer::Riff;
    if (std::memcmp(head, "RIFX", 4) == 0)
        return WaveContainer::BigEndian;
    if (std::memcmp(head, "RF64", 4) == 0)
        return WaveContainer::Rf64;
    return WaveContainer::Riff;
}

} // namespace

WaveExamination ExamineWave(std::string_view pPath)
{
    WaveExamination out;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen())
        return out;
    WindowReader reader(file);
    out.Container = ContainerOf(reader);
    // Big-endian sizes would be walked as nonsense: such a file is refused as a whole.
    if (out.Container == WaveContainer::BigEndian) {
        out.Fault = WaveFault::BigEndian;
        return out;
    }
    const std::optional<uint64_t> rf64Data
        = out.Container == WaveContainer::Rf64 ? Rf64DataSize(reader) : std::nullopt;
    WaveInfo& info = out.Info;
    bool fmtFound = false;
    bool dataFound = false;
    out.Fault = WaveFault::NoFmt;
    int64_t pos = kFirstChunk;
    // A repeated "fmt " or "data" chunk is skipped: the first one counts, as for FindChunk,
    // so that the sizes patched later are those of the chunk that was read.
    // Every step moves pos forward by at least 8 bytes, and the walk ends at the end of the
    // file, so it always terminates.
    while (pos <= reader.Size() - 4) {
        uint8_t id[4];
        if (!reader.Read(pos, id, 4))
            break;
        if (!fmtFound && std::memcmp(id, "fmt ", 4) == 0) {
            if (WaveFault fault = ReadFmt(reader, pos, out); fault != WaveFault::None) {
                out.Fault = fault;
                return out;
            }
            fmtFound = true;
            out.Fault = WaveFault::NoData;
        } else if (!dataFound && std::memcmp(id, "data", 4) == 0) {
            uint8_t size[4];
            if (!reader.Read(pos + 4, size, 4))
                break;
            // A data offset past 2 GB cannot be held in the 32-bit field.
            if (pos + 8 > std::numeric_limits<int32_t>::max()) {
                out.Fault = WaveFault::DataTooFar;
                return out;
            }
            info.DataOffset = static_cast<int32_t>(pos + 8);
            info.DataSize = Le32(size);
            if (rf64Data && Le32(size) == kRf64Placeholder)
                info.DataSize = static_cast<int64_t>(
                    std::min<uint64_t>(*rf64Data, std::numeric_limits<int64_t>::max()));
            dataFound = true;
        }
        if (fmtFound && dataFound) {
            FinishInfo(info, reader.Size());
            out.Fault = out.Container == WaveContainer::Rf64 ? WaveFault::Rf64 : WaveFault::None;
            info.Valid = out.Fault == WaveFault::None ? 1 : 0;
            break;
        }
        uint8_t size[4];
        if (!reader.Read(pos + 4, size, 4))
            break;
        pos = NextChunk(pos, Le32(size));
    }
    return out;
}

WaveInfo ReadWaveInfo(std::string_view pPath) { return ExamineWave(pPath).Info; }

bool IsRiffWaveFile(std::string_view pPath)
{
    uint8_t head[12];
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    return file.IsOpen() && ReadAt(file, head, 12, 0) == 12 && std::memcmp(head, "RIFF", 4) == 0
        && std::memcmp(head + 8, "WAVE", 4) == 0;
}

int32_t FramesPresent(const WaveInfo& pInfo)
{
    if (pInfo.Valid == 0 || pInfo.BlockAlign <= 0)
        return 0;
    const int64_t bytes = std::max<int64_t>(0, pInfo.FileSize - pInfo.DataOffset);
    return static_cast<int32_t>(std::min<int64_t>(pInfo.Frames, bytes / pInfo.BlockAlign));
}

int64_t FindChunk(const FileHandle& pFile, std::string_view pId)
{
    if (!pFile.IsOpen() || pId.size() != 4)
        return -1;
    WindowReader reader(pFile);
    int64_t pos = kFirstChunk;
    while (pos <= reader.Size() - 4) {
        uint8_t head[8];
        if (!reader.Read(pos, head, 4))
            break;
        if (std::memcmp(head, pId.data(), 4) == 0)
            return pos;
        if (!reader.Read(pos + 4, head + 4, 4))
            break;
        pos = NextChunk(pos, Le32(head + 4));
    }
    return -1;
}

int64_t FindChunk(std::string_view pPath, std::string_view pId)
{
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    return FindChunk(file, pId);
}

std::optional<FileHandle> WriteWaveHeader(int32_t pRate, int32_t pBits, int32_t pChannels,
    std::string_view pPath, int64_t pDataSize, bool pKeepOpen)
{
    Result<FileHandle> file = StartWaveFile(pRate, pBits, pChannels, pPath, pDataSize, pKeepOpen);
    if (!file)
        return std::nullopt;
    return std::move(*file);
}

Result<FileHandle> StartWaveFile(int32_t pRate, int32_t pBits, int32_t pChannels,
    std::string_view pPath, int64_t pDataSize, bool pKeepOpen)
{
    const bool extensible = pChannels == 6 || pChannels == 8;
    const int64_t headerExtra = extensible ? 60 : 36;
    const int64_t blockAlign = static_cast<int64_t>(pBits) * pChannels / 8;
    if (pRate <= 0 || pBits <= 0 || pBits > 0xFFFF || pChannels <= 0 || pChannels > 0xFFFF
        || blockAlign <= 0 || blockAlign > 0xFFFF || blockAlign * pRate > kMaxRiffSize
        || pDataSize < 0 || pDataSize > kMaxRiffSize - headerExtra)
        return Fail(Tr("この形式のwavファイルは作成できません"));

    uint8_t header[68] {};
    std::copy_n("RIFF", 4, header);
    Put32(header + 4, static_cast<uint32_t>(pDataSize + headerExtra));
    std::copy_n("WAVEfmt ", 8, header + 8);
    Put32(header + 16, extensible ? 40 : 16);
    Put16(header + 20, extensible ? 0xFFFE : 1);
    Put16(header + 22, static_cast<uint32_t>(pChannels));
    Put32(header + 24, static_cast<uint32_t>(pRate));
    Put32(header + 28, static_cast<uint32_t>(blockAlign * pRate));
    Put16(header + 32, static_cast<uint32_t>(blockAlign));
    Put16(header + 34, static_cast<uint32_t>(pBits));
    size_t at = 36;
    if (extensible) {
        static constexpr uint8_t kPcmSubFormat[16] = { 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
            0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 };
        Put16(header + 36, 22);
        Put16(header + 38, static_cast<uint32_t>(pBits));
        Put32(header + 40, pChannels == 6 ? 0x3F : 0xFF);
        std::memcpy(header + 44, kPcmSubFormat, 16);
        at = 60;
    }
    std::copy_n("data", 4, header + at);
    Put32(header + at + 4, static_cast<uint32_t>(pDataSize));
    const int64_t headerSize = static_cast<int64_t>(at) + 8;

    if (!DeleteFileForce(pPath))
        return WriteError(errno);
    errno = 0;
    FileHandle file = OpenFile(pPath, OpenMode::Write);
    if (!file.IsOpen())
        return WriteError(errno);
    if (Status written = WriteAt(file, header, headerSize, -1); !written)
        return written.error();
    if (pKeepOpen)
        return file;
    errno = 0;
    if (!file.Close())
        return WriteError(errno);
    return FileHandle();
}

Status FixWaveSizes(
    std::string_view pPath, int64_t pTrailing, bool pRiffOnly, const FileHandle* pFile)
{
    const Error unusable = Fail(Tr("wavファイルの大きさを直せません"), ErrorCode::FileError);
    FileHandle own;
    const FileHandle* file = UseFile(pPath, pFile, own, OpenMode::Update);
    if (file == nullptr || pTrailing < 0)
        return unusable;
    int64_t size = FileSize64(*file);
    if (size < 44 || size > kMaxRiffSize)
        return unusable;
    if (Status written = WriteLe32(*file, 4, static_cast<uint32_t>(size - 8)); !written)
        return written;
    if (!pRiffOnly) {
        int64_t data = FindChunk(*file, "data");
        if (data >= 36) {
            int64_t dataSize = size - data - 8 - pTrailing;
            // More trailing bytes than the file holds after the header is a caller's mistake;
            // a negative size would be stored as a huge one.
            if (dataSize < 0)
                return unusable;
            if (Status written = WriteLe32(*file, data + 4, static_cast<uint32_t>(dataSize));
                !written)
                return written;
        }
    }
    return CloseOwn(own);
}

Status SetWaveDataSize(std::string_view pPath, int64_t pSize, const FileHandle* pFile)
{
    const Error unusable = Fail(Tr("wavファイルの大きさを直せません"), ErrorCode::FileError);
    if (pSize < 0 || pSize > kMaxDataSetSize)
        return unusable;
    FileHandle own;
    const FileHandle* file = UseFile(pPath, pFile, own, OpenMode::Update);
    if (file == nullptr)
        return unusable;
    int64_t data = FindChunk(*file, "data");
    const int64_t pad = pSize & 1;
    if (data < 0 || data + pSize + pad > kMaxRiffSize)
        return unusable;
    const int64_t end = data + 8 + pSize + pad;
    if (Status written = WriteLe32(*file, 4, static_cast<uint32_t>(data + pSize + pad)); !written)
        return written;
    if (Status written = WriteLe32(*file, data + 4, static_cast<uint32_t>(pSize)); !written)
        return written;
    if (::ftruncate(file->Fd(), static_cast<off_t>(end)) != 0)
        return WriteError(errno);
    if (pad != 0) {
        const uint8_t zero = 0;
        if (Status written = WriteAt(*file, &zero, 1, end - 1); !written)
            return written;
    }
    if (SeekFile(*file, end) != 0)
        return WriteError(errno);
    return CloseOwn(own);
}

bool IsPcmWave(std::string_view pPath, bool pAllowExtensible)
{
    WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid == 0)
        return false;
    return info.FormatTag == kFormatTagPcm
        || (pAllowExtensible && info.FormatTag == kFormatTagExtensible);
}

std::optional<int32_t> FindFormatMode(int32_t pChannels, int32_t pBits)
{
    for (int32_t mode = 0; mode < kFormatModeCount; ++mode)
        if (kModes[mode].Channels == pChannels && kModes[mode].Bits == pBits)
            return mode;
    return std::nullopt;
}

int32_t FormatModeOf(int32_t pChannels, int32_t pBits)
{
    return FindFormatMode(pChannels, pBits).value_or(0);
}

int32_t FormatModeOf(std::string_view pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    return info.Valid != 0 ? info.FormatMode : 0;
}

std::optional<SampleFormat> FormatBitsChannels(int32_t pMode)
{
    if (pMode < 0 || pMode >= kFormatModeCount)
        return std::nullopt;
    return SampleFormat { kModes[pMode].Bits, kModes[pMode].Channels };
}

std::string_view FormatName(int32_t pMode)
{
    if (pMode < 0 || pMode >= kFormatModeCount)
        return {};
    return kModes[pMode].Name;
}

std::string WaveFileType(std::string_view pPath)
{
    switch (ReadWaveInfo(pPath).FormatTag) {
    case 1:
        return "wav";
    case 80:
        return "mp2";
    case 85:
        return "mp3";
    case 352:
    case 353:
        return "wmariff";
    default:
        break;
    }
    return ExtensionOf(pPath);
}

void Unpack24(const uint8_t* pSrc, int32_t* pDst, size_t pCount)
{
    for (size_t i = 0; i < pCount; ++i)
        pDst[i] = Read24(pSrc + 3 * i);
}

void Pack24(const int32_t* pSrc, uint8_t* pDst, size_t pCount)
{
    for (size_t i = 0; i < pCount; ++i) {
        int32_t value = std::clamp(pSrc[i], -8388608, 8388607);
        pDst[3 * i] = static_cast<uint8_t>(value);
        pDst[3 * i + 1] = static_cast<uint8_t>(value >> 8);
        pDst[3 * i + 2] = static_cast<uint8_t>(value >> 16);
    }
}

void ScalePack24(double pValue, double pFactor, uint8_t* pDst)
{
    double scaled = pValue * pFactor;
    int32_t value;
    if (std::isnan(scaled))
        value = 0;
    else
        value = Clamp32(RoundHalfEven(std::clamp(scaled, -1.0e10, 1.0e10)), -8388608, 8388607);
    Pack24(&value, pDst, 1);
}

} // namespace tarvok
