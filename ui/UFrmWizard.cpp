#include "ui/UFrmWizard.h"

#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/ExportCheck.h"
#include "ui/Guard.h"
#include "ui/QtText.h"
#include "ui/Reports.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TFrmWizard* FrmWizard = nullptr;

void RunWizard(TWizard& wizard)
{
    if (!FrmWizard)
        throw Exception("Окно мастера не создано");
    FrmWizard->Execute(&wizard);
}

namespace {

// The client size of the window and the size of the place of the pages.
constexpr int ClientWidth = 417;
constexpr int ClientHeight = 185;
constexpr int PanelWidth = 400;
constexpr int PanelHeight = 121;

QLabel* NewLabel(const char* text, QWidget* parent)
{
    auto* label = new QLabel(ToQString(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A value label of the check and registry pages: right-aligned in its column, so that
// the numbers of one page share their right edge.
QLabel* NewValueLabel(QWidget* parent)
{
    QLabel* label = NewLabel("", parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// A page with an edit box takes the keyboard there, its text selected, so that what the
// user types after pressing Enter on the page before goes into it.
void FocusFirstInput(QWidget* panel)
{
    if (auto* input = panel->findChild<QLineEdit*>()) {
        input->setFocus(Qt::OtherFocusReason);
        input->selectAll();
    }
}

}  // namespace

TFrmWizard::TFrmWizard(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("TFrmWizard"));
    SetDialogBorder(this);
    setModal(true);

    FPanelRect = new QWidget(this);
    FPanelRect->setMinimumSize(PanelWidth, PanelHeight);
    auto* pages = new QGridLayout(FPanelRect);
    pages->setContentsMargins(0, 0, 0, 0);
    PnlMessage = BuildMessagePanel();
    PnlFileComment = BuildFileCommentPanel();
    PnlEndPrepare = BuildEndPreparePanel();
    PnlRegistry = BuildRegistryPanel();
    PnlFileName = BuildFileNamePanel();
    for (QWidget* panel : {PnlMessage, PnlFileComment, PnlEndPrepare, PnlRegistry, PnlFileName}) {
        pages->addWidget(panel, 0, 0);
        panel->hide();
    }

    auto* bottomLine = new QFrame(this);
    bottomLine->setFrameShape(QFrame::HLine);
    bottomLine->setFrameShadow(QFrame::Sunken);

    BtnBack = new QPushButton(ToQString(WizardBackCaption), this);
    BtnNext = new QPushButton(ToQString(WizardNextCaption), this);
    // Enter presses the button that has the focus, as the platform's dialogs do, else
    // "Далее": a user who tabs to "Просмотр ошибок" must not step on towards the send.
    BtnNext->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnBack);
    buttons->addWidget(BtnNext);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(FPanelRect, 1);
    layout->addWidget(bottomLine);
    layout->addLayout(buttons);

    connect(BtnNext, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (FWizard)
                FWizard->Next();
        });
    });
    connect(BtnBack, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (FWizard)
                FWizard->Back();
        });
    });
    connect(BtnViewErrors, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (FWizard)
                FWizard->LinkClick("ViewErrors");
        });
    });
    connect(BtnPrintRegistry, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (FWizard)
                FWizard->LinkClick("PrintRegistry");
        });
    });
    connect(BtnFileName, &QPushButton::clicked, this, [this] { Guarded([this] { BtnFileNameClick(); }); });
}

QWidget* TFrmWizard::BuildMessagePanel()
{
    auto* panel = new QWidget(this);
    LblMessage = NewLabel("", panel);
    LblMessage->setWordWrap(true);
    LblMessage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(panel);
    layout->addWidget(LblMessage);
    return panel;
}

QWidget* TFrmWizard::BuildFileCommentPanel()
{
    auto* panel = new QWidget(this);
    EdtFileComment = new QLineEdit(panel);
    auto* layout = new QVBoxLayout(panel);
    layout->addStretch();
    layout->addWidget(NewLabel("Комментарий к файлу:", panel));
    layout->addWidget(EdtFileComment);
    layout->addStretch();
    return panel;
}

QWidget* TFrmWizard::BuildEndPreparePanel()
{
    auto* panel = new QWidget(this);
    LblCheckCount = NewValueLabel(panel);
    LblErrorCount = NewValueLabel(panel);
    BtnViewErrors = new QPushButton(ToQString("Просмотр ошибок"), panel);
    auto* layout = new QGridLayout(panel);
    layout->addWidget(NewLabel("Проверено записей:", panel), 0, 0);
    layout->addWidget(LblCheckCount, 0, 1);
    layout->addWidget(NewLabel("Обнаружено ошибок:", panel), 1, 0);
    layout->addWidget(LblErrorCount, 1, 1);
    layout->addWidget(BtnViewErrors, 1, 3);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(2, 1);
    return panel;
}

QWidget* TFrmWizard::BuildRegistryPanel()
{
    auto* panel = new QWidget(this);
    LblCount = NewLabel("", panel);
    LblCountTail = NewLabel("записей", panel);
    auto* countLine = new QHBoxLayout;
    countLine->setSpacing(4);
    countLine->addWidget(NewLabel("В банк будет отправлен реестр из", panel));
    countLine->addWidget(LblCount);
    countLine->addWidget(LblCountTail);
    countLine->addStretch();

    LblSumKtCaption = NewLabel("Сумма зачисления:", panel);
    LblSumKt = NewValueLabel(panel);
    LblSumDtCaption = NewLabel("Сумма списания:", panel);
    LblSumDt = NewValueLabel(panel);
    BtnPrintRegistry = new QPushButton(ToQString("Печать реестра"), panel);
    auto* sums = new QGridLayout;
    sums->addWidget(LblSumKtCaption, 0, 0);
    sums->addWidget(LblSumKt, 0, 1);
    sums->addWidget(LblSumDtCaption, 1, 0);
    sums->addWidget(LblSumDt, 1, 1);
    sums->addWidget(BtnPrintRegistry, 1, 3);
    sums->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(panel);
    layout->addLayout(countLine);
    layout->addLayout(sums);
    layout->addStretch();
    return panel;
}

QWidget* TFrmWizard::BuildFileNamePanel()
{
    auto* panel = new QWidget(this);
    EdtFileName = new QLineEdit(panel);
    BtnFileName = new QPushButton(QStringLiteral("..."), panel);
    // A small button beside the edit, as wide as its three dots need, not a full button.
    BtnFileName->setFixedWidth(BtnFileName->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20);
    auto* nameLine = new QHBoxLayout;
    nameLine->addWidget(EdtFileName, 1);
    nameLine->addWidget(BtnFileName);
    auto* layout = new QVBoxLayout(panel);
    layout->addStretch();
    layout->addWidget(NewLabel("Имя файла:", panel));
    layout->addLayout(nameLine);
    layout->addStretch();
    return panel;
}

int TFrmWizard::Execute(TWizard* wizard)
{
    FWizard = wizard;
    if (wizard)
        wizard->SetView(this);
    return exec();
}

void TFrmWizard::ShowPanel(QWidget* panel)
{
    if (FPanel)
        FPanel->hide();
    FPanel = panel;
    if (panel) {
        panel->show();
        FocusFirstInput(panel);
        // A page shown before a long step must be on the screen before the step blocks.
        panel->repaint();
    }
}

void TFrmWizard::ShowMessage(const AnsiString& text)
{
    LblMessage->setText(ToQString(TrimRight(text)));
    ShowPanel(PnlMessage);
}

void TFrmWizard::ShowEndPrepare(int checkedCount, int errorCount)
{
    LblCheckCount->setText(ToQString(IntToStr(checkedCount)));
    LblErrorCount->setText(ToQString(IntToStr(errorCount)));
    BtnViewErrors->setEnabled(errorCount != 0);
    ShowPanel(PnlEndPrepare);
}

void TFrmWizard::ShowRegistry(int count, double creditSum, double debitSum)
{
    LblCount->setText(ToQString(IntToStr(count)));
    LblSumKt->setText(ToQString(FormatFixed(creditSum, 2)));
    LblSumDt->setText(ToQString(FormatFixed(debitSum, 2)));
    const bool showCredit = IsShownSum(creditSum);
    const bool showDebit = IsShownSum(debitSum);
    LblSumKtCaption->setVisible(showCredit);
    LblSumKt->setVisible(showCredit);
    LblSumDtCaption->setVisible(showDebit);
    LblSumDt->setVisible(showDebit);
    ShowPanel(PnlRegistry);
}

void TFrmWizard::ShowFileComment()
{
    ShowPanel(PnlFileComment);
}

void TFrmWizard::ShowFileName()
{
    ShowPanel(PnlFileName);
}

void TFrmWizard::SetPrintRegistryEnabled(bool enabled)
{
    BtnPrintRegistry->setEnabled(enabled);
}

AnsiString TFrmWizard::FileComment() const
{
    return FromQString(EdtFileComment->text());
}

void TFrmWizard::SetFileComment(const AnsiString& text)
{
    EdtFileComment->setText(ToQString(text));
}

AnsiString TFrmWizard::FileName() const
{
    AnsiString name;
    if (!FromQStringExact(EdtFileName->text(), name))
        throw Exception("Имя файла нельзя записать в кодировке Windows-1251: " + FromQString(EdtFileName->text()));
    return name;
}

void TFrmWizard::SetFileName(const AnsiString& text)
{
    EdtFileName->setText(ToQString(text));
}

void TFrmWizard::SetButtons(const AnsiString& backCaption, const AnsiString& nextCaption, bool backEnabled,
                            bool nextEnabled)
{
    BtnBack->setText(ToQString(backCaption));
    BtnNext->setText(ToQString(nextCaption));
    BtnBack->setEnabled(backEnabled);
    BtnNext->setEnabled(nextEnabled);
    PassFocusOn();
}

// The busy state disables both buttons, and Qt then leaves the focus nowhere. Once the
// page's buttons are set, a window without a focused control that can take the focus
// gives it to "Далее >", or, when that is disabled now, to the next control that Tab
// reaches from it: Enter always acts on a control that the user sees focused.
void TFrmWizard::PassFocusOn()
{
    if (FBusy)
        return;
    QWidget* const focused = focusWidget();
    if (focused && CanTakeFocus(focused))
        return;
    QWidget* const from = focused ? focused : BtnNext;
    QWidget* control = from;
    while (!CanTakeFocus(control)) {
        control = control->nextInFocusChain();
        if (control == from)
            return;
    }
    control->setFocus(Qt::TabFocusReason);
}

bool TFrmWizard::CanTakeFocus(const QWidget* control) const
{
    return isAncestorOf(control) && control->isEnabled() && control->isVisibleTo(this) &&
           (control->focusPolicy() & Qt::TabFocus) != 0;
}

void TFrmWizard::BeginBusy()
{
    BtnBack->setEnabled(false);
    BtnNext->setEnabled(false);
    if (!FBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    FBusy = true;
}

void TFrmWizard::EndBusy() noexcept
{
    if (FBusy)
        QApplication::restoreOverrideCursor();
    FBusy = false;
}

void TFrmWizard::CloseWizard()
{
    reject();
}

void TFrmWizard::reject()
{
    if (!FBusy)
        QDialog::reject();
}

void TFrmWizard::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TFrmWizard::closeEvent(QCloseEvent* event)
{
    if (FBusy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TFrmWizard::FormShow()
{
    FixClientSize(this, QSize(ClientWidth, ClientHeight));
    CenterOverMain(this);
    ShowPanel(nullptr);
    SetButtons(WizardBackCaption, WizardNextCaption, false, false);
    if (!FWizard) {
        setWindowTitle(QString());
        return;
    }
    setWindowTitle(ToQString(FWizard->Caption));
    FWizard->Start();
}

void TFrmWizard::BtnFileNameClick()
{
    TFileDialogRequest request;
    request.Filter = "Все файлы (*.*)|*.*";
    request.FileName = FromQString(EdtFileName->text());
    request.InitialDir = DialogStartFolder(request.FileName);
    if (const std::optional<AnsiString> chosen = Dialogs().OpenFileName(request))
        EdtFileName->setText(ToQString(*chosen));
}
