#include "documents/Charsets.h"

#include "support/TestSupport.h"

#include <numeric>

namespace {

const AnsiString CyrillicText = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя №";

}  // namespace

TEST(CharsetsTest, EveryCodePageKeepsAsciiNulBytesAndCyrillic)
{
    const AnsiString ascii = "Hello, World! 0123456789 ~`@#$%^&*()_+-=[]{};:'\"\\|,.<>/?";
    const AnsiString text = CyrillicText + '\0' + ascii;
    for (int codePage = 0; codePage <= 3; ++codePage) {
        EXPECT_EQ(FromAnsi(ascii, codePage), ascii) << codePage;
        EXPECT_ANSI_EQ(ToAnsi(FromAnsi(text, codePage), codePage), text) << codePage;
    }
}

TEST(CharsetsTest, KnownBytesAndMissingCharacters)
{
    EXPECT_EQ(Hex(AnsiToOem("АЯаяЁё№")), "80 9F A0 EF F0 F1 FC");
    EXPECT_EQ(Hex(AnsiToKoi8("Ошибка Ёё")), "EF DB C9 C2 CB C1 20 B3 A3");
    // Box drawing has no place in CP1251, the guillemets none in CP866.
    EXPECT_ANSI_EQ(OemToAnsi(Bytes({0xC4, 0xB3, 0xDB})), "???");
    EXPECT_EQ(AnsiToOem("«»"), "??");
}

TEST(CharsetsTest, Koi8AllBytesSurviveTheTripThroughCp866)
{
    BuildKoi8ReverseTable();
    AnsiString all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    EXPECT_EQ(OemToKoi8(Koi8ToOem(all)), all);
    // The eight KOI8-R characters that CP866 lacks take its leftover codes.
    EXPECT_EQ(Hex(Koi8ToOem(Bytes({0x93, 0x97, 0x98, 0x99, 0x9B, 0x9D, 0x9F, 0xBF}))),
              "F4 F7 F3 F2 F5 FD F6 FC");
    // Box drawing keeps its shape: KOI8-R 0x80 and 0xA0 are CP866 0xC4 and 0xCD.
    EXPECT_EQ(Hex(Koi8ToOem(Bytes({0x80, 0xA0}))), "C4 CD");
}

TEST(CharsetsTest, Utf8ByCodePage)
{
    EXPECT_EQ(FromAnsi("Ошибка №1", CodePageUtf8), "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0 \xE2\x84\x96" "1");
    // Invalid UTF-8: one "?" per bad byte, the rest of the line kept.
    EXPECT_ANSI_EQ(ToAnsi("a\xFF\xFE" "b", CodePageUtf8), "a??b");
    // A character CP1251 lacks.
    EXPECT_ANSI_EQ(ToAnsi("\xE2\x88\x9A", CodePageUtf8), "?");
    // Unknown codes (the XML file's 4) take the text as it stands.
    EXPECT_EQ(ToAnsi("\xFF", 4), "\xFF");
    EXPECT_EQ(FromAnsi("\xFF", 4), "\xFF");
}
