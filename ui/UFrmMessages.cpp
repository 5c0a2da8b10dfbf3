#include "ui/UFrmMessages.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/QtText.h"
#include "ui/Reports.h"
#include "ui/StoreModels.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmWizard.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <climits>

TFrmMessages* FrmMessages = nullptr;

namespace {

constexpr int ItemHeight = 19;
constexpr TRichColor DarkRed = 0x000080;

int LineCount(const AnsiString& memo)
{
    TStringList lines;
    lines.SetText(memo);
    return lines.Count();
}

// A column that shows one field of the row as it is.
TStoreColumn FieldColumn(const char* title, int field)
{
    return {title, [field](TInternalData& store, int row) { return store.RowField(row, field); }};
}

std::vector<TStoreColumn> MessageColumns()
{
    return {FieldColumn("Тема", TMessages::TitleField),
            {"Вложений",
             [](TInternalData& store, int row) {
                 return AttachCountText(store.RowField(row, TMessages::ReportField),
                                        store.RowField(row, TMessages::FailedField));
             }},
            FieldColumn("Дата создания", TMessages::CreatedField),
            FieldColumn("Дата приема", TMessages::ReceivedField)};
}

// The find dialog's columns: the title, the text, the attachment lines, the two dates.
AnsiString FindField(TInternalData& store, int row, int field)
{
    switch (field) {
    case 0: return store.RowField(row, TMessages::TitleField);
    case 1: return store.RowField(row, TMessages::TextField);
    case 2: return store.RowField(row, TMessages::ReportField) + store.RowField(row, TMessages::FailedField);
    case 3: return store.RowField(row, TMessages::CreatedField);
    default: return store.RowField(row, TMessages::ReceivedField);
    }
}

}  // namespace

// ---- TSplitProportion ----

void TSplitProportion::Remember(int holderHeight, int listHeight)
{
    FHolderHeight = holderHeight;
    FListHeight = listHeight;
}

std::optional<int> TSplitProportion::ListHeight(int holderHeight) const
{
    if (FHolderHeight <= 0)
        return std::nullopt;
    return static_cast<int>(static_cast<int64_t>(holderHeight) * FListHeight / FHolderHeight);
}

// ---- The report and the count column ----

AnsiString AttachCountText(const AnsiString& reportMemo, const AnsiString& failedMemo)
{
    AnsiString text = IntToStr(LineCount(reportMemo));
    if (const int failed = LineCount(failedMemo); failed > 0)
        text += " / " + IntToStr(failed);
    return text;
}

TRichText MessageReport(TMessages& store, int row)
{
    const AnsiString rule(100, '-');
    TRichText report("Times New Roman", 12);
    TRichFont& font = report.Font();
    const auto add = [&](const AnsiString& text, bool bold) {
        font.Bold = bold;
        report.Add(text);
    };
    add(rule + "\n", false);
    add("Тема: ", true);
    add(store.RowField(row, TMessages::TitleField) + "\n", false);
    add("Дата создания: ", true);
    add(store.RowField(row, TMessages::CreatedField) + "\n", false);
    add("Дата приема: ", true);
    add(store.RowField(row, TMessages::ReceivedField) + "\n", false);

    const AnsiString reportLines = store.RowField(row, TMessages::ReportField);
    const AnsiString failedLines = store.RowField(row, TMessages::FailedField);
    if (!reportLines.empty() || !failedLines.empty()) {
        add("Вложения:\n", true);
        report.SetFirstIndent(15);
        add(reportLines, false);
        font.Color = DarkRed;
        report.Add(failedLines);
        font.Color = RichAutoColor;
        report.SetFirstIndent(0);
    }
    add(rule + "\n", false);
    font.Name = "Courier New";
    font.Size = 10;
    report.Add(store.RowField(row, TMessages::TextField));
    return report;
}

// ---- Construction ----

TFrmMessages::TFrmMessages(QWidget* parent)
    : QWidget(parent), FChainLink(this), FFind(FindTowardStart),
      FReloadLink(StoreWindows.ReloadMessages, [this] { ReloadMessages(); })
{
    setWindowTitle(ToQString("Входящие сообщения"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(617, 364);
    SplitString(FFind.Fields, "Тема|Текст сообщения|Вложения|Дата создания|Дата приема", "|");

    MessagesModel = new TStoreModel(FStore, MessageColumns(), this);
    AttachesModel = new TAttachModel(FReportLines, FFailedLines, this);

    PnlHolder = new QWidget(this);
    HorzSplitter = new QSplitter(Qt::Vertical, PnlHolder);
    HorzSplitter->setHandleWidth(3);
    HorzSplitter->setChildrenCollapsible(false);
    LstMessages = new QTableView(HorzSplitter);
    ApplyListLook(LstMessages, MessagesModel, ItemHeight);
    const int dateWidth = FittingWidth(LstMessages, 115, "00/00/0000 00:00:00");
    SetColumnWidths(LstMessages, {70, 70, dateWidth, dateWidth}, 0);
    LstMessages->setMinimumHeight(42);
    setFocusProxy(LstMessages);
    HorzSplitter->addWidget(LstMessages);
    HorzSplitter->addWidget(BuildMessagePart());
    HorzSplitter->setSizes({151, 210});
    auto* holderLayout = new QVBoxLayout(PnlHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    holderLayout->addWidget(HorzSplitter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildToolbar());
    layout->addWidget(PnlHolder, 1);

    connect(LstMessages->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { Guarded([this] { LstMessagesClick(); }); });
    connect(HorzSplitter, &QSplitter::splitterMoved, this, [this] { Guarded([this] { HorzSplitterMoved(); }); });
    PnlHolder->installEventFilter(this);
    LstMessages->installEventFilter(this);

    if (FrmMain)
        FChainLink.Link(FrmMain->Children());
    // The data is read once the window has appeared.
    QTimer::singleShot(0, this, [this] { Guarded([this] { ReloadMessages(); }); });
}

TFrmMessages::~TFrmMessages()
{
    if (FrmMessages == this)
        FrmMessages = nullptr;
}

QWidget* TFrmMessages::BuildToolbar()
{
    QToolBar* toolbar = NewToolbar(this);
    toolbar->setIconSize(QSize(16, 16));
    const auto add = [&](const char* caption, TToolImage image, void (TFrmMessages::*handler)()) {
        QAction* action = AddToolButton(toolbar, image, caption, [this, handler] { (this->*handler)(); });
        action->setEnabled(false);
        return action;
    };
    BtnReceive = add("Прием", TToolImage::Receive, &TFrmMessages::BtnReceiveClick);
    BtnReceive->setEnabled(true);
    toolbar->addSeparator();
    BtnSave = add("Сохранить", TToolImage::Save, &TFrmMessages::BtnSaveClick);
    BtnPrint = add("Печать", TToolImage::Print, &TFrmMessages::BtnPrintClick);
    toolbar->addSeparator();
    BtnFind = add("Найти", TToolImage::Find, &TFrmMessages::BtnFindClick);
    toolbar->addSeparator();
    BtnDel = add("Удалить", TToolImage::Delete, &TFrmMessages::BtnDelClick);
    toolbar->addSeparator();
    BtnProcess = add("Обработка", TToolImage::Process, &TFrmMessages::BtnProcessClick);
    SetCommandKey(this, BtnReceive, QKeySequence(Qt::Key_F5));
    SetCommandKey(this, BtnSave, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetCommandKey(this, BtnPrint, QKeySequence(Qt::CTRL | Qt::Key_P));
    SetCommandKey(this, BtnFind, QKeySequence(Qt::CTRL | Qt::Key_F));
    return toolbar;
}

QWidget* TFrmMessages::BuildMessagePart()
{
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);

    auto* body = new QWidget(splitter);
    auto* subjectBar = new QWidget(body);
    auto* caption = new QLabel(ToQString("Тема:"), subjectBar);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    LblSubject = new QLabel(subjectBar);
    LblSubject->setTextFormat(Qt::PlainText);
    auto* barLayout = new QHBoxLayout(subjectBar);
    barLayout->setContentsMargins(4, 2, 4, 2);
    barLayout->addWidget(caption);
    barLayout->addWidget(LblSubject, 1);
    RtfBody = new QPlainTextEdit(body);
    SetReadOnlyText(RtfBody);
    RtfBody->setFrameShape(QFrame::NoFrame);
    RtfBody->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    courier.setPixelSize(13);
    RtfBody->setFont(courier);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    bodyLayout->addWidget(subjectBar);
    bodyLayout->addWidget(RtfBody, 1);

    LstAttaches = new QTableView(splitter);
    ApplyListLook(LstAttaches, AttachesModel, ItemHeight);
    LstAttaches->horizontalHeader()->setStretchLastSection(true);
    LstAttaches->setMinimumWidth(42);
    splitter->addWidget(body);
    splitter->addWidget(LstAttaches);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({312, 302});
    return splitter;
}

// ---- Loading and showing ----

int TFrmMessages::SelectedItem() const
{
    return CurrentItem(LstMessages);
}

void TFrmMessages::SelectItem(int item)
{
    SelectListItem(LstMessages, item);
}

int TFrmMessages::SelectedRow() const
{
    return MessagesModel->StoreRow(SelectedItem());
}

void TFrmMessages::ReloadMessages()
{
    const int item = SelectedItem();
    ReloadAt(FStore.Open() && item >= 0 ? SelectedRow() : INT_MAX);
}

AnsiString TFrmMessages::MessageStoreFile() const
{
    return MessagesFileName(Profiles.Get()->Current()->Prefix);
}

void TFrmMessages::ReloadAt(int row)
{
    try {
        LoadMessageStore(FStore, MessageStoreFile());
    } catch (...) {
        // A store that could not be read shows as empty, never as the rows of before.
        RefreshList(0);
        throw;
    }
    RefreshList(row);
}

// Shows the store's rows with the given row selected (clamped to the table).
void TFrmMessages::RefreshList(int row)
{
    const int count = FStore.Open() ? FStore.RecordCount() : 0;
    for (QAction* button : {BtnSave, BtnPrint, BtnFind, BtnDel})
        button->setEnabled(count > 0);
    {
        const QSignalBlocker quiet(LstMessages->selectionModel());
        MessagesModel->Reset();
        if (count > 0) {
            row = std::clamp(row, 0, count - 1);
            SelectItem(MessagesModel->Item(row));
        }
    }
    LstMessagesClick();
}

void TFrmMessages::LstMessagesClick()
{
    const int item = SelectedItem();
    if (item < 0) {
        LblSubject->clear();
        RtfBody->clear();
        FReportLines.Clear();
        FFailedLines.Clear();
        AttachesModel->Reset();
        BtnProcess->setEnabled(false);
        return;
    }
    const int row = SelectedRow();
    RtfBody->setPlainText(ToQString(FStore.RowField(row, TMessages::TextField)));
    FReportLines.SetText(FStore.RowField(row, TMessages::ReportField));
    FFailedLines.SetText(FStore.RowField(row, TMessages::FailedField));
    LblSubject->setText(ToQString(FStore.RowField(row, TMessages::TitleField)));
    BtnProcess->setEnabled(FFailedLines.Count() > 0);
    AttachesModel->Reset();
}

void TFrmMessages::ShowMessageAgain()
{
    LstMessages->viewport()->update();
    LstMessagesClick();
}

// ---- The split between the list and the message ----

void TFrmMessages::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // The holder gets its size from the layout after the window is shown.
    QTimer::singleShot(0, this, [this] { Guarded([this] { SplitInHalves(); }); });
}

void TFrmMessages::SplitInHalves()
{
    const QList<int> sizes = HorzSplitter->sizes();
    const int half = (sizes[0] + sizes[1]) / 2;
    HorzSplitter->setSizes({half, sizes[0] + sizes[1] - half});
    FProportion.Remember(PnlHolder->height(), half);
}

void TFrmMessages::HorzSplitterMoved()
{
    FProportion.Remember(PnlHolder->height(), HorzSplitter->sizes()[0]);
}

void TFrmMessages::PnlHolderResize()
{
    const std::optional<int> list = FProportion.ListHeight(PnlHolder->height());
    if (!list)
        return;
    const QList<int> sizes = HorzSplitter->sizes();
    HorzSplitter->setSizes({*list, std::max(sizes[0] + sizes[1] - *list, 0)});
}

bool TFrmMessages::eventFilter(QObject* watched, QEvent* event)
{
    // The holder's layout resizes the splitter after this filter has seen the event: the
    // split is set once the splitter has its new size.
    if (watched == PnlHolder && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { Guarded([this] { PnlHolderResize(); }); });
    if (watched == LstMessages && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        bool handled = false;
        Guarded([&] { handled = LstMessagesKeyDown(key->key(), key->modifiers()); });
        return handled;
    }
    return QWidget::eventFilter(watched, event);
}

bool TFrmMessages::LstMessagesKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (key != Qt::Key_Delete || held != Qt::NoModifier || !BtnDel->isEnabled())
        return false;
    BtnDelClick();
    return true;
}

// ---- Commands ----

void TFrmMessages::BtnReceiveClick()
{
    TReceiveWizard wizard;
    RunWizard(wizard);
}

void TFrmMessages::BtnProcessClick()
{
    TProcessWizard wizard(*this);
    RunWizard(wizard);
}

void TFrmMessages::BtnDelClick()
{
    if (AppMessageBox("Удаленное сообщение восстановить будет нельзя.\nПродолжить?",
                      MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2) !=
            MessageBoxAnswer::Yes)
        return;
    // The message is deleted from the store as its file holds it now: rows that another
    // program added or deleted since this window read the file stay as that program left them.
    int deletedRow = -1;
    try {
        deletedRow = ChangeSelectedInFile(
            [](TMessages& store, int row) {
                store.GoTo(row);
                store.Delete();
            },
            "оно не удалено");
    } catch (...) {
        // The file keeps the message: the window shows it again.
        try {
            ReloadMessages();
        } catch (...) {
            // The first error is the one to show.
        }
        throw;
    }
    // The next older message, or the new oldest one when the oldest went.
    ReloadAt(std::max(deletedRow - 1, 0));
}

void TFrmMessages::BtnFindClick()
{
    FFind.LastRow = SelectedRow();
    FrmFind->Execute(&FFind, std::make_unique<TStoreFindTable>(FStore, FindField), [this] { FoundRow(); });
}

void TFrmMessages::FoundRow()
{
    ShowFoundItem(LstMessages, MessagesModel->Item(FFind.LastRow));
    LstMessagesClick();
}

void TFrmMessages::BtnSaveClick()
{
    SaveReportAs(MessageReport(FStore, SelectedRow()));
}

void TFrmMessages::BtnPrintClick()
{
    PrintReport(MessageReport(FStore, SelectedRow()), AnsiString(ApplicationTitle) + ": Входящее сообщение");
}
