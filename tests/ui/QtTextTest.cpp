#include "ui/QtText.h"

#include "support/TestSupport.h"

TEST(QtText, EveryAssignedCp1251ByteCrossesToQtAndBack)
{
    for (int byte = 0; byte < 256; ++byte) {
        const AnsiString text(1, static_cast<char>(byte));
        const AnsiString back = FromQString(ToQString(text));
        if (byte == 0x98)
            EXPECT_ANSI_EQ(back, "?");   // unassigned in CP1251
        else
            EXPECT_ANSI_EQ(back, text) << "byte " << byte;
    }
}

TEST(QtText, CyrillicAndNumeroSignMapToTheirUnicodeCharacters)
{
    EXPECT_EQ(ToQString("Ошибка №1"), QStringLiteral("Ошибка №1"));
    EXPECT_ANSI_EQ(FromQString(QStringLiteral("Ёлка №5")), "Ёлка №5");
}

TEST(QtText, CharactersThatCp1251LacksAreMarkedOrRefused)
{
    const QString chinese = QStringLiteral("файл中.txt");
    EXPECT_ANSI_EQ(FromQString(chinese), "файл?.txt");
    AnsiString exact;
    EXPECT_FALSE(FromQStringExact(chinese, exact));
    EXPECT_TRUE(FromQStringExact(QStringLiteral("файл.txt"), exact));
    EXPECT_ANSI_EQ(exact, "файл.txt");
}

TEST(QtText, NulBytesAreKept)
{
    const AnsiString text("a\0b", 3);
    EXPECT_EQ(ToQString(text).size(), 3);
    EXPECT_ANSI_EQ(FromQString(ToQString(text)), text);
}
