#pragma once
// The query for fresh reference lists: a container whose member holds only header lines
// naming the lists the salary list is checked against. The bank answers later with the
// lists, which the receive stores. Nothing is counted, archived or journalled.

#include "ui/Wizard.h"

#include <string>

class TSalaryProfile;

class TQueryWizard : public TSimpleWizard {
public:
    TQueryWizard();

protected:
    void ShowStart() override;
    void DoWork() override;
    void ShowDone(bool& backEnabled) override;
    void ShowFailed() override;
};

// The member of the query: the lines FILE_TYPE, ARM_VERSION, PREFIX and ETALON_TYPES (the
// codes of the salary list's reference lists in the profile's order, joined by ","), each
// ended by CR LF, and nothing else.
std::string QueryMember(const AnsiString& prefix, const TSalaryProfile& salary);

// The menu command: a profile whose salary list needs no reference list is told so;
// otherwise the wizard runs in the wizard window.
void RunQueryWizard();
