#include "ui/UFrmMain.h"

#include "platform/VersionInfo.h"
#include "ui/QtText.h"

#include <QMdiArea>

#include <string>

TFrmMain* FrmMain = nullptr;

TFrmMain::TFrmMain(QWidget* parent) : QMainWindow(parent), FMdiArea(new QMdiArea(this))
{
    setCentralWidget(FMdiArea);
    setWindowTitle(ToQString(AnsiString("Экспорт в Вельтон-Банк ") + std::to_string(VELTON_VERSION_MAJOR) + "." +
                             std::to_string(VELTON_VERSION_MINOR)));
}
