#include "ui/UFrmFind.h"

#include "documents/Datafiles.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TFrmFind* FrmFind = nullptr;

TFindLayout::~TFindLayout()
{
    if (FrmFind)
        FrmFind->Detach(this);
}

void AddFindHistory(TStringList& history, const AnsiString& text)
{
    if (history.IndexOf(text) < 0)
        history.Insert(0, text);
}

void FindValue(TFindLayout& layout, TFindTable& table, const AnsiString& value)
{
    const AnsiString wanted = UpperCase(value);
    table.GoTo(layout.LastRow);
    for (;;) {
        if (layout.Mode == FindTowardStart)
            table.Prior();
        else
            table.Next();
        if (table.Eof() || table.Bof()) {
            table.GoTo(layout.LastRow);
            throw Exception("Искомое значение не найдено");
        }
        if (UpperCase(table.Field(layout.FieldIndex)).find(wanted) != AnsiString::npos)
            break;
    }
    layout.LastRow = table.RecNo();
}

void TDataFileFindTable::GoTo(int row) { FFile.GoTo(row); }
void TDataFileFindTable::Next() { FFile.Next(); }
void TDataFileFindTable::Prior() { FFile.Prior(); }
bool TDataFileFindTable::Bof() const { return FFile.Bof(); }
bool TDataFileFindTable::Eof() const { return FFile.Eof(); }
int TDataFileFindTable::RecNo() const { return FFile.RecNo(); }
AnsiString TDataFileFindTable::Field(int index) { return FView.Get(index); }

// The dialog stands above its parent, the main window, as every dialog of the program
// does; it does not stay on top, so that a dialog or a wizard opened while it is shown
// comes above it.
TFrmFind::TFrmFind(QWidget* parent) : QDialog(parent, Qt::Dialog)
{
    setWindowTitle(ToQString("Найти"));
    SetDialogBorder(this);
    CmbField = new QComboBox(this);
    CmbValue = new QComboBox(this);
    CmbValue->setEditable(true);
    CmbValue->setInsertPolicy(QComboBox::NoInsert);
    BtnFind = new QPushButton(ToQString("Найти"), this);
    BtnClose = new QPushButton(ToQString("Закрыть"), this);
    BtnFind->setDefault(true);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(ToQString("Поле:"), this), 0, 0);
    fields->addWidget(CmbField, 0, 1);
    fields->addWidget(new QLabel(ToQString("Значение:"), this), 1, 0);
    fields->addWidget(CmbValue, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnFind);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    // A dialog border: the window keeps its size, and nothing offers to maximise it.
    FixClientSize(this, QSize(305, 97));

    connect(BtnFind, &QPushButton::clicked, this, [this] { Guarded([this] { BtnFindClick(); }); });
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::close);
}

void TFrmFind::Execute(TFindLayout* layout, std::unique_ptr<TFindTable> table, std::function<void()> found)
{
    // Another window's search starts afresh: its own position, columns and history.
    if (isVisible() && layout != FLayout)
        hide();
    FLayout = layout;
    FTable = std::move(table);
    FFound = std::move(found);
    show();
    raise();
    activateWindow();
}

void TFrmFind::Detach(const TFindLayout* layout)
{
    if (!layout || layout != FLayout)
        return;
    // The layout is going away: nothing may be written into it any more.
    FLayout = nullptr;
    hide();
    FTable.reset();
    FFound = nullptr;
}

void TFrmFind::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TFrmFind::FormShow()
{
    if (!FLayout)
        return;
    if (FLayout->Positioned)
        move(FLayout->Left, FLayout->Top);
    else
        CenterOverMain(this);
    CmbField->clear();
    for (const AnsiString& name : FLayout->Fields.Items())
        CmbField->addItem(ToQString(name));
    CmbField->setCurrentIndex(FLayout->FieldIndex);
    SetHistoryItems(FLayout->Values);
    CmbValue->setEditText(ToQString(FLayout->Value));
    CmbValue->lineEdit()->selectAll();
    CmbValue->setFocus();
}

void TFrmFind::SetHistoryItems(const TStringList& values)
{
    const QString text = CmbValue->currentText();
    CmbValue->clear();
    for (const AnsiString& value : values.Items())
        CmbValue->addItem(ToQString(value));
    CmbValue->setEditText(text);
}

void TFrmFind::hideEvent(QHideEvent* event)
{
    if (FLayout && !event->spontaneous()) {
        FLayout->Left = x();
        FLayout->Top = y();
        FLayout->Positioned = true;
    }
    QDialog::hideEvent(event);
}

bool TFrmFind::RaisedHere(const QWidget* window) const
{
    return window && window->parentWidget() == this;
}

bool TFrmFind::event(QEvent* event)
{
    // The dialog closes as soon as another window becomes active, but not for a message box
    // it raised itself (as "not found"), whose parent it is. The box may become active
    // before Qt counts it as modal.
    if (event->type() == QEvent::WindowDeactivate && isVisible() && !RaisedHere(QApplication::activeWindow()))
        close();
    return QDialog::event(event);
}

void TFrmFind::BtnFindClick()
{
    if (!FLayout || !FTable)
        return;
    const AnsiString text = FromQString(CmbValue->currentText());
    const AnsiString value = Trim(text);
    if (value.empty()) {
        CmbValue->setFocus();
        return;
    }
    AddFindHistory(FLayout->Values, text);
    SetHistoryItems(FLayout->Values);
    FLayout->FieldIndex = CmbField->currentIndex();
    FLayout->Value = text;
    FindValue(*FLayout, *FTable, value);
    if (FFound)
        FFound();
}
