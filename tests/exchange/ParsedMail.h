#pragma once
// A mail message as GMime reads it, for checking the messages the senders build with a
// parser of their own: the raw header lines, and each leaf part decoded.

#include <gmime/gmime.h>

#include <string>
#include <vector>

struct TParsedPart {
    std::string ContentType;   // "text/plain"
    std::string Charset;       // the charset parameter, "" when absent
    std::string FileName;      // UTF-8, decoded by GMime; "" when absent
    std::string Bytes;         // the content with its transfer encoding undone
};

struct TParsedMail {
    bool Parsed = false;
    std::string ContentType;   // of the message itself
    std::vector<TParsedPart> Parts;
};

namespace parsed_mail_detail {

inline std::string Owned(char* text)
{
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

inline TParsedPart ReadPart(GMimePart* part)
{
    GMimeObject* object = GMIME_OBJECT(part);
    TParsedPart result;
    result.ContentType = Owned(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
    const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
    result.Charset = charset ? charset : "";
    const char* fileName = g_mime_part_get_filename(part);
    result.FileName = fileName ? fileName : "";
    if (GMimeDataWrapper* content = g_mime_part_get_content(part)) {
        GMimeStream* decoded = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(content, decoded);
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded));
        result.Bytes.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
        g_object_unref(decoded);
    }
    return result;
}

} // namespace parsed_mail_detail

inline TParsedMail ParseMail(const std::string& bytes)
{
    static const bool initialised = (g_mime_init(), true);
    (void)initialised;
    TParsedMail mail;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message)
        return mail;
    mail.Parsed = true;
    GMimeObject* body = g_mime_message_get_mime_part(message);
    mail.ContentType = parsed_mail_detail::Owned(
        g_mime_content_type_get_mime_type(g_mime_object_get_content_type(body)));
    if (GMIME_IS_MULTIPART(body)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(body);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            GMimeObject* child = g_mime_multipart_get_part(multipart, i);
            if (GMIME_IS_PART(child))
                mail.Parts.push_back(parsed_mail_detail::ReadPart(GMIME_PART(child)));
        }
    } else if (GMIME_IS_PART(body)) {
        mail.Parts.push_back(parsed_mail_detail::ReadPart(GMIME_PART(body)));
    }
    g_object_unref(message);
    return mail;
}

// The header lines of the message (up to the first empty line), without their ends.
inline std::vector<std::string> HeaderLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end == start)
            break;
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
