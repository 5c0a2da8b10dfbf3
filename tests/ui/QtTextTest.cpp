#include "ui/QtText.h"

#include "support/TestSupport.h"

TEST(QtText, EveryAssignedCp1251ByteCrossesToQtAndBack)
{
    for (int byte = 0; byte < 256; ++byte) {
        const AnsiString text(1, static_cast<char>(byte));
        EXPECT_ANSI_EQ(FromQString(ToQString(text)), byte == 0x98 ? "?" : text) << "byte " << byte;
    }
    EXPECT_EQ(ToQString("Ошибка №1"), QStringLiteral("Ошибка №1"));
    const AnsiString withNul("a\0b", 3);
    EXPECT_EQ(ToQString(withNul).size(), 3);
    EXPECT_ANSI_EQ(FromQString(ToQString(withNul)), withNul);
}

TEST(QtText, CharactersThatCp1251LacksAreMarkedOrRefused)
{
    const QString chinese = QStringLiteral("файл中.txt");
    EXPECT_ANSI_EQ(FromQString(chinese), "файл?.txt");
    AnsiString exact;
    EXPECT_FALSE(FromQStringExact(chinese, exact));
    EXPECT_TRUE(FromQStringExact(QStringLiteral("Ёлка №5"), exact));
    EXPECT_ANSI_EQ(exact, "Ёлка №5");
}
