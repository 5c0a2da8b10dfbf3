#pragma once
// The arbitrary file: any file the user chooses goes to the bank Base64-coded in the member
// of a container with a short header; the send is recorded like an export's (the
// "Arbitrary" counter, the archive copy, the journal row). The wizard asks for the file
// and a comment, shows the cipher's prompt when it has one, and sends.

#include "platform/AnsiString.h"
#include "ui/ContainerSend.h"
#include "ui/Wizard.h"

#include <string>

class TFileProfile;
class TStream;

class TArbitraryWizard : public TWizard {
public:
    enum TState {
        StateFile = 0,
        StateComment = 1,
        StatePrompt = 2,   // the cipher's prompt about the key medium
        StateSent = 3,
        StateFailed = 4,
    };

    TArbitraryWizard();

    void Start() override;
    // Leaving the file page stores the name and raises when there is no such file or the
    // name holds a control character; leaving the comment page stores the comment (a
    // comment with a control character raises). Either way the page stays.
    void Next() override;
    void Back() override;

    int State = StateFile;

private:
    void TakeFileName();
    void TakeComment();
    void SendFile();
    void ShowPage();
};

// The member of an arbitrary file: the lines FILE_TYPE, ARM_VERSION, PREFIX, FILE_NAME
// (the name without its folder), FILE_COMMENT and "<FILE>", then the Base64 of the bytes
// in lines of 76 characters (none for no bytes), every line ended by CR LF.
void WriteArbitraryMember(TStream& member, const AnsiString& prefix, const AnsiString& fileName,
                          const AnsiString& comment, const std::string& bytes);

// Sends the file stored in the settings, as it is when read, under the settings' next
// number with their comment, and records the send (SendAndRecord). The file is read once;
// when it has gone or changes while it is read, nothing is sent.
TSentFile SendArbitraryFile(TFileProfile& settings);

// The menu command: runs the wizard in the wizard window.
void RunArbitraryWizard();
