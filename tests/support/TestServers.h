#pragma once
// The local servers of the integration tests: SMTP into a Maildir (aiosmtpd), POP3 and
// IMAP from it (dovecot), the bank's web server with its exchange script stand-in
// (lighttpd), and a recording HTTP proxy. Each fixture object owns a temporary folder,
// listens on free loopback ports, and stops its processes (killed and waited for) in
// Stop or its destructor. A server that does not come up within a few seconds raises
// TServerError with its log, which fails the test. Configurations and scripts live in
// tests/servers/.

#include "support/TestSupport.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TServerProcess;

// Header lines as (name, value), in the order they came.
using THeaderList = std::vector<std::pair<std::string, std::string>>;
// The value of the first header of that name (compared ignoring case), "" when absent.
std::string HeaderValue(const THeaderList& headers, const std::string& name);

// A socket bound to a free loopback port (port 0, the port read back into `port`), not
// listening; -1 when none could be had. The caller closes it.
int BindLoopback(int& port);
// A socket that listens on a free loopback port (bound to port 0, the port read back into
// `port`); the caller closes it.
int ListenOnLoopback(int backlog, int& port);
// Something listens on that loopback port.
bool AcceptsConnections(int port);
// Loopback ports that nothing listens on now, all different (bound to port 0 together,
// then released for a server).
std::vector<int> FreeLoopbackPorts(int count);

// ---- TLS ----

// Moves the test process into a network namespace of its own, with only a loopback
// interface: a server may take a fixed port there (TLS on 465, 995, 993) while other
// tests run. Servers started afterwards live in it too. Needs root.
void EnterOwnNetwork();

// A server's certificate and key, as PEM files.
struct TServerCertificate {
    std::string Certificate;
    std::string Key;
};

// A certificate authority made for one test (openssl).
class TTestAuthority {
public:
    TTestAuthority();
    // Its own certificate, as a PEM file: the trust anchor.
    std::string Certificate() const { return FFolder.Path() + "ca.pem"; }
    // A certificate for the name (an IP address or a DNS name) that this authority signs.
    TServerCertificate Issue(const std::string& name);

private:
    TTempDir FFolder;
    int FIssued = 0;
};

// Passes every connection on to a loopback port and records the bytes the clients send.
class TRecordingRelay {
public:
    TRecordingRelay();
    ~TRecordingRelay();
    TRecordingRelay(const TRecordingRelay&) = delete;
    TRecordingRelay& operator=(const TRecordingRelay&) = delete;

    // Returns the relay's own port.
    int Start(int targetPort);
    void Stop();
    // Everything the clients have sent, as it reached the server.
    std::string ClientBytes() const;

private:
    TTempDir FFolder;
    std::unique_ptr<TServerProcess> FServer;
};

// ---- Mail: SMTP, POP3 and IMAP over one mailbox ----

struct TMailEnvelope {
    std::string MailFrom;
    std::vector<std::string> Recipients;
    std::string Login;   // the user the SMTP client logged in as, "" without login
};

// One message file of the mailbox.
struct TMailFile {
    std::string Name;     // the Maildir base name (without dovecot's ":2,flags")
    std::string Flags;    // the Maildir flags ("S" seen, "T" deleted, ...)
    std::string Bytes;    // the stored message, byte for byte
    TMailEnvelope Envelope;   // empty for a message that the test put in
};

struct TMailPorts {
    int Smtp = 0;
    int Pop3 = 0;
    int Imap = 0;
    // TLS from the start, on the standard ports; 0 without TLS.
    int Smtps = 0;
    int Pop3s = 0;
    int Imaps = 0;
};

// One mailbox (a Maildir of `user`), filled by the SMTP server and served by dovecot;
// user and password hold no ":" or line break (dovecot's passwd file). The tests run as
// root: dovecot's mail user must differ from root. The SMTP server offers AUTH PLAIN and
// LOGIN without TLS and accepts only the mailbox's user and password; logging in is not
// required.
class TMailServer {
public:
    explicit TMailServer(std::string user = "client", std::string password = "secret");
    ~TMailServer();
    TMailServer(const TMailServer&) = delete;
    TMailServer& operator=(const TMailServer&) = delete;

    // Both servers; or one of them.
    TMailPorts Start();
    int StartSmtp();
    TMailPorts StartDovecot();
    void Stop();
    const TMailPorts& Ports() const { return FPorts; }

    // The SMTP server answers 550 to RCPT TO of this address (call before StartSmtp).
    void RefuseRecipient(const std::string& address);
    // The servers offer STARTTLS with this certificate and speak TLS from the start on
    // the standard ports 465, 995 and 993 (call EnterOwnNetwork, then this, before they
    // start).
    void UseTls(const TServerCertificate& certificate);

    const std::string& User() const { return FUser; }
    const std::string& Password() const { return FPassword; }

    // Starts a relay in front of dovecot's POP3 or IMAP port ("pop3", "imap") that refuses
    // every use of the command ("UIDL", "CLOSE") and passes everything else on; returns
    // the relay's port. Call after StartDovecot.
    int RefuseCommand(const std::string& protocol, const std::string& command);

    // Delivers the bytes into the mailbox's new/ folder; returns the file's base name.
    // With flags ("T": marked deleted), into cur/ with those flags, as dovecot keeps them.
    std::string PutMessage(const std::string& bytes, const std::string& flags = "");
    // Makes dovecot drop every connection of the mailbox's user (doveadm kick), as a
    // server does after a time-out or a restart.
    void KickUser();
    // Kills dovecot's processes that serve the mailbox's user, as a server that crashed:
    // each client finds its connection closed, without a word. Raises TServerError when
    // the user has no session.
    void CutUser();
    // Removes the message file of that base name, as another mail client would.
    void RemoveMessage(const std::string& name);
    // Every message of the mailbox (new/ and cur/), in the order of delivery.
    std::vector<TMailFile> Messages() const;
    // The logs of both servers, for failure messages.
    std::string Logs() const;

private:
    AnsiString MaildirPath() const;
    void PrepareMailbox();
    void WriteDovecotConfig(const TMailPorts& ports) const;

    TTempDir FFolder;
    std::string FUser;
    std::string FPassword;
    std::vector<std::string> FRefused;
    TServerCertificate FTls;
    TMailPorts FPorts;
    std::unique_ptr<TServerProcess> FSmtp;
    std::unique_ptr<TServerProcess> FDovecot;
    std::unique_ptr<TServerProcess> FRelay;
};

// ---- The bank's web server (lighttpd) with the exchange script stand-in ----

// One part of a posted multipart form.
struct TFormPart {
    std::string Name;      // the form field's name
    std::string Headers;   // the part's raw header lines
    std::string Body;      // the raw content
    std::string Header(const std::string& name) const;
};

// One "put": the parts of the form, in the order they came.
struct TUpload {
    std::vector<TFormPart> Parts;
    const TFormPart* Part(const std::string& name) const;   // null when absent
    std::string Field(const std::string& name) const;       // the body, "" when absent
};

// One request to the script as it logged it: the status it answered and the fields
// action, user1, pwd1, prefix and uid as they arrived (decoded).
struct TBankRequest {
    int Status = 0;
    THeaderList Fields;
    std::string Field(const std::string& name) const;
    bool Has(const std::string& name) const;
};

class TBankHttpServer {
public:
    TBankHttpServer();
    ~TBankHttpServer();
    TBankHttpServer(const TBankHttpServer&) = delete;
    TBankHttpServer& operator=(const TBankHttpServer&) = delete;

    // The server speaks TLS with this certificate, on its port and on the standard port
    // 443 (call EnterOwnNetwork, then this, before Start).
    void UseTls(const TServerCertificate& certificate);
    int Start();
    void Stop();
    // "127.0.0.1:PORT", for a profile whose host stands for the bank's server on port 80.
    std::string Host() const;
    // "http://127.0.0.1:PORT/cgi-bin/zem-export.pl".
    std::string Url() const;

    // A user the script accepts (any time; bytes as the client sends them).
    void AddUser(const std::string& user, const std::string& password);
    // A message waiting for the user under the prefix; returns its identifier (the next
    // number unless one is given).
    std::string AddMessage(const std::string& user, const std::string& prefix,
                           const std::string& bytes, const std::string& uid = "");
    // The identifiers still waiting for the user under the prefix, in name order.
    std::vector<std::string> MessageIds(const std::string& user, const std::string& prefix) const;

    // From now on the script answers this status (as 500 or "500 Broken"), with an error
    // page longer than 2048 bytes, to every request of the action; ClearFailures ends it.
    void FailWith(const std::string& status, const std::string& action);
    void ClearFailures();
    // From now on a successful answer to the action carries this body.
    void ReplyWith(const std::string& body, const std::string& action);
    // While it handles each request of the action, the script puts these bytes at the
    // path (a system path): a new file renamed over whatever stands there, as another
    // program on the client's machine may do while the client waits for the answer.
    void ReplaceFileDuring(const std::string& action, const std::string& path, const std::string& bytes);

    std::vector<TUpload> Uploads() const;
    // Every request that reached the script, its password as it came.
    std::vector<TBankRequest> Requests() const;
    // The requests from the first-th on as "action uid status".
    std::vector<std::string> Actions(size_t first = 0) const;
    std::string Logs() const;

private:
    AnsiString BankPath(const std::string& name) const;

    TTempDir FFolder;
    TServerCertificate FTls;
    int FPort = 0;
    int FNextUid = 1;
    std::unique_ptr<TServerProcess> FServer;
};

// ---- A recording HTTP proxy ----

struct TProxyRequest {
    std::string RequestLine;   // "POST http://127.0.0.1:PORT/cgi-bin/zem-export.pl HTTP/1.1"
    THeaderList Headers;
    std::string Header(const std::string& name) const { return HeaderValue(Headers, name); }
};

// The accounts a proxy accepts: (user, password).
using TProxyAccounts = std::vector<std::pair<std::string, std::string>>;

// Records every request. Forwards one whose Basic credentials are of one of the accounts
// (user, password) to the host of its absolute URL; answers any other 407 with a page
// longer than 2048 bytes, as an office proxy does. Keeps connections alive.
class TProxyServer {
public:
    explicit TProxyServer(TProxyAccounts accounts);
    ~TProxyServer();
    TProxyServer(const TProxyServer&) = delete;
    TProxyServer& operator=(const TProxyServer&) = delete;

    int Start();
    void Stop();
    int Port() const { return FPort; }
    std::vector<TProxyRequest> Requests() const;
    std::string Logs() const;

private:
    TTempDir FFolder;
    TProxyAccounts FAccounts;
    int FPort = 0;
    std::unique_ptr<TServerProcess> FServer;
};
