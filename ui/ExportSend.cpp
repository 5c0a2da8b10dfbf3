#include "ui/ExportSend.h"

#include "documents/Blockstreams.h"
#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "exchange/Incoming.h"
#include "exchange/Tlbfiles.h"
#include "exchange/Transport.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ExportCheck.h"
#include "ui/Guard.h"

#include <functional>

namespace {

// Sums of at most half a kopeck are left out of the journal.
constexpr double JournalSumThreshold = 0.005;

AnsiString JournalSum(double sum)
{
    return sum > JournalSumThreshold ? FormatFixed(sum, 2) : AnsiString();
}

// The container, zipped, signed and encrypted by the current cipher.
std::string BuildContainer(const std::string& member)
{
    TTlbFile container;
    auto* file = new TZippedFile(nullptr, "DATAFILE.000");
    file->WriteString(member);
    container.Add(file);
    TBlockStream saved;
    container.SaveToStream(&saved);
    saved.SetPosition(0);
    return ReadToEnd(saved);
}

void SendContainer(const TExportProfile& kind, const AnsiString& baseName, const std::string& container)
{
    TBlockStream data;
    data.WriteString(container);
    Sender.Get()->Send(AnsiString(kind.DocType->Title) + " (" + baseName + ")", baseName + ".TLB", &data);
}

void AppendJournalRow(const TExportProfile& kind, const AnsiString& baseName, const TExportTotals& totals)
{
    TJournal journal;
    journal.LoadFromFile(GetFolder(FolderSent, true) + CurrentProfile().Prefix + ".JOURNAL");
    journal.Append();
    TFileRecord& row = *journal.CurRecord();
    row.Set(0, baseName);
    row.Set(1, kind.DocType->Code);
    row.Set(2, IntToStr(totals.ExportCount));
    row.Set(3, JournalSum(totals.CreditSum));
    row.Set(4, JournalSum(totals.DebitSum));
    row.Set(5, kind.Comment);
    row.Set(6, DateTimeToStr(Now()));
    row.Set(7, baseName + ".TLB");
    journal.SaveToFile("");
}

// Runs one record of a send that reached the bank; a failure is noted under `what`.
void TryToRecord(TSentExport& sent, const AnsiString& what, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        sent.Unsaved.push_back(what + ": " + error.what());
    }
}

}  // namespace

AnsiString ExportBaseName(const AnsiString& prefix, int32_t counter, const AnsiString& letter)
{
    return Format("%s%.6d%s", prefix.c_str(), counter, letter.c_str());
}

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

TSentExport SendExportFile(TExportProfile& kind, TDataFile& output, const TExportTotals& totals)
{
    const int32_t counter = kind.FileCount;
    if (counter > MaxExportCounter)
        throw Exception("Переполнение счетчика выходного файла");
    TSentExport sent;
    sent.BaseName = ExportBaseName(CurrentProfile().Prefix, counter, kind.DocType->Letter);
    sent.NextCounter = counter + 1;
    const std::string container = BuildContainer(ExportMember(kind, sent.BaseName, totals, output));
    SendContainer(kind, sent.BaseName, container);

    // The container is at the bank: from here on every failure is only noted, so that the
    // user is never led to send the same records again under a new number.
    TryToRecord(sent, "номер следующего файла", [&] {
        try {
            kind.SetFileCount(sent.NextCounter);
        } catch (...) {
            // This run must not give the number to another container.
            kind.FileCount = sent.NextCounter;
            sent.CounterUnsaved = true;
            throw;
        }
    });
    TryToRecord(sent, "копию файла в папке Sent", [&] {
        WriteFileAtomically(GetFolder(FolderSent, true) + sent.BaseName + ".TLB", container);
    });
    TryToRecord(sent, "строку журнала отправленных файлов",
                [&] { AppendJournalRow(kind, sent.BaseName, totals); });
    if (StoreWindows.ReloadJournal)
        Guarded(StoreWindows.ReloadJournal);
    return sent;
}

AnsiString UnsavedWarning(const TSentExport& sent)
{
    if (sent.Unsaved.empty())
        return AnsiString();
    AnsiString text = "Файл " + sent.BaseName + ".TLB отправлен в банк, но не удалось сохранить:";
    for (const AnsiString& line : sent.Unsaved)
        text += "\n- " + line;
    if (sent.CounterUnsaved)
        text += "\n\nПеред следующим экспортом проверьте номер следующего файла в профиле: он должен быть " +
                IntToStr(sent.NextCounter) + ".";
    return text;
}
