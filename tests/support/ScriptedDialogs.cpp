#include "support/ScriptedDialogs.h"

#include "support/TestSupport.h"

namespace {

const char* KindName(TAskedDialog::TKind kind)
{
    switch (kind) {
    case TAskedDialog::Message: return "message box";
    case TAskedDialog::OpenFile: return "open dialog";
    case TAskedDialog::SaveFile: return "save dialog";
    case TAskedDialog::Folder: return "folder browser";
    }
    return "dialog";
}

// Answers every question with "Cancel" and fails the test that asked it.
class TUnexpectedDialogs : public TDialogService {
public:
    int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override
    {
        ADD_FAILURE() << "Unexpected message box \"" << U8(caption) << "\": " << U8(text)
                      << " (flags " << flags << ")";
        return MessageBoxAnswer::Cancel;
    }
    std::optional<AnsiString> OpenFileName(const TFileDialogRequest& request) override
    {
        ADD_FAILURE() << "Unexpected open dialog: " << U8(request.Title);
        return std::nullopt;
    }
    std::optional<AnsiString> SaveFileName(const TFileDialogRequest& request) override
    {
        ADD_FAILURE() << "Unexpected save dialog: " << U8(request.Title);
        return std::nullopt;
    }
    std::optional<AnsiString> BrowseFolder(const AnsiString& title, const AnsiString&) override
    {
        ADD_FAILURE() << "Unexpected folder browser: " << U8(title);
        return std::nullopt;
    }
};

TUnexpectedDialogs UnexpectedDialogs;

}  // namespace

TScriptedDialogs::TScriptedDialogs() { FPrevious = SetDialogService(this); }

TScriptedDialogs::~TScriptedDialogs()
{
    SetDialogService(FPrevious);
    for (const TStep& step : FScript)
        ADD_FAILURE() << "A scripted " << KindName(step.Kind) << " was never shown: " << U8(step.Text);
}

TScriptedDialogs& TScriptedDialogs::ExpectMessage(const AnsiString& text, int answer, std::optional<unsigned> flags)
{
    FScript.push_back({TAskedDialog::Message, text, flags, answer, std::nullopt});
    return *this;
}

TScriptedDialogs& TScriptedDialogs::ExpectOpenFile(std::optional<AnsiString> answer)
{
    FScript.push_back({TAskedDialog::OpenFile, {}, std::nullopt, 0, std::move(answer)});
    return *this;
}

TScriptedDialogs& TScriptedDialogs::ExpectSaveFile(std::optional<AnsiString> answer)
{
    FScript.push_back({TAskedDialog::SaveFile, {}, std::nullopt, 0, std::move(answer)});
    return *this;
}

TScriptedDialogs& TScriptedDialogs::ExpectFolder(std::optional<AnsiString> answer)
{
    FScript.push_back({TAskedDialog::Folder, {}, std::nullopt, 0, std::move(answer)});
    return *this;
}

std::optional<TScriptedDialogs::TStep> TScriptedDialogs::NextStep(TAskedDialog::TKind kind, const AnsiString& what)
{
    if (FScript.empty() || FScript.front().Kind != kind) {
        ADD_FAILURE() << "Unexpected " << KindName(kind) << ": " << U8(what);
        return std::nullopt;
    }
    TStep step = FScript.front();
    FScript.pop_front();
    return step;
}

int TScriptedDialogs::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags)
{
    FAsked.push_back({TAskedDialog::Message, text, caption, flags, {}});
    std::optional<TStep> step = NextStep(TAskedDialog::Message, text);
    if (!step)
        return MessageBoxAnswer::Cancel;
    EXPECT_ANSI_EQ(text, step->Text);
    if (step->Flags) {
        EXPECT_EQ(flags, *step->Flags) << "flags of the message " << U8(text);
    }
    return step->Answer;
}

std::optional<AnsiString> TScriptedDialogs::AnswerFileDialog(TAskedDialog::TKind kind, const TFileDialogRequest& request)
{
    FAsked.push_back({kind, request.Title, {}, 0, request});
    std::optional<TStep> step = NextStep(kind, request.Title);
    return step ? step->FileAnswer : std::nullopt;
}

std::optional<AnsiString> TScriptedDialogs::OpenFileName(const TFileDialogRequest& request)
{
    return AnswerFileDialog(TAskedDialog::OpenFile, request);
}

std::optional<AnsiString> TScriptedDialogs::SaveFileName(const TFileDialogRequest& request)
{
    return AnswerFileDialog(TAskedDialog::SaveFile, request);
}

std::optional<AnsiString> TScriptedDialogs::BrowseFolder(const AnsiString& title, const AnsiString& initialDir)
{
    TFileDialogRequest request;
    request.Title = title;
    request.InitialDir = initialDir;
    return AnswerFileDialog(TAskedDialog::Folder, request);
}

void TUnexpectedDialogsEnvironment::SetUp() { SetDialogService(&UnexpectedDialogs); }

void TUnexpectedDialogsEnvironment::TearDown() { SetDialogService(nullptr); }
