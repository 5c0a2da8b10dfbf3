#include "documents/Exportfiles.h"
#include "platform/SysUtils.h"
#include "support/TestSupport.h"

#include <sstream>
#include <vector>

// The document-kind tables written out a second time, row by row, in the form the bank's
// documentation gives them: cells between "|", texts in quotes, "CR LF" for a line break
// inside a text. Every compiled row must match its written row.

namespace {

const char ExportKindRows[] = R"T(
| 0 | "Salary" | "Список на зачисление" | 3 | 10 | "" |
| 1 | "NewCli" | "Список на добавление клиентов" | 22 | 22 | "N" |
| 2 | "DelCli" | "Список на исключение клиентов" | 2 | 2 | "D" |
)T";

const char SalaryColumnRows[] = R"T(
| 0 | 256 | 40 | 1 | 1 | "ФИО" | "Фамилия Имя Отчество" |
| 1 | 20 | 20 | 2 | 1 | "Счет" | "Счет (20 цифр)" |
| 2 | 12 | 12 | 6 | 1 | "Сумма" | "Сумма XXXXX.XX" |
| 3 | 2000 | 30 | 0 | 0 | "Комментарий" | "Комментарий" |
| 4 | 12 | 12 | 3 | 0 | "Счет ПУ" | "Не заполнять" |
| 5 | 9 | 9 | 8 | 0 | "БИК" | "БИК банка" |
| 6 | 20 | 20 | 4 | 0 | "Корсчет" | "Корсчет банка" |
| 7 | 160 | 40 | 0 | 0 | "Наименование получателя" | "Наименование получателя" |
| 8 | 12 | 12 | 9 | 0 | "ИНН получателя" | "ИНН получателя" |
| 9 | 20 | 20 | 4 | 0 | "Счет получателя" | "Счет получателя" |
)T";

const char NewCliColumnRows[] = R"T(
| 0 | 256 | 40 | 1 | 1 | "ФИО" | "Фамилия Имя Отчество" |
| 1 | 12 | 12 | 0 | 1 | "Серия/номер" | "XXXX XXXXXX" |
| 2 | 5 | 5 | 5 | 1 | "Код" | "Код документа", CR LF, "21 - для паспорта" |
| 3 | 10 | 10 | 7 | 1 | "Дата выдачи" | "ДД/ММ/ГГГГ" |
| 4 | 80 | 20 | 0 | 1 | "Место выдачи" | "Место выдачи" |
| 5 | 80 | 40 | 0 | 1 | "Кем выдан" | "Кем выдан" |
| 6 | 7 | 7 | 0 | 1 | "Код подр." | "Код подразделения XXX-XXX" |
| 7 | 10 | 10 | 7 | 1 | "Дата рожд." | "ДД/ММ/ГГГГ" |
| 8 | 80 | 20 | 0 | 0 | "Страна" | "Страна (необязательное поле)" |
| 9 | 6 | 6 | 5 | 0 | "Индекс" | "Почтовый индекс XXXXXX (необязательное поле)" |
| 10 | 2 | 2 | 5 | 1 | "Код субъекта РФ" | "Код субъекта РФ XX" |
| 11 | 80 | 20 | 0 | 1 | "Нас. пункт" | "Населеный пункт" |
| 12 | 80 | 30 | 0 | 1 | "Местный адрес" | "Улица, номер дома, строение(корпус), номер квартиры" |
| 13 | 80 | 20 | 0 | 0 | "Страна (место рожд.)" | "Страна места рождения (необязательное поле)" |
| 14 | 80 | 30 | 0 | 1 | "Регион (место рожд.)" | "Регион места рождения" |
| 15 | 80 | 30 | 0 | 0 | "Район (место рожд.)" | "Район места рождения (необязательное поле)" |
| 16 | 80 | 20 | 0 | 1 | "Нас. пункт (место рожд.)" | "Населенный пункт (место рождения)" |
| 17 | 20 | 20 | 0 | 1 | "Кодовое слово" | "Кодовое слово" |
| 18 | 20 | 11 | 0 | 1 | "Телефон" | "Телефон" |
| 19 | 1 | 2 | 0 | 1 | "Пол" | "М/Ж" |
| 20 | 4 | 5 | 0 | 1 | "Тип карты" | "Тип карты:", CR LF, "MCST - MasterCard Standart", CR LF, "MCGD - MasterCard GOLD", CR LF, "VSCL - Visa Clasic", CR LF, "VSGD - Visa GOLD" |
| 21 | 12 | 12 | 5 | 0 | "Инн" | "Инн" |
)T";

const char DelCliColumnRows[] = R"T(
| 0 | 256 | 40 | 1 | 1 | "ФИО" | "Фамилия Имя Отчество" |
| 1 | 20 | 20 | 2 | 1 | "Счет" | "Счет" |
)T";

const char GroupRows[] = R"T(
| 4 | 4, 3 | a service-provider account ("Счет ПУ") needs a comment |
| 5, 7, 8, 9 | 5, 7, 8, 9, 3 | any detail of an external payment needs all of them and a comment |
)T";

const char ReplyKindRows[] = R"T(
| 0 | "NewCliReply" | "Список добавленных клиентов" | (40, "ФИО"), (14, "Серия/номер"), (20, "Счет"), (60, "Сообщение") |
)T";

const char EtalonTypeRows[] = R"T(
| 0 | "SAL" | "Эталонный список 12-значных счетов клиентов" | 0, 1 |
| 1 | "NNS" | "Эталонный список 20-значных счетов клиентов" | 0, 1 |
| 2 | "COM" | "Эталонный список счетов поставщиков услуг" | 4 |
)T";

const char FileFormatRows[] = R"T(
| 0 | "DELIM" | "Текстовые файлы с разделителями" | "*.*" | ".txt" |
| 1 | "FIXED" | "Текстовые файлы с фикс. полями" | "*.*" | ".txt" |
| 2 | "DBASE" | "Файлы DBase III+" | "*.dbf" | ".dbf" |
| 3 | "XML" | "Файлы XML" | "*.xml" | ".xml" |
)T";

using Cells = std::vector<std::string>;

// The table's rows, each split into its trimmed cells.
std::vector<Cells> ParseRows(const char* table)
{
    std::vector<Cells> rows;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        Cells cells;
        std::string cell;
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '|') {
                cells.push_back(Trim(cell));
                cell.clear();
            } else {
                cell += line[i];
            }
        }
        rows.push_back(cells);
    }
    return rows;
}

// The text of a cell of quoted parts and CR LF markers: "a", CR LF, "b" gives a CR LF b.
AnsiString Text(const std::string& cell)
{
    AnsiString text;
    size_t i = 0;
    while (i < cell.size()) {
        if (cell[i] == '"') {
            const size_t end = cell.find('"', i + 1);
            text += cell.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (cell.compare(i, 5, "CR LF") == 0) {
            text += "\r\n";
            i += 5;
        } else {
            ++i;   // the ", " between parts
        }
    }
    return text;
}

int Number(const std::string& cell)
{
    return StrToInt(cell);
}

// "4, 3" -> {4, 3}.
std::vector<int32_t> Numbers(const std::string& cell)
{
    std::vector<int32_t> numbers;
    std::istringstream items(cell);
    std::string item;
    while (std::getline(items, item, ','))
        numbers.push_back(StrToInt(item));
    return numbers;
}

void ExpectColumns(const char* table, const TDocTypeInfo& kind)
{
    const std::vector<Cells> rows = ParseRows(table);
    ASSERT_EQ(kind.ColumnCount, static_cast<int>(rows.size())) << kind.Code;
    for (const Cells& row : rows) {
        const int index = Number(row[0]);
        SCOPED_TRACE(std::string(kind.Code) + " column " + row[0]);
        const TColumnInfo& column = kind.Columns[index];
        EXPECT_EQ(column.MaxLength, Number(row[1]));
        EXPECT_EQ(column.Width, Number(row[2]));
        EXPECT_EQ(column.Kind, Number(row[3]));
        EXPECT_EQ(column.Mandatory, Number(row[4]));
        EXPECT_ANSI_EQ(column.Caption, Text(row[5]));
        EXPECT_ANSI_EQ(column.Hint, Text(row[6]));
    }
}

} // namespace

TEST(DocumentTablesTest, ExportKinds)
{
    const std::vector<Cells> rows = ParseRows(ExportKindRows);
    ASSERT_EQ(static_cast<int>(rows.size()), ExportDocTypeCount);
    for (const Cells& row : rows) {
        const TDocTypeInfo& kind = ExportDocTypes[Number(row[0])];
        SCOPED_TRACE(row[1]);
        EXPECT_ANSI_EQ(kind.Code, Text(row[1]));
        EXPECT_ANSI_EQ(kind.Title, Text(row[2]));
        EXPECT_EQ(kind.FieldCount, Number(row[3]));
        EXPECT_EQ(kind.ColumnCount, Number(row[4]));
        EXPECT_ANSI_EQ(kind.Letter, Text(row[5]));
        EXPECT_LE(kind.FieldCount, kind.ColumnCount);
    }
}

TEST(DocumentTablesTest, ColumnsOfEveryKind)
{
    ExpectColumns(SalaryColumnRows, ExportDocTypes[0]);
    ExpectColumns(NewCliColumnRows, ExportDocTypes[1]);
    ExpectColumns(DelCliColumnRows, ExportDocTypes[2]);
}

TEST(DocumentTablesTest, SalaryColumnGroupsArePairsEndedByAnEmptyGroup)
{
    std::vector<int32_t> written;
    for (const Cells& row : ParseRows(GroupRows)) {
        for (int cell = 0; cell < 2; ++cell) {
            for (int32_t column : Numbers(row[cell]))
                written.push_back(column);
            written.push_back(-1);
        }
    }
    written.push_back(-1);
    const std::vector<int32_t> compiled(SalaryColumnGroups, SalaryColumnGroups + SalaryColumnGroupsCount);
    EXPECT_EQ(compiled, written);
    EXPECT_EQ(SalaryColumnGroupsCount, 17);
    // Every column a rule names exists in the salary list.
    for (int32_t column : compiled)
        EXPECT_LT(column, ExportDocTypes[0].ColumnCount);
}

TEST(DocumentTablesTest, ReplyKinds)
{
    const std::vector<Cells> rows = ParseRows(ReplyKindRows);
    ASSERT_EQ(static_cast<int>(rows.size()), ReplyDocTypeCount);
    const TReplyTypeInfo& kind = ReplyDocTypes[Number(rows[0][0])];
    EXPECT_ANSI_EQ(kind.Code, Text(rows[0][1]));
    EXPECT_ANSI_EQ(kind.Title, Text(rows[0][2]));
    // "(40, "ФИО"), (14, ...)": a width and a caption per column.
    std::vector<std::pair<int, AnsiString>> columns;
    const std::string& cell = rows[0][3];
    for (size_t open = cell.find('('); open != std::string::npos; open = cell.find('(', open + 1)) {
        const size_t comma = cell.find(',', open);
        const size_t close = cell.find(')', comma);
        columns.emplace_back(Number(cell.substr(open + 1, comma - open - 1)),
                             Text(cell.substr(comma + 1, close - comma - 1)));
    }
    ASSERT_EQ(kind.ColumnCount, static_cast<int>(columns.size()));
    for (int i = 0; i < kind.ColumnCount; ++i) {
        EXPECT_EQ(kind.Columns[i].Width, columns[i].first) << i;
        EXPECT_ANSI_EQ(kind.Columns[i].Caption, columns[i].second);
    }
}

TEST(DocumentTablesTest, ReferenceListTypes)
{
    const std::vector<Cells> rows = ParseRows(EtalonTypeRows);
    ASSERT_EQ(static_cast<int>(rows.size()), EtalonTypeCount);
    for (const Cells& row : rows) {
        const TEtalonTypeInfo& type = EtalonTypeInfos[Number(row[0])];
        SCOPED_TRACE(row[1]);
        EXPECT_ANSI_EQ(type.Code, Text(row[1]));
        EXPECT_ANSI_EQ(type.Title, Text(row[2]));
        EXPECT_EQ(std::vector<int32_t>(type.Keys, type.Keys + type.KeyCount), Numbers(row[3]));
    }
}

TEST(DocumentTablesTest, FileFormats)
{
    const std::vector<Cells> rows = ParseRows(FileFormatRows);
    ASSERT_EQ(static_cast<int>(rows.size()), FileFormatCount);
    for (const Cells& row : rows) {
        const TFileFormatInfo& format = FileFormats[Number(row[0])];
        SCOPED_TRACE(row[1]);
        EXPECT_ANSI_EQ(format.Tag, Text(row[1]));
        EXPECT_ANSI_EQ(format.Description, Text(row[2]));
        EXPECT_ANSI_EQ(format.Mask, Text(row[3]));
        EXPECT_ANSI_EQ(format.Extension, Text(row[4]));
    }
    EXPECT_EQ(FileFormats[ffDelim].Tag, std::string("DELIM"));
    EXPECT_EQ(FileFormats[ffFixed].Tag, std::string("FIXED"));
    EXPECT_EQ(FileFormats[ffDBase].Tag, std::string("DBASE"));
    EXPECT_EQ(FileFormats[ffXml].Tag, std::string("XML"));
}
