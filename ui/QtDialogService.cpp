#include "ui/QtDialogService.h"

#include "documents/Common.h"
#include "platform/Paths.h"
#include "ui/Common.h"
#include "ui/QtFileDialog.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QWindow>

#include <vector>

namespace {

QMessageBox::Icon IconOf(unsigned flags)
{
    switch (flags & MessageBoxFlags::IconMask) {
    case MessageBoxFlags::IconError: return QMessageBox::Critical;
    case MessageBoxFlags::IconQuestion: return QMessageBox::Question;
    case MessageBoxFlags::IconWarning: return QMessageBox::Warning;
    case MessageBoxFlags::IconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

struct TButton {
    QMessageBox::StandardButton Button;
    int Answer;
};

std::vector<TButton> ButtonsOf(unsigned flags)
{
    using namespace MessageBoxAnswer;
    switch (flags & MessageBoxFlags::ButtonMask) {
    case MessageBoxFlags::OkCancel: return {{QMessageBox::Ok, Ok}, {QMessageBox::Cancel, Cancel}};
    case MessageBoxFlags::YesNoCancel:
        return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}, {QMessageBox::Cancel, Cancel}};
    case MessageBoxFlags::YesNo: return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}};
    default: return {{QMessageBox::Ok, Ok}};
    }
}

// Windows names the buttons in the user's language; Qt would name them in English.
QString ButtonText(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return ToQString("OK");
    case QMessageBox::Cancel: return ToQString("Отмена");
    case QMessageBox::Yes: return ToQString("Да");
    case QMessageBox::No: return ToQString("Нет");
    default: return {};
    }
}

// The answer when the box is closed without a button: Cancel where there is one, else
// the only button (OK), else No.
int CloseAnswer(const std::vector<TButton>& buttons)
{
    for (const TButton& button : buttons)
        if (button.Answer == MessageBoxAnswer::Cancel)
            return MessageBoxAnswer::Cancel;
    return buttons.size() == 1 ? buttons.front().Answer : MessageBoxAnswer::No;
}

// A hyphen between two letters becomes a non-breaking one: a word such as
// "Вельтон-Банк" is never broken across two lines of the box.
QString KeepHyphenatedWords(QString text)
{
    for (qsizetype i = 1; i + 1 < text.size(); ++i)
        if (text[i] == u'-' && text[i - 1].isLetter() && text[i + 1].isLetter())
            text[i] = QChar(0x2011);
    return text;
}

// Room beside the caption in a window manager's title bar: its icon on one side, its
// buttons on the other, with the caption centred between them.
constexpr int TitleBarRoom = 160;

// Makes the box wide enough for its caption in a title bar's bold letters: the window
// manager would cut a caption wider than the box's text.
void FitCaption(QMessageBox& box)
{
    QFont bold = box.font();
    bold.setBold(true);
    const int wanted = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + TitleBarRoom;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid)
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

// The window that shows a message box and the control in it that has the focus. When the
// box has closed, both get the focus back: a window manager may activate another window
// then (the main window under a modeless dialog such as "Найти"), where the next key
// meant for the dialog would act on a list.
class TFocusReturn {
public:
    TFocusReturn() : FWindow(QApplication::activeWindow()), FControl(FWindow ? FWindow->focusWidget() : nullptr) {}

    void Restore() const
    {
        if (!FWindow || !FWindow->isVisible())
            return;
        FWindow->raise();
        FWindow->activateWindow();
        if (FControl && FControl->isVisible() && FControl->isEnabled())
            FControl->setFocus(Qt::ActiveWindowFocusReason);
        ReassertOverTheWindowManager();
    }

private:
    QPointer<QWidget> FWindow;
    QPointer<QWidget> FControl;

    // A window manager that passes the focus on when the box goes (xfwm4 gives it to the
    // main window) may do so after the request above, which it then overrides: when the
    // first window that becomes active is another one, the window asks once more, after
    // the events that came with that change. A dialog that the program opened next (a
    // second box, a wizard) keeps the focus.
    void ReassertOverTheWindowManager() const
    {
        auto* watch = new QObject(FWindow);
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, watch,
                         [watch, window = FWindow](QWindow* active) {
                             if (!active)
                                 return;
                             if (window && active != window->windowHandle())
                                 QTimer::singleShot(0, window, [window] {
                                     if (window && window->isVisible() && !QApplication::activeModalWidget())
                                         window->activateWindow();
                                 });
                             QObject::disconnect(qApp, &QGuiApplication::focusWindowChanged, watch, nullptr);
                             watch->deleteLater();
                         });
    }
};

// A file name the user picked; a name CP1251 cannot hold is refused with a message.
std::optional<AnsiString> ChosenPath(const QString& chosen)
{
    AnsiString path;
    if (FromQStringExact(chosen, path))
        return path;
    QMessageBox box(QMessageBox::Warning, ToQString(ApplicationTitle),
                    ToQString("Имя файла нельзя записать в кодировке Windows-1251: ") + chosen,
                    QMessageBox::Ok, QApplication::activeWindow());
    SetDialogBorder(&box);
    box.setTextFormat(Qt::PlainText);
    FitCaption(box);
    box.exec();
    return std::nullopt;
}

std::optional<AnsiString> RunFileDialog(const TFileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    // A stored path on the diskette drive opens where the system finds the drive.
    QFileDialog dialog(QApplication::activeWindow(), ToQString(request.Title),
                       ToQString(MapDrivePath(request.InitialDir)));
    PrepareFileDialog(dialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Callers of a save dialog ask their own question before they replace a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.Filter.empty())
        dialog.setNameFilters(ToQString(QtNameFilters(request.Filter)).split(QStringLiteral(";;")));
    if (!request.DefaultExt.empty())
        dialog.setDefaultSuffix(ToQString(request.DefaultExt));
    if (!request.FileName.empty())
        dialog.selectFile(ToQString(MapDrivePath(request.FileName)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ChosenPath(dialog.selectedFiles().constFirst());
}

}  // namespace

AnsiString QtNameFilters(const AnsiString& filter)
{
    AnsiString result;
    size_t start = 0;
    while (start < filter.size()) {
        const size_t bar = filter.find('|', start);
        const AnsiString description = filter.substr(start, bar == AnsiString::npos ? AnsiString::npos : bar - start);
        AnsiString patterns;
        if (bar != AnsiString::npos) {
            const size_t next = filter.find('|', bar + 1);
            patterns = filter.substr(bar + 1, next == AnsiString::npos ? AnsiString::npos : next - bar - 1);
            start = next == AnsiString::npos ? filter.size() : next + 1;
        } else {
            start = filter.size();
        }
        // Qt reads the patterns from the last parentheses: put them there, blank-separated.
        AnsiString name = description;
        const size_t open = name.rfind(" (");
        if (open != AnsiString::npos && !name.empty() && name.back() == ')')
            name.erase(open);
        for (char& c : patterns)
            if (c == ';')
                c = ' ';
        if (!result.empty())
            result += ";;";
        result += patterns.empty() ? description : name + " (" + patterns + ")";
    }
    return result;
}

int TQtDialogService::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags)
{
    QMessageBox box(IconOf(flags), ToQString(caption), KeepHyphenatedWords(ToQString(text)), QMessageBox::NoButton,
                    QApplication::activeWindow());
    SetDialogBorder(&box);
    box.setTextFormat(Qt::PlainText);
    const std::vector<TButton> buttons = ButtonsOf(flags);
    for (const TButton& button : buttons)
        box.addButton(button.Button)->setText(ButtonText(button.Button));
    const bool second = (flags & MessageBoxFlags::DefaultButton2) != 0 && buttons.size() > 1;
    box.setDefaultButton(buttons[second ? 1 : 0].Button);
    FitCaption(box);
    const TFocusReturn focus;
    box.exec();
    focus.Restore();
    const auto pressed = box.standardButton(box.clickedButton());
    for (const TButton& button : buttons)
        if (button.Button == pressed)
            return button.Answer;
    return CloseAnswer(buttons);
}

std::optional<AnsiString> TQtDialogService::OpenFileName(const TFileDialogRequest& request)
{
    return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<AnsiString> TQtDialogService::SaveFileName(const TFileDialogRequest& request)
{
    return RunFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<AnsiString> TQtDialogService::BrowseFolder(const AnsiString& title, const AnsiString& initialDir)
{
    QFileDialog dialog(QApplication::activeWindow(), ToQString(title), ToQString(MapDrivePath(initialDir)));
    PrepareFileDialog(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    std::optional<AnsiString> path = ChosenPath(dialog.selectedFiles().constFirst());
    if (path && path->back() != '/')
        *path += '/';
    return path;
}
