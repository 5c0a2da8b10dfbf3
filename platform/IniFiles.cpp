#include "platform/IniFiles.h"

#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/FileLocks.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace {

// Splits the file at LF; a CR before the LF belongs to the line end. A lone CR inside a
// line is kept, so that the line is written back as it was.
std::vector<AnsiString> SplitFileLines(const std::string& bytes)
{
    std::vector<AnsiString> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        const size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start && bytes[end - 1] == '\r')
            --end;
        lines.push_back(bytes.substr(start, end - start));
        start = next;
    }
    return lines;
}

// "[name]" (blanks allowed around it and inside the brackets) gives the section's name.
bool IsSectionLine(const AnsiString& line, AnsiString& name)
{
    const AnsiString text = Trim(line);
    if (text.empty() || text.front() != '[')
        return false;
    const size_t close = text.find(']');
    if (close == AnsiString::npos)
        return false;
    name = Trim(text.substr(1, close - 1));
    return true;
}

// "key=value": a line with "=" that is neither a comment nor a section; the key is the
// trimmed text before the first "=" and may not be empty.
bool IsKeyLine(const AnsiString& line, AnsiString& key, AnsiString& rawValue)
{
    const AnsiString text = TrimLeft(line);
    if (text.empty() || text.front() == ';' || text.front() == '[')
        return false;
    const size_t equals = line.find('=');
    if (equals == AnsiString::npos)
        return false;
    key = Trim(line.substr(0, equals));
    rawValue = line.substr(equals + 1);
    return !key.empty();
}

// A stored value as the program reads it: trimmed, without one pair of quotes around it.
AnsiString CleanValue(const AnsiString& rawValue)
{
    AnsiString value = Trim(rawValue);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// A name or value that would split its line or change what the line means is refused,
// so that a write can never inject other keys or sections into the file.
void CheckWritable(const AnsiString& section, const AnsiString& key, const AnsiString& value)
{
    const AnsiString trimmedKey = Trim(key);
    if (HasLineBreak(section) || section.find(']') != AnsiString::npos || HasLineBreak(key)
        || trimmedKey.empty() || trimmedKey.find('=') != AnsiString::npos || trimmedKey.front() == ';'
        || trimmedKey.front() == '[' || HasLineBreak(value))
        throw Exception("Недопустимое имя или значение параметра: [" + section + "] " + key);
}

// The file's bytes: every line ended by CR LF.
std::string JoinFileLines(const std::vector<AnsiString>& lines)
{
    std::string bytes;
    for (const AnsiString& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// A comment whose Cyrillic text in CP1251 is no valid UTF-8. A CP1251 file whose only
// non-ASCII bytes also read as UTF-8 Cyrillic ("Р°" is D0 B0, UTF-8 for "а") would be
// refused as UTF-8 by its next load; this line at its top keeps it readable as what it is.
const char Cp1251Marker[] = "; Кодировка файла: Windows-1251";

bool IsBlank(const AnsiString& line)
{
    return Trim(line).empty();
}

// The bytes of the file as it is on disk now; a missing file has none.
std::string ReadFileIfAny(const AnsiString& fileName)
{
    // A folder or an unreadable file of that name raises here; only a missing one is empty.
    if (!FileExists(fileName) && !DirectoryExists(fileName))
        return {};
    return ReadFileBytes(fileName);
}

}  // namespace

TIniFile::TIniFile(const AnsiString& fileName) : FFileName(fileName)
{
    Reload();
}

// A file saved in UTF-8 is refused when it is loaded: read as CP1251 its text would be
// garbled, and a write would mix the two encodings in one file.
void TIniFile::Reload()
{
    const std::string bytes = ReadFileIfAny(FFileName);
    if (IsUtf8Text(bytes))
        throw Exception("Файл " + FFileName + " сохранен в кодировке UTF-8. Сохраните его в кодировке Windows-1251.");
    FLines = SplitFileLines(bytes);
}

int TIniFile::FindSection(const AnsiString& section) const
{
    const AnsiString wanted = Trim(section);
    AnsiString name;
    for (size_t i = 0; i < FLines.size(); ++i)
        if (IsSectionLine(FLines[i], name) && SameText(name, wanted))
            return static_cast<int>(i);
    return -1;
}

int TIniFile::SectionEnd(int sectionLine) const
{
    AnsiString name;
    size_t line = static_cast<size_t>(sectionLine) + 1;
    while (line < FLines.size() && !IsSectionLine(FLines[line], name))
        ++line;
    return static_cast<int>(line);
}

int TIniFile::FindKey(int sectionLine, const AnsiString& key) const
{
    if (sectionLine < 0)
        return -1;
    const AnsiString wanted = Trim(key);
    AnsiString name, rawValue;
    const int end = SectionEnd(sectionLine);
    for (int line = sectionLine + 1; line < end; ++line)
        if (IsKeyLine(FLines[static_cast<size_t>(line)], name, rawValue) && SameText(name, wanted))
            return line;
    return -1;
}

bool TIniFile::SectionExists(const AnsiString& section) const
{
    return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& key) const
{
    return FindKey(FindSection(section), key) >= 0;
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& key, const AnsiString& def) const
{
    const int line = FindKey(FindSection(section), key);
    AnsiString name, rawValue;
    if (line < 0 || !IsKeyLine(FLines[static_cast<size_t>(line)], name, rawValue))
        return def;
    return CleanValue(rawValue);
}

int32_t TIniFile::ReadInteger(const AnsiString& section, const AnsiString& key, int32_t def) const
{
    return StrToIntDef(ReadString(section, key, ""), def);
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value)
{
    ChangeString(section, key, [&](const AnsiString&) { return value; });
}

void TIniFile::ChangeString(const AnsiString& section, const AnsiString& key,
                            const std::function<AnsiString(const AnsiString&)>& change)
{
    CheckWritable(section, key, "");
    Update([&] {
        const AnsiString value = change(ReadString(section, key, ""));
        CheckWritable(section, key, value);
        PutLine(section, key, Trim(key) + "=" + value);
        return true;
    });
}

void TIniFile::PutLine(const AnsiString& section, const AnsiString& key, const AnsiString& line)
{
    const int sectionLine = FindSection(section);
    const int keyLine = FindKey(sectionLine, key);
    if (keyLine >= 0) {
        FLines[static_cast<size_t>(keyLine)] = line;
    } else if (sectionLine >= 0) {
        // After the section's last non-blank line, so that a blank line before the next
        // section stays where it is.
        int insertAt = SectionEnd(sectionLine);
        while (insertAt > sectionLine + 1 && IsBlank(FLines[static_cast<size_t>(insertAt - 1)]))
            --insertAt;
        FLines.insert(FLines.begin() + insertAt, line);
    } else {
        FLines.push_back("[" + Trim(section) + "]");
        FLines.push_back(line);
    }
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& key, int32_t value)
{
    WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::ReadSections(TStringList& sections) const
{
    sections.Clear();
    AnsiString name;
    for (const AnsiString& line : FLines)
        if (IsSectionLine(line, name) && sections.IndexOf(name) < 0)
            sections.Add(name);
}

void TIniFile::ReadSection(const AnsiString& section, TStringList& keys) const
{
    keys.Clear();
    const int sectionLine = FindSection(section);
    if (sectionLine < 0)
        return;
    AnsiString name, rawValue;
    const int end = SectionEnd(sectionLine);
    for (int line = sectionLine + 1; line < end; ++line)
        if (IsKeyLine(FLines[static_cast<size_t>(line)], name, rawValue) && keys.IndexOf(name) < 0)
            keys.Add(name);
}

void TIniFile::ReadSectionValues(const AnsiString& section, TStringList& values) const
{
    TStringList keys;
    ReadSection(section, keys);
    values.Clear();
    for (const AnsiString& key : keys.Items())
        values.Add(key + "=" + ReadString(section, key, ""));
}

void TIniFile::EraseSection(const AnsiString& section)
{
    Update([&] {
        const size_t count = FLines.size();
        // Every block of that name goes: a later duplicate must not come to light.
        for (int line = FindSection(section); line >= 0; line = FindSection(section))
            FLines.erase(FLines.begin() + line, FLines.begin() + SectionEnd(line));
        return FLines.size() != count;
    });
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& key)
{
    Update([&] { return RemoveKeyLines(section, key); });
}

bool TIniFile::RemoveKeyLines(const AnsiString& section, const AnsiString& key)
{
    const size_t count = FLines.size();
    // Every line of that key goes: a later duplicate must not come to light.
    const int sectionLine = FindSection(section);
    for (int line = FindKey(sectionLine, key); line >= 0; line = FindKey(sectionLine, key))
        FLines.erase(FLines.begin() + line);
    return FLines.size() != count;
}

void TIniFile::WriteKeys(const AnsiString& section, const std::vector<TIniKeyChange>& changes)
{
    for (const TIniKeyChange& change : changes)
        CheckWritable(section, change.Key, change.Value.value_or(AnsiString()));
    Update([&] {
        bool changed = false;
        for (const TIniKeyChange& change : changes) {
            if (change.Value) {
                PutLine(section, change.Key, Trim(change.Key) + "=" + *change.Value);
                changed = true;
            } else {
                changed = RemoveKeyLines(section, change.Key) || changed;
            }
        }
        return changed;
    });
}

void TIniFile::UpdateFile()
{
    // Every write has reached the disk already.
}

void TIniFile::Update(const std::function<bool()>& change)
{
    // The file that a link names is the one locked, read and replaced.
    const AnsiString target = ResolveFileLink(FFileName);
    TFileUpdateLock lock(target);
    // No refusal here: the file was accepted when it was loaded, and a value the program
    // has written itself must never make its next write fail.
    const std::string onDiskBytes = ReadFileIfAny(target);
    const std::vector<AnsiString> onDisk = SplitFileLines(onDiskBytes);
    FLines = onDisk;
    try {
        if (!change()) {
            lock.RemoveCreatedFile();
            return;
        }
        std::string bytes = JoinFileLines(FLines);
        if (!IsUtf8Text(onDiskBytes) && IsUtf8Text(bytes)) {
            FLines.insert(FLines.begin(), Cp1251Marker);
            bytes = JoinFileLines(FLines);
        }
        WriteFileAtomically(target, bytes);
    } catch (...) {
        // The profile in memory stays what the file on disk holds.
        FLines = onDisk;
        lock.RemoveCreatedFile();
        throw;
    }
}

AnsiString IniValueAsRead(const AnsiString& written)
{
    return CleanValue(written);
}
