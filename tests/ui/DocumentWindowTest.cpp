// The document window over a demo-like profile under the offscreen platform: loading,
// marks, the record editor's round trip, saving, the find dialog, the unsaved-changes
// questions and the commands that need records.

#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "platform/Paths.h"
#include "ui/Common.h"
#include "ui/QtText.h"
#include "ui/RecordGrid.h"
#include "ui/Reports.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmExportFile.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmMain.h"

#include "documents/ProfileFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr char Ivanov[] = "Иванов Иван Иванович;40817810000000000001;15000.00";
constexpr char Petrova[] = "Петрова Мария Сергеевна;40817810000000000002;23500.50";
constexpr char Sidorov[] = "Сидоров Петр Алексеевич;40817810000000000003;8750.00";

class DocumentWindowTest : public ::testing::Test {
protected:
    DocumentWindowTest()
    {
        Main = std::make_unique<TFrmMain>();
        FrmMain = Main.get();
        Editor = std::make_unique<TFrmEditRecord>(Main.get());
        FrmEditRecord = Editor.get();
        Find = std::make_unique<TFrmFind>(Main.get());
        FrmFind = Find.get();
        Main->show();
    }

    ~DocumentWindowTest() override
    {
        Main->SelectProfile(Profiles.Get()->Count());   // closes the windows without asking
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        FrmFind = nullptr;
        Find.reset();
        FrmEditRecord = nullptr;
        Editor.reset();
        Main.reset();
        FrmMain = nullptr;
        Profiles.Reset();
    }

    // The demo profile with the salary list in Salary (extra lines come first and win).
    void OpenProfile(std::initializer_list<AnsiString> extra = {})
    {
        std::string text = IniText({"[Romashka]"}) + IniText(extra) +
                           IniText({"Caption=Ромашка", "Prefix=RMS", "RecvUser=romashka", "RecvPass=one",
                                  "Salary.FileFormat=DELIM", "Salary.FileName=" + Salary, "Salary.Fields=1,2,3",
                                  "Salary.Delim=;"});
        WriteBytes(Ini, text);
        Profiles.Get()->Open(Ini);
        Main->SelectProfile(0);
    }

    // Opens the salary list's window from the menu and lets it load.
    TFrmExportFile& OpenWindow()
    {
        Main->ItmSalary->trigger();
        QCoreApplication::processEvents();
        EXPECT_NE(FrmSalary, nullptr);
        return *FrmSalary;
    }

    static AnsiString Cell(TFrmExportFile& window, int row, int column)
    {
        return FromQString(window.GridModel()->index(row, column).data().toString());
    }
    static AnsiString Status(TFrmExportFile& window) { return FromQString(window.EdtMessages->toPlainText()); }
    static AnsiString Caption(TFrmExportFile& window) { return FromQString(window.windowTitle()); }
    static bool RecordCommandsOn(TFrmExportFile& window)
    {
        const bool on = window.BtnEdit->isEnabled();
        EXPECT_EQ(window.BtnDel->isEnabled(), on);
        EXPECT_EQ(window.BtnSelect->isEnabled(), on);
        return on;
    }

    // Runs the record editor from the command; `fill` types into its rows while it is open,
    // then Ok is pressed (again `retries` times).
    void EditWith(QAction* command, std::function<void(TDataControls&)> fill)
    {
        QTimer::singleShot(0, Editor.get(), [this, fill] {
            fill(Editor->Rows());
            Editor->BtnOk->click();
            if (Editor->isVisible()) {
                ADD_FAILURE() << "the record editor stayed open";
                Editor->reject();
            }
        });
        command->trigger();
    }
    static void Type(TDataControls& rows, int row, const char* text)
    {
        static_cast<QLineEdit*>(rows.At(row).Editor)->setText(ToQString(text));
    }

    TTempDir Dir;
    AnsiString Ini = Dir.File("velton.ini");
    AnsiString Salary = Dir.File("salary.txt");
    std::unique_ptr<TFrmMain> Main;
    std::unique_ptr<TFrmEditRecord> Editor;
    std::unique_ptr<TFrmFind> Find;
};

}  // namespace

TEST_F(DocumentWindowTest, LoadsTheListWithEveryRecordMarkedAndMarksFollowTheCommands)
{
    WriteBytes(Salary, IniText({Ivanov, Petrova, Sidorov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();

    ASSERT_EQ(window.GridModel()->rowCount(), 3);
    ASSERT_EQ(window.GridModel()->columnCount(), 3);
    EXPECT_ANSI_EQ(FromQString(window.GridModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString()), "Счет");
    EXPECT_ANSI_EQ(Cell(window, 1, 0), "Петрова Мария Сергеевна");
    EXPECT_ANSI_EQ(Cell(window, 2, 2), "8750.00");
    EXPECT_GE(window.Grid->horizontalHeader()->sectionSize(0), 40 * 7);
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: salary.txt");
    EXPECT_TRUE(RecordCommandsOn(window));
    EXPECT_TRUE(window.BtnSave->isEnabled());
    EXPECT_EQ(window.CurrentRecord(), 0);
    // The window opens wide enough for its toolbar: no command hides behind its overflow.
    for (QAction* button : {window.BtnExport, window.BtnPrintErrors})
        EXPECT_TRUE(window.TbrToolbar->widgetForAction(button)->isVisible());
    EXPECT_ANSI_EQ(Status(window), "Запись не проверена");

    // Space unmarks the row and moves on; on the last row it stays.
    window.Grid->setFocus();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(window.Grid, &space);
    EXPECT_FALSE(window.Marks().Info(0).Selected);
    EXPECT_EQ(window.CurrentRecord(), 1);
    EXPECT_EQ(window.GridModel()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0xBF, 0xBF, 0xBF));
    window.SelectRecord(2);
    window.BtnSelect->trigger();
    EXPECT_EQ(window.CurrentRecord(), 2);
    EXPECT_FALSE(window.Marks().Info(2).Selected);
    EXPECT_ANSI_EQ(Status(window), "");

    window.BtnSelectAll->click();   // the button itself inverts
    EXPECT_EQ(std::vector<int>({window.Marks().Info(0).Selected, window.Marks().Info(1).Selected,
                                window.Marks().Info(2).Selected}),
              std::vector<int>({1, 0, 1}));
    window.ItmUnselectAll->trigger();
    EXPECT_FALSE(window.Marks().Info(1).Selected || window.Marks().Info(2).Selected);
    window.ItmSelectAll->trigger();
    EXPECT_TRUE(window.Marks().Info(0).Selected && window.Marks().Info(2).Selected);

    // What a check pass leaves: the colours, the status and the walk over the errors.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Нет записей, помеченных как ошибочные.");
        window.BtnNextError->trigger();
    }
    window.Marks().Info(0).State = RecordCheckedOk;
    for (int i : {1, 2}) {
        window.Marks().Info(i).State = RecordHasError;
        window.Marks().SetErrorText(i, "Счет: Неверный счет");
    }
    window.MarksChanged();
    const QModelIndex error = window.GridModel()->index(1, 0);
    EXPECT_EQ(error.data(Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
    EXPECT_EQ(error.data(SelectedForegroundRole).value<QColor>(), QColor(255, 191, 191));
    EXPECT_EQ(window.GridModel()->index(0, 0).data(SelectedForegroundRole).value<QColor>(), QColor(191, 191, 255));
    window.SelectRecord(0);
    EXPECT_ANSI_EQ(Status(window), "Запись проверена, ошибок нет");
    window.BtnNextError->trigger();
    EXPECT_EQ(window.CurrentRecord(), 1);
    EXPECT_ANSI_EQ(Status(window), "Счет: Неверный счет");
    window.BtnNextError->trigger();
    window.BtnNextError->trigger();   // past the last error: back to the first
    EXPECT_EQ(window.CurrentRecord(), 1);

    // A new load marks every record again, those in error too.
    window.LoadFile();
    EXPECT_EQ(window.Marks().Info(1).State, RecordNotChecked);
    EXPECT_TRUE(window.Marks().Info(1).Selected);
}

TEST_F(DocumentWindowTest, AddEditDeleteAndSaveKeepTheGridTheMarksAndTheFileInStep)
{
    WriteBytes(Salary, IniText({Ivanov, Petrova}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    window.Marks().Info(1).State = RecordHasError;

    // Editing sets the mark back to "not checked" and rewrites the row.
    window.SelectRecord(1);
    EditWith(window.BtnEdit, [](TDataControls& rows) {
        ASSERT_EQ(rows.Count(), 3);
        EXPECT_ANSI_EQ(rows.Record().Get(0), "Петрова Мария Сергеевна");
        Type(rows, 2, "24000.00");
    });
    EXPECT_ANSI_EQ(Cell(window, 1, 2), "24000.00");
    EXPECT_EQ(window.Marks().Info(1).State, RecordNotChecked);
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: salary.txt (изменен)");

    // An add appends a record and its mark.
    EditWith(window.BtnAdd, [](TDataControls& rows) {
        EXPECT_ANSI_EQ(rows.Record().Get(0), "");
        Type(rows, 0, "Сидоров Петр Алексеевич");
        Type(rows, 1, "40817810000000000003");
        Type(rows, 2, "8750.00");
    });
    EXPECT_EQ(window.GridModel()->rowCount(), 3);
    EXPECT_EQ(window.Marks().Count(), 3);
    EXPECT_EQ(window.CurrentRecord(), 2);

    // Deleting the first record takes its mark with it.
    window.Marks().SetErrorText(1, "second");
    window.SelectRecord(0);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes,
                              MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning);
        window.BtnDel->trigger();
    }
    EXPECT_EQ(window.Marks().Count(), 2);
    EXPECT_ANSI_EQ(window.Marks().ErrorText(0), "second");
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "Петрова Мария Сергеевна");

    window.BtnSave->trigger();
    EXPECT_EQ(ReadBytes(Salary),
              IniText({"Петрова Мария Сергеевна;40817810000000000002;24000.00", Sidorov}));
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: salary.txt");
    EXPECT_FALSE(window.IsModified());

    // Down to no records: the grid keeps one empty row, and the record commands go off
    // and come back with the next add.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
        window.BtnDel->trigger();
        window.BtnDel->trigger();
    }
    EXPECT_EQ(window.GridModel()->rowCount(), 1);
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "");
    EXPECT_FALSE(RecordCommandsOn(window));
    EXPECT_EQ(window.CurrentRecord(), -1);
    // Keys on the empty row do nothing (no question is asked, nothing is toggled).
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(window.Grid, &del);
    window.BtnSelectAll->click();
    EXPECT_EQ(window.Marks().Count(), 0);
    EditWith(window.BtnAdd, [](TDataControls& rows) { Type(rows, 0, "Новиков"); });
    EXPECT_TRUE(RecordCommandsOn(window));

    window.BtnSave->trigger();
    EXPECT_EQ(ReadBytes(Salary), IniText({"Новиков"}));
}

TEST_F(DocumentWindowTest, ANewRecordCancelledAfterARefusedValueIsNotKept)
{
    WriteBytes(Salary, IniText({Ivanov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("ФИО: Недопустимые символы в поле.", MessageBoxAnswer::Ok);
    QTimer::singleShot(0, Editor.get(), [this] {
        Type(Editor->Rows(), 0, "Иванов;Петров");
        Editor->BtnOk->click();
        EXPECT_TRUE(Editor->isVisible());
        Editor->BtnCancel->click();
    });
    window.BtnAdd->trigger();
    EXPECT_EQ(window.GridModel()->rowCount(), 1);
    EXPECT_EQ(window.Marks().Count(), 1);
    EXPECT_FALSE(window.IsModified());
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: salary.txt");
}

TEST_F(DocumentWindowTest, UnsavedChangesAreAskedAboutAndCancelStopsEveryCommand)
{
    WriteBytes(Salary, IniText({Ivanov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 2, "1.00"); });
    ASSERT_TRUE(window.IsModified());

    const AnsiString question = "Файл был изменен.\nСохранить изменения на диск?";
    {
        // Cancel: neither dialog opens nor anything is loaded.
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::Cancel,
                              MessageBoxFlags::YesNoCancel | MessageBoxFlags::IconWarning);
        dialogs.ExpectMessage(question, MessageBoxAnswer::Cancel);
        dialogs.ExpectMessage(question, MessageBoxAnswer::Cancel);
        window.BtnLoad->trigger();
        window.BtnNew->trigger();
        EXPECT_FALSE(FrmSalary->parentWidget()->close());
    }
    EXPECT_TRUE(window.IsModified());
    EXPECT_ANSI_EQ(Cell(window, 0, 2), "1.00");

    // The main window asks once for all its document windows.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Закрыть все окна без сохранения изменений?", MessageBoxAnswer::No);
        EXPECT_FALSE(Main->CanCloseChildren());
    }

    // "New" with the name of a file that does not exist: an empty document bound to it,
    // which Save creates. "Yes" saved the changes of the old file first.
    const AnsiString fresh = Dir.File("new list.txt");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::Yes);
        dialogs.ExpectSaveFile(fresh);
        window.BtnNew->trigger();
    }
    EXPECT_EQ(ReadBytes(Salary), IniText({"Иванов Иван Иванович;40817810000000000001;1.00"}));
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: new list.txt");
    EXPECT_FALSE(RecordCommandsOn(window));
    EXPECT_TRUE(window.BtnAdd->isEnabled());
    EXPECT_FALSE(FileExists(fresh));
    EditWith(window.BtnAdd, [](TDataControls& rows) { Type(rows, 0, "Первый"); });
    window.BtnSave->trigger();
    EXPECT_EQ(ReadBytes(fresh), IniText({"Первый"}));
    // The name went into the profiles file.
    Profiles.Get()->Select(0);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->ExportProfiles.At(0)->FileName, fresh);

    // "Open" of the old file; unsaved changes answered "No" are dropped.
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 0, "Второй"); });
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::No);
        dialogs.ExpectOpenFile(Salary);
        window.BtnLoad->trigger();
    }
    EXPECT_EQ(ReadBytes(fresh), IniText({"Первый"}));
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "Иванов Иван Иванович");

    // A profile switch closes the window without a question, even with changes.
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 0, "Третий"); });
    Main->SelectProfile(0);
    EXPECT_EQ(FrmSalary, nullptr);
    EXPECT_TRUE(Main->MdiArea()->subWindowList().isEmpty());
}

TEST_F(DocumentWindowTest, TheFileDialogsStartBesideTheDocumentElseInTheDataFolder)
{
    const AnsiString data = Dir.File("data/");
    const AnsiString list = Dir.File("lists/зарплата.txt");
    ForceDirectories(Dir.File("lists/"));
    WriteBytes(list, IniText({Ivanov}));
    OpenProfile({"Salary.FileName=", "DataPath=" + data});
    TFrmExportFile& window = OpenWindow();
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectOpenFile(list);
        window.BtnLoad->trigger();
        ASSERT_EQ(dialogs.Asked().size(), 1u);
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Request.InitialDir, data);
    }
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectOpenFile(std::nullopt);
        dialogs.ExpectSaveFile(std::nullopt);
        window.BtnLoad->trigger();
        window.BtnSaveErrors->trigger();
        ASSERT_EQ(dialogs.Asked().size(), 2u);
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Request.InitialDir, Dir.File("lists/"));
        EXPECT_ANSI_EQ(dialogs.Asked()[1].Request.InitialDir, Dir.File("lists/"));
    }

    // A print to a file is offered the document's name with ".pdf" beside it.
    QString suggested;
    SetPrinterChooser([&suggested](QPrinter& printer) {
        suggested = printer.outputFileName();
        return false;
    });
    window.BtnPrintErrors->trigger();
    SetPrinterChooser(nullptr);
    EXPECT_ANSI_EQ(FromQString(suggested), Dir.File("lists/зарплата.pdf"));
}

TEST_F(DocumentWindowTest, FindDrawingAndEditingNeverTripOverTheFileCursor)
{
    WriteBytes(Salary, IniText({Ivanov, Petrova, Sidorov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();

    // The find dialog walks the column view of the file and selects the row it finds.
    window.BtnFind->trigger();
    ASSERT_TRUE(Find->isVisible());
    EXPECT_EQ(Find->CmbField->count(), 3);
    Find->CmbField->setCurrentIndex(1);
    Find->CmbValue->setEditText(QStringLiteral("0003"));
    Find->BtnFindClick();
    EXPECT_EQ(window.CurrentRecord(), 2);
    Find->close();

    // Drawing reads the rows beside the current record, whose pending edit stays pending
    // and shows in its row.
    window.DataFile().GoTo(1);
    window.DataFile().CurRecord()->Set(0, "Петрова-Сидорова");
    window.GridModel()->RepaintAll();
    window.Grid->grab();
    EXPECT_ANSI_EQ(Cell(window, 1, 0), "Петрова-Сидорова");
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "Иванов Иван Иванович");
    EXPECT_EQ(window.DataFile().RecNo(), 1);
    EXPECT_TRUE(window.DataFile().CurRecord()->Modified());

    // The editor edits the grid's row, wherever the cursor was left.
    window.SelectRecord(0);
    EditWith(window.BtnEdit, [](TDataControls& rows) {
        EXPECT_ANSI_EQ(rows.Record().Get(0), "Иванов Иван Иванович");
    });
    EXPECT_EQ(window.DataFile().RecNo(), 0);
}

TEST_F(DocumentWindowTest, TheFoundRowShowsSelectedWhileTheFindDialogHoldsTheFocus)
{
    WriteBytes(Salary, IniText({Ivanov, Petrova, Sidorov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    Main->activateWindow();
    window.Grid->setFocus();

    window.BtnFind->trigger();
    for (int round = 0; round < 100 && QApplication::activeWindow() != Find.get(); ++round)
        QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Find.get());
    Find->CmbField->setCurrentIndex(1);
    Find->CmbValue->setEditText(QStringLiteral("0003"));
    Find->BtnFind->click();
    ASSERT_EQ(window.CurrentRecord(), 2);

    // The row's background beside its text, in the grid as it is drawn now.
    auto background = [&](int row) {
        const QRect cell = window.Grid->visualRect(window.GridModel()->index(row, 0));
        return window.Grid->viewport()->grab().toImage().pixelColor(cell.left() + 1, cell.top() + 1);
    };
    const QPalette& palette = window.Grid->palette();
    EXPECT_EQ(background(2), palette.color(QPalette::Active, QPalette::Highlight));
    EXPECT_NE(background(1), palette.color(QPalette::Active, QPalette::Highlight));

    // Another window taking the focus leaves the row neutral, as a grid without the focus.
    Find->close();
    QWidget other;
    other.show();
    other.activateWindow();
    for (int round = 0; round < 100 && QApplication::activeWindow() != &other; ++round)
        QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &other);
    EXPECT_EQ(background(2), palette.color(QPalette::Active, QPalette::Button));
}

TEST_F(DocumentWindowTest, AReadOnlyFileCanBeEditedButNotSavedAndClosesWithoutAsking)
{
    WriteBytes(Salary, IniText({Ivanov}));
    ASSERT_EQ(chmod(ToSystemPath(Salary).c_str(), 0444), 0);
    OpenProfile();
    TFrmExportFile* window = nullptr;
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Загруженный файл имеет атрибут \"Только для чтения\".\nИзменения файла не могут быть "
                              "сохранены на диск.",
                              MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
        window = &OpenWindow();
    }
    EXPECT_FALSE(window->BtnSave->isEnabled());
    EditWith(window->BtnEdit, [](TDataControls& rows) { Type(rows, 2, "2.00"); });
    EXPECT_ANSI_EQ(Caption(*window), "Список на зачисление: salary.txt (только чтение)");
    EXPECT_FALSE(window->IsModified());   // nothing to lose: closing asks nothing
    EXPECT_TRUE(window->parentWidget()->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FrmSalary, nullptr);
}

TEST_F(DocumentWindowTest, AFileWithFewerFieldsThanTheMapIsRefusedAndTheWindowKeepsItsFile)
{
    const AnsiString fixed = Dir.File("fixed.txt");
    WriteBytes(fixed, IniText({"Иванов    123"}));
    WriteBytes(Salary, IniText({Ivanov}));
    OpenProfile({"Salary.Fields=1,,3,2"});
    TFrmExportFile& window = OpenWindow();
    ASSERT_EQ(window.GridModel()->columnCount(), 3);
    // Columns in input order: input column 3 feeds the account.
    EXPECT_ANSI_EQ(FromQString(window.GridModel()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString()), "Счет");
    EXPECT_ANSI_EQ(Cell(window, 0, 1), "15000.00");
    EXPECT_ANSI_EQ(Cell(window, 0, 2), "");

    window.ExportKind().FileFormat = ffFixed;
    window.ExportKind().FieldLengths.Add(10);
    window.ExportKind().FieldLengths.Add(3);
    window.ExportKind().FileName = fixed;
    EXPECT_RAISES(window.LoadFile(), Exception, "Количество полей в файле должно быть не менее 4");
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "Иванов Иван Иванович");
    EXPECT_ANSI_EQ(Caption(window), "Список на зачисление: salary.txt");
}
