// A receive against the message store: load the store, walk every field and memo of every
// row (as the messages window does), append one message row with three memos, save.
// Anchor: an independent Python reader and writer of the same format doing the same
// (anchors.py internals, over tests/documents/integration/table_tool.py).

#include "BenchSupport.h"

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
    store.Append();
    for (int i = 0; i < 3; ++i)
        store.CurRecord()->Set(i, NewMemo);
    store.CurRecord()->Set(3, "Выписка за месяц");
    store.CurRecord()->Set(4, "01/02/2024 10:00:00");
    store.CurRecord()->Set(5, "02/02/2024 09:30:00");
    store.SaveToFile(target);
    return total;
}

// The best time of five (a save flushes to the disk, whose time varies); the saved store
// must hold one row more with the new memos.
double Measure(const AnsiString& source)
{
    const AnsiString target = source + ".saved";
    long long total = 0;
    int rows = 0;
    const double seconds = BestSeconds(5, [&] { total = LoadWalkAppendSave(source, target); });
    TMessages source_store, saved;
    source_store.LoadFromFile(source);
    saved.LoadFromFile(target);
    saved.GoTo(saved.RecordCount() - 1);
    rows = saved.RecordCount();
    if (total <= 0 || rows != source_store.RecordCount() + 1 || saved.CurRecord()->Get(2) != NewMemo)
        throw std::runtime_error("the saved store is not the loaded one and the new row");
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
    const double small = Measure(argv[1]);
    const double large = Measure(argv[2]);
    Report("internals_10k_seconds", small);
    Report("internals_20k_seconds", large);
    Report("internals_20k_per_10k", large / small);
    return 0;
}
