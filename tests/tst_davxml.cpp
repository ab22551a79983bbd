#include "sync/Dav.h"

#include <QtTest>

// What the servers write, in their several spellings, read the same way.
class TestDavXml : public QObject {
    Q_OBJECT
private slots:
    void multistatusSpellings_data();
    void multistatusSpellings();
    void removalsAndPartialPropstats();
    void calendarDataComesWithCrlf();
    void brokenBodiesAreNoMultistatus_data();
    void brokenBodiesAreNoMultistatus();
    void invalidTokenIsRecognised_data();
    void invalidTokenIsRecognised();
    void hrefsOfOneResourceShareAKey_data();
    void hrefsOfOneResourceShareAKey();
    void serverUrlFromTyping_data();
    void serverUrlFromTyping();
    void uidOfAnObject_data();
    void uidOfAnObject();
    void resourceNames_data();
    void resourceNames();
    void requestBodiesAreReadBack();
};

void TestDavXml::multistatusSpellings_data()
{
    QTest::addColumn<QByteArray>("body");
    // Radicale: default namespace, status after prop.
    QTest::newRow("default namespace") << QByteArray(
        "<?xml version='1.0' encoding='utf-8'?>\n<multistatus xmlns=\"DAV:\" "
        "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response><href>/a/cal/</href>"
        "<propstat><prop><current-user-principal><href>/a/</href></current-user-principal>"
        "<resourcetype><collection /><C:calendar /></resourcetype>"
        "<C:supported-calendar-component-set><C:comp name=\"VEVENT\" />"
        "</C:supported-calendar-component-set></prop><status>HTTP/1.1 200 OK</status>"
        "</propstat></response><sync-token>tok</sync-token></multistatus>");
    // Xandikos: ns0/ns1 prefixes, status before prop, token last.
    QTest::newRow("numbered prefixes") << QByteArray(
        "<ns0:multistatus xmlns:ns0=\"DAV:\" xmlns:ns1=\"urn:ietf:params:xml:ns:caldav\">"
        "<ns0:response><ns0:href>/a/cal/</ns0:href><ns0:propstat><ns0:status>HTTP/1.1 200 "
        "OK</ns0:status><ns0:prop><ns0:current-user-principal><ns0:href>/a/</ns0:href>"
        "</ns0:current-user-principal><ns0:resourcetype><ns0:collection/><ns1:calendar/>"
        "</ns0:resourcetype><ns1:supported-calendar-component-set><ns1:comp "
        "name=\"vevent\"/></ns1:supported-calendar-component-set></ns0:prop></ns0:propstat>"
        "</ns0:response><ns0:sync-token>tok</ns0:sync-token></ns0:multistatus>");
    // Pretty-printed, upper-case prefix, whitespace around hrefs, no reason phrase.
    QTest::newRow("pretty printed") << QByteArray(
        "<?xml version=\"1.0\"?>\n<D:multistatus xmlns:D=\"DAV:\">\n  <D:sync-token>\n"
        "    tok\n  </D:sync-token>\n  <D:response>\n    <D:href>\n      /a/cal/\n"
        "    </D:href>\n    <D:propstat>\n      <D:prop>\n"
        "        <D:current-user-principal>\n          <D:href> /a/ </D:href>\n"
        "        </D:current-user-principal>\n        <D:resourcetype>\n"
        "          <D:collection/>\n          <cal:calendar "
        "xmlns:cal=\"urn:ietf:params:xml:ns:caldav\"/>\n        </D:resourcetype>\n"
        "        <x:supported-calendar-component-set "
        "xmlns:x=\"urn:ietf:params:xml:ns:caldav\"><x:comp name=\"VEVENT\"/>"
        "</x:supported-calendar-component-set>\n      </D:prop>\n"
        "      <D:status>HTTP/1.1 200</D:status>\n    </D:propstat>\n  </D:response>\n"
        "</D:multistatus>\n");
}

void TestDavXml::multistatusSpellings()
{
    QFETCH(QByteArray, body);
    const Dav::Multistatus ms = Dav::parseMultistatus(body);
    QVERIFY2(ms.ok, qPrintable(ms.error));
    QCOMPARE(ms.syncToken, QStringLiteral("tok"));
    QCOMPARE(ms.responses.size(), 1);
    const Dav::Response& r = ms.responses.first();
    QCOMPARE(r.href, QStringLiteral("/a/cal/"));
    const auto principal =
        r.found.value(Dav::qualified(Dav::davNs, QStringLiteral("current-user-principal")));
    QCOMPARE(principal.hrefs, QStringList{QStringLiteral("/a/")});
    const auto type = r.found.value(Dav::qualified(Dav::davNs, QStringLiteral("resourcetype")));
    QVERIFY(type.names.contains(Dav::qualified(Dav::caldavNs, QStringLiteral("calendar"))));
    const auto comps = r.found.value(
        Dav::qualified(Dav::caldavNs, QStringLiteral("supported-calendar-component-set")));
    QCOMPARE(comps.components, QStringList{QStringLiteral("VEVENT")});
}

void TestDavXml::removalsAndPartialPropstats()
{
    // A sync-collection answer: a removal as a bare 404 response, one href
    // list under one status, and a displayname the server does not have.
    const QByteArray body =
        "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/c/gone.ics</d:href>"
        "<d:status>HTTP/1.1 404 Not Found</d:status></d:response>"
        "<d:response><d:href>/c/x.ics</d:href><d:href>/c/y.ics</d:href>"
        "<d:status>HTTP/1.1 404 Not Found</d:status></d:response>"
        "<d:response><d:href>/c/a.ics</d:href><d:propstat><d:prop><d:getetag>\"e1\"</d:getetag>"
        "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat><d:propstat><d:prop>"
        "<d:displayname/></d:prop><d:status>HTTP/1.1 404 Not Found</d:status></d:propstat>"
        "</d:response></d:multistatus>";
    const Dav::Multistatus ms = Dav::parseMultistatus(body);
    QVERIFY(ms.ok);
    QCOMPARE(ms.responses.size(), 4);
    QStringList removed;
    for (const Dav::Response& r : ms.responses)
        if (r.status == 404)
            removed << r.href;
    QCOMPARE(removed, (QStringList{QStringLiteral("/c/gone.ics"), QStringLiteral("/c/x.ics"),
                                   QStringLiteral("/c/y.ics")}));
    const Dav::Response& a = ms.responses.last();
    QCOMPARE(a.found.value(Dav::qualified(Dav::davNs, QStringLiteral("getetag"))).text,
             QStringLiteral("\"e1\""));
    QVERIFY(!a.found.contains(Dav::qualified(Dav::davNs, QStringLiteral("displayname"))));
    QCOMPARE(a.missing, QStringList{Dav::qualified(Dav::davNs, QStringLiteral("displayname"))});
}

void TestDavXml::calendarDataComesWithCrlf()
{
    // XML turns CRLF into LF; CDATA and escaped CR arrive too.
    const QByteArray body =
        "<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
        "<d:response><d:href>/c/1.ics</d:href><d:propstat><d:prop><c:calendar-data>\r\n"
        "BEGIN:VCALENDAR\r\nSUMMARY:a &amp; b\r\n \xe4\xb8\xad\r\nEND:VCALENDAR\r\n"
        "</c:calendar-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
        "<d:response><d:href>/c/2.ics</d:href><d:propstat><d:prop><c:calendar-data><![CDATA["
        "BEGIN:VCALENDAR\r\nSUMMARY:<b>\r\nEND:VCALENDAR\r\n]]></c:calendar-data></d:prop></"
        "d:propstat></d:response>"
        "<d:response><d:href>/c/3.ics</d:href><d:propstat><d:prop><c:calendar-data>"
        "BEGIN:VCALENDAR&#13;\nEND:VCALENDAR&#13;\n</c:calendar-data></d:prop></d:propstat>"
        "</d:response></d:multistatus>";
    const Dav::Multistatus ms = Dav::parseMultistatus(body);
    QVERIFY(ms.ok);
    const QString data = Dav::qualified(Dav::caldavNs, QStringLiteral("calendar-data"));
    const auto text = [&](int i) {
        return Dav::withCrlf(ms.responses.at(i).found.value(data).text.toUtf8());
    };
    QCOMPARE(text(0),
             QByteArray("BEGIN:VCALENDAR\r\nSUMMARY:a & b\r\n \xe4\xb8\xad\r\nEND:VCALENDAR"));
    QCOMPARE(text(1), QByteArray("BEGIN:VCALENDAR\r\nSUMMARY:<b>\r\nEND:VCALENDAR"));
    QCOMPARE(text(2), QByteArray("BEGIN:VCALENDAR\r\nEND:VCALENDAR"));
}

void TestDavXml::brokenBodiesAreNoMultistatus_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("html") << QByteArray("<html><body>Bad gateway</body></html>");
    QTest::newRow("wrong namespace") << QByteArray("<multistatus><response/></multistatus>");
    QTest::newRow("cut off") << QByteArray(
        "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/a");
    QTest::newRow("text") << QByteArray("Internal Server Error");
}

void TestDavXml::brokenBodiesAreNoMultistatus()
{
    QFETCH(QByteArray, body);
    const Dav::Multistatus ms = Dav::parseMultistatus(body);
    QVERIFY(!ms.ok);
    QVERIFY(!ms.error.isEmpty());
}

void TestDavXml::invalidTokenIsRecognised_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("invalid");
    QTest::newRow("radicale") << QByteArray("<?xml version='1.0' encoding='utf-8'?>\n<error "
                                            "xmlns=\"DAV:\"><valid-sync-token /></error>")
                              << true;
    QTest::newRow("prefixed") << QByteArray(
                                     "<d:error xmlns:d=\"DAV:\"><d:valid-sync-token/></d:error>")
                              << true;
    QTest::newRow("other precondition")
        << QByteArray("<d:error xmlns:d=\"DAV:\"><d:number-of-matches-within-limits/></d:error>")
        << false;
    QTest::newRow("other namespace")
        << QByteArray("<x:error xmlns:x=\"urn:x\"><x:valid-sync-token/></x:error>") << false;
    QTest::newRow("plain text") << QByteArray("403 Forbidden: valid-sync-token") << true;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestDavXml::invalidTokenIsRecognised()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, invalid);
    QCOMPARE(Dav::namesInvalidSyncToken(body), invalid);
}

void TestDavXml::hrefsOfOneResourceShareAKey_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    const auto row = [](const char* name, const char* a, const char* b, bool same) {
        QTest::newRow(name) << QString(a) << QString(b) << same;
    };
    row("encoded and not", "/c/a%20b%E4%B8%AD.ics", "/c/a b中.ics", true);
    row("at sign", "/c/x%40y.ics", "/c/x@y.ics", true);
    row("lower-case escapes", "/c/%e4%b8%ad.ics", "/c/%E4%B8%AD.ics", true);
    row("full URL", "http://127.0.0.1:5232/c/a.ics", "/c/a.ics", true);
    row("relative", "a.ics", "/c/a.ics", true);
    row("collection slash", "/c/", "/c", true);
    row("escaped slash stays", "/c/a%2Fb.ics", "/c/a/b.ics", false);
    row("different", "/c/a.ics", "/c/b.ics", false);
    row("case matters", "/c/A.ics", "/c/a.ics", false);
}

void TestDavXml::hrefsOfOneResourceShareAKey()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    const QUrl base(QStringLiteral("http://127.0.0.1:5232/c/"));
    QCOMPARE(Dav::hrefKey(base, a) == Dav::hrefKey(base, b), same);
}

void TestDavXml::serverUrlFromTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("url");
    const auto row = [](const char* name, const char* typed, const char* url) {
        QTest::newRow(name) << QString(typed) << QString(url);
    };
    row("host", "dav.example.org", "https://dav.example.org/");
    row("host and port", " 127.0.0.1:5232 ", "https://127.0.0.1:5232/");
    row("plain http kept", "http://127.0.0.1:5232", "http://127.0.0.1:5232/");
    row("path kept", "https://h/remote.php/dav/", "https://h/remote.php/dav/");
    row("localhost", "localhost:8080/dav", "https://localhost:8080/dav");
}

void TestDavXml::serverUrlFromTyping()
{
    QFETCH(QString, typed);
    QFETCH(QString, url);
    QCOMPARE(Dav::serverUrl(typed).toString(), url);
}

void TestDavXml::uidOfAnObject_data()
{
    QTest::addColumn<QByteArray>("ics");
    QTest::addColumn<QString>("uid");
    QTest::newRow("plain") << QByteArray(
                                  "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:abc\r\nEND:VEVENT\r\n"
                                  "END:VCALENDAR\r\n")
                           << "abc";
    QTest::newRow("folded, LF, parameter")
        << QByteArray("BEGIN:VCALENDAR\nBEGIN:VEVENT\nuid;X-A=1:abc-\n def@\n\t中\nEND:VEVENT\n")
        << "abc-def@中";
    QTest::newRow("alarm's own UID after it")
        << QByteArray(
               "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nBEGIN:VALARM\r\nUID:alarm\r\nEND:VALARM\r\n"
               "UID:event\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        << "event";
    QTest::newRow("time zone first")
        << QByteArray(
               "BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Asia/Shanghai\r\nEND:VTIMEZONE\r\n"
               "BEGIN:VEVENT\r\nUID:e\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        << "e";
    QTest::newRow("none") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:UID:x\r\n"
                                        "END:VEVENT\r\nEND:VCALENDAR\r\n")
                          << "";
    QTest::newRow("garbage") << QByteArray("\x00\xff:::\n") << "";
}

void TestDavXml::uidOfAnObject()
{
    QFETCH(QByteArray, ics);
    QFETCH(QString, uid);
    QCOMPARE(Dav::uidOf(ics), uid);
}

void TestDavXml::resourceNames_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<bool>("asIs");
    QTest::newRow("safe") << "20260301-abc@brenwick" << true;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("dot first") << ".hidden" << false;
    QTest::newRow("dots") << ".." << false;
    QTest::newRow("chinese") << "日程-1" << false;
    QTest::newRow("blank") << "a b" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("long") << QString(300, QLatin1Char('a')) << false;
}

void TestDavXml::resourceNames()
{
    QFETCH(QString, uid);
    QFETCH(bool, asIs);
    const QString name = Dav::resourceNameFor(uid);
    QVERIFY(name.endsWith(QLatin1String(".ics")));
    QCOMPARE(name == uid + QStringLiteral(".ics"), asIs);
    QVERIFY(!name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')));
    QCOMPARE(Dav::resourceNameFor(uid), name); // the same every time
    if (!asIs)
        QVERIFY(name != Dav::resourceNameFor(uid + QLatin1Char('x')));
}

void TestDavXml::requestBodiesAreReadBack()
{
    // What we send is a well-formed document in the right namespaces, with
    // hrefs and tokens escaped.
    const QByteArray multiget =
        Dav::multigetBody({QStringLiteral("/c/a&b.ics"), QStringLiteral("/c/<x>.ics")});
    QXmlStreamReader r(multiget);
    QStringList hrefs;
    while (!r.atEnd())
        if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("href") &&
            r.namespaceUri() == Dav::davNs)
            hrefs << r.readElementText();
    QVERIFY(!r.hasError());
    QCOMPARE(hrefs, (QStringList{QStringLiteral("/c/a&b.ics"), QStringLiteral("/c/<x>.ics")}));

    QXmlStreamReader s(Dav::syncCollectionBody(QStringLiteral("http://x/ns/sync/1?a&b")));
    QString token;
    while (!s.atEnd())
        if (s.readNext() == QXmlStreamReader::StartElement &&
            s.name() == QLatin1String("sync-token"))
            token = s.readElementText();
    QVERIFY(!s.hasError());
    QCOMPARE(token, QStringLiteral("http://x/ns/sync/1?a&b"));

    for (const QByteArray& body :
         {Dav::etagQueryBody(), Dav::syncCollectionBody(QString()),
          Dav::propfindBody({{Dav::davNs, QStringLiteral("getetag")},
                             {Dav::calendarServerNs, QStringLiteral("getctag")}})}) {
        QXmlStreamReader x(body);
        while (!x.atEnd())
            x.readNext();
        QVERIFY2(!x.hasError(), body.constData());
    }
}

QTEST_GUILESS_MAIN(TestDavXml)
#include "tst_davxml.moc"
