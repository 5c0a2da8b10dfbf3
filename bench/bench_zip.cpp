// Saving and loading zip archives in memory: one large member, then many small ones.
// Anchor: Python's zipfile over io.BytesIO with deflated members.

#include "BenchSupport.h"

#include "documents/Zipfiles.h"

namespace {

void AddMember(TZipFile& zip, const AnsiString& name, const std::string& bytes)
{
    auto* member = new TZippedFile(&zip, name);
    Fill(*member, bytes);
    zip.Add(member);
}

// Times save and load of the archive; loads check the member count.
void Measure(const char* prefix, TZipFile& zip)
{
    TBlockStream archive;
    const std::vector<double> save = Rounds(5, [&] {
        archive.Clear();
        zip.SaveToStream(&archive);
    });
    TZipFile loaded;
    const std::vector<double> load = Rounds(5, [&] {
        archive.SetPosition(0);
        loaded.LoadFromStream(&archive);
    });
    if (loaded.Count() != zip.Count())
        throw std::runtime_error("member count differs after load");
    Report((std::string(prefix) + "_save_seconds").c_str(), save);
    Report((std::string(prefix) + "_load_seconds").c_str(), load);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_zip TEXT-FILE\n");
        return 2;
    }
    const std::string text = ReadWholeFile(argv[1]);
    {
        TZipFile zip;
        AddMember(zip, "DATAFILE.000", text);
        Measure("zip_large", zip);
    }
    {
        TZipFile zip;
        for (int i = 0; i < 1000; ++i)
            AddMember(zip, "FILE" + std::to_string(i) + ".TXT", text.substr(size_t(i) * 1024, 1024));
        Measure("zip_small", zip);
    }
    return 0;
}
