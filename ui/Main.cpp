// The program entry: the application, its main window and the message loop.

#include "ui/UFrmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    TFrmMain mainWindow;
    FrmMain = &mainWindow;
    mainWindow.show();
    const int result = application.exec();
    FrmMain = nullptr;
    return result;
}
