#pragma once

class QObject;

namespace tarvok {

/// Installs the translations of the window program: Qt's own texts (file dialogs,
/// standard buttons) in Japanese, the interface's language, and the program's own catalogue
/// from share/tarvok2/translations beside the program when one is there. The catalogues are
/// children of pOwner and leave the application with it. Returns how many were installed.
int InstallTranslations(QObject& pOwner);

} // namespace tarvok
