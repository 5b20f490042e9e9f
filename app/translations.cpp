#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

Translations::Translations(const QLocale &locale)
{
    // The resources hold only the German file, so for any other language nothing is found.
    if (!own.load(locale, QStringLiteral("zel.logging"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return;
    QCoreApplication::installTranslator(&own);
    // Qt's texts in the language just found ("&Yes", "&No", "Cancel"), from Qt's own folder.
    if (qt.load(QLocale(own.language()), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
}
