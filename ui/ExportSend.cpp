#include "ui/ExportSend.h"

#include "documents/Blockstreams.h"
#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "documents/Zipfiles.h"
#include "platform/SysUtils.h"
#include "ui/ExportCheck.h"

namespace {

AnsiString JournalSum(double sum)
{
    return IsShownSum(sum) ? FormatFixed(sum, 2) : AnsiString();
}

}  // namespace

std::string ExportMember(const TExportProfile& kind, const AnsiString& baseName, const TExportTotals& totals,
                         TDataFile& output)
{
    std::string header = "FILE_TYPE=" + UpperCase(kind.DocType->Code) + "\r\n" +
                         "ARM_VERSION=" + GetShortFileVersion() + "\r\n" +
                         "PREFIX=" + CurrentProfile().Prefix + "\r\n" +
                         "FILE_NAME=" + baseName + "\r\n" +
                         "FILE_COMMENT=" + kind.Comment + "\r\n";
    if (IsSalaryKind(kind))
        header += "TOTAL_COUNT_B=" + IntToStr(totals.CreditCount) + "\r\n" +
                  "TOTAL_SUM_B=" + FormatFixed(totals.CreditSum, 2) + "\r\n" +
                  "TOTAL_COUNT_E=" + IntToStr(totals.DebitCount) + "\r\n" +
                  "TOTAL_SUM_E=" + FormatFixed(totals.DebitSum, 2) + "\r\n";
    header += "<DATA>\r\n";
    TMemoryStream payload;
    output.SaveToStream(&payload);
    return header + payload.Bytes();
}

TSentFile SendExportFile(TExportProfile& kind, TDataFile& output, const TExportTotals& totals)
{
    TSentName name(CurrentProfile().Prefix, kind.FileCount, kind.DocType->Letter);
    const AnsiString& baseName = name.BaseName();
    TBlockStream container;
    {
        std::unique_ptr<TZippedFile> member = NewDataMember();
        member->WriteString(ExportMember(kind, baseName, totals, output));
        SaveContainer(std::move(member), container);
    }
    const TJournalEntry entry{baseName,
                              kind.DocType->Code,
                              IntToStr(totals.ExportCount),
                              JournalSum(totals.CreditSum),
                              JournalSum(totals.DebitSum),
                              kind.Comment};
    return SendAndRecord(kind, name, AnsiString(kind.DocType->Title) + " (" + baseName + ")", container, entry);
}
