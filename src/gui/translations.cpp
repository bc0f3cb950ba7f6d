#include "gui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarvok {

int InstallTranslations(QObject& pOwner)
{
    int installed = 0;
    auto install = [&](const QLocale& pLocale, const QString& pName, const QString& pFolder) {
        auto* translator = new QTranslator(&pOwner);
        if (translator->load(pLocale, pName, QStringLiteral("_"), pFolder)
            && QCoreApplication::installTranslator(translator)) {
            ++installed;
            return;
        }
        delete translator;
    };
    // The interface speaks Japanese, so Qt's own dialogs do too, whatever the locale.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    install(japanese, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    install(QLocale(), QStringLiteral("tarvok2"),
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tarvok2/translations"));
    return installed;
}

} // namespace tarvok
