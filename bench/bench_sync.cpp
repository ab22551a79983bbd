// The sync against a local Radicale: the first round of a calendar of
// 10,000 small events (all uploads) through the client and the engine, beside
// a bare QNetworkAccessManager loop doing the same PUTs to the same server in
// the same run; then what an idle round and a round with one change on each
// side cost in requests and bytes, for a small calendar and the large one
// (with sync-collection they must not grow with the calendar).
//   bench_sync [EVENTS]
#include "DavServers.h"
#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <cstdio>
#include <sys/resource.h>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "bench_sync: %s\n", what);
    std::exit(1);
}

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
};

// A round of the engine, with what it cost on the wire.
Figures timedRound(CalDavClient& client, const QUrl& calendar, MemoryLocalSide& local,
                   MemoryStatusStore& status, const char* what)
{
    client.resetCounters();
    QElapsedTimer t;
    t.start();
    SyncEngine engine(client, calendar, local, status);
    const SyncReport r = engine.run();
    Figures f{t.elapsed(), client.counters(), r.requests};
    if (!r.ok()) {
        std::fprintf(stderr, "%s: %s %s\n", what, qPrintable(r.text()), qPrintable(r.error.detail));
        fail("a round failed");
    }
    return f;
}

// The same PUTs, one after another as the engine makes them, on a bare
// manager on this thread: no worker thread, no futures, no records.
qint64 bareUploads(const DavAccount& account, const QUrl& calendar, int count)
{
    QNetworkAccessManager nam;
    const QByteArray auth =
        "Basic " + (account.user + QLatin1Char(':') + account.password).toUtf8().toBase64();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        QNetworkRequest request(calendar.resolved(QUrl(QStringLiteral("bare-%1.ics").arg(i))));
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
    return t.elapsed();
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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int events = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int small = 100;

    DavTestServer radicale(DavTestServer::Kind::Radicale);
    if (!radicale.start())
        fail("radicale does not start");
    const DavAccount account = radicale.account();
    CalDavClient client(account), phone(account);
    std::printf("bench_sync: Radicale on 127.0.0.1 (HTTP/1.0: a connection per request)\n");

    // A small calendar first, for the costs that must not grow.
    const QUrl smallCal = radicale.makeCalendar(QStringLiteral("small"), QStringLiteral("小"));
    MemoryLocalSide smallLocal;
    MemoryStatusStore smallStatus;
    for (int i = 0; i < small; ++i)
        smallLocal.texts.insert(QStringLiteral("local-%1").arg(i), smallEvent(i, "local"));
    timedRound(client, smallCal, smallLocal, smallStatus, "small first");
    const Figures smallIdle = timedRound(client, smallCal, smallLocal, smallStatus, "small idle");
    const Figures smallOne = oneChangeEachSide(client, phone, smallCal, smallLocal, smallStatus);

    // The large one: the engine's first round beside the bare loop.
    const QUrl ours = radicale.makeCalendar(QStringLiteral("ours"), QStringLiteral("我们"));
    const QUrl bare = radicale.makeCalendar(QStringLiteral("bare"), QStringLiteral("对照"));
    MemoryLocalSide local;
    MemoryStatusStore status;
    for (int i = 0; i < events; ++i)
        local.texts.insert(QStringLiteral("local-%1").arg(i), smallEvent(i, "local"));
    const Figures first = timedRound(client, ours, local, status, "first round");
    const qint64 bareMs = bareUploads(account, bare, events);
    const Figures idle = timedRound(client, ours, local, status, "idle");
    const Figures one = oneChangeEachSide(client, phone, ours, local, status);

    std::printf("first sync of %d events (all uploads):\n", events);
    std::printf("  engine and client %8lld ms  (%.2f ms an event)\n", first.ms,
                double(first.ms) / events);
    std::printf("  bare PUT loop     %8lld ms  (%.2f ms an event)\n", bareMs,
                double(bareMs) / events);
    std::printf("  ratio             %8.2f\n", double(first.ms) / double(bareMs));
    print("first round, requests and bytes", first);
    std::printf("rounds after it, %d events against %d:\n", small, events);
    print(qPrintable(QStringLiteral("idle, %1 events").arg(small)), smallIdle);
    print(qPrintable(QStringLiteral("idle, %1 events").arg(events)), idle);
    print(qPrintable(QStringLiteral("one change each side, %1 events").arg(small)), smallOne);
    print(qPrintable(QStringLiteral("one change each side, %1 events").arg(events)), one);
    std::printf("peak memory %ld kB\n", peakKb());
    return 0;
}
