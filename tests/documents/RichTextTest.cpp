// The report text model and its RTF form.

#include "documents/RichText.h"

#include "support/TestSupport.h"

TEST(RichText, ParagraphsKeepTheirAttributesAndRunsTheirFonts)
{
    TRichText text("Courier New", 10);
    text.SetAlignment(TRichAlignment::Center);
    text.Font().Underline = true;
    text.Add("Ошибки\n\n");
    text.Font().Underline = false;
    text.SetAlignment(TRichAlignment::Left);
    text.Add("a");
    text.Font().Italic = true;
    text.Font().Color = 0x000080;
    text.SetFirstIndent(15);
    text.Add("b\n");

    EXPECT_EQ(text.PlainTextUtf8(), AnsiToUtf8("Ошибки\n\nab\n"));

    EXPECT_EQ(RichTextToRtf(text),
              "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Courier New;}}"
              "{\\colortbl ;\\red128\\green0\\blue0;}\r\n\\viewkind4\\uc1"
              "\\pard\\qc {\\plain\\f0\\fs20\\ul\\cf0 \\'ce\\'f8\\'e8\\'e1\\'ea\\'e8}\\par\r\n"
              "\\pard\\qc \\par\r\n"
              "\\pard\\ql\\fi300 {\\plain\\f0\\fs20\\cf0 a}{\\plain\\f0\\fs20\\i\\cf1 b}\\par\r\n"
              "\\pard\\ql\\fi300 \r\n}\r\n");
}

TEST(RichText, UserTextCannotBreakOutOfItsRunNorLeaveACarriageReturn)
{
    TRichText text("Times New Roman", 12);
    text.Add("}{\\rtf1 \\par x\x01\x7F\tЁ");
    const AnsiString rtf = RichTextToRtf(text);
    EXPECT_NE(rtf.find("{\\plain\\f0\\fs24\\cf0 \\}\\{\\\\rtf1 \\\\par x\\'01\\'7f\\tab \\'a8}"), AnsiString::npos) << rtf;
    for (const char c : rtf)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80);

    // Message texts and attachment lines are stored with CR LF: a CR left in a run would
    // print as one more empty line after each line.
    TRichText lines("Courier New", 10);
    lines.Add("a\r\nb\r\n");
    ASSERT_EQ(lines.Paragraphs().size(), 3u);
    EXPECT_EQ(lines.PlainTextUtf8(), "a\nb\n");
    EXPECT_EQ(RichTextToRtf(lines).find("\\'0d"), AnsiString::npos);
}

// RTF holds any character: one that CP1251 lacks is written as its UTF-16 value (two for
// one beyond the first 65536), signed, each followed by "?" for readers without Unicode.
TEST(RichText, ACharacterCp1251LacksIsWrittenAsItsUnicodeValue)
{
    TRichText text("Courier New", 10);
    // "Ә", "ж", U+1F600 and a byte that is no UTF-8.
    text.AddUtf8("\xD3\x98" + AnsiToUtf8("ж") + "\xF0\x9F\x98\x80\xFF");
    const AnsiString rtf = RichTextToRtf(text);
    EXPECT_NE(rtf.find("{\\plain\\f0\\fs20\\cf0 \\u1240?\\'e6\\u-10179?\\u-8704?\\u-3?}"), AnsiString::npos) << rtf;
}

TEST(RichText, SavedFileHoldsTheRtfAndReplacesAnOldOne)
{
    TTempDir dir;
    WriteBytes(dir.File("r.rtf"), "old");
    TRichText text("Arial", 10);
    text.Add("x");
    SaveRichTextAsRtf(text, dir.File("r.rtf"));
    EXPECT_EQ(ReadBytes(dir.File("r.rtf")), RichTextToRtf(text));
}
