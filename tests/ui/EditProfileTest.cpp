// The profile editor: what its rows show from the profiles file, which keys a save writes,
// the passwords, the ports that follow the transport types, the folder buttons, and the
// dialog's round trips through the profile store, the menu and the deletion.

#include "documents/Charsets.h"
#include "documents/Passwords.h"
#include "documents/Profiles.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "ui/EditProfile.h"
#include "ui/QtText.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmProfile.h"

#include "documents/ProfileFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// A refusal in test output, readable.
void PrintTo(const TRefusal& refusal, std::ostream* out)
{
    *out << U8(refusal.Key) << ": " << U8(refusal.Message);
}

namespace {

AnsiString Scrambled(const AnsiString& plain, const AnsiString& key)
{
    return "\\" + ScramblePassword(plain, key);
}

class EditProfileTest : public ::testing::Test {
protected:
    ~EditProfileTest() override
    {
        FrmMain = nullptr;
        FrmEditProfile = nullptr;
        FrmProfile = nullptr;
        Profiles.Reset();
    }

    // The plain password that the profile store reads for the key of the profile.
    AnsiString StoredPassword(int index, const AnsiString& key)
    {
        Profiles.Get()->Open(Ini);
        return Profiles.Get()->Profile(index)->ReadPasswordParam(key, AnsiString());
    }

    TTempDir Dir;
    AnsiString Ini = Dir.File("profiles.ini");
};

}  // namespace

// ---- The rows, without a window ----

TEST_F(EditProfileTest, RowsShowOwnValuesCheckedAndInheritedOrDefaultValuesUnchecked)
{
    const AnsiString commonPass = Scrambled("cpass", "RecvPass");
    WriteBytes(Ini, IniText({"[Common]", "RecvType= imap4 ", "RecvHost=common.host", "RecvPass=" + commonPass,
                           "Salary.EtalonTypes=COM", "[P]", "RecvUser=puser", "RecvPort=0", "RecvHost=common.host",
                           "Salary.EtalonTypes=SAL"}));
    TIniFile ini(Ini);
    TProfileEditor editor;
    editor.Load(ini, "P", false);

    const auto shows = [&](TEditKey key, bool checked, const AnsiString& text) {
        EXPECT_EQ(editor.Row(key).Checked, checked) << KeyNameOf(key);
        EXPECT_ANSI_EQ(editor.Row(key).Text, text);
    };
    shows(ekBankEMail, false, DefaultBankEMail);
    shows(ekRecvPort, true, "0");
    shows(ekRecvHost, true, "common.host");   // same as "Common", still its own
    shows(ekEMail, false, "puser");           // the receiving user in effect
    shows(ekSendHost, false, "common.host");
    shows(ekSendPort, false, "25");
    shows(ekSendPass, false, commonPass);     // the receiving password, as stored
    shows(ekProxyPort, false, "3128");
    EXPECT_EQ(editor.Row(ekRecvType).Index, 1);
    EXPECT_FALSE(editor.Row(ekRecvType).Checked);
    // A stored name the list lacks: a choice of its own after the list's, checked.
    EXPECT_EQ(editor.Row(ekEtalonTypes).OwnIndex, 3);
    EXPECT_TRUE(editor.Row(ekEtalonTypes).Checked);
    EXPECT_EQ(editor.Row(ekEtalonTypes).Index, 3);
    EXPECT_ANSI_EQ(editor.Row(ekEtalonTypes).Names.at(3), "SAL");
    EXPECT_EQ(editor.Row(ekCharset).Index, 1);
    EXPECT_ANSI_EQ(editor.Row(ekCharset).Names.at(1), "CP1251");

    // Checking a row starts from the inherited value; unchecking shows it again.
    editor.SetChecked(ekEMail, true);
    editor.SetText(ekEMail, "typed");
    editor.SetChecked(ekEMail, false);
    shows(ekEMail, false, "puser");
}

TEST_F(EditProfileTest, SaveWritesOnlyChangedKeysInItsOrderAndDeletesUncheckedOwnValues)
{
    const std::string common = IniText({"[Common]", "RecvHost=common.host"});
    WriteBytes(Ini, common + IniText({"[P]", "RecvUser=puser", "RecvPort=0", "RecvHost=common.host",
                                    "Salary.EtalonTypes=SAL"}));
    TIniFile ini(Ini);
    TProfileEditor editor;
    editor.Load(ini, "P", false);
    editor.SetChecked(ekRecvHost, false);
    editor.SetChecked(ekBankPgpKey, true);   // checked without typing: the shown default
    editor.SetChecked(ekDelim, true);
    editor.SetText(ekDelim, " | ");
    editor.SetChecked(ekRecvType, true);
    editor.SetIndex(ekRecvType, 2);
    editor.SetChecked(ekEMail, true);
    editor.SetText(ekEMail, "me@bank.local");
    editor.SetChecked(ekCharset, true);
    editor.SetIndex(ekCharset, 3);
    editor.SetChecked(ekRecvUser, true);     // unchanged own value
    editor.Save();

    EXPECT_EQ(ReadBytes(Ini), common + IniText({"[P]", "RecvUser=puser", "RecvPort=0", "Salary.EtalonTypes=SAL",
                                              "EMail=me@bank.local", "BankPgpKey=6C1E9A04D7B35F28",
                                              "RecvType=HTTP", "Salary.Charset=UTF8", "Salary.Delim=|"}));
}

TEST_F(EditProfileTest, APasswordTakenOverIsNeverScrambledTwiceAndATypedOneIsScrambledOnce)
{
    const AnsiString recvPass = Scrambled("cpass", "RecvPass");
    const AnsiString proxyPass = Scrambled("ppass", "ProxyPass");
    WriteBytes(Ini, IniText({"[Common]", "RecvPass=" + recvPass, "ProxyPass=" + proxyPass, "[P]", "Prefix=ABC",
                           "RecvUser=user"}));
    {
        TIniFile ini(Ini);
        TProfileEditor editor;
        editor.Load(ini, "P", false);
        for (const TEditKey key : {ekRecvPass, ekSendPass, ekProxyPass})
            editor.SetChecked(key, true);
        editor.Save();
    }
    const std::string saved = ReadBytes(Ini);
    // Taken over under the same key: the stored text as it is.
    EXPECT_NE(saved.find("[P]\r\nPrefix=ABC\r\nRecvUser=user\r\nRecvPass=" + recvPass + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nProxyPass=" + proxyPass + "\r\n"), std::string::npos);
    // The sending password, taken from the receiving one, reads back as that password.
    EXPECT_ANSI_EQ(StoredPassword(0, "SendPass"), "cpass");
    EXPECT_ANSI_EQ(StoredPassword(0, "ProxyPass"), "ppass");

    TProfileEditor editor;
    editor.Load(*Profiles.Get()->Ini(), "P", false);
    editor.SetText(ekRecvPass, "  typed ");
    editor.Save();
    EXPECT_ANSI_EQ(StoredPassword(0, "RecvPass"), "typed");
    EXPECT_ANSI_EQ(StoredPassword(0, "SendPass"), "cpass");
}

TEST_F(EditProfileTest, ThePortShownFollowsTheTransportType)
{
    WriteBytes(Ini, IniText({"[Common]", "SendPort=2525", "[P]", "RecvUser=u"}));
    TIniFile ini(Ini);
    TProfileEditor editor;
    editor.Load(ini, "P", false);
    EXPECT_ANSI_EQ(editor.Row(ekRecvPort).Text, "110");
    editor.SetChecked(ekRecvType, true);
    editor.SetIndex(ekRecvType, 1);
    EXPECT_ANSI_EQ(editor.Row(ekRecvPort).Text, "143");
    // A port typed but not saved is replaced by the new type's.
    editor.SetChecked(ekRecvPort, true);
    editor.SetText(ekRecvPort, "999");
    editor.SetIndex(ekRecvType, 2);
    EXPECT_ANSI_EQ(editor.Row(ekRecvPort).Text, "80");
    // Unchecking the type goes back to the inherited one and its port.
    editor.SetChecked(ekRecvType, false);
    EXPECT_ANSI_EQ(editor.Row(ekRecvPort).Text, "110");
    // A port from "Common" stays, whatever the type.
    editor.SetChecked(ekSendType, true);
    editor.SetIndex(ekSendType, 1);
    EXPECT_ANSI_EQ(editor.Row(ekSendPort).Text, "2525");

    // In "Common" itself the inherited port is always the type's default.
    editor.Load(ini, CommonSection, true);
    EXPECT_TRUE(editor.Row(ekSendPort).Checked);
    editor.SetChecked(ekSendPort, false);
    EXPECT_ANSI_EQ(editor.Row(ekSendPort).Text, "25");
    editor.SetChecked(ekSendType, true);
    editor.SetIndex(ekSendType, 1);
    EXPECT_ANSI_EQ(editor.Row(ekSendPort).Text, "80");
}

TEST_F(EditProfileTest, NewSectionNamesAndChosenFolders)
{
    WriteBytes(Ini, IniText({"[profile0]", "[Common]", "[PROFILE1]"}));
    EXPECT_ANSI_EQ(NewSectionName(TIniFile(Ini)), "Profile2");

    const AnsiString program = ProgramFolder();
    EXPECT_ANSI_EQ(StoredFolderText(program + "keys/client/"), "keys/client");
    EXPECT_ANSI_EQ(StoredFolderText(Dir.File("keys/")), Dir.File("keys"));
    EXPECT_ANSI_EQ(StoredFolderText("/"), "/");
    EXPECT_RAISES(StoredFolderText("/keys\n/"), Exception,
                  "Путь к папке содержит перевод строки, в профиле его сохранить нельзя");
    const AnsiString longest = "/" + AnsiString(258, 'k');
    EXPECT_ANSI_EQ(StoredFolderText(longest + "/"), longest);
    EXPECT_RAISES_PREFIX(StoredFolderText(longest + "k"), Exception, "Путь к папке длиннее 259 символов");

    EXPECT_ANSI_EQ(FolderBrowseStart(Dir.Path()), Dir.Path());
    ASSERT_FALSE(DirectoryExists(program + "Keys/"));
    EXPECT_ANSI_EQ(FolderBrowseStart("/nonexistent/keys"), program);
    EXPECT_ANSI_EQ(FolderBrowseStart(""), program);
}

TEST_F(EditProfileTest, ChangesToCommonMayBreakNoProfileAndOldFaultsOutsideTheDialogDoNotBlockASave)
{
    WriteBytes(Ini, IniText({"[Common]", "RecvHost=common.host", "[A]", "Prefix=AAA", "RecvUser=a", "RecvPass=x",
                           "Salary.FileName=c:/list.txt", "NewCli.Fields=99", "[B]", "Prefix=BBB", "RecvUser=b", "RecvPass=y",
                           "Salary.FileFormat=DBASE"}));
    TIniFile ini(Ini);
    const auto refusal = [&](const AnsiString& section, const std::function<void(TProfileEditor&)>& edit) {
        TProfileEditor editor;
        editor.Load(ini, section, SameText(section, CommonSection));
        edit(editor);
        return RefusalOfChanges(ini, section, SameText(section, CommonSection), editor.Changes());
    };
    const auto own = [](TEditKey key, int index) {
        return [=](TProfileEditor& editor) {
            editor.SetChecked(key, true);
            editor.SetIndex(key, index);
        };
    };
    ASSERT_TRUE(LoadRefusal(TIniKeySource(ini), "A"));

    // A's salary file and columns of new clients are wrong already, in keys that the dialog
    // does not show: A's own changes are saved all the same, but not a fault behind them.
    EXPECT_EQ(refusal("A", own(ekRecvType, 1)), std::nullopt);
    EXPECT_EQ(refusal("A",
                      [](TProfileEditor& editor) {
                          editor.SetChecked(ekFields, true);
                          editor.SetText(ekFields, "9");
                      }),
              (TRefusal{"Salary.Fields", "Профиль A: Неверное значение индекса поля в параметре Salary.Fields"}));
    // UTF-8 in "Common" breaks B, which stores dBase; A was refused before and stays so.
    EXPECT_EQ(refusal(CommonSection, own(ekCharset, 3)),
              (TRefusal{"Salary.Charset", "Профиль B: Кодировка UTF8 не поддерживается для формата DBASE"}));
    EXPECT_EQ(refusal(CommonSection, own(ekCharset, 2)), std::nullopt);
}

// ---- The dialog ----

namespace {

// Two profiles in a file; the main window (without start-up) has the first selected.
class EditProfileDialogTest : public EditProfileTest {
protected:
    void SetUp() override
    {
        WriteBytes(Ini, IniText({"[Common]", "RecvHost=common.host", "[Main]", "Caption=Главный", "Prefix=ABC",
                               "RecvUser=main", "RecvPass=one", "[Other]", "Caption=Другой", "Prefix=DEF",
                               "RecvUser=other", "RecvPass=two"}));
        Profiles.Get()->Open(Ini);
        FrmEditProfile = &Dialog;
    }

    void StartMain(std::optional<TStartupParams> startup = std::nullopt)
    {
        Main = std::make_unique<TFrmMain>(std::move(startup));
        FrmMain = Main.get();
        Main->show();
        QCoreApplication::processEvents();
    }

    // Runs the menu command; `work` handles the dialog while it is shown.
    void RunFromMenu(QAction* item, std::function<void()> work)
    {
        bool shown = false;
        QTimer::singleShot(0, this->Main.get(), [&] {
            shown = Dialog.isVisible();
            work();
        });
        item->trigger();
        EXPECT_TRUE(shown);
    }

    TFrmEditProfile Dialog;
    std::unique_ptr<TFrmMain> Main;
};

void Type(QLineEdit* edit, const char* text)
{
    edit->setText(ToQString(text));
}

}  // namespace

TEST_F(EditProfileDialogTest, AProfileEditedFromTheMenuIsSavedAndSelectedAgain)
{
    StartMain();
    Main->SelectProfile(1);
    RunFromMenu(Main->ItmEditProfile, [this] {
        EXPECT_ANSI_EQ(FromQString(Dialog.windowTitle()), "Редактирование профиля");
        EXPECT_ANSI_EQ(FromQString(Dialog.EdtProfileName->text()), "Другой");
        EXPECT_TRUE(Dialog.BtnDelete->isEnabled());
        EXPECT_EQ(Dialog.EditOf(ekRecvPass)->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(Dialog.EditOf(ekRecvHost)->isEnabled());
        Type(Dialog.EdtProfileName, " Другой профиль ");
        Dialog.CheckOf(ekRecvHost)->click();
        EXPECT_TRUE(Dialog.EditOf(ekRecvHost)->isEnabled());
        EXPECT_ANSI_EQ(FromQString(Dialog.EditOf(ekRecvHost)->text()), "common.host");
        Type(Dialog.EditOf(ekRecvHost), "mail.local");
        Dialog.CheckOf(ekSendType)->click();
        Dialog.ComboOf(ekSendType)->setCurrentIndex(1);
        EXPECT_ANSI_EQ(FromQString(Dialog.EditOf(ekSendPort)->text()), "80");
        Dialog.BtnOk->click();
    });
    const TProfile* profile = Profiles.Get()->Current();
    ASSERT_NE(profile, nullptr);
    EXPECT_ANSI_EQ(profile->Name, "Other");
    EXPECT_ANSI_EQ(profile->Caption, "Другой профиль");
    EXPECT_ANSI_EQ(profile->RecvHost, "mail.local");
    EXPECT_EQ(profile->SendType, ttHttp);
    EXPECT_EQ(profile->SendPort, 80);
    EXPECT_TRUE(Main->DocumentCommandsOn());
}

TEST_F(EditProfileDialogTest, ANewProfileGetsAFreeSectionAndIsSelectedAfterTheSave)
{
    StartMain();
    Main->SelectProfile(2);   // the chooser's "-- Создать новый профиль --"
    RunFromMenu(Main->ItmEditProfile, [this] {
        EXPECT_ANSI_EQ(FromQString(Dialog.EdtProfileName->text()), "Новый профиль");
        EXPECT_TRUE(Dialog.EdtPrefix->text().isEmpty());
        for (int k = 0; k < EditKeyCount; ++k)
            EXPECT_FALSE(Dialog.CheckOf(static_cast<TEditKey>(k))->isChecked()) << k;
        EXPECT_ANSI_EQ(FromQString(Dialog.EditOf(ekRecvHost)->text()), "common.host");
        Type(Dialog.EdtPrefix, "new");
        Dialog.CheckOf(ekRecvUser)->click();
        Type(Dialog.EditOf(ekRecvUser), "newuser");
        Dialog.CheckOf(ekRecvPass)->click();
        Type(Dialog.EditOf(ekRecvPass), "secret");
        Dialog.BtnOk->click();
    });
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Profile0");
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Caption, "Новый профиль");
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Prefix, "NEW");
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->RecvPass, "secret");
    EXPECT_EQ(Profiles.Get()->Count(), 3);
}

namespace {

// Gives the row its own value: the check box checked, then the text typed or the entry chosen.
void Own(TFrmEditProfile& dialog, TEditKey key, const char* value)
{
    if (!dialog.CheckOf(key)->isChecked())
        dialog.CheckOf(key)->click();
    if (QLineEdit* edit = dialog.EditOf(key))
        edit->setText(ToQString(value));
    else
        dialog.ComboOf(key)->setCurrentIndex(dialog.ComboOf(key)->findText(ToQString(value)));
}

struct TRefusedValue {
    const char* What;
    std::function<void(TFrmEditProfile&)> Edit;
    AnsiString Message;                                        // as the load gives it
    std::function<QWidget*(const TFrmEditProfile&)> Field;    // where the focus goes; null: not checked
};

}  // namespace

TEST_F(EditProfileDialogTest, AValueTheLoadRefusesKeepsTheDialogOpenOnItsFieldAndNothingIsWritten)
{
    // Values from "Common" that the profile loads with as it stands.
    WriteBytes(Ini, IniText({"[Common]", "RecvHost=common.host", "Salary.Charset=UTF8", "Salary.EtalonExpire=0",
                           "[Main]", "Caption=Главный", "Prefix=ABC", "RecvUser=main", "RecvPass=one"}));
    Profiles.Get()->Open(Ini);
    const std::string before = ReadBytes(Ini);
    const auto edit = [](TEditKey key) { return [key](const TFrmEditProfile& d) -> QWidget* { return d.EditOf(key); }; };
    const auto combo = [](TEditKey key) { return [key](const TFrmEditProfile& d) -> QWidget* { return d.ComboOf(key); }; };
    const auto check = [](TEditKey key) { return [key](const TFrmEditProfile& d) -> QWidget* { return d.CheckOf(key); }; };

    const TRefusedValue cases[] = {
        {"dBase in UTF-8",
         [](TFrmEditProfile& d) {
             Own(d, ekFileFormat, "DBASE");
             Own(d, ekCharset, "UTF8");
         },
         "Кодировка UTF8 не поддерживается для формата DBASE", combo(ekCharset)},
        {"dBase with the UTF-8 of \"Common\"", [](TFrmEditProfile& d) { Own(d, ekFileFormat, "DBASE"); },
         "Кодировка UTF8 не поддерживается для формата DBASE", check(ekCharset)},
        {"a delimiter with a line break", [](TFrmEditProfile& d) { Own(d, ekDelim, "|\n|"); },
         "Неверное значение параметра \"Формат зарплатного файла » Разделитель\"", edit(ekDelim)},
        {"widths beyond the longest line",
         [](TFrmEditProfile& d) {
             Own(d, ekFileFormat, "FIXED");
             Own(d, ekLengths, "30000,30000,5537");
         },
         "Неверное значение параметра \"Формат зарплатного файла » Длины\"", edit(ekLengths)},
        {"a column beyond the kind's fields", [](TFrmEditProfile& d) { Own(d, ekFields, "1,2,4"); },
         "Неверное значение индекса поля в параметре \"Формат зарплатного файла » Поля\"", edit(ekFields)},
        {"a control character in an address", [](TFrmEditProfile& d) { Own(d, ekBankEMail, "bank\x01@bank.local"); },
         "Неверное значение параметра BankEMail", edit(ekBankEMail)},
        {"a drive letter other than a:", [](TFrmEditProfile& d) { Own(d, ekPgpKeyPath, "c:\\keys"); },
         "Неверное значение параметра \"Шифрование » PGPKey\"", edit(ekPgpKeyPath)},
        {"a drive letter in quotes, which the file drops", [](TFrmEditProfile& d) { Own(d, ekPgpKeyPath, "\"d:\""); },
         "Неверное значение параметра \"Шифрование » PGPKey\"", edit(ekPgpKeyPath)},
        {"a port beyond 65535", [](TFrmEditProfile& d) { Own(d, ekRecvPort, "65536"); },
         "Неверное значение параметра \"Прием » Порт\"", edit(ekRecvPort)},
        {"a prefix of two letters", [](TFrmEditProfile& d) { d.EdtPrefix->setText(QStringLiteral("AB")); },
         "Параметр \"Префикс\" должен состоять из трех латинских букв и/или цифр",
         [](const TFrmEditProfile& d) -> QWidget* { return d.EdtPrefix; }},
        {"a required key taken away", [](TFrmEditProfile& d) { d.CheckOf(ekRecvUser)->click(); },
         "Не задано значение параметра \"Прием » Имя\"", check(ekRecvUser)},
        {"a cipher without its key folders", [](TFrmEditProfile& d) { Own(d, ekCipherType, "VERBA"); },
         "Не задано значение параметра \"Шифрование » VerbaPub\"", check(ekVerbaPubPath)},
        {"reference lists with the expiry of \"Common\", a key the dialog does not show",
         [](TFrmEditProfile& d) { Own(d, ekEtalonTypes, "NNS"); }, "Неверное значение параметра Salary.EtalonExpire",
         nullptr},
    };
    for (const TRefusedValue& refused : cases) {
        SCOPED_TRACE(refused.What);
        Dialog.SetProfileIndex(0);
        QTimer::singleShot(0, &Dialog, [&] {
            refused.Edit(Dialog);
            TScriptedDialogs dialogs;
            dialogs.ExpectMessage("Профиль Главный: " + refused.Message + ".", MessageBoxAnswer::Ok,
                                  MessageBoxFlags::Ok | MessageBoxFlags::IconError);
            Dialog.BtnOk->click();
            EXPECT_TRUE(Dialog.isVisible());
            if (refused.Field) {
                EXPECT_EQ(Dialog.focusWidget(), refused.Field(Dialog));
            }
            Dialog.reject();
        });
        EXPECT_EQ(Dialog.Execute(false, Profiles.Get()->Ini()), -1);
        EXPECT_EQ(ReadBytes(Ini), before);
    }
}

TEST_F(EditProfileDialogTest, AProfileTheLoadRefusesIsMendedInTheEditorAndThenLoads)
{
    WriteBytes(Ini, IniText({"[Main]", "Caption=Ромашка", "Prefix=ABC", "RecvUser=main", "RecvPass=one",
                           "Salary.FileFormat=DBASE", "Salary.Charset=UTF8"}));
    Profiles.Get()->Open(Ini);
    const AnsiString refusal = "Профиль Main: Кодировка UTF8 не поддерживается для формата DBASE";
    const unsigned errorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;
    StartMain();
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage(refusal, MessageBoxAnswer::Ok, errorBox);
    Main->SelectProfile(0);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts().at(0), " Профиль не загружен");
    EXPECT_ANSI_EQ(dialogs.Asked().back().Caption, "Ошибка загрузки профиля");

    RunFromMenu(Main->ItmEditProfile, [&] {
        EXPECT_TRUE(Dialog.CheckOf(ekCharset)->isChecked());
        EXPECT_ANSI_EQ(FromQString(Dialog.ComboOf(ekCharset)->currentText()), "UTF8");
        // Saved unmended, it is refused again; the dialog names the profile by its caption.
        dialogs.ExpectMessage("Профиль Ромашка: Кодировка UTF8 не поддерживается для формата DBASE.",
                              MessageBoxAnswer::Ok, errorBox);
        Dialog.BtnOk->click();
        ASSERT_TRUE(Dialog.isVisible());
        Own(Dialog, ekCharset, "CP866");
        Dialog.BtnOk->click();
    });
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_EQ(Profiles.Get()->Current()->ExportProfiles.At(0)->Charset, CodePageCp866);
    EXPECT_ANSI_EQ(Main->StatusPanelTexts().at(0), " Префикс: ABC");
    EXPECT_TRUE(Main->DocumentCommandsOn());
}

// Wherever a run leaves the focus, the next opens on the first field: the name, or in the
// shared settings, which have none, the first row.
TEST_F(EditProfileDialogTest, EveryRunOpensOnTheFirstField)
{
    Dialog.SetProfileIndex(0);
    const auto focusOnOpening = [this](bool global, QWidget* leaveOn) {
        QWidget* focused = nullptr;
        QTimer::singleShot(0, &Dialog, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&Dialog));
            focused = QApplication::focusWidget();
            leaveOn->setFocus(Qt::TabFocusReason);
            Dialog.reject();
        });
        Dialog.Execute(global, Profiles.Get()->Ini());
        return focused;
    };
    EXPECT_EQ(focusOnOpening(false, Dialog.BtnCancel), Dialog.EdtProfileName);
    EXPECT_EQ(focusOnOpening(false, Dialog.CheckOf(ekSendPass)), Dialog.EdtProfileName);
    EXPECT_EQ(focusOnOpening(true, Dialog.BtnCancel), Dialog.CheckOf(ekBankEMail));
    EXPECT_EQ(focusOnOpening(false, Dialog.BtnCancel), Dialog.EdtProfileName);
}

TEST_F(EditProfileDialogTest, TheCommonSectionIsEditedWithoutNameOrDeletionAndCancelWritesNothing)
{
    Dialog.SetProfileIndex(1);
    ASSERT_TRUE(Dialog.Prepare(true, Profiles.Get()->Ini()));
    EXPECT_ANSI_EQ(FromQString(Dialog.windowTitle()), "Редактирование глобальных параметров");
    EXPECT_FALSE(Dialog.EdtProfileName->isEnabled());
    EXPECT_TRUE(Dialog.EdtPrefix->text().isEmpty());
    EXPECT_FALSE(Dialog.BtnDelete->isEnabled());
    EXPECT_TRUE(Dialog.CheckOf(ekRecvHost)->isChecked());
    Dialog.CheckOf(ekBankEMail)->click();
    Type(Dialog.EditOf(ekBankEMail), "bank@bank.local");
    const std::string before = ReadBytes(Ini);
    EXPECT_EQ(Dialog.Finish(QDialog::Rejected), -1);
    EXPECT_EQ(ReadBytes(Ini), before);

    EXPECT_EQ(Dialog.Finish(QDialog::Accepted), 1);
    Profiles.Get()->Select(0);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->BankEMail, "bank@bank.local");
    EXPECT_FALSE(Dialog.Prepare(true, nullptr));
}

TEST_F(EditProfileDialogTest, DeletingAsksFirstAndThenStartsOverWithTheSameFile)
{
    // Started from a restart state: the command line names another file, which the
    // start-over must not take.
    const AnsiString program = Dir.File("velton-export");
    WriteBytes(program + ".rst", IniText({"[State]", "IniFile=" + Ini, "Profile=Main"}));
    StartMain(TStartupParams{program, {"/nonexistent/other.ini"}});
    ASSERT_ANSI_EQ(Profiles.Get()->Current()->Name, "Main");
    ASSERT_TRUE(Dialog.Prepare(false, Profiles.Get()->Ini()));
    Dialog.open();

    TScriptedDialogs dialogs;
    const unsigned flags = MessageBoxFlags::OkCancel | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2;
    dialogs.ExpectMessage("Вы хотите удалить текущий профиль. Продолжить?", MessageBoxAnswer::Cancel, flags);
    Dialog.BtnDelete->click();
    EXPECT_TRUE(Dialog.isVisible());
    EXPECT_NE(ReadBytes(Ini).find("[Main]"), std::string::npos);

    dialogs.ExpectMessage("Вы хотите удалить текущий профиль. Продолжить?", MessageBoxAnswer::Ok, flags);
    Dialog.BtnDelete->click();
    EXPECT_FALSE(Dialog.isVisible());
    EXPECT_EQ(Dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadBytes(Ini).find("[Main]"), std::string::npos);
    EXPECT_ANSI_EQ(dialogs.Asked().back().Caption, "Удаление профиля");

    // At the next idle moment: the file again, and its only profile selected.
    QCoreApplication::processEvents();
    EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), Ini);
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Other");
}

TEST_F(EditProfileDialogTest, FolderButtonsAndTextsTheFileCannotHold)
{
    Dialog.SetProfileIndex(0);
    ASSERT_TRUE(Dialog.Prepare(false, Profiles.Get()->Ini()));
    Dialog.open();
    TScriptedDialogs dialogs;
    // A disabled edit asks nothing.
    Dialog.BrowseOf(ekPgpKeyPath)->click();

    Dialog.CheckOf(ekPgpKeyPath)->click();
    dialogs.ExpectFolder(ProgramFolder() + "Keys/client/");
    Dialog.BrowseOf(ekPgpKeyPath)->click();
    EXPECT_ANSI_EQ(dialogs.Asked().back().Text, "Обзор папок");
    EXPECT_ANSI_EQ(dialogs.Asked().back().Request.InitialDir, ProgramFolder());
    EXPECT_ANSI_EQ(FromQString(Dialog.EditOf(ekPgpKeyPath)->text()), "Keys/client");

    const AnsiString tooLong = "/" + AnsiString(300, 'k') + "/";
    dialogs.ExpectFolder(tooLong);
    dialogs.ExpectMessage("Путь к папке длиннее 259 символов, в профиле его сохранить нельзя: " +
                          tooLong.substr(0, tooLong.size() - 1) + ".");
    Dialog.BrowseOf(ekPgpKeyPath)->click();
    EXPECT_ANSI_EQ(FromQString(Dialog.EditOf(ekPgpKeyPath)->text()), "Keys/client");

    // A character that code page 1251 lacks keeps the dialog open.
    Dialog.CheckOf(ekRecvHost)->click();
    Dialog.EditOf(ekRecvHost)->setText(QStringLiteral("mail\u2713.local"));
    dialogs.ExpectMessage("Значение параметра \"Прием » Сервер\" содержит символы, которых нет в кодировке Windows-1251, "
                          "в профиле его сохранить нельзя.");
    Dialog.BtnOk->click();
    EXPECT_TRUE(Dialog.isVisible());

    // Nor can the file hold a line break: refused before the first key is written.
    Type(Dialog.EditOf(ekRecvHost), "mail\nlocal");
    dialogs.ExpectMessage("Значение параметра \"Прием » Сервер\" содержит перевод строки, в профиле его сохранить нельзя.");
    Dialog.BtnOk->click();
    EXPECT_TRUE(Dialog.isVisible());
    EXPECT_EQ(Dialog.focusWidget(), Dialog.EditOf(ekRecvHost));

    Type(Dialog.EditOf(ekRecvHost), "mail.local");
    Dialog.BtnOk->click();
    EXPECT_FALSE(Dialog.isVisible());
    EXPECT_EQ(Dialog.Finish(Dialog.result()), 0);
    EXPECT_NE(ReadBytes(Ini).find("PgpKeyPath=Keys/client\r\nRecvHost=mail.local\r\n"), std::string::npos);
}

// ---- One replacement of the file ----

TEST_F(EditProfileDialogTest, ASaveIsOneReplacementThatKeepsUntouchedKeysAndFailsWhole)
{
    WriteBytes(Ini, IniText({"; клиенты", "[Common]", "RecvHost = common.host ", "[Main]", "Caption=\"Главный\"",
                             "Prefix=ABC", "RecvUser=main", "RecvPass=\\kpkwkwkwksdmhr", "RecvUser=duplicate",
                             "  Salary.FileCount = 7 ", "", "[Other]", "Prefix=DEF", "RecvUser=other", "RecvPass=\\x"}));
    Profiles.Get()->Open(Ini);
    const std::string before = ReadBytes(Ini);
    StartMain();
    Main->SelectProfile(0);
    const auto toVerba = [this] {
        Own(Dialog, ekCipherType, "VERBA");
        Own(Dialog, ekVerbaPubPath, "/keys/pub");
        Own(Dialog, ekVerbaSecPath, "/keys/sec");
        Dialog.BtnOk->click();
    };
    {
        // Room for the cipher's line, but not for the key folders that it needs.
        const TFileSizeLimit full(static_cast<long>(before.size() + IniText({"CipherType=VERBA"}).size()));
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(Ini + ": Файл слишком велик.");
        RunFromMenu(Main->ItmEditProfile, toVerba);
    }
    EXPECT_EQ(ReadBytes(Ini), before);
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_TRUE(Main->DocumentCommandsOn());

    RunFromMenu(Main->ItmEditProfile, toVerba);
    EXPECT_EQ(ReadBytes(Ini), IniText({"; клиенты", "[Common]", "RecvHost = common.host ", "[Main]", "Caption=\"Главный\"",
                                       "Prefix=ABC", "RecvUser=main", "RecvPass=\\kpkwkwkwksdmhr", "RecvUser=duplicate",
                                       "  Salary.FileCount = 7 ", "CipherType=VERBA", "VerbaPubPath=/keys/pub",
                                       "VerbaSecPath=/keys/sec", "", "[Other]", "Prefix=DEF", "RecvUser=other",
                                       "RecvPass=\\x"}));
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_EQ(Profiles.Get()->Current()->CipherType, ctVerba);
}

// ---- The values in effect ----

TEST_F(EditProfileDialogTest, InheritedRowsShowWhatTheLoadUsesAndUnlistedNamesAreKeptAsStored)
{
    WriteBytes(Ini, IniText({"[Common]", "Salary.EtalonTypes=SAL,NNS", "RecvHost=", "[Main]", "Prefix=ABC",
                             "RecvUser=main", "RecvPass=\\x", "[Other]", "Prefix=DEF", "RecvUser=other",
                             "RecvPass=\\x", "Caption=Склад", "Salary.EtalonTypes= sal, com ", "Salary.FileFormat=dbase"}));
    Profiles.Get()->Open(Ini);
    const auto shown = [this](TEditKey key) {
        if (QLineEdit* edit = Dialog.EditOf(key))
            return FromQString(edit->text());
        return FromQString(Dialog.ComboOf(key)->currentText());
    };

    Dialog.SetProfileIndex(0);
    ASSERT_TRUE(Dialog.Prepare(false, Profiles.Get()->Ini()));
    EXPECT_ANSI_EQ(shown(ekCharset), "CP1251");   // a delimited file
    EXPECT_ANSI_EQ(shown(ekEtalonTypes), "SAL,NNS");
    EXPECT_ANSI_EQ(shown(ekDelim), ";");
    EXPECT_ANSI_EQ(shown(ekPgpKeyPath), "a:");
    EXPECT_ANSI_EQ(shown(ekRecvHost), DefaultRecvHost);   // blank in "Common" counts for nothing
    // The code page that no level names follows the format chosen.
    Own(Dialog, ekFileFormat, "DBASE");
    EXPECT_ANSI_EQ(shown(ekCharset), "CP866");
    Dialog.CheckOf(ekFileFormat)->click();
    EXPECT_ANSI_EQ(shown(ekCharset), "CP1251");
    // Taken over without a change, each is written as the load reads it now.
    Dialog.CheckOf(ekCharset)->click();
    Dialog.CheckOf(ekEtalonTypes)->click();
    EXPECT_EQ(Dialog.Finish(QDialog::Accepted), 0);
    Profiles.Get()->Select(0);
    const TSalaryProfile& salary = static_cast<const TSalaryProfile&>(*Profiles.Get()->Current()->ExportProfiles.At(0));
    EXPECT_EQ(salary.Charset, CodePageCp1251);
    ASSERT_EQ(salary.EtalonTypes.Count(), 2);
    EXPECT_EQ(salary.EtalonTypes.At(0), 0);
    EXPECT_EQ(salary.EtalonTypes.At(1), 1);
    EXPECT_NE(ReadBytes(Ini).find("Salary.Charset=CP1251\r\nSalary.EtalonTypes=SAL,NNS\r\n"), std::string::npos);

    // An own name the list lacks is shown as stored and saved unchanged, byte for byte.
    const std::string before = ReadBytes(Ini);
    Dialog.SetProfileIndex(1);
    ASSERT_TRUE(Dialog.Prepare(false, Profiles.Get()->Ini()));
    EXPECT_TRUE(Dialog.CheckOf(ekEtalonTypes)->isChecked());
    EXPECT_ANSI_EQ(shown(ekEtalonTypes), "sal, com");
    EXPECT_ANSI_EQ(shown(ekCharset), "CP866");   // a dBase file
    EXPECT_EQ(Dialog.Finish(QDialog::Accepted), 1);
    EXPECT_EQ(ReadBytes(Ini), before);
}

// ---- What the dialog refuses, in its own words ----

TEST_F(EditProfileDialogTest, ARefusalNamesTheFieldAsTheDialogLabelsItAndTheProfileByItsCaption)
{
    StartMain();
    Main->SelectProfile(2);   // a new profile
    TScriptedDialogs dialogs;
    RunFromMenu(Main->ItmEditProfile, [&] {
        Type(Dialog.EdtProfileName, "Склад");
        Type(Dialog.EdtPrefix, "AB");
        dialogs.ExpectMessage("Профиль Склад: Параметр \"Префикс\" должен состоять из трех латинских букв и/или цифр.");
        Dialog.BtnOk->click();
        Type(Dialog.EdtPrefix, "ABC");
        dialogs.ExpectMessage("Профиль Склад: Не задано значение параметра \"Прием » Имя\".");
        Dialog.BtnOk->click();
        Own(Dialog, ekRecvUser, "sklad");
        Own(Dialog, ekRecvPass, "secret");
        Own(Dialog, ekSendPort, "70000");
        dialogs.ExpectMessage("Профиль Склад: Неверное значение параметра \"Передача » Порт\".");
        Dialog.BtnOk->click();
        EXPECT_EQ(Dialog.focusWidget(), Dialog.EditOf(ekSendPort));
        Dialog.reject();
    });
    EXPECT_EQ(ReadBytes(Ini).find("Profile0"), std::string::npos);
}

// ---- The file that the editor writes loads again ----

TEST_F(EditProfileDialogTest, ANameThatAlsoReadsAsUtf8IsSavedAndTheFileLoadsAgain)
{
    WriteBytes(Ini, IniText({"[Main]", "Prefix=ABC", "RecvUser=main", "RecvPass=\\x"}));
    Profiles.Get()->Open(Ini);
    StartMain();
    Main->SelectProfile(0);
    RunFromMenu(Main->ItmEditProfile, [this] {
        Type(Dialog.EdtProfileName, "Р°");   // D0 B0, the UTF-8 of "а"
        Dialog.BtnOk->click();
    });
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    EXPECT_EQ(Hex(Profiles.Get()->Current()->Caption), "D0 B0");
    EXPECT_TRUE(Main->DocumentCommandsOn());
    TProfiles nextStart;
    nextStart.Open(Ini);
    ASSERT_EQ(nextStart.Count(), 1);
    EXPECT_EQ(Hex(nextStart.Profile(0)->Caption), "D0 B0");
}

// ---- No profile loaded ----

namespace {

void ExpectNoProfile(const TFrmMain& main)
{
    EXPECT_EQ(Profiles.Get()->Current(), nullptr);
    EXPECT_ANSI_EQ(main.StatusPanelTexts().at(0), " Профиль не загружен");
    EXPECT_FALSE(main.DocumentCommandsOn());
    EXPECT_TRUE(main.MdiArea()->subWindowList().isEmpty());
    for (QAction* item : main.DocumentCommands()) {
        EXPECT_FALSE(item->isEnabled()) << U8(FromQString(item->text()));
        item->trigger();   // asks nothing, opens nothing
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(main.MdiArea()->subWindowList().isEmpty());
    EXPECT_FALSE(main.ItmEditProfile->isEnabled());
}

}  // namespace

TEST_F(EditProfileDialogTest, WhenTheFileCanNoLongerBeReadNoCommandIsLeftOnAProfileThatIsGone)
{
    StartMain();
    Main->SelectProfile(0);
    Main->ItmNewCliReply->trigger();
    Main->ItmJournal->trigger();
    ASSERT_EQ(Main->MdiArea()->subWindowList().size(), 2);
    const AnsiString refused = "Файл " + Ini + " сохранен в кодировке UTF-8. Сохраните его в кодировке Windows-1251.";

    // Another program saves the file in UTF-8 while the editor is open; the save goes
    // through, and the store's fresh read of the file refuses it.
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Все окна текущего профиля будут закрыты. Продолжить?", MessageBoxAnswer::Yes);
    dialogs.ExpectMessage(refused);
    RunFromMenu(Main->ItmEditProfile, [this] {
        WriteBytes(Ini, AnsiToUtf8(ReadBytes(Ini)));
        Own(Dialog, ekRecvHost, "mail.local");
        Dialog.BtnOk->click();
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ExpectNoProfile(*Main);

    // A profile deleted in the editor, and the file refused when it is opened again.
    WriteBytes(Ini, IniText({"[Main]", "Prefix=ABC", "RecvUser=main", "RecvPass=\\x", "[Other]", "Prefix=DEF",
                             "RecvUser=other", "RecvPass=\\x"}));
    Profiles.Get()->Open(Ini);
    Main->SelectProfile(1);
    Main->ItmEtalons->trigger();
    dialogs.ExpectMessage("Все окна текущего профиля будут закрыты. Продолжить?", MessageBoxAnswer::Yes);
    dialogs.ExpectMessage("Вы хотите удалить текущий профиль. Продолжить?", MessageBoxAnswer::Ok);
    dialogs.ExpectMessage(refused);
    RunFromMenu(Main->ItmEditProfile, [this] {
        Dialog.BtnDelete->click();
        WriteBytes(Ini, AnsiToUtf8(IniText({"[Main]", "Caption=Главный"})));
    });
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ExpectNoProfile(*Main);
}

// ---- The window ----

// A resizable window gets a resize handle from the window manager, which showed as a strip
// of frame under the buttons: the dialog keeps one size, which holds every row.
TEST_F(EditProfileDialogTest, TheDialogKeepsOneSizeThatHoldsEveryRow)
{
    Dialog.SetProfileIndex(0);
    ASSERT_TRUE(Dialog.Prepare(false, Profiles.Get()->Ini()));
    Dialog.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Dialog.minimumSize(), Dialog.maximumSize());
    EXPECT_EQ(Dialog.size(), Dialog.minimumSize());
    EXPECT_GE(Dialog.width(), 656);
    EXPECT_GE(Dialog.height(), std::max(563, Dialog.layout()->minimumSize().height()));
    const QRect area = Dialog.rect();
    for (const QWidget* child : Dialog.findChildren<QWidget*>()) {
        if (child->isVisible()) {
            EXPECT_TRUE(area.contains(QRect(child->mapTo(&Dialog, QPoint(0, 0)), child->size())));
        }
    }
}
