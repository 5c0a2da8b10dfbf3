#include "documents/Validate.h"

#include "platform/Exception.h"
#include "platform/SysUtils.h"

namespace {

constexpr char DecimalSeparator = '.';

}  // namespace

void CheckChars(const AnsiString& value, const AnsiString& allowed)
{
    const size_t valid = value.find_first_not_of(allowed);
    if (valid != AnsiString::npos)
        throw EValidateError("Обнаружен недопустимый символ: " + value.substr(valid, 1));
}

AnsiString ValidateNumber(const AnsiString& value, int decimals)
{
    CheckChars(value, AnsiString("-0123456789") + DecimalSeparator);
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
    fraction.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    return integerPart + DecimalSeparator + fraction;
}

AnsiString ValidateDate(const AnsiString& value)
{
    TDateTime date = 0;
    if (!TryStrToDate(value, date))
        throw EValidateError("Неверный формат даты");
    return DateToStr(date);
}
