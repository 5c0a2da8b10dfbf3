// The document window over a demo-like profile under the offscreen platform: loading,
// marks, the record editor's round trip, saving, the find dialog, the unsaved-changes
// questions and the commands that need records.

#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Paths.h"
#include "ui/Common.h"
#include "ui/QtText.h"
#include "ui/RecordGrid.h"
#include "ui/Reports.h"
#include "ui/UFrmEditRecord.h"
#include "ui/ListGrids.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmExportFile.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmMain.h"

#include "documents/ProfileFiles.h"
#include "StoreRows.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
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

#include <algorithm>
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

    // Types `typed` as the name of the first record of a list in the code page `charset`
    // holds and presses Ok: the editor refuses it with `message` and stays open, and the
    // file keeps its bytes.
    void ExpectTypedNameRefused(const char* charset, const std::string& bytes, const QString& typed, const char* message)
    {
        WriteBytes(Salary, bytes);
        OpenProfile({charset});
        TFrmExportFile& window = OpenWindow();
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(message, MessageBoxAnswer::Ok);
        QTimer::singleShot(0, Editor.get(), [this, typed] {
            static_cast<QLineEdit*>(Editor->Rows().At(0).Editor)->setText(typed);
            Editor->BtnOk->click();
            EXPECT_TRUE(Editor->isVisible());
            Editor->BtnCancel->click();
        });
        window.BtnEdit->trigger();
        EXPECT_FALSE(window.IsModified());
        window.BtnSave->trigger();
        EXPECT_EQ(ReadBytes(Salary), bytes) << charset;
        Main->SelectProfile(0);
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
    Main->resize(1600, Main->height());   // room for the whole toolbar
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
    // The window opens wide enough for its toolbar where the area has room: no command
    // hides behind its overflow.
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
        window.Marks().SetErrorText(i, AnsiToUtf8("Счет: Неверный счет"));
    }
    window.MarksChanged();
    const QModelIndex error = window.GridModel()->index(1, 0);
    EXPECT_EQ(error.data(Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
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
                              MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2);
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

    // Down to no records: the grid shows no row, and the record commands go off and come
    // back with the next add.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
        window.BtnDel->trigger();
        window.BtnDel->trigger();
    }
    EXPECT_EQ(window.GridModel()->rowCount(), 0);
    EXPECT_ANSI_EQ(Cell(window, 0, 0), "");
    EXPECT_FALSE(RecordCommandsOn(window));
    EXPECT_EQ(window.CurrentRecord(), -1);
    // Keys on the empty grid do nothing (no question is asked, nothing is toggled).
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

// A main window narrower than the toolbar: the window fits the area, its far commands
// behind the toolbar's overflow button instead of beyond the area's edge.
TEST_F(DocumentWindowTest, TheWindowOpensNoWiderThanTheArea)
{
    WriteBytes(Salary, IniText({Ivanov}));
    OpenProfile();
    Main->resize(500, Main->height());
    QCoreApplication::processEvents();
    EXPECT_LE(OpenWindow().parentWidget()->width(), Main->centralWidget()->width());
}

// A selected row in the focused grid reads as selected text on the selection colour, in
// every state of its mark.
TEST_F(DocumentWindowTest, ASelectedRowReadsAlikeWhateverTheStateOfItsMark)
{
    WriteBytes(Salary, IniText({Ivanov, Ivanov}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    Main->activateWindow();
    window.Grid->setFocus();
    window.SelectRecord(0);
    auto selectedRow = [&] {
        const QRect row = window.Grid->visualRect(window.GridModel()->index(0, 0));
        return window.Grid->viewport()->grab().toImage().copy(row);
    };
    window.Marks().Info(0).State = RecordNotChecked;
    window.MarksChanged();
    const QImage plain = selectedRow();
    EXPECT_EQ(plain.pixelColor(1, 1), window.Grid->palette().color(QPalette::Active, QPalette::Highlight));
    for (const int state : {RecordCheckedOk, RecordHasError}) {
        window.Marks().Info(0).State = state;
        window.MarksChanged();
        EXPECT_TRUE(selectedRow() == plain) << "state " << state;
    }
    window.Marks().Info(0).Selected = false;
    window.MarksChanged();
    EXPECT_TRUE(selectedRow() == plain) << "unmarked";
}

// A list window opened from the menu and searched at once, before the user ever clicked
// into its list: the found row still shows selected while the find dialog is open.
TEST_F(DocumentWindowTest, TheFoundRowShowsSelectedInAListTheUserNeverClickedInto)
{
    ForceDirectories(Dir.File("Cache/"));
    AppendStoreRow<TEtalons>(Dir.File("Cache/RMS.ETALONS"),
                             {"АБРАМОВ;000000000001\r\nБОРИСОВ;000000000002\r\nЯКОВЛЕВ;000000000003\r\n", "SAL",
                              "05/03/2024"});
    OpenProfile({"DataPath=" + Dir.Path(), "Salary.EtalonTypes=SAL"});
    Main->activateWindow();
    Main->ItmEtalons->trigger();
    QCoreApplication::processEvents();
    ASSERT_NE(FrmEtalons, nullptr);
    QTableView& grid = *FrmEtalons->Grid;
    ASSERT_EQ(grid.model()->rowCount(), 3);

    FrmEtalons->BtnFind->trigger();
    for (int round = 0; round < 100 && QApplication::activeWindow() != Find.get(); ++round)
        QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Find.get());
    Find->CmbValue->setEditText(ToQString("борисов"));
    Find->BtnFind->click();
    ASSERT_EQ(CurrentItem(&grid), 1);

    const QRect cell = grid.visualRect(grid.model()->index(1, 0));
    const QColor background = grid.viewport()->grab().toImage().pixelColor(cell.left() + 1, cell.top() + 1);
    EXPECT_EQ(background, grid.palette().color(QPalette::Active, QPalette::Highlight));
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

namespace {

// The bytes of a line of text ended by CR LF.
std::string Line(const std::string& bytes)
{
    return bytes + "\r\n";
}

// The UTF-8 bytes of CP1251 text.
std::string Utf8(const AnsiString& text)
{
    return AnsiToUtf8(text);
}

// Tatar "ә" (U+04D9), a letter that CP1251 lacks, in UTF-8.
constexpr char TatarA[] = "\xD3\x99";

// A dBase III table of NAME C(10), ACC C(4), SUM N(8,2) with live records of those bytes.
std::string SalaryDbf(const std::vector<std::string>& records)
{
    const auto descriptor = [](const char* name, char type, int length, int decimals) {
        std::string bytes(32, '\0');
        bytes.replace(0, std::string(name).size(), name);
        bytes[11] = type;
        bytes[16] = static_cast<char>(length);
        bytes[17] = static_cast<char>(decimals);
        return bytes;
    };
    const std::string descriptors = descriptor("NAME", 'C', 10, 0) + descriptor("ACC", 'C', 4, 0) +
                                    descriptor("SUM", 'N', 8, 2);
    std::string header(32, '\0');
    header[0] = 0x03;
    header[4] = static_cast<char>(records.size());
    header[8] = static_cast<char>(32 + descriptors.size() + 1);
    header[10] = 1 + 10 + 4 + 8;
    std::string file = header + descriptors + "\r";
    for (const std::string& record : records)
        file += " " + record;
    return file + "\x1A";
}

}  // namespace

// The record editor stores only the fields the user changed, and a changed field is
// written in the file's own code page into its own place: every other byte of the line
// stays as the file had it. A field that the screen cannot show as the file holds it is
// read-only, and the editor says why.
TEST_F(DocumentWindowTest, AnEditRewritesOnlyTheChangedFieldsBytesInTheFilesCodePage)
{
    const auto editAmount = [this](TFrmExportFile& window, int record, const char* amount,
                                   std::vector<bool> lockedRows) {
        window.SelectRecord(record);
        EditWith(window.BtnEdit, [&](TDataControls& rows) {
            ASSERT_EQ(rows.Count(), 3);
            bool anyLocked = false;
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(static_cast<QLineEdit*>(rows.At(k).Editor)->isReadOnly(), lockedRows[k]) << "row " << k;
                anyLocked = anyLocked || lockedRows[k];
            }
            EXPECT_EQ(rows.Note() != nullptr, anyLocked);
            // The focus and the selected text go to the first row the user can change.
            const auto* focused = static_cast<QLineEdit*>(Editor->focusWidget());
            const int firstOpen = static_cast<int>(std::find(lockedRows.begin(), lockedRows.end(), false) -
                                                   lockedRows.begin());
            EXPECT_EQ(focused, rows.At(firstOpen).Editor);
            EXPECT_EQ(static_cast<QLineEdit*>(rows.At(0).Editor)->hasSelectedText(), firstOpen == 0);
            if (rows.Note()) {
                EXPECT_ANSI_EQ(FromQString(rows.Note()->text()),
                               "Поле \"ФИО\" содержит символы, которые нельзя показать без искажений, и не может быть "
                               "изменено.");
            }
            if (amount)
                Type(rows, 2, amount);
        });
        window.BtnSave->trigger();
    };

    // CP1251: 0x98 (unassigned in CP1251) in a name survives a change of the amount.
    const std::string name98 = std::string("Ив") + "\x98" + "нов";
    WriteBytes(Salary, Line(name98 + ";40817810000000000001;100.00") + Line(Petrova));
    OpenProfile();
    editAmount(OpenWindow(), 0, "200.00", {true, false, false});
    EXPECT_EQ(ReadBytes(Salary), Line(name98 + ";40817810000000000001;200.00") + Line(Petrova));
    Main->SelectProfile(0);

    // A UTF-8 list under the default CP1251 profile: "И" is D0 98. Ok without a change
    // writes nothing new; a change of the amount leaves the name's bytes.
    const std::string utf8Line = Utf8("Иванов Иван") + ";40817810000000000001;100.00";
    const AnsiString utf8Warning = "Файл " + Salary +
                                   " не похож на текст в кодировке CP1251, заданной в профиле.\nТекст записей может "
                                   "отображаться и выгружаться неверно.";
    WriteBytes(Salary, Line(utf8Line));
    OpenProfile();
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(utf8Warning, MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
        TFrmExportFile& window = OpenWindow();
        editAmount(window, 0, nullptr, {true, false, false});
        EXPECT_EQ(ReadBytes(Salary), Line(utf8Line));
        editAmount(window, 0, "300.00", {true, false, false});
    }
    EXPECT_EQ(ReadBytes(Salary), Line(Utf8("Иванов Иван") + ";40817810000000000001;300.00"));
    Main->SelectProfile(0);

    // UTF8: a name with a letter CP1251 lacks keeps its bytes; the amount is written.
    const auto tatar = [](const char* amount) {
        return Line(Utf8("Х") + TatarA + Utf8("кимов Р") + TatarA + Utf8("ис;40817810000000000001;") + amount);
    };
    WriteBytes(Salary, tatar("100.00") + Line(Utf8(Petrova)));
    OpenProfile({"Salary.Charset=UTF8"});
    editAmount(OpenWindow(), 0, "150.00", {true, false, false});
    EXPECT_EQ(ReadBytes(Salary), tatar("150.00") + Line(Utf8(Petrova)));
    Main->SelectProfile(0);

    // UTF8 over a CP1251 file (it warns on opening): the name shown as "?" keeps its bytes.
    WriteBytes(Salary, Line(Ivanov));
    OpenProfile({"Salary.Charset=UTF8"});
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Файл " + Salary +
                              " не похож на текст в кодировке UTF8, заданной в профиле.\nТекст записей может "
                              "отображаться и выгружаться неверно.");
        editAmount(OpenWindow(), 0, "1.00", {true, false, false});
    }
    EXPECT_EQ(ReadBytes(Salary), Line("Иванов Иван Иванович;40817810000000000001;1.00"));
    Main->SelectProfile(0);

    // FIXED under UTF8: widths count letters; the other fields' bytes stay.
    const auto fixedLine = [](const char* amount) {
        return Line(Utf8("Р") + TatarA + Utf8("ис    ") + "0001" + amount);
    };
    // A line that ends inside the name: the spaces that fill the name out to its width
    // are added to its bytes, not written in their place.
    const std::string shortName = Utf8("Р") + TatarA + Utf8("ис");
    WriteBytes(Salary, fixedLine("  100.00") + Line(shortName));
    OpenProfile({"Salary.Charset=UTF8", "Salary.FileFormat=FIXED", "Salary.Lengths=8,4,8"});
    TFrmExportFile& fixedWindow = OpenWindow();
    editAmount(fixedWindow, 0, "7.50", {true, false, false});
    EXPECT_EQ(ReadBytes(Salary), fixedLine("7.50") + Line(shortName));
    editAmount(fixedWindow, 1, "2.00", {true, false, false});
    EXPECT_EQ(ReadBytes(Salary), fixedLine("7.50") + Line(shortName + "        2.00"));
    Main->SelectProfile(0);

    // DBASE in CP866: a name with a box-drawing byte (none in CP1251) keeps it.
    const std::string boxName = AnsiToOem("Ким") + "\xB0" + "      ";
    WriteBytes(Salary, SalaryDbf({boxName + "0001" + "  100.00"}));
    OpenProfile({"Salary.FileFormat=DBASE"});
    editAmount(OpenWindow(), 0, "5", {true, false, false});
    EXPECT_EQ(ReadBytes(Salary), SalaryDbf({boxName + "0001" + "    5.00"}));
}

// Another program may write the list anew while the window holds it: a save over it asks
// first, and No writes nothing and keeps the window's edits. After a save the file the
// window wrote is the one it holds.
TEST_F(DocumentWindowTest, ASaveOverAFileThatAnotherProgramWroteAsksFirst)
{
    const AnsiString question = "Файл " + Salary + " изменен другой программой после открытия. Сохранить поверх него?";
    const unsigned questionFlags = MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2;
    const std::string loaded = IniText({Ivanov, Petrova, Sidorov});
    WriteBytes(Salary, loaded);
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 2, "1.00"); });

    // The accounting program writes five records; No keeps them and the window's edit.
    const std::string five = IniText({Ivanov, Petrova, Sidorov, "Новиков;40817810000000000004;1.00",
                                      "Орлова;40817810000000000005;2.00"});
    WriteBytes(Salary, five);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::No, questionFlags);
        window.BtnSave->trigger();
    }
    EXPECT_EQ(ReadBytes(Salary), five);
    EXPECT_TRUE(window.IsModified());
    EXPECT_ANSI_EQ(Cell(window, 0, 2), "1.00");

    // Closing asks to save; Yes, then No to writing over the other program's file: the
    // window stays open with its edit.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Файл был изменен.\nСохранить изменения на диск?", MessageBoxAnswer::Yes);
        dialogs.ExpectMessage(question, MessageBoxAnswer::No);
        EXPECT_FALSE(window.parentWidget()->close());
    }
    EXPECT_EQ(ReadBytes(Salary), five);
    EXPECT_EQ(FrmSalary, &window);
    EXPECT_TRUE(window.IsModified());

    // Yes writes the window's records; a save after that asks nothing.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::Yes);
        window.BtnSave->trigger();
    }
    const std::string saved = IniText({"Иванов Иван Иванович;40817810000000000001;1.00", Petrova, Sidorov});
    EXPECT_EQ(ReadBytes(Salary), saved);
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 2, "2.00"); });
    window.BtnSave->trigger();

    // A change that keeps the file's size is seen too.
    std::string sameSize = ReadBytes(Salary);
    sameSize.replace(sameSize.find("2.00"), 4, "3.00");
    WriteBytes(Salary, sameSize);
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 2, "4.00"); });
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::No);
        window.BtnSave->trigger();
    }
    EXPECT_EQ(ReadBytes(Salary), sameSize);
}

// A dBase list whose header counts fewer records than it holds shows every record and is
// kept as it is: a save from it would leave records out of the count or change the count.
TEST_F(DocumentWindowTest, ADbaseListWithRecordsItsHeaderDidNotCountOpensWholeAndReadOnly)
{
    const auto withCount = [](std::string file, char count) { return file.replace(4, 1, 1, count); };
    const std::vector<std::string> records = {"Ivanov    0001 1500.00", "Petrova   0002  200.00", "Sidorov   0003   30.00"};
    const auto warning = [this](int held, int counted) {
        return "Файл " + Salary + " содержит записей: " + IntToStr(held) + ", а в его заголовке указано: " +
               IntToStr(counted) + ".\nПоказаны все записи. Изменения файла не могут быть сохранены на диск.";
    };
    const std::string file = withCount(SalaryDbf(records), 2);
    WriteBytes(Salary, file);
    OpenProfile({"Salary.FileFormat=DBASE"});
    TFrmExportFile* window = nullptr;
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(warning(3, 2), MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
        window = &OpenWindow();
    }
    ASSERT_EQ(window->GridModel()->rowCount(), 3);
    EXPECT_ANSI_EQ(Cell(*window, 2, 0), "Sidorov");
    EXPECT_ANSI_EQ(Caption(*window), "Список на зачисление: salary.txt (только чтение)");
    EXPECT_FALSE(window->BtnSave->isEnabled());
    window->SelectRecord(2);
    EditWith(window->BtnEdit, [](TDataControls& rows) { Type(rows, 2, "1"); });
    EXPECT_ANSI_EQ(Cell(*window, 2, 2), "1.00");
    window->BtnSave->trigger();
    EXPECT_TRUE(window->parentWidget()->close());
    EXPECT_EQ(ReadBytes(Salary), file);

    // A count of 0.
    WriteBytes(Salary, withCount(SalaryDbf({records[0], records[1]}), 0));
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(warning(2, 0));
        EXPECT_EQ(OpenWindow().GridModel()->rowCount(), 2);
    }
}

// A list that cannot be read is named in the error box, whatever the format's own text:
// here a text list opened as dBase, after the kind was switched to that format. A file
// that cannot be opened is named by the open error's own text, once.
TEST_F(DocumentWindowTest, AListThatCannotBeReadIsNamedInTheError)
{
    WriteBytes(Salary, IniText({Ivanov}));
    OpenProfile({"Salary.FileFormat=DBASE"});
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(Salary + ": Неверная сигнатура в заголовке DBF-файла.", MessageBoxAnswer::Ok,
                              MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        EXPECT_EQ(OpenWindow().GridModel()->rowCount(), 0);
    }
    ASSERT_TRUE(DeleteFile(Salary));
    EXPECT_RAISES(FrmSalary->LoadFile(), EFOpenError,
                  "Не удается открыть файл \"" + Salary + "\". " + SysErrorMessage(ENOENT));
}

// Deleted records are neither shown nor counted by the warning about records the header
// left out; a deleted one is all it left out, the list is saved as any other, and a record
// added to it is counted with the deleted one before it.
TEST_F(DocumentWindowTest, DeletedRecordsAreNeitherShownNorCountedByTheHeadersWarning)
{
    const auto withDeleted = [](std::string file, char count, size_t record) {
        file[129 + 23 * record] = '*';   // the mark of that record, after the header and 3 fields
        return file.replace(4, 1, 1, count);
    };
    const std::string ivanov = "Ivanov    0001 1500.00", gone = "Gone      0002    1.00";
    WriteBytes(Salary, withDeleted(SalaryDbf({ivanov, gone, "Sidorov   0003   30.00"}), 1, 1));
    OpenProfile({"Salary.FileFormat=DBASE"});
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Файл " + Salary + " содержит записей: 2, а в его заголовке указано: 1.\nПоказаны "
                              "все записи. Изменения файла не могут быть сохранены на диск.");
        EXPECT_EQ(OpenWindow().GridModel()->rowCount(), 2);
    }
    Main->SelectProfile(0);

    WriteBytes(Salary, withDeleted(SalaryDbf({ivanov, gone}), 1, 1));
    TFrmExportFile& window = OpenWindow();
    ASSERT_EQ(window.GridModel()->rowCount(), 1);
    EXPECT_TRUE(window.BtnSave->isEnabled());
    EditWith(window.BtnAdd, [](TDataControls& rows) {
        Type(rows, 0, "Novikov");
        Type(rows, 1, "0004");
        Type(rows, 2, "5");
    });
    window.BtnSave->trigger();
    EXPECT_EQ(ReadBytes(Salary), withDeleted(SalaryDbf({ivanov, gone, "Novikov   0004    5.00"}), 3, 1));
}

// A list that another program deleted while the window holds it: the save's question says
// so. No writes nothing and keeps the edit; Yes writes the window's records.
TEST_F(DocumentWindowTest, ASaveOfAFileThatAnotherProgramDeletedAsksFirst)
{
    const AnsiString question = "Файл " + Salary + " удален другой программой после открытия. Сохранить его?";
    const unsigned questionFlags = MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2;
    WriteBytes(Salary, IniText({Ivanov, Petrova}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 2, "1.00"); });
    ASSERT_TRUE(DeleteFile(Salary));
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::No, questionFlags);
        window.BtnSave->trigger();
    }
    EXPECT_FALSE(FileExists(Salary));
    EXPECT_TRUE(window.IsModified());
    EXPECT_ANSI_EQ(Cell(window, 0, 2), "1.00");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(question, MessageBoxAnswer::Yes);
        window.BtnSave->trigger();
    }
    EXPECT_EQ(ReadBytes(Salary), IniText({"Иванов Иван Иванович;40817810000000000001;1.00", Petrova}));
    EXPECT_FALSE(window.IsModified());
}

// A file whose bytes are plainly not text in the profile's code page opens with a warning
// that names the file and the code page; text that fits, and plain ASCII, open silently.
TEST_F(DocumentWindowTest, AFileInAnotherCodePageOpensWithAWarning)
{
    WriteBytes(Salary, IniText({"Ivanov;40817810000000000001;1.00"}));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    const auto open = [&](int charset, const std::string& bytes, const char* warnedCharset) {
        WriteBytes(Salary, bytes);
        window.ExportKind().Charset = static_cast<uint8_t>(charset);
        TScriptedDialogs dialogs;
        if (warnedCharset)
            dialogs.ExpectMessage("Файл " + Salary + " не похож на текст в кодировке " + warnedCharset +
                                      ", заданной в профиле.\nТекст записей может отображаться и выгружаться неверно.",
                                  MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
        window.LoadFile();
        EXPECT_EQ(window.GridModel()->rowCount(), 1) << warnedCharset;
    };
    const std::string cyrillic = IniText({Ivanov});
    const std::string ascii = IniText({"Ivanov;40817810000000000001;1.00"});
    const std::string utf8 = AnsiToUtf8(cyrillic);
    open(CodePageUtf8, utf8, nullptr);
    open(CodePageUtf8, ascii, nullptr);
    open(CodePageUtf8, cyrillic, "UTF8");
    open(CodePageCp1251, cyrillic, nullptr);
    open(CodePageCp1251, ascii, nullptr);
    open(CodePageCp1251, utf8, "CP1251");
    open(CodePageCp866, utf8, "CP866");
    open(CodePageKoi8R, utf8, "KOI8R");
    open(CodePageCp866, AnsiToOem(cyrillic), nullptr);
    open(CodePageKoi8R, AnsiToKoi8(cyrillic), nullptr);
}

// An empty list shows no rows: an empty row would look like a record.
TEST_F(DocumentWindowTest, AnEmptyFileShowsNoRows)
{
    WriteBytes(Salary, std::string());
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    EXPECT_EQ(window.GridModel()->rowCount(), 0);
    EXPECT_EQ(window.CurrentRecord(), -1);
    EXPECT_FALSE(RecordCommandsOn(window));
    EXPECT_TRUE(window.BtnAdd->isEnabled());
    EXPECT_ANSI_EQ(Status(window), "");
}

// A typed character that the file's code page lacks is refused with the field's name,
// not written as another character ("?" for "«" in CP866, for "—" in KOI8-R); the
// editor stays open and the file keeps its bytes.
TEST_F(DocumentWindowTest, ATypedCharacterTheFilesCodePageLacksIsRefused)
{
    ExpectTypedNameRefused("Salary.Charset=CP866", AnsiToOem(IniText({Ivanov})), ToQString("ООО «Ромашка»"),
                           "ФИО: Символа \"«\" нет в кодировке файла CP866.");
    ExpectTypedNameRefused("Salary.Charset=KOI8R", AnsiToKoi8(IniText({Ivanov})), ToQString("Петров — Водкин"),
                           "ФИО: Символа \"—\" нет в кодировке файла KOI8R.");
    // A UTF-8 file could hold a Tatar letter, but the program's own text cannot.
    ExpectTypedNameRefused("Salary.Charset=UTF8", AnsiToUtf8(IniText({Ivanov})),
                           QStringLiteral(u"\u0425\u04d9\u043a\u0438\u043c\u043e\u0432"),
                           "ФИО: Введен символ, которого нет в кодировке CP1251.");
}

// The check of the file's code page reaches the last character typed as well.
TEST_F(DocumentWindowTest, ACharacterTheFilesCodePageLacksIsRefusedAlsoAsTheLastOneTyped)
{
    ExpectTypedNameRefused("Salary.Charset=CP866", AnsiToOem(IniText({Ivanov})), ToQString("ООО Ромашка»"),
                           "ФИО: Символа \"»\" нет в кодировке файла CP866.");
}

// A change of the letter case alone is a change: the record editor writes it.
TEST_F(DocumentWindowTest, AnEditThatChangesOnlyTheLetterCaseIsWritten)
{
    WriteBytes(Salary, Line("ооо Ромашка;40817810000000000001;100.00"));
    OpenProfile();
    TFrmExportFile& window = OpenWindow();
    EditWith(window.BtnEdit, [](TDataControls& rows) { Type(rows, 0, "ООО Ромашка"); });
    window.BtnSave->trigger();
    EXPECT_EQ(ReadBytes(Salary), Line("ООО Ромашка;40817810000000000001;100.00"));
}
