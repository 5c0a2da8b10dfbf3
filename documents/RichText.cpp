#include "documents/RichText.h"

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
    size_t start = 0;
    while (true) {
        const size_t lineEnd = text.find('\n', start);
        AnsiString piece = text.substr(start, lineEnd == AnsiString::npos ? AnsiString::npos : lineEnd - start);
        // CR LF ends one line, as LF alone does.
        if (lineEnd != AnsiString::npos && !piece.empty() && piece.back() == '\r')
            piece.pop_back();
        std::vector<TRichRun>& runs = FParagraphs.back().Runs;
        if (!piece.empty()) {
            if (!runs.empty() && runs.back().Font == FFont)
                runs.back().Text += piece;
            else
                runs.push_back({piece, FFont});
        }
        if (lineEnd == AnsiString::npos)
            return;
        TRichParagraph next;
        next.Alignment = FParagraphs.back().Alignment;
        next.FirstIndent = FParagraphs.back().FirstIndent;
        FParagraphs.push_back(std::move(next));
        start = lineEnd + 1;
    }
}

AnsiString TRichText::PlainText() const
{
    AnsiString result;
    for (size_t i = 0; i < FParagraphs.size(); ++i) {
        if (i > 0)
            result += '\n';
        for (const TRichRun& run : FParagraphs[i].Runs)
            result += run.Text;
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

AnsiString EscapeRtf(const AnsiString& text)
{
    AnsiString result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            result += '\\';
            result += c;
        } else if (c == '\t') {
            result += "\\tab ";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\'%02x", byte);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result;
}

AnsiString FontTable(const TRtfTables& tables)
{
    AnsiString result = "{\\fonttbl";
    for (size_t i = 0; i < tables.Fonts.size(); ++i)
        result += "{\\f" + IntToStr(i) + "\\fnil\\fcharset204 " + EscapeRtf(tables.Fonts[i]) + ";}";
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
            rtf += "{" + RunFormat(tables, run.Font) + EscapeRtf(run.Text) + "}";
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
