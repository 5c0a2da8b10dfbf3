#pragma once
// The profile editor: the modal dialog in which the user edits the settings of one client
// profile, or the shared settings of the section "Common", directly in the profiles file.
// Every setting has a check box: checked, it has its own value at the level being edited;
// unchecked, it is inherited and the control shows, disabled, the value from below. The
// dialog also creates new profiles and deletes the one being edited. What is shown and
// written is kept by TProfileEditor; the dialog is its view.

#include "ui/EditProfile.h"

#include <QDialog>

#include <array>
#include <initializer_list>
#include <optional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class TIniFile;

class TFrmEditProfile : public QDialog {
    Q_OBJECT
public:
    explicit TFrmEditProfile(QWidget* parent = nullptr);

    // The profile that the main window selected; the number of profiles stands for a new
    // profile.
    void SetProfileIndex(int index) { FProfileIndex = index; }

    // Runs the dialog on the profiles file: on "Сохранить" writes what changed, re-reads
    // the profile store and returns the index of the profile to select; otherwise -1
    // (also without a settings object, and after the profile was deleted).
    int Execute(bool global, TIniFile* settings);
    // Execute in two halves, for a caller that works the dialog without its modal loop:
    // Prepare fills the dialog (false without a settings object); Finish takes the
    // dialog's result and saves on Accepted.
    bool Prepare(bool global, TIniFile* settings);
    int Finish(int result);

    const TProfileEditor& Editor() const { return FEditor; }
    // The controls of a key row (a null pointer where the row has none).
    QCheckBox* CheckOf(TEditKey key) const { return FRows[key].Check; }
    QLineEdit* EditOf(TEditKey key) const { return FRows[key].Edit; }
    QComboBox* ComboOf(TEditKey key) const { return FRows[key].Combo; }
    QPushButton* BrowseOf(TEditKey key) const { return FRows[key].Browse; }

    // "Сохранить": refuses a text that the profiles file cannot hold, and a value that the
    // profile's load would refuse; else closes.
    void accept() override;

    // "Удалить профиль": asks, erases the section, and lets the main window start over
    // with the profiles file at the next idle moment.
    void BtnDeleteClick();
    // "...": chooses a folder for the edit of the row.
    void BtnDlgOpenClick(TEditKey key);

    QLineEdit* EdtProfileName;
    QLineEdit* EdtPrefix;
    QGroupBox* GbCipher;
    QGroupBox* GbRecv;
    QGroupBox* GbSend;
    QGroupBox* GbProxy;
    QGroupBox* GbSalary;
    QPushButton* BtnDelete;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

private:
    struct TRowControls {
        QCheckBox* Check = nullptr;
        QLineEdit* Edit = nullptr;
        QComboBox* Combo = nullptr;
        QPushButton* Browse = nullptr;
    };
    std::array<TRowControls, EditKeyCount> FRows;
    TProfileEditor FEditor;
    TIniFile* FSettings = nullptr;
    bool FGlobal = false;
    AnsiString FSection;
    int FProfileIndex = 0;
    bool FShowing = false;   // the controls are being set from the editor

    QGroupBox* AddGroup(std::initializer_list<TEditKey> keys);
    void AddRow(QGridLayout* grid, int line, int column, TEditKey key);
    void ConnectRow(TEditKey key);
    void ShowRow(TEditKey key);
    void ChbClick(TEditKey key);
    void CmbChange(TEditKey key);
    void ShowDependentRow(TEditKey key);
    void LoadHeader();
    void FocusFirstField();
    std::optional<AnsiString> OwnHeaderValue(const char* key) const;
    TKeyChanges PendingChanges() const;
    QWidget* FieldOf(const AnsiString& keyName) const;
    int SavedProfileIndex() const;
};

extern TFrmEditProfile* FrmEditProfile;
