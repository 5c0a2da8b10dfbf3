#include "platform/Exception.h"

#include "platform/SysUtils.h"

#include <cerrno>

namespace {

struct TErrorText {
    int Code;
    const char* Text;
};

// The program's own texts for the errors a user may meet: every message of the program is
// Russian, whatever the locale of the session, and the system's texts follow the locale.
constexpr TErrorText ErrorTexts[] = {
    {EPERM, "Операция не разрешена"},
    {ENOENT, "Нет такого файла или папки"},
    {ESRCH, "Нет такого процесса"},
    {EINTR, "Системный вызов прерван"},
    {EIO, "Ошибка ввода-вывода"},
    {ENXIO, "Нет такого устройства или адреса"},
    {E2BIG, "Слишком длинный список аргументов"},
    {ENOEXEC, "Неверный формат исполняемого файла"},
    {EBADF, "Неверный дескриптор файла"},
    {ECHILD, "Нет дочерних процессов"},
    {EAGAIN, "Ресурс временно недоступен"},
    {ENOMEM, "Недостаточно памяти"},
    {EACCES, "Отказано в доступе"},
    {EBUSY, "Устройство или ресурс занято"},
    {EEXIST, "Файл уже существует"},
    {EXDEV, "Перемещение между разными файловыми системами невозможно"},
    {ENODEV, "Нет такого устройства"},
    {ENOTDIR, "Не является папкой"},
    {EISDIR, "Является папкой"},
    {EINVAL, "Недопустимый аргумент"},
    {ENFILE, "Слишком много открытых файлов в системе"},
    {EMFILE, "Слишком много открытых файлов"},
    {ETXTBSY, "Исполняемый файл занят"},
    {EFBIG, "Файл слишком велик"},
    {ENOSPC, "Нет места на устройстве"},
    {ESPIPE, "Недопустимое позиционирование"},
    {EROFS, "Файловая система доступна только для чтения"},
    {EMLINK, "Слишком много ссылок"},
    {EPIPE, "Канал закрыт"},
    {ENAMETOOLONG, "Слишком длинное имя файла"},
    {ENOTEMPTY, "Папка не пуста"},
    {ELOOP, "Слишком много уровней символических ссылок"},
    {EDQUOT, "Превышена дисковая квота"},
    {ESTALE, "Устаревший дескриптор файла"},
    {ENOTCONN, "Нет соединения"},
    {ECONNREFUSED, "В соединении отказано"},
    {ECONNRESET, "Соединение сброшено другой стороной"},
    {ECONNABORTED, "Соединение прервано"},
    {ETIMEDOUT, "Время ожидания соединения истекло"},
    {EHOSTUNREACH, "Узел недоступен"},
    {ENETUNREACH, "Сеть недоступна"},
    {ENETDOWN, "Сеть не работает"},
    {EADDRINUSE, "Адрес уже используется"},
    {ENOLCK, "Нет свободных блокировок"},
    {ENOTSUP, "Операция не поддерживается"},
    {ENOSYS, "Функция не реализована"},
    {ECANCELED, "Операция отменена"},
};

}  // namespace

AnsiString SysErrorMessage(int code)
{
    for (const TErrorText& error : ErrorTexts)
        if (error.Code == code)
            return error.Text;
    return "Системная ошибка " + IntToStr(code);
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
