#pragma once
// The sender of the send type "HTTP": posts the mail message that the SMTP sender would
// mail to the bank's exchange script, as the form fields action "put", user1, pwd1 and
// the part "file" (message/rfc822).

#include "exchange/Transport.h"

class TCurlList;
class TCurlSession;
class TProfile;

// The bank's exchange script on the send host.
inline constexpr char BankScriptPath[] = "/cgi-bin/zem-export.pl";

// Aims the session at the bank's script on the host ("http://" + host + BankScriptPath),
// through the profile's proxy when ProxyHost is set, with the headers of every request
// to the script added to `headers` (which must live until the session has performed).
void AimAtBankScript(TCurlSession& session, TCurlList& headers, const AnsiString& host, const TProfile& profile);

class THttpSender : public TSender {
public:
    // Posts to "http://" + SendHost + BankScriptPath: the host's own port (80 unless the
    // host names one); SendPort takes no part. Through the profile's proxy with Basic
    // authentication when ProxyHost is set. An HTTP status of 400 or more raises.
    void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) override;
};
