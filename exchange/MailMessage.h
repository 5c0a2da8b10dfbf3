#pragma once
// The mail message that carries one container to the bank. Both senders build it the
// same way and send the same bytes: by SMTP, or as the "file" part of the HTTP form.
//
//   From: <EMail>
//   To: <BankEMail>
//   Subject: ZEM_TLB_MESSAGE <prefix> =?KOI8-R?B?...?=      (one line, never folded)
//   Date: <date>
//   MIME-Version: 1.0
//   Content-Type: multipart/mixed; boundary="<boundary>"
//
//   --<boundary>
//   the text: text/plain in KOI8-R, Base64
//   --<boundary>
//   the container: application/octet-stream named by the file name, Base64
//   --<boundary>--
//
// Every line ends with CR LF; the Base64 lines hold 76 characters. The Subject line
// holds the whole text, however long.

#include "platform/AnsiString.h"

#include <ctime>
#include <string>
#include <vector>

class TStream;

// What one message carries.
struct TMailContent {
    AnsiString From;          // the sender's address text
    AnsiString To;            // the recipient's address text
    AnsiString Prefix;        // the client's prefix, for the subject
    AnsiString Text;          // CP1251: the subject's text and the body
    AnsiString FileName;      // CP1251: the attachment's name
    std::string Attachment;   // the container's bytes
};

// The parts of a message that change from one sending to the next.
struct TMailFrame {
    AnsiString Date;       // the Date header's value
    AnsiString Boundary;   // the multipart boundary
};

// The message as it goes to the server, byte for byte.
std::string ComposeMail(const TMailContent& content, const TMailFrame& frame);

// The current time and a fresh random boundary.
TMailFrame NewMailFrame();

// The Date header of a local time whose offset from UTC is utcOffset seconds:
// "Tue, 05 Mar 2024 09:07:02 +0300", with English names whatever the locale.
AnsiString FormatMailDate(const std::tm& local, long utcOffset);

// The message for the current profile: From its EMail, To its BankEMail, its Prefix,
// and the whole of data from its first byte, whatever the stream's position.
TMailContent BankMailContent(const AnsiString& text, const AnsiString& fileName, TStream& data);

// The addresses of an address text such as "bank@example.test" or "Bank <bank@example.test>,
// other@example.test": the items between commas, each the part inside its angle
// brackets when it has them, blank items left out.
std::vector<AnsiString> MailAddresses(const AnsiString& text);
