#pragma once
// Helpers for the tests: CP1251 text shown as UTF-8 in failure output, exceptions checked
// by type and message, temporary folders, byte fixtures.

#include "platform/AnsiString.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

// CP1251 text as UTF-8, for failure messages that people can read.
inline std::string U8(const AnsiString& text) { return AnsiToUtf8(text); }

// A string of the given byte values.
std::string Bytes(std::initializer_list<int> values);
// `count` bytes of a fixed pseudo-random sequence chosen by the seed.
std::string RandomBytes(size_t count, unsigned seed);
// The bytes as upper-case hexadecimal pairs separated by blanks ("EF DB C9").
std::string Hex(const std::string& bytes);

::testing::AssertionResult AnsiEqual(const char* actualExpr, const char* expectedExpr,
                                     const AnsiString& actual, const AnsiString& expected);

// Compares CP1251 texts and shows both as UTF-8 when they differ.
#define EXPECT_ANSI_EQ(actual, expected) EXPECT_PRED_FORMAT2(AnsiEqual, actual, expected)
#define ASSERT_ANSI_EQ(actual, expected) ASSERT_PRED_FORMAT2(AnsiEqual, actual, expected)

// With ExceptionType = Exception the second handler below can never run; the compiler
// says so (-Wexceptions), which is expected there.
#define VELTON_IGNORE_CATCH_ORDER_BEGIN \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wexceptions\"")
#define VELTON_IGNORE_CATCH_ORDER_END _Pragma("GCC diagnostic pop")

// The statement must raise exactly that type (or a kind of it) with exactly that
// message (CP1251 text, as the program shows it).
#define EXPECT_RAISES(statement, ExceptionType, expectedMessage)                          \
    do {                                                                                   \
        VELTON_IGNORE_CATCH_ORDER_BEGIN                                                    \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << "Expected " #ExceptionType " from: " #statement;             \
        } catch (const ExceptionType& raised__) {                                          \
            EXPECT_ANSI_EQ(raised__.Message(), AnsiString(expectedMessage));               \
        } catch (const std::exception& other__) {                                          \
            ADD_FAILURE() << "Other exception from " #statement ": " << U8(other__.what());    \
        }                                                                                  \
        VELTON_IGNORE_CATCH_ORDER_END                                                      \
    } while (0)

// The statement must raise that type; its message must begin with the prefix.
#define EXPECT_RAISES_PREFIX(statement, ExceptionType, expectedPrefix)                    \
    do {                                                                                   \
        VELTON_IGNORE_CATCH_ORDER_BEGIN                                                    \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << "Expected " #ExceptionType " from: " #statement;             \
        } catch (const ExceptionType& raised__) {                                          \
            const AnsiString prefix__ = (expectedPrefix);                                  \
            EXPECT_ANSI_EQ(raised__.Message().substr(0, prefix__.size()), prefix__);        \
        } catch (const std::exception& other__) {                                          \
            ADD_FAILURE() << "Other exception from " #statement ": " << U8(other__.what());    \
        }                                                                                  \
        VELTON_IGNORE_CATCH_ORDER_END                                                      \
    } while (0)

// A new empty folder, removed with everything in it at the end of the scope. Path()
// is CP1251 and ends with "/".
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const AnsiString& Path() const { return FPath; }
    // Path() + name.
    AnsiString File(const AnsiString& name) const { return FPath + name; }

private:
    AnsiString FPath;
};

// Prepares a test program's process before its tests run. It points the folders where
// programs keep their user's settings, caches, data and runtime files (XDG_CONFIG_HOME and
// its kin; Qt keeps QtProject.conf there) into the folder, for this process and the
// programs it starts, so that no test writes into the home folder or the shared temporary
// folder; and it ignores SIGPIPE, so that a write to a closed pipe comes back as an error,
// as in the program.
void PrepareTestProcess(const TTempDir& userFolders);
// The same for a program with windows, which also get the platform that QT_QPA_PLATFORM
// names, offscreen when it names none.
void PrepareWidgetTestProcess(const TTempDir& userFolders);

// Sets an environment variable for the scope and puts back what it was.
class TEnvironmentVariable {
public:
    TEnvironmentVariable(const char* name, const std::string& value);
    ~TEnvironmentVariable();
    TEnvironmentVariable(const TEnvironmentVariable&) = delete;
    TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

private:
    std::string FName;
    bool FWasSet;
    std::string FOldValue;
};

// For the scope no file of this process may grow past `bytes` (RLIMIT_FSIZE): a write
// beyond fails with EFBIG, as on a full disk, also for root, whom permissions never stop.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(long bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    unsigned long FOldSoftLimit;
};

// For the scope the process creates files and folders under this umask.
class TUmask {
public:
    explicit TUmask(unsigned mask);
    ~TUmask();
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    unsigned FOldMask;
};

// The permission bits (07777) of what stands at the name, followed when it is a link; a
// failed test and ~0u when nothing does.
unsigned PermissionsOf(const AnsiString& path);

// The names in a folder as the system stores them (UTF-8), sorted.
std::vector<std::string> SystemNames(const AnsiString& folder);

// Writes or reads a file's raw bytes (CP1251 name).
void WriteBytes(const AnsiString& path, const std::string& bytes);
std::string ReadBytes(const AnsiString& path);

// The text of a file under /proc, "" when it cannot be read: the process may end between
// the open and the read, which makes a standard stream throw instead of failing.
std::string ReadProcFile(const std::string& path);

// A process that is gone: no such process, or a zombie left for another parent (init) to
// reap. Waits up to two seconds for the system to finish a kill.
bool ProcessGone(int pid);

// The project's source folder ending with "/", for fixtures kept under tests/.
AnsiString SourceDir();
