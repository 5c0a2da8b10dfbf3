#include "ui/UFrmExportFile.h"

#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/ExportActions.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/QtText.h"
#include "ui/RecordGrid.h"
#include "ui/Reports.h"
#include "ui/UFrmFind.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QColor>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

TFrmExportFile* FrmSalary = nullptr;
TFrmExportFile* FrmNewCli = nullptr;
TFrmExportFile* FrmDelCli = nullptr;

namespace {

constexpr int GridRowHeight = 18;

// The letters of the three mark states; state 0 keeps the grid's own (window text).
const QColor StateLetters[] = {QColor(), QColor(0, 0, 128), QColor(128, 0, 0)};

// The texts of the status memo by mark state (state 2 shows the mark's error text).
const char* const StateTexts[] = {"Запись не проверена", "Запись проверена, ошибок нет"};

// Why the record editor keeps the named fields from being changed; "" for none.
AnsiString LockedFieldsNote(const std::vector<AnsiString>& captions)
{
    if (captions.empty())
        return AnsiString();
    AnsiString names;
    for (const AnsiString& caption : captions)
        names += (names.empty() ? "\"" : "\", \"") + caption;
    names += "\"";
    if (captions.size() == 1)
        return "Поле " + names + " содержит символы, которые нельзя показать без искажений, и не может быть изменено.";
    return "Поля " + names + " содержат символы, которые нельзя показать без искажений, и не могут быть изменены.";
}

// Loads the file into the data file. A failure names the file, whatever the format's own
// text says (a file that cannot be opened is named by that text already).
void LoadNamedFile(TDataFile& file, const AnsiString& name)
{
    try {
        file.LoadFromFile(name);
    } catch (Exception& error) {
        if (error.Message().find(name) == AnsiString::npos)
            error.SetMessage(name + ": " + error.Message());
        throw;
    }
}

}  // namespace

void ExcludeRefs(const TIntArray& fieldIndexes, TIntArray& refs)
{
    refs.SetCount(0);
    for (int i = 0; i < fieldIndexes.Count(); ++i)
        if (fieldIndexes.At(i) >= 0)
            refs.Add(i);
}

QVariant MarkLetters(const TRecordInfo& mark)
{
    if (!mark.Selected)
        return ToQColor(GridLineColor());
    if (mark.State > RecordHasError)
        return {};
    const QColor& letters = StateLetters[mark.State];
    return letters.isValid() ? QVariant(letters) : QVariant();
}

// The grid of a document: the records of its data file in the colours of their marks.
class TExportFileModel : public TRecordGridModel {
public:
    // A document without records shows no rows: an empty row would look like a record.
    TExportFileModel(const TRecordInfos& marks, QObject* parent) : TRecordGridModel(parent), FMarks(marks)
    {
        WithoutEmptyRow();
    }

protected:
    QVariant RecordForeground(int record) const override
    {
        if (record >= FMarks.Count())
            return {};
        return MarkLetters(FMarks.Info(record));
    }

private:
    const TRecordInfos& FMarks;
};

// ---- Construction ----

TFrmExportFile::TFrmExportFile(TFrmExportFile** global, TExportProfile* kind, QWidget* parent)
    : QWidget(parent),
      FLink(this),
      FGlobal(global),
      FKind(kind),
      FFindLayout(std::make_unique<TFindLayout>(FindTowardEnd)),
      FModel(new TExportFileModel(FMarks, this))
{
    ExcludeRefs(kind->FieldIndexes, FColumnMap);
    auto* map = new TIntArray;
    ExcludeRefs(kind->FieldIndexes, *map);
    FView = std::make_unique<TConvertRecord>(map, nullptr);

    setWindowTitle(ToQString(kind->DocType->Title));
    BuildToolbar();
    Grid = new QTableView(this);
    Grid->setModel(FModel);
    ApplyGridLook(Grid, GridRowHeight);
    setFocusProxy(Grid);
    Grid->installEventFilter(this);
    Grid->viewport()->installEventFilter(this);
    connect(Grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { Guarded([&] { ShowRecordStatus(current.row()); }); });
    EdtMessages = new QPlainTextEdit(this);
    SetReadOnlyText(EdtMessages);
    EdtMessages->setFixedHeight(57);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TbrToolbar);
    layout->addWidget(Grid, 1);
    layout->addWidget(EdtMessages);
    // Wide enough for the whole toolbar: a command hidden behind the toolbar's overflow
    // arrow is one that a user does not find.
    resize(std::max(640, TbrToolbar->sizeHint().width()), 400);

    if (FrmMain)
        FLink.Link(FrmMain->Children());
    *FGlobal = this;
    QTimer::singleShot(0, this, [this] { Guarded([this] { AutoLoadOnce(); }); });
}

TFrmExportFile::~TFrmExportFile()
{
    if (FGlobal && *FGlobal == this)
        *FGlobal = nullptr;
    // The grid reads the data file until it goes.
    FModel->SetDataFile(nullptr);
}

QAction* TFrmExportFile::AddButton(TToolImage image, const char* caption, const char* hint,
                                   void (TFrmExportFile::*handler)())
{
    QAction* button = AddToolButton(TbrToolbar, image, caption, [this, handler] { (this->*handler)(); });
    if (hint)
        button->setToolTip(ToQString(hint));
    return button;
}

void TFrmExportFile::BuildToolbar()
{
    TbrToolbar = NewToolbar(this);
    BtnNew = AddButton(TToolImage::New, "Новый", nullptr, &TFrmExportFile::BtnNewClick);
    BtnLoad = AddButton(TToolImage::Open, "Открыть", nullptr, &TFrmExportFile::BtnLoadClick);
    BtnSave = AddButton(TToolImage::Save, "Сохранить", nullptr, &TFrmExportFile::BtnSaveClick);
    TbrToolbar->addSeparator();
    BtnEdit = AddButton(TToolImage::Edit, "Изменить", nullptr, &TFrmExportFile::BtnEditClick);
    BtnAdd = AddButton(TToolImage::Add, "Добавить", nullptr, &TFrmExportFile::BtnAddClick);
    BtnDel = AddButton(TToolImage::Delete, "Удалить", nullptr, &TFrmExportFile::BtnDelClick);
    BtnFind = AddButton(TToolImage::Find, "Найти", nullptr, &TFrmExportFile::BtnFindClick);
    TbrToolbar->addSeparator();
    BtnSelect = AddButton(TToolImage::Select, "Отметить", nullptr, &TFrmExportFile::BtnSelectClick);

    MnuSelectAll = new QMenu(this);
    ItmSelectAll = MnuSelectAll->addAction(ToQString("Отметить"));
    ItmUnselectAll = MnuSelectAll->addAction(ToQString("Убрать отметки"));
    ItmInvertSel = MnuSelectAll->addAction(ToQString("Инвертировать"));
    connect(ItmSelectAll, &QAction::triggered, this, [this] { Guarded([this] { ItmSelectAllClick(); }); });
    connect(ItmUnselectAll, &QAction::triggered, this, [this] { Guarded([this] { ItmUnselectAllClick(); }); });
    connect(ItmInvertSel, &QAction::triggered, this, [this] { Guarded([this] { ItmInvertSelClick(); }); });
    BtnSelectAll = new QToolButton(TbrToolbar);
    BtnSelectAll->setText(ToQString("Все"));
    BtnSelectAll->setIcon(ToolImage(TToolImage::SelectAll));
    BtnSelectAll->setMenu(MnuSelectAll);
    BtnSelectAll->setPopupMode(QToolButton::MenuButtonPopup);
    BtnSelectAll->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // The button itself (not its arrow) inverts the marks.
    connect(BtnSelectAll, &QToolButton::clicked, this, [this] { Guarded([this] { ItmInvertSelClick(); }); });
    TbrToolbar->addWidget(BtnSelectAll);
    TbrToolbar->addSeparator();

    BtnExport = AddButton(TToolImage::Export, "Экспорт", nullptr, &TFrmExportFile::BtnExportClick);
    BtnNextError = AddButton(TToolImage::NextError, "След. ош.", "Следующая ошибка", &TFrmExportFile::BtnNextErrorClick);
    BtnSaveErrors = AddButton(TToolImage::SaveErrors, "Сохр. ош.", "Сохранить ошибки", &TFrmExportFile::BtnSaveErrorsClick);
    BtnPrintErrors = AddButton(TToolImage::PrintErrors, "Печать ош", "Печать ошибок", &TFrmExportFile::BtnPrintErrorsClick);

    // Until a file is loaded only New and Open work.
    for (QAction* button : {BtnSave, BtnEdit, BtnAdd, BtnDel, BtnFind, BtnSelect, BtnExport, BtnNextError,
                            BtnSaveErrors, BtnPrintErrors})
        button->setEnabled(false);
    BtnSelectAll->setEnabled(false);

    SetCommandKey(this, BtnNew, QKeySequence(Qt::CTRL | Qt::Key_N));
    SetCommandKey(this, BtnLoad, QKeySequence(Qt::CTRL | Qt::Key_O));
    SetCommandKey(this, BtnSave, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetCommandKey(this, BtnFind, QKeySequence(Qt::CTRL | Qt::Key_F));
    // The key opens the wizard, which asks before anything goes to the bank.
    SetCommandKey(this, BtnExport, QKeySequence(Qt::CTRL | Qt::Key_E));
    SetCommandKey(this, BtnPrintErrors, QKeySequence(Qt::CTRL | Qt::Key_P));
    SetMenuKey(this, BtnSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A));
}

void TFrmExportFile::AutoLoadOnce()
{
    if (!FKind->FileName.empty())
        LoadFile();
}

TRecordGridModel* TFrmExportFile::GridModel() const
{
    return FModel;
}

// ---- The document ----

TDataFile& TFrmExportFile::DataFile()
{
    if (!FDataFile)
        throw Exception("Файл не загружен");
    return *FDataFile;
}

void TFrmExportFile::MarksChanged()
{
    // The check pass may also have rewritten records with their normalised values.
    FModel->RepaintAll();
    ShowRecordStatus();
}

bool TFrmExportFile::IsModified() const
{
    return FDataFile && FDataFile->IsModified() && !FReadOnly;
}

// ---- Loading and saving ----

void TFrmExportFile::LoadFile(bool createMissing)
{
    const AnsiString name = FKind->FileName;
    std::unique_ptr<TDataFile> file = NewDataFile(*FKind);
    if (createMissing && !FileExists(name)) {
        file->LoadFromStream(nullptr);
        file->SetFileName(name);
    } else {
        LoadNamedFile(*file, name);
    }
    const int needed = FKind->FieldIndexes.Count();
    if (file->Fields().Count() > 0 && file->Fields().Count() < needed)
        throw Exception("Количество полей в файле должно быть не менее " + IntToStr(needed));

    // The find dialog's table is the file that goes.
    if (FrmFind)
        FrmFind->Detach(FFindLayout.get());
    if (!FColumnsSet)
        SetColumns();
    std::unique_ptr<TDataFile> previous = std::move(FDataFile);
    FDataFile = std::move(file);
    FView->SetSource(FDataFile->CurRecord());
    ResetMarks();
    // The grid is read afresh once, with the new file and its marks in place.
    FModel->SetDataFile(FDataFile.get());
    previous.reset();
    RefreshGrid(false);

    const AnsiString readOnlyMessage = ReadOnlyMessage();
    FReadOnly = !readOnlyMessage.empty();
    UpdateCaption();
    BtnSave->setEnabled(!FReadOnly);
    for (QAction* button : {BtnAdd, BtnFind, BtnExport, BtnNextError, BtnSaveErrors, BtnPrintErrors})
        button->setEnabled(true);
    BtnSelectAll->setEnabled(true);
    if (FReadOnly)
        AppMessageBox(readOnlyMessage, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
    // A file in another code page opens all the same; the user learns why its text looks
    // garbled before exporting it.
    if (FDataFile->PlainlyInOtherCodePage())
        AppMessageBox("Файл " + name + " не похож на текст в кодировке " + NamedCodeName(CharsetTypes, FKind->Charset) +
                          ", заданной в профиле.\nТекст записей может отображаться и выгружаться неверно.",
                      MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
}

void TFrmExportFile::SetColumns()
{
    const int unit = ColumnWidthUnit(Grid);
    std::vector<TGridColumn> columns;
    for (int k = 0; k < FColumnMap.Count(); ++k) {
        const TColumnInfo& column = FKind->DocType->Columns[FKind->FieldIndexes.At(FColumnMap.At(k))];
        columns.push_back({column.Caption, column.Width * unit});
        FFindLayout->Fields.Add(column.Caption);
    }
    FModel->SetColumns(std::move(columns), FColumnMap);
    SetColumnWidths(Grid, *FModel);
    FColumnsSet = true;
}

void TFrmExportFile::ResetMarks()
{
    // Every record of the new file starts marked and not checked: the marks are made
    // anew, all at once.
    FMarks.SetCount(0);
    FMarks.SetCount(FDataFile->RecordCount());
}

void TFrmExportFile::RefreshGrid(bool reload)
{
    if (reload)
        FModel->Reload();
    SelectRecord(std::max(FDataFile->RecNo(), 0));
    ShowRecordStatus();
    const bool hasRecords = FDataFile->RecordCount() > 0;
    for (QAction* button : {BtnEdit, BtnDel, BtnSelect})
        button->setEnabled(hasRecords);
}

AnsiString TFrmExportFile::ReadOnlyMessage() const
{
    const AnsiString& name = FDataFile->FileName();
    if (IsFloppyPath(name))
        return "Файл загружен с дискеты в режиме \"Только для чтения\".\nИзменения файла не могут быть сохранены на "
               "диск.";
    if (IsReadOnlyFile(name))
        return "Загруженный файл имеет атрибут \"Только для чтения\".\nИзменения файла не могут быть сохранены на "
               "диск.";
    if (FKind->FileFormat == ffDBase && FKind->FieldLengths.Count() > 0)
        return "В настройках профиля задано переопределение полей входного DBase-файла.\nИзменения файла не могут "
               "быть сохранены на диск.";
    // A save would have to write a header that still leaves records out of its count, or
    // change the count that the file's own program wrote: the file is shown whole and kept.
    // Deleted records are neither shown nor counted: one the header left out is no record
    // of the list.
    if (const auto* dbase = dynamic_cast<const TDBaseFile*>(FDataFile.get());
        dbase && FDataFile->RecordCount() > dbase->CountedRecords())
        return "Файл " + name + " содержит записей: " + IntToStr(FDataFile->RecordCount()) +
               ", а в его заголовке указано: " + IntToStr(dbase->CountedRecords()) +
               ".\nПоказаны все записи. Изменения файла не могут быть сохранены на диск.";
    return AnsiString();
}

void TFrmExportFile::UpdateCaption()
{
    AnsiString caption = FKind->DocType->Title;
    if (FDataFile) {
        caption += ": " + ExtractFileName(FDataFile->FileName());
        if (FReadOnly)
            caption += " (только чтение)";
        else if (FDataFile->IsModified())
            caption += " (изменен)";
    }
    setWindowTitle(ToQString(caption));
}

bool TFrmExportFile::SaveFile()
{
    if (!FDataFile || FReadOnly)
        return false;
    if (FDataFile->ChangedOnDisk() && !ConfirmSaveOverOtherProgram())
        return false;
    FDataFile->SaveToFile(AnsiString());
    UpdateCaption();
    return true;
}

bool TFrmExportFile::ConfirmSaveOverOtherProgram() const
{
    // Another program (the accounting program, as a rule) may have written the file anew
    // since it was loaded, and writing over it would drop what it wrote; or it deleted the
    // file, and the user may have meant it gone.
    const AnsiString& name = FDataFile->FileName();
    const char* const happened = FileExists(name) ? " изменен другой программой после открытия. Сохранить поверх него?"
                                                  : " удален другой программой после открытия. Сохранить его?";
    return AppMessageBox("Файл " + name + happened,
                         MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2) ==
           MessageBoxAnswer::Yes;
}

bool TFrmExportFile::ConfirmSave()
{
    if (!IsModified())
        return true;
    switch (AppMessageBox("Файл был изменен.\nСохранить изменения на диск?",
                          MessageBoxFlags::YesNoCancel | MessageBoxFlags::IconWarning)) {
    case MessageBoxAnswer::Yes:
        return SaveFile();
    case MessageBoxAnswer::No:
        return true;
    default:
        return false;
    }
}

void TFrmExportFile::closeEvent(QCloseEvent* event)
{
    // While the main window closes or switches profiles, nobody is asked.
    bool close = false;
    Guarded([&] { close = (FrmMain && FrmMain->Switching()) || ConfirmSave(); });
    if (!close) {
        event->ignore();
        return;
    }
    // The window is gone for the menu at once, though Qt deletes it a moment later.
    if (*FGlobal == this)
        *FGlobal = nullptr;
    event->accept();
}

// ---- Rows and marks ----

int TFrmExportFile::CurrentRecord() const
{
    const QModelIndex current = Grid->currentIndex();
    if (!FDataFile || !current.isValid() || current.row() >= FDataFile->RecordCount())
        return -1;
    return current.row();
}

void TFrmExportFile::SelectRecord(int record)
{
    if (record < 0 || record >= FModel->rowCount())
        return;
    const QModelIndex index = FModel->index(record, 0);
    Grid->setCurrentIndex(index);
    Grid->scrollTo(index);
}

void TFrmExportFile::ShowRecordStatus(int record)
{
    if (record < 0)
        record = CurrentRecord();
    QString text;
    QVariant letters;
    if (record >= 0 && record < FMarks.Count() && FMarks.Info(record).Selected) {
        const TRecordInfo& mark = FMarks.Info(record);
        text = mark.State == RecordHasError ? QString::fromStdString(FMarks.ErrorText(record))
                                            : ToQString(StateTexts[mark.State == RecordCheckedOk]);
        letters = MarkLetters(mark);
    }
    QPalette palette = EdtMessages->palette();
    palette.setColor(QPalette::Text, letters.isValid() ? letters.value<QColor>() : Grid->palette().color(QPalette::Text));
    EdtMessages->setPalette(palette);
    EdtMessages->setPlainText(text);
}

void TFrmExportFile::GotoFirstError()
{
    for (int i = 0; i < FMarks.Count(); ++i)
        if (FMarks.Info(i).Selected && FMarks.Info(i).State == RecordHasError) {
            SelectRecord(i);
            return;
        }
    throw Exception("Нет записей, помеченных как ошибочные");
}

void TFrmExportFile::SetSelected(int mode)
{
    for (int i = 0; i < FMarks.Count(); ++i) {
        uint8_t& selected = FMarks.Info(i).Selected;
        selected = mode < 0 ? !selected : mode;
    }
    FModel->RepaintAll();
    ShowRecordStatus();
}

// ---- Records ----

void TFrmExportFile::EditRecord(bool add)
{
    if (!FDataFile || !FrmEditRecord)
        return;
    if (!add) {
        const int record = CurrentRecord();
        if (record < 0)
            return;
        FDataFile->GoTo(record);
    }
    TDataControls& rows = FrmEditRecord->Rows();
    rows.Clear();
    const TFieldDescs& fields = FDataFile->Fields();
    std::vector<AnsiString> locked;
    for (int k = 0; k < FColumnMap.Count(); ++k) {
        const int input = FColumnMap.At(k);
        const TColumnInfo& column = FKind->DocType->Columns[FKind->FieldIndexes.At(input)];
        const char type = input < fields.Count() ? fields.At(input)->Type : '?';
        const AnsiString value = add ? AnsiString() : FView->Get(k);
        // Text that the screen would show otherwise than the file holds it is never
        // written back from the screen.
        const bool exact = add || (FDataFile->FieldConvertsExactly(input) && EditorShowsExactly(value));
        if (!exact)
            locked.push_back(column.Caption);
        rows.Add(column.Caption, type, value, column.Hint, !exact);
    }
    rows.SetNote(LockedFieldsNote(locked));
    if (!FrmEditRecord->Execute(this, add))
        return;
    const int record = FDataFile->RecNo();
    FDataFile->GoTo(record);   // posts the stored values
    FMarks.Info(record).State = RecordNotChecked;
    ShowRecordStatus();
    FModel->RecordChanged(record);
    UpdateCaption();
}

void TFrmExportFile::AppendRecord()
{
    FModifiedBeforeAppend = DataFile().IsModified();
    DataFile().Append();
    FMarks.SetCount(FMarks.Count() + 1);
    RefreshGrid();
    UpdateCaption();
}

void TFrmExportFile::CancelAppend()
{
    const int record = DataFile().RecordCount() - 1;
    DataFile().GoTo(record);
    DataFile().Delete();
    DataFile().SetModified(FModifiedBeforeAppend);
    FMarks.Delete(record);
    RefreshGrid();
    UpdateCaption();
}

void TFrmExportFile::StoreRecord(const TControlRecord& source)
{
    // Only what the user changed: every other field keeps the bytes the file holds.
    TFileRecord& record = *DataFile().CurRecord();
    for (int k = 0; k < FColumnMap.Count(); ++k) {
        if (!source.Changed(k))
            continue;
        try {
            const AnsiString value = source.Get(k);
            // Written in the file's code page, a character it lacks would become another.
            const size_t lacking = FDataFile->FirstCharacterNotHeld(value);
            if (lacking != AnsiString::npos)
                throw Exception("Символа \"" + value.substr(lacking, 1) + "\" нет в кодировке файла " +
                                NamedCodeName(CharsetTypes, FKind->Charset));
            record.Set(FColumnMap.At(k), value);
        } catch (const Exception& error) {
            // The record keeps what the file holds; none of this store's values stay.
            record.SetModified(false);
            FDataFile->GoTo(FDataFile->RecNo());
            throw Exception(AnsiString(FModel->Columns()[static_cast<size_t>(k)].Caption) + ": " + error.Message());
        }
    }
}

// ---- Commands ----

bool TFrmExportFile::ChooseFile(bool existingOnly)
{
    const TFileFormatInfo& format = FileFormats[FKind->FileFormat];
    TFileDialogRequest request;
    request.Title = existingOnly ? "Открыть" : "Новый";
    request.Filter = AnsiString(format.Description) + " (" + format.Mask + ")|" + format.Mask;
    request.InitialDir = DialogStartFolder(FKind->FileName);
    request.FileName = FKind->FileName;
    const std::optional<AnsiString> chosen =
        existingOnly ? Dialogs().OpenFileName(request) : Dialogs().SaveFileName(request);
    if (!chosen)
        return false;
    FKind->SetFileName(*chosen);
    return true;
}

void TFrmExportFile::BtnNewClick()
{
    if (ConfirmSave() && ChooseFile(false))
        LoadFile(true);
}

void TFrmExportFile::BtnLoadClick()
{
    if (ConfirmSave() && ChooseFile(true))
        LoadFile();
}

void TFrmExportFile::BtnSaveClick()
{
    SaveFile();
}

void TFrmExportFile::BtnEditClick()
{
    EditRecord(false);
}

void TFrmExportFile::BtnAddClick()
{
    EditRecord(true);
}

void TFrmExportFile::BtnDelClick()
{
    const int record = CurrentRecord();
    if (record < 0 ||
        AppMessageBox("Удалить запись?",
                      MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2) !=
            MessageBoxAnswer::Yes)
        return;
    FDataFile->GoTo(record);
    FDataFile->Delete();
    FMarks.Delete(record);
    RefreshGrid();
    UpdateCaption();
}

void TFrmExportFile::BtnFindClick()
{
    if (!FDataFile || !FrmFind)
        return;
    FFindLayout->LastRow = std::max(CurrentRecord(), 0);
    FrmFind->Execute(FFindLayout.get(), std::make_unique<TDataFileFindTable>(*FDataFile, *FView),
                     [this] {
                         SelectRecord(FFindLayout->LastRow);
                         Grid->setFocus(Qt::OtherFocusReason);
                     });
}

void TFrmExportFile::BtnSelectClick()
{
    const int record = CurrentRecord();
    if (record < 0)
        return;
    uint8_t& selected = FMarks.Info(record).Selected;
    selected = !selected;
    FModel->RecordChanged(record);
    if (record + 1 < FDataFile->RecordCount())
        SelectRecord(record + 1);
    else
        ShowRecordStatus(record);
}

void TFrmExportFile::ItmSelectAllClick()
{
    SetSelected(1);
}

void TFrmExportFile::ItmUnselectAllClick()
{
    SetSelected(0);
}

void TFrmExportFile::ItmInvertSelClick()
{
    SetSelected(-1);
}

void TFrmExportFile::BtnExportClick()
{
    RunExportWizard(*this);
}

void TFrmExportFile::BtnNextErrorClick()
{
    for (int i = CurrentRecord() + 1; i < FMarks.Count(); ++i)
        if (FMarks.Info(i).Selected && FMarks.Info(i).State == RecordHasError) {
            SelectRecord(i);
            return;
        }
    GotoFirstError();
}

void TFrmExportFile::BtnSaveErrorsClick()
{
    SaveExportErrors(*this);
}

void TFrmExportFile::BtnPrintErrorsClick()
{
    PrintExportErrors(*this);
}

// ---- Keys and the mouse in the grid ----

bool TFrmExportFile::GridKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if ((modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != 0)
        return false;
    QAction* button = nullptr;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: button = BtnEdit; break;
    case Qt::Key_Space: button = BtnSelect; break;
    case Qt::Key_Insert: button = BtnAdd; break;
    case Qt::Key_Delete: button = BtnDel; break;
    default: return false;
    }
    if (button->isEnabled())
        button->trigger();
    return true;
}

bool TFrmExportFile::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        return GridKeyDown(key->key(), key->modifiers());
    }
    if (watched == Grid->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            FCellHit = Grid->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid();
        else if (event->type() == QEvent::MouseButtonDblClick && FCellHit && BtnEdit->isEnabled()) {
            BtnEdit->trigger();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Opening ----

void ShowExportFileForm(TFrmExportFile*& global, int kind)
{
    TProfile* profile = Profiles.Get()->Current();
    if (!profile || !FrmMain)
        return;
    TExportProfile* settings = profile->ExportProfiles.At(kind);
    if (IsFloppyPath(settings->FileName) &&
        AppMessageBox("Вставьте дискету с файлом.", MessageBoxFlags::OkCancel | MessageBoxFlags::IconWarning) !=
            MessageBoxAnswer::Ok)
        return;
    FrmMain->AddChild(new TFrmExportFile(&global, settings));
}

void ShowExportKind(int kind)
{
    TFrmExportFile** const globals[] = {&FrmSalary, &FrmNewCli, &FrmDelCli};
    TFrmExportFile*& global = *globals[kind];
    if (global)
        ShowAndRestore(global);
    else
        ShowExportFileForm(global, kind);
}
