#include "documents/Validate.h"

#include "support/TestSupport.h"

TEST(ValidateTest, CheckCharsNamesTheFirstBadCharacter)
{
    CheckChars("", "0123456789");
    CheckChars("0042", "0123456789");
    EXPECT_RAISES(CheckChars("12a4b", "0123456789"), EValidateError, "Обнаружен недопустимый символ: a");
    EXPECT_RAISES(CheckChars("АБв", "АБВ"), EValidateError, "Обнаружен недопустимый символ: в");
}

TEST(ValidateTest, NumbersGetTheirDecimals)
{
    EXPECT_EQ(ValidateNumber("100", 2), "100.00");
    EXPECT_EQ(ValidateNumber(".5", 2), "0.50");
    EXPECT_EQ(ValidateNumber("-.5", 2), "-0.50");
    EXPECT_EQ(ValidateNumber("1.230", 2), "1.23");
    EXPECT_EQ(ValidateNumber("007", 1), "007.0");
    EXPECT_EQ(ValidateNumber("5", 0), "5.");
    EXPECT_EQ(ValidateNumber("5.000", 0), "5.");
    EXPECT_RAISES(ValidateNumber("1.234", 2), EValidateError, "Точность значения более 2 знаков после запятой");
    EXPECT_RAISES(ValidateNumber("1,5", 2), EValidateError, "Обнаружен недопустимый символ: ,");
    EXPECT_RAISES(ValidateNumber(" 1", 2), EValidateError, "Обнаружен недопустимый символ:  ");
    for (const char* bad : {"1-2", "-", ".", "1..2", "--1"})
        EXPECT_RAISES(ValidateNumber(bad, 2), EValidateError, "Неверный формат числа");
}

TEST(ValidateTest, DatesAreRewritten)
{
    EXPECT_EQ(ValidateDate("1/2/2015"), "01/02/2015");
    EXPECT_EQ(ValidateDate("31/01/2015"), "31/01/2015");
    for (const char* bad : {"31/02/2015", "2015-01-31", "", "1/13/2015"})
        EXPECT_RAISES(ValidateDate(bad), EValidateError, "Неверный формат даты");
}
