#include "exchange/Imap4Receiver.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/MailMessage.h"
#include "exchange/ServerMailbox.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <string>

namespace {

// The mailbox "INBOX" over one IMAP session. libcurl logs in with the first command and
// selects the mailbox named in the address before a command that needs it; the session
// logs out when it ends.
class TImap4Mailbox : public TServerMailbox {
public:
    explicit TImap4Mailbox(const TProfile& profile);

    std::vector<AnsiString> List() override;
    std::optional<std::string> Fetch(const AnsiString& id) override;
    void Delete(const AnsiString& id) override;
    void Finish() override;

private:
    TCurlSession FSession{"imap"};
    AnsiString FServer;   // "imap://host:port/", or "imaps://" on the TLS port
    AnsiString FSearch;

    // Runs the command on the server, or in the mailbox; a refusal of the server raises
    // the refusal text, a failure of the connection its own.
    void Command(const AnsiString& command, bool inMailbox, const char* refusal);
};

const char* const Inbox = "INBOX";

// "FROM addr", or "OR FROM a FROM b" for two addresses, and so on.
AnsiString FromCriterion(const std::vector<AnsiString>& addresses, size_t first = 0)
{
    const AnsiString from = "FROM " + ImapQuoted(addresses.empty() ? AnsiString() : addresses[first]);
    if (first + 1 >= addresses.size())
        return from;
    return "OR " + from + " " + FromCriterion(addresses, first + 1);
}

TImap4Mailbox::TImap4Mailbox(const TProfile& profile)
    : FServer(MailServerUrl("imap", profile.RecvHost, profile.RecvPort) + "/"),
      FSearch("UID SEARCH " + FromCriterion(MailAddresses(profile.BankEMail)))
{
    FSession.SetLogin(profile.RecvUser, profile.RecvPass);
}

void TImap4Mailbox::Command(const AnsiString& command, bool inMailbox, const char* refusal)
{
    FSession.SetText(CURLOPT_URL, inMailbox ? FServer + Inbox : FServer);
    FSession.SetText(CURLOPT_CUSTOMREQUEST, command);
    try {
        FSession.Perform();
    } catch (const Exception&) {
        if (refusal && FSession.ServerRefused())
            throw Exception(refusal);
        throw;
    }
}

std::vector<AnsiString> TImap4Mailbox::List()
{
    // Selected by a command of its own first, so that a refusal to select is told apart
    // from one to log in; libcurl selects the mailbox once more for the commands in it.
    Command(AnsiString("SELECT ") + Inbox, false, "Ошибка выбора папки INBOX");
    Command(FSearch, true, "Ошибка поиска входящих сообщений");
    return SearchResult(FSession.Body());
}

std::optional<std::string> TImap4Mailbox::Fetch(const AnsiString& id)
{
    // A plain fetch of the message by its identifier.
    FSession.SetText(CURLOPT_URL, FServer + Inbox + "/;UID=" + id);
    FSession.Set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    try {
        FSession.Perform();
    } catch (const Exception&) {
        if (FSession.ServerRefused())
            throw Exception("Ошибка приема почтового сообщения");
        throw;
    }
    return FSession.Body();
}

void TImap4Mailbox::Delete(const AnsiString& id)
{
    Command("UID STORE " + id + " +FLAGS.SILENT (\\Deleted)", true, "Ошибка удаления почтового сообщения");
}

// CLOSE removes the marked messages as EXPUNGE does, without an untagged line for each:
// libcurl (7.88 as Debian patches it) counts the reply lines of one command against a
// limit of 300 KB in a way that grows with the square of their number, and refuses the
// EXPUNGE reply for a few hundred messages. Nothing follows CLOSE but the logout.
void TImap4Mailbox::Finish()
{
    Command("CLOSE", true, nullptr);
}

} // namespace

namespace {

// A message's UID: a decimal number from 1 to 4294967295. Anything else would reach the
// STORE command as a sequence set or as words of its own.
bool IsUid(const AnsiString& word)
{
    if (word.empty() || word.size() > 10 || word.find_first_not_of("0123456789") != AnsiString::npos)
        return false;
    const unsigned long long value = std::stoull(word);
    return value >= 1 && value <= 0xFFFFFFFFull;
}

} // namespace

std::vector<AnsiString> SearchResult(const std::string& reply)
{
    TStringList lines;
    lines.SetText(reply);
    std::vector<AnsiString> ids;
    for (const AnsiString& line : lines.Items()) {
        if (line.rfind("* SEARCH", 0) != 0)
            continue;
        TStringList words;
        SplitString(words, Trim(line.substr(8)), " ");
        for (const AnsiString& word : words.Items())
            if (IsUid(word))
                ids.push_back(word);
    }
    return ids;
}

AnsiString ImapQuoted(const AnsiString& text)
{
    AnsiString quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

void TImap4Receiver::Receive()
{
    ResetCounters();
    TImap4Mailbox mailbox(CurrentProfile());
    const std::unique_ptr<TReceiveRun> run = BeginRun();
    ReceiveMessages(*this, mailbox, *run);
}
