#pragma once
// The check pass of an export: every marked record of a document is checked with its
// kind's validator; the accepted ones, normalised, go to the output table that becomes
// the container's payload, and each mark learns what the check found. Needs no window.

#include "documents/Records.h"

#include <memory>

class TDataFile;
class TDelimFile;
class TExportProfile;
class TRecordInfos;

// What the last check pass counted. Credit: accepted salary records with an account;
// debit: those with a service-provider or recipient account (a record may count in both).
struct TExportTotals {
    int CheckedCount = 0;   // marked records checked
    int ErrorCount = 0;     // marked records rejected
    int ExportCount = 0;    // records accepted into the output table
    int CreditCount = 0;
    double CreditSum = 0;
    int DebitCount = 0;
    double DebitSum = 0;
};

// A sum of at most half a kopeck counts as none: the registry, the wizard's registry page
// and the journal leave it out.
inline bool IsShownSum(double sum) { return sum > 0.005; }

// The kind is the salary list (its code "Salary", in any letter case).
bool IsSalaryKind(const TExportProfile& kind);

// The output table of an export: ";" between the fields, CP1251, no escaping.
std::unique_ptr<TDelimFile> NewExportTable();

// The document fields of the kind seen through its column map: entry j is the input
// column that feeds document field j, -1 for none. Its length is the larger of the kind's
// declared field count and the highest mapped field + 1; when two columns feed one field
// the later one wins.
TIntArray* NewPlaceRefs(const TExportProfile& kind);

// Checks every marked record of the data file (whose cursor it moves) with the kind's
// validator; the salary list also needs fresh reference lists, whose absence stops the
// pass. An accepted record gets state 1 and goes to the output table, which is emptied
// first; a rejected one gets state 2 and the message that names its field: a validation
// error, or a value that cannot reach the bank as the file holds it (a character that
// CP1251 lacks, a delimiter, CR or LF). Unmarked records are left as they are. Any other
// failure ends the pass with the marks and the table as far as it got, and with `totals`
// counted that far. The data file's records are only read.
void CheckExportRecords(TExportProfile& kind, TDataFile& data, TRecordInfos& marks, TDelimFile& output,
                        TExportTotals& totals);
