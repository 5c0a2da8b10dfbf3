#pragma once
// The program's own Qt message boxes as a test meets them: looked at and answered once shown.

#include "support/TestSupport.h"
#include "ui/QtText.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Runs `inspect` on the message box once it is shown modally, then presses the button
// whose text is `press`.
inline void WhenBoxShows(std::function<void(QMessageBox*)> inspect, const AnsiString& press)
{
    QTimer::singleShot(0, [inspect, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        inspect(box);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == ToQString(press)) {
                button->click();
                return;
            }
        ADD_FAILURE() << "No button " << U8(press);
        box->reject();
    });
}
