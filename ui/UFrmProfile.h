#pragma once
// The profile chooser: the user picks the current profile or asks for a new one; the
// choice is made with the main window's SelectProfile when the dialog closes with OK.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TFrmProfile : public QDialog {
    Q_OBJECT
public:
    explicit TFrmProfile(QWidget* parent = nullptr);

    // OK: selects the chosen profile, or starts a new one with the last entry.
    void accept() override;

    QLabel* Label1;
    QComboBox* CmbProfile;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void ShowCaptionTip();
};

extern TFrmProfile* FrmProfile;
