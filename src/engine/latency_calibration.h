#pragma once

#include "base/i18n.h"

#include "base/result.h"
#include "engine/wave_device.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvok {

class EngineClock;
class Settings;
class UserInterface;

/// Where the input frames of a take belong on the timeline: the timeline frame the player
/// heard at the moment input frame 0 reached the input (the anchor; input frame f then
/// belongs at anchor + f). Each reading pairs, taken together, the timeline frame heard now
/// (the output's heard position, which already allows for the output latency), the input
/// frames recorded by now (the input's clock) and the input latency the device reports: a
/// frame recorded now entered the input one input latency ago.
///
/// A reading counts only when both clocks moved since the one before, and by about as much:
/// a sound server holds an output's position while it fills its buffer, and readings then
/// belong to neither clock. Sound servers also settle only after the start (PulseAudio's
/// reported delays are a few hundred milliseconds off for the first half second): a reading
/// more than kSettledStepFrames from the one before starts the readings afresh. The anchor
/// is the median of the first kReadings readings that count after the last such step: what
/// the clocks say once they run steadily, and one late reading moves nothing. It stays put
/// once they are in, so that a correction of the clocks' drift has a fixed point to keep.
class TakeAlignment {
public:
    static constexpr int32_t kReadings = 32;
    static constexpr double kSettledStepFrames = 4096;

    /// Adds one reading; ignored once full, or when it does not follow the one before as
    /// two running clocks do.
    void AddReading(double pHeardFrame, double pInputFrames, double pInputLatencyFrames);
    bool Full() const { return Count() >= kReadings; }
    int32_t Count() const { return static_cast<int32_t>(readings_.size()); }
    /// The timeline frame of input frame 0; nothing before the first reading that counts.
    std::optional<double> Anchor() const;
    void Reset()
    {
        readings_.clear();
        previous_.reset();
    }

private:
    struct Clocks {
        double Heard = 0;
        double Input = 0;
    };
    std::vector<double> readings_;
    std::optional<Clocks> previous_;
};

/// The timeline start of a take whose first frame is input frame pFirstInputFrame, moved
/// earlier by the measured round-trip offset pOffsetFrames (a take that lands late has a
/// positive offset); clamped to 0 .. pMaxFrame.
int32_t PlaceTakeStart(
    double pAnchor, int64_t pFirstInputFrame, int64_t pOffsetFrames, int32_t pMaxFrame);

/// The measured offset: where the click landed on the timeline (its onset in the recording,
/// input frame pOnsetInputFrame, placed by pAnchor) less where it was played.
int64_t MeasuredOffsetFrames(double pAnchor, int64_t pOnsetInputFrame, int64_t pPlayedFrame);

/// A click for the round trip: pFrames stereo frames (interleaved), a full-scale burst of
/// alternating sign over its first frames and silence after.
std::vector<int16_t> MakeClick(int32_t pFrames);

/// The first frame of pFrames stereo frames (interleaved) at which a click begins: the first
/// frame whose magnitude, either channel, reaches a quarter of the loudest frame. Nothing
/// when the loudest frame is below pMinPeak (no click came through) or the noise before the
/// onset reaches a quarter of the peak as well (no clear onset).
std::optional<int64_t> FindClickOnset(const std::vector<int16_t>& pFrames, int32_t pMinPeak = 1000);

/// The settings section of the measured offsets and the name of a device pair's value.
inline constexpr const char* kLatencySection = "latency";
std::string LatencyOffsetKey(const std::string& pOutput, const std::string& pInput);
/// The stored offset of a device pair in microseconds (positive: takes land late), nothing
/// when the pair was never measured.
std::optional<int64_t> StoredLatencyOffsetUs(
    const Settings& pStore, const std::string& pOutput, const std::string& pInput);
bool StoreLatencyOffsetUs(
    Settings& pStore, const std::string& pOutput, const std::string& pInput, int64_t pUs);
/// Microseconds and frames at pRate, both ways, rounded half to even.
int64_t FramesToUs(int64_t pFrames, int32_t pRate);
int64_t UsToFrames(int64_t pUs, int32_t pRate);

/// What a round-trip measurement plays and records.
struct RoundTripRequest {
    int32_t OutputId = 0;
    int32_t InputId = 0;
    int32_t SampleRate = 44100;
    int32_t ClickAtMs = 1500; ///< where the click is played, from the first frame played
    int32_t LengthMs = 3000; ///< how long the output plays
};

/// What a round-trip measurement found.
struct RoundTripResult {
    int64_t OffsetFrames = 0; ///< where the click landed less where it was played
    int32_t SampleRate = 44100;
    double ReportedOutputMs = 0; ///< the latencies the devices report
    double ReportedInputMs = 0;
    int64_t OnsetInputFrame = 0;
    double Anchor = 0;
    int32_t Readings = 0;
    double OffsetMs() const { return OffsetFrames * 1000.0 / SampleRate; }
};

/// Plays a click on output pRequest.OutputId while recording input pRequest.InputId, finds
/// the click in the recording and places it as a take would be placed (TakeAlignment over
/// the same clocks): the offset is where it landed less where it was played. Runs on the
/// user-interface thread, waiting through pClock (which keeps the window system alive);
/// fails with the reason when a device does not open or no click came through.
Result<RoundTripResult> MeasureRoundTrip(WaveOutService& pOut, WaveInService& pIn,
    const RoundTripRequest& pRequest, EngineClock& pClock, UserInterface& pUi);

/// Texts of the measurement (catalogue keys: shown through Tr).
inline constexpr const char* kLatencyNoClickText
    = N_("テスト音が録音されませんでした。出力が入力に戻る接続を確かめてください");
inline constexpr const char* kLatencyOpenFailedText = N_("測定用のデバイスを開けません");
inline constexpr const char* kLatencyMeasuredText = N_("往復遅延の補正値を保存しました");

} // namespace tarvok
