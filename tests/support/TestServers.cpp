#include "support/TestServers.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const Python = "/usr/bin/python3";   // Debian's own, which has aiosmtpd
const char* const Dovecot = "/usr/sbin/dovecot";
const char* const Doveadm = "/usr/bin/doveadm";
const char* const Lighttpd = "/usr/sbin/lighttpd";

// How long a server may take to accept connections, and its processes to end once killed.
constexpr auto StartLimit = 5s;
constexpr auto StopLimit = 3s;
// Attempts with fresh ports: another program may take a port between our choice and
// the server's bind.
constexpr int StartAttempts = 3;

std::string ServersDir() { return SourceDir() + "tests/servers/"; }

// The whole file, "" when it does not exist.
std::string ReadIfExists(const std::string& path)
{
    std::error_code ignored;
    if (!fs::is_regular_file(path, ignored))
        return "";
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes, bool append = false)
{
    std::ofstream file(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        throw TServerError("Cannot write " + path);
}

// The configuration template with every "@NAME@" replaced by its value.
std::string FillTemplate(const std::string& templateName,
                         const std::map<std::string, std::string>& values)
{
    std::string text = ReadIfExists(ServersDir() + templateName);
    if (text.empty())
        throw TServerError("Missing template " + ServersDir() + templateName);
    for (const auto& [name, value] : values) {
        const std::string mark = "@" + name + "@";
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

std::string PercentDecode(const std::string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// The lines of a text (ending in LF or CR LF), without their ends.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// "Name: value" lines as a header list; continuation lines are joined to their header.
THeaderList ParseHeaderLines(const std::string& text)
{
    THeaderList headers;
    for (const std::string& line : SplitLines(text)) {
        if (line.empty())
            continue;
        if ((line[0] == ' ' || line[0] == '\t') && !headers.empty()) {
            headers.back().second += line;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const size_t valueStart = line.find_first_not_of(" \t", colon + 1);
        headers.emplace_back(line.substr(0, colon),
                             valueStart == std::string::npos ? "" : line.substr(valueStart));
    }
    return headers;
}

// The envelope file that the SMTP server writes beside each message.
TMailEnvelope ReadEnvelope(const std::string& path)
{
    TMailEnvelope envelope;
    for (const std::string& line : SplitLines(ReadIfExists(path))) {
        if (StartsWith(line, "from "))
            envelope.MailFrom = line.substr(5);
        else if (StartsWith(line, "to "))
            envelope.Recipients.push_back(line.substr(3));
        else if (StartsWith(line, "login "))
            envelope.Login = line.substr(6);
    }
    return envelope;
}

} // namespace

int BindLoopback(int& port)
{
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (handle < 0 || bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (handle >= 0)
            close(handle);
        return -1;
    }
    port = ntohs(address.sin_port);
    return handle;
}

std::vector<int> FreeLoopbackPorts(int count)
{
    std::vector<int> sockets;
    std::vector<int> ports;
    for (int i = 0; i < count; ++i) {
        int port = 0;
        const int handle = BindLoopback(port);
        if (handle < 0)
            throw TServerError("No free loopback port");
        sockets.push_back(handle);
        ports.push_back(port);
    }
    for (int handle : sockets)
        close(handle);
    return ports;
}

int ListenOnLoopback(int backlog, int& port)
{
    const int handle = BindLoopback(port);
    if (handle < 0 || listen(handle, backlog) != 0) {
        if (handle >= 0)
            close(handle);
        throw TServerError("No loopback port to listen on");
    }
    return handle;
}

bool AcceptsConnections(int port)
{
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(handle);
    return connected;
}

namespace {

// The standard ports of TLS from the start, which a test takes in a network namespace of
// its own.
constexpr int SmtpsPort = 465;
constexpr int Pop3sPort = 995;
constexpr int ImapsPort = 993;
constexpr int HttpsPort = 443;

// Dovecot refuses root as the mail user: the mailbox belongs to this unprivileged uid
// (dovecot's helpers run as its package users, see dovecot.conf). The tests run as root.
constexpr uid_t MailUid = 65534;
constexpr gid_t MailGid = 65534;

void HandToMailUser(const std::string& path)
{
    auto hand = [](const fs::path& item) {
        if (lchown(item.c_str(), MailUid, MailGid) != 0)
            throw TServerError("Cannot hand " + item.string() + " to the mail user (the mail servers need root)");
    };
    hand(path);
    if (fs::is_directory(path))
        for (const auto& entry : fs::recursive_directory_iterator(path))
            hand(entry.path());
}

// A name unique among the fixture's writers, sorting by time as dovecot sorts new mail.
std::string UniqueMaildirName(const char* writer)
{
    static std::atomic<int> counter{0};
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    char name[128];
    std::snprintf(name, sizeof name, "%lld.M%06lldP%dQ%d.%s", static_cast<long long>(now / 1000000),
                  static_cast<long long>(now % 1000000), static_cast<int>(getpid()), ++counter, writer);
    return name;
}

size_t CountOf(const std::string& text, const std::string& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

std::vector<std::string> SortedNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(folder, missing))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---- A server process ----

// Live processes (zombies do not count) of those groups, from /proc.
std::vector<pid_t> LiveProcessesOfGroups(const std::vector<pid_t>& groups)
{
    std::vector<pid_t> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        const std::string stat = ReadProcFile(entry.path().string() + "/stat");
        // pid (comm) state ppid pgrp ...: the name may hold blanks and parentheses.
        const size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        int group = 0;
        if (std::sscanf(stat.c_str() + nameEnd + 1, " %c %d %d", &state, &parent, &group) != 3 ||
            state == 'Z' || state == 'X')
            continue;
        if (std::find(groups.begin(), groups.end(), group) != groups.end())
            found.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return found;
}

// The inodes of the loopback IPv4 sockets listening on the port, from /proc/net/tcp.
std::vector<std::string> ListeningSockets(int port)
{
    std::vector<std::string> inodes;
    std::istringstream table(ReadProcFile("/proc/net/tcp"));
    std::string line;
    std::getline(table, line);   // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const size_t colon = local.find(':');
        if (state == "0A" && colon != std::string::npos &&
            std::strtol(local.c_str() + colon + 1, nullptr, 16) == port)
            inodes.push_back("socket:[" + inode + "]");
    }
    return inodes;
}

// A process of the group holds a socket that listens on the port.
bool GroupListensOn(pid_t group, int port)
{
    const std::vector<std::string> sockets = ListeningSockets(port);
    if (sockets.empty())
        return false;
    std::error_code ignored;
    for (pid_t pid : LiveProcessesOfGroups({group}))
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
            const std::string target = fs::read_symlink(entry.path(), ignored).string();
            if (std::find(sockets.begin(), sockets.end(), target) != sockets.end())
                return true;
        }
    return false;
}

// Runs the shell command (its paths are ours, without quotes); its output and error
// output, which must come with exit code 0.
std::string RunCommand(const std::string& commandLine)
{
    const std::string command = commandLine + " 2>&1";
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        throw TServerError("Cannot run " + command);
    std::string text;
    char piece[4096];
    for (size_t count; (count = std::fread(piece, 1, sizeof piece, output)) > 0;)
        text.append(piece, count);
    if (pclose(output) != 0)
        throw TServerError(commandLine + " failed:\n" + text);
    return text;
}

// Runs doveadm on the configuration with the arguments.
std::string RunDoveadm(const std::string& config, const std::string& arguments)
{
    return RunCommand(std::string(Doveadm) + " -c '" + config + "' " + arguments);
}

} // namespace

struct TServerLaunch {
    std::vector<std::string> Argv;
    std::string OutputLog;                  // its standard output and error
    std::vector<std::string> ServerLogs;    // log files the server writes itself
};

// One server program in its own process group: killed by the kernel when the test
// process dies, killed with everything in its group (and waited for) by Stop or the
// destructor. No server here needs an orderly shutdown: each stores what it receives
// before it answers.
class TServerProcess {
public:
    explicit TServerProcess(TServerLaunch launch) : FLaunch(std::move(launch)) {}
    ~TServerProcess() { Stop(); }

    // Starts the program and waits until every port accepts connections; false when it
    // exited or the time ran out (the process is then stopped).
    bool Start(const std::vector<int>& ports);
    void Stop();
    std::string Logs() const;

private:
    // True once the program has ended (reaped), its helpers killed.
    bool Exited();
    // Kills what is left of the group and waits (bounded) until it is gone.
    static void EndGroup(pid_t group);

    TServerLaunch FLaunch;
    pid_t FPid = -1;
};

bool TServerProcess::Start(const std::vector<int>& ports)
{
    std::vector<char*> args;
    for (const std::string& arg : FLaunch.Argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();

    FPid = fork();
    if (FPid < 0)
        throw TServerError("fork failed");
    if (FPid == 0) {
        // Only async-signal-safe calls from here to exec.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int input = open("/dev/null", O_RDONLY);
        const int output = open(FLaunch.OutputLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || output < 0)
            _exit(126);
        dup2(input, 0);
        dup2(output, 1);
        dup2(output, 2);
        syscall(SYS_close_range, 3U, ~0U, 0U);
        struct sigaction defaultAction{};
        defaultAction.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &defaultAction, nullptr);   // the test process ignores it
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    setpgid(FPid, FPid);

    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Exited())
            return false;
        // Another test may take a port between its choice and our server's bind: the
        // server is up only when its own processes listen on every port.
        const pid_t group = FPid;
        if (std::all_of(ports.begin(), ports.end(), [group](int port) {
                return GroupListensOn(group, port) && AcceptsConnections(port);
            }))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    Stop();
    return false;
}

bool TServerProcess::Exited()
{
    if (FPid <= 0)
        return true;
    if (waitpid(FPid, nullptr, WNOHANG) != FPid)
        return false;
    EndGroup(FPid);
    FPid = -1;
    return true;
}

void TServerProcess::EndGroup(pid_t group)
{
    kill(-group, SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + StopLimit;
    while (!LiveProcessesOfGroups({group}).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
}

void TServerProcess::Stop()
{
    if (FPid <= 0)
        return;
    EndGroup(FPid);
    waitpid(FPid, nullptr, 0);
    FPid = -1;
}

std::string TServerProcess::Logs() const
{
    std::string text = "--- " + FLaunch.OutputLog + "\n" + ReadIfExists(FLaunch.OutputLog);
    for (const std::string& log : FLaunch.ServerLogs)
        text += "--- " + log + "\n" + ReadIfExists(log);
    return text;
}

namespace {

// Starts a server on fresh free ports (`prepare` writes its configuration for them and
// says how to run it) and, when it has them, on its fixed ports; raises TServerError
// with the server's logs when it never comes up.
std::unique_ptr<TServerProcess> StartOnFreePorts(const std::string& name, int portCount,
                                                 const std::function<TServerLaunch(const std::vector<int>&)>& prepare,
                                                 std::vector<int>& ports, const std::vector<int>& fixedPorts = {})
{
    std::string logs;
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        ports = FreeLoopbackPorts(portCount);
        auto server = std::make_unique<TServerProcess>(prepare(ports));
        std::vector<int> listening = ports;
        listening.insert(listening.end(), fixedPorts.begin(), fixedPorts.end());
        if (server->Start(listening))
            return server;
        logs = server->Logs();
    }
    throw TServerError(name + " did not start:\n" + logs);
}

} // namespace

std::string HeaderValue(const THeaderList& headers, const std::string& name)
{
    for (const auto& [key, value] : headers)
        if (SameText(key, name))
            return value;
    return "";
}

// ---- Mail ----

TMailServer::TMailServer(std::string user, std::string password)
    : FUser(std::move(user)), FPassword(std::move(password))
{
    // The mail user and dovecot's login processes must reach the mailbox and sockets.
    fs::permissions(FFolder.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    PrepareMailbox();
}

TMailServer::~TMailServer() { Stop(); }

AnsiString TMailServer::MaildirPath() const { return FFolder.Path() + "home/" + FUser + "/Maildir/"; }

void TMailServer::PrepareMailbox()
{
    const std::string maildir = MaildirPath();
    for (const char* folder : {"new", "cur", "tmp"})
        fs::create_directories(maildir + folder);
    fs::create_directories(FFolder.Path() + "envelopes");
    HandToMailUser(FFolder.Path() + "home");
    WriteFile(FFolder.Path() + "passwd", FUser + ":{PLAIN}" + FPassword + "\n");
}

void TMailServer::RefuseRecipient(const std::string& address) { FRefused.push_back(address); }

void TMailServer::UseTls(const TServerCertificate& certificate) { FTls = certificate; }

TMailPorts TMailServer::Start()
{
    StartSmtp();
    return StartDovecot();
}

int TMailServer::StartSmtp()
{
    const std::string root = FFolder.Path();
    auto prepare = [&](const std::vector<int>& ports) {
        TServerLaunch launch{{Python, ServersDir() + "smtp_maildir.py", "--port", std::to_string(ports[0]),
                        "--maildir", MaildirPath(), "--envelopes", root + "envelopes",
                        "--uid", std::to_string(MailUid), "--gid", std::to_string(MailGid),
                        "--user=" + FUser, "--password=" + FPassword},
                       root + "smtp.log", {}};
        for (const std::string& address : FRefused)
            launch.Argv.push_back("--refuse=" + address);
        if (!FTls.Certificate.empty())
            for (const std::string& arg : {"--tls-cert=" + FTls.Certificate, "--tls-key=" + FTls.Key,
                                           "--tls-port=" + std::to_string(SmtpsPort)})
                launch.Argv.push_back(arg);
        return launch;
    };
    std::vector<int> ports;
    const bool tls = !FTls.Certificate.empty();
    FSmtp = StartOnFreePorts("SMTP server", 1, prepare, ports, tls ? std::vector<int>{SmtpsPort} : std::vector<int>{});
    FPorts.Smtp = ports[0];
    FPorts.Smtps = tls ? SmtpsPort : 0;
    return FPorts.Smtp;
}

void TMailServer::WriteDovecotConfig(const TMailPorts& ports) const
{
    const std::string ssl = FTls.Certificate.empty()
                                ? "ssl = no"
                                : "ssl = yes\nssl_cert = <" + FTls.Certificate + "\nssl_key = <" + FTls.Key;
    WriteFile(FFolder.Path() + "dovecot.conf",
              FillTemplate("dovecot.conf", {{"ROOT", FFolder.Path()},
                                            {"SSL", ssl},
                                            {"POP3_PORT", std::to_string(ports.Pop3)},
                                            {"IMAP_PORT", std::to_string(ports.Imap)},
                                            {"POP3S_PORT", std::to_string(ports.Pop3s)},
                                            {"IMAPS_PORT", std::to_string(ports.Imaps)},
                                            {"LOGIN_USER", "dovenull"},
                                            {"INTERNAL_USER", "dovecot"},
                                            {"INTERNAL_GROUP", "dovecot"},
                                            {"MAIL_UID", std::to_string(MailUid)},
                                            {"MAIL_GID", std::to_string(MailGid)}}));
}

TMailPorts TMailServer::StartDovecot()
{
    const std::string root = FFolder.Path();
    const bool tls = !FTls.Certificate.empty();
    FPorts.Pop3s = tls ? Pop3sPort : 0;
    FPorts.Imaps = tls ? ImapsPort : 0;
    auto prepare = [&](const std::vector<int>& ports) {
        FPorts.Pop3 = ports[0];
        FPorts.Imap = ports[1];
        WriteDovecotConfig(FPorts);
        // -F keeps the master in the foreground, as our child.
        return TServerLaunch{{Dovecot, "-F", "-c", root + "dovecot.conf"}, root + "dovecot.out", {root + "dovecot.log"}};
    };
    std::vector<int> ports;
    FDovecot = StartOnFreePorts("dovecot", 2, prepare, ports, tls ? std::vector<int>{Pop3sPort, ImapsPort} : std::vector<int>{});
    return FPorts;
}

void TMailServer::Stop()
{
    if (FRelay)
        FRelay->Stop();
    if (FSmtp)
        FSmtp->Stop();
    if (FDovecot)
        FDovecot->Stop();
}

int TMailServer::RefuseCommand(const std::string& protocol, const std::string& command)
{
    const int target = protocol == "pop3" ? FPorts.Pop3 : FPorts.Imap;
    const std::string root = FFolder.Path();
    auto prepare = [&](const std::vector<int>& ports) {
        return TServerLaunch{{Python, ServersDir() + "refusing_relay.py", "--port", std::to_string(ports[0]),
                              "--target", std::to_string(target), "--protocol", protocol, "--refuse", command},
                             root + "relay.log", {}};
    };
    std::vector<int> ports;
    FRelay = StartOnFreePorts("relay", 1, prepare, ports);
    return ports[0];
}

std::string TMailServer::PutMessage(const std::string& bytes, const std::string& flags)
{
    const std::string name = UniqueMaildirName("test");
    const std::string maildir = MaildirPath();
    WriteFile(maildir + "tmp/" + name, bytes);
    HandToMailUser(maildir + "tmp/" + name);
    fs::rename(maildir + "tmp/" + name, flags.empty() ? maildir + "new/" + name : maildir + "cur/" + name + ":2," + flags);
    return name;
}

void TMailServer::KickUser()
{
    // dovecot ends each session with "-ERR ... Server shutting down." and logs it; the
    // kick is done once the log tells of every session it ended.
    const std::string log = FFolder.Path() + "dovecot.log";
    const char* const ended = "Disconnected: Server shutting down";
    const size_t endedBefore = CountOf(ReadIfExists(log), ended);
    const std::string config = FFolder.Path() + "dovecot.conf";
    const size_t sessions = CountOf("\n" + RunDoveadm(config, "who -1 " + FUser), "\n" + FUser + " ");
    RunDoveadm(config, "kick " + FUser);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (CountOf(ReadIfExists(log), ended) < endedBefore + sessions) {
        if (std::chrono::steady_clock::now() > deadline)
            throw TServerError("doveadm kick ended no session:\n" + Logs());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TMailServer::CutUser()
{
    // "doveadm who -1" lists one session a line: user, protocol, process id, address.
    std::istringstream sessions(RunDoveadm(FFolder.Path() + "dovecot.conf", "who -1 " + FUser));
    int killed = 0;
    for (std::string line; std::getline(sessions, line);) {
        std::istringstream words(line);
        std::string user, protocol;
        int pid = 0;
        if (words >> user >> protocol >> pid && user == FUser) {
            ::kill(pid, SIGKILL);
            if (!ProcessGone(pid))
                throw TServerError("dovecot's session " + std::to_string(pid) + " did not end:\n" + Logs());
            ++killed;
        }
    }
    if (killed == 0)
        throw TServerError("no session of " + FUser + " to cut:\n" + Logs());
}

void TMailServer::RemoveMessage(const std::string& name)
{
    for (const char* folder : {"new", "cur"}) {
        const std::string path = MaildirPath() + folder + "/";
        for (const std::string& fileName : SortedNames(path))
            if (fileName == name || StartsWith(fileName, name + ":"))
                fs::remove(path + fileName);
    }
}

std::vector<TMailFile> TMailServer::Messages() const
{
    std::vector<TMailFile> messages;
    for (const char* folder : {"new", "cur"}) {
        const std::string path = MaildirPath() + folder + "/";
        for (const std::string& fileName : SortedNames(path)) {
            TMailFile message;
            const size_t info = fileName.find(":2,");
            message.Name = fileName.substr(0, info);
            message.Flags = info == std::string::npos ? "" : fileName.substr(info + 3);
            message.Bytes = ReadIfExists(path + fileName);
            message.Envelope = ReadEnvelope(FFolder.Path() + "envelopes/" + message.Name);
            messages.push_back(std::move(message));
        }
    }
    std::sort(messages.begin(), messages.end(),
              [](const TMailFile& a, const TMailFile& b) { return a.Name < b.Name; });
    return messages;
}

std::string TMailServer::Logs() const
{
    return (FSmtp ? FSmtp->Logs() : "") + (FDovecot ? FDovecot->Logs() : "") + (FRelay ? FRelay->Logs() : "");
}

// ---- TLS ----

void EnterOwnNetwork()
{
    if (unshare(CLONE_NEWNET) != 0)
        throw TServerError(std::string("Cannot enter a network namespace of our own (the test needs root): ") +
                           std::strerror(errno));
    const int handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    const bool up = handle >= 0 && ioctl(handle, SIOCGIFFLAGS, &loopback) == 0 &&
                    (loopback.ifr_flags |= IFF_UP, ioctl(handle, SIOCSIFFLAGS, &loopback) == 0);
    if (handle >= 0)
        close(handle);
    if (!up)
        throw TServerError("Cannot bring the loopback interface up in the test's network namespace");
}

namespace {

// openssl making a key (P-256) and a certificate valid for two days, as "-subj" and the
// further arguments say.
void MakeCertificate(const std::string& certificate, const std::string& key, const std::string& subject,
                     const std::string& arguments)
{
    RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -keyout " + key +
               " -out " + certificate + " -subj '/CN=" + subject + "' " + arguments);
}

} // namespace

TTestAuthority::TTestAuthority()
{
    MakeCertificate(Certificate(), FFolder.Path() + "ca.key", "Test CA " + std::to_string(getpid()), "");
}

TServerCertificate TTestAuthority::Issue(const std::string& name)
{
    const std::string stem = FFolder.Path() + "server" + std::to_string(++FIssued);
    const bool address = inet_addr(name.c_str()) != INADDR_NONE;
    MakeCertificate(stem + ".pem", stem + ".key", name,
                    "-CA " + Certificate() + " -CAkey " + FFolder.Path() + "ca.key" +
                        " -addext 'subjectAltName=" + (address ? "IP:" : "DNS:") + name + "'" +
                        " -addext 'basicConstraints=critical,CA:FALSE'");
    return {stem + ".pem", stem + ".key"};
}

TRecordingRelay::TRecordingRelay() = default;

TRecordingRelay::~TRecordingRelay() { Stop(); }

int TRecordingRelay::Start(int targetPort)
{
    auto prepare = [&](const std::vector<int>& ports) {
        return TServerLaunch{{Python, ServersDir() + "tcp_relay.py", "--port", std::to_string(ports[0]),
                              "--target", std::to_string(targetPort), "--record", FFolder.Path() + "client.bytes"},
                             FFolder.Path() + "relay.log", {}};
    };
    std::vector<int> ports;
    FServer = StartOnFreePorts("relay", 1, prepare, ports);
    return ports[0];
}

void TRecordingRelay::Stop()
{
    if (FServer)
        FServer->Stop();
}

std::string TRecordingRelay::ClientBytes() const { return ReadIfExists(FFolder.Path() + "client.bytes"); }

// ---- The bank's web server ----

namespace {

// The script's folder for a user or a prefix: "x" and the bytes in hex, so that no name
// from a request becomes a path of its own.
std::string BankFolderName(const std::string& text)
{
    std::string hex = Hex(text);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return "x" + hex;
}

} // namespace

std::string TFormPart::Header(const std::string& name) const { return HeaderValue(ParseHeaderLines(Headers), name); }

const TFormPart* TUpload::Part(const std::string& name) const
{
    for (const TFormPart& part : Parts)
        if (part.Name == name)
            return &part;
    return nullptr;
}

std::string TUpload::Field(const std::string& name) const
{
    const TFormPart* part = Part(name);
    return part ? part->Body : "";
}

std::string TBankRequest::Field(const std::string& name) const
{
    for (const auto& [key, value] : Fields)
        if (key == name)
            return value;
    return "";
}

bool TBankRequest::Has(const std::string& name) const
{
    return std::any_of(Fields.begin(), Fields.end(), [&](const auto& field) { return field.first == name; });
}

TBankHttpServer::TBankHttpServer()
{
    const std::string root = FFolder.Path();
    fs::create_directories(root + "www/cgi-bin");
    fs::create_directories(root + "bank");
    fs::create_symlink(ServersDir() + "cgi-bin/zem-export.pl", root + "www/cgi-bin/zem-export.pl");
    // The tests look at the passwords that reached the bank; the demo bank's log masks them.
    WriteFile(BankPath("log-passwords"), "");
}

TBankHttpServer::~TBankHttpServer() { Stop(); }

AnsiString TBankHttpServer::BankPath(const std::string& name) const { return FFolder.Path() + "bank/" + name; }

namespace {

// lighttpd's settings of TLS with the certificate, on its configured port and on the
// standard one.
std::string LighttpdTls(const TServerCertificate& certificate)
{
    return "server.modules += (\"mod_openssl\")\n"
           "ssl.engine = \"enable\"\n"
           "ssl.pemfile = \"" + certificate.Certificate + "\"\n"
           "ssl.privkey = \"" + certificate.Key + "\"\n"
           "$SERVER[\"socket\"] == \"127.0.0.1:" + std::to_string(HttpsPort) + "\" { ssl.engine = \"enable\" }\n";
}

} // namespace

void TBankHttpServer::UseTls(const TServerCertificate& certificate) { FTls = certificate; }

int TBankHttpServer::Start()
{
    const std::string root = FFolder.Path();
    const bool tls = !FTls.Certificate.empty();
    const std::string tlsSettings = tls ? LighttpdTls(FTls) : "";
    auto prepare = [&](const std::vector<int>& ports) {
        WriteFile(root + "lighttpd.conf",
                  FillTemplate("lighttpd.conf", {{"ROOT", root}, {"PORT", std::to_string(ports[0])}}) + tlsSettings);
        return TServerLaunch{{Lighttpd, "-D", "-f", root + "lighttpd.conf"}, root + "lighttpd.out", {root + "lighttpd.log"}};
    };
    std::vector<int> ports;
    FServer = StartOnFreePorts("lighttpd", 1, prepare, ports, tls ? std::vector<int>{HttpsPort} : std::vector<int>{});
    FPort = ports[0];
    return FPort;
}

void TBankHttpServer::Stop()
{
    if (FServer)
        FServer->Stop();
}

std::string TBankHttpServer::Host() const { return "127.0.0.1:" + std::to_string(FPort); }

std::string TBankHttpServer::Url() const { return "http://" + Host() + "/cgi-bin/zem-export.pl"; }

void TBankHttpServer::AddUser(const std::string& user, const std::string& password)
{
    WriteFile(BankPath("users"), user + "\t" + password + "\n", true);
}

std::string TBankHttpServer::AddMessage(const std::string& user, const std::string& prefix,
                                        const std::string& bytes, const std::string& uid)
{
    const std::string id = uid.empty() ? std::to_string(FNextUid++) : uid;
    const std::string folder = BankPath("mail/" + BankFolderName(user) + "/" + BankFolderName(prefix) + "/");
    fs::create_directories(folder);
    WriteFile(folder + id, bytes);
    return id;
}

std::vector<std::string> TBankHttpServer::MessageIds(const std::string& user, const std::string& prefix) const
{
    return SortedNames(BankPath("mail/" + BankFolderName(user) + "/" + BankFolderName(prefix) + "/"));
}

void TBankHttpServer::FailWith(const std::string& status, const std::string& action)
{
    WriteFile(BankPath("fail-" + action), status + "\n");
}

void TBankHttpServer::ReplyWith(const std::string& body, const std::string& action)
{
    WriteFile(BankPath("reply-" + action), body);
}

void TBankHttpServer::ReplaceFileDuring(const std::string& action, const std::string& path, const std::string& bytes)
{
    WriteFile(BankPath("replace-" + action), path + "\n" + bytes);
}

void TBankHttpServer::ClearFailures()
{
    for (const std::string& name : SortedNames(BankPath("")))
        if (StartsWith(name, "fail"))
            fs::remove(BankPath(name));
}

std::vector<TUpload> TBankHttpServer::Uploads() const
{
    std::vector<TUpload> uploads;
    for (int number = 1; fs::is_directory(BankPath("put/" + std::to_string(number))); ++number) {
        const std::string folder = BankPath("put/" + std::to_string(number) + "/");
        TUpload upload;
        for (int part = 1; fs::exists(folder + std::to_string(part) + ".name"); ++part) {
            const std::string stem = folder + std::to_string(part);
            upload.Parts.push_back({ReadIfExists(stem + ".name"), ReadIfExists(stem + ".headers"),
                                    ReadIfExists(stem + ".body")});
        }
        uploads.push_back(std::move(upload));
    }
    return uploads;
}

std::vector<TBankRequest> TBankHttpServer::Requests() const
{
    std::vector<TBankRequest> requests;
    for (const std::string& line : SplitLines(ReadIfExists(BankPath("requests.log")))) {
        TBankRequest request;
        const size_t blank = line.find(' ');
        request.Status = std::atoi(line.substr(0, blank).c_str());
        const std::string query = blank == std::string::npos ? "" : line.substr(blank + 1);
        for (size_t start = 0; start < query.size();) {
            size_t end = query.find('&', start);
            if (end == std::string::npos)
                end = query.size();
            const std::string piece = query.substr(start, end - start);
            const size_t equals = piece.find('=');
            request.Fields.emplace_back(PercentDecode(piece.substr(0, equals)),
                                        equals == std::string::npos ? "" : PercentDecode(piece.substr(equals + 1)));
            start = end + 1;
        }
        requests.push_back(std::move(request));
    }
    return requests;
}

std::vector<std::string> TBankHttpServer::Actions(size_t first) const
{
    std::vector<std::string> actions;
    const std::vector<TBankRequest> requests = Requests();
    for (size_t i = first; i < requests.size(); ++i)
        actions.push_back(requests[i].Field("action") + " " + requests[i].Field("uid") + " " +
                          std::to_string(requests[i].Status));
    return actions;
}

std::string TBankHttpServer::Logs() const
{
    return (FServer ? FServer->Logs() : "") + "--- requests.log\n" + ReadIfExists(BankPath("requests.log"));
}

// ---- The proxy ----

TProxyServer::TProxyServer(TProxyAccounts accounts) : FAccounts(std::move(accounts)) {}

TProxyServer::~TProxyServer() { Stop(); }

int TProxyServer::Start()
{
    const std::string root = FFolder.Path();
    auto prepare = [&](const std::vector<int>& ports) {
        TServerLaunch launch{{Python, ServersDir() + "http_proxy.py", "--port", std::to_string(ports[0]),
                              "--record", root + "requests"},
                             root + "proxy.log", {}};
        for (const auto& [user, password] : FAccounts)
            launch.Argv.push_back("--account=" + user + ":" + password);
        return launch;
    };
    std::vector<int> ports;
    FServer = StartOnFreePorts("HTTP proxy", 1, prepare, ports);
    FPort = ports[0];
    return FPort;
}

void TProxyServer::Stop()
{
    if (FServer)
        FServer->Stop();
}

std::vector<TProxyRequest> TProxyServer::Requests() const
{
    std::vector<TProxyRequest> requests;
    const std::string record = ReadIfExists(FFolder.Path() + "requests");
    for (size_t start = 0; start < record.size();) {
        size_t end = record.find("\r\n\r\n", start);
        if (end == std::string::npos)
            end = record.size();
        const std::string block = record.substr(start, end - start);
        const size_t lineEnd = block.find("\r\n");
        requests.push_back({block.substr(0, lineEnd),
                            lineEnd == std::string::npos ? THeaderList{} : ParseHeaderLines(block.substr(lineEnd + 2))});
        start = end + 4;
    }
    return requests;
}

std::string TProxyServer::Logs() const { return FServer ? FServer->Logs() : ""; }
