#include "platform/SysHandle.h"

#include <unistd.h>

TSysHandle& TSysHandle::operator=(TSysHandle&& other) noexcept
{
    if (this != &other)
        Assign(other.Release());
    return *this;
}

int TSysHandle::Close()
{
    const int result = FHandle >= 0 ? ::close(FHandle) : 0;
    FHandle = -1;
    return result;
}

void TSysHandle::Assign(int handle)
{
    Close();
    FHandle = handle;
}

int TSysHandle::Release()
{
    const int handle = FHandle;
    FHandle = -1;
    return handle;
}
