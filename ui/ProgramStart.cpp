#include "ui/ProgramStart.h"

#include "platform/Dialogs.h"
#include "ui/Images.h"

#include <clocale>

TProgramStart::TProgramStart(int& argc, char** argv) : FApplication(argc, argv)
{
    QApplication::setWindowIcon(AppIcon());
    // Qt takes the locale from the environment; the program's numbers never depend on it.
    std::setlocale(LC_NUMERIC, "C");
    SetDialogService(&FDialogs);
}

TProgramStart::~TProgramStart()
{
    SetDialogService(nullptr);
}
