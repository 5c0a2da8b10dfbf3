#pragma once
// Exchange with the bank: the subject line that every message between the client and the
// bank carries, the decoder of RFC 2047 words in a received subject, and Base64.

#include "platform/AnsiString.h"

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
