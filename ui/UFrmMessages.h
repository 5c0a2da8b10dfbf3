#pragma once
// The child window "Входящие сообщения": the bank's messages of the current profile,
// newest on top, with the selected message's title, text and attachment lines (failed
// ones in dark red); it receives, saves and prints a message as a report, searches,
// deletes and re-processes failed attachments.

#include "documents/Containers.h"
#include "documents/Internals.h"
#include "documents/RichText.h"
#include "platform/Classes.h"
#include "ui/IncomingWizards.h"
#include "ui/ReloadLink.h"
#include "ui/UFrmFind.h"

#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class QPlainTextEdit;
class QSplitter;
class QTableView;
class TAttachModel;
class TStoreModel;

// The list part's share of the window, as the user left it with the splitter: the holder's
// height and the list part's height then. Nothing is applied while the holder's height is
// not known (0): the proportion would divide by it.
class TSplitProportion {
public:
    void Remember(int holderHeight, int listHeight);
    // The list part's height for the holder's new height (multiplied first, then divided).
    std::optional<int> ListHeight(int holderHeight) const;

private:
    int FHolderHeight = 0;
    int FListHeight = 0;
};

// The text of the "Вложений" column: the number of report lines and, when there are
// failed lines, " / " and their number.
AnsiString AttachCountText(const AnsiString& reportMemo, const AnsiString& failedMemo);

// The printable report of one stored message.
TRichText MessageReport(TMessages& store, int row);

class TFrmMessages : public QWidget, public TSelectedMessage {
    Q_OBJECT
public:
    explicit TFrmMessages(QWidget* parent = nullptr);
    ~TFrmMessages() override;

    // Reloads the store and the list, keeping the selected message (by its row).
    void ReloadMessages() override;
    void ReloadAt(int row) override;
    AnsiString MessageStoreFile() const override;
    // Shows the selected message.
    void LstMessagesClick();

    TMessages& MessageStore() override { return FStore; }
    int SelectedRow() const override;
    TStringList& ReportLines() override { return FReportLines; }
    TStringList& FailedLines() override { return FFailedLines; }
    void ShowMessageAgain() override;

    // The list item selected, -1 with none.
    int SelectedItem() const;
    void SelectItem(int item);

    void BtnReceiveClick();
    void BtnSaveClick();
    void BtnPrintClick();
    void BtnFindClick();
    void BtnDelClick();
    void BtnProcessClick();

    QAction* BtnReceive;
    QAction* BtnSave;
    QAction* BtnPrint;
    QAction* BtnFind;
    QAction* BtnDel;
    QAction* BtnProcess;
    QWidget* PnlHolder;
    QSplitter* HorzSplitter;
    QTableView* LstMessages;
    QLabel* LblSubject;
    QPlainTextEdit* RtfBody;
    QTableView* LstAttaches;
    TStoreModel* MessagesModel;
    TAttachModel* AttachesModel;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TChainLink<QWidget> FChainLink;
    TMessages FStore;
    TStringList FReportLines;
    TStringList FFailedLines;
    TFindLayout FFind;
    TSplitProportion FProportion;
    bool FShown = false;
    TReloadLink FReloadLink;

    QWidget* BuildToolbar();
    QWidget* BuildMessagePart();
    void RefreshList(int row);
    void FoundRow();
    void SplitInHalves();
    void HorzSplitterMoved();
    void PnlHolderResize();
    bool LstMessagesKeyDown(int key, Qt::KeyboardModifiers modifiers);
};

extern TFrmMessages* FrmMessages;
