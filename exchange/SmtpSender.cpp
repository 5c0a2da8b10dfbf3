#include "exchange/SmtpSender.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/MailMessage.h"
#include "platform/SysUtils.h"

namespace {

// An envelope address: the first address of the text, in angle brackets.
AnsiString EnvelopeAddress(const AnsiString& text)
{
    const std::vector<AnsiString> addresses = MailAddresses(text);
    return "<" + (addresses.empty() ? AnsiString() : addresses.front()) + ">";
}

} // namespace

void TSmtpSender::Send(const AnsiString& text, const AnsiString& fileName, TStream* data)
{
    const TProfile& profile = CurrentProfile();
    const std::string message = ComposeMail(BankMailContent(text, fileName, *data), NewMailFrame());
    TCurlList recipients;
    for (const AnsiString& address : MailAddresses(profile.BankEMail))
        recipients.Add("<" + address + ">");

    TCurlSession session("smtp");
    session.SetText(CURLOPT_URL, MailServerUrl("smtp", profile.SendHost, profile.SendPort));
    // Without a user name nothing is sent for a login.
    if (!profile.SendUser.empty())
        session.SetLogin(profile.SendUser, profile.SendPass);
    session.SetText(CURLOPT_MAIL_FROM, EnvelopeAddress(profile.EMail));
    session.Set(CURLOPT_MAIL_RCPT, recipients.Get());
    session.SetUpload(message);
    // The connection ends with the call (QUIT included).
    session.Set(CURLOPT_FORBID_REUSE, 1L);
    session.Perform();
}
