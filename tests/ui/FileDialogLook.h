#pragma once
// The file dialogs as a test sees them: the cells of the detailed list, the dialog looked
// at while it is open, and Qt's settings kept away from the user's own.

#include "platform/Dialogs.h"
#include "support/TestSupport.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <vector>

// The cells of the file dialog's detailed list, by file name: size, type and date.
inline std::map<AnsiString, std::vector<AnsiString>> ListedFiles(QFileDialog& dialog, int expected)
{
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    std::map<AnsiString, std::vector<AnsiString>> files;
    if (!list)
        return files;
    // The dialog reads the folder in a thread of its own.
    for (int round = 0; round < 1000 && list->model()->rowCount(list->rootIndex()) < expected; ++round) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const QAbstractItemModel& model = *list->model();
    for (int row = 0; row < model.rowCount(list->rootIndex()); ++row) {
        auto cell = [&](int column) { return FromQString(model.index(row, column, list->rootIndex()).data().toString()); };
        files[cell(0)] = {cell(1), cell(2), cell(3)};
    }
    return files;
}

// Opens the service's open dialog on the folder and runs the check while it is shown;
// the dialog is cancelled afterwards.
inline void LookAtOpenDialog(TDialogService& service, const AnsiString& folder,
                             const std::function<void(QFileDialog&)>& check)
{
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        check(*dialog);
        dialog->reject();
    });
    TFileDialogRequest request;
    request.InitialDir = folder;
    EXPECT_EQ(service.OpenFileName(request), std::nullopt);
}

// Qt's file dialog restores its view and column widths of the last use from the user's
// settings; a test that measures the dialog as it first opens gives it none.
class TFreshQtSettings {
public:
    TFreshQtSettings() { SetPath(ToQString(Folder.Path())); }
    ~TFreshQtSettings() { SetPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)); }

private:
    static void SetPath(const QString& path) { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path); }

    const TTempDir Folder;
};

// Qt keeps its settings (the file dialog's among them) and its runtime files (a folder it
// makes when missing) in folders of the test program's own temporary folder, never in the
// home folder or in the temporary folder that every program shares.
inline void ExpectQtsUserFoldersInTheTestsFolder()
{
    const std::string settings =
        QFileInfo(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).path().toStdString();
    const std::string runtime =
        QFileInfo(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).path().toStdString();
    EXPECT_EQ(settings.rfind(std::filesystem::temp_directory_path().string() + "/", 0), 0u) << settings;
    EXPECT_EQ(runtime, settings);
}
