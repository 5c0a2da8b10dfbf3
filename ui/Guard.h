#pragma once
// The one way an error reaches the user from a window: no exception may leave a slot, a
// timer or an event handler into Qt's event loop (Qt's own frames would be unwound without
// their clean-up). Every handler runs its body through Guarded, which shows what was thrown
// in the standard error box: the message with a final ".", captioned with the
// application title, with the error icon.

#include "platform/AnsiString.h"

#include <QApplication>
#include <QTranslator>

#include <exception>
#include <memory>
#include <utility>

// The text of the standard error box: the message with a final "." unless it already ends
// with one (an empty message stays empty).
AnsiString ErrorBoxText(const AnsiString& message);

// Shows the error in the standard error box. Never throws: when even the box fails, the
// message goes to the standard error stream.
void ShowException(const std::exception& error) noexcept;
// A thrown object that is no std::exception: shown as an Exception with an empty message.
void ShowUnknownException() noexcept;

// Runs the action; whatever it throws is shown in the standard error box and goes no further.
template <typename TAction>
void Guarded(TAction&& action) noexcept
{
    try {
        std::forward<TAction>(action)();
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowUnknownException();
    }
}

// The application object of the program. Its event delivery is the message loop's default
// handler: an exception that a handler let through is shown in the standard error box
// instead of ending the program. Qt's own dialogs and buttons speak Russian when Qt's
// translations are installed, and Qt formats for them in Russian whatever the system's
// locale.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::unique_ptr<QTranslator> FQtTranslation;
};
