#pragma once

#include "render/audio_file_encoder.h"
#include "render/loudness.h"

#include "base/progress.h"
#include "base/result.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvok {

class MainLogic;
class Mp3Encoder;
class Project;
class Settings;

/// Mixdown targets.
inline constexpr int32_t kMixTargetFile = 0;
inline constexpr int32_t kMixTargetTrack = 1;
inline constexpr int32_t kMixTargetCd = 2;

/// Every setting of the mixdown window. Text boxes are kept as typed, so that validation
/// sees what the user entered.
struct MixdownRequest {
    int32_t SourceTracks = 0; ///< "MixSrc-1": 0 all, 1 selected, 2 playing tracks
    int32_t SourceRange = 0; ///< "MixSrc-2": 0 whole project, 1 selection, 2 from zero position
    int32_t TargetMode = kMixTargetFile; ///< "MixTargetMode"
    int32_t TargetTrack = 0; ///< "MixTargetTr"
    std::string Freq = "44100"; ///< "MixDownFreq", the rate box
    int32_t WaveMode = 3; ///< "MixDownWaveMode": 0 Mono8bit .. 5 Stereo24bit
    bool Encode = false; ///< "Encode"
    /// A FLAC or Opus file instead of WAV or MP3 (chosen by the target's extension); takes
    /// the place of Encode, and Opus takes its bit rate from BitRate.
    std::optional<AudioCodec> Codec;
    std::string BitRate = "192"; ///< "BitRate", the bit-rate box
    bool Normalize = false; ///< "CheckNormalize"
    bool UseRMS = false; ///< "CheckRMS"
    std::string NormalizeLevel = "0"; ///< "NormalizeLevel", dB
    /// "CheckLoudness": brings the mix's integrated loudness to LoudnessLevel (instead of
    /// normalising its peak or RMS).
    bool Loudness = false;
    std::string LoudnessLevel = "-23"; ///< "LoudnessLevel", LUFS
    /// "MixMeasureLoudness": measures the finished mix's loudness and true peak without a
    /// loudness target too (a pass over the mix that costs about what the render does, so
    /// it is asked for: the window asks by default, the command line with --measure; with a
    /// target the mix is always measured).
    bool MeasureLoudness = false;
    std::string Loop = "1"; ///< "MixLoop"
    std::string SuStart = "0"; ///< "SuStart", ms
    std::string SuEnd = "0"; ///< "SuEnd", ms
    std::string TargetFile; ///< the path box
    std::string Path; ///< "MixDownPath", where the file chooser starts
};

/// The window's settings as stored, with their defaults: a target mode of 3 or more reads
/// as 0, a target track beyond the last track as the last track, an empty path as the
/// data folder.
MixdownRequest LoadMixdownRequest(const Settings& pSettings, const Project& pProject);

/// "Save Values": stores the settings of the request. A loop count below 1 is first set
/// back to "1"; text boxes that are not numbers are not stored; the path is stored (as the
/// folder of the target file) only when the path box is not empty.
void SaveMixdownValues(Settings& pSettings, MixdownRequest& pRequest);

/// True when MP3 output can be chosen: format "Mono16bit" or "Stereo16bit" and a
/// non-empty bit-rate list for the rate.
bool EncodeAvailable(const MixdownRequest& pRequest, Mp3Encoder* pEncoder);

/// The message the window shows for the request's settings, or empty when they are valid.
/// When several checks fail the last one found is given. An MP3 bit rate that the encoder
/// does not offer for the rate, a FLAC or Opus output that pFileEncoder cannot write, and a
/// loudness target without pMeter, are refused here, before anything is rendered.
std::string ValidateMixdown(const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
    AudioFileEncoder* pFileEncoder = nullptr, LoudnessMeter* pMeter = nullptr);

enum class MixdownOutcome {
    Invalid, ///< a settings message was shown; the window stays open
    Declined, ///< the user declined to overwrite; the window stays open
    Finished, ///< done (or cancelled, or nothing to make); "終了" shown, the window closes
    Failed, ///< stopped with a message; nothing changed at the target
};

struct MixdownResult {
    MixdownOutcome Outcome = MixdownOutcome::Failed;
    std::string Message; ///< the message shown, if any
    /// Why a Failed run failed, for a caller that acts on it: NotFound for a missing CD
    /// folder, DiskFull for a full disk, Other for the rest; Cancelled for a cancelled run.
    ErrorCode Code = ErrorCode::Other;
    std::string Target; ///< the file written (file and CD targets)
    bool Cancelled = false;
    /// The integrated loudness and true peak of the finished mix (16-bit stereo at the
    /// project's rate, before any conversion or encoding), with a loudness target or when
    /// asked for; none without a loudness meter or when the mix is silent.
    std::optional<LoudnessReading> Loudness;
    /// The loudness target was not reached: the gain was lowered to keep the true peak at
    /// kLoudnessPeakCeiling.
    bool LoudnessLimited = false;
};

/// The completion text of a finished mixdown: "終了", followed by the loudness reading when
/// there is one ("終了 -23.0 LUFS, true peak -21.2 dBTP"), and a note when the true peak
/// limited the gain.
std::string MixdownDoneText(const MixdownResult& pResult);

/// The window's OK: validates, asks before overwriting, renders the chosen tracks and range,
/// measures its loudness (through the main window's meter, when there is one) and with a
/// loudness target copies it with the gain that reaches the target, converts, encodes and
/// moves the result into place, or places it on a track as one undoable edit. Every message goes
/// through the main window's user interface; pProgress receives the fraction done of each phase,
/// and a stop there (or the main window's cancel request) cancels the run. A cancelled or failed
/// run leaves an existing target file as it was and no partial file behind.
MixdownResult RunMixdown(MainLogic& pLogic, const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
    const Progress& pProgress = {}, AudioFileEncoder* pFileEncoder = nullptr);

/// The next free CD file of pFolder: "track" + three digits from 001 + ".wav"; empty when
/// all are taken.
std::string NextCdTrackName(const std::string& pFolder);

} // namespace tarvok
