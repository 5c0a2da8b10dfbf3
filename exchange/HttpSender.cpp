#include "exchange/HttpSender.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/CurlSession.h"
#include "exchange/MailMessage.h"
#include "platform/Exception.h"


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

} // namespace

void AimAtBankScript(TCurlSession& session, TCurlList& headers, const AnsiString& host, const TProfile& profile)
{
    // The whole body goes at once: no pause for "100 Continue", which proxies may never send.
    headers.Add("Expect:");
    session.Set(CURLOPT_HTTPHEADER, headers.Get());
    if (!profile.ProxyHost.empty())
        session.UseProxy(profile.ProxyHost, profile.ProxyPort, profile.ProxyUser, profile.ProxyPass);
    session.SetText(CURLOPT_URL, "http://" + host + BankScriptPath);
}

void THttpSender::Send(const AnsiString& text, const AnsiString& fileName, TStream* data)
{
    const TProfile& profile = CurrentProfile();
    const std::string message = ComposeMail(BankMailContent(text, fileName, *data), NewMailFrame());
    TCurlList headers;
    TCurlSession session("http");
    AimAtBankScript(session, headers, profile.SendHost, profile);
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
