#include "platform/Exception.h"

#include "platform/Encoding.h"

#include <cerrno>
#include <cstring>

AnsiString SysErrorMessage(int code)
{
    // The GNU strerror_r returns the text (possibly a static one) rather than filling buf.
    char buffer[256] = {};
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return Utf8ToAnsi(text ? text : "");
}

void RaiseOSError(int code)
{
    throw EOSError(SysErrorMessage(code), code);
}

void RaiseOSError(int code, const AnsiString& context)
{
    throw EOSError(context + ": " + SysErrorMessage(code), code);
}

void RaiseLastOSError()
{
    RaiseOSError(errno);
}
