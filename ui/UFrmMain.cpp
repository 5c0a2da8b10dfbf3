#include "ui/UFrmMain.h"

#include "platform/VersionInfo.h"
#include "ui/QtText.h"

#include <QMdiArea>

TFrmMain* FrmMain = nullptr;

TFrmMain::TFrmMain(QWidget* parent) : QMainWindow(parent), FMdiArea(new QMdiArea(this))
{
    setCentralWidget(FMdiArea);
    setWindowTitle(ToQString(AnsiString("Экспорт в Вельтон-Банк ") + VELTON_FILE_VERSION));
}
