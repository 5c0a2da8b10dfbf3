#pragma once
// Qt's own texts (the buttons of the standard dialogs, the file and print dialogs, their
// messages) in Russian, from Qt's translation catalogues.

#include <QString>
#include <QTranslator>

#include <memory>

// Loads Qt's Russian catalogue from the folder and installs it in the application; it
// stays installed while the result lives. Without a catalogue there (the translations
// are not installed) the result is empty and Qt speaks English: no error.
std::unique_ptr<QTranslator> InstallQtTranslation(const QString& folder);

// The folder of Qt's own translation catalogues.
QString QtTranslationsFolder();

// The locale in which Qt speaks for the program: Russian, whatever the system's, since the
// whole interface is Russian. Qt's own dialogs take their sizes, dates and type names from
// it. The program's own numbers and dates never go through QLocale: they keep the fixed
// formats ("1750.50", "dd/mm/yyyy") under any locale.
void UseProgramLocale();
