// The sync's first round of a calendar of small events (all uploads)
// through the client and the engine, beside a bare QNetworkAccessManager loop
// doing the same PUTs over the same kind of connection in the same run:
// against a local Radicale, whose every new object costs a scan of the
// collection (so its time grows with the square of the count and the server
// is most of it), and against a sink that answers each PUT at once (the
// client's own cost). Wall time and this process's CPU time (client, engine
// and the sink's thread; not the Radicale process). Then what an idle round
// and a round with one change on each side cost in requests and bytes on
// Radicale, for a small calendar and the large one: with sync-collection
// they must not grow with the calendar.
//   bench_sync [EVENTS_ON_RADICALE [EVENTS_ON_THE_SINK]]   (1000, 10000)
#include "DavServers.h"
#include "platform/Database.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"
#include "sync/SyncEngine.h"
#include "syncside/ScheduleSyncSide.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent>
#include <cstdio>
#include <sys/resource.h>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "bench_sync: %s\n", what);
    std::exit(1);
}

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

struct Cost {
    qint64 wallMs = 0;
    double cpuMs = 0;
};

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

QByteArray smallEvent(int i, const char* side)
{
    return eventText(QStringLiteral("%1-%2").arg(QLatin1String(side)).arg(i),
                     QStringLiteral("日程 %1").arg(i));
}

struct Figures {
    qint64 ms = 0;
    DavCounters wire;
    int requests = 0;
    double cpuMs = 0;
};

// A round of the engine, with what it cost on the wire.
Figures timedRound(CalDavClient& client, const QUrl& calendar, MemoryLocalSide& local,
                   MemoryStatusStore& status, const char* what)
{
    client.resetCounters();
    const double cpu = cpuMs();
    QElapsedTimer t;
    t.start();
    SyncEngine engine(client, calendar, local, status);
    const SyncReport r = engine.run();
    Figures f{t.elapsed(), client.counters(), r.requests, cpuMs() - cpu};
    if (!r.ok()) {
        std::fprintf(stderr, "%s: %s %s\n", what, qPrintable(r.text()), qPrintable(r.error.detail));
        fail("a round failed");
    }
    return f;
}

// The same PUTs, one after another as the engine makes them, on a bare
// manager on this thread: no worker thread, no futures, no records.
Cost bareUploads(const DavAccount& account, const QUrl& calendar, int count)
{
    QNetworkAccessManager nam;
    const QByteArray auth =
        "Basic " + (account.user + QLatin1Char(':') + account.password).toUtf8().toBase64();
    const double cpu = cpuMs();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        QNetworkRequest request(calendar.resolved(QUrl(QStringLiteral("bare-%1.ics").arg(i))));
        if (!account.user.isEmpty())
            request.setRawHeader("Authorization", auth);
        request.setRawHeader("Content-Type", "text/calendar; charset=utf-8");
        request.setRawHeader("If-None-Match", "*");
        QNetworkReply* reply = nam.put(request, smallEvent(i, "bare"));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 201)
            fail("a bare PUT failed");
        delete reply;
    }
    return {t.elapsed(), cpuMs() - cpu};
}

// The engine's first round of this many new events beside the bare loop,
// each into a calendar of its own.
void firstSync(const char* server, const DavAccount& account, const QUrl& ours, const QUrl& bare,
               int events, Figures* wire)
{
    CalDavClient client(account);
    MemoryLocalSide local;
    MemoryStatusStore status;
    for (int i = 0; i < events; ++i)
        local.texts.insert(QStringLiteral("local-%1").arg(i), smallEvent(i, "local"));
    const Figures first = timedRound(client, ours, local, status, server);
    const Cost plain = bareUploads(account, bare, events);
    std::printf("  %s, %d events:\n", server, events);
    std::printf("    engine and client  %9lld ms  cpu %8.0f ms  (%.3f ms cpu an event)\n", first.ms,
                first.cpuMs, first.cpuMs / events);
    std::printf("    bare PUT loop      %9lld ms  cpu %8.0f ms  (%.3f ms cpu an event)\n",
                plain.wallMs, plain.cpuMs, plain.cpuMs / events);
    std::printf("    ratio              %9.2f     cpu %8.2f\n", double(first.ms) / plain.wallMs,
                first.cpuMs / plain.cpuMs);
    if (wire)
        *wire = first;
}

void print(const char* what, const Figures& f)
{
    std::printf("  %-44s %6d requests %10lld bytes sent %10lld received %8lld ms\n", what,
                f.requests, f.wire.bytesSent, f.wire.bytesReceived, f.ms);
}

// One change here and one by another client there, then the round.
Figures oneChangeEachSide(CalDavClient& client, CalDavClient& phone, const QUrl& calendar,
                          MemoryLocalSide& local, MemoryStatusStore& status)
{
    local.put(QStringLiteral("local-0"), QStringLiteral("本机改过"));
    const QString href = Dav::hrefOf(calendar.resolved(QUrl(QStringLiteral("local-1.ics"))));
    QString etag;
    for (const Sync::Status& s : status.statuses())
        if (s.uid == QLatin1String("local-1"))
            etag = s.etag;
    const DavStored changed = CalDavClient::wait(
        phone.put(calendar.resolved(QUrl(href)),
                  eventText(QStringLiteral("local-1"), QStringLiteral("手机改过")), etag));
    if (!changed.written)
        fail("the other client's change failed");
    return timedRound(client, calendar, local, status, "one change each side");
}

} // namespace

// The schedule side: a database of this many schedules, its first round
// (every schedule mapped, hashed, uploaded and recorded, each record
// committed) beside the bare loop, then an idle round.
void scheduleSide(const DavAccount& account, const QUrl& ours, const QUrl& bare, int count)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));
    {
        DbConnection c;
        c.setSchema(Schema::schema());
        c.setCreatesMissingFile(true);
        c.setConnectionString(QStringLiteral("Data Source=") + file);
        DbTransaction t(c);
        ScheduleData::ImportWriter writer(c);
        for (int i = 0; i < count; ++i) {
            Schedule s;
            s.title = QStringLiteral("日程 %1").arg(i);
            s.content = QStringLiteral("内容");
            s.date = QDate(2026, 1, 1).addDays(i % 365);
            s.time = QTime(9, 0);
            writer.append(s);
        }
        t.commit();
        c.closeFile();
    }
    ScheduleSyncRound round{file, account, ours, QByteArray("Asia/Shanghai")};
    const double cpu = cpuMs();
    QElapsedTimer t;
    t.start();
    const SyncReport first = runScheduleSync(round);
    const qint64 ms = t.elapsed();
    const double used = cpuMs() - cpu;
    if (!first.ok() || first.uploaded != count)
        fail("the schedules' first round failed");
    const Cost plain = bareUploads(account, bare, count);
    std::printf("  schedules of a database, %d:\n", count);
    std::printf("    schedule side      %9lld ms  cpu %8.0f ms  (%.3f ms cpu a schedule)\n", ms,
                used, used / count);
    std::printf("    bare PUT loop      %9lld ms  cpu %8.0f ms\n", plain.wallMs, plain.cpuMs);
    std::printf("    ratio              %9.2f     cpu %8.2f\n", double(ms) / plain.wallMs,
                used / plain.cpuMs);
    t.restart();
    const SyncReport idle = runScheduleSync(round);
    std::printf("    idle round         %9lld ms  %d requests\n", t.elapsed(), idle.requests);
}

// The main thread's event loop while a first round of this many schedules
// runs on the pool, as in the program: a timer every 5 ms and, every 100 ms,
// a read of the day's schedules on the main thread's own connection (the
// tree's query). The longest gap between ticks beyond the period is what a
// user would feel.
void loopDuringRound(const DavAccount& account, const QUrl& ours, int count)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));
    DbConnection gui;
    gui.setSchema(Schema::schema());
    gui.setCreatesMissingFile(true);
    gui.setConnectionString(QStringLiteral("Data Source=") + file);
    {
        DbTransaction t(gui);
        ScheduleData::ImportWriter writer(gui);
        for (int i = 0; i < count; ++i) {
            Schedule s;
            s.title = QStringLiteral("日程 %1").arg(i);
            s.date = QDate(2026, 1, 1).addDays(i % 365);
            s.time = QTime(9, 0);
            writer.append(s);
        }
        t.commit();
    }
    gui.closeFile();
    ScheduleSyncRound round{file, account, ours, QByteArray("Asia/Shanghai")};
    QFutureWatcher<SyncReport> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<SyncReport>::finished, &loop, &QEventLoop::quit);
    QElapsedTimer since, total;
    qint64 worst = 0, worstRead = 0;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = qMax(worst, since.restart() - 5);
        if (++ticks % 20 == 0) {
            QElapsedTimer r;
            r.start();
            DbQuery q(gui);
            q.setSql(QStringLiteral("select * from main where rc_date=46023"));
            q.open();
            q.close();
            gui.closeFile();
            worstRead = qMax(worstRead, r.elapsed());
        }
    });
    since.start();
    total.start();
    tick.start();
    watcher.setFuture(QtConcurrent::run([round] { return runScheduleSync(round); }));
    loop.exec();
    if (!watcher.result().ok())
        fail("the round beside the loop failed");
    std::printf("  main loop during a first round of %d schedules (%lld ms): longest stall "
                "%lld ms beyond the 5 ms tick, slowest read of a day %lld ms\n",
                count, total.elapsed(), worst, worstRead);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int onRadicale = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int onSink = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    const int small = 100;

    DavTestServer radicale(DavTestServer::Kind::Radicale);
    if (!radicale.start())
        fail("radicale does not start");
    const DavAccount account = radicale.account();

    std::printf("bench_sync: first sync (all uploads) beside a bare PUT loop\n");
    CannedServer sink;
    sink.answer("REPORT", QStringLiteral("/ours/"), 207,
                "<d:multistatus xmlns:d=\"DAV:\"><d:sync-token>http://sink/1</d:sync-token>"
                "</d:multistatus>");
    sink.answer("PUT", QStringLiteral("*"), 201, {}, {{"ETag", "\"e1\""}});
    DavAccount sinkAccount;
    sinkAccount.server = sink.url();
    firstSync("a sink answering at once (HTTP/1.1, one connection kept)", sinkAccount,
              sink.url(QStringLiteral("/ours/")), sink.url(QStringLiteral("/bare/")), onSink,
              nullptr);
    scheduleSide(sinkAccount, sink.url(QStringLiteral("/ours/")),
                 sink.url(QStringLiteral("/bare/")), onSink);
    loopDuringRound(sinkAccount, sink.url(QStringLiteral("/ours/")), onSink);
    Figures wire;
    firstSync("Radicale 3.1.8 (HTTP/1.0, a connection per request)", account,
              radicale.makeCalendar(QStringLiteral("first"), QStringLiteral("首次")),
              radicale.makeCalendar(QStringLiteral("bare"), QStringLiteral("对照")), onRadicale,
              &wire);
    print("Radicale's first round on the wire", wire);
    scheduleSide(account,
                 radicale.makeCalendar(QStringLiteral("schedules"), QStringLiteral("日程")),
                 radicale.makeCalendar(QStringLiteral("bare2"), QStringLiteral("对照")), small);

    // The rounds after a first sync, for a small calendar and a large one.
    CalDavClient client(account), phone(account);
    std::printf("rounds after the first, on Radicale:\n");
    int made = 0;
    for (const int size : {small, onRadicale}) {
        const QUrl calendar =
            radicale.makeCalendar(QStringLiteral("after%1").arg(++made), QStringLiteral("之后"));
        MemoryLocalSide local;
        MemoryStatusStore status;
        for (int i = 0; i < size; ++i)
            local.texts.insert(QStringLiteral("local-%1").arg(i), smallEvent(i, "local"));
        timedRound(client, calendar, local, status, "first");
        const Figures idle = timedRound(client, calendar, local, status, "idle");
        const Figures one = oneChangeEachSide(client, phone, calendar, local, status);
        print(qPrintable(QStringLiteral("idle, %1 events").arg(size)), idle);
        print(qPrintable(QStringLiteral("one change each side, %1 events").arg(size)), one);
    }
    std::printf("peak memory %ld kB\n", peakKb());
    return 0;
}
