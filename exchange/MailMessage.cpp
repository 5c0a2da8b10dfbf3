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
constexpr size_t Base64LineLength = 76;

// Base64 of the bytes in lines of 76 characters joined by CR LF; "" for no bytes.
AnsiString Base64Lines(const std::string& bytes)
{
    const AnsiString text = EncodeBase64(bytes);
    AnsiString lines;
    for (size_t start = 0; start < text.size(); start += Base64LineLength) {
        if (start != 0)
            lines += CrLf;
        lines += text.substr(start, Base64LineLength);
    }
    return lines;
}

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

// One part: its header lines, the empty line, and its Base64 content. The line end
// after the content belongs to the boundary line that follows.
AnsiString Part(const AnsiString& boundary, const AnsiString& headers, const std::string& bytes)
{
    return "--" + boundary + CrLf + headers + CrLf + Base64Lines(bytes) + CrLf;
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
    mail += "From: " + content.From + CrLf;
    mail += "To: " + content.To + CrLf;
    mail += SubjectLine(content.Prefix, content.Text) + CrLf;
    mail += "Date: " + frame.Date + CrLf;
    mail += AnsiString("MIME-Version: 1.0") + CrLf;
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + CrLf;
    mail += CrLf;
    mail += Part(boundary,
                 AnsiString("Content-Type: text/plain; charset=KOI8-R") + CrLf +
                     "Content-Transfer-Encoding: base64" + CrLf,
                 BodyBytes(content.Text));
    const AnsiString name = QuotedFileName(content.FileName);
    mail += Part(boundary,
                 "Content-Type: application/octet-stream; name=" + name + CrLf +
                     "Content-Transfer-Encoding: base64" + CrLf +
                     "Content-Disposition: attachment; filename=" + name + CrLf,
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
    TMemoryStream container;
    container.LoadFromStream(data);
    return TMailContent{profile.EMail, profile.BankEMail, profile.Prefix, text, fileName, container.Bytes()};
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
