// CP1251 against Unicode and UTF-8: the program's own tables, byte-exact.

#include "platform/Encoding.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// A UTF-8 literal as std::string (narrow literals are CP1251 in the tests).
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Characters CP1251 lacks. They stay out of the assertion macros, whose text of the
// statement would have to be CP1251 too.
const std::string Chinese = Utf8(u8"a中b");
const std::string Emoji = Utf8(u8"😀");
constexpr char32_t ChineseCodePoint = U'中';

TEST(Encoding, EveryAssignedByteRoundTripsThroughUtf8)
{
    AnsiString all;
    for (int value = 0; value < 256; ++value) {
        const AnsiString byte(1, static_cast<char>(value));
        const std::string utf8 = AnsiToUtf8(byte);
        AnsiString exact;
        if (value == 0x98) {   // unassigned: U+FFFD, and "?" on the way back
            EXPECT_EQ(Hex(utf8), "EF BF BD");
            EXPECT_EQ(Utf8ToAnsi(utf8), "?");
            EXPECT_FALSE(Utf8ToAnsiExact(utf8, exact));
            continue;
        }
        EXPECT_TRUE(Utf8ToAnsiExact(utf8, exact)) << "byte " << value;
        EXPECT_EQ(Hex(exact), Hex(byte));
        all += byte;
    }
    // The whole text at once, NUL included.
    EXPECT_EQ(Hex(Utf8ToAnsi(AnsiToUtf8(all))), Hex(all));
}

TEST(Encoding, KnownCodePoints)
{
    EXPECT_EQ(Hex(Utf8ToAnsi(Utf8(u8"Ошибка"))), "CE F8 E8 E1 EA E0");
    EXPECT_EQ(AnsiToUtf8("Ошибка"), Utf8(u8"Ошибка"));
    EXPECT_EQ(Cp1251ToUnicode(0x88), U'€');
    unsigned char byte = 0;
    EXPECT_TRUE(UnicodeToCp1251(U'Ґ', byte));
    EXPECT_EQ(byte, 0xA5);
    EXPECT_FALSE(UnicodeToCp1251(ChineseCodePoint, byte));
    EXPECT_FALSE(UnicodeToCp1251(U'\uFFFD', byte));
    EXPECT_EQ(Hex(AnsiToUtf8(Bytes({'a', 0, 0xC0}))), "61 00 D0 90");
}

TEST(Encoding, CharacterMissingFromCp1251BecomesQuestionMark)
{
    EXPECT_EQ(Utf8ToAnsi(Chinese), "a?b");
    EXPECT_EQ(Utf8ToAnsi(Emoji), "?");
    AnsiString exact;
    EXPECT_FALSE(Utf8ToAnsiExact(Chinese, exact));
}

TEST(Encoding, InvalidUtf8GivesOneQuestionMarkPerBadByte)
{
    // A lone continuation byte, a lead byte without its follower, a byte never valid.
    EXPECT_EQ(Utf8ToAnsi(Bytes({'a', 0x80, 0xFF, 0xD0})), "a???");
    // A lead byte followed by a non-continuation: the follower is kept.
    EXPECT_EQ(Utf8ToAnsi(Bytes({0xD0, 'z'})), "?z");
    // Overlong "/" (C0 AF), an encoded surrogate (ED A0 80) and a code past U+10FFFF are
    // refused byte by byte.
    EXPECT_EQ(Utf8ToAnsi(Bytes({0xC0, 0xAF})), "??");
    EXPECT_EQ(Utf8ToAnsi(Bytes({0xED, 0xA0, 0x80})), "???");
    EXPECT_EQ(Utf8ToAnsi(Bytes({0xF4, 0x90, 0x80, 0x80})), "????");
    // The good Cyrillic around the bad byte survives.
    EXPECT_EQ(Hex(Utf8ToAnsi(Utf8(u8"Ош") + Bytes({0xC3}) + Utf8(u8"ка"))), "CE F8 3F EA E0");
    AnsiString exact;
    EXPECT_FALSE(Utf8ToAnsiExact(Bytes({0xC0, 0xAF}), exact));
}

TEST(Encoding, AppendUtf8AtEveryLength)
{
    std::string out;
    for (char32_t code : {U'A', U'Ж', U'€', char32_t(0x1F600)})
        AppendUtf8(out, code);
    EXPECT_EQ(out, Utf8(u8"AЖ€") + Emoji);
}

}  // namespace
