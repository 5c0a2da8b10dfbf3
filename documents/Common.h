#pragma once
// Helpers that every subsystem uses: the working folders of the current profile, the
// application's message box, the program's version, splitting and joining of delimited
// texts, "#" escaping of delimited fields, the diskette test and free backup names.

#include "platform/AnsiString.h"

#include <cstdint>
#include <string_view>

class TProfile;
class TSalaryProfile;
class TStringList;

// The caption of every message box and the title of the application.
inline constexpr char ApplicationTitle[] = "Экспорт в Вельтон-Банк";

// The kinds of GetFolder.
enum TFolderKind {
    FolderReject = 0,    // received attachments that failed processing
    FolderCache = 1,     // the stores of reference lists, messages and reply files
    FolderUpdates = 2,   // received program updates
    FolderSent = 3,      // archive copies of sent containers and the send journal
    FolderLog = 4,       // protocol logs of the mail exchange
    FolderProgram = 5,   // the program's own folder
    FolderTemp = 6,      // the system's temporary folder
};

// The working folders of kinds 0-4 inside the profile's DataPath.
inline constexpr const char* FolderNames[] = {"Reject/", "Cache/", "Updates/", "Sent/", "Log/"};

// The selected profile of the program's store; raises "Профиль не выбран" when none is
// selected.
const TProfile& CurrentProfile();

// The salary-list settings of the selected profile (export kind 0); raises "Профиль не
// выбран" when none is selected.
const TSalaryProfile& CurrentSalaryProfile();

// The DataPath of the selected profile; raises "Профиль не выбран" when none is selected.
AnsiString CurrentDataPath();

// The folder of the given kind, ending with "/"; with create set it is made when missing.
// Kinds 0-4 need a selected profile. A kind outside 0-6 raises the range error.
AnsiString GetFolder(int kind, bool create = false);

// Creates the folder and every missing parent unless it exists, each for its owner alone
// (0700) whatever the umask; raises the system's error.
void EnsureDir(const AnsiString& path);

// Asks through the application's message box, captioned with the application title;
// flags and the answer are those of MessageBoxFlags / MessageBoxAnswer.
int AppMessageBox(const AnsiString& text, unsigned flags);

// A value of the program's version ("FileVersion", "ProductVersion", "ProductName",
// "FileDescription"). An empty file name means the program's own file, the only one
// whose values are known; anything else raises EOSError.
AnsiString GetVersionInfoValue(const AnsiString& name, const AnsiString& fileName = AnsiString());

// "FileVersion" cut before its second ".": 5.3.0.1 gives 5.3.
AnsiString GetShortFileVersion(const AnsiString& fileName = AnsiString());

// "major.minor" as major << 16 | minor; "major" alone as major << 16; 0 when a part is
// not a number of 16 bits written in decimal digits alone (no sign, no blank). A higher
// major number always ranks higher.
int64_t VersionToInt(const AnsiString& version);

// Fills the list with the parts of the text between the delimiters: "a,,b" gives three
// items, "a," gives "a" and "", an empty text none. An empty delimiter gives the whole
// text as one item.
void SplitString(TStringList& list, const AnsiString& text, const AnsiString& delimiter);

// The items with the delimiter between them.
AnsiString JoinStrings(const TStringList& list, const AnsiString& delimiter);

// Every character of the text that is one of `chars`, and every "#", becomes "#" and its
// code as two upper-case hexadecimal digits.
AnsiString EscapeChars(const AnsiString& text, const AnsiString& chars);

// Undoes EscapeChars: "#" and the up to two characters after it, which must be
// hexadecimal digits, give the character of that code; "#4" at the very end of the text
// gives code 4. A "#" with nothing or anything but hexadecimal digits after it ("#",
// "#x", "#4x") raises EConvertError.
AnsiString UnescapeChars(std::string_view text);

// The path lies on the diskette drive "a:" (any case).
bool IsFloppyPath(const AnsiString& path);

// The first of name.$00, name.$01, ... name.$99, name.$100, ... that no file has.
AnsiString FreeBackupName(const AnsiString& fileName);
