#include "documents/Records.h"

#include "documents/Datafiles.h"
#include "support/TestSupport.h"

#include <vector>

namespace {

// A record of a fixed number of fields that refuses any other index.
class TFixedCountRecord : public TRecord {
public:
    explicit TFixedCountRecord(std::vector<AnsiString> fields) : FFields(std::move(fields)) {}

    AnsiString Get(int index) const override { return FFields.at(static_cast<size_t>(index)); }
    void Set(int index, const AnsiString& value) override
    {
        if (index < 0 || index >= Count())
            throw Exception("index " + IntToStr(index));
        FFields[static_cast<size_t>(index)] = value;
    }
    int Count() const override { return static_cast<int>(FFields.size()); }

    const std::vector<AnsiString>& Fields() const { return FFields; }

private:
    std::vector<AnsiString> FFields;
};

TIntArray* MakeMap(std::initializer_list<int32_t> entries)
{
    auto* map = new TIntArray;
    for (int32_t entry : entries)
        map->Add(entry);
    return map;
}

}  // namespace

TEST(RecordTest, BaseRecordHasNoFields)
{
    TRecord record;
    record.Set(3, "x");
    EXPECT_EQ(record.Get(3), "");
    EXPECT_EQ(record.Get(-1), "");
    EXPECT_EQ(record.Count(), 0);
}

TEST(ConvertRecordTest, ReadsThroughTheMap)
{
    TFixedCountRecord source({"a", "b", "c"});
    TConvertRecord view(MakeMap({2, -1, 0}), &source);
    EXPECT_EQ(view.Count(), 3);
    EXPECT_EQ(view.Get(0), "c");
    EXPECT_EQ(view.Get(1), "");
    EXPECT_EQ(view.Get(2), "a");
    EXPECT_RAISES(view.Get(3), Exception, "Выход индекса за пределы диапазона (3)");
    EXPECT_RAISES(view.Set(-1, "x"), Exception, "Выход индекса за пределы диапазона (-1)");

    view.Set(0, "z");
    EXPECT_EQ(source.Get(2), "z");

    TFixedCountRecord other({"p", "q", "r"});
    view.SetSource(&other);
    EXPECT_EQ(view.Get(0), "r");
}

TEST(ConvertRecordTest, UnmappedWriteReachesTheSourceCheck)
{
    TFixedCountRecord source({"a"});
    TConvertRecord view(MakeMap({-1, 0}), &source);
    EXPECT_RAISES(view.Set(0, "x"), Exception, "index -1");

    TDelimFile file(";", CodePageCp1251, false);
    file.Append();
    TConvertRecord fileView(MakeMap({-1}), file.CurRecord());
    EXPECT_RAISES(fileView.Set(0, "x"), Exception, "Выход индекса поля за пределы диапазона");
}

TEST(ConvertRecordTest, WithoutSourceActsAsAnEmptyRecord)
{
    TConvertRecord view(MakeMap({0, 1}), nullptr);
    EXPECT_EQ(view.Count(), 2);
    EXPECT_EQ(view.Get(1), "");
    view.Set(0, "ignored");
    TConvertRecord noMap(nullptr, nullptr);
    EXPECT_EQ(noMap.Count(), 0);
}

TEST(CopyRecordTest, PadsALongerDestination)
{
    TFixedCountRecord source({"a", "b", "c"});
    TFixedCountRecord destination({"1", "2", "3", "4", "5"});
    CopyRecord(&destination, &source);
    EXPECT_EQ(destination.Fields(), (std::vector<AnsiString>{"a", "b", "c", "", ""}));

    TRecord empty;
    CopyRecord(&destination, &empty);
    EXPECT_EQ(destination.Fields(), (std::vector<AnsiString>{"", "", "", "", ""}));
}

TEST(CopyRecordTest, StopsWhereTheDestinationEnds)
{
    TFixedCountRecord source({"a", "b", "c", "d", "e"});
    TFixedCountRecord destination({"1", "2", "3"});
    EXPECT_RAISES(CopyRecord(&destination, &source), Exception, "index 3");
    EXPECT_EQ(destination.Fields(), (std::vector<AnsiString>{"a", "b", "c"}));
}
