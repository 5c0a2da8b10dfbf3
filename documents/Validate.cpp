#include "documents/Validate.h"

#include "documents/Common.h"
#include "documents/Etalons.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "documents/Records.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <array>
#include <span>
#include <string_view>

namespace {

constexpr char DecimalSeparator = '.';

// A set of bytes as a table, so that checking a value reads one entry per byte.
struct TCharSet {
    bool Allowed[256] = {};
    constexpr explicit TCharSet(std::string_view allowed)
    {
        for (const char c : allowed)
            Allowed[static_cast<unsigned char>(c)] = true;
    }
};

constexpr TCharSet Digits("0123456789");
constexpr TCharSet NumberChars("-0123456789.");
constexpr TCharSet NameChars("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ- ");

// Amounts are kept with two decimals; anything that rounds to 0.00 is no amount.
constexpr double SmallestAmount = 0.005;

// Salary fields that the cross-column rules name.
constexpr int ServiceAccountField = 4;     // "Счет ПУ"
constexpr int RecipientAccountField = 9;   // "Счет получателя"

// A field that the record does not have reads as empty.
bool FieldFilled(const TRecord& record, int index)
{
    if (index >= record.Count())
        return false;
    thread_local AnsiString buffer;
    return !record.GetView(index, buffer).empty();
}

// Raises the character error for the first byte of value that is not in the set.
void CheckChars(const AnsiString& value, const TCharSet& set)
{
    for (size_t i = 0; i < value.size(); ++i)
        if (!set.Allowed[static_cast<unsigned char>(value[i])])
            throw EValidateError("Обнаружен недопустимый символ: " + value.substr(i, 1));
}

// The group of SalaryColumnGroups that begins at `at`: its columns up to the closing -1,
// which `at` is moved past. The empty group that ends the list, or the list's end, gives
// no columns.
std::span<const int32_t> NextColumnGroup(size_t& at)
{
    const size_t first = at;
    while (at < SalaryColumnGroupsCount && SalaryColumnGroups[at] >= 0)
        ++at;
    const std::span<const int32_t> group(SalaryColumnGroups + first, at - first);
    if (at < SalaryColumnGroupsCount)
        ++at;
    return group;
}

bool AnyFilled(const TRecord& record, std::span<const int32_t> columns)
{
    for (const int32_t column : columns)
        if (FieldFilled(record, column))
            return true;
    return false;
}

// The column groups come in pairs: when any column of the condition group is filled,
// the first empty column of the required group (in table order) is an error.
void CheckColumnGroups(const TRecord& record, const TColumnInfo* columns)
{
    size_t at = 0;
    for (;;) {
        const std::span<const int32_t> condition = NextColumnGroup(at);
        if (condition.empty())
            return;
        const std::span<const int32_t> required = NextColumnGroup(at);
        if (!AnyFilled(record, condition))
            continue;
        for (const int32_t column : required)
            if (!FieldFilled(record, column))
                throw EValidateError(AnsiString(columns[column].Caption) + ": Значение поля не задано");
    }
}

// NormalizeName in place: the name is never longer than the value, so each byte is
// written at or before the place it was read from.
void NormalizeNameInPlace(AnsiString& name)
{
    const std::array<char, 256>& upperCaseOf = UpperCaseTable();
    size_t length = 0;
    for (const char c : name) {
        if (c != ' ')
            name[length++] = upperCaseOf[static_cast<unsigned char>(c)];
        else if (length > 0 && name[length - 1] != ' ')
            name[length++] = ' ';
    }
    while (length > 0 && static_cast<unsigned char>(name[length - 1]) < 33)
        --length;
    name.resize(length);
    CheckChars(name, NameChars);
}

// The trimmed value of a field checked by its column's rules and normalised in place (a
// name without a copy: one comes with every salary record); a failure gets the column's
// caption in front of its message.
void CheckField(AnsiString& value, const TColumnInfo& column)
{
    try {
        if (value.empty()) {
            if (column.Mandatory)
                throw EValidateError("Значение поля не задано");
            return;
        }
        if (column.Kind == vkName)
            NormalizeNameInPlace(value);
        else
            value = ValidateValue(column.Kind, value);
        if (value.size() > static_cast<size_t>(column.MaxLength))
            throw EValidateError("Значение поля слишком велико");
    } catch (Exception& error) {
        error.SetMessage(AnsiString(column.Caption) + ": " + error.Message());
        throw;
    }
}

}  // namespace

void CheckChars(const AnsiString& value, const AnsiString& allowed)
{
    CheckChars(value, TCharSet(allowed));
}

// In one pass: the words upper-cased with one space between them, then the end trimmed of
// bytes below 33 (as the words' own control characters at the end would be).
AnsiString NormalizeName(const AnsiString& value)
{
    AnsiString name = value;
    NormalizeNameInPlace(name);
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

namespace {

// ValidateNumber's work, with the number's value for the caller's own checks.
AnsiString NormalisedNumber(const AnsiString& value, int decimals, double& number)
{
    CheckChars(value, NumberChars);
    if (!TryStrToFloat(value, number))
        throw EValidateError("Неверный формат числа");

    const std::string_view text = value;
    const size_t separator = text.find(DecimalSeparator);
    const std::string_view integerPart = text.substr(0, separator);
    std::string_view fraction = separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);
    fraction = fraction.substr(0, fraction.find_last_not_of('0') + 1);
    if (static_cast<int>(fraction.size()) > decimals)
        throw EValidateError("Точность значения более " + IntToStr(decimals) + " знаков после запятой");
    AnsiString normalised(integerPart);
    if (integerPart.empty() || integerPart == "-")
        normalised += '0';
    // A whole number carries no point: "123." would be one character wider than the
    // number and fail a width that the number itself fits.
    if (decimals <= 0)
        return normalised;
    normalised += DecimalSeparator;
    normalised += fraction;
    normalised.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    return normalised;
}

}  // namespace

AnsiString ValidateNumber(const AnsiString& value, int decimals)
{
    double number = 0;
    return NormalisedNumber(value, decimals, number);
}

// The normalised amount writes the same decimal number as the value (only zeros at the
// ends differ), so the value parsed from the value is the amount's.
AnsiString ValidateAmount(const AnsiString& value)
{
    double number = 0;
    AnsiString amount = NormalisedNumber(value, 2, number);
    if (number < SmallestAmount)
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

TExportValidator::TExportValidator(const TDocTypeInfo* docType) : FDocType(docType) {}

TExportValidator::~TExportValidator() = default;

void TExportValidator::Prepare() {}

void TExportValidator::Validate(TRecord* record)
{
    for (int i = 0; i < FDocType->FieldCount; ++i) {
        // Trimmed as it is copied: a view into FValue itself is copied correctly too.
        FValue.assign(TrimmedView(record->GetView(i, FValue)));
        CheckField(FValue, FDocType->Columns[i]);
        record->Set(i, FValue);
    }
}

TSalaryValidator::TSalaryValidator()
    : TExportValidator(&ExportDocTypes[0]), FEtalonArray(std::make_unique<TEtalonArray>())
{
}

TSalaryValidator::~TSalaryValidator() = default;

void TSalaryValidator::Prepare()
{
    const TSalaryProfile& salary = CurrentSalaryProfile();
    FEtalonArray->Load(EtalonsFileName(CurrentProfile().Prefix));
    const TDateTime today = Date();
    for (int i = 0; i < salary.EtalonTypes.Count(); ++i) {
        const TEtalon& etalon = RequiredEtalon(salary.EtalonTypes.At(i));
        if (today >= etalon.FormedDate() + salary.EtalonExpire)
            throw Exception(etalon.Title() + " устарел, сделайте обновление");
    }
}

void TSalaryValidator::Validate(TRecord* record)
{
    TExportValidator::Validate(record);
    CheckColumnGroups(*record, DocType()->Columns);
    if (FieldFilled(*record, ServiceAccountField) && FieldFilled(*record, RecipientAccountField))
        throw EValidateError("Неоднозначные данные: заполнен счет ПУ и также указаны реквизиты внешнего платежа");
    const TEtalonTypes& types = CurrentSalaryProfile().EtalonTypes;
    for (int i = 0; i < types.Count(); ++i)
        RequiredEtalon(types.At(i)).Check(record);
}

// Also guards Validate: a record is never let through unchecked because the list was not
// loaded (Prepare not run, or the profile's types changed since).
TEtalon& TSalaryValidator::RequiredEtalon(int type) const
{
    TEtalon* etalon = FEtalonArray->At(type);
    if (!etalon)
        throw Exception(AnsiString(EtalonTypeInfos[type].Title) + " отсутствует, сделайте обновление");
    return *etalon;
}
