#pragma once

#include "base/i18n.h"
#include "base/progress.h"
#include "base/result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

/// What a loudness measurement found: the programme's integrated loudness (EBU R128, gated)
/// in LUFS and its true peak (4x oversampled, as the standard asks) in dBTP.
struct LoudnessReading {
    double Integrated = 0.0;
    double TruePeak = 0.0;
};

/// One running measurement: frames go in, the reading comes out at the end.
class LoudnessMeasurement {
public:
    virtual ~LoudnessMeasurement() = default;
    /// Adds pFrames interleaved 16-bit frames of the channel count the measurement started
    /// with; false when the meter failed.
    virtual bool Add(const int16_t* pSamples, size_t pFrames) = 0;
    /// The integrated loudness so far; nothing when no block passed the gates (silence, or
    /// less than 400 ms of audio).
    virtual std::optional<double> Integrated() const = 0;
    /// The highest true peak so far in dBTP (-infinity for digital silence).
    virtual double TruePeak() const = 0;
};

/// A loudness meter that the platform provides (an adapter implements it); without one,
/// loudness targets are refused with a message.
class LoudnessMeter {
public:
    virtual ~LoudnessMeter() = default;
    /// Starts a measurement of pChannels (1 or 2) channels at pRate; nullptr when the meter
    /// cannot measure that.
    virtual std::unique_ptr<LoudnessMeasurement> Start(int32_t pRate, int32_t pChannels) = 0;
};

/// The loudest true peak a loudness gain may produce, in dBTP: the broadcast ceiling, which
/// also keeps the rounding to 16 bits clear of saturation.
inline constexpr double kLoudnessPeakCeiling = -1.0;

/// Loudness targets accepted by the mixdown and the normalise effect, in LUFS.
inline constexpr double kMinLoudnessTarget = -70.0;
inline constexpr double kMaxLoudnessTarget = 0.0;

inline constexpr const char* kMsgNoLoudnessMeter = N_("ラウドネスメーターがありません");
inline constexpr const char* kMsgNoLoudness = N_("無音のためラウドネスを測定できません");

/// The gain in dB that brings a reading to pTarget LUFS: pTarget - integrated loudness,
/// lowered when needed so that the true peak stays at or below kLoudnessPeakCeiling.
/// pLimited tells whether the ceiling lowered it (the result is then quieter than asked).
double LoudnessGain(const LoudnessReading& pReading, double pTarget, bool& pLimited);

/// Measures frames pFrom..pTo-1 (0-based; pTo < 0 for the end) of a 16-bit PCM WAV file,
/// mono or stereo, reading in chunks. Fails with kMsgNoLoudness when the range has no
/// measurable loudness, ErrorCode::Cancelled when pProgress said stop, or a read error.
Result<LoudnessReading> MeasureWaveLoudness(LoudnessMeter& pMeter, std::string_view pFile,
    int64_t pFrom = 0, int64_t pTo = -1, const Progress& pProgress = {});

/// Copies a 16-bit PCM WAV file into pTarget (through a temporary sibling that replaces it
/// only when complete) with every sample multiplied by 10^(pGainDb/20), rounded to the
/// nearest integer with halves to even and saturated at +-32767, and measures the result on
/// the way. Nothing is left at pTarget when it fails or is cancelled (ErrorCode::Cancelled).
Result<LoudnessReading> CopyWithGainMeasured(LoudnessMeter& pMeter, std::string_view pSource,
    std::string_view pTarget, double pGainDb, const Progress& pProgress = {});

/// "-23.0 LUFS, true peak -21.2 dBTP" (true peak "-inf" for silence).
std::string LoudnessText(const LoudnessReading& pReading);

} // namespace tarvok
