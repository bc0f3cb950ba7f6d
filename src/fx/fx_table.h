#pragma once

// The one table of the effects. A row carries everything the rest of the program needs of
// an effect: its command number and names, its kernel factory, its faders and check boxes,
// and what its dialog does beyond them. A new effect is one row here and its kernel with its
// factory in a file of its own.

#include "core/command_ids.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

struct FxContext;
class FxKernel;

/// The first and last effect command; the effect menu runs up to the stereo effects, which
/// have a menu of their own.
inline constexpr int32_t kFirstEffect = kCmdFxDelay;
inline constexpr int32_t kLastEffect = kCmdFxVocal;
inline constexpr int32_t kFirstStereoEffect = kCmdFxPhaseOut;

/// Makes an effect's kernel for one run; nullptr when the effect cannot be rendered with
/// that context (a ratio out of range, no high-quality engine).
using FxFactory = std::unique_ptr<FxKernel> (*)(const FxContext& pContext);

/// How a fader's value panel shows its value.
enum class FaderDisplay {
    Integer, ///< the fader's integer
    Frequency, ///< the frequency 10^(v/200) in Hz, rounded down to 10 above 100, to 100 above 1000
    Q, ///< v/100 with one decimal
};

/// One fader of an effect's dialog: label, range and default of its integer value.
struct FxFader {
    std::string Label; ///< a catalogue key: shown through Tr
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

/// How OK turns the dialog's controls into the processor's parameters.
enum class FxParms {
    Faders, ///< the number each fader's value panel shows, in order
    LengthRatio, ///< P0 the selection's length over the box's length (time stretch, speed)
    GraphicEq, ///< the band faders as the 15 equaliser bands' gains, P0 the level fader
    ParametricEq, ///< three bands of frequency, Q and gain, P0 the level fader
    SineWave, ///< P0 the level fader, P1 the box's frequency
    Normalize, ///< P0 the target, P1 the measuring mode the check boxes choose
    ChannelMask, ///< P0 the check boxes as bits: 1 the left channel, 2 the right
};

/// What an effect's dialog does beyond showing its faders, check boxes and box.
struct FxDialogExtras {
    FxParms Parms = FxParms::Faders;
    bool QualityChoice = false; ///< offers the high-quality engine beside the own algorithm
    bool LinkedFaders = false; ///< check box 0 makes the two faders move together
    bool ExclusiveChecks = false; ///< turning one of the two check boxes on turns the other off
    bool BandReset = false; ///< a double-click sets a band fader (all but the last) back to 0
};

/// One effect: its command number and name, menu label, whether it asks for parameters, its
/// kernel, the controls of its dialog and how its result is placed.
struct FxInfo {
    int32_t Id = 0;
    std::string_view Command; ///< "FX_DELAY": prefixes the saved parameter names
    std::string_view Label; ///< menu entry and dialog caption; a catalogue key: shown through Tr
    bool HasDialog = true;
    /// The kernel; nullptr for an effect the processor does not render (reverse is rendered
    /// by the reversal transform).
    FxFactory Make = nullptr;
    std::vector<FxFader> Faders;
    std::vector<std::string_view> Checks; ///< up to two check boxes
    FxBox Box = FxBox::None;
    FxDialogExtras Extras;
    bool Tail = false; ///< the output is longer than the input by a tail
    bool ChangesLength = false; ///< the output's length is the input's over the ratio in P0
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

/// Effects whose output is longer than their input by a tail (the delays and reverb).
bool HasTail(int32_t pId);
/// Effects that change the selection's length by the ratio in FXParm 0 (time stretch, speed
/// change).
bool ChangesLength(int32_t pId);

} // namespace tarvok
