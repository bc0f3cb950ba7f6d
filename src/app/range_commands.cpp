#include "app/range_commands.h"

#include "app/main_logic.h"

namespace tarvok {

bool IsRangeCommand(int32_t) { return false; }

bool RunRangeCommand(MainLogic&, int32_t) { return false; }

} // namespace tarvok
