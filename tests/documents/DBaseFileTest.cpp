#include "documents/Datafiles.h"

#include "DataFileHelpers.h"
#include "StreamBytes.h"

#include "documents/Charsets.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <vector>

namespace {

struct TField {
    const char* Name;
    char Type;
    int Length;
    int Decimals;
};

// The fields of the fixtures: NAME C(10), SUM N(8,2), PAID D(8), FLAG L(1), NOTE M(10);
// a record is 1 + 37 = 38 bytes.
const std::vector<TField> SalaryFields = {
    {"NAME", 'C', 10, 0}, {"SUM", 'N', 8, 2}, {"PAID", 'D', 8, 0}, {"FLAG", 'L', 1, 0}, {"NOTE", 'M', 10, 0},
};

std::string Descriptor(const TField& field)
{
    std::string descriptor(32, '\0');
    descriptor.replace(0, std::string(field.Name).size(), field.Name);
    descriptor[11] = field.Type;
    descriptor[16] = static_cast<char>(field.Length);
    descriptor[17] = static_cast<char>(field.Decimals);
    descriptor[20] = 0x55;   // a reserved byte that must survive a save
    return descriptor;
}

// A dBase III file: header, descriptors, 0x0D, the records as given (each with its
// deletion mark) and the end-of-file byte.
std::string DbfFile(const std::vector<TField>& fields, const std::vector<std::string>& records,
                    unsigned char version = 0x03)
{
    int recordLength = 1;
    std::string descriptors;
    for (const TField& field : fields) {
        recordLength += field.Length;
        descriptors += Descriptor(field);
    }
    std::string header = Bytes({version, 125, 1, 31}) + LE32(static_cast<uint32_t>(records.size())) +
                         LE16(32 + unsigned(descriptors.size()) + 1) + LE16(unsigned(recordLength)) +
                         std::string(20, '\0');
    header[14] = 0x77;   // reserved
    std::string file = header + descriptors + "\r";
    for (const std::string& record : records)
        file += record;
    return file + "\x1A";
}

// One record of SalaryFields: mark, name, sum, date, flag, memo reference.
std::string SalaryRecord(char mark, const std::string& name, const std::string& sum, const std::string& paid,
                         char flag, const std::string& note)
{
    auto padRight = [](std::string text, size_t width) { return text.append(width - text.size(), ' '); };
    auto padLeft = [](const std::string& text, size_t width) { return std::string(width - text.size(), ' ') + text; };
    return std::string(1, mark) + padRight(name, 10) + padLeft(sum, 8) + padRight(paid, 8) + flag +
           padLeft(note, 10);
}

const std::string Ivanov = SalaryRecord(' ', AnsiToOem("Иванов"), "1500.50", "20150131", 'y', "1");
const std::string Gone = SalaryRecord('*', AnsiToOem("Уволен"), "1.00", "20140101", 'F', "");
const std::string Petrova = SalaryRecord(' ', AnsiToOem("Петрова"), "", "", ' ', "");

}  // namespace

TEST(DBaseFileTest, ASecondReaderLeavesTheCursor)
{
    TDBaseFile file(nullptr, CodePageCp866);
    LoadBytes(file, DbfFile(SalaryFields, {Ivanov, Gone, Petrova}));
    file.Next();
    // A second reader shows the first record the same way while the cursor stays.
    const std::unique_ptr<TFileRecord> reader = file.CurRecord()->NewRecord();
    file.ReadRecord(0, *reader);
    EXPECT_ANSI_EQ(reader->Get(2), "31/01/2015");
    EXPECT_ANSI_EQ(reader->Get(3), "True");
    EXPECT_EQ(file.RecNo(), 1);
}

TEST(DBaseFileTest, FieldValuesAreCheckedByType)
{
    TDBaseFile file(nullptr, CodePageCp866);
    LoadBytes(file, DbfFile(SalaryFields, {Petrova}));
    TFileRecord* record = file.CurRecord();
    record->Set(1, " 123.4 ");
    EXPECT_EQ(record->Get(1), "123.40");
    record->Set(1, "-1");
    EXPECT_EQ(record->Get(1), "-1.00");
    EXPECT_RAISES(record->Set(1, "1.234"), EValidateError, "Точность значения более 2 знаков после запятой");
    EXPECT_RAISES(record->Set(1, "123456.7"), Exception, "Значение поля слишком велико");
    EXPECT_RAISES(record->Set(2, "31/02/2015"), EValidateError, "Неверный формат даты");
    EXPECT_RAISES(record->Set(3, "yes"), Exception, "Неверный формат логического поля");
    EXPECT_RAISES(record->Set(0, "Переполнение"), Exception, "Значение поля слишком велико");
    record->Set(0, "  Ли  ");
    EXPECT_ANSI_EQ(record->Get(0), "  Ли");
    record->Set(3, " TRUE ");
    EXPECT_EQ(record->Get(3), "True");
    record->Set(2, "31/12/99");
    EXPECT_EQ(record->Get(2), "31/12/1999");
    file.Next();
    EXPECT_EQ(Hex(file.CurRecord()->GetText()),
              Hex(SalaryRecord(' ', "  Ли", "-1.00", "19991231", 'T', "").substr(1)));
}

TEST(DBaseFileTest, ZeroDecimalsAndOtherTypes)
{
    TDBaseFile file(nullptr, CodePageCp1251);
    LoadBytes(file, DbfFile({{"N", 'N', 4, 0}, {"F", 'F', 4, 1}, {"L", 'L', 1, 0}}, {"    7 1.5N"}));
    EXPECT_EQ(CurrentRow(file), (std::vector<AnsiString>{"7", " 1.5", "False"}));
    file.CurRecord()->Set(0, "12");
    EXPECT_EQ(file.CurRecord()->Get(0), "12");
    file.CurRecord()->Set(0, "1234.000");   // a whole number fills the field without a point
    EXPECT_EQ(file.CurRecord()->Get(0), "1234");
    file.CurRecord()->Set(1, "ab");
    EXPECT_EQ(file.CurRecord()->GetText(), "1234ab  N");
}

TEST(DBaseFileTest, DamagedFilesAreRefused)
{
    const std::string good = DbfFile(SalaryFields, {Ivanov, Petrova});
    auto refused = [](const std::string& bytes, const AnsiString& message) {
        TDBaseFile file(nullptr, CodePageCp866);
        try {
            LoadBytes(file, bytes);
            ADD_FAILURE() << "loaded: " << Hex(bytes.substr(0, 12));
        } catch (const Exception& error) {
            EXPECT_ANSI_EQ(error.Message(), message);
        }
        EXPECT_FALSE(file.Open());
        EXPECT_EQ(file.RecordCount(), 0);
        EXPECT_EQ(file.Fields().Count(), 0);
    };
    // Each damage: the bytes written over the good file at an offset, and the refusal.
    const struct {
        size_t At;
        std::string Bytes;
        const char* Message;
    } damages[] = {
        {0, "\x30", "Неверная сигнатура в заголовке DBF-файла"},
        {8, LE16(32), "Неверная сигнатура в заголовке DBF-файла"},
        {10, LE16(0), "Суммарная длина полей превышает размер записи"},
        {10, LE16(37), "Суммарная длина полей превышает размер записи"},   // the fields need 37
        {4, LE32(0xFFFFFFFF), "Ошибка чтения потока"},
        {4, LE32(3), "Ошибка чтения потока"},   // one record more than the file holds (0x1A is none)
        {8, LE16(0xFFFF), "Ошибка чтения потока"},
        {193 + 38, "X", "Неверная метка удаленной записи в DBF-файле"},
    };
    for (const auto& damage : damages) {
        std::string bytes = good;
        refused(bytes.replace(damage.At, damage.Bytes.size(), damage.Bytes), damage.Message);
    }
    refused(good.substr(0, 20), "Ошибка чтения потока");
}

// Whole records past those the header counts are read, deleted ones hidden; an append
// follows them, and a second append the first. Bytes after the last whole record (a
// record-sized run that starts with the end-of-file byte, a piece of a record) are no
// record and are not kept.
TEST(DBaseFileTest, RecordsTheHeaderDidNotCountAreRead)
{
    const std::string tail = "\x1A" + std::string(37, 'x') + " part";
    std::string bytes = DbfFile(SalaryFields, {Ivanov, Gone, Petrova});
    bytes.replace(4, 4, LE32(1)).append(tail);
    TDBaseFile file(nullptr, CodePageCp866);
    LoadBytes(file, bytes);
    EXPECT_EQ(file.HeaderRecordCount(), 1u);
    EXPECT_EQ(file.HeldRecords(), 3);
    ASSERT_EQ(file.RecordCount(), 2);
    AppendRow(file, {"Новиков"});
    AppendRow(file, {"Орлов"});
    EXPECT_EQ(file.RecordCount(), 4);
    file.First();
    const std::unique_ptr<TFileRecord> reader = file.CurRecord()->NewRecord();
    file.ReadRecord(1, *reader);
    EXPECT_ANSI_EQ(reader->Get(0), "Петрова");
    const std::string records = SavedBytes(file).substr(32 + 5 * 32 + 1);
    EXPECT_EQ(records, Ivanov + Gone + Petrova + SalaryRecord(' ', AnsiToOem("Новиков"), "", "", ' ', "") +
                           SalaryRecord(' ', AnsiToOem("Орлов"), "", "", ' ', "") + "\x1A");

    // A file whose header counts every record keeps what follows them out of the table too.
    LoadBytes(file, DbfFile(SalaryFields, {Ivanov}) + tail);
    EXPECT_EQ(file.HeldRecords(), 1);
    EXPECT_EQ(SavedBytes(file), DbfFile(SalaryFields, {Ivanov}));
}

TEST(DBaseFileTest, ATableIsAlwaysAFile)
{
    TDBaseFile file(nullptr, CodePageCp866);
    EXPECT_RAISES(file.LoadFromStream(nullptr), Exception, "Создание нового DBase-файла невозможно");
    EXPECT_RAISES(file.Append(), Exception, "Создание нового DBase-файла невозможно");
    EXPECT_FALSE(file.Open());
}

TEST(DBaseFileTest, ExplicitWidthsGiveAReadOnlyFixedView)
{
    TDBaseFile file(Widths({10, 8}).get(), CodePageCp866);
    LoadBytes(file, DbfFile(SalaryFields, {Ivanov, Gone, Petrova}));
    EXPECT_EQ(file.RecordCount(), 2);
    EXPECT_EQ(file.Fields().At(0)->Type, '?');
    EXPECT_EQ(CurrentRow(file), (std::vector<AnsiString>{"Иванов", " 1500.50"}));
    file.CurRecord()->Set(1, "x");
    EXPECT_RAISES(SavedBytes(file), Exception, "Сохранение DBase-файла с переопределенными полями невозможно");

    TDBaseFile tooWide(Widths({10, 5}).get(), CodePageCp866);
    EXPECT_RAISES(LoadBytes(tooWide, DbfFile({{"A", 'C', 11, 0}}, {std::string(12, ' ')})), Exception,
                  "Суммарная длина полей превышает размер записи");
    TDBaseFile exact(Widths({6, 5}).get(), CodePageCp866);
    LoadBytes(exact, DbfFile({{"A", 'C', 11, 0}}, {" abcdef12345"}));
    EXPECT_EQ(CurrentRow(exact), (std::vector<AnsiString>{"abcdef", "12345"}));
}

TEST(DBaseFileTest, LineLongerThanTheRecordIsRefused)
{
    // In UTF-8 a Cyrillic letter takes two bytes: the line no longer fits the record.
    TDBaseFile file(nullptr, CodePageUtf8);
    LoadBytes(file, DbfFile({{"A", 'C', 4, 0}}, {" abcd"}));
    file.CurRecord()->Set(0, "Жук");
    EXPECT_RAISES(file.Next(), Exception, "Значение поля слишком велико");
    file.CurRecord()->Set(0, "Ж");
    file.Next();
    EXPECT_EQ(SavedBytes(file).substr(32 + 32 + 1), " " + AnsiToUtf8("Ж") + "  \x1A");
}

TEST(DBaseFileTest, FirstCharacterLostFindsWhatCp1251LacksInItsField)
{
    TDBaseFile file(nullptr, CodePageCp866);
    LoadBytes(file, DbfFile(SalaryFields, {SalaryRecord(' ', AnsiToOem("Ив?") + "\xB3", "1.00", "", ' ', "")}));
    EXPECT_EQ(file.FirstCharacterLost(0), U'\u2502');
    EXPECT_EQ(file.FirstCharacterLost(1), 0u);
}
