#pragma once
// The record editor: the modal dialog in which one record is added, edited or only
// viewed. It has no fixed fields: before each use the caller clears its rows and adds one
// per field (a caption and an editor), and the dialog sizes itself to them. It never
// writes a record itself: its owner reads the values through a record view.

#include "documents/Records.h"
#include "platform/AnsiString.h"

#include <QDialog>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;

// What the editor needs of the window whose record it edits.
class TRecordEditorOwner {
public:
    virtual ~TRecordEditorOwner() = default;
    // Appends an empty record, which becomes the one edited.
    virtual void AppendRecord() = 0;
    // Stores the edited values (field k = row k); raises when the file refuses one.
    virtual void StoreRecord(const TRecord& source) = 0;
    // Takes back the record that AppendRecord added: the user cancelled the new record
    // after the file had refused a value of it.
    virtual void CancelAppend() = 0;
};

// One row: the caption, the editor (an edit box, or a list of True and False for a
// logical field) and the field's type letter ('?' when the file declares none).
struct TDataControl {
    QLabel* Label = nullptr;
    QWidget* Editor = nullptr;
    char Type = '?';
};

class TDataControls;

// The rows' values as a record: field k is the text of row k's editor (the chosen item of
// a list, "" when none is chosen); writing does nothing.
class TControlRecord : public TRecord {
public:
    explicit TControlRecord(const TDataControls& rows) : FRows(rows) {}

    AnsiString Get(int index) const override;
    void Set(int, const AnsiString&) override {}
    int Count() const override;

private:
    const TDataControls& FRows;
};

// The rows of one use of the editor; the controls belong to the dialog and go with their row.
class TDataControls {
public:
    explicit TDataControls(QWidget* parent);
    ~TDataControls();

    TDataControls(const TDataControls&) = delete;
    TDataControls& operator=(const TDataControls&) = delete;

    void Clear();
    // Adds a row at the bottom and lays out all rows.
    void Add(const AnsiString& caption, char type, const AnsiString& value, const AnsiString& hint, bool readOnly);

    int Count() const { return static_cast<int>(FRows.size()); }
    const TDataControl& At(int index) const { return FRows.at(static_cast<size_t>(index)); }
    const TControlRecord& Record() const { return FRecord; }

private:
    QWidget* FParent;
    std::vector<TDataControl> FRows;
    TControlRecord FRecord;

    void Layout();
};

class TFrmEditRecord : public QDialog {
    Q_OBJECT
public:
    explicit TFrmEditRecord(QWidget* parent = nullptr);
    ~TFrmEditRecord() override;

    static constexpr int ClientWidth = 369;
    static constexpr int BottomHeight = 41;
    static constexpr int RowHeight = 24;

    TDataControls& Rows() { return *FRows; }
    // Shows the dialog modally; true when it closed with Ok. Without an owner the record
    // is only viewed: the one button "Выход" closes the dialog.
    bool Execute(TRecordEditorOwner* owner, bool isNew);

    QWidget* PnlBottom;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

    // Ok: appends the new record once, then has the owner store the values; a value the
    // file refuses is shown and the dialog stays open with the user's input.
    void BtnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TDataControls> FRows;
    TRecordEditorOwner* FOwner = nullptr;
    bool FNew = false;

    void FormShow();
};

extern TFrmEditRecord* FrmEditRecord;
