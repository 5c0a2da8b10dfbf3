#include "ui/QtFileDialog.h"

#include "ui/Common.h"
#include "ui/QtText.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QListView>
#include <QLocale>
#include <QScrollBar>

namespace {

// Columns of Qt's file system model.
constexpr int SizeColumn = 1;
constexpr int TypeColumn = 2;
constexpr int DateColumn = 3;

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

}  // namespace

void PrepareFileDialog(QFileDialog& dialog)
{
    SetDialogBorder(&dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new TLocalFilesModel(&dialog));
    WidenSideBar(dialog);
}
