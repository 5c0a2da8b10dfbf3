// A saved report as the users' office program reads it: LibreOffice converts the RTF file
// to HTML, which keeps the text and its attributes.

#include "ui/Reports.h"

#include "exchange/RunProgram.h"

#include <algorithm>

TEST(ReportReadBack, LibreOfficeReadsTheTextAndItsAttributes)
{
    TTempDir dir;
    TRichText text("Times New Roman", 12);
    text.SetAlignment(TRichAlignment::Center);
    text.Font().Underline = true;
    text.Add("Ошибки экспорта: ООО {Ромашка} \\ 100%\n");
    text.Font().Underline = false;
    text.SetAlignment(TRichAlignment::Left);
    text.Font().Bold = true;
    text.Add("Тема: ");
    text.Font().Bold = false;
    text.Font().Italic = true;
    text.Font().Color = 0x000080;
    text.Add("Ёлки, №5 «ёж»\n");
    SaveRichTextAsRtf(text, dir.File("report.rtf"));

    const TProgramRun office = RunProgram({"soffice", "-env:UserInstallation=file://" + dir.Path() + "profile",
                                           "--headless", "--convert-to", "html:HTML (StarWriter):UTF8",
                                           "--outdir", dir.Path(), dir.File("report.rtf")});
    ASSERT_EQ(office.ExitCode, 0) << office.Errors;
    // The HTML writer wraps long lines: compare with line breaks as blanks.
    std::string html = ReadBytes(dir.File("report.html"));
    std::replace(html.begin(), html.end(), '\n', ' ');
    for (const char* expected : {"Ошибки экспорта: ООО {Ромашка} \\ 100%", "Тема: ", "Ёлки, №5 «ёж»"})
        EXPECT_NE(html.find(AnsiToUtf8(expected)), std::string::npos) << U8(expected) << "\n" << html;
    EXPECT_NE(html.find("<u>"), std::string::npos);
    EXPECT_NE(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("<i>"), std::string::npos);
    EXPECT_NE(html.find("#800000"), std::string::npos);
    EXPECT_NE(html.find("center"), std::string::npos);
}
