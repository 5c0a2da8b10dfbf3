#include "documents/Datafiles.h"

#include "DataFileHelpers.h"

#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <vector>

namespace {

const AnsiString PersonPath = "/СчетаПК/ЗачислениеЗарплаты/Сотрудник";
const AnsiString PersonPattern = "<Фамилия> <Имя> <Отчество>;<ЛицевойСчет>;<Сумма>";

// A salary list: three people under the first parent (with another element between the
// second and the third, and a missing first name), one more under a second parent of the
// same name. Narrow literals are CP1251.
const AnsiString SalaryBody =
    "<СчетаПК>\r\n"
    " <ЗачислениеЗарплаты>\r\n"
    "  <Сотрудник><Фамилия>Иванов</Фамилия><Имя>Иван</Имя><Отчество>Иванович</Отчество>"
    "<ЛицевойСчет>40817810000000000001</ЛицевойСчет><Сумма> 1500.50 </Сумма></Сотрудник>\r\n"
    "  <Сотрудник><Фамилия>Петров</Фамилия><Отчество>Петрович</Отчество>"
    "<ЛицевойСчет>40817810000000000002</ЛицевойСчет><Сумма>200</Сумма></Сотрудник>\r\n"
    "  <Итого>1700.50</Итого>\r\n"
    "  <Сотрудник><Фамилия>Сидорова</Фамилия><Имя>Анна</Имя><Отчество>Ёжиковна</Отчество>"
    "<ЛицевойСчет>40817810000000000003</ЛицевойСчет><Сумма>0.01</Сумма></Сотрудник>\r\n"
    " </ЗачислениеЗарплаты>\r\n"
    " <ЗачислениеЗарплаты>\r\n"
    "  <Сотрудник><Фамилия>Лишний</Фамилия></Сотрудник>\r\n"
    " </ЗачислениеЗарплаты>\r\n"
    "</СчетаПК>\r\n";

const std::vector<AnsiString> SalaryLines = {
    "Иванов Иван Иванович;40817810000000000001;1500.50",
    "Петров  Петрович;40817810000000000002;200",
    "Сидорова Анна Ёжиковна;40817810000000000003;0.01",
};

std::vector<AnsiString> LoadLines(const AnsiString& path, const AnsiString& pattern, const std::string& bytes)
{
    TXmlFile file(path, pattern, ";");
    LoadBytes(file, bytes);
    const TStringList stored = file.Lines();
    std::vector<AnsiString> lines;
    for (const AnsiString& line : stored.Items())
        lines.push_back(Utf8ToAnsi(line));
    return lines;
}

}  // namespace

TEST(XmlFileTest, Windows1251AndUtf8Documents)
{
    EXPECT_EQ(LoadLines(PersonPath, PersonPattern, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n" + SalaryBody),
              SalaryLines);
    EXPECT_EQ(LoadLines(PersonPath, PersonPattern, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + AnsiToUtf8(SalaryBody)),
              SalaryLines);
    EXPECT_EQ(LoadLines(PersonPath, PersonPattern, "\xEF\xBB\xBF" + AnsiToUtf8(SalaryBody)), SalaryLines);
}

TEST(XmlFileTest, PathsAndPatterns)
{
    const std::string document = AnsiToUtf8(SalaryBody);
    EXPECT_TRUE(LoadLines("/Счета/ЗачислениеЗарплаты/Сотрудник", PersonPattern, document).empty());
    EXPECT_TRUE(LoadLines("", PersonPattern, document).empty());
    // A relative path descends from the document element.
    EXPECT_EQ(LoadLines("ЗачислениеЗарплаты/Сотрудник", "<Фамилия>", document),
              (std::vector<AnsiString>{"Иванов", "Петров", "Сидорова"}));
    // Literal text of the pattern, Cyrillic too, stands in the line as it is written.
    EXPECT_EQ(LoadLines(PersonPath, "Сотрудник <Фамилия>", document),
              (std::vector<AnsiString>{"Сотрудник Иванов", "Сотрудник Петров", "Сотрудник Сидорова"}));
    // A path may end on the document element itself.
    EXPECT_EQ(LoadLines("/СчетаПК", "<ЗачислениеЗарплаты/Сотрудник/Имя>!", document),
              (std::vector<AnsiString>{"Иван!"}));
    // Absolute placeholders start with the person element's own name.
    EXPECT_EQ(LoadLines(PersonPath, "</Сотрудник/Имя>|</Другой/Имя>|<Нет>|", document),
              (std::vector<AnsiString>{"Иван|||", "|||", "Анна|||"}));
    // A "<" without its ">" ends the pattern.
    EXPECT_EQ(LoadLines(PersonPath, "<Имя>;<Фамилия", document),
              (std::vector<AnsiString>{"Иван;Фамилия", ";Фамилия", "Анна;Фамилия"}));
}

TEST(XmlFileTest, ElementTextWithNestedElementsEntitiesAndEscapes)
{
    TXmlFile file("/r/p", "<a>;<b>", ";");
    LoadBytes(file, "<r><p><a>x;y</a><b>#41#3b</b></p></r>");
    EXPECT_EQ(CurrentRow(file), (std::vector<AnsiString>{"x", "y", "A;"}));
    EXPECT_EQ(LoadLines("/r/p", "<a>", "<r><p><a> x<i>y</i> &amp; z\n</a></p></r>"),
              (std::vector<AnsiString>{"xy & z"}));
    // Characters that CP1251 lacks become "?".
    EXPECT_EQ(LoadLines("/r/p", "<a>", "<r><p><a>&#x4E2D;</a></p></r>"), (std::vector<AnsiString>{"?"}));
}

// A malformed document, and one whose entities expand a billion-fold, leave a closed table.
TEST(XmlFileTest, RefusedDocumentsLeaveAClosedTable)
{
    std::string bomb = "<!DOCTYPE r [<!ENTITY e0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        bomb += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            bomb += "&e" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    bomb += "]><r><p><a>&e9;</a></p></r>";
    TXmlFile file("/r/p", "<a>", ";");
    for (const std::string& refused : {std::string("<r><p><a>1</a></p>"), bomb}) {
        LoadBytes(file, "<r><p><a>1</a></p></r>");
        ASSERT_EQ(file.RecordCount(), 1);
        EXPECT_THROW(LoadBytes(file, refused), Exception);
        EXPECT_FALSE(file.Open());
        EXPECT_EQ(file.RecordCount(), 0);
    }
}

TEST(XmlFileTest, ExternalEntitiesAreNotLoaded)
{
    TTempDir temp;
    WriteBytes(temp.File("secret.txt"), "secret");
    const std::string document = "<?xml version=\"1.0\"?>\n"
                                 "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + temp.File("secret.txt") + "\">]>\n"
                                 "<r><p><a>[&x;]</a></p></r>";
    const std::vector<AnsiString> lines = LoadLines("/r/p", "<a>", document);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].find("secret"), AnsiString::npos);
}
