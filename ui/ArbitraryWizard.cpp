#include "ui/ArbitraryWizard.h"

#include "documents/Blockstreams.h"
#include "documents/Common.h"
#include "documents/Profiles.h"
#include "documents/Zipfiles.h"
#include "exchange/Ciphers.h"
#include "exchange/Transport.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/UFrmWizard.h"

#include <algorithm>
#include <optional>

namespace {

// The file is coded into the member this many bytes (whole Base64 lines of 57 bytes) at a
// time, so that no Base64 text of the whole file is ever held besides the member.
constexpr size_t PieceBytes = 57 * 16384;

struct TPage {
    bool BackEnabled;
    const char* NextCaption;
};

// The buttons of each page, by state; "Далее >" is always enabled.
constexpr TPage Pages[] = {
    {false, WizardNextCaption},    // file
    {true, WizardNextCaption},     // comment
    {true, WizardNextCaption},     // prompt
    {false, WizardExitCaption},    // sent
    {true, WizardRetryCaption},    // failed
};

bool HasControlChars(const AnsiString& text)
{
    return std::any_of(text.begin(), text.end(), IsControlChar);
}

TFileProfile& ArbitrarySettings()
{
    CurrentProfile();   // raises when no profile is selected
    return Profiles.Get()->Current()->ArbitraryProfile;
}

// The whole file as it is now, read once; a file that changes while it is read is refused
// rather than sent half old, half new.
std::string ReadWholeFile(const AnsiString& fileName)
{
    const std::optional<TFileStamp> before = FileStamp(fileName);
    if (!before)
        throw Exception("Файл не существует: " + fileName);
    std::string bytes = ReadFileBytes(fileName);
    if (FileStamp(fileName) != before || static_cast<int64_t>(bytes.size()) != before->Size)
        throw Exception("Файл " + fileName + " изменился во время чтения. Повторите отправку");
    return bytes;
}

}  // namespace

TArbitraryWizard::TArbitraryWizard() : TWizard("Отправка произвольного файла") {}

void TArbitraryWizard::Start()
{
    const TFileProfile& settings = ArbitrarySettings();
    View().SetFileName(settings.FileName);
    View().SetFileComment(settings.Comment);
    State = StateFile;
    ShowPage();
}

void TArbitraryWizard::Next()
{
    switch (State) {
    case StateFile:
        TakeFileName();
        State = StateComment;
        break;
    case StateComment:
        TakeComment();
        if (!Cipher.Get()->GetPrompt().empty()) {
            State = StatePrompt;
            break;
        }
        SendFile();
        break;
    case StatePrompt:
    case StateFailed:
        SendFile();
        break;
    case StateSent:
        View().CloseWizard();
        break;
    default:
        break;
    }
    ShowPage();
}

void TArbitraryWizard::Back()
{
    if (State == StateComment)
        State = StateFile;
    else if (State == StatePrompt || State == StateFailed)
        State = StateComment;
    ShowPage();
}

void TArbitraryWizard::TakeFileName()
{
    const AnsiString entered = View().FileName();
    // The name goes into the header and the profiles file, where a line break would add
    // lines of its own.
    if (HasControlChars(entered))
        throw Exception("Имя файла содержит управляющие символы (перевод строки, табуляцию и т. п.). "
                        "Переименуйте файл или выберите другой");
    // The name as the user typed or chose it: a backslash is a character of a Linux file
    // name, not a separator.
    const AnsiString fileName = entered.empty() ? entered : ExpandFileNameFrom(entered, ProgramFolder());
    ArbitrarySettings().SetFileName(fileName);
    if (!FileStamp(fileName))
        throw Exception("Файл не существует: " + entered);
}

void TArbitraryWizard::TakeComment()
{
    const AnsiString comment = View().FileComment();
    if (HasControlChars(comment))
        throw Exception("Комментарий к файлу содержит управляющие символы (перевод строки, табуляцию и т. п.). "
                        "Удалите их из комментария");
    ArbitrarySettings().SetComment(comment);
}

void TArbitraryWizard::SendFile()
{
    const bool sent = RunSendStep(View(), [] { return SendArbitraryFile(ArbitrarySettings()); }).has_value();
    State = sent ? StateSent : StateFailed;
}

void TArbitraryWizard::ShowPage()
{
    TWizardView& view = View();
    switch (State) {
    case StateFile:
        view.ShowFileName();
        break;
    case StateComment:
        view.ShowFileComment();
        break;
    case StatePrompt:
        view.ShowMessage(Cipher.Get()->GetPrompt());
        break;
    case StateSent:
        view.ShowMessage("Файл успешно отправлен в банк.");
        break;
    case StateFailed:
        view.ShowMessage("Произошла ошибка при отправке файла.");
        break;
    }
    const TPage& page = Pages[State];
    view.SetButtons(WizardBackCaption, page.NextCaption, page.BackEnabled, true);
}

void WriteArbitraryMember(TStream& member, const AnsiString& prefix, const AnsiString& fileName,
                          const AnsiString& comment, const std::string& bytes)
{
    member.WriteString("FILE_TYPE=ARBITRARY\r\n"
                       "ARM_VERSION=" + GetShortFileVersion() + "\r\n" +
                       "PREFIX=" + prefix + "\r\n" +
                       "FILE_NAME=" + ExtractFileName(fileName) + "\r\n" +
                       "FILE_COMMENT=" + comment + "\r\n" +
                       "<FILE>\r\n");
    std::string lines;
    for (size_t start = 0; start < bytes.size(); start += PieceBytes) {
        lines.clear();
        AppendBase64Lines(lines, std::string_view(bytes).substr(start, PieceBytes));
        member.WriteString(lines);
    }
}

TSentFile SendArbitraryFile(TFileProfile& settings)
{
    const AnsiString prefix = CurrentProfile().Prefix;
    TSentName name(prefix, settings.FileCount, "A");
    TBlockStream container;
    {
        std::unique_ptr<TZippedFile> member = NewDataMember();
        {
            const std::string bytes = ReadWholeFile(settings.FileName);
            WriteArbitraryMember(*member, prefix, settings.FileName, settings.Comment, bytes);
        }
        SaveContainer(std::move(member), container);
    }
    const TJournalEntry entry{ExtractFileName(settings.FileName), "ARBITRARY", "", "", "", settings.Comment};
    return SendAndRecord(settings, name, "Произвольный файл (" + name.FileName() + ")", container, entry);
}

void RunArbitraryWizard()
{
    TArbitraryWizard wizard;
    RunWizard(wizard);
}
