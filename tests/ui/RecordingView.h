#pragma once
// A wizard view for tests of wizard tasks without a window: it records the page shown,
// the buttons, the edit texts and the busy state.

#include "ui/Wizard.h"

#include "platform/SysUtils.h"
#include "support/TestSupport.h"

struct TButtons {
    AnsiString Back;
    AnsiString Next;
    bool BackEnabled = false;
    bool NextEnabled = false;
};

class TRecordingView : public TWizardView {
public:
    void ShowMessage(const AnsiString& text) override { Page = "message:" + text; }
    void ShowEndPrepare(int checked, int errors) override
    {
        Page = "end-prepare:" + IntToStr(checked) + "/" + IntToStr(errors);
    }
    void ShowRegistry(int count, double credit, double debit) override
    {
        Page = "registry:" + IntToStr(count) + " " + FormatFixed(credit, 2) + " " + FormatFixed(debit, 2);
    }
    void ShowFileComment() override { Page = "comment"; }
    void ShowFileName() override { Page = "file-name"; }
    void SetPrintRegistryEnabled(bool enabled) override { PrintRegistryEnabled = enabled; }
    AnsiString FileComment() const override { return Comment; }
    void SetFileComment(const AnsiString& text) override { Comment = text; }
    AnsiString FileName() const override { return Name; }
    void SetFileName(const AnsiString& text) override { Name = text; }
    void SetButtons(const AnsiString& back, const AnsiString& next, bool backEnabled, bool nextEnabled) override
    {
        Buttons = {back, next, backEnabled, nextEnabled};
    }
    void BeginBusy() override
    {
        ++BusyDepth;
        ++BusyCount;
    }
    void EndBusy() noexcept override { --BusyDepth; }
    void CloseWizard() override { ++Closes; }

    AnsiString Page;
    AnsiString Comment;
    AnsiString Name;
    TButtons Buttons;
    int BusyDepth = 0;
    int BusyCount = 0;
    int Closes = 0;
    bool PrintRegistryEnabled = true;
};

inline void ExpectButtons(const TButtons& buttons, const AnsiString& back, const AnsiString& next,
                          bool backEnabled, bool nextEnabled)
{
    EXPECT_ANSI_EQ(buttons.Back, back);
    EXPECT_ANSI_EQ(buttons.Next, next);
    EXPECT_EQ(buttons.BackEnabled, backEnabled);
    EXPECT_EQ(buttons.NextEnabled, nextEnabled);
}
