// String, number and date routines with the program's fixed settings, independent of
// the C locale.

#include "platform/SysUtils.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <ctime>

namespace {

// ---- Text ----

TEST(SysUtilsText, TrimRemovesBytesBelow33AtTheEnds)
{
    const AnsiString padded = Bytes({' ', '\t', 0, 0x1F, 'a', 0, 'b', '\r', '\n', ' '});
    EXPECT_EQ(Hex(Trim(padded)), Hex(Bytes({'a', 0, 'b'})));
    EXPECT_EQ(Hex(TrimLeft(padded)), Hex(Bytes({'a', 0, 'b', '\r', '\n', ' '})));
    EXPECT_EQ(Hex(TrimRight(padded)), Hex(Bytes({' ', '\t', 0, 0x1F, 'a', 0, 'b'})));
    EXPECT_EQ(Trim(" \t\r\n"), "");
    // The CP1251 no-break space (0xA0) and letters above 127 are text, not blanks.
    EXPECT_ANSI_EQ(Trim(" \xA0я \xA0 "), "\xA0я \xA0");
}

TEST(SysUtilsText, CaseMappingCoversCyrillicInPairs)
{
    EXPECT_ANSI_EQ(UpperCase("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"), "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    EXPECT_ANSI_EQ(LowerCase("ЁЛКА Z"), "ёлка z");
    // Signs and the micro sign (whose capital CP1251 lacks) stay as they are.
    EXPECT_ANSI_EQ(UpperCase("№€µ«»—\xA0"), "№€µ«»—\xA0");
    EXPECT_EQ(Hex(UpperCase(Bytes({'a', 0, 0xE0}))), "41 00 C0");

    int lowerLetters = 0;
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        if (UpCase(byte) != byte) {
            ++lowerLetters;
            EXPECT_EQ(LowCase(UpCase(byte)), byte) << "byte " << value;
        }
        if (LowCase(byte) != byte) {
            EXPECT_EQ(UpCase(LowCase(byte)), byte) << "byte " << value;
        }
    }
    // 26 Latin, 33 Russian, 14 other Cyrillic letters.
    EXPECT_EQ(lowerLetters, 73);
}

TEST(SysUtilsText, CompareIgnoringCaseOverTheWholeLength)
{
    EXPECT_TRUE(SameText("ёлка", "ЁЛКА"));
    EXPECT_FALSE(SameText("елка", "ёлка"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_FALSE(SameText(Bytes({'a', 0, 'b'}), Bytes({'a', 0, 'c'})));   // NUL bytes count

    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("ab", "AB "), 0);
    EXPECT_GT(CompareText(Bytes({'a', 0}), "A"), 0);
    // Bytes compare unsigned: Cyrillic sorts after Latin.
    EXPECT_GT(CompareText("я", "z"), 0);
    EXPECT_LT(CompareText("а", "Я"), 0);

    EXPECT_EQ(Pos("ка", "ёлка"), 3);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(Pos("c", Bytes({'a', 0, 'c'})), 3);
}

// ---- Format ----

TEST(SysUtilsFormat, IntegersAndStrings)
{
    EXPECT_EQ(Format("%s%.6d%s", "ABC", 42, "A.TLB"), "ABC000042A.TLB");
    EXPECT_EQ(Format("%d%% %5s|%-3d|%x|%X|%u", -5, "ab", 1, 255, 255, 7u), "-5%    ab|1  |ff|FF|7");
    EXPECT_EQ(Format("%lld %hd %c", -9000000000LL, short(-2), 'z'), "-9000000000 -2 z");
    EXPECT_EQ(Format("%*d|%.*s", 4, 7, 2, "abcdef"), "   7|ab");
    const AnsiString longText(1000, 'x');
    EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
    EXPECT_EQ(Hex(Format("a%cb", 0)), "61 00 62");
}

TEST(SysUtilsFormat, RefusesFloatingAndLocaleBoundConversions)
{
    EXPECT_RAISES(Format("%.2f", 1.5), EConvertError, "Формат '%.2f' неверен или несовместим с аргументом");
    // Formats the compiler cannot check, as a caller might pass them.
    for (const char* format : {"%e", "%g", "%a", "%F", "%E", "%G", "%A"})
        EXPECT_RAISES_PREFIX(Format(format, 1.5), EConvertError, "Формат");
    int written = 0;
    EXPECT_RAISES_PREFIX(Format("ab%n", &written), EConvertError, "Формат");
    EXPECT_RAISES_PREFIX(Format("%ls", L"wide"), EConvertError, "Формат");
    EXPECT_RAISES_PREFIX(Format("%p", static_cast<void*>(&written)), EConvertError, "Формат");
    for (const char* format : {"%'d", "%1$d"})
        EXPECT_RAISES_PREFIX(Format(format, 1000), EConvertError, "Формат");
    const char* unfinished = "100%";
    EXPECT_RAISES_PREFIX(Format(unfinished), EConvertError, "Формат");
}

// ---- Integers ----

TEST(SysUtilsIntegers, ToTextAndAcceptedForms)
{
    EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
    EXPECT_EQ(StrToInt("\t+008\r\n"), 8);
    EXPECT_EQ(StrToInt("$1f"), 31);
    EXPECT_EQ(StrToInt("0X1F"), 31);
    EXPECT_EQ(StrToInt("-$80000000"), INT32_MIN);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("$7FFFFFFFFFFFFFFF"), INT64_MAX);
}

TEST(SysUtilsIntegers, RejectedForms)
{
    const AnsiString bad[] = {
        "", "   ", "-", "$", "0x", "12a", "1 2", "1.0", "--1", "- 1", "$-1", "$1G", "1e3",
        "2147483648", "-2147483649", "$80000000", "99999999999999999999999", Bytes({'1', '2', 0, '3'}),
    };
    for (const AnsiString& text : bad) {
        int32_t value = 7;
        EXPECT_FALSE(TryStrToInt(text, value)) << "text [" << Hex(text) << "]";
        EXPECT_EQ(StrToIntDef(text, -1), -1) << "text [" << Hex(text) << "]";
    }
    EXPECT_RAISES(StrToInt(" 12a"), EConvertError, "' 12a' не является целым числом");
    EXPECT_RAISES(StrToInt64("9223372036854775808"), EConvertError,
                  "'9223372036854775808' не является целым числом");
    EXPECT_EQ(StrToIntDef(" 12 ", -1), 12);
}

// ---- Floating point ----

TEST(SysUtilsFloat, ParseWithAPointOnly)
{
    EXPECT_EQ(StrToFloat(" -0.25 "), -0.25);
    EXPECT_EQ(StrToFloat("1.5E-2"), 0.015);
    EXPECT_EQ(StrToFloat(".5"), 0.5);

    const AnsiString bad[] = {
        "1,5", "", "-", ".", "1.5x", "1e+", "inf", "nan", "--1", "0x10", "$10", "1 000", "1e999",
        Bytes({'1', 0, '5'}),
    };
    for (const AnsiString& text : bad) {
        double value = 0;
        EXPECT_FALSE(TryStrToFloat(text, value)) << "text [" << Hex(text) << "]";
    }
    EXPECT_RAISES(StrToFloat("1,5"), EConvertError, "'1,5' не является числом");
}

TEST(SysUtilsFloat, GeneralFormat)
{
    EXPECT_EQ(FloatToStr(1750.5), "1750.5");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(FloatToStr(999999999999999.9), "1E15");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(NAN), "NAN");
    EXPECT_EQ(FloatToStr(-INFINITY), "-INF");
}

TEST(SysUtilsFloat, FixedFormatRoundsAsTyped)
{
    EXPECT_EQ(FormatFixed(1750.5, 2), "1750.50");
    EXPECT_EQ(FormatFixed(123.456, -1), "123");
    EXPECT_EQ(FormatFixed(1e20, 2), "100000000000000000000.00");
    // True halves round away from zero.
    EXPECT_EQ(FormatFixed(2.5, 0), "3");
    EXPECT_EQ(FormatFixed(-0.125, 2), "-0.13");
    // Rounded to 15 significant digits first, as typed: 1.005 (stored 1.00499999...) gives 1.01.
    EXPECT_EQ(FormatFixed(1.005, 2), "1.01");
    EXPECT_EQ(FormatFixed(0.045, 2), "0.05");   // 0.0449999999999999983... read as 0.045
    // Carries through nines into a new digit.
    EXPECT_EQ(FormatFixed(-99.5, 0), "-100");
    // No minus sign on a value that shows as zero.
    EXPECT_EQ(FormatFixed(-0.001, 2), "0.00");
    // Many decimals show the exact stored value.
    EXPECT_EQ(FormatFixed(0.1, 20), "0.10000000000000000000");
    EXPECT_EQ(FormatFixed(NAN, 2), "NAN");
}

// ---- Dates ----

TEST(SysUtilsDates, EncodeCountsDaysFrom1899)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    EXPECT_RAISES(EncodeDate(2015, 2, 29), EConvertError, "Неверный аргумент для кодирования даты");
    for (const auto& [year, month, day] : {std::tuple{1900, 2, 29}, {2015, 13, 1}, {2015, 1, 0}, {0, 1, 1},
                                          {10000, 1, 1}}) {
        TDateTime date = 0;
        EXPECT_FALSE(TryEncodeDate(year, month, day, date)) << year << "-" << month << "-" << day;
    }
}

TEST(SysUtilsDates, DecodeWalksEveryDay)
{
    // Every day from 1600 to 2400 decodes to the day after its predecessor.
    TDateParts previous = DecodeDate(EncodeDate(1599, 12, 31));
    for (TDateTime day = EncodeDate(1600, 1, 1); day <= EncodeDate(2400, 12, 31); day += 1) {
        const TDateParts parts = DecodeDate(day);
        const bool nextDay = parts.Year == previous.Year && parts.Month == previous.Month &&
                             parts.Day == previous.Day + 1;
        const bool nextMonth = parts.Day == 1 && previous.Day == DaysInMonth(previous.Year, previous.Month) &&
                               ((parts.Year == previous.Year && parts.Month == previous.Month + 1) ||
                                (parts.Year == previous.Year + 1 && parts.Month == 1 && previous.Month == 12));
        ASSERT_TRUE(nextDay || nextMonth) << DateToStr(day) << " after " << DateToStr(day - 1);
        ASSERT_EQ(EncodeDate(parts.Year, parts.Month, parts.Day), day);
        previous = parts;
    }
}

TEST(SysUtilsDates, Time)
{
    const TDateTime time = EncodeTime(12, 30, 15, 500);
    EXPECT_DOUBLE_EQ(time, (12 * 3600 + 30 * 60 + 15.5) / 86400);
    const TTimeParts parts = DecodeTime(EncodeDate(2015, 2, 1) + time);
    EXPECT_EQ(parts.Hour * 10000 + parts.Minute * 100 + parts.Second, 123015);
    EXPECT_EQ(parts.MilliSecond, 500);
    EXPECT_RAISES(EncodeTime(24, 0, 0, 0), EConvertError, "Неверный аргумент для кодирования времени");
    for (const auto& [hour, minute, milliSecond] : {std::tuple{0, 60, 0}, {0, 0, 1000}, {-1, 0, 0}})
        EXPECT_THROW(EncodeTime(hour, minute, 0, milliSecond), EConvertError);
}

TEST(SysUtilsDates, ToText)
{
    const TDateTime day = EncodeDate(2015, 2, 1);
    EXPECT_EQ(DateToStr(day), "01/02/2015");
    EXPECT_EQ(TimeToStr(EncodeTime(9, 5, 7, 0)), "09:05:07");
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 1, 0)), "01/02/2015 00:00:01");
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 0, 400)), "01/02/2015");
    // A time a hair before midnight rounds into the next day, date and time together.
    EXPECT_EQ(DateTimeToStr(EncodeDate(2015, 2, 28) + (86400000 - 0.4) / 86400000), "01/03/2015");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2015, 2, 28) + (86400000 - 1) / 86400000.0), "28/02/2015 23:59:59");
    // Before 30/12/1899 the integer part is the day and the fraction still the time.
    EXPECT_EQ(DateTimeToStr(-1.25), "29/12/1899 06:00:00");
    // Outside the calendar nothing is decoded.
    EXPECT_EQ(DateToStr(NAN), "00/00/0000");
}

TEST(SysUtilsDates, ClockReadsLocalTime)
{
    const std::time_t before = std::time(nullptr);
    const TDateTime now = Now();
    std::tm local{};
    localtime_r(&before, &local);
    const TDateTime expected = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
                               EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), 0);
    EXPECT_NEAR(now, expected, 5.0 / 86400);
    EXPECT_EQ(Date(), std::floor(Date()));
}

// ---- Reading dates ----

TEST(SysUtilsReadDate, DayMonthYear)
{
    EXPECT_EQ(StrToDate(" \t1/2/2015\r\n"), EncodeDate(2015, 2, 1));
    EXPECT_EQ(StrToDate("29/02/2016"), EncodeDate(2016, 2, 29));
    // Three or four digits are the year as written.
    EXPECT_EQ(StrToDate("1/2/0015"), EncodeDate(15, 2, 1));
    EXPECT_EQ(StrToDate("1/2/015"), EncodeDate(15, 2, 1));
    // Two numbers are a day of this year.
    EXPECT_EQ(StrToDate("5/3"), EncodeDate(CurrentYear(), 3, 5));
}

TEST(SysUtilsReadDate, ShortYearsFallInTheFiftyYearWindow)
{
    const int thisYear = CurrentYear();
    for (int written = 0; written < 100; ++written) {
        const int year = DecodeDate(StrToDate(Format("1/1/%.2d", written))).Year;
        EXPECT_EQ(year % 100, written);
        EXPECT_GE(year, thisYear - 50) << written;
        EXPECT_LE(year, thisYear + 49) << written;
        if (written < 10) {
            EXPECT_EQ(DecodeDate(StrToDate(Format("1/1/%d", written))).Year, year);
        }
    }
    // The edges of the window: 2026 reads "76" as 1976 and "75" as 2075.
    EXPECT_EQ(DecodeDate(StrToDate(Format("1/1/%.2d", (thisYear - 50) % 100))).Year, thisYear - 50);
    EXPECT_EQ(DecodeDate(StrToDate(Format("1/1/%.2d", (thisYear + 49) % 100))).Year, thisYear + 49);
}

TEST(SysUtilsReadDate, Errors)
{
    const AnsiString bad[] = {
        "29/02/2015", "01/13/2015", "0/1/2015", "1/2/0000", "", "1", "1/2/", "1//2015", "1/2/2015x",
        "1-2-2015", "1 / 2 / 2015", "1/2/20150", "1/2/2015 12:00", "-1/2/2015",
        Bytes({'1', '/', '2', '/', '2', '0', '1', '5', 0, 'x'}),
    };
    for (const AnsiString& text : bad) {
        TDateTime date = 0;
        EXPECT_FALSE(TryStrToDate(text, date)) << "text [" << Hex(text) << "]";
    }
    EXPECT_RAISES(StrToDate("31/02/2015"), EConvertError, "'31/02/2015' не является датой");
}

// ---- Independence of the C locale ----

// Puts the C locale back whatever the test's outcome.
struct TCLocaleAtEnd {
    ~TCLocaleAtEnd() { std::setlocale(LC_ALL, "C"); }
};

TEST(SysUtilsLocale, RussianLocaleChangesNothing)
{
    TCLocaleAtEnd restore;
    if (std::setlocale(LC_ALL, "ru_RU.UTF-8") == nullptr)
        GTEST_SKIP() << "the ru_RU.UTF-8 locale is not generated (scripts/setup.sh --tests does it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the locale should use a decimal comma";

    EXPECT_EQ(FormatFixed(-1234567.125, 2), "-1234567.13");
    EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
    EXPECT_EQ(StrToFloat("1750.50"), 1750.5);
    double value = 0;
    EXPECT_FALSE(TryStrToFloat("1750,50", value));
    EXPECT_EQ(StrToInt(" 1234567 "), 1234567);
    EXPECT_EQ(Format("%s%.6d%s|%d", "ABC", 42, "A.TLB", 1234567), "ABC000042A.TLB|1234567");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2015, 2, 1) + EncodeTime(9, 5, 7, 0)), "01/02/2015 09:05:07");
    EXPECT_EQ(StrToDate("1/2/2015"), EncodeDate(2015, 2, 1));
    EXPECT_TRUE(SameText("ёлка", "ЁЛКА"));
}

}  // namespace
