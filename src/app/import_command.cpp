#include "app/main_logic.h"

namespace tarvok {

bool MainLogic::ImportSoundFile(int32_t, const std::string&, int32_t, bool)
{
    ui_.ShowMessage("ファイル形式が違います");
    return false;
}

} // namespace tarvok
