#include "exchange/HttpSender.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/MailMessage.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

namespace {

// A multipart form body, freed with its holder.
class TCurlForm {
public:
    explicit TCurlForm(CURL* handle) : FForm(curl_mime_init(handle))
    {
        if (!FForm)
            throw Exception("Недостаточно памяти");
    }
    ~TCurlForm() { curl_mime_free(FForm); }
    TCurlForm(const TCurlForm&) = delete;
    TCurlForm& operator=(const TCurlForm&) = delete;

    // A field with its bytes as they stand; a content type when one is given.
    void Add(const char* name, const std::string& value, const char* contentType = nullptr)
    {
        curl_mimepart* part = curl_mime_addpart(FForm);
        if (!part || curl_mime_name(part, name) != CURLE_OK ||
            curl_mime_data(part, value.data(), value.size()) != CURLE_OK ||
            (contentType && curl_mime_type(part, contentType) != CURLE_OK))
            throw Exception("Недостаточно памяти");
    }
    curl_mime* Get() const { return FForm; }

private:
    curl_mime* FForm;
};

// A host of a profile key that names no bank script: what a host may look like.
[[noreturn]] void RefuseHost(const char* key, const AnsiString& host)
{
    throw Exception(AnsiString("Неверное значение параметра ") + key + ": " + host +
                    ". Адрес сервера задается в виде сервер[:порт], http://сервер[:порт] или https://сервер[:порт]");
}

// libcurl reads the address as a whole: a host it takes, a port number in range.
bool IsReadableUrl(const AnsiString& url)
{
    CURLU* parsed = curl_url();
    const bool readable = parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(parsed);
    return readable;
}

} // namespace

TBankScriptAddress BankScriptAddress(const char* key, const AnsiString& host)
{
    const size_t schemeEnd = host.find("://");
    const AnsiString scheme = schemeEnd == AnsiString::npos ? "http" : LowerCase(host.substr(0, schemeEnd));
    AnsiString server = schemeEnd == AnsiString::npos ? host : host.substr(schemeEnd + 3);
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    // Nothing but the host and its port: no path, query, user name or Windows separator.
    const bool knownScheme = scheme == "http" || scheme == "https";
    if (!knownScheme || server.find_first_of("/\\?#@") != AnsiString::npos ||
        !IsReadableUrl(scheme + "://" + server))
        RefuseHost(key, host);
    return {scheme == "https" ? "https" : "http", scheme + "://" + server + BankScriptPath};
}

TBankScriptSession::TBankScriptSession(const char* key, const AnsiString& host, const TProfile& profile)
    : FAddress(BankScriptAddress(key, host)), FSession(FAddress.Protocol)
{
    // The whole body goes at once: no pause for "100 Continue", which proxies may never send.
    FHeaders.Add("Expect:");
    FSession.Set(CURLOPT_HTTPHEADER, FHeaders.Get());
    if (!profile.ProxyHost.empty())
        FSession.UseProxy(profile.ProxyHost, profile.ProxyPort, profile.ProxyUser, profile.ProxyPass);
    FSession.SetText(CURLOPT_URL, FAddress.Url);
}

void THttpSender::Send(const AnsiString& text, const AnsiString& fileName, TStream* data)
{
    const TProfile& profile = CurrentProfile();
    const std::string message = ComposeMail(BankMailContent(text, fileName, *data), NewMailFrame());
    TBankScriptSession script("SendHost", profile.SendHost, profile);
    TCurlSession& session = script.Session();
    TCurlForm form(session.Handle());
    form.Add("action", "put");
    form.Add("user1", profile.SendUser);
    form.Add("pwd1", profile.SendPass);
    form.Add("file", message, "message/rfc822");
    session.Set(CURLOPT_MIMEPOST, form.Get());
    session.Set(CURLOPT_FORBID_REUSE, 1L);
    session.Perform();
    // The reply's text is not examined: a 2xx status is success.
    session.CheckHttpStatus();
}
