#include "documents/Validate.h"

#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

namespace {

constexpr char DecimalSeparator = '.';
constexpr char Digits[] = "0123456789";
constexpr char NameChars[] = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ- ";

// Amounts are kept with two decimals; anything that rounds to 0.00 is no amount.
constexpr double SmallestAmount = 0.005;

}  // namespace

void CheckChars(const AnsiString& value, const AnsiString& allowed)
{
    const size_t invalid = value.find_first_not_of(allowed);
    if (invalid != AnsiString::npos)
        throw EValidateError("Обнаружен недопустимый символ: " + value.substr(invalid, 1));
}

AnsiString NormalizeName(const AnsiString& value)
{
    TStringList parts;
    SplitString(parts, value, " ");
    AnsiString joined;
    for (const AnsiString& part : parts.Items())
        if (!part.empty())
            joined += part + ' ';
    const AnsiString name = UpperCase(TrimRight(joined));
    CheckChars(name, NameChars);
    return name;
}

AnsiString ValidateAccount(const AnsiString& value, bool padTo12, bool allow20)
{
    CheckChars(value, Digits);
    AnsiString account = value;
    if (padTo12 && account.size() < 12)
        account.insert(0, 12 - account.size(), '0');
    if ((padTo12 && account.size() == 12) || (allow20 && account.size() == 20))
        return account;
    throw EValidateError("Неверная длина счета");
}

AnsiString ValidateNumber(const AnsiString& value, int decimals)
{
    CheckChars(value, AnsiString("-") + Digits + DecimalSeparator);
    double number = 0;
    if (!TryStrToFloat(value, number))
        throw EValidateError("Неверный формат числа");

    const size_t separator = value.find(DecimalSeparator);
    AnsiString integerPart = value.substr(0, separator);
    AnsiString fraction = separator == AnsiString::npos ? AnsiString() : value.substr(separator + 1);
    if (integerPart.empty() || integerPart == "-")
        integerPart += '0';
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (static_cast<int>(fraction.size()) > decimals)
        throw EValidateError("Точность значения более " + IntToStr(decimals) + " знаков после запятой");
    // A whole number carries no point: "123." would be one character wider than the
    // number and fail a width that the number itself fits.
    if (decimals <= 0)
        return integerPart;
    fraction.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    return integerPart + DecimalSeparator + fraction;
}

AnsiString ValidateAmount(const AnsiString& value)
{
    const AnsiString amount = ValidateNumber(value, 2);
    if (StrToFloat(amount) < SmallestAmount)
        throw EValidateError("Значение должно быть больше нуля");
    return amount;
}

AnsiString ValidateDate(const AnsiString& value)
{
    TDateTime date = 0;
    if (!TryStrToDate(value, date))
        throw EValidateError("Неверный формат даты");
    return DateToStr(date);
}

AnsiString ValidateBIK(const AnsiString& value)
{
    CheckChars(value, Digits);
    if (value.size() != 9)
        throw EValidateError("Неверная длина БИК");
    return value;
}

AnsiString ValidateINN(const AnsiString& value)
{
    CheckChars(value, Digits);
    if (value.size() != 10 && value.size() != 12)
        throw EValidateError("Неверная длина ИНН");
    return value;
}

AnsiString ValidateValue(uint8_t kind, const AnsiString& value)
{
    switch (kind) {
    case vkName:
        return NormalizeName(value);
    case vkAccount12or20:
        return ValidateAccount(value, true, true);
    case vkAccount12:
        return ValidateAccount(value, true, false);
    case vkAccount20:
        return ValidateAccount(value, false, true);
    case vkDigits:
        CheckChars(value, Digits);
        return value;
    case vkAmount:
        return ValidateAmount(value);
    case vkDate:
        return ValidateDate(value);
    case vkBik:
        return ValidateBIK(value);
    case vkInn:
        return ValidateINN(value);
    default:
        return value;
    }
}
