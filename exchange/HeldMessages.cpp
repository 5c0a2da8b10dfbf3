#include "exchange/HeldMessages.h"

#include "documents/Internals.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <glib.h>

#include <array>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

std::string Sha256(std::string_view bytes)
{
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
    // GLib takes the length as a signed size: a very long text goes in pieces.
    constexpr size_t Piece = size_t(1) << 30;
    for (size_t done = 0; done < bytes.size(); done += Piece) {
        const std::string_view piece = bytes.substr(done, Piece);
        g_checksum_update(checksum, reinterpret_cast<const guchar*>(piece.data()), gssize(piece.size()));
    }
    std::array<guint8, 32> digest{};
    gsize length = digest.size();
    g_checksum_get_digest(checksum, digest.data(), &length);
    g_checksum_free(checksum);
    return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

AnsiString HeldMessagesFileName(const AnsiString& storeFileName)
{
    return ChangeFileExt(storeFileName, ".RECEIVED");
}

namespace {

constexpr size_t DigestSize = 32;
const char* const HexDigits = "0123456789abcdef";

AnsiString ToHex(const std::string& bytes)
{
    AnsiString hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += HexDigits[byte >> 4];
        hex += HexDigits[byte & 15];
    }
    return hex;
}

// The digest that a hexadecimal text of its size in lower case spells; none for any other.
std::optional<std::string> DigestFromHex(std::string_view hex)
{
    if (hex.size() != 2 * DigestSize)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const char* high = std::char_traits<char>::find(HexDigits, 16, hex[i]);
        const char* low = std::char_traits<char>::find(HexDigits, 16, hex[i + 1]);
        if (!high || !low)
            return std::nullopt;
        bytes += static_cast<char>((high - HexDigits) << 4 | (low - HexDigits));
    }
    return bytes;
}

// The digest of the fields of a row that stay as they were received, each after its
// length, so that no two rows of other fields give the same bytes.
std::string RowDigest(TMessages& store, int row)
{
    std::string fields;
    for (const int field : {TMessages::TextField, TMessages::TitleField, TMessages::CreatedField,
                            TMessages::ReceivedField}) {
        const AnsiString value = store.RowField(row, field);
        fields += IntToStr(int64_t(value.size())) + ":" + value;
    }
    return Sha256(fields);
}

} // namespace

void THeldMessages::Load(const AnsiString& fileName, TMessages& store)
{
    FFileName = fileName;
    FRowOf.clear();
    FChanged = false;
    if (!FileExists(fileName))
        return;
    TStringList lines;
    lines.SetText(ReadFileBytes(fileName));
    std::vector<std::pair<std::string, std::string>> identities;   // identity, row digest
    std::unordered_map<std::string, int> claims;                   // identities per row digest
    for (const AnsiString& line : lines.Items()) {
        const std::optional<std::string> identity = DigestFromHex(std::string_view(line).substr(0, 2 * DigestSize));
        const std::optional<std::string> row =
            line.size() > 2 * DigestSize && line[2 * DigestSize] == ' '
                ? DigestFromHex(std::string_view(line).substr(2 * DigestSize + 1))
                : std::nullopt;
        if (identity && row) {
            identities.emplace_back(*identity, *row);
            ++claims[*row];
        }
    }
    std::unordered_map<std::string, int> rows;   // rows per digest
    if (!identities.empty())
        for (int row = 0; row < store.RecordCount(); ++row)
            ++rows[RowDigest(store, row)];
    // Rows of the same fields cannot tell which message each records: when fewer of them
    // stand than identities name them, one was deleted, and none of those identities
    // counts, so that the deleted one's message is stored again when it comes again.
    for (const auto& [identity, row] : identities) {
        const auto standing = rows.find(row);
        if (standing != rows.end() && claims[row] <= standing->second)
            FRowOf.emplace(identity, row);
    }
    FChanged = FRowOf.size() != lines.Items().size();
}

bool THeldMessages::Holds(const std::string& identity) const
{
    return !identity.empty() && FRowOf.count(identity) != 0;
}

void THeldMessages::Add(const std::string& identity, TMessages& store, int row)
{
    if (identity.empty())
        return;
    FRowOf[identity] = RowDigest(store, row);
    FChanged = true;
}

void THeldMessages::Save() const
{
    if (!FChanged)
        return;
    std::string text;
    for (const auto& [identity, row] : FRowOf)
        text += ToHex(identity) + " " + ToHex(row) + "\r\n";
    WriteFileAtomically(FFileName, text, TLinkAtTarget::Replace);
}
