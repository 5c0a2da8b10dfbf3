#include "exchange/CurlSession.h"

#include "exchange/ProtocolLog.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// The status a proxy answers when it wants other credentials.
constexpr long ProxyAuthenticationRequired = 407;
// The statuses with which a web server refuses a login.
constexpr long Unauthorized = 401;
constexpr long Forbidden = 403;

// An HTTP status that says the request was carried out.
bool IsSuccess(long status) { return status >= 200 && status <= 299; }

// Longest server text that goes into an error message.
constexpr size_t LongestQuotedReply = 200;

// The server's text as one line for a message: control bytes become blanks, the ends
// are trimmed, and a long text is cut.
AnsiString QuotedReply(const std::string& text)
{
    AnsiString line = text.substr(0, LongestQuotedReply);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    return Trim(line);
}

// A refusal of a mail server: an SMTP reply 4xx or 5xx, a POP3 "-ERR", an IMAP "tag NO"
// or "tag BAD" (untagged IMAP lines begin with "*").
bool IsErrorReply(const std::string& line)
{
    if (line.empty() || line[0] == '*')
        return false;
    if (line[0] == '4' || line[0] == '5' || line.rfind("-ERR", 0) == 0)
        return true;
    const size_t tagEnd = line.find(' ');
    if (tagEnd == std::string::npos)
        return false;
    const size_t statusEnd = std::min(line.find_first_of(" \r\n", tagEnd + 1), line.size());
    const std::string status = line.substr(tagEnd + 1, statusEnd - tagEnd - 1);
    return status == "NO" || status == "BAD";
}

// Results of OpenSSL's certificate check (its X509_V_* values), which libcurl built on
// OpenSSL reports for a certificate that did not verify. libcurl checks the name once the
// chain has passed, before it records the chain's result: a refused name leaves the
// result it starts with, 1.
enum TCertificateCheck : long {
    ccPassed = 0,
    ccNotRecorded = 1,
    ccNoIssuer = 2,
    ccNotYetValid = 9,
    ccExpired = 10,
    ccSelfSigned = 18,
    ccSelfSignedInChain = 19,
    ccNoLocalIssuer = 20,
    ccCannotVerifyLeaf = 21,
};

// A server certificate that did not verify: what was wrong with it.
const char* CertificateFailure(long check)
{
    switch (check) {
    case ccPassed:
    case ccNotRecorded: return "Сертификат сервера выдан для другого имени сервера";
    case ccNoIssuer:
    case ccSelfSigned:
    case ccSelfSignedInChain:
    case ccNoLocalIssuer:
    case ccCannotVerifyLeaf: return "Сертификат сервера выдан неизвестным удостоверяющим центром";
    case ccNotYetValid: return "Срок действия сертификата сервера еще не начался";
    case ccExpired: return "Срок действия сертификата сервера истек";
    default: return "Сертификат сервера не прошел проверку";
    }
}

const char* FailureText(CURLcode code, long certificateCheck)
{
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION: return CertificateFailure(certificateCheck);
    case CURLE_SSL_CONNECT_ERROR: return "Не удалось установить защищенное соединение с сервером";
    case CURLE_SSL_CACERT_BADFILE: return "Не удалось прочитать сертификаты доверенных удостоверяющих центров";
    case CURLE_COULDNT_RESOLVE_HOST: return "Не найден сервер";
    case CURLE_COULDNT_RESOLVE_PROXY: return "Не найден прокси-сервер";
    case CURLE_COULDNT_CONNECT: return "Не удалось соединиться с сервером";
    case CURLE_OPERATION_TIMEDOUT: return "Сервер не ответил за отведенное время";
    case CURLE_LOGIN_DENIED: return "Сервер отказал во входе: неверное имя пользователя или пароль";
    case CURLE_OUT_OF_MEMORY: return "Недостаточно памяти";
    default: return "Ошибка обмена с сервером";
    }
}

// "сервер 127.0.0.1, порт 8480", or the proxy's.
AnsiString ServerName(const TTransferFailure& failure)
{
    AnsiString name = failure.Proxy ? "прокси-сервер " : "сервер ";
    name += failure.Host;
    if (failure.Port != 0)
        name += ", порт " + IntToStr(static_cast<int>(failure.Port));
    return name;
}

// Our own account of the common failures of the connection, told before the server's
// name (empty when the lead says it all); none for the others, which keep libcurl's.
std::optional<AnsiString> ConnectionFailure(const TTransferFailure& failure)
{
    switch (failure.Code) {
    case CURLE_COULDNT_CONNECT:
        return failure.SystemError == ECONNREFUSED ? "соединение отвергнуто" : "нет связи";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return "такое имя не найдено";
    case CURLE_OPERATION_TIMEDOUT: return "время ожидания истекло";
    case CURLE_GOT_NOTHING: return "соединение закрыто без ответа";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        // Also a mail server's refusal of a command: only a broken connection is told here.
        if (failure.Reply.empty() && (failure.SystemError == ECONNRESET || failure.SystemError == EPIPE))
            return "соединение разорвано";
        return std::nullopt;
    case CURLE_SSL_CONNECT_ERROR: return "согласование TLS не удалось";
    case CURLE_PEER_FAILED_VERIFICATION: return "";
    default: return std::nullopt;
    }
}

} // namespace

AnsiString CurlErrorMessage(const TTransferFailure& failure)
{
    AnsiString message = FailureText(failure.Code, failure.CertificateCheck);
    const std::optional<AnsiString> own = ConnectionFailure(failure);
    AnsiString detail;
    if (own && !failure.Host.empty())
        detail = own->empty() ? ServerName(failure) : *own + " (" + ServerName(failure) + ")";
    else
        detail = QuotedReply(failure.Detail.empty() ? curl_easy_strerror(failure.Code) : failure.Detail);
    if (!detail.empty())
        message += ": " + detail;
    const AnsiString shownReply = QuotedReply(failure.Reply);
    if (!shownReply.empty())
        message += " (ответ сервера: " + shownReply + ")";
    return message;
}

AnsiString MailServerUrl(const AnsiString& protocol, const AnsiString& host, int port)
{
    const int tlsPort = protocol == "smtp" ? 465 : protocol == "pop3" ? 995 : protocol == "imap" ? 993 : 0;
    return protocol + (port == tlsPort ? "s" : "") + "://" + host + ":" + IntToStr(port);
}

void TCurlList::Add(const AnsiString& item)
{
    curl_slist* list = curl_slist_append(FList, item.c_str());
    if (!list)
        throw Exception(FailureText(CURLE_OUT_OF_MEMORY, ccPassed));
    FList = list;
}

TCurlSession::TCurlSession(const char* protocols)
    : FHttp(std::strcmp(protocols, "http") == 0 || std::strcmp(protocols, "https") == 0), FHandle(curl_easy_init())
{
    if (!FHandle)
        throw Exception("Не удалось начать соединение с сервером");
    Set(CURLOPT_ERRORBUFFER, FError);
    Set(CURLOPT_NOSIGNAL, 1L);
    Set(CURLOPT_PROTOCOLS_STR, protocols);
    // An empty proxy name switches off the proxy of the environment (http_proxy and
    // the like): the profile alone decides.
    Set(CURLOPT_PROXY, "");
    Set(CURLOPT_CONNECTTIMEOUT_MS, ReadTimeoutMs);
    Set(CURLOPT_SERVER_RESPONSE_TIMEOUT, ReadTimeoutMs / 1000);
    // No byte for the whole time-out: fewer than 1 byte a second over that time.
    Set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    Set(CURLOPT_LOW_SPEED_TIME, ReadTimeoutMs / 1000);
    Set(CURLOPT_WRITEFUNCTION, CollectBody);
    Set(CURLOPT_WRITEDATA, this);
    Set(CURLOPT_HEADERFUNCTION, CollectHeader);
    Set(CURLOPT_HEADERDATA, this);
    // The dialogue passes the debug callback, which keeps the server's last reply for
    // error messages and feeds the log.
    Set(CURLOPT_DEBUGFUNCTION, Debug);
    Set(CURLOPT_DEBUGDATA, this);
    Set(CURLOPT_VERBOSE, 1L);
    VerifyServer();
    if (FHttp)
        // HTTP/1.1 over TLS too: the status line keeps its reason, which messages quote.
        Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    else
        UseTls(protocols);
    if (ProtocolLogging())
        FLog = std::make_unique<TLogger>();
}

TCurlSession::~TCurlSession() = default;

// STARTTLS whenever the server offers it, and TLS from the start at an address with the
// protocol's TLS scheme ("pop3s", see MailServerUrl). Only a server that does not offer
// STARTTLS, or refuses the command, is spoken to in clear text.
void TCurlSession::UseTls(const char* protocol)
{
    Set(CURLOPT_PROTOCOLS_STR, (AnsiString(protocol) + "," + protocol + "s").c_str());
    Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
}

// Every TLS connection checks the server's certificate and name: one that does not
// verify ends the transfer before the login.
void TCurlSession::VerifyServer()
{
    Set(CURLOPT_SSL_VERIFYPEER, 1L);
    Set(CURLOPT_SSL_VERIFYHOST, 2L);
    // The trusted authorities are the system's; SSL_CERT_FILE names another bundle file,
    // as it does for OpenSSL's own tools. No setting switches the check off.
    if (const char* authorities = secure_getenv("SSL_CERT_FILE"); authorities && *authorities)
        Set(CURLOPT_CAINFO, authorities);
}

void TCurlSession::SetLogin(const AnsiString& user, const AnsiString& password)
{
    SetText(CURLOPT_USERNAME, user);
    SetText(CURLOPT_PASSWORD, password);
}

void TCurlSession::UseProxy(const AnsiString& host, int port, const AnsiString& user, const AnsiString& password)
{
    SetText(CURLOPT_PROXY, host);
    Set(CURLOPT_PROXYPORT, static_cast<long>(port));
    FProxyHost = host;
    FProxyPort = port;
    Set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    // An empty list overrides no_proxy of the environment: every host goes through it.
    Set(CURLOPT_NOPROXY, "");
    Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    SetText(CURLOPT_PROXYUSERNAME, user);
    SetText(CURLOPT_PROXYPASSWORD, password);
}

void TCurlSession::SetUpload(const std::string& bytes)
{
    FUpload = TUpload{&bytes, 0};
    Set(CURLOPT_UPLOAD, 1L);
    Set(CURLOPT_READFUNCTION, ReadUpload);
    Set(CURLOPT_READDATA, this);
    Set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
}

void TCurlSession::Perform()
{
    FBody.clear();
    FBodyOverflow = false;
    FStatusLine.clear();
    FErrorReply.clear();
    FError[0] = '\0';
    FUpload.Position = 0;
    FLastCode = curl_easy_perform(FHandle.get());
    if (FBodyOverflow)
        throw Exception("Слишком длинный ответ");
    // A proxy that refuses the credentials for the tunnel to an "https" server ends the
    // transfer before the server is reached: told as for a request it refused.
    if (FLastCode != CURLE_OK && !FProxyHost.empty() && TunnelStatus() == ProxyAuthenticationRequired)
        throw Exception(ProxyRefusal());
    if (FLastCode != CURLE_OK)
        throw Exception(CurlErrorMessage(Failure()));
}

bool TCurlSession::ServerRefused() const
{
    if (FLastCode == CURLE_OK || FLastCode == CURLE_LOGIN_DENIED)
        return false;
    return !FErrorReply.empty() || FLastCode == CURLE_REMOTE_FILE_NOT_FOUND || FLastCode == CURLE_WEIRD_SERVER_REPLY;
}

long TCurlSession::NewConnections() const
{
    long count = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_NUM_CONNECTS, &count);
    return count;
}

long TCurlSession::CertificateCheck() const
{
    long check = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_SSL_VERIFYRESULT, &check);
    return check;
}

TTransferFailure TCurlSession::Failure() const
{
    TTransferFailure failure{FLastCode, FError, FErrorReply, CertificateCheck()};
    long systemError = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_OS_ERRNO, &systemError);
    failure.SystemError = static_cast<int>(systemError);
    // TLS through a proxy is spoken with the server at the tunnel's end.
    const bool serverTls = FLastCode == CURLE_PEER_FAILED_VERIFICATION || FLastCode == CURLE_SSL_CONNECT_ERROR;
    if (!FProxyHost.empty() && !serverTls) {
        failure.Host = FProxyHost;
        failure.Port = FProxyPort;
        failure.Proxy = true;
        return failure;
    }
    // The server of the address the transfer was given, with the scheme's port when
    // the address names none.
    const char* url = nullptr;
    curl_easy_getinfo(FHandle.get(), CURLINFO_EFFECTIVE_URL, &url);
    CURLU* parsed = curl_url();
    if (parsed && url && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK)
            failure.Host = host;
        if (curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
            failure.Port = std::strtol(port, nullptr, 10);
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(parsed);
    return failure;
}

long TCurlSession::ResponseCode() const
{
    long code = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_RESPONSE_CODE, &code);
    return code;
}

long TCurlSession::TunnelStatus() const
{
    long code = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_HTTP_CONNECTCODE, &code);
    return code;
}

AnsiString TCurlSession::ProxyRefusal() const
{
    return "Прокси-сервер " + FProxyHost + ":" + IntToStr(static_cast<int>(FProxyPort)) +
           " не принял имя и пароль (HTTP 407 Proxy Authentication Required). Проверьте параметры прокси в профиле";
}

void TCurlSession::CheckHttpStatus() const
{
    const long code = ResponseCode();
    if (IsSuccess(code))
        return;
    if (code == ProxyAuthenticationRequired && !FProxyHost.empty())
        throw Exception(ProxyRefusal());
    // "HTTP/1.1 500 Internal Server Error": the status and its reason.
    const size_t statusStart = FStatusLine.find(' ');
    const AnsiString status = statusStart == std::string::npos ? IntToStr(code)
                                                                 : QuotedReply(FStatusLine.substr(statusStart + 1));
    const AnsiString message = "Сервер ответил ошибкой HTTP " + status;
    if (code == Unauthorized || code == Forbidden)
        throw Exception(message + ". Проверьте имя и пароль в профиле.");
    throw Exception(message);
}

void TCurlSession::Check(CURLcode code) const
{
    if (code != CURLE_OK)
        throw Exception(AnsiString("Ошибка настройки соединения: ") + curl_easy_strerror(code));
}

size_t TCurlSession::CollectBody(char* data, size_t size, size_t count, void* session)
{
    auto* self = static_cast<TCurlSession*>(session);
    const size_t length = size * count;
    // The page of an error status is not kept, however long: the status alone tells
    // what happened (CheckHttpStatus), and the limit holds for a reply that came.
    if (self->FDiscardBody || (self->FHttp && !IsSuccess(self->ResponseCode())))
        return length;
    if (self->FBodyLimit != 0 && self->FBody.size() + length > self->FBodyLimit) {
        // A short count makes libcurl end the transfer.
        self->FBodyOverflow = true;
        return 0;
    }
    self->FBody.append(data, length);
    return length;
}

size_t TCurlSession::CollectHeader(char* data, size_t size, size_t count, void* session)
{
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0)
        static_cast<TCurlSession*>(session)->FStatusLine = line;
    return size * count;
}

size_t TCurlSession::ReadUpload(char* buffer, size_t size, size_t count, void* session)
{
    TUpload& upload = static_cast<TCurlSession*>(session)->FUpload;
    const size_t length = std::min(size * count, upload.Bytes->size() - upload.Position);
    upload.Bytes->copy(buffer, length, upload.Position);
    upload.Position += length;
    return length;
}

int TCurlSession::Debug(CURL*, curl_infotype type, char* data, size_t size, void* session)
{
    auto* self = static_cast<TCurlSession*>(session);
    // No exception may cross libcurl: what cannot be kept is left out.
    try {
        if (type == CURLINFO_HEADER_IN && !self->FHttp && self->FErrorReply.empty()) {
            const std::string line(data, size);
            if (IsErrorReply(line))
                self->FErrorReply = line;
        }
        if (self->FLog)
            self->FLog->Record(type, data, size);
    } catch (...) {
    }
    return 0;
}
