#include "cli/cli_app.h"

namespace tarvok {

int RunCli(const std::vector<std::string>& pArgs, std::ostream& pOut, std::ostream& pErr)
{
    (void)pArgs;
    (void)pOut;
    (void)pErr;
    return 0;
}

} // namespace tarvok
