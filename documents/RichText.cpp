#include "documents/RichText.h"

#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstdio>

TRichText::TRichText(const AnsiString& fontName, int fontSize) : FParagraphs(1)
{
    FFont.Name = fontName;
    FFont.Size = fontSize;
}

void TRichText::SetAlignment(TRichAlignment alignment)
{
    FParagraphs.back().Alignment = alignment;
}

void TRichText::SetFirstIndent(int points)
{
    FParagraphs.back().FirstIndent = points;
}

void TRichText::Add(const AnsiString& text)
{
    AddUtf8(AnsiToUtf8(text));
}

void TRichText::AddUtf8(const Utf8String& text)
{
    size_t start = 0;
    while (true) {
        const size_t lineEnd = text.find('\n', start);
        Utf8String piece = text.substr(start, lineEnd == Utf8String::npos ? Utf8String::npos : lineEnd - start);
        // CR LF ends one line, as LF alone does.
        if (lineEnd != Utf8String::npos && !piece.empty() && piece.back() == '\r')
            piece.pop_back();
        std::vector<TRichRun>& runs = FParagraphs.back().Runs;
        if (!piece.empty()) {
            if (!runs.empty() && runs.back().Font == FFont)
                runs.back().Utf8Text += piece;
            else
                runs.push_back({piece, FFont});
        }
        if (lineEnd == Utf8String::npos)
            return;
        TRichParagraph next;
        next.Alignment = FParagraphs.back().Alignment;
        next.FirstIndent = FParagraphs.back().FirstIndent;
        FParagraphs.push_back(std::move(next));
        start = lineEnd + 1;
    }
}

Utf8String TRichText::PlainTextUtf8() const
{
    Utf8String result;
    for (size_t i = 0; i < FParagraphs.size(); ++i) {
        if (i > 0)
            result += '\n';
        for (const TRichRun& run : FParagraphs[i].Runs)
            result += run.Utf8Text;
    }
    return result;
}

namespace {

// The fonts and colours that the text uses, in order of first use: the RTF tables refer
// to them by index.
struct TRtfTables {
    std::vector<AnsiString> Fonts;
    std::vector<TRichColor> Colors;  // index 0 of the RTF table is the automatic colour

    explicit TRtfTables(const TRichText& text)
    {
        for (const TRichParagraph& paragraph : text.Paragraphs())
            for (const TRichRun& run : paragraph.Runs) {
                if (std::find(Fonts.begin(), Fonts.end(), run.Font.Name) == Fonts.end())
                    Fonts.push_back(run.Font.Name);
                if (run.Font.Color != RichAutoColor &&
                    std::find(Colors.begin(), Colors.end(), run.Font.Color) == Colors.end())
                    Colors.push_back(run.Font.Color);
            }
        if (Fonts.empty())
            Fonts.push_back("Times New Roman");
    }

    size_t FontIndex(const AnsiString& name) const
    {
        return std::find(Fonts.begin(), Fonts.end(), name) - Fonts.begin();
    }
    size_t ColorIndex(TRichColor color) const
    {
        if (color == RichAutoColor)
            return 0;
        return std::find(Colors.begin(), Colors.end(), color) - Colors.begin() + 1;
    }
};

void AppendHexByte(AnsiString& rtf, unsigned char byte)
{
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\'%02x", byte);
    rtf += escaped;
}

// A character CP1251 lacks: its UTF-16 units as signed 16-bit numbers, each followed by
// the one character (\uc1) that a reader without Unicode shows instead.
void AppendUnicode(AnsiString& rtf, char32_t codePoint)
{
    const auto appendUnit = [&rtf](char32_t unit) { rtf += "\\u" + IntToStr(static_cast<int16_t>(unit)) + "?"; };
    if (codePoint < 0x10000) {
        appendUnit(codePoint);
        return;
    }
    codePoint -= 0x10000;
    appendUnit(0xD800 + (codePoint >> 10));
    appendUnit(0xDC00 + (codePoint & 0x3FF));
}

void AppendCharacter(AnsiString& rtf, char32_t codePoint)
{
    unsigned char byte = 0;
    if (codePoint == '\\' || codePoint == '{' || codePoint == '}') {
        rtf += '\\';
        rtf += static_cast<char>(codePoint);
    } else if (codePoint == '\t') {
        rtf += "\\tab ";
    } else if (codePoint >= 0x20 && codePoint < 0x7F) {
        rtf += static_cast<char>(codePoint);
    } else if (UnicodeToCp1251(codePoint, byte)) {
        AppendHexByte(rtf, byte);
    } else {
        AppendUnicode(rtf, codePoint);
    }
}

// UTF-8 text as RTF text; a byte that is not valid UTF-8 counts as U+FFFD.
AnsiString EscapeRtf(const Utf8String& text)
{
    AnsiString result;
    result.reserve(text.size());
    const std::vector<size_t> starts = Utf8CharacterStarts(text);
    for (size_t i = 0; i + 1 < starts.size(); ++i)
        AppendCharacter(result, FirstUtf8CodePoint(std::string_view(text).substr(starts[i], starts[i + 1] - starts[i])));
    return result;
}

AnsiString FontTable(const TRtfTables& tables)
{
    AnsiString result = "{\\fonttbl";
    for (size_t i = 0; i < tables.Fonts.size(); ++i)
        result += "{\\f" + IntToStr(i) + "\\fnil\\fcharset204 " + EscapeRtf(AnsiToUtf8(tables.Fonts[i])) + ";}";
    return result + "}";
}

AnsiString ColorTable(const TRtfTables& tables)
{
    AnsiString result = "{\\colortbl ;";
    for (const TRichColor color : tables.Colors)
        result += "\\red" + IntToStr(color & 0xFF) + "\\green" + IntToStr((color >> 8) & 0xFF) + "\\blue" +
                  IntToStr((color >> 16) & 0xFF) + ";";
    return result + "}";
}

const char* AlignmentWord(TRichAlignment alignment)
{
    switch (alignment) {
    case TRichAlignment::Center: return "\\qc";
    case TRichAlignment::Right: return "\\qr";
    default: return "\\ql";
    }
}

// The control words that give a run its font, from a plain state: every run states all of
// its attributes, so no run depends on the one before it.
AnsiString RunFormat(const TRtfTables& tables, const TRichFont& font)
{
    AnsiString result = "\\plain\\f" + IntToStr(tables.FontIndex(font.Name)) + "\\fs" + IntToStr(font.Size * 2);
    if (font.Bold)
        result += "\\b";
    if (font.Italic)
        result += "\\i";
    if (font.Underline)
        result += "\\ul";
    result += "\\cf" + IntToStr(tables.ColorIndex(font.Color));
    return result + " ";
}

}  // namespace

AnsiString RichTextToRtf(const TRichText& text)
{
    const TRtfTables tables(text);
    AnsiString rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049" + FontTable(tables) + ColorTable(tables) +
                     "\r\n\\viewkind4\\uc1";
    const std::vector<TRichParagraph>& paragraphs = text.Paragraphs();
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const TRichParagraph& paragraph = paragraphs[i];
        rtf += "\\pard";
        rtf += AlignmentWord(paragraph.Alignment);
        if (paragraph.FirstIndent != 0)
            rtf += "\\fi" + IntToStr(paragraph.FirstIndent * 20);
        rtf += " ";
        for (const TRichRun& run : paragraph.Runs)
            rtf += "{" + RunFormat(tables, run.Font) + EscapeRtf(run.Utf8Text) + "}";
        // The last paragraph is the one still being typed: it ends the document without a
        // paragraph mark of its own, as a rich edit saves it.
        if (i + 1 < paragraphs.size())
            rtf += "\\par\r\n";
    }
    return rtf + "\r\n}\r\n";
}

void SaveRichTextAsRtf(const TRichText& text, const AnsiString& fileName)
{
    WriteFileAtomically(fileName, RichTextToRtf(text));
}
