#pragma once
// The protocol log of the mail exchange. While the user has it switched on, every
// connection with the bank's server records its whole dialogue (libcurl's account of
// the connection, the commands and headers, the data both ways) in the file "Log/" +
// prefix + ".LOG" of the current profile, appended. Passwords never reach the file.

#include "platform/AnsiString.h"

#include <curl/curl.h>

#include <memory>
#include <string>

class TFileStream;

// The check mark of the main window's menu item "Протоколирование почтового обмена":
// the exchanges that begin while it is set are logged. Off at program start.
void SetProtocolLogging(bool on);
bool ProtocolLogging();

// The log file of the current profile: the Log folder + Prefix + ".LOG".
AnsiString ProtocolLogFileName();

// Hides the credentials in the lines of a dialogue: the arguments of the POP3 commands
// PASS and APOP and of the IMAP LOGIN, the initial response of AUTH and AUTHENTICATE
// and every client line of the SASL exchange that follows, the credentials of the HTTP
// Authorization and Proxy-Authorization headers, and the form field "pwd1" (URL-encoded
// or as a multipart part). Each hidden value becomes "****".
class TCredentialMask {
public:
    // A command or header line the client sent (without its line end), with its
    // credentials hidden.
    AnsiString OutgoingCommand(const AnsiString& line);
    // A line of the data the client sent (a request body, a mail message).
    AnsiString OutgoingData(const AnsiString& line);
    // A line the server sent: a reply other than a continuation ends the SASL exchange.
    void Incoming(const AnsiString& line);

private:
    enum class TFormPart { Other, PasswordHeaders, PasswordValue };

    bool FInSasl = false;
    TFormPart FFormPart = TFormPart::Other;

    AnsiString MaskFormPart(const AnsiString& line);
};

// The file log of one session: opened (the Log folder made when missing) by the
// constructor, which raises when the file cannot be opened; closed by the destructor.
// The session's debug callback hands every piece of the dialogue to Record. A failure to
// write later stops the log and leaves the exchange alone.
class TLogger {
public:
    TLogger();
    ~TLogger();
    TLogger(const TLogger&) = delete;
    TLogger& operator=(const TLogger&) = delete;

    // One piece of the dialogue as libcurl reports it. Each line becomes one record:
    // date, time, "*" (libcurl's own note), ">" (sent) or "<" (received), and the line.
    void Record(curl_infotype type, const char* data, size_t size);

private:
    std::unique_ptr<TFileStream> FFile;
    TCredentialMask FMask;
    // The unfinished last line of the latest piece, and the kind of that piece.
    std::string FPending;
    curl_infotype FPendingType = CURLINFO_TEXT;

    void AppendRecord(curl_infotype type, std::string line, const AnsiString& stamp, std::string& out);
    void Write(const std::string& bytes);
};
