#include "ui/ContainerSend.h"

#include "documents/Blockstreams.h"
#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "documents/Zipfiles.h"
#include "exchange/Ciphers.h"
#include "exchange/Incoming.h"
#include "exchange/Transport.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/Guard.h"
#include "ui/Wizard.h"

#include <functional>

namespace {

void AppendEntryRow(const TJournalEntry& entry, const AnsiString& fileName)
{
    TDelimRecord row(";", true);
    row.Set(0, entry.Name);
    row.Set(1, entry.Kind);
    row.Set(2, entry.Count);
    row.Set(3, entry.CreditSum);
    row.Set(4, entry.DebitSum);
    row.Set(5, entry.Comment);
    row.Set(6, DateTimeToStr(Now()));
    row.Set(7, fileName);
    AppendJournalRow(row);
}

// Runs one record of a send that reached the bank; a failure is noted under `what`.
void TryToRecord(TSentFile& sent, const AnsiString& what, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        sent.Unsaved.push_back(what + ": " + error.what());
    }
}

}  // namespace

void AppendJournalRow(const TRecord& row)
{
    TJournal journal;
    UpdateStore(journal, JournalFileName(CurrentProfile().Prefix), [&] { journal.Append(&row); });
}

void CheckFileCounter(int32_t counter)
{
    if (counter > MaxFileCounter)
        throw Exception("Переполнение счетчика выходного файла");
}

AnsiString CounterBaseName(const AnsiString& prefix, int32_t counter, const AnsiString& letter)
{
    return Format("%s%.6d%s", prefix.c_str(), counter, letter.c_str());
}

TSentName::TSentName(const AnsiString& prefix, int32_t counter, const AnsiString& letter) : FCounter(counter)
{
    CheckFileCounter(FCounter);
    FFolder = GetFolder(FolderSent);
    FFolderMade = !DirectoryExists(FFolder);
    GetFolder(FolderSent, true);
    for (;;) {
        FBaseName = CounterBaseName(prefix, FCounter, letter);
        FPath = FFolder + FileName();
        if (const std::optional<TFileStamp> held = CreateEmptyFile(FPath)) {
            FHeld = *held;
            return;
        }
        CheckFileCounter(++FCounter);
    }
}

TSentName::~TSentName()
{
    if (FKept)
        return;
    if (StillHeld())
        DeleteFile(FPath);
    if (FFolderMade)
        RemoveEmptyFolder(FFolder);
}

bool TSentName::StillHeld() const
{
    return FileStamp(FPath) == FHeld && !IsSymbolicLink(FPath);
}

void TSentName::StoreCopy(TStream& container)
{
    if (!StillHeld())
        throw Exception("в папке Sent под именем " + FileName() + " теперь стоит другой файл (его записала другая "
                        "программа во время отправки); он оставлен как есть, копия этого файла не сохранена");
    container.SetPosition(0);
    WriteFileAtomically(FPath, container, TLinkAtTarget::Replace);
}

std::unique_ptr<TZippedFile> NewDataMember()
{
    return std::make_unique<TZippedFile>(nullptr, "DATAFILE.000");
}

void SaveContainer(std::unique_ptr<TZippedFile> member, TBlockStream& container)
{
    TBlockStream plain;
    {
        TZipFile archive;
        archive.Add(member.release());
        archive.SaveToStream(&plain);
    }
    plain.SetPosition(0);
    container.SetSize(0);
    container.SetPosition(0);
    Cipher.Get()->Encrypt(&plain, &container);
}

TSentFile SendAndRecord(TFileProfile& kind, TSentName& name, const AnsiString& text, TBlockStream& container,
                        const TJournalEntry& entry)
{
    TSentFile sent;
    sent.BaseName = name.BaseName();
    sent.NextCounter = name.Counter() + 1;
    const AnsiString fileName = name.FileName();
    Sender.Get()->Send(text, fileName, &container);
    name.Keep();

    // The container is at the bank: from here on every failure is only noted, so that the
    // user is never led to send the same file again under a new number.
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
    TryToRecord(sent, "копию файла в папке Sent", [&] { name.StoreCopy(container); });
    TryToRecord(sent, "строку журнала отправленных файлов", [&] { AppendEntryRow(entry, fileName); });
    if (StoreWindows.ReloadJournal)
        Guarded(StoreWindows.ReloadJournal);
    return sent;
}

AnsiString UnsavedWarning(const TSentFile& sent)
{
    if (sent.Unsaved.empty())
        return AnsiString();
    AnsiString text = "Файл " + sent.BaseName + ".TLB отправлен в банк, но не удалось сохранить:";
    for (const AnsiString& line : sent.Unsaved)
        text += "\n- " + line;
    // A reason may end in "repeat later" (a busy store): that never means sending again.
    text += "\n\nФайл уже в банке: отправлять его еще раз не нужно.";
    if (sent.CounterUnsaved)
        text += "\n\nПеред следующей отправкой проверьте номер следующего файла в профиле: он должен быть " +
                IntToStr(sent.NextCounter) + ".";
    return text;
}

std::optional<TSentFile> RunSendStep(TWizardView& view, const std::function<TSentFile()>& send)
{
    TSentFile sent;
    const bool reachedBank = RunBusyStep(view, [&] {
        view.ShowMessage("Идет отправка файла...");
        sent = send();
    });
    if (!reachedBank)
        return std::nullopt;
    const AnsiString warning = UnsavedWarning(sent);
    if (!warning.empty())
        AppMessageBox(warning, MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
    return sent;
}
