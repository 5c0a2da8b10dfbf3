// The document-kind tables, every row against the bank's documentation: each compiled
// table is written out one row a line, "|" between the cells, and compared whole.

#include "documents/Exportfiles.h"
#include "platform/SysUtils.h"
#include "support/TestSupport.h"

namespace {

AnsiString Columns(const TDocTypeInfo& kind)
{
    AnsiString rows;
    for (int i = 0; i < kind.ColumnCount; ++i) {
        const TColumnInfo& c = kind.Columns[i];
        rows += Format("%d|%d|%d|%d|%s|%s\n", c.MaxLength, c.Width, c.Kind, c.Mandatory, c.Caption, c.Hint);
    }
    return rows;
}

AnsiString Numbers(const int32_t* numbers, int count)
{
    AnsiString text;
    for (int i = 0; i < count; ++i)
        text += (i > 0 ? "," : "") + IntToStr(numbers[i]);
    return text;
}

} // namespace

TEST(DocumentTablesTest, ExportKinds)
{
    AnsiString rows;
    for (int i = 0; i < ExportDocTypeCount; ++i) {
        const TDocTypeInfo& kind = ExportDocTypes[i];
        rows += Format("%s|%s|%d|%d|%s\n", kind.Code, kind.Title, kind.FieldCount, kind.ColumnCount, kind.Letter);
    }
    EXPECT_ANSI_EQ(rows, "Salary|Список на зачисление|3|10|\n"
                         "NewCli|Список на добавление клиентов|22|22|N\n"
                         "DelCli|Список на исключение клиентов|2|2|D\n");
}

TEST(DocumentTablesTest, ColumnsOfEveryKind)
{
    EXPECT_ANSI_EQ(Columns(ExportDocTypes[0]), "256|40|1|1|ФИО|Фамилия Имя Отчество\n"
                                               "20|20|2|1|Счет|Счет (20 цифр)\n"
                                               "12|12|6|1|Сумма|Сумма XXXXX.XX\n"
                                               "2000|30|0|0|Комментарий|Комментарий\n"
                                               "12|12|3|0|Счет ПУ|Не заполнять\n"
                                               "9|9|8|0|БИК|БИК банка\n"
                                               "20|20|4|0|Корсчет|Корсчет банка\n"
                                               "160|40|0|0|Наименование получателя|Наименование получателя\n"
                                               "12|12|9|0|ИНН получателя|ИНН получателя\n"
                                               "20|20|4|0|Счет получателя|Счет получателя\n");
    EXPECT_ANSI_EQ(Columns(ExportDocTypes[1]),
                   "256|40|1|1|ФИО|Фамилия Имя Отчество\n"
                   "12|12|0|1|Серия/номер|XXXX XXXXXX\n"
                   "5|5|5|1|Код|Код документа\r\n21 - для паспорта\n"
                   "10|10|7|1|Дата выдачи|ДД/ММ/ГГГГ\n"
                   "80|20|0|1|Место выдачи|Место выдачи\n"
                   "80|40|0|1|Кем выдан|Кем выдан\n"
                   "7|7|0|1|Код подр.|Код подразделения XXX-XXX\n"
                   "10|10|7|1|Дата рожд.|ДД/ММ/ГГГГ\n"
                   "80|20|0|0|Страна|Страна (необязательное поле)\n"
                   "6|6|5|0|Индекс|Почтовый индекс XXXXXX (необязательное поле)\n"
                   "2|2|5|1|Код субъекта РФ|Код субъекта РФ XX\n"
                   "80|20|0|1|Нас. пункт|Населеный пункт\n"
                   "80|30|0|1|Местный адрес|Улица, номер дома, строение(корпус), номер квартиры\n"
                   "80|20|0|0|Страна (место рожд.)|Страна места рождения (необязательное поле)\n"
                   "80|30|0|1|Регион (место рожд.)|Регион места рождения\n"
                   "80|30|0|0|Район (место рожд.)|Район места рождения (необязательное поле)\n"
                   "80|20|0|1|Нас. пункт (место рожд.)|Населенный пункт (место рождения)\n"
                   "20|20|0|1|Кодовое слово|Кодовое слово\n"
                   "20|11|0|1|Телефон|Телефон\n"
                   "1|2|0|1|Пол|М/Ж\n"
                   "4|5|0|1|Тип карты|Тип карты:\r\nMCST - MasterCard Standart\r\nMCGD - MasterCard GOLD\r\n"
                   "VSCL - Visa Clasic\r\nVSGD - Visa GOLD\n"
                   "12|12|5|0|Инн|Инн\n");
    EXPECT_ANSI_EQ(Columns(ExportDocTypes[2]), "256|40|1|1|ФИО|Фамилия Имя Отчество\n"
                                               "20|20|2|1|Счет|Счет\n");
}

TEST(DocumentTablesTest, SalaryColumnGroupsArePairsEndedByAnEmptyGroup)
{
    // A service-provider account ("Счет ПУ") needs a comment; any detail of an external
    // payment needs all of them and a comment. Each group ends with -1.
    EXPECT_EQ(Numbers(SalaryColumnGroups, SalaryColumnGroupsCount),
              "4,-1,4,3,-1,5,7,8,9,-1,5,7,8,9,3,-1,-1");
    for (int i = 0; i < SalaryColumnGroupsCount; ++i)
        EXPECT_LT(SalaryColumnGroups[i], ExportDocTypes[0].ColumnCount);
}

TEST(DocumentTablesTest, ReplyKindsReferenceListTypesAndFileFormats)
{
    ASSERT_EQ(ReplyDocTypeCount, 1);
    const TReplyTypeInfo& reply = ReplyDocTypes[0];
    AnsiString rows = Format("%s|%s\n", reply.Code, reply.Title);
    for (int i = 0; i < reply.ColumnCount; ++i)
        rows += Format("%d|%s\n", reply.Columns[i].Width, reply.Columns[i].Caption);
    EXPECT_ANSI_EQ(rows, "NewCliReply|Список добавленных клиентов\n40|ФИО\n14|Серия/номер\n20|Счет\n60|Сообщение\n");

    rows.clear();
    for (int i = 0; i < EtalonTypeCount; ++i) {
        const TEtalonTypeInfo& type = EtalonTypeInfos[i];
        rows += Format("%s|%s|", type.Code, type.Title) + Numbers(type.Keys, type.KeyCount) + "\n";
    }
    EXPECT_ANSI_EQ(rows, "SAL|Эталонный список 12-значных счетов клиентов|0,1\n"
                         "NNS|Эталонный список 20-значных счетов клиентов|0,1\n"
                         "COM|Эталонный список счетов поставщиков услуг|4\n");

    rows.clear();
    for (int i = 0; i < FileFormatCount; ++i) {
        const TFileFormatInfo& format = FileFormats[i];
        rows += Format("%s|%s|%s|%s\n", format.Tag, format.Description, format.Mask, format.Extension);
    }
    EXPECT_ANSI_EQ(rows, "DELIM|Текстовые файлы с разделителями|*.*|.txt\n"
                         "FIXED|Текстовые файлы с фикс. полями|*.*|.txt\n"
                         "DBASE|Файлы DBase III+|*.dbf|.dbf\n"
                         "XML|Файлы XML|*.xml|.xml\n");
    EXPECT_EQ(std::vector<int>({ffDelim, ffFixed, ffDBase, ffXml}), std::vector<int>({0, 1, 2, 3}));
}
