// The guard every window handler runs through.

#include "ui/Guard.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <new>

namespace {
constexpr unsigned ErrorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;
}

TEST(Guard, ShowsWhatWasThrownInTheStandardErrorBox)
{
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Файл не существует: /tmp/x.ini.", MessageBoxAnswer::Ok, ErrorBox)
        .ExpectMessage("Файл не найден.", MessageBoxAnswer::Ok, ErrorBox)   // no second full stop
        .ExpectMessage("std::bad_alloc.", MessageBoxAnswer::Ok, ErrorBox)
        .ExpectMessage("", MessageBoxAnswer::Ok, ErrorBox);
    Guarded([] { throw Exception("Файл не существует: /tmp/x.ini"); });
    Guarded([] { throw Exception("Файл не найден."); });
    Guarded([] { throw std::bad_alloc(); });
    Guarded([] { throw "text"; });
    ASSERT_EQ(dialogs.Asked().size(), 4u);
    EXPECT_ANSI_EQ(dialogs.Asked()[0].Caption, "Экспорт в Вельтон-Банк");
}

TEST(Guard, AnErrorBoxThatCannotBeShownDoesNotThrow)
{
    TDialogService* previous = SetDialogService(nullptr);
    EXPECT_NO_THROW(Guarded([] { throw Exception("Нет окна для сообщения"); }));
    SetDialogService(previous);
}
