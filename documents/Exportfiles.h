#pragma once
// The fixed vocabulary of documents: the kinds the client sends with their columns, the
// salary list's cross-column rules, the answer kinds the bank sends, the bank's
// reference-list types and the input file formats. The row index of each table is its
// code everywhere (export kind 0-2, reply kind 0, reference-list type 0-2, format 0-3).

#include <cstdint>

// The value kinds of the columns, each checked and normalised by its field validator.
constexpr uint8_t vkText = 0;            // free text, not checked
constexpr uint8_t vkName = 1;            // a person's name
constexpr uint8_t vkAccount12or20 = 2;   // 12 digits (zero-padded from fewer) or 20 digits
constexpr uint8_t vkAccount12 = 3;       // 12 digits (zero-padded from fewer)
constexpr uint8_t vkAccount20 = 4;       // exactly 20 digits
constexpr uint8_t vkDigits = 5;          // digits only
constexpr uint8_t vkAmount = 6;          // 2 decimals, above zero
constexpr uint8_t vkDate = 7;
constexpr uint8_t vkBik = 8;             // bank identification code, 9 digits
constexpr uint8_t vkInn = 9;             // taxpayer number, 10 or 12 digits

// One column of a document kind.
struct TColumnInfo {
    int32_t MaxLength;     // the longest value accepted after normalisation
    int32_t Width;         // display width in characters
    uint8_t Kind;          // value kind 0-9, checked by the field validators
    uint8_t Mandatory;     // 1: the value may not be empty
    const char* Caption;   // column heading and the prefix of every error of the field
    const char* Hint;      // the field's help; may hold CR LF line breaks
};

// A row of ExportDocTypes. The column table may hold more rows than FieldCount: the rows
// beyond it are read only by index by the record rules.
struct TDocTypeInfo {
    const char* Code;      // key prefix in the profiles file and the container's FILE_TYPE
    const char* Title;
    int32_t FieldCount;    // the number of document fields of the kind
    const TColumnInfo* Columns;
    int32_t ColumnCount;   // rows of Columns
    const char* Letter;    // the kind's letter in container file names ("" for Salary)
};

struct TReplyColumnInfo {
    int32_t Width;
    const char* Caption;
};

// A row of ReplyDocTypes.
struct TReplyTypeInfo {
    const char* Code;
    const char* Title;
    int32_t ColumnCount;
    const TReplyColumnInfo* Columns;
};

// A row of EtalonTypeInfos: Keys are the salary record's fields compared with the first
// fields of a reference list's row, in that order.
struct TEtalonTypeInfo {
    const char* Code;      // the container's ETALON_TYPE and an item of Salary.EtalonTypes
    const char* Title;
    int32_t KeyCount;
    const int32_t* Keys;
};

// A row of FileFormats.
struct TFileFormatInfo {
    const char* Tag;           // the value of the profile key "FileFormat"
    const char* Description;   // the file dialog's filter text
    const char* Mask;          // the file dialog's pattern
    const char* Extension;     // the default extension, with its "."
};

constexpr int ExportDocTypeCount = 3;
constexpr int ReplyDocTypeCount = 1;
constexpr int EtalonTypeCount = 3;
constexpr int FileFormatCount = 4;

// File formats.
constexpr uint8_t ffDelim = 0;
constexpr uint8_t ffFixed = 1;
constexpr uint8_t ffDBase = 2;
constexpr uint8_t ffXml = 3;

extern const TDocTypeInfo ExportDocTypes[ExportDocTypeCount];
extern const TReplyTypeInfo ReplyDocTypes[ReplyDocTypeCount];
extern const TEtalonTypeInfo EtalonTypeInfos[EtalonTypeCount];
extern const TFileFormatInfo FileFormats[FileFormatCount];

// The salary list's cross-column rules: column indexes in groups, each group ended by -1,
// the list ended by an empty group. Groups come in pairs: when any column of the condition
// group is filled, every column of the required group must be.
constexpr int SalaryColumnGroupsCount = 17;
extern const int32_t SalaryColumnGroups[SalaryColumnGroupsCount];
