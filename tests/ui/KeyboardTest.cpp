// The program worked from the keyboard alone, with key events delivered as the window
// system delivers them: the menu bar, the keys of the toolbar commands, closing and
// moving between the windows, and where the focus goes.

#include "MessageBoxes.h"
#include "StoreRows.h"

#include "documents/Internals.h"
#include "documents/ProfileFiles.h"
#include "documents/Profiles.h"
#include "exchange/ProtocolLog.h"
#include "platform/Dialogs.h"
#include "ui/QtDialogService.h"
#include "ui/QtText.h"
#include "ui/ListGrids.h"
#include "ui/Reports.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmExportFile.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmProfile.h"
#include "ui/UFrmReplyFiles.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

constexpr char Ivanov[] = "Иванов Иван Иванович;40817810000000000001;15000.00";
constexpr char Petrova[] = "Петрова Мария Сергеевна;40817810000000000002;23500.50";

// Where the window system sends a key: to an open menu, else to the focus widget.
QWidget* KeyTarget()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup;
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    return QApplication::activeWindow() ? QApplication::activeWindow() : FrmMain;
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(KeyTarget(), key, modifiers);
    QCoreApplication::processEvents();
}

// Alt pressed and released with nothing in between.
void PressAltAlone()
{
    QWidget* target = KeyTarget();
    QTest::keyPress(target, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(target, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::processEvents();
}

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest()
    {
        Main = std::make_unique<TFrmMain>();
        FrmMain = Main.get();
        Find = std::make_unique<TFrmFind>(Main.get());
        FrmFind = Find.get();
        WriteBytes(Salary, IniText({Ivanov, Petrova}));
        WriteBytes(Ini, IniText({"[Romashka]", "Caption=Ромашка", "Prefix=ABC", "RecvUser=romashka", "RecvPass=one",
                                 "DataPath=" + Dir.Path(), "Salary.FileFormat=DELIM", "Salary.FileName=" + Salary,
                                 "Salary.Fields=1,2,3", "Salary.Delim=;"}));
        Profiles.Get()->Open(Ini);
        Main->resize(1200, 800);
        Main->show();
        Main->activateWindow();
        Active = QTest::qWaitForWindowActive(Main.get());
        Main->SelectProfile(0);
    }

    ~KeyboardTest() override
    {
        Main->SelectProfile(Profiles.Get()->Count());   // closes the windows without asking
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetProtocolLogging(false);
        FrmFind = nullptr;
        Find.reset();
        Main.reset();
        FrmMain = nullptr;
        Profiles.Reset();
    }

    void Open(QAction* command)
    {
        command->trigger();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QAction* ActiveTitle() const { return Main->menuBar()->activeAction(); }

    // Down in the open menu until the item is the active one.
    static bool DownTo(QMenu* menu, QAction* item)
    {
        for (int i = 0; i < 10 && menu->activeAction() != item; ++i)
            Press(Qt::Key_Down);
        return menu->activeAction() == item;
    }

    static bool Inside(const QWidget* window, const QWidget* widget)
    {
        return widget && window->isAncestorOf(widget);
    }

    TTempDir Dir;
    AnsiString Ini = Dir.File("velton.ini");
    AnsiString Salary = Dir.File("salary.txt");
    std::unique_ptr<TFrmMain> Main;
    std::unique_ptr<TFrmFind> Find;
    bool Active = false;
};

}  // namespace

TEST_F(KeyboardTest, F10OrAltAloneOpensTheMenuBarAndEnterRunsTheChosenItem)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmSalary);
    QWidget* working = QApplication::focusWidget();
    ASSERT_TRUE(working);

    const QImage idleBar = Main->menuBar()->grab().toImage();
    Press(Qt::Key_F10);
    EXPECT_EQ(ActiveTitle(), Main->ItmControl->menuAction());
    EXPECT_NE(Main->menuBar()->grab().toImage(), idleBar);   // the title shows highlighted
    Press(Qt::Key_Right);
    EXPECT_EQ(ActiveTitle(), Main->ItmOutgoing->menuAction());
    Press(Qt::Key_Left);
    EXPECT_EQ(ActiveTitle(), Main->ItmControl->menuAction());
    EXPECT_FALSE(Main->ItmControl->isVisible());
    // Escape leaves the bar and gives the focus back.
    Press(Qt::Key_Escape);
    EXPECT_EQ(ActiveTitle(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), working);

    PressAltAlone();
    EXPECT_EQ(ActiveTitle(), Main->ItmControl->menuAction());
    Press(Qt::Key_Return);
    ASSERT_TRUE(Main->ItmControl->isVisible());
    EXPECT_FALSE(Main->ItmLogging->isVisible());
    ASSERT_TRUE(DownTo(Main->ItmControl, Main->ItmExit));
    Press(Qt::Key_Return);
    EXPECT_FALSE(Main->isVisible());
}

TEST_F(KeyboardTest, CtrlHeldWhileTheControlMenuOpensByKeyShowsItsHiddenItems)
{
    ASSERT_TRUE(Active);
    Press(Qt::Key_F10);
    Press(Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(Main->ItmControl->isVisible());
    EXPECT_TRUE(Main->ItmEditCommon->isVisible());
    ASSERT_TRUE(DownTo(Main->ItmControl, Main->ItmLogging));
    Press(Qt::Key_Return);
    EXPECT_TRUE(ProtocolLogging());
}

TEST_F(KeyboardTest, TheToolbarKeysRunTheCommandsOfTheActiveWindowOnly)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary);
    TFrmExportFile& list = *FrmSalary;
    EXPECT_ANSI_EQ(FromQString(list.BtnNew->toolTip()), "Новый (Ctrl+N)");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(std::nullopt).ExpectOpenFile(std::nullopt);
        Press(Qt::Key_N, Qt::ControlModifier);
        Press(Qt::Key_O, Qt::ControlModifier);
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Text, "Новый");
        EXPECT_ANSI_EQ(dialogs.Asked()[1].Text, "Открыть");
        dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
        Press(Qt::Key_Delete);
    }
    Press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ReadBytes(Salary), IniText({Petrova}));
    bool errorsPrinted = false;
    SetPrinterChooser([&](QPrinter&) {
        errorsPrinted = true;
        return false;
    });
    {
        TScriptedDialogs dialogs;
        // The export runs in the wizard window, which this test has not made.
        dialogs.ExpectMessage("Окно мастера не создано.");
        Press(Qt::Key_E, Qt::ControlModifier);
        Press(Qt::Key_P, Qt::ControlModifier);
    }
    SetPrinterChooser(nullptr);
    EXPECT_TRUE(errorsPrinted);
    EXPECT_ANSI_EQ(FromQString(list.BtnExport->toolTip()), "Экспорт (Ctrl+E)");
    Press(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Find->isVisible());
    Find->close();

    AppendStoreRow<TMessages>(Dir.File("Cache/ABC.MESSAGES"),
                              {"Текст\r\n", "", "", "Первое", "01/03/2024 10:00:00", "01/03/2024 11:00:00"});
    Open(Main->ItmMessages);
    ASSERT_TRUE(FrmMessages);
    QSignalSpy received(FrmMessages->BtnReceive, &QAction::triggered);
    bool printAsked = false;
    SetPrinterChooser([&](QPrinter&) {
        printAsked = true;
        return false;
    });
    {
        TScriptedDialogs dialogs;
        // The receive runs in the wizard window, which this test has not made.
        dialogs.ExpectMessage("Окно мастера не создано.").ExpectSaveFile(std::nullopt);
        Press(Qt::Key_F5);
        Press(Qt::Key_S, Qt::ControlModifier);
        Press(Qt::Key_P, Qt::ControlModifier);
    }
    SetPrinterChooser(nullptr);
    EXPECT_EQ(received.count(), 1);
    EXPECT_TRUE(printAsked);
    EXPECT_ANSI_EQ(FromQString(FrmMessages->BtnReceive->toolTip()), "Прием (F5)");

    AppendStoreRow<TJournal>(Dir.File("Sent/ABC.JOURNAL"), {"ABC000001", "salary", "1", "100.00", "0.00", "",
                                                            "01/03/2024 10:00:00", "ABC000001.TLB"});
    Open(Main->ItmJournal);
    ASSERT_TRUE(FrmJournal);
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::No);
    Press(Qt::Key_R, Qt::ControlModifier);
}

TEST_F(KeyboardTest, ADropDownButtonsKeyOpensItsMenu)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary);
    TFrmExportFile& list = *FrmSalary;
    ASSERT_TRUE(list.Marks().Info(0).Selected && list.Marks().Info(1).Selected);
    bool startsOnFirstItem = false;
    // Once the menu is up: its first item is the active one, one Down goes to the next.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            startsOnFirstItem = QApplication::activePopupWidget() == list.MnuSelectAll &&
                                list.MnuSelectAll->activeAction() == list.MnuSelectAll->actions().first();
            if (!startsOnFirstItem) {
                if (QWidget* popup = QApplication::activePopupWidget())
                    popup->close();
                return;
            }
            Press(Qt::Key_Down);
            Press(Qt::Key_Return);
        });
    });
    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(startsOnFirstItem);
    EXPECT_FALSE(list.Marks().Info(0).Selected || list.Marks().Info(1).Selected);
    EXPECT_ANSI_EQ(FromQString(list.BtnSelectAll->toolTip()), "Все (Ctrl+A)");
}

TEST_F(KeyboardTest, CtrlF4ClosesTheActiveWindowAskingAboutUnsavedChangesAndCtrlTabGoesRound)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmJournal);
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary && FrmJournal);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Main->MdiArea()->activeSubWindow()->widget(), FrmJournal);
    Press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Main->MdiArea()->activeSubWindow()->widget(), FrmSalary);

    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Удалить запись?", MessageBoxAnswer::Yes);
    Press(Qt::Key_Delete);
    dialogs.ExpectMessage("Файл был изменен.\nСохранить изменения на диск?", MessageBoxAnswer::Cancel);
    Press(Qt::Key_F4, Qt::ControlModifier);
    EXPECT_TRUE(FrmSalary);
    dialogs.ExpectMessage("Файл был изменен.\nСохранить изменения на диск?", MessageBoxAnswer::No);
    Press(Qt::Key_F4, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(FrmSalary);
    EXPECT_EQ(ReadBytes(Salary), IniText({Ivanov, Petrova}));
    // The window below takes the focus.
    EXPECT_TRUE(Inside(FrmJournal, QApplication::focusWidget()));
    Press(Qt::Key_F4, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(FrmJournal);
}

TEST_F(KeyboardTest, AWindowThatOpensOrComesToTheFrontHasTheFocusOnItsListAndTabStaysInside)
{
    ASSERT_TRUE(Active);
    AppendStoreRow<TMessages>(Dir.File("Cache/ABC.MESSAGES"),
                              {"Текст\r\n", "", "", "Первое", "01/03/2024 10:00:00", "01/03/2024 11:00:00"});
    AppendStoreRow<TMessages>(Dir.File("Cache/ABC.MESSAGES"),
                              {"Текст\r\n", "", "", "Второе", "02/03/2024 10:00:00", "02/03/2024 11:00:00"});
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary);
    EXPECT_EQ(QApplication::focusWidget(), FrmSalary->Grid);
    EXPECT_EQ(FrmSalary->Grid->currentIndex().row(), 0);
    Press(Qt::Key_Down);
    EXPECT_EQ(FrmSalary->CurrentRecord(), 1);

    Open(Main->ItmMessages);
    ASSERT_TRUE(FrmMessages);
    EXPECT_EQ(QApplication::focusWidget(), FrmMessages->LstMessages);
    EXPECT_EQ(FrmMessages->LstMessages->currentIndex().row(), 0);
    Open(Main->ItmJournal);
    EXPECT_EQ(QApplication::focusWidget(), FrmJournal->LstJournal);
    Open(Main->ItmEtalons);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(FrmEtalons->Grid));
    Open(Main->ItmNewCliReply);
    EXPECT_EQ(QApplication::focusWidget(), FrmNewCliReply->LstFiles);

    Open(Main->ItmSalary);
    EXPECT_EQ(QApplication::focusWidget(), FrmSalary->Grid);
    for (int i = 0; i < 5; ++i) {
        Press(Qt::Key_Tab);
        EXPECT_TRUE(Inside(FrmSalary, QApplication::focusWidget()));
        EXPECT_EQ(Main->MdiArea()->activeSubWindow()->widget(), FrmSalary);
    }
    Open(Main->ItmMessages);
    // Tab leaves the list for the message's text and the attachments, and comes round.
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), FrmMessages->RtfBody);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), FrmMessages->LstAttaches);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), FrmMessages->LstMessages);
    for (int i = 0; i < 5; ++i) {
        Press(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_TRUE(Inside(FrmMessages, QApplication::focusWidget()));
    }
}

namespace {

// The box of a control on the screen: its group's box, and the control's own.
struct TPlace {
    QRect Section;
    QRect Own;
};

TPlace PlaceOf(const QWidget* dialog, const QWidget* control)
{
    const QWidget* section = control;
    for (const QWidget* up = control->parentWidget(); up && up != dialog; up = up->parentWidget())
        if (qobject_cast<const QGroupBox*>(up))
            section = up;
    return {QRect(section->mapTo(dialog, QPoint(0, 0)), section->size()),
            QRect(control->mapTo(dialog, QPoint(0, 0)), control->size())};
}

// Of two boxes side by side (their heights overlap) the left one comes first, else the
// upper one.
bool ScreenOrder(const QRect& a, const QRect& b)
{
    const bool sideBySide = a.top() <= b.bottom() && b.top() <= a.bottom();
    return sideBySide ? a.left() < b.left() : a.top() < b.top();
}

// The groups in screen order, and the controls of one group.
bool ComesBefore(const TPlace& a, const TPlace& b)
{
    return a.Section != b.Section ? ScreenOrder(a.Section, b.Section) : ScreenOrder(a.Own, b.Own);
}

}  // namespace

TEST_F(KeyboardTest, TheProfileEditorsTabChainFollowsTheScreen)
{
    TFrmEditProfile editor;
    editor.show();
    QCoreApplication::processEvents();
    std::vector<QWidget*> chain;
    QWidget* widget = editor.EdtProfileName;
    do {
        const bool control = qobject_cast<QLineEdit*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                             qobject_cast<QComboBox*>(widget) || qobject_cast<QPushButton*>(widget);
        if (control && (widget->focusPolicy() & Qt::TabFocus) && editor.isAncestorOf(widget))
            chain.push_back(widget);
        widget = widget->nextInFocusChain();
    } while (widget != editor.EdtProfileName);
    ASSERT_GT(chain.size(), 60u);
    EXPECT_EQ(chain.back(), editor.BtnCancel);
    for (size_t i = 1; i < chain.size(); ++i)
        EXPECT_TRUE(ComesBefore(PlaceOf(&editor, chain[i - 1]), PlaceOf(&editor, chain[i])))
            << "tab stop " << i << " " << FromQString(chain[i]->objectName()) << " at "
            << PlaceOf(&editor, chain[i]).Own.x() << "," << PlaceOf(&editor, chain[i]).Own.y() << " after "
            << PlaceOf(&editor, chain[i - 1]).Own.x() << "," << PlaceOf(&editor, chain[i - 1]).Own.y();
}

// Tab goes round the profile editor's controls and stops nowhere else: not on the area
// that scrolls its rows.
TEST_F(KeyboardTest, TheProfileEditorsTabStopsAreItsControls)
{
    TFrmEditProfile editor(Main.get());
    editor.show();
    editor.activateWindow();
    for (int round = 0; round < 100 && QApplication::activeWindow() != &editor; ++round)
        QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &editor);
    editor.EdtProfileName->setFocus(Qt::TabFocusReason);
    int stops = 0;
    do {
        Press(Qt::Key_Tab);
        QWidget* stop = QApplication::focusWidget();
        ASSERT_NE(stop, nullptr);
        EXPECT_TRUE(qobject_cast<QLineEdit*>(stop) || qobject_cast<QCheckBox*>(stop) ||
                    qobject_cast<QComboBox*>(stop) || qobject_cast<QPushButton*>(stop))
            << "tab stop " << stops << ": " << stop->metaObject()->className();
    } while (QApplication::focusWidget() != editor.EdtProfileName && ++stops < 200);
    EXPECT_GT(stops, 60);
    EXPECT_LT(stops, 200);
}

TEST_F(KeyboardTest, TheFocusedControlShowsAFrame)
{
    ASSERT_TRUE(Active);
    // The row that keys act on, also when it is not selected.
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary && FrmSalary->Grid->hasFocus());
    FrmSalary->Grid->selectionModel()->clearSelection();
    const QImage focusedRows = FrmSalary->Grid->viewport()->grab().toImage();
    const QImage unfocusedStatus = FrmSalary->EdtMessages->viewport()->grab().toImage();
    FrmSalary->EdtMessages->setFocus();
    EXPECT_NE(FrmSalary->Grid->viewport()->grab().toImage(), focusedRows);
    // The record's status text under the grid shows its caret.
    EXPECT_NE(FrmSalary->EdtMessages->viewport()->grab().toImage(), unfocusedStatus);

    TFrmProfile chooser(Main.get());
    chooser.show();
    chooser.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&chooser));
    QCoreApplication::processEvents();
    ASSERT_TRUE(chooser.CmbProfile->hasFocus());
    const QImage focusedBox = chooser.CmbProfile->grab().toImage();
    const QImage unfocusedButton = chooser.BtnCancel->grab().toImage();
    chooser.BtnCancel->setFocus();
    EXPECT_NE(chooser.CmbProfile->grab().toImage(), focusedBox);
    EXPECT_NE(chooser.BtnCancel->grab().toImage(), unfocusedButton);
    chooser.reject();

    // The message's text, reached by Tab, shows its caret.
    AppendStoreRow<TMessages>(Dir.File("Cache/ABC.MESSAGES"),
                              {"Текст\r\n", "", "", "Первое", "01/03/2024 10:00:00", "01/03/2024 11:00:00"});
    Open(Main->ItmMessages);
    ASSERT_TRUE(FrmMessages && FrmMessages->LstMessages->hasFocus());
    const QImage unfocusedText = FrmMessages->RtfBody->viewport()->grab().toImage();
    Press(Qt::Key_Tab);
    ASSERT_TRUE(FrmMessages->RtfBody->hasFocus());
    EXPECT_NE(FrmMessages->RtfBody->viewport()->grab().toImage(), unfocusedText);
}

// A list with no rows has no row to mark: the list itself shows that it has the focus, as
// the messages list does before the first receive.
TEST_F(KeyboardTest, AnEmptyListShowsThatItHasTheFocus)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmMessages);
    ASSERT_TRUE(FrmMessages && FrmMessages->LstMessages->hasFocus());
    ASSERT_EQ(FrmMessages->LstMessages->model()->rowCount(), 0);
    const QImage focused = FrmMessages->LstMessages->viewport()->grab().toImage();
    FrmMessages->RtfBody->setFocus();
    ASSERT_FALSE(FrmMessages->LstMessages->hasFocus());
    EXPECT_NE(FrmMessages->LstMessages->viewport()->grab().toImage(), focused);
}

TEST_F(KeyboardTest, EnterPressesTheButtonThatHasTheFocus)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmSalary);
    Press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Find->isVisible());
    Find->BtnClose->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Find->BtnClose, Qt::Key_Return);
    EXPECT_FALSE(Find->isVisible());
    EXPECT_EQ(FrmSalary->CurrentRecord(), 0);   // nothing was looked for

    // Enter on "Отмена" closes the dialog without taking its choice.
    const auto cancelledByEnter = [](QDialog& dialog, QPushButton* cancel) {
        dialog.show();
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        cancel->setFocus(Qt::TabFocusReason);
        QTest::keyClick(cancel, Qt::Key_Return);
        return accepted.count() == 0 && !dialog.isVisible();
    };
    TFrmProfile chooser(Main.get());
    EXPECT_TRUE(cancelledByEnter(chooser, chooser.BtnCancel));
    TFrmEditProfile editor;
    EXPECT_TRUE(cancelledByEnter(editor, editor.BtnCancel));
}

namespace {

// The program's own message boxes for the length of a scope (WhenBoxShows answers them).
class TRealBoxes {
public:
    TRealBoxes() : FPrevious(SetDialogService(&FService)) {}
    ~TRealBoxes() { SetDialogService(FPrevious); }

    TRealBoxes(const TRealBoxes&) = delete;
    TRealBoxes& operator=(const TRealBoxes&) = delete;

private:
    TQtDialogService FService;
    TDialogService* FPrevious;
};

}  // namespace

// The offscreen platform, like some window managers, activates no window when a box
// closes: the window that showed the box must take the focus back itself.
TEST_F(KeyboardTest, AfterAMessageBoxTheFocusIsBackWhereItWas)
{
    ASSERT_TRUE(Active);
    Open(Main->ItmSalary);
    ASSERT_TRUE(FrmSalary);
    Press(Qt::Key_F, Qt::ControlModifier);
    for (int round = 0; round < 100 && QApplication::activeWindow() != Find.get(); ++round)
        QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Find.get());
    QWidget* valueBox = QApplication::focusWidget();
    ASSERT_TRUE(Inside(Find.get(), valueBox));
    TRealBoxes boxes;
    Find->CmbValue->setEditText(ToQString("Нет такого"));
    WhenBoxShows([](QMessageBox*) {}, "OK");
    Press(Qt::Key_Return);   // "Искомое значение не найдено."
    EXPECT_TRUE(Find->isVisible());
    EXPECT_EQ(QApplication::activeWindow(), Find.get());
    EXPECT_EQ(QApplication::focusWidget(), valueBox);
    // The next key goes on with the value, and leaves the list's marks alone.
    Press(Qt::Key_Space);
    EXPECT_EQ(Find->CmbValue->currentText(), ToQString("Нет такого "));
    EXPECT_TRUE(FrmSalary->Marks().Info(0).Selected);
    Find->close();

    AppendStoreRow<TMessages>(Dir.File("Cache/ABC.MESSAGES"),
                              {"Текст\r\n", "", "", "Первое", "01/03/2024 10:00:00", "01/03/2024 11:00:00"});
    Open(Main->ItmMessages);
    ASSERT_TRUE(FrmMessages && FrmMessages->LstMessages->hasFocus());
    WhenBoxShows([](QMessageBox*) {}, "Нет");
    Press(Qt::Key_Delete);   // "Удаленное сообщение восстановить будет нельзя."
    EXPECT_EQ(QApplication::activeWindow(), Main.get());
    EXPECT_EQ(QApplication::focusWidget(), FrmMessages->LstMessages);
}
