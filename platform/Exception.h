#pragma once
// The program's exceptions: every failure carries a CP1251 message for the user.

#include "platform/AnsiString.h"

#include <exception>

// An operational error; the message is CP1251 text shown to the user as it stands.
class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : FMessage(std::move(message)) {}
    const AnsiString& Message() const noexcept { return FMessage; }
    void SetMessage(AnsiString message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    AnsiString FMessage;
};

// A field or record that does not pass validation.
class EValidateError : public Exception {
public:
    using Exception::Exception;
};

// A text that does not convert to a number or a date.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A stream that cannot deliver or take the bytes asked for.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A file that cannot be opened or created.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A failure of the operating system, with its text (SysErrorMessage).
class EOSError : public Exception {
public:
    EOSError(AnsiString message, int code) : Exception(std::move(message)), FCode(code) {}
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

// A Russian text of the program's own for an errno value, whatever the locale; "Системная
// ошибка " + the number for a value it has no text for.
AnsiString SysErrorMessage(int code);

// Raises EOSError for an errno value (the current errno when none is given).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(int code);
// As above, with a context such as a file name before the system's text.
[[noreturn]] void RaiseOSError(int code, const AnsiString& context);
