#include "exchange/ProtocolLog.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

std::atomic<bool> LoggingOn{false};

const char* const Hidden = "****";

// A line without a line end (binary data) is written once it has grown this long.
constexpr size_t LongestPendingLine = 64 * 1024;

bool StartsWithText(const AnsiString& line, const AnsiString& prefix)
{
    return line.size() >= prefix.size() && SameText(line.substr(0, prefix.size()), prefix);
}

// The position just after the first `count` blank-separated words of the line; npos
// when it has fewer.
size_t AfterWords(const AnsiString& line, int count)
{
    size_t end = 0;
    for (int i = 0; i < count; ++i) {
        const size_t start = line.find_first_not_of(' ', end);
        if (start == AnsiString::npos)
            return AnsiString::npos;
        end = std::min(line.find(' ', start), line.size());
    }
    return end;
}

// The word at index (0-based) of the blank-separated words of the line, "" when absent.
AnsiString WordAt(const AnsiString& line, int index)
{
    const size_t before = AfterWords(line, index);
    const size_t start = before == AnsiString::npos ? before : line.find_first_not_of(' ', before);
    if (start == AnsiString::npos)
        return AnsiString();
    return line.substr(start, AfterWords(line, index + 1) - start);
}

// The line with everything after its first `kept` words replaced by "****"; the line as
// it is when nothing follows them.
AnsiString HideAfterWords(const AnsiString& line, int kept)
{
    const size_t end = AfterWords(line, kept);
    if (end == AnsiString::npos || line.find_first_not_of(' ', end) == AnsiString::npos)
        return line;
    return line.substr(0, end) + " " + Hidden;
}

// A server line that asks the client for the next step of a SASL exchange: "334" in
// SMTP, "+" followed by a blank or nothing in POP3 and IMAP ("+OK" ends it).
bool IsContinuation(const AnsiString& line)
{
    return line.rfind("334", 0) == 0 || (line.rfind("+", 0) == 0 && !StartsWithText(line, "+OK"));
}

// "pwd1=value" of a URL-encoded form, at the start or after a "&", with the value hidden.
AnsiString HideUrlEncodedPassword(AnsiString line)
{
    const AnsiString field = "pwd1=";
    for (size_t at = line.find(field); at != AnsiString::npos; at = line.find(field, at + 1)) {
        if (at != 0 && line[at - 1] != '&')
            continue;
        const size_t valueStart = at + field.size();
        const size_t valueEnd = std::min(line.find('&', valueStart), line.size());
        line.replace(valueStart, valueEnd - valueStart, Hidden);
    }
    return line;
}

// The date and time that open each record: "dd/mm/yyyy hh:mm:ss".
AnsiString LogStamp()
{
    const TDateTime now = Now();
    return DateToStr(now) + " " + TimeToStr(now);
}

char Marker(curl_infotype type)
{
    switch (type) {
    case CURLINFO_HEADER_OUT:
    case CURLINFO_DATA_OUT: return '>';
    case CURLINFO_HEADER_IN:
    case CURLINFO_DATA_IN: return '<';
    default: return '*';
    }
}

} // namespace

void SetProtocolLogging(bool on)
{
    LoggingOn = on;
}

bool ProtocolLogging()
{
    return LoggingOn;
}

AnsiString ProtocolLogFileName()
{
    return GetFolder(FolderLog) + CurrentProfile().Prefix + ".LOG";
}

// ---- TCredentialMask ----

AnsiString TCredentialMask::OutgoingCommand(const AnsiString& line)
{
    if (FInSasl)
        return Hidden;   // a response of the SASL exchange
    const AnsiString command = WordAt(line, 0);
    const AnsiString second = WordAt(line, 1);
    if (SameText(command, "AUTH")) {   // SMTP and POP3: AUTH mechanism [initial response]
        FInSasl = true;
        return HideAfterWords(line, 2);
    }
    if (SameText(second, "AUTHENTICATE")) {   // IMAP: tag AUTHENTICATE mechanism [response]
        FInSasl = true;
        return HideAfterWords(line, 3);
    }
    if (SameText(command, "PASS") || SameText(command, "APOP"))
        return HideAfterWords(line, 1);
    if (SameText(second, "LOGIN"))   // IMAP: tag LOGIN user password
        return HideAfterWords(line, 2);
    if (StartsWithText(line, "Authorization:") || StartsWithText(line, "Proxy-Authorization:"))
        return HideAfterWords(line, 2);   // the header name and the scheme stay
    return line;
}

AnsiString TCredentialMask::OutgoingData(const AnsiString& line)
{
    if (FFormPart != TFormPart::Other)
        return MaskFormPart(line);
    if (StartsWithText(line, "Content-Disposition:") && line.find("name=\"pwd1\"") != AnsiString::npos) {
        FFormPart = TFormPart::PasswordHeaders;
        return line;
    }
    return HideUrlEncodedPassword(line);
}

// The part of the form field "pwd1": its header lines up to the empty line, then its
// value, which is one line (a password holds no line break).
AnsiString TCredentialMask::MaskFormPart(const AnsiString& line)
{
    if (FFormPart == TFormPart::PasswordHeaders) {
        if (line.empty())
            FFormPart = TFormPart::PasswordValue;
        return line;
    }
    FFormPart = TFormPart::Other;
    return Hidden;
}

void TCredentialMask::Incoming(const AnsiString& line)
{
    if (FInSasl && !IsContinuation(line))
        FInSasl = false;
}

// ---- TLogger ----

TLogger::TLogger()
{
    GetFolder(FolderLog, true);
    const AnsiString fileName = ProtocolLogFileName();
    // The log holds user names and every server's dialogue: a new one is its user's only.
    FFile = std::make_unique<TFileStream>(fileName, FileExists(fileName) ? fmOpenWrite : fmCreate, 0600);
    FFile->Seek(0, TSeekOrigin::soEnd);
}

TLogger::~TLogger()
{
    if (FPending.empty())
        return;
    try {
        std::string out;
        AppendRecord(FPendingType, std::exchange(FPending, std::string()), LogStamp(), out);
        Write(out);
    } catch (...) {
        // Nothing may leave a destructor; the log loses its last line.
    }
}

void TLogger::Record(curl_infotype type, const char* data, size_t size)
{
    if (!FFile || type == CURLINFO_SSL_DATA_IN || type == CURLINFO_SSL_DATA_OUT)
        return;
    const AnsiString stamp = LogStamp();
    std::string out;
    if (type != FPendingType && !FPending.empty())
        AppendRecord(FPendingType, std::exchange(FPending, std::string()), stamp, out);
    FPendingType = type;
    FPending.append(data, size);
    size_t start = 0;
    for (size_t end = FPending.find('\n'); end != std::string::npos; end = FPending.find('\n', start)) {
        AppendRecord(type, FPending.substr(start, end - start), stamp, out);
        start = end + 1;
    }
    FPending.erase(0, start);
    if (FPending.size() > LongestPendingLine)
        AppendRecord(type, std::exchange(FPending, std::string()), stamp, out);
    Write(out);
}

void TLogger::AppendRecord(curl_infotype type, std::string line, const AnsiString& stamp, std::string& out)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (type == CURLINFO_HEADER_OUT)
        line = FMask.OutgoingCommand(line);
    else if (type == CURLINFO_DATA_OUT)
        line = FMask.OutgoingData(line);
    else if (type == CURLINFO_HEADER_IN)
        FMask.Incoming(line);
    out += stamp;
    out += ' ';
    out += Marker(type);
    out += ' ';
    out += line;
    out += "\r\n";
}

void TLogger::Write(const std::string& bytes)
{
    if (!FFile || bytes.empty())
        return;
    try {
        FFile->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    } catch (const std::exception&) {
        // A full disk must not break the exchange with the bank: the log stops here.
        FFile.reset();
    }
}
