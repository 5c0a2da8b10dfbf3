#include "ui/UFrmMain.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "exchange/ProtocolLog.h"
#include "exchange/Transport.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ArbitraryWizard.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/MainMenuBar.h"
#include "ui/QtText.h"
#include "ui/QueryWizard.h"
#include "ui/UFrmAbout.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmExportFile.h"
#include "ui/UFrmProfile.h"
#include "ui/UFrmReplyFiles.h"
#include "ui/Updates.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/stat.h>

TFrmMain* FrmMain = nullptr;

// ---- Start-up parameters, restart state, exchange holders ----

TStartupParams TStartupParams::FromProcess(int argc, char** argv)
{
    TStartupParams params;
    params.ProgramPath = ::ProgramPath();
    for (int i = 1; i < argc; ++i)
        params.Arguments.emplace_back(argv[i]);
    return params;
}

void ResetExchangeHolders()
{
    // The next use builds each object again from the newly selected profile.
    Sender.Reset();
    Receiver.Reset();
    Cipher.Reset();
}

namespace {
constexpr char RestartSection[] = "State";
constexpr char NoProfileText[] = "Профиль не загружен";
// How long a start from the restart state waits for the program that started the update
// to end and give up its profiles file.
constexpr std::chrono::seconds RestartLockPatience{5};
}

AnsiString RestartStateFile(const AnsiString& programPath)
{
    return ChangeFileExt(programPath, ".rst");
}

std::optional<TRestartState> ReadRestartState(const AnsiString& fileName)
{
    if (!FileExists(fileName))
        return std::nullopt;
    TRestartState state;
    try {
        const TIniFile ini(fileName);
        state.IniFile = ini.ReadString(RestartSection, "IniFile", "");
        state.Profile = ini.ReadString(RestartSection, "Profile", "");
    } catch (...) {
        DeleteFile(fileName);
        throw;
    }
    return state;
}

bool RemoveRestartState(const AnsiString& fileName)
{
    if (DeleteFile(fileName))
        return true;
    const int code = errno;
    AppMessageBox("Не удалось удалить файл состояния перезапуска " + fileName + ": " + SysErrorMessage(code) +
                      ".\nСохраненное состояние не используется.",
                  MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
    return false;
}

void SaveRestartState(const AnsiString& fileName, const TRestartState& state)
{
    TIniFile ini(fileName);
    ini.WriteString(RestartSection, "IniFile", state.IniFile);
    ini.WriteString(RestartSection, "Profile", state.Profile);
}

namespace {

// The position of the first profile whose section name equals the name ignoring case, or
// the number of profiles.
int FindProfile(const TProfiles& profiles, const AnsiString& name)
{
    for (int i = 0; i < profiles.Count(); ++i)
        if (SameText(profiles.At(i)->Name, name))
            return i;
    return profiles.Count();
}

// The file name as one word of a shell command.
AnsiString ShellWord(const AnsiString& text)
{
    const char* const plain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+,";
    if (!text.empty() && text.find_first_not_of(plain) == AnsiString::npos)
        return text;
    AnsiString word = "'";
    for (char c : text)
        word += c == '\'' ? AnsiString("'\\''") : AnsiString(1, c);
    return word + "'";
}

// Opens the profiles file. It holds the passwords: when other users of the machine may
// read it, a line on the terminal says how to make it private; the windows go on
// undisturbed.
void OpenProfilesFile(TProfiles& profiles, const AnsiString& fileName)
{
    profiles.Open(fileName);
    struct stat info {};
    if (::stat(ToSystemPath(fileName).c_str(), &info) != 0 || (info.st_mode & (S_IRGRP | S_IROTH)) == 0)
        return;
    const AnsiString warning = "Файл профилей " + fileName +
                               " с паролями доступен для чтения другим пользователям; закройте его командой: chmod 600 " +
                               ShellWord(fileName);
    std::fprintf(stderr, "%s\n", AnsiToUtf8(warning).c_str());
}

QAction* AddItem(QMenu* menu, const char* caption)
{
    return menu->addAction(ToQString(caption));
}

}  // namespace

// ---- Construction ----

TFrmMain::TFrmMain(std::optional<TStartupParams> startup, QWidget* parent)
    : QMainWindow(parent), FMdiArea(new QMdiArea(this)), FChildren(this), FStartup(std::move(startup))
{
    setCentralWidget(FMdiArea);
    // A child that comes to the front without the focus inside (it has just opened, or
    // it was never worked in) takes it on its list, the control that its focus proxy names.
    connect(FMdiArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* frame) {
        if (frame && frame->widget() && !frame->isAncestorOf(QApplication::focusWidget()))
            frame->widget()->setFocus(Qt::ActiveWindowFocusReason);
    });
    resize(698, 492);
    setMenuBar(new TMainMenuBar(this));
    ShowFocusFrames(this);
    BuildMenu();
    ConnectCommands();
    setStatusBar(new QStatusBar(this));
    SetCaption(GetShortFileVersion());
    // Numbers and dates never go through the C locale (see the entry), so nothing of the
    // process's formats is left to set here.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    FStartupWaiting = FStartup.has_value();
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::BuildMenu()
{
    QMenuBar* bar = menuBar();
    ItmControl = bar->addMenu(ToQString("Управление"));
    ItmProfile = AddItem(ItmControl, "Выбрать профиль");
    ItmEditCommon = AddItem(ItmControl, "Редактировать глобальные параметры");
    ItmEditProfile = AddItem(ItmControl, "Редактировать профиль");
    ItmControl->addSeparator();
    ItmLogging = AddItem(ItmControl, "Протоколирование почтового обмена");
    ItmLogging->setCheckable(true);
    ItmControl->addSeparator();
    ItmExit = AddItem(ItmControl, "Выход");

    ItmOutgoing = bar->addMenu(ToQString("Исходящие"));
    ItmQueryEtalon = AddItem(ItmOutgoing, "Отправка запроса на эталон");
    ItmOutgoing->addSeparator();
    ItmSalary = AddItem(ItmOutgoing, "Список на зачисление");
    ItmNewCli = AddItem(ItmOutgoing, "Список на добавление клиентов");
    ItmDelCli = AddItem(ItmOutgoing, "Список на исключение клиентов");
    ItmDelCli->setVisible(false);
    ItmArbitrary = AddItem(ItmOutgoing, "Произвольный файл");
    ItmOutgoing->addSeparator();
    ItmJournal = AddItem(ItmOutgoing, "Журнал отправки");

    ItmIncoming = bar->addMenu(ToQString("Входящие"));
    ItmMessages = AddItem(ItmIncoming, "Входящие сообщения");
    ItmIncoming->addSeparator();
    ItmEtalons = AddItem(ItmIncoming, "Эталонные списки");
    ItmIncoming->addSeparator();
    ItmNewCliReply = AddItem(ItmIncoming, "Список добавленных клиентов");
    ItmIncoming->addSeparator()->setVisible(false);
    ItmUpdates = AddItem(ItmIncoming, "Обновления ПО");

    ItmWindow = bar->addMenu(ToQString("Окно"));
    ItmPrevious = AddItem(ItmWindow, "Предыдущее окно");
    ItmNext = AddItem(ItmWindow, "Следующее окно");
    ItmWindow->addSeparator();
    FWindowItems = new QActionGroup(ItmWindow);

    ItmHelp = bar->addMenu(ToQString("Справка"));
    ItmAbout = AddItem(ItmHelp, "О программе");

    SetEditorCommands(false);
    SetDocumentCommands(false);
}

void TFrmMain::ConnectCommands()
{
    connect(ItmControl, &QMenu::aboutToShow, this, [this] {
        Guarded([this] { ItmControlClick(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier)); });
    });
    connect(ItmWindow, &QMenu::aboutToShow, this, [this] { Guarded([this] { ItmWindowClick(); }); });
    // The check mark is the switch that every send and receive reads when it starts.
    connect(ItmLogging, &QAction::toggled, this, [](bool checked) { SetProtocolLogging(checked); });
    SetCommandHandler(ItmProfile, [this] { ItmProfileClick(); });
    SetCommandHandler(ItmExit, [this] { close(); });
    SetCommandHandler(ItmPrevious, [this] { FMdiArea->activatePreviousSubWindow(); });
    SetCommandHandler(ItmNext, [this] { FMdiArea->activateNextSubWindow(); });
    // Ctrl+F4 closes the active child as its close box does, asking about unsaved
    // changes. A child's frame has the desktop's close keys, which hold Ctrl+F4 on most
    // desktops but not on every one; a second Ctrl+F4 would make the key do nothing.
    const QKeySequence closeKey(Qt::CTRL | Qt::Key_F4);
    if (!QKeySequence::keyBindings(QKeySequence::Close).contains(closeKey)) {
        auto* closeChild = new QAction(this);
        closeChild->setShortcut(closeKey);
        addAction(closeChild);
        connect(closeChild, &QAction::triggered, FMdiArea, &QMdiArea::closeActiveSubWindow);
    }
    SetCommandHandler(ItmAbout, [this] { ItmAboutClick(); });
    SetCommandHandler(ItmEditCommon, [this] { ItmEditProfileClick(true); });
    SetCommandHandler(ItmEditProfile, [this] { ItmEditProfileClick(false); });
    SetCommandHandler(ItmUpdates, NeedsProfile([this] { ItmUpdatesClick(); }));
    SetCommandHandler(ItmEtalons, NeedsProfile([this] { OpenChild(FrmEtalons); }));
    SetCommandHandler(ItmNewCliReply, NeedsProfile([this] { ItmNewCliReplyClick(); }));
    SetCommandHandler(ItmMessages, NeedsProfile([this] { OpenChild(FrmMessages); }));
    SetCommandHandler(ItmJournal, NeedsProfile([this] { OpenChild(FrmJournal); }));
    SetCommandHandler(ItmSalary, NeedsProfile([] { ShowExportKind(0); }));
    SetCommandHandler(ItmNewCli, NeedsProfile([] { ShowExportKind(1); }));
    // The clients to close have a window of their own, though the command stays hidden.
    SetCommandHandler(ItmDelCli, NeedsProfile([] { ShowExportKind(2); }));
    SetCommandHandler(ItmQueryEtalon, NeedsProfile([] { RunQueryWizard(); }));
    SetCommandHandler(ItmArbitrary, NeedsProfile([] { RunArbitraryWizard(); }));
}

// A document command works on the current profile: without one (a command left enabled
// by mistake, or a call from code) it says so instead of reading a profile that is not there.
std::function<void()> TFrmMain::NeedsProfile(std::function<void()> handler)
{
    return [handler = std::move(handler)] {
        if (!Profiles.Get()->Current())
            throw Exception(NoProfileText);
        handler();
    };
}

void TFrmMain::AddChild(QWidget* window)
{
    // While a child is maximised the new one is shown maximised as well. It first takes
    // its own size and place, which restoring it gives back: the area would otherwise
    // maximise it as it is shown, before it has its size.
    const QList<QMdiSubWindow*> frames = FMdiArea->subWindowList();
    const bool maximised =
        std::any_of(frames.begin(), frames.end(), [](const QMdiSubWindow* frame) { return frame->isMaximized(); });
    FMdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
    ShowAtOwnSize(window);
    FMdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, false);
    if (maximised)
        window->parentWidget()->showMaximized();
}

// Adds the window's frame to the area and shows it at the window's size, inside the area.
void TFrmMain::ShowAtOwnSize(QWidget* window)
{
    // The frame would take the window's size hint (a list hints at a few rows only): it
    // takes the size the window gave itself instead.
    const QSize size = window->size();
    QMdiSubWindow* frame = FMdiArea->addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    // Never wider or taller than the area: a low screen would hide the window's far edges.
    const QSize area = FMdiArea->viewport()->size();
    frame->resize((frame->size() - window->size() + size).boundedTo(area));
    // The area placed the frame by its smaller hinted size: grown, it is moved back inside
    // the area where it fits.
    frame->move(std::max(0, std::min(frame->x(), area.width() - frame->width())),
                std::max(0, std::min(frame->y(), area.height() - frame->height())));
}

// The window of that global, made when it is not open, brought to the front.
template <typename TWindow>
void TFrmMain::OpenChild(TWindow*& global)
{
    if (!global) {
        global = new TWindow();
        AddChild(global);
    }
    ShowAndRestore(global);
}

// The reply window of the one reply kind; it stores itself in its global.
void TFrmMain::ItmNewCliReplyClick()
{
    if (!FrmNewCliReply)
        AddChild(new TFrmReplyFiles(&FrmNewCliReply, Profiles.Get()->Current()->ReplyProfiles.At(0)));
    ShowAndRestore(FrmNewCliReply);
}

void TFrmMain::SetCommandHandler(QAction* item, std::function<void()> handler)
{
    connect(item, &QAction::triggered, this, [handler = std::move(handler)] { Guarded(handler); });
    FHandled.push_back(item);
    SetEditorCommands(FEditorCommandsOn);
    SetDocumentCommands(FDocumentCommandsOn);
}

bool TFrmMain::HasHandler(QAction* item) const
{
    return std::find(FHandled.begin(), FHandled.end(), item) != FHandled.end();
}

std::vector<QAction*> TFrmMain::DocumentCommands() const
{
    return {ItmQueryEtalon, ItmSalary, ItmNewCli, ItmDelCli, ItmArbitrary,
            ItmJournal, ItmMessages, ItmEtalons, ItmNewCliReply, ItmUpdates};
}

void TFrmMain::SetDocumentCommands(bool on)
{
    FDocumentCommandsOn = on;
    for (QAction* item : DocumentCommands())
        item->setEnabled(on && HasHandler(item));
}

void TFrmMain::SetEditorCommands(bool on)
{
    FEditorCommandsOn = on;
    for (QAction* item : {ItmEditCommon, ItmEditProfile})
        item->setEnabled(on && HasHandler(item));
}

bool TFrmMain::ProtocolLogging() const
{
    return ItmLogging->isChecked();
}

void TFrmMain::SetCaption(const AnsiString& tail)
{
    setWindowTitle(ToQString(AnsiString(ApplicationTitle) + " " + tail));
}

// ---- Start-up ----

namespace {

// How long a window that is to be maximised waits for the window manager to do it before
// the start-up runs anyway (without a window manager nobody does).
constexpr int MaximiseWaitMs = 1000;

}  // namespace

void TFrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FStartupWaiting || FStartupFallback)
        return;
    FShownSize = size();
    if (AtFinalSize()) {
        PostStartup();
        return;
    }
    FStartupFallback = new QTimer(this);
    FStartupFallback->setSingleShot(true);
    connect(FStartupFallback, &QTimer::timeout, this, [this] { PostStartup(); });
    FStartupFallback->start(MaximiseWaitMs);
}

void TFrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (FStartupWaiting && FStartupFallback && AtFinalSize())
        PostStartup();
}

bool TFrmMain::AtFinalSize() const
{
    // A window to be maximised or shown full screen has its final size once the window
    // system has changed the size that it was shown with.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return true;
    return size() != FShownSize;
}

void TFrmMain::PostStartup()
{
    if (!FStartupWaiting)
        return;
    FStartupWaiting = false;
    if (FStartupFallback)
        FStartupFallback->stop();
    QTimer::singleShot(0, this, [this] { Guarded([this] { StartupHandler(); }); });
}

void TFrmMain::StartupHandler()
{
    const TStartupParams& startup = *FStartup;
    TProfiles& profiles = *Profiles.Get();
    const AnsiString restartFile = RestartStateFile(startup.ProgramPath);
    if (const std::optional<TRestartState> state = ReadRestartState(restartFile)) {
        // The program that started the update holds the profiles file until it has ended;
        // a start without the file keeps the state for the next one.
        if (!HoldProfilesFile(state->IniFile, RestartLockPatience))
            return;
        if (RemoveRestartState(restartFile)) {
            OpenProfilesFile(profiles, state->IniFile);
            ChooseProfile(FindProfile(profiles, state->Profile));
            return;
        }
    }
    const AnsiString iniName = startup.Arguments.empty() ? ChangeFileExt(startup.ProgramPath, ".ini")
                                                         : ExpandFileName(FromSystemPath(startup.Arguments.front()));
    if (!HoldProfilesFile(iniName))
        return;
    OpenProfilesFile(profiles, iniName);
    ChooseProfile(profiles.Count() == 1 ? 0 : profiles.Count());
}

// Selects the profile at index, or lets the user choose when the index is the count.
void TFrmMain::ChooseProfile(int index)
{
    ClearStatusPanels();
    SetCaption(GetVersionInfoValue("FileVersion"));
    if (index < Profiles.Get()->Count())
        SelectProfile(index);
    else if (FrmProfile)
        FrmProfile->exec();
}

void TFrmMain::ReopenProfilesAtIdle()
{
    QTimer::singleShot(0, this, [this] { Guarded([this] { ReopenProfiles(); }); });
}

// The profiles file that is open, not the one of the command line: a run that began
// from a restart state goes on with the file it had.
void TFrmMain::ReopenProfiles()
{
    // The windows and the commands belonged to a profile that may be gone.
    LeaveProfile();
    TProfiles& profiles = *Profiles.Get();
    profiles.Open(profiles.GetFileName());
    ChooseProfile(profiles.Count() == 1 ? 0 : profiles.Count());
}

AnsiString TFrmMain::ProgramFile() const
{
    return FStartup ? FStartup->ProgramPath : ::ProgramPath();
}

// One running program per profiles file: two would each advance the counters they had
// read and could send two lists under one container number. A second start on the same
// file says so and ends before it reads or writes anything.
bool TFrmMain::HoldProfilesFile(const AnsiString& iniName, std::chrono::milliseconds patience)
{
    if (FProfilesFileLock.TryLock(iniName, patience))
        return true;
    AppMessageBox("Программа уже запущена с файлом профилей " + iniName + ".\nЭта копия программы будет закрыта.",
                  MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    FSwitching = true;   // no child window is open: nothing to ask before closing
    close();
    return false;
}

// ---- Profile selection ----

void TFrmMain::CloseChildren()
{
    struct TSwitchingScope {
        bool& Flag;
        explicit TSwitchingScope(bool& flag) : Flag(flag) { Flag = true; }
        ~TSwitchingScope() { Flag = false; }
    } switching(FSwitching);

    // Closing a window changes the list: walk a copy of guarded pointers, all taken before
    // the first close, and skip a window that closing another one has already taken away.
    std::vector<QPointer<QMdiSubWindow>> windows;
    for (QMdiSubWindow* window : FMdiArea->subWindowList())
        windows.emplace_back(window);
    for (const QPointer<QMdiSubWindow>& window : windows)
        if (window)
            window->close();
}

void TFrmMain::SelectProfile(int index)
{
    SetEditorCommands(true);
    CloseChildren();
    ResetExchangeHolders();

    if (FrmEditProfile)
        FrmEditProfile->SetProfileIndex(index);

    TProfiles& profiles = *Profiles.Get();
    if (index == profiles.Count()) {
        ShowNoProfile("Новый профиль");
        return;
    }
    try {
        profiles.Select(index);
    } catch (const Exception& error) {
        ShowNoProfile(NoProfileText);
        Dialogs().MessageBox(error.Message(), "Ошибка загрузки профиля",
                             MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        return;
    }
    const TProfile& profile = *profiles.Current();
    SetCaption(GetVersionInfoValue("FileVersion") + " - " + profile.Caption);
    AddStatusPanel(0, "Префикс: " + profile.Prefix);
    AddStatusPanel(1, "Шифрование: " + Cipher.Get()->Name);
    AddStatusPanel(2, "Адрес: " + profile.EMail);
    SetDocumentCommands(true);
}

void TFrmMain::ShowNoProfile(const AnsiString& state)
{
    ClearStatusPanels();
    AddStatusPanel(0, state);
    SetDocumentCommands(false);
}

// The windows, the exchange objects and the caption of the profile go with it, and so do
// the editor's commands, whose profile may no longer be in the list: the next selection
// gives them back.
void TFrmMain::LeaveProfile()
{
    CloseChildren();
    ResetExchangeHolders();
    SetCaption(GetVersionInfoValue("FileVersion"));
    ShowNoProfile(NoProfileText);
    SetEditorCommands(false);
}

// The store can lose its current profile behind the main window's back: the profile
// editor re-reads the whole file after a save, and when that read fails the store has no
// profiles at all. The windows open on the old profile hold its settings, which are gone.
void TFrmMain::CheckProfileKept()
{
    if (FDocumentCommandsOn && !Profiles.Get()->Current())
        LeaveProfile();
}

bool TFrmMain::CanCloseChildren()
{
    for (QMdiSubWindow* window : FMdiArea->subWindowList()) {
        const auto* unsaved = dynamic_cast<const TUnsavedData*>(window->widget());
        if (unsaved && unsaved->HasUnsavedChanges())
            return AppMessageBox("Закрыть все окна без сохранения изменений?",
                                 MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning |
                                     MessageBoxFlags::DefaultButton2) == MessageBoxAnswer::Yes;
    }
    return true;
}

// ---- Status bar ----

void TFrmMain::AddStatusPanel(int index, const AnsiString& text)
{
    while (static_cast<int>(FStatusPanels.size()) <= index) {
        auto* panel = new QLabel(statusBar());
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(panel);
        FStatusPanels.push_back(panel);
    }
    QLabel* panel = FStatusPanels[static_cast<size_t>(index)];
    const QString shown = ToQString(" " + text);
    panel->setText(shown);
    panel->setFixedWidth(statusBar()->fontMetrics().horizontalAdvance(shown) + 12);
}

void TFrmMain::ClearStatusPanels()
{
    for (QLabel* panel : FStatusPanels) {
        statusBar()->removeWidget(panel);
        delete panel;
    }
    FStatusPanels.clear();
}

std::vector<AnsiString> TFrmMain::StatusPanelTexts() const
{
    std::vector<AnsiString> texts;
    for (const QLabel* panel : FStatusPanels)
        texts.push_back(FromQString(panel->text()));
    return texts;
}

// ---- Menu commands ----

void TFrmMain::ItmControlClick(bool ctrlHeld)
{
    ItmLogging->setVisible(ItmLogging->isChecked() || ctrlHeld);
    ItmEditCommon->setVisible(ctrlHeld);
}

// The windows of the current profile may close: asked when any is open, and again when
// one holds unsaved changes.
bool TFrmMain::MayLeaveProfile()
{
    if (!FMdiArea->subWindowList().isEmpty() &&
        AppMessageBox("Все окна текущего профиля будут закрыты. Продолжить?",
                      MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion) != MessageBoxAnswer::Yes)
        return false;
    return CanCloseChildren();
}

void TFrmMain::ItmProfileClick()
{
    if (MayLeaveProfile() && FrmProfile)
        FrmProfile->exec();
}

void TFrmMain::ItmEditProfileClick(bool global)
{
    if (!MayLeaveProfile() || !FrmEditProfile)
        return;
    int index = -1;
    try {
        index = FrmEditProfile->Execute(global, Profiles.Get()->Ini());
    } catch (...) {
        CheckProfileKept();
        throw;
    }
    if (index >= 0)
        SelectProfile(index);
    else
        CheckProfileKept();
}

void TFrmMain::ItmUpdatesClick()
{
    if (!RunSelfUpdate(ProgramFile(), [this] { return CanCloseChildren(); }))
        return;
    FSwitching = true;
    close();
}

void TFrmMain::ItmAboutClick()
{
    if (FrmAbout)
        FrmAbout->exec();
}

void TFrmMain::ItmWindowClick()
{
    const QList<QAction*> items = ItmWindow->actions();
    for (qsizetype i = 3; i < items.size(); ++i) {
        ItmWindow->removeAction(items[i]);
        delete items[i];
    }
    QMdiSubWindow* active = FMdiArea->activeSubWindow();
    for (TChainLink<QWidget>* link = FChildren.Next(); link != &FChildren; link = link->Next()) {
        QWidget* window = link->Value();
        QAction* item = ItmWindow->addAction(window->windowTitle());
        item->setCheckable(true);
        item->setActionGroup(FWindowItems);
        item->setChecked(active && active->widget() == window);
        connect(item, &QAction::triggered, this, [target = QPointer<QWidget>(window)] {
            Guarded([&target] {
                if (target)
                    ShowAndRestore(target);
            });
        });
    }
    const bool any = FChildren.Next() != &FChildren;
    ItmPrevious->setEnabled(any);
    ItmNext->setEnabled(any);
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    // A failure while asking stays open: closing would drop the children's unsaved data.
    bool close = false;
    Guarded([&] { close = FSwitching || CanCloseChildren(); });
    if (close)
        event->accept();
    else
        event->ignore();
}
