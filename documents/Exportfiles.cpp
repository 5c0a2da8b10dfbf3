#include "documents/Exportfiles.h"

#include <iterator>

namespace {

const TColumnInfo SalaryColumns[] = {
    {256, 40, vkName, 1, "ФИО", "Фамилия Имя Отчество"},
    {20, 20, vkAccount12or20, 1, "Счет", "Счет (20 цифр)"},
    {12, 12, vkAmount, 1, "Сумма", "Сумма XXXXX.XX"},
    {2000, 30, vkText, 0, "Комментарий", "Комментарий"},
    {12, 12, vkAccount12, 0, "Счет ПУ", "Не заполнять"},
    {9, 9, vkBik, 0, "БИК", "БИК банка"},
    {20, 20, vkAccount20, 0, "Корсчет", "Корсчет банка"},
    {160, 40, vkText, 0, "Наименование получателя", "Наименование получателя"},
    {12, 12, vkInn, 0, "ИНН получателя", "ИНН получателя"},
    {20, 20, vkAccount20, 0, "Счет получателя", "Счет получателя"},
};

const TColumnInfo NewCliColumns[] = {
    {256, 40, vkName, 1, "ФИО", "Фамилия Имя Отчество"},
    {12, 12, vkText, 1, "Серия/номер", "XXXX XXXXXX"},
    {5, 5, vkDigits, 1, "Код", "Код документа\r\n21 - для паспорта"},
    {10, 10, vkDate, 1, "Дата выдачи", "ДД/ММ/ГГГГ"},
    {80, 20, vkText, 1, "Место выдачи", "Место выдачи"},
    {80, 40, vkText, 1, "Кем выдан", "Кем выдан"},
    {7, 7, vkText, 1, "Код подр.", "Код подразделения XXX-XXX"},
    {10, 10, vkDate, 1, "Дата рожд.", "ДД/ММ/ГГГГ"},
    {80, 20, vkText, 0, "Страна", "Страна (необязательное поле)"},
    {6, 6, vkDigits, 0, "Индекс", "Почтовый индекс XXXXXX (необязательное поле)"},
    {2, 2, vkDigits, 1, "Код субъекта РФ", "Код субъекта РФ XX"},
    {80, 20, vkText, 1, "Нас. пункт", "Населеный пункт"},
    {80, 30, vkText, 1, "Местный адрес", "Улица, номер дома, строение(корпус), номер квартиры"},
    {80, 20, vkText, 0, "Страна (место рожд.)", "Страна места рождения (необязательное поле)"},
    {80, 30, vkText, 1, "Регион (место рожд.)", "Регион места рождения"},
    {80, 30, vkText, 0, "Район (место рожд.)", "Район места рождения (необязательное поле)"},
    {80, 20, vkText, 1, "Нас. пункт (место рожд.)", "Населенный пункт (место рождения)"},
    {20, 20, vkText, 1, "Кодовое слово", "Кодовое слово"},
    {20, 11, vkText, 1, "Телефон", "Телефон"},
    {1, 2, vkText, 1, "Пол", "М/Ж"},
    {4, 5, vkText, 1, "Тип карты",
     "Тип карты:\r\nMCST - MasterCard Standart\r\nMCGD - MasterCard GOLD\r\n"
     "VSCL - Visa Clasic\r\nVSGD - Visa GOLD"},
    {12, 12, vkDigits, 0, "Инн", "Инн"},
};

const TColumnInfo DelCliColumns[] = {
    {256, 40, vkName, 1, "ФИО", "Фамилия Имя Отчество"},
    {20, 20, vkAccount12or20, 1, "Счет", "Счет"},
};

const TReplyColumnInfo NewCliReplyColumns[] = {
    {40, "ФИО"},
    {14, "Серия/номер"},
    {20, "Счет"},
    {60, "Сообщение"},
};

const int32_t NameAndAccountKeys[] = {0, 1};
const int32_t ProviderAccountKeys[] = {4};

} // namespace

const TDocTypeInfo ExportDocTypes[ExportDocTypeCount] = {
    {"Salary", "Список на зачисление", 3, SalaryColumns, std::size(SalaryColumns), ""},
    {"NewCli", "Список на добавление клиентов", 22, NewCliColumns, std::size(NewCliColumns), "N"},
    {"DelCli", "Список на исключение клиентов", 2, DelCliColumns, std::size(DelCliColumns), "D"},
};

const TReplyTypeInfo ReplyDocTypes[ReplyDocTypeCount] = {
    {"NewCliReply", "Список добавленных клиентов", std::size(NewCliReplyColumns), NewCliReplyColumns},
};

const TEtalonTypeInfo EtalonTypeInfos[EtalonTypeCount] = {
    {"SAL", "Эталонный список 12-значных счетов клиентов", std::size(NameAndAccountKeys), NameAndAccountKeys},
    {"NNS", "Эталонный список 20-значных счетов клиентов", std::size(NameAndAccountKeys), NameAndAccountKeys},
    {"COM", "Эталонный список счетов поставщиков услуг", std::size(ProviderAccountKeys), ProviderAccountKeys},
};

const TFileFormatInfo FileFormats[FileFormatCount] = {
    {"DELIM", "Текстовые файлы с разделителями", "*.*", ".txt"},
    {"FIXED", "Текстовые файлы с фикс. полями", "*.*", ".txt"},
    {"DBASE", "Файлы DBase III+", "*.dbf", ".dbf"},
    {"XML", "Файлы XML", "*.xml", ".xml"},
};

const int32_t SalaryColumnGroups[SalaryColumnGroupsCount] = {
    4, -1, 4, 3, -1,                  // a service-provider account needs a comment
    5, 7, 8, 9, -1, 5, 7, 8, 9, 3, -1,  // any detail of an external payment needs all and a comment
    -1,
};
