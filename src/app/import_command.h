#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

/// The import's fixed texts.
inline constexpr std::string_view kDecodingText = "デコード中…";
inline constexpr std::string_view kWrongFormatText = "ファイル形式が違います";
inline constexpr std::string_view kConvertRateQuestion
    = "サンプリング周波数を初期設定値にコンバートしますか？";
inline constexpr std::string_view kConvertingText = "コンバート ";

/// True when a sound file must be decoded before import: by its extension (lower case,
/// without the dot) "mp1", "mp2", "mp3", "mpg", "mpa", "mpeg", "wma", "wmv", "asf", "aiff",
/// "aif", or by a RIFF format tag of MPEG (80), MP3 (85) or Windows Media audio (352, 353).
bool NeedsDecoding(std::string_view pExtension, int32_t pFormatTag);

/// The smallest zoom of 1, 2, 4 .. 16384 at which pEndFrame frames fit pWidthPx pixels of
/// track area (pEndFrame / (pSampleStep x zoom) <= pWidthPx); 16384 when none does.
int32_t FitZoom(int64_t pEndFrame, int32_t pSampleStep, int32_t pWidthPx);

/// True when pPath names a file directly inside pFolder (both resolved through links).
bool IsInsideFolder(std::string_view pPath, std::string_view pFolder);

} // namespace tarvok
