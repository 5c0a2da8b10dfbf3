#pragma once
// The main multiple-document window: its menu opens every other window and runs the
// wizard tasks, its status bar shows the current profile, and SelectProfile switches the
// whole program to another profile. Its one-shot start-up handler opens the profiles file
// and chooses the profile.

#include "documents/Containers.h"
#include "platform/AnsiString.h"
#include "platform/FileLocks.h"

#include <QMainWindow>
#include <QSize>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

// What the start-up handler reads: the program's own path (the restart-state file and the
// default profiles file lie beside it) and the command-line arguments after the program,
// as the system gave them.
struct TStartupParams {
    AnsiString ProgramPath;
    std::vector<std::string> Arguments;

    static TStartupParams FromProcess(int argc, char** argv);
};

// The state that the self-update hands to the next start (the restart-state file, the
// program's path with ".rst", section "State"): the profiles file and the profile that
// were open.
struct TRestartState {
    AnsiString IniFile;
    AnsiString Profile;
};

// The restart-state file of the program at that path.
AnsiString RestartStateFile(const AnsiString& programPath);

// Reads the restart-state file; nothing when there is no such file. A file that cannot be
// read is deleted (kept, it would stop every later start) and its error raised.
std::optional<TRestartState> ReadRestartState(const AnsiString& fileName);

// Deletes the restart-state file once the start that reads it holds its profiles file, so
// that it serves one start only. False, after a warning, when the file cannot be deleted:
// the state is then not used, since kept it would decide every later start.
bool RemoveRestartState(const AnsiString& fileName);

// Writes the restart state for the next start, key by key through the INI class's safe
// write.
void SaveRestartState(const AnsiString& fileName, const TRestartState& state);

// A child window whose data can hold unsaved changes: the document windows.
class TUnsavedData {
public:
    virtual ~TUnsavedData() = default;
    virtual bool HasUnsavedChanges() const = 0;
};

// Drops the cipher, sender and receiver objects of the previous profile, so that their
// next use builds them from the new one.
void ResetExchangeHolders();

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    // With start-up parameters, the first idle moment after the window is shown at its
    // final size opens the profiles file and chooses the profile from them.
    explicit TFrmMain(std::optional<TStartupParams> startup = std::nullopt, QWidget* parent = nullptr);
    ~TFrmMain() override;

    QMdiArea* MdiArea() const { return FMdiArea; }

    // Switches to profile `index` of the store; the number of profiles stands for a new
    // profile being created. Closes every child window without asking.
    void SelectProfile(int index);
    // True when no document window holds unsaved changes or the user agrees to lose them.
    bool CanCloseChildren();
    // Panel `index` shows " " + text; panels are added until there is one of that index.
    void AddStatusPanel(int index, const AnsiString& text);
    void ClearStatusPanels();
    // The panels' texts as shown (with their leading blank).
    std::vector<AnsiString> StatusPanelTexts() const;

    // True while the main window closes its children itself: they close without asking.
    bool Switching() const { return FSwitching; }
    // The check mark of "Протоколирование почтового обмена": the senders and receivers
    // log their dialogue while it is set.
    bool ProtocolLogging() const;
    // The open child windows; every child links itself in while it exists.
    TChainLink<QWidget>* Children() { return &FChildren; }

    // Puts the window into the multiple-document area and shows it; closing it destroys it.
    void AddChild(QWidget* window);

    // Connects a menu command to its handler, which runs through the error guard. A
    // command without a handler stays disabled: its window is not part of the program.
    void SetCommandHandler(QAction* item, std::function<void()> handler);
    // Whether the document commands are on for the current profile state (each is
    // enabled when it also has a handler).
    bool DocumentCommandsOn() const { return FDocumentCommandsOn; }
    // The ten document commands, in the order in which they are switched.
    std::vector<QAction*> DocumentCommands() const;

    // The "Управление" menu opens: the logging switch shows while checked or with Ctrl
    // held, the global parameters only with Ctrl held.
    void ItmControlClick(bool ctrlHeld);
    // The "Окно" menu opens: rebuilds the list of child windows.
    void ItmWindowClick();
    // At the next idle moment the profiles file is opened again and the only profile
    // selected, or the chooser shown (after the current profile was deleted).
    void ReopenProfilesAtIdle();

    QMenu* ItmControl;
    QAction* ItmProfile;
    QAction* ItmEditCommon;
    QAction* ItmEditProfile;
    QAction* ItmLogging;
    QAction* ItmExit;
    QMenu* ItmOutgoing;
    QAction* ItmQueryEtalon;
    QAction* ItmSalary;
    QAction* ItmNewCli;
    QAction* ItmDelCli;
    QAction* ItmArbitrary;
    QAction* ItmJournal;
    QMenu* ItmIncoming;
    QAction* ItmMessages;
    QAction* ItmEtalons;
    QAction* ItmNewCliReply;
    QAction* ItmUpdates;
    QMenu* ItmWindow;
    QAction* ItmPrevious;
    QAction* ItmNext;
    QMenu* ItmHelp;
    QAction* ItmAbout;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QMdiArea* FMdiArea;
    TChainLink<QWidget> FChildren;
    bool FSwitching = false;
    bool FDocumentCommandsOn = false;
    bool FEditorCommandsOn = false;
    std::vector<QAction*> FHandled;   // commands that have a handler
    std::vector<QLabel*> FStatusPanels;
    QActionGroup* FWindowItems = nullptr;   // the entries of the window list
    std::optional<TStartupParams> FStartup;
    // The start-up waits for the window to stand at its final size: a window manager
    // maximises the window some time after it appears, and the profile chooser is centred
    // over the window as it is when the chooser opens.
    bool FStartupWaiting = false;
    QSize FShownSize;
    QTimer* FStartupFallback = nullptr;
    TInstanceLock FProfilesFileLock;   // held for the program's life

    void BuildMenu();
    void ConnectCommands();
    bool HasHandler(QAction* item) const;
    void SetDocumentCommands(bool on);
    void SetEditorCommands(bool on);
    void CloseChildren();
    void SetCaption(const AnsiString& tail);
    static std::function<void()> NeedsProfile(std::function<void()> handler);
    // Panel 0 shows the state, the document commands go off.
    void ShowNoProfile(const AnsiString& state);
    void LeaveProfile();
    void CheckProfileKept();

    AnsiString ProgramFile() const;
    bool AtFinalSize() const;
    void PostStartup();
    template <typename TWindow>
    void OpenChild(TWindow*& global);
    void ShowAtOwnSize(QWidget* window);
    void StartupHandler();
    void ChooseProfile(int index);
    void ReopenProfiles();
    bool MayLeaveProfile();
    bool HoldProfilesFile(const AnsiString& iniName, std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    void ItmProfileClick();
    void ItmEditProfileClick(bool global);
    void ItmUpdatesClick();
    void ItmNewCliReplyClick();
    void ItmAboutClick();
};

extern TFrmMain* FrmMain;
