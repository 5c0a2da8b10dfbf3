#include "platform/Encoding.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Code points of the CP1251 bytes 0x80-0xFF; 0x98 is unassigned.
constexpr std::array<char16_t, 128> HighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

// Writes the UTF-8 form of one code point (at most U+10FFFF) and gives its length.
constexpr int EncodeUtf8(char32_t codePoint, char (&out)[4])
{
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

// The UTF-8 form of each CP1251 byte 0x80-0xFF: every one takes two or three bytes.
struct TUtf8Form {
    char Bytes[3];
    unsigned char Length;
};

constexpr std::array<TUtf8Form, 128> HighHalfUtf8 = [] {
    std::array<TUtf8Form, 128> forms{};
    for (size_t i = 0; i < forms.size(); ++i) {
        char bytes[4] = {};
        forms[i].Length = static_cast<unsigned char>(EncodeUtf8(HighHalf[i], bytes));
        for (int at = 0; at < 3; ++at)
            forms[i].Bytes[at] = bytes[at];
    }
    return forms;
}();

// Reverse look-up from a code point to its CP1251 byte, built once.
struct TReverseTable {
    std::array<unsigned char, 0x2200> Bytes{};   // 0 = none (0 itself is handled apart)
    TReverseTable()
    {
        for (int i = 0; i < 128; ++i)
            if (HighHalf[i] != 0xFFFD && HighHalf[i] < Bytes.size())
                Bytes[HighHalf[i]] = static_cast<unsigned char>(0x80 + i);
    }
};

const TReverseTable& Reverse()
{
    static const TReverseTable table;
    return table;
}

// Length of a UTF-8 sequence from its lead byte, 0 for a byte that cannot lead one.
int SequenceLength(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Decodes one character at pos; returns its length, or 0 when the bytes there are not
// valid UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
int DecodeOne(std::string_view text, size_t pos, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    const int length = SequenceLength(lead);
    if (length == 0 || pos + length > text.size())
        return 0;
    if (length == 1) {
        codePoint = lead;
        return 1;
    }
    char32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

}  // namespace

char32_t Cp1251ToUnicode(unsigned char byte)
{
    return byte < 0x80 ? char32_t(byte) : char32_t(HighHalf[byte - 0x80]);
}

bool UnicodeToCp1251(char32_t codePoint, unsigned char& byte)
{
    if (codePoint < 0x80) {
        byte = static_cast<unsigned char>(codePoint);
        return true;
    }
    const auto& table = Reverse().Bytes;
    if (codePoint >= table.size() || table[codePoint] == 0)
        return false;
    byte = table[codePoint];
    return true;
}

char32_t FirstUtf8CodePoint(std::string_view text)
{
    char32_t codePoint = 0;
    return !text.empty() && DecodeOne(text, 0, codePoint) != 0 ? codePoint : U'\uFFFD';
}

void AppendUtf8(Utf8String& out, char32_t codePoint)
{
    char bytes[4];
    out.append(bytes, static_cast<size_t>(EncodeUtf8(codePoint, bytes)));
}

Utf8String AnsiToUtf8(const AnsiString& text)
{
    // Written into room for the longest result, then cut to what was written: no check of
    // the capacity per byte.
    Utf8String out(text.size() * 3, '\0');
    char* at = out.data();
    for (unsigned char byte : text) {
        if (byte < 0x80) {
            *at++ = static_cast<char>(byte);
            continue;
        }
        const TUtf8Form& form = HighHalfUtf8[byte - 0x80];
        std::memcpy(at, form.Bytes, sizeof form.Bytes);
        at += form.Length;
    }
    out.resize(static_cast<size_t>(at - out.data()));
    return out;
}

AnsiString Utf8ToAnsi(const Utf8String& text)
{
    AnsiString out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t codePoint = 0;
        const int length = DecodeOne(text, pos, codePoint);
        unsigned char byte = '?';
        if (length != 0 && !UnicodeToCp1251(codePoint, byte))
            byte = '?';
        out.push_back(static_cast<char>(byte));
        pos += length == 0 ? 1 : static_cast<size_t>(length);
    }
    return out;
}

bool Utf8ToAnsiExact(const Utf8String& text, AnsiString& result)
{
    result.clear();
    result.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t codePoint = 0;
        const int length = DecodeOne(text, pos, codePoint);
        unsigned char byte = 0;
        if (length == 0 || !UnicodeToCp1251(codePoint, byte))
            return false;
        result.push_back(static_cast<char>(byte));
        pos += length;
    }
    return true;
}

namespace {

// A letter of the Unicode Cyrillic block (U+0400-U+04FF).
bool IsCyrillic(char32_t codePoint)
{
    return codePoint >= 0x400 && codePoint <= 0x4FF;
}

}  // namespace

bool IsUtf8Text(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return true;
    bool cyrillic = false;
    for (size_t pos = 0; pos < bytes.size();) {
        char32_t codePoint = 0;
        const int length = DecodeOne(bytes, pos, codePoint);
        unsigned char byte = 0;
        // Pairs of CP1251 bytes such as "Ä¹" are valid UTF-8 too, but they decode to
        // letters that Russian text saved as UTF-8 never holds.
        if (length == 0 || (length > 1 && !UnicodeToCp1251(codePoint, byte)))
            return false;
        cyrillic = cyrillic || IsCyrillic(codePoint);
        pos += length;
    }
    return cyrillic;
}

std::vector<size_t> Utf8CharacterStarts(std::string_view text)
{
    std::vector<size_t> starts;
    starts.reserve(text.size() + 1);
    for (size_t pos = 0; pos < text.size();) {
        starts.push_back(pos);
        char32_t codePoint = 0;
        const int length = DecodeOne(text, pos, codePoint);
        pos += length == 0 ? 1 : static_cast<size_t>(length);
    }
    starts.push_back(text.size());
    return starts;
}

void TUtf8Scan::Add(std::string_view bytes)
{
    for (size_t pos = 0; Valid && pos < bytes.size();) {
        // Eight bytes of ASCII at a time: none of them is invalid or Cyrillic.
        if (pos + 8 <= bytes.size()) {
            uint64_t eight = 0;
            std::memcpy(&eight, bytes.data() + pos, 8);
            if ((eight & 0x8080808080808080u) == 0) {
                pos += 8;
                continue;
            }
        }
        char32_t codePoint = 0;
        const int length = DecodeOne(bytes, pos, codePoint);
        Valid = length != 0;
        Cyrillic = Cyrillic || IsCyrillic(codePoint);
        pos += static_cast<size_t>(length);
    }
}
