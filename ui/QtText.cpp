#include "ui/QtText.h"

#include "platform/Encoding.h"

#include <QList>

QString ToQString(const AnsiString& text)
{
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (unsigned char byte : text)
        result.append(QChar(static_cast<char16_t>(Cp1251ToUnicode(byte))));
    return result;
}

namespace {

// Converts code point by code point; `exact` stops at the first character CP1251 lacks.
bool Convert(const QString& text, AnsiString& result, bool exact)
{
    result.clear();
    result.reserve(static_cast<size_t>(text.size()));
    for (char32_t codePoint : text.toUcs4()) {
        unsigned char byte = '?';
        if (!UnicodeToCp1251(codePoint, byte)) {
            if (exact)
                return false;
            byte = '?';
        }
        result.push_back(static_cast<char>(byte));
    }
    return true;
}

}  // namespace

AnsiString FromQString(const QString& text)
{
    AnsiString result;
    Convert(text, result, false);
    return result;
}

bool FromQStringExact(const QString& text, AnsiString& result)
{
    return Convert(text, result, true);
}
