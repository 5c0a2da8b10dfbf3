#pragma once
// The export wizard: checks the marked records of a document, shows the result and the
// registry of what will be sent, asks for the file comment, then builds and sends the
// container. It keeps its page state itself and talks to its window through TWizardView.

#include "ui/ExportCheck.h"
#include "ui/Wizard.h"

#include <memory>

class TDelimFile;
class TExportDocument;
class TExportProfile;

class TExportWizard : public TWizard {
public:
    enum TState {
        StateStart = 0,       // what is about to happen
        StateChecked = 1,     // records checked and errors found
        StateCheckFailed = 2,
        StateEmpty = 3,       // no record accepted: nothing to send
        StateRegistry = 4,    // count and sums of what will be sent
        StateComment = 5,
        StateSent = 6,
        StateSendFailed = 7,
    };

    explicit TExportWizard(TExportDocument& document);
    ~TExportWizard() override;

    void Start() override;
    void Next() override;
    void Back() override;
    // "ViewErrors": shows the first record in error and closes the window;
    // "PrintRegistry": prints the registry of the accepted records.
    void LinkClick(const AnsiString& name) override;

    int State = StateStart;
    // The container's name without ".TLB" after the last send; empty before.
    AnsiString BaseName;
    // The counts and sums of the last check pass.
    TExportTotals Totals;
    // The records the last check pass accepted, normalised.
    TDelimFile& OutFile() { return *FOutFile; }

private:
    TExportDocument& FDocument;
    std::unique_ptr<TDelimFile> FOutFile;
    bool FFirstStart = true;

    TExportProfile& Kind() const;
    void CheckRecords();
    void SendFile();
    void ShowPage();
};
