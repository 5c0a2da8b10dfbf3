#include "ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

std::unique_ptr<QTranslator> InstallQtTranslation(const QString& folder)
{
    // "qtbase_ru" holds the widgets' texts; "qt_ru" is the catalogue that gathers all of
    // Qt's modules, for an installation that has only that one.
    for (const QString& name : {QStringLiteral("qtbase_ru"), QStringLiteral("qt_ru")}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator.get()))
            return translator;
    }
    return nullptr;
}

QString QtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

void UseProgramLocale()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}
