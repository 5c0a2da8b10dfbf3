#pragma once
// The last step of an export: the accepted records become the member "DATAFILE.000" of a
// signed and encrypted container, which the current sender hands to the bank; only then
// is the send recorded (the kind's output counter, an archive copy in "Sent/" and a row of
// the send journal). Needs no window.

#include "platform/AnsiString.h"

#include <cstdint>
#include <string>
#include <vector>

class TDataFile;
class TExportProfile;
struct TExportTotals;

// The counter of a kind's containers may not pass this.
constexpr int32_t MaxExportCounter = 999999;

// The name of a container without ".TLB": the prefix, the counter as at least six digits
// and the kind's letter (AB1, 42, "N" give AB1000042N).
AnsiString ExportBaseName(const AnsiString& prefix, int32_t counter, const AnsiString& letter);

// The member of the export: the header lines (each ended by CR LF; the salary list adds
// its totals), the line "<DATA>" and the output table in its own format.
std::string ExportMember(const TExportProfile& kind, const AnsiString& baseName, const TExportTotals& totals,
                         TDataFile& output);

// A send that reached the bank, and what could not be recorded afterwards.
struct TSentExport {
    AnsiString BaseName;
    // One line per record that failed: what it was and the error's message.
    std::vector<AnsiString> Unsaved;
    // The counter could not be written to the profiles file (it is advanced in memory).
    bool CounterUnsaved = false;
    int32_t NextCounter = 0;
};

// Builds the container of the output table under the kind's next number and sends it.
// A failure up to and including the send raises and changes nothing, so that the same
// number can be sent again. Once the container is at the bank nothing raises: each
// record of the send (counter, archive copy, journal row) is tried and what failed is
// returned; the open journal window is reloaded, a failure of that shown in the error box.
TSentExport SendExportFile(TExportProfile& kind, TDataFile& output, const TExportTotals& totals);

// The warning about what the send could not record; empty when everything was recorded.
AnsiString UnsavedWarning(const TSentExport& sent);
