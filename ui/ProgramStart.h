#pragma once
// What the program sets up before its first window and keeps for as long as it runs: the
// application object (Qt's texts and formats in Russian whatever the system's locale),
// the C library's numbers in their fixed form, the program's icon, and the dialog service
// over Qt's message boxes and file dialogs.

#include "ui/Guard.h"
#include "ui/QtDialogService.h"

class TProgramStart {
public:
    TProgramStart(int& argc, char** argv);
    ~TProgramStart();
    TProgramStart(const TProgramStart&) = delete;
    TProgramStart& operator=(const TProgramStart&) = delete;

private:
    TApplication FApplication;
    TQtDialogService FDialogs;
};
