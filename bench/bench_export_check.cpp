// The export's check pass over a salary list as the export wizard runs it: the validator's
// Prepare (the "SAL" list of 400,000 rows loaded from the reference-list store), then every
// marked record seen through the kind's column map, checked, looked up and, when accepted,
// appended to the output table with its marks and totals. Run on 100,000 and on 200,000
// marked records (folders made by anchors.py etalon) to show the pass linear in the
// records; its records per second stand beside those of bench_validate.

#include "BenchSupport.h"
#include "EtalonFolder.h"

#include "documents/Datafiles.h"
#include "platform/Exception.h"
#include "ui/ExportCheck.h"
#include "ui/RecordInfos.h"

#include <cstdio>

namespace {

// The check pass over every record of the folder's records.txt, all marked; returns the
// records accepted.
int CheckFolder(const AnsiString& folder, std::vector<double>& seconds)
{
    PrepareFolder(folder);
    TExportProfile& kind = *Profiles.Get()->Current()->ExportProfiles.At(0);
    TDelimFile records(";", CodePageCp1251, false);
    records.LoadFromFile(folder + "/records.txt");
    TExportTotals totals;
    seconds = Rounds(5, [&] {
        TRecordInfos marks(records.RecordCount());
        const std::unique_ptr<TDelimFile> output = NewExportTable();
        CheckExportRecords(kind, records, marks, *output, totals);
    });
    return totals.ExportCount;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_export_check DIR-100k DIR-200k\n");
        return 2;
    }
    try {
        std::vector<double> seconds[2];
        const int accepted100k = CheckFolder(argv[1], seconds[0]);
        const int accepted200k = CheckFolder(argv[2], seconds[1]);
        Report("export_check_100k_accepted", accepted100k);
        Report("export_check_200k_accepted", accepted200k);
        Report("export_check_100k_seconds", seconds[0]);
        Report("export_check_200k_seconds", seconds[1]);
        Report("export_check_200k_per_100k", PerRound(seconds[1], seconds[0]));
        return 0;
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.Message().c_str());
        return 1;
    }
}
