#include "exchange/HttpReceiver.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/HttpSender.h"
#include "exchange/ServerMailbox.h"
#include "platform/SysUtils.h"

#include <optional>

namespace {

// The client's messages at the bank's exchange script. Every request is a POST of
// name=value pieces, each ended by "&", beginning with the credentials.
class THttpMailbox : public TServerMailbox {
public:
    explicit THttpMailbox(const TProfile& profile);

    std::vector<AnsiString> List() override;
    std::optional<std::string> Fetch(const AnsiString& id) override;
    void Delete(const AnsiString& id) override;

private:
    TBankScriptSession FScript;
    AnsiString FCredentials;
    AnsiString FPrefix;

    // Without a longest reply the reply is not wanted: it is dropped as it comes.
    void Post(const AnsiString& request, std::optional<size_t> longestReply);
};

AnsiString Field(const char* name, const AnsiString& value)
{
    return AnsiString(name) + "=" + FormValue(value) + "&";
}

THttpMailbox::THttpMailbox(const TProfile& profile)
    : FScript("RecvHost", profile.RecvHost, profile),
      FCredentials(Field("user1", profile.RecvUser) + Field("pwd1", profile.RecvPass)),
      FPrefix(Field("prefix", profile.Prefix))
{
}

void THttpMailbox::Post(const AnsiString& request, std::optional<size_t> longestReply)
{
    TCurlSession& session = FScript.Session();
    session.DiscardBody(!longestReply);
    session.LimitBody(longestReply.value_or(0));
    session.SetText(CURLOPT_COPYPOSTFIELDS, FCredentials + request);
    session.Perform();
    session.CheckHttpStatus();
}

std::vector<AnsiString> THttpMailbox::List()
{
    Post("action=list&" + FPrefix, LongestListReply);
    return ListedIdentifiers(FScript.Session().Body());
}

std::optional<std::string> THttpMailbox::Fetch(const AnsiString& id)
{
    Post("action=get&" + FPrefix + Field("uid", id), LongestHttpMessage);
    return FScript.Session().Body();
}

void THttpMailbox::Delete(const AnsiString& id)
{
    // The reply's text is not examined, however long: a 2xx status is success.
    Post("action=del&" + Field("uid", id), std::nullopt);
}

} // namespace

std::vector<AnsiString> ListedIdentifiers(const std::string& reply)
{
    const char* const bodyMark = "<BODY>";
    const char* const breakMark = "<BR>";
    std::vector<AnsiString> ids;
    size_t start = reply.find(bodyMark);
    if (start == std::string::npos)
        return ids;
    start += std::char_traits<char>::length(bodyMark);
    for (size_t end = reply.find(breakMark, start); end != std::string::npos; end = reply.find(breakMark, start)) {
        ids.push_back(reply.substr(start, end - start));
        start = end + std::char_traits<char>::length(breakMark);
    }
    return ids;
}

AnsiString FormValue(const AnsiString& text)
{
    AnsiString value;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~')
            value += c;
        else
            value += "%" + IntToHex(byte, 2);
    }
    return value;
}

void THttpReceiver::Receive()
{
    ResetCounters();
    THttpMailbox mailbox(CurrentProfile());
    const std::unique_ptr<TReceiveRun> run = BeginRun();
    ReceiveMessages(*this, mailbox, *run);
}
