// Validates salary records against a stored reference list, as the export's check pass
// does: the validator's Prepare loads the list from the reference-list store, then every
// record is checked and looked up. Run on 20,000 records against 200,000 rows and on
// twice both, to show the time linear in records + rows. Anchors: Python with a dict
// (anchors.py validate), and here the same look-up written as a plain scan of the list's
// rows, as its cursor gives them (bench_validate --scan).

#include "BenchSupport.h"
#include "EtalonFolder.h"

#include "documents/Etalons.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "documents/Validate.h"
#include "platform/Exception.h"
#include "platform/Paths.h"

#include <cstring>
#include <string>

namespace {

// A working record of the export: delimited, no owner, no escaping.
class TWorkRecord : public TDelimRecord {
public:
    TWorkRecord() : TDelimRecord(";", false) {}
};

// Checks every record of the file with the validator; returns the number accepted.
template <class TCheck> int CheckAll(TDelimFile& records, TCheck check)
{
    TWorkRecord work;
    int accepted = 0;
    for (records.First(); !records.Eof(); records.Next()) {
        CopyRecord(&work, records.CurRecord());
        try {
            check(&work);
            ++accepted;
        } catch (const EValidateError&) {
        }
    }
    return accepted;
}

// Prepare (the list's load) and the check of every record.
int ValidateAll(const AnsiString& folder)
{
    TDelimFile records(";", CodePageCp1251, false);
    records.LoadFromFile(folder + "/records.txt");
    TSalaryValidator validator;
    validator.Prepare();
    return CheckAll(records, [&](TRecord* record) { validator.Validate(record); });
}

// The look-up written plainly: the field rules, then a walk over the list's rows through
// its cursor, comparing the key fields of each row. Too slow for all records: the checks
// run on the first `sample` of them, and their time is scaled to the whole file and added
// to the time of the list's load.
double PlainScanSeconds(const AnsiString& folder, int sample)
{
    TDelimFile records(";", CodePageCp1251, false);
    records.LoadFromFile(folder + "/records.txt");
    TEtalonArray lists;
    const double load = BestSeconds(1, [&] { lists.Load(folder + "/Cache/ABC.ETALONS"); });
    TDelimFile& rows = lists.At(0)->Data();
    TExportValidator fields(&ExportDocTypes[0]);
    TWorkRecord work;
    const double checks = BestSeconds(1, [&] {
        records.First();
        for (int i = 0; i < sample && !records.Eof(); ++i, records.Next()) {
            CopyRecord(&work, records.CurRecord());
            try {
                fields.Validate(&work);
            } catch (const EValidateError&) {
                continue;
            }
            for (rows.First(); !rows.Eof(); rows.Next())
                if (rows.CurRecord()->Get(0) == work.Get(0) && rows.CurRecord()->Get(1) == work.Get(1))
                    break;
        }
    });
    return load + checks * records.RecordCount() / sample;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 3 && std::strcmp(argv[1], "--scan") == 0) {
            PrepareFolder(argv[2]);
            Report("validate_scan_20k_seconds", PlainScanSeconds(argv[2], 200));
            return 0;
        }
        if (argc != 3) {
            std::fprintf(stderr, "usage: bench_validate DIR-20k DIR-40k | bench_validate --scan DIR-20k\n");
            return 2;
        }
        double seconds[2];
        for (int i = 0; i < 2; ++i) {
            const AnsiString folder = argv[i + 1];
            PrepareFolder(folder);
            int accepted = 0;
            seconds[i] = BestSeconds(5, [&] { accepted = ValidateAll(folder); });
            Report(i == 0 ? "validate_20k_accepted" : "validate_40k_accepted", accepted);
        }
        Report("validate_20k_seconds", seconds[0]);
        Report("validate_scan_20k_seconds", seconds[0]);
        Report("validate_40k_seconds", seconds[1]);
        Report("validate_40k_per_20k", seconds[1] / seconds[0]);
        return 0;
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.Message().c_str());
        return 1;
    }
}
