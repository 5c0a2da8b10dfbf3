#include "documents/Common.h"

#include "documents/Containers.h"
#include "documents/Profiles.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/VersionInfo.h"

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>

const TProfile& CurrentProfile()
{
    const TProfile* profile = Profiles.Get()->Current();
    if (!profile)
        throw Exception("Профиль не выбран");
    return *profile;
}

const TSalaryProfile& CurrentSalaryProfile()
{
    return *static_cast<const TSalaryProfile*>(CurrentProfile().ExportProfiles.At(0));
}

AnsiString CurrentDataPath()
{
    return CurrentProfile().DataPath;
}

AnsiString GetFolder(int kind, bool create)
{
    AnsiString folder;
    if (kind >= FolderReject && kind <= FolderLog)
        folder = IncludeTrailingPathDelimiter(CurrentDataPath()) + FolderNames[kind];
    else if (kind == FolderProgram)
        folder = ProgramFolder();
    else if (kind == FolderTemp)
        folder = TempFolder();
    else
        RaiseIndexError(kind);
    if (create)
        EnsureDir(folder);
    return folder;
}

void EnsureDir(const AnsiString& path)
{
    if (!DirectoryExists(path))
        ForceDirectories(path);
}

int AppMessageBox(const AnsiString& text, unsigned flags)
{
    return Dialogs().MessageBox(text, ApplicationTitle, flags);
}

namespace {

// The program's version values, compiled in from the project version.
struct TVersionValue {
    const char* Name;
    const char* Value;
};
constexpr TVersionValue VersionValues[] = {
    {"FileVersion", VELTON_FILE_VERSION},
    {"ProductVersion", VELTON_FILE_VERSION},
    {"ProductName", ApplicationTitle},
    {"FileDescription", ApplicationTitle},
};

bool IsProgramFile(const AnsiString& fileName)
{
    return fileName.empty() || ExpandFileName(fileName) == ProgramPath();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

AnsiString GetVersionInfoValue(const AnsiString& name, const AnsiString& fileName)
{
    if (IsProgramFile(fileName)) {
        for (const TVersionValue& value : VersionValues)
            if (name == value.Name)
                return value.Value;
    }
    const AnsiString file = fileName.empty() ? ProgramPath() : fileName;
    throw EOSError("Не найдено значение версии " + name + " в файле " + file, ENOENT);
}

AnsiString GetShortFileVersion(const AnsiString& fileName)
{
    const AnsiString version = GetVersionInfoValue("FileVersion", fileName);
    const size_t firstDot = version.find('.');
    if (firstDot == AnsiString::npos)
        return version;
    const size_t secondDot = version.find('.', firstDot + 1);
    return secondDot == AnsiString::npos ? version : version.substr(0, secondDot);
}

namespace {

// One number of a version: decimal digits only, at most 65535; nothing else.
std::optional<int64_t> VersionPart(const AnsiString& text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != AnsiString::npos)
        return std::nullopt;
    const int64_t value = std::stoll(text);
    return value <= 0xFFFF ? std::optional<int64_t>(value) : std::nullopt;
}

} // namespace

int64_t VersionToInt(const AnsiString& version)
{
    const size_t dot = version.find('.');
    const std::optional<int64_t> major = VersionPart(version.substr(0, dot));
    const std::optional<int64_t> minor =
        dot == AnsiString::npos ? std::optional<int64_t>(0) : VersionPart(version.substr(dot + 1));
    return major && minor ? (*major << 16) | *minor : 0;
}

void SplitString(TStringList& list, const AnsiString& text, const AnsiString& delimiter)
{
    list.Clear();
    if (text.empty())
        return;
    if (delimiter.empty()) {
        list.Add(text);
        return;
    }
    size_t start = 0;
    for (size_t found; (found = text.find(delimiter, start)) != AnsiString::npos;
         start = found + delimiter.size())
        list.Add(text.substr(start, found - start));
    list.Add(text.substr(start));
}

AnsiString JoinStrings(const TStringList& list, const AnsiString& delimiter)
{
    AnsiString text;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            text += delimiter;
        text += list[i];
    }
    return text;
}

AnsiString EscapeChars(const AnsiString& text, const AnsiString& chars)
{
    AnsiString escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '#' || chars.find(c) != AnsiString::npos)
            escaped += "#" + IntToHex(static_cast<unsigned char>(c), 2);
        else
            escaped += c;
    }
    return escaped;
}

AnsiString UnescapeChars(std::string_view text)
{
    AnsiString plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '#') {
            plain += text[i];
            continue;
        }
        const AnsiString digits(text.substr(i + 1, 2));
        bool valid = !digits.empty();
        int code = 0;
        for (char digit : digits) {
            const int value = HexDigit(digit);
            valid = valid && value >= 0;
            code = code * 16 + value;
        }
        if (!valid)
            throw EConvertError("Неверный код символа \"#" + digits + "\"");
        plain += static_cast<char>(code);
        i += digits.size();
    }
    return plain;
}

bool IsFloppyPath(const AnsiString& path)
{
    return IsDiskettePath(path);
}

AnsiString FreeBackupName(const AnsiString& fileName)
{
    for (int n = 0;; ++n) {
        const AnsiString name = Format("%s.$%.2d", fileName.c_str(), n);
        if (!FileExists(name))
            return name;
    }
}
