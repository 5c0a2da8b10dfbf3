// The two small dialogs: the profile chooser and the about box.

#include "documents/Profiles.h"
#include "ui/QtText.h"
#include "ui/UFrmAbout.h"
#include "ui/UFrmProfile.h"

#include "support/TestSupport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

// A dialog with a fixed size and no minimise or maximise box.
void ExpectFixedDialog(const QWidget& dialog)
{
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
}

}  // namespace

TEST(ProfileChooser, AFixedDialogWithTwentyEntriesAtOnceAndTooltipsForCutCaptions)
{
    TTempDir dir;
    const AnsiString ini = dir.File("profiles.ini");
    const AnsiString longCaption =
        "Общество с ограниченной ответственностью \"Производственно-торговая компания Ромашка\", филиал";
    std::string profiles = "[Long]\r\nCaption=" + longCaption + "\r\n";
    for (int i = 1; i < 30; ++i)
        profiles += "[P" + std::to_string(i) + "]\r\nCaption=Лютик\r\n";
    WriteBytes(ini, profiles);
    Profiles.Get()->Open(ini);
    TFrmProfile chooser;
    chooser.show();

    ExpectFixedDialog(chooser);
    ASSERT_EQ(chooser.CmbProfile->count(), 31);
    // The drop-down shows 20 entries at once.
    chooser.CmbProfile->showPopup();
    QAbstractItemView* list = chooser.CmbProfile->view();
    EXPECT_EQ(list->viewport()->height() / list->sizeHintForRow(0), 20);
    chooser.CmbProfile->hidePopup();

    EXPECT_ANSI_EQ(FromQString(chooser.CmbProfile->itemData(0, Qt::ToolTipRole).toString()), longCaption);
    EXPECT_TRUE(chooser.CmbProfile->itemData(1, Qt::ToolTipRole).toString().isEmpty());
    // The list itself carries the tooltip while the cut caption is chosen.
    EXPECT_ANSI_EQ(FromQString(chooser.CmbProfile->toolTip()), longCaption);
    chooser.CmbProfile->setCurrentIndex(1);
    EXPECT_TRUE(chooser.CmbProfile->toolTip().isEmpty());
    // Opened again on the cut caption, it shows its tooltip again.
    chooser.hide();
    chooser.CmbProfile->setCurrentIndex(0);
    chooser.show();
    EXPECT_ANSI_EQ(FromQString(chooser.CmbProfile->toolTip()), longCaption);
    chooser.hide();
    Profiles.Reset();
}

// The text names the short version; the short form hides the staff and ends below the button.
TEST(AboutBox, AFixedDialogWithTheShortVersionAndAShortFormThatEndsBelowTheButton)
{
    TFrmAbout about;
    about.show();
    EXPECT_ANSI_EQ(FromQString(about.LblAbout->text()),
                   "\"Экспорт в Вельтон-Банк\"\nВерсия: 1.0\nПрограмма является частью системы\n"
                   "\"Мирдан\" ОАО \"Вельтон-Банк\"\nТехническая поддержка\nsupport@velton-bank.ru");
    ExpectFixedDialog(about);
    EXPECT_FALSE(about.LblStuff->isVisible());
    EXPECT_LE(about.height() - about.BtnClose->geometry().bottom(), 16);

    about.SetTall(true);
    ExpectFixedDialog(about);
    EXPECT_TRUE(about.LblStuff->isVisible());
    EXPECT_GT(about.height(), about.LblStuff->geometry().bottom());
    about.hide();
}
