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

    EXPECT_ANSI_EQ(text.PlainText(), "Ошибки\n\nab\n");

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
    EXPECT_ANSI_EQ(lines.PlainText(), "a\nb\n");
    EXPECT_EQ(RichTextToRtf(lines).find("\\'0d"), AnsiString::npos);
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
