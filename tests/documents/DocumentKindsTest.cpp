#include "ProfileFiles.h"

#include "documents/Exportfiles.h"
#include "platform/Paths.h"

#include <vector>

namespace {

std::vector<int32_t> Entries(const TIntArray& values)
{
    std::vector<int32_t> entries;
    for (int i = 0; i < values.Count(); ++i)
        entries.push_back(values.At(i));
    return entries;
}

using Ints = std::vector<int32_t>;

} // namespace

class DocumentKindsTest : public ProfileFileTest {
protected:
    TSalaryProfile& Salary() { return *static_cast<TSalaryProfile*>(Store.Current()->ExportProfiles.At(0)); }
    TExportProfile& NewCli() { return *Store.Current()->ExportProfiles.At(1); }
    TExportProfile& DelCli() { return *Store.Current()->ExportProfiles.At(2); }
    TReplyProfile& Reply() { return *Store.Current()->ReplyProfiles.At(0); }
};

TEST_F(DocumentKindsTest, FileCountAndCommentAndFileName)
{
    SelectProfile({"Salary.FileCount=41", "Salary.Comment= Январь ", "Salary.FileName=data\\зарплата.txt",
                   "NewCli.FileName=/srv/new.dbf", "Arbitrary.FileName=a:\\doc.zip"},
                  {"Arbitrary.FileCount=2", "NewCli.Delim=|"});
    EXPECT_EQ(Salary().FileCount, 41);
    EXPECT_ANSI_EQ(Salary().Comment, "Январь");
    EXPECT_ANSI_EQ(Salary().FileName, ProgramFolder() + "data/зарплата.txt");
    EXPECT_EQ(NewCli().FileName, "/srv/new.dbf");
    EXPECT_EQ(Store.Current()->ArbitraryProfile.FileName, "a:/doc.zip");
    EXPECT_EQ(Store.Current()->ArbitraryProfile.FileCount, 2);   // from Common
    EXPECT_EQ(NewCli().Delim, "|");

    EXPECT_ANSI_EQ(SelectError({"Salary.FileCount=-1"}), "Профиль P: Неверное значение параметра Salary.FileCount");
    EXPECT_ANSI_EQ(SelectError({"DelCli.FileCount=x"}), "Профиль P: Неверный формат параметра DelCli.FileCount");
}

TEST_F(DocumentKindsTest, FieldMaps)
{
    SelectProfile({"NewCli.Fields=3,,1", "Salary.Fields= 3 , 1 ,", "DelCli.Fields=,2"});
    EXPECT_EQ(Entries(NewCli().FieldIndexes), (Ints{2, -1, 0}));
    EXPECT_EQ(Entries(Salary().FieldIndexes), (Ints{2, 0, -1}));
    EXPECT_EQ(Entries(DelCli().FieldIndexes), (Ints{-1, 1}));
    EXPECT_EQ(Entries(Reply().FieldIndexes), (Ints{0, 1, 2, 3}));   // the defaults
    EXPECT_EQ(Reply().FileFormat, ffDelim);
    EXPECT_EQ(Reply().Charset, 0);

    const AnsiString range = "Профиль P: Неверное значение индекса поля в параметре ";
    EXPECT_ANSI_EQ(SelectError({"Salary.Fields=1,2,3,4"}), range + "Salary.Fields");
    for (const char* fields : {"0", "23"})
        EXPECT_ANSI_EQ(SelectError({AnsiString("NewCli.Fields=") + fields}), range + "NewCli.Fields");
    EXPECT_ANSI_EQ(SelectError({"NewCliReply.Fields=5"}), range + "NewCliReply.Fields");
    EXPECT_ANSI_EQ(SelectError({"NewCli.Fields=2,2"}),
                   "Профиль P: Дублирование индексов полей в параметре NewCli.Fields");
    EXPECT_ANSI_EQ(SelectError({"NewCli.Fields=,,"}),
                   "Профиль P: Не задано ни одного индекса в параметре NewCli.Fields");
    EXPECT_ANSI_EQ(SelectError({"NewCli.Fields=1;2"}),
                   "Профиль P: Неверный формат индекса поля в параметре NewCli.Fields");
}

TEST_F(DocumentKindsTest, FileFormatsAndFieldLengths)
{
    SelectProfile({"Salary.FileFormat=fixed", "Salary.Lengths=40,20,12", "NewCli.FileFormat=Dbase",
            "DelCli.FileFormat=XML", "NewCliReply.FileFormat=FIXED", "NewCliReply.Lengths=1,2,3,4",
            "Arbitrary.FileFormat=nonsense"});
    EXPECT_EQ(Salary().FileFormat, ffFixed);
    EXPECT_EQ(NewCli().FileFormat, ffDBase);
    EXPECT_EQ(DelCli().FileFormat, ffXml);
    EXPECT_EQ(Reply().FileFormat, ffFixed);

    EXPECT_ANSI_EQ(SelectError({"NewCliReply.FileFormat=DBASE"}),
                   "Профиль P: Задан неверный формат файла в параметре NewCliReply.FileFormat");

    SelectProfile({"Salary.FileFormat=FIXED", "Salary.Lengths= 40 ,20,12,7", "NewCli.FileFormat=DBASE",
            "DelCli.FileFormat=DBASE", "DelCli.Lengths=40,20", "DelCli.Fields=2", "NewCliReply.Lengths=1"});
    EXPECT_EQ(Entries(Salary().FieldLengths), (Ints{40, 20, 12, 7}));   // extra items stay
    EXPECT_EQ(Entries(NewCli().FieldLengths), Ints{});                  // DBASE without widths
    EXPECT_EQ(Entries(DelCli().FieldLengths), (Ints{40, 20}));
    EXPECT_EQ(Entries(Reply().FieldLengths), Ints{});                   // DELIM reads no widths

    EXPECT_ANSI_EQ(SelectError({"Salary.FileFormat=FIXED"}),
                   "Профиль P: Количество значений в параметре Salary.Lengths должно быть не менее 3");
    EXPECT_ANSI_EQ(SelectError({"NewCli.FileFormat=DBASE", "NewCli.Fields=1,,3", "NewCli.Lengths=5,5"}),
                   "Профиль P: Количество значений в параметре NewCli.Lengths должно быть не менее 3");
    EXPECT_ANSI_EQ(SelectError({"Salary.FileFormat=FIXED", "Salary.Lengths=10,x,5"}),
                   "Профиль P: Неверный формат длины поля в параметре Salary.Lengths");
    EXPECT_ANSI_EQ(SelectError({"Salary.FileFormat=FIXED", "Salary.Lengths=10,0,5"}),
                   "Профиль P: Неверное значение длины поля в параметре Salary.Lengths");
    // A line of a fixed-width file holds at most 64 KB.
    EXPECT_EQ(SelectProfile({"Salary.FileFormat=FIXED", "Salary.Lengths=30000,30000,5536"}).ExportProfiles.At(0)->FieldLengths.Count(), 3);
    for (const char* widths : {"30000,30000,5537", "10,2147483647,5"})
        EXPECT_ANSI_EQ(SelectError({"Salary.FileFormat=FIXED", AnsiString("Salary.Lengths=") + widths}),
                       "Профиль P: Неверное значение параметра Salary.Lengths");
}

TEST_F(DocumentKindsTest, XmlPathsAndASwitchedFormatKeepsNoStaleFields)
{
    SelectProfile({"Salary.FileFormat=FIXED", "Salary.Lengths=40,20,12", "NewCli.FileFormat=XML",
                   "NewCli.XMLPersonPath=/a/b"});
    ASSERT_EQ(Salary().FieldLengths.Count(), 3);
    EXPECT_EQ(NewCli().XMLPersonPath, "/a/b");
    EXPECT_ANSI_EQ(NewCli().XMLPersonPattern, "<Фамилия> <Имя> <Отчество>;<ЛицевойСчет>;<Сумма>");
    TSalaryProfile& salary = Salary();
    TExportProfile& newCli = NewCli();
    Store.Ini()->WriteString("P", "Salary.FileFormat", "DBASE");
    Store.Ini()->DeleteKey("P", "Salary.Lengths");
    Store.Ini()->WriteString("P", "NewCli.FileFormat", "DELIM");
    Store.Select(0);
    EXPECT_EQ(salary.FileFormat, ffDBase);
    EXPECT_EQ(Entries(salary.FieldLengths), Ints{});
    EXPECT_EQ(newCli.XMLPersonPath, "");
    EXPECT_EQ(newCli.XMLPersonPattern, "");
}

TEST_F(DocumentKindsTest, DelimitersAndCharsets)
{
    SelectProfile({"Salary.Delim= ", "DelCli.Delim=||", "Salary.Charset=koi8r", "NewCli.FileFormat=DBASE",
                   "DelCli.Charset=UTF8"});
    EXPECT_EQ(Salary().Delim, ";");   // a blank delimiter is the default
    EXPECT_EQ(DelCli().Delim, "||");
    EXPECT_EQ(Salary().Charset, 2);
    EXPECT_EQ(NewCli().Charset, 1);   // DBASE defaults to CP866
    EXPECT_EQ(DelCli().Charset, 3);

    EXPECT_EQ(SelectProfile({"NewCli.FileFormat=DBASE", "NewCli.Charset=CP1251"}).ExportProfiles.At(1)->Charset, 0);
    // A line break would split the records on the next load.
    EXPECT_ANSI_EQ(SelectError({"DelCli.Delim=;\r;"}), "Профиль P: Неверное значение параметра DelCli.Delim");
    EXPECT_ANSI_EQ(SelectError({"Salary.Charset=CP1252"}),
                   "Профиль P: Задана неверная кодировка в параметре Salary.Charset");
    // dBase records have fixed byte widths, which UTF-8 would shift; the message says so.
    EXPECT_ANSI_EQ(SelectError({"NewCli.FileFormat=DBASE", "NewCli.Charset=utf8"}),
                   "Профиль P: Кодировка UTF8 не поддерживается для формата DBASE");
}

TEST_F(DocumentKindsTest, ReferenceListTypes)
{
    SelectProfile({"Salary.EtalonTypes=sal, COM, SAL", "Salary.EtalonExpire=3"});
    EXPECT_EQ(Entries(Salary().EtalonTypes), (Ints{0, 2}));
    EXPECT_EQ(Salary().EtalonExpire, 3);
    SelectProfile({"Salary.EtalonTypes=NNS"});
    EXPECT_EQ(Salary().EtalonExpire, 1);

    EXPECT_ANSI_EQ(SelectError({"Salary.EtalonTypes=SAL,"}),
                   "Профиль P: Неизвестный тип эталона в параметре Salary.EtalonTypes");
    EXPECT_ANSI_EQ(SelectError({"Salary.EtalonTypes=SAL", "Salary.EtalonExpire=0"}),
                   "Профиль P: Неверное значение параметра Salary.EtalonExpire");
    EXPECT_ANSI_EQ(SelectError({"Salary.EtalonTypes=SAL", "Salary.EtalonExpire=1d"}),
                   "Профиль P: Неверный формат параметра Salary.EtalonExpire");
    EXPECT_ANSI_EQ(SelectError({"Salary.EtalonExpire=0"}), "no error");
}

// ---- Writing back ----

// A file name below the program's folder is stored relative to it.
TEST_F(DocumentKindsTest, SettersWriteThroughToTheFile)
{
    SelectProfile({}, {"Salary.FileName=common.txt"});
    const AnsiString inside = ProgramFolder() + "data/Январь.txt";
    Salary().SetFileName(inside);
    EXPECT_ANSI_EQ(Salary().FileName, inside);
    NewCli().SetFileName("/srv/bank/new.txt");
    EXPECT_EQ(NewCli().FileName, "/srv/bank/new.txt");
    EXPECT_EQ(FileBytes(), IniText({"[P]"}) + MinimalProfileLines() +
                               IniText({"Salary.FileName=data/Январь.txt", "NewCli.FileName=/srv/bank/new.txt",
                                        "[Common]", "Salary.FileName=common.txt"}));
    // Read back on the next selection.
    Store.Select(0);
    EXPECT_ANSI_EQ(Salary().FileName, inside);

    // A "\" in a chosen file's name is part of the name, also after the next selection;
    // only a path without any "/" (as written on Windows) has its "\" turned into "/".
    const AnsiString backslashed = ProgramFolder() + "письмо\\1.txt";
    Salary().SetFileName(backslashed);
    NewCli().SetFileName("/srv/bank/a\\b.txt");
    Store.Select(0);
    EXPECT_ANSI_EQ(Salary().FileName, backslashed);
    EXPECT_EQ(NewCli().FileName, "/srv/bank/a\\b.txt");
    Salary().SetFileName(inside);

    // A name that the file refuses leaves the setting as the file holds it.
    EXPECT_THROW(Salary().SetFileName("/srv/a\nb.txt"), Exception);
    EXPECT_ANSI_EQ(Salary().FileName, inside);

    SelectProfile({"Salary.FileCount=4"});
    Salary().SetFileCount(5);
    Store.Current()->ArbitraryProfile.SetComment("Отчет за май");
    EXPECT_EQ(Salary().FileCount, 5);
    EXPECT_ANSI_EQ(Store.Current()->ArbitraryProfile.Comment, "Отчет за май");
    const std::string written = IniText({"[P]", "Salary.FileCount=5"}) + MinimalProfileLines() +
                                IniText({"Arbitrary.Comment=Отчет за май"});
    EXPECT_EQ(FileBytes(), written);
    // A comment that would break the file is refused and changes nothing.
    EXPECT_RAISES(Salary().SetComment("line\r\n[Common]\r\nPrefix=XXX"), Exception,
                  "Недопустимое имя или значение параметра: [P] Salary.Comment");
    EXPECT_EQ(Salary().Comment, "");
    EXPECT_EQ(FileBytes(), written);
}
