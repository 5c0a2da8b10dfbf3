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
#include <QVBoxLayout>

TFrmProfile* FrmProfile = nullptr;

TFrmProfile::TFrmProfile(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ToQString("Выбор профиля"));
    setModal(true);
    Label1 = new QLabel(ToQString("Выберите текущий профиль:"), this);
    CmbProfile = new QComboBox(this);
    CmbProfile->setMaxVisibleItems(20);
    BtnOk = new QPushButton(QStringLiteral("Ok"), this);
    BtnCancel = new QPushButton(ToQString("Отмена"), this);
    BtnOk->setDefault(true);
    BtnCancel->setAutoDefault(false);
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
    resize(337, 89);
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
        CmbProfile->addItem(ToQString(profiles.At(i)->Caption));
        // The last one of that section name: the one that is current even when several
        // profiles show the same caption.
        if (!current.empty() && profiles.At(i)->Name == current)
            selected = i;
    }
    CmbProfile->addItem(ToQString("-- Создать новый профиль --"));
    CmbProfile->setCurrentIndex(selected);
    CmbProfile->setFocus();
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
