#pragma once
// Conversions between code page 1251, in which the program holds all text, and the code
// pages of the client's data files and of the mail exchange with the bank: CP866,
// KOI8-R and UTF-8. Every conversion covers the whole text, NUL bytes included.

#include "platform/AnsiString.h"
#include "platform/Encoding.h"

#include <string_view>
#include <vector>

// The code-page codes of the profile's "Charset" keys and of the data files.
constexpr int CodePageCp1251 = 0;
constexpr int CodePageCp866 = 1;
constexpr int CodePageKoi8R = 2;
constexpr int CodePageUtf8 = 3;

// CP866 <-> CP1251, byte for byte; a character that the target lacks becomes "?".
AnsiString OemToAnsi(const AnsiString& s);
AnsiString AnsiToOem(const AnsiString& s);

// KOI8-R <-> CP1251 through CP866. The KOI8-R <-> CP866 step is a permutation of the 256
// byte values, so KOI8-R text survives a trip through CP866 unchanged; the eight KOI8-R
// characters that CP866 lacks take the CP866 codes that no other KOI8-R character uses.
AnsiString Koi8ToAnsi(const AnsiString& s);
AnsiString AnsiToKoi8(const AnsiString& s);
// The KOI8-R <-> CP866 step alone.
AnsiString Koi8ToOem(const AnsiString& s);
AnsiString OemToKoi8(const AnsiString& s);
// Builds the CP866 -> KOI8-R table; later calls do nothing. AnsiToKoi8 calls it itself.
void BuildKoi8ReverseTable();

// Text of a data file in the given code page into CP1251, and back. UTF-8 goes through
// the program's UTF-8 codec (a bad byte becomes one "?"); CP1251 and any unknown code
// are taken as they stand.
AnsiString ToAnsi(const AnsiString& text, int codePage);
AnsiString FromAnsi(const AnsiString& text, int codePage);

// The Unicode character that a character of text in the code page (its bytes, as
// CharacterStarts bounds them) stands for: U+FFFD for bytes that are no UTF-8 character.
// CP1251 and any unknown code take the byte as CP1251.
char32_t CodePointOf(std::string_view character, int codePage);

// Where each character of ToAnsi's result begins in the text of the code page, followed by
// the text's length: every byte is a character, except in UTF-8 (Utf8CharacterStarts).
std::vector<size_t> CharacterStarts(std::string_view text, int codePage);

// A file's bytes, as a UTF-8 scan found them, are plainly not text of the code page:
// not valid UTF-8 for UTF-8; valid UTF-8 holding Cyrillic letters for CP1251, CP866 and
// KOI8-R (whose Cyrillic text is next to never valid UTF-8). Plain ASCII is text of all.
bool PlainlyNotInCodePage(const TUtf8Scan& scan, int codePage);
