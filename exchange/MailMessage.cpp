#include "exchange/MailMessage.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/SysUtils.h"

#include <cstdlib>
#include <random>

namespace {

const char* const CrLf = "\r\n";

// A name that can stand in a quoted header parameter as it is: printable ASCII
// without quotes and backslashes.
bool IsPlainName(const AnsiString& name)
{
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte > 126 || c == '"' || c == '\\')
            return false;
    }
    return true;
}

// The attachment's name for its header parameters, quoted: as it is when it is plain
// ASCII, else its KOI8-R bytes as one encoded word, so that no 8-bit byte, quote or
// line break enters a header.
AnsiString QuotedFileName(const AnsiString& fileName)
{
    const AnsiString name = IsPlainName(fileName) ? fileName : EncodeSubjectWord(fileName);
    return "\"" + name + "\"";
}

// The text as the message's body: its lines (split at CR LF, CR or LF) each ended by
// CR LF, in KOI8-R.
std::string BodyBytes(const AnsiString& text)
{
    TStringList lines;
    lines.SetText(text);
    return AnsiToKoi8(lines.Text());
}

// Appends one part: its header lines, the empty line, and its Base64 content; the last
// line end of an empty content is still there, for the boundary line that follows.
void AppendPart(std::string& mail, const AnsiString& boundary, const AnsiString& headers, const std::string& bytes)
{
    mail += "--" + boundary + CrLf + headers + CrLf;
    AppendBase64Lines(mail, bytes);
    if (bytes.empty())
        mail += CrLf;
}

AnsiString RandomBoundary()
{
    std::random_device random;
    AnsiString boundary = "=_Velton_";
    for (int i = 0; i < 4; ++i)
        boundary += IntToHex(random(), 8);
    return boundary;
}

} // namespace

std::string ComposeMail(const TMailContent& content, const TMailFrame& frame)
{
    const AnsiString& boundary = frame.Boundary;
    std::string mail;
    // Sized once for the attachment, the bulk of the message: growing by doubling would
    // hold up to twice its bytes.
    mail.reserve(Base64LinesSize(content.Attachment.size()) + Base64LinesSize(content.Text.size() * 2) + 4096);
    mail += "From: " + content.From + CrLf;
    mail += "To: " + content.To + CrLf;
    mail += SubjectLine(content.Prefix, content.Text) + CrLf;
    mail += "Date: " + frame.Date + CrLf;
    mail += AnsiString("MIME-Version: 1.0") + CrLf;
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + CrLf;
    mail += CrLf;
    AppendPart(mail, boundary,
               AnsiString("Content-Type: text/plain; charset=KOI8-R") + CrLf + "Content-Transfer-Encoding: base64" + CrLf,
               BodyBytes(content.Text));
    const AnsiString name = QuotedFileName(content.FileName);
    AppendPart(mail, boundary,
               "Content-Type: application/octet-stream; name=" + name + CrLf + "Content-Transfer-Encoding: base64" +
                   CrLf + "Content-Disposition: attachment; filename=" + name + CrLf,
               content.Attachment);
    mail += "--" + boundary + "--" + CrLf;
    return mail;
}

TMailFrame NewMailFrame()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TMailFrame{FormatMailDate(local, local.tm_gmtoff), RandomBoundary()};
}

AnsiString FormatMailDate(const std::tm& local, long utcOffset)
{
    static const char* const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offsetMinutes = std::labs(utcOffset) / 60;
    return Format("%s, %02d %s %04d %02d:%02d:%02d %s%02ld%02ld", Days[local.tm_wday % 7], local.tm_mday,
                  Months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  utcOffset < 0 ? "-" : "+", offsetMinutes / 60, offsetMinutes % 60);
}

TMailContent BankMailContent(const AnsiString& text, const AnsiString& fileName, TStream& data)
{
    const TProfile& profile = CurrentProfile();
    data.SetPosition(0);
    return TMailContent{profile.EMail, profile.BankEMail, profile.Prefix, text, fileName, ReadToEnd(data)};
}

std::vector<AnsiString> MailAddresses(const AnsiString& text)
{
    TStringList items;
    SplitString(items, text, ",");
    std::vector<AnsiString> addresses;
    for (const AnsiString& item : items.Items()) {
        AnsiString address = Trim(item);
        const size_t open = address.find('<');
        const size_t close = address.find('>', open);
        if (open != AnsiString::npos && close != AnsiString::npos)
            address = Trim(address.substr(open + 1, close - open - 1));
        if (!address.empty())
            addresses.push_back(address);
    }
    return addresses;
}
