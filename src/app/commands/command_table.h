#pragma once

#include "core/command_ids.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class Settings;

/// Columns of the command table.
inline constexpr int kCommandDescription = 0; ///< menu caption, tooltip, list entry
inline constexpr int kCommandIdColumn = 1; ///< ASCII identifier; the stored form of a binding
inline constexpr int kCommandLabel = 2; ///< short text of a toolbar button

/// The text of row pIndex in column pColumn; empty for any index outside 0..144 or any
/// other column. Descriptions and labels come in the current language (see base/i18n.h),
/// IDs always as they are stored.
std::string_view GetCommandText(int32_t pIndex, int pColumn);

/// The lowest index whose text in pColumn (as GetCommandText gives it) equals pText exactly
/// (case-sensitive); -1 when pText is empty or no row matches. Row 0 takes part: "N/A" finds 0.
int32_t FindCommand(std::string_view pText, int pColumn = kCommandIdColumn);

inline constexpr int kFunctionKeyCount = 12;
inline constexpr int32_t kDefaultToolbarCount = 16;

/// Which command each function key, the Space bar and each toolbar button runs.
struct KeyAssignment {
    std::array<int32_t, kFunctionKeyCount> FKeyCommands {};
    int32_t SpaceCommand = kCmdPlay;
    /// Number of toolbar buttons; 0 only after the settings window removed every row.
    int32_t ToolbarCount = kDefaultToolbarCount;
    /// At least one entry; ToolbarCount entries when ToolbarCount > 0.
    std::vector<int32_t> ToolbarCommands;

    bool operator==(const KeyAssignment&) const = default;
};

/// The bindings of a fresh installation.
KeyAssignment DefaultKeyAssignment();

/// Reads the bindings from the settings ("fkeyfct-NN", "kbfct-01", "NumTBFCT", "tbfct-NN").
/// A stored ID that matches no row keeps the default; "NumTBFCT" below 1 reads as 1.
KeyAssignment LoadKeyAssignment(const Settings& pSettings);

/// Writes every binding and "NumTBFCT" as IDs, so that LoadKeyAssignment reads them back.
/// A binding outside the table is stored empty (the default at the next start). Settings
/// "tbfct-NN" beyond the count are left alone.
bool SaveKeyAssignment(Settings& pSettings, const KeyAssignment& pAssignment);

/// The settings window's OK for the keyboard and toolbar tabs. pKeyRows: the descriptions
/// shown for F1..F12 and space (13 rows; missing rows count as empty); pToolbarRows: one
/// description per toolbar row. A row whose text is no description keeps the key's binding
/// in memory and stores an empty setting. The toolbar is rebuilt from the rows alone.
void ApplyAssignmentRows(KeyAssignment& pAssignment, Settings& pSettings,
    const std::vector<std::string>& pKeyRows, const std::vector<std::string>& pToolbarRows);

/// The commands the assignment lists offer, in index order: every one but 14..19.
std::vector<int32_t> AssignableCommands();

/// Width of the toolbar strip in twips for pCount buttons at display size factor pSizeRate.
int32_t ToolbarWidthTwips(int32_t pCount, double pSizeRate);

/// Keys that run commands, numbered like the common desktop virtual-key codes so that they
/// fit a 16-bit "last key down" slot. The GUI maps its keys here.
enum class CommandKey : int16_t {
    None = 0,
    Escape = 27,
    Space = 32,
    Home = 36,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    A = 65,
    C = 67,
    J = 74,
    N = 78,
    O = 79,
    S = 83,
    V = 86,
    X = 88,
    Y = 89,
    Z = 90,
    KeypadPlus = 107,
    KeypadMinus = 109,
    F1 = 112,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    Plus = 187,
    Minus = 189,
};

/// Modifier bits; a key is "alone" when the sum is 0.
inline constexpr int kModShift = 1;
inline constexpr int kModCtrl = 2;
inline constexpr int kModAlt = 4;

/// The command a released key runs, or nothing. pPlaying: playback runs (PlayMode not 0);
/// a Space bound to PLAY_WHOLE then runs STOP. Does not know about SpaceUsed (see
/// KeyboardState).
std::optional<int32_t> CommandForKey(
    CommandKey pKey, int pModifiers, const KeyAssignment& pAssignment, bool pPlaying);

/// The key that runs command pId, as a menu shows it ("Ctrl+Z", "F5", "Space", "Esc"), or
/// empty when no key runs it. The function keys and Space follow pAssignment.
std::string KeyTextOfCommand(int32_t pId, const KeyAssignment& pAssignment);

/// True for the keys whose release must not reach the window system afterwards (F4, F10).
bool KeyIsConsumedAfterRelease(CommandKey pKey);

/// The command of one wheel notch: SCRUB_PLUSW turned towards the user, SCRUB_MINUSW away.
int32_t CommandForWheel(bool pTowardsUser);

/// The main window's key state: presses only record the key; commands run on release.
/// A mouse click in the track area while Space is held uses up that Space press.
class KeyboardState {
public:
    void KeyDown(CommandKey pKey) { lastKeyDown_ = pKey; }
    /// The command to run for a released key, or nothing; clears the recorded key.
    std::optional<int32_t> KeyUp(
        CommandKey pKey, int pModifiers, const KeyAssignment& pAssignment, bool pPlaying);
    /// A mouse button went down in the track area: true (and the next Space release runs
    /// nothing) when Space is held, so that the click sets a mark instead.
    bool MouseDownInTracks();
    CommandKey LastKeyDown() const { return lastKeyDown_; }
    bool SpaceUsed() const { return spaceUsed_; }

private:
    CommandKey lastKeyDown_ = CommandKey::None;
    bool spaceUsed_ = false;
};

} // namespace tarvok
