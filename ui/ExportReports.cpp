#include "ui/ExportReports.h"

#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "platform/Encoding.h"
#include "platform/SysUtils.h"
#include "ui/ExportActions.h"
#include "ui/ExportCheck.h"
#include "ui/ExportDocument.h"
#include "ui/Reports.h"

#include <algorithm>

namespace {

constexpr char ReportFont[] = "Courier New";
constexpr int ReportFontSize = 10;
constexpr int DetailLineWidth = 76;

// The registry's table: the name, account and amount columns.
constexpr int NameWidth = 44;
constexpr int AccountWidth = 20;
constexpr int AmountWidth = 12;

// A new report with its title paragraph, centred and underlined.
TRichText NewReport(const AnsiString& title)
{
    TRichText text(ReportFont, ReportFontSize);
    text.SetAlignment(TRichAlignment::Center);
    text.Font().Underline = true;
    text.Add(title + "\n\n");
    text.Font().Underline = false;
    text.SetAlignment(TRichAlignment::Left);
    return text;
}

// The text cut to `width` characters, then padded with blanks on the right (or on the
// left) to `padTo`.
AnsiString Column(const AnsiString& value, size_t width, size_t padTo, bool rightAligned = false)
{
    AnsiString cell = value.substr(0, width);
    const AnsiString padding(padTo > cell.size() ? padTo - cell.size() : 0, ' ');
    return rightAligned ? padding + cell : cell + padding;
}

AnsiString Rule(char c)
{
    return AnsiString(RegistryWidth, c) + "\n";
}

// The total line: the caption, then the sum right-aligned at the table's right edge. A sum
// wider than the amount column is never cut (a wrong total is worse than a longer line).
AnsiString TotalLine(const AnsiString& caption, double sum)
{
    const AnsiString amount = FormatFixed(sum, 2);
    return Column(caption, RegistryWidth - AmountWidth, RegistryWidth - AmountWidth) +
           Column(amount, amount.size(), AmountWidth, true) + "\n";
}

bool IsBreakAfter(char c)
{
    return c == ' ' || c == ',' || c == '.';
}

AnsiString WithoutTrailingBlanks(const AnsiString& line)
{
    size_t end = line.size();
    while (end > 0 && line[end - 1] == ' ')
        --end;
    return line.substr(0, end);
}

// The text in lines of at most `width` characters, broken after the last blank, comma or
// point that fits (in the middle of a word only when none does); every line ends with "\n".
AnsiString Wrap(AnsiString rest, size_t width)
{
    AnsiString lines;
    while (!rest.empty()) {
        size_t cut = rest.size();
        if (cut > width) {
            cut = width;
            while (cut > 0 && !IsBreakAfter(rest[cut - 1]))
                --cut;
            if (cut == 0)
                cut = width;
        }
        lines += WithoutTrailingBlanks(rest.substr(0, cut)) + "\n";
        const size_t next = rest.find_first_not_of(' ', cut);
        rest.erase(0, next == AnsiString::npos ? rest.size() : next);
    }
    return lines;
}

// The input column that feeds the document's first field (the person's name), or -1.
int NameColumn(const TExportProfile& kind)
{
    for (int column = 0; column < kind.FieldIndexes.Count(); ++column)
        if (kind.FieldIndexes.At(column) == 0)
            return column;
    return -1;
}

bool MapFeedsDetails(const TExportProfile& kind)
{
    const TFieldIndexes& map = kind.FieldIndexes;
    return std::any_of(map.ItemsPtr(), map.ItemsPtr() + map.Count(), [](int field) { return field > 2; });
}

}  // namespace

TRichText ExportErrorsReport(TExportDocument& document)
{
    TRichText text = NewReport("Ошибки экспорта: " + CurrentProfile().Caption);
    const int nameColumn = NameColumn(document.ExportKind());
    TDataFile& data = document.DataFile();
    const TRecordInfos& marks = document.Marks();
    for (int index = 0; index < marks.Count(); ++index) {
        const TRecordInfo& mark = marks.Info(index);
        if (!mark.Selected || mark.State != RecordHasError)
            continue;
        data.GoTo(index);
        const AnsiString name = nameColumn >= 0 ? data.CurRecord()->Get(nameColumn) : AnsiString();
        text.Add("Ошибка в строке " + IntToStr(index + 1) + " (" + name + "):\n");
        text.Font().Italic = true;
        text.AddUtf8(marks.ErrorText(index) + "\n\n");
        text.Font().Italic = false;
    }
    return text;
}

AnsiString RegistryDetails(const TExportProfile& kind, const TRecord& record)
{
    const TDocTypeInfo& type = *kind.DocType;
    AnsiString joined;
    for (int field = 3; field < record.Count(); ++field) {
        const AnsiString value = record.Get(field);
        if (value.empty())
            continue;
        const AnsiString caption = field < type.ColumnCount ? type.Columns[field].Caption : IntToStr(field + 1);
        joined += (joined.empty() ? "" : "  ") + caption + ": " + value;
    }
    return Wrap(joined, DetailLineWidth);
}

TRichText ExportRegistryReport(const TExportProfile& kind, TDataFile& output, const TExportTotals& totals)
{
    TRichText text = NewReport(AnsiString(kind.DocType->Title) + ": " + CurrentProfile().Caption);
    const bool details = MapFeedsDetails(kind);
    AnsiString table = Rule('=') + "ФИО" + AnsiString(41, ' ') + "|        Счет        |       Сумма\n" + Rule('-');
    for (output.First(); !output.Eof(); output.Next()) {
        const TRecord& record = *output.CurRecord();
        table += Column(record.Get(0), NameWidth, NameWidth + 1) + Column(record.Get(1), AccountWidth, AccountWidth + 1) +
                 Column(record.Get(2), AmountWidth, AmountWidth, true) + "\n";
        if (details)
            table += RegistryDetails(kind, record) + Rule('-');
    }
    if (output.RecordCount() == 0 || !details)
        table += Rule('-');
    if (IsShownSum(totals.CreditSum))
        table += TotalLine("Итого сумма зачисления:", totals.CreditSum);
    if (IsShownSum(totals.DebitSum))
        table += TotalLine("Итого сумма списания:", totals.DebitSum);
    text.Add(table);
    return text;
}

void PrintExportRegistry(const TExportProfile& kind, TDataFile& output, const TExportTotals& totals)
{
    PrintReport(ExportRegistryReport(kind, output, totals), AnsiString(ApplicationTitle) + ": " + kind.DocType->Title,
                DocumentPdfName(kind));
}
