#include "platform/SysUtils.h"

#include "platform/Encoding.h"
#include "platform/Exception.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/mman.h>
#include <unistd.h>

// ---- Text in CP1251 ----

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

// The upper-case partner of a lower-case letter (Latin, Cyrillic, Ukrainian Ґ) or the
// code point itself. Only the letters CP1251 holds matter here.
char32_t UnicodeUpper(char32_t codePoint)
{
    if (codePoint >= U'a' && codePoint <= U'z') return codePoint - 0x20;
    if (codePoint >= 0x0430 && codePoint <= 0x044F) return codePoint - 0x20;   // а-я
    if (codePoint >= 0x0450 && codePoint <= 0x045F) return codePoint - 0x50;   // ё, ђ, ў, ...
    if (codePoint == 0x0491) return 0x0490;                                     // ґ
    return codePoint;
}

// Both case tables of CP1251, derived from its Unicode mapping once.
struct TCaseTables {
    std::array<char, 256> Upper{};
    std::array<char, 256> Lower{};
    TCaseTables()
    {
        for (int byte = 0; byte < 256; ++byte)
            Upper[byte] = Lower[byte] = static_cast<char>(byte);
        for (int byte = 0; byte < 256; ++byte) {
            const char32_t codePoint = Cp1251ToUnicode(static_cast<unsigned char>(byte));
            const char32_t upper = UnicodeUpper(codePoint);
            unsigned char upperByte = 0;
            if (upper != codePoint && UnicodeToCp1251(upper, upperByte)) {
                Upper[byte] = static_cast<char>(upperByte);
                Lower[upperByte] = static_cast<char>(byte);
            }
        }
    }
};

const TCaseTables& CaseTables()
{
    static const TCaseTables tables;
    return tables;
}

AnsiString MapBytes(const AnsiString& s, const std::array<char, 256>& table)
{
    AnsiString out(s.size(), '\0');
    std::transform(s.begin(), s.end(), out.begin(),
                   [&table](char c) { return table[static_cast<unsigned char>(c)]; });
    return out;
}

}  // namespace

AnsiString TrimLeft(const AnsiString& s)
{
    const auto first = std::find_if_not(s.begin(), s.end(), IsBlank);
    return AnsiString(first, s.end());
}

AnsiString TrimRight(const AnsiString& s)
{
    const auto last = std::find_if_not(s.rbegin(), s.rend(), IsBlank);
    return AnsiString(s.begin(), last.base());
}

AnsiString Trim(const AnsiString& s) { return TrimRight(TrimLeft(s)); }

std::string_view TrimmedView(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char UpCase(char c) { return CaseTables().Upper[static_cast<unsigned char>(c)]; }
const std::array<char, 256>& UpperCaseTable() { return CaseTables().Upper; }
char LowCase(char c) { return CaseTables().Lower[static_cast<unsigned char>(c)]; }
AnsiString UpperCase(const AnsiString& s) { return MapBytes(s, CaseTables().Upper); }
AnsiString LowerCase(const AnsiString& s) { return MapBytes(s, CaseTables().Lower); }

namespace {

// The place of a byte in the order of CompareText: its upper case, with Ё right after Е,
// as Russian readers expect (the code page puts it before А).
int SortWeight(char c)
{
    const auto upper = static_cast<unsigned char>(UpCase(c));
    const auto io = static_cast<unsigned char>("Ё"[0]);
    const auto ie = static_cast<unsigned char>("Е"[0]);
    return upper == io ? ie * 2 + 1 : upper * 2;
}

}  // namespace

int CompareText(std::string_view a, std::string_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int difference = SortWeight(a[i]) - SortWeight(b[i]);
        if (difference != 0)
            return difference;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(const AnsiString& a, const AnsiString& b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool HasLineBreak(const AnsiString& s)
{
    return s.find_first_of("\r\n") != AnsiString::npos;
}

int Pos(const AnsiString& needle, const AnsiString& s)
{
    if (needle.empty())
        return 0;
    const size_t found = s.find(needle);
    return found == AnsiString::npos ? 0 : static_cast<int>(found) + 1;
}

// ---- Format ----

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipDigits(const char* p)
{
    while (IsDigit(*p))
        ++p;
    return p;
}

// Reads one conversion after its "%" and tells whether Format allows it: integers,
// single characters and strings. Refused are the floating conversions and the
// grouping flag (they follow the C locale), wide characters and strings (they follow
// LC_CTYPE), %n (it writes through an argument), %p and positional arguments.
bool AcceptConversion(const char*& p)
{
    if (*p == '%') {
        ++p;
        return true;
    }
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr)
        ++p;
    p = *p == '*' ? p + 1 : SkipDigits(p);
    if (*p == '.') {
        ++p;
        p = *p == '*' ? p + 1 : SkipDigits(p);
    }
    // A length modifier belongs to integers only: on "c" and "s" it means wide text.
    bool sized = false;
    if (*p == 'h' || *p == 'l') {
        sized = true;
        p += p[1] == *p ? 2 : 1;
    } else if (*p == 'j' || *p == 'z' || *p == 't') {
        sized = true;
        ++p;
    }
    const char conversion = *p;
    if (conversion == '\0')
        return false;
    ++p;
    if (conversion == 'c' || conversion == 's')
        return !sized;
    return std::strchr("diouxX", conversion) != nullptr;
}

bool IsAllowedFormat(const char* format)
{
    for (const char* p = format; *p != '\0';) {
        if (*p++ != '%')
            continue;
        if (!AcceptConversion(p))
            return false;
    }
    return true;
}

[[noreturn]] void RaiseInvalidFormat(const char* format)
{
    throw EConvertError(AnsiString("Формат '") + format + "' неверен или несовместим с аргументом");
}

// vsnprintf into a string of the length it asks for; false when it fails.
__attribute__((format(printf, 2, 0))) bool FormatList(AnsiString& out, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    char buffer[256];
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (length >= 0 && static_cast<size_t>(length) < sizeof buffer) {
        out.assign(buffer, length);
    } else if (length >= 0) {
        out.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(length);
    }
    va_end(again);
    return length >= 0;
}

}  // namespace

AnsiString Format(const char* format, ...)
{
    if (!IsAllowedFormat(format))
        RaiseInvalidFormat(format);
    va_list args;
    va_start(args, format);
    AnsiString out;
    const bool formatted = FormatList(out, format, args);
    va_end(args);
    if (!formatted)
        RaiseInvalidFormat(format);
    return out;
}

// ---- Integers ----

AnsiString IntToStr(int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return AnsiString(buffer, result.ptr);
}

AnsiString IntToHex(uint64_t value, int digits)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    AnsiString hex = UpperCase(AnsiString(buffer, result.ptr));
    if (digits > static_cast<int>(hex.size()))
        hex.insert(0, digits - hex.size(), '0');
    return hex;
}

namespace {

// Reads an integer between min and max: sign, then decimal digits or "$"/"0x" and
// hexadecimal digits, blanks around. The range applies to the signed value, so
// "$FFFFFFFF" is too big for int32 rather than -1.
bool ParseInteger(const AnsiString& s, int64_t min, int64_t max, int64_t& value)
{
    const std::string_view text = TrimmedView(s);
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    int base = 10;
    if (p != end && *p == '$') {
        base = 16;
        ++p;
    } else if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    // from_chars takes no sign of its own on an unsigned type, so "+-5" and "$-5" fail.
    uint64_t magnitude = 0;
    const auto result = std::from_chars(p, end, magnitude, base);
    if (p == end || result.ec != std::errc() || result.ptr != end)
        return false;
    const uint64_t limit = negative ? uint64_t(-(min + 1)) + 1 : uint64_t(max);
    if (magnitude > limit)
        return false;
    value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

[[noreturn]] void RaiseNotInteger(const AnsiString& s)
{
    throw EConvertError("'" + s + "' не является целым числом");
}

}  // namespace

bool TryStrToInt64(const AnsiString& s, int64_t& value)
{
    return ParseInteger(s, INT64_MIN, INT64_MAX, value);
}

bool TryStrToInt(const AnsiString& s, int32_t& value)
{
    int64_t wide = 0;
    if (!ParseInteger(s, INT32_MIN, INT32_MAX, wide))
        return false;
    value = static_cast<int32_t>(wide);
    return true;
}

int64_t StrToInt64(const AnsiString& s)
{
    int64_t value = 0;
    if (!TryStrToInt64(s, value))
        RaiseNotInteger(s);
    return value;
}

int32_t StrToInt(const AnsiString& s)
{
    int32_t value = 0;
    if (!TryStrToInt(s, value))
        RaiseNotInteger(s);
    return value;
}

int32_t StrToIntDef(const AnsiString& s, int32_t def)
{
    int32_t value = 0;
    return TryStrToInt(s, value) ? value : def;
}

// ---- Floating point ----
// std::from_chars and std::to_chars never look at the C locale.

bool TryStrToFloat(const AnsiString& s, double& value)
{
    const std::string_view text = TrimmedView(s);
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    // A digit or the point must follow the sign: no "inf", "nan" or second sign.
    if (p == end || !(IsDigit(*p) || *p == '.'))
        return false;
    double magnitude = 0;
    const auto result = std::from_chars(p, end, magnitude, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end)
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

double StrToFloat(const AnsiString& s)
{
    double value = 0;
    if (!TryStrToFloat(s, value))
        throw EConvertError("'" + s + "' не является числом");
    return value;
}

namespace {

AnsiString NonFiniteText(double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

constexpr int GeneralDigits = 15;

// The digits of value rounded to `GeneralDigits` significant digits without trailing
// zeros, and the decimal exponent of the first digit (1750.5 -> "17505", 3).
void SignificantDigits(double magnitude, AnsiString& digits, int& exponent)
{
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, GeneralDigits - 1);
    const char* const e = std::find(buffer, result.ptr, 'e');
    digits.assign(1, buffer[0]);
    if (buffer + 1 < e)
        digits.append(buffer + 2, e - (buffer + 2));
    digits.erase(digits.find_last_not_of('0') + 1);
    const char* exponentText = e + 1;
    if (*exponentText == '+')
        ++exponentText;
    std::from_chars(exponentText, result.ptr, exponent);
}

}  // namespace

AnsiString FloatToStr(double value)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    if (value == 0)
        return "0";
    AnsiString digits;
    int exponent = 0;
    SignificantDigits(std::fabs(value), digits, exponent);
    const AnsiString sign = value < 0 ? "-" : "";
    const int integerDigits = exponent + 1;
    // Fixed notation from 0.0001 up to 15 integer digits, scientific otherwise.
    if (integerDigits > GeneralDigits || integerDigits < -3) {
        AnsiString mantissa = digits.substr(0, 1);
        if (digits.size() > 1)
            mantissa += "." + digits.substr(1);
        return sign + mantissa + "E" + IntToStr(exponent);
    }
    if (integerDigits <= 0)
        return sign + "0." + AnsiString(-integerDigits, '0') + digits;
    if (integerDigits >= static_cast<int>(digits.size()))
        return sign + digits + AnsiString(integerDigits - digits.size(), '0');
    return sign + digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
}

namespace {

// Rounds a fixed-notation text with at least `decimals` fractional digits to exactly
// that many, half away from zero (the text holds the magnitude).
AnsiString RoundFixedText(const AnsiString& text, int decimals)
{
    const size_t point = text.find('.');
    if (point == AnsiString::npos || text.size() - point - 1 == size_t(decimals))
        return text;
    const size_t cut = point + 1 + decimals;
    AnsiString rounded = text.substr(0, decimals == 0 ? point : cut);
    if (text[cut] < '5')
        return rounded;
    for (size_t i = rounded.size(); i-- > 0;) {
        if (rounded[i] == '.')
            continue;
        if (rounded[i] != '9') {
            ++rounded[i];
            return rounded;
        }
        rounded[i] = '0';
    }
    return "1" + rounded;
}

}  // namespace

namespace {

// The value rounded to 15 significant digits, as plain decimal text with at least
// decimals + 1 fraction digits. The class library rounds so before it formats, which
// makes a typed 1.005 (stored as 1.00499999...) show as 1.01, as the user wrote it.
AnsiString SignificantFixedText(double magnitude, int decimals)
{
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                       std::chars_format::scientific, 14);
    const std::string scientific(buffer, written.ptr);   // d.ddddddddddddddde[+-]XX
    const size_t e = scientific.find('e');
    const std::string digits = scientific.substr(0, 1) + scientific.substr(2, e - 2);
    int exponent = 0;
    const char* exponentText = scientific.c_str() + e + 1;
    const bool negative = *exponentText == '-';
    std::from_chars(exponentText + 1, scientific.c_str() + scientific.size(), exponent);
    if (negative)
        exponent = -exponent;

    AnsiString integerPart, fraction;
    if (exponent >= 0) {
        const size_t integerDigits = size_t(exponent) + 1;
        integerPart = digits.substr(0, std::min(integerDigits, digits.size()));
        integerPart.append(integerDigits > digits.size() ? integerDigits - digits.size() : 0, '0');
        fraction = integerDigits < digits.size() ? digits.substr(integerDigits) : "";
    } else {
        integerPart = "0";
        fraction = AnsiString(size_t(-exponent - 1), '0') + digits;
    }
    if (fraction.size() < size_t(decimals) + 1)
        fraction.append(size_t(decimals) + 1 - fraction.size(), '0');
    return integerPart + "." + fraction;
}

}  // namespace

AnsiString FormatFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    decimals = std::max(decimals, 0);
    // Rounding the decimal text, not the binary value: a true half (0.125 to two places)
    // goes away from zero, where to_chars alone would round it to even.
    const AnsiString text = RoundFixedText(SignificantFixedText(std::fabs(value), decimals), decimals);
    // No minus sign on a value that shows as zero ("-0.00").
    const bool showsNonZero = text.find_first_of("123456789") != AnsiString::npos;
    return value < 0 && showsNonZero ? "-" + text : text;
}

// ---- Dates and times ----

namespace {

constexpr int64_t MSecsPerDay = 86400000;
// TDateTime 0 is 30/12/1899, which is 25569 days before 01/01/1970.
constexpr int64_t UnixEpochDays = 25569;
// The dates from 01/01/0001 to 31/12/9999.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958466.0;

// Days since 01/01/1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

TDateParts CivilFromDays(int64_t days)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    TDateParts parts;
    parts.Day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    parts.Month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    parts.Year = static_cast<int>(yearOfEra + era * 400 + (parts.Month <= 2));
    return parts;
}

// The whole day and the milliseconds of its time. The integer part is the day and the
// absolute fraction the time, also before 1899 (-1.25 is 29/12/1899 06:00); a time
// that rounds up to midnight belongs to the next day. False outside 0001-9999.
bool SplitDateTime(TDateTime value, int64_t& day, int64_t& msOfDay)
{
    if (!(value >= MinDateTime && value < MaxDateTime))
        return false;
    day = static_cast<int64_t>(std::trunc(value));
    msOfDay = std::llround(std::fabs(value - static_cast<double>(day)) * MSecsPerDay);
    if (msOfDay >= MSecsPerDay) {
        msOfDay -= MSecsPerDay;
        ++day;
    }
    return true;
}

[[noreturn]] void RaiseNotDate(const AnsiString& s)
{
    throw EConvertError("'" + s + "' не является датой");
}

// The local broken-down time and its milliseconds.
std::tm LocalNow(int& milliSecond)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    milliSecond = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

}  // namespace

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date)
{
    if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month))
        return false;
    date = static_cast<double>(DaysFromCivil(year, month, day) + UnixEpochDays);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date))
        throw EConvertError("Неверный аргумент для кодирования даты");
    return date;
}

TDateTime EncodeTime(int hour, int minute, int second, int milliSecond)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        milliSecond < 0 || milliSecond > 999)
        throw EConvertError("Неверный аргумент для кодирования времени");
    const int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000 + milliSecond;
    return static_cast<double>(ms) / MSecsPerDay;
}

TDateParts DecodeDate(TDateTime date)
{
    int64_t day = 0;
    int64_t ms = 0;
    if (!SplitDateTime(date, day, ms))
        return TDateParts{};
    return CivilFromDays(day - UnixEpochDays);
}

TTimeParts DecodeTime(TDateTime time)
{
    int64_t day = 0;
    int64_t ms = 0;
    if (!SplitDateTime(time, day, ms))
        return TTimeParts{};
    TTimeParts parts;
    parts.Hour = static_cast<int>(ms / 3600000);
    parts.Minute = static_cast<int>(ms / 60000 % 60);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.MilliSecond = static_cast<int>(ms % 1000);
    return parts;
}

TDateTime Now()
{
    int milliSecond = 0;
    const std::tm local = LocalNow(milliSecond);
    // A leap second (tm_sec 60) shows as the last second of its minute.
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), milliSecond);
}

TDateTime Date()
{
    int milliSecond = 0;
    const std::tm local = LocalNow(milliSecond);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

int CurrentYear()
{
    int milliSecond = 0;
    return LocalNow(milliSecond).tm_year + 1900;
}

namespace {

// Reads one to four digits at p; the count of digits read goes to `digits`.
bool ReadDateNumber(const char*& p, const char* end, int& value, int& digits)
{
    value = 0;
    digits = 0;
    while (p != end && IsDigit(*p) && digits < 4) {
        value = value * 10 + (*p++ - '0');
        ++digits;
    }
    return digits > 0;
}

// A year of one or two digits falls within 50 years before this year and 49 after.
int ExpandShortYear(int year)
{
    const int centuryBase = CurrentYear() - 50;
    year += centuryBase / 100 * 100;
    if (year < centuryBase)
        year += 100;
    return year;
}

}  // namespace

bool TryStrToDate(const AnsiString& s, TDateTime& date)
{
    const std::string_view text = TrimmedView(s);
    const char* p = text.data();
    const char* const end = p + text.size();
    int day = 0, month = 0, year = 0, digits = 0;
    if (!ReadDateNumber(p, end, day, digits) || p == end || *p++ != '/' ||
        !ReadDateNumber(p, end, month, digits))
        return false;
    if (p == end) {
        year = CurrentYear();
    } else {
        if (*p++ != '/' || !ReadDateNumber(p, end, year, digits) || p != end)
            return false;
        if (digits <= 2)
            year = ExpandShortYear(year);
    }
    return TryEncodeDate(year, month, day, date);
}

TDateTime StrToDate(const AnsiString& s)
{
    TDateTime date = 0;
    if (!TryStrToDate(s, date))
        RaiseNotDate(s);
    return date;
}

namespace {

// The number with at least `width` digits.
AnsiString Padded(int value, int width)
{
    AnsiString text = IntToStr(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, width - text.size(), '0');
    return text;
}

}  // namespace

AnsiString DateToStr(TDateTime date)
{
    const TDateParts parts = DecodeDate(date);
    return Padded(parts.Day, 2) + "/" + Padded(parts.Month, 2) + "/" + Padded(parts.Year, 4);
}

AnsiString TimeToStr(TDateTime time)
{
    const TTimeParts parts = DecodeTime(time);
    return Padded(parts.Hour, 2) + ":" + Padded(parts.Minute, 2) + ":" + Padded(parts.Second, 2);
}

AnsiString DateTimeToStr(TDateTime dateTime)
{
    const TTimeParts time = DecodeTime(dateTime);
    AnsiString text = DateToStr(dateTime);
    if (time.Hour != 0 || time.Minute != 0 || time.Second != 0)
        text += " " + TimeToStr(dateTime);
    return text;
}

void PopulatePages(void* start, size_t size)
{
#ifdef MADV_POPULATE_WRITE
    static const auto pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(start);
    const uintptr_t first = (begin + pageSize - 1) / pageSize * pageSize;
    const uintptr_t last = (begin + size) / pageSize * pageSize;
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)size;
#endif
}
