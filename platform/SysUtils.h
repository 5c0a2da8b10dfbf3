#pragma once
// The class library's string, number and date routines, with the program's fixed
// settings: decimal ".", thousands ",", date separator "/", short date "dd/mm/yyyy",
// long time "hh:mm:ss", two-digit-year window 50. None of them reads the C locale, so a
// Russian locale set by Qt never turns "1750.50" into "1750,50".

#include "platform/AnsiString.h"

#include <array>
#include <cstdint>
#include <string_view>

// ---- Text in CP1251 ----

// Trimming removes bytes below 33 (blanks and control characters) at the ends.
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
// Trim without a copy: the part of the text between the trimmed bytes.
std::string_view TrimmedView(std::string_view s);

// Case mapping over the CP1251 tables, Cyrillic letters included (Ё/ё too).
char UpCase(char c);
char LowCase(char c);
// UpCase of every byte, for loops that map many bytes.
const std::array<char, 256>& UpperCaseTable();
AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);

// Comparison ignoring case: <0, 0, >0 by the upper-cased bytes, whole length (NULs too).
int CompareText(std::string_view a, std::string_view b);
bool SameText(const AnsiString& a, const AnsiString& b);

// The text holds a CR or an LF: written as one line, it would become two.
bool HasLineBreak(const AnsiString& s);
// A control character: a byte below 32, or DEL.
inline bool IsControlChar(char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }

// Position of needle in s from 1, 0 when absent (the class library's Pos).
int Pos(const AnsiString& needle, const AnsiString& s);

// printf-style formatting of integers and strings ("%s%.6d%s", "%s.$%.2d"). Floating
// point conversions are refused (they would follow the C locale): use FormatFixed.
AnsiString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Integers ----

AnsiString IntToStr(int64_t value);
// Upper-case hexadecimal with at least `digits` digits.
AnsiString IntToHex(uint64_t value, int digits);

// Decimal with optional sign and surrounding blanks, or hexadecimal as "$1F", "0x1F",
// "-$1F". Trailing text, an empty text or a value outside int32 raise EConvertError.
int32_t StrToInt(const AnsiString& s);
int64_t StrToInt64(const AnsiString& s);
bool TryStrToInt(const AnsiString& s, int32_t& value);
bool TryStrToInt64(const AnsiString& s, int64_t& value);
int32_t StrToIntDef(const AnsiString& s, int32_t def);

// ---- Floating point ----

// Decimal "." only (a "," is an error), optional sign, exponent; blanks around allowed.
double StrToFloat(const AnsiString& s);
bool TryStrToFloat(const AnsiString& s, double& value);

// General format with up to 15 significant digits and no trailing zeros: 1750.5 -> "1750.5".
AnsiString FloatToStr(double value);

// Fixed notation with the given number of decimals, no thousands separator:
// FormatFixed(1750.5, 2) -> "1750.50".
AnsiString FormatFixed(double value, int decimals);

// ---- Dates and times ----

// Days since 30/12/1899, the fraction is the time of day (the class library's TDateTime).
using TDateTime = double;

struct TDateParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};
struct TTimeParts {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MilliSecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
TDateTime EncodeDate(int year, int month, int day);                 // EConvertError when invalid
TDateTime EncodeTime(int hour, int minute, int second, int milliSecond);
TDateParts DecodeDate(TDateTime date);
TTimeParts DecodeTime(TDateTime time);

TDateTime Now();    // the local date and time
TDateTime Date();   // today, no time
int CurrentYear();

// "dd/mm/yyyy". Reads day/month/year separated by "/"; "d/m" means this year; a year
// of one or two digits falls in the window of 50 years before this year to 49 after.
// A bad text raises EConvertError.
TDateTime StrToDate(const AnsiString& s);
bool TryStrToDate(const AnsiString& s, TDateTime& date);

AnsiString DateToStr(TDateTime date);       // "dd/mm/yyyy"
AnsiString TimeToStr(TDateTime time);       // "hh:mm:ss"
// Date, a blank and the time; the time is left out when it is exactly midnight.
AnsiString DateTimeToStr(TDateTime dateTime);

// Gives the whole pages inside [start, start + size) their memory in one request, where a
// first write to each would take them one at a time: a large buffer about to be filled
// costs less. Without effect where the system cannot do it.
void PopulatePages(void* start, size_t size);
