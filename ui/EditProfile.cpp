#include "ui/EditProfile.h"

#include "documents/Exportfiles.h"
#include "documents/Passwords.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <iterator>

namespace {

struct TKeyInfo {
    const char* Key;
    TEditKind Kind;
    const char* Group;     // the group box that holds the row; "" for the rows at the top
    const char* Caption;   // the row's check box
};

const char CipherGroup[] = "Шифрование";
const char RecvGroup[] = "Прием";
const char SendGroup[] = "Передача";
const char ProxyGroup[] = "Прокси (только для HTTP)";
const char SalaryGroup[] = "Формат зарплатного файла";

// In the order of TEditKey.
const TKeyInfo KeyInfos[EditKeyCount] = {
    {"BankEMail", TEditKind::Text, "", "BankEMail"},
    {"BankPgpKey", TEditKind::Text, "", "BankPgpKey"},
    {"BankVerbaKey", TEditKind::Text, "", "BankVerbaKey"},
    {"CipherType", TEditKind::Code, CipherGroup, "Тип"},
    {"PgpKeyPath", TEditKind::Text, CipherGroup, "PGPKey"},
    {"VerbaPubPath", TEditKind::Text, CipherGroup, "VerbaPub"},
    {"VerbaSecPath", TEditKind::Text, CipherGroup, "VerbaSec"},
    {"RecvPort", TEditKind::Text, RecvGroup, "Порт"},
    {"RecvType", TEditKind::Code, RecvGroup, "Тип"},
    {"RecvHost", TEditKind::Text, RecvGroup, "Сервер"},
    {"RecvUser", TEditKind::Text, RecvGroup, "Имя"},
    {"EMail", TEditKind::Text, "", "EMail"},
    {"RecvPass", TEditKind::Password, RecvGroup, "Пароль"},
    {"SendPort", TEditKind::Text, SendGroup, "Порт"},
    {"SendType", TEditKind::Code, SendGroup, "Тип"},
    {"SendHost", TEditKind::Text, SendGroup, "Сервер"},
    {"SendUser", TEditKind::Text, SendGroup, "Имя"},
    {"SendPass", TEditKind::Password, SendGroup, "Пароль"},
    {"ProxyPort", TEditKind::Text, ProxyGroup, "Порт"},
    {"ProxyHost", TEditKind::Text, ProxyGroup, "Сервер"},
    {"ProxyUser", TEditKind::Text, ProxyGroup, "Имя"},
    {"ProxyPass", TEditKind::Password, ProxyGroup, "Пароль"},
    {"Salary.FileFormat", TEditKind::Code, SalaryGroup, "Формат"},
    {"Salary.Charset", TEditKind::Code, SalaryGroup, "Кодировка"},
    {"Salary.EtalonTypes", TEditKind::Code, SalaryGroup, "Тип эталона"},
    {"Salary.Fields", TEditKind::Text, SalaryGroup, "Поля"},
    {"Salary.Lengths", TEditKind::Text, SalaryGroup, "Длины"},
    {"Salary.Delim", TEditKind::Text, SalaryGroup, "Разделитель"},
};

// The order in which the keys are written.
const TEditKey SaveOrder[] = {
    ekBankEMail,  ekEMail,       ekBankPgpKey, ekBankVerbaKey, ekCipherType, ekPgpKeyPath, ekVerbaPubPath,
    ekVerbaSecPath, ekRecvType,  ekRecvPort,   ekRecvHost,     ekRecvUser,   ekRecvPass,   ekSendType,
    ekSendPort,   ekSendHost,    ekSendUser,   ekSendPass,     ekProxyPort,  ekProxyHost,  ekProxyUser,
    ekProxyPass,  ekFileFormat,  ekCharset,    ekEtalonTypes,  ekFields,     ekLengths,    ekDelim,
};
static_assert(std::size(SaveOrder) == EditKeyCount);

// The longest path the profiles file may hold for a folder.
constexpr size_t MaxStoredPath = 259;

std::vector<AnsiString> NamesOf(const TNamedCodes& table)
{
    std::vector<AnsiString> names;
    for (int i = 0; i < table.Count; ++i)
        names.emplace_back(table.Rows[i].Name);
    return names;
}

// The choices of a code row: the profile's code tables, the file formats, and the
// reference lists that the editor offers (none at all being the last choice).
std::vector<AnsiString> CodeNames(TEditKey key)
{
    switch (key) {
    case ekCipherType: return NamesOf(CipherTypes);
    case ekRecvType: return NamesOf(RecvTypes);
    case ekSendType: return NamesOf(SendTypes);
    case ekCharset: return NamesOf(CharsetTypes);
    case ekFileFormat: {
        std::vector<AnsiString> names;
        for (const TFileFormatInfo& format : FileFormats)
            names.emplace_back(format.Tag);
        return names;
    }
    case ekEtalonTypes: return {"NNS", "COM", ""};
    default: return {};
    }
}

// The choice of a stored name, upper-cased and trimmed; -2 when nothing is stored. A name
// that the table lacks becomes a choice of its own after the table's, as it is stored, so
// that the row shows what the file holds and a save writes it back unchanged.
int ChoiceOf(std::vector<AnsiString>& names, size_t tableCount, const std::optional<AnsiString>& stored)
{
    if (!stored)
        return -2;
    const AnsiString name = UpperCase(*stored);
    for (size_t i = 0; i < tableCount; ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    auto extra = std::find(names.begin() + static_cast<std::ptrdiff_t>(tableCount), names.end(), *stored);
    if (extra == names.end())
        extra = names.insert(names.end(), *stored);
    return static_cast<int>(extra - names.begin());
}

int ChoiceNamed(const std::vector<AnsiString>& names, const char* name)
{
    return static_cast<int>(std::find(names.begin(), names.end(), AnsiString(name)) - names.begin());
}

const TNamedCodes& TransportsOf(TEditKey type)
{
    return type == ekRecvType ? RecvTypes : SendTypes;
}

}  // namespace

const char* KeyNameOf(TEditKey key)
{
    return KeyInfos[key].Key;
}

TEditKind KindOf(TEditKey key)
{
    return KeyInfos[key].Kind;
}

const char* GroupCaptionOf(TEditKey key)
{
    return KeyInfos[key].Group;
}

const char* RowCaptionOf(TEditKey key)
{
    return KeyInfos[key].Caption;
}

AnsiString FieldLabel(const AnsiString& keyName)
{
    if (SameText(keyName, "Caption"))
        return ProfileNameLabel;
    if (SameText(keyName, "Prefix"))
        return PrefixLabel;
    const std::optional<TEditKey> key = FindEditKey(keyName);
    if (!key)
        return keyName;
    const TKeyInfo& info = KeyInfos[*key];
    return *info.Group ? AnsiString(info.Group) + " » " + info.Caption : AnsiString(info.Caption);
}

std::optional<TEditKey> FindEditKey(const AnsiString& keyName)
{
    for (int k = 0; k < EditKeyCount; ++k)
        if (SameText(keyName, KeyInfos[k].Key))
            return static_cast<TEditKey>(k);
    return std::nullopt;
}

// ---- Loading ----

void TProfileEditor::Load(TIniFile& ini, const AnsiString& section, bool global)
{
    FIni = &ini;
    FSection = section;
    FGlobal = global;
    FRows.assign(EditKeyCount, TEditRow());
    for (int k = 0; k < EditKeyCount; ++k) {
        const auto key = static_cast<TEditKey>(k);
        TEditRow& row = FRows[key];
        row.Key = KeyInfos[k].Key;
        row.Kind = KeyInfos[k].Kind;
        row.InheritedKey = row.Key;
        ReadStored(key);
        if (row.Kind == TEditKind::Code) {
            if (row.InheritedIndex < 0)
                row.InheritedIndex = DefaultChoice(key);
            row.Checked = row.OwnIndex >= 0;
        } else {
            if (!row.Inherited)
                row.Inherited = BuiltInDefault(key, row.InheritedKey);
            row.Checked = row.Own.has_value();
        }
        ShowValue(row);
        FollowRow(key);
    }
}

// A value blank in "Common" counts for nothing there: the load then takes its own default.
void TProfileEditor::ReadStored(TEditKey key)
{
    TEditRow& row = FRows[key];
    std::optional<AnsiString> common;
    if (FIni->ValueExists(CommonSection, row.Key))
        common = Trim(FIni->ReadString(CommonSection, row.Key, AnsiString()));
    row.Own.reset();
    row.Inherited.reset();
    if (FGlobal) {
        row.Own = common;
    } else {
        if (common && !common->empty())
            row.Inherited = common;
        if (FIni->ValueExists(FSection, row.Key))
            row.Own = Trim(FIni->ReadString(FSection, row.Key, AnsiString()));
    }
    if (row.Kind == TEditKind::Code) {
        row.Names = CodeNames(key);
        const size_t tableCount = row.Names.size();
        row.OwnIndex = ChoiceOf(row.Names, tableCount, row.Own);
        row.InheritedIndex = ChoiceOf(row.Names, tableCount, row.Inherited);
    }
}

// The choice that the load takes when no level names one: the first of the transports and
// ciphers, "DELIM", no reference lists, and the code page that goes with the format shown
// (CP866 for dBase, else CP1251).
int TProfileEditor::DefaultChoice(TEditKey key) const
{
    const TEditRow& row = FRows[key];
    if (key == ekEtalonTypes)
        return ChoiceNamed(row.Names, "");
    if (key != ekCharset)
        return 0;
    const TEditRow& format = FRows[ekFileFormat];
    const bool dbase = format.Index >= 0 && format.Names.at(static_cast<size_t>(format.Index)) == FileFormats[ffDBase].Tag;
    return ChoiceNamed(row.Names, dbase ? "CP866" : "CP1251");
}

// The code page that no level names follows the format shown, as the load's does; a code
// page chosen in the row stays.
void TProfileEditor::LoadCharsetDefault()
{
    TEditRow& row = FRows[ekCharset];
    if (row.Inherited)
        return;
    row.InheritedIndex = DefaultChoice(ekCharset);
    if (!row.Checked)
        ShowValue(row);
}

void TProfileEditor::FollowRow(TEditKey key)
{
    if (key == ekRecvType)
        LoadPort(ekRecvPort, ekRecvType);
    else if (key == ekSendType)
        LoadPort(ekSendPort, ekSendType);
    else if (key == ekFileFormat && !FRows[ekCharset].Names.empty())   // once the code page is read
        LoadCharsetDefault();
}

std::optional<TEditKey> DependentRow(TEditKey key)
{
    switch (key) {
    case ekRecvType: return ekRecvPort;
    case ekSendType: return ekSendPort;
    case ekFileFormat: return ekCharset;
    default: return std::nullopt;
    }
}

AnsiString TProfileEditor::BuiltInDefault(TEditKey key, AnsiString& scrambledUnder) const
{
    switch (key) {
    case ekBankEMail: return DefaultBankEMail;
    case ekBankPgpKey: return DefaultBankPgpKey;
    case ekBankVerbaKey: return DefaultBankVerbaKey;
    case ekRecvHost: return DefaultRecvHost;
    case ekProxyPort: return "3128";
    case ekPgpKeyPath: return "a:";
    case ekDelim: return ";";
    case ekEMail:
    case ekSendUser: return Effective(ekRecvUser);
    case ekSendHost: return Effective(ekRecvHost);
    case ekSendPass:
        scrambledUnder = FRows[ekRecvPass].Key;
        return Effective(ekRecvPass);
    default: return AnsiString();
    }
}

// The port is read again from the file; without a value from "Common" it inherits the
// default port of the transport that the type row shows now.
void TProfileEditor::LoadPort(TEditKey port, TEditKey type)
{
    TEditRow& row = FRows[port];
    ReadStored(port);
    const TNamedCodes& transports = TransportsOf(type);
    const int shown = FRows[type].Index;
    if (!row.Inherited && shown >= 0 && shown < transports.Count)
        row.Inherited = AnsiString(transports.Rows[shown].Extra);
    ShowValue(row);
}

void TProfileEditor::ShowValue(TEditRow& row)
{
    if (row.Kind == TEditKind::Code)
        row.Index = row.Checked && row.OwnIndex >= 0 ? row.OwnIndex : row.InheritedIndex;
    else
        row.Text = row.Checked && row.Own ? *row.Own : row.Inherited.value_or(AnsiString());
}

AnsiString TProfileEditor::Effective(TEditKey key) const
{
    const TEditRow& row = FRows[key];
    return row.Own ? *row.Own : row.Inherited.value_or(AnsiString());
}

// ---- The controls ----

void TProfileEditor::SetChecked(TEditKey key, bool checked)
{
    TEditRow& row = FRows[key];
    row.Checked = checked;
    ShowValue(row);
    FollowRow(key);
}

void TProfileEditor::SetText(TEditKey key, const AnsiString& text)
{
    FRows[key].Text = text;
}

void TProfileEditor::SetIndex(TEditKey key, int index)
{
    FRows[key].Index = index;
    FollowRow(key);
}

// ---- Saving ----

TKeyChanges TProfileEditor::Changes() const
{
    TKeyChanges changes;
    for (const TEditKey key : SaveOrder) {
        const TEditRow& row = FRows[key];
        if (row.Kind == TEditKind::Code)
            AddCodeChange(changes, row);
        else
            AddTextChange(changes, row);
    }
    return changes;
}

void TProfileEditor::Save()
{
    FIni->WriteKeys(FSection, Changes());
}

void TProfileEditor::AddTextChange(TKeyChanges& changes, const TEditRow& row) const
{
    if (!row.Checked) {
        if (row.Own)
            changes.push_back({row.Key, std::nullopt});
        return;
    }
    const AnsiString value = Trim(row.Text);
    if (row.Own && value == *row.Own)
        return;
    changes.push_back({row.Key, row.Kind == TEditKind::Password ? PasswordToStore(row, value) : value});
}

void TProfileEditor::AddCodeChange(TKeyChanges& changes, const TEditRow& row)
{
    if (!row.Checked) {
        if (row.OwnIndex >= 0)
            changes.push_back({row.Key, std::nullopt});
        return;
    }
    if (row.Index != row.OwnIndex && row.Index >= 0 && row.Index < static_cast<int>(row.Names.size()))
        changes.push_back({row.Key, row.Names[static_cast<size_t>(row.Index)]});
}

// ---- Checking the changes ----

namespace {

// The keys of the file as they will be once the changes to the section are written.
class TChangedKeys : public TKeySource {
public:
    TChangedKeys(const TKeySource& file, const AnsiString& section, const TKeyChanges& changes)
        : FFile(file), FSection(section), FChanges(changes)
    {
    }

    std::optional<AnsiString> ReadKey(const AnsiString& section, const AnsiString& key) const override
    {
        if (SameText(Trim(section), Trim(FSection)))
            for (const TKeyChange& change : FChanges)
                if (SameText(Trim(key), change.Key))
                    return change.Value ? std::optional(IniValueAsRead(*change.Value)) : std::nullopt;
        return FFile.ReadKey(section, key);
    }

private:
    const TKeySource& FFile;
    const AnsiString& FSection;
    const TKeyChanges& FChanges;
};

// The keys that the dialog lets the user mend: its rows and, for a profile, the name and
// the prefix.
bool DialogShows(const AnsiString& keyName)
{
    return FindEditKey(keyName) || SameText(keyName, "Caption") || SameText(keyName, "Prefix");
}

std::vector<AnsiString> ProfileSections(const TIniFile& ini)
{
    TStringList sections;
    ini.ReadSections(sections);
    std::vector<AnsiString> profiles;
    for (const AnsiString& name : sections.Items())
        if (!SameText(name, CommonSection))
            profiles.push_back(name);
    return profiles;
}

bool ListsKey(const std::vector<AnsiString>& keys, const AnsiString& key)
{
    return std::any_of(keys.begin(), keys.end(), [&](const AnsiString& listed) { return SameText(Trim(key), listed); });
}

// The keys of another source with some of them read as absent everywhere, so that each
// takes the load's default.
class TKeysWithout : public TKeySource {
public:
    TKeysWithout(const TKeySource& keys, const std::vector<AnsiString>& absent) : FKeys(keys), FAbsent(absent) {}

    std::optional<AnsiString> ReadKey(const AnsiString& section, const AnsiString& key) const override
    {
        return ListsKey(FAbsent, key) ? std::nullopt : FKeys.ReadKey(section, key);
    }

private:
    const TKeySource& FKeys;
    const std::vector<AnsiString>& FAbsent;
};

// The refusal of the profile after the changes that counts against them. A fault that the
// file has already, in a key the dialog cannot mend here, is none of the changes' doing;
// the load stops at the first fault, so the check goes on past it with that key at its
// default, and a value the changes break behind it is still found.
std::optional<TRefusal> NewRefusal(const TKeySource& file, const TKeySource& changed, const AnsiString& profile,
                                   bool global)
{
    std::vector<AnsiString> passed;
    for (;;) {
        std::optional<TRefusal> refusal = LoadRefusal(TKeysWithout(changed, passed), profile);
        if (!refusal)
            return std::nullopt;
        if (!global && DialogShows(refusal->Key))
            return refusal;
        if (LoadRefusal(TKeysWithout(file, passed), profile) != refusal)
            return refusal;
        // Its default refused as well (a required key, say): nothing further to learn.
        if (refusal->Key.empty() || ListsKey(passed, refusal->Key))
            return std::nullopt;
        passed.push_back(refusal->Key);
    }
}

}  // namespace

std::optional<TRefusal> LoadRefusal(const TKeySource& keys, const AnsiString& section)
{
    try {
        CheckProfile(keys, section);
    } catch (const EProfileValueError& error) {
        return TRefusal{error.Key, error.Message(), section};
    } catch (const Exception& error) {
        return TRefusal{AnsiString(), error.Message(), section};
    }
    return std::nullopt;
}

std::optional<TRefusal> RefusalOfChanges(const TIniFile& ini, const AnsiString& section, bool global,
                                         const TKeyChanges& changes)
{
    const TIniKeySource file(ini);
    const TChangedKeys changed(file, section, changes);
    const std::vector<AnsiString> profiles = global ? ProfileSections(ini) : std::vector<AnsiString>{section};
    for (const AnsiString& profile : profiles)
        if (std::optional<TRefusal> refusal = NewRefusal(file, changed, profile, global))
            return refusal;
    // The file would refuse a line break (it would split the line) with a message that
    // names no field; the dialog names it here.
    for (const TKeyChange& change : changes)
        if (change.Value && HasLineBreak(*change.Value))
            return TRefusal{change.Key, "Значение параметра " + change.Key +
                                            " содержит перевод строки, в профиле его сохранить нельзя"};
    return std::nullopt;
}

namespace {

bool IsKeyNameChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_';
}

// The text with the key's name, where it stands as a word, replaced by the field's label.
AnsiString WithFieldLabel(const AnsiString& text, const AnsiString& keyName)
{
    const AnsiString label = FieldLabel(keyName);
    if (keyName.empty() || label == keyName)
        return text;
    for (size_t at = text.find(keyName); at != AnsiString::npos; at = text.find(keyName, at + 1)) {
        const size_t end = at + keyName.size();
        if ((at == 0 || !IsKeyNameChar(text[at - 1])) && (end == text.size() || !IsKeyNameChar(text[end])))
            return text.substr(0, at) + "\"" + label + "\"" + text.substr(end);
    }
    return text;
}

}  // namespace

AnsiString RefusalText(const TRefusal& refusal, const TIniFile& ini, const AnsiString& section,
                       const TKeyChanges& changes)
{
    AnsiString text = refusal.Message;
    const AnsiString sectionPrefix = "Профиль " + refusal.Profile + ": ";
    const bool namesProfile = !refusal.Profile.empty() && text.compare(0, sectionPrefix.size(), sectionPrefix) == 0;
    if (namesProfile)
        text = text.substr(sectionPrefix.size());
    text = WithFieldLabel(text, refusal.Key);
    if (!namesProfile)
        return text;
    const TIniKeySource file(ini);
    const TChangedKeys changed(file, section, changes);
    const TProfileHeader saved(changed, refusal.Profile);
    return "Профиль " + saved.Caption + ": " + text;
}

AnsiString UnstorableText(const AnsiString& keyName, const char* reason)
{
    return WithFieldLabel("Значение параметра " + keyName + " " + reason, keyName);
}

// A password box shows the stored text, which is scrambled already. Taken over unchanged
// from the level below, it is stored as it is (scrambled again, it would no longer read
// back as the password); a text scrambled under another key is unscrambled with that key
// first. Anything else the user typed is scrambled once.
AnsiString TProfileEditor::PasswordToStore(const TEditRow& row, const AnsiString& value) const
{
    const bool inheritedAsStored = row.Inherited && value == *row.Inherited && !value.empty() && value[0] == '\\';
    if (!inheritedAsStored)
        return "\\" + ScramblePassword(value, row.Key);
    if (row.InheritedKey == row.Key)
        return value;
    return "\\" + ScramblePassword(UnscramblePassword(value.substr(1), row.InheritedKey), row.Key);
}

// ---- Sections and folders ----

AnsiString NewSectionName(const TIniFile& ini)
{
    for (int i = 0;; ++i) {
        const AnsiString name = "Profile" + IntToStr(i);
        if (!ini.SectionExists(name))
            return name;
    }
}

AnsiString FolderBrowseStart(const AnsiString& text)
{
    const AnsiString stored = Trim(text);
    if (!stored.empty()) {
        const AnsiString folder = ExpandProfileFolder(stored);
        if (DirectoryExists(folder))
            return folder;
    }
    const AnsiString keys = ProgramFolder() + "Keys/";
    return DirectoryExists(keys) ? keys : ProgramFolder();
}

AnsiString StoredFolderText(const AnsiString& chosen)
{
    const AnsiString path = chosen.size() > 1 ? ExcludeTrailingPathDelimiter(chosen) : chosen;
    if (HasLineBreak(path))
        throw Exception("Путь к папке содержит перевод строки, в профиле его сохранить нельзя");
    if (path.size() > MaxStoredPath)
        throw Exception("Путь к папке длиннее " + IntToStr(MaxStoredPath) +
                        " символов, в профиле его сохранить нельзя: " + path);
    return ProgramRelativePath(path);
}
