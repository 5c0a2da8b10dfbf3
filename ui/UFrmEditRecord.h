#pragma once
// The record editor: the modal dialog in which one record is added, edited or only
// viewed. It has no fixed fields: before each use the caller clears its rows and adds one
// per field (a caption and an editor), and the dialog sizes itself to them. It never
// writes a record itself: its owner reads the values through a record view.

#include "documents/Records.h"
#include "platform/AnsiString.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;

class TControlRecord;

// The editor shows the text exactly as it is: it goes into an edit box and back unchanged
// (a byte that CP1251 leaves unassigned does not; nor does a text longer than an edit box
// holds).
bool EditorShowsExactly(const AnsiString& value);

// What the editor needs of the window whose record it edits.
class TRecordEditorOwner {
public:
    virtual ~TRecordEditorOwner() = default;
    // Appends an empty record, which becomes the one edited.
    virtual void AppendRecord() = 0;
    // Stores the edited values (field k = row k; source.Changed tells the rows the user
    // changed); raises when the file refuses one.
    virtual void StoreRecord(const TControlRecord& source) = 0;
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
    QString Shown;   // the editor's text as the row was added
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
    // The user changed row k: its editor's text is no longer the one it was given.
    bool Changed(int index) const;

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
    // A line of text under the rows that says why some of them cannot be changed; an empty
    // text removes it. Clear removes it too.
    void SetNote(const AnsiString& text);
    // The height that the note takes (0 without one).
    int NoteHeight() const;
    // The size of the rows with the note: as wide as the widest caption needs.
    int Width() const;
    int Height() const;
    const QLabel* Note() const { return FNote; }

    int Count() const { return static_cast<int>(FRows.size()); }
    const TDataControl& At(int index) const { return FRows.at(static_cast<size_t>(index)); }
    const TControlRecord& Record() const { return FRecord; }

private:
    QWidget* FParent;
    std::vector<TDataControl> FRows;
    TControlRecord FRecord;
    QLabel* FNote = nullptr;
    int FLabelWidth = 0;   // the widest caption's

    void Layout();
    void PlaceNote();
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
    QWidget* FContent;   // the rows, scrolled on a low screen
    std::unique_ptr<TDataControls> FRows;
    TRecordEditorOwner* FOwner = nullptr;
    bool FNew = false;

    void FormShow();
};

extern TFrmEditRecord* FrmEditRecord;
