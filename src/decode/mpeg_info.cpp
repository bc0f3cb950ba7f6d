#include "decode/mpeg_info.h"

#include "base/numeric.h"
#include "core/file_io.h"
#include "core/user_interface.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace tarvok {

namespace {

constexpr int64_t kMinFileBytes = 48;
constexpr int64_t kScanWindow = 1000;
// A header occupies four bytes, so consecutive windows share their last three bytes: every
// offset is looked at exactly once, including a header that straddles two windows.
constexpr int64_t kScanStep = kScanWindow - 3;
constexpr int64_t kTailWindow = 1024;
constexpr int64_t kCopyChunk = 2097152;
constexpr int32_t kXingOffset = 36;
constexpr int32_t kXingFramesOffset = 44;

// Bit rates in kbit/s by bit-rate index; index 0 (free format) and 15 are not usable.
constexpr std::array<int32_t, 16> kMpeg1Layer1
    = { 0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0 };
constexpr std::array<int32_t, 16> kMpeg1Layer2
    = { 0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0 };
constexpr std::array<int32_t, 16> kMpeg1Layer3
    = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 };
constexpr std::array<int32_t, 16> kLsfLayer1
    = { 0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0 };
constexpr std::array<int32_t, 16> kLsfLayer23
    = { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 };

int32_t BigEndian32(const uint8_t* pBytes)
{
    uint32_t value = (uint32_t(pBytes[0]) << 24) | (uint32_t(pBytes[1]) << 16)
        | (uint32_t(pBytes[2]) << 8) | uint32_t(pBytes[3]);
    return static_cast<int32_t>(value);
}

bool IsXingAt(const uint8_t* pBytes) { return std::memcmp(pBytes + kXingOffset, "Xing", 4) == 0; }

/// Reads up to pCount bytes at pOffset into pBuffer and zeroes the rest; false on a read error.
bool ReadZeroFilled(const FileHandle& pFile, uint8_t* pBuffer, int64_t pCount, int64_t pOffset)
{
    int64_t got = ReadAt(pFile, pBuffer, pCount, pOffset);
    if (got < 0)
        return false;
    std::memset(pBuffer + got, 0, static_cast<size_t>(pCount - got));
    return true;
}

bool HasMp3Extension(std::string_view pPath)
{
    if (pPath.size() < 3)
        return false;
    std::string_view tail = pPath.substr(pPath.size() - 3);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(tail[0]) == 'm' && lower(tail[1]) == 'p' && tail[2] == '3';
}

int32_t BitRateOf(uint8_t pB1, uint8_t pB2, int32_t pLayer)
{
    int index = pB2 >> 4;
    bool lsf = (pB1 & 0x08) == 0;
    if (!lsf)
        return pLayer == 1 ? kMpeg1Layer1[index]
            : pLayer == 2  ? kMpeg1Layer2[index]
                           : kMpeg1Layer3[index];
    return pLayer == 1 ? kLsfLayer1[index] : kLsfLayer23[index];
}

/// Samples per frame: 384 for Layer I, 1152 for Layer II and MPEG-1 Layer III, 576 for
/// low-sampling-frequency Layer III.
int32_t SamplesPerFrame(int32_t pLayer, int32_t pLsf)
{
    if (pLayer == 1)
        return 384;
    return pLayer == 3 && pLsf == 1 ? 576 : 1152;
}

/// Skips a leading tag or takes the Xing count of a headerless start; sets pFound to 0 when
/// the file starts with a frame header, and pExpected when its second byte is already fixed.
void LeadIn(const std::array<uint8_t, 48>& pHead, bool pMp3, MpegInfo& pInfo, int64_t& pStart,
    int& pExpected, int64_t& pFound)
{
    if (std::memcmp(pHead.data(), "TAG", 3) == 0) {
        pStart = 128;
    } else if (std::memcmp(pHead.data(), "ID3", 3) == 0) {
        int64_t size = (int64_t(pHead[6] & 0x7F) << 21) | (int64_t(pHead[7] & 0x7F) << 14)
            | (int64_t(pHead[8] & 0x7F) << 7) | int64_t(pHead[9] & 0x7F);
        pStart = 10 + size;
    } else {
        if (IsXingAt(pHead.data())) {
            pInfo.IsVbr = 1;
            pInfo.VbrFrames = BigEndian32(pHead.data() + kXingFramesOffset);
        }
        // "FF FF" in an MP3 file is taken for noise, not for a Layer I header without CRC.
        if (pHead[0] == 0xFF && pHead[1] >= 0xF0 && !(pHead[1] == 0xFF && pMp3)) {
            if (pHead[2] != 0xFF)
                pFound = 0;
            else
                pExpected = pHead[1];
        }
    }
}

/// The offset of the first frame header at or after pStart; -1 when there is none or on a
/// read error. pExpected is the second header byte every candidate must repeat, 0 while
/// unknown.
int64_t FindFirstHeader(
    const FileHandle& pFile, int64_t pFileBytes, int64_t pStart, int pExpected, bool pMp3)
{
    std::vector<uint8_t> window(static_cast<size_t>(kScanWindow));
    for (int64_t base = pStart;; base += kScanStep) {
        if (base >= pFileBytes)
            return -1;
        if (!ReadZeroFilled(pFile, window.data(), kScanWindow, base))
            return -1;
        for (int64_t q = 0; q + 3 < kScanWindow; ++q) {
            if (window[q] != 0xFF)
                continue;
            const uint8_t second = window[q + 1];
            const uint8_t third = window[q + 2];
            if (pExpected == 0) {
                if (second < 0xF0 || (second == 0xFF && pMp3))
                    continue;
                if (third == 0xFF) {
                    // The first plausible sync followed by FF fixes the second byte for the rest.
                    pExpected = second;
                    continue;
                }
            } else if (second != pExpected || third == 0xFF) {
                continue;
            }
            return base + q;
        }
    }
}

/// Sets AudioBytes and LastPos; false on a read error.
bool ReadAudioEnd(const FileHandle& pFile, int64_t pFileBytes, MpegInfo& pInfo)
{
    // The audio ends where a trailing tag begins, or with the file.
    int64_t audioBytes = pFileBytes - pInfo.FirstPos + 1;
    const int64_t tailLength = std::min(kTailWindow, pFileBytes);
    if (tailLength >= 4) {
        std::vector<uint8_t> tail(static_cast<size_t>(tailLength));
        if (!ReadZeroFilled(pFile, tail.data(), tailLength, pFileBytes - tailLength))
            return false;
        for (int64_t p = 0; p + 3 <= tailLength; ++p) {
            if (std::memcmp(tail.data() + p, "TAG", 3) == 0) {
                int64_t bytes = (pFileBytes - tailLength + p) - pInfo.FirstPos + 1;
                if (bytes > 3)
                    audioBytes = bytes;
                break;
            }
        }
    }
    pInfo.AudioBytes = static_cast<int32_t>(audioBytes);
    pInfo.LastPos = pInfo.AudioBytes + pInfo.FirstPos - 1;
    return true;
}

/// Layer, low sampling frequency, bit rate and rate from the header bytes; false when one is
/// not usable.
bool DecodeHeader(MpegInfo& pInfo)
{
    switch (pInfo.HeaderB1 & 0x06) {
    case 0x02:
        pInfo.Layer = 3;
        break;
    case 0x04:
        pInfo.Layer = 2;
        break;
    case 0x06:
        pInfo.Layer = 1;
        break;
    default:
        return false;
    }
    pInfo.Lsf = (pInfo.HeaderB1 & 0x08) == 0 ? 1 : 0;

    pInfo.BitRate = BitRateOf(pInfo.HeaderB1, pInfo.HeaderB2, pInfo.Layer);
    if (pInfo.BitRate == 0)
        return false;

    switch (pInfo.HeaderB2 & 0x0C) {
    case 0x00:
        pInfo.Rate = pInfo.Lsf ? 22050 : 44100;
        break;
    case 0x04:
        pInfo.Rate = pInfo.Lsf ? 24000 : 48000;
        break;
    case 0x08:
        pInfo.Rate = pInfo.Lsf ? 16000 : 32000;
        break;
    default:
        return false;
    }
    return true;
}

/// DurationMs, and the mean bit rate of a VBR file; false when there is no usable length.
bool SetDuration(MpegInfo& pInfo)
{
    double durationMs = 0;
    if (pInfo.IsVbr) {
        durationMs = double(pInfo.VbrFrames) * SamplesPerFrame(pInfo.Layer, pInfo.Lsf)
            / (pInfo.Rate / 1000.0);
    } else {
        durationMs = double(pInfo.AudioBytes) / (pInfo.BitRate / 8.0);
    }
    const int64_t roundedMs = RoundHalfEven(durationMs);
    // A Xing frame count of 0 (or one beyond 2^31, read as negative) gives no usable length.
    if (roundedMs <= 0 && pInfo.IsVbr)
        return false;
    if (roundedMs > std::numeric_limits<int32_t>::max())
        return false;
    pInfo.DurationMs = static_cast<int32_t>(std::max<int64_t>(roundedMs, 0));
    if (pInfo.IsVbr)
        pInfo.BitRate = static_cast<int32_t>(
            RoundHalfEven(double(pInfo.AudioBytes) * 8.0 / pInfo.DurationMs));
    return true;
}

} // namespace

bool ReadMpegInfo(std::string_view pPath, MpegInfo& pInfo)
{
    pInfo = MpegInfo {};
    const bool mp3 = HasMp3Extension(pPath);

    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen())
        return false;
    const int64_t fileBytes = FileSize64(file);
    if (fileBytes < kMinFileBytes || fileBytes > std::numeric_limits<int32_t>::max())
        return false;
    pInfo.FileBytes = static_cast<int32_t>(fileBytes);

    std::array<uint8_t, 48> head {};
    if (ReadAt(file, head.data(), 48, 0) != 48)
        return false;

    int64_t start = 0;
    int expected = 0; // the second header byte every candidate must repeat, 0 while unknown
    int64_t found = -1;
    LeadIn(head, mp3, pInfo, start, expected, found);
    if (found < 0)
        found = FindFirstHeader(file, fileBytes, start, expected, mp3);
    if (found < 0)
        return false;

    std::array<uint8_t, 48> frame {};
    if (!ReadZeroFilled(file, frame.data(), std::min<int64_t>(48, fileBytes - found), found))
        return false;
    if (pInfo.IsVbr == 0 && IsXingAt(frame.data())) {
        pInfo.IsVbr = 1;
        pInfo.VbrFrames = BigEndian32(frame.data() + kXingFramesOffset);
    }
    pInfo.HeaderB1 = frame[1];
    pInfo.HeaderB2 = frame[2];
    pInfo.HeaderB3 = frame[3];
    pInfo.FirstPos = static_cast<int32_t>(found + 1);

    if (!ReadAudioEnd(file, fileBytes, pInfo) || !DecodeHeader(pInfo) || !SetDuration(pInfo))
        return false;

    pInfo.ChannelMode = (pInfo.HeaderB3 & 0xC0) >> 6;
    pInfo.Channels = pInfo.ChannelMode == 3 ? 1 : 2;
    return true;
}

bool CopyByteRange(std::string_view pSource, std::string_view pTarget, int64_t pFrom, int64_t pTo,
    UserInterface* pUi)
{
    FileHandle source = OpenFile(pSource, OpenMode::Read);
    if (!source.IsOpen())
        return false;
    const int64_t size = FileSize64(source);
    if (size <= 0)
        return false;
    if (FileExists(pTarget) && !DeleteFileForce(pTarget))
        return false;
    FileHandle target = OpenFile(pTarget, OpenMode::Write);
    if (!target.IsOpen())
        return false;

    int64_t at = std::max<int64_t>(pFrom - 1, 0);
    const int64_t end = std::clamp<int64_t>(pTo, 0, size);
    std::vector<char> chunk;
    bool ok = true;
    while (ok && at < end) {
        if (pUi != nullptr)
            pUi->Yield();
        const int64_t count = std::min(end - at, kCopyChunk);
        chunk.resize(static_cast<size_t>(count));
        ok = ReadAt(source, chunk.data(), count, at) == count
            && WriteAt(target, chunk.data(), count, -1);
        at += count;
    }
    ok = target.Close() && ok;
    if (!ok)
        DeleteFileForce(pTarget);
    return ok;
}

} // namespace tarvok
