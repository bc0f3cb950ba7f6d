#pragma once

#include "app/shell/main_logic.h"
#include "base/progress.h"

namespace tarvok {

/// The Progress of a long command of the main window: hands the fraction to pOuter (when
/// given) and says stop when pOuter does or when the user asked to cancel
/// (MainLogic::CancelRequest, which it then clears, so that one request stops one command).
inline Progress CancelRequestProgress(MainLogic& pLogic, Progress pOuter = {})
{
    return Progress([&pLogic, outer = std::move(pOuter)](double pRate, std::string_view pText) {
        const bool goOn = outer(pRate, pText);
        if (pLogic.CancelRequest) {
            pLogic.CancelRequest = false;
            return false;
        }
        return goOn;
    });
}

} // namespace tarvok
