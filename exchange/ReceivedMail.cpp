#include "exchange/ReceivedMail.h"

#include "exchange/HeldMessages.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"

#include <gmime/gmime.h>

namespace {

void InitGMime()
{
    static const bool initialised = (g_mime_init(), true);
    (void)initialised;
}

// Releases a GObject at the end of the scope.
template <typename T>
class TGObject {
public:
    explicit TGObject(T* object) : FObject(object) {}
    ~TGObject()
    {
        if (FObject)
            g_object_unref(FObject);
    }
    TGObject(const TGObject&) = delete;
    TGObject& operator=(const TGObject&) = delete;
    T* Get() const { return FObject; }

private:
    T* FObject;
};

AnsiString Text(const char* text)
{
    return text ? AnsiString(text) : AnsiString();
}

// The header's value as it came, without its line breaks and the blanks around it.
AnsiString UnfoldedHeader(GMimeObject* object, const char* name)
{
    GMimeHeader* header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    if (!header)
        return AnsiString();
    AnsiString value;
    for (const char* c = g_mime_header_get_raw_value(header); c && *c; ++c)
        if (*c != '\r' && *c != '\n')
            value += *c;
    const size_t start = value.find_first_not_of(" \t");
    const size_t end = value.find_last_not_of(" \t");
    return start == AnsiString::npos ? AnsiString() : value.substr(start, end - start + 1);
}

AnsiString FirstFromAddress(GMimeMessage* message)
{
    InternetAddressList* from = g_mime_message_get_from(message);
    if (!from || internet_address_list_length(from) == 0)
        return AnsiString();
    InternetAddress* address = internet_address_list_get_address(from, 0);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
        InternetAddressList* members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
        if (!members || internet_address_list_length(members) == 0)
            return AnsiString();
        address = internet_address_list_get_address(members, 0);
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(address))
        return AnsiString();
    return Utf8ToAnsi(Text(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))));
}

TDateTime LocalDate(GMimeMessage* message)
{
    GDateTime* date = g_mime_message_get_date(message);
    if (!date)
        return 0;
    GDateTime* local = g_date_time_to_local(date);
    if (!local)
        return 0;
    TDateTime result = 0;
    if (TryEncodeDate(g_date_time_get_year(local), g_date_time_get_month(local),
                      g_date_time_get_day_of_month(local), result))
        result += EncodeTime(g_date_time_get_hour(local), g_date_time_get_minute(local),
                             g_date_time_get_second(local), 0);
    g_date_time_unref(local);
    return result;
}

std::string DecodedContent(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return std::string();
    TGObject<GMimeStream> decoded(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, decoded.Get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.Get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

bool IsText(GMimePart* part)
{
    return g_mime_content_type_is_type(g_mime_object_get_content_type(GMIME_OBJECT(part)), "text", "*");
}

// Every part that is not plain text may be a container of the bank: one without a name
// still counts, so that it is processed (or kept in Reject/) instead of being dropped
// with the message deleted on the server.
bool IsAttachment(GMimePart* part)
{
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(GMIME_OBJECT(part));
    return (disposition && g_mime_content_disposition_is_attachment(disposition)) ||
           g_mime_part_get_filename(part) || !IsText(part);
}

void AddPart(GMimePart* part, bool whole, TReceivedMail& mail)
{
    TMailPart result;
    if (IsAttachment(part)) {
        result.Kind = TMailPart::mpAttachment;
        result.FileName = Utf8ToAnsi(Text(g_mime_part_get_filename(part)));
    } else {
        // A message that is one text part has that text as its own body.
        if (whole) {
            mail.Body = DecodedContent(part);
            return;
        }
        result.Kind = TMailPart::mpText;
    }
    result.CharSet = Text(g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"));
    result.Content = DecodedContent(part);
    mail.Parts.push_back(std::move(result));
}

// The leaf parts in the order they stand, nested multiparts included.
void AddParts(GMimeObject* object, bool whole, TReceivedMail& mail)
{
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            AddParts(g_mime_multipart_get_part(multipart, i), false, mail);
    } else if (GMIME_IS_PART(object)) {
        AddPart(GMIME_PART(object), whole, mail);
    }
}

} // namespace

TReceivedMail ReadMail(const std::string& bytes)
{
    InitGMime();
    TGObject<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    TGObject<GMimeParser> parser(g_mime_parser_new_with_stream(stream.Get()));
    TGObject<GMimeMessage> message(g_mime_parser_construct_message(parser.Get(), nullptr));
    if (!message.Get())
        throw Exception("Неверный формат почтового сообщения");

    TReceivedMail mail;
    mail.Identity = Sha256(bytes);
    mail.Subject = UnfoldedHeader(GMIME_OBJECT(message.Get()), "Subject");
    mail.FromAddress = FirstFromAddress(message.Get());
    mail.Date = LocalDate(message.Get());
    if (GMimeObject* body = g_mime_message_get_mime_part(message.Get())) {
        mail.CharSet = Text(g_mime_object_get_content_type_parameter(body, "charset"));
        AddParts(body, true, mail);
    }
    return mail;
}
