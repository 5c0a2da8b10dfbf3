#include "ui/UFrmAbout.h"

#include "documents/Common.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/QtText.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TFrmAbout* FrmAbout = nullptr;

namespace {

constexpr int ClientWidth = 399;

QFrame* NewSeparator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

AnsiString AboutText()
{
    return AnsiString("\"") + ApplicationTitle + "\"\n" +
           "Версия: " + GetShortFileVersion() + "\n" +
           "Программа является частью системы\n" +
           "\"Мирдан\" ОАО \"Вельтон-Банк\"\n" +
           "Техническая поддержка\n" +
           SupportEMail;
}

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ToQString("О программе"));
    setModal(true);
    SetDialogBorder(this);

    // The logo: the program's own icon in a lowered frame.
    PnlLogo = new QFrame(this);
    static_cast<QFrame*>(PnlLogo)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* logo = new QLabel(PnlLogo);
    logo->setAlignment(Qt::AlignCenter);
    logo->setPixmap(AppIcon().pixmap(48, 48));
    auto* logoLayout = new QVBoxLayout(PnlLogo);
    logoLayout->addWidget(logo);

    LblAbout = new QLabel(ToQString(AboutText()), this);
    LblAbout->setTextFormat(Qt::PlainText);
    LblAbout->setAlignment(Qt::AlignCenter);
    LblStuff = new QLabel(this);
    LblStuff->setTextFormat(Qt::PlainText);

    BtnClose = new QPushButton(ToQString("Закрыть"), this);
    BtnClose->setDefault(true);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(PnlLogo);
    top->addWidget(LblAbout, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(BtnClose);
    bottom->addStretch();
    Bevel1 = NewSeparator(this);
    // Below the button, only in the tall window.
    Bevel2 = NewSeparator(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Bevel1);
    layout->addLayout(bottom);
    layout->addWidget(Bevel2);
    layout->addWidget(LblStuff, 1);
    SetTall(false);
}

void TFrmAbout::SetTall(bool tall)
{
    Bevel2->setVisible(tall);
    LblStuff->setVisible(tall);
    FixClientSize(this, QSize(ClientWidth, tall ? TallHeight : ShortHeight));
}

void TFrmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    Guarded([this] {
        SetTall(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier));
        CenterOverMain(this);
    });
}
