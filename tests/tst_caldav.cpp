#include "DavServers.h"
#include "sync/CalDavClient.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QSslCertificate>
#include <QTcpServer>
#include <QtTest>

// The client against real servers on the loopback address: Radicale and
// Xandikos, each in a temporary folder, with Debian's python3-caldav as the
// other client.
class TestCalDav : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void discoverySpellings_data();
    void discoverySpellings();
    void discoveryFindsTheEventCalendars_data() { serverRows(); }
    void discoveryFindsTheEventCalendars();
    void writesAreGuardedByEtags_data() { serverRows(); }
    void writesAreGuardedByEtags();
    void listingsFollowAnotherClient_data() { serverRows(); }
    void listingsFollowAnotherClient();
    void aForgottenTokenIsReported_data() { serverRows(); }
    void aForgottenTokenIsReported();
    void fetchGoesInBatches_data() { serverRows(); }
    void fetchGoesInBatches();
    void aPutWithoutEtagIsFollowedByPropfind_data() { serverRows(); }
    void aPutWithoutEtagIsFollowedByPropfind();
    void oneConnectionCarriesTheRequests_data() { serverRows(); }
    void oneConnectionCarriesTheRequests();
    void passwords();
    void digestGoesThroughTheToolkit();
    void credentialsGoOnlyWhereAsked();
    void certificates();
    void failuresAreNeverSuccess_data() { serverRows(); }
    void failuresAreNeverSuccess();
    void theCallersLoopKeepsTurning();
    void closingTheClientCancelsWhatRuns();

private:
    void serverRows();
    DavTestServer& server();
    QUrl newCalendar(DavTestServer& s, const QString& components = QStringLiteral("VEVENT"));
    // The server's account, reached through the proxy.
    static DavAccount proxied(DavTestServer& s, TestProxy& proxy)
    {
        DavAccount account = s.account();
        account.server = proxy.url(s.root());
        return account;
    }
    Phone phone(DavTestServer& s, const QUrl& calendar) const
    {
        return Phone{calendar, s.user(), s.password()};
    }
    std::unique_ptr<DavTestServer> m_radicale, m_xandikos;
    int m_calendars = 0;
};

template <class T> T await(QFuture<T> f)
{
    return CalDavClient::wait(f);
}

namespace {
struct Route {
    QByteArray method;
    QString path;
    int status;
    QByteArray body;
    QByteArray location;
};

QByteArray multistatus(const QByteArray& responses)
{
    return "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
           responses + "</d:multistatus>";
}

QByteArray response(const QByteArray& href, const QByteArray& props, const QByteArray& missing = {})
{
    QByteArray r = "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
                   "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>";
    if (!missing.isEmpty())
        r += "<d:propstat><d:prop>" + missing +
             "</d:prop><d:status>HTTP/1.1 404 Not Found</d:status></d:propstat>";
    return r + "</d:response>";
}

// A PROPFIND at path answered with a multistatus of the responses.
Route found(const QString& path, const QByteArray& responses)
{
    return {"PROPFIND", path, 207, multistatus(responses), {}};
}

const QByteArray calendarType = "<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>";
QByteArray comps(const QByteArray& names)
{
    QByteArray out = "<c:supported-calendar-component-set>";
    for (const QByteArray& n : names.split(','))
        out += "<c:comp name=\"" + n + "\"/>";
    return out + "</c:supported-calendar-component-set>";
}
} // namespace
Q_DECLARE_METATYPE(QList<Route>)

void TestCalDav::initTestCase()
{
    m_radicale = std::make_unique<DavTestServer>(DavTestServer::Kind::Radicale);
    m_xandikos = std::make_unique<DavTestServer>(DavTestServer::Kind::Xandikos);
    QVERIFY(m_radicale->start());
    QVERIFY(m_xandikos->start());
}

void TestCalDav::cleanupTestCase()
{
    m_radicale.reset();
    m_xandikos.reset();
}

void TestCalDav::serverRows()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("radicale") << QStringLiteral("radicale");
    QTest::newRow("xandikos") << QStringLiteral("xandikos");
}

DavTestServer& TestCalDav::server()
{
    QFETCH(QString, server);
    return server == QLatin1String("radicale") ? *m_radicale : *m_xandikos;
}

QUrl TestCalDav::newCalendar(DavTestServer& s, const QString& components)
{
    const QString name = QStringLiteral("cal%1").arg(++m_calendars);
    return s.makeCalendar(name, QStringLiteral("日历 %1").arg(m_calendars), components);
}

void TestCalDav::discoverySpellings_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QList<Route>>("routes");
    QTest::addColumn<QString>("principal");
    QTest::addColumn<QStringList>("calendars"); // "path|name"

    QTest::newRow("principal at the root, full URLs, encoded names")
        << "/"
        << QList<Route>{found("/",
                              response("{base}/",
                                       "<d:current-user-principal><d:href>/</d:href>"
                                       "</d:current-user-principal><c:calendar-home-set><d:href>"
                                       "{base}/home/</d:href></c:calendar-home-set><d:resourcetype>"
                                       "<d:collection/><d:principal/></d:resourcetype>",
                                       "<d:displayname/>")),
                        found(
                            "/home/",
                            response("/home/", "<d:resourcetype><d:collection/></d:resourcetype>") +
                                response("{base}/home/%E5%AE%B6/",
                                         calendarType + "<d:displayname>家</d:displayname>" +
                                             comps("VEVENT,VTODO")) +
                                response("/home/todo/", calendarType + comps("VTODO")) +
                                response("/home/inbox/", "<d:resourcetype><d:collection/>"
                                                         "<c:schedule-inbox/></d:resourcetype>"))}
        << "/" << QStringList{QStringLiteral("/home/%E5%AE%B6/|家")};

    QTest::newRow("well-known redirect, relative hrefs, no component set")
        << "/"
        << QList<Route>{{"PROPFIND", "/.well-known/caldav", 301, {}, "/dav/"},
                        found("/dav/", response("/dav/", "<d:current-user-principal><d:href>"
                                                         "principals/u/</d:href>"
                                                         "</d:current-user-principal>")),
                        found("/dav/principals/u/",
                              response("/dav/principals/u/",
                                       "<c:calendar-home-set><d:href>../../cals/u/</d:href>"
                                       "</c:calendar-home-set>")),
                        found("/dav/cals/u/",
                              response("/dav/cals/u/",
                                       "<d:resourcetype><d:collection/></d:resourcetype>") +
                                  response("work/", calendarType,
                                           comps("VEVENT") + "<d:displayname/>"))}
        << "/dav/principals/u" << QStringList{QStringLiteral("/dav/cals/u/work/|work")};

    QTest::newRow("the calendar's own address, no principal")
        << "/cal/me/"
        << QList<Route>{found("/cal/me/",
                              response("/cal/me/",
                                       calendarType + "<d:displayname>我的</d:displayname>",
                                       "<d:current-user-principal/><c:calendar-home-set/>"))}
        << "/cal/me" << QStringList{QStringLiteral("/cal/me/|我的")};
}

void TestCalDav::discoverySpellings()
{
    QFETCH(QString, start);
    QFETCH(QList<Route>, routes);
    QFETCH(QString, principal);
    QFETCH(QStringList, calendars);
    CannedServer canned;
    for (const Route& r : routes) {
        QList<QPair<QByteArray, QByteArray>> headers;
        if (!r.location.isEmpty())
            headers.append({"Location", r.location});
        canned.answer(r.method, r.path, r.status, r.body, headers);
    }
    DavAccount account;
    account.server = canned.url(start);
    CalDavClient client(account);
    const DavDiscovery found = await(client.discover());
    QVERIFY2(!found.error, qPrintable(found.error.text + QLatin1Char(' ') + found.error.detail +
                                      canned.asked().join(QLatin1Char(','))));
    QCOMPARE(Dav::hrefKey(found.principal), principal);
    QStringList got;
    for (const Dav::Calendar& c : found.calendars)
        got << Dav::hrefOf(c.url) + QLatin1Char('|') + c.displayName;
    QCOMPARE(got, calendars);
}

void TestCalDav::discoveryFindsTheEventCalendars()
{
    DavTestServer& s = server();
    const QUrl events = newCalendar(s);
    const QUrl tasks = newCalendar(s, QStringLiteral("VTODO"));
    QVERIFY(events.isValid() && tasks.isValid());

    // From the server's bare address (the well-known redirect), from the
    // principal, and from the calendar's own address.
    DavAccount account = s.account();
    CalDavClient client(account);
    const DavDiscovery found = await(client.discover());
    QVERIFY2(!found.error, qPrintable(found.error.text + found.error.detail));
    QVERIFY(!found.homes.isEmpty());
    QStringList names;
    for (const Dav::Calendar& c : found.calendars) {
        QVERIFY(c.vevents);
        if (Dav::hrefKey(c.url) == Dav::hrefKey(events))
            names << c.displayName;
        // Xandikos says every calendar takes every component.
        if (s.kind() == DavTestServer::Kind::Radicale)
            QVERIFY2(Dav::hrefKey(c.url) != Dav::hrefKey(tasks),
                     "a to-do list is no calendar for events");
    }
    QCOMPARE(names, QStringList{QStringLiteral("日历 %1").arg(m_calendars - 1)});

    account.server = found.principal;
    CalDavClient fromPrincipal(account);
    const DavDiscovery again = await(fromPrincipal.discover());
    QVERIFY(!again.error);
    QCOMPARE(again.calendars.size(), found.calendars.size());

    account.server = events;
    CalDavClient fromCalendar(account);
    const DavDiscovery own = await(fromCalendar.discover());
    QVERIFY2(!own.error, qPrintable(own.error.text));
    bool listed = false;
    for (const Dav::Calendar& c : own.calendars)
        listed = listed || Dav::hrefKey(c.url) == Dav::hrefKey(events);
    QVERIFY(listed);
}

void TestCalDav::writesAreGuardedByEtags()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    CalDavClient client(s.account());
    const QUrl url = cal.resolved(QUrl(QStringLiteral("w1.ics")));

    const DavStored made =
        await(client.put(url, eventText(QStringLiteral("w1"), QStringLiteral("一")), {}));
    QVERIFY2(made.written && !made.etag.isEmpty(), qPrintable(made.error.text));
    // A second "new" object at the same place is refused, not written over.
    const DavStored twice =
        await(client.put(url, eventText(QStringLiteral("w1"), QStringLiteral("二")), {}));
    QVERIFY(!twice.written);
    QCOMPARE(twice.error.kind, Dav::ErrorKind::Conflict);

    const DavStored changed =
        await(client.put(url, eventText(QStringLiteral("w1"), QStringLiteral("三")), made.etag));
    QVERIFY(changed.written);
    QVERIFY(changed.etag != made.etag);
    const DavStored stale =
        await(client.put(url, eventText(QStringLiteral("w1"), QStringLiteral("四")), made.etag));
    QCOMPARE(stale.error.kind, Dav::ErrorKind::Conflict);
    QVERIFY(!stale.written);
    QCOMPARE(await(client.remove(url, made.etag)).error.kind, Dav::ErrorKind::Conflict);
    // One UID, two places: Radicale says 409, Xandikos a multistatus with 412.
    const DavStored again =
        await(client.put(cal.resolved(QUrl(QStringLiteral("w1-again.ics"))),
                         eventText(QStringLiteral("w1"), QStringLiteral("五")), {}));
    QVERIFY(!again.written);
    QCOMPARE(again.error.kind, Dav::ErrorKind::UidConflict);

    const DavFetched held = await(client.fetch(cal, {Dav::hrefOf(url)}));
    QCOMPARE(held.resources.size(), 1);
    QVERIFY(held.resources.first().data.contains("SUMMARY:三"));

    QVERIFY(await(client.remove(url, changed.etag)).written);
    const DavStored gone = await(client.remove(url, changed.etag));
    QVERIFY2(gone.written && !gone.error, "an object already gone is no failure");
    QVERIFY(await(client.fetch(cal, {Dav::hrefOf(url)})).resources.isEmpty());
}

void TestCalDav::listingsFollowAnotherClient()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    CalDavClient client(s.account());
    QHash<QString, QString> etags; // uid -> etag
    for (const char* uid : {"a", "b", "c"}) {
        const DavStored st =
            await(client.put(cal.resolved(QUrl(QString::fromLatin1(uid) + QStringLiteral(".ics"))),
                             eventText(QString::fromLatin1(uid), QStringLiteral("x")), {}));
        QVERIFY(st.written);
        etags.insert(QString::fromLatin1(uid), st.etag);
    }
    const DavListing first = await(client.syncCollection(cal, {}));
    QVERIFY2(!first.error, qPrintable(first.error.text));
    QVERIFY(!first.token.isEmpty());
    QCOMPARE(first.changed.size(), 3);
    QVERIFY(first.removed.isEmpty());
    for (const Dav::Resource& r : first.changed)
        QCOMPARE(r.etag, etags.value(r.href.section(QLatin1Char('/'), -1).chopped(4)));

    // The phone adds one, changes one and deletes one.
    const QString said = phone(s, cal).run(
        {QStringLiteral("put"), QStringLiteral("p1"), QStringLiteral("手机"), QStringLiteral("put"),
         QStringLiteral("a"), QStringLiteral("改"), QStringLiteral("del"), QStringLiteral("b")});
    QVERIFY(!said.contains(QLatin1String("failed")));

    const DavListing next = await(client.syncCollection(cal, first.token));
    QVERIFY2(!next.error, qPrintable(next.error.text));
    QVERIFY(next.token != first.token);
    QCOMPARE(next.changed.size(), 2);
    QCOMPARE(next.removed.size(), 1);
    QCOMPARE(Dav::hrefKey(cal, next.removed.first()), Dav::hrefKey(cal, QStringLiteral("b.ics")));
    QStringList changedUids;
    const DavFetched got =
        await(client.fetch(cal, {next.changed.at(0).href, next.changed.at(1).href}));
    QVERIFY(!got.error);
    for (const Dav::Resource& r : got.resources)
        changedUids << Dav::uidOf(r.data);
    changedUids.sort();
    QCOMPARE(changedUids, (QStringList{QStringLiteral("a"), QStringLiteral("p1")}));

    // Nothing since: an empty answer with the same or a new token.
    const DavListing idle = await(client.syncCollection(cal, next.token));
    QVERIFY(!idle.error);
    QVERIFY(idle.changed.isEmpty() && idle.removed.isEmpty());

    // The ETag listing of a server without sync-collection holds the same.
    const DavListing etagList = await(client.listEtags(cal));
    QVERIFY2(!etagList.error, qPrintable(etagList.error.text));
    QCOMPARE(etagList.changed.size(), 3);
    QVERIFY(etagList.token.isEmpty());
}

void TestCalDav::aForgottenTokenIsReported()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    CalDavClient client(s.account());
    QVERIFY(await(client.put(cal.resolved(QUrl(QStringLiteral("t.ics"))),
                             eventText(QStringLiteral("t"), QStringLiteral("t")), {}))
                .written);
    const DavListing first = await(client.syncCollection(cal, {}));
    QVERIFY(!first.error);

    if (s.kind() == DavTestServer::Kind::Radicale) {
        // Radicale answers a token for the state it has now from that state
        // alone; one for an older state needs its cache.
        QVERIFY(await(client.put(cal.resolved(QUrl(QStringLiteral("t2.ics"))),
                                 eventText(QStringLiteral("t2"), QStringLiteral("t")), {}))
                    .written);
        QVERIFY(s.forgetSyncTokens());
        const DavListing forgotten = await(client.syncCollection(cal, first.token));
        QCOMPARE(forgotten.error.kind, Dav::ErrorKind::TokenInvalid);
        const DavListing bogus =
            await(client.syncCollection(cal, QStringLiteral("http://radicale.org/ns/sync/00")));
        QCOMPARE(bogus.error.kind, Dav::ErrorKind::TokenInvalid);
    } else {
        // Xandikos's tokens name git trees; one it never had fails the
        // request with a server error, not the precondition.
        const DavListing bogus = await(client.syncCollection(cal, QString(40, QLatin1Char('0'))));
        QCOMPARE(bogus.error.kind, Dav::ErrorKind::Http);
        QCOMPARE(bogus.error.status, 500);
    }
    // Starting again without a token lists everything.
    const DavListing all = await(client.syncCollection(cal, {}));
    QVERIFY(!all.error);
    QCOMPARE(all.changed.size(), s.kind() == DavTestServer::Kind::Radicale ? 2 : 1);
}

void TestCalDav::fetchGoesInBatches()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    CalDavClient client(s.account());
    const int count = CalDavClient::fetchBatch * 2 + 5;
    QStringList hrefs;
    for (int i = 0; i < count; ++i) {
        // Names the server must take percent-encoded, and a plain one.
        const QString name =
            i % 50 == 0 ? QStringLiteral("f %1中@x.ics").arg(i) : QStringLiteral("f%1.ics").arg(i);
        const QUrl url =
            cal.resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(name, "@"))));
        QVERIFY(await(client.put(url, eventText(QStringLiteral("f%1").arg(i), QStringLiteral("批")),
                                 {}))
                    .written);
        hrefs << Dav::hrefOf(url);
    }
    const QString absent = Dav::hrefOf(cal.resolved(QUrl(QStringLiteral("absent.ics"))));
    hrefs.insert(7, absent);
    client.resetCounters();
    const DavFetched got = await(client.fetch(cal, hrefs));
    QVERIFY2(!got.error, qPrintable(got.error.text));
    QCOMPARE(client.counters().requests, qint64(3));
    QCOMPARE(got.resources.size(), count);
    QCOMPARE(got.missing, QStringList{absent});
    QSet<QString> asked(hrefs.cbegin(), hrefs.cend());
    for (const Dav::Resource& r : got.resources) {
        QVERIFY2(asked.contains(r.href), qPrintable(r.href)); // in our spelling
        QVERIFY(!r.etag.isEmpty());
        QVERIFY(r.data.startsWith("BEGIN:VCALENDAR\r\n"));
        const QString uid = Dav::uidOf(r.data);
        QVERIFY(r.href.contains(uid.mid(1) + QLatin1Char('.')) ||
                r.href.contains(uid.mid(1) + QLatin1Char('%')));
    }
}

void TestCalDav::aPutWithoutEtagIsFollowedByPropfind()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    TestProxy proxy(s.port());
    proxy.stripEtags = true;
    DavAccount account = proxied(s, proxy);
    CalDavClient client(account);
    const QUrl url = proxy.url(cal).resolved(QUrl(QStringLiteral("n.ics")));

    const DavStored made =
        await(client.put(url, eventText(QStringLiteral("n"), QStringLiteral("无")), {}));
    QVERIFY(made.written);
    QVERIFY(!made.etag.isEmpty());
    QCOMPARE(client.counters().requests, qint64(2)); // the PUT and one PROPFIND, no second upload

    CalDavClient direct(s.account());
    const DavListing listed = await(direct.syncCollection(cal, {}));
    QCOMPARE(listed.changed.size(), 1);
    QCOMPARE(listed.changed.first().etag, made.etag);
    // The ETag it found guards the next write.
    QVERIFY(await(client.put(url, eventText(QStringLiteral("n"), QStringLiteral("再")), made.etag))
                .written);
}

void TestCalDav::oneConnectionCarriesTheRequests()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    TestProxy proxy(s.port());
    DavAccount account = proxied(s, proxy);
    CalDavClient client(account);
    for (int i = 0; i < 5; ++i)
        QVERIFY(!await(client.syncCollection(proxy.url(cal), {})).error);
    QCOMPARE(proxy.answers.load(), 5 + proxy.unauthorized.load());
    if (s.kind() == DavTestServer::Kind::Xandikos)
        QCOMPARE(proxy.connections.load(), 1);
    else // Radicale's server speaks HTTP/1.0 and closes after every answer.
        QCOMPARE(proxy.connections.load(), proxy.answers.load());
    const DavCounters c = client.counters();
    QCOMPARE(c.requests, qint64(5));
    QVERIFY(c.bytesSent > 5 * 200 && c.bytesReceived > 5 * 100);
}

void TestCalDav::passwords()
{
    DavTestServer s(DavTestServer::Kind::Radicale, {true, {}, {}});
    QVERIFY(s.start());
    const QUrl cal = s.makeCalendar(QStringLiteral("p"), QStringLiteral("密"));
    TestProxy proxy(s.port());
    DavAccount account = proxied(s, proxy);

    CalDavClient right(account);
    const DavDiscovery found = await(right.discover());
    QVERIFY2(!found.error, qPrintable(found.error.text));
    QCOMPARE(found.calendars.size(), 1);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!await(right.syncCollection(proxy.url(cal), {})).error);
    // Asked once; every later request carries the password at once.
    QCOMPARE(proxy.unauthorized.load(), 1);

    account.password = QStringLiteral("wrong");
    CalDavClient wrong(account);
    const DavDiscovery refused = await(wrong.discover());
    QCOMPARE(refused.error.kind, Dav::ErrorKind::Auth);
    QCOMPARE(refused.error.text, QStringLiteral("服务器不接受这个用户名和密码"));

    account.user.clear();
    account.password.clear();
    CalDavClient nobody(account);
    const DavDiscovery anonymous = await(nobody.discover());
    QCOMPARE(anonymous.error.kind, Dav::ErrorKind::Auth);
    QCOMPARE(anonymous.error.text, QStringLiteral("服务器要求用户名和密码"));
}

void TestCalDav::digestGoesThroughTheToolkit()
{
    CannedServer canned;
    canned.requireAuth("Digest", "alice");
    canned.answer(
        "REPORT", QStringLiteral("/cal/"), 207,
        "<d:multistatus xmlns:d=\"DAV:\"><d:sync-token>t1</d:sync-token></d:multistatus>");
    DavAccount account;
    account.server = canned.url();
    account.user = QStringLiteral("alice");
    account.password = QStringLiteral("pw");
    CalDavClient client(account);
    const DavListing first = await(client.syncCollection(canned.url(QStringLiteral("/cal/")), {}));
    QVERIFY2(!first.error, qPrintable(first.error.text));
    QCOMPARE(first.token, QStringLiteral("t1"));
    QVERIFY(!await(client.syncCollection(canned.url(QStringLiteral("/cal/")), {})).error);

    account.user = QStringLiteral("mallory");
    CalDavClient wrong(account);
    QCOMPARE(await(wrong.syncCollection(canned.url(QStringLiteral("/cal/")), {})).error.kind,
             Dav::ErrorKind::Auth);
}

void TestCalDav::credentialsGoOnlyWhereAsked()
{
    // The principal lives on another host, which asks for Basic; the first
    // host, which never asks, never gets the password.
    CannedServer front, back;
    back.requireAuth("Basic", "alice");
    front.answer("PROPFIND", QStringLiteral("/"), 207,
                 multistatus(response("/", "<d:current-user-principal><d:href>" +
                                               back.url(QStringLiteral("/p/")).toEncoded() +
                                               "</d:href></d:current-user-principal>")));
    back.answer("PROPFIND", QStringLiteral("/p/"), 207,
                multistatus(response("/p/", "<c:calendar-home-set><d:href>/home/</d:href>"
                                            "</c:calendar-home-set>")));
    back.answer("PROPFIND", QStringLiteral("/home/"), 207,
                multistatus(response("/home/work/", calendarType + comps("VEVENT"))));
    DavAccount account;
    account.server = front.url();
    account.user = QStringLiteral("alice");
    account.password = QStringLiteral("密码");
    CalDavClient client(account);
    const DavDiscovery found = await(client.discover());
    QVERIFY2(!found.error, qPrintable(found.error.text + back.asked().join(QLatin1Char(','))));
    QCOMPARE(found.calendars.size(), 1);
    for (const QString& asked : front.asked())
        QVERIFY2(!asked.contains(QLatin1String("credentials")), qPrintable(asked));
    QCOMPARE(back.asked(), (QStringList{QStringLiteral("PROPFIND /p/"),
                                        QStringLiteral("PROPFIND /p/ (with credentials)"),
                                        QStringLiteral("PROPFIND /home/ (with credentials)")}));
}

void TestCalDav::certificates()
{
    QTemporaryDir trusted, selfSigned, otherName;
    QString ca, otherCa;
    QVERIFY(makeCertificate(trusted.path(), QStringLiteral("IP:127.0.0.1"), &ca));
    QVERIFY(makeCertificate(selfSigned.path(), QStringLiteral("IP:127.0.0.1"), nullptr));
    QVERIFY(
        makeCertificate(otherName.path(), QStringLiteral("DNS:calendar.example.org"), &otherCa));
    const auto authority = [](const QString& file) {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return QSslCertificate::fromData(f.readAll(), QSsl::Pem);
    };

    struct Case {
        QString folder, ca;
        QString reason; // empty: it verifies
    };
    const QList<Case> cases = {
        {trusted.path(), ca, {}},
        {selfSigned.path(), {}, QStringLiteral("self-signed")},
        {trusted.path(), {}, QStringLiteral("issuer")},
        {otherName.path(), otherCa, QStringLiteral("host name")},
    };
    for (const Case& c : cases) {
        DavTestServer s(DavTestServer::Kind::Radicale,
                        {false, c.folder + QStringLiteral("/server.pem"),
                         c.folder + QStringLiteral("/server.key")});
        QVERIFY(s.start());
        s.makeCalendar(QStringLiteral("tls"), QStringLiteral("加密"));
        DavAccount account = s.account();
        QCOMPARE(account.server.scheme(), QStringLiteral("https"));
        if (!c.ca.isEmpty())
            account.caCertificates = authority(c.ca);
        CalDavClient client(account);
        const DavDiscovery found = await(client.discover());
        if (c.reason.isEmpty()) {
            QVERIFY2(!found.error, qPrintable(found.error.text));
            QCOMPARE(found.calendars.size(), 1);
        } else {
            QCOMPARE(found.error.kind, Dav::ErrorKind::Tls);
            QVERIFY2(found.error.text.startsWith(QStringLiteral("服务器的证书未通过验证：")),
                     qPrintable(found.error.text));
            QVERIFY2(found.error.detail.contains(c.reason, Qt::CaseInsensitive),
                     qPrintable(found.error.detail));
            QVERIFY(found.calendars.isEmpty());
        }
    }
}

void TestCalDav::failuresAreNeverSuccess()
{
    DavTestServer& s = server();
    const QUrl cal = newCalendar(s);
    TestProxy proxy(s.port());
    DavAccount account = proxied(s, proxy);
    account.timeoutMs = 1500;
    const QUrl viaProxy = proxy.url(cal);
    const QUrl item = viaProxy.resolved(QUrl(QStringLiteral("cut.ics")));

    // Nothing listens.
    DavAccount nowhere = account;
    {
        QTcpServer probe; // a port nothing listens on once it closes
        probe.listen(QHostAddress::LocalHost, 0);
        nowhere.server.setPort(probe.serverPort());
    }
    CalDavClient lost(nowhere);
    const DavDiscovery refused = await(lost.discover());
    QCOMPARE(refused.error.kind, Dav::ErrorKind::Network);
    QCOMPARE(refused.error.text, QStringLiteral("无法连接服务器"));

    CalDavClient client(account);
    // An answer that never comes.
    proxy.hold = true;
    QElapsedTimer waited;
    waited.start();
    const DavListing silent = await(client.syncCollection(viaProxy, {}));
    QCOMPARE(silent.error.kind, Dav::ErrorKind::Timeout);
    QVERIFY(waited.elapsed() >= 1400);
    proxy.hold = false;

    // Cut off half-way through the answer to an upload the server took. The
    // toolkit sends a request once more when its connection dies before the
    // answer; the condition makes that repeat harmless: the object is there.
    proxy.cutAnswer = 1;
    const QByteArray ics = eventText(QStringLiteral("cut"), QStringLiteral("断"));
    const DavStored cut = await(client.put(item, ics, {}));
    QVERIFY(!cut.written);
    QCOMPARE(cut.error.kind, Dav::ErrorKind::Conflict);
    // Every answer cut: the repeats fail too.
    proxy.cutAnswer = 1;
    proxy.cutRun = 1000;
    const QUrl second = viaProxy.resolved(QUrl(QStringLiteral("cut2.ics")));
    const DavStored cutTwice =
        await(client.put(second, eventText(QStringLiteral("cut2"), QStringLiteral("断")), {}));
    proxy.cutAnswer = 0;
    QVERIFY(!cutTwice.written);
    QCOMPARE(cutTwice.error.kind, Dav::ErrorKind::Network);
    QCOMPARE(cutTwice.error.text, QStringLiteral("无法连接服务器"));
    QCOMPARE(await(client.syncCollection(viaProxy, {})).changed.size(), 2); // both are there

    // The server stops between two requests, then comes back.
    s.stop();
    const DavListing down = await(client.syncCollection(viaProxy, {}));
    QCOMPARE(down.error.kind, Dav::ErrorKind::Network);
    QVERIFY(down.changed.isEmpty());
    QVERIFY(s.start());
    const DavListing back = await(client.syncCollection(viaProxy, {}));
    QVERIFY2(!back.error, qPrintable(back.error.text + back.error.detail));
    QCOMPARE(back.changed.size(), 2);
}

void TestCalDav::theCallersLoopKeepsTurning()
{
    DavTestServer& s = *m_xandikos;
    TestProxy proxy(s.port());
    proxy.delayMs = 700;
    DavAccount account = proxied(s, proxy);
    CalDavClient client(account);

    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(10);
    QElapsedTimer took;
    took.start();
    QFutureWatcher<DavDiscovery> watcher;
    QSignalSpy finished(&watcher, &QFutureWatcher<DavDiscovery>::finished);
    watcher.setFuture(client.discover()); // several requests, each held back
    QVERIFY(finished.wait(30000));
    QVERIFY(!watcher.result().error);
    QVERIFY(took.elapsed() >= 4 * 700);
    // The loop ran its timer all along: at least a tick in every 50 ms.
    QVERIFY2(ticks >= took.elapsed() / 50, qPrintable(QString::number(ticks)));
}

void TestCalDav::closingTheClientCancelsWhatRuns()
{
    // The program quits during a round: what is waited for ends at once.
    TestProxy proxy(m_xandikos->port());
    proxy.hold = true;
    DavAccount account = m_xandikos->account();
    account.server = proxy.url(m_xandikos->root());
    auto client = std::make_unique<CalDavClient>(account);
    QFuture<DavDiscovery> pending = client->discover();
    QFuture<DavListing> queued = client->syncCollection(account.server, {});
    QTRY_COMPARE(proxy.connections.load(), 1);
    QElapsedTimer t;
    t.start();
    client.reset();
    QCOMPARE(CalDavClient::wait(pending).error.kind, Dav::ErrorKind::Cancelled);
    QCOMPARE(CalDavClient::wait(queued).error.kind, Dav::ErrorKind::Cancelled);
    QVERIFY(t.elapsed() < 5000);
}

QTEST_GUILESS_MAIN(TestCalDav)
#include "tst_caldav.moc"
