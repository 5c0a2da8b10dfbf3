#include "ui/UFrmReplyFiles.h"

#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/ListGrids.h"
#include "ui/QtText.h"
#include "ui/Reports.h"
#include "ui/StoreModels.h"
#include "ui/UFrmMain.h"

#include <QKeySequence>
#include <QTableView>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <climits>
#include <memory>

TFrmReplyFiles* FrmNewCliReply = nullptr;

namespace {

constexpr int FileRowHeight = 19;
constexpr int GridRowHeight = 18;
// The store's field that holds a reply file's name.
constexpr int FileNameField = 1;

std::vector<TGridColumn> ReplyColumns(const TReplyTypeInfo& type, int widthUnit)
{
    std::vector<TGridColumn> columns;
    for (int k = 0; k < type.ColumnCount; ++k)
        columns.push_back({type.Columns[k].Caption, type.Columns[k].Width * widthUnit});
    return columns;
}

}  // namespace

void ExportReplyFile(const TFormatProfile& kind, TDataFile& reply, const AnsiString& fileName)
{
    const std::unique_ptr<TDataFile> output = NewDataFile(kind);
    auto* map = new TIntArray;
    for (int i = 0; i < kind.FieldIndexes.Count(); ++i)
        map->Add(kind.FieldIndexes.At(i));
    TConvertRecord view(map, reply.CurRecord());
    // Every record is put into the output in memory first: a value that does not fit
    // raises here, before the file is touched.
    for (reply.First(); !reply.Eof(); reply.Next())
        output->Append(&view);
    output->SaveToFile(fileName);
}

// ---- The window ----

TFrmReplyFiles::TFrmReplyFiles(TFrmReplyFiles** global, TReplyProfile* kind, QWidget* parent)
    : QWidget(parent), FChainLink(this), FGlobal(global), FKind(kind), FParser(";", 0, false),
      FFind(FindTowardEnd), FReloadLink(StoreWindows.ReloadReplies, [this] { Reload(); })
{
    setWindowTitle(ToQString(FKind->ReplyType->Title));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(696, 476);
    for (int k = 0; k < FKind->ReplyType->ColumnCount; ++k)
        FFind.Fields.Add(FKind->ReplyType->Columns[k].Caption);

    QToolBar* toolbar = NewToolbar(this);
    BtnSave = AddToolButton(toolbar, TToolImage::Save, "Сохранить", [this] { BtnSaveClick(); });
    toolbar->addSeparator();
    BtnView = AddToolButton(toolbar, TToolImage::View, "Просмотр", [this] { BtnViewClick(); });
    toolbar->addSeparator();
    BtnFind = AddToolButton(toolbar, TToolImage::Find, "Найти", [this] { BtnFindClick(); });
    for (QAction* button : {BtnSave, BtnView, BtnFind})
        button->setEnabled(false);
    SetCommandKey(this, BtnSave, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetCommandKey(this, BtnFind, QKeySequence(Qt::CTRL | Qt::Key_F));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    FilesModel = new TStoreModel(
        FStore, {{"Имя файла", [](TInternalData& store, int row) { return store.RowField(row, FileNameField); }}}, this);
    LstFiles = new QTableView(splitter);
    ApplyListLook(LstFiles, FilesModel, FileRowHeight);
    SetColumnWidths(LstFiles, {100}, 0);
    // The file list's panel has a border of its own, as the grid beside it.
    LstFiles->setFrameShape(QFrame::StyledPanel);
    LstFiles->setMinimumWidth(42);
    setFocusProxy(LstFiles);
    Grid = new TRecordViewGrid(GridRowHeight, splitter);
    Grid->SetViewCommand(BtnView);
    splitter->addWidget(LstFiles);
    splitter->addWidget(Grid);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({120, 576});
    connect(LstFiles->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { Guarded([this] { LstFilesClick(); }); });
    ShowFile(false);

    StackToolbarOver(this, toolbar, splitter);

    if (FrmMain)
        FChainLink.Link(FrmMain->Children());
    *FGlobal = this;
    QTimer::singleShot(0, this, [this] { Guarded([this] { Reload(); }); });
}

TFrmReplyFiles::~TFrmReplyFiles()
{
    if (FrmFind)
        FrmFind->Detach(&FFind);
    if (*FGlobal == this)
        *FGlobal = nullptr;
}

int TFrmReplyFiles::SelectedRow() const
{
    const int item = CurrentItem(LstFiles);
    return item >= 0 ? FilesModel->StoreRow(item) : -1;
}

void TFrmReplyFiles::SelectItem(int item)
{
    SelectListItem(LstFiles, item);
}

void TFrmReplyFiles::Reload()
{
    const int row = FStore.Open() && SelectedRow() >= 0 ? SelectedRow() : INT_MAX;
    const QSignalBlocker quiet(LstFiles->selectionModel());
    try {
        FStore.LoadFromFile(ReplyFilesName(Profiles.Get()->Current()->Prefix, FKind->ReplyType->Code));
    } catch (...) {
        // The store is closed now: no file is listed and none is shown.
        FilesModel->Reset();
        ShowFile(false);
        throw;
    }
    FilesModel->Reset();
    const int count = FStore.RecordCount();
    if (count > 0)
        SelectItem(FilesModel->Item(std::clamp(row, 0, count - 1)));
    LstFilesClick();
}

void TFrmReplyFiles::LstFilesClick()
{
    if (FrmFind)
        FrmFind->Detach(&FFind);
    const int row = SelectedRow();
    if (row < 0) {
        ShowFile(false);
        return;
    }
    FStore.GoTo(row);
    FStore.SelectMemo(0);
    try {
        FParser.LoadFromStream(FStore.MemoStream());
    } catch (...) {
        ShowFile(false);
        throw;
    }
    ShowFile(true);
}

void TFrmReplyFiles::ShowFile(bool loaded)
{
    for (QAction* button : {BtnSave, BtnView, BtnFind})
        button->setEnabled(loaded);
    if (!loaded) {
        if (FColumnsSet)
            Grid->Clear();
        Grid->Model()->SetDataFile(nullptr);
        FColumnsSet = false;
        return;
    }
    if (!FColumnsSet)
        Grid->SetColumns(ReplyColumns(*FKind->ReplyType, ColumnWidthUnit(Grid)));
    FColumnsSet = true;
    FParser.First();
    Grid->Model()->SetDataFile(&FParser);
    SelectListItem(Grid, 0);
}

void TFrmReplyFiles::BtnViewClick()
{
    ViewGridRow(*Grid, CurrentItem(Grid));
}

void TFrmReplyFiles::BtnFindClick()
{
    FFind.LastRow = CurrentItem(Grid);
    FrmFind->Execute(&FFind, std::make_unique<TDataFileFindTable>(FParser, *FParser.CurRecord()),
                     [this] { ShowFoundItem(Grid, FFind.LastRow); });
}

void TFrmReplyFiles::BtnSaveClick()
{
    const TFileFormatInfo& format = FileFormats[FKind->FileFormat];
    TFileDialogRequest request;
    request.Filter = AnsiString(format.Description) + " (" + format.Mask + ")|" + format.Mask;
    request.FileName = FKind->FileName;
    // The extension of the kind's first format, without its ".".
    request.DefaultExt = AnsiString(FileFormats[FKind->AllowedFormats[0]].Extension).substr(1);
    const std::optional<AnsiString> fileName = AskSaveFileName(request);
    if (!fileName)
        return;
    FKind->SetFileName(*fileName);
    ExportReplyFile(*FKind, FParser, *fileName);
}
