#include "DavServers.h"
#include "platform/Database.h"
#include "platform/SingleInstance.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"

#include <QTemporaryDir>
#include <QtTest>

// The schedules of a real database synced with Radicale and Xandikos, the
// phone (python3-caldav) on the same calendar; the program's own writes come
// through a connection of their own, as the windows' would.
class TestScheduleSync : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void bothSidesConverge_data();
    void bothSidesConverge();
    void aFullSideMeetsAnEmptyOne();
    void aTroubledRoundConvergesNextTime_data();
    void aTroubledRoundConvergesNextTime();
    void aSeriesGoesBothWays_data() { bothSidesConverge_data(); }
    void aSeriesGoesBothWays();
    void theCommandLineRunsOneRound();
    void randomRoundsConverge();

private:
    std::unique_ptr<DavTestServer> m_radicale, m_xandikos;
    QTemporaryDir m_config;
};

namespace {

struct Setup {
    Setup(DavTestServer& s, const QString& name)
    {
        QVERIFY(dir.isValid());
        file = dir.filePath(QStringLiteral("assistant.mdb"));
        program.setSchema(Schema::schema());
        program.setCreatesMissingFile(true);
        program.setConnectionString(QStringLiteral("Data Source=") + file);
        calendar = s.makeCalendar(name, QStringLiteral("时雀"));
        round.database = file;
        round.account = s.account();
        round.collection = calendar;
        phone = Phone{calendar, s.user(), s.password()};
    }
    ~Setup() { program.closeFile(); }
    void add(const QString& title, int count = 1)
    {
        DbTransaction t(program);
        ScheduleData::ImportWriter writer(program);
        Schedule s;
        s.title = title;
        s.content = QStringLiteral("第一行\n第二行, 有; 标点");
        s.date = QDate(2026, 5, 4);
        s.time = QTime(9, 30);
        s.isTx = 1, s.txTime = 15, s.txTimeFlag = 0;
        for (int i = 0; i < count; ++i) {
            if (count > 1)
                s.title = title + QString::number(i);
            s.date = QDate(2026, 5, 4).addDays(i % 400);
            writer.append(s);
        }
        t.commit();
    }
    void sql(const QString& statement)
    {
        program.exec(statement);
        program.closeFile();
    }
    SyncReport sync()
    {
        program.closeFile();
        return runScheduleSync(round);
    }
    // "UID\tTITLE" of every schedule, sorted, as the phone lists its events.
    QStringList list()
    {
        DbQuery q(program);
        q.setSql(QStringLiteral("select u.uid, main.title from main join scheduleUid u"
                                " on u.schedule=main.id"));
        q.open();
        QStringList out;
        for (q.first(); !q.eof(); q.next())
            out << q.textField(QStringLiteral("uid")) + QLatin1Char('\t') +
                       q.textField(QStringLiteral("title"));
        q.close();
        program.closeFile();
        out.sort();
        return out;
    }
    QString uidOf(const QString& title)
    {
        for (const QString& row : list())
            if (row.section(QLatin1Char('\t'), 1) == title)
                return row.section(QLatin1Char('\t'), 0, 0);
        return QString();
    }

    QTemporaryDir dir;
    QString file;
    DbConnection program;
    QUrl calendar;
    ScheduleSyncRound round;
    Phone phone;
};

#define CONVERGED(setup)                                                                           \
    do {                                                                                           \
        const QStringList here = (setup).list(), there = (setup).phone.list();                     \
        QCOMPARE(here, there);                                                                     \
    } while (false)

#define ROUND_OK(report)                                                                           \
    QVERIFY2((report).ok(), qPrintable((report).text() + QLatin1Char(' ') + (report).error.detail))

} // namespace

void TestScheduleSync::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    m_radicale = std::make_unique<DavTestServer>(DavTestServer::Kind::Radicale);
    m_xandikos = std::make_unique<DavTestServer>(DavTestServer::Kind::Xandikos);
    QVERIFY(m_radicale->start());
    QVERIFY(m_xandikos->start());
}

void TestScheduleSync::cleanupTestCase()
{
    m_radicale.reset();
    m_xandikos.reset();
}

void TestScheduleSync::bothSidesConverge_data()
{
    QTest::addColumn<bool>("radicale");
    QTest::newRow("radicale") << true;
    QTest::newRow("xandikos") << false;
}

void TestScheduleSync::bothSidesConverge()
{
    QFETCH(bool, radicale);
    Setup s(radicale ? *m_radicale : *m_xandikos, QStringLiteral("schedules"));
    for (const char* title : {"晨会", "评审", "出差", "体检"})
        s.add(QString::fromUtf8(title));
    s.phone.run({QStringLiteral("put"), QStringLiteral("p1"), QStringLiteral("手机一"),
                 QStringLiteral("put"), QStringLiteral("p2"), QStringLiteral("手机二")});

    SyncReport r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded, 4);
    QCOMPARE(r.downloaded, 2);
    CONVERGED(s);
    // The texts and the lead went up as they are.
    const QString meeting = s.phone.run({QStringLiteral("get"), s.uidOf(QStringLiteral("晨会"))});
    QVERIFY2(meeting.contains(QStringLiteral("DESCRIPTION:第一行\\n第二行\\, 有\\; 标点")),
             qPrintable(meeting));
    QVERIFY2(meeting.contains(QStringLiteral("TRIGGER:-PT15M")), qPrintable(meeting));

    // Nothing changed: nothing moves.
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded + r.downloaded + r.deletedLocal + r.deletedRemote, 0);

    // Each side adds, changes and deletes; this side by plain statements,
    // as a purge or a tree command would.
    s.phone.run({QStringLiteral("put"), QStringLiteral("p1"), QStringLiteral("手机一改"),
                 QStringLiteral("put"), QStringLiteral("p3"), QStringLiteral("手机三"),
                 QStringLiteral("del"), QStringLiteral("p2")});
    s.sql(QStringLiteral("update main set title='评审改' where title='评审'"));
    s.sql(QStringLiteral("delete from main where title='出差'"));
    s.add(QStringLiteral("新的"));
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.downloaded, 2);
    QCOMPARE(r.deletedLocal, 1);
    QCOMPARE(r.uploaded, 2);
    QCOMPARE(r.deletedRemote, 1);
    CONVERGED(s);

    // A title changed here keeps what only the phone's event holds.
    s.sql(QStringLiteral("update main set title='本机改手机一', zt_flag=2 where title='手机一改'"));
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded, 1);
    const QString p1 = s.phone.run({QStringLiteral("get"), QStringLiteral("p1")});
    for (const char* kept : {"SUMMARY:本机改手机一", "LOCATION:会议室 B", "X-PHONE-ONLY:kept",
                             "DTSTART:20260301T090000Z", "X-BRENWICK-STATUS:2"})
        QVERIFY2(p1.contains(QString::fromUtf8(kept)), qPrintable(kept + QLatin1Char('\n') + p1));
    CONVERGED(s);

    // Both change one: the server's wins, this side's is kept beside it.
    const QString checkup = s.uidOf(QStringLiteral("体检"));
    s.phone.run({QStringLiteral("put"), checkup, QStringLiteral("手机的体检")});
    s.sql(QStringLiteral("update main set title='本机的体检' where title='体检'"));
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.conflicts.size(), 1);
    QVERIFY(r.text().contains(QStringLiteral("〔冲突〕")));
    QCOMPARE(s.uidOf(QStringLiteral("手机的体检")), checkup);
    QVERIFY(!s.uidOf(QStringLiteral("〔冲突〕本机的体检")).isEmpty());
    r = s.sync();
    ROUND_OK(r);
    CONVERGED(s);
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded + r.downloaded + r.deletedLocal + r.deletedRemote, 0);
}

void TestScheduleSync::aFullSideMeetsAnEmptyOne()
{
    // A full side's schedules go up in the first round; a second database
    // on the same calendar takes them all down in its first; neither has
    // anything to do after. Three hundred here: the server's cost of a new
    // object grows with the collection (200 take 16 s, 500 take 52 s);
    // BRENWICK_SYNC_FULL=10000 for the size of a long-kept calendar.
    const int asked = qEnvironmentVariableIntValue("BRENWICK_SYNC_FULL");
    const int count = asked > 0 ? asked : 300;
    Setup full(*m_xandikos, QStringLiteral("full"));
    full.add(QStringLiteral("日程"), count);
    SyncReport r = full.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded, count);
    QTemporaryDir other;
    QVERIFY(other.isValid());
    ScheduleSyncRound second = full.round;
    second.database = other.filePath(QStringLiteral("assistant.mdb"));
    {
        DbConnection empty;
        empty.setSchema(Schema::schema());
        empty.setCreatesMissingFile(true);
        empty.setConnectionString(QStringLiteral("Data Source=") + second.database);
        empty.exec(QStringLiteral("select 1"));
        empty.closeFile();
    }
    r = runScheduleSync(second);
    ROUND_OK(r);
    QCOMPARE(r.downloaded, count);
    for (const ScheduleSyncRound& round : {full.round, second}) {
        r = runScheduleSync(round);
        ROUND_OK(r);
        QCOMPARE(r.uploaded + r.downloaded + r.deletedLocal + r.deletedRemote, 0);
        QVERIFY(!r.fullListing);
    }
    DbConnection check;
    check.setSchema(Schema::schema());
    check.setConnectionString(QStringLiteral("Data Source=") + second.database);
    DbQuery q(check);
    q.setSql(QStringLiteral("select u.uid, main.title from main join scheduleUid u"
                            " on u.schedule=main.id"));
    q.open();
    QStringList there;
    for (q.first(); !q.eof(); q.next())
        there << q.textField(QStringLiteral("uid")) + QLatin1Char('\t') +
                     q.textField(QStringLiteral("title"));
    q.close();
    check.closeFile();
    there.sort();
    QCOMPARE(there, full.list());
}

void TestScheduleSync::aTroubledRoundConvergesNextTime_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::newRow("the connection cut mid-round") << "cut";
    QTest::newRow("the server restarted between rounds") << "restart";
    QTest::newRow("a token the server has forgotten") << "token";
}

void TestScheduleSync::aTroubledRoundConvergesNextTime()
{
    // Each side changes between two rounds; the database keeps what a round
    // did up to the trouble, and the next round puts both sides in step.
    QFETCH(QString, trouble);
    DavTestServer& server = trouble == QLatin1String("token") ? *m_radicale : *m_xandikos;
    TestProxy proxy(server.port());
    Setup s(server, QStringLiteral("trouble-") + trouble);
    s.round.account.server.setPort(proxy.port());
    s.round.collection.setPort(proxy.port());
    s.add(QStringLiteral("本机"), 6);
    ROUND_OK(s.sync());
    s.phone.run({QStringLiteral("put"), s.uidOf(QStringLiteral("本机0")), QStringLiteral("手机改"),
                 QStringLiteral("put"), QStringLiteral("p1"), QStringLiteral("手机新"),
                 QStringLiteral("del"), s.uidOf(QStringLiteral("本机1"))});
    s.sql(QStringLiteral("update main set title='本机改' where title='本机2'"));
    s.sql(QStringLiteral("delete from main where title='本机3'"));
    s.add(QStringLiteral("新的"), 3);
    if (trouble == QLatin1String("cut")) {
        proxy.cutAnswer = 4; // among the writes, and every answer after it
        proxy.cutRun = 1000;
        QVERIFY(!s.sync().ok());
        proxy.cutAnswer = 0;
    } else if (trouble == QLatin1String("restart")) {
        QVERIFY(server.restart());
    } else {
        QVERIFY(server.forgetSyncTokens());
    }
    SyncReport r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.fullListing, trouble == QLatin1String("token"));
    CONVERGED(s);
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded + r.downloaded + r.deletedLocal + r.deletedRemote, 0);
}

void TestScheduleSync::aSeriesGoesBothWays()
{
    QFETCH(bool, radicale);
    Setup s(radicale ? *m_radicale : *m_xandikos, QStringLiteral("series"));
    // Every week from next week, six times, as the phone adds it.
    const QDate first = QDate::currentDate().addDays(7);
    const auto at = [&](int week, int hour = 1) {
        return first.addDays(7 * week).toString(QStringLiteral("yyyyMMdd")) +
               QStringLiteral("T%1Z").arg(hour * 10000, 6, 10, QLatin1Char('0'));
    };
    const auto occurrence = [&](int week) {
        return QStringLiteral(" where id=(select schedule from scheduleUid where uid='w1'"
                              " and recurrenceId=':%1')")
            .arg(at(week));
    };
    s.phone.run({QStringLiteral("series"), QStringLiteral("w1"), QStringLiteral("周会"),
                 first.toString(QStringLiteral("yyyyMMdd"))});
    s.sql(QStringLiteral("select 1")); // the program's file, empty
    SyncReport r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.downloaded, 1);
    QCOMPARE(s.list().count(QStringLiteral("w1\t周会")), 6);

    // One occurrence moved and renamed here, one removed: an override and an
    // EXDATE in the phone's series, with what only the phone's event holds.
    s.sql(QStringLiteral("update main set title='周会改期', rc_time=rc_time+1.0/24") +
          occurrence(1));
    s.sql(QStringLiteral("delete from main") + occurrence(2));
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded, 1);
    const QStringList seen = s.phone.run({QStringLiteral("occurrences"), QStringLiteral("w1")})
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(seen.size(), 5);
    QVERIFY2(seen.contains(at(0) + QStringLiteral("\t周会")), qPrintable(seen.join('\n')));
    QVERIFY2(seen.contains(at(1, 2) + QStringLiteral("\t周会改期")), qPrintable(seen.join('\n')));
    QVERIFY(!seen.join(QLatin1Char('\n')).contains(at(2)));
    const QString text = s.phone.run({QStringLiteral("get"), QStringLiteral("w1")});
    QVERIFY2(text.contains(QStringLiteral("X-PHONE-ONLY:kept")), qPrintable(text));
    QCOMPARE(text.count(QStringLiteral("RRULE")), 1);
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.uploaded + r.downloaded, 0);

    // The phone renames the series: its occurrences follow, the one changed
    // here keeps its own; deleted there, it is gone here.
    s.phone.run({QStringLiteral("put"), QStringLiteral("w1"), QStringLiteral("例会")});
    r = s.sync();
    ROUND_OK(r);
    QCOMPARE(r.downloaded, 1);
    QCOMPARE(s.list().count(QStringLiteral("w1\t例会")), 4);
    QCOMPARE(s.list().count(QStringLiteral("w1\t周会改期")), 1);
    s.phone.run({QStringLiteral("del"), QStringLiteral("w1")});
    r = s.sync();
    ROUND_OK(r);
    QVERIFY(s.list().isEmpty());
}

void TestScheduleSync::theCommandLineRunsOneRound()
{
    Setup s(*m_radicale, QStringLiteral("command"));
    s.add(QStringLiteral("命令行"));
    {
        Settings::Writer w(true);
        w.string(Settings::syncServer, s.round.account.server.toString());
        w.string(Settings::syncUser, s.round.account.user);
        w.string(Settings::syncCalendar, s.calendar.toString());
    }
    s.program.closeFile();
    auto run = [&](QString* out) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRENWICK_SYNC_PASSWORD"), s.round.account.password);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("BRENWICK_ICS"),
                {QStringLiteral("sync"), QStringLiteral("--database"), s.file});
        if (!p.waitForFinished(60000))
            return -1;
        *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    };
    QString out;
    {
        // The program runs on that database: the round is refused, nothing moves.
        SingleInstance program(QStringLiteral("时雀"), s.file, QString());
        QVERIFY(program.tryBecomePrimary());
        QCOMPARE(run(&out), 1);
        QVERIFY2(out.contains(QStringLiteral("时雀正在运行")), qPrintable(out));
        QVERIFY(s.phone.list().isEmpty());
    }
    QCOMPARE(run(&out), 0);
    QCOMPARE(out, QStringLiteral("同步完成：上传 1 项\n"));
    CONVERGED(s);
}

void TestScheduleSync::randomRoundsConverge()
{
    // Random adds, changes and deletes on both sides, the same ones every
    // run; after each round both hold the same events, none twice. A longer
    // run: BRENWICK_SYNC_ROUNDS=2000 BRENWICK_SYNC_SEED=<n>.
    Setup s(*m_xandikos, QStringLiteral("random"));
    const int rounds = qEnvironmentVariableIntValue("BRENWICK_SYNC_ROUNDS");
    const int seed = qEnvironmentVariableIntValue("BRENWICK_SYNC_SEED");
    QRandomGenerator random(seed ? quint32(seed) : 20261209u);
    int made = 0;
    QStringList there = s.phone.list();
    for (int round = 0; round < (rounds > 0 ? rounds : 100); ++round) {
        const QStringList here = s.list();
        for (int n = random.bounded(4); n > 0; --n) {
            const int what = random.bounded(3);
            if (what == 0 || here.isEmpty()) {
                s.add(QStringLiteral("本机%1").arg(++made));
                continue;
            }
            const QString uid =
                here[int(random.bounded(here.size()))].section(QLatin1Char('\t'), 0, 0);
            const QString where = QStringLiteral(" where id=(select schedule from scheduleUid"
                                                 " where uid='%1')")
                                      .arg(uid);
            s.sql(what == 1 ? QStringLiteral("update main set title='本机改%1'").arg(++made) + where
                            : QStringLiteral("delete from main") + where);
        }
        QStringList phone;
        for (int n = random.bounded(4); n > 0; --n) {
            const int what = random.bounded(3);
            if (what == 0 || there.isEmpty()) {
                ++made;
                phone << QStringLiteral("put") << QStringLiteral("phone-%1").arg(made)
                      << QStringLiteral("手机%1").arg(made);
                continue;
            }
            const QString uid =
                there[int(random.bounded(there.size()))].section(QLatin1Char('\t'), 0, 0);
            if (what == 1)
                phone << QStringLiteral("put") << uid << QStringLiteral("手机改%1").arg(++made);
            else
                phone << QStringLiteral("del") << uid;
        }
        if (!phone.isEmpty())
            s.phone.run(phone);
        SyncReport r = s.sync();
        ROUND_OK(r);
        if (!r.conflicts.isEmpty()) { // the copies go up in the next round
            r = s.sync();
            ROUND_OK(r);
        }
        const QStringList after = s.list();
        there = s.phone.list();
        QVERIFY2(after == there, qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(QSet<QString>(after.cbegin(), after.cend()).size(), after.size());
    }
}

QTEST_GUILESS_MAIN(TestScheduleSync)
#include "tst_schedulesync.moc"
