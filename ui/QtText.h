#pragma once
// The border between the program's CP1251 text and Qt's Unicode strings.

#include "platform/AnsiString.h"

#include <QString>

QString ToQString(const AnsiString& text);
// A character that CP1251 lacks becomes "?".
AnsiString FromQString(const QString& text);
// False when the text holds a character that CP1251 lacks (the result is then unusable).
bool FromQStringExact(const QString& text, AnsiString& result);
