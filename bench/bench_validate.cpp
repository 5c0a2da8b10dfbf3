// Validates salary records against a stored reference list, as the export's check pass
// does: the validator's Prepare loads the list from the reference-list store, then every
// record is copied into a working record, checked and looked up. Run on 500,000 records
// against 500,000 rows and on twice both, to show the time linear in records + rows.
// Limit: the same work written plainly in C++ (the list's text read from the same store
// by the same reader, its keys in a std::unordered_set, the records' file read whole and
// walked line by line, the same field rules with the same byte tables the program's
// checks use and amounts parsed by from_chars), in the same rounds. Anchor:
// Python with a dict (anchors.py validate).

#include "BenchSupport.h"
#include "EtalonFolder.h"

#include "documents/Datafiles.h"
#include "documents/Internals.h"
#include "documents/Validate.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// ---- The program ----

// Prepare (the list's load) and the check of every record; returns the number accepted.
int ValidateAll(const AnsiString& folder)
{
    TDelimFile records(";", CodePageCp1251, false);
    records.LoadFromFile(folder + "/records.txt");
    TSalaryValidator validator;
    validator.Prepare();
    TDelimRecord work(";", false);
    int accepted = 0;
    for (records.First(); !records.Eof(); records.Next()) {
        CopyRecord(&work, records.CurRecord());
        try {
            validator.Validate(&work);
            ++accepted;
        } catch (const EValidateError&) {
        }
    }
    return accepted;
}

// ---- The same in plain C++ ----

// Calls each(line) for every line of the text, without its CR LF.
template <class TEach> void ForEachLine(std::string_view text, TEach each)
{
    while (!text.empty()) {
        const size_t lf = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        each(line);
        text.remove_prefix(std::min(lf + 1, text.size()));
    }
}

void Split(std::string_view line, char delimiter, std::vector<std::string_view>& fields)
{
    fields.clear();
    for (size_t found; (found = line.find(delimiter)) != std::string_view::npos; line.remove_prefix(found + 1))
        fields.push_back(line.substr(0, found));
    fields.push_back(line);
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

// A table of the bytes a field may hold, built once, as the program's checks use.
struct TAllowed {
    bool Byte[256] = {};
    explicit TAllowed(std::string_view allowed)
    {
        for (const char c : allowed)
            Byte[static_cast<unsigned char>(c)] = true;
    }
    bool AllOf(std::string_view text) const
    {
        for (const char c : text)
            if (!Byte[static_cast<unsigned char>(c)])
                return false;
        return true;
    }
};

const TAllowed NameChars("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ- ");
const TAllowed Digits("0123456789");
const TAllowed NumberChars("-0123456789.");

// The name folded, upper-cased and of Cyrillic letters, "-" and blanks into `name`.
bool CheckName(std::string_view value, std::string& name)
{
    name.clear();
    for (const char c : value)
        if (c != ' ' || (!name.empty() && name.back() != ' '))
            name += UpCase(c);
    if (!name.empty() && name.back() == ' ')
        name.pop_back();
    return !name.empty() && name.size() <= 256 && NameChars.AllOf(name);
}

// The account of digits padded to 12 (or of 20) into `account`.
bool CheckAccount(std::string_view value, std::string& account)
{
    if (value.empty() || !Digits.AllOf(value))
        return false;
    account.assign(value.size() < 12 ? 12 - value.size() : 0, '0');
    account += value;
    return account.size() == 12 || account.size() == 20;
}

// A number with at most two decimals, above zero and of at most 12 characters with them;
// parsed in place by from_chars, which reads "." whatever the locale.
bool AmountPasses(std::string_view value)
{
    if (value.empty() || !NumberChars.AllOf(value))
        return false;
    double number = 0;
    const char* const end = value.data() + value.size();
    const auto parsed = std::from_chars(value.data(), end, number, std::chars_format::fixed);
    if (parsed.ec != std::errc() || parsed.ptr != end)
        return false;
    const size_t point = value.find('.');
    const std::string_view whole = value.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : value.substr(point + 1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    const size_t wholeLength = whole.empty() || whole == "-" ? whole.size() + 1 : whole.size();
    return fraction.size() <= 2 && wholeLength + 3 <= 12 && number >= 0.005;
}

int PlainValidateAll(const AnsiString& folder)
{
    // The list's text from the store, by the program's reader as above.
    TEtalons store;
    store.LoadFromFile(folder + "/Cache/ABC.ETALONS");
    store.First();
    store.SelectMemo(0);
    const std::string list = ReadToEnd(*store.MemoStream());
    std::vector<std::string_view> fields;
    std::unordered_set<std::string> keys;
    keys.reserve(static_cast<size_t>(std::count(list.begin(), list.end(), '\n')));
    ForEachLine(list, [&](std::string_view row) {
        Split(row, ';', fields);
        std::string key(fields[0]);
        key += ';';
        if (fields.size() > 1)
            key += fields[1];
        keys.insert(std::move(key));
    });

    int accepted = 0;
    std::string name, account, key;
    const std::string records = ReadWholeFile((folder + "/records.txt").c_str());
    ForEachLine(records, [&](std::string_view line) {
        Split(line, ';', fields);
        if (fields.size() < 3 || !CheckName(Trimmed(fields[0]), name) || !CheckAccount(Trimmed(fields[1]), account) ||
            !AmountPasses(Trimmed(fields[2])))
            return;
        key = name;
        key += ';';
        key += account;
        accepted += keys.contains(key) ? 1 : 0;
    });
    return accepted;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc != 3) {
            std::fprintf(stderr, "usage: bench_validate DIR-500k DIR-1m\n");
            return 2;
        }
        std::vector<double> seconds[2];
        const char* keys[2][4] = {
            {"validate_500k_seconds", "validate_500k_plain_seconds", "validate_500k_accepted", "validate_500k_plain_accepted"},
            {"validate_1m_seconds", "validate_1m_plain_seconds", "validate_1m_accepted", "validate_1m_plain_accepted"}};
        for (int i = 0; i < 2; ++i) {
            const AnsiString folder = argv[i + 1];
            PrepareFolder(folder);
            int accepted = 0, plainAccepted = 0;
            const auto rounds = RotatedRounds(5, {[&] { accepted = ValidateAll(folder); },
                                                  [&] { plainAccepted = PlainValidateAll(folder); }});
            seconds[i] = rounds[0];
            Report(keys[i][0], rounds[0]);
            Report(keys[i][1], rounds[1]);
            Report(keys[i][2], accepted);
            Report(keys[i][3], plainAccepted);
        }
        Report("validate_1m_per_500k", PerRound(seconds[1], seconds[0]));
        return 0;
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.Message().c_str());
        return 1;
    }
}
