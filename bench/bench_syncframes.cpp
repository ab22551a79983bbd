// The GUI's frames while a sync round runs: the main window of the program
// on the offscreen platform with its schedules, a frame asked every 16 ms
// (the tree repainted, the window's own tick running), while the sync window's
// runner takes a round to a local Radicale on the pool: every schedule of
// this side goes up, the server's come down, and the tree is rebuilt after.
// Beside it, the same frames with no round running. A frame late by more
// than 16 ms is one the GUI thread could not draw in time.
//   bench_syncframes [SCHEDULES_HERE [EVENTS_ON_THE_SERVER]]   (500, 200)
#include "DavServers.h"
#include "Generator.h"
#include "mainwindow/Assistant.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/SingleInstance.h"
#include "shell/Application.h"
#include "shell/data/Schema.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"
#include "syncwindow/SyncRunner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Frames {
    std::vector<double> late; // ms past the 16 ms each frame was due
    double longestPaint = 0;
};

// Frames every 16 ms until done() says so (checked each frame).
Frames frames(QTreeView* tree, const std::function<bool()>& done)
{
    Frames out;
    QElapsedTimer clock;
    clock.start();
    double last = 0;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        out.late.push_back(std::max(0.0, now - last - 16));
        last = now;
        tree->viewport()->repaint();
        out.longestPaint = std::max(out.longestPaint, double(clock.nsecsElapsed()) / 1e6 - now);
        if (done())
            loop.quit();
    });
    timer.start(16);
    last = double(clock.nsecsElapsed()) / 1e6;
    loop.exec();
    return out;
}

void print(const char* what, Frames f)
{
    std::sort(f.late.begin(), f.late.end());
    const auto over = std::count_if(f.late.begin(), f.late.end(), [](double l) { return l > 16; });
    std::printf("%-34s %6zu frames  late p50 %5.1f ms  p99 %5.1f ms  max %6.1f ms  "
                "over 16 ms: %lld  longest repaint %5.1f ms\n",
                what, f.late.size(), f.late[f.late.size() / 2],
                f.late[std::min(f.late.size() - 1, f.late.size() * 99 / 100)], f.late.back(),
                static_cast<long long>(over), f.longestPaint);
}

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "bench_syncframes: %s\n", why);
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    AssistantApplication app(argc, argv);
    Generator::ConsoleDialogs dialogs;
    Dialogs::install(&dialogs);
    const int here = argc > 1 ? QByteArray(argv[1]).toInt() : 500;
    const int there = argc > 2 ? QByteArray(argv[2]).toInt() : 200;
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(BRENWICK_SOURCE_DIR "/resources/ovak.ico"),
                dir.filePath(QStringLiteral("ovak.ico")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    ProgramDir::set(dir.path());

    DavTestServer radicale(DavTestServer::Kind::Radicale);
    if (!radicale.start())
        fail("radicale does not start");
    const QUrl calendar = radicale.makeCalendar(QStringLiteral("frames"), QStringLiteral("日程"));
    // The server's events: another database's schedules, synced first.
    const QDate today = QDate::currentDate();
    ScheduleSyncRound other;
    other.database = dir.filePath(QStringLiteral("other.mdb"));
    other.account = radicale.account();
    other.collection = calendar;
    Generator::createDatabase(other.database, Generator::fromToday(there, today.addDays(1)));
    if (!runScheduleSync(other).ok())
        fail("the server's events could not be put there");

    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));
    Generator::createDatabase(file, Generator::fromToday(here, today));
    Settings::writeFirstRunDefaults(); // only where no key is yet
    {
        Settings::Writer settings;
        settings.string(Settings::syncServer, radicale.account().server.toString());
        settings.string(Settings::syncUser, radicale.account().user);
        settings.string(Settings::syncCalendar, calendar.toString());
    }
    DataModule1 = new TDataModule1();
    DataModule1->ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
    assistantForm = new TassistantForm();
    assistantForm->show();
    QTreeView* tree = assistantForm->rcTree;
    for (int i = 0; i < 3 && i < tree->model()->rowCount(); ++i)
        tree->expand(tree->model()->index(i, 0));
    QCoreApplication::processEvents();

    std::printf("%d schedules here, %d events on Radicale; a frame asked every 16 ms\n", here,
                there);
    QElapsedTimer idle;
    idle.start();
    print("no sync (3 s)", frames(tree, [&] { return idle.elapsed() > 3000; }));

    SyncRunner& runner = SyncRunner::instance();
    QString result;
    QObject::connect(&runner, &SyncRunner::finished, [&](const QString& text) { result = text; });
    QElapsedTimer round;
    round.start();
    if (!runner.start(radicale.account().password))
        fail("the round does not start");
    // On until the round ends and the window's tick has rebuilt the tree.
    qint64 ended = 0;
    const Frames during = frames(tree, [&] {
        if (!ended && !runner.running())
            ended = round.elapsed();
        return ended && round.elapsed() > ended + 1500;
    });
    std::printf("round: %.1f s, %s\n", double(ended) / 1000, qPrintable(result));
    print("a round, then the tree rebuilt", during);

    delete assistantForm;
    assistantForm = nullptr;
    delete DataModule1;
    DataModule1 = nullptr;
    return 0;
}
