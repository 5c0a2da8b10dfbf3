// The guard every window handler runs through, and the about box.

#include "ui/Guard.h"
#include "ui/QtText.h"
#include "ui/UFrmAbout.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QLabel>

#include <new>

namespace {
constexpr unsigned ErrorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;
}

TEST(Guard, ShowsWhatWasThrownInTheStandardErrorBox)
{
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Файл не существует: /tmp/x.ini.", MessageBoxAnswer::Ok, ErrorBox)
        .ExpectMessage("std::bad_alloc.", MessageBoxAnswer::Ok, ErrorBox)
        .ExpectMessage("", MessageBoxAnswer::Ok, ErrorBox);
    Guarded([] { throw Exception("Файл не существует: /tmp/x.ini"); });
    Guarded([] { throw std::bad_alloc(); });
    Guarded([] { throw "text"; });
    ASSERT_EQ(dialogs.Asked().size(), 3u);
    EXPECT_ANSI_EQ(dialogs.Asked()[0].Caption, "Экспорт в Вельтон-Банк");
}

TEST(Guard, AnErrorBoxThatCannotBeShownDoesNotThrow)
{
    TDialogService* previous = SetDialogService(nullptr);
    EXPECT_NO_THROW(Guarded([] { throw Exception("Нет окна для сообщения"); }));
    SetDialogService(previous);
}

TEST(AboutBox, NamesTheProgramItsShortVersionAndSupport)
{
    EXPECT_ANSI_EQ(AboutText(),
                   "\"Экспорт в Вельтон-Банк\"\nВерсия: 1.0\nПрограмма является частью системы\n"
                   "\"Мирдан\" ОАО \"Вельтон-Банк\"\nТехническая поддержка\nsupport@velton-bank.ru");
    TFrmAbout about;
    EXPECT_ANSI_EQ(FromQString(about.windowTitle()), "О программе");
    EXPECT_ANSI_EQ(FromQString(about.LblAbout->text()), AboutText());
}
