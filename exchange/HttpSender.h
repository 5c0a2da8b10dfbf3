#pragma once
// The sender of the send type "HTTP": posts the mail message that the SMTP sender would
// mail to the bank's exchange script, as the form fields action "put", user1, pwd1 and
// the part "file" (message/rfc822).

#include "exchange/CurlSession.h"
#include "exchange/Transport.h"

class TProfile;

// The bank's exchange script on the send host.
inline constexpr char BankScriptPath[] = "/cgi-bin/zem-export.pl";

// Where the bank's script is, from the host a profile key (`SendHost`, `RecvHost`) gives:
// "host" or "host:port" over HTTP; the same after "http://", or after "https://" over
// TLS (the scheme in any letter case, a trailing "/" dropped).
struct TBankScriptAddress {
    const char* Protocol;   // "http" or "https"
    AnsiString Url;         // Protocol + "://" + the host + BankScriptPath
};
// Raises "Неверное значение параметра " + key and what a host may look like for another
// scheme, a path, a user name or a host libcurl cannot read.
TBankScriptAddress BankScriptAddress(const char* key, const AnsiString& host);

// A session aimed at the bank's script on the host that the profile key names: over TLS
// for an "https://" host, through the profile's proxy when ProxyHost is set, with the
// headers of every request to the script.
class TBankScriptSession {
public:
    TBankScriptSession(const char* key, const AnsiString& host, const TProfile& profile);
    TCurlSession& Session() { return FSession; }

private:
    TBankScriptAddress FAddress;
    TCurlList FHeaders;
    // Declared after the headers, which must outlive it.
    TCurlSession FSession;
};

class THttpSender : public TSender {
public:
    // Posts to the script on SendHost (BankScriptAddress): the host's own port (80 or 443
    // unless the host names one); SendPort takes no part. Through the profile's proxy
    // with Basic authentication when ProxyHost is set. A status other than 2xx raises.
    void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) override;
};
