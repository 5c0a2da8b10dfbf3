#pragma once
// The printable reports of the program on the screen's side: a rich text turned into a Qt
// text document and printed inside the report margins, the printer dialog, and the save
// dialog of a report or list, which completes the extension and asks before it replaces
// a file.

#include "documents/RichText.h"
#include "platform/Dialogs.h"

#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QTextDocument;

// The rich text as a Qt text document, for printing.
std::unique_ptr<QTextDocument> ToTextDocument(const TRichText& text);

// Prints the rich text on the printer inside the margins of every report, page after page,
// under the job title.
void PrintRichText(const TRichText& text, QPrinter& printer, const AnsiString& jobTitle);

// Lets the user choose and set up the printer; false when the user cancelled. A file name
// the printer holds is what the dialog suggests for a print to a file. Tests put a chooser
// of their own in place of the print dialog (null restores it); it sees that name.
bool ChoosePrinter(QPrinter& printer);
using TPrinterChooser = std::function<bool(QPrinter&)>;
void SetPrinterChooser(TPrinterChooser chooser);

// The folder a file dialog about this file starts in: the file's folder, else the data
// folder of the selected profile (else nothing: the dialog's own choice).
AnsiString DialogStartFolder(const AnsiString& fileName);

// Asks the save dialog for a file name; without a start folder of its own the dialog
// starts in DialogStartFolder of the request's file. A name without an extension gets the
// request's default extension; when that file exists the user is asked the name + " уже
// существует.\nЗаменить?" (Yes and No, warning icon), and on No the dialog comes again
// with that name. Nothing when the user cancelled.
std::optional<AnsiString> AskSaveFileName(TFileDialogRequest request);

// The filter of the RTF reports' save dialogs.
inline constexpr char RtfFileFilter[] = "Текст в формате RTF (*.rtf)|*.rtf";

// Asks for an RTF file name (AskSaveFileName with ".rtf"; the dialog starts in initialDir
// when one is given) and saves the rich text there; false when the user cancelled.
bool SaveReportAs(const TRichText& text, const AnsiString& suggestedName = AnsiString(),
                  const AnsiString& initialDir = AnsiString());
// Asks for a printer and prints the rich text under the job title; false when the user
// cancelled. A print to a file suggests suggestedPdf when one is given.
bool PrintReport(const TRichText& text, const AnsiString& jobTitle, const AnsiString& suggestedPdf = AnsiString());
