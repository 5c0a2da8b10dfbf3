#include "WbFiles.h"

#include "WbCommon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace wbotho {

namespace {

class TFileHandle {
public:
    explicit TFileHandle(int handle) : FHandle(handle) {}
    ~TFileHandle()
    {
        if (FHandle >= 0)
            close(FHandle);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FHandle; }
    // Closes now and tells whether the close succeeded (a late write error shows here).
    bool Close()
    {
        const int handle = FHandle;
        FHandle = -1;
        return close(handle) == 0;
    }

private:
    int FHandle;
};

} // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string ReadWholeFile(const std::string& path)
{
    TFileHandle file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status;
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        Fail(WB_E_READ);
    if (static_cast<uint64_t>(status.st_size) > UINT32_MAX)
        Fail(WB_E_TOO_LARGE);
    std::string bytes(static_cast<size_t>(status.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = read(file.Get(), bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            Fail(WB_E_READ);   // an error, or the file shrank under us
        done += static_cast<size_t>(count);
    }
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    TFileHandle file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (file.Get() < 0)
        Fail(WB_E_WRITE);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(file.Get(), bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            Fail(WB_E_WRITE);
        done += static_cast<size_t>(count);
    }
    if (!file.Close())
        Fail(WB_E_WRITE);
}

} // namespace wbotho
