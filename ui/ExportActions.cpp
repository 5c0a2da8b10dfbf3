#include "ui/ExportActions.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "platform/Paths.h"
#include "ui/ExportDocument.h"
#include "ui/ExportReports.h"
#include "ui/ExportWizard.h"
#include "ui/Reports.h"
#include "ui/UFrmWizard.h"

AnsiString DocumentPdfName(const TExportProfile& kind)
{
    return kind.FileName.empty() ? AnsiString() : ChangeFileExt(kind.FileName, ".pdf");
}

void RunExportWizard(TExportDocument& document)
{
    TExportWizard wizard(document);
    RunWizard(wizard);
}

void SaveExportErrors(TExportDocument& document)
{
    SaveReportAs(ExportErrorsReport(document), AnsiString(), DialogStartFolder(document.ExportKind().FileName));
}

void PrintExportErrors(TExportDocument& document)
{
    PrintReport(ExportErrorsReport(document), AnsiString(ApplicationTitle) + ": Ошибки экспорта",
                DocumentPdfName(document.ExportKind()));
}
