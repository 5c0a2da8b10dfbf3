#pragma once
// The transfer container exchanged with the bank in both directions: a zip archive that
// the current cipher signs and encrypts as a whole. Every member ("DATAFILE.000") starts
// with a header of lines KEY=value ended by a line "<DATA>", after which the payload
// follows; a member without that line is header only.

#include "documents/Zipfiles.h"
#include "platform/AnsiString.h"

class TStream;
class TStringList;

class TTlbFile : public TZipFile {
public:
    // Decrypts the bytes of src from its position on through the current cipher, which
    // also checks the bank's signature, and reads the archive from them; every member
    // stands at 0. On a failure the members read so far stay; the caller discards them.
    void LoadFromStream(TStream* src) override;
    // Writes the archive, signed and encrypted by the current cipher, at dst's position.
    void SaveToStream(TStream* dst) override;
};

// Clears the list and fills it with the header entries read from s's position: lines of
// at most 255 characters ended by CR, LF or CR LF, each trimmed, empty ones dropped. When
// the line "<DATA>" (any case) is found, s is left on the first payload byte after its
// line end; otherwise at its end. A longer line raises "Слишком длинный параметр в
// заголовке TLB-файла", a NUL byte "Неверный формат заголовка TLB-файла"; the entries
// read before stay in the list.
void ReadTlbHeader(TStringList* list, TStream* s);

// Trims the line; for the "<DATA>" mark returns false and adds nothing, otherwise adds the
// trimmed line when it is not empty and returns true.
bool AddTlbHeaderLine(TStringList* list, const AnsiString& line);
