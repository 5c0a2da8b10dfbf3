// The error list and the registry of an export as rich text: their lines, columns,
// totals and attributes.

#include "ExportDocuments.h"
#include "exchange/ExchangeProfile.h"

#include "ui/ExportCheck.h"
#include "ui/ExportReports.h"

#include <gmock/gmock.h>

namespace {

// The report's text in CP1251, for comparing with the texts of this file.
AnsiString Plain(const TRichText& report)
{
    return Utf8ToAnsi(report.PlainTextUtf8());
}

class ExportReportsTest : public ::testing::Test {
protected:
    void SelectProfile(std::vector<AnsiString> keys)
    {
        keys.push_back("Caption=ООО {Ромашка}");
        Profile = std::make_unique<TExchangeProfile>(Dir, keys);
    }
    TExportProfile& Kind(int kind) const { return *Profile->Profile().ExportProfiles.At(kind); }

    static void MarkError(TTestDocument& document, int index, const AnsiString& text)
    {
        document.Marks().Info(index).State = RecordHasError;
        document.Marks().SetErrorText(index, AnsiToUtf8(text));
    }

    // The output table of an export with these lines.
    static std::unique_ptr<TDelimFile> Output(const std::vector<std::string>& lines)
    {
        TMemoryStream text;
        for (const std::string& line : lines)
            text.WriteString(line + "\r\n");
        text.SetPosition(0);
        std::unique_ptr<TDelimFile> output = NewExportTable();
        output->LoadFromStream(&text);
        return output;
    }

    TTempDir Dir;
    std::unique_ptr<TExchangeProfile> Profile;
};

TEST_F(ExportReportsTest, TheErrorListNamesEveryMarkedRecordInErrorWithItsNameAndItalicMessage)
{
    SelectProfile({"Salary.Fields=2,,1,3"});   // the name comes from the third column
    TTestDocument document(Kind(0), Dir,
                           {"12345;x;Иванов Иван;10", "1;x;Петров1;5", "2;x;Сидоров;abc", "3;x;Козлов;1"});
    document.Marks().Info(0).State = RecordCheckedOk;
    MarkError(document, 1, "ФИО: Обнаружен недопустимый символ: 1");
    MarkError(document, 2, "Сумма: Неверный формат числа");
    MarkError(document, 3, "не отмеченная запись");
    document.Marks().Info(3).Selected = 0;

    const TRichText report = ExportErrorsReport(document);
    EXPECT_ANSI_EQ(Plain(report), "Ошибки экспорта: ООО {Ромашка}\n\n"
                                       "Ошибка в строке 2 (Петров1):\nФИО: Обнаружен недопустимый символ: 1\n\n"
                                       "Ошибка в строке 3 (Сидоров):\nСумма: Неверный формат числа\n\n");
    const std::vector<TRichParagraph>& paragraphs = report.Paragraphs();
    EXPECT_EQ(paragraphs[0].Alignment, TRichAlignment::Center);
    EXPECT_TRUE(paragraphs[0].Runs[0].Font.Underline);
    EXPECT_ANSI_EQ(paragraphs[0].Runs[0].Font.Name, "Courier New");
    EXPECT_EQ(paragraphs[2].Alignment, TRichAlignment::Left);
    EXPECT_FALSE(paragraphs[2].Runs[0].Font.Italic);
    EXPECT_FALSE(paragraphs[2].Runs[0].Font.Underline);
    EXPECT_TRUE(paragraphs[3].Runs[0].Font.Italic);
}

TEST_F(ExportReportsTest, WithoutANameColumnTheErrorListShowsAnEmptyName)
{
    SelectProfile({"DelCli.Fields=,2"});
    TTestDocument document(Kind(2), Dir, {"Иванов;12x"});
    MarkError(document, 0, "Счет: Обнаружен недопустимый символ: x");
    EXPECT_ANSI_EQ(Plain(ExportErrorsReport(document)),
                   "Ошибки экспорта: ООО {Ромашка}\n\nОшибка в строке 1 ():\n"
                   "Счет: Обнаружен недопустимый символ: x\n\n");
}

// A letter that the message names and CP1251 lacks is shown as that letter, as on the screen.
TEST_F(ExportReportsTest, TheErrorListShowsALetterThatCp1251LacksAsThatLetter)
{
    SelectProfile({"DelCli.Fields=,2"});
    TTestDocument document(Kind(2), Dir, {"x;1"});
    document.Marks().Info(0).State = RecordHasError;
    document.Marks().SetErrorText(0, AnsiToUtf8("ФИО: символа \"") + "\xD3\x98" + AnsiToUtf8("\" нет"));
    EXPECT_EQ(ExportErrorsReport(document).PlainTextUtf8(),
              AnsiToUtf8("Ошибки экспорта: ООО {Ромашка}\n\nОшибка в строке 1 ():\nФИО: символа \"") + "\xD3\x98" +
                  AnsiToUtf8("\" нет\n\n"));
}

TEST_F(ExportReportsTest, TheRegistryCutsItsColumnsAndShowsOnlyTheTotalsAboveHalfAKopeck)
{
    SelectProfile({});
    const auto output = Output({"ИВАНОВ ИВАН ИВАНОВИЧ;000000012345;1000.50",
                                "КОНСТАНТИНОПОЛЬСКИЙ КОНСТАНТИН КОНСТАНТИНОВИЧ;123456789012345678901;123456789012.45"});
    TExportTotals totals;
    totals.CreditSum = 1750.5;
    totals.DebitSum = 0.005;
    const std::string rule(78, '-');
    EXPECT_ANSI_EQ(Plain(ExportRegistryReport(Kind(0), *output, totals)),
                   "Список на зачисление: ООО {Ромашка}\n\n" + std::string(78, '=') + "\n" +
                       "ФИО                                         |        Счет        |       Сумма\n" + rule + "\n" +
                       "ИВАНОВ ИВАН ИВАНОВИЧ                         000000012345              1000.50\n"
                       "КОНСТАНТИНОПОЛЬСКИЙ КОНСТАНТИН КОНСТАНТИНОВИ 12345678901234567890 123456789012\n" +
                       rule + "\n" +
                       "Итого сумма зачисления:                                                1750.50\n");

    totals.CreditSum = 0;
    totals.DebitSum = 0.006;
    output->LoadFromStream(nullptr);
    EXPECT_ANSI_EQ(Plain(ExportRegistryReport(Kind(0), *output, totals)),
                   "Список на зачисление: ООО {Ромашка}\n\n" + std::string(78, '=') + "\n" +
                       "ФИО                                         |        Счет        |       Сумма\n" + rule + "\n" +
                       rule + "\n" +
                       "Итого сумма списания:                                                     0.01\n");
}

TEST_F(ExportReportsTest, ATotalWiderThanTheAmountColumnIsPrintedWhole)
{
    SelectProfile({});
    const auto output = Output({});
    TExportTotals totals;
    totals.CreditSum = 1234567890.12;
    totals.DebitSum = 999999999.99;
    const AnsiString registry = Plain(ExportRegistryReport(Kind(0), *output, totals));
    EXPECT_NE(registry.find("Итого сумма зачисления:" + std::string(43, ' ') + "1234567890.12\n"),
              AnsiString::npos);
    EXPECT_NE(registry.find("Итого сумма списания:" + std::string(45, ' ') + "999999999.99\n"),
              AnsiString::npos);
}

TEST_F(ExportReportsTest, AMapBeyondTheThirdFieldFollowsEachRecordWithItsOtherFieldsWrapped)
{
    SelectProfile({});
    const auto output = Output({"ИВАНОВ ИВАН;4510 123456;21;01/02/2010;;ОВД района Северный, г. Москва;770-001;"
                                "03/04/1980;;;77;Москва;ул. Ленина, д. 1, кв. 2"});
    output->First();
    const AnsiString block = RegistryDetails(Kind(1), *output->CurRecord());
    EXPECT_ANSI_EQ(block, "Дата выдачи: 01/02/2010  Кем выдан: ОВД района Северный, г. Москва  Код\n"
                          "подр.: 770-001  Дата рожд.: 03/04/1980  Код субъекта РФ: 77  Нас. пункт:\n"
                          "Москва  Местный адрес: ул. Ленина, д. 1, кв. 2\n");

    const AnsiString registry = Plain(ExportRegistryReport(Kind(1), *output, TExportTotals()));
    const std::string rule(78, '-');
    EXPECT_THAT(registry, ::testing::EndsWith("ИВАНОВ ИВАН" + std::string(34, ' ') + "4510 123456" +
                                              std::string(10, ' ') + "          21\n" + block + rule + "\n"));
}

}  // namespace
