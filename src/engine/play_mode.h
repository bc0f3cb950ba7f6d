#pragma once

#include <cstdint>

namespace tarvok {

/// What a run of the playback engine plays. The numbers are those the command table and the
/// range-play menu count with: 1..9 are multi-device runs of the project's tracks, 10..14
/// use the single-device voice on output slot 0.
enum class PlayMode : int32_t {
    Stopped = 0,
    All = 1, ///< PLAY: the PlaySelected tracks from the head
    FromClick = 2, ///< the Selected tracks from a clicked position
    Selection = 3,
    Around = 4, ///< pre-roll up to mark-in, then post-roll from mark-out
    Loop = 5,
    ToIn = 6,
    ToOut = 7,
    FromIn = 8,
    FromOut = 9,
    Shuttle = 10,
    ScaleScrub = 11,
    ScrubBurst = 12,
    MarkPreview = 13,
    FilePreview = 14,
};

/// The mode's number (0..14).
constexpr int32_t PlayModeNumber(PlayMode pMode) { return static_cast<int32_t>(pMode); }

/// Multi-device run of the project's tracks (All .. FromOut); the head follows the device.
constexpr bool IsTrackPlay(PlayMode pMode)
{
    return pMode >= PlayMode::All && pMode <= PlayMode::FromOut;
}

/// One of the seven range plays (Selection .. FromOut) of the range-play menu.
constexpr bool IsRangePlay(PlayMode pMode)
{
    return pMode >= PlayMode::Selection && pMode <= PlayMode::FromOut;
}

/// Runs that end by themselves at their range's end (Selection .. ToOut).
constexpr bool IsBoundedRangePlay(PlayMode pMode)
{
    return pMode >= PlayMode::Selection && pMode <= PlayMode::ToOut;
}

/// A mode of the single-device voice (Shuttle .. FilePreview).
constexpr bool IsVoiceMode(PlayMode pMode) { return pMode >= PlayMode::Shuttle; }

/// The range play of menu item pItem (0 Selection .. 6 FromOut).
constexpr PlayMode RangePlayOfItem(int32_t pItem)
{
    return static_cast<PlayMode>(PlayModeNumber(PlayMode::Selection) + pItem);
}

} // namespace tarvok
