#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

/// Number of time text styles (0..12).
inline constexpr int kTimeTextStyles = 13;

/// Formats milliseconds in one of the 13 styles. Signed: a negative time gets a leading "-";
/// unsigned: a negative time reads as 0. A style outside 0..12 formats as style 0.
std::string TimeText(int32_t pMs, int pStyle, bool pSigned);

/// Result of ParseTimeText: the milliseconds and whether the text was a valid time.
struct ParsedTime {
    int32_t Ms = 0;
    bool Ok = false;
};

/// Reads a time typed by the user: a plain number is seconds ("5", "1.25"); otherwise hours,
/// minutes, seconds and a fraction separated by ":", "'", "." or '"' with an optional
/// leading "-". On failure Ms is -1 when pFailValue is set, else 0, and Ok is false.
ParsedTime ParseTimeText(std::string_view pText, bool pFailValue);

/// Frames to milliseconds at a rate, rounded to the nearest (halves to even).
int32_t FramesToMs(int64_t pFrames, int32_t pRate);
/// Milliseconds to frames at a rate, rounded to the nearest (halves to even).
int64_t MsToFrames(int64_t pMs, int32_t pRate);

} // namespace tarvok
