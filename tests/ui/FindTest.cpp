// The find dialog: the search over a table, the history of values, and the window.

#include "ui/QtText.h"
#include "ui/UFrmFind.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <vector>

namespace {

using TRows = std::vector<std::vector<AnsiString>>;

// A table with the cursor of the program's data files: a step past either end sets the
// flag and stays on the last or the first row.
class TRowsTable : public TFindTable {
public:
    explicit TRowsTable(TRows rows) : FRows(std::move(rows)) {}

    void GoTo(int row) override
    {
        const int count = static_cast<int>(FRows.size());
        FRecNo = row;
        FBof = row < 0;
        if (row < 0)
            FRecNo = 0;
        FEof = count <= FRecNo;
        if (FEof)
            FRecNo = count - 1;
    }
    void Next() override { GoTo(FRecNo + 1); }
    void Prior() override { GoTo(FRecNo - 1); }
    bool Bof() const override { return FBof; }
    bool Eof() const override { return FEof; }
    int RecNo() const override { return FRecNo; }
    AnsiString Field(int index) override { return FRows.at(static_cast<size_t>(FRecNo)).at(static_cast<size_t>(index)); }

private:
    TRows FRows;
    int FRecNo = -1;
    bool FBof = true;
    bool FEof = true;
};

TRows Staff()
{
    return {{"1", "ИВАНОВ ИВАН"}, {"2", "ПЕТРОВ ПЁТР"}, {"3", "СИДОРОВ"}, {"4", "ПЕТРОВА АННА"}};
}

}  // namespace

TEST(FindValue, FindsSubstringsIgnoringCaseOneMatchAfterAnother)
{
    TRowsTable table(Staff());
    TFindLayout layout(FindTowardEnd);
    layout.FieldIndex = 1;
    layout.LastRow = 0;
    FindValue(layout, table, "петр");
    EXPECT_EQ(layout.LastRow, 1);
    FindValue(layout, table, "петр");
    EXPECT_EQ(layout.LastRow, 3);
    // No wrapping: past the last match nothing is found, and the table is back on it. The
    // starting row itself is never examined.
    EXPECT_RAISES(FindValue(layout, table, "петр"), Exception, "Искомое значение не найдено");
    EXPECT_EQ(layout.LastRow, 3);
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_RAISES(FindValue(layout, table, "анна"), Exception, "Искомое значение не найдено");

    layout.Mode = FindTowardStart;
    FindValue(layout, table, "Петров");
    EXPECT_EQ(layout.LastRow, 1);
    EXPECT_RAISES(FindValue(layout, table, "сидоров"), Exception, "Искомое значение не найдено");
    EXPECT_EQ(layout.LastRow, 1);

    TRowsTable empty({});
    EXPECT_RAISES(FindValue(layout, empty, "x"), Exception, "Искомое значение не найдено");
}

class FindDialogTest : public ::testing::Test {
protected:
    FindDialogTest()
    {
        FrmFind = &Dialog;
        Layout = std::make_unique<TFindLayout>(FindTowardEnd);
        Layout->Fields.Add("Номер");
        Layout->Fields.Add("Фамилия");
        Layout->FieldIndex = 1;
    }
    ~FindDialogTest() override
    {
        Layout.reset();
        FrmFind = nullptr;
    }

    void Open()
    {
        Dialog.Execute(Layout.get(), std::make_unique<TRowsTable>(Staff()), [this] { ++Found; });
    }
    void Search(const AnsiString& text)
    {
        Dialog.CmbValue->setEditText(ToQString(text));
        Dialog.BtnFind->click();
    }

    TFrmFind Dialog;
    std::unique_ptr<TFindLayout> Layout;
    int Found = 0;
};

TEST_F(FindDialogTest, AHitCallsTheWindowBackAndGoesIntoTheHistory)
{
    Layout->Values.Add("сидоров");
    Open();
    EXPECT_EQ(Dialog.CmbField->count(), 2);
    EXPECT_EQ(Dialog.CmbField->currentIndex(), 1);
    EXPECT_EQ(Dialog.CmbValue->count(), 1);

    Search("  петров ");
    EXPECT_EQ(Found, 1);
    EXPECT_EQ(Layout->LastRow, 1);
    ASSERT_EQ(Layout->Values.Count(), 2);
    EXPECT_ANSI_EQ(Layout->Values[0], "  петров ");
    EXPECT_EQ(Dialog.CmbValue->count(), 2);

    Search("СИДОРОВ");
    EXPECT_EQ(Found, 2);
    EXPECT_EQ(Layout->LastRow, 2);
    EXPECT_EQ(Layout->Values.Count(), 2);
}

TEST_F(FindDialogTest, BlankValueSearchesNothingAndNotFoundLeavesTheRow)
{
    Layout->LastRow = 2;
    Open();
    Search("   ");
    EXPECT_EQ(Found, 0);
    EXPECT_EQ(Layout->Values.Count(), 0);

    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Искомое значение не найдено.", MessageBoxAnswer::Ok,
                              MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        Search("Иванов");
    }
    EXPECT_EQ(Found, 0);
    EXPECT_EQ(Layout->LastRow, 2);
}

TEST_F(FindDialogTest, ReopensWhereItWasClosedAndLetsGoOfALayoutThatIsDestroyed)
{
    Open();
    Dialog.move(123, 45);
    Dialog.close();
    EXPECT_TRUE(Layout->Positioned);
    EXPECT_EQ(Layout->Left, 123);
    EXPECT_EQ(Layout->Top, 45);

    Open();
    EXPECT_EQ(Dialog.pos(), QPoint(123, 45));
    Layout.reset();
    EXPECT_FALSE(Dialog.isVisible());
    EXPECT_EQ(Dialog.Layout(), nullptr);
    // Without a window to search, the button does nothing.
    Search("Иванов");
}
