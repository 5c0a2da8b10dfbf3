#include "ui/UFrmJournal.h"

#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/ContainerSend.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/QtText.h"
#include "ui/StoreModels.h"
#include "ui/UFrmMain.h"

#include <QApplication>
#include <QKeySequence>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

TFrmJournal* FrmJournal = nullptr;

namespace {

// The fields of a journal row.
constexpr int BaseNameField = 0;
constexpr int KindField = 1;
constexpr int DateField = 6;
constexpr int FileNameField = 7;
constexpr int ShownFields = 7;

constexpr const char* ColumnTitles[ShownFields] = {"Имя файла", "Тип файла", "Записей", "Сумма Кт",
                                                    "Сумма Дт", "Комментарий к файлу", "Дата отправки"};
constexpr int CommentColumn = 5;

// A row's field as the list and the find dialog show it: the kind by its title.
AnsiString ShownField(TInternalData& store, int row, int field)
{
    const AnsiString value = store.RowField(row, field);
    return field == KindField ? JournalKindTitle(value) : value;
}

std::vector<TStoreColumn> JournalColumns()
{
    std::vector<TStoreColumn> columns;
    for (int field = 0; field < ShownFields; ++field)
        columns.push_back({ColumnTitles[field], [field](TInternalData& store, int row) {
                               return ShownField(store, row, field);
                           }});
    return columns;
}

// Keeps the hourglass for the length of a scope.
struct THourglass {
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

AnsiString JournalKindTitle(const AnsiString& code)
{
    if (code == "ARBITRARY")
        return "Произвольный файл";
    for (const TDocTypeInfo& kind : ExportDocTypes)
        if (SameText(kind.Code, code))
            return kind.Title;
    return code;
}

void ResendJournalRow(TJournal& journal, int row)
{
    journal.GoTo(row);
    const TFileRecord& record = *journal.CurRecord();
    AnsiString fileName = record.Get(FileNameField);
    if (fileName.empty())
        fileName = record.Get(BaseNameField) + ".TLB";
    // The whole container is read first: a missing or unreadable one fails before the send.
    TMemoryStream container;
    {
        TFileStream archived(GetFolder(FolderSent, false) + fileName, fmOpenRead | fmShareDenyWrite);
        container.WriteString(ReadToEnd(archived));
    }
    // An empty file is a name held by a send whose archive copy was never stored.
    if (container.Size() == 0)
        throw Exception("Копия файла " + fileName + " в папке Sent не сохранилась после отправки: отправить его "
                        "повторно нельзя");
    const AnsiString text = JournalKindTitle(record.Get(KindField)) + " (" + record.Get(BaseNameField) + ") - повторно";
    Sender.Get()->Send(text, fileName, &container);

    try {
        TDelimRecord copy(";", true);
        copy.SetText(record.GetText());
        copy.Set(DateField, DateTimeToStr(Now()));
        AppendJournalRow(copy);
    } catch (const Exception& error) {
        throw Exception("Файл отправлен в банк, но запись о повторной отправке не сохранена в журнале: " +
                        error.Message());
    }
}

// ---- The window ----

TFrmJournal::TFrmJournal(QWidget* parent)
    : QWidget(parent), FChainLink(this), FFind(FindTowardStart),
      FReloadLink(StoreWindows.ReloadJournal, [this] { Reload(); })
{
    setWindowTitle(ToQString("Журнал отправки"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(758, 397);
    SplitString(FFind.Fields,
                "Имя файла|Тип файла|Записей|Сумма Кт|Сумма Дт|Комментарий к файлу|Дата отправки", "|");

    QToolBar* toolbar = NewToolbar(this);
    toolbar->setIconSize(QSize(16, 16));
    BtnFind = AddToolButton(toolbar, TToolImage::Find, "Найти", [this] { BtnFindClick(); });
    toolbar->addSeparator();
    BtnRepeat = AddToolButton(toolbar, TToolImage::Resend, "Повторно", [this] { BtnRepeatClick(); });
    BtnFind->setEnabled(false);
    BtnRepeat->setEnabled(false);
    SetCommandKey(this, BtnFind, QKeySequence(Qt::CTRL | Qt::Key_F));
    // The key asks the resend's question, as the button does: nothing goes to the bank
    // without a "Да".
    SetCommandKey(this, BtnRepeat, QKeySequence(Qt::CTRL | Qt::Key_R));

    JournalModel = new TStoreModel(FStore, JournalColumns(), this);
    LstJournal = new QTableView(this);
    ApplyListLook(LstJournal, JournalModel, 19);
    setFocusProxy(LstJournal);
    // The comment takes the free width.
    // The longest kind title and the date show whole.
    SetColumnWidths(LstJournal,
                    {85, FittingWidth(LstJournal, 200, ExportDocTypes[1].Title), 70, 70, 70, 150,
                     FittingWidth(LstJournal, 112, "00/00/0000 00:00:00")},
                    CommentColumn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(LstJournal, 1);

    if (FrmMain)
        FChainLink.Link(FrmMain->Children());
    QTimer::singleShot(0, this, [this] { Guarded([this] { Reload(); }); });
}

TFrmJournal::~TFrmJournal()
{
    if (FrmJournal == this)
        FrmJournal = nullptr;
}

int TFrmJournal::SelectedItem() const
{
    return CurrentItem(LstJournal);
}

int TFrmJournal::SelectedRow() const
{
    return JournalModel->StoreRow(SelectedItem());
}

void TFrmJournal::SelectItem(int item)
{
    SelectListItem(LstJournal, item);
}

void TFrmJournal::Reload()
{
    Load(FStore.Open() && SelectedItem() >= 0 ? SelectedRow() : INT_MAX);
}

void TFrmJournal::Load(int row)
{
    try {
        FStore.LoadFromFile(JournalFileName(Profiles.Get()->Current()->Prefix));
    } catch (...) {
        UpdateView(0);
        throw;
    }
    UpdateView(row);
}

void TFrmJournal::UpdateView(int row)
{
    const int count = FStore.Open() ? FStore.RecordCount() : 0;
    BtnFind->setEnabled(count > 0);
    BtnRepeat->setEnabled(count > 0);
    JournalModel->Reset();
    if (count > 0)
        SelectItem(JournalModel->Item(std::clamp(row, 0, count - 1)));
}

void TFrmJournal::BtnFindClick()
{
    FFind.LastRow = SelectedRow();
    FrmFind->Execute(&FFind, std::make_unique<TStoreFindTable>(FStore, ShownField),
                     [this] { ShowFoundItem(LstJournal, JournalModel->Item(FFind.LastRow)); });
}

void TFrmJournal::BtnRepeatClick()
{
    // A file sent twice reaches the bank twice: one stray Enter must not send it.
    if (AppMessageBox("Отправить файл повторно?",
                      MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion | MessageBoxFlags::DefaultButton2) !=
        MessageBoxAnswer::Yes)
        return;
    try {
        const THourglass hourglass;
        ResendJournalRow(FStore, SelectedRow());
    } catch (...) {
        // The list shows what the journal file holds: the new row is there only when saved.
        try {
            Reload();
        } catch (...) {
            // The first error is the one to show.
        }
        throw;
    }
    // The new row on top, selected. The file is at the bank: a failure to show the journal
    // is reported on its own and does not hide that.
    Guarded([this] { Load(INT_MAX); });
    AppMessageBox("Файл успешно отправлен в банк.", MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
}
