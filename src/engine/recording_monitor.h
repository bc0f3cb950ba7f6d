#pragma once

#include "engine/level_meters.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class RecordingEngine;

/// The model of the recording monitor window: the level of every enabled input channel
/// while the inputs run, the input level per channel, and the voice-activated recording
/// settings. The window shows it and forwards the user's actions.
class RecordingMonitor {
public:
    /// pDbMode: the "modedb" setting (1 dB scale, 0 linear).
    RecordingMonitor(RecordingEngine& pRecorder, const std::array<int32_t, 8>& pInputEnabled,
        int32_t pDbMode, int32_t pRmsP3);

    /// Opening: channels, sliders and meter set up; MonitorOpen = 1.
    void Open();
    /// Closing: MonitorOpen -1 while closing, then 0.
    void Close();
    bool IsOpen() const;

    /// One 100 ms tick. Returns false when the monitor closed itself (STOP asked it to).
    bool Tick();

    /// The shown channels: channel c belongs to slot Slots()[c / 2], left when c is even.
    int32_t ChannelCount() const { return static_cast<int32_t>(slots_.size()) * 2; }
    int32_t SlotOfChannel(int32_t pChannel) const { return slots_.at(pChannel / 2); }
    /// The label of a channel: 2k + 1 and 2k + 2 for slot k.
    std::string ChannelLabel(int32_t pChannel) const;

    /// Slider value of a channel in tenths of dB (-400 .. 200), and its text "00.0".
    int32_t SliderValue(int32_t pChannel) const;
    std::string SliderText(int32_t pChannel) const;
    /// Moves a channel's slider: the slot's input level (and so its gain) follows.
    void SetSlider(int32_t pChannel, int32_t pTenthsDb);
    /// The slider's reset action: back to 0.0 dB.
    void ResetSlider(int32_t pChannel) { SetSlider(pChannel, 0); }

    /// Meter mode: true dB, false linear; toggled by a click on the meter.
    bool DbMode() const { return dbMode_; }
    void ToggleMeterMode();

    // Voice-activated recording.
    void SetUseStart(bool pOn);
    void SetUseStop(bool pOn);
    /// A level typed into the start (pStop false) or stop level text: stored as minus its
    /// magnitude; a text that is not a number is ignored (false).
    bool EnterLevel(bool pStop, std::string_view pText);
    /// The level texts as shown ("0.0").
    std::string LevelText(bool pStop) const;
    /// Item pItem (0..9) of the stop-seconds list: 1 .. 10 seconds.
    void ChooseStopSeconds(int32_t pItem);
    int32_t StopSecondsItem() const;

    /// Buttons: while recording "Stop" and "Start" are shown, otherwise "Close".
    bool ShowsRecordingButtons() const;

    MultiBarMeter& Meter() { return meter_; }

private:
    void SetMeterMode(bool pDb);

    RecordingEngine& rec_;
    std::vector<int32_t> slots_;
    bool dbMode_ = true;
    int32_t rmsP3_ = 0;
    bool lastRecording_ = false;
    std::array<int64_t, 8> prevP_ {};
    MultiBarMeter meter_;
};

/// Parses a level typed by the user; nothing when the text is not a number.
std::optional<double> ParseLevelText(std::string_view pText);

} // namespace tarvok
