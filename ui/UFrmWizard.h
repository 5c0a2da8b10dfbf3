#pragma once
// The one modal window in which every wizard task runs page by page.

#include "ui/Wizard.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TFrmWizard : public QDialog, public TWizardView {
    Q_OBJECT
public:
    explicit TFrmWizard(QWidget* parent = nullptr);

    // Runs the task modally; the caller deletes the task afterwards.
    int Execute(TWizard* wizard);

    void ShowMessage(const AnsiString& text) override;
    void ShowEndPrepare(int checkedCount, int errorCount) override;
    void ShowRegistry(int count, double creditSum, double debitSum) override;
    void ShowFileComment() override;
    void ShowFileName() override;
    void SetPrintRegistryEnabled(bool enabled) override;

    AnsiString FileComment() const override;
    void SetFileComment(const AnsiString& text) override;
    // A name with a character that code page 1251 lacks raises: it names no file the
    // program can reach.
    AnsiString FileName() const override;
    void SetFileName(const AnsiString& text) override;

    void SetButtons(const AnsiString& backCaption, const AnsiString& nextCaption, bool backEnabled,
                    bool nextEnabled) override;
    void BeginBusy() override;
    void EndBusy() noexcept override;
    void CloseWizard() override;

    bool Busy() const { return FBusy; }
    // The page shown now, or null.
    QWidget* Panel() const { return FPanel; }

    // Refused while busy (Esc and the close box end here).
    void reject() override;

    QPushButton* BtnBack;
    QPushButton* BtnNext;
    QWidget* PnlMessage;
    QLabel* LblMessage;
    QWidget* PnlFileComment;
    QLineEdit* EdtFileComment;
    QWidget* PnlEndPrepare;
    QLabel* LblCheckCount;
    QLabel* LblErrorCount;
    QPushButton* BtnViewErrors;
    QWidget* PnlRegistry;
    QLabel* LblCount;
    QLabel* LblCountTail;
    QLabel* LblSumKtCaption;
    QLabel* LblSumKt;
    QLabel* LblSumDtCaption;
    QLabel* LblSumDt;
    QPushButton* BtnPrintRegistry;
    QWidget* PnlFileName;
    QLineEdit* EdtFileName;
    QPushButton* BtnFileName;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TWizard* FWizard = nullptr;
    QWidget* FPanel = nullptr;
    bool FBusy = false;
    QWidget* FPanelRect;   // the place of every page

    void ShowPanel(QWidget* panel);
    void PassFocusOn();
    bool CanTakeFocus(const QWidget* control) const;
    void FormShow();
    void BtnFileNameClick();
    QWidget* BuildMessagePanel();
    QWidget* BuildFileCommentPanel();
    QWidget* BuildEndPreparePanel();
    QWidget* BuildRegistryPanel();
    QWidget* BuildFileNamePanel();
};

extern TFrmWizard* FrmWizard;

// Runs the task modally in the wizard window; raises when the window was not created.
void RunWizard(TWizard& wizard);
