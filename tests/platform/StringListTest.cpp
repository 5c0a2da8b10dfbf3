#include "platform/Classes.h"

#include "support/TestSupport.h"

namespace {

std::vector<AnsiString> Lines(const AnsiString& text)
{
    TStringList list;
    list.SetText(text);
    return list.Items();
}

using TLines = std::vector<AnsiString>;

}  // namespace

TEST(StringListTest, SplitsAtEveryKindOfLineEnd)
{
    EXPECT_EQ(Lines("a\r\n\r\nb\rc\nd"), (TLines{"a", "", "b", "c", "d"}));
    EXPECT_EQ(Lines("a\r\n"), (TLines{"a"}));   // a final line end adds no line
    EXPECT_EQ(Lines("a\n\r"), (TLines{"a", ""}));   // LF then a lone CR: two line ends
    EXPECT_EQ(Lines(""), TLines{});
    // A NUL byte is text like any other.
    EXPECT_EQ(Lines(std::string("a\0b\r\n\0", 6)), (TLines{std::string("a\0b", 3), std::string(1, '\0')}));
}

TEST(StringListTest, SavesEveryLineWithCrLf)
{
    TTempDir dir;
    TStringList list;
    list.SetText("Иванов\nПетров\rСидоров");
    EXPECT_EQ(list.Text(), "Иванов\r\nПетров\r\nСидоров\r\n");
    list.Add(std::string("x\0y", 3));
    list.SaveToFile(dir.File("список.txt"));
    EXPECT_EQ(ReadBytes(dir.File("список.txt")), std::string("Иванов\r\nПетров\r\nСидоров\r\nx\0y\r\n", 30));

    TStringList loaded;
    loaded.LoadFromFile(dir.File("список.txt"));
    EXPECT_EQ(loaded.Items(), list.Items());

    // From the stream's position to its end.
    TMemoryStream stream;
    stream.WriteString("skip\r\nrest\n");
    stream.SetPosition(6);
    loaded.LoadFromStream(stream);
    EXPECT_EQ(loaded.Items(), TLines{"rest"});
    TMemoryStream out;
    loaded.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), "rest\r\n");
}

TEST(StringListTest, IndexesAreRangeChecked)
{
    TStringList list;
    list.Add("a");
    list.Add("b");
    EXPECT_ANSI_EQ(list[1], "b");
    EXPECT_RAISES(list.Strings(2), Exception, "Выход индекса за пределы диапазона (2)");
    EXPECT_THROW(list.SetString(2, "x"), Exception);
    EXPECT_THROW(list.Delete(5), Exception);
    EXPECT_RAISES(list.Insert(3, "x"), Exception, "Выход индекса за пределы диапазона (3)");

    list.Insert(2, "c");
    list.Insert(0, "z");
    list.Delete(1);
    list.SetString(0, "y");
    EXPECT_EQ(list.Items(), (TLines{"y", "b", "c"}));
}

TEST(StringListTest, NamesAndValuesIgnoreCase)
{
    TStringList list;
    list.SetText("Путь=/home/a=b\r\nбез знака\r\nпуть=второй\r\nПусто=\r\n");
    EXPECT_EQ(list.IndexOf("БЕЗ ЗНАКА"), 1);
    EXPECT_ANSI_EQ(list.Names(0), "Путь");
    EXPECT_ANSI_EQ(list.ValueFromIndex(0), "/home/a=b");
    EXPECT_ANSI_EQ(list.Names(1), "");
    EXPECT_ANSI_EQ(list.Values("пУТЬ"), "/home/a=b");   // the first of two
    EXPECT_EQ(list.IndexOfName("без знака"), -1);       // a line without "=" has no name
    EXPECT_EQ(list.IndexOfName("пусто"), 3);

    list.SetValue("ПУТЬ", "/new");
    list.SetValue("Новый", "1");
    EXPECT_EQ(list.Items(), (TLines{"ПУТЬ=/new", "без знака", "путь=второй", "Пусто=", "Новый=1"}));
    list.SetValue("путь", "");
    list.SetValue("нет", "");
    EXPECT_EQ(list.Items(), (TLines{"без знака", "путь=второй", "Пусто=", "Новый=1"}));
}

TEST(StringListTest, SortIsStableIgnoresCaseAndPutsYoRightAfterYe)
{
    TStringList list;
    list.SetText("банк\nБАНК\nАкт\nb\nЖук\nЁлка\nA\nель\nБанк\nёж\nа\nЕжи");
    list.Sort();
    EXPECT_EQ(list.Items(), (TLines{"A", "b", "а", "Акт", "банк", "БАНК", "Банк", "Ежи", "ель", "ёж", "Ёлка", "Жук"}));
}
