// The operations of TReceiver that process what the bank sends, and their helpers.

#include "exchange/Incoming.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "exchange/HeldMessages.h"
#include "exchange/ReceivedMail.h"
#include "exchange/Tlbfiles.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

TStoreWindows StoreWindows;

namespace {

bool IsKoi8(const AnsiString& charset)
{
    return SameText(charset, "KOI8-R");
}

// The longest name kept for a file from the bank, in characters. A CP1251 character
// takes up to three bytes of a UTF-8 file name, the system allows 255 bytes, and the
// temporary name of a write adds a few more.
constexpr size_t LongestSafeName = 80;

// The extension that a shortened name keeps; a long one is cut with the rest.
AnsiString ShortExtension(const AnsiString& name)
{
    const AnsiString extension = ExtractFileExt(name);
    return extension.size() <= 16 ? extension : AnsiString();
}

// The stem cut so that the stem and the tail fit into LongestSafeName.
AnsiString FittedName(const AnsiString& stem, const AnsiString& tail)
{
    return stem.substr(0, LongestSafeName - std::min(tail.size(), LongestSafeName)) + tail;
}

} // namespace

// ---- The message ----

TMessageSubject JudgeSubject(const AnsiString& subject, const AnsiString& charset, const AnsiString& prefix)
{
    const AnsiString decoded = DecodeHeaderWords(IsKoi8(charset) ? Koi8ToAnsi(subject) : subject);
    TStringList words;
    SplitString(words, decoded, " ");
    TMessageSubject result;
    // The kept words are collected apart: erasing from the list one word at a time would
    // take time that grows with the square of the subject's length.
    TStringList kept;
    for (const AnsiString& word : words.Items()) {
        if (SameText(word, MessageToken))
            continue;
        if (SameText(word, prefix))
            result.ForClient = true;
        else
            kept.Add(word);
    }
    result.Title = JoinStrings(kept, " ");
    return result;
}

AnsiString MessageText(const TReceivedMail& mail)
{
    const std::string* text = &mail.Body;
    const AnsiString* charset = &mail.CharSet;
    for (const TMailPart& part : mail.Parts)
        if (part.Kind == TMailPart::mpText) {
            text = &part.Content;
            charset = &part.CharSet;
            break;
        }
    TStringList lines;
    lines.SetText(IsKoi8(*charset) ? Koi8ToAnsi(*text) : *text);
    return lines.Text();
}

AnsiString FailedLine(const AnsiString& fileName, const AnsiString& errorText)
{
    TStringList lines;
    lines.SetText(TrimRight(errorText));
    return fileName + ": " + JoinStrings(lines, "<EOL>");
}

AnsiString SafeFileName(const AnsiString& name, const AnsiString& fallback)
{
    AnsiString base = name.substr(name.find_last_of("/\\") + 1);
    for (char& c : base)
        if (c == ':' || IsControlChar(c))
            c = '_';
    if (base.empty() || base == "." || base == "..")
        return fallback;
    if (base.size() <= LongestSafeName)
        return base;
    const AnsiString extension = ShortExtension(base);
    return FittedName(base.substr(0, base.size() - extension.size()), extension);
}

AnsiString RejectFileName(const AnsiString& attachmentName)
{
    return SafeFileName(attachmentName, "attachment.tlb");
}

// A failed attachment keeps a file of its own in "Reject/": when an earlier one still holds
// the name, a number goes before the extension, so that no kept file is overwritten and
// every failed line names the bytes it failed on. A link holds its name too, even one to
// nothing: the copy must not land where it points. The name is held by creating an empty
// file there exclusively, so that a receive of another instance at the same moment takes
// another one; the copy then replaces that empty file.
AnsiString ReserveRejectName(const AnsiString& folder, const AnsiString& name)
{
    const auto reserved = [&folder](const AnsiString& candidate) {
        return CreateEmptyFile(folder + candidate).has_value();
    };
    if (reserved(name))
        return name;
    const AnsiString extension = ShortExtension(name);
    const AnsiString stem = name.substr(0, name.size() - extension.size());
    for (int number = 1;; ++number) {
        const AnsiString candidate = FittedName(stem, "(" + IntToStr(number) + ")" + extension);
        if (reserved(candidate))
            return candidate;
    }
}

// ---- The members of a bank's container ----

namespace {

// The handlers below store the bytes of a member from its position to its end as memo 0 of
// a new last row. They are compared and copied where they lie, a piece at a time, and the
// last store that needs them takes them from the member (`giveUp`): a list of hundreds of
// megabytes is held once while it is stored, and once while it is compared with the held
// one that the store's file gives as it is inflated.

// Replaces the list of that type in the reference-list store: its rows hold the list
// (memo), the type and the date. The same list again (a message that stayed on the
// server comes again) leaves the store as it is.
void StoreEtalon(const AnsiString& fileName, const AnsiString& type, const AnsiString& date, TStream& data,
                 bool giveUp)
{
    TEtalons store;
    UpdateStoreUnlessHeld(store, fileName, {{1, type}, {2, date}}, 0, data, [&] {
        store.First();
        while (!store.Eof()) {
            if (SameText(store.CurRecord()->Get(1), type))
                store.Delete();
            else
                store.Next();
        }
        store.Append();
        store.SetMemoFrom(0, data, giveUp);
        TFileRecord& row = *store.CurRecord();
        row.Set(1, type);
        row.Set(2, date);
    });
}

// Appends a reply to its store: the rows hold the reply (memo) and its file name. A reply
// already held under its name with the same bytes (a message that stayed on the server
// comes again) is not stored twice.
void StoreReply(const AnsiString& fileName, const AnsiString& replyName, TStream& data)
{
    TReplyFiles store;
    UpdateStoreUnlessHeld(store, fileName, {{1, replyName}}, 0, data, [&] {
        store.Append();
        store.SetMemoFrom(0, data, true);
        store.CurRecord()->Set(1, replyName);
    });
}

// The member's bytes from its position, which it then gives up: a large update is held
// once, not twice, while it is written.
std::string TakeBytes(TStream& member)
{
    std::string bytes = ReadToEnd(member);
    member.SetSize(0);
    return bytes;
}

} // namespace

int EtalonTypeIndex(const AnsiString& type)
{
    for (int i = 0; i < EtalonTypeCount; ++i)
        if (SameText(type, EtalonTypeInfos[i].Code))
            return i;
    throw Exception("Неверный тип эталонного списка: " + type);
}

void CheckEtalonDate(const AnsiString& date)
{
    TDateTime converted = 0;
    if (!TryStrToDate(date, converted))
        throw Exception("Неверная дата эталонного списка: " + date);
}

AnsiString EtalonPrefix(const AnsiString& item)
{
    const AnsiString prefix = UpperCase(Trim(item));
    const bool valid = prefix.size() == 3 && std::all_of(prefix.begin(), prefix.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                       });
    if (!valid)
        throw Exception("Неверный префикс: " + prefix);
    return prefix;
}

void CheckReplyFileName(const AnsiString& fileName)
{
    // The first three characters name the store's file; the whole name is stored, reported
    // and listed, where a control character would ring, move the cursor or hide text.
    const AnsiString start = fileName.substr(0, 3);
    if (std::any_of(start.begin(), start.end(), [](char c) { return c == '/' || c == '\\' || c == ':'; })
        || std::any_of(fileName.begin(), fileName.end(), IsControlChar)) {
        AnsiString shown = fileName;
        std::replace_if(shown.begin(), shown.end(), IsControlChar, '?');
        throw Exception("Неверное имя файла ответа: " + shown);
    }
}

int ReplyKindIndex(const AnsiString& type)
{
    for (int i = 0; i < ReplyDocTypeCount; ++i)
        if (SameText(type, ReplyDocTypes[i].Code))
            return i;
    return -1;
}

AnsiString UpdateFileName(const AnsiString& version)
{
    if (version.empty() || version.find_first_not_of("0123456789.") != AnsiString::npos)
        throw Exception("Неверная версия обновления: " + version);
    return "Updates-" + version + ".exe";
}

AnsiString TReceiver::GetParam(const TStringList& header, const AnsiString& key)
{
    const AnsiString value = Trim(header.Values(key));
    if (value.empty())
        throw Exception("Отсутствует параметр " + key);
    return value;
}

void TReceiver::ProcessFile(TStream& container, TStringList& report)
{
    TTlbFile archive;
    archive.LoadFromStream(&container);
    TStringList header;
    for (int i = 0; i < archive.Count(); ++i) {
        TZippedFile& member = *archive.At(i);
        ReadTlbHeader(&header, &member);
        const AnsiString type = header.Values("FILE_TYPE");
        if (type.empty())
            throw Exception("Не задан тип файла");
        if (SameText(type, "ETALON")) {
            ProcessEtalon(member, header, report);
        } else if (SameText(type, "UPDATES")) {
            ProcessUpdate(member, header, report);
        } else {
            const int replyKind = ReplyKindIndex(type);
            if (replyKind < 0)
                throw Exception("Неизвестный тип файла: " + type);
            ProcessReplyFile(member, header, report, replyKind);
        }
    }
}

void TReceiver::ProcessEtalon(TStream& member, const TStringList& header, TStringList& report)
{
    const AnsiString prefixes = GetParam(header, "PREFIX");
    const AnsiString type = GetParam(header, "ETALON_TYPE");
    const int typeIndex = EtalonTypeIndex(type);
    const AnsiString date = GetParam(header, "ETALON_DATE");
    CheckEtalonDate(date);
    // Each prefix is checked when its turn comes: the stores of those before a bad one
    // are written already.
    TStringList items;
    SplitString(items, prefixes, ",");
    for (int i = 0; i < items.Count(); ++i)
        StoreEtalon(EtalonsFileName(EtalonPrefix(items[i])), type, date, member, i == items.Count() - 1);

    AnsiString line = EtalonTypeInfos[typeIndex].Title;
    if (!SameText(prefixes, CurrentProfile().Prefix))
        line += " (" + prefixes + ")";
    report.Add(line);
    ++Etalons;
}

void TReceiver::ProcessReplyFile(TStream& member, const TStringList& header, TStringList& report, int replyKind)
{
    const AnsiString fileName = GetParam(header, "FILE_NAME");
    CheckReplyFileName(fileName);
    StoreReply(ReplyFilesName(fileName, ReplyDocTypes[replyKind].Code), fileName, member);
    report.Add(AnsiString(ReplyDocTypes[replyKind].Title) + " (" + fileName + ")");
    ++ListsAdded[replyKind];
}

void TReceiver::ProcessUpdate(TStream& member, const TStringList& header, TStringList& report)
{
    const AnsiString version = GetParam(header, "VERSION");
    const AnsiString fileName = UpdateFileName(version);
    WriteExecutableAtomically(GetFolder(FolderUpdates, true) + fileName, TakeBytes(member), TLinkAtTarget::Replace);
    report.Add("Обновления ПО до версии " + version);
    ++Updates;
}

// ---- The message's row and its attachments ----

bool TReceiver::ProcessMessage(TReceivedMail& mail, TMessages& store)
{
    THeldMessages none;
    return ProcessMessage(mail, store, none);
}

bool TReceiver::ProcessMessage(TReceivedMail& mail, TMessages& store, THeldMessages& held)
{
    const TMessageSubject subject = JudgeSubject(mail.Subject, mail.CharSet, CurrentProfile().Prefix);
    mail.Subject = subject.Title;
    if (!subject.ForClient)
        return false;
    if (held.Holds(mail.Identity))
        return true;
    TStringList report;
    TStringList failed;
    ProcessAttachments(mail, report, failed);

    store.Append();
    TFileRecord& row = *store.CurRecord();
    row.Set(TMessages::TextField, MessageText(mail));
    row.Set(TMessages::ReportField, report.Text());
    row.Set(TMessages::FailedField, failed.Text());
    row.Set(TMessages::TitleField, subject.Title);
    row.Set(TMessages::CreatedField, DateTimeToStr(mail.Date));
    row.Set(TMessages::ReceivedField, DateTimeToStr(Now()));
    held.Add(mail.Identity, store, store.RecNo());
    ++Messages;
    return true;
}

void TReceiver::ProcessAttachments(const TReceivedMail& mail, TStringList& report, TStringList& failed)
{
    for (const TMailPart& part : mail.Parts) {
        if (part.Kind != TMailPart::mpAttachment)
            continue;
        AnsiString error;
        try {
            TMemoryStream content;
            content.WriteString(part.Content);
            content.SetPosition(0);
            ProcessFile(content, report);
            continue;
        } catch (const Exception& raised) {
            error = raised.Message();
        }
        const AnsiString folder = GetFolder(FolderReject, true);
        const AnsiString name = ReserveRejectName(folder, RejectFileName(part.FileName));
        FileError(error, name);
        failed.Add(FailedLine(name, error));
        try {
            WriteFileAtomically(folder + name, part.Content, TLinkAtTarget::Replace);
        } catch (...) {
            DeleteFile(folder + name);   // the empty file that held the name
            throw;
        }
    }
}

void TReceiver::ProcessStoredFiles(TStringList& report, TStringList& failed, const std::function<void()>& recordLines)
{
    ResetCounters();
    const AnsiString folder = GetFolder(FolderReject);
    std::vector<AnsiString> processed;
    for (int i = 0; i < failed.Count();) {
        const AnsiString& line = failed[i];
        const size_t colon = line.find(':');
        const AnsiString name = line.substr(0, colon);
        // Only a name that this program could have written names a file of the folder.
        if (colon == AnsiString::npos || RejectFileName(name) != name) {
            ++i;
            continue;
        }
        try {
            TFileStream file(folder + name, fmOpenRead | fmShareDenyWrite);
            ProcessFile(file, report);
        } catch (const Exception& error) {
            FileError(error.Message(), name);
            ++i;
            continue;
        }
        failed.Delete(i);
        processed.push_back(name);
    }
    if (recordLines)
        recordLines();
    for (const AnsiString& name : processed)
        DeleteFile(folder + name);
}

// ---- Warnings and results ----

void TReceiver::MessageError(const AnsiString& text)
{
    AppMessageBox(TrimRight(text) + ".\nСообщение пропущено.", MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
    ++BadMessages;
}

void TReceiver::FileError(const AnsiString& text, const AnsiString& fileName)
{
    AppMessageBox("Ошибка обработки файла " + fileName + ":\n" + TrimRight(text) + ".\nФайл пропущен.",
                  MessageBoxFlags::Ok | MessageBoxFlags::IconWarning);
    ++BadFiles;
}

int32_t TReceiver::RepliesAdded() const
{
    return std::accumulate(ListsAdded.begin(), ListsAdded.end(), 0);
}

AnsiString TReceiver::SummaryText() const
{
    const struct {
        const char* Label;
        int32_t Count;
    } lines[] = {
        {"Принято сообщений: ", Messages},      {"Эталонных списков: ", Etalons},
        {"Списков добавленных: ", RepliesAdded()}, {"Обновлений ПО: ", Updates},
        {"Ошибочных сообщений: ", BadMessages}, {"Ошибочных файлов: ", BadFiles},
    };
    AnsiString text;
    for (const auto& line : lines)
        if (line.Count != 0)
            text += line.Label + IntToStr(line.Count) + "\n";
    return text;
}

void TReceiver::RefreshForms() const
{
    if (StoreWindows.ReloadMessages && Messages != 0)
        StoreWindows.ReloadMessages();
    if (StoreWindows.ReloadEtalons && Etalons != 0)
        StoreWindows.ReloadEtalons();
    if (StoreWindows.ReloadReplies && RepliesAdded() != 0)
        StoreWindows.ReloadReplies();
}

// ---- The run of one receive ----

namespace {

// The current profile's message store, read when the run begins so that a store that
// cannot be read stops the run before anything is fetched, and the identities of the
// messages it records. The rows of the run are collected apart and appended to the store
// as its file holds it when the run is saved: another program may have changed it
// meanwhile. A message recorded already, as the store and its identities read at the
// start or at the save, or earlier in the run, is not recorded twice.
class TMessageStoreRun : public TReceiveRun {
public:
    explicit TMessageStoreRun(TReceiver& receiver)
        : FReceiver(receiver), FFileName(MessagesFileName(CurrentProfile().Prefix)),
          FHeldFileName(HeldMessagesFileName(FFileName))
    {
        LoadMessageStore(FStore, FFileName);
        FHeld.Load(FHeldFileName, FStore);
    }
    bool Process(TReceivedMail& mail) override
    {
        const int rows = FNewRows.RecordCount();
        const bool recorded = FReceiver.ProcessMessage(mail, FNewRows, FHeld);
        if (FNewRows.RecordCount() > rows)
            FNewIdentities.push_back(mail.Identity);
        return recorded;
    }
    void Save() override
    {
        if (!FNewRows.Open() || FNewRows.RecordCount() == 0)
            return;
        THeldMessages held;
        // The identities go to the disk only after the rows they name: a stop between
        // the two writes leaves rows that match nothing, never an identity without its row.
        UpdateMessageStore(FStore, FFileName, [&] { AppendNewRows(held); }, [&] { held.Save(); });
    }

private:
    // Appends the rows of the run that the store, as read afresh, does not record: another
    // receive may have recorded some of the messages meanwhile.
    void AppendNewRows(THeldMessages& held)
    {
        held.Load(FHeldFileName, FStore);
        for (int row = 0; row < FNewRows.RecordCount(); ++row) {
            if (held.Holds(FNewIdentities[row]))
                continue;
            FNewRows.GoTo(row);
            FStore.Append(FNewRows.CurRecord());
            held.Add(FNewIdentities[row], FStore, FStore.RecNo());
        }
    }

    TReceiver& FReceiver;
    const AnsiString FFileName;
    const AnsiString FHeldFileName;
    TMessages FStore;
    TMessages FNewRows;
    std::vector<std::string> FNewIdentities;   // of the rows of FNewRows
    THeldMessages FHeld;                       // as read at the start, and the run's own
};

} // namespace

std::unique_ptr<TReceiveRun> TReceiver::BeginRun()
{
    return std::make_unique<TMessageStoreRun>(*this);
}
