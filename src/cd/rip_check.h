#pragma once

#include "base/i18n.h"

#include "cd/rip_audio.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarvok {

class UserInterface;

// The Japanese texts are catalogue keys (shown through Tr); the "Alt" texts are the fixed
// English ones of the "AlternativeLanguage" setting.

/// The question asked when the two reads of a track differ.
inline constexpr std::string_view kRipRetryQuestion = N_("結果不整合:再実行しますか？");
inline constexpr std::string_view kRipRetryQuestionAlt = "negative result:retry again?";
/// Shown when a read of the disc fails part-way.
inline constexpr std::string_view kRipReadFailed = N_("CDの読み込みに失敗しました");
inline constexpr std::string_view kRipReadFailedAlt = "The CD could not be read.";
/// Shown when the ripped file cannot be written.
inline constexpr std::string_view kRipWriteFailed = N_("ファイルを書き込めませんでした");
inline constexpr std::string_view kRipWriteFailedAlt = "The file could not be written.";

/// Shown when the track to rip holds no sectors.
inline constexpr std::string_view kRipNoAudio = N_("このトラックには音声がありません（0セクタ）");
inline constexpr std::string_view kRipNoAudioAlt = "The track holds no audio (0 sectors).";
/// Shown when the track to rip is a data track.
inline constexpr std::string_view kRipDataTrack
    = N_("このトラックはデータトラックです。音声ではないのでリッピングしません");
inline constexpr std::string_view kRipDataTrackAlt
    = "This is a data track, not audio: it is not ripped.";
/// Shown when no disc is chosen or the disc has no such track.
inline constexpr std::string_view kRipNoSuchTrack = N_("指定のトラックはCDにありません");
inline constexpr std::string_view kRipNoSuchTrackAlt = "The disc has no such track.";

/// The name a rip goes to: pTarget with ".wav" added when it does not end so; when that
/// file exists and is not empty, the first free name with "01", "02", ... inserted before the
/// extension.
std::string RipTargetName(std::string_view pTarget);

/// What a rip with check needs besides the drive.
struct RipCheckOptions {
    bool Check = true; ///< read the track a second time and compare
    /// Error-correcting reads where the device can do them (RipAudio::SetErrorCorrection).
    bool ErrorCorrection = false;
    double LevelDb = 0; ///< level applied while reading
    bool AlternativeLanguage = false; ///< the non-Japanese texts
    /// Compares two files (the file layer's chunked compare); true when they are equal.
    std::function<bool(const std::string& pA, const std::string& pB)> Compare;
    /// The status text ("Tr1 Rip", "Tr1 Check", empty at the end).
    std::function<void(std::string_view)> Status;
    /// The read offset in samples of a drive model (the setting ReadOffsetKey); unset: 0.
    /// Disc images are read without one.
    std::function<int32_t(std::string_view pModel)> ReadOffsetOf;
};

/// The setting that holds the read offset of the drive model pModel: "CDReadOffset-" and
/// the model with everything but ASCII letters and digits as "_".
std::string ReadOffsetKey(std::string_view pModel);

/// How a rip with check ended.
struct RipCheckResult {
    bool Good = false; ///< a verified (or, without the check, complete) file is at Path
    bool Canceled = false;
    /// The reads were error-correcting (asked for with RipAudio::SetErrorCorrection and
    /// possible on the device).
    bool ErrorCorrected = false;
    std::string Path; ///< the file ripped to (after numbering)
};

/// Rips track pTrack into RipTargetName(pTarget). With the check, the track is read again
/// into Path + ".chk" and the two are compared; when they differ the file is deleted and
/// the user is asked whether to run again (a Yes/No question with the critical icon). A
/// cancelled or failed read deletes what it wrote; a failed read is reported to the user.
/// The ".chk" file never remains.
RipCheckResult RipWithCheck(RipAudio& pRa, UserInterface& pUi, int32_t pTrack,
    std::string_view pTarget, const RipCheckOptions& pOptions);

} // namespace tarvok
