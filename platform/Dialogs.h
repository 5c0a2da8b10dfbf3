#pragma once
// Message boxes and file dialogs go through one service, so that the program's logic can
// ask questions without knowing about windows. The flag and answer values are those of
// the Windows message box, which the program's callers compare against.

#include "platform/AnsiString.h"

#include <optional>

namespace MessageBoxFlags {
// Buttons.
constexpr unsigned Ok = 0x00;
constexpr unsigned OkCancel = 0x01;
constexpr unsigned YesNoCancel = 0x03;
constexpr unsigned YesNo = 0x04;
constexpr unsigned ButtonMask = 0x0F;
// Icons.
constexpr unsigned IconError = 0x10;
constexpr unsigned IconQuestion = 0x20;
constexpr unsigned IconWarning = 0x30;
constexpr unsigned IconInformation = 0x40;
constexpr unsigned IconMask = 0xF0;
// The second button is the default one (a question whose safe answer is Cancel).
constexpr unsigned DefaultButton2 = 0x100;
}  // namespace MessageBoxFlags

namespace MessageBoxAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace MessageBoxAnswer

// One file dialog: its title, the filter ("Текст (*.txt)|*.txt|Все файлы (*.*)|*.*"),
// the folder and file name it starts with, and the extension added to a bare name.
struct TFileDialogRequest {
    AnsiString Title;
    AnsiString Filter;
    AnsiString InitialDir;
    AnsiString FileName;
    AnsiString DefaultExt;
};

class TDialogService {
public:
    virtual ~TDialogService() = default;
    // Shows the text under the caption with the buttons and icon of the flags; returns the
    // answer code of the button pressed.
    virtual int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<AnsiString> OpenFileName(const TFileDialogRequest& request) = 0;
    virtual std::optional<AnsiString> SaveFileName(const TFileDialogRequest& request) = 0;
    // The chosen folder, or nothing when the user cancelled.
    virtual std::optional<AnsiString> BrowseFolder(const AnsiString& title, const AnsiString& initialDir) = 0;
};

// The service in use. Until one is installed, every call raises an Exception, so that a
// question asked where nobody can answer it is never taken as answered.
TDialogService& Dialogs();
// Installs a service (not owned); null uninstalls. Returns the previous one.
TDialogService* SetDialogService(TDialogService* service);
