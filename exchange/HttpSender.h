#pragma once
// The sender of the send type "HTTP": posts the mail message that the SMTP sender would
// mail to the bank's exchange script, as the form fields action "put", user1, pwd1 and
// the part "file" (message/rfc822).

#include "exchange/Transport.h"

// The bank's exchange script on the send host.
inline constexpr char BankScriptPath[] = "/cgi-bin/zem-export.pl";

class THttpSender : public TSender {
public:
    // Posts to "http://" + SendHost + BankScriptPath: the host's own port (80 unless the
    // host names one); SendPort takes no part. Through the profile's proxy with Basic
    // authentication when ProxyHost is set. An HTTP status of 400 or more raises.
    void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) override;
};
