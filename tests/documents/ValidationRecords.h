#pragma once
// Records as the export hands them to validation, and the outcome of a check.

#include "documents/Datafiles.h"
#include "support/TestSupport.h"

// A working record as the export builds it: delimited by ";", without owner or escaping.
class TLine : public TDelimRecord {
public:
    explicit TLine(const AnsiString& text) : TDelimRecord(";", false) { SetText(text); }
};

// The message of the EValidateError that the check raises, or `passed`.
template <typename Check>
AnsiString CheckOutcome(Check check, const AnsiString& passed)
{
    try {
        check();
    } catch (const EValidateError& error) {
        return error.Message();
    }
    return passed;
}
