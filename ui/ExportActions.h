#pragma once
// The export commands of a document window: the export wizard and the error list, saved as
// RTF or printed. The document window calls them; they work over TExportDocument only.

#include "platform/AnsiString.h"

class TExportDocument;
class TExportProfile;

// The file a print of the document's reports to PDF suggests: the document's file with
// ".pdf" for its extension; empty when the kind has no file.
AnsiString DocumentPdfName(const TExportProfile& kind);

// Runs the export wizard for the document in the modal wizard window.
void RunExportWizard(TExportDocument& document);
// Saves the error list of the last check as an RTF file the user chooses.
void SaveExportErrors(TExportDocument& document);
// Prints the error list of the last check.
void PrintExportErrors(TExportDocument& document);
