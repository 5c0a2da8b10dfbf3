#include "ui/QueryWizard.h"

#include "documents/Blockstreams.h"
#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "documents/Zipfiles.h"
#include "exchange/Ciphers.h"
#include "exchange/Transport.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "ui/ContainerSend.h"
#include "ui/UFrmWizard.h"

TQueryWizard::TQueryWizard() : TSimpleWizard("Отправка запроса на эталон") {}

void TQueryWizard::ShowStart()
{
    View().ShowMessage("Сейчас в банк будет отправлен запрос на формирование новых эталонных списков.\n\n" +
                       Cipher.Get()->GetPrompt());
}

void TQueryWizard::DoWork()
{
    View().ShowMessage("Идет отправка запроса...");
    const AnsiString prefix = CurrentProfile().Prefix;
    TBlockStream container;
    {
        std::unique_ptr<TZippedFile> member = NewDataMember();
        member->WriteString(QueryMember(prefix, CurrentSalaryProfile()));
        SaveContainer(std::move(member), container);
    }
    Sender.Get()->Send("Запрос на эталонные списки", prefix + "QUERY.TLB", &container);
}

void TQueryWizard::ShowDone(bool& /*backEnabled*/)
{
    View().ShowMessage("Запрос успешно отправлен в банк.");
}

void TQueryWizard::ShowFailed()
{
    View().ShowMessage("Произошла ошибка при отправке запроса.");
}

std::string QueryMember(const AnsiString& prefix, const TSalaryProfile& salary)
{
    AnsiString codes;
    for (int i = 0; i < salary.EtalonTypes.Count(); ++i) {
        if (i != 0)
            codes += ",";
        codes += EtalonTypeInfos[salary.EtalonTypes.At(i)].Code;
    }
    return "FILE_TYPE=QUERY_ETALON\r\n"
           "ARM_VERSION=" + GetShortFileVersion() + "\r\n" +
           "PREFIX=" + prefix + "\r\n" +
           "ETALON_TYPES=" + codes + "\r\n";
}

void RunQueryWizard()
{
    if (CurrentSalaryProfile().EtalonTypes.Count() == 0) {
        AppMessageBox("Для текущего профиля эталонные списки не требуются.",
                      MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
        return;
    }
    TQueryWizard wizard;
    RunWizard(wizard);
}
