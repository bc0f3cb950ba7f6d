#include "cli/cli_app.h"

#include "base/i18n.h"
#include "core/paths.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Messages follow the locale (Japanese for ja*, English otherwise); --lang overrides it.
    tarvok::SetLanguage(tarvok::LanguageFromEnvironment(), tarvok::EnglishCatalogueFile());
    std::vector<std::string> args(argv + 1, argv + argc);
    return tarvok::RunCli(args, std::cout, std::cerr);
}
