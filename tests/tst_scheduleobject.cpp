#include "exchange/ScheduleObject.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Database.h"
#include "shell/data/Schema.h"
#include "syncside/ScheduleSyncSide.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(Schedule)

// The mapping the sync shares with the exchange: a schedule written and read
// back is the same schedule, and a server's object takes only what changed.
class TestScheduleObject : public QObject {
    Q_OBJECT
private slots:
    void aWrittenScheduleReadsBackTheSame_data();
    void aWrittenScheduleReadsBackTheSame();
    void onlyWhatChangedIsWrittenIntoTheServersObject_data();
    void onlyWhatChangedIsWrittenIntoTheServersObject();
    void recurringEventsShowNoSchedule();
    void occurrencesChangedHereGoIntoTheSeries_data();
    void occurrencesChangedHereGoIntoTheSeries();
    void conflictTitlesKeepToTheLimit();
    void theScheduleSideInADatabase();
};

namespace {
Schedule schedule()
{
    Schedule s;
    s.title = QStringLiteral("周会, 三楼; 带电脑");
    s.content = QStringLiteral("第一行\n第二行\\末尾");
    s.date = QDate(2026, 3, 29); // the day Berlin changes to summer time
    s.time = QTime(9, 30);
    s.yxj = 1;
    s.ztFlag = 1;
    return s;
}

// The phone's event: what the schedules cannot show is around every mapped line.
const QByteArray phoneEvent =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n"
    "BEGIN:VEVENT\r\nUID:phone-1\r\nDTSTAMP:20260101T000000Z\r\n"
    "DTSTART:20260301T010000Z\r\nDTEND:20260301T023000Z\r\n"
    "SUMMARY:原来的\r\nLOCATION:会议室 B\r\n"
    "ATTENDEE;CN=王五:mailto:w@example.com\r\nX-OTHER;P=1:别动\r\n"
    "DESCRIPTION:" +
    QByteArray(120, 'x') + "很长的内容" + QByteArray(120, 'y') +
    "\r\n"
    "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT1H\r\nEND:VALARM\r\n"
    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT10M\r\nDESCRIPTION:提醒\r\nEND:VALARM\r\n"
    "END:VEVENT\r\nEND:VCALENDAR\r\n";

QString unfolded(const QByteArray& ics)
{
    return QString::fromUtf8(QByteArray(ics).replace("\r\n ", ""));
}

// The phone's event every week, with an override of its second occurrence.
QByteArray weekly(const QByteArray& uid = "weekly")
{
    QByteArray out = phoneEvent;
    out.replace("UID:phone-1", "UID:" + uid)
        .replace("SUMMARY:", "RRULE:FREQ=WEEKLY;COUNT=4\r\nSEQUENCE:2\r\nSUMMARY:");
    out.replace("END:VCALENDAR\r\n",
                "BEGIN:VEVENT\r\nUID:" + uid +
                    "\r\nRECURRENCE-ID:20260308T010000Z\r\nDTSTART:20260308T020000Z\r\n"
                    "DURATION:PT1H\r\nSUMMARY:改过的\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    return out;
}
} // namespace

void TestScheduleObject::aWrittenScheduleReadsBackTheSame_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<Schedule>("s");
    for (const char* zone : {"Asia/Shanghai", "Europe/Berlin", "America/New_York", "UTC"}) {
        const QByteArray z(zone);
        Schedule s = schedule();
        QTest::addRow("%s plain", zone) << z << s;
        s.ztFlag = 2, s.bz = QStringLiteral("备注\n两行"), s.yxj = 0;
        QTest::addRow("%s in progress, noted", zone) << z << s;
        s.isTx = 1, s.txTime = 2, s.txTimeFlag = 1, s.ztFlag = 4, s.yxj = 2;
        QTest::addRow("%s cancelled, lead in hours", zone) << z << s;
        s.txTime = 3, s.txTimeFlag = 2, s.time = QTime(2, 30, 15);
        QTest::addRow("%s lead in days, in the gap", zone) << z << s;
        s.txTime = 0, s.txTimeFlag = 0, s.content.clear(), s.title.clear();
        QTest::addRow("%s lead of nothing, empty texts", zone) << z << s;
    }
}

void TestScheduleObject::aWrittenScheduleReadsBackTheSame()
{
    QFETCH(QByteArray, zone);
    QFETCH(Schedule, s);
    const QByteArray fresh = Exchange::objectOf(s, QStringLiteral("u-1@brenwick"), {}, zone);
    const std::optional<Schedule> back = Exchange::scheduleOf(fresh, zone);
    QVERIFY2(back, fresh.constData());
    QCOMPARE(back->title, s.title);
    QCOMPARE(back->date, s.date);
    QCOMPARE(back->time, s.time);
    QCOMPARE(Exchange::fieldsHash(*back), Exchange::fieldsHash(s));
    // Written into an object that already holds it, nothing changes.
    QCOMPARE(Exchange::objectOf(s, QStringLiteral("u-1@brenwick"), fresh, zone), fresh);
}

void TestScheduleObject::onlyWhatChangedIsWrittenIntoTheServersObject_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QStringList foreign{QStringLiteral("LOCATION:会议室 B"),
                              QStringLiteral("ATTENDEE;CN=王五:mailto:w@example.com"),
                              QStringLiteral("X-OTHER;P=1:别动"),
                              QStringLiteral("ACTION:AUDIO\r\nTRIGGER:-PT1H")};
    const QString description = QStringLiteral("DESCRIPTION:") + QString(120, QLatin1Char('x')) +
                                QStringLiteral("很长的内容") + QString(120, QLatin1Char('y'));
    QTest::newRow("title") << "title"
                           << foreign + QStringList{QStringLiteral("SUMMARY:新标题"),
                                                    description,
                                                    QStringLiteral("DTSTART:20260301T010000Z"),
                                                    QStringLiteral("DTEND:20260301T023000Z"),
                                                    QStringLiteral("TRIGGER:-PT10M"),
                                                    QStringLiteral("SEQUENCE:1")}
                           << QStringList{QStringLiteral("SUMMARY:原来的"),
                                          QStringLiteral("PRIORITY"), QStringLiteral("STATUS"),
                                          QStringLiteral("DTSTAMP:20260101T000000Z")};
    QTest::newRow("moved a day: the end keeps its length")
        << "date"
        << foreign + QStringList{QStringLiteral("DTSTART;TZID=Asia/Shanghai:20260302T090000"),
                                 QStringLiteral("DTEND;TZID=Asia/Shanghai:20260302T103000"),
                                 QStringLiteral("BEGIN:VTIMEZONE"), description}
        << QStringList{QStringLiteral("DTSTART:2026"), QStringLiteral("DTEND:2026")};
    QTest::newRow("reminder off: the other alarm stays")
        << "reminder" << foreign + QStringList{description}
        << QStringList{QStringLiteral("ACTION:DISPLAY"), QStringLiteral("TRIGGER:-PT10M")};
    QTest::newRow("status") << "status"
                            << foreign + QStringList{QStringLiteral("STATUS:CONFIRMED"),
                                                     QStringLiteral("X-BRENWICK-STATUS:3"),
                                                     description}
                            << QStringList{QStringLiteral("SUMMARY:新标题")};
}

void TestScheduleObject::onlyWhatChangedIsWrittenIntoTheServersObject()
{
    QFETCH(QString, change);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QByteArray zone("Asia/Shanghai");
    std::optional<Schedule> s = Exchange::scheduleOf(phoneEvent, zone);
    QVERIFY(s);
    // The long content is cut in the schedule, never in the object.
    QCOMPARE(Cp936::byteLength(s->content), 200);
    QCOMPARE(s->time, QTime(9, 0));
    QCOMPARE(s->isTx, 1);
    QCOMPARE(s->txTime, 10);
    if (change == QLatin1String("title"))
        s->title = QStringLiteral("新标题");
    else if (change == QLatin1String("date"))
        s->date = s->date.addDays(1);
    else if (change == QLatin1String("reminder"))
        s->isTx = 0;
    else
        s->ztFlag = 3;
    const QString out =
        unfolded(Exchange::objectOf(*s, QStringLiteral("phone-1"), phoneEvent, zone));
    for (const QString& p : present)
        QVERIFY2(out.contains(p), qPrintable(p + QStringLiteral(" missing in\n") + out));
    for (const QString& a : absent)
        QVERIFY2(!out.contains(a), qPrintable(a + QStringLiteral(" left in\n") + out));
    const std::optional<Schedule> back = Exchange::scheduleOf(out.toUtf8(), zone);
    QVERIFY(back);
    QCOMPARE(Exchange::fieldsHash(*back), Exchange::fieldsHash(*s));
}

void TestScheduleObject::recurringEventsShowNoSchedule()
{
    QByteArray weekly = phoneEvent;
    weekly.replace("SUMMARY:", "RRULE:FREQ=WEEKLY\r\nSUMMARY:");
    QVERIFY(Exchange::isRecurring(weekly));
    QVERIFY(!Exchange::scheduleOf(weekly));
    QVERIFY(!Exchange::isRecurring(phoneEvent));
    QVERIFY(!Exchange::scheduleOf("not a calendar"));
}

void TestScheduleObject::occurrencesChangedHereGoIntoTheSeries_data()
{
    QTest::addColumn<QString>("rid");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("title"); // empty: as the series gives it
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QStringList kept{QStringLiteral("LOCATION:会议室 B"), QStringLiteral("X-OTHER;P=1:别动"),
                           QStringLiteral("RRULE:FREQ=WEEKLY;COUNT=4")};
    QTest::newRow("nothing changed")
        << ":20260315T010000Z" << false << QString() << kept
        << QStringList{QStringLiteral("EXDATE"), QStringLiteral("SEQUENCE:3")};
    QTest::newRow("removed: an EXDATE, the next revision")
        << ":20260315T010000Z" << true << QString()
        << kept + QStringList{QStringLiteral("EXDATE:20260315T010000Z"),
                              QStringLiteral("SEQUENCE:3"), QStringLiteral("SUMMARY:改过的")}
        << QStringList{QStringLiteral("SEQUENCE:2")};
    QTest::newRow("an override removed goes with its occurrence")
        << ":20260308T010000Z" << true << QString()
        << kept + QStringList{QStringLiteral("EXDATE:20260308T010000Z")}
        << QStringList{QStringLiteral("SUMMARY:改过的"), QStringLiteral("RECURRENCE-ID")};
    QTest::newRow("changed: an override from the series' event, its length kept")
        << ":20260322T010000Z" << false << QStringLiteral("只改这次")
        << kept + QStringList{QStringLiteral("RECURRENCE-ID:20260322T010000Z"),
                              QStringLiteral("DTSTART:20260322T010000Z"),
                              QStringLiteral("DURATION:PT5400S"),
                              QStringLiteral("SUMMARY:只改这次"),
                              QStringLiteral("ATTENDEE;CN=王五:mailto:w@example.com")}
        << QStringList{QStringLiteral("EXDATE")};
    QTest::newRow("the server's override patched in place")
        << ":20260308T010000Z" << false << QStringLiteral("再改")
        << kept + QStringList{QStringLiteral("RECURRENCE-ID:20260308T010000Z"),
                              QStringLiteral("DTSTART:20260308T020000Z"),
                              QStringLiteral("SUMMARY:再改")}
        << QStringList{QStringLiteral("SUMMARY:改过的"), QStringLiteral("EXDATE")};
}

void TestScheduleObject::occurrencesChangedHereGoIntoTheSeries()
{
    QFETCH(QString, rid);
    QFETCH(bool, removed);
    QFETCH(QString, title);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QByteArray zone("Asia/Shanghai");
    const QByteArray kept = weekly();
    Exchange::Occurrence o{rid, std::nullopt, !title.isEmpty()};
    if (!removed) {
        // The occurrence as the series (or its override) gives it, and the change.
        Schedule s = *Exchange::scheduleOf(phoneEvent, zone);
        s.date = QDate::fromString(rid.mid(1, 8), QStringLiteral("yyyyMMdd"));
        if (rid.startsWith(QLatin1String(":20260308"))) {
            s.title = QStringLiteral("改过的"), s.time = QTime(10, 0);
            s.content.clear(), s.isTx = 0, s.yxj = 1;
        }
        if (!title.isEmpty())
            s.title = title;
        o.schedule = s;
    }
    const QByteArray made = Exchange::seriesObjectOf(kept, QStringLiteral("weekly"), {o}, zone);
    if (!removed && title.isEmpty()) {
        QCOMPARE(made, kept);
        return;
    }
    const QString out = unfolded(made);
    for (const QString& p : present)
        QVERIFY2(out.contains(p), qPrintable(p + QStringLiteral(" missing in\n") + out));
    for (const QString& a : absent)
        QVERIFY2(!out.contains(a), qPrintable(a + QStringLiteral(" left in\n") + out));
    QCOMPARE(out.count(QStringLiteral("RRULE")), 1);
    // Written once, it stays as it is: the same change finds nothing more to write.
    QCOMPARE(Exchange::seriesObjectOf(made, QStringLiteral("weekly"), {o}, zone), made);
}

void TestScheduleObject::conflictTitlesKeepToTheLimit()
{
    QCOMPARE(ScheduleSyncSide::conflictTitle(QStringLiteral("体检")),
             QStringLiteral("〔冲突〕体检"));
    const QString cut = ScheduleSyncSide::conflictTitle(QString(15, QChar(0x4F1A)));
    QCOMPARE(Cp936::byteLength(cut), 30);
    QVERIFY(cut.startsWith(QStringLiteral("〔冲突〕")));
}

void TestScheduleObject::theScheduleSideInADatabase()
{
    QTemporaryDir dir;
    DbConnection c;
    c.setSchema(Schema::schema());
    c.setCreatesMissingFile(true);
    c.setConnectionString(QStringLiteral("Data Source=") + dir.filePath(QStringLiteral("a.mdb")));
    ScheduleSyncSide local(c, "Asia/Shanghai");
    {
        ScheduleSyncStatus status(c, QStringLiteral("http://a/cal/"));
        status.put({QStringLiteral("u"), QStringLiteral("/cal/u.ics"), QStringLiteral("e"), "h"});
        status.setToken(QStringLiteral("t1"));
    }
    // The phone's event becomes a schedule; a change by any statement shows.
    const QByteArray hash = local.write(QStringLiteral("phone-1"), phoneEvent);
    QCOMPARE(local.items().size(), 1);
    QCOMPARE(local.items().constFirst().hash, hash);
    QCOMPARE(local.hashOf(local.read(QStringLiteral("phone-1"))), hash);
    c.exec(QStringLiteral("update main set yxj=0"));
    QVERIFY(local.items().constFirst().hash != hash);
    QVERIFY(local.read(QStringLiteral("phone-1")).contains("PRIORITY:1"));
    // A recurring one: a schedule per occurrence from today (the first is
    // past), the item its object with what was done here to them.
    Clock::setNow(QDateTime(QDate(2026, 3, 2), QTime(8, 0)));
    const QString uid = QStringLiteral("weekly");
    const QByteArray series = weekly();
    QCOMPARE(local.write(uid, series), local.hashOf(series));
    const auto occurrence = [&](const char* rid) {
        return QStringLiteral("(select schedule from scheduleUid where uid='weekly'"
                              " and recurrenceId=':%1')")
            .arg(QLatin1String(rid));
    };
    const auto occurrences = [&] {
        DbQuery q(c);
        q.setSql(QStringLiteral("select count(*) as n from scheduleUid where uid='weekly'"));
        q.open();
        return q.intField(QStringLiteral("n"));
    };
    QCOMPARE(occurrences(), 3);
    QCOMPARE(local.items().size(), 2);
    QCOMPARE(local.read(uid), series);
    c.exec(QStringLiteral("update main set title='只改这次' where id=") +
           occurrence("20260315T010000Z"));
    c.exec(QStringLiteral("delete from main where id=") + occurrence("20260322T010000Z"));
    const QByteArray edited = local.read(uid);
    QVERIFY(edited.contains("EXDATE:20260322T010000Z"));
    QVERIFY(unfolded(edited).contains(QStringLiteral("RECURRENCE-ID:20260315T010000Z")));
    QCOMPARE(local.items().constLast().hash, local.hashOf(edited));
    // Once the server has it, it is what the next changes patch.
    local.uploaded(uid, edited);
    QCOMPARE(local.read(uid), edited);
    // A conflict keeps the occurrence changed here alone.
    const QStringList copies = local.keepConflictCopies(uid);
    QCOMPARE(copies.size(), 1);
    QCOMPARE(occurrences(), 2);
    Clock::reset();
    local.remove(QStringLiteral("phone-1"));
    local.remove(uid);
    QCOMPARE(occurrences(), 0);
    QCOMPARE(local.items().size(), 1); // the conflict copy

    // The records hold for one collection: another one starts afresh.
    QCOMPARE(ScheduleSyncStatus(c, QStringLiteral("http://a/cal/")).token(), QStringLiteral("t1"));
    ScheduleSyncStatus other(c, QStringLiteral("http://b/cal/"));
    QVERIFY(other.statuses().isEmpty());
    QVERIFY(other.token().isEmpty());

    // A round stopped (the program quits) stops at the next item.
    std::atomic_bool cancel{true};
    ScheduleSyncSide stopped(c, "Asia/Shanghai", &cancel);
    QVERIFY_THROWS_EXCEPTION(AppError, stopped.items());
    c.closeFile();
}

QTEST_GUILESS_MAIN(TestScheduleObject)
#include "tst_scheduleobject.moc"
