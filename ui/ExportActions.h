#pragma once
// The export commands of a document window: the export wizard and the error list, saved as
// RTF or printed. The document window calls them; they work over TExportDocument only.

class TExportDocument;

// Runs the export wizard for the document in the modal wizard window.
void RunExportWizard(TExportDocument& document);
// Saves the error list of the last check as an RTF file the user chooses.
void SaveExportErrors(TExportDocument& document);
// Prints the error list of the last check.
void PrintExportErrors(TExportDocument& document);
