// The reference-list and reply-list windows over stores in a temporary data folder: what
// they show, the switch between lists, the searches, the reload that a receive triggers,
// a reload that fails, and saving and exporting what they show.

#include "StoreRows.h"
#include "exchange/ExchangeProfile.h"

#include "documents/Internals.h"
#include "exchange/Incoming.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/ListGrids.h"
#include "ui/QtText.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmReplyFiles.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

#include <gmock/gmock.h>

#include <filesystem>
#include <memory>

namespace {

using ::testing::ElementsAre;

// The rows of a list as the view shows them, cells joined by "|".
std::vector<std::string> Rows(const QTableView& view)
{
    std::vector<std::string> rows;
    const QAbstractItemModel& model = *view.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        std::string text;
        for (int column = 0; column < model.columnCount(); ++column)
            text += (column ? "|" : "") + FromQString(model.index(row, column).data().toString());
        rows.push_back(text);
    }
    return rows;
}

// The grid's columns: caption and width in characters of the grid's width unit.
std::vector<std::string> Captions(const TRecordViewGrid& grid)
{
    std::vector<std::string> captions;
    const int unit = ColumnWidthUnit(&grid);
    for (const TGridColumn& column : grid.Model()->Columns())
        captions.push_back(column.Caption + " " +
                           std::to_string(grid.horizontalHeader()->sectionSize(static_cast<int>(captions.size())) / unit));
    return captions;
}

AnsiString Title(const QWidget& window)
{
    return FromQString(window.windowTitle());
}

class ListWindowsTest : public ::testing::Test {
protected:
    ListWindowsTest() { FrmFind = &Find; }
    ~ListWindowsTest() override { FrmFind = nullptr; }

    AnsiString Etalons() const { return Dir.File("Cache/ABC.ETALONS"); }
    AnsiString Replies() const { return Dir.File("Cache/ABC.NEWCLIREPLY"); }

    // Runs a search in the open find dialog.
    void Search(const AnsiString& value)
    {
        Find.CmbValue->setEditText(ToQString(value));
        Find.BtnFindClick();
    }

    TTempDir Dir;
    TScriptedDialogs Dialogs;
    TFrmFind Find;
};

class EtalonsWindowTest : public ListWindowsTest {
protected:
    EtalonsWindowTest()
    {
        AppendStoreRow<TEtalons>(Etalons(), {"ЯКОВЛЕВ;000000000003\r\nабрамов;000000000001\r\nБорисов;000000000002\r\n",
                                              "SAL", "05/03/2024"});
        AppendStoreRow<TEtalons>(Etalons(), {"40702810000000000002\r\n40702810000000000001\r\n", "com", "06/03/2024"});
        Window = std::make_unique<TFrmEtalons>();
        Window->Reload();
    }

    TExchangeProfile Profile{Dir, {"Salary.EtalonTypes=COM,SAL"}};
    std::unique_ptr<TFrmEtalons> Window;
};

TEST_F(EtalonsWindowTest, ShowsEachLoadedListSortedUnderItsDateAndSwitchesBetweenThem)
{
    // The types come in the table's order, whatever the profile's order.
    ASSERT_EQ(Window->MnuEtalonType->actions().size(), 2);
    EXPECT_ANSI_EQ(FromQString(Window->MnuEtalonType->actions()[1]->text()), EtalonTypeInfos[2].Title);
    EXPECT_ANSI_EQ(Title(*Window), "Эталонный список 12-значных счетов клиентов (c" "формирован 05/03/2024)");
    EXPECT_EQ(Title(*Window)[45], 'c');   // Latin
    EXPECT_THAT(Captions(*Window->Grid), ElementsAre("ФИО 40", "Счет 20"));
    EXPECT_THAT(Rows(*Window->Grid),
                ElementsAre("абрамов|000000000001", "Борисов|000000000002", "ЯКОВЛЕВ|000000000003"));
    EXPECT_TRUE(Window->BtnView->isEnabled() && Window->BtnFind->isEnabled() && Window->BtnSave->isEnabled());

    Window->BtnEtalonTypeClick();
    EXPECT_ANSI_EQ(Title(*Window), "Эталонный список счетов поставщиков услуг (c" "формирован 06/03/2024)");
    EXPECT_THAT(Captions(*Window->Grid), ElementsAre("Счет ПУ 12"));
    EXPECT_THAT(Rows(*Window->Grid), ElementsAre("40702810000000000001", "40702810000000000002"));
    EXPECT_TRUE(Window->MnuEtalonType->actions()[1]->isChecked());
    Window->BtnEtalonTypeClick();   // wraps to the first
    EXPECT_EQ(Window->ShownType(), 0);
}

TEST_F(EtalonsWindowTest, EachTypeKeepsItsOwnSearchHistory)
{
    Window->BtnFindClick();
    Search("борис");
    EXPECT_EQ(CurrentItem(Window->Grid), 1);
    Window->BtnEtalonTypeClick();
    // Switching the list takes the dialog away from the list it searched.
    EXPECT_EQ(Find.Layout(), nullptr);
    Window->BtnFindClick();
    EXPECT_EQ(Find.CmbValue->count(), 0);
    Search("0002");
    EXPECT_EQ(CurrentItem(Window->Grid), 1);
    Window->BtnEtalonTypeClick();
    Window->BtnFindClick();
    ASSERT_EQ(Find.CmbValue->count(), 1);
    EXPECT_ANSI_EQ(FromQString(Find.CmbValue->itemText(0)), "борис");
    EXPECT_THAT(Window->Layout(2).Values.Items(), ElementsAre("0002"));
}

TEST_F(EtalonsWindowTest, TheReceiversRefreshReachesTheOpenWindowOnlyAndKeepsTheChosenType)
{
    Window->BtnEtalonTypeClick();
    AppendStoreRow<TEtalons>(Etalons(), {"Новый;000000000009\r\n", "SAL", "07/03/2024"});
    ASSERT_TRUE(StoreWindows.ReloadEtalons);
    StoreWindows.ReloadEtalons();
    EXPECT_EQ(Window->ShownType(), 2);
    Window->BtnEtalonTypeClick();
    // The first row of a type is the one loaded: the earlier list.
    EXPECT_ANSI_EQ(Title(*Window), "Эталонный список 12-значных счетов клиентов (c" "формирован 05/03/2024)");

    Window.reset();
    EXPECT_FALSE(StoreWindows.ReloadEtalons);
}

TEST_F(EtalonsWindowTest, AFailedReloadLeavesNothingShownOfTheFreedLists)
{
    Window->BtnFindClick();
    WriteBytes(Etalons(), "not a store");
    EXPECT_THROW(StoreWindows.ReloadEtalons(), Exception);
    EXPECT_ANSI_EQ(Title(*Window), "Эталонные списки");
    EXPECT_FALSE(Window->BtnEtalonType->isEnabled());
    EXPECT_FALSE(Window->BtnView->isEnabled() || Window->BtnFind->isEnabled() || Window->BtnSave->isEnabled());
    EXPECT_EQ(Window->ShownType(), -1);
    EXPECT_THAT(Rows(*Window->Grid), ElementsAre(""));
    EXPECT_EQ(Find.Layout(), nullptr);
}

TEST_F(EtalonsWindowTest, SavesTheShownListAsTextCompletingTheNameAndAskingBeforeReplacing)
{
    const AnsiString target = Dir.File("list.txt");
    Dialogs.ExpectSaveFile(Dir.File("list"));
    Window->BtnSaveClick();
    EXPECT_EQ(ReadBytes(target), "абрамов;000000000001\r\nБорисов;000000000002\r\nЯКОВЛЕВ;000000000003\r\n");
    EXPECT_EQ(Dialogs.Asked()[0].Request.Filter, "Текстовые файлы (*.txt)|*.txt");
    // The dialog starts in the profile's data folder.
    EXPECT_EQ(Dialogs.Asked()[0].Request.InitialDir, Dir.Path());

    Window->BtnEtalonTypeClick();
    Dialogs.ExpectSaveFile(Dir.File("list"))
        .ExpectMessage(target + " уже существует.\nЗаменить?", MessageBoxAnswer::No,
                       MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2)
        .ExpectSaveFile(std::nullopt);
    Window->BtnSaveClick();
    EXPECT_EQ(ReadBytes(target).substr(0, 7), "абрамов");
    Dialogs.ExpectSaveFile(target).ExpectMessage(target + " уже существует.\nЗаменить?", MessageBoxAnswer::Yes);
    Window->BtnSaveClick();
    EXPECT_EQ(ReadBytes(target), "40702810000000000001\r\n40702810000000000002\r\n");
}

TEST_F(ListWindowsTest, AnEmptyStoreShowsNoListAndNoCommand)
{
    const TExchangeProfile profile(Dir, {"Salary.EtalonTypes=SAL"});
    TFrmEtalons window;
    window.Reload();
    EXPECT_ANSI_EQ(Title(window), "Эталонные списки");
    EXPECT_FALSE(window.BtnEtalonType->isEnabled() || window.BtnView->isEnabled());
    EXPECT_THAT(Rows(*window.Grid), ElementsAre(""));
}

// ---- The reply files ----

class ReplyFilesWindowTest : public ListWindowsTest {
protected:
    ReplyFilesWindowTest()
    {
        AppendStoreRow<TReplyFiles>(Replies(), {"Иванов;1234 567890;40817810000000000001;Добавлен\r\n", "ABC000001N.TXT"});
        AppendStoreRow<TReplyFiles>(Replies(), {"Петров;4321 098765;;Ошибка\r\nСидоров;1;2;3\r\n", "ABC000002N.TXT"});
    }

    std::unique_ptr<TFrmReplyFiles> Open()
    {
        auto window = std::make_unique<TFrmReplyFiles>(&FrmNewCliReply, Profile().ReplyProfiles.At(0));
        window->Reload();
        return window;
    }
    TProfile& Profile() { return *Profiles.Get()->Current(); }

    std::unique_ptr<TExchangeProfile> Keys;
};

TEST_F(ReplyFilesWindowTest, ListsTheFilesNewestFirstAndKeepsTheSelectionWhenAFileArrives)
{
    Keys = std::make_unique<TExchangeProfile>(Dir, std::initializer_list<AnsiString>{});
    auto window = Open();
    EXPECT_EQ(FrmNewCliReply, window.get());
    EXPECT_ANSI_EQ(Title(*window), "Список добавленных клиентов");
    EXPECT_THAT(Rows(*window->LstFiles), ElementsAre("ABC000002N.TXT", "ABC000001N.TXT"));
    EXPECT_THAT(Rows(*window->Grid), ElementsAre("Петров|4321 098765||Ошибка", "Сидоров|1|2|3"));
    EXPECT_THAT(Captions(*window->Grid), ElementsAre("ФИО 40", "Серия/номер 14", "Счет 20", "Сообщение 60"));

    window->SelectItem(1);
    EXPECT_THAT(Rows(*window->Grid), ElementsAre("Иванов|1234 567890|40817810000000000001|Добавлен"));
    AppendStoreRow<TReplyFiles>(Replies(), {"Новиков;5;6;7\r\n", "ABC000003N.TXT"});
    StoreWindows.ReloadReplies();
    EXPECT_THAT(Rows(*window->LstFiles), ElementsAre("ABC000003N.TXT", "ABC000002N.TXT", "ABC000001N.TXT"));
    EXPECT_EQ(window->SelectedRow(), 0);
    EXPECT_THAT(Rows(*window->Grid), ElementsAre("Иванов|1234 567890|40817810000000000001|Добавлен"));

    window->SelectItem(1);
    window->BtnFindClick();
    Search("сидор");
    EXPECT_EQ(CurrentItem(window->Grid), 1);

    window.reset();
    EXPECT_EQ(FrmNewCliReply, nullptr);
    EXPECT_FALSE(StoreWindows.ReloadReplies);
}

// Enter on a row, or a double click on a cell, shows the row read only in the record
// dialog: one row per column, captioned like the column.
TEST_F(ReplyFilesWindowTest, EnterOrADoubleClickShowsTheRowInTheRecordDialog)
{
    Keys = std::make_unique<TExchangeProfile>(Dir, std::initializer_list<AnsiString>{});
    TFrmEditRecord editor;
    FrmEditRecord = &editor;
    auto window = Open();
    window->show();
    SelectListItem(window->Grid, 1);
    std::vector<std::string> shown;
    const auto look = [&] {
        QTimer::singleShot(0, &editor, [&] {
            for (int row = 0; row < editor.Rows().Count(); ++row)
                shown.push_back(FromQString(static_cast<QLabel*>(editor.Rows().At(row).Label)->text()) +
                                FromQString(static_cast<QLineEdit*>(editor.Rows().At(row).Editor)->text()));
            EXPECT_FALSE(editor.BtnOk->isVisible());
            editor.BtnCancel->click();
        });
    };
    look();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window->Grid, &enter);
    EXPECT_THAT(shown, ElementsAre("ФИО:Сидоров", "Серия/номер:1", "Счет:2", "Сообщение:3"));

    shown.clear();
    look();
    const QPoint cell = window->Grid->visualRect(window->Grid->model()->index(0, 1)).center();
    const QPointF global = window->Grid->viewport()->mapToGlobal(QPointF(cell));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick}) {
        QMouseEvent mouse(type, QPointF(cell), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->Grid->viewport(), &mouse);
    }
    EXPECT_THAT(shown, ElementsAre("ФИО:Петров", "Серия/номер:4321 098765", "Счет:", "Сообщение:Ошибка"));
    FrmEditRecord = nullptr;
}

// A field of megabytes would cost the window some forty bytes per character to draw: the
// grid shows its beginning, the record dialog a line editor's worth, the export all of it.
TEST_F(ReplyFilesWindowTest, AHugeFieldIsShownInPartAndExportedWhole)
{
    Keys = std::make_unique<TExchangeProfile>(Dir, std::initializer_list<AnsiString>{});
    const AnsiString line = "Иванов;1;2;" + AnsiString(100000, '\xE6') + "\r\n";   // "жжж..."
    AppendStoreRow<TReplyFiles>(Replies(), {line, "ABC000003N.TXT"});
    TFrmEditRecord editor;
    FrmEditRecord = &editor;
    auto window = Open();
    EXPECT_EQ(window->Grid->model()->index(0, 3).data().toString(), QString(999, QChar(u'ж')) + QChar(u'…'));
    EXPECT_EQ(window->Grid->model()->index(0, 0).data().toString(), QStringLiteral(u"Иванов"));

    QString viewed;
    QTimer::singleShot(0, &editor, [&] {
        viewed = static_cast<QLineEdit*>(editor.Rows().At(3).Editor)->text();
        editor.BtnCancel->click();
    });
    window->BtnViewClick();
    EXPECT_EQ(viewed, QString(32766, QChar(u'ж')) + QChar(u'…'));
    FrmEditRecord = nullptr;

    Dialogs.ExpectSaveFile(Dir.File("added.txt"));
    window->BtnSaveClick();
    EXPECT_TRUE(ReadBytes(Dir.File("added.txt")) == line);
}

TEST_F(ReplyFilesWindowTest, NoFilesOrAFailedReloadShowNothingAndOfferNoCommand)
{
    Keys = std::make_unique<TExchangeProfile>(Dir, std::initializer_list<AnsiString>{});
    std::filesystem::remove(ToSystemPath(Replies()));
    auto window = Open();
    EXPECT_THAT(Rows(*window->LstFiles), ElementsAre());
    EXPECT_THAT(Rows(*window->Grid), ElementsAre(""));
    EXPECT_FALSE(window->BtnSave->isEnabled() || window->BtnView->isEnabled() || window->BtnFind->isEnabled());

    AppendStoreRow<TReplyFiles>(Replies(), {"a;b;c;d\r\n", "ABC000004N.TXT"});
    window->Reload();
    EXPECT_TRUE(window->BtnSave->isEnabled());
    WriteBytes(Replies(), "damaged");
    EXPECT_THROW(window->Reload(), Exception);
    EXPECT_THAT(Rows(*window->LstFiles), ElementsAre());
    EXPECT_THAT(Rows(*window->Grid), ElementsAre(""));
    EXPECT_FALSE(window->BtnSave->isEnabled() || window->BtnView->isEnabled() || window->BtnFind->isEnabled());
}

TEST_F(ReplyFilesWindowTest, ExportsThroughTheFieldMapIntoADelimitedFile)
{
    Keys = std::make_unique<TExchangeProfile>(
        Dir, std::initializer_list<AnsiString>{"NewCliReply.Fields=4,1", "NewCliReply.Delim=|", "NewCliReply.Charset=CP866"});
    auto window = Open();
    Dialogs.ExpectSaveFile(Dir.File("added"));
    window->BtnSaveClick();
    EXPECT_EQ(Dialogs.Asked()[0].Request.Filter, "Текстовые файлы с разделителями (*.*)|*.*");
    // CP866: "Ошибка|Петров", "3|Сидоров".
    EXPECT_EQ(ReadBytes(Dir.File("added.txt")),
              Bytes({0x8E, 0xE8, 0xA8, 0xA1, 0xAA, 0xA0, '|', 0x8F, 0xA5, 0xE2, 0xE0, 0xAE, 0xA2, '\r', '\n'}) +
                  "3|" + Bytes({0x91, 0xA8, 0xA4, 0xAE, 0xE0, 0xAE, 0xA2}) + "\r\n");
    // The chosen name is the kind's file from now on.
    const TIniFile ini(Dir.File("velton.ini"));
    EXPECT_EQ(ini.ReadString("P", "NewCliReply.FileName", ""), Dir.File("added.txt"));
}

TEST_F(ReplyFilesWindowTest, ExportsIntoAFixedWidthFileAndRefusesAValueThatDoesNotFit)
{
    Keys = std::make_unique<TExchangeProfile>(
        Dir, std::initializer_list<AnsiString>{"NewCliReply.FileFormat=FIXED", "NewCliReply.Fields=2,1",
                                               "NewCliReply.Lengths=12,8"});
    const TReplyProfile& kind = *Profile().ReplyProfiles.At(0);
    TDelimFile reply(";", 0, false);
    WriteBytes(Dir.File("reply.txt"), "Петров;4321 098765;;Ошибка\r\nСидоров;1;2;3\r\n");
    reply.LoadFromFile(Dir.File("reply.txt"));
    ExportReplyFile(kind, reply, Dir.File("fixed.txt"));
    EXPECT_EQ(ReadBytes(Dir.File("fixed.txt")), "4321 098765 Петров\r\n1           Сидоров\r\n");

    // The second record's name is wider than its 8 places: the old file stays whole.
    WriteBytes(Dir.File("reply.txt"), "Петров;1\r\nАлександрова;2\r\n");
    reply.LoadFromFile(Dir.File("reply.txt"));
    EXPECT_RAISES(ExportReplyFile(kind, reply, Dir.File("fixed.txt")), Exception, "Значение поля слишком велико");
    EXPECT_EQ(ReadBytes(Dir.File("fixed.txt")), "4321 098765 Петров\r\n1           Сидоров\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ToSystemPath(Dir.Path())),
                            std::filesystem::directory_iterator()),
              4);   // the profiles file, Cache/, the reply and the export: no temporary file
}

}  // namespace
