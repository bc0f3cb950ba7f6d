#include "app/block_commands.h"

#include "app/main_logic.h"

namespace tarvok {

bool IsBlockCommand(int32_t) { return false; }

bool RunBlockCommand(MainLogic&, int32_t) { return false; }

bool MoveBlockByDrag(MainLogic&, int32_t, int32_t, int32_t) { return false; }

} // namespace tarvok
