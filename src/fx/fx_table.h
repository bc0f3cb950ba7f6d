#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// The first and last effect command; 106..135 are the effect menu, 136..143 the stereo one.
inline constexpr int32_t kFirstEffect = 106;
inline constexpr int32_t kLastEffect = 143;
inline constexpr int32_t kFirstStereoEffect = 136;

/// How a fader's value panel shows its value.
enum class FaderDisplay {
    Integer, ///< the fader's integer
    Frequency, ///< the frequency 10^(v/200) in Hz, rounded down to 10 above 100, to 100 above 1000
    Q, ///< v/100 with one decimal
};

/// One fader of an effect's dialog: label, range and default of its integer value.
struct FxFader {
    std::string Label;
    int32_t Min = 0;
    int32_t Max = 0;
    int32_t Default = 0;
    FaderDisplay Display = FaderDisplay::Integer;
};

/// What the dialog's extra box holds.
enum class FxBox {
    None,
    Length, ///< the resulting length of time stretch and speed change
    Frequency, ///< the sine wave's frequency in Hz
};

/// One effect: its command number and name, menu label, whether it asks for parameters, and
/// the controls of its dialog.
struct FxInfo {
    int32_t Id = 0;
    std::string_view Command; ///< "FX_DELAY": prefixes the saved parameter names
    std::string_view Label; ///< menu entry and dialog caption
    bool HasDialog = false;
    std::vector<FxFader> Faders;
    std::vector<std::string_view> Checks; ///< up to two check boxes
    FxBox Box = FxBox::None;
};

/// The 38 effects, in command order.
const std::vector<FxInfo>& AllEffects();

/// The effect with command number pId, or nullptr.
const FxInfo* FindEffect(int32_t pId);

/// The frequency a frequency fader at pValue stands for: round(10^(v/200)), rounded down to
/// a multiple of 10 above 100 Hz and of 100 above 1000 Hz (560 gives 630).
int32_t FaderFrequency(int32_t pValue);

/// The value panel's text for a fader at pValue.
std::string FaderText(FaderDisplay pDisplay, int32_t pValue);

/// The number a value panel shows, as the effect receives it (the frequency for a frequency
/// fader, v/100 for a Q fader).
double FaderNumber(FaderDisplay pDisplay, int32_t pValue);

/// A graphic equaliser band label: the integer under 1000 Hz ("400"), else kHz with "k",
/// whole ("1k", "16k") or with one decimal ("1.6k", "6.3k").
std::string BandLabel(double pHz);

/// The band frequencies of the graphic equaliser.
const std::vector<double>& GraphicEqFrequencies();

/// The saved-value name of fader pFader (counted from 0): "FXParm_FX_DELAY-01".
std::string FaderSettingName(const FxInfo& pInfo, int32_t pFader);
/// The saved-value name of check box pCheck (counted from 0): "FXParm_FX_NORM_Check-01".
std::string CheckSettingName(const FxInfo& pInfo, int32_t pCheck);
/// The saved sine frequency: "FXParm_FX_SIGN-02".
std::string FrequencySettingName(const FxInfo& pInfo);

/// Effects whose output is longer than their input by a tail (delay, stereo delay, echo,
/// reverb).
bool HasTail(int32_t pId);
/// Effects that change the selection's length by the ratio in FXParm 0 (time stretch, speed
/// change).
bool ChangesLength(int32_t pId);

} // namespace tarvok
