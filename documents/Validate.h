#pragma once
// Checks and normalisation of field values. Each routine returns the normalised value or
// raises EValidateError with a fixed message that names no column: the caller adds the
// column's caption in front.

#include "platform/AnsiString.h"

#include <cstdint>
#include <memory>

// Raises "Обнаружен недопустимый символ: " and the first character of the value that is
// not one of `allowed` (bytes compared exactly, letter case included).
void CheckChars(const AnsiString& value, const AnsiString& allowed);

// A person's name: runs of spaces folded to one, no spaces at the ends, upper-cased
// (Cyrillic included). Only Cyrillic letters, "-" and spaces pass: a Latin letter, a digit,
// a dot or a tab raises the character error (naming the character upper-cased).
AnsiString NormalizeName(const AnsiString& value);

// An account of digits. With padTo12 a shorter value gets zeros in front up to 12
// digits; 12 digits pass with padTo12, 20 digits with allow20, any other length raises
// "Неверная длина счета".
AnsiString ValidateAccount(const AnsiString& value, bool padTo12, bool allow20);

// A decimal number written with exactly `decimals` digits after the point: 100 gives
// 100.00, .5 gives 0.50, 1.230 gives 1.23 (with 2 decimals); with 0 decimals the result is
// the integer part alone (5.000 gives 5). Leading zeros and a leading "-" stay. Raises
// "Неверный формат числа" for a text that is not a number and "Точность значения более N
// знаков после запятой" when more non-zero decimals are given.
AnsiString ValidateNumber(const AnsiString& value, int decimals);

// A sum of money: a number with 2 decimals that is above zero; 0.00 and every negative
// amount raise "Значение должно быть больше нуля".
AnsiString ValidateAmount(const AnsiString& value);

// The date re-written as "dd/mm/yyyy" (1/2/2015 gives 01/02/2015); "Неверный формат даты"
// when it is not a date.
AnsiString ValidateDate(const AnsiString& value);

// A bank identification code: 9 digits, else "Неверная длина БИК". Returned unchanged.
AnsiString ValidateBIK(const AnsiString& value);

// A taxpayer number: 10 or 12 digits, else "Неверная длина ИНН". Returned unchanged.
AnsiString ValidateINN(const AnsiString& value);

// The non-empty value checked and normalised by the routine of its value kind (vkName ..
// vkInn of the document tables). Free text, and a kind that no routine serves, come back
// unchanged.
AnsiString ValidateValue(uint8_t kind, const AnsiString& value);

// ---- Records ----

class TRecord;
class TEtalon;
class TEtalonArray;
struct TDocTypeInfo;

// The check of a document kind's records before they are exported: every field of the
// kind by its column's rules. A validator lives for one export run: Prepare once, then
// Validate per record.
class TExportValidator {
public:
    explicit TExportValidator(const TDocTypeInfo* docType);
    virtual ~TExportValidator();

    TExportValidator(const TExportValidator&) = delete;
    TExportValidator& operator=(const TExportValidator&) = delete;

    // Readies what the whole run needs; nothing for a plain kind.
    virtual void Prepare();
    // Checks fields 0 .. FieldCount - 1 in order and writes each back trimmed and
    // normalised. The first failure raises with the column's caption and ": " in front of
    // its message; the fields before it stay rewritten.
    virtual void Validate(TRecord* record);

    const TDocTypeInfo* DocType() const { return FDocType; }

private:
    const TDocTypeInfo* FDocType;
    AnsiString FValue;   // the field under check, its memory kept from record to record
};

// The salary list's validator: the field rules, then the column-group rules, the rule
// against a service-provider account beside a recipient account, and the look-up of the
// record in each reference list that the current profile requires.
class TSalaryValidator : public TExportValidator {
public:
    TSalaryValidator();
    ~TSalaryValidator() override;

    // Loads the current profile's reference lists from its "Cache/" folder. A required
    // list that is missing raises title + " отсутствует, сделайте обновление"; one formed
    // EtalonExpire or more days before today raises title + " устарел, сделайте
    // обновление" (plain Exception: the run stops).
    void Prepare() override;
    void Validate(TRecord* record) override;

    TEtalonArray& EtalonArray() { return *FEtalonArray; }

private:
    // The loaded list of a required type; a missing one raises the update message.
    TEtalon& RequiredEtalon(int type) const;
    std::unique_ptr<TEtalonArray> FEtalonArray;
};
