#include "ValidationRecords.h"

#include "documents/Etalons.h"
#include "documents/Exportfiles.h"

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
    EXPECT_ANSI_EQ(sal->Title(), "Эталонный список 12-значных счетов клиентов");
    EXPECT_EQ(sal->FormedDate(), EncodeDate(2015, 1, 10));

    EXPECT_EQ(Lookup(*sal, "ИВАНОВ ИВАН;000000000123;1.00"), "found");
    EXPECT_EQ(Lookup(*sal, "ПЕТРОВ;000000000124"), "found");
    // A row without the account field has it empty.
    EXPECT_EQ(Lookup(*sal, "СИДОРОВ"), "found");
    EXPECT_EQ(Lookup(*sal, "СИДОРОВ;;7"), "found");

    for (const char* missing : {"Иванов Иван;000000000123", "ИВАНОВ ИВАН ;000000000123", "ИВАНОВ ИВАН;000000000124",
                                "ИВАНОВ ИВАН", "ПЕТРОВ;000000000124 ", "ИВАНОВ", ";000000000123"})
        EXPECT_ANSI_EQ(Lookup(*sal, missing), SalNotFound) << U8(missing);
    // A record whose keys are all empty is accepted without a search.
    EXPECT_EQ(Lookup(*sal, ";;100"), "found");
    EXPECT_EQ(Lookup(*sal, ""), "found");
}

TEST(EtalonsTest, KeysThatNoRowCanHoldAreNotFound)
{
    // A row's fields never hold the delimiter: a key with one must not match the row
    // split at that place.
    auto sal = ListOf(0, "А;Б\r\nА;Б;\r\n");
    EXPECT_EQ(Lookup(*sal, "А;Б"), "found");
    TDelimRecord joined("|", false);
    joined.SetText("А;Б|");
    EXPECT_RAISES(sal->Check(&joined), EValidateError, SalNotFound);
    joined.SetText("А|Б;");
    EXPECT_RAISES(sal->Check(&joined), EValidateError, SalNotFound);
}

TEST(EtalonsTest, AServiceProviderListLooksAtField4Only)
{
    auto com = ListOf(2, "000000000555;ООО Вода\r\n");
    EXPECT_EQ(Lookup(*com, "ЛЮБОЙ;1;2;;000000000555"), "found");
    EXPECT_EQ(Lookup(*com, "ЛЮБОЙ;1;2"), "found");   // no field 4: no search
    EXPECT_ANSI_EQ(Lookup(*com, "ЛЮБОЙ;1;2;;000000000556"), "Эталонный список счетов поставщиков услуг: запись не найдена");
    EXPECT_EQ(com->KeyView().Count(), 1);
}

TEST(EtalonsTest, ReloadingReplacesTheRows)
{
    auto nns = ListOf(1, "ИВАНОВ;40817810000000000001\r\n");
    EXPECT_EQ(Lookup(*nns, "ИВАНОВ;40817810000000000001"), "found");
    TMemoryStream stream;
    stream.WriteString("ПЕТРОВ;40817810000000000002\r\n");
    stream.SetPosition(0);
    nns->LoadData(&stream);
    EXPECT_EQ(Lookup(*nns, "ПЕТРОВ;40817810000000000002"), "found");
    EXPECT_ANSI_EQ(Lookup(*nns, "ИВАНОВ;40817810000000000001"),
                   "Эталонный список 20-значных счетов клиентов: запись не найдена");
    EXPECT_EQ(nns->Data().RecordCount(), 1);
}

TEST(EtalonsTest, TheArrayHasOneSlotPerType)
{
    TEtalonArray lists;
    EXPECT_EQ(lists.Count(), 3);
    EXPECT_EQ(lists.At(2), nullptr);
    EXPECT_RAISES(lists.At(3), Exception, "Выход индекса за пределы диапазона (3)");
    EXPECT_RAISES(lists.At(-1), Exception, "Выход индекса за пределы диапазона (-1)");
    lists.Set(1, ListOf(1, "").release());
    lists.Clear();
    EXPECT_EQ(lists.Count(), 3);
    EXPECT_EQ(lists.At(1), nullptr);
}
