#pragma once

#include "app/commands/command_table.h"
#include "engine/wave_device.h"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tarvok {

class EngineClock;
class MainLogic;
class WaveInService;
class WaveOutService;

/// The settings window without a window: the texts and choices of its five tabs (general,
/// details, devices, keyboard, toolbar) loaded from the main window's options, the store and
/// the project, the toolbar row editing, and OK, which applies and saves them. Entries that
/// are not numbers leave their setting unchanged.
class SettingsWindowModel {
public:
    static constexpr int kDisplayOptionCount = 13;
    static constexpr int kKeyRowCount = kFunctionKeyCount + 1;
    static constexpr int kMaxDeviceSlots = 8;

    /// pOutputDevices and pInputDevices: the device names in ID order (ID 0 first). A slot
    /// whose remembered device is not among them shows it as an extra entry after them, so
    /// that OK keeps it rather than put another device in its place.
    /// pAssignment: the bindings the main window uses; OK updates it.
    SettingsWindowModel(MainLogic& pLogic, KeyAssignment& pAssignment,
        std::vector<std::string> pOutputDevices, std::vector<std::string> pInputDevices);

    // General tab.
    std::string Freq; ///< ComboFreq -> "nFreq"
    std::string SampleStep; ///< TextSampleStep -> "SampleStep", 10..48000
    std::string SoundPath; ///< TextSoundPath -> "DataPath" when the folder exists
    std::string LevelMargin; ///< TextLevelMargin, dB -> minus its magnitude
    std::string DelPrjDate; ///< TextDelPrjDate, days
    bool DelOnEnd = true;
    bool AdjustClock = true;
    int32_t FadeTableType = 1; ///< 0 centre zero, 1 general fader
    std::string MixerApp;
    /// " Prj=" + the project's rate, and its minimum edit unit.
    std::string ProjectFreqInfo() const;
    std::string ProjectStepInfo() const;
    static std::vector<std::string> FreqItems();
    static const std::vector<std::string>& FadeTableItems();

    // Details tab.
    std::string SizeRate; ///< TextSizeRate -> "SizeRate" as "0.0"
    /// ComboLanguage: 0 auto, 1 ja, 2 en -> "Language"; takes effect at the next start.
    int32_t Language = 0;
    static const std::vector<std::string>& LanguageItems();
    std::string VULevelTrim; ///< TextVULevelTrim, dBFS -> minus its magnitude
    int32_t WaveColor = 0; ///< RGB value as stored: red in the low byte
    int32_t WaveColorLocked = 0;
    std::array<bool, kDisplayOptionCount> DisplayOptions {}; ///< CheckDispOP
    static const std::vector<std::string>& DisplayOptionCaptions();

    // Devices tab.
    const std::vector<std::string>& OutputDevices() const { return outputDevices_; }
    const std::vector<std::string>& InputDevices() const { return inputDevices_; }
    /// Slots shown: as many as there are devices, at most eight.
    int32_t OutputSlotCount() const;
    int32_t InputSlotCount() const;
    /// "1+2", "3+4", ... for slot pSlot.
    static std::string SlotLabel(int32_t pSlot);
    /// A device as the lists show it: ID + 1, a space and its name.
    static std::string DeviceItem(int32_t pId, const std::string& pName);
    /// List index per output slot: a listed device, or an extra entry for a missing one.
    std::array<int32_t, kMaxDeviceSlots> OutputChoice {};
    std::array<int32_t, kMaxDeviceSlots> InputChoice {};
    std::string PlayTrim; ///< TextTrimDB 0, dB
    std::string RecTrim; ///< TextTrimDB 1, dB
    /// "往復遅延を測定": plays a click on the output chosen for the first slot, records it on
    /// the input chosen for the first slot and stores the measured offset for that pair
    /// (takes recorded against playback on it are moved by it). The text to show: the
    /// offset, or why nothing was measured. Refused while anything plays or records.
    std::string MeasureLatency(WaveOutService& pOut, WaveInService& pIn, EngineClock& pClock);

    // Keyboard and toolbar tabs.
    /// The descriptions shown for F1..F12 and space.
    std::array<std::string, kKeyRowCount> KeyRows;
    /// One description per toolbar row.
    std::vector<std::string> ToolbarRows;
    bool ShowToolBar = false;
    /// Set when the keyboard or toolbar tab was shown; OK applies the rows only then.
    bool KeyTabsPrepared = false;
    static std::string KeyRowName(int32_t pRow);
    /// "ボタン" + the 1-based position.
    static std::string ToolbarRowName(int32_t pRow);
    /// The descriptions the drop-downs offer ("N/A" first).
    static std::vector<std::string> CommandChoices();
    /// "追加": an empty row before pSelected, or appended when pSelected is -1. Returns the
    /// new row's index.
    int32_t AddToolbarRow(int32_t pSelected);
    /// "削除": removes the rows given.
    void DeleteToolbarRows(const std::set<int32_t>& pRows);
    /// "▽" and "△": move one row; the row's new index (unchanged at the ends).
    int32_t MoveToolbarRowDown(int32_t pRow);
    int32_t MoveToolbarRowUp(int32_t pRow);

    /// "マーカーを細く" is saved as soon as it changes.
    void SetHideMark(bool pOn);

    /// OK: applies every tab to the options, the bindings and the store.
    void Apply();

private:
    MainLogic& logic_;
    KeyAssignment& assignment_;
    std::vector<std::string> outputDevices_;
    std::vector<std::string> inputDevices_;
    /// The listed devices, and the missing remembered ones shown after them.
    int32_t outputListed_ = 0;
    int32_t inputListed_ = 0;
    std::vector<WaveDeviceRef> outputMissing_;
    std::vector<WaveDeviceRef> inputMissing_;
};

} // namespace tarvok
