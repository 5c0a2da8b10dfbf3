#include "ui/UFrmEditProfile.h"

#include "documents/Profiles.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "ui/Common.h"
#include "ui/Guard.h"
#include "ui/QtText.h"
#include "ui/UFrmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFrmEditProfile* FrmEditProfile = nullptr;

namespace {

constexpr char NewProfileCaption[] = "Новый профиль";

bool IsPathKey(TEditKey key)
{
    return key == ekPgpKeyPath || key == ekVerbaPubPath || key == ekVerbaSecPath;
}

// The text of an edit as the profiles file holds it; a character that code page 1251
// lacks cannot be stored, and is refused with the field's label.
AnsiString StorableText(const QLineEdit* edit, const AnsiString& keyName)
{
    AnsiString text;
    if (!FromQStringExact(edit->text(), text))
        throw Exception(UnstorableText(
            keyName, "содержит символы, которых нет в кодировке Windows-1251, в профиле его сохранить нельзя"));
    return text;
}

QGridLayout* GroupGrid(QGroupBox* group)
{
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(4);
    return grid;
}

}  // namespace

// ---- Construction ----

TFrmEditProfile::TFrmEditProfile(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ToQString("Редактирование профиля"));
    SetDialogBorder(this);
    setModal(true);

    auto* top = new QGridLayout;
    top->setColumnStretch(1, 1);
    top->setColumnStretch(3, 1);
    EdtProfileName = new QLineEdit(this);
    EdtPrefix = new QLineEdit(this);
    top->addWidget(new QLabel(ToQString(ProfileNameLabel), this), 0, 0);
    top->addWidget(EdtProfileName, 0, 1);
    top->addWidget(new QLabel(ToQString(PrefixLabel), this), 0, 2);
    top->addWidget(EdtPrefix, 0, 3);
    AddRow(top, 1, 0, ekBankEMail);
    AddRow(top, 1, 2, ekEMail);
    AddRow(top, 2, 0, ekBankPgpKey);
    AddRow(top, 2, 2, ekBankVerbaKey);

    // Tab goes through the controls in the order they are made: the groups are made in the
    // order they stand on the screen, the upper one first and, of two side by side, the left.
    GbCipher = AddGroup({ekCipherType, ekPgpKeyPath, ekVerbaPubPath, ekVerbaSecPath});
    GbProxy = AddGroup({ekProxyPort, ekProxyHost, ekProxyUser, ekProxyPass});
    GbSalary = AddGroup({ekFileFormat, ekFields, ekLengths, ekDelim, ekCharset, ekEtalonTypes});
    GbRecv = AddGroup({ekRecvType, ekRecvPort, ekRecvHost, ekRecvUser, ekRecvPass});
    GbSend = AddGroup({ekSendType, ekSendPort, ekSendHost, ekSendUser, ekSendPass});
    // The rows keep their height beside the two groups on the left.
    static_cast<QGridLayout*>(GbSalary->layout())->setRowStretch(6, 1);

    BtnDelete = new QPushButton(ToQString("Удалить профиль"), this);
    BtnOk = new QPushButton(ToQString("Сохранить"), this);
    BtnCancel = new QPushButton(ToQString("Отмена"), this);
    BtnOk->setDefault(true);
    connect(BtnDelete, &QPushButton::clicked, this, [this] { Guarded([this] { BtnDeleteClick(); }); });
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnDelete);
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);

    auto* groups = new QGridLayout;
    groups->addWidget(GbCipher, 0, 0);
    groups->addWidget(GbSalary, 0, 1, 2, 1);
    groups->addWidget(GbProxy, 1, 0);
    groups->addWidget(GbRecv, 2, 0);
    groups->addWidget(GbSend, 2, 1);
    groups->setColumnStretch(0, 1);
    groups->setColumnStretch(1, 1);

    // On a screen too low for all the rows they scroll; the buttons stay in view below them.
    auto* rows = new QWidget(this);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->addLayout(top);
    rowsLayout->addLayout(groups);
    rowsLayout->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new TScrollingContent(rows, this));
    layout->addLayout(buttons);
    // A single fixed border: the window takes the size its rows need, and the window
    // manager draws no resize handle under the buttons.
    FixClientSize(this, QSize(656, 563));
    for (int k = 0; k < EditKeyCount; ++k)
        ConnectRow(static_cast<TEditKey>(k));
}

// A group box of the rows, one under the other, captioned as the rows' group.
QGroupBox* TFrmEditProfile::AddGroup(std::initializer_list<TEditKey> keys)
{
    auto* group = new QGroupBox(ToQString(GroupCaptionOf(*keys.begin())), this);
    QGridLayout* grid = GroupGrid(group);
    int line = 0;
    for (const TEditKey key : keys)
        AddRow(grid, line++, 0, key);
    return group;
}

// A check box with the row's caption and its control (a drop-down list for a code, else
// an edit; a folder edit with its "..." button; a password edit masked).
void TFrmEditProfile::AddRow(QGridLayout* grid, int line, int column, TEditKey key)
{
    TRowControls& row = FRows[key];
    row.Check = new QCheckBox(ToQString(RowCaptionOf(key)), this);
    grid->addWidget(row.Check, line, column);
    QWidget* control = nullptr;
    if (KindOf(key) == TEditKind::Code) {
        row.Combo = new QComboBox(this);
        control = row.Combo;
    } else {
        row.Edit = new QLineEdit(this);
        if (KindOf(key) == TEditKind::Password)
            row.Edit->setEchoMode(QLineEdit::Password);
        // An inherited value is shown on the button face, as a read-only value.
        QPalette palette = row.Edit->palette();
        palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Button));
        row.Edit->setPalette(palette);
        control = row.Edit;
    }
    if (!IsPathKey(key)) {
        grid->addWidget(control, line, column + 1);
        return;
    }
    row.Browse = new QPushButton(QStringLiteral("..."), this);
    row.Browse->setFixedWidth(row.Browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    auto* pair = new QHBoxLayout;
    pair->setSpacing(2);
    pair->addWidget(control);
    pair->addWidget(row.Browse);
    grid->addLayout(pair, line, column + 1);
}

void TFrmEditProfile::ConnectRow(TEditKey key)
{
    const TRowControls& row = FRows[key];
    connect(row.Check, &QCheckBox::clicked, this, [this, key] { Guarded([this, key] { ChbClick(key); }); });
    if (row.Edit)
        connect(row.Edit, &QLineEdit::textChanged, this, [this, key](const QString& text) {
            if (!FShowing)
                FEditor.SetText(key, FromQString(text));
        });
    if (row.Combo)
        connect(row.Combo, &QComboBox::currentIndexChanged, this, [this, key] {
            if (!FShowing)
                Guarded([this, key] { CmbChange(key); });
        });
    if (row.Browse)
        connect(row.Browse, &QPushButton::clicked, this, [this, key] { Guarded([this, key] { BtnDlgOpenClick(key); }); });
}

// ---- Showing the rows ----

void TFrmEditProfile::ShowRow(TEditKey key)
{
    const TEditRow& value = FEditor.Row(key);
    const TRowControls& row = FRows[key];
    FShowing = true;
    row.Check->setChecked(value.Checked);
    if (row.Edit) {
        row.Edit->setEnabled(value.Checked);
        row.Edit->setText(ToQString(value.Text));
    } else {
        row.Combo->setEnabled(value.Checked);
        QStringList names;
        for (const AnsiString& name : value.Names)
            names.append(ToQString(name));
        QStringList shown;
        for (int i = 0; i < row.Combo->count(); ++i)
            shown.append(row.Combo->itemText(i));
        if (shown != names) {
            row.Combo->clear();
            row.Combo->addItems(names);
        }
        row.Combo->setCurrentIndex(value.Index);
    }
    FShowing = false;
}

void TFrmEditProfile::ChbClick(TEditKey key)
{
    FEditor.SetChecked(key, FRows[key].Check->isChecked());
    ShowRow(key);
    ShowDependentRow(key);
}

// A new receive or send type: the port shown follows it (a port typed but not saved is
// replaced); a new format: the code page that no level names follows it.
void TFrmEditProfile::CmbChange(TEditKey key)
{
    FEditor.SetIndex(key, FRows[key].Combo->currentIndex());
    ShowDependentRow(key);
}

void TFrmEditProfile::ShowDependentRow(TEditKey key)
{
    if (const std::optional<TEditKey> dependent = DependentRow(key))
        ShowRow(*dependent);
}

// ---- Running ----

int TFrmEditProfile::Execute(bool global, TIniFile* settings)
{
    if (!Prepare(global, settings))
        return -1;
    return Finish(exec());
}

bool TFrmEditProfile::Prepare(bool global, TIniFile* settings)
{
    FGlobal = global;
    FSettings = settings;
    setWindowTitle(ToQString(global ? "Редактирование глобальных параметров" : "Редактирование профиля"));
    if (!settings)
        return false;
    BtnDelete->setEnabled(false);
    if (global) {
        FSection = CommonSection;
    } else {
        const TProfiles& profiles = *Profiles.Get();
        FSection = FProfileIndex == profiles.Count() ? NewSectionName(*settings) : profiles.At(FProfileIndex)->Name;
    }
    LoadHeader();
    FEditor.Load(*settings, FSection, global);
    for (int k = 0; k < EditKeyCount; ++k)
        ShowRow(static_cast<TEditKey>(k));
    FocusFirstField();
    return true;
}

// Every run starts at the top, wherever the last one ended (on "Отмена", where Enter
// would cancel, or on a row far down): on the profile's name, or, for the shared
// settings, which have no name, on the first row.
void TFrmEditProfile::FocusFirstField()
{
    if (EdtProfileName->isEnabled())
        EdtProfileName->setFocus(Qt::OtherFocusReason);
    else
        CheckOf(ekBankEMail)->setFocus(Qt::OtherFocusReason);
}

// The profile's own name and prefix: no check box, nothing inherited.
void TFrmEditProfile::LoadHeader()
{
    EdtProfileName->setEnabled(!FGlobal);
    EdtPrefix->setEnabled(!FGlobal);
    EdtProfileName->clear();
    EdtPrefix->clear();
    BtnDelete->setEnabled(!FGlobal);
    if (FGlobal)
        return;
    EdtProfileName->setText(ToQString(OwnHeaderValue("Caption").value_or(NewProfileCaption)));
    EdtPrefix->setText(ToQString(OwnHeaderValue("Prefix").value_or(AnsiString())));
}

std::optional<AnsiString> TFrmEditProfile::OwnHeaderValue(const char* key) const
{
    if (!FSettings->ValueExists(FSection, key))
        return std::nullopt;
    return Trim(FSettings->ReadString(FSection, key, ""));
}

// Nothing is written while a value is refused: the dialog stays open on the field that
// holds it, with the message that loading the profile would give.
void TFrmEditProfile::accept()
{
    Guarded([this] {
        if (!FGlobal) {
            StorableText(EdtProfileName, "Caption");
            StorableText(EdtPrefix, "Prefix");
        }
        for (int k = 0; k < EditKeyCount; ++k) {
            const TRowControls& row = FRows[k];
            if (row.Edit && row.Check->isChecked())
                StorableText(row.Edit, KeyNameOf(static_cast<TEditKey>(k)));
        }
        const TKeyChanges changes = PendingChanges();
        const std::optional<TRefusal> refusal =
            FSettings ? RefusalOfChanges(*FSettings, FSection, FGlobal, changes) : std::nullopt;
        if (refusal) {
            QWidget* field = FieldOf(refusal->Key);
            if (field && field->isEnabled())
                field->setFocus(Qt::OtherFocusReason);
            throw Exception(RefusalText(*refusal, *FSettings, FSection, changes));
        }
        QDialog::accept();
    });
}

int TFrmEditProfile::Finish(int result)
{
    if (result != QDialog::Accepted || !FSettings)
        return -1;
    FSettings->WriteKeys(FSection, PendingChanges());
    Profiles.Get()->Load();
    return SavedProfileIndex();
}

// In profile mode the name and the prefix come first, written when the section does not
// hold them as typed (a new profile gets both); then the rows.
TKeyChanges TFrmEditProfile::PendingChanges() const
{
    TKeyChanges changes;
    if (!FGlobal) {
        for (const auto& [key, edit] : {std::pair{"Caption", EdtProfileName}, std::pair{"Prefix", EdtPrefix}}) {
            const AnsiString typed = Trim(FromQString(edit->text()));
            if (OwnHeaderValue(key) != typed)
                changes.push_back({key, typed});
        }
    }
    const TKeyChanges rows = FEditor.Changes();
    changes.insert(changes.end(), rows.begin(), rows.end());
    return changes;
}

// The control that holds the key: the edit or list of a row with its own value, else its
// check box, with which the user gives it one; null for a key that the dialog does not show.
QWidget* TFrmEditProfile::FieldOf(const AnsiString& keyName) const
{
    if (SameText(keyName, "Caption"))
        return EdtProfileName;
    if (SameText(keyName, "Prefix"))
        return EdtPrefix;
    const std::optional<TEditKey> key = FindEditKey(keyName);
    if (!key)
        return nullptr;
    const TRowControls& row = FRows[*key];
    if (!row.Check->isChecked())
        return row.Check;
    if (row.Edit)
        return row.Edit;
    return row.Combo;
}

// The edited profile's place in the re-read list (a new one's section comes last);
// in global mode the profile that was selected.
int TFrmEditProfile::SavedProfileIndex() const
{
    if (FGlobal)
        return FProfileIndex;
    const TProfiles& profiles = *Profiles.Get();
    for (int i = 0; i < profiles.Count(); ++i)
        if (SameText(profiles.At(i)->Name, FSection))
            return i;
    return -1;
}

// ---- Buttons ----

void TFrmEditProfile::BtnDeleteClick()
{
    const int answer = Dialogs().MessageBox("Вы хотите удалить текущий профиль. Продолжить?", "Удаление профиля",
                                            MessageBoxFlags::OkCancel | MessageBoxFlags::IconWarning |
                                                MessageBoxFlags::DefaultButton2);
    if (answer != MessageBoxAnswer::Ok)
        return;
    FSettings->EraseSection(FSection);
    if (FrmMain)
        FrmMain->ReopenProfilesAtIdle();
    reject();
}

void TFrmEditProfile::BtnDlgOpenClick(TEditKey key)
{
    QLineEdit* edit = FRows[key].Edit;
    if (!edit || !edit->isEnabled())
        return;
    const std::optional<AnsiString> chosen =
        Dialogs().BrowseFolder("Обзор папок", FolderBrowseStart(FromQString(edit->text())));
    if (chosen)
        edit->setText(ToQString(StoredFolderText(*chosen)));
}
