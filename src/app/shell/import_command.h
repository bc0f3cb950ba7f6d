#pragma once

#include "base/text_marks.h"
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

class SoundDecoder;
struct WaveExamination;

/// The import's fixed texts.
inline constexpr std::string_view kDecodingText = N_("デコード中…");
inline constexpr std::string_view kWrongFormatText = N_("ファイル形式が違います");
/// Shown (in the message area) for a file whose rate is outside kMinImportRate..kMaxImportRate.
std::string RateRefusedText(int32_t pRate);
inline constexpr std::string_view kConvertRateQuestion
    = N_("サンプリング周波数を初期設定値にコンバートしますか？");
inline constexpr std::string_view kConvertingText = N_("コンバート ");
/// Why a file that looks like a WAV file is refused (for the user): the cause of the
/// examination's fault, or of a file that holds no frame at all.
std::string WaveRefusedText(const WaveExamination& pExam);

/// The first line of the error shown when an import stops on a failed step; the file and
/// the cause follow on their own lines.
inline constexpr std::string_view kImportFailedText = N_("ファイルを読み込めませんでした");
/// The message area after an import the user cancelled.
inline constexpr std::string_view kImportCancelledText = N_("キャンセルしました");

/// True when a sound file must be decoded before import: by its extension (lower case,
/// without the dot) "mp1", "mp2", "mp3", "mpg", "mpa", "mpeg", "wma", "wmv", "asf", "aiff",
/// "aif", or by a RIFF format tag of MPEG (80), MP3 (85) or Windows Media audio (352, 353).
bool NeedsDecoding(std::string_view pExtension, int32_t pFormatTag);

/// True when the import must decode pPath: by its content first (a RIFF/WAVE file of
/// integer PCM never, one with a compressed format tag or sub-format always, another one of
/// a format other than integer PCM when pDecoder recognises it, a damaged one or a RIFX file
/// never), else by a listed extension (NeedsDecoding) or when pDecoder finds sound in the
/// file.
bool NeedsDecoderFor(const std::string& pPath, SoundDecoder& pDecoder);

/// The smallest zoom of 1, 2, 4 .. 16384 at which pEndFrame frames fit pWidthPx pixels of
/// track area (pEndFrame / (pSampleStep x zoom) <= pWidthPx); 16384 when none does.
int32_t FitZoom(int64_t pEndFrame, int32_t pSampleStep, int32_t pWidthPx);

/// True when pPath names a file directly inside pFolder (both resolved through links).
bool IsInsideFolder(std::string_view pPath, std::string_view pFolder);

} // namespace tarvok
