// The dialogs on the screen the program runs on: CTest runs these on small screens too
// (1024 x 768, 1366 x 768 at 125 % and a low one).

#include "documents/Exportfiles.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The dialog with its frame fits the screen's work area, the button stands whole in
// the dialog, and every control of the content comes into view as the content scrolls
// to it.
void ExpectFitsWithButtonInReach(QDialog& dialog, const QPushButton& button)
{
    QCoreApplication::processEvents();   // as the user sees it: laid out
    EXPECT_TRUE(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    EXPECT_TRUE(dialog.rect().contains(QRect(button.mapTo(&dialog, QPoint(0, 0)), button.size())));
    auto* area = dialog.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    for (QWidget* control : area->widget()->findChildren<QWidget*>()) {
        if (!control->isVisible() || !(control->focusPolicy() & Qt::TabFocus))
            continue;
        area->ensureWidgetVisible(control);
        const QRect shown(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(area->viewport()->rect().contains(shown)) << control->metaObject()->className();
    }
}

}  // namespace

TEST(SmallScreen, TheProfileEditorFitsWithItsButtonsInView)
{
    TFrmEditProfile dialog;
    dialog.show();
    ExpectFitsWithButtonInReach(dialog, *dialog.BtnOk);

    // Tab twice round the dialog, from the top: each control that takes the focus is in
    // view.
    QScrollArea& area = *dialog.findChild<QScrollArea*>();
    area.verticalScrollBar()->setValue(0);
    dialog.activateWindow();
    QCoreApplication::processEvents();
    for (int step = 0; step < 2 * 64; ++step) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        const QRect shown(focused->mapTo(&dialog, QPoint(0, 0)), focused->size());
        if (area.widget()->isAncestorOf(focused))
            EXPECT_TRUE(QRect(area.viewport()->mapTo(&dialog, QPoint(0, 0)), area.viewport()->size()).contains(shown))
                << focused->metaObject()->className() << " at step " << step;
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(focused, &tab);
    }
}

TEST(SmallScreen, TheRecordEditorOfTheLongestKindFitsWithItsButtonsInView)
{
    // Centred over a low main window at the top of the screen, the dialog would stand out
    // above it.
    TFrmMain main;
    FrmMain = &main;
    main.setGeometry(0, 0, 698, 300);
    main.show();
    TFrmEditRecord dialog;
    const TDocTypeInfo& kind = ExportDocTypes[1];
    for (int i = 0; i < kind.FieldCount; ++i)
        dialog.Rows().Add(kind.Columns[i].Caption, '?', "", "", false);
    QTimer::singleShot(0, &dialog, [&dialog] {
        ExpectFitsWithButtonInReach(dialog, *dialog.BtnCancel);
        dialog.reject();
    });
    dialog.Execute(nullptr, false);
    FrmMain = nullptr;
}
