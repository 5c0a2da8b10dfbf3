#pragma once
// The dialog service over Qt: message boxes and file dialogs of the running program.

#include "platform/Dialogs.h"

class QWidget;

class TQtDialogService : public TDialogService {
public:
    int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override;
    std::optional<AnsiString> OpenFileName(const TFileDialogRequest& request) override;
    std::optional<AnsiString> SaveFileName(const TFileDialogRequest& request) override;
    std::optional<AnsiString> BrowseFolder(const AnsiString& title, const AnsiString& initialDir) override;
};

// "Текст (*.txt)|*.txt|Все файлы (*.*)|*.*" -> Qt's "Текст (*.txt);;Все файлы (*.*)".
AnsiString QtNameFilters(const AnsiString& filter);
