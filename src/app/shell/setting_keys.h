#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

enum class SettingType { Integer, Short, Single, Text };

/// How a key name is formed: as it stands, or a prefix with a number appended.
enum class KeyFamily {
    None,
    Slot, ///< prefix + 1..8 (device slots, recent files)
    Track, ///< prefix + 01..64 (track number + 1)
    TwoDigit, ///< prefix + two digits (key and toolbar bindings)
    /// "FXParm_" + an effect's command + "-" + fader number (01..) or "_Check-" + check box
    /// number (01..): the effect dialogs' saved values
    Effect,
};

/// One key of the settings store with its type and default. A default of the unity level
/// (which depends on the fade table type) is marked by DefaultIsUnity.
struct SettingKeyInfo {
    std::string_view Name;
    SettingType Type;
    std::string_view Default;
    KeyFamily Family = KeyFamily::None;
    std::string_view Meaning = {};
    bool DefaultIsUnity = false;
    std::string_view Section = "tarvok2";
};

/// Every key the program stores, in the order the main window reads them.
const std::vector<SettingKeyInfo>& AllSettingKeys();

/// The table entry for a concrete key name ("nFreq", "DevOutID_3", "TrackName_12"),
/// compared without regard to case; nullptr for a name no entry describes.
const SettingKeyInfo* FindSettingKey(std::string_view pName);

std::string_view SettingTypeName(SettingType pType);

/// True when the text is a valid value for the key's type (any text for text keys).
bool IsValidSettingValue(const SettingKeyInfo& pKey, std::string_view pText);

} // namespace tarvok
