#pragma once
// A small rich-text model for the printable reports (error list, registry, message): text
// in paragraphs of runs, each run with its font, size, weight, slant, underline and colour,
// each paragraph with its alignment and first-line indent. It is built the way a rich edit
// is typed into: set the attributes, then add text; "\n" ends a paragraph. The text is
// kept as UTF-8, so that a report shows also a letter that CP1251 lacks (one that an
// error text names). The model is written out as RTF here; the user interface prints it.

#include "platform/AnsiString.h"

#include <cstdint>
#include <vector>

// Red in the low byte, then green, then blue; RichAutoColor is the reader's text colour.
using TRichColor = uint32_t;
inline constexpr TRichColor RichAutoColor = 0xFF000000u;

struct TRichFont {
    AnsiString Name;
    int Size = 10;  // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    TRichColor Color = RichAutoColor;

    bool operator==(const TRichFont&) const = default;
};

enum class TRichAlignment { Left, Center, Right };

struct TRichRun {
    Utf8String Utf8Text;  // never holds "\n"
    TRichFont Font;
};

struct TRichParagraph {
    TRichAlignment Alignment = TRichAlignment::Left;
    int FirstIndent = 0;  // points
    std::vector<TRichRun> Runs;
};

class TRichText {
public:
    // The font of text added before any attribute is set.
    TRichText(const AnsiString& fontName, int fontSize);

    // The attributes of the text added next.
    TRichFont& Font() { return FFont; }
    // The paragraph attributes of the paragraph being typed and of those that follow it.
    void SetAlignment(TRichAlignment alignment);
    void SetFirstIndent(int points);

    // Adds CP1251 text in the current attributes; every "\n" ends the current paragraph.
    void Add(const AnsiString& text);
    // The same for UTF-8 text.
    void AddUtf8(const Utf8String& text);

    // The paragraphs; the last one is the paragraph being typed (possibly empty).
    const std::vector<TRichParagraph>& Paragraphs() const { return FParagraphs; }
    // The text alone as UTF-8, paragraphs joined by "\n".
    Utf8String PlainTextUtf8() const;

private:
    TRichFont FFont;
    std::vector<TRichParagraph> FParagraphs;
};

// The text as an RTF document in code page 1251 with Cyrillic fonts: backslashes, braces
// and control characters are escaped, a character above 127 is written as its CP1251 byte
// in hex, or as its Unicode value (with "?" for readers that know none) when CP1251 lacks
// it; so any user or bank text is safe inside it, and the document is ASCII.
AnsiString RichTextToRtf(const TRichText& text);

// Writes the RTF document to the file through a temporary file renamed over it.
void SaveRichTextAsRtf(const TRichText& text, const AnsiString& fileName);
