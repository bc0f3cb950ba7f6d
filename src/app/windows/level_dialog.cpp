#include "app/windows/level_dialog.h"

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/fade_table.h"
#include "core/load_file_to_track.h"
#include "core/project.h"
#include "core/user_interface.h"
#include "edit/block_edit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvok {

namespace {

constexpr const char* kInvalidValue = N_("値が不正です");

/// The value of one box: the opening value when the text is unchanged or not a number,
/// nothing for a number a single-precision level cannot hold.
std::optional<double> ReadBox(
    const std::string& pText, const std::string& pShown, double pOpening, bool& pInvalid)
{
    if (pText == pShown)
        return pOpening;
    std::optional<double> number = ParseNumber(Trim(pText));
    if (!number)
        return pOpening;
    if (!std::isfinite(*number) || std::fabs(*number) > std::numeric_limits<float>::max()) {
        pInvalid = true;
        return std::nullopt;
    }
    return *number;
}

} // namespace

LevelDialogModel LevelDialogModel::ForBlock(const Project& pProject, int32_t pBlock)
{
    const Block& b = pProject.Blocks.at(static_cast<size_t>(pBlock));
    return LevelDialogModel(b.LevelL, b.LevelR, false);
}

LevelDialogModel LevelDialogModel::ForTrack(const Project& pProject, int32_t pTrack)
{
    const Track& t = pProject.Tracks.at(static_cast<size_t>(pTrack));
    return LevelDialogModel(LevelIndexToDb(pProject.Fades, t.LevelL),
        LevelIndexToDb(pProject.Fades, t.LevelR), t.LevelLinked != 0);
}

LevelDialogModel::LevelDialogModel(double pLeftDb, double pRightDb, bool pLinked)
    : leftDb_(pLeftDb)
    , rightDb_(pRightDb)
    , linked_(pLinked)
    , leftText_(FieldText(pLeftDb))
    , rightText_(FieldText(pRightDb))
    , shownLeft_(leftText_)
    , shownRight_(rightText_)
{
}

std::string LevelDialogModel::FieldText(double pDb)
{
    const int64_t tenths
        = std::isfinite(pDb) ? RoundHalfEven(std::clamp(pDb, -1e12, 1e12) * 10.0) : 0;
    const int64_t magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = tenths < 0 ? "-" : "";
    return text + ZeroPad(magnitude / 10, 2) + "." + std::to_string(magnitude % 10);
}

void LevelDialogModel::SetLeftText(const std::string& pText)
{
    leftText_ = pText;
    if (linked_)
        rightText_ = pText;
}

void LevelDialogModel::SetRightText(const std::string& pText)
{
    if (!linked_)
        rightText_ = pText;
}

std::optional<std::pair<double, double>> LevelDialogModel::Confirm(UserInterface& pUi) const
{
    bool invalid = false;
    std::optional<double> left = ReadBox(leftText_, shownLeft_, leftDb_, invalid);
    std::optional<double> right
        = linked_ ? left : ReadBox(rightText_, shownRight_, rightDb_, invalid);
    if (invalid || !left || !right) {
        pUi.ShowError(Tr(kInvalidValue));
        return std::nullopt;
    }
    return std::make_pair(*left, *right);
}

bool ApplyBlockLevel(MainLogic& pLogic, int32_t pBlock, double pLeftDb, double pRightDb)
{
    if (pBlock < 0 || pBlock >= pLogic.Proj().BlockCount())
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    SetBlockLevel(pLogic.Proj(), pBlock, static_cast<float>(pLeftDb), static_cast<float>(pRightDb));
    pLogic.EndProc();
    return true;
}

bool ApplyTrackLevel(MainLogic& pLogic, int32_t pTrack, double pLeftDb, double pRightDb)
{
    Project& p = pLogic.Proj();
    if (pTrack < 0 || pTrack >= p.TrackCount())
        return false;
    Track& t = p.Tracks[static_cast<size_t>(pTrack)];
    const int32_t left = LevelIndexFromDb(p.Fades, pLeftDb);
    const int32_t right = t.LevelLinked != 0 ? left : LevelIndexFromDb(p.Fades, pRightDb);
    if (left == t.LevelL && right == t.LevelR)
        return false;
    t.LevelL = left;
    t.LevelR = right;
    p.Saved = false;
    pLogic.Ui().RequestRedraw(RedrawArea::Tracks);
    return true;
}

std::string CleanedName(const std::string& pText) { return CleanBlockName(Trim(pText)); }

bool ApplyBlockName(MainLogic& pLogic, int32_t pBlock, const std::string& pName)
{
    Project& p = pLogic.Proj();
    if (pBlock < 0 || pBlock >= p.BlockCount()
        || p.Blocks[static_cast<size_t>(pBlock)].Name == pName)
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    p.Blocks[static_cast<size_t>(pBlock)].Name = pName;
    pLogic.EndProc();
    return true;
}

bool ApplyTrackName(MainLogic& pLogic, int32_t pTrack, const std::string& pName)
{
    Project& p = pLogic.Proj();
    if (pTrack < 0 || pTrack >= p.TrackCount()
        || p.Tracks[static_cast<size_t>(pTrack)].Name == pName)
        return false;
    if (!pLogic.StartProc(1, 0))
        return false;
    p.Tracks[static_cast<size_t>(pTrack)].Name = pName;
    pLogic.EndProc();
    return true;
}

} // namespace tarvok
