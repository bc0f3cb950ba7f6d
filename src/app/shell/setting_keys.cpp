#include "app/shell/setting_keys.h"

#include "base/text.h"
#include "core/settings.h"
#include "fx/fx_table.h"

#include <cstdint>
#include <optional>

namespace tarvok {

namespace {

using T = SettingType;
using F = KeyFamily;

/// Read by the main window at start-up, in this order.
std::vector<SettingKeyInfo> StartUpKeys()
{
    return {
        { "LogError", T::Integer, "0", F::None, "error logging switch" },
        { "ErrorCatch", T::Integer, "0", F::None, "1 turns error trapping off" },
        { "DebugLogPath", T::Text, "", F::None, "log folder", false, "common" },
        { "WaveColor", T::Integer, "13388306", F::None, "waveform colour (RGB value)" },
        { "WaveColorLocked", T::Integer, "8485241", F::None, "waveform colour of locked blocks" },
        { "SizeRate", T::Text, "1.0", F::None, "display size factor of the controls" },
        { "Language", T::Text, "auto", F::None,
            "window language: auto (ja for a Japanese locale, else en), ja or en" },
        { "PlayTrimDB", T::Single, "0", F::None, "playback trim in dB, -40..40" },
        { "RecTrimDB", T::Single, "0", F::None, "recording trim in dB, -40..40" },
        { "FadeTableType", T::Integer, "1", F::None, "fade table: 0 centre zero, 1 general fader" },
        { "nFreq", T::Integer, "44100", F::None, "sampling rate of new projects" },
        { "SampleStep", T::Integer, "64", F::None,
            "frames per peak entry of new projects, 10..48000" },
        { "DrawWFP", T::Integer, "0", F::None, "draw waveforms from peaks" },
        { "WFMode", T::Integer, "0", F::None, "peak values: 0 linear, 1 dB" },
        { "WFMono", T::Integer, "0", F::None, "draw waveforms as one channel" },
        { "LevelMargin", T::Integer, "0", F::None, "display headroom in dB (0 or below)" },
        { "ShowRMS", T::Integer, "1", F::None, "master readout shows RMS (1) or peak (0)" },
        { "ShowMasterVU", T::Integer, "1", F::None, "show master bar meters and readout" },
        { "ShowMasterMeter", T::Integer, "0", F::None, "show master needle meters" },
        { "RMSP3", T::Integer, "0", F::None, "add 3 dB to RMS readings" },
        { "VULevelTrim", T::Single, "-23", F::None, "meter reference level in dB (0 or below)" },
        { "ShiftToDrag", T::Integer, "0", F::None, "dragging needs the Shift key" },
        { "UndoAll", T::Integer, "1", F::None, "undo restores everything" },
        { "UseMuonStart", T::Integer, "0", F::None, "voice-activated start" },
        { "UseMuonStop", T::Integer, "0", F::None, "voice-activated stop" },
        { "MuonStartLevelDB", T::Single, "-40", F::None, "voice start level" },
        { "MuonStopLevelDB", T::Single, "-40", F::None, "voice stop level" },
        { "MuonStopLengthMS", T::Integer, "3000", F::None, "quiet time before voice stop" },
        { "DevInID_", T::Integer, "0", F::Slot, "wave-in device of input slot n" },
        { "DevOutID_", T::Integer, "0", F::Slot, "wave-out device of output slot n" },
        { "DevInName_", T::Text, "", F::Slot,
            "wave-in device of input slot n as HostApi|Name; DevInID_ is then a hint" },
        { "DevOutName_", T::Text, "", F::Slot,
            "wave-out device of output slot n as HostApi|Name; DevOutID_ is then a hint" },
        { "LevelLdb_", T::Single, "0", F::Slot, "input level of slot n, left, in dB" },
        { "LevelRdb_", T::Single, "0", F::Slot, "input level of slot n, right, in dB" },
        { "ShowToolBar", T::Integer, "0", F::None, "show the toolbar" },
        { "MaxPow", T::Integer, "1", F::None, "draw waveforms while recording" },
        { "UseAdjustClock", T::Integer, "1", F::None,
            "keep playback in step with the input clock" },
        { "ScrollMode", T::Integer, "0", F::None, "scroll the view with the head" },
        { "TrackNum", T::Integer, "7", F::None, "index of the last track, 0..63" },
        { "DataPath", T::Text, "", F::None, "data folder; empty = the default folder" },
        { "ZoomMode", T::Integer, "0", F::None, "zoom menu choice" },
        { "ShowRecMon", T::Integer, "0", F::None, "show the recording monitor at REC" },
        { "ShowMRU", T::Integer, "1", F::None, "show recent projects in the menu" },
        { "MRUList_", T::Text, "", F::Slot, "recent project n" },
        { "DelOnEnd", T::Integer, "1", F::None, "tidy the data folder at exit" },
        { "HideMark", T::Integer, "0", F::None, "draw thin markers" },
        { "DelPrjDate", T::Text, "0", F::None, "days after which old project files are deleted" },
        { "MixerApp", T::Text, "", F::None, "program started as the system mixer" },
        { "LangMode", T::Integer, "0", F::None, "language mode" },
        { "CDFolder", T::Text, "", F::None, "CD-writing staging folder; empty = the default" },
        { "CDImages", T::Text, "", F::None, "disc images offered as drives, separated by ;" },
        { "CDDBServer", T::Text, "gnudb.gnudb.org", F::None, "CDDB server" },
        { "MusicBrainzServer", T::Text, "https://musicbrainz.org", F::None,
            "MusicBrainz web service asked when CDDB has no titles; empty = none" },
        { "AccurateRipServer", T::Text, "http://www.accuraterip.com/accuraterip", F::None,
            "AccurateRip database address; empty = no check" },
        { "ParanoiaRip", T::Integer, "0", F::None, "rip CDs with error-correcting reads" },
    };
}

/// Per track, written by the track-state command.
std::vector<SettingKeyInfo> TrackKeys()
{
    return {
        { "TrackName_", T::Text, "", F::Track, "track name" },
        { "TrackPlaySelected_", T::Integer, "1", F::Track, "track heard on playback" },
        { "TrackRecSelected_", T::Integer, "-1", F::Track, "track armed (-1: track 1 only)" },
        { "TrackRecCh_", T::Integer, "0", F::Track, "recording input channel" },
        { "TrackPlayCh_", T::Integer, "0", F::Track, "playback output channel" },
        { "TrackLevelL_", T::Integer, "", F::Track, "track fader, left", true },
        { "TrackLevelR_", T::Integer, "", F::Track, "track fader, right", true },
        { "TrackLevelLinked_", T::Integer, "0", F::Track, "left and right faders linked" },
    };
}

/// The file dialogs' folders and the values the other windows keep.
std::vector<SettingKeyInfo> WindowValueKeys()
{
    return {
        // File dialogs.
        { "LastSaveAllPath", T::Text, "", F::None, "last folder written out by SAVEALL" },
        { "SoundfilePath", T::Text, "", F::None, "last sound file folder" },

        // Other windows.
        { "modedb", T::Integer, "1", F::None, "recording monitor scale" },
        { "BGFadeValue", T::Integer, "128", F::None, "background fade level" },
        { "BGFadeIn", T::Integer, "3000", F::None, "background fade-in time" },
        { "BGFadeOut", T::Integer, "3000", F::None, "background fade-out time" },
        { "PlayModeSE", T::Short, "0", F::None, "sample editor play mode" },
        { "FXPreviewSec", T::Short, "10", F::None, "effect preview length in seconds" },
        { "MixSrc-1", T::Integer, "0", F::None, "mixdown source tracks" },
        { "MixSrc-2", T::Integer, "0", F::None, "mixdown source range" },
        { "MixTargetTr", T::Short, "0", F::None, "mixdown target track" },
        { "MixDownFreq", T::Integer, "44100", F::None, "mixdown rate" },
        { "MixDownWaveMode", T::Integer, "3", F::None, "mixdown format mode" },
        { "MixDownPath", T::Text, "", F::None, "mixdown target file" },
        { "MixTargetMode", T::Integer, "0", F::None, "mixdown target kind" },
        { "CheckLoudness", T::Integer, "0", F::None, "mixdown brings the mix to a loudness" },
        { "LoudnessLevel", T::Single, "-23", F::None, "mixdown loudness target in LUFS" },
        { "MixMeasureLoudness", T::Integer, "1", F::None,
            "mixdown reports the mix's loudness and true peak" },
        // The effect dialogs' "Save Values": the sine frequency, then every fader and check.
        { "FXParm_FX_SIGN-02", T::Text, "1000", F::None, "sine wave frequency in Hz" },
        { "FXParm_", T::Integer, "", F::Effect,
            "effect dialog value: fader (-NN) or check box (_Check-NN); default the effect's" },
        { "Encode", T::Integer, "0", F::None, "mixdown encodes MP3" },
        { "CheckNormalize", T::Integer, "0", F::None, "mixdown normalises" },
        { "CheckRMS", T::Integer, "0", F::None, "normalise by RMS" },
        { "NormalizeLevel", T::Single, "0", F::None, "normalisation level in dB" },
        { "SuStart", T::Integer, "0", F::None, "leading silence in ms" },
        { "SuEnd", T::Integer, "0", F::None, "trailing silence in ms" },
        { "MixLoop", T::Integer, "1", F::None, "mixdown loop count" },
        { "BitRate", T::Short, "192", F::None, "MP3 bit rate in kbit/s" },
        { "RipLevel", T::Short, "0", F::None, "CD rip level" },
        { "CheckRip", T::Integer, "1", F::None, "verify CD reads" },
        { "UseCDDB", T::Integer, "1", F::None, "look titles up in CDDB" },
        { "fkeyfct-", T::Text, "", F::TwoDigit, "function key binding" },
        { "kbfct-", T::Text, "", F::TwoDigit, "key binding" },
        { "tbfct-", T::Text, "", F::TwoDigit, "toolbar button binding" },
        { "NumTBFCT", T::Integer, "16", F::None, "number of toolbar buttons" },
    };
}

/// Window positions: a prefix per window, five keys each.
void AddWindowPlacementKeys(std::vector<SettingKeyInfo>& pTable)
{
    static constexpr std::string_view kPrefixes[] = { "", "Mon", "Draw", "Curve", "SE", "Mix" };
    static std::vector<std::string> names; // keeps the generated names alive
    names.clear();
    names.reserve(std::size(kPrefixes) * 5);
    for (std::string_view prefix : kPrefixes)
        for (std::string_view field :
            { "WindowLeft", "WindowTop", "WindowHeight", "WindowWidth", "WindowState" })
            names.push_back(std::string(prefix) + std::string(field));
    size_t n = 0;
    for (size_t p = 0; p < std::size(kPrefixes); ++p)
        for (int f = 0; f < 5; ++f, ++n)
            pTable.push_back({ names[n], f == 4 ? T::Short : T::Single, "", F::None,
                "window position (twips) or state; default the window's own" });
}

std::vector<SettingKeyInfo> BuildTable()
{
    std::vector<SettingKeyInfo> t = StartUpKeys();
    for (const std::vector<SettingKeyInfo>& family : { TrackKeys(), WindowValueKeys() })
        t.insert(t.end(), family.begin(), family.end());
    AddWindowPlacementKeys(t);
    return t;
}

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// True for "FX_DELAY-01" or "FX_NORM_Check-02": a fader or check box an effect's dialog has,
// numbered from 01.
bool IsEffectValueName(std::string_view pRest)
{
    for (const FxInfo& fx : AllEffects()) {
        if (!fx.HasDialog || !StartsWithNoCase(pRest, fx.Command))
            continue;
        std::string_view tail = pRest.substr(fx.Command.size());
        size_t count = fx.Faders.size();
        if (StartsWithNoCase(tail, "_Check-")) {
            tail.remove_prefix(7);
            count = fx.Checks.size();
        } else if (!tail.empty() && tail.front() == '-') {
            tail.remove_prefix(1);
        } else {
            continue;
        }
        if (tail.size() != 2 || !AllDigits(tail))
            continue;
        const int64_t n = ParseInteger(tail).value_or(0);
        if (n >= 1 && static_cast<size_t>(n) <= count)
            return true;
    }
    return false;
}

} // namespace

const std::vector<SettingKeyInfo>& AllSettingKeys()
{
    static const std::vector<SettingKeyInfo> table = BuildTable();
    return table;
}

const SettingKeyInfo* FindSettingKey(std::string_view pName)
{
    for (const SettingKeyInfo& key : AllSettingKeys()) {
        if (key.Family == KeyFamily::None) {
            if (EqualsNoCase(key.Name, pName))
                return &key;
            continue;
        }
        if (!StartsWithNoCase(pName, key.Name))
            continue;
        std::string_view rest = pName.substr(key.Name.size());
        if (key.Family == KeyFamily::Effect) {
            if (IsEffectValueName(rest))
                return &key;
            continue;
        }
        if (!AllDigits(rest))
            continue;
        int64_t n = ParseInteger(rest).value_or(-1);
        switch (key.Family) {
        case KeyFamily::Slot:
            if (rest.size() == 1 && n >= 1 && n <= 8)
                return &key;
            break;
        case KeyFamily::Track:
            if (rest.size() == 2 && n >= 1 && n <= 64)
                return &key;
            break;
        case KeyFamily::TwoDigit:
            if (rest.size() == 2)
                return &key;
            break;
        case KeyFamily::None:
        case KeyFamily::Effect:
            break;
        }
    }
    return nullptr;
}

std::string_view SettingTypeName(SettingType pType)
{
    switch (pType) {
    case SettingType::Integer:
        return "integer";
    case SettingType::Short:
        return "short";
    case SettingType::Single:
        return "single";
    case SettingType::Text:
        return "text";
    }
    return "text";
}

bool IsValidSettingValue(const SettingKeyInfo& pKey, std::string_view pText)
{
    switch (pKey.Type) {
    case SettingType::Text:
        return pText.find('\n') == std::string_view::npos
            && pText.find('\r') == std::string_view::npos;
    case SettingType::Integer:
        return SettingTextToInt(pText).has_value();
    case SettingType::Short: {
        std::optional<int32_t> v = SettingTextToInt(pText);
        return v && *v >= INT16_MIN && *v <= INT16_MAX;
    }
    case SettingType::Single:
        return ParseNumber(pText).has_value();
    }
    return false;
}

} // namespace tarvok
