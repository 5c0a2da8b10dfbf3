#pragma once
// The child window "Журнал отправки": every container sent to the bank under the current
// profile, newest on top; it searches the list and sends a chosen container again, byte
// for byte as it was archived in "Sent/". The senders of documents and arbitrary files
// reload the open window (FrmJournal) after they have added a row.

#include "documents/Containers.h"
#include "documents/Internals.h"
#include "ui/ReloadLink.h"
#include "ui/UFrmFind.h"

#include <QWidget>

class QAction;
class QTableView;
class TStoreModel;

// The title of a journal row's kind: "Произвольный файл" for "ARBITRARY", the title of
// the document kind whose code it is (ignoring case), else the code as stored.
AnsiString JournalKindTitle(const AnsiString& code);

// Sends the container of journal row `row` again from "Sent/" and, once the bank has it,
// appends a copy of the row with the new date and time to the journal file as it is on the
// disk (the table given is only read). A container that is missing or unreadable fails
// before anything is sent; a failed send changes nothing. When the journal cannot be saved
// after the send, the error says that the file did reach the bank.
void ResendJournalRow(TJournal& journal, int row);

class TFrmJournal : public QWidget {
    Q_OBJECT
public:
    explicit TFrmJournal(QWidget* parent = nullptr);
    ~TFrmJournal() override;

    // Reads the journal file again and shows it, keeping the selected row.
    void Reload();

    // The list item selected, -1 with none; and its journal row.
    int SelectedItem() const;
    int SelectedRow() const;
    void SelectItem(int item);

    void BtnFindClick();
    void BtnRepeatClick();

    QAction* BtnFind;
    QAction* BtnRepeat;
    QTableView* LstJournal;
    TStoreModel* JournalModel;

private:
    TChainLink<QWidget> FChainLink;
    TJournal FStore;
    TFindLayout FFind;
    // The senders reload the open window after they have added a row.
    TReloadLink FReloadLink;

    // Loads the journal file and shows it with the row selected (clamped to the table).
    void Load(int row);

    // Shows the store's rows with the row selected (clamped to the table).
    void UpdateView(int row);
};

extern TFrmJournal* FrmJournal;
