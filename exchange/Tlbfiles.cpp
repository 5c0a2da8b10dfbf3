#include "exchange/Tlbfiles.h"

#include "documents/Blockstreams.h"
#include "exchange/Ciphers.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

namespace {

// The header is read in pieces of this size; a line holds at most one byte less.
constexpr int32_t HeaderChunk = 256;
constexpr size_t MaxHeaderLine = HeaderChunk - 1;

}  // namespace

void TTlbFile::LoadFromStream(TStream* src)
{
    TBlockStream plain;
    Cipher.Get()->Decrypt(src, &plain);
    plain.SetPosition(0);
    TZipFile::LoadFromStream(&plain);
}

void TTlbFile::SaveToStream(TStream* dst)
{
    TBlockStream plain;
    TZipFile::SaveToStream(&plain);
    plain.SetPosition(0);
    Cipher.Get()->Encrypt(&plain, dst);
}

bool AddTlbHeaderLine(TStringList* list, const AnsiString& line)
{
    const AnsiString entry = Trim(line);
    if (SameText(entry, "<DATA>"))
        return false;
    if (!entry.empty())
        list->Add(entry);
    return true;
}

void ReadTlbHeader(TStringList* list, TStream* s)
{
    list->Clear();
    char chunk[HeaderChunk];
    int32_t count = 0;
    int32_t index = 0;
    int64_t chunkStart = 0;
    char previous = '\0';   // none yet
    AnsiString line;
    for (;;) {
        if (index == count) {
            chunkStart = s->Position();
            count = s->Read(chunk, HeaderChunk);
            index = 0;
            if (count <= 0) {
                AddTlbHeaderLine(list, line);
                return;
            }
        }
        const char next = chunk[index];
        // The line ends at its terminator once the character after it is known: CR LF is
        // one terminator, also when the chunk ends between the two.
        if (previous == '\r' && next == '\n') {
            previous = '\n';
            ++index;
            continue;
        }
        if (previous == '\n' || previous == '\r') {
            if (!AddTlbHeaderLine(list, line)) {
                s->SetPosition(chunkStart + index);
                return;
            }
            line.clear();
        }
        previous = next;
        ++index;
        // A NUL has no place in the text of a header: reading on past it would hand the
        // payload over without its first bytes.
        if (next == '\0')
            throw Exception("Неверный формат заголовка TLB-файла");
        if (next == '\r' || next == '\n')
            continue;
        if (line.size() >= MaxHeaderLine)
            throw Exception("Слишком длинный параметр в заголовке TLB-файла");
        line += next;
    }
}
