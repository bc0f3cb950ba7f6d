#pragma once

#include <cstdint>
#include <string_view>

namespace tarvok {

class UserInterface;

/// The summary of an MPEG audio file (MPEG-1 or low-sampling-frequency, Layer I to III)
/// read from its first frame header, an optional Xing header and the trailing tag.
struct MpegInfo {
    int32_t FirstPos = 1; ///< byte position of the first frame header, from 1
    int32_t AudioBytes = 0; ///< bytes from the first frame to the end of the audio
    int32_t LastPos = 0; ///< position of the last audio byte, from 1
    int32_t FileBytes = 0;
    int32_t IsVbr = 0; ///< 1 when a Xing header was found
    int32_t VbrFrames = 0; ///< the Xing header's frame count
    int32_t Rate = 0; ///< Hz
    int32_t Lsf = 0; ///< 1 for a low-sampling-frequency (MPEG-2) stream
    int32_t BitRate = 0; ///< kbit/s; the average over the file for a Xing stream
    int32_t Channels = 0; ///< 1 or 2
    int32_t ChannelMode = 0; ///< 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int32_t Layer = 0; ///< 1, 2 or 3
    int32_t DurationMs = 0;
    uint8_t HeaderB1 = 0; ///< second byte of the first frame header (the first is 0xFF)
    uint8_t HeaderB2 = 0;
    uint8_t HeaderB3 = 0;

    bool operator==(const MpegInfo&) const = default;
};

/// Fills pInfo from the file at pPath. True when a usable first frame header was found and
/// all its fields decode; on false pInfo holds whatever was read before the failure. Files
/// of 47 bytes or fewer and of 2 GiB or more fail. Reads at most the file's own bytes and
/// always ends: the scan for the first frame moves forward through the file.
bool ReadMpegInfo(std::string_view pPath, MpegInfo& pInfo);

/// Copies the bytes at positions pFrom .. pTo (from 1; pTo is cut to the source's size) of
/// pSource into a new file pTarget, replacing an existing one, in chunks of 2 MiB, yielding
/// to pUi (when given) before each chunk. False for an empty or missing source or any read or
/// write failure; no partial target is left then.
bool CopyByteRange(std::string_view pSource, std::string_view pTarget, int64_t pFrom, int64_t pTo,
    UserInterface* pUi = nullptr);

} // namespace tarvok
