#include "exchange/Transport.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/HttpReceiver.h"
#include "exchange/HttpSender.h"
#include "exchange/Imap4Receiver.h"
#include "exchange/Pop3Receiver.h"
#include "exchange/SmtpSender.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <array>
#include <cstdint>

// Sender first: the receiver, made later, is destroyed first.
TSenderPtr Sender;
TReceiverPtr Receiver;

const char* const MessageToken = "ZEM_TLB_MESSAGE";

// ---- Sender and receiver ----

void TReceiver::ResetCounters()
{
    Messages = 0;
    Etalons = 0;
    ListsAdded.fill(0);
    Updates = 0;
    BadMessages = 0;
    BadFiles = 0;
}

TSender* TSenderPtr::Create()
{
    const uint8_t type = CurrentProfile().SendType;
    switch (type) {
    case ttHttp: return new THttpSender;
    case ttSmtp: return new TSmtpSender;
    }
    throw Exception("Неизвестный способ отправки: " + NamedCodeName(SendTypes, type));
}

TReceiver* TReceiverPtr::Create()
{
    const uint8_t type = CurrentProfile().RecvType;
    switch (type) {
    case ttPop3: return new TPop3Receiver;
    case ttImap4: return new TImap4Receiver;
    case ttHttp: return new THttpReceiver;
    }
    throw Exception("Неизвестный способ получения почты: " + NamedCodeName(RecvTypes, type));
}

// ---- Base64 ----

namespace {

const char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char Base64Fill = '=';
constexpr int8_t NotBase64 = -1;

constexpr std::array<int8_t, 256> MakeBase64Values()
{
    std::array<int8_t, 256> values{};
    for (auto& value : values)
        value = NotBase64;
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(Base64Alphabet[i])] = static_cast<int8_t>(i);
    return values;
}
constexpr std::array<int8_t, 256> Base64Values = MakeBase64Values();

bool IsBase64Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

[[noreturn]] void RaiseBadBase64() { throw EConvertError("Неверные данные в кодировке Base64"); }

} // namespace

AnsiString EncodeBase64(const AnsiString& bytes)
{
    AnsiString text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (count > 1)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (count > 2)
            group |= static_cast<unsigned char>(bytes[i + 2]);
        text += Base64Alphabet[(group >> 18) & 63];
        text += Base64Alphabet[(group >> 12) & 63];
        text += count > 1 ? Base64Alphabet[(group >> 6) & 63] : Base64Fill;
        text += count > 2 ? Base64Alphabet[group & 63] : Base64Fill;
    }
    return text;
}

namespace {

// A line of 76 Base64 characters codes 57 bytes.
constexpr size_t Base64LineChars = 76;
constexpr size_t Base64LineBytes = 57;
constexpr size_t Base64PieceBytes = Base64LineBytes * 1024;

}  // namespace

void AppendBase64Lines(std::string& out, std::string_view bytes)
{
    for (size_t start = 0; start < bytes.size(); start += Base64PieceBytes) {
        // Each piece is whole lines, so the lines of the pieces are the lines of the whole.
        const AnsiString text = EncodeBase64(AnsiString(bytes.substr(start, Base64PieceBytes)));
        for (size_t line = 0; line < text.size(); line += Base64LineChars) {
            out.append(text, line, Base64LineChars);
            out += "\r\n";
        }
    }
}

size_t Base64LinesSize(size_t byteCount)
{
    const size_t lines = (byteCount + Base64LineBytes - 1) / Base64LineBytes;
    return (byteCount + 2) / 3 * 4 + 2 * lines;
}

AnsiString DecodeBase64(const AnsiString& text)
{
    AnsiString bytes;
    uint32_t bits = 0;
    int bitCount = 0;
    int digits = 0;
    bool filled = false;
    for (char c : text) {
        if (IsBase64Space(c))
            continue;
        if (c == Base64Fill) {
            filled = true;
            continue;
        }
        const int8_t value = Base64Values[static_cast<unsigned char>(c)];
        if (value == NotBase64 || filled)
            RaiseBadBase64();
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bitCount += 6;
        ++digits;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes += static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    // Four digits carry three bytes; a single digit left over carries none.
    if (digits % 4 == 1)
        RaiseBadBase64();
    return bytes;
}

// ---- The subject line ----

AnsiString EncodeSubjectWord(const AnsiString& text)
{
    return "=?KOI8-R?B?" + EncodeBase64(AnsiToKoi8(text)) + "?=";
}

AnsiString SubjectLine(const AnsiString& prefix, const AnsiString& text)
{
    return AnsiString("Subject: ") + MessageToken + " " + prefix + " " + EncodeSubjectWord(text);
}

// ---- Decoding RFC 2047 words ----

namespace {

// One "=?charset?encoding?text?=" word found in a text.
struct THeaderWord {
    AnsiString Whole;         // as it stands
    AnsiString Charset;
    AnsiString Encoding;
    AnsiString EncodedText;   // blanks removed
    size_t End = 0;           // position just after its "?="
};

// Reads the word that starts at `start` (at its "=?"); false when it is not closed.
bool ReadHeaderWord(const AnsiString& s, size_t start, THeaderWord& word)
{
    const size_t charsetStart = start + 2;
    const size_t charsetEnd = s.find('?', charsetStart);
    if (charsetEnd == AnsiString::npos)
        return false;
    const size_t encodingEnd = s.find('?', charsetEnd + 1);
    if (encodingEnd == AnsiString::npos)
        return false;
    const size_t textEnd = s.find("?=", encodingEnd + 1);
    if (textEnd == AnsiString::npos)
        return false;
    word.Charset = s.substr(charsetStart, charsetEnd - charsetStart);
    word.Encoding = s.substr(charsetEnd + 1, encodingEnd - charsetEnd - 1);
    word.EncodedText.clear();
    for (size_t i = encodingEnd + 1; i < textEnd; ++i)
        if (s[i] != ' ')
            word.EncodedText += s[i];
    word.End = textEnd + 2;
    word.Whole = s.substr(start, word.End - start);
    return true;
}

AnsiString DecodeWord(const THeaderWord& word)
{
    if (!SameText(word.Encoding, "B"))
        return "=?" + word.Charset + "?" + word.Encoding + "?" + word.EncodedText + "?=";
    AnsiString text;
    try {
        text = DecodeBase64(word.EncodedText);
    } catch (const EConvertError&) {
        // A malformed word is shown as it stands, as the mail standard asks: failing the
        // message would leave it on the server to fail again at every receive.
        return word.Whole;
    }
    if (SameText(word.Charset, "KOI8-R"))
        text = Koi8ToAnsi(text);
    // A decoded text may itself hold words. Each round shortens the text by a quarter,
    // so this ends.
    return DecodeHeaderWords(text);
}

} // namespace

AnsiString DecodeHeaderWords(const AnsiString& s)
{
    AnsiString output;
    size_t rest = 0;
    for (;;) {
        const size_t wordStart = s.find("=?", rest);
        if (wordStart == AnsiString::npos)
            break;
        output.append(s, rest, wordStart - rest);
        rest = wordStart;
        THeaderWord word;
        if (!ReadHeaderWord(s, wordStart, word))
            break;
        output += DecodeWord(word);
        rest = word.End;
    }
    return output + s.substr(rest);
}
