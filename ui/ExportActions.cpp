#include "ui/ExportActions.h"

#include "platform/Exception.h"
#include "ui/ExportWizard.h"
#include "ui/UFrmWizard.h"

void RunExportWizard(TExportDocument& document)
{
    if (!FrmWizard)
        throw Exception("Окно мастера не создано");
    TExportWizard wizard(document);
    FrmWizard->Execute(&wizard);
}

void SaveExportErrors(TExportDocument&)
{
    throw Exception("Сохранение ошибок ещё не поддерживается");
}

void PrintExportErrors(TExportDocument&)
{
    throw Exception("Печать ошибок ещё не поддерживается");
}
