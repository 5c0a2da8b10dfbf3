#include "ui/QtFileDialog.h"

#include "ui/Common.h"
#include "ui/QtText.h"

#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QListView>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

#include <algorithm>
#include <memory>

namespace {

// Columns of Qt's file system model.
constexpr int SizeColumn = 1;
constexpr int TypeColumn = 2;
constexpr int DateColumn = 3;
constexpr int ColumnCount = 4;

// "616 байт", "9,14 кБ" (Qt's own Russian says "616 байты").
QString FileSizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QLocale().toString(bytes) + ToQString(" байт");
    return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat);
}

// Qt's file system model formats sizes and dates with the system's locale, not with the
// program's, and its catalogue leaves "Folder" in English; this view of it speaks the
// program's locale. Type names of files come from the MIME database, which follows the
// program's locale already.
class TLocalFilesModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            return files->isDir(source) ? QString() : FileSizeText(files->size(source));
        case TypeColumn:
            return files->isDir(source) ? ToQString("Папка") : QIdentityProxyModel::data(index, role);
        case DateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }
};

// The side bar starts narrower than its longest place ("Компьютер" in Russian).
void WidenSideBar(QFileDialog& dialog)
{
    auto* sideBar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    if (!sideBar)
        return;
    const int scrollBar = sideBar->verticalScrollBar()->sizeHint().width();
    sideBar->setMinimumWidth(sideBar->sizeHintForColumn(0) + 2 * sideBar->frameWidth() + scrollBar);
}

// The widest text an ordinary folder shows in a column of the detailed list.
QString SampleText(int column)
{
    switch (column) {
    case SizeColumn: return FileSizeText(1023LL * 1024 * 1024 - 1);
    case TypeColumn: return ToQString("Текстовый документ");
    case DateColumn: return QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat);
    default: return {};
    }
}

// The width a column of the detailed list needs: its caption whole, the sample of its
// texts whole, and whatever the folder shown now holds.
int NeededWidth(QTreeView& list, int column)
{
    const int textMargin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    const int sample = list.fontMetrics().horizontalAdvance(SampleText(column)) + 2 * textMargin;
    const int contents = static_cast<QAbstractItemView&>(list).sizeHintForColumn(column);
    return std::max({list.header()->sectionSizeHint(column), sample, contents});
}

// Widens the size, type and date columns to what they need (Qt's own widths fit English
// texts only); the name column keeps Qt's width, and nothing is narrowed.
void WidenColumns(QTreeView& list)
{
    for (int column = SizeColumn; column < ColumnCount; ++column) {
        const int needed = NeededWidth(list, column);
        if (list.header()->sectionSize(column) < needed)
            list.header()->resizeSection(column, needed);
    }
}

// Makes the dialog wide enough for every column of the detailed list, within the screen,
// with room for the vertical scroll bar of a long folder. The last column stretches to
// the free width, so its need is measured, not read.
void FitDialogToColumns(QFileDialog& dialog, QTreeView& list)
{
    const QHeaderView& header = *list.header();
    int columnsWidth = NeededWidth(list, DateColumn);
    for (int column = 0; column < DateColumn; ++column)
        columnsWidth += header.isSectionHidden(column) ? 0 : header.sectionSize(column);
    const QScrollBar& scrollBar = *list.verticalScrollBar();
    const int scrollBarRoom = scrollBar.isVisible() ? 0 : scrollBar.sizeHint().width();
    const int missing = columnsWidth + scrollBarRoom - list.viewport()->width();
    const QSize screen = dialog.screen()->availableGeometry().size();
    const QSize wanted(dialog.width() + std::max(missing, 0), dialog.height());
    dialog.resize(wanted.boundedTo(screen));
}

// Sizes the dialog when it is first shown, once its layout has placed the list.
class TFirstShowSizer : public QObject {
public:
    TFirstShowSizer(QFileDialog& dialog, QTreeView& list) : QObject(&dialog), Dialog(dialog), List(list) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &Dialog && event->type() == QEvent::Show) {
            Dialog.removeEventFilter(this);
            WidenColumns(List);
            FitDialogToColumns(Dialog, List);
        }
        return false;
    }

private:
    QFileDialog& Dialog;
    QTreeView& List;
};

// Qt's detailed list starts with columns sized for English texts in a dialog too narrow
// for them: "Текстовый документ" and the date would show cut. The columns widen to their
// texts whenever a folder has been read, and the dialog opens wide enough for them; the
// user may still resize it.
void SizeDetailedList(QFileDialog& dialog)
{
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* files = dialog.findChild<QFileSystemModel*>();
    if (!list || !files)
        return;
    WidenColumns(*list);
    dialog.installEventFilter(new TFirstShowSizer(dialog, *list));
    // The folder is read in a thread of its own, after the dialog has been shown: the
    // first folder read may still widen the dialog, later ones only the columns.
    auto firstRead = std::make_shared<bool>(true);
    QObject::connect(files, &QFileSystemModel::directoryLoaded, list, [&dialog, list, firstRead] {
        WidenColumns(*list);
        if (*firstRead && dialog.isVisible())
            FitDialogToColumns(dialog, *list);
        *firstRead = false;
    });
}

}  // namespace

void PrepareFileDialog(QFileDialog& dialog)
{
    SetDialogBorder(&dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new TLocalFilesModel(&dialog));
    WidenSideBar(dialog);
    SizeDetailedList(dialog);
}
