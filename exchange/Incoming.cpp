// The operations of TReceiver that process what the bank sends, and their helpers.

#include "exchange/Incoming.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "exchange/ReceivedMail.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <vector>

#include <numeric>

TStoreWindows StoreWindows;

namespace {

bool IsKoi8(const AnsiString& charset)
{
    return SameText(charset, "KOI8-R");
}

} // namespace

// ---- The message ----

TMessageSubject JudgeSubject(const AnsiString& subject, const AnsiString& charset, const AnsiString& prefix)
{
    const AnsiString decoded = DecodeHeaderWords(IsKoi8(charset) ? Koi8ToAnsi(subject) : subject);
    TStringList words;
    SplitString(words, decoded, " ");
    TMessageSubject result;
    for (int i = 0; i < words.Count();) {
        if (SameText(words[i], MessageToken)) {
            words.Delete(i);
        } else if (SameText(words[i], prefix)) {
            words.Delete(i);
            result.ForClient = true;
        } else {
            ++i;
        }
    }
    result.Title = JoinStrings(words, " ");
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
        if (c == ':' || static_cast<unsigned char>(c) < 32 || c == 127)
            c = '_';
    return base.empty() || base == "." || base == ".." ? fallback : base;
}

AnsiString RejectFileName(const AnsiString& attachmentName)
{
    return SafeFileName(attachmentName, "attachment.tlb");
}

// ---- The members of a bank's container ----

namespace {

bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 32 || c == 127;
}

// The bytes of the stream from its position to its end.
std::string RestOfStream(TStream& stream)
{
    std::string bytes;
    std::vector<char> piece(64 * 1024);
    while (const int32_t count = stream.Read(piece.data(), static_cast<int32_t>(piece.size())))
        bytes.append(piece.data(), static_cast<size_t>(count));
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

AnsiString ReplyStoreName(const AnsiString& fileName, int replyKind)
{
    const AnsiString start = fileName.substr(0, 3);
    if (std::any_of(start.begin(), start.end(), [](char c) { return c == '/' || c == '\\' || c == ':' || IsControl(c); }))
        throw Exception("Неверное имя файла ответа: " + fileName);
    return UpperCase(start) + "." + UpperCase(ReplyDocTypes[replyKind].Code);
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

void TReceiver::ProcessUpdate(TStream& member, const TStringList& header, TStringList& report)
{
    const AnsiString version = GetParam(header, "VERSION");
    const AnsiString fileName = UpdateFileName(version);
    WriteExecutableAtomically(GetFolder(FolderUpdates, true) + fileName, RestOfStream(member));
    report.Add("Обновления ПО до версии " + version);
    ++Updates;
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

// The message store is not part of this build yet: a receive stops before it connects.
std::unique_ptr<TReceiveRun> TReceiver::BeginRun()
{
    throw Exception("Хранилище сообщений недоступно в этой версии программы");
}
