#pragma once
// What the export tests share: a document that stands in for the document window (a
// delimited data file and its marks), and the salary list's reference list in the
// profile's store.

#include "documents/Datafiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "ui/ExportDocument.h"

#include "support/TestSupport.h"

#include <string>
#include <vector>

// The data file of the kind's delimiter and code page, loaded from lines; every record is
// marked and not checked, as after a load in the document window.
class TTestDocument : public TExportDocument {
public:
    TTestDocument(TExportProfile& kind, const TTempDir& dir, const std::vector<std::string>& lines)
        : FKind(kind), FData(kind.Delim, kind.Charset, false)
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\r\n";
        WriteBytes(dir.File("input.txt"), text);
        FData.LoadFromFile(dir.File("input.txt"));
        FMarks.SetCount(FData.RecordCount());
    }

    TExportProfile& ExportKind() override { return FKind; }
    TDataFile& DataFile() override { return FData; }
    TRecordInfos& Marks() override { return FMarks; }
    void MarksChanged() override { ++MarksChangedCount; }
    void GotoFirstError() override
    {
        for (int index = 0; index < FMarks.Count(); ++index)
            if (FMarks.Info(index).Selected && FMarks.Info(index).State == RecordHasError) {
                ShownError = index;
                return;
            }
        throw Exception("Нет записей, помеченных как ошибочные");
    }

    int MarksChangedCount = 0;
    int ShownError = -1;

private:
    TExportProfile& FKind;
    TDelimFile FData;
    TRecordInfos FMarks;
};

// Stores the salary list's reference list "SAL" (rows of name;account) for the prefix
// ABC in the profile's data folder, formed `age` days ago.
inline void StoreSalaryEtalon(const TTempDir& dataPath, const std::string& rows, int age = 0)
{
    TEtalons store;
    store.LoadFromFile(dataPath.File("Cache/ABC.ETALONS"));
    store.Append();
    store.CurRecord()->Set(0, rows);
    store.CurRecord()->Set(1, "SAL");
    store.CurRecord()->Set(2, DateToStr(Date() - age));
    store.SaveToFile("");
}

// The salary records of the tests: two that pass the checks and the reference list
// (written the way users type them), one that fails them.
inline const std::vector<std::string> SalaryLines = {
    "Иванов Иван Иванович;12345;1000.5",
    "Сидоров1;12;abc",
    "петров  петр;000000012346;750",
};
inline const std::string SalaryEtalonRows = "ИВАНОВ ИВАН ИВАНОВИЧ;000000012345\r\nПЕТРОВ ПЕТР;000000012346\r\n";
// The payload those two records give, normalised.
inline const std::string SalaryPayload =
    "ИВАНОВ ИВАН ИВАНОВИЧ;000000012345;1000.50\r\nПЕТРОВ ПЕТР;000000012346;750.00\r\n";
