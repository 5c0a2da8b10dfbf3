// The export wizard's pages and its check pass, without a window and without a send: a
// recording view stands in for the wizard window, a test document for the document
// window.

#include "ExportDocuments.h"
#include "RecordingView.h"
#include "exchange/ExchangeProfile.h"

#include "support/ScriptedDialogs.h"
#include "platform/Paths.h"
#include "ui/ExportCheck.h"
#include "ui/ExportWizard.h"
#include "ui/RecordInfos.h"

#include <gmock/gmock.h>

namespace {

constexpr unsigned ErrorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;

class ExportWizardTest : public ::testing::Test {
protected:
    void SelectProfile(const std::vector<AnsiString>& keys)
    {
        Profile.reset();   // the profiles store holds one open file at a time
        Profile = std::make_unique<TExchangeProfile>(Dir, keys);
    }
    TExportProfile& Kind(int kind) const { return *Profile->Profile().ExportProfiles.At(kind); }

    std::vector<int> States(TTestDocument& document) const
    {
        std::vector<int> states;
        for (int index = 0; index < document.Marks().Count(); ++index)
            states.push_back(document.Marks().Info(index).State);
        return states;
    }

    static std::string Payload(TExportWizard& wizard)
    {
        TMemoryStream bytes;
        wizard.OutFile().SaveToStream(&bytes);
        return bytes.Bytes();
    }

    // The payload of the check of the document's marked records.
    std::string CheckedPayload(TTestDocument& document)
    {
        TExportWizard wizard(document);
        wizard.SetView(&View);
        wizard.Start();
        wizard.Next();
        return Payload(wizard);
    }

    TTempDir Dir;
    std::unique_ptr<TExchangeProfile> Profile;
    TRecordingView View;
};

TEST_F(ExportWizardTest, TheCheckMarksTheSelectedRecordsAndTheRegistryShowsTheAcceptedOnes)
{
    SelectProfile({"Salary.EtalonTypes=SAL", "Salary.EtalonExpire=30", "Salary.Comment=Аванс"});
    StoreSalaryEtalon(Dir, SalaryEtalonRows);
    std::vector<std::string> lines = SalaryLines;
    lines.push_back("Не Отмечен;1;1");
    TTestDocument document(Kind(0), Dir, lines);
    document.Marks().SetErrorText(0, AnsiToUtf8("старая ошибка"));
    document.Marks().Info(3).Selected = 0;
    TExportWizard wizard(document);
    wizard.SetView(&View);
    View.PrintRegistryEnabled = false;

    wizard.Start();
    // The cipher's prompt follows: the profile keeps its keys on the diskette.
    EXPECT_ANSI_EQ(View.Page, "message:Сейчас будет выполнена проверка и подготовка файла к отправке в банк.\n\n"
                              "Вставьте ключевую дискету.");
    ExpectButtons(View.Buttons, "< Назад", "Далее >", false, true);
    EXPECT_ANSI_EQ(View.Comment, "Аванс");
    EXPECT_TRUE(View.PrintRegistryEnabled);

    wizard.Next();
    EXPECT_EQ(View.BusyCount, 1);
    EXPECT_EQ(View.BusyDepth, 0);
    EXPECT_ANSI_EQ(View.Page, "end-prepare:3/1");
    ExpectButtons(View.Buttons, "< Назад", "Далее >", true, true);
    EXPECT_THAT(States(document), ::testing::ElementsAre(1, 2, 1, 0));
    EXPECT_EQ(document.Marks().ErrorText(1), AnsiToUtf8("ФИО: Обнаружен недопустимый символ: 1"));
    EXPECT_EQ(document.Marks().ErrorText(0), AnsiToUtf8("старая ошибка"));   // a pass keeps an old text
    EXPECT_EQ(document.MarksChangedCount, 1);
    EXPECT_EQ(Hex(Payload(wizard)), Hex(SalaryPayload));
    EXPECT_EQ(wizard.Totals.CreditCount, 2);
    EXPECT_EQ(wizard.Totals.DebitCount, 0);

    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "registry:2 1750.50 0.00");
    wizard.Back();   // back to the check's result without checking again
    EXPECT_ANSI_EQ(View.Page, "end-prepare:3/1");
    EXPECT_EQ(View.BusyCount, 1);
    wizard.Next();
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "comment");
    wizard.Back();
    EXPECT_ANSI_EQ(View.Page, "registry:2 1750.50 0.00");

    wizard.LinkClick("viewerrors");
    EXPECT_EQ(document.ShownError, 1);
    EXPECT_EQ(View.Closes, 1);
}

TEST_F(ExportWizardTest, AMissingOrStaleReferenceListFailsTheCheckUntilAFreshOneIsThere)
{
    SelectProfile({"Salary.EtalonTypes=SAL", "Salary.EtalonExpire=30"});
    TTestDocument document(Kind(0), Dir, SalaryLines);
    TExportWizard wizard(document);
    wizard.SetView(&View);
    wizard.Start();
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Эталонный список 12-значных счетов клиентов отсутствует, сделайте обновление.",
                              MessageBoxAnswer::Ok, ErrorBox);
        wizard.Next();
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при подготовке файла.");
    ExpectButtons(View.Buttons, "< Назад", "Повтор", true, true);
    EXPECT_EQ(View.BusyDepth, 0);

    StoreSalaryEtalon(Dir, SalaryEtalonRows, 30);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Эталонный список 12-значных счетов клиентов устарел, сделайте обновление.",
                              MessageBoxAnswer::Ok, ErrorBox);
        wizard.Next();
    }
    EXPECT_EQ(wizard.State, TExportWizard::StateCheckFailed);

    DeleteFile(Dir.File("Cache/ABC.ETALONS"));
    StoreSalaryEtalon(Dir, SalaryEtalonRows, 29);
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "end-prepare:3/1");
}

TEST_F(ExportWizardTest, NothingAcceptedLeadsToAPageWithoutWayOnAndViewErrorsNeedsAnError)
{
    SelectProfile({});
    TTestDocument document(Kind(2), Dir, {"Петров1;1", "Сидоров;2"});
    TExportWizard wizard(document);
    wizard.SetView(&View);
    wizard.Start();
    EXPECT_FALSE(View.PrintRegistryEnabled);
    document.Marks().Info(0).Selected = 0;
    document.Marks().Info(1).Selected = 0;
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "end-prepare:0/0");
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "message:Итоговый файл не содержит записей и не может быть отправлен в банк.");
    ExpectButtons(View.Buttons, "< Назад", "Далее >", true, false);
    wizard.Next();
    EXPECT_EQ(wizard.State, TExportWizard::StateEmpty);
    EXPECT_RAISES(wizard.LinkClick("ViewErrors"), Exception, "Нет записей, помеченных как ошибочные");
    EXPECT_EQ(View.Closes, 0);

    // All rejected: the errors can be viewed, and there is still nothing to send.
    document.Marks().Info(0).Selected = 1;
    wizard.Back();
    wizard.Back();
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "end-prepare:1/1");
    wizard.Next();
    EXPECT_EQ(wizard.State, TExportWizard::StateEmpty);
}

TEST_F(ExportWizardTest, TheColumnMapPlacesTheInputColumnsAndLeavesUnfedFieldsEmpty)
{
    // Column 0 feeds the account, column 1 nothing, column 2 the name.
    SelectProfile({"DelCli.Fields=2,,1", "Salary.Fields=1,2,3"});
    TTestDocument document(Kind(2), Dir, {"12345;лишнее;Иванов Иван"});
    EXPECT_EQ(Hex(CheckedPayload(document)), Hex("ИВАНОВ ИВАН;000000012345\r\n"));
}

// The user's file keeps its own line breaks; what goes to the bank ends every line with
// CR LF.
TEST_F(ExportWizardTest, ThePayloadEndsEveryLineWithCrLf)
{
    SelectProfile({"DelCli.Fields=2,,1", "Salary.Fields=1,2,3"});
    TTestDocument document(Kind(2), Dir, {"12345;x;Иванов Иван\n54321;x;Петров Петр\r67890;x;Сидоров Сидор"});
    EXPECT_EQ(Hex(CheckedPayload(document)),
              Hex("ИВАНОВ ИВАН;000000012345\r\nПЕТРОВ ПЕТР;000000054321\r\nСИДОРОВ СИДОР;000000067890\r\n"));
}

// A client of the new-clients list whose every field passes as it stands, with the given
// issuing office and birth place, joined by the delimiter (narrow literals are CP1251).
std::string NewClientLine(const std::string& issuedBy, const std::string& birthPlace, const std::string& delim)
{
    const std::vector<std::string> fields = {
        "ИВАНОВ ИВАН", "4510 123456", "21", "01/02/2010", "Москва", issuedBy, "770-001", "03/04/1980", "", "", "77",
        "Москва", "ул. Тверская, 1", "", "Татарстан", "", birthPlace, "слово", "5551234", "М", "VSCL", "7701234567"};
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : delim) + field;
    return line;
}

// The same with the columns of the file as the kind declares its fields, and with every
// field one column further (the first column feeds none): the letter is looked for in the
// column that feeds the field.
TEST_F(ExportWizardTest, ALetterThatCp1251LacksMakesItsRecordAnErrorAndTheFileKeepsItsBytes)
{
    AnsiString shiftedFields = "NewCli.Fields=";
    for (int field = 1; field <= 22; ++field)
        shiftedFields += "," + IntToStr(field);
    const std::string almetyevsk = "\xD3\x98" + AnsiToUtf8("лм") + "\xD3\x99" + AnsiToUtf8("т");   // "Әлмәт"
    const std::string accepted = NewClientLine("ОВД", "Казань", ";");
    std::string rejected = AnsiToUtf8(NewClientLine("ОВД", "@", ";"));
    rejected.replace(rejected.find('@'), 1, almetyevsk);
    for (const bool shifted : {false, true}) {
        SCOPED_TRACE(shifted ? "shifted columns" : "declared columns");
        std::vector<AnsiString> keys = {"NewCli.Charset=UTF8"};
        if (shifted)
            keys.push_back(shiftedFields);
        SelectProfile(keys);
        const std::string before = shifted ? AnsiToUtf8("лишнее;") : std::string();
        TTestDocument document(Kind(1), Dir, {before + AnsiToUtf8(accepted), before + rejected});
        const std::string bytes = ReadBytes(Dir.File("input.txt"));
        TExportWizard wizard(document);
        wizard.SetView(&View);
        wizard.Start();
        wizard.Next();

        EXPECT_THAT(States(document), ::testing::ElementsAre(1, 2));
        EXPECT_EQ(document.Marks().ErrorText(1), AnsiToUtf8("Нас. пункт (место рожд.): символа \"") + "\xD3\x98" +
                                                     AnsiToUtf8("\" нет в кодировке Windows-1251"));
        EXPECT_EQ(wizard.Totals.ExportCount, 1);
        EXPECT_EQ(Hex(Payload(wizard)), Hex(accepted + "\r\n"));
        document.DataFile().SaveToFile("");
        EXPECT_EQ(Hex(ReadBytes(Dir.File("input.txt"))), Hex(bytes));
    }
}

// In a CP1251 list the byte 0x98 is no character at all: it cannot reach the bank as text.
TEST_F(ExportWizardTest, AByteThatIsNoCp1251CharacterMakesItsRecordAnError)
{
    SelectProfile({});
    const std::string accepted = NewClientLine("ОВД", "Казань", ";");
    TTestDocument document(Kind(1), Dir, {accepted, NewClientLine("ОВД", "Каз\x98нь", ";")});
    TExportWizard wizard(document);
    wizard.SetView(&View);
    wizard.Start();
    wizard.Next();
    EXPECT_EQ(document.Marks().ErrorText(1),
              AnsiToUtf8("Нас. пункт (место рожд.): символа \"") + "\xEF\xBF\xBD" + AnsiToUtf8("\" нет в кодировке Windows-1251"));
    EXPECT_EQ(Hex(Payload(wizard)), Hex(accepted + "\r\n"));
}

TEST_F(ExportWizardTest, AValueTheLineCannotHoldMarksItsRecordAndTheCheckGoesOn)
{
    SelectProfile({"NewCli.Delim=|"});
    TTestDocument document(Kind(1), Dir,
                           {NewClientLine("ОВД", "Казань", "|"), NewClientLine("ОВД; отдел 2", "Казань", "|"),
                            NewClientLine("ОВД", "Уфа", "|")});
    TExportWizard wizard(document);
    wizard.SetView(&View);
    wizard.Start();
    {
        TScriptedDialogs dialogs;   // no box
        wizard.Next();
    }
    EXPECT_ANSI_EQ(View.Page, "end-prepare:3/1");
    EXPECT_THAT(States(document), ::testing::ElementsAre(1, 2, 1));
    EXPECT_EQ(document.Marks().ErrorText(1), AnsiToUtf8("Кем выдан: Недопустимые символы в поле"));
    EXPECT_EQ(Hex(Payload(wizard)),
              Hex(NewClientLine("ОВД", "Казань", ";") + "\r\n" + NewClientLine("ОВД", "Уфа", ";") + "\r\n"));
    wizard.LinkClick("ViewErrors");
    EXPECT_EQ(document.ShownError, 1);
}

// An XML document: an escaped line break that the working record refuses, and a letter
// that CP1251 lacks, each mark their own record only.
TEST_F(ExportWizardTest, XmlValuesThatCannotGoAsTheyStandMarkTheirRecords)
{
    SelectProfile({});
    TXmlFile data("/r/p", "<a>;<b>", Kind(2).Delim);
    TMemoryStream xml;
    xml.WriteString("<r><p><a>" + AnsiToUtf8("Пет#0Aров") + "</a><b>1</b></p><p><a>" + AnsiToUtf8("Иванов") +
                    "</a><b>2</b></p><p><a>\xD3\x98</a><b>3</b></p></r>");
    xml.SetPosition(0);
    data.LoadFromStream(&xml);
    TRecordInfos marks(data.RecordCount());
    const std::unique_ptr<TDelimFile> output = NewExportTable();
    TExportTotals totals;
    CheckExportRecords(Kind(2), data, marks, *output, totals);
    EXPECT_EQ(marks.ErrorText(0), AnsiToUtf8("ФИО: Недопустимые символы в поле"));
    EXPECT_EQ(marks.ErrorText(2), AnsiToUtf8("ФИО: символа \"") + "\xD3\x98" + AnsiToUtf8("\" нет в кодировке Windows-1251"));
    EXPECT_EQ(totals.ErrorCount, 2);
    EXPECT_EQ(totals.ExportCount, 1);
}

}  // namespace
