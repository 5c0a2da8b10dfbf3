// The message store: load it, walk every field and memo of every row (as the messages
// window does), replace the first row's first memo, append one message row with three
// memos, save. The changed first memo makes the save pack the whole memo area anew, as the
// Python writer always does, so both sides do the same work. Anchor: an independent Python
// reader and writer of the same format doing the same (anchors.py internals, over
// tests/documents/integration/table_tool.py). Limit: zlib called directly inflating and
// deflating the store's plain bytes (every line and memo) in one buffer each.

#include "BenchSupport.h"
#include "ZlibDirect.h"

#include "documents/Internals.h"
#include "platform/Paths.h"

#include <string>

namespace {

// A memo of 1.5 KB like the others of the store.
const AnsiString NewMemo = [] {
    AnsiString memo;
    while (memo.size() < 1536)
        memo += "Уважаемый клиент! Сообщаем, что список на зачисление принят банком.\r\n";
    memo.resize(1536);
    return memo;
}();

// Load, walk, append and save once; returns the total length of all fields and memos.
long long LoadWalkAppendSave(const AnsiString& source, const AnsiString& target)
{
    TMessages store;
    store.LoadFromFile(source);
    long long total = 0;
    for (store.First(); !store.Eof(); store.Next()) {
        const TFileRecord* record = store.CurRecord();
        for (int i = 0; i < record->Count(); ++i)
            total += static_cast<long long>(record->Get(i).size());
    }
    store.First();
    store.CurRecord()->Set(0, NewMemo);
    store.Append();
    for (int i = 0; i < 3; ++i)
        store.CurRecord()->Set(i, NewMemo);
    store.CurRecord()->Set(3, "Выписка за месяц");
    store.CurRecord()->Set(4, "01/02/2024 10:00:00");
    store.CurRecord()->Set(5, "02/02/2024 09:30:00");
    store.SaveToFile(target);
    return total;
}

// The plain bytes of the store: every field and memo of every row.
std::string PlainBytes(const AnsiString& source)
{
    TMessages store;
    store.LoadFromFile(source);
    std::string plain;
    for (store.First(); !store.Eof(); store.Next())
        for (int i = 0; i < store.CurRecord()->Count(); ++i)
            plain += store.CurRecord()->Get(i);
    return plain;
}

// Five rounds of ours and of the limit (a save flushes to the disk, whose time varies);
// the saved store must hold one row more, the changed memo and the new one.
std::vector<std::vector<double>> Measure(const AnsiString& source)
{
    const AnsiString target = source + ".saved";
    long long total = 0;
    const std::string plain = PlainBytes(source);
    uint32_t crc = 0;
    const auto seconds = RotatedRounds(5, {[&] { total = LoadWalkAppendSave(source, target); },
                                           [&] { crc = ZlibInflate(ZlibDeflate(plain), plain.size()); }});
    TMessages sourceStore, saved;
    sourceStore.LoadFromFile(source);
    saved.LoadFromFile(target);
    const bool firstChanged = saved.CurRecord()->Get(0) == NewMemo;
    saved.GoTo(saved.RecordCount() - 1);
    if (total <= 0 || crc == 0 || !firstChanged || saved.RecordCount() != sourceStore.RecordCount() + 1 ||
        saved.CurRecord()->Get(2) != NewMemo)
        throw std::runtime_error("the saved store is not the loaded one with its changes");
    DeleteFile(target);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_internals MESSAGES-10000 MESSAGES-20000\n");
        return 2;
    }
    const auto small = Measure(argv[1]);
    const auto large = Measure(argv[2]);
    Report("internals_10k_seconds", small[0]);
    Report("internals_10k_zlib_seconds", small[1]);
    Report("internals_20k_seconds", large[0]);
    Report("internals_20k_zlib_seconds", large[1]);
    Report("internals_20k_per_10k", PerRound(large[0], small[0]));
    return 0;
}
