#pragma once
// The two printable reports of an export: the error list of a document (the records the
// last check rejected, with their messages) and the registry of the records the export
// wizard accepted for sending, with its totals. Both are built as rich text in Courier New
// of 10 points; the error list is saved as RTF or printed, the registry printed.

#include "documents/RichText.h"

class TDataFile;
class TExportDocument;
class TExportProfile;
class TRecord;
struct TExportTotals;

// The width of the registry's table.
constexpr int RegistryWidth = 78;

// The error list: a centred, underlined title with the profile's caption, then for every
// marked record in error its number, the value of its name column and, in italic, the
// error text. Without a column that feeds the document's first field the name is empty.
TRichText ExportErrorsReport(TExportDocument& document);

// The registry of the output table: a title with the kind's title and the profile's
// caption, a table of name, account and amount, and the credit and debit totals that
// exceed half a kopeck. When the kind's column map feeds a field beyond the third, every
// record is followed by its other non-empty fields, captioned and wrapped.
TRichText ExportRegistryReport(const TExportProfile& kind, TDataFile& output, const TExportTotals& totals);

// The detail block of one output record: every non-empty field from the fourth to the
// last as its caption + ": " + value, joined by two blanks and wrapped into lines of at
// most 76 characters at blanks, commas and points; each line ends with "\n".
AnsiString RegistryDetails(const TExportProfile& kind, const TRecord& record);

// Prints the registry after the printer dialog; nothing when the user cancelled it.
void PrintExportRegistry(const TExportProfile& kind, TDataFile& output, const TExportTotals& totals);
