#include "ui/UFrmEditRecord.h"

#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/QtText.h"
#include "ui/RecordGrid.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

TFrmEditRecord* FrmEditRecord = nullptr;

namespace {

constexpr int EditorHeight = 21;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;

const char* const LogicalItems[] = {"True", "False"};

QWidget* NewLogicalList(QWidget* parent, const AnsiString& value)
{
    auto* list = new QComboBox(parent);
    for (const char* item : LogicalItems)
        list->addItem(ToQString(item));
    // A stored value that is neither True nor False selects nothing.
    list->setCurrentIndex(-1);
    for (int i = 0; i < list->count(); ++i)
        if (SameText(value, LogicalItems[i]))
            list->setCurrentIndex(i);
    return list;
}

// An edit box; `greyed` gives it the button-face background of a row the caller made
// read-only, while a memo of an editable record is read-only on the usual white.
QWidget* NewEditBox(QWidget* parent, const AnsiString& value, bool readOnly, bool greyed)
{
    auto* edit = new QLineEdit(ToQString(value), parent);
    edit->setReadOnly(readOnly);
    if (greyed) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        edit->setPalette(palette);
    }
    edit->setCursorPosition(0);
    return edit;
}

// The text of an edit box, or the chosen item of a list ("" when none is chosen).
QString EditorText(const QWidget* editor)
{
    if (const auto* list = qobject_cast<const QComboBox*>(editor))
        return list->currentIndex() < 0 ? QString() : list->currentText();
    return static_cast<const QLineEdit*>(editor)->text();
}

constexpr int NoteMargin = 8;

// The editor that takes the focus: the first row the user can change (a read-only row
// holds text that must not be typed over), else the first row (view mode).
QWidget* FirstEditor(const TDataControls& rows)
{
    for (int k = 0; k < rows.Count(); ++k) {
        const auto* edit = qobject_cast<const QLineEdit*>(rows.At(k).Editor);
        if (!edit || !edit->isReadOnly())
            return rows.At(k).Editor;
    }
    return rows.At(0).Editor;
}

// The hint's CR LF line breaks as the tool tip shows them.
QString HintText(const AnsiString& hint)
{
    QString text = ToQString(hint);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace

bool EditorShowsExactly(const AnsiString& value)
{
    return value.size() <= MaxLineChars && FromQString(ToQString(value)) == value;
}

// ---- TControlRecord ----

AnsiString TControlRecord::Get(int index) const
{
    // The program keeps text in CP1251: a typed character it lacks would be stored as "?".
    AnsiString value;
    if (!FromQStringExact(EditorText(FRows.At(index).Editor), value))
        throw Exception("Введен символ, которого нет в кодировке CP1251");
    return value;
}

bool TControlRecord::Changed(int index) const
{
    const TDataControl& row = FRows.At(index);
    return EditorText(row.Editor) != row.Shown;
}

int TControlRecord::Count() const
{
    return FRows.Count();
}

// ---- TDataControls ----

TDataControls::TDataControls(QWidget* parent) : FParent(parent), FRecord(*this) {}

TDataControls::~TDataControls()
{
    Clear();
}

void TDataControls::Clear()
{
    for (const TDataControl& row : FRows) {
        delete row.Label;
        delete row.Editor;
    }
    FRows.clear();
    SetNote(AnsiString());
}

void TDataControls::SetNote(const AnsiString& text)
{
    delete FNote;
    FNote = nullptr;
    if (text.empty())
        return;
    FNote = new QLabel(ToQString(text), FParent);
    FNote->setTextFormat(Qt::PlainText);
    FNote->setWordWrap(true);
    PlaceNote();
    FNote->show();
}

void TDataControls::PlaceNote()
{
    if (!FNote)
        return;
    const int width = Width() - 2 * NoteMargin;
    FNote->setGeometry(NoteMargin, Count() * TFrmEditRecord::RowHeight + NoteMargin, width,
                       FNote->heightForWidth(width));
}

int TDataControls::Height() const
{
    return Count() * TFrmEditRecord::RowHeight + NoteHeight() + 8;
}

int TDataControls::Width() const
{
    // The design's editors are never narrower than beside the widest caption it allowed
    // (half the dialog less 24); a wider caption widens the dialog instead of being cut.
    constexpr int DesignEditorWidth = TFrmEditRecord::ClientWidth - (TFrmEditRecord::ClientWidth / 2 - 24) - 32;
    return std::max(TFrmEditRecord::ClientWidth, FLabelWidth + 32 + DesignEditorWidth);
}

int TDataControls::NoteHeight() const
{
    return FNote ? FNote->height() + NoteMargin : 0;
}

void TDataControls::Add(const AnsiString& caption, char type, const AnsiString& value, const AnsiString& hint,
                        bool readOnly)
{
    const int top = Count() * TFrmEditRecord::RowHeight;
    TDataControl row;
    row.Type = type;
    row.Label = new QLabel(ToQString(caption + ":"), FParent);
    row.Label->setTextFormat(Qt::PlainText);
    row.Label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    row.Label->resize(row.Label->sizeHint());
    row.Label->move(0, top + 12);
    if (type == 'L' && !readOnly)
        row.Editor = NewLogicalList(FParent, value);
    else
        row.Editor = NewEditBox(FParent, value, readOnly || type == 'M', readOnly);
    row.Shown = EditorText(row.Editor);
    row.Editor->setToolTip(HintText(hint));
    row.Editor->move(0, top + 8);
    row.Label->show();
    row.Editor->show();
    FRows.push_back(row);
    Layout();
}

void TDataControls::Layout()
{
    FLabelWidth = 0;
    for (const TDataControl& row : FRows)
        FLabelWidth = std::max(FLabelWidth, row.Label->width());
    for (const TDataControl& row : FRows) {
        row.Editor->setGeometry(FLabelWidth + 24, row.Editor->y(), Width() - FLabelWidth - 32, EditorHeight);
        row.Label->move(FLabelWidth + 12 - row.Label->width(), row.Label->y());
    }
    PlaceNote();
}

// ---- TFrmEditRecord ----

TFrmEditRecord::TFrmEditRecord(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      FContent(new QWidget),
      FRows(std::make_unique<TDataControls>(FContent))
{
    setWindowTitle(ToQString("Редактирование записи"));
    SetDialogBorder(this);
    setModal(true);
    // A record of more rows than the screen holds scrolls; the buttons stay below, in view.
    PnlBottom = new QWidget(this);
    PnlBottom->setFixedHeight(BottomHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new TScrollingContent(FContent, this));
    layout->addWidget(PnlBottom);
    BtnOk = new QPushButton(ToQString("Ok"), PnlBottom);
    BtnCancel = new QPushButton(ToQString("Отмена"), PnlBottom);
    BtnOk->setDefault(true);
    BtnOk->resize(ButtonWidth, ButtonHeight);
    BtnCancel->resize(ButtonWidth, ButtonHeight);
    resize(ClientWidth, BottomHeight + 8);

    connect(BtnOk, &QPushButton::clicked, this, [this] { Guarded([this] { BtnOkClick(); }); });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFrmEditRecord::~TFrmEditRecord()
{
    // The rows' controls are the dialog's children: let them go before the dialog does.
    FRows.reset();
}

bool TFrmEditRecord::Execute(TRecordEditorOwner* owner, bool isNew)
{
    FOwner = owner;
    FNew = isNew;
    BtnOk->setVisible(owner != nullptr);
    BtnCancel->setText(ToQString(owner ? "Отмена" : "Выход"));
    // Enter presses the default button: "Ok", or "Выход" where "Ok" is hidden.
    BtnOk->setDefault(owner != nullptr);
    BtnCancel->setDefault(owner == nullptr);
    const bool ok = exec() == QDialog::Accepted;
    // A new record appended by a first Ok whose value was refused is not kept on Cancel.
    if (!ok && isNew && !FNew)
        owner->CancelAppend();
    FOwner = nullptr;
    return ok;
}

void TFrmEditRecord::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TFrmEditRecord::FormShow()
{
    setWindowTitle(ToQString(!FOwner ? "Просмотр записи" : FNew ? "Добавление записи" : "Редактирование записи"));
    FContent->setFixedSize(FRows->Width(), FRows->Height());
    FixClientSize(this, QSize(FRows->Width(), FRows->Height() + BottomHeight));
    // The buttons keep their places in the middle of a widened dialog.
    const int shift = (width() - ClientWidth) / 2;
    BtnOk->move(shift + 104, 8);
    BtnCancel->move(shift + (FOwner ? 192 : 148), 8);
    CenterOverMain(this);
    if (FRows->Count() == 0)
        return;
    QWidget* first = FirstEditor(*FRows);
    first->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(first))
        edit->selectAll();
}

void TFrmEditRecord::BtnOkClick()
{
    if (!FOwner)
        return;
    // The new record is appended once: a second Ok after a refused value stores into it.
    if (FNew) {
        FOwner->AppendRecord();
        FNew = false;
    }
    FOwner->StoreRecord(FRows->Record());
    accept();
}
