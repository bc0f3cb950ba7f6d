#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tarvok {

class MainLogic;
class Project;
class UserInterface;

/// The level dialog without a window: two dB texts, left and right, formatted "00.0"; for a
/// linked track the right box is disabled and follows the left one. OK reads the texts back
/// as dB values; the track form turns them into fader level indices.
class LevelDialogModel {
public:
    /// For block pBlock: its LevelL and LevelR.
    static LevelDialogModel ForBlock(const Project& pProject, int32_t pBlock);
    /// For track pTrack: the dB values of its fader levels; a linked track disables the
    /// right box.
    static LevelDialogModel ForTrack(const Project& pProject, int32_t pTrack);
    /// Any two values, the right box enabled unless pLinked.
    LevelDialogModel(double pLeftDb, double pRightDb, bool pLinked);

    /// A dB value as the boxes show it: at least two integer digits and one decimal
    /// ("00.0", "-03.5", "12.3").
    static std::string FieldText(double pDb);

    const std::string& LeftText() const { return leftText_; }
    const std::string& RightText() const { return rightText_; }
    bool RightEnabled() const { return !linked_; }
    /// Sets the left text; while the right box is disabled the right text follows.
    void SetLeftText(const std::string& pText);
    void SetRightText(const std::string& pText);

    /// OK: the two values in dB. A text that is not a number keeps its value, and so does a
    /// text left as it was shown, so that OK on an unchanged dialog changes nothing even
    /// though the boxes show only tenths. A number no level can hold shows "値が不正です"
    /// (error icon) and gives nothing.
    std::optional<std::pair<double, double>> Confirm(UserInterface& pUi) const;

private:
    double leftDb_;
    double rightDb_;
    bool linked_;
    std::string leftText_;
    std::string rightText_;
    std::string shownLeft_;
    std::string shownRight_;
};

/// Stores block levels as one undoable edit. False when edits are refused now or the block
/// does not exist.
bool ApplyBlockLevel(MainLogic& pLogic, int32_t pBlock, double pLeftDb, double pRightDb);

/// Sets a track's fader levels to the highest level indices whose dB values are not above
/// the values given (both to the left value for a linked track) and asks for a redraw, as a
/// fader move does. False when the track does not exist or nothing changed.
bool ApplyTrackLevel(MainLogic& pLogic, int32_t pTrack, double pLeftDb, double pRightDb);

/// The rename dialog's answer: the text trimmed and cleaned as block names are.
std::string CleanedName(const std::string& pText);

/// Renames block pBlock (or, with pTrack set, the track) as one undoable edit when the
/// name changes. False when refused, unchanged or out of range.
bool ApplyBlockName(MainLogic& pLogic, int32_t pBlock, const std::string& pName);
bool ApplyTrackName(MainLogic& pLogic, int32_t pTrack, const std::string& pName);

} // namespace tarvok
