#include "documents/Profiles.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Passwords.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

const TNamedCode CipherTypeRows[] = {{"PGP", ctPgp, ""}, {"VERBA", ctVerba, ""}};
const TNamedCode RecvTypeRows[] = {{"POP3", ttPop3, "110"}, {"IMAP4", ttImap4, "143"}, {"HTTP", ttHttp, "80"}};
const TNamedCode SendTypeRows[] = {{"SMTP", ttSmtp, "25"}, {"HTTP", ttHttp, "80"}};
const TNamedCode CharsetTypeRows[] = {{"CP866", 1, ""}, {"CP1251", 0, ""}, {"KOI8R", 2, ""}, {"UTF8", 3, ""}};

const char DefaultPgpKeyPath[] = "a:";
const char DefaultXmlPersonPath[] = "/СчетаПК/ЗачислениеЗарплаты/Сотрудник";
const char DefaultXmlPersonPattern[] = "<Фамилия> <Имя> <Отчество>;<ЛицевойСчет>;<Сумма>";

const char* const PasswordKeys[] = {"SendPass", "RecvPass", "ProxyPass"};

const uint8_t ExportKindFormats[] = {ffDelim, ffFixed, ffDBase, ffXml};
const uint8_t ReplyKindFormats[] = {ffDelim, ffFixed};

// The widest line of a fixed-width file: wider widths are a slip of the keyboard, and
// padding a line to them would take gigabytes of memory.
constexpr int64_t LongestFixedLine = 65536;

bool ConsistsOf(const AnsiString& text, const char* allowed)
{
    return text.find_first_not_of(allowed) == AnsiString::npos;
}

[[noreturn]] void Refuse(const AnsiString& key, const AnsiString& message)
{
    throw EProfileValueError(key, message);
}

[[noreturn]] void RaiseBadValue(const AnsiString& key)
{
    Refuse(key, "Неверное значение параметра " + key);
}

// A stored path as it is; of the drive letters only the diskette's "a:" has a place on
// this system, any other would become a folder of that odd name.
const AnsiString& CheckDrive(const AnsiString& key, const AnsiString& path)
{
    if (HasDriveLetter(path) && !IsDiskettePath(path))
        RaiseBadValue(key);
    return path;
}

// The row of the table whose name the key's upper-cased text is, or the error of a bad value.
const TNamedCode& ReadNamedCode(const TProfileParams& params, const TNamedCodes& table, const AnsiString& key,
                                const AnsiString& def)
{
    const int row = FindNamedCode(table, UpperCase(params.ReadParam(key, def)));
    if (row < 0)
        RaiseBadValue(key);
    return table.Rows[row];
}

// The text split on ","; an empty text gives no items.
TStringList SplitList(const AnsiString& text)
{
    TStringList items;
    SplitString(items, text, ",");
    return items;
}

bool Contains(const TIntArray& values, int32_t value)
{
    for (int i = 0; i < values.Count(); ++i)
        if (values.At(i) == value)
            return true;
    return false;
}

} // namespace

const TNamedCodes CipherTypes = {CipherTypeRows, static_cast<int32_t>(std::size(CipherTypeRows))};
const TNamedCodes RecvTypes = {RecvTypeRows, static_cast<int32_t>(std::size(RecvTypeRows))};
const TNamedCodes SendTypes = {SendTypeRows, static_cast<int32_t>(std::size(SendTypeRows))};
const TNamedCodes CharsetTypes = {CharsetTypeRows, static_cast<int32_t>(std::size(CharsetTypeRows))};

int FindNamedCode(const TNamedCodes& table, const AnsiString& name)
{
    for (int i = 0; i < table.Count; ++i)
        if (name == table.Rows[i].Name)
            return i;
    return -1;
}

AnsiString NamedCodeName(const TNamedCodes& table, int32_t code)
{
    for (int32_t i = 0; i < table.Count; ++i)
        if (table.Rows[i].Code == code)
            return table.Rows[i].Name;
    return IntToStr(code);
}

// ---- Paths ----

namespace {

bool IsWindowsPath(const AnsiString& path)
{
    return path.find('/') == AnsiString::npos;
}

}  // namespace

AnsiString ExpandProfilePath(const AnsiString& path)
{
    return ExpandFileNameFrom(IsWindowsPath(path) ? NormalizeSeparators(path) : path, ProgramFolder());
}

AnsiString ExpandProfileFolder(const AnsiString& path)
{
    return IncludeTrailingPathDelimiter(ExpandProfilePath(path));
}

AnsiString ProgramRelativePath(const AnsiString& path)
{
    const AnsiString folder = ProgramFolder();
    if (path.compare(0, folder.size(), folder) != 0)
        return path;
    const AnsiString relative = path.substr(folder.size());
    const bool readsBackAlike = relative.find('\\') == AnsiString::npos || !IsWindowsPath(relative);
    return readsBackAlike ? relative : path;
}

// ---- Key sources ----

std::optional<AnsiString> TIniKeySource::ReadKey(const AnsiString& section, const AnsiString& key) const
{
    if (!FIni.ValueExists(section, key))
        return std::nullopt;
    return FIni.ReadString(section, key, AnsiString());
}

// ---- TProfileParams ----

TIniFile& TProfileParams::Ini() const
{
    TIniFile* ini = Owner->Store ? Owner->Store->Ini() : nullptr;
    if (!ini)
        throw Exception("Файл профилей не открыт");
    return *ini;
}

AnsiString TProfileParams::ReadParam(const AnsiString& key, const std::optional<AnsiString>& def) const
{
    std::optional<AnsiString> stored = Owner->Keys.ReadKey(Owner->Name, key);
    if (!stored)
        stored = Owner->Keys.ReadKey(CommonSection, key);
    const AnsiString text = Trim(stored.value_or(AnsiString()));
    if (!text.empty())
        return text;
    if (!def)
        Refuse(key, "Не задано значение параметра " + key);
    return *def;
}

int32_t TProfileParams::ReadIntParam(const AnsiString& key, const std::optional<AnsiString>& def) const
{
    int32_t value = 0;
    if (!TryStrToInt(ReadParam(key, def), value))
        Refuse(key, "Неверный формат параметра " + key);
    return value;
}

int32_t TProfileParams::ReadPortParam(const AnsiString& key, const std::optional<AnsiString>& def) const
{
    const int32_t port = ReadIntParam(key, def);
    if (port < 0 || port > 65535)
        RaiseBadValue(key);
    return port;
}

AnsiString TProfileParams::ReadPathParam(const AnsiString& key, const std::optional<AnsiString>& def) const
{
    return ExpandProfileFolder(CheckDrive(key, ReadParam(key, def)));
}

AnsiString TProfileParams::ReadPasswordParam(const AnsiString& key, const std::optional<AnsiString>& def) const
{
    const AnsiString text = ReadParam(key, def);
    if (!text.empty() && text[0] == '\\')
        return UnscramblePassword(text.substr(1), key);
    return text;
}

void TProfileParams::WriteParam(const AnsiString& key, const AnsiString& value) const
{
    Ini().WriteString(Owner->Name, key, value);
}

// ---- TProfileHeader ----

TProfileHeader::TProfileHeader(TProfiles* store, const AnsiString& name)
    : TProfileParams(this), Keys(*store), Store(store), Name(name)
{
    Caption = ReadParam("Caption", name);
}

TProfileHeader::TProfileHeader(const TKeySource& keys, const AnsiString& name)
    : TProfileParams(this), Keys(keys), Store(nullptr), Name(name)
{
    Caption = ReadParam("Caption", name);
}

// ---- TFileProfile ----

TFileProfile::TFileProfile(TProfile* owner, const AnsiString& name) : TProfileParams(owner), Name(name) {}

AnsiString TFileProfile::KeyName(const AnsiString& key) const
{
    return Name + "." + key;
}

void TFileProfile::Load()
{
    const AnsiString nameKey = KeyName("FileName");
    const AnsiString fileName = ReadParam(nameKey, AnsiString());
    FileName = fileName.empty() ? AnsiString() : ExpandProfilePath(CheckDrive(nameKey, fileName));

    const AnsiString countKey = KeyName("FileCount");
    FileCount = ReadIntParam(countKey, "0");
    if (FileCount < 0)
        RaiseBadValue(countKey);

    Comment = ReadParam(KeyName("Comment"), AnsiString());
}

void TFileProfile::SetFileName(const AnsiString& name)
{
    WriteParam(KeyName("FileName"), ProgramRelativePath(name));
    FileName = name;
}

void TFileProfile::SetFileCount(int32_t count)
{
    WriteParam(KeyName("FileCount"), IntToStr(count));
    FileCount = count;
}

void TFileProfile::SetComment(const AnsiString& text)
{
    WriteParam(KeyName("Comment"), text);
    Comment = text;
}

// ---- TFormatProfile ----

TFormatProfile::TFormatProfile(TProfile* owner, const AnsiString& name, const uint8_t* allowedFormats,
                               int32_t allowedCount, int32_t fieldCount)
    : TFileProfile(owner, name), AllowedFormats(allowedFormats), AllowedCount(allowedCount), FieldCount(fieldCount)
{
}

void TFormatProfile::Load()
{
    TFileProfile::Load();
    LoadFileFormat();
    LoadFieldIndexes();
    LoadFieldLengths();
    LoadXmlPaths();
    LoadDelimiter();
    LoadCharset();
}

void TFormatProfile::LoadFileFormat()
{
    const AnsiString key = KeyName("FileFormat");
    const AnsiString tag = ReadParam(key, FileFormats[ffDelim].Tag);
    for (int i = 0; i < AllowedCount; ++i) {
        if (SameText(tag, FileFormats[AllowedFormats[i]].Tag)) {
            FileFormat = AllowedFormats[i];
            return;
        }
    }
    Refuse(key, "Задан неверный формат файла в параметре " + key);
}

void TFormatProfile::LoadFieldIndexes()
{
    const AnsiString key = KeyName("Fields");
    const TStringList items = SplitList(ReadParam(key, AnsiString()));
    FieldIndexes.SetCount(0);
    if (items.Count() == 0) {
        FieldIndexes.SetCount(FieldCount);
        for (int i = 0; i < FieldCount; ++i)
            FieldIndexes.Set(i, i);
        return;
    }

    bool anyField = false;
    for (int i = 0; i < items.Count(); ++i) {
        const AnsiString item = Trim(items[i]);
        if (item.empty()) {
            FieldIndexes.Add(-1);
            continue;
        }
        int32_t number = 0;
        if (!TryStrToInt(item, number))
            Refuse(key, "Неверный формат индекса поля в параметре " + key);
        if (number < 1 || number > FieldCount)
            Refuse(key, "Неверное значение индекса поля в параметре " + key);
        if (Contains(FieldIndexes, number - 1))
            Refuse(key, "Дублирование индексов полей в параметре " + key);
        FieldIndexes.Add(number - 1);
        anyField = true;
    }
    if (!anyField)
        Refuse(key, "Не задано ни одного индекса в параметре " + key);
}

// Widths are read for FIXED (required) and DBASE (when given); any other format clears
// them, so that a kind switched to another format keeps no stale widths.
void TFormatProfile::LoadFieldLengths()
{
    FieldLengths.SetCount(0);
    if (FileFormat != ffFixed && FileFormat != ffDBase)
        return;
    const AnsiString key = KeyName("Lengths");
    const AnsiString text = ReadParam(key, AnsiString());
    if (FileFormat == ffDBase && text.empty())
        return;

    const TStringList items = SplitList(text);
    if (items.Count() < FieldIndexes.Count())
        Refuse(key, "Количество значений в параметре " + key + " должно быть не менее " +
                    IntToStr(FieldIndexes.Count()));
    int64_t lineWidth = 0;
    for (int i = 0; i < items.Count(); ++i) {
        int32_t length = 0;
        if (!TryStrToInt(Trim(items[i]), length))
            Refuse(key, "Неверный формат длины поля в параметре " + key);
        if (length <= 0)
            Refuse(key, "Неверное значение длины поля в параметре " + key);
        FieldLengths.Add(length);
        lineWidth += length;
    }
    if (lineWidth > LongestFixedLine)
        RaiseBadValue(key);
}

void TFormatProfile::LoadXmlPaths()
{
    XMLPersonPath.clear();
    XMLPersonPattern.clear();
    if (FileFormat != ffXml)
        return;
    XMLPersonPath = ReadParam(KeyName("XMLPersonPath"), DefaultXmlPersonPath);
    XMLPersonPattern = ReadParam(KeyName("XMLPersonPattern"), DefaultXmlPersonPattern);
}

// A line break inside the delimiter would split each record on the next load.
void TFormatProfile::LoadDelimiter()
{
    const AnsiString key = KeyName("Delim");
    Delim = ReadParam(key, ";");
    if (HasLineBreak(Delim))
        RaiseBadValue(key);
}

// A dBase file has fixed byte widths per field, which a per-line UTF-8 conversion would
// shift, so UTF-8 is refused there.
void TFormatProfile::LoadCharset()
{
    const AnsiString key = KeyName("Charset");
    const AnsiString name = ReadParam(key, FileFormat == ffDBase ? "CP866" : "CP1251");
    for (int i = 0; i < CharsetTypes.Count; ++i) {
        const TNamedCode& row = CharsetTypes.Rows[i];
        if (!SameText(name, row.Name))
            continue;
        if (FileFormat == ffDBase && row.Code == CodePageUtf8)
            Refuse(key, "Кодировка UTF8 не поддерживается для формата DBASE");
        Charset = static_cast<uint8_t>(row.Code);
        return;
    }
    Refuse(key, "Задана неверная кодировка в параметре " + key);
}

// ---- Export and reply kinds ----

TExportProfile::TExportProfile(TProfile* owner, int kind)
    : TFormatProfile(owner, ExportDocTypes[kind].Code, ExportKindFormats, std::size(ExportKindFormats),
                     ExportDocTypes[kind].FieldCount),
      DocType(&ExportDocTypes[kind])
{
}

TReplyProfile::TReplyProfile(TProfile* owner, int kind)
    : TFormatProfile(owner, ReplyDocTypes[kind].Code, ReplyKindFormats, std::size(ReplyKindFormats),
                     ReplyDocTypes[kind].ColumnCount),
      ReplyType(&ReplyDocTypes[kind])
{
}

TSalaryProfile::TSalaryProfile(TProfile* owner) : TExportProfile(owner, 0) {}

void TSalaryProfile::Load()
{
    TExportProfile::Load();

    const AnsiString typesKey = KeyName("EtalonTypes");
    const TStringList items = SplitList(ReadParam(typesKey, AnsiString()));
    EtalonTypes.SetCount(0);
    for (int i = 0; i < items.Count(); ++i) {
        const AnsiString code = Trim(items[i]);
        int type = 0;
        while (type < EtalonTypeCount && !SameText(code, EtalonTypeInfos[type].Code))
            ++type;
        if (type == EtalonTypeCount)
            Refuse(typesKey, "Неизвестный тип эталона в параметре " + typesKey);
        if (!Contains(EtalonTypes, type))
            EtalonTypes.Add(type);
    }
    if (EtalonTypes.Count() == 0)
        return;

    const AnsiString expireKey = KeyName("EtalonExpire");
    EtalonExpire = ReadIntParam(expireKey, "1");
    if (EtalonExpire <= 0)
        RaiseBadValue(expireKey);
}

TExportProfiles::TExportProfiles(TProfile* owner)
{
    Add(new TSalaryProfile(owner));
    for (int kind = 1; kind < ExportDocTypeCount; ++kind)
        Add(new TExportProfile(owner, kind));
}

TReplyProfiles::TReplyProfiles(TProfile* owner)
{
    for (int kind = 0; kind < ReplyDocTypeCount; ++kind)
        Add(new TReplyProfile(owner, kind));
}

// ---- TProfile ----

TProfile::TProfile(TProfiles* store, const AnsiString& name)
    : TProfileHeader(store, name), ExportProfiles(this), ReplyProfiles(this), ArbitraryProfile(this, "Arbitrary")
{
}

TProfile::TProfile(const TKeySource& keys, const AnsiString& name)
    : TProfileHeader(keys, name), ExportProfiles(this), ReplyProfiles(this), ArbitraryProfile(this, "Arbitrary")
{
}

namespace {

// Runs a profile's load; its error names the profile.
template <class TLoad>
void LoadNamed(const AnsiString& section, TLoad load)
{
    try {
        load();
    } catch (Exception& error) {
        error.SetMessage("Профиль " + section + ": " + error.Message());
        throw;
    }
}

}  // namespace

void CheckProfile(const TKeySource& keys, const AnsiString& section)
{
    TProfile profile(keys, section);
    LoadNamed(section, [&] { profile.Load(); });
}

void TProfile::Load()
{
    LoadPrefix();
    LoadCipher();
    LoadReceiver();
    LoadSender();
    LoadProxy();
    LoadDocumentKinds();
    DataPath = ReadPathParam("DataPath", ProgramFolder());
}

void TProfile::LoadPrefix()
{
    Prefix = UpperCase(ReadParam("Prefix"));
    if (Prefix.size() != 3 || !ConsistsOf(Prefix, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"))
        Refuse("Prefix", "Параметр Prefix должен состоять из трех латинских букв и/или цифр");
}

// Only the chosen cipher's keys are read; the other cipher's fields are left empty.
void TProfile::LoadCipher()
{
    CipherType = static_cast<uint8_t>(ReadNamedCode(*this, CipherTypes, "CipherType", "PGP").Code);
    BankPgpKey.clear();
    PgpKeyPath.clear();
    BankVerbaKey.clear();
    VerbaPubPath.clear();
    VerbaSecPath.clear();
    if (CipherType == ctPgp) {
        BankPgpKey = ReadParam("BankPgpKey", DefaultBankPgpKey);
        if (BankPgpKey.size() != 16 || !ConsistsOf(BankPgpKey, "0123456789ABCDEF"))
            Refuse("BankPgpKey", "Параметр BankPgpKey должен состоять из шестнадцати hex-цифр");
        PgpKeyPath = ReadPathParam("PgpKeyPath", DefaultPgpKeyPath);
    } else {
        BankVerbaKey = ReadParam("BankVerbaKey", DefaultBankVerbaKey);
        if (BankVerbaKey.size() != 4 || !ConsistsOf(BankVerbaKey, "0123456789"))
            Refuse("BankVerbaKey", "Параметр BankVerbaKey должен состоять из четырех цифр");
        VerbaPubPath = ReadPathParam("VerbaPubPath");
        VerbaSecPath = ReadPathParam("VerbaSecPath");
    }
}

void TProfile::LoadReceiver()
{
    const TNamedCode& transport = ReadNamedCode(*this, RecvTypes, "RecvType", "POP3");
    RecvType = static_cast<uint8_t>(transport.Code);
    RecvPort = ReadPortParam("RecvPort", transport.Extra);
    RecvHost = ReadParam("RecvHost", DefaultRecvHost);
    RecvUser = ReadParam("RecvUser");
    RecvPass = ReadPasswordParam("RecvPass");
}

// The sending side repeats the receiving side's host, user and password unless it has its own.
void TProfile::LoadSender()
{
    const TNamedCode& transport = ReadNamedCode(*this, SendTypes, "SendType", "SMTP");
    SendType = static_cast<uint8_t>(transport.Code);
    SendPort = ReadPortParam("SendPort", transport.Extra);
    SendHost = ReadParam("SendHost", RecvHost);
    SendUser = ReadParam("SendUser", RecvUser);
    SendPass = ReadPasswordParam("SendPass", RecvPass);
    EMail = ReadAddressParam("EMail", RecvUser);
    BankEMail = ReadAddressParam("BankEMail", DefaultBankEMail);
}

// Mail addresses reach the message headers and the SMTP envelope, where a control
// character could start a line of its own.
AnsiString TProfile::ReadAddressParam(const AnsiString& key, const AnsiString& def) const
{
    const AnsiString text = ReadParam(key, def);
    if (std::any_of(text.begin(), text.end(), IsControlChar))
        RaiseBadValue(key);
    return text;
}

void TProfile::LoadProxy()
{
    ProxyHost = ReadParam("ProxyHost", AnsiString());
    ProxyPort = ReadPortParam("ProxyPort", "3128");
    ProxyUser = ReadParam("ProxyUser", AnsiString());
    ProxyPass = ReadPasswordParam("ProxyPass", AnsiString());
}

void TProfile::LoadDocumentKinds()
{
    for (int i = 0; i < ExportProfiles.Count(); ++i)
        ExportProfiles.At(i)->Load();
    for (int i = 0; i < ReplyProfiles.Count(); ++i)
        ReplyProfiles.At(i)->Load();
    ArbitraryProfile.Load();
}

// ---- TProfiles ----

TProfiles::TProfiles() = default;

// The file goes first, then the profiles (with the base array).
TProfiles::~TProfiles()
{
    FIni.reset();
}

void TProfiles::Open(const AnsiString& fileName)
{
    Close();
    if (!FileExists(fileName))
        throw Exception("Файл не существует: " + fileName);
    FIni = std::make_unique<TIniFile>(fileName);
    Load();
}

void TProfiles::Close()
{
    FIni.reset();
    FCurrent = nullptr;
}

void TProfiles::Load()
{
    FCurrent = nullptr;
    SetCount(0);
    try {
        if (!FIni)
            throw Exception("Файл профилей не открыт");
        // What another program or the user changed since the last read counts.
        FIni->Reload();
        TStringList sections;
        FIni->ReadSections(sections);
        // The file class lists sections that differ only in case once, as the one they are.
        const std::vector<AnsiString>& names = sections.Items();
        for (const AnsiString& name : names)
            UpgradeSection(name);
        for (const AnsiString& name : names) {
            if (SameText(name, CommonSection))
                continue;
            std::unique_ptr<TProfile> profile = std::make_unique<TProfile>(this, name);
            Add(profile.get());
            profile.release();
        }
    } catch (...) {
        SetCount(0);
        throw;
    }
}

// Brings one section up to date: plain passwords are stored scrambled, and the counter
// of the salary list kept under its old name moves to its own key.
void TProfiles::UpgradeSection(const AnsiString& section)
{
    for (const char* key : PasswordKeys) {
        const AnsiString text = FIni->ReadString(section, key, AnsiString());
        if (!text.empty() && text[0] != '\\')
            FIni->WriteString(section, key, "\\" + ScramblePassword(text, key));
    }
    if (FIni->ValueExists(section, "FileCount") && !FIni->ValueExists(section, "Salary.FileCount")) {
        FIni->WriteString(section, "Salary.FileCount", FIni->ReadString(section, "FileCount", AnsiString()));
        FIni->DeleteKey(section, "FileCount");
    }
}

void TProfiles::Select(int index)
{
    TProfile* profile = Profile(index);
    FCurrent = nullptr;
    LoadNamed(profile->Name, [&] {
        if (FIni)
            FIni->Reload();
        profile->Load();
    });
    FCurrent = profile;
}

std::optional<AnsiString> TProfiles::ReadKey(const AnsiString& section, const AnsiString& key) const
{
    if (!FIni)
        throw Exception("Файл профилей не открыт");
    return TIniKeySource(*FIni).ReadKey(section, key);
}

AnsiString TProfiles::GetFileName() const
{
    return FIni ? FIni->FileName() : AnsiString();
}

TProfile* TProfiles::Profile(int index) const
{
    return static_cast<TProfile*>(At(index));
}

// ---- The holder ----

TProfiles* TProfilesPtr::Create()
{
    return new TProfiles();
}

TProfilesPtr Profiles;
