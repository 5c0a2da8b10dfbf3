#pragma once
// What the profile editor shows and writes, without a window: one row per key with the
// key's own value at the level being edited (a profile's section, or "Common"), the value
// it inherits from the level below (the section "Common", then the editor's built-in
// default), whether the row has its own value, and what its control shows.

#include "platform/AnsiString.h"
#include "platform/IniFiles.h"

#include <optional>
#include <vector>

class TKeySource;

// The keys of the editor, in the order in which they are loaded: the defaults of EMail,
// SendHost, SendUser and SendPass are taken from rows loaded before them.
enum TEditKey {
    ekBankEMail,
    ekBankPgpKey,
    ekBankVerbaKey,
    ekCipherType,
    ekPgpKeyPath,
    ekVerbaPubPath,
    ekVerbaSecPath,
    ekRecvPort,
    ekRecvType,
    ekRecvHost,
    ekRecvUser,
    ekEMail,
    ekRecvPass,
    ekSendPort,
    ekSendType,
    ekSendHost,
    ekSendUser,
    ekSendPass,
    ekProxyPort,
    ekProxyHost,
    ekProxyUser,
    ekProxyPass,
    ekFileFormat,
    ekCharset,
    ekEtalonTypes,
    ekFields,
    ekLengths,
    ekDelim,
    EditKeyCount
};

enum class TEditKind { Text, Password, Code };

// The name of a row's key in the profiles file, and its kind.
const char* KeyNameOf(TEditKey key);
TEditKind KindOf(TEditKey key);
// The caption of the group box that holds a row ("" for the rows at the top of the
// dialog), and of the row's check box.
const char* GroupCaptionOf(TEditKey key);
const char* RowCaptionOf(TEditKey key);
// The labels of the profile's own name and prefix.
inline constexpr char ProfileNameLabel[] = "Название профиля";
inline constexpr char PrefixLabel[] = "Префикс";
// A key of the profiles file named as the dialog labels its field: the group, " » " and
// the row ("Прием » Порт"), or the label alone; a key the dialog does not show keeps its name.
AnsiString FieldLabel(const AnsiString& keyName);
// The row of a key named in the profiles file (compared ignoring case), or none.
std::optional<TEditKey> FindEditKey(const AnsiString& keyName);
// The row whose inherited value follows what the row of key shows: the port of a receive
// or send type, the code page of the file format.
std::optional<TEditKey> DependentRow(TEditKey key);

// A key that a save writes (Value) or deletes from the edited section (no Value); a save
// writes all of them in one replacement of the file (TIniFile::WriteKeys).
using TKeyChange = TIniKeyChange;
using TKeyChanges = std::vector<TKeyChange>;

// A profile that the load refuses: the key it named ("" for an error of no key), the
// load's message, which names the profile by its section, and that section ("" for a
// refusal of no profile).
struct TRefusal {
    AnsiString Key;
    AnsiString Message;
    AnsiString Profile;
    bool operator==(const TRefusal& other) const { return Key == other.Key && Message == other.Message; }
};

// What the load refuses when it reads the profile of section from the keys; none when the
// profile loads.
std::optional<TRefusal> LoadRefusal(const TKeySource& keys, const AnsiString& section);

// Checks the changes before they are written, with the load's own rules: the refusal of
// the first profile that the file would then fail to load. In profile mode that is the
// edited profile; every refusal of a key that the dialog shows counts, and of another key
// only when the file as it is does not already fail the same way (the dialog could not
// mend it). Editing "Common" (global) touches every profile, and counts only what the
// changes break. Last, a value that the file cannot hold (a line break) is refused.
std::optional<TRefusal> RefusalOfChanges(const TIniFile& ini, const AnsiString& section, bool global,
                                         const TKeyChanges& changes);

// A refusal of the changes as the dialog shows it: the field named as the dialog labels it
// (FieldLabel, in quotes) and the profile by its caption as the changes leave it.
AnsiString RefusalText(const TRefusal& refusal, const TIniFile& ini, const AnsiString& section,
                       const TKeyChanges& changes);
// A value that the profiles file cannot hold, named as the dialog labels its field.
AnsiString UnstorableText(const AnsiString& keyName, const char* reason);

struct TEditRow {
    const char* Key = "";
    TEditKind Kind = TEditKind::Text;
    // A code row's choices: the table's, then a stored name the table lacks, as stored.
    std::vector<AnsiString> Names;
    // Text rows: the stored values, trimmed; absent differs from every text.
    std::optional<AnsiString> Own;
    std::optional<AnsiString> Inherited;
    // Password rows: the key under which the inherited text was scrambled (SendPass
    // inherits the receiving password when nothing else gives one).
    AnsiString InheritedKey;
    // Code rows: the choice of the stored name; -2 absent.
    int OwnIndex = -2;
    int InheritedIndex = -2;
    // The control: whether the row has its own value, and what it shows.
    bool Checked = false;
    AnsiString Text;
    int Index = -1;
};

class TProfileEditor {
public:
    // Reads every row of the section from the file: in global mode the section is
    // "Common" and every inherited value is the built-in default.
    void Load(TIniFile& ini, const AnsiString& section, bool global);

    const TEditRow& Row(TEditKey key) const { return FRows[key]; }

    // The check box of a row: checked, the control shows the own value when there is one,
    // else the inherited one, which the user may then change; unchecked, the inherited one.
    void SetChecked(TEditKey key, bool checked);
    // The user typed into a text row or chose an entry of a code row. Choosing a receive
    // or send type re-reads its port, whose inherited value follows the type shown.
    void SetText(TEditKey key, const AnsiString& text);
    void SetIndex(TEditKey key, int index);

    // What a save writes, key by key, in a fixed order: an unchecked row loses its own
    // value; a checked row's shown value is written when it differs from the own value.
    TKeyChanges Changes() const;
    // Writes the changes into the edited section, in one replacement of the file.
    void Save();

private:
    TIniFile* FIni = nullptr;
    AnsiString FSection;
    bool FGlobal = false;
    std::vector<TEditRow> FRows;

    void ReadStored(TEditKey key);
    int DefaultChoice(TEditKey key) const;
    void LoadCharsetDefault();
    void FollowRow(TEditKey key);
    // The editor's default of a text row; scrambledUnder gets the key of a password
    // taken from another row.
    AnsiString BuiltInDefault(TEditKey key, AnsiString& scrambledUnder) const;
    void LoadPort(TEditKey port, TEditKey type);
    void ShowValue(TEditRow& row);
    AnsiString Effective(TEditKey key) const;
    void AddTextChange(TKeyChanges& changes, const TEditRow& row) const;
    static void AddCodeChange(TKeyChanges& changes, const TEditRow& row);
    AnsiString PasswordToStore(const TEditRow& row, const AnsiString& value) const;
};

// The first of "Profile0", "Profile1", ... that names no section of the file (ignoring
// case, as the file's sections compare).
AnsiString NewSectionName(const TIniFile& ini);

// Where the folder browser of a path row starts: the row's folder (relative to the
// program's folder) when it exists, else the program's "Keys" folder when that exists,
// else the program's folder.
AnsiString FolderBrowseStart(const AnsiString& text);
// The text a path row stores for a chosen folder: relative to the program's folder when
// it lies inside it, else the full path. A path that the profiles file cannot hold (a line
// break, or longer than 259 characters) is refused with an Exception that says so.
AnsiString StoredFolderText(const AnsiString& chosen);
