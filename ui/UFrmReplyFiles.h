#pragma once
// The child window of one reply kind ("Список добавленных клиентов"): on the left the
// reply files the bank sent, newest on top; on the right the records of the selected
// file. The user looks at a record, searches the records, and exports the file into a
// data file of the format the profile's settings of the kind prescribe. While it is open
// the receiver's refresh (StoreWindows.ReloadReplies) reloads it.

#include "documents/Containers.h"
#include "documents/Datafiles.h"
#include "documents/Internals.h"
#include "ui/ReloadLink.h"
#include "ui/UFrmFind.h"

#include <QWidget>

class QAction;
class QTableView;
class TRecordViewGrid;
class TStoreModel;

// Writes the records of the reply file into a new data file of the kind's format (DELIM
// with its delimiter, FIXED with its field widths, both in its code page and without
// escaping): output field i is field map[i] of the reply's record, map being the kind's
// field list. A value the format cannot hold raises before anything is written; the file
// is written under a temporary name and renamed over the target.
void ExportReplyFile(const TFormatProfile& kind, TDataFile& reply, const AnsiString& fileName);

class TFrmReplyFiles : public QWidget {
    Q_OBJECT
public:
    // The window of the reply kind of the settings; it stores itself in the global and
    // clears it when it is destroyed.
    TFrmReplyFiles(TFrmReplyFiles** global, TReplyProfile* kind, QWidget* parent = nullptr);
    ~TFrmReplyFiles() override;

    // Reads the reply store again, keeping the selected file, and shows its records.
    void Reload();
    // Shows the records of the selected file.
    void LstFilesClick();
    void BtnViewClick();
    void BtnFindClick();
    void BtnSaveClick();

    // The selected file's row in the store, -1 with none.
    int SelectedRow() const;
    void SelectItem(int item);

    QAction* BtnSave;
    QAction* BtnView;
    QAction* BtnFind;
    QTableView* LstFiles;
    TStoreModel* FilesModel;
    TRecordViewGrid* Grid;

private:
    TChainLink<QWidget> FChainLink;
    TFrmReplyFiles** FGlobal;
    TReplyProfile* FKind;
    TReplyFiles FStore;
    TDelimFile FParser;      // the selected reply file
    TFindLayout FFind;
    bool FColumnsSet = false;
    TReloadLink FReloadLink;

    void ShowFile(bool loaded);
};

extern TFrmReplyFiles* FrmNewCliReply;
