#pragma once
// A mail message fetched from the bank's server, read with GMime into what the message
// processing looks at: the raw subject, the sender's address, the date, the text and the
// attachments.

#include "platform/AnsiString.h"
#include "platform/SysUtils.h"

#include <string>
#include <vector>

// One part of the message that the processing sees.
struct TMailPart {
    enum TKind { mpText, mpAttachment };
    TKind Kind = mpText;
    AnsiString CharSet;    // the charset parameter of its Content-Type, "" when absent
    AnsiString FileName;   // attachments: the name the message gives it, in CP1251
    std::string Content;   // the bytes with the transfer encoding undone
};

struct TReceivedMail {
    // What identifies the message: the SHA-256 digest of all the bytes it was read from
    // (HeldMessages.h); "" for a message that was not read from bytes.
    std::string Identity;
    // The Subject header as it came, unfolded (no CR or LF), with the blank after the
    // colon removed; encoded words are left to the caller.
    AnsiString Subject;
    // The address of the first sender in From ("" when there is none).
    AnsiString FromAddress;
    // The charset parameter of the message's own Content-Type.
    AnsiString CharSet;
    // The text of a message that is one text part; "" for a multipart message.
    std::string Body;
    // The Date header in local time; 0 when the message has none.
    TDateTime Date = 0;
    // The text parts and the attachments of a multipart message, in the order they stand.
    // A part counts as an attachment when its disposition says "attachment", it has a
    // file name or its type is not text/*; the other parts are text.
    std::vector<TMailPart> Parts;
};

// Reads a whole message, or only its header lines (the reply of a TOP command), and its
// identity from all the bytes. Bytes that do not make a message raise "Неверный формат
// почтового сообщения".
TReceivedMail ReadMail(const std::string& bytes);
