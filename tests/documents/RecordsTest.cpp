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

TEST(ConvertRecordTest, ReadsAndWritesThroughTheMap)
{
    TFixedCountRecord source({"a", "b", "c"});
    TConvertRecord view(MakeMap({2, -1, 0}), &source);
    EXPECT_EQ(view.Count(), 3);
    EXPECT_EQ(view.Get(0), "c");
    EXPECT_EQ(view.Get(1), "");
    EXPECT_RAISES(view.Get(3), Exception, "Выход индекса за пределы диапазона (3)");
    EXPECT_RAISES(view.Set(-1, "x"), Exception, "Выход индекса за пределы диапазона (-1)");
    view.Set(0, "z");
    EXPECT_EQ(source.Get(2), "z");
    // An unmapped field is written to index -1 of the source, whose check refuses it.
    EXPECT_RAISES(view.Set(1, "x"), Exception, "index -1");
    TDelimFile file(";", CodePageCp1251, false);
    file.Append();
    view.SetSource(file.CurRecord());
    EXPECT_RAISES(view.Set(1, "x"), Exception, "Выход индекса поля за пределы диапазона");

    // Without a source it acts as an empty record.
    view.SetSource(nullptr);
    EXPECT_EQ(view.Get(2), "");
    view.Set(0, "ignored");
    EXPECT_EQ(TConvertRecord(nullptr, nullptr).Count(), 0);
}

TEST(ConvertRecordTest, GetIntoReadsAsGetOverwritingTheString)
{
    TDelimRecord line(";", true);
    line.SetText("a#3Bb;;c");
    TConvertRecord view(MakeMap({2, -1, 0, 1, 5}), &line);
    const std::vector<AnsiString> expected{"c", "", "a;b", "", ""};
    for (int i = 0; i < view.Count(); ++i) {
        AnsiString into = "a longer text than any field";
        view.GetInto(i, into);
        EXPECT_EQ(into, expected[static_cast<size_t>(i)]);
        EXPECT_EQ(view.Get(i), into);
    }
    AnsiString into;
    EXPECT_RAISES(view.GetInto(5, into), Exception, "Выход индекса за пределы диапазона (5)");
}

TEST(CopyRecordTest, PadsALongerDestinationAndStopsWhereItEnds)
{
    TFixedCountRecord source({"a", "b", "c"});
    TFixedCountRecord longer({"1", "2", "3", "4", "5"});
    CopyRecord(&longer, &source);
    EXPECT_EQ(longer.Fields(), (std::vector<AnsiString>{"a", "b", "c", "", ""}));
    TRecord empty;   // the base record has no fields
    CopyRecord(&longer, &empty);
    EXPECT_EQ(longer.Fields(), (std::vector<AnsiString>(5)));

    TFixedCountRecord shorter({"1", "2"});
    EXPECT_RAISES(CopyRecord(&shorter, &source), Exception, "index 2");
    EXPECT_EQ(shorter.Fields(), (std::vector<AnsiString>{"a", "b"}));
}
