#pragma once

class QObject;

namespace tarvok {

/// Installs Qt's own texts (file dialogs, standard buttons) in Japanese when the interface is
/// Japanese (base/i18n's current language); in English Qt needs none. The catalogue is a
/// child of pOwner and leaves the application with it. Returns how many were installed.
int InstallTranslations(QObject& pOwner);

} // namespace tarvok
