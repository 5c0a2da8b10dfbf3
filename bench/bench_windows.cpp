// The list windows over large stores: the messages window on a store of many messages and
// the journal window on a journal of many rows. `make` writes a profile and both stores;
// `open` opens one window in a fresh process (offscreen) and reports the time until the
// list has been drawn, how many rows drawing read after a scroll to the end, and the
// process's memory before and at its peak.
// Also the reply-list window over a reply file with one huge field: `make-reply` writes a
// profile and a reply store whose only file holds a record with a field of the given
// megabytes; `open DIR replies` draws the window with that record selected, then shows the
// record in the record dialog, reporting the peak after each.

#include "BenchSupport.h"

#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ListGrids.h"
#include "ui/StoreModels.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmReplyFiles.h"

#include <QApplication>
#include <QIdentityProxyModel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

void MakeProfile(const AnsiString& dir)
{
    ForceDirectories(dir);
    std::ofstream(ToSystemPath(dir + "bench.ini"), std::ios::binary) << "[P]\r\nPrefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\nDataPath=" + dir + "\r\n";
}

void Make(const AnsiString& dir, int messages, int journalRows)
{
    MakeProfile(dir);
    // Text of words drawn from a fixed sequence, so that it packs like real letters do.
    const char* const words[] = {"остаток", "счет", "зачисление", "клиент", "выписка", "рублей", "март",
                                 "платеж", "банк", "ООО", "Ромашка", "12345.67", "сообщаем", "по", "на"};
    unsigned seed = 1;
    const auto nextText = [&] {
        AnsiString text;
        while (text.size() < 1500) {
            seed = seed * 1103515245 + 12345;
            text += words[(seed >> 16) % 15];
            text += (seed >> 8) % 9 == 0 ? "\r\n" : " ";
        }
        return text;
    };
    TMessages store;
    store.LoadFromFile(dir + "Cache/ABC.MESSAGES");
    for (int i = 0; i < messages; ++i) {
        store.Append();
        store.CurRecord()->Set(0, nextText());
        store.CurRecord()->Set(1, "Эталонный список\r\nСписок добавленных клиентов (ABC000007N.TXT)\r\n");
        store.CurRecord()->Set(2, i % 10 == 0 ? "ABC000002.TLB: Неверный формат\r\n" : "");
        store.CurRecord()->Set(3, "Выписка " + IntToStr(i));
        store.CurRecord()->Set(4, "01/03/2024 10:00:00");
        store.CurRecord()->Set(5, "01/03/2024 11:00:00");
    }
    store.SaveToFile(AnsiString());
    TJournal journal;
    journal.LoadFromFile(dir + "Sent/ABC.JOURNAL");
    for (int i = 0; i < journalRows; ++i) {
        journal.Append();
        const AnsiString name = "ABC" + IntToStr(100000 + i);
        for (const auto& [field, value] : {std::pair<int, AnsiString>{0, name}, {1, "Salary"}, {2, "120"},
                                           {3, "1234567.89"}, {4, "0.00"}, {5, "Зарплата за март"},
                                           {6, "01/03/2024 10:00:00"}, {7, name + ".TLB"}})
            journal.CurRecord()->Set(field, value);
    }
    journal.SaveToFile(AnsiString());
}

void MakeReply(const AnsiString& dir, int megabytes)
{
    MakeProfile(dir);
    AnsiString message;
    while (message.size() < static_cast<size_t>(megabytes) << 20)
        message += "Клиент не добавлен: неверный номер документа ";
    TReplyFiles store;
    store.LoadFromFile(dir + "Cache/ABC.NEWCLIREPLY");
    store.Append();
    store.CurRecord()->Set(0, "Иванов;1234 567890;40817810000000000001;" + message + "\r\nПетров;1;2;Добавлен\r\n");
    store.CurRecord()->Set(1, "ABC000001N.TXT");
    store.SaveToFile(AnsiString());
    Report("field_kb", static_cast<double>(message.size() >> 10));
}

void MeasureReplies()
{
    auto window = std::make_unique<TFrmReplyFiles>(&FrmNewCliReply, Profiles.Get()->Current()->ReplyProfiles.At(0));
    window->resize(800, 600);
    window->show();
    QApplication::processEvents();
    window->grab();
    Report("drawn_peak_kb", static_cast<double>(StatusKb("VmHWM:")));
    TFrmEditRecord editor;
    FrmEditRecord = &editor;
    QTimer::singleShot(0, &editor, [&] {
        editor.grab();
        editor.BtnCancel->click();
    });
    ViewGridRow(*window->Grid, 0);
    FrmEditRecord = nullptr;
}

// Counts the rows whose cells drawing asked for.
class TCountingProxy : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DisplayRole)
            Rows.insert(index.row());
        return QIdentityProxyModel::data(index, role);
    }
    mutable std::set<int> Rows;
};

// Opens the window and draws it; then draws it again scrolled to the end, counting the
// rows read.
template <class TWindow>
void Measure(TStoreModel* TWindow::*model, QTableView* TWindow::*list)
{
    const auto start = std::chrono::steady_clock::now();
    auto* window = new TWindow;
    window->resize(800, 600);
    window->show();
    QApplication::processEvents();
    window->grab();
    Report("open_seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    Report("rows", (window->*model)->rowCount());
    TCountingProxy counting;
    counting.setSourceModel(window->*model);
    (window->*list)->setModel(&counting);
    (window->*list)->scrollToBottom();
    window->grab();
    Report("rows_read_scrolling", static_cast<double>(counting.Rows.size()));
    (window->*list)->setModel(window->*model);
    delete window;
}

}  // namespace

int Run(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "make") == 0) {
        Make(AnsiString(argv[2]) + "/", std::atoi(argv[3]), std::atoi(argv[4]));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "make-reply") == 0) {
        MakeReply(AnsiString(argv[2]) + "/", std::atoi(argv[3]));
        return 0;
    }
    if (argc != 4 || std::strcmp(argv[1], "open") != 0) {
        std::fprintf(stderr, "usage: bench_windows make DIR MESSAGES JOURNAL_ROWS | make-reply DIR MEGABYTES |"
                             " open DIR messages|journal|replies\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    Profiles.Get()->Open(AnsiString(argv[2]) + "/bench.ini");
    Profiles.Get()->Select(0);
    Report("rss_before_kb", static_cast<double>(StatusKb("VmRSS:")));
    if (std::strcmp(argv[3], "replies") == 0)
        MeasureReplies();
    else if (std::strcmp(argv[3], "messages") == 0)
        Measure(&TFrmMessages::MessagesModel, &TFrmMessages::LstMessages);
    else
        Measure(&TFrmJournal::JournalModel, &TFrmJournal::LstJournal);
    Report("peak_kb", static_cast<double>(StatusKb("VmHWM:")));
    return 0;
}

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", AnsiToUtf8(error.what()).c_str());
        return 1;
    }
}
