#pragma once
// A dialog service for tests: every question is recorded; a question that the test did
// not script fails the test and is answered "Cancel".

#include "platform/Dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

struct TAskedDialog {
    enum TKind { Message, OpenFile, SaveFile, Folder };
    TKind Kind = Message;
    AnsiString Text;       // message text, or the dialog's title
    AnsiString Caption;    // message caption
    unsigned Flags = 0;    // message flags
    TFileDialogRequest Request;
};

// Installs itself for its lifetime; at the end, restores the service before it and fails
// the test when a scripted question was never asked.
class TScriptedDialogs : public TDialogService {
public:
    TScriptedDialogs();
    ~TScriptedDialogs() override;

    // The next question is a message box with exactly this text; it gets `answer`.
    // With flags given, the box's flags must be exactly those.
    TScriptedDialogs& ExpectMessage(const AnsiString& text, int answer = MessageBoxAnswer::Ok,
                                    std::optional<unsigned> flags = std::nullopt);
    // The next question is that kind of dialog; it gets the answer (nothing = cancelled).
    TScriptedDialogs& ExpectOpenFile(std::optional<AnsiString> answer);
    TScriptedDialogs& ExpectSaveFile(std::optional<AnsiString> answer);
    TScriptedDialogs& ExpectFolder(std::optional<AnsiString> answer);

    const std::vector<TAskedDialog>& Asked() const { return FAsked; }

    int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override;
    std::optional<AnsiString> OpenFileName(const TFileDialogRequest& request) override;
    std::optional<AnsiString> SaveFileName(const TFileDialogRequest& request) override;
    std::optional<AnsiString> BrowseFolder(const AnsiString& title, const AnsiString& initialDir) override;

private:
    struct TStep {
        TAskedDialog::TKind Kind;
        AnsiString Text;
        std::optional<unsigned> Flags;
        int Answer = MessageBoxAnswer::Ok;
        std::optional<AnsiString> FileAnswer;
    };
    std::deque<TStep> FScript;
    std::vector<TAskedDialog> FAsked;
    TDialogService* FPrevious = nullptr;

    std::optional<TStep> NextStep(TAskedDialog::TKind kind, const AnsiString& what);
    std::optional<AnsiString> AnswerFileDialog(TAskedDialog::TKind kind, const TFileDialogRequest& request);
};

// Installed for the whole test run: a question asked outside any TScriptedDialogs fails
// the test that asked it.
class TUnexpectedDialogsEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};
