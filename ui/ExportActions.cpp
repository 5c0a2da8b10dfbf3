#include "ui/ExportActions.h"

#include "platform/Exception.h"

void RunExportWizard(TExportDocument&)
{
    throw Exception("Экспорт ещё не поддерживается");
}

void SaveExportErrors(TExportDocument&)
{
    throw Exception("Сохранение ошибок ещё не поддерживается");
}

void PrintExportErrors(TExportDocument&)
{
    throw Exception("Печать ошибок ещё не поддерживается");
}
