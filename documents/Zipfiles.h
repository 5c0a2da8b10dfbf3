#pragma once
// A PKZIP archive held in memory as a list of named members. Archives are written with
// deflated members and read back from their local headers (stored or deflated members);
// the central directory is written for other tools and not read.

#include "documents/Blockstreams.h"
#include "documents/Containers.h"
#include "platform/AnsiString.h"

class TZipFile;

// One member: its uncompressed bytes and its name, kept byte for byte in CP1251. The name
// is only a label inside the archive, never a path.
class TZippedFile : public TBlockStream {
public:
    // The owner argument is not stored: a member joins an archive through Add or Insert.
    TZippedFile(TZipFile* owner, const AnsiString& name);
    // Leaves the archive that lists it.
    ~TZippedFile() override;

    TZipFile* Owner() const { return FOwner; }
    const AnsiString& Name() const { return FName; }
    void SetName(const AnsiString& name) { FName = name; }

private:
    friend class TZipFile;
    TZipFile* FOwner = nullptr;
    AnsiString FName;
};

// The archive owns its members: Clear and the destructor delete them. Duplicate names are
// allowed; the order is insertion order on save and file order on load.
class TZipFile : public TArray<TZippedFile*, 4> {
public:
    TZipFile() = default;
    ~TZipFile() override;

    // Deletes every member, from the last to the first.
    void Clear();
    // Appends m and makes this archive its owner (taking it from a former owner).
    void Add(TZippedFile* m);
    // Inserts m before member i (i = the count appends); the range error otherwise.
    void Insert(int i, TZippedFile* m);
    // The index of m, or the count when it is not listed.
    int IndexOf(TZippedFile* m);
    // Removes entry i from the list without deleting the member, which then has no owner.
    void Delete(int i);

    // Replaces the contents with the members read from src's position; every member
    // stands at 0. Refusals: "Неверная сигнатура блока ZIP-файла", "Неподдерживаемый
    // метод сжатия ZIP-файла", "Неподдерживаемый формат ZIP-файла", "Ошибка распаковки",
    // "Несовпадение CRC32", "Слишком большой архив: больше 512 МБ после распаковки" (the
    // sizes the members claim, added up before each is inflated), and the stream read
    // error for a header, name or member that is cut short or an archive that ends before
    // its central directory. On a failure the members read before it stay; the one being
    // read is dropped.
    virtual void LoadFromStream(TStream* src);
    // Writes the whole archive at dst's position (a stream that starts empty at 0: the
    // offsets are dst's positions); dst ends after the end record, each member at 0.
    // More than 65535 members or a name, size or offset that its field cannot hold
    // raise "Неподдерживаемый формат ZIP-файла".
    virtual void SaveToStream(TStream* dst);

    TZipFile(const TZipFile&) = delete;
    TZipFile& operator=(const TZipFile&) = delete;
};
