#include "ui/ExportActions.h"

#include "documents/Common.h"
#include "ui/ExportReports.h"
#include "ui/ExportWizard.h"
#include "ui/Reports.h"
#include "ui/UFrmWizard.h"

void RunExportWizard(TExportDocument& document)
{
    TExportWizard wizard(document);
    RunWizard(wizard);
}

void SaveExportErrors(TExportDocument& document)
{
    SaveReportAs(ExportErrorsReport(document));
}

void PrintExportErrors(TExportDocument& document)
{
    PrintReport(ExportErrorsReport(document), AnsiString(ApplicationTitle) + ": Ошибки экспорта");
}
