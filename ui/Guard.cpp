#include "ui/Guard.h"

#include "documents/Common.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "ui/QtTranslation.h"

#include <cstdio>

AnsiString ErrorBoxText(const AnsiString& message)
{
    if (message.empty() || message.back() == '.')
        return message;
    return message + ".";
}

namespace {

void ShowMessageText(const AnsiString& message) noexcept
{
    try {
        AppMessageBox(ErrorBoxText(message), MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    } catch (...) {
        // No box could be shown (no dialog service, out of memory): the message must still
        // reach somebody.
        try {
            std::fprintf(stderr, "%s\n", AnsiToUtf8(message).c_str());
        } catch (...) {
        }
    }
}

}  // namespace

void ShowException(const std::exception& error) noexcept
{
    // Our own exceptions carry CP1251 text; what() of a library's exception is plain ASCII,
    // which CP1251 shows as it stands.
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        ShowMessageText(own->Message());
    else
        ShowMessageText(error.what());
}

void ShowUnknownException() noexcept
{
    ShowMessageText(AnsiString());
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), FQtTranslation(InstallQtTranslation(QtTranslationsFolder()))
{
    UseProgramLocale();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
