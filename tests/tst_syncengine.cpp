#include "DavServers.h"
#include "sync/SyncEngine.h"

#include <QtTest>

// Whole rounds against Radicale and Xandikos: a local side in memory on one
// end, python3-caldav as the phone on the other, and after every round both
// hold the same events, none twice, none lost.
class TestSyncEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstSyncOfBothSides_data() { serverRows(); }
    void firstSyncOfBothSides();
    void eachKindOfChange_data() { serverRows(); }
    void eachKindOfChange();
    void conflictsKeepBothVersions_data() { serverRows(); }
    void conflictsKeepBothVersions();
    void aForgottenTokenFallsBackToTheFullListing_data() { serverRows(); }
    void aForgottenTokenFallsBackToTheFullListing();
    void aServerRestartBetweenRounds_data() { serverRows(); }
    void aServerRestartBetweenRounds();
    void aRoundCutOffConvergesNextTime_data();
    void aRoundCutOffConvergesNextTime();
    void aLocalFailureStopsTheRoundUntilMended();
    void aServerWithoutSyncCollection_data() { serverRows(); }
    void aServerWithoutSyncCollection();
    void uploadsWithoutEtagsAreNotFetchedBack_data() { serverRows(); }
    void uploadsWithoutEtagsAreNotFetchedBack();

private:
    void serverRows();
    DavTestServer& server();
    std::unique_ptr<DavTestServer> m_radicale, m_xandikos;
    int m_calendars = 0;
};

namespace {

// One account's sync: a calendar of its own on the server, the local side,
// the records, and the phone on the same calendar.
struct Setup {
    Setup(DavTestServer& s, int number, quint16 via = 0)
        : server(s)
    {
        calendar = s.makeCalendar(QStringLiteral("sync%1").arg(number), QStringLiteral("同步"));
        DavAccount account = s.account();
        collection = calendar;
        if (via) {
            account.server.setPort(via);
            collection.setPort(via);
        }
        client = std::make_unique<CalDavClient>(account);
        phone = Phone{calendar, s.user(), s.password()};
    }
    SyncReport round()
    {
        SyncEngine engine(*client, collection, local, status);
        return engine.run();
    }
    // Both sides hold the same events, each once.
    bool converged(QString* why)
    {
        const QStringList here = local.list(), there = phone.list();
        if (here == there)
            return true;
        *why = QStringLiteral("local:\n%1\nserver:\n%2")
                   .arg(here.join(QLatin1Char('\n')), there.join(QLatin1Char('\n')));
        return false;
    }
    DavTestServer& server;
    QUrl calendar, collection;
    std::unique_ptr<CalDavClient> client;
    MemoryLocalSide local;
    MemoryStatusStore status;
    Phone phone;
};

#define CONVERGED(setup)                                                                           \
    do {                                                                                           \
        QString why;                                                                               \
        QVERIFY2((setup).converged(&why), qPrintable(why));                                        \
    } while (false)

#define ROUND_OK(report)                                                                           \
    QVERIFY2((report).ok(), qPrintable((report).text() + QLatin1Char(' ') + (report).error.detail))

QStringList put(const QString& uid, const QString& summary)
{
    return {QStringLiteral("put"), uid, summary};
}

} // namespace

void TestSyncEngine::initTestCase()
{
    m_radicale = std::make_unique<DavTestServer>(DavTestServer::Kind::Radicale);
    m_xandikos = std::make_unique<DavTestServer>(DavTestServer::Kind::Xandikos);
    QVERIFY(m_radicale->start());
    QVERIFY(m_xandikos->start());
}

void TestSyncEngine::cleanupTestCase()
{
    m_radicale.reset();
    m_xandikos.reset();
}

void TestSyncEngine::serverRows()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("radicale") << QStringLiteral("radicale");
    QTest::newRow("xandikos") << QStringLiteral("xandikos");
}

DavTestServer& TestSyncEngine::server()
{
    QFETCH(QString, server);
    return server == QLatin1String("radicale") ? *m_radicale : *m_xandikos;
}

void TestSyncEngine::firstSyncOfBothSides()
{
    Setup s(server(), ++m_calendars);
    for (int i = 0; i < 30; ++i)
        s.local.put(QStringLiteral("local-%1").arg(i), QStringLiteral("本机 %1").arg(i));
    QStringList phone;
    for (int i = 0; i < 12; ++i)
        phone += put(QStringLiteral("phone-%1").arg(i), QStringLiteral("手机 %1").arg(i));
    s.phone.run(phone);

    const SyncReport first = s.round();
    ROUND_OK(first);
    QCOMPARE(first.uploaded, 30);
    QCOMPARE(first.downloaded, 12);
    QVERIFY(first.conflicts.isEmpty());
    CONVERGED(s);
    // What the phone wrote and this side cannot show comes down whole.
    QVERIFY(s.local.read(QStringLiteral("phone-3")).contains("X-PHONE-ONLY:kept"));

    // Nothing changed: one small request, nothing written on either side.
    const int writes = s.local.writes;
    const SyncReport idle = s.round();
    ROUND_OK(idle);
    QCOMPARE(idle.requests, 1);
    QCOMPARE(idle.uploaded + idle.downloaded + idle.deletedLocal + idle.deletedRemote, 0);
    QCOMPARE(s.local.writes, writes);
    QCOMPARE(idle.text(), QStringLiteral("同步完成，两边没有变化"));
}

void TestSyncEngine::eachKindOfChange()
{
    Setup s(server(), ++m_calendars);
    for (const char* uid : {"a", "b", "c", "d", "e"})
        s.local.put(QString::fromLatin1(uid), QStringLiteral("原 ") + QString::fromLatin1(uid));
    ROUND_OK(s.round());

    // The phone adds, changes and deletes; so does this side; both delete e.
    s.phone.run(put(QStringLiteral("p-new"), QStringLiteral("手机新")) +
                put(QStringLiteral("a"), QStringLiteral("手机改")) +
                QStringList{QStringLiteral("del"), QStringLiteral("b"), QStringLiteral("del"),
                            QStringLiteral("e")});
    s.local.put(QStringLiteral("l-new"), QStringLiteral("本机新"));
    s.local.put(QStringLiteral("c"), QStringLiteral("本机改"));
    s.local.remove(QStringLiteral("d"));
    s.local.remove(QStringLiteral("e"));

    const SyncReport r = s.round();
    ROUND_OK(r);
    QCOMPARE(r.downloaded, 2);
    QCOMPARE(r.deletedLocal, 1);
    QCOMPARE(r.uploaded, 2);
    QCOMPARE(r.deletedRemote, 1);
    QVERIFY(r.conflicts.isEmpty());
    QCOMPARE(r.text(),
             QStringLiteral("同步完成：上传 2 项，下载 2 项，删除服务器上 1 项，删除本地 1 项"));
    QCOMPARE(s.local.summaryOf(QStringLiteral("a")), QStringLiteral("手机改"));
    CONVERGED(s);
    QCOMPARE(s.status.statuses().size(), 4); // a c p-new l-new, and nothing of b d e
    QCOMPARE(s.round().requests, 1);
}

void TestSyncEngine::conflictsKeepBothVersions()
{
    Setup s(server(), ++m_calendars);
    for (const char* uid : {"f", "g", "h", "same"})
        s.local.put(QString::fromLatin1(uid), QStringLiteral("原"));
    ROUND_OK(s.round());

    // f changed on both; g deleted there, changed here; h deleted here,
    // changed there; "same" changed alike on both.
    s.phone.run(put(QStringLiteral("f"), QStringLiteral("手机的")) +
                QStringList{QStringLiteral("del"), QStringLiteral("g")} +
                put(QStringLiteral("h"), QStringLiteral("手机改过")) +
                put(QStringLiteral("same"), QStringLiteral("一样")));
    s.local.put(QStringLiteral("f"), QStringLiteral("本机的"));
    s.local.put(QStringLiteral("g"), QStringLiteral("本机改过"));
    s.local.remove(QStringLiteral("h"));
    // The phone writes its own kind of text; the same fields hash alike.
    s.local.put(QStringLiteral("same"), QStringLiteral("一样"));

    const SyncReport r = s.round();
    ROUND_OK(r);
    QCOMPARE(r.conflicts.size(), 1);
    const QString copy = r.conflicts.first();
    QCOMPARE(s.local.summaryOf(QStringLiteral("f")), QStringLiteral("手机的"));
    QCOMPARE(s.local.summaryOf(copy), QStringLiteral("〔冲突〕本机的"));
    QCOMPARE(s.local.summaryOf(QStringLiteral("g")), QStringLiteral("本机改过"));
    QCOMPARE(s.local.summaryOf(QStringLiteral("h")), QStringLiteral("手机改过"));
    QVERIFY(r.text().contains(QStringLiteral("1 项两边都改过")));
    CONVERGED(s);
    const SyncReport after = s.round();
    ROUND_OK(after);
    QCOMPARE(after.requests, 1);
}

void TestSyncEngine::aForgottenTokenFallsBackToTheFullListing()
{
    Setup s(server(), ++m_calendars);
    for (int i = 0; i < 6; ++i)
        s.local.put(QStringLiteral("t%1").arg(i), QStringLiteral("记号"));
    ROUND_OK(s.round());
    s.phone.run(put(QStringLiteral("t1"), QStringLiteral("改")) +
                QStringList{QStringLiteral("del"), QStringLiteral("t2")});
    s.local.put(QStringLiteral("t3"), QStringLiteral("本机改"));
    if (s.server.kind() == DavTestServer::Kind::Radicale)
        QVERIFY(s.server.forgetSyncTokens());
    else
        s.status.setToken(QString(40, QLatin1Char('0'))); // a tree Xandikos never had

    const SyncReport r = s.round();
    ROUND_OK(r);
    QVERIFY(r.fullListing);
    QCOMPARE(r.downloaded, 1);
    QCOMPARE(r.deletedLocal, 1);
    QCOMPARE(r.uploaded, 1);
    QVERIFY(r.conflicts.isEmpty());
    QCOMPARE(s.local.writes, 1); // the unchanged ones are not written again
    CONVERGED(s);
    const SyncReport next = s.round();
    QVERIFY(!next.fullListing);
    QCOMPARE(next.requests, 1);
}

void TestSyncEngine::aServerRestartBetweenRounds()
{
    Setup s(server(), ++m_calendars);
    s.local.put(QStringLiteral("r1"), QStringLiteral("重启前"));
    ROUND_OK(s.round());

    s.server.stop();
    s.local.put(QStringLiteral("r2"), QStringLiteral("停机时"));
    const int writes = s.local.writes, removals = s.local.removals;
    const SyncReport down = s.round();
    QCOMPARE(down.error.kind, Dav::ErrorKind::Network);
    QCOMPARE(down.text(), QStringLiteral("无法连接服务器"));
    QCOMPARE(s.local.writes, writes);
    QCOMPARE(s.local.removals, removals);

    QVERIFY(s.server.start());
    s.phone.run(put(QStringLiteral("r3"), QStringLiteral("重启后")));
    const SyncReport back = s.round();
    ROUND_OK(back);
    QCOMPARE(back.uploaded, 1);
    QCOMPARE(back.downloaded, 1);
    CONVERGED(s);
}

void TestSyncEngine::aRoundCutOffConvergesNextTime_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("cutAt");
    // The answers of the round: 1 the listing, 2 the fetch, 3-10 the writes
    // (a change, a deletion, six uploads), 11 the listing after them.
    for (const char* name : {"radicale", "xandikos"})
        for (int cut : {1, 2, 3, 5, 8, 11}) {
            QTest::addRow("%s, answer %d", name, cut) << QString::fromLatin1(name) << cut;
        }
}

void TestSyncEngine::aRoundCutOffConvergesNextTime()
{
    DavTestServer& srv = server();
    QFETCH(int, cutAt);
    TestProxy proxy(srv.port());
    Setup s(srv, ++m_calendars, proxy.port());
    for (int i = 0; i < 6; ++i)
        s.local.put(QStringLiteral("k%1").arg(i), QStringLiteral("原 %1").arg(i));
    ROUND_OK(s.round());

    s.phone.run(put(QStringLiteral("k0"), QStringLiteral("手机改")) +
                put(QStringLiteral("kp"), QStringLiteral("手机新")) +
                QStringList{QStringLiteral("del"), QStringLiteral("k1")});
    for (int i = 6; i < 12; ++i)
        s.local.put(QStringLiteral("k%1").arg(i), QStringLiteral("新 %1").arg(i));
    s.local.put(QStringLiteral("k2"), QStringLiteral("本机改"));
    s.local.remove(QStringLiteral("k3"));

    // From that answer on, every answer is cut off half-way: the server does
    // the work, the client never hears of it.
    proxy.cutAnswer = cutAt;
    proxy.cutRun = 1000;
    const SyncReport cut = s.round();
    proxy.cutAnswer = 0;
    // Cut in its last listing, the round has done its work and says so.
    QCOMPARE(cut.ok(), cutAt == 11);
    if (!cut.ok())
        QCOMPARE(cut.error.kind, Dav::ErrorKind::Network);

    const SyncReport mended = s.round();
    ROUND_OK(mended);
    QVERIFY2(cut.conflicts.isEmpty() && mended.conflicts.isEmpty(),
             "a write the client never heard of is no conflict");
    CONVERGED(s);
    QCOMPARE(s.local.texts.size(), 11); // k0 k2 k4..k11 kp
    QCOMPARE(s.round().requests, 1);
}

void TestSyncEngine::aLocalFailureStopsTheRoundUntilMended()
{
    Setup s(*m_radicale, ++m_calendars);
    s.local.put(QStringLiteral("d0"), QStringLiteral("本机"));
    ROUND_OK(s.round());
    s.phone.run(put(QStringLiteral("d1"), QStringLiteral("一")) +
                put(QStringLiteral("d2"), QStringLiteral("二")) +
                put(QStringLiteral("d3"), QStringLiteral("三")));
    s.local.failAfterWrites = 1;
    const SyncReport full = s.round();
    QCOMPARE(full.localError, QStringLiteral("磁盘已满"));
    QCOMPARE(full.text(), QStringLiteral("同步中断：磁盘已满"));
    QCOMPARE(s.local.texts.size(), 2);

    s.local.failAfterWrites = -1;
    const SyncReport mended = s.round();
    ROUND_OK(mended);
    QCOMPARE(mended.downloaded, 2); // the one written before is not fetched again
    CONVERGED(s);
}

void TestSyncEngine::aServerWithoutSyncCollection()
{
    DavTestServer& srv = server();
    TestProxy proxy(srv.port());
    proxy.refuseSyncCollection = true;
    Setup s(srv, ++m_calendars, proxy.port());
    for (int i = 0; i < 5; ++i)
        s.local.put(QStringLiteral("q%1").arg(i), QStringLiteral("无记号 %1").arg(i));
    s.phone.run(put(QStringLiteral("qp"), QStringLiteral("手机")));
    const SyncReport first = s.round();
    ROUND_OK(first);
    QCOMPARE(first.uploaded, 5);
    QCOMPARE(first.downloaded, 1);
    QVERIFY(s.status.token().isEmpty());

    s.phone.run(put(QStringLiteral("q0"), QStringLiteral("手机改")) +
                QStringList{QStringLiteral("del"), QStringLiteral("q1")});
    s.local.put(QStringLiteral("q2"), QStringLiteral("本机改"));
    const SyncReport r = s.round();
    ROUND_OK(r);
    QVERIFY(r.fullListing);
    QCOMPARE(r.downloaded, 1);
    QCOMPARE(r.deletedLocal, 1);
    QCOMPARE(r.uploaded, 1);
    CONVERGED(s);
    // Idle: the refused sync-collection and the ETag listing, nothing fetched.
    const SyncReport idle = s.round();
    ROUND_OK(idle);
    QCOMPARE(idle.requests, 2);
}

void TestSyncEngine::uploadsWithoutEtagsAreNotFetchedBack()
{
    DavTestServer& srv = server();
    TestProxy proxy(srv.port());
    proxy.stripEtags = true;
    Setup s(srv, ++m_calendars, proxy.port());
    for (int i = 0; i < 5; ++i)
        s.local.put(QStringLiteral("n%1").arg(i), QStringLiteral("无标签"));
    const SyncReport first = s.round();
    ROUND_OK(first);
    QCOMPARE(first.uploaded, 5);
    QCOMPARE(first.requests, 1 + 5 * 2 + 1); // listing, a PUT and a PROPFIND each, listing
    const SyncReport next = s.round();
    ROUND_OK(next);
    QCOMPARE(next.requests, 1);
    QCOMPARE(next.downloaded, 0);
    CONVERGED(s);
}

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "tst_syncengine.moc"
