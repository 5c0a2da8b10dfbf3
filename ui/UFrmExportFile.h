#pragma once
// The document window: one outgoing document (the salary list, the list of new clients or
// of clients to close) in a grid over its data file. The user opens, edits and marks its
// records here and hands the marked ones to the export wizard. At most one window per
// kind; its global holds it while it is open.

#include "documents/Containers.h"
#include "platform/AnsiString.h"
#include "ui/ExportDocument.h"
#include "ui/Images.h"
#include "ui/RecordInfos.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmMain.h"

#include <QVariant>
#include <QWidget>

#include <memory>

class QAction;
class QMenu;
class QPlainTextEdit;
class QTableView;
class QToolBar;
class QToolButton;
class TConvertRecord;
class TDataFile;
class TExportFileModel;
class TExportProfile;
class TFindLayout;
class TRecordGridModel;

// The column map of a kind: in input order, every input column that feeds a document field.
void ExcludeRefs(const TIntArray& fieldIndexes, TIntArray& refs);

// The letters of a record by its mark: gray when it is not marked; else by its state
// (not checked, checked, in error). Nothing (the grid's own letters) for a marked
// unchecked record.
QVariant MarkLetters(const TRecordInfo& mark);

class TFrmExportFile : public QWidget, public TUnsavedData, public TExportDocument, public TRecordEditorOwner {
    Q_OBJECT
public:
    // The window of export kind `kind` of the current profile; it keeps `global` pointing
    // at itself while it lives.
    TFrmExportFile(TFrmExportFile** global, TExportProfile* kind, QWidget* parent = nullptr);
    ~TFrmExportFile() override;

    // ---- The document ----
    TExportProfile& ExportKind() override { return *FKind; }
    // Raises "Файл не загружен" before the first successful load.
    TDataFile& DataFile() override;
    TRecordInfos& Marks() override { return FMarks; }
    void MarksChanged() override;
    bool HasUnsavedChanges() const override { return IsModified(); }

    // A data file is loaded, modified and may be saved.
    bool IsModified() const;

    // Loads the kind's file; with createMissing, a file that does not exist gives an empty
    // document bound to that name, which Save creates. A failure keeps what was shown.
    void LoadFile(bool createMissing = false);
    // Saves the file under its name; false when nothing was written (the user kept a file
    // that another program changed, or the file may not be saved).
    bool SaveFile();
    // Asks whether to save unsaved changes; false when the user cancels.
    bool ConfirmSave();
    void UpdateCaption();

    // The record editor's calls when it closes with Ok.
    void AppendRecord() override;
    void StoreRecord(const TControlRecord& source) override;
    void CancelAppend() override;
    // Adds a record or edits the record of the grid's current row in the record editor.
    void EditRecord(bool add);

    // Selects the first marked record in error; raises when there is none.
    void GotoFirstError();
    // The status of a record (-1: of the grid's current row) in the memo under the grid.
    void ShowRecordStatus(int record = -1);
    // The record of the grid's current row; -1 when the file has no records.
    int CurrentRecord() const;
    // Makes the record the grid's current row.
    void SelectRecord(int record);

    // ---- Commands ----
    void BtnNewClick();
    void BtnLoadClick();
    void BtnSaveClick();
    void BtnEditClick();
    void BtnAddClick();
    void BtnDelClick();
    void BtnFindClick();
    void BtnSelectClick();
    void ItmSelectAllClick();
    void ItmUnselectAllClick();
    void ItmInvertSelClick();
    void BtnExportClick();
    void BtnNextErrorClick();
    void BtnSaveErrorsClick();
    void BtnPrintErrorsClick();

    QToolBar* TbrToolbar;
    QAction* BtnNew;
    QAction* BtnLoad;
    QAction* BtnSave;
    QAction* BtnEdit;
    QAction* BtnAdd;
    QAction* BtnDel;
    QAction* BtnFind;
    QAction* BtnSelect;
    QToolButton* BtnSelectAll;
    QMenu* MnuSelectAll;
    QAction* ItmSelectAll;
    QAction* ItmUnselectAll;
    QAction* ItmInvertSel;
    QAction* BtnExport;
    QAction* BtnNextError;
    QAction* BtnSaveErrors;
    QAction* BtnPrintErrors;
    QTableView* Grid;
    QPlainTextEdit* EdtMessages;

    TRecordGridModel* GridModel() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TChainLink<QWidget> FLink;
    TFrmExportFile** FGlobal;
    TExportProfile* FKind;
    std::unique_ptr<TDataFile> FDataFile;
    TIntArray FColumnMap;                    // ExcludeRefs of the kind's field map
    std::unique_ptr<TConvertRecord> FView;   // the current record through the column map
    TRecordInfos FMarks;
    std::unique_ptr<TFindLayout> FFindLayout;
    TExportFileModel* FModel;
    bool FReadOnly = false;
    bool FColumnsSet = false;
    bool FCellHit = false;
    bool FModifiedBeforeAppend = false;   // the file's state before the editor's append

    void BuildToolbar();
    QAction* AddButton(TToolImage image, const char* caption, const char* hint, void (TFrmExportFile::*handler)());
    void AutoLoadOnce();
    void SetColumns();
    void ResetMarks();
    // Shows the records again (when reload: the model reads everything afresh), selects
    // the file's current record and switches the commands that need a record.
    void RefreshGrid(bool reload = true);
    AnsiString ReadOnlyMessage() const;
    // Asks whether to save over the file that another program wrote or deleted since it
    // was loaded; true for Yes.
    bool ConfirmSaveOverOtherProgram() const;
    void SetSelected(int mode);
    // The file name the user picks in the open dialog (an existing file, or any name).
    bool ChooseFile(bool existingOnly);
    bool GridKeyDown(int key, Qt::KeyboardModifiers modifiers);
};

// The windows of the three kinds while they are open.
extern TFrmExportFile* FrmSalary;
extern TFrmExportFile* FrmNewCli;
extern TFrmExportFile* FrmDelCli;

// Opens the window of export kind 0, 1 or 2 of the current profile in the main window;
// for a file on a diskette it asks for the diskette first (Cancel opens nothing).
void ShowExportFileForm(TFrmExportFile*& global, int kind);
// The menu commands of the three kinds: brings the kind's window to the front, or opens it.
void ShowExportKind(int kind);
