#include "documents/Multistreams.h"

#include "documents/Blockstreams.h"

#include "StreamBytes.h"
#include "support/TestSupport.h"

#include <random>
#include <vector>

namespace {

// The parent bytes that a list of children must give.
std::string Layout(const std::vector<std::string>& children)
{
    std::string bytes;
    for (const std::string& child : children)
        bytes += LE32(uint32_t(child.size())) + child;
    return bytes;
}

std::string ChildBytes(TMultiStream& m)
{
    std::string bytes(size_t(m.Size()), '\0');
    m.Seek(0, TSeekOrigin::soBeginning);
    m.Read(bytes.data(), int32_t(bytes.size()));
    return bytes;
}

// Counts the notifications that a subclass receives.
class TCountingStream : public TMultiStream {
public:
    using TMultiStream::TMultiStream;
    int DataChanges = 0;
    int LayoutChanges = 0;

protected:
    void DataChanged() override { ++DataChanges; }
    void LayoutChanged() override { ++LayoutChanges; }
};

TEST(MultiStream, WritesAndResizesMoveTheOffsetsAndSayTheDataChanged)
{
    TBlockStream parent;
    TCountingStream m(&parent);
    m.Append();
    m.Append();
    m.Select(0);
    EXPECT_EQ(m.Write("abc", 3), 3);
    EXPECT_EQ(m.Offset(1), 7);
    const int changes = m.DataChanges;
    EXPECT_GE(changes, 1);
    m.SetSize(1);
    EXPECT_EQ(m.DataChanges, changes + 1);
    EXPECT_EQ(m.Offset(1), 5);
    // Selecting and reading change no data.
    m.Select(1);
    m.Select(0);
    EXPECT_EQ(ChildBytes(m), "a");
    EXPECT_EQ(m.DataChanges, changes + 1);
    EXPECT_THROW(m.Select(2), Exception);
}

TEST(MultiStream, AnEmptyParentHasNoCurrentChildUntilAnAppend)
{
    TBlockStream parent;
    PutBytes(parent, Layout({"zero", "one"}));
    TMultiStream m(&parent);
    m.DeleteCurrent();
    EXPECT_EQ(ChildBytes(m), "one");
    m.DeleteCurrent();
    EXPECT_EQ(m.Current(), -1);
    EXPECT_EQ(parent.Size(), 0);
    char byte;
    EXPECT_RAISES(m.Read(&byte, 1), Exception, "Дочерний поток не существует");
    EXPECT_THROW(m.SetSize(1), Exception);
    EXPECT_RAISES(m.Select(0), Exception, "Выход номера дочернего потока за пределы диапазона");
    m.Append();
    EXPECT_EQ(m.Write("x", 1), 1);
    EXPECT_EQ(m.Current(), 0);
}

TEST(MultiStream, RefusesSizesTheLengthWordCannotHold)
{
    TBlockStream parent;
    TMultiStream m(&parent);
    m.Append();
    m.Write("abc", 3);
    EXPECT_EQ(m.Write("x", -1), 0);
    EXPECT_RAISES(m.SetSize(-1), EWriteError, "Ошибка записи в поток");
    EXPECT_RAISES(m.SetSize(int64_t(1) << 32), EWriteError, "Ошибка записи в поток");
    m.Seek(0xFFFFFFFF, TSeekOrigin::soBeginning);
    EXPECT_RAISES(m.Write("x", 1), EWriteError, "Ошибка записи в поток");
    EXPECT_EQ(StreamBytes(parent), Layout({"abc"}));
}

TEST(MultiStream, DamagedParents)
{
    // A length word that claims more than remains: the child keeps what is there, and
    // the scan ends instead of wrapping back.
    TBlockStream parent;
    PutBytes(parent, Layout({"one"}) + LE32(0xFFFFFFFF) + "ab");
    TMultiStream m(&parent);
    ASSERT_EQ(m.Count(), 2);
    m.Select(1);
    EXPECT_EQ(m.Size(), 2);
    EXPECT_EQ(ChildBytes(m), "ab");
    // Appending writes the true length of the damaged child first.
    m.Append();
    EXPECT_EQ(StreamBytes(parent), Layout({"one", "ab", ""}));

    TBlockStream cut;
    PutBytes(cut, Layout({"one"}) + Bytes({1, 0}));
    EXPECT_RAISES(TMultiStream{&cut}, EReadError, "Ошибка чтения потока");
}

TEST(MultiStream, RescanFindsWhatAnotherWrote)
{
    TBlockStream parent;
    {
        TMultiStream writer(&parent);
        for (const char* text : {"alpha", "", "gamma"}) {
            writer.Append();
            writer.Write(text, int32_t(std::string(text).size()));
        }
    }
    TMultiStream reader(&parent);
    ASSERT_EQ(reader.Count(), 3);
    reader.Select(2);
    EXPECT_EQ(ChildBytes(reader), "gamma");

    // Many children, past every growth of the offsets.
    for (int i = 0; i < 1000; ++i) {
        reader.Append();
        reader.Write("999", 3);
    }
    TMultiStream again(&parent);
    ASSERT_EQ(again.Count(), 1003);
    EXPECT_EQ(again.Offset(1002), parent.Size() - 7);
    EXPECT_RAISES(again.Offset(1003), Exception, "Выход индекса за пределы диапазона (1003)");
}

TEST(MultiStream, LargeMovesKeepTheTail)
{
    // Tails longer than one move chunk, growing and shrinking by small and large steps.
    const std::string tail = RandomBytes(700000, 1);
    TBlockStream parent;
    PutBytes(parent, Layout({"head", tail}));
    TMultiStream m(&parent);
    for (int64_t size : {5, 300004, 300005, 3, 0}) {
        m.SetSize(size);
        EXPECT_EQ(parent.Size(), 8 + size + int64_t(tail.size()));
    }
    m.Select(1);
    EXPECT_EQ(ChildBytes(m), tail);
}

// The last child grows with its parent, whose new bytes read as zero already: a child
// sized before it is written holds no memory until then.
TEST(MultiStream, GrowingTheLastChildHoldsNoMemoryUntilItIsWritten)
{
    TBlockStream parent;
    TMultiStream m(&parent);
    m.Append();
    m.SetSize(1 << 20);
    EXPECT_EQ(parent.AllocatedBlocks(), 1);   // the length word
    EXPECT_EQ(ChildBytes(m), std::string(1 << 20, '\0'));
}

// Random operations against a list of strings as the model; after each the parent must
// hold exactly the model's layout. Covers deletes selecting the following child and the
// zero-filled gaps of growth and of writes past a child's end.
TEST(MultiStream, BehavesLikeAListOfBuffers)
{
    TBlockStream parent;
    TMultiStream m(&parent);
    std::vector<std::string> model;
    int current = -1;
    int64_t position = 0;
    std::mt19937 random(11);
    for (int step = 0; step < 2000; ++step) {
        const unsigned action = model.empty() ? 0 : random() % 6;
        if (action == 0) {
            m.Append();
            model.emplace_back();
            current = int(model.size()) - 1;
            position = 0;
        } else if (action == 1) {
            current = int(random() % model.size());
            m.Select(current);
            position = 0;
        } else if (action == 2) {
            const std::string data = RandomBytes(random() % 40, unsigned(step));
            std::string& child = model[size_t(current)];
            m.Write(data.data(), int32_t(data.size()));
            if (!data.empty()) {
                if (position + data.size() > child.size())
                    child.resize(size_t(position) + data.size(), '\0');
                child.replace(size_t(position), data.size(), data);
                position += int64_t(data.size());
            }
        } else if (action == 3) {
            position = m.Seek(int64_t(random() % 60) - 20, TSeekOrigin::soCurrent);
        } else if (action == 4) {
            const size_t size = random() % 60;
            m.SetSize(int64_t(size));
            model[size_t(current)].resize(size, '\0');
        } else if (random() % 3 == 0) {
            m.DeleteCurrent();
            model.erase(model.begin() + current);
            current = std::min(current, int(model.size()) - 1);
            position = 0;
        }
        ASSERT_EQ(m.Current(), current);
        ASSERT_EQ(StreamBytes(parent), Layout(model)) << "step " << step;
    }
}

} // namespace
