// The program entry: the application, its main window and the message loop.

#include "ui/QtDialogService.h"
#include "ui/UFrmMain.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv)
{
    // A write to a pipe whose reader has gone comes back as an error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    TQtDialogService dialogs;
    SetDialogService(&dialogs);
    TFrmMain mainWindow;
    FrmMain = &mainWindow;
    mainWindow.show();
    const int result = application.exec();
    FrmMain = nullptr;
    SetDialogService(nullptr);
    return result;
}
