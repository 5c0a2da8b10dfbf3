// The demo bank as scripts/run.sh starts it: the program's own sender, check pass and
// receiver against it, over mail with gpg and over HTTP with the Verba stand-in; and
// scripts/run.sh starting and stopping it around the program.

#include "../RecordingView.h"
#include "exchange/RunProgram.h"

#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Encoding.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"
#include "documents/Zipfiles.h"
#include "ui/ContainerSend.h"
#include "ui/ExportCheck.h"
#include "ui/ExportSend.h"
#include "ui/QueryWizard.h"
#include "ui/RecordInfos.h"
#include "ui/UFrmMain.h"
#include "ui/Updates.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include <QAction>
#include <QCoreApplication>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int AlreadyRunning = 10;
constexpr int NotRunning = 3;

// A script's exit code together with what the script wrote: an assertion on the code
// shows why a script failed.
struct TScriptExit {
    int Code = -1;
    std::string Output;   // standard output, then standard error

    friend bool operator==(const TScriptExit& exit, int code) { return exit.Code == code; }
    friend std::ostream& operator<<(std::ostream& out, const TScriptExit& exit)
    {
        return out << exit.Code << "; the script wrote:\n" << exit.Output;
    }
};

struct TScriptRun {
    TScriptExit ExitCode;
};

// "p1,p2,p3,p4": the ports as the scripts take them.
std::string PortList(const std::vector<int>& ports)
{
    std::string list;
    for (int port : ports)
        list += (list.empty() ? "" : ",") + std::to_string(port);
    return list;
}

// The demo bank's variables for the scripts: its own folder and ports, this build. The
// ports are free when chosen; the bank takes others when one of them is taken meanwhile.
class TDemoFolder {
public:
    TDemoFolder() : Chosen(FreeLoopbackPorts(4)), Ports(PortList(Chosen)) {}

    // Runs a script of scripts/ with the variables (and more of them) to its end.
    TScriptRun Run(const std::string& script, const std::vector<AnsiString>& arguments = {},
                   const std::vector<AnsiString>& variables = {}) const
    {
        std::vector<AnsiString> command = Command(script, variables);
        command.insert(command.end(), arguments.begin(), arguments.end());
        const TProgramRun run = RunProgram(command);
        return {{run.ExitCode, run.Output + run.Errors}};
    }
    std::vector<AnsiString> Command(const std::string& script, const std::vector<AnsiString>& variables = {}) const
    {
        std::vector<AnsiString> command = {"/usr/bin/env", "VELTON_BUILD_DIR=" VELTON_BINARY_DIR,
                                           "VELTON_DEMO_DIR=" + Dir.Path(), "VELTON_DEMO_PORTS=" + Ports};
        command.insert(command.end(), variables.begin(), variables.end());
        command.insert(command.end(), {"bash", SourceDir() + "scripts/" + script});
        return command;
    }

    bool BankRuns() const { return Run("demo-bank.sh", {"status"}).ExitCode == 0; }
    pid_t BankPid() const { return std::atoi(ReadBytes(Dir.File("bank.pid")).c_str()); }
    AnsiString ProfilesFile() const { return Dir.File("velton.ini"); }
    // The port of the bank's server ("pop3", "imap", "smtp", "http"), as the last start
    // set it up.
    int BankPort(const std::string& server) const
    {
        std::smatch port;
        const std::string clients = ReadBytes(Dir.File("clients.json"));
        return std::regex_search(clients, port, std::regex("\"" + server + "\": ([0-9]+)")) ? std::stoi(port[1]) : 0;
    }
    int HttpPort() const { return BankPort("http"); }

    TTempDir Dir;
    std::vector<int> Chosen;   // POP3, IMAP, SMTP, HTTP
    std::string Ports;
};

// A loopback port that another program holds: listening on it, or only bound to it (a
// program between its bind and its listen, or one that picks a free port as the tests do).
class THeldPort {
public:
    explicit THeldPort(bool listening) : FSocket(listening ? ListenOnLoopback(16, Port) : BindLoopback(Port)) {}
    ~THeldPort() { close(FSocket); }
    THeldPort(const THeldPort&) = delete;
    THeldPort& operator=(const THeldPort&) = delete;

    int Port = 0;

private:
    int FSocket;
};

// No process is left of the group that the bank led (it leads one of its own).
bool GroupGone(pid_t group)
{
    for (auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline;) {
        if (kill(-group, 0) != 0 && errno == ESRCH)
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// The process has its SIGTERM handler in place (bit 15 of the caught signals): a SIGTERM
// sent before it would end the program before it could end cleanly.
bool CatchesSigterm(const std::string& process)
{
    const std::string status = ReadProcFile(process + "/status");
    const size_t caught = status.find("SigCgt:\t");
    return caught != std::string::npos && (std::stoull(status.substr(caught + 8, 16), nullptr, 16) & (1ull << (SIGTERM - 1)));
}

// A copy of the real program in the folder, so that its restart state (beside the
// program) belongs to the test alone.
AnsiString CopyOfProgram(const TTempDir& folder)
{
    const AnsiString copy = folder.File("velton-export");
    std::filesystem::copy_file(VELTON_PROGRAM, ToSystemPath(copy));
    return copy;
}

// The process ids of the running programs that the file holds (their /proc/<id>/exe).
std::vector<pid_t> ProcessesOf(const AnsiString& program)
{
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::filesystem::path exe = std::filesystem::read_symlink(entry.path() / "exe", error);
        if (!error && exe == ToSystemPath(program))
            found.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return found;
}

// A program on the profiles file holds its lock (the hidden lock file beside it). Read
// from /proc/locks, so that the look takes no lock that a starting program could meet.
bool ProfilesFileHeld(const AnsiString& profiles)
{
    struct stat info {};
    const AnsiString lockFile = ExtractFilePath(profiles) + "." + ExtractFileName(profiles) + ".lock";
    if (stat(ToSystemPath(lockFile).c_str(), &info) != 0)
        return false;
    std::istringstream locks(ReadProcFile("/proc/locks"));
    for (std::string line; std::getline(locks, line);)
        if (line.find(" FLOCK ") != std::string::npos && line.find(":" + std::to_string(info.st_ino) + " ") != std::string::npos)
            return true;
    return false;
}

// What a series of receives stored, summed.
struct TReceived {
    int Messages = 0;
    int Etalons = 0;
    int Replies = 0;
    int Bad = 0;
};

bool OneMessage(const TReceived& received) { return received.Messages > 0; }

// Receives until what came satisfies `enough` (the bank answers within a second or so).
TReceived ReceiveUntil(const std::function<bool(const TReceived&)>& enough)
{
    TReceived received;
    for (auto deadline = std::chrono::steady_clock::now() + 30s;
         !enough(received) && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(200ms);
        TReceiver& receiver = *Receiver.Get();
        receiver.Receive();
        received.Messages += receiver.Messages;
        received.Etalons += receiver.Etalons;
        received.Replies += receiver.ListsAdded[0];
        received.Bad += receiver.BadMessages + receiver.BadFiles;
    }
    return received;
}

// The check pass of the demo salary list: every record marked.
TExportTotals CheckSalaryList(TProfile& profile, TDelimFile& output)
{
    TExportProfile& kind = *profile.ExportProfiles.At(0);
    TDelimFile data(kind.Delim, kind.Charset, false);
    data.LoadFromFile(kind.FileName);
    TRecordInfos marks(data.RecordCount());
    TExportTotals totals;
    CheckExportRecords(kind, data, marks, output, totals);
    return totals;
}

// The newest row of the profile's message store: title and text.
std::pair<std::string, std::string> NewestMessage(const TProfile& profile)
{
    TMessages store;
    store.LoadFromFile(profile.DataPath + "Cache/" + profile.Prefix + ".MESSAGES");
    store.GoTo(store.RecordCount() - 1);
    return {store.CurRecord()->Get(3), store.CurRecord()->Get(0)};
}

// The profile's salary list, whose check pass accepts all its records, sent to the bank;
// the bank's answer names the file and its record count.
void SendSalaryList(const TDemoFolder& demo, TProfile& profile, int records)
{
    auto output = NewExportTable();
    const TExportTotals totals = CheckSalaryList(profile, *output);
    EXPECT_EQ(totals.ErrorCount, 0);
    ASSERT_EQ(totals.ExportCount, records);

    const TSentFile sent = SendExportFile(*profile.ExportProfiles.At(0), *output, totals);
    const TReceived answer = ReceiveUntil(OneMessage);
    EXPECT_EQ(answer.Messages, 1);
    EXPECT_EQ(answer.Bad, 0) << ReadBytes(demo.Dir.File("log/bank.log"));
    const auto [title, text] = NewestMessage(profile);
    EXPECT_EQ(title, "Список " + sent.BaseName + " принят");
    EXPECT_THAT(text, HasSubstr("Список на зачисление " + sent.BaseName + " принят банком."));
    EXPECT_THAT(text, HasSubstr("Записей в файле: " + std::to_string(records) + "."));
}

// The exchange's objects go with the profile, as when the program closes it.
void CloseProfile()
{
    Sender.Reset();
    Receiver.Reset();
    Cipher.Reset();
    Profiles.Get()->Close();
}

class DemoBankTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FDemo = std::make_unique<TDemoFolder>();
        // A umask that lets the group write: what the set-up makes for the user alone
        // must be so whatever the umask.
        const mode_t umaskBefore = umask(002);
        const TScriptRun start = FDemo->Run("demo-bank.sh", {"start"});
        umask(umaskBefore);
        ASSERT_EQ(start.ExitCode, 0) << ReadBytes(FDemo->Dir.File("log/bank.log"));
    }
    static void TearDownTestSuite()
    {
        FDemo->Run("demo-bank.sh", {"stop"});
        FDemo.reset();
    }
    void TearDown() override { CloseProfile(); }

    // The demo profile of that index (0 mail and gpg, 1 HTTP and Verba).
    TProfile& Select(int index)
    {
        Profiles.Get()->Open(FDemo->ProfilesFile());
        Profiles.Get()->Select(index);
        return *Profiles.Get()->Current();
    }

    // The request for the salary list's reference lists, sent by the query wizard.
    static void SendQuery()
    {
        TRecordingView view;
        TQueryWizard wizard;
        wizard.SetView(&view);
        wizard.Start();
        wizard.Next();
        EXPECT_ANSI_EQ(view.Page, "message:Запрос успешно отправлен в банк.");
    }

    TScriptedDialogs Dialogs;
    static inline std::unique_ptr<TDemoFolder> FDemo;
};

// The whole exchange of each demo client: a check pass without reference lists stops;
// the first receive brings the lists the bank sends every new client, after which the
// check pass accepts every record of the demo salary list; the bank answers the sent list
// with its file name, record count and totals, and a query with fresh lists.
TEST_F(DemoBankTest, BothDemoClientsSendTheirSalaryListAndQueryReferenceLists)
{
    for (int index : {0, 1}) {
        TProfile& profile = Select(index);
        SCOPED_TRACE(profile.Prefix);
        auto output = NewExportTable();
        EXPECT_THROW(CheckSalaryList(profile, *output), Exception);

        const TReceived greeting = ReceiveUntil(OneMessage);
        EXPECT_EQ(greeting.Etalons, 2);   // SAL and NNS
        EXPECT_EQ(greeting.Bad, 0) << ReadBytes(FDemo->Dir.File("log/bank.log"));
        SendSalaryList(*FDemo, profile, 4);
        EXPECT_THAT(NewestMessage(profile).second, HasSubstr("Зачисление на счета: 4 на сумму 78450.50."));

        SendQuery();
        const TReceived lists = ReceiveUntil(OneMessage);
        EXPECT_EQ(lists.Messages, 1);
        EXPECT_EQ(lists.Etalons, 2);
        EXPECT_EQ(NewestMessage(profile).first, "Эталонные списки");
        TearDown();
    }
    // The bank's request log masks the password as the program's own log does.
    const std::string requests = ReadBytes(FDemo->Dir.File("http/bank/requests.log"));
    EXPECT_THAT(requests, HasSubstr("pwd1=****"));
    EXPECT_THAT(requests, Not(HasSubstr("demo")));
}

// The mode of the file or folder, -1 when there is none.
int ModeOf(const AnsiString& path)
{
    struct stat info {};
    return stat(ToSystemPath(path).c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// The file's inode number, 0 when there is none: a file replaced has another.
ino_t InodeOf(const AnsiString& path)
{
    struct stat info {};
    return stat(ToSystemPath(path).c_str(), &info) == 0 ? info.st_ino : 0;
}

// The profiles file holds the passwords, the data folders the bank's data: the set-up
// makes them its user's only.
TEST_F(DemoBankTest, TheProfilesFileAndDataFoldersAreReadableByTheirUserOnly)
{
    EXPECT_EQ(ModeOf(FDemo->ProfilesFile()), 0600);
    for (const char* folder : {"data", "data/romashka", "data/vasilek"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(ModeOf(FDemo->Dir.File(folder)), 0700);
    }
}

// A new-clients list is answered with the list of added clients, in the reply store that
// the reply-list window reads.
TEST_F(DemoBankTest, NewClientsListIsAnsweredWithAReplyFile)
{
    TProfile& profile = Select(1);
    TExportProfile& kind = *profile.ExportProfiles.At(1);
    auto output = NewExportTable();
    output->Append();
    output->CurRecord()->Set(0, "ИВАНОВ ИВАН ИВАНОВИЧ");
    output->CurRecord()->Set(1, "4501 123456");
    TExportTotals totals;
    totals.ExportCount = 1;
    const TSentFile sent = SendExportFile(kind, *output, totals);

    const TReceived answer = ReceiveUntil([](const TReceived& received) { return received.Replies > 0; });
    EXPECT_EQ(answer.Replies, 1);
    EXPECT_EQ(answer.Bad, 0);
    TReplyFiles replies;
    replies.LoadFromFile(profile.DataPath + "Cache/" + profile.Prefix + ".NEWCLIREPLY");
    ASSERT_EQ(replies.RecordCount(), 1);
    EXPECT_EQ(replies.CurRecord()->Get(1), sent.BaseName);
    EXPECT_THAT(replies.CurRecord()->Get(0), ::testing::MatchesRegex("ИВАНОВ ИВАН ИВАНОВИЧ;4501 123456;40817810[0-9]{12};Клиент добавлен\r\n"));
}

// Containers that the bank cannot read, or whose answer needs care, are answered all the
// same: a byte that CP1251 lacks (0x98) in the header or in a line of the list gets the
// refusal saying so; a new-clients list under a Cyrillic name with quotes gets its reply
// file, the quotes kept in the name.
TEST_F(DemoBankTest, EveryArrivalIsAnsweredEvenWhenTheBankCannotReadIt)
{
    TProfile& profile = Select(0);
    ReceiveUntil(OneMessage);   // the greeting with the reference lists
    const AnsiString replyName = profile.Prefix + " \"Новые клиенты\".txt";
    const std::vector<std::pair<AnsiString, AnsiString>> containers = {
        {"BADHEAD.TLB", "FILE_TYPE=SALARY\r\nPREFIX=" + profile.Prefix + "\r\nFILE_NAME=A\x98\r\n<DATA>\r\nx;1\r\n"},
        {"BADLINE.TLB", "FILE_TYPE=SALARY\r\nPREFIX=" + profile.Prefix + "\r\nFILE_NAME=B\r\n<DATA>\r\nПетров\x98;1\r\n"},
        {"NEWCLI.TLB", "FILE_TYPE=NEWCLI\r\nPREFIX=" + profile.Prefix + "\r\nFILE_NAME=" + replyName +
                           "\r\n<DATA>\r\nИВАНОВ ИВАН;4501 123456\r\n"}};
    for (const auto& [fileName, member] : containers) {
        std::unique_ptr<TZippedFile> data = NewDataMember();
        data->WriteString(member);
        TBlockStream container;
        SaveContainer(std::move(data), container);
        Sender.Get()->Send("Проверка", fileName, &container);
    }

    const TReceived answers = ReceiveUntil([](const TReceived& received) { return received.Messages >= 3; });
    EXPECT_EQ(answers.Messages, 3) << ReadBytes(FDemo->Dir.File("log/bank.log"));
    EXPECT_EQ(answers.Replies, 1);
    EXPECT_EQ(answers.Bad, 0);
    TMessages messages;
    messages.LoadFromFile(profile.DataPath + "Cache/" + profile.Prefix + ".MESSAGES");
    std::map<std::string, std::string> texts;   // title -> text of every answer
    for (messages.First(); !messages.Eof(); messages.Next())
        texts[messages.CurRecord()->Get(3)] = messages.CurRecord()->Get(0);
    for (const char* refused : {"BADHEAD.TLB", "BADLINE.TLB"}) {
        const std::string title = "Файл " + std::string(refused) + " не принят";
        ASSERT_TRUE(texts.count(title)) << title;
        EXPECT_THAT(texts[title], HasSubstr("содержит байт 0x98, которого нет в кодировке Windows-1251"));
    }
    EXPECT_TRUE(texts.count("Список добавленных клиентов"));
    TReplyFiles replies;
    replies.LoadFromFile(profile.DataPath + "Cache/" + profile.Prefix + ".NEWCLIREPLY");
    ASSERT_EQ(replies.RecordCount(), 1);
    EXPECT_ANSI_EQ(replies.CurRecord()->Get(1), replyName);
}

// The demo update that scripts/demo-bank.sh puts in place is offered by "Обновления ПО";
// the program closes, the update starts it again on the same profiles file and profile,
// and is offered no more.
TEST_F(DemoBankTest, TheDemoUpdateRestartsTheProgramOnItsProfile)
{
    TTempDir programs;
    const AnsiString program = CopyOfProgram(programs);
    const mode_t umaskBefore = umask(002);
    const TScriptRun placed = FDemo->Run("demo-bank.sh", {"update"}, {"VELTON_PROGRAM=" + program});
    umask(umaskBefore);
    ASSERT_EQ(placed.ExitCode, 0);
    TProfile& profile = Select(0);
    const AnsiString updates = profile.DataPath + "Updates/";
    const std::optional<TUpdateFile> update = FindUpdate(updates, VersionToInt(GetShortFileVersion()));
    ASSERT_TRUE(update);
    // The update and its folder are their user's only: no one else could have put it there.
    EXPECT_EQ(ModeOf(updates), 0700);
    EXPECT_EQ(ModeOf(update->Path), 0700);
    Profiles.Get()->Close();
    {
        TFrmMain main(TStartupParams{program, {ToSystemPath(FDemo->ProfilesFile())}});
        FrmMain = &main;
        main.show();
        QCoreApplication::processEvents();
        main.SelectProfile(0);
        Dialogs.ExpectMessage(UpdateQuestion(update->Version), MessageBoxAnswer::Ok,
                              MessageBoxFlags::OkCancel | MessageBoxFlags::IconQuestion);
        main.ItmUpdates->trigger();
        FrmMain = nullptr;
    }
    // The window is gone with its lock: the update starts the program again, which takes
    // up the restart state.
    const AnsiString restartState = programs.File("velton-export.rst");
    std::vector<pid_t> restarted;
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         (restarted.empty() || FileExists(restartState)) && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(100ms);
        restarted = ProcessesOf(program);
    }
    ASSERT_EQ(restarted.size(), 1u) << "the program did not start again";
    EXPECT_FALSE(FileExists(restartState));
    EXPECT_FALSE(FileExists(update->Path));
    EXPECT_TRUE(ProfilesFileHeld(FDemo->ProfilesFile()));

    kill(restarted[0], SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(restarted[0], &status, 0), restarted[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// ---- scripts/run.sh ----

// A program that stands in for the real one: it notes the bank's process id and its
// argument in the demo folder, then ends.
class RunScriptTest : public ::testing::Test {
protected:
    RunScriptTest()
    {
        WriteBytes(StandIn, "#!/bin/sh\necho \"$(cat \"$VELTON_DEMO_DIR/bank.pid\") $1\" >> \"$VELTON_DEMO_DIR/runs\"\n");
        std::filesystem::permissions(ToSystemPath(StandIn), std::filesystem::perms::owner_all);
    }
    ~RunScriptTest() override { Demo.Run("demo-bank.sh", {"stop"}); }

    TScriptRun RunWithStandIn() const
    {
        return Demo.Run("run.sh", {}, {"VELTON_SKIP_BUILD=1", "VELTON_PROGRAM=" + StandIn});
    }
    // The bank's process id that each run of the stand-in saw.
    std::vector<pid_t> SeenBanks() const
    {
        std::vector<pid_t> pids;
        std::istringstream runs(ReadBytes(Demo.Dir.File("runs")));
        for (std::string line; std::getline(runs, line);) {
            EXPECT_THAT(line, HasSubstr(" " + Demo.ProfilesFile()));
            pids.push_back(std::atoi(line.c_str()));
        }
        return pids;
    }

    TDemoFolder Demo;
    TTempDir Programs;
    AnsiString StandIn = Programs.File("program.sh");
};

// The second start has nothing to write into the profiles file and leaves it alone.
TEST_F(RunScriptTest, StartsTheBankForTheProgramAndStopsItAfterwardsEachTime)
{
    std::vector<ino_t> profilesFiles;
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunWithStandIn().ExitCode, 0);
        profilesFiles.push_back(InodeOf(Demo.ProfilesFile()));
        ASSERT_EQ(SeenBanks().size(), run + 1u);
        EXPECT_GT(SeenBanks().back(), 0);
        EXPECT_TRUE(GroupGone(SeenBanks().back()));
        EXPECT_EQ(Demo.Run("demo-bank.sh", {"status"}).ExitCode, NotRunning);
        EXPECT_FALSE(AcceptsConnections(Demo.HttpPort()));
    }
    EXPECT_NE(SeenBanks()[0], SeenBanks()[1]);
    EXPECT_EQ(profilesFiles[0], profilesFiles[1]);
}

TEST_F(RunScriptTest, LeavesABankThatWasAlreadyRunning)
{
    ASSERT_EQ(Demo.Run("demo-bank.sh", {"start"}).ExitCode, 0);
    const pid_t bank = Demo.BankPid();
    EXPECT_EQ(Demo.Run("demo-bank.sh", {"start"}).ExitCode, AlreadyRunning);

    EXPECT_EQ(RunWithStandIn().ExitCode, 0);
    EXPECT_EQ(SeenBanks(), std::vector<pid_t>{bank});
    EXPECT_TRUE(Demo.BankRuns());
    EXPECT_EQ(Demo.BankPid(), bank);

    Demo.Run("demo-bank.sh", {"stop"});
    EXPECT_TRUE(GroupGone(bank));
}

// A port of the bank that another program holds (a user's own server, or a port taken
// between the choice and the bind): the bank starts on free ports and the demo profiles
// name them. The HTTP port has a listener; the POP3 port is only bound, which the bank
// sees only by its server's failure.
TEST_F(RunScriptTest, TheBankTakesFreePortsWhenOneOfItsOwnIsHeld)
{
    const char* const servers[] = {"pop3", "imap", "smtp", "http"};
    for (const auto& [server, listening] : std::vector<std::pair<int, bool>>{{3, true}, {0, false}}) {
        SCOPED_TRACE(servers[server]);
        const THeldPort held(listening);
        std::vector<int> ports = Demo.Chosen;
        ports[server] = held.Port;
        ASSERT_EQ(Demo.Run("demo-bank.sh", {"start"}, {"VELTON_DEMO_PORTS=" + PortList(ports)}).ExitCode, 0)
            << ReadBytes(Demo.Dir.File("log/bank.log"));
        EXPECT_TRUE(Demo.BankRuns());
        EXPECT_NE(Demo.BankPort(servers[server]), held.Port);
        const int http = Demo.HttpPort();
        EXPECT_TRUE(AcceptsConnections(http));
        EXPECT_THAT(ReadBytes(Demo.ProfilesFile()), HasSubstr("127.0.0.1:" + std::to_string(http) + "\r\n"));
        Demo.Run("demo-bank.sh", {"stop"});
    }
}

// What the user changed in the demo profiles stays at the next start: a caption, the
// salary list opened ("Открыть"), a profile added as a copy of "Ромашка" with files of its
// own and a caption typed in a UTF-8 editor ("И" there holds the byte 0x98, which CP1251
// leaves unassigned), notes added by hand at the end (a line ended by LF alone, a last one
// ended by nothing). The start writes only the port that moved; the bank knows the demo's
// own clients alone, and "Ромашка" sends the user's list to it.
TEST_F(RunScriptTest, KeepsWhatTheUserChangedInTheDemoProfiles)
{
    TScriptedDialogs dialogs;
    ASSERT_EQ(RunWithStandIn().ExitCode, 0);
    const std::string demoList = ReadBytes(Demo.Dir.File("salary.txt"));
    const AnsiString ownList = Programs.File("own.txt");
    WriteBytes(ownList, demoList.substr(0, demoList.find("Кузнецова")));   // three records of four
    Profiles.Get()->Open(Demo.ProfilesFile());
    Profiles.Get()->Select(0);
    Profiles.Get()->Current()->ExportProfiles.At(0)->SetFileName(ownList);
    CloseProfile();
    TIniFile ini(Demo.ProfilesFile());
    ini.WriteKeys("Romashka", {{"Caption", AnsiString("Ромашка, отдел кадров")}});
    TStringList romashka;
    ini.ReadSectionValues("Romashka", romashka);
    romashka.SetValue("Caption", AnsiToUtf8("Ирис, филиал"));
    romashka.SetValue("DataPath", Programs.File("branch/"));
    romashka.SetValue("Salary.FileName", Programs.File("branch.txt"));
    std::vector<TIniKeyChange> copy;
    for (int i = 0; i < romashka.Count(); ++i)
        copy.push_back({romashka.Names(i), romashka.ValueFromIndex(i)});
    ini.WriteKeys("RomashkaBranch", copy);
    WriteBytes(Demo.ProfilesFile(), ReadBytes(Demo.ProfilesFile()) + "; the branch's own list\n; ask accounting");
    const std::string edited = ReadBytes(Demo.ProfilesFile());

    std::vector<int> ports = Demo.Chosen;
    ports[3] = FreeLoopbackPorts(1)[0];
    const int httpBefore = Demo.HttpPort();
    ASSERT_EQ(Demo.Run("demo-bank.sh", {"start"}, {"VELTON_DEMO_PORTS=" + PortList(ports)}).ExitCode, 0);

    std::string expected = edited;
    const std::string hostBefore = "127.0.0.1:" + std::to_string(httpBefore) + "\r\n";
    for (size_t at; (at = expected.find(hostBefore)) != std::string::npos;)
        expected.replace(at, hostBefore.size(), "127.0.0.1:" + std::to_string(Demo.HttpPort()) + "\r\n");
    EXPECT_EQ(ReadBytes(Demo.ProfilesFile()), expected);
    // The bank knows one client of the prefix RMS.
    const std::string clients = ReadBytes(Demo.Dir.File("clients.json"));
    EXPECT_EQ(clients.find("\"prefix\": \"RMS\""), clients.rfind("\"prefix\": \"RMS\""));

    Profiles.Get()->Open(Demo.ProfilesFile());
    Profiles.Get()->Select(0);
    TProfile& profile = *Profiles.Get()->Current();
    ReceiveUntil(OneMessage);   // the reference lists the bank greets its clients with
    SendSalaryList(Demo, profile, 3);
    CloseProfile();
}

// The real program, ended by SIGTERM: the script stops the bank it started.
TEST_F(RunScriptTest, StopsTheBankWhenTheProgramIsTerminated)
{
    TAppExec script(Demo.Command("run.sh", {"VELTON_SKIP_BUILD=1", "VELTON_PROGRAM=" VELTON_PROGRAM}));
    pid_t program = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 60s; !program && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(100ms);
        if (FileExists(Demo.Dir.File("bank.ready")))
            for (const auto& entry : std::filesystem::directory_iterator("/proc"))
                if (ReadProcFile(entry.path().string() + "/comm") == "velton-export\n" &&
                    ReadProcFile(entry.path().string() + "/cmdline").find(Demo.ProfilesFile()) != std::string::npos &&
                    CatchesSigterm(entry.path().string()))
                    program = std::atoi(entry.path().filename().c_str());
    }
    ASSERT_GT(program, 0) << "the program did not start";
    const pid_t bank = Demo.BankPid();

    kill(program, SIGTERM);
    ASSERT_TRUE(script.WaitFor(30000));
    EXPECT_EQ(script.ExitCode(), 0);
    EXPECT_TRUE(GroupGone(bank));
    EXPECT_FALSE(Demo.BankRuns());
}

// The child processes of the process that run the program.
std::vector<pid_t> ChildrenRunning(pid_t parent, const std::string& program)
{
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = ReadProcFile(entry.path().string() + "/stat");
        const size_t end = stat.rfind(')');
        if (end == std::string::npos || stat.compare(stat.find('(') + 1, end - stat.find('(') - 1, program) != 0)
            continue;
        std::istringstream fields(stat.substr(end + 2));
        std::string state;
        pid_t ppid = 0;
        fields >> state >> ppid;
        if (ppid == parent)
            children.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return children;
}

// The self-update as the real program makes it: the program that run.sh started leaves
// its restart state and ends, the update starts it again, and the bank serves the
// restarted program until that one has ended too.
TEST_F(RunScriptTest, KeepsTheBankUpWhileTheUpdateRestartsTheProgram)
{
    const AnsiString program = CopyOfProgram(Programs);
    TAppExec script(Demo.Command("run.sh", {"VELTON_SKIP_BUILD=1", "VELTON_PROGRAM=" + program}));
    std::vector<pid_t> first;
    for (auto deadline = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(100ms);
        first = ProcessesOf(program);
        if (first.size() == 1 && CatchesSigterm("/proc/" + std::to_string(first[0])) &&
            ProfilesFileHeld(Demo.ProfilesFile()))
            break;
    }
    ASSERT_EQ(first.size(), 1u) << "the program did not start";
    const pid_t bank = Demo.BankPid();

    // The update's start: the restart state, then the program closes.
    SaveRestartState(RestartStateFile(program), {ExpandFileName(Demo.ProfilesFile()), "Romashka"});
    kill(first[0], SIGTERM);
    // run.sh either ends or waits (a "sleep" of its own) for the restarted program.
    while (ChildrenRunning(script.ProcessId(), "sleep").empty() && !script.WaitFor(100)) {
    }
    ASSERT_FALSE(script.Ended()) << "run.sh ended with the first program";
    ASSERT_TRUE(Demo.BankRuns());

    // The update starts the program again, without arguments.
    TAppExec restarted({program});
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         FileExists(RestartStateFile(program)) && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(100ms);
    ASSERT_FALSE(FileExists(RestartStateFile(program))) << "the program did not start again";
    EXPECT_TRUE(Demo.BankRuns());
    EXPECT_TRUE(AcceptsConnections(Demo.HttpPort()));
    EXPECT_FALSE(script.Ended());

    while (!CatchesSigterm("/proc/" + std::to_string(restarted.ProcessId())))
        std::this_thread::sleep_for(50ms);
    kill(restarted.ProcessId(), SIGTERM);
    ASSERT_TRUE(restarted.WaitFor(30000));
    ASSERT_TRUE(script.WaitFor(30000));
    EXPECT_EQ(script.ExitCode(), 0);
    EXPECT_TRUE(GroupGone(bank));
    EXPECT_FALSE(Demo.BankRuns());
}

} // namespace
