#pragma once
// The child window "Эталонные списки": the bank's reference lists that the current
// profile needs, one at a time, with the date on which the bank formed each. The user
// switches between the loaded lists, looks at an entry, searches and saves the shown list
// as text. While it is open the receiver's refresh (StoreWindows.ReloadEtalons) reloads it.

#include "documents/Containers.h"
#include "documents/Etalons.h"
#include "ui/ReloadLink.h"
#include "ui/UFrmFind.h"

#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QToolButton;
class TRecordViewGrid;

// The find state of one reference-list type: the captions of the salary list's columns
// that the type's keys name, searched toward the end of the list.
class TEtalonLayout : public TFindLayout {
public:
    explicit TEtalonLayout(int type);
};

// The caption of a shown list: its title, " (cформирован " (a Latin "c" before the
// Cyrillic letters), the formation date and ")".
AnsiString EtalonCaption(const TEtalon& list);

// Saves the rows of the list as text: fields 0 to columnCount - 1 of each row joined by
// ";", one line per row, written under a temporary name and renamed over the target.
void SaveEtalonText(TDataFile& list, int columnCount, const AnsiString& fileName);

class TFrmEtalons : public QWidget {
    Q_OBJECT
public:
    explicit TFrmEtalons(QWidget* parent = nullptr);
    ~TFrmEtalons() override;

    // Reads the reference-list store again and rebuilds the type menu, keeping the chosen
    // type when it is still loaded. A failed load leaves the window empty and raises.
    void Reload();
    // Shows the list of the menu item at that index.
    void SelectEtalon(int menuIndex);
    // The next loaded type after the chosen one, wrapping.
    void BtnEtalonTypeClick();
    void BtnViewClick();
    void BtnFindClick();
    void BtnSaveClick();

    // The reference-list type of the shown list, -1 with none.
    int ShownType() const;
    // The find state of a type, kept for the window's life.
    TEtalonLayout& Layout(int type) { return *FLayouts.at(static_cast<size_t>(type)); }

    QToolButton* BtnEtalonType;
    QMenu* MnuEtalonType;
    QAction* BtnView;
    QAction* BtnFind;
    QAction* BtnSave;
    TRecordViewGrid* Grid;

private:
    TChainLink<QWidget> FChainLink;
    TEtalonArray FEtalons;
    std::vector<std::unique_ptr<TEtalonLayout>> FLayouts;
    TDelimFile* FShown = nullptr;           // the rows of the shown list (in FEtalons)
    TEtalonLayout* FShownLayout = nullptr;
    int FChosen = -1;                       // the menu index of the shown list
    TReloadLink FReloadLink;

    // Nothing shown: the state of an empty store, with no pointer left into the lists.
    void ShowNoList();
    void ClearGrid();
};

extern TFrmEtalons* FrmEtalons;
