#pragma once
// Containers as the bank sends them, made through the current cipher: members of header
// lines, the "<DATA>" line and the data; and the rows they leave in a store.

#include "exchange/Tlbfiles.h"
#include "platform/Classes.h"

#include <string>
#include <vector>

// A member: each header line ended by CR LF, then "<DATA>" and the data (no "<DATA>"
// line when there is no data).
inline std::string BankMember(const std::vector<std::string>& header, const std::string& data = "")
{
    std::string member;
    for (const std::string& line : header)
        member += line + "\r\n";
    return data.empty() ? member : member + "<DATA>\r\n" + data;
}

// Fills the archive with the members, each named "DATAFILE.000"; returns its bytes as
// the archive saves them.
inline std::string SaveMembers(TZipFile& archive, const std::vector<std::string>& members)
{
    for (const std::string& bytes : members) {
        auto* member = new TZippedFile(nullptr, "DATAFILE.000");
        member->WriteString(bytes);
        archive.Add(member);
    }
    TMemoryStream target;
    archive.SaveToStream(&target);
    return target.Bytes();
}

// The container of the members, signed and encrypted by the current cipher.
inline std::string BankContainer(const std::vector<std::string>& members)
{
    TTlbFile container;
    return SaveMembers(container, members);
}

// The plain zip archive of the members, for the bank's own sealing.
inline std::string BankArchive(const std::vector<std::string>& members)
{
    TZipFile archive;
    return SaveMembers(archive, members);
}

inline std::string UpdateMember(const std::string& version, const std::string& program)
{
    return BankMember({"FILE_TYPE=UPDATES", "VERSION=" + version}, program);
}

inline std::string EtalonMember(const std::string& prefixes, const std::string& type, const std::string& data,
                                const std::string& date = "01/03/2024")
{
    return BankMember({"FILE_TYPE=ETALON", "PREFIX=" + prefixes, "ETALON_TYPE=" + type, "ETALON_DATE=" + date}, data);
}

inline std::string ReplyMember(const std::string& fileName, const std::string& data)
{
    return BankMember({"FILE_TYPE=NewCliReply", "FILE_NAME=" + fileName}, data);
}

// The rows of a store as "field|field|..." texts, memos first.
template <typename TStore>
std::vector<std::string> Rows(const AnsiString& fileName)
{
    TStore store;
    store.LoadFromFile(fileName);
    std::vector<std::string> rows;
    for (store.First(); !store.Eof(); store.Next()) {
        std::string row;
        for (int i = 0; i < store.CurRecord()->Count(); ++i)
            row += (i ? "|" : "") + store.CurRecord()->Get(i);
        rows.push_back(row);
    }
    return rows;
}
