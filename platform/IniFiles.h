#pragma once
// Windows-style profile (INI) files over raw CP1251 bytes.
//
// Sections and keys compare ignoring case (Cyrillic included); a value is trimmed and
// loses one pair of surrounding quotes; a key that is present with an empty value counts
// as present; of duplicate sections or keys the first wins. A write replaces the key's
// line in place, else appends it after the last non-blank line of its section, else adds
// the section at the end; every other line stays as it was, byte for byte. Lines end with
// CR LF; reading accepts CR LF or LF. Every write is a read-modify-write of the file as it
// is on disk at that moment, changing only its own line, under a lock held from the read to
// the rename of the new file (TFileUpdateLock), so that changes made meanwhile by another
// program or by hand survive. A file saved in UTF-8 is refused when it is read. A CP1251
// file that a write would leave looking like UTF-8 (its only non-ASCII text being byte
// pairs that are also UTF-8 Cyrillic, as "Р°") gets a comment line at its top whose text
// is plainly CP1251, so that the program's next load still reads the file it wrote.

#include "platform/AnsiString.h"
#include "platform/Classes.h"

#include <functional>
#include <optional>
#include <vector>

// A key of one section that a batch write stores (Value) or deletes (no Value).
struct TIniKeyChange {
    AnsiString Key;
    std::optional<AnsiString> Value;
};

class TIniFile {
public:
    // Reads the file when it exists; a missing file is an empty profile file until the
    // first write creates it. A file that exists but cannot be read raises, and so does a
    // file in UTF-8.
    explicit TIniFile(const AnsiString& fileName);

    // Reads the file afresh: the reads then see what is on disk now.
    void Reload();

    const AnsiString& FileName() const { return FFileName; }

    bool SectionExists(const AnsiString& section) const;
    bool ValueExists(const AnsiString& section, const AnsiString& key) const;

    AnsiString ReadString(const AnsiString& section, const AnsiString& key, const AnsiString& def) const;
    int32_t ReadInteger(const AnsiString& section, const AnsiString& key, int32_t def) const;
    bool ReadBool(const AnsiString& section, const AnsiString& key, bool def) const;

    void WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value);
    // Writes what `change` makes of the key's value in the file as it is on disk (""
    // when the key is missing), under the one lock of the write: two programs advancing
    // one counter never lose a step.
    void ChangeString(const AnsiString& section, const AnsiString& key,
                      const std::function<AnsiString(const AnsiString&)>& change);
    void WriteInteger(const AnsiString& section, const AnsiString& key, int32_t value);
    void WriteBool(const AnsiString& section, const AnsiString& key, bool value);

    // Section names in file order; key names of one section in order; NAME=value lines.
    void ReadSections(TStringList& sections) const;
    void ReadSection(const AnsiString& section, TStringList& keys) const;
    void ReadSectionValues(const AnsiString& section, TStringList& values) const;

    void EraseSection(const AnsiString& section);
    void DeleteKey(const AnsiString& section, const AnsiString& key);
    // Stores and deletes the keys of one section, in their order, in one replacement of
    // the file: either every change reaches the disk or none does, and a name or value
    // that the file cannot hold refuses the whole batch before anything is written.
    void WriteKeys(const AnsiString& section, const std::vector<TIniKeyChange>& changes);

    // Writes go to the disk at once; kept for callers that flush explicitly.
    void UpdateFile();

private:
    AnsiString FFileName;
    std::vector<AnsiString> FLines;   // the file's lines without their line ends

    int FindSection(const AnsiString& section) const;               // line of "[section]" or -1
    int SectionEnd(int sectionLine) const;                          // line after its last line
    int FindKey(int sectionLine, const AnsiString& key) const;      // line of the key or -1
    void PutLine(const AnsiString& section, const AnsiString& key, const AnsiString& line);
    bool RemoveKeyLines(const AnsiString& section, const AnsiString& key);   // true when any went
    // Locks and reads the file, applies the change to the lines and writes them when the
    // change says it changed something. Afterwards the lines are what the file holds.
    void Update(const std::function<bool()>& change);
};

// A value written to a profile file as the file's reads give it back: trimmed, without
// one pair of surrounding quotes.
AnsiString IniValueAsRead(const AnsiString& written);
