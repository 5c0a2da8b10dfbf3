#pragma once
// The profile store: the profiles file (one section per client profile and a section
// "Common" whose keys stand in for any key a profile lacks), the profile the user selected
// with all its settings, and the settings of every document kind the profile exchanges.

#include "documents/Containers.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <memory>
#include <optional>

class TProfiles;
class TProfile;
class TProfileHeader;
struct TDocTypeInfo;
struct TReplyTypeInfo;

// ---- Code tables shared by the profile store and the profile editor ----

struct TNamedCode {
    const char* Name;
    int32_t Code;
    const char* Extra;   // the default port of a transport, "" otherwise
};

struct TNamedCodes {
    const TNamedCode* Rows;
    int32_t Count;
};

extern const TNamedCodes CipherTypes;    // "PGP" 0, "VERBA" 1
extern const TNamedCodes RecvTypes;      // "POP3" 0, "IMAP4" 1, "HTTP" 2
extern const TNamedCodes SendTypes;      // "SMTP" 3, "HTTP" 2
extern const TNamedCodes CharsetTypes;   // "CP866" 1, "CP1251" 0, "KOI8R" 2, "UTF8" 3

// Cipher codes; transport codes share one space.
constexpr uint8_t ctPgp = 0;
constexpr uint8_t ctVerba = 1;
constexpr uint8_t ttPop3 = 0;
constexpr uint8_t ttImap4 = 1;
constexpr uint8_t ttHttp = 2;
constexpr uint8_t ttSmtp = 3;

// The index of the first row whose Name equals name byte for byte, or -1.
int FindNamedCode(const TNamedCodes& table, const AnsiString& name);
// The name of the first row with that code, or the code itself in digits when none has it.
AnsiString NamedCodeName(const TNamedCodes& table, int32_t code);

// The bank's own service and keys, used when a profile names no other.
inline constexpr char DefaultRecvHost[] = "mail.velton-bank.ru";
inline constexpr char DefaultBankEMail[] = "zem-export@velton-bank.ru";
inline constexpr char DefaultBankPgpKey[] = "6C1E9A04D7B35F28";
inline constexpr char DefaultBankVerbaKey[] = "0586";

// The name of the section of shared values.
inline constexpr char CommonSection[] = "Common";

// ---- Paths kept in the profiles file ----

// A stored path made absolute: a relative path is taken from the program's folder (never
// the current one), nothing is checked on disk. A path written on Windows separates with
// "\": in a path that holds no "/", "\" becomes "/"; a path that holds a "/" was written
// here, and a "\" in it is part of a file name. A path on the diskette drive ("a:\keys")
// stays one, so that the diskette test still recognises it; the files open where
// MapDrivePath puts it. The key readers refuse other drive letters.
AnsiString ExpandProfilePath(const AnsiString& path);
// As ExpandProfilePath, for a folder: the result ends with "/".
AnsiString ExpandProfileFolder(const AnsiString& path);
// The text to store for a path: relative to the program's folder when it lies below it
// (compared byte for byte), else the path itself. A relative text that would hold a "\"
// but no "/" would read back as a Windows path, so such a path is stored whole.
AnsiString ProgramRelativePath(const AnsiString& path);

// ---- Where the keys come from ----

// The keys of a profiles file as its file class reads them (trimmed, without a pair of
// quotes): the file itself, or the values the profile editor is about to write over it,
// so that the editor can check them with the load's own rules before it writes.
class TKeySource {
public:
    virtual ~TKeySource() = default;
    // The text of key in section; none when the section does not hold the key.
    virtual std::optional<AnsiString> ReadKey(const AnsiString& section, const AnsiString& key) const = 0;
};

// The keys of a profiles file as they are.
class TIniKeySource : public TKeySource {
public:
    explicit TIniKeySource(const TIniFile& ini) : FIni(ini) {}
    std::optional<AnsiString> ReadKey(const AnsiString& section, const AnsiString& key) const override;

private:
    const TIniFile& FIni;
};

// A value that the profile's load refuses (or a required key that is missing); Key is
// the full name of the key ("Salary.Charset"), so that the profile editor can find the
// field that holds it.
class EProfileValueError : public Exception {
public:
    EProfileValueError(AnsiString key, AnsiString message) : Exception(std::move(message)), Key(std::move(key)) {}
    AnsiString Key;
};

// ---- Key access ----

// The base of every settings object: reads and writes keys in the section of the owner's
// profile, in the store's open file. A key missing or blank in the profile's section is
// taken from "Common"; a key present but blank in the profile's own section takes the
// default and does not fall back. Values are trimmed. A def of std::nullopt makes the key
// required: a missing key raises "Не задано значение параметра " + key.
class TProfileParams {
public:
    explicit TProfileParams(TProfileHeader* owner) : Owner(owner) {}
    virtual ~TProfileParams() = default;

    TProfileParams(const TProfileParams&) = delete;
    TProfileParams& operator=(const TProfileParams&) = delete;

    AnsiString ReadParam(const AnsiString& key, const std::optional<AnsiString>& def = std::nullopt) const;
    // A 32-bit integer; "Неверный формат параметра " + key otherwise.
    int32_t ReadIntParam(const AnsiString& key, const std::optional<AnsiString>& def = std::nullopt) const;
    // An integer 0-65535; "Неверное значение параметра " + key otherwise.
    int32_t ReadPortParam(const AnsiString& key, const std::optional<AnsiString>& def = std::nullopt) const;
    // An absolute folder ending with "/" (ExpandProfileFolder); a drive letter other than
    // the diskette's raises "Неверное значение параметра " + key.
    AnsiString ReadPathParam(const AnsiString& key, const std::optional<AnsiString>& def = std::nullopt) const;
    // The plain password: a value beginning with "\" is unscrambled with key as the key.
    AnsiString ReadPasswordParam(const AnsiString& key, const std::optional<AnsiString>& def = std::nullopt) const;

    // Stores key=value in the profile's own section (never in "Common"); the file is
    // written at once. A value with a line break is refused by the file class.
    void WriteParam(const AnsiString& key, const AnsiString& value) const;

    TProfileHeader* Owner;

private:
    TIniFile& Ini() const;
};

// What the profile list shows: the section and the profile's display name.
class TProfileHeader : public TProfileParams {
public:
    // Reads "Caption" (the section name when there is none) from the store's file.
    TProfileHeader(TProfiles* store, const AnsiString& name);
    // The same from other keys, outside any store (nothing can be written).
    TProfileHeader(const TKeySource& keys, const AnsiString& name);

    const TKeySource& Keys;   // where every key of the profile is read
    TProfiles* Store;         // null outside a store
    AnsiString Name;          // the section name
    AnsiString Caption;
};

// ---- Document-kind settings ----

// Column maps, field widths and reference-list types.
class TFieldIndexes : public TIntArray {};
class TFieldLengths : public TIntArray {};
class TEtalonTypes : public TIntArray {};

// The settings of one document kind, kept under keys named kind code, ".", key
// ("Salary.FileCount"). This class alone serves arbitrary files (kind "Arbitrary").
class TFileProfile : public TProfileParams {
public:
    TFileProfile(TProfile* owner, const AnsiString& name);

    virtual void Load();

    // Name + "." + key.
    AnsiString KeyName(const AnsiString& key) const;

    // The file the user opened or saved; stored relative to the program's folder when it
    // lies below it. FileName takes the name before the write.
    void SetFileName(const AnsiString& name);
    // The counter after a successful sending; the field changes only when the write succeeds.
    void SetFileCount(int32_t count);
    // The comment of the sending; the field changes only when the write succeeds.
    void SetComment(const AnsiString& text);

    AnsiString Name;          // the kind's code
    AnsiString FileName;      // absolute, or empty
    int32_t FileCount = 0;    // the number the next container sent takes
    AnsiString Comment;       // the comment of the last sending
};

// The settings of a kind whose documents are data files: the format, the column map, the
// field widths, the delimiter, the XML paths and the code page.
class TFormatProfile : public TFileProfile {
public:
    TFormatProfile(TProfile* owner, const AnsiString& name, const uint8_t* allowedFormats, int32_t allowedCount,
                   int32_t fieldCount);

    void Load() override;

    const uint8_t* AllowedFormats;   // codes of FileFormats the kind accepts
    int32_t AllowedCount;
    int32_t FieldCount;              // the kind's declared field count
    uint8_t FileFormat = 0;          // 0 DELIM, 1 FIXED, 2 DBASE, 3 XML
    // Entry i: the document field (0-based) that column i of the file feeds, -1 when the
    // column is not used; for a reply kind, the column of the reply file shown in column i.
    TFieldIndexes FieldIndexes;
    TFieldLengths FieldLengths;      // FIXED always, DBASE when given; empty otherwise
    AnsiString Delim;
    AnsiString XMLPersonPath;        // XML only; empty otherwise
    AnsiString XMLPersonPattern;     // XML only; empty otherwise
    uint8_t Charset = 0;             // 0 CP1251, 1 CP866, 2 KOI8-R, 3 UTF-8

private:
    void LoadFileFormat();
    void LoadFieldIndexes();
    void LoadFieldLengths();
    void LoadXmlPaths();
    void LoadDelimiter();
    void LoadCharset();
};

// A kind the client sends (row of ExportDocTypes); all four formats.
class TExportProfile : public TFormatProfile {
public:
    TExportProfile(TProfile* owner, int kind);

    const TDocTypeInfo* DocType;
};

// An answer kind the bank sends (row of ReplyDocTypes); DELIM and FIXED only.
class TReplyProfile : public TFormatProfile {
public:
    TReplyProfile(TProfile* owner, int kind);

    const TReplyTypeInfo* ReplyType;
};

// The salary list, which also names the reference lists its records are checked against.
class TSalaryProfile : public TExportProfile {
public:
    explicit TSalaryProfile(TProfile* owner);

    void Load() override;

    TEtalonTypes EtalonTypes;     // codes of EtalonTypeInfos, each once, in the key's order
    int32_t EtalonExpire = 0;     // days a reference list stays fresh (read only with types)
};

// Index = export kind: 0 the salary list, 1 new clients, 2 clients to close.
class TExportProfiles : public TPtrArray<TExportProfile*, 1> {
public:
    explicit TExportProfiles(TProfile* owner);
};

// Index = reply kind: 0 the list of added clients.
class TReplyProfiles : public TPtrArray<TReplyProfile*, 1> {
public:
    explicit TReplyProfiles(TProfile* owner);
};

// ---- The profile ----

// One client profile with every setting of the exchange with the bank. Built with empty
// settings when the store loads the file; filled and checked by Load on each selection.
class TProfile : public TProfileHeader {
public:
    TProfile(TProfiles* store, const AnsiString& name);
    TProfile(const TKeySource& keys, const AnsiString& name);

    // Reads and checks every key in a fixed order; the first failing key ends the load.
    void Load();

    AnsiString Prefix;
    uint8_t CipherType = ctPgp;
    AnsiString BankPgpKey;        // PGP only
    AnsiString PgpKeyPath;        // PGP only; folder
    AnsiString BankVerbaKey;      // VERBA only
    AnsiString VerbaPubPath;      // VERBA only; folder
    AnsiString VerbaSecPath;      // VERBA only; folder
    AnsiString BankEMail;
    AnsiString EMail;
    uint8_t SendType = ttSmtp;
    AnsiString SendHost;
    int32_t SendPort = 0;
    AnsiString SendUser;
    AnsiString SendPass;          // plain
    uint8_t RecvType = ttPop3;
    AnsiString RecvHost;
    int32_t RecvPort = 0;
    AnsiString RecvUser;
    AnsiString RecvPass;          // plain
    AnsiString ProxyHost;         // empty: no proxy
    int32_t ProxyPort = 0;
    AnsiString ProxyUser;
    AnsiString ProxyPass;         // plain
    TExportProfiles ExportProfiles;
    TReplyProfiles ReplyProfiles;
    TFileProfile ArbitraryProfile;
    AnsiString DataPath;          // folder

private:
    void LoadPrefix();
    void LoadCipher();
    void LoadReceiver();
    void LoadSender();
    AnsiString ReadAddressParam(const AnsiString& key, const AnsiString& def) const;
    void LoadProxy();
    void LoadDocumentKinds();
};

// ---- The store ----

// Loads the profile of the section from the keys as selecting it does, outside the store,
// and raises what selecting it would raise ("Профиль " + section + ": " + the message).
void CheckProfile(const TKeySource& keys, const AnsiString& section);

// The open profiles file and its profiles, in the order of their sections; the keys its
// profiles read are those of the open file.
class TProfiles : public TPtrArray<TProfileHeader*, 1>, public TKeySource {
public:
    TProfiles();
    ~TProfiles() override;

    // Closes the open file; raises "Файл не существует: " + fileName when there is no such
    // file; otherwise opens it and loads the list.
    void Open(const AnsiString& fileName);
    // Closes the file; the list stays until the next Load.
    void Close();
    // Rebuilds the list from the open file as it is on disk now, bringing old entries up
    // to date first (plain passwords scrambled, "FileCount" moved to "Salary.FileCount").
    // No profile is selected afterwards. A failure leaves the list empty.
    void Load();
    // Loads the profile at index fully from the file as it is on disk now and makes it
    // the current one. A failed load leaves no current profile and prefixes the error with
    // "Профиль " + section name + ": ".
    void Select(int index);

    // The name of the open file, "" while none is open.
    AnsiString GetFileName() const;
    TIniFile* Ini() const { return FIni.get(); }
    // Raises "Файл профилей не открыт" while no file is open.
    std::optional<AnsiString> ReadKey(const AnsiString& section, const AnsiString& key) const override;
    // The selected, fully loaded profile; null while none is.
    TProfile* Current() const { return FCurrent; }
    TProfile* Profile(int index) const;

private:
    std::unique_ptr<TIniFile> FIni;
    TProfile* FCurrent = nullptr;

    void UpgradeSection(const AnsiString& section);
};

// The holder of the one store of the run; the first Get creates an empty store.
class TProfilesPtr : public TSmartPtr<TProfiles> {
protected:
    TProfiles* Create() override;
};

extern TProfilesPtr Profiles;
