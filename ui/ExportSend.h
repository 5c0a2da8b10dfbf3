#pragma once
// The last step of an export: the accepted records become the member "DATAFILE.000" of a
// signed and encrypted container, which the current sender hands to the bank; only then
// is the send recorded (the kind's output counter, an archive copy in "Sent/" and a row of
// the send journal). Needs no window.

#include "platform/AnsiString.h"
#include "ui/ContainerSend.h"

#include <string>

class TDataFile;
class TExportProfile;
struct TExportTotals;

// The member of the export: the header lines (each ended by CR LF; the salary list adds
// its totals), the line "<DATA>" and the output table in its own format.
std::string ExportMember(const TExportProfile& kind, const AnsiString& baseName, const TExportTotals& totals,
                         TDataFile& output);

// Builds the container of the output table under the kind's next number and sends it,
// then records the send (SendAndRecord).
TSentFile SendExportFile(TExportProfile& kind, TDataFile& output, const TExportTotals& totals);
