#pragma once

#include <cstdint>

namespace tarvok {

class MainLogic;

/// True for the range-editing, mark and head commands (ERASE .. SELALL, MARKIN_*,
/// MARKOUT_*, HEAD_*).
bool IsRangeCommand(int32_t pId);

/// Runs one of those commands with its own checks and messages; false when the ID is not
/// one of them or the command was refused or did nothing.
bool RunRangeCommand(MainLogic& pLogic, int32_t pId);

} // namespace tarvok
