// The main window's costs: one tree rebuild and one full repaint of the
// visible tree (each schedule node asking its colour from the database and
// the settings), beside bare SQLite running the same statements; then the
// rebuild and repaint with lunar dates beside the same without them.
#include "Generator.h"
#include "mainwindow/Assistant.h"
#include "platform/DayNumber.h"
#include "platform/Dialogs.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"
#include "shell/Application.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"

#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {
const QDate today = QDate::currentDate();

qint64 treeBare(sqlite3* db)
{
    const char* statements[3] = {"select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date>:dt order by rc_date,rc_time"};
    const double t = DayNumber::fromDate(today);
    const double params[3] = {t, t + 1, t + 1};
    qint64 sum = 0;
    for (int i = 0; i < 3; ++i) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, statements[i], -1, &s, nullptr);
        sqlite3_bind_double(s, 1, params[i]);
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += sqlite3_column_int64(s, 0) + sqlite3_column_int(s, 6);
            sum += sqlite3_column_bytes(s, 1) +
                   qint64(sqlite3_column_double(s, 3) + sqlite3_column_double(s, 4));
        }
        sqlite3_finalize(s);
    }
    return sum;
}

qint64 coloursBare(sqlite3* db, const QList<int>& ids)
{
    qint64 sum = 0;
    for (int id : ids) {
        sqlite3_stmt* s = nullptr;
        const QByteArray sql = "select * from main where id=" + QByteArray::number(id);
        sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            sum += sqlite3_column_int(s, 5);
        sqlite3_finalize(s);
    }
    return sum;
}

// The processor time of this thread that fn takes, in milliseconds.
double threadMs(const std::function<void()>& fn)
{
    timespec a{}, b{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    fn();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    return double(b.tv_sec - a.tv_sec) * 1e3 + double(b.tv_nsec - a.tv_nsec) / 1e6;
}

QList<int> visibleScheduleIds(QTreeView* tree)
{
    QList<int> ids;
    for (QModelIndex i = tree->indexAt(QPoint(1, 1)); i.isValid(); i = tree->indexBelow(i)) {
        if (!tree->viewport()->rect().intersects(tree->visualRect(i)))
            break;
        if (i.parent().isValid())
            ids << i.data(TassistantForm::IdRole).toInt();
    }
    return ids;
}
} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    qputenv("QT_QPA_PLATFORM", "offscreen");
    AssistantApplication app(argc, argv);
    Generator::ConsoleDialogs dialogs;
    Dialogs::install(&dialogs);
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(BRENWICK_SOURCE_DIR "/resources/ovak.ico"),
                dir.filePath(QStringLiteral("ovak.ico")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    ProgramDir::set(dir.path());
    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));
    std::printf("schedules from today on, over ten years; best of several runs\n");
    // Sizes may be named on the command line: bench_mainwindow 10000
    QList<int> sizes{1000, 10000, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QByteArray(argv[i]).toInt();
    }
    for (int n : sizes) {
        Generator::createDatabase(file, Generator::fromToday(n, today));
        DataModule1 = new TDataModule1();
        DataModule1->ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
        assistantForm = new TassistantForm();
        assistantForm->Timer1->stop();
        assistantForm->show();
        QTreeView* tree = assistantForm->rcTree;
        QAbstractItemModel* model = tree->model();
        // Open two more days so the visible rows hold schedules below several dates.
        for (int i = 1; i < 3 && i < model->rowCount(); ++i)
            tree->expand(model->index(i, 0));
        QCoreApplication::processEvents();
        sqlite3* bare = Generator::openBare(file);

        const double rebuild = Generator::bestOf(5, [] { assistantForm->FormShow(); });
        volatile qint64 sink = 0;
        const double rebuildBare = Generator::bestOf(5, [&] { sink = sink + treeBare(bare); });
        Generator::printRow(QStringLiteral("tree rebuild, %1 schedules").arg(n), rebuild,
                            rebuildBare);

        for (int i = 1; i < 3 && i < model->rowCount(); ++i)
            tree->expand(model->index(i, 0));
        const QList<int> visible = visibleScheduleIds(tree);
        const int before = assistantForm->probe().colourReads;
        const double repaint = Generator::bestOf(5, [tree] { tree->viewport()->repaint(); });
        const int perRepaint = (assistantForm->probe().colourReads - before) / 5;
        const double repaintBare =
            Generator::bestOf(5, [&] { sink = sink + coloursBare(bare, visible); });
        Generator::printRow(
            QStringLiteral("full repaint, %1 visible schedule nodes (%2 colour reads)")
                .arg(visible.size())
                .arg(perRepaint),
            repaint, repaintBare);

        // The date nodes' texts are made when drawn: the lunar day costs
        // the rebuild only through the repaint after it.
        auto rebuildAndRepaint = [tree] {
            assistantForm->FormShow();
            tree->viewport()->repaint();
        };
        // Interleaved pairs in the thread's processor time, so that the
        // machine's load falls on both alike and a wait counts for neither:
        // the best of each, and the median of the pairs' ratios. The colour
        // reads count the rows drawn or sized.
        double plain = 1e300, lunar = 1e300;
        std::vector<double> ratios;
        int readsPlain = 0, readsLunar = 0;
        for (int i = 0; i < 60; ++i) {
            double t[2] = {};
            for (int on : {0, 1}) {
                Settings::Writer().integer(Settings::showLunar, on);
                const int reads = assistantForm->probe().colourReads;
                t[on] = threadMs(rebuildAndRepaint);
                (on ? readsLunar : readsPlain) = assistantForm->probe().colourReads - reads;
            }
            plain = std::min(plain, t[0]);
            lunar = std::min(lunar, t[1]);
            ratios.push_back(t[1] / t[0]);
        }
        Settings::Writer().integer(Settings::showLunar, 0);
        std::sort(ratios.begin(), ratios.end());
        std::printf(
            "%-58s %10.3f ms  off  %10.3f ms  ratio %5.2f\n",
            qPrintable(QStringLiteral("rebuild and repaint, lunar dates on, %1 (cpu)").arg(n)),
            lunar, plain, plain > 0 ? lunar / plain : 0.0);
        std::printf("  median ratio of %d pairs %.2f; colour reads per rebuild and repaint: %d on, "
                    "%d off\n",
                    int(ratios.size()), ratios[ratios.size() / 2], readsLunar, readsPlain);
        std::fflush(stdout);
        sqlite3_close(bare);
        delete assistantForm;
        assistantForm = nullptr;
        delete DataModule1;
        DataModule1 = nullptr;
    }
    return 0;
}
