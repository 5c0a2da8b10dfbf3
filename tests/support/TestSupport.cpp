#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int value : values)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

std::string RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text.push_back(' ');
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

::testing::AssertionResult AnsiEqual(const char* actualExpr, const char* expectedExpr,
                                     const AnsiString& actual, const AnsiString& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actualExpr << " is \"" << U8(actual) << "\" [" << Hex(actual) << "]\n"
           << expectedExpr << " is \"" << U8(expected) << "\" [" << Hex(expected) << "]";
}

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velton-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern + "/";
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

void PrepareTestProcess(const TTempDir& userFolders)
{
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = userFolders.Path() + name;
        std::filesystem::create_directory(path);
        setenv(name, path.c_str(), 1);
    }
    // Without a runtime folder of their own Qt programs make a shared one in /tmp; Qt
    // takes only a folder that its user alone may enter.
    std::filesystem::permissions(userFolders.Path() + "XDG_RUNTIME_DIR", std::filesystem::perms::owner_all);
    std::signal(SIGPIPE, SIG_IGN);
}

void PrepareWidgetTestProcess(const TTempDir& userFolders)
{
    PrepareTestProcess(userFolders);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);   // only when the environment names none
}

TEnvironmentVariable::TEnvironmentVariable(const char* name, const std::string& value) : FName(name)
{
    const char* old = std::getenv(name);
    FWasSet = old != nullptr;
    if (old)
        FOldValue = old;
    setenv(name, value.c_str(), 1);
}

TEnvironmentVariable::~TEnvironmentVariable()
{
    if (FWasSet)
        setenv(FName.c_str(), FOldValue.c_str(), 1);
    else
        unsetenv(FName.c_str());
}

TFileSizeLimit::TFileSizeLimit(long bytes)
{
    // The signal would end the test; the write is to fail instead.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    FOldSoftLimit = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

TFileSizeLimit::~TFileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(FOldSoftLimit);
    setrlimit(RLIMIT_FSIZE, &limit);
}

TUmask::TUmask(unsigned mask) : FOldMask(umask(static_cast<mode_t>(mask))) {}

TUmask::~TUmask()
{
    umask(static_cast<mode_t>(FOldMask));
}

unsigned PermissionsOf(const AnsiString& path)
{
    struct stat info {};
    if (stat(AnsiToUtf8(path).c_str(), &info) != 0) {
        ADD_FAILURE() << "no file " << U8(path);
        return ~0u;
    }
    return info.st_mode & 07777;
}

std::vector<std::string> SystemNames(const AnsiString& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(AnsiToUtf8(folder)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const AnsiString& path, const std::string& bytes)
{
    std::ofstream file(AnsiToUtf8(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        ADD_FAILURE() << "Cannot write " << U8(path);
}

std::string ReadBytes(const AnsiString& path)
{
    std::ifstream file(AnsiToUtf8(path), std::ios::binary);
    if (!file) {
        ADD_FAILURE() << "Cannot read " << U8(path);
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

AnsiString SourceDir() { return AnsiString(VELTON_SOURCE_DIR) + "/"; }

std::string ReadProcFile(const std::string& path)
{
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return "";
    std::string text;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(handle, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(count));
    ::close(handle);
    return count < 0 ? "" : text;
}

bool ProcessGone(int pid)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        const std::string line = ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t end = line.rfind(')');
        if (end != std::string::npos && line.compare(end, 3, ") Z") == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
