#pragma once
// The program's pictures, compiled into the program from ui/images/ (Images.qrc): its own
// icon and the images of the toolbars. Each is an SVG drawing that scales to any size.

#include <QIcon>

// The program's icon: the window icon of every window and the about box's logo.
QIcon AppIcon();

// The toolbar images, each with what it shows and the commands it is drawn for.
enum class TToolImage {
    New,          // a blank sheet with a star: "Новый"
    Open,         // an open folder: "Открыть"
    Save,         // a diskette: "Сохранить"
    Edit,         // a pencil over a sheet: "Изменить"
    Add,          // a green plus: "Добавить"
    Delete,       // a red cross: "Удалить"
    Find,         // a magnifying glass: "Найти"
    Select,       // a ticked box: "Отметить"
    SelectAll,    // three ticked boxes with lines: "Все"
    Export,       // a sheet with a green arrow leaving it: "Экспорт"
    NextError,    // an arrow down to a red mark: "След. ош."
    SaveErrors,   // a diskette with a red mark: "Сохр. ош."
    PrintErrors,  // a printer with a red mark: "Печать ош"
    Print,        // a printer: "Печать"
    View,         // an eye: "Просмотр"
    Receive,      // an envelope with a green arrow coming in: "Прием"
    Process,      // a gear: "Обработка"
    Resend,       // an envelope with a turning arrow: "Повторно"
    ListType,     // a list with a title bar: "Тип списка"
    Profile,      // a person: the profile
    Key,          // a key: the cipher's keys
    Last = Key
};

QIcon ToolImage(TToolImage which);
