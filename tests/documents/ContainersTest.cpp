#include "documents/Containers.h"

#include "support/TestSupport.h"

#include <vector>

namespace {

// An item that records its own destruction, for the owning array.
struct TTracked {
    explicit TTracked(std::vector<int>& log, int id) : Log(log), Id(id) {}
    virtual ~TTracked() { Log.push_back(Id); }
    std::vector<int>& Log;
    int Id;
};

std::vector<int> Contents(const TArray<int, 4>& array)
{
    return std::vector<int>(array.ItemsPtr(), array.ItemsPtr() + array.Count());
}

}  // namespace

TEST(TArrayTest, NewSlotsAreZeroAndBadIndexesChangeNothing)
{
    TArray<int, 4> array;
    array.SetCount(3);
    for (int i = 0; i < 3; ++i)
        array.Set(i, 10 + i);
    array.SetCount(5);   // reallocates
    EXPECT_EQ(Contents(array), (std::vector<int>{10, 11, 12, 0, 0}));
    // A slot dropped and regained within the same capacity comes back zeroed.
    array.Set(4, 99);
    array.SetCount(4);
    array.SetCount(5);
    EXPECT_EQ(array.At(4), 0);

    array.SetCount(0);
    EXPECT_EQ(array.Add(1), 0);
    EXPECT_EQ(array.Add(3), 1);
    array.Insert(1, 2);
    array.Insert(3, 4);   // at the end
    array.Insert(0, 0);
    array.Delete(0);
    array.Delete(2);
    EXPECT_EQ(Contents(array), (std::vector<int>{1, 2, 4}));

    EXPECT_RAISES(array.SetCount(-1), Exception, "Задано неверное число элементов (-1)");
    EXPECT_RAISES(array.SetCount(INT_MAX), Exception, "Задано неверное число элементов (2147483647)");
    EXPECT_RAISES(array.At(3), Exception, "Выход индекса за пределы диапазона (3)");
    EXPECT_THROW(array.Set(-1, 1), Exception);
    EXPECT_THROW(array.Insert(4, 1), Exception);
    EXPECT_THROW(array.Delete(3), Exception);
    EXPECT_EQ(Contents(array), (std::vector<int>{1, 2, 4}));
}

TEST(TPtrArrayTest, OwnsItsItems)
{
    std::vector<int> deleted;
    {
        TPtrArray<TTracked*, 8> array;
        array.SetCount(4);
        for (int i = 0; i < 4; ++i)
            array.Set(i, new TTracked(deleted, i));
        array.Delete(1);
        EXPECT_EQ(deleted, (std::vector<int>{1}));
        EXPECT_EQ(array.At(1)->Id, 2);

        array.SetCount(1);
        EXPECT_EQ(deleted, (std::vector<int>{1, 2, 3}));
        array.SetCount(3);
        EXPECT_EQ(array.At(2), nullptr);
        deleted.clear();
    }
    EXPECT_EQ(deleted, (std::vector<int>{0}));
}

namespace {

class TCountingHolder : public TSmartPtr<int> {
public:
    int Created = 0;
    bool Fail = false;

protected:
    int* Create() override
    {
        if (Fail)
            throw Exception("Нет объекта");
        return new int(++Created);
    }
};

}  // namespace

TEST(TSmartPtrTest, CreatesOnFirstGetAndAgainAfterResetOrAFailure)
{
    TCountingHolder holder;
    holder.Fail = true;
    EXPECT_RAISES(holder.Get(), Exception, "Нет объекта");
    holder.Fail = false;
    int* first = holder.Get();
    EXPECT_EQ(holder.Get(), first);
    EXPECT_EQ(holder.Created, 1);
    holder.Reset();
    EXPECT_EQ(*holder.Get(), 2);
}

namespace {

std::vector<char> Walk(const TChainLink<char>& head)
{
    std::vector<char> values{*head.Value()};
    for (auto* node = head.Next(); node != &head; node = node->Next())
        values.push_back(*node->Value());
    return values;
}

}  // namespace

TEST(TChainLinkTest, RingKeepsLinkOrderAndUnlinksOnDestruction)
{
    char h = 'H', a = 'A', b = 'B', c = 'C';
    TChainLink<char> head(&h);
    EXPECT_EQ(Walk(head), (std::vector<char>{'H'}));

    auto* nodeA = new TChainLink<char>(&head, &a);
    TChainLink<char> nodeB(&head, &b);
    EXPECT_EQ(Walk(head), (std::vector<char>{'H', 'A', 'B'}));
    EXPECT_EQ(head.Prev(), &nodeB);

    delete nodeA;
    EXPECT_EQ(Walk(head), (std::vector<char>{'H', 'B'}));
    {
        TChainLink<char> nodeC(&head, &c);
        nodeC.Link(&head);   // linking again moves it, never duplicates it
        EXPECT_EQ(Walk(head), (std::vector<char>{'H', 'B', 'C'}));
    }
    EXPECT_EQ(Walk(head), (std::vector<char>{'H', 'B'}));
}
