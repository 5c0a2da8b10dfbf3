#include "documents/Exportfiles.h"
#include "documents/Validate.h"

#include "support/TestSupport.h"

TEST(ValidateTest, CheckCharsAndNames)
{
    CheckChars("0042", "0123456789");
    EXPECT_RAISES(CheckChars("12a4b", "0123456789"), EValidateError, "Обнаружен недопустимый символ: a");
    EXPECT_RAISES(CheckChars("АБв", "АБВ"), EValidateError, "Обнаружен недопустимый символ: в");

    EXPECT_ANSI_EQ(NormalizeName("  иванов   пётр  сергеевич "), "ИВАНОВ ПЁТР СЕРГЕЕВИЧ");
    EXPECT_ANSI_EQ(NormalizeName("Салтыков-Щедрин Ёж"), "САЛТЫКОВ-ЩЕДРИН ЁЖ");
    EXPECT_ANSI_EQ(NormalizeName("   "), "");
    // The character is named as it was upper-cased.
    EXPECT_RAISES(NormalizeName("Иванов p"), EValidateError, "Обнаружен недопустимый символ: P");
    EXPECT_RAISES(NormalizeName("Иванов И."), EValidateError, "Обнаружен недопустимый символ: .");
    EXPECT_RAISES(NormalizeName("Иванов\tИван"), EValidateError, "Обнаружен недопустимый символ: \t");
}

TEST(ValidateTest, AccountsArePaddedTo12OrKeptAt20)
{
    const AnsiString twenty = "40817810000000000001";
    EXPECT_EQ(ValidateAccount("123", true, true), "000000000123");
    EXPECT_EQ(ValidateAccount("123456789012", true, false), "123456789012");
    EXPECT_EQ(ValidateAccount(twenty, true, true), twenty);
    EXPECT_EQ(ValidateAccount(twenty, false, true), twenty);
    EXPECT_RAISES(ValidateAccount("123", false, true), EValidateError, "Неверная длина счета");
    EXPECT_RAISES(ValidateAccount(twenty, true, false), EValidateError, "Неверная длина счета");
    for (bool allow20 : {true, false})
        EXPECT_RAISES(ValidateAccount("1234567890123", true, allow20), EValidateError, "Неверная длина счета");
    EXPECT_RAISES(ValidateAccount("12 3", true, true), EValidateError, "Обнаружен недопустимый символ:  ");
}

TEST(ValidateTest, NumbersGetTheirDecimals)
{
    EXPECT_EQ(ValidateNumber("100", 2), "100.00");
    EXPECT_EQ(ValidateNumber(".5", 2), "0.50");
    EXPECT_EQ(ValidateNumber("-.5", 2), "-0.50");
    EXPECT_EQ(ValidateNumber("1.230", 2), "1.23");
    EXPECT_EQ(ValidateNumber("007", 1), "007.0");
    EXPECT_EQ(ValidateNumber("5.", 1), "5.0");
    // A whole number is written without a point.
    EXPECT_EQ(ValidateNumber("123", 0), "123");
    EXPECT_EQ(ValidateNumber("5.000", 0), "5");
    EXPECT_EQ(ValidateNumber("-.0", 0), "-0");
    EXPECT_RAISES(ValidateNumber("1.5", 0), EValidateError, "Точность значения более 0 знаков после запятой");
    EXPECT_RAISES(ValidateNumber("1.234", 2), EValidateError, "Точность значения более 2 знаков после запятой");
    EXPECT_RAISES(ValidateNumber("1,5", 2), EValidateError, "Обнаружен недопустимый символ: ,");
    EXPECT_RAISES(ValidateNumber(" 1", 2), EValidateError, "Обнаружен недопустимый символ:  ");
    for (const char* bad : {"1-2", "-", ".", "1..2", "--1", ""})
        EXPECT_RAISES(ValidateNumber(bad, 2), EValidateError, "Неверный формат числа");

    // Amounts are numbers of two decimals above zero.
    EXPECT_EQ(ValidateAmount(".5"), "0.50");
    for (const char* notPositive : {"0.00", "0", "-.5", "-100"})
        EXPECT_RAISES(ValidateAmount(notPositive), EValidateError, "Значение должно быть больше нуля");
    EXPECT_RAISES(ValidateAmount("0.001"), EValidateError, "Точность значения более 2 знаков после запятой");
}

TEST(ValidateTest, DatesAreRewrittenAndBikAndInnHaveTheirLengths)
{
    EXPECT_EQ(ValidateDate("1/2/2015"), "01/02/2015");
    EXPECT_EQ(ValidateDate("29/02/2016"), "29/02/2016");
    for (const char* bad : {"31/02/2015", "29/02/2015", "2015-01-31", "", "1/13/2015"})
        EXPECT_RAISES(ValidateDate(bad), EValidateError, "Неверный формат даты");

    EXPECT_EQ(ValidateBIK("044525225"), "044525225");
    EXPECT_RAISES(ValidateBIK("04452522"), EValidateError, "Неверная длина БИК");
    EXPECT_RAISES(ValidateBIK("04452522X"), EValidateError, "Обнаружен недопустимый символ: X");
    EXPECT_EQ(ValidateINN("7707083893"), "7707083893");
    EXPECT_EQ(ValidateINN("500100732259"), "500100732259");
    for (const char* bad : {"77070838931", "770708389", "7707083893123"})
        EXPECT_RAISES(ValidateINN(bad), EValidateError, "Неверная длина ИНН");
}

TEST(ValidateTest, EachKindHasItsRoutine)
{
    EXPECT_EQ(ValidateValue(vkText, " a.b "), " a.b ");
    EXPECT_ANSI_EQ(ValidateValue(vkName, "ли  хуа"), "ЛИ ХУА");
    EXPECT_EQ(ValidateValue(vkAccount12or20, "7"), "000000000007");
    EXPECT_RAISES(ValidateValue(vkAccount12, "40817810000000000001"), EValidateError, "Неверная длина счета");
    EXPECT_RAISES(ValidateValue(vkAccount20, "7"), EValidateError, "Неверная длина счета");
    EXPECT_EQ(ValidateValue(vkDigits, "007"), "007");
    EXPECT_RAISES(ValidateValue(vkDigits, "0-7"), EValidateError, "Обнаружен недопустимый символ: -");
    EXPECT_RAISES(ValidateValue(vkAmount, "-1"), EValidateError, "Значение должно быть больше нуля");
    EXPECT_EQ(ValidateValue(vkDate, "1/2/15"), "01/02/2015");
    EXPECT_RAISES(ValidateValue(vkBik, "1"), EValidateError, "Неверная длина БИК");
    EXPECT_RAISES(ValidateValue(vkInn, "1"), EValidateError, "Неверная длина ИНН");
}
