#include "ui/QtDialogService.h"
#include "ui/QtText.h"

#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

// Runs `inspect` on the message box once it is shown modally, then presses the button
// whose text is `press`.
void WhenBoxShows(std::function<void(QMessageBox*)> inspect, const AnsiString& press)
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

QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

}  // namespace

TEST(QtDialogService, TheTextIsPlainAndButtonsIconsAndAnswersFollowTheWindowsFlags)
{
    TQtDialogService service;
    WhenBoxShows(
        [](QMessageBox* box) {
            EXPECT_ANSI_EQ(FromQString(box->windowTitle()), "Экспорт в Вельтон-Банк");
            EXPECT_ANSI_EQ(FromQString(box->text()), "Удалить <b>запись</b>?");
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(ButtonTexts(box), (QStringList{ToQString("Да"), ToQString("Нет")}));
        },
        "Нет");
    EXPECT_EQ(service.MessageBox("Удалить <b>запись</b>?", "Экспорт в Вельтон-Банк",
                                 MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion),
              MessageBoxAnswer::No);

    WhenBoxShows(
        [](QMessageBox* box) {
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->buttons().size(), 3);
        },
        "Отмена");
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::YesNoCancel | MessageBoxFlags::IconWarning),
              MessageBoxAnswer::Cancel);
    WhenBoxShows([](QMessageBox* box) { EXPECT_EQ(box->icon(), QMessageBox::Critical); }, "OK");
    EXPECT_EQ(service.MessageBox("Ошибка.", "t", MessageBoxFlags::Ok | MessageBoxFlags::IconError),
              MessageBoxAnswer::Ok);

    // A question whose safe answer is Cancel makes it the default button.
    WhenBoxShows([](QMessageBox* box) { EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Cancel)); }, "OK");
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::OkCancel | MessageBoxFlags::DefaultButton2),
              MessageBoxAnswer::Ok);

    // Closing the box answers Cancel where there is one.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::OkCancel), MessageBoxAnswer::Cancel);
}

TEST(QtDialogService, WindowsFiltersBecomeQtNameFilters)
{
    EXPECT_ANSI_EQ(QtNameFilters("Текст (*.txt)|*.txt|Все файлы (*.*)|*.*"), "Текст (*.txt);;Все файлы (*.*)");
    EXPECT_ANSI_EQ(QtNameFilters("Таблицы|*.dbf;*.DBF"), "Таблицы (*.dbf *.DBF)");
    EXPECT_ANSI_EQ(QtNameFilters(""), "");
}
