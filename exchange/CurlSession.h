#pragma once
// One libcurl handle for one exchange with the bank's server, built and released inside
// one Send or Receive call. Every session waits at most 120000 ms for the server (to
// connect, for a reply, for the next bytes), speaks only the protocols it is made for,
// and takes no proxy from the environment: only UseProxy gives it one. A mail session
// encrypts whenever it can (STARTTLS, or TLS from the start on the protocol's TLS port),
// an "https" session always; every TLS connection checks the server's certificate and
// name. While the
// protocol log is switched on when the session begins, the session's whole dialogue
// goes to the log.

#include "platform/AnsiString.h"

#include <curl/curl.h>

#include <memory>
#include <string>

class TLogger;

// The longest wait for the server.
constexpr long ReadTimeoutMs = 120000;

// A failed transfer, as its error message tells it.
struct TTransferFailure {
    CURLcode Code = CURLE_OK;
    AnsiString Detail;            // libcurl's account of it
    AnsiString Reply;             // the mail server's refusal, when there was one
    long CertificateCheck = 0;    // OpenSSL's result of checking the certificate chain
    int SystemError = 0;          // the errno of the socket call that failed, 0 when none
    AnsiString Host;              // the server the transfer spoke to: the proxy when there is one
    long Port = 0;
    bool Proxy = false;
};

class TCurlSession {
public:
    // protocols: the protocol the session speaks, as libcurl names it ("smtp", "pop3",
    // "imap", "http", "https"); a mail protocol also over TLS ("smtps"). Raises when the
    // log is on and its file cannot be opened.
    explicit TCurlSession(const char* protocols);
    ~TCurlSession();
    TCurlSession(const TCurlSession&) = delete;
    TCurlSession& operator=(const TCurlSession&) = delete;

    // Sets an option; a value libcurl refuses raises.
    template <typename T>
    void Set(CURLoption option, T value)
    {
        Check(curl_easy_setopt(FHandle.get(), option, value));
    }
    void SetText(CURLoption option, const AnsiString& value) { Set(option, value.c_str()); }

    // The user and the password of the server's login.
    void SetLogin(const AnsiString& user, const AnsiString& password);
    // An HTTP proxy with Basic authentication, also with an empty user and password.
    void UseProxy(const AnsiString& host, int port, const AnsiString& user, const AnsiString& password);
    // The bytes to upload (a mail message); they must stay until Perform returns.
    void SetUpload(const std::string& bytes);

    // The longest body a transfer may bring; a longer one ends the transfer, and Perform
    // raises "Слишком длинный ответ". 0: no limit (the default). The page of an HTTP
    // error status is never kept, so the limit holds only for a successful reply.
    void LimitBody(size_t longest) { FBodyLimit = longest; }
    // The body of the next transfers is dropped as it comes, whatever its length.
    void DiscardBody(bool discard) { FDiscardBody = discard; }

    // Runs the transfer; a failure raises an Exception that says what went wrong, with
    // libcurl's account of it and the mail server's refusal, when there was one.
    void Perform();
    // The last transfer failed because of the server's answer: it refused the command
    // ("-ERR", "NO", "BAD", an SMTP error), did not have what was asked for, or answered
    // with something else. False for a failure of the connection itself (not reached,
    // lost, timed out) and for a refused login.
    bool ServerRefused() const;
    // The connections the last transfer had to open: 0 when it ran over the connection
    // of the transfers before it.
    long NewConnections() const;
    // Raises unless the HTTP status of the last transfer is 2xx: a redirect or any
    // other answer means that the request was not carried out. A proxy that refused
    // the profile's credentials is named, with what to check; a refused login (401,
    // 403) says to check the profile's name and password.
    void CheckHttpStatus() const;
    long ResponseCode() const;
    // The body the server answered with in the last transfer.
    const std::string& Body() const { return FBody; }

    CURL* Handle() const { return FHandle.get(); }

private:
    struct TUpload {
        const std::string* Bytes = nullptr;
        size_t Position = 0;
    };
    struct TCleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };

    bool FHttp;
    AnsiString FProxyHost;   // the proxy that UseProxy set, empty when none
    long FProxyPort = 0;
    std::unique_ptr<TLogger> FLog;
    char FError[CURL_ERROR_SIZE] = {};
    TUpload FUpload;
    std::string FBody;
    size_t FBodyLimit = 0;
    bool FDiscardBody = false;
    bool FBodyOverflow = false;
    CURLcode FLastCode = CURLE_OK;
    std::string FStatusLine;   // the last HTTP status line
    std::string FErrorReply;   // the first refusal of a mail server in the transfer
    // Declared last, so released first: the connection's last words still reach the
    // log and the buffers above.
    std::unique_ptr<CURL, TCleanup> FHandle;

    void Check(CURLcode code) const;
    void UseTls(const char* protocol);
    void VerifyServer();
    // The proxy's status to the request for a tunnel (CONNECT), 0 when there was none.
    long TunnelStatus() const;
    // A proxy refused the profile's credentials: it is named, with what to check.
    AnsiString ProxyRefusal() const;
    // OpenSSL's result of checking the server's certificate chain (0: it passed).
    long CertificateCheck() const;
    // What went wrong in the last transfer, and with which server.
    TTransferFailure Failure() const;
    static size_t CollectBody(char* data, size_t size, size_t count, void* session);
    static size_t CollectHeader(char* data, size_t size, size_t count, void* session);
    static size_t ReadUpload(char* buffer, size_t size, size_t count, void* session);
    static int Debug(CURL* handle, curl_infotype type, char* data, size_t size, void* session);
};

// A libcurl list of strings (recipients, header lines), freed with its holder. Set it
// in a session declared after the holder, so that it lives as long as the session.
class TCurlList {
public:
    TCurlList() = default;
    ~TCurlList() { curl_slist_free_all(FList); }
    TCurlList(const TCurlList&) = delete;
    TCurlList& operator=(const TCurlList&) = delete;

    void Add(const AnsiString& item);
    curl_slist* Get() const { return FList; }

private:
    curl_slist* FList = nullptr;
};

// The text of a failed transfer: what went wrong in Russian, then the detail: for the
// common failures of the connection (refused, name not found, time-out, reset, the TLS
// handshake, the certificate) our own words with the server and the port, for the others
// libcurl's account; then the server's reply when there is one. The certificate check
// tells what was wrong with a certificate that did not verify (0 or 1 when the chain
// passed and the name did not match).
AnsiString CurlErrorMessage(const TTransferFailure& failure);

// The address of a mail server, "pop3://host:port": on the protocol's TLS port (SMTP 465,
// POP3 995, IMAP 993) with its TLS scheme ("pop3s"), encrypted from the start.
AnsiString MailServerUrl(const AnsiString& protocol, const AnsiString& host, int port);
