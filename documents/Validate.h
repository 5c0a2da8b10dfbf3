#pragma once
// Checks and normalisation of field values. Each routine returns the normalised value or
// raises EValidateError with a fixed message that names no column: the caller adds the
// column's caption in front.

#include "platform/AnsiString.h"

// Raises "Обнаружен недопустимый символ: " and the first character of the value that is
// not one of `allowed` (bytes compared exactly, letter case included).
void CheckChars(const AnsiString& value, const AnsiString& allowed);

// A decimal number written with exactly `decimals` digits after the point: 100 gives
// 100.00, .5 gives 0.50, 1.230 gives 1.23 (with 2 decimals); with 0 decimals the result
// ends with the point. Leading zeros and a leading "-" stay. Raises "Неверный формат
// числа" for a text that is not a number and "Точность значения более N знаков после
// запятой" when more non-zero decimals are given.
AnsiString ValidateNumber(const AnsiString& value, int decimals);

// The date re-written as "dd/mm/yyyy" (1/2/2015 gives 01/02/2015); "Неверный формат даты"
// when it is not a date.
AnsiString ValidateDate(const AnsiString& value);
