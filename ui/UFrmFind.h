#pragma once
// The shared non-modal "Найти" window: searches one column of a list window's table for
// a value, from the row shown now toward the end or the start, and hands a hit back to
// the list window.

#include "platform/AnsiString.h"
#include "platform/Classes.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

class QComboBox;
class TDataFile;
class TRecord;
class QPushButton;

// The rows the find dialog walks, as a list window's table shows them: a cursor over the
// rows and the text of one column of the current row. Moving past the last row sets Eof,
// before the first row Bof; either way the cursor stays on a row of the table.
class TFindTable {
public:
    virtual ~TFindTable() = default;
    virtual void GoTo(int row) = 0;
    virtual void Next() = 0;
    virtual void Prior() = 0;
    virtual bool Bof() const = 0;
    virtual bool Eof() const = 0;
    virtual int RecNo() const = 0;
    virtual AnsiString Field(int index) = 0;
};

// The rows of a data file as the find dialog walks them: the file's own cursor, and field
// i of the view (a record view over the file's current record).
class TDataFileFindTable : public TFindTable {
public:
    TDataFileFindTable(TDataFile& file, const TRecord& view) : FFile(file), FView(view) {}

    void GoTo(int row) override;
    void Next() override;
    void Prior() override;
    bool Bof() const override;
    bool Eof() const override;
    int RecNo() const override;
    AnsiString Field(int index) override;

private:
    TDataFile& FFile;
    const TRecord& FView;
};

// The directions of a search.
constexpr uint8_t FindTowardEnd = 0;
constexpr uint8_t FindTowardStart = 1;

// What one list window remembers of its searches. The window fills Fields with the names
// of the columns offered and sets LastRow to the row it shows before each search; a hit
// leaves the found row in LastRow.
class TFindLayout {
public:
    explicit TFindLayout(uint8_t mode) : Mode(mode) {}
    // A layout that goes away takes the find dialog's hold on its window with it.
    virtual ~TFindLayout();

    TFindLayout(const TFindLayout&) = delete;
    TFindLayout& operator=(const TFindLayout&) = delete;

    uint8_t Mode;              // FindTowardEnd or FindTowardStart
    int FieldIndex = 0;        // the column chosen last, an index into Fields
    TStringList Values;        // the values searched, newest first
    AnsiString Value;          // the value entered last
    bool Positioned = false;   // Left and Top hold where the dialog was closed
    int Left = 0;
    int Top = 0;
    TStringList Fields;        // the column names offered
    int LastRow = 0;           // the row the next search starts from (not examined itself)
};

// Puts the text at the head of the history unless an item equals it ignoring case.
void AddFindHistory(TStringList& history, const AnsiString& text);

// Steps from the layout's LastRow in its direction until the column FieldIndex contains
// the value ignoring case, and leaves that row in LastRow. Raises "Искомое значение не
// найдено" when the table ends first; the table is then back on LastRow. Never wraps.
void FindValue(TFindLayout& layout, TFindTable& table, const AnsiString& value);

class TFrmFind : public QDialog {
    Q_OBJECT
public:
    explicit TFrmFind(QWidget* parent = nullptr);

    // Shows the dialog for the list window of the layout; `found` is called after each hit.
    void Execute(TFindLayout* layout, std::unique_ptr<TFindTable> table, std::function<void()> found);
    // Closes the dialog and forgets the layout's window when it is the one searched.
    void Detach(const TFindLayout* layout);

    TFindLayout* Layout() const { return FLayout; }

    QComboBox* CmbField;
    QComboBox* CmbValue;
    QPushButton* BtnFind;
    QPushButton* BtnClose;

    void BtnFindClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

private:
    TFindLayout* FLayout = nullptr;
    std::unique_ptr<TFindTable> FTable;
    std::function<void()> FFound;

    void FormShow();
    // The window is one that this dialog showed (a message box of its search).
    bool RaisedHere(const QWidget* window) const;
    void SetHistoryItems(const TStringList& values);
};

extern TFrmFind* FrmFind;
