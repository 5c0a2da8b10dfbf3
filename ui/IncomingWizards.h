#pragma once
// The two wizard tasks of the incoming side: the receive of the bank's messages through
// the current receiver, and the re-processing of the failed attachments of the message
// selected in the messages window.

#include "platform/AnsiString.h"
#include "ui/Wizard.h"

#include <functional>

class TMessages;
class TStringList;

// What the re-processing needs of the messages window: the store, the selected message
// and its two line lists, and the refresh of the window afterwards.
class TSelectedMessage {
public:
    virtual ~TSelectedMessage() = default;

    virtual TMessages& MessageStore() = 0;
    // The store row of the selected message.
    virtual int SelectedRow() const = 0;
    // The attachment lines of the selected message: the report lines and the failed lines.
    virtual TStringList& ReportLines() = 0;
    virtual TStringList& FailedLines() = 0;
    // Repaints the list and shows the selected message again.
    virtual void ShowMessageAgain() = 0;
    // Reads the store from its file again and shows it as it is there.
    virtual void ReloadMessages() = 0;
    // The same, with the message of store row `row` selected (clamped to the table).
    virtual void ReloadAt(int row) = 0;
    // The file of the message store.
    virtual AnsiString MessageStoreFile() const = 0;

    // Applies `change` to the selected message's row of the store as its file holds it
    // now, under the store's lock: the row is found there by its content, since another
    // program may have added or deleted rows since the window read the file. Returns the
    // row's place in the file. When another program has deleted or changed the message,
    // nothing is written and the refusal ends in `consequence` (what did not happen).
    int ChangeSelectedInFile(const std::function<void(TMessages& store, int row)>& change,
                             const AnsiString& consequence);
};

class TReceiveWizard : public TSimpleWizard {
public:
    TReceiveWizard();

protected:
    void ShowStart() override;
    void DoWork() override;
    // Shows the summary and, once per finished receive, reloads the open windows whose
    // data it changed.
    void ShowDone(bool& backEnabled) override;
    void ShowFailed() override;

private:
    bool FRefreshPending = false;
};

class TProcessWizard : public TSimpleWizard {
public:
    explicit TProcessWizard(TSelectedMessage& window);

protected:
    void ShowStart() override;
    // Retries the failed attachments, then writes the message's new lines into its row in
    // the store as its file holds it now (the row found by its content) and shows that.
    // A failed save shows the window the store as its file holds it.
    void DoWork() override;
    void ShowDone(bool& backEnabled) override;
    void ShowFailed() override;

private:
    TSelectedMessage& FWindow;
};
