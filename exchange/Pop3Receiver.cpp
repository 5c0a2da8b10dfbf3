#include "exchange/Pop3Receiver.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/MailMessage.h"
#include "exchange/ReceivedMail.h"
#include "exchange/ServerMailbox.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <map>

namespace {

// The mailbox over one POP3 session. A message number holds only within the connection
// that listed it: libcurl ends a connection after a refused command (its QUIT makes the
// deletions marked so far final) and opens a new one for the next command, where the
// numbers may have moved. So every command names a message by its UIDL identifier, the
// number is looked up in the listing of the connection at hand, and a command that ran
// over a connection opened anew is undone where it changes anything and made again.
class TPop3Mailbox : public TServerMailbox {
public:
    explicit TPop3Mailbox(const TProfile& profile);

    std::vector<AnsiString> List() override;
    std::optional<std::string> Fetch(const AnsiString& id) override;
    void Delete(const AnsiString& id) override;

private:
    TCurlSession FSession{"pop3"};
    std::vector<AnsiString> FBankAddresses;
    std::vector<AnsiString> FIds;           // in message number order
    std::map<AnsiString, int> FNumbers;     // by identifier, in the listed connection
    bool FListed = false;

    void Run(const AnsiString& command, bool multiLine);
    void ListNumbers();
    std::optional<std::string> OnMessage(const AnsiString& id, const AnsiString& command,
                                         const AnsiString& arguments, bool multiLine, const char* refusal);
    bool FromBank(const AnsiString& address) const;
};

TPop3Mailbox::TPop3Mailbox(const TProfile& profile) : FBankAddresses(MailAddresses(profile.BankEMail))
{
    FSession.SetText(CURLOPT_URL, MailServerUrl("pop3", profile.RecvHost, profile.RecvPort) + "/");
    FSession.SetLogin(profile.RecvUser, profile.RecvPass);
}

// A command whose reply is one line is sent without waiting for a list after it.
void TPop3Mailbox::Run(const AnsiString& command, bool multiLine)
{
    FSession.Set(CURLOPT_NOBODY, multiLine ? 0L : 1L);
    FSession.SetText(CURLOPT_CUSTOMREQUEST, command);
    FSession.Perform();
}

// The UIDL listing: "number identifier" lines.
void TPop3Mailbox::ListNumbers()
{
    FListed = false;
    Run("UIDL", true);
    TStringList lines;
    lines.SetText(FSession.Body());
    FIds.clear();
    FNumbers.clear();
    for (const AnsiString& line : lines.Items()) {
        const AnsiString text = Trim(line);
        if (text.empty())
            continue;
        const size_t blank = text.find(' ');
        int32_t number = 0;
        if (blank == AnsiString::npos || !TryStrToInt(text.substr(0, blank), number))
            throw Exception("Неверный ответ сервера на команду UIDL: " + text);
        const AnsiString id = Trim(text.substr(blank + 1));
        FIds.push_back(id);
        FNumbers[id] = number;
    }
    FListed = true;
}

std::vector<AnsiString> TPop3Mailbox::List()
{
    ListNumbers();
    return FIds;
}

// Runs the command on the message with that identifier and returns the reply; nothing
// when the message is no longer on the server. A refusal of the server raises the
// refusal text; a failure of the connection raises its own.
std::optional<std::string> TPop3Mailbox::OnMessage(const AnsiString& id, const AnsiString& command,
                                                   const AnsiString& arguments, bool multiLine, const char* refusal)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!FListed)
            ListNumbers();
        const auto found = FNumbers.find(id);
        if (found == FNumbers.end())
            return std::nullopt;
        try {
            Run(command + " " + IntToStr(found->second) + arguments, multiLine);
        } catch (const Exception&) {
            FListed = false;
            if (FSession.ServerRefused())
                throw Exception(refusal);
            throw;
        }
        if (FSession.NewConnections() == 0)
            return FSession.Body();
        // The command went to a connection that was opened for it, where the number may
        // stand for another message: undo a deletion mark there, list again and repeat.
        FListed = false;
        if (command == "DELE")
            Run("RSET", false);
    }
    throw Exception("Соединение с почтовым сервером прерывается");
}

bool TPop3Mailbox::FromBank(const AnsiString& address) const
{
    for (const AnsiString& bank : FBankAddresses)
        if (SameText(address, bank))
            return true;
    return false;
}

std::optional<std::string> TPop3Mailbox::Fetch(const AnsiString& id)
{
    const char* const headerRefused = "Ошибка приема заголовка почтового сообщения";
    const std::optional<std::string> header = OnMessage(id, "TOP", " 0", true, headerRefused);
    if (!header)
        throw Exception(headerRefused);
    if (!FromBank(ReadMail(*header).FromAddress))
        return std::nullopt;
    const char* const messageRefused = "Ошибка приема почтового сообщения";
    std::optional<std::string> message = OnMessage(id, "RETR", "", true, messageRefused);
    if (!message)
        throw Exception(messageRefused);
    return message;
}

// A message that is gone already needs no deletion.
void TPop3Mailbox::Delete(const AnsiString& id)
{
    OnMessage(id, "DELE", "", false, "Ошибка удаления почтового сообщения");
}

} // namespace

void TPop3Receiver::Receive()
{
    ResetCounters();
    TPop3Mailbox mailbox(CurrentProfile());
    const std::unique_ptr<TReceiveRun> run = BeginRun();
    ReceiveMessages(*this, mailbox, *run);
    // The session ends with the mailbox: its QUIT makes the deletions final.
}
