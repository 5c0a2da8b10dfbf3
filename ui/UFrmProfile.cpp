#include "ui/UFrmProfile.h"

#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/QtText.h"
#include "ui/UFrmMain.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

TFrmProfile* FrmProfile = nullptr;

namespace {

// Whether the text shows in full in the box of the closed list.
bool FitsInComboBox(const QComboBox* box, const QString& text)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    return box->fontMetrics().horizontalAdvance(text) <= field.width();
}

}  // namespace

TFrmProfile::TFrmProfile(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ToQString("Выбор профиля"));
    setModal(true);
    SetDialogBorder(this);
    Label1 = new QLabel(ToQString("Выберите текущий профиль:"), this);
    CmbProfile = new QComboBox(this);
    CmbProfile->setMaxVisibleItems(20);
    // A drop-down list with a scroll bar: the style's own popup would show every entry.
    CmbProfile->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    // The list keeps the dialog's width whatever the captions; one that is cut shows in
    // full as the tooltip of its entry and, while chosen, of the list.
    CmbProfile->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(CmbProfile, &QComboBox::currentIndexChanged, this, [this] { ShowCaptionTip(); });
    BtnOk = new QPushButton(QStringLiteral("Ok"), this);
    BtnCancel = new QPushButton(ToQString("Отмена"), this);
    BtnOk->setDefault(true);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(CmbProfile);
    layout->addLayout(buttons);
    FixClientSize(this, QSize(337, 89));
}

void TFrmProfile::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TFrmProfile::FormShow()
{
    CenterOverMain(this);
    const TProfiles& profiles = *Profiles.Get();
    const AnsiString current = profiles.Current() ? profiles.Current()->Name : AnsiString();
    CmbProfile->clear();
    int selected = 0;
    for (int i = 0; i < profiles.Count(); ++i) {
        const QString caption = ToQString(profiles.At(i)->Caption);
        CmbProfile->addItem(caption);
        if (!FitsInComboBox(CmbProfile, caption))
            CmbProfile->setItemData(i, caption, Qt::ToolTipRole);
        // The last one of that section name: the one that is current even when several
        // profiles show the same caption.
        if (!current.empty() && profiles.At(i)->Name == current)
            selected = i;
    }
    CmbProfile->addItem(ToQString("-- Создать новый профиль --"));
    CmbProfile->setCurrentIndex(selected);
    // Again: the list may have come to that position before its tooltip was set.
    ShowCaptionTip();
    CmbProfile->setFocus();
}

void TFrmProfile::ShowCaptionTip()
{
    CmbProfile->setToolTip(CmbProfile->currentData(Qt::ToolTipRole).toString());
}

void TFrmProfile::accept()
{
    Guarded([this] {
        const int index = CmbProfile->currentIndex();
        if (index < 0) {
            CmbProfile->setFocus();
            throw Exception("Не выбран профиль");
        }
        QDialog::accept();
        if (FrmMain)
            FrmMain->SelectProfile(index);
    });
}
