#include "DataFileHelpers.h"
#include "ProfileFiles.h"
#include "ValidationRecords.h"

#include "documents/Etalons.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Validate.h"
#include "platform/Paths.h"

#include <memory>

namespace {

// A list of the type with the given rows (CR LF after each).
std::unique_ptr<TEtalon> ListOf(int type, const AnsiString& rows)
{
    auto etalon = std::make_unique<TEtalon>(&EtalonTypeInfos[type], EncodeDate(2015, 1, 10));
    TMemoryStream stream;
    stream.WriteString(rows);
    stream.SetPosition(0);
    etalon->LoadData(&stream);
    return etalon;
}

AnsiString Lookup(TEtalon& etalon, const AnsiString& record)
{
    TLine line(record);
    return CheckOutcome([&] { etalon.Check(&line); }, "found");
}

const char SalNotFound[] = "Эталонный список 12-значных счетов клиентов: запись не найдена";

} // namespace

TEST(EtalonsTest, ARecordIsFoundByItsKeysExactly)
{
    auto sal = ListOf(0, "ИВАНОВ ИВАН;000000000123;5000\r\nПЕТРОВ;000000000124\r\nСИДОРОВ\r\n");

    EXPECT_EQ(Lookup(*sal, "ИВАНОВ ИВАН;000000000123;1.00"), "found");
    // A row without the account field has it empty.
    EXPECT_EQ(Lookup(*sal, "СИДОРОВ;;7"), "found");

    for (const char* missing : {"Иванов Иван;000000000123", "ИВАНОВ ИВАН ;000000000123", "ИВАНОВ ИВАН", ";000000000123"})
        EXPECT_ANSI_EQ(Lookup(*sal, missing), SalNotFound) << U8(missing);
    // A record whose keys are all empty is accepted without a search.
    EXPECT_EQ(Lookup(*sal, ";;100"), "found");
    EXPECT_EQ(Lookup(*sal, ""), "found");

    // A row's fields never hold the delimiter: a key with one must not match the row
    // split at that place.
    auto split = ListOf(0, "А;Б\r\nА;Б;\r\n");
    EXPECT_EQ(Lookup(*split, "А;Б"), "found");
    TDelimRecord joined("|", false);
    joined.SetText("А;Б|");
    EXPECT_RAISES(split->Check(&joined), EValidateError, SalNotFound);
    joined.SetText("А|Б;");
    EXPECT_RAISES(split->Check(&joined), EValidateError, SalNotFound);

    // A service provider list looks at field 4 only.
    auto com = ListOf(2, "000000000555;ООО Вода\r\n");
    EXPECT_EQ(Lookup(*com, "ЛЮБОЙ;1;2;;000000000555"), "found");
    EXPECT_EQ(Lookup(*com, "ЛЮБОЙ;1;2"), "found");   // no field 4: no search
    EXPECT_ANSI_EQ(Lookup(*com, "ЛЮБОЙ;1;2;;000000000556"), "Эталонный список счетов поставщиков услуг: запись не найдена");
    EXPECT_EQ(com->KeyView().Count(), 1);
}

TEST(EtalonsTest, ALongListWithRepeatedRowsFindsEveryRowAndNothingElse)
{
    AnsiString rows;
    for (int i = 0; i < 3000; ++i)
        rows += "Ф" + IntToStr(i % 2000) + ";" + IntToStr(100000 + i % 2000) + "\r\n";
    auto sal = ListOf(0, rows);
    sal->Data().Sort();   // the list window sorts the rows it shows
    for (int i = 0; i < 2000; ++i) {
        const AnsiString name = "Ф" + IntToStr(i);
        ASSERT_EQ(Lookup(*sal, name + ";" + IntToStr(100000 + i)), "found") << i;
        ASSERT_ANSI_EQ(Lookup(*sal, name + ";" + IntToStr(100001 + i)), SalNotFound);
    }

    // Reloading replaces the rows.
    TMemoryStream stream;
    stream.WriteString("ПЕТРОВ;000000000002\r\n");
    stream.SetPosition(0);
    sal->LoadData(&stream);
    EXPECT_EQ(Lookup(*sal, "ПЕТРОВ;000000000002"), "found");
    EXPECT_ANSI_EQ(Lookup(*sal, "Ф1;100001"), SalNotFound);
}

namespace {

struct TStoredList {
    AnsiString Code;
    AnsiString Date;
    AnsiString Rows;
};

const char SalTitle[] = "Эталонный список 12-значных счетов клиентов";
const char NnsTitle[] = "Эталонный список 20-значных счетов клиентов";

} // namespace

// The reference lists of prefix ABC in the store of the selected profile's data folder.
class StoredListsTest : public ::testing::Test {
protected:
    // Selects the profile with the salary settings' lines (the one selected before is
    // closed first).
    void Select(std::initializer_list<AnsiString> salaryLines)
    {
        FSelected.reset();
        FSelected = std::make_unique<TSelectedProfile>(Dir.File("velton.ini"), Dir.Path(), salaryLines);
    }

    void Store(std::initializer_list<TStoredList> lists)
    {
        TEtalons store;
        store.LoadFromFile(EtalonsFileName("ABC"));
        for (const TStoredList& list : lists)
            AppendRow(store, {list.Rows, list.Code, list.Date});
        store.SaveToFile("");
    }

    static AnsiString DaysAgo(int days) { return DateToStr(Date() - days); }

    TTempDir Dir;

private:
    std::unique_ptr<TSelectedProfile> FSelected;
};

TEST_F(StoredListsTest, OnlyTheRequiredTypesAreLoadedFromTheirFirstRowsAndNoStoreIsNone)
{
    Select({"Salary.EtalonTypes=NNS,SAL"});
    Store({{"COM", "01/01/2015", "55\r\n"},
           {"sal", "02/01/2015", "ИВАНОВ;000000000001\r\n"},
           {"nns", "03/01/2015", "ПЕТРОВ;40817810000000000001\r\nСИДОРОВ;40817810000000000002\r\n"},
           {"SAL", "04/01/2015", "ЛИ;000000000002\r\n"}});
    TEtalonArray lists;
    lists.Load(EtalonsFileName("ABC"));

    ASSERT_NE(lists.At(0), nullptr);
    EXPECT_ANSI_EQ(lists.At(0)->Title(), SalTitle);
    EXPECT_EQ(lists.At(0)->FormedDate(), EncodeDate(2015, 1, 2));
    EXPECT_EQ(Lookup(*lists.At(0), "ИВАНОВ;000000000001"), "found");
    EXPECT_ANSI_EQ(Lookup(*lists.At(0), "ЛИ;000000000002"), SalNotFound);
    ASSERT_NE(lists.At(1), nullptr);
    EXPECT_EQ(lists.At(1)->Data().RecordCount(), 2);
    EXPECT_EQ(lists.At(2), nullptr);

    // Loading again starts from empty slots.
    Select({});
    lists.Load(EtalonsFileName("ABC"));
    EXPECT_EQ(lists.At(0), nullptr);
    EXPECT_EQ(lists.At(1), nullptr);

    // A missing store loads nothing; a bad date fails.
    Select({"Salary.EtalonTypes=SAL"});
    DeleteFile(EtalonsFileName("ABC"));
    lists.Load(EtalonsFileName("ABC"));
    EXPECT_EQ(lists.At(0), nullptr);
    Store({{"SAL", "31/02/2015", "ИВАНОВ;000000000001\r\n"}});
    EXPECT_THROW(lists.Load(EtalonsFileName("ABC")), EConvertError);
}

TEST_F(StoredListsTest, PrepareWantsEveryRequiredListFresh)
{
    Select({"Salary.EtalonTypes=SAL,NNS", "Salary.EtalonExpire=1"});
    TSalaryValidator validator;
    EXPECT_RAISES(validator.Prepare(), Exception, SalTitle + AnsiString(" отсутствует, сделайте обновление"));

    Store({{"SAL", DaysAgo(0), ""}});
    EXPECT_RAISES(validator.Prepare(), Exception, NnsTitle + AnsiString(" отсутствует, сделайте обновление"));
    Store({{"NNS", DaysAgo(1), ""}});
    EXPECT_RAISES(validator.Prepare(), Exception, NnsTitle + AnsiString(" устарел, сделайте обновление"));

    Select({"Salary.EtalonTypes=SAL,NNS", "Salary.EtalonExpire=2"});
    validator.Prepare();
    // The run stops: an outdated list is no record error.
    Select({"Salary.EtalonTypes=SAL,NNS", "Salary.EtalonExpire=1"});
    EXPECT_THROW(try { validator.Prepare(); } catch (const EValidateError&) {}, Exception);
}

TEST_F(StoredListsTest, RecordsAreLookedUpNormalised)
{
    Select({"Salary.EtalonTypes=SAL,COM"});
    Store({{"SAL", DaysAgo(0), "ИВАНОВ ИВАН;000000000123\r\nЛИ;000000000124\r\n"}, {"COM", DaysAgo(0), "55;Вода\r\n"}});
    TSalaryValidator validator;
    // Without Prepare no record passes unchecked.
    TLine early("иванов иван;123;100");
    EXPECT_RAISES(validator.Validate(&early), Exception, SalTitle + AnsiString(" отсутствует, сделайте обновление"));

    validator.Prepare();
    auto outcome = [&](const AnsiString& text) {
        TLine record(text);
        return CheckOutcome([&] { validator.Validate(&record); }, "found");
    };
    EXPECT_EQ(outcome("  иванов   иван ;123;100"), "found");
    EXPECT_ANSI_EQ(outcome("иванов иван;124;100"), SalNotFound);
    EXPECT_EQ(outcome("ли;124;1;за май;55"), "found");
    EXPECT_ANSI_EQ(outcome("ли;124;1;за май;56"), "Эталонный список счетов поставщиков услуг: запись не найдена");
}
