// Qt's own texts in Russian: the catalogue the program installs at start-up.

#include "ui/QtTranslation.h"
#include "ui/QtText.h"

#include "support/TestSupport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

namespace {

QString CancelText()
{
    const QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    return buttons.button(QDialogButtonBox::Cancel)->text();
}

TEST(QtTranslation, StandardButtonsAndFileDialogsSpeakRussianWhileTheCatalogueIsInstalled)
{
    {
        const std::unique_ptr<QTranslator> translation = InstallQtTranslation(QtTranslationsFolder());
        ASSERT_NE(translation, nullptr) << "Qt's translations (qt6-translations-l10n) are not installed";
        EXPECT_ANSI_EQ(FromQString(CancelText()), "Отмена");
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::LookIn)), "Перейти к:");
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::FileName)), "&Имя файла:");
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::Accept)), "&Сохранить");
    }
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));

    // A folder without Qt's catalogues: English texts, and no error.
    const TTempDir empty;
    EXPECT_EQ(InstallQtTranslation(ToQString(empty.Path())), nullptr);
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));
}

}  // namespace
