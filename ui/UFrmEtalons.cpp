#include "ui/UFrmEtalons.h"

#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/ListGrids.h"
#include "ui/QtText.h"
#include "ui/Reports.h"
#include "ui/UFrmMain.h"

#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

TFrmEtalons* FrmEtalons = nullptr;

namespace {

constexpr char WindowCaption[] = "Эталонные списки";
constexpr char SaveFilter[] = "Текстовые файлы (*.txt)|*.txt";
constexpr int GridRowHeight = 18;

// The salary list's column that key k of the type names.
const TColumnInfo& KeyColumn(const TEtalonTypeInfo& type, int k)
{
    return ExportDocTypes[0].Columns[type.Keys[k]];
}

// Column k shows the list's field k, headed and sized as the salary list's column of key k.
std::vector<TGridColumn> KeyColumns(const TEtalonTypeInfo& type, int widthUnit)
{
    std::vector<TGridColumn> columns;
    for (int k = 0; k < type.KeyCount; ++k)
        columns.push_back({KeyColumn(type, k).Caption, KeyColumn(type, k).Width * widthUnit});
    return columns;
}

// The type that a menu item shows.
int ItemType(const QAction* item)
{
    return item->data().toInt();
}

}  // namespace

TEtalonLayout::TEtalonLayout(int type) : TFindLayout(FindTowardEnd)
{
    const TEtalonTypeInfo& info = EtalonTypeInfos[type];
    for (int k = 0; k < info.KeyCount; ++k)
        Fields.Add(KeyColumn(info, k).Caption);
}

AnsiString EtalonCaption(const TEtalon& list)
{
    // The word after the parenthesis starts with a Latin "c", as the bank's users know it.
    return list.Title() + " (c" + "формирован " + DateToStr(list.FormedDate()) + ")";
}

void SaveEtalonText(TDataFile& list, int columnCount, const AnsiString& fileName)
{
    TStringList lines;
    for (list.First(); !list.Eof(); list.Next()) {
        AnsiString line;
        for (int field = 0; field < columnCount; ++field)
            line += (field == 0 ? "" : ";") + list.CurRecord()->Get(field);
        lines.Add(line);
    }
    lines.SaveToFile(fileName);
}

// ---- The window ----

TFrmEtalons::TFrmEtalons(QWidget* parent)
    : QWidget(parent), FChainLink(this), FReloadLink(StoreWindows.ReloadEtalons, [this] { Reload(); })
{
    setWindowTitle(ToQString(WindowCaption));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(651, 431);
    for (int type = 0; type < EtalonTypeCount; ++type)
        FLayouts.push_back(std::make_unique<TEtalonLayout>(type));

    QToolBar* toolbar = NewToolbar(this);
    MnuEtalonType = new QMenu(this);
    BtnEtalonType = new QToolButton(toolbar);
    BtnEtalonType->setText(ToQString("Тип списка"));
    BtnEtalonType->setIcon(ToolImage(TToolImage::ListType));
    BtnEtalonType->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    BtnEtalonType->setPopupMode(QToolButton::MenuButtonPopup);
    BtnEtalonType->setMenu(MnuEtalonType);
    BtnEtalonType->setEnabled(false);
    toolbar->addWidget(BtnEtalonType);
    toolbar->addSeparator();
    BtnView = AddToolButton(toolbar, TToolImage::View, "Просмотр", [this] { BtnViewClick(); });
    toolbar->addSeparator();
    BtnFind = AddToolButton(toolbar, TToolImage::Find, "Найти", [this] { BtnFindClick(); });
    toolbar->addSeparator();
    BtnSave = AddToolButton(toolbar, TToolImage::Save, "Сохранить", [this] { BtnSaveClick(); });
    for (QAction* button : {BtnView, BtnFind, BtnSave})
        button->setEnabled(false);

    connect(BtnEtalonType, &QToolButton::clicked, this, [this] { Guarded([this] { BtnEtalonTypeClick(); }); });
    SetCommandKey(this, BtnFind, QKeySequence(Qt::CTRL | Qt::Key_F));
    SetCommandKey(this, BtnSave, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetMenuKey(this, BtnEtalonType, QKeySequence(Qt::CTRL | Qt::Key_T));

    Grid = new TRecordViewGrid(GridRowHeight, this);
    Grid->SetViewCommand(BtnView);
    setFocusProxy(Grid);

    StackToolbarOver(this, toolbar, Grid);

    if (FrmMain)
        FChainLink.Link(FrmMain->Children());
    QTimer::singleShot(0, this, [this] { Guarded([this] { Reload(); }); });
}

TFrmEtalons::~TFrmEtalons()
{
    if (FrmEtalons == this)
        FrmEtalons = nullptr;
}

int TFrmEtalons::ShownType() const
{
    return FChosen >= 0 ? ItemType(MnuEtalonType->actions().at(FChosen)) : -1;
}

void TFrmEtalons::Reload()
{
    const int remembered = ShownType();
    MnuEtalonType->clear();
    // Loading frees the lists: nothing may point into them from here on.
    ShowNoList();
    BtnEtalonType->setEnabled(false);
    try {
        FEtalons.Load(EtalonsFileName(Profiles.Get()->Current()->Prefix));
    } catch (...) {
        // A load that failed half-way keeps no list that the menu does not offer.
        FEtalons.Clear();
        throw;
    }

    auto* group = new QActionGroup(MnuEtalonType);
    int chosen = 0;
    for (int type = 0; type < EtalonTypeCount; ++type) {
        if (!FEtalons.At(type))
            continue;
        QAction* item = MnuEtalonType->addAction(ToQString(EtalonTypeInfos[type].Title));
        item->setCheckable(true);
        item->setData(type);
        item->setActionGroup(group);
        const int index = static_cast<int>(MnuEtalonType->actions().size()) - 1;
        connect(item, &QAction::triggered, this, [this, index] { Guarded([this, index] { SelectEtalon(index); }); });
        if (type == remembered)
            chosen = index;
    }
    BtnEtalonType->setEnabled(!MnuEtalonType->actions().isEmpty());
    if (!MnuEtalonType->actions().isEmpty())
        SelectEtalon(chosen);
}

void TFrmEtalons::ShowNoList()
{
    for (const std::unique_ptr<TEtalonLayout>& layout : FLayouts)
        if (FrmFind)
            FrmFind->Detach(layout.get());
    FChosen = -1;
    FShown = nullptr;
    FShownLayout = nullptr;
    setWindowTitle(ToQString(WindowCaption));
    for (QAction* button : {BtnView, BtnFind, BtnSave})
        button->setEnabled(false);
    ClearGrid();
}

void TFrmEtalons::ClearGrid()
{
    Grid->Clear();
}

void TFrmEtalons::SelectEtalon(int menuIndex)
{
    QAction* item = MnuEtalonType->actions().at(menuIndex);
    const int type = ItemType(item);
    if (FShownLayout && FrmFind)
        FrmFind->Detach(FShownLayout);
    item->setChecked(true);
    FChosen = menuIndex;
    TEtalon& list = *FEtalons.At(type);
    FShown = &list.Data();
    FShownLayout = FLayouts.at(static_cast<size_t>(type)).get();
    setWindowTitle(ToQString(EtalonCaption(list)));

    FShown->Sort();
    FShown->First();
    Grid->SetColumns(KeyColumns(EtalonTypeInfos[type], ColumnWidthUnit(Grid)));
    Grid->Model()->SetDataFile(FShown);
    SelectListItem(Grid, 0);
    const bool any = FShown->RecordCount() > 0;
    for (QAction* button : {BtnView, BtnFind, BtnSave})
        button->setEnabled(any);
}

void TFrmEtalons::BtnEtalonTypeClick()
{
    const int count = static_cast<int>(MnuEtalonType->actions().size());
    if (count == 0)
        return;
    const int next = (FChosen + 1) % count;
    if (next != FChosen)
        SelectEtalon(next);
}

void TFrmEtalons::BtnViewClick()
{
    ViewGridRow(*Grid, CurrentItem(Grid));
}

void TFrmEtalons::BtnFindClick()
{
    FShownLayout->LastRow = CurrentItem(Grid);
    TEtalonLayout* layout = FShownLayout;
    FrmFind->Execute(layout, std::make_unique<TDataFileFindTable>(*FShown, *FShown->CurRecord()),
                     [this, layout] { ShowFoundItem(Grid, layout->LastRow); });
}

void TFrmEtalons::BtnSaveClick()
{
    TFileDialogRequest request;
    request.Filter = SaveFilter;
    request.DefaultExt = "txt";
    const std::optional<AnsiString> fileName = AskSaveFileName(request);
    if (fileName)
        SaveEtalonText(*FShown, Grid->Model()->columnCount(), *fileName);
}
