// The main window: start-up from the restart state, the command line or the default
// profiles file; profile selection and its failure; closing the children; the menus.

#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "platform/FileLocks.h"
#include "platform/IniFiles.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "ui/QtText.h"
#include "exchange/ProtocolLog.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmProfile.h"
#include "ui/UFrmReplyFiles.h"

#include "documents/ProfileFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

namespace {

constexpr char FullTitle[] = "Экспорт в Вельтон-Банк 1.0.0.0";

// A document window: records whether the main window was switching when it closed.
class TDocumentWindow : public QLabel, public TUnsavedData {
public:
    explicit TDocumentWindow(bool unsaved) : FUnsaved(unsaved) {}
    bool HasUnsavedChanges() const override { return FUnsaved; }

    std::function<void()> OnClose = [] {};
    int ClosedWhileSwitching = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ClosedWhileSwitching += FrmMain && FrmMain->Switching() ? 1 : 0;
        OnClose();
        QLabel::closeEvent(event);
    }

private:
    bool FUnsaved;
};

// Runs the action each time the window is shown.
class TOnShow : public QObject {
public:
    TOnShow(QWidget* window, std::function<void()> action) : FAction(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            FAction();
        return false;
    }

private:
    std::function<void()> FAction;
};

class MainWindowTest : public ::testing::Test {
protected:
    ~MainWindowTest() override
    {
        ChooserWatch.reset();
        Main.reset();
        Chooser.reset();
        FrmMain = nullptr;
        FrmProfile = nullptr;
        Profiles.Reset();
    }

    // Builds the main window for the program at Program with the arguments, shows it (as
    // the program does: maximised, or at its own size) and runs its start-up; `whileModal`
    // runs when the profile chooser is shown (it must close it).
    void Start(std::vector<std::string> arguments = {}, std::function<void()> whileModal = nullptr,
               bool maximised = false)
    {
        Chooser = std::make_unique<TFrmProfile>();
        FrmProfile = Chooser.get();
        Main = std::make_unique<TFrmMain>(TStartupParams{Program, std::move(arguments)});
        FrmMain = Main.get();
        ChooserShown = false;
        ChooserWatch = std::make_unique<TOnShow>(Chooser.get(), [this, whileModal] {
            ChooserShown = true;
            QTimer::singleShot(0, Main.get(), [this, whileModal] {
                if (whileModal)
                    whileModal();
                if (Chooser->isVisible()) {
                    ADD_FAILURE() << "the profile chooser stayed open";
                    Chooser->reject();
                }
            });
        });
        if (maximised)
            Main->showMaximized();
        else
            Main->show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    // Two good profiles, "First" and "Second".
    void WriteTwoProfiles(const AnsiString& fileName)
    {
        WriteBytes(fileName, IniText({"[First]", "Caption=Первый", "Prefix=ABC", "RecvUser=first", "RecvPass=one",
                                 "[Second]", "Caption=Второй", "Prefix=DEF", "RecvUser=second", "RecvPass=two",
                                 "EMail=second@bank.local", "CipherType=VERBA", "BankVerbaKey=1234",
                                 "VerbaPubPath=/keys/pub", "VerbaSecPath=/keys/sec"}));
    }

    AnsiString Title() const { return FromQString(Main->windowTitle()); }

    void ExpectCommandsOff()
    {
        EXPECT_FALSE(Main->DocumentCommandsOn());
        for (QAction* item : Main->DocumentCommands())
            EXPECT_FALSE(item->isEnabled());
    }

    QMdiSubWindow* AddChild(QWidget* window, const char* caption)
    {
        window->setWindowTitle(ToQString(caption));
        QMdiSubWindow* frame = Main->MdiArea()->addSubWindow(window);
        frame->show();
        return frame;
    }

    static void DeleteClosedWindows() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TTempDir Dir;
    AnsiString Program = Dir.File("velton-export");
    std::unique_ptr<TFrmProfile> Chooser;
    std::unique_ptr<TFrmMain> Main;
    std::unique_ptr<TOnShow> ChooserWatch;
    bool ChooserShown = false;
};

}  // namespace

TEST_F(MainWindowTest, TheRestartStateSelectsItsProfileAndIsGoneAfterwards)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteTwoProfiles(ini);
    // The restart state names the profile in other letters and wins over the command line.
    WriteBytes(Program + ".rst", IniText({"[State]", "IniFile=" + ini, "Profile=SECOND"}));

    Start({"/nonexistent/other.ini"});

    EXPECT_FALSE(ChooserShown);
    EXPECT_FALSE(FileExists(Program + ".rst"));
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Second");
    EXPECT_ANSI_EQ(Title(), AnsiString(FullTitle) + " - Второй");
    const std::vector<AnsiString> panels = Main->StatusPanelTexts();
    ASSERT_EQ(panels.size(), 3u);
    EXPECT_ANSI_EQ(panels[0], " Префикс: DEF");
    EXPECT_ANSI_EQ(panels[1], " Шифрование: СКЗИ \"Верба\"");
    EXPECT_ANSI_EQ(panels[2], " Адрес: second@bank.local");
    EXPECT_TRUE(Main->DocumentCommandsOn());
}

// A profiles file that others may read is named on the terminal, with the command that
// makes it private; the start-up goes on as usual.
TEST_F(MainWindowTest, AProfilesFileOthersMayReadIsNamedOnTheTerminal)
{
    const AnsiString ini = Dir.File("my profiles.ini");
    WriteBytes(ini, IniText({"[Only]", "Prefix=ABC", "RecvUser=only", "RecvPass=one"}));
    for (const mode_t mode : {0600, 0640, 0604}) {
        chmod(ToSystemPath(ini).c_str(), mode);
        ::testing::internal::CaptureStderr();
        Start({ToSystemPath(ini)});
        const std::string terminal = ::testing::internal::GetCapturedStderr();
        ASSERT_NE(Profiles.Get()->Current(), nullptr);
        if (mode == 0600)
            EXPECT_EQ(terminal.find("chmod"), std::string::npos) << terminal;
        else
            EXPECT_THAT(terminal, ::testing::HasSubstr(AnsiToUtf8(
                                      "Файл профилей " + ini +
                                      " с паролями доступен для чтения другим пользователям; закройте его "
                                      "командой: chmod 600 '" + ini + "'\n")));
        Main.reset();
        FrmMain = nullptr;
        Profiles.Reset();
    }
}

TEST_F(MainWindowTest, ARestartStateNamingNoProfileShowsTheChooserEvenForOne)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteBytes(ini, IniText({"[Only]", "Prefix=ABC", "RecvUser=only", "RecvPass=one"}));
    WriteBytes(Program + ".rst", IniText({"[State]", "IniFile=" + ini, "Profile=Gone"}));
    Start({}, [this] {
        EXPECT_EQ(Chooser->CmbProfile->count(), 2);
        Chooser->reject();
    });
    EXPECT_TRUE(ChooserShown);
    EXPECT_EQ(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(Title(), FullTitle);
    ExpectCommandsOff();
}

TEST_F(MainWindowTest, OneProfileOnTheCommandLineIsSelectedWithoutTheChooser)
{
    WriteBytes(Dir.File("profiles.ini"),
               IniText({"[Common]", "Prefix=XYZ", "[Only]", "Caption=Единственный", "RecvUser=only", "RecvPass=one"}));
    // A relative argument is taken from the current folder.
    const std::string saved = std::filesystem::current_path().string();
    std::filesystem::current_path(ToSystemPath(Dir.Path()));
    Start({"profiles.ini", "ignored.ini"});
    std::filesystem::current_path(saved);

    EXPECT_FALSE(ChooserShown);
    EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), Dir.File("profiles.ini"));
    EXPECT_ANSI_EQ(Title(), AnsiString(FullTitle) + " - Единственный");
    EXPECT_ANSI_EQ(Main->StatusPanelTexts().at(1), " Шифрование: PGP");
}

TEST_F(MainWindowTest, ASecondStartOnTheSameProfilesFileSaysSoAndEndsWithoutTouchingIt)
{
    // A plain password: any open of the file would scramble it.
    const std::string bytes = IniText({"[Only]", "Prefix=ABC", "RecvUser=u", "RecvPass=plain"});
    WriteBytes(Dir.File("profiles.ini"), bytes);
    WriteBytes(Dir.File("other.ini"), bytes);
    ASSERT_EQ(symlink("profiles.ini", ToSystemPath(Dir.File("link.ini")).c_str()), 0);
    TInstanceLock running;
    ASSERT_TRUE(running.TryLock(Dir.File("profiles.ini")));

    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Программа уже запущена с файлом профилей " + Dir.File("link.ini") +
                              ".\nЭта копия программы будет закрыта.",
                          MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    Start({ToSystemPath(Dir.File("link.ini"))});
    EXPECT_FALSE(Main->isVisible());
    EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), "");
    EXPECT_EQ(ReadBytes(Dir.File("profiles.ini")), bytes);

    // Another profiles file is free for a second program.
    Main.reset();
    Start({ToSystemPath(Dir.File("other.ini"))});
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Only");
}

TEST_F(MainWindowTest, AStartFromTheRestartStateWaitsForTheUpdatingProgramToLetGoOfTheProfilesFile)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteTwoProfiles(ini);
    const AnsiString rst = Program + ".rst";
    const std::string state = IniText({"[State]", "IniFile=" + ini, "Profile=second"});
    WriteBytes(rst, state);
    auto updating = std::make_unique<TInstanceLock>();
    ASSERT_TRUE(updating->TryLock(ini));

    // A program that keeps the file: after the wait this start ends, and the state stays
    // for the next start.
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Программа уже запущена с файлом профилей " + ini +
                                  ".\nЭта копия программы будет закрыта.",
                              MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        Start();
    }
    EXPECT_FALSE(Main->isVisible());
    EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), "");
    EXPECT_EQ(ReadBytes(rst), state);

    // The updating program ends half a second after the next start began.
    Main.reset();
    std::thread ending([&updating] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        updating.reset();
    });
    Start();
    ending.join();
    EXPECT_FALSE(ChooserShown);
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), ini);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Second");
    EXPECT_FALSE(FileExists(rst));
}

TEST_F(MainWindowTest, WithoutProfilesTheChooserOffersOnlyANewProfile)
{
    // No argument: the profiles file is the program's path with ".ini".
    WriteBytes(Program + ".ini", IniText({"[Common]", "Prefix=ABC"}));
    Start({}, [this] {
        ASSERT_EQ(Chooser->CmbProfile->count(), 1);
        EXPECT_ANSI_EQ(FromQString(Chooser->CmbProfile->currentText()), "-- Создать новый профиль --");
        Chooser->accept();
    });
    EXPECT_TRUE(ChooserShown);
    ASSERT_EQ(Main->StatusPanelTexts().size(), 1u);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts()[0], " Новый профиль");
    EXPECT_ANSI_EQ(Title(), FullTitle);
    ExpectCommandsOff();
}

TEST_F(MainWindowTest, TheChooserAtStartIsCentredOverTheMaximisedWindow)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteTwoProfiles(ini);
    QRect chooser;
    Start({ToSystemPath(ini)}, [this, &chooser] {
        chooser = Chooser->frameGeometry();
        Chooser->reject();
    }, true);
    // The window system maximises the window after it appears; the start-up waits for it.
    for (int i = 0; i < 100 && !ChooserShown; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(ChooserShown);
    const QRect screen = Main->screen()->availableGeometry();
    EXPECT_EQ(Main->frameGeometry(), screen);
    EXPECT_NEAR(chooser.center().x(), screen.center().x(), 1);
    EXPECT_NEAR(chooser.center().y(), screen.center().y(), 1);
}

TEST_F(MainWindowTest, AProfileThatFailsToLoadIsReportedAndLeavesTheCommandsOff)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteBytes(ini, IniText({"[Bad]", "Prefix=TOOLONG", "RecvUser=bad", "RecvPass=one", "[Good]", "Caption=Хороший",
                              "Prefix=ABC", "RecvUser=good", "RecvPass=two"}));
    WriteBytes(Program + ".rst", IniText({"[State]", "IniFile=" + ini, "Profile=Bad"}));
    const AnsiString error = "Профиль Bad: Параметр Prefix должен состоять из трех латинских букв и/или цифр";
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage(error, MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    Chooser = std::make_unique<TFrmProfile>();
    FrmProfile = Chooser.get();
    Main = std::make_unique<TFrmMain>(TStartupParams{Program, {}});
    FrmMain = Main.get();
    // A command whose window exists is switched with the others.
    Main->SetCommandHandler(Main->ItmSalary, [] {});
    Main->show();
    QCoreApplication::processEvents();

    ASSERT_EQ(dialogs.Asked().size(), 1u);
    EXPECT_ANSI_EQ(dialogs.Asked()[0].Caption, "Ошибка загрузки профиля");
    ASSERT_EQ(Main->StatusPanelTexts().size(), 1u);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts()[0], " Профиль не загружен");
    EXPECT_ANSI_EQ(Title(), FullTitle);
    ExpectCommandsOff();

    // From a loaded profile back to the failing one: everything of the good one goes.
    Main->SelectProfile(1);
    EXPECT_TRUE(Main->ItmSalary->isEnabled());
    EXPECT_EQ(Main->StatusPanelTexts().size(), 3u);
    dialogs.ExpectMessage(error, MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    Main->SelectProfile(0);
    ASSERT_EQ(Main->StatusPanelTexts().size(), 1u);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts()[0], " Профиль не загружен");
    ExpectCommandsOff();
    EXPECT_EQ(Profiles.Get()->Current(), nullptr);
}

TEST_F(MainWindowTest, AMissingProfilesFileEndsTheStartUpInTheErrorBox)
{
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Файл не существует: " + Program + ".ini.", MessageBoxAnswer::Ok,
                          MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    Start();
    EXPECT_FALSE(ChooserShown);
    ExpectCommandsOff();
    EXPECT_FALSE(Main->ItmEditProfile->isEnabled());
}

TEST_F(MainWindowTest, SelectingAProfileClosesEveryChildWithoutAsking)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteTwoProfiles(ini);
    Start({ToSystemPath(ini)}, [this] {
        Chooser->CmbProfile->setCurrentIndex(0);
        Chooser->accept();
    });
    ASSERT_EQ(Profiles.Get()->Current()->Name, "First");
    Main->SetCommandHandler(Main->ItmSalary, [] {});
    EXPECT_TRUE(Main->ItmSalary->isEnabled());

    auto* unsaved = new TDocumentWindow(true);
    auto* plain = new TDocumentWindow(false);
    auto* other = new TDocumentWindow(false);
    QPointer<QMdiSubWindow> unsavedFrame = AddChild(unsaved, "Список на зачисление");
    QPointer<QMdiSubWindow> plainFrame = AddChild(plain, "Журнал отправки");
    QPointer<QMdiSubWindow> otherFrame = AddChild(other, "Эталонные списки");
    // Closing one window takes another one with it: the walk must not trip over it.
    plain->OnClose = [otherFrame] {
        if (otherFrame)
            delete otherFrame.data();
    };

    Main->SelectProfile(1);
    DeleteClosedWindows();

    EXPECT_TRUE(Main->MdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(unsavedFrame.isNull());
    EXPECT_TRUE(plainFrame.isNull());
    EXPECT_FALSE(Main->Switching());
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Second");
    EXPECT_TRUE(Main->ItmSalary->isEnabled());

    // A new profile: the commands go off and the caption stays.
    const AnsiString title = Title();
    Main->SelectProfile(2);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts().at(0), " Новый профиль");
    EXPECT_FALSE(Main->ItmSalary->isEnabled());
    EXPECT_ANSI_EQ(Title(), title);
}

TEST_F(MainWindowTest, ChoosingAnotherProfileAsksAboutOpenWindowsAndUnsavedData)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteBytes(ini, IniText({"[First]", "Caption=Общий", "Prefix=ABC", "RecvUser=first", "RecvPass=one", "[Second]",
                              "Caption=Общий", "Prefix=DEF", "RecvUser=second", "RecvPass=two"}));
    WriteBytes(Program + ".rst", IniText({"[State]", "IniFile=" + ini, "Profile=Second"}));
    Start();
    AddChild(new TDocumentWindow(true), "Список на зачисление");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Все окна текущего профиля будут закрыты. Продолжить?", MessageBoxAnswer::Yes,
                              MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion);
        dialogs.ExpectMessage("Закрыть все окна без сохранения изменений?", MessageBoxAnswer::No,
                              MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2);
        Main->ItmProfile->trigger();
    }
    EXPECT_FALSE(Chooser->isVisible());
    {
        // Closing the program asks about the unsaved data too; "No" keeps it open.
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Закрыть все окна без сохранения изменений?", MessageBoxAnswer::No);
        EXPECT_FALSE(Main->close());
        EXPECT_TRUE(Main->isVisible());
    }

    // Without child windows the chooser comes at once, with the current profile chosen
    // although the other one shows the same caption.
    Main->SelectProfile(1);
    DeleteClosedWindows();
    bool shown = false;
    QTimer::singleShot(0, Main.get(), [this, &shown] {
        shown = Chooser->isVisible();
        EXPECT_EQ(Chooser->CmbProfile->currentIndex(), 1);
        EXPECT_EQ(Chooser->CmbProfile->count(), 3);
        Chooser->reject();
    });
    Main->ItmProfile->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(MainWindowTest, TheWindowListFollowsTheChildRing)
{
    Main = std::make_unique<TFrmMain>();
    FrmMain = Main.get();
    Main->show();
    auto* journal = new QLabel;
    auto* salary = new QLabel;
    std::optional<TChainLink<QWidget>> journalLink(std::in_place, Main->Children(), journal);
    std::optional<TChainLink<QWidget>> salaryLink(std::in_place, Main->Children(), salary);
    AddChild(journal, "Журнал отправки");
    QMdiSubWindow* salaryFrame = AddChild(salary, "Список на зачисление");
    Main->MdiArea()->setActiveSubWindow(salaryFrame);

    Main->ItmWindowClick();
    QList<QAction*> items = Main->ItmWindow->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_ANSI_EQ(FromQString(items[3]->text()), "Журнал отправки");
    EXPECT_ANSI_EQ(FromQString(items[4]->text()), "Список на зачисление");
    EXPECT_FALSE(items[3]->isChecked());
    EXPECT_TRUE(items[4]->isChecked());
    EXPECT_TRUE(Main->ItmPrevious->isEnabled());

    items[3]->trigger();
    EXPECT_EQ(Main->MdiArea()->activeSubWindow()->widget(), journal);

    // Rebuilt each time the menu opens: after the windows are gone only the fixed items stay.
    journalLink.reset();
    salaryLink.reset();
    Main->ItmWindowClick();
    EXPECT_EQ(Main->ItmWindow->actions().size(), 3);
    EXPECT_FALSE(Main->ItmPrevious->isEnabled());
    EXPECT_FALSE(Main->ItmNext->isEnabled());
}

TEST_F(MainWindowTest, TheLoggingSwitchShowsWithCtrlAndStaysShownWhileChecked)
{
    Main = std::make_unique<TFrmMain>();
    Main->ItmControlClick(false);
    EXPECT_FALSE(Main->ItmLogging->isVisible());
    Main->ItmControlClick(true);
    EXPECT_TRUE(Main->ItmLogging->isVisible());
    EXPECT_TRUE(Main->ItmEditCommon->isVisible());
    Main->ItmLogging->trigger();
    EXPECT_TRUE(ProtocolLogging());   // the switch the senders and receivers read
    Main->ItmControlClick(false);
    EXPECT_TRUE(Main->ItmLogging->isVisible());
    EXPECT_FALSE(Main->ItmEditCommon->isVisible());
    EXPECT_FALSE(Main->ItmDelCli->isVisible());
    Main->ItmLogging->trigger();
    EXPECT_FALSE(ProtocolLogging());
}

namespace {

// Records the one message box of a child process.
class TRecordingDialogs : public TDialogService {
public:
    int MessageBox(const AnsiString& text, const AnsiString&, unsigned) override
    {
        Text = text;
        return MessageBoxAnswer::Ok;
    }
    std::optional<AnsiString> OpenFileName(const TFileDialogRequest&) override { return std::nullopt; }
    std::optional<AnsiString> SaveFileName(const TFileDialogRequest&) override { return std::nullopt; }
    std::optional<AnsiString> BrowseFolder(const AnsiString&, const AnsiString&) override { return std::nullopt; }

    AnsiString Text;
};

}  // namespace

TEST(RestartState, AFileThatCannotBeDeletedIsReportedAndIgnored)
{
    TTempDir dir;
    const AnsiString rst = dir.File("velton-export.rst");
    WriteBytes(rst, IniText({"[State]", "IniFile=/data/velton.ini", "Profile=P"}));
    // A folder nobody may write to keeps its files; root is exempt, so the check runs in
    // a child process that gives up root first.
    ASSERT_EQ(chmod(ToSystemPath(dir.Path()).c_str(), 0555), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(10);
        TRecordingDialogs dialogs;
        SetDialogService(&dialogs);
        const std::optional<TRestartState> state = ReadRestartState(rst);
        const bool removed = state && RemoveRestartState(rst);
        const AnsiString expected = "Не удалось удалить файл состояния перезапуска " + rst + ": ";
        const bool warned = dialogs.Text.compare(0, expected.size(), expected) == 0;
        _exit(!state ? 14 : removed ? 11 : !warned ? 12 : !FileExists(rst) ? 13 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(ToSystemPath(dir.Path()).c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {

// A document window that cannot tell whether its data is saved.
class TBrokenDocumentWindow : public QLabel, public TUnsavedData {
public:
    bool HasUnsavedChanges() const override { throw Exception("Файл списка недоступен"); }
};

}  // namespace

TEST_F(MainWindowTest, AnErrorWhileAskingAboutUnsavedDataKeepsTheProgramOpen)
{
    Main = std::make_unique<TFrmMain>();
    FrmMain = Main.get();
    Main->show();
    AddChild(new TBrokenDocumentWindow, "Список на зачисление");
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Файл списка недоступен.", MessageBoxAnswer::Ok,
                          MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    EXPECT_FALSE(Main->close());
    EXPECT_TRUE(Main->isVisible());
}

TEST_F(MainWindowTest, TheIncomingListCommandsOpenOneWindowEachUntilItCloses)
{
    const AnsiString ini = Dir.File("profiles.ini");
    WriteTwoProfiles(ini);
    Start({ToSystemPath(ini)}, [this] {
        Chooser->CmbProfile->setCurrentIndex(0);
        Chooser->accept();
    });
    for (QAction* item : {Main->ItmMessages, Main->ItmJournal, Main->ItmEtalons, Main->ItmNewCliReply})
        ASSERT_TRUE(item->isEnabled());
    Main->resize(1280, 900);
    QCoreApplication::processEvents();
    Main->ItmMessages->trigger();
    Main->ItmJournal->trigger();
    Main->ItmEtalons->trigger();
    Main->ItmNewCliReply->trigger();
    QCoreApplication::processEvents();
    Main->ItmMessages->trigger();
    Main->ItmEtalons->trigger();
    for (QMdiSubWindow* frame : Main->MdiArea()->subWindowList())
        EXPECT_TRUE(Main->MdiArea()->viewport()->rect().contains(frame->geometry()));
    ASSERT_EQ(Main->MdiArea()->subWindowList().size(), 4);
    ASSERT_TRUE(FrmMessages && FrmJournal && FrmEtalons && FrmNewCliReply);
    EXPECT_EQ(Main->MdiArea()->activeSubWindow()->widget(), FrmEtalons);
    EXPECT_TRUE(StoreWindows.ReloadMessages && StoreWindows.ReloadEtalons && StoreWindows.ReloadReplies &&
                StoreWindows.ReloadJournal);
    // Each opens at the size it gives itself, not at the small size its lists hint at.
    EXPECT_EQ(FrmJournal->size(), QSize(758, 397));
    EXPECT_EQ(FrmMessages->size(), QSize(617, 364));

    // Closed, the windows are gone and a receive reloads nothing.
    Main->SelectProfile(1);
    DeleteClosedWindows();
    EXPECT_FALSE(FrmMessages || FrmJournal || FrmEtalons || FrmNewCliReply);
    EXPECT_FALSE(StoreWindows.ReloadMessages || StoreWindows.ReloadEtalons || StoreWindows.ReloadReplies ||
                 StoreWindows.ReloadJournal);
    EXPECT_EQ(Main->Children()->Next(), Main->Children());
}

// A window opened while another is maximised comes up maximised and whole, and restored
// it takes the size it gives itself.
TEST_F(MainWindowTest, AWindowOpenedWhileAnotherIsMaximisedFillsTheAreaOnTop)
{
    WriteBytes(Dir.File("profiles.ini"), IniText({"[Only]", "Prefix=ABC", "RecvUser=only", "RecvPass=one"}));
    Start({ToSystemPath(Dir.File("profiles.ini"))});
    Main->resize(1280, 900);
    QCoreApplication::processEvents();
    Main->ItmMessages->trigger();
    QCoreApplication::processEvents();
    Main->MdiArea()->activeSubWindow()->showMaximized();

    Main->ItmJournal->trigger();
    QCoreApplication::processEvents();

    QMdiSubWindow* frame = Main->MdiArea()->activeSubWindow();
    ASSERT_TRUE(frame && FrmJournal);
    EXPECT_EQ(frame->widget(), FrmJournal);
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), Main->MdiArea()->viewport()->rect());
    frame->showNormal();
    EXPECT_EQ(FrmJournal->size(), QSize(758, 397));
}

TEST_F(MainWindowTest, AQueryForAProfileWithoutReferenceListsOnlySaysSo)
{
    WriteBytes(Dir.File("profiles.ini"), IniText({"[Only]", "Prefix=ABC", "RecvUser=only", "RecvPass=one"}));
    Start({ToSystemPath(Dir.File("profiles.ini"))});
    EXPECT_TRUE(Main->ItmQueryEtalon->isEnabled());
    EXPECT_TRUE(Main->ItmArbitrary->isEnabled());
    // No wizard window exists: opening it would end in the error box.
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Для текущего профиля эталонные списки не требуются.", MessageBoxAnswer::Ok,
                          MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
    Main->ItmQueryEtalon->trigger();
}
