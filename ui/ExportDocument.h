#pragma once
// What the export wizard and the export reports need of an open document window: the
// kind's settings, the loaded data file and the marks, one per record. The document window
// implements it; tests implement it without a widget.

#include "ui/RecordInfos.h"

class TDataFile;
class TExportProfile;

class TExportDocument {
public:
    virtual ~TExportDocument() = default;

    // The settings of the document's kind in the current profile.
    virtual TExportProfile& ExportKind() = 0;
    // The loaded data file; the wizard moves its cursor.
    virtual TDataFile& DataFile() = 0;
    // One mark per record of the data file, index = record number.
    virtual TRecordInfos& Marks() = 0;
    // Called after the marks changed (a check pass), so that the window can redraw them.
    virtual void MarksChanged() = 0;
    // Selects the first record that is marked and in error; raises "Нет записей,
    // помеченных как ошибочные" when there is none.
    virtual void GotoFirstError() = 0;
};
