#pragma once
// Exchange with the bank: the sender and the receiver that the current profile chooses
// and their holders, the subject line that every message between the client and the
// bank carries, the decoder of RFC 2047 words in a received subject, and Base64.

#include "documents/Containers.h"
#include "documents/Exportfiles.h"
#include "platform/AnsiString.h"

#include <array>
#include <cstdint>

class TStream;

// ---- Sender and receiver ----

// Hands one finished container to the bank. Kinds: TSmtpSender, THttpSender. A sender
// keeps nothing between calls: every Send opens and closes its own connection.
class TSender {
public:
    virtual ~TSender() = default;

    // Sends the container `data` (from its first byte, whatever its position) as the one
    // attachment of one message: `text` (CP1251) is the subject's text and the body,
    // `fileName` the attachment's name. A normal return is success; any failure raises,
    // and nothing is retried.
    virtual void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) = 0;
};

// Fetches every pending message of the bank and processes it into the local stores.
// The counters describe the last run; every run starts them from 0.
class TReceiver {
public:
    virtual ~TReceiver() = default;

    virtual void Receive() = 0;

    // Sets every counter to 0.
    void ResetCounters();

    int32_t Messages = 0;      // messages accepted and recorded in the message store
    int32_t Etalons = 0;       // reference lists stored
    // Per row of ReplyDocTypes: reply files of that kind stored.
    std::array<int32_t, ReplyDocTypeCount> ListsAdded{};
    int32_t Updates = 0;       // program updates stored
    int32_t BadMessages = 0;   // messages skipped after an error
    int32_t BadFiles = 0;      // attachments skipped after an error
};

// The holders create their object on first use from the current profile's SendType and
// RecvType; every profile selection resets them.
class TSenderPtr : public TSmartPtr<TSender> {
protected:
    TSender* Create() override;
};

// Until the receivers are built, Create refuses every receive type with a message that
// names it; the holder stays empty.
class TReceiverPtr : public TSmartPtr<TReceiver> {
protected:
    TReceiver* Create() override;
};

extern TSenderPtr Sender;
extern TReceiverPtr Receiver;

// ---- Subject line and header words ----

// The message-type token that opens the subject of every message of the exchange.
extern const char* const MessageToken;   // "ZEM_TLB_MESSAGE"

// Base64 of the bytes with the standard alphabet and "=" fill, as one line: no line
// breaks, whatever its length.
AnsiString EncodeBase64(const AnsiString& bytes);

// The bytes of a Base64 text. Line breaks, tabs and blanks are skipped and a missing
// fill is accepted; any other character outside the alphabet, data after the fill, or
// a lone last character raise EConvertError.
AnsiString DecodeBase64(const AnsiString& text);

// The text (CP1251) as one RFC 2047 word: "=?KOI8-R?B?" + Base64 of its KOI8-R bytes + "?=".
AnsiString EncodeSubjectWord(const AnsiString& text);

// The subject header line of an outgoing message, without its line end:
// "Subject: ZEM_TLB_MESSAGE " + prefix + " " + EncodeSubjectWord(text). It is written as
// it stands, never folded.
AnsiString SubjectLine(const AnsiString& prefix, const AnsiString& text);

// The text with its "B" words decoded: KOI8-R words converted to CP1251, words in other
// charsets kept as bytes, and each decoded text decoded again. Words in other encodings
// stay, without the blanks inside their encoded text; a word left open ends the decoding
// and stays with everything after it.
AnsiString DecodeHeaderWords(const AnsiString& s);
