// The record editor: rows by field type, a value the owner refuses, view mode.

#include "documents/Exportfiles.h"
#include "platform/Exception.h"
#include "ui/QtText.h"
#include "ui/RecordInfos.h"
#include "ui/UFrmEditRecord.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

namespace {

// An owner that refuses a value in its second field until it is a number.
class TFussyOwner : public TRecordEditorOwner {
public:
    void AppendRecord() override { ++Appended; }
    void CancelAppend() override { --Appended; }
    void StoreRecord(const TControlRecord& source) override
    {
        const AnsiString amount = source.Get(1);
        if (amount.empty() || amount.find_first_not_of("0123456789.") != AnsiString::npos)
            throw Exception("Сумма: Неверный формат суммы");
        for (int i = 0; i < source.Count(); ++i)
            Stored.push_back(source.Get(i));
    }

    int Appended = 0;
    std::vector<AnsiString> Stored;
};

QLineEdit* Edit(TDataControls& rows, int row)
{
    return qobject_cast<QLineEdit*>(rows.At(row).Editor);
}

// The colour an edit box is painted with behind its text's right end.
QColor Background(QLineEdit* edit)
{
    const QImage image = edit->grab().toImage();
    return image.pixelColor(image.width() - 6, image.height() / 2);
}

// Runs the dialog; `step` acts while it is shown, and a dialog left open is closed.
bool ExecuteWith(TFrmEditRecord& dialog, TRecordEditorOwner* owner, bool isNew, std::function<void()> step)
{
    QTimer::singleShot(0, &dialog, [&dialog, step] {
        step();
        if (dialog.isVisible())
            dialog.reject();
    });
    return dialog.Execute(owner, isNew);
}

}  // namespace

TEST(RecordEditor, ARefusedValueKeepsTheDialogOpenWithTheInputAndTheRecordIsAppendedOnce)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    rows.Add("ФИО", 'C', "", "Фамилия Имя Отчество", false);
    rows.Add("Сумма", '?', "", "Сумма XXXXX.XX", false);
    TFussyOwner owner;
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Сумма: Неверный формат суммы.", MessageBoxAnswer::Ok,
                          MessageBoxFlags::Ok | MessageBoxFlags::IconError);
    const bool ok = ExecuteWith(dialog, &owner, true, [&] {
        EXPECT_ANSI_EQ(FromQString(dialog.windowTitle()), "Добавление записи");
        Edit(rows, 0)->setText(ToQString("Иванов"));
        Edit(rows, 1)->setText(QStringLiteral("12,50"));
        dialog.BtnOk->click();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_ANSI_EQ(FromQString(Edit(rows, 1)->text()), "12,50");
        Edit(rows, 1)->setText(QStringLiteral("12.50"));
        dialog.BtnOk->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(owner.Appended, 1);
    EXPECT_EQ(owner.Stored, (std::vector<AnsiString>{"Иванов", "12.50"}));
    EXPECT_EQ(Edit(rows, 1)->toolTip(), QStringLiteral("Сумма XXXXX.XX"));
}

TEST(RecordEditor, LogicalFieldsOfferTrueAndFalseAndMemosAreReadOnly)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    rows.Add("Выдан", 'L', "true", "", false);
    rows.Add("Уволен", 'L', "?", "", false);
    rows.Add("Флаг", 'L', "False", "", true);   // a read-only row is an edit box
    rows.Add("Примечание", 'M', "(memo)", "", false);
    auto* issued = qobject_cast<QComboBox*>(rows.At(0).Editor);
    auto* fired = qobject_cast<QComboBox*>(rows.At(1).Editor);
    ASSERT_TRUE(issued && fired);
    EXPECT_EQ(issued->count(), 2);
    EXPECT_ANSI_EQ(rows.Record().Get(0), "True");
    EXPECT_EQ(fired->currentIndex(), -1);
    EXPECT_ANSI_EQ(rows.Record().Get(1), "");
    fired->setCurrentIndex(1);
    EXPECT_ANSI_EQ(rows.Record().Get(1), "False");
    ASSERT_NE(Edit(rows, 2), nullptr);
    EXPECT_TRUE(Edit(rows, 2)->isReadOnly());
    EXPECT_TRUE(Edit(rows, 3)->isReadOnly());
    EXPECT_EQ(rows.Record().Count(), 4);
    // Only the read-only row is drawn grey; the memo keeps the white of an editable record.
    EXPECT_EQ(Background(Edit(rows, 2)), dialog.palette().color(QPalette::Button));
    EXPECT_EQ(Background(Edit(rows, 3)), dialog.palette().color(QPalette::Base));

    // A new use starts from no rows.
    rows.Clear();
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_TRUE(dialog.findChildren<QComboBox*>().isEmpty());
}

TEST(RecordEditor, ViewModeHasOnlyTheExitButtonAndAnOwnerBringsOkBack)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    rows.Add("ИНН", 'C', "7701", "", true);

    const bool ok = ExecuteWith(dialog, nullptr, false, [&] {
        EXPECT_ANSI_EQ(FromQString(dialog.windowTitle()), "Просмотр записи");
        EXPECT_FALSE(dialog.BtnOk->isVisible());
        EXPECT_ANSI_EQ(FromQString(dialog.BtnCancel->text()), "Выход");
        dialog.BtnCancel->click();
    });
    EXPECT_FALSE(ok);

    TFussyOwner owner;
    ExecuteWith(dialog, &owner, false, [&] {
        EXPECT_ANSI_EQ(FromQString(dialog.windowTitle()), "Редактирование записи");
        EXPECT_TRUE(dialog.BtnOk->isVisible());
        EXPECT_ANSI_EQ(FromQString(dialog.BtnCancel->text()), "Отмена");
    });
}

TEST(RecordEditor, EveryCaptionOfAKindShowsWholeBesideItsEditor)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    const TDocTypeInfo& kind = ExportDocTypes[1];
    for (int i = 0; i < kind.FieldCount; ++i)
        rows.Add(kind.Columns[i].Caption, '?', "", "", false);
    ExecuteWith(dialog, nullptr, false, [&] {
        for (int k = 0; k < rows.Count(); ++k) {
            const QLabel& label = *rows.At(k).Label;
            const QWidget& editor = *rows.At(k).Editor;
            EXPECT_GE(label.width(), label.fontMetrics().horizontalAdvance(label.text())) << U8(FromQString(label.text()));
            EXPECT_GE(label.x(), 0);
            EXPECT_LT(label.geometry().right(), editor.x());
            EXPECT_LE(editor.geometry().right(), editor.parentWidget()->width());
        }
    });
}

// Enter in a field closes a record that is only viewed, and stores an edited one.
TEST(RecordEditor, EnterClosesTheViewAndStoresAnEdit)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    rows.Add("ФИО", 'C', "Иванов", "", true);
    rows.Add("Сумма", '?', "12.50", "", true);
    const auto pressEnter = [&dialog] { QTest::keyClick(dialog.focusWidget(), Qt::Key_Return); };
    bool closedByEnter = false;
    EXPECT_FALSE(ExecuteWith(dialog, nullptr, false, [&] {
        pressEnter();
        closedByEnter = !dialog.isVisible();
    }));
    EXPECT_TRUE(closedByEnter);

    TFussyOwner owner;
    EXPECT_TRUE(ExecuteWith(dialog, &owner, false, pressEnter));
    EXPECT_EQ(owner.Stored, (std::vector<AnsiString>{"Иванов", "12.50"}));
}

// The editors keep the width they have beside the widest caption the design allows (half
// the dialog less 24): 369 - (184 - 24) - 32 pixels. A wider caption widens the dialog.
TEST(RecordEditor, ACaptionWiderThanHalfTheDialogLeavesTheEditorsTheirDesignWidth)
{
    TFrmEditRecord dialog;
    TDataControls& rows = dialog.Rows();
    rows.Add("Наименование организации-работодателя по месту основной работы", 'C', "", "", false);
    rows.Add("ИНН", 'C', "", "", false);
    ExecuteWith(dialog, nullptr, false, [&] {
        ASSERT_GT(rows.At(0).Label->width(), TFrmEditRecord::ClientWidth / 2 - 24);
        for (int k = 0; k < rows.Count(); ++k)
            EXPECT_GE(rows.At(k).Editor->width(), 177) << k;
    });
}

TEST(RecordInfos, ErrorTextsFollowTheirMarksThroughDeleteShrinkAndGrowth)
{
    TRecordInfos marks(3);
    marks.SetErrorText(1, "second");
    marks.Info(2).State = RecordHasError;
    marks.Delete(0);
    ASSERT_EQ(marks.Count(), 2);
    EXPECT_ANSI_EQ(marks.ErrorText(0), "second");
    EXPECT_EQ(marks.Info(1).State, RecordHasError);
    marks.SetCount(3);
    marks.SetErrorText(2, "third");
    marks.SetCount(6);
    EXPECT_TRUE(marks.Info(5).Selected);
    EXPECT_EQ(marks.Info(5).State, RecordNotChecked);
    marks.Delete(2);   // its text goes with it
    marks.SetErrorText(4, "fifth");
    marks.SetErrorText(0, "");
    EXPECT_ANSI_EQ(marks.ErrorText(0), "");
    EXPECT_ANSI_EQ(marks.ErrorText(4), "fifth");
    marks.SetCount(1);
    marks.SetCount(5);   // marks dropped and grown again come back clean
    EXPECT_ANSI_EQ(marks.ErrorText(4), "");
    EXPECT_EQ(marks.Info(1).State, RecordNotChecked);
    EXPECT_RAISES(marks.Info(5), Exception, "Выход индекса за пределы диапазона (5)");
    EXPECT_RAISES(marks.SetErrorText(-1, "x"), Exception, "Выход индекса за пределы диапазона (-1)");
}
