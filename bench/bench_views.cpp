// The query window's costs: opening it (both grids read, the browse grid's
// first screen painted) beside bare SQLite reading the same rows, and a
// scroll through the whole browse grid page by page, timing every frame.
//   bench_views [COUNT...]          default 10000 100000
#include "Generator.h"
#include "platform/Dialogs.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"
#include "shell/Application.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"
#include "views/ScheduleGrid.h"
#include "views/rccx.h"
#include "views/showbz.h"
#include "views/tjbz.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <time.h>
#include <vector>

namespace {
const QDate today = QDate::currentDate();

// Every column of every row, as the grid's result holds them.
qint64 readAllBare(sqlite3* db)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "select *  from main order by rc_date,rc_time", -1, &s, nullptr);
    const int columns = sqlite3_column_count(s);
    qint64 sum = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER:
                sum += sqlite3_column_int64(s, c);
                break;
            case SQLITE_FLOAT:
                sum += qint64(sqlite3_column_double(s, c));
                break;
            case SQLITE_TEXT:
                sum += *sqlite3_column_text(s, c) + sqlite3_column_bytes(s, c);
                break;
            default:
                break;
            }
        }
    }
    sqlite3_finalize(s);
    return sum;
}

double threadMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Counts the frames really painted.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    qputenv("QT_QPA_PLATFORM", "offscreen");
    AssistantApplication app(argc, argv);
    Generator::ConsoleDialogs dialogs;
    Dialogs::install(&dialogs);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    ProgramDir::set(dir.path());
    // No purge: every run opens the same rows.
    Settings::writeFirstRunDefaults();
    Settings::Writer(false).integer(Settings::deleteRc, 0);
    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));

    // The three start-up windows of these views, created as at start (not
    // the first creation, which pays the toolkit's own first use).
    const double created = Generator::bestOf(5, [] {
        auto* a = new TtjbzForm();
        auto* b = new TrccxForm();
        auto* c = new TshowbzForm();
        delete c;
        delete b;
        delete a;
    });
    std::printf("creating the note window, the query window and the note popup: %.3f ms\n",
                created);

    QList<int> sizes{10000, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QByteArray(argv[i]).toInt();
    }
    std::printf("schedules over ten years around today; best of 9 interleaved runs\n");
    for (int n : sizes) {
        Generator::createDatabase(file, Generator::aroundToday(n, today));
        DataModule1 = new TDataModule1();
        DataModule1->ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
        rccxForm = new TrccxForm();
        rccxForm->RzPageControl1->setCurrentIndex(0); // the browse grid in front
        sqlite3* bare = Generator::openBare(file);

        // From the showing until the browse grid's first screen is painted
        // (the hiding after it is not counted), interleaved with the bare
        // reading so that both meet the same load.
        double open = 1e300, openBare = 1e300;
        volatile qint64 sink = 0;
        PaintCounter firstPaint;
        rccxForm->strGrid->viewport()->installEventFilter(&firstPaint);
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            rccxForm->show();
            const int before = firstPaint.count;
            QCoreApplication::processEvents();
            if (firstPaint.count == before)
                rccxForm->repaint();
            open = std::min(open, t.nsecsElapsed() / 1e6);
            rccxForm->hide();
            QCoreApplication::processEvents();
            t.start();
            sink = sink + readAllBare(bare);
            openBare = std::min(openBare, t.nsecsElapsed() / 1e6);
        }
        rccxForm->strGrid->viewport()->removeEventFilter(&firstPaint);
        Generator::printRow(QStringLiteral("open the query window, %1 schedules").arg(n), open,
                            openBare);
        sqlite3_close(bare);

        // Every page of the browse grid, one frame each.
        rccxForm->show();
        QCoreApplication::processEvents();
        ScheduleGrid* grid = rccxForm->strGrid;
        QScrollBar* bar = grid->verticalScrollBar();
        PaintCounter painted;
        grid->viewport()->installEventFilter(&painted);
        // Wall time, and the thread's own processor time: on a shared machine
        // the worst wall-clock frame is often another process's turn.
        std::vector<double> frames, cpu;
        QElapsedTimer t;
        for (int v = 0; v <= bar->maximum(); v += bar->pageStep()) {
            const double c0 = threadMs();
            t.start();
            bar->setValue(v);
            grid->viewport()->repaint();
            frames.push_back(t.nsecsElapsed() / 1e6);
            cpu.push_back(threadMs() - c0);
        }
        const size_t over =
            size_t(std::count_if(frames.begin(), frames.end(), [](double ms) { return ms > 16; }));
        std::sort(frames.begin(), frames.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf(
            "scroll through %d rows: %zu frames (%d painted), median %.3f ms, worst %.3f ms\n",
            grid->model()->rowCount(), frames.size(), painted.count, frames[frames.size() / 2],
            frames.back());
        std::printf("    frames over 16 ms: %zu; processor time per frame: median %.3f ms, "
                    "99.9%% %.3f ms, worst %.3f ms\n",
                    over, cpu[cpu.size() / 2], cpu[cpu.size() * 999 / 1000], cpu.back());
        rccxForm->hide();
        delete rccxForm;
        rccxForm = nullptr;
        delete DataModule1;
        DataModule1 = nullptr;
    }
    return 0;
}
