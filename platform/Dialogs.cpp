#include "platform/Dialogs.h"

#include "platform/Exception.h"

namespace {

TDialogService* CurrentService = nullptr;

// Stands in until a real service is installed: a question nobody can see is an error,
// never a silent answer.
class TNoDialogs : public TDialogService {
public:
    int MessageBox(const AnsiString& text, const AnsiString&, unsigned) override
    {
        throw Exception("Нет окна для вопроса: " + text);
    }
    std::optional<AnsiString> OpenFileName(const TFileDialogRequest& request) override
    {
        throw Exception("Нет окна для выбора файла: " + request.Title);
    }
    std::optional<AnsiString> SaveFileName(const TFileDialogRequest& request) override
    {
        throw Exception("Нет окна для выбора файла: " + request.Title);
    }
    std::optional<AnsiString> BrowseFolder(const AnsiString& title, const AnsiString&) override
    {
        throw Exception("Нет окна для выбора папки: " + title);
    }
};

}  // namespace

TDialogService& Dialogs()
{
    static TNoDialogs none;
    return CurrentService ? *CurrentService : none;
}

TDialogService* SetDialogService(TDialogService* service)
{
    TDialogService* previous = CurrentService;
    CurrentService = service;
    return previous;
}
