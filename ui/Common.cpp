#include "ui/Common.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

void ShowAndRestore(QWidget* window)
{
    // A document window lives inside a frame of the multiple-document area: restore and
    // raise the frame, not the widget inside it.
    QWidget* frame = window;
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame = subWindow;
    if (frame->isMinimized())
        frame->showNormal();
    else
        frame->show();
    frame->raise();
    frame->activateWindow();
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(frame); subWindow && subWindow->mdiArea())
        subWindow->mdiArea()->setActiveSubWindow(subWindow);
}
