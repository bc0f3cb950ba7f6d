#include "gui/translations.h"

#include "base/i18n.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarvok {

int InstallTranslations(QObject& pOwner)
{
    // Qt's own dialogs speak the interface's language: Japanese needs Qt's Japanese texts,
    // English is what Qt has built in. The interface's own texts come from base/i18n.
    if (CurrentLanguage() != Language::Japanese)
        return 0;
    auto* translator = new QTranslator(&pOwner);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return 1;
    delete translator;
    return 0;
}

} // namespace tarvok
