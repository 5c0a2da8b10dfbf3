#pragma once
// Code page 1251 against Unicode, and UTF-8 text, through the program's own tables:
// byte-exact and independent of iconv and of the locale.

#include "platform/AnsiString.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The Unicode code point of a CP1251 byte (0x98, unassigned, maps to U+FFFD).
char32_t Cp1251ToUnicode(unsigned char byte);

// The CP1251 byte of a code point; false when CP1251 has no such character.
bool UnicodeToCp1251(char32_t codePoint, unsigned char& byte);

// CP1251 -> UTF-8. Every byte converts; the unassigned 0x98 becomes U+FFFD.
Utf8String AnsiToUtf8(const AnsiString& text);

// UTF-8 -> CP1251. A character CP1251 lacks becomes "?", and so does every byte of
// invalid UTF-8 (one "?" per bad byte); the rest of the text is kept.
AnsiString Utf8ToAnsi(const Utf8String& text);

// UTF-8 -> CP1251 without loss: false when the text is not valid UTF-8 or holds a
// character that CP1251 lacks; result is then unspecified.
bool Utf8ToAnsiExact(const Utf8String& text, AnsiString& result);

// The code point of the UTF-8 character that the bytes begin with; U+FFFD when they begin
// with no valid one.
char32_t FirstUtf8CodePoint(std::string_view text);

// Appends the UTF-8 form of one code point.
void AppendUtf8(Utf8String& out, char32_t codePoint);

// The bytes are UTF-8 text rather than CP1251: they begin with the UTF-8 byte-order mark,
// or they are valid UTF-8 holding at least one Cyrillic letter and no character that CP1251
// lacks. Cyrillic text in CP1251 is almost never valid UTF-8; where some of its byte pairs
// are (as "\xC4\xB9"), they decode to characters outside CP1251.
bool IsUtf8Text(const std::string& bytes);

// Where each character of Utf8ToAnsi's result begins in the UTF-8 text (a valid sequence,
// or one byte that is not valid UTF-8, gives one character), followed by the text's length.
std::vector<size_t> Utf8CharacterStarts(std::string_view text);

// What bytes read as UTF-8 hold: whether all of them are valid UTF-8, and whether they
// hold a Cyrillic letter (U+0400-U+04FF). Text may be added piece by piece (line by line);
// once a piece is not valid, later pieces are not looked at.
struct TUtf8Scan {
    bool Valid = true;
    bool Cyrillic = false;

    void Add(std::string_view bytes);
};
