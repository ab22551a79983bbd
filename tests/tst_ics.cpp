#include "DatabaseFixtures.h"
#include "TestSupport.h"
#include "exchange/Calendar.h"
#include "exchange/Zones.h"
#include "platform/AppError.h"
#include "platform/DatabaseBackup.h"
#include "platform/SingleInstance.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"
#include "shell/data/dataForm.h"
#include "tools/ics/Restore.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <fcntl.h>
#include <libical/ical.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Schedule)

// brenwick-ics: schedules to iCalendar and back, calendar files of other
// programs, broken files, and the restore of a backup.
class TestIcs : public QObject {
    Q_OBJECT
private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }
    void roundTripGivesTheSameEvents_data();
    void roundTripGivesTheSameEvents();
    void exportIsWrittenAsItIsMade();
    void vtimezoneAgreesWithTheZone_data();
    void vtimezoneAgreesWithTheZone();
    void filesOfOtherPrograms_data();
    void filesOfOtherPrograms();
    void lineEndsOfEveryKind_data();
    void lineEndsOfEveryKind();
    void recurringEventsStopAtTheHorizon_data();
    void recurringEventsStopAtTheHorizon();
    void longTextsAreCutAtACharacter();
    void anEventImportedBeforeIsNotAddedAgain();
    void anExportIsKnownWhereverTheFileGoes();
    void anOldExportIsKnownInTheMovedFile_data();
    void anOldExportIsKnownInTheMovedFile();
    void aSeriesGoesBackAsItCame();
    void otherCalendarScales_data();
    void otherCalendarScales();
    void aBrokenFileAddsNothing_data();
    void aBrokenFileAddsNothing();
    void theProgramOnTheCommandLine();
    void olderAndNewerFilesOnTheCommandLine();
    void restoreKeepsTheCurrentFile();
    void restoreIsRefusedWhileTheProgramRuns_data();
    void restoreIsRefusedWhileTheProgramRuns();
    void restoreIsOneStep_data();
    void restoreIsOneStep();
    void restoreAndTheOldJournal_data();
    void restoreAndTheOldJournal();
    void importReadsPipesButNoDevice_data();
    void importReadsPipesButNoDevice();
    void exportsAreTheUsersAlone_data();
    void exportsAreTheUsersAlone();
    void aDamagedBackupIsRefused_data();
    void aDamagedBackupIsRefused();

private:
    std::unique_ptr<TestEnvironment> env;
};

namespace {
const QDate today(2026, 3, 31);

// A database of its own with its data module.
struct Db {
    explicit Db(const QString& file)
        : path(file)
    {
        module.ADOConnection1.setConnectionString(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path);
        use();
    }
    void use() { DataModule1 = &module; }
    QString path;
    TDataModule1 module;
    DbQuery q{module.ADOConnection1};
};

Schedule schedule(const QString& title, const QDate& date, const QTime& time, int yxj = 1,
                  int zt = 1, int isTx = 0, int txTime = 10, int unit = 0)
{
    Schedule s;
    s.title = title;
    s.date = date;
    s.time = time;
    s.yxj = yxj;
    s.ztFlag = zt;
    s.isTx = isTx;
    s.txTime = txTime;
    s.txTimeFlag = unit;
    return s;
}

QString rowOf(const Schedule& s)
{
    return QStringLiteral("%1 %2|%3|%4|%5|%6|%7|%8|%9|%10")
        .arg(s.date.toString(Qt::ISODate), s.time.toString(QStringLiteral("HH:mm:ss")), s.title,
             s.content)
        .arg(s.yxj)
        .arg(s.ztFlag)
        .arg(s.isTx)
        .arg(s.txTime)
        .arg(s.txTimeFlag)
        .arg(s.bz);
}

// Every schedule, in date order, as one line of text each.
QStringList rowsOf(Db& db)
{
    QStringList out;
    ScheduleData::forEachForExport(db.q, std::nullopt, std::nullopt,
                                   [&](const Schedule& s) { out << rowOf(s); });
    return out;
}

Ics::Imported importInto(Db& db, const QByteArray& text, const QByteArray& zone = "Asia/Shanghai",
                         const QDate& on = today)
{
    db.use();
    Ics::ImportOptions o;
    o.today = on;
    o.localZone = zone;
    DbTransaction transaction(db.module.ADOConnection1);
    const Ics::Imported result = Ics::importCalendar(text, db.q, o);
    db.q.close();
    transaction.commit();
    return result;
}

QByteArray exportOf(Db& db, const QByteArray& zone = "Asia/Shanghai")
{
    db.use();
    Ics::ExportOptions o;
    o.databaseKey = Ics::databaseKey(db.path);
    o.localZone = zone;
    QByteArray text;
    Ics::exportCalendar(db.q, o, [&](QByteArrayView piece) {
        text += piece;
        return true;
    });
    return text;
}

// The events of an export without what differs from one database and one
// moment to the next.
QByteArray eventsOf(QByteArray text)
{
    static const QRegularExpression varying(QStringLiteral("^(UID|DTSTAMP):.*\\r\\n"),
                                            QRegularExpression::MultilineOption);
    return QString::fromUtf8(text).remove(varying).toUtf8();
}

// A calendar file as other programs write them: CR LF line ends.
QByteArray calendar(QByteArray body)
{
    body = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example Corp//Calendar 1.0//EN\n" + body +
           "END:VCALENDAR\n";
    return body.replace("\r\n", "\n").replace("\n", "\r\n");
}

// How many schedules the file at path holds.
qsizetype scheduleCount(const QString& path)
{
    Db db(path);
    return rowsOf(db).size();
}

// A database with a schedule for each title of `kept`, backed up to backup,
// then one for each of `added`.
void withBackup(const QString& database, const QString& backup, const QStringList& kept,
                const QStringList& added = {})
{
    Db db(database);
    for (const QStringList* titles : {&kept, &added}) {
        for (const QString& title : *titles)
            ScheduleData::append(schedule(title, today, QTime(9, 0)));
        if (titles == &kept)
            DatabaseBackup::copy(database, backup);
    }
}

// brenwick-ics run with args; its exit code, what it wrote where asked.
int runTool(const QStringList& args, QByteArray* err = nullptr, QByteArray* out = nullptr,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(qEnvironmentVariable("BRENWICK_ICS"), args);
    if (!p.waitForFinished(60000))
        return -1;
    if (err)
        *err = p.readAllStandardError();
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitCode();
}

qint64 scalar(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

QStringList uids(const QByteArray& text)
{
    QStringList out;
    const QRegularExpression uid(QStringLiteral("^UID:(.*)\\r$"),
                                 QRegularExpression::MultilineOption);
    for (auto it = uid.globalMatch(QString::fromUtf8(text)); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

// "count@line" of the lines left out, or nothing.
QString unreadableOf(const Ics::Imported& r)
{
    return r.unreadable ? QStringLiteral("%1@%2").arg(r.unreadable).arg(r.firstUnreadableLine)
                        : QString();
}
} // namespace

void TestIcs::roundTripGivesTheSameEvents_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<Schedule>("stored");
    QTest::addColumn<QString>("imported"); // the row the import makes of the export
    const QDate day(2026, 5, 12);
    auto row = [&](const QByteArray& zone, const char* name, const Schedule& s,
                   const QString& imported = QString()) {
        QTest::addRow("%s, %s", name, zone.constData())
            << zone << s << (imported.isEmpty() ? rowOf(s) : imported);
    };
    // The fields, in one zone: every status and priority, leads of every unit
    // and size the windows allow, texts of every kind.
    const QByteArray shanghai = "Asia/Shanghai";
    for (int zt = 1; zt <= 4; ++zt)
        row(shanghai, qPrintable(QStringLiteral("status %1 priority %2").arg(zt).arg(zt % 3)),
            schedule(QStringLiteral("状态"), day, QTime(9, 30), zt % 3, zt, 1, 10, 0));
    struct Lead {
        const char* name;
        int amount, unit;
    };
    for (const Lead& l : {Lead{"1 minute", 1, 0}, Lead{"60 minutes", 60, 0},
                          Lead{"100 minutes", 100, 0}, Lead{"1 hour", 1, 1},
                          Lead{"24 hours", 24, 1}, Lead{"1 day", 1, 2}, Lead{"100 days", 100, 2}})
        row(shanghai, l.name,
            schedule(QStringLiteral("提前"), day, QTime(8, 0), 1, 1, 1, l.amount, l.unit));
    Schedule off = schedule(QStringLiteral("不提醒"), day, QTime(8, 0), 1, 1, 0, 45, 1);
    Schedule offImported = off;
    offImported.txTime = 10, offImported.txTimeFlag = 0; // the add window's lead
    row(shanghai, "reminder off", off, rowOf(offImported));
    row(shanghai, "empty texts", schedule(QString(), day, QTime(0, 0)));
    Schedule marks = schedule(QStringLiteral("a,b;c\\d: 冒号"), day, QTime(23, 59, 59));
    marks.content = QStringLiteral("第一行，逗号;分号\\反斜杠\n第二行: 冒号\n");
    marks.bz = QStringLiteral("备注, 带;标点\\和\n换行");
    row(shanghai, "commas, semicolons, backslashes, line breaks", marks);
    Schedule controls =
        schedule(QStringLiteral("付款给\u202e0001\u202c元\x1b[31m"), day, QTime(10, 0));
    controls.content = QStringLiteral("红\x1b[31m字\r\n\a二\u0085三");
    controls.bz = QStringLiteral("\x7f注\u200f");
    Schedule cleaned = controls;
    cleaned.title = QStringLiteral("付款给0001元[31m");
    cleaned.content = QStringLiteral("红[31m字\n二\n三");
    cleaned.bz = QStringLiteral("注\u200f");
    row(shanghai, "control and bidi characters", controls, rowOf(cleaned));
    // The times, in zones with and without changes of offset.
    for (const QByteArray zone : {"Asia/Shanghai", "America/New_York"}) {
        row(zone, "an ordinary time", schedule(QStringLiteral("平常"), day, QTime(9, 30)));
        row(zone, "first day kept", schedule(QStringLiteral("早"), QDate(1900, 1, 1), QTime(0, 0)));
        row(zone, "last day kept",
            schedule(QStringLiteral("晚"), QDate(9999, 12, 31), QTime(23, 59, 59)));
        // Wall-clock times that are not, or twice, in New York.
        row(zone, "spring gap", schedule(QStringLiteral("缺"), QDate(2027, 3, 14), QTime(2, 30)));
        row(zone, "autumn overlap",
            schedule(QStringLiteral("重"), QDate(2027, 11, 7), QTime(1, 30)));
    }
    row("UTC", "an ordinary time", schedule(QStringLiteral("协调"), day, QTime(9, 30)));
}

void TestIcs::roundTripGivesTheSameEvents()
{
    QFETCH(QByteArray, zone);
    QFETCH(Schedule, stored);
    QFETCH(QString, imported);
    Db a(env->databaseFile());
    ScheduleData::append(stored);
    const QByteArray first = exportOf(a, zone);
    Db b(env->programDir() + QStringLiteral("other.mdb"));
    const Ics::Imported result = importInto(b, first, zone);
    QCOMPARE(result.added, 1);
    QCOMPARE(unreadableOf(result), QString());
    QCOMPARE(rowsOf(b), QStringList{imported});
    const QByteArray second = exportOf(b, zone);
    QCOMPARE(eventsOf(second), eventsOf(first));
    QCOMPARE(uids(second), uids(first));                    // the other file keeps them too
    QCOMPARE(uids(exportOf(a, zone)), uids(first));         // a second export keeps the UIDs
    const Ics::Imported again = importInto(a, first, zone); // back where it came from
    QCOMPARE(again.added, 0);
    QCOMPARE(again.already, 1);

    // Zoned times where the zone has a name; nothing a terminal acts on.
    if (zone == "UTC") {
        QVERIFY(!first.contains("BEGIN:VTIMEZONE"));
        QVERIFY(first.contains("DTSTART:20260512T093000Z\r\n"));
    } else {
        QVERIFY(first.contains("BEGIN:VTIMEZONE\r\nTZID:" + zone + "\r\n"));
        QVERIFY(first.contains("DTSTART;TZID=" + zone + ':'));
    }
    static const QRegularExpression unsafe(
        QStringLiteral("[\\x00-\\x08\\x0b-\\x0c\\x0e-\\x1f\\x7f-\\x9f\\x{202a}-\\x{202e}]"));
    QVERIFY(!QString::fromUtf8(first).contains(unsafe));
}

void TestIcs::exportIsWrittenAsItIsMade()
{
    Db db(env->databaseFile());
    DbTransaction t(db.module.ADOConnection1);
    for (int i = 0; i < 3000; ++i)
        ScheduleData::append(schedule(QStringLiteral("第%1个").arg(i), today.addDays(i % 90),
                                      QTime(8, i % 60), 1, 1, 1));
    t.commit();
    Ics::ExportOptions o;
    o.localZone = "Europe/Berlin";
    qsizetype pieces = 0, largest = 0, total = 0;
    const Ics::Exported out = Ics::exportCalendar(db.q, o, [&](QByteArrayView piece) {
        ++pieces;
        largest = qMax(largest, piece.size());
        total += piece.size();
        return true;
    });
    QCOMPARE(out.events, 3000);
    QVERIFY(out.written);
    QVERIFY2(pieces > 5, qPrintable(QString::number(pieces)));
    QVERIFY(largest < 80 * 1024);
    QVERIFY(total > 5 * 80 * 1024);
    // A refused piece stops it.
    pieces = 0;
    QVERIFY(!Ics::exportCalendar(db.q, o, [&](QByteArrayView) { return ++pieces < 2; }).written);
    QCOMPARE(pieces, 2);
}

void TestIcs::vtimezoneAgreesWithTheZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<int>("observances");
    QTest::newRow("New York, ten years")
        << QByteArray("America/New_York") << QDate(2026, 1, 1) << QDate(2035, 12, 31) << 2;
    QTest::newRow("New York, across the 2007 change")
        << QByteArray("America/New_York") << QDate(2003, 6, 1) << QDate(2010, 6, 1) << 4;
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << QDate(2020, 3, 1) << QDate(2030, 3, 1)
                            << 2;
    QTest::newRow("Auckland, summer across the new year")
        << QByteArray("Pacific/Auckland") << QDate(2025, 12, 1) << QDate(2031, 1, 1) << 2;
    QTest::newRow("Shanghai, no change for decades")
        << QByteArray("Asia/Shanghai") << QDate(2026, 1, 1) << QDate(2040, 1, 1) << 1;
    QTest::newRow("Shanghai around 1990")
        << QByteArray("Asia/Shanghai") << QDate(1985, 1, 1) << QDate(1995, 1, 1) << -1;
    QTest::newRow("Sao Paulo, summer time ended 2019")
        << QByteArray("America/Sao_Paulo") << QDate(2015, 1, 1) << QDate(2025, 1, 1) << -1;
    QTest::newRow("Lord Howe, half an hour")
        << QByteArray("Australia/Lord_Howe") << QDate(2026, 1, 1) << QDate(2028, 1, 1) << 2;
    QTest::newRow("one day") << QByteArray("Europe/Berlin") << QDate(2026, 7, 1)
                             << QDate(2026, 7, 1) << 1;
}

void TestIcs::vtimezoneAgreesWithTheZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(int, observances);
    const QTimeZone tz(zone);
    const QByteArray text = Ics::vtimezone(tz, first, last);
    if (observances >= 0)
        QCOMPARE(int(text.count("END:STANDARD") + text.count("END:DAYLIGHT")), observances);
    // libical reads it to the offsets of the zone itself, every hour of the span.
    icalcomponent* c = icalparser_parse_string(text.constData());
    QVERIFY(c);
    QCOMPARE(icalcomponent_count_errors(c), 0);
    icaltimezone* ical = icaltimezone_new();
    QVERIFY(icaltimezone_set_component(ical, c));
    QCOMPARE(QByteArray(icaltimezone_get_tzid(ical)), zone);
    for (QDateTime at(first, QTime(0, 0), Qt::UTC); at <= QDateTime(last, QTime(23, 0), Qt::UTC);
         at = at.addSecs(3600)) {
        icaltimetype t = icaltime_from_timet_with_zone(time_t(at.toSecsSinceEpoch()), 0,
                                                       icaltimezone_get_utc_timezone());
        const int offset = icaltimezone_get_utc_offset_of_utc_time(ical, &t, nullptr);
        if (offset != tz.offsetFromUtc(at))
            QFAIL(qPrintable(QStringLiteral("%1: %2 against %3\n%4")
                                 .arg(at.toString(Qt::ISODate))
                                 .arg(offset)
                                 .arg(tz.offsetFromUtc(at))
                                 .arg(QString::fromUtf8(text))));
    }
    icaltimezone_free(ical, 1);
}

void TestIcs::filesOfOtherPrograms_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("past");
    QTest::addColumn<QString>("unreadable"); // count@first line

    const auto row = [](const char* name, const QByteArray& body, const QStringList& rows,
                        int skipped = 0, int past = 0, const char* unreadable = "") {
        QTest::newRow(name) << body << rows << skipped << past << QString(unreadable);
    };
    row("all-day event",
        "BEGIN:VEVENT\nUID:allday@example.com\n"
        "DTSTART;VALUE=DATE:20260415\n"
        "DTEND;VALUE=DATE:20260416\nSUMMARY:整理\n"
        "END:VEVENT\n",
        {"2026-04-15 00:00:00|整理||1|1|0|10|0|"});
    row("TZID with its VTIMEZONE, summer and winter",
        "BEGIN:VTIMEZONE\nTZID:W. Europe Standard Time\nBEGIN:STANDARD\n"
        "DTSTART:16010101T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\n"
        "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\nEND:STANDARD\nBEGIN:DAYLIGHT\n"
        "DTSTART:16010101T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\n"
        "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\nEND:DAYLIGHT\nEND:VTIMEZONE\n"
        "BEGIN:VEVENT\nUID:040000008200E00074C5B7101A82E008\n"
        "DTSTART;TZID=W. Europe Standard Time:20260701T090000\n"
        "SUMMARY:Projektbesprechung\nPRIORITY:1\nBEGIN:VALARM\nACTION:DISPLAY\n"
        "TRIGGER:-PT15M\nDESCRIPTION:Reminder\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:winter@example.com\n"
        "DTSTART;TZID=W. Europe Standard Time:20260115T090000\nSUMMARY:Winter\n"
        "END:VEVENT\n",
        {"2026-01-15 16:00:00|Winter||1|1|0|10|0|",
         "2026-07-01 15:00:00|Projektbesprechung||0|1|1|15|0|"});
    row("TZID of a known zone, no VTIMEZONE",
        "BEGIN:VEVENT\nUID:ny@example.com\nDTSTART;TZID=America/New_York:"
        "20260115T200000\nSUMMARY:Call\nPRIORITY:9\nBEGIN:VALARM\nACTION:DISPLAY\n"
        "TRIGGER:-PT2H\nEND:VALARM\nEND:VEVENT\n",
        {"2026-01-16 09:00:00|Call||2|1|1|2|1|"});
    row("zone names other programs write, without a VTIMEZONE",
        "BEGIN:VEVENT\nUID:m\nDTSTART;TZID=/mozilla.org/20070129_1/America/"
        "New_York:20260115T200000\nSUMMARY:Thunderbird\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:w\nDTSTART;TZID=W. Europe Standard Time:20260701T090000\n"
        "SUMMARY:Outlook\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:c\nDTSTART;TZID=China Standard Time:20260801T090000\n"
        "SUMMARY:Outlook 2\nEND:VEVENT\n",
        {"2026-01-16 09:00:00|Thunderbird||1|1|0|10|0|", "2026-07-01 15:00:00|Outlook||1|1|0|10|0|",
         "2026-08-01 09:00:00|Outlook 2||1|1|0|10|0|"});
    row("a time in the spring gap and one in the autumn overlap",
        "BEGIN:VEVENT\nUID:gap\nDTSTART;TZID=America/New_York:20270314T023000\n"
        "SUMMARY:gap\nEND:VEVENT\nBEGIN:VEVENT\nUID:overlap\n"
        "DTSTART;TZID=America/New_York:20271107T013000\nSUMMARY:overlap\n"
        "END:VEVENT\n",
        {"2027-03-14 15:30:00|gap||1|1|0|10|0|", "2027-11-07 13:30:00|overlap||1|1|0|10|0|"});
    row("UTC event, cancelled",
        "BEGIN:VEVENT\nUID:utc@example.com\nDTSTART:20260501T010000Z\n"
        "SUMMARY:Launch\nDESCRIPTION:All hands\nPRIORITY:5\nSTATUS:CANCELLED\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-P1D\nEND:VALARM\nEND:VEVENT\n",
        {"2026-05-01 09:00:00|Launch|All hands|1|4|1|1|2|"});
    row("weekly RRULE with EXDATE, in two zones",
        "BEGIN:VEVENT\nUID:weekly@example.com\n"
        "DTSTART;TZID=Asia/Shanghai:20260302T093000\n"
        "RRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=8\n"
        "EXDATE;TZID=Asia/Shanghai:20260413T093000\nSUMMARY:周会\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:daily@example.com\n"
        "DTSTART;TZID=Europe/Berlin:20260401T100000\n"
        "RRULE:FREQ=DAILY;UNTIL=20260403T235959Z\nEXDATE:20260402T080000Z\n"
        "SUMMARY:Stand-up\nEND:VEVENT\n",
        {"2026-04-01 16:00:00|Stand-up||1|1|0|10|0|", "2026-04-03 16:00:00|Stand-up||1|1|0|10|0|",
         "2026-04-06 09:30:00|周会||1|1|0|10|0|", "2026-04-20 09:30:00|周会||1|1|0|10|0|"},
        0, 5);
    row("folded lines, one fold inside a character",
        "BEGIN:VEVENT\nUID:fold@example.com\nDTSTART:20260410T140000\n"
        "SUMMARY:季度\xe6\x80\n \xbb结\n"
        "DESCRIPTION:第一行\\n第二行，这一行很长很长很长很长很长很长很长很长很\n"
        "\t长，一直写到下一行\nEND:VEVENT\n",
        {QStringLiteral("2026-04-10 14:00:00|季度总结|第一行\n第二行，这一行") +
         QStringLiteral("很长").repeated(9) + QStringLiteral("，一直写到下一行|1|1|0|10|0|")});
    row("a VTODO is skipped",
        "BEGIN:VTODO\nUID:todo@example.com\nDUE:20260405T170000\n"
        "SUMMARY:交报告\nEND:VTODO\nBEGIN:VEVENT\nUID:e@example.com\n"
        "DTSTART:20260405T090000\nSUMMARY:开会\nEND:VEVENT\n",
        {"2026-04-05 09:00:00|开会||1|1|0|10|0|"}, 1);
    row("alarms: audio after e-mail, end-related, absolute, at the start",
        "BEGIN:VEVENT\nUID:a1\nDTSTART:20260601T100000\nSUMMARY:A\n"
        "BEGIN:VALARM\nACTION:EMAIL\nTRIGGER:-PT5M\nSUMMARY:x\nDESCRIPTION:x\n"
        "ATTENDEE:mailto:a@example.com\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:AUDIO\nTRIGGER:-PT90M\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:a2\nDTSTART:20260602T100000\nDTEND:20260602T110000\n"
        "SUMMARY:B\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;RELATED=END:-PT2H\n"
        "DESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:a3\nDTSTART:20260603T010000Z\nSUMMARY:C\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;VALUE=DATE-TIME:20260603T003000Z\n"
        "DESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:a4\nDTSTART:20260604T100000\nSUMMARY:D\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:PT0S\nDESCRIPTION:x\nEND:VALARM\n"
        "END:VEVENT\n",
        {"2026-06-01 10:00:00|A||1|1|1|90|0|", "2026-06-02 10:00:00|B|结束：11:00|1|1|1|1|1|",
         "2026-06-03 09:00:00|C||1|1|1|30|0|", "2026-06-04 10:00:00|D||1|1|1|1|0|"});
    row("absolute alarms on a floating and an all-day start",
        "BEGIN:VEVENT\nUID:f1\nDTSTART:20260701T100000\nSUMMARY:浮动\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;VALUE=DATE-TIME:20260701T013000Z\n"
        "DESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:f2\nDTSTART;VALUE=DATE:20260702\nSUMMARY:全天\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;VALUE=DATE-TIME:20260701T010000Z\n"
        "DESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n",
        {"2026-07-01 10:00:00|浮动||1|1|1|30|0|", "2026-07-02 00:00:00|全天||1|1|1|15|1|"});
    row("empty values are empty texts",
        "X-WR-CALDESC:\nBEGIN:VEVENT\nUID:e1\nDTSTART:20260501T090000\nSUMMARY:\n"
        "DESCRIPTION:\nLOCATION:\nX-BRENWICK-NOTE:\nRRULE:\nPRIORITY:\n"
        "END:VEVENT\n",
        {"2026-05-01 09:00:00|||1|1|0|10|0|"});
    row("lines that cannot be read are left out and counted",
        "BEGIN:VEVENT\nUID:s1\nDTSTART:20260501T090000\nSUMMARY:有坏行\n"
        "this line has no colon\nRRULE:FREQ=FOOLY\nDTEND:tomorrow\n"
        "ATTENDEE;CN=\"no end:mailto:a@example.com\nEND:VEVENT\n",
        {"2026-05-01 09:00:00|有坏行||1|1|0|10|0|"}, 0, 0, "4@8");
    row("location and end go into the content",
        "BEGIN:VEVENT\nUID:l1\nDTSTART;TZID=Asia/Shanghai:20260601T093000\n"
        "DTEND;TZID=Asia/Shanghai:20260601T113000\nSUMMARY:评审\n"
        "DESCRIPTION:带上材料\nLOCATION:三楼\\, 会议室\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:l2\nDTSTART:20260602T230000Z\nDURATION:PT1H30M\n"
        "SUMMARY:长会\nLOCATION:线上\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:l3\nDTSTART:20260604T220000\nDTEND:20260605T013000\n"
        "SUMMARY:夜班\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:l4\nDTSTART;VALUE=DATE:20260610\n"
        "DTEND;VALUE=DATE:20260613\nSUMMARY:出差\nEND:VEVENT\n",
        {"2026-06-01 09:30:00|评审|带上材料\n地点：三楼, "
         "会议室\n结束：11:30|1|1|0|10|0|",
         "2026-06-03 07:00:00|长会|地点：线上\n时长：1小时30分钟|1|1|0|10|0|",
         "2026-06-04 22:00:00|夜班|结束：2026-06-05 01:30|1|1|0|10|0|",
         "2026-06-10 00:00:00|出差|结束：2026-06-12|1|1|0|10|0|"});
    row("texts unescaped and cleaned",
        "BEGIN:VEVENT\nUID:t1\nDTSTART:20260901T090000\n"
        "SUMMARY:第一行\\n第二行\\, 付款给\xe2\x80\xae"
        "0001\xe2\x80\xac元\n"
        "DESCRIPTION:红\x1b[31m字\\n下一行\\;完\n"
        "X-BRENWICK-NOTE:备注\\, 带\\;标点\\\\和\\n换行\nX-BRENWICK-STATUS:3\n"
        "END:VEVENT\nBEGIN:VEVENT\nUID:t2\nDTSTART:20260902T090000\n"
        "SUMMARY:旧的\nX-BRENWICK-NOTE:a, b;c\\\\d\nEND:VEVENT\n",
        {"2026-09-01 09:00:00|第一行 第二行, 付款给0001元|红[31m字\n下一行;完|1|3|0|"
         "10|0|备注, 带;标点\\和\n换行",
         "2026-09-02 09:00:00|旧的||1|1|0|10|0|a, b;c\\d"});
}

void TestIcs::filesOfOtherPrograms()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, rows);
    QFETCH(int, skipped);
    QFETCH(int, past);
    QFETCH(QString, unreadable);
    Db db(env->databaseFile());
    const Ics::Imported result = importInto(db, calendar(body));
    QCOMPARE(rowsOf(db), rows);
    QCOMPARE(result.added, rows.size());
    QCOMPARE(result.skipped, skipped);
    QCOMPARE(result.past, past);
    QCOMPARE(unreadableOf(result), unreadable);
}

void TestIcs::lineEndsOfEveryKind_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR alone") << QByteArray("\r");
}

void TestIcs::lineEndsOfEveryKind()
{
    QFETCH(QByteArray, lineEnd);
    QByteArray text = "\xEF\xBB\xBF" // a byte order mark, as some write it
                      "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VEVENT\nUID:le\n"
                      "DTSTART:20260501T090000\nSUMMARY:一行\n 接着\n\nDESCRIPTION:a\\nb\n"
                      "END:VEVENT\nEND:VCALENDAR\nX-COMMENT:after the end\n";
    text.replace("\n", lineEnd);
    Db db(env->databaseFile());
    const Ics::Imported result = importInto(db, text);
    QCOMPARE(rowsOf(db), QStringList{"2026-05-01 09:00:00|一行接着|a\nb|1|1|0|10|0|"});
    QCOMPARE(unreadableOf(result), QStringLiteral("1@13"));
}

void TestIcs::recurringEventsStopAtTheHorizon_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("past"); // at least this many when atLeast
    QTest::addColumn<bool>("atLeast");
    QTest::newRow("daily from today, no end")
        << QByteArray("DTSTART:20260331T080000\nRRULE:FREQ=DAILY") << 3650 << "2026-03-31" << 0
        << false;
    QTest::newRow("daily since ten years ago")
        << QByteArray("DTSTART:20160101T080000\nRRULE:FREQ=DAILY") << 3650 << "2026-03-31"
        << int(QDate(2016, 1, 1).daysTo(today)) << false;
    QTest::newRow("hourly since 2020: past counted up to a limit")
        << QByteArray("DTSTART:20200101T080000\nRRULE:FREQ=HOURLY") << 3650 << "2026-03-31"
        << Ics::maxPastCounted << true;
    QTest::newRow("yearly, twenty times") << QByteArray("DTSTART:20260601T080000\n"
                                                        "RRULE:FREQ=YEARLY;COUNT=20")
                                          << 10 << "2026-06-01" << 0 << false;
    QTest::newRow("ended last year, wholly in the past")
        << QByteArray("DTSTART:20240101T080000\nRRULE:FREQ=WEEKLY;UNTIL=20250101T000000") << 0 << ""
        << 53 << false;
    QTest::newRow("RDATE alone, one of them past")
        << QByteArray("DTSTART:20260401T100000\nRDATE:20260310T100000,20260410T100000,"
                      "20260420T100000")
        << 3 << "2026-04-01" << 1 << false;
}

void TestIcs::recurringEventsStopAtTheHorizon()
{
    QFETCH(QByteArray, rule);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(int, past);
    QFETCH(bool, atLeast);
    Db db(env->databaseFile());
    const Ics::Imported result = importInto(
        db, calendar("BEGIN:VEVENT\nUID:r@example.com\nSUMMARY:R\n" + rule + "\nEND:VEVENT\n"));
    const QStringList rows = rowsOf(db);
    QCOMPARE(rows.size(), count);
    if (count) {
        QCOMPARE(rows.first().left(10), first);
        QVERIFY(rows.last().left(10) < QStringLiteral("2036-03-31"));
    }
    QCOMPARE(result.pastAtLeast, atLeast);
    if (atLeast)
        QVERIFY2(result.past >= past, qPrintable(QString::number(result.past)));
    else
        QCOMPARE(result.past, past);
}

void TestIcs::longTextsAreCutAtACharacter()
{
    Db db(env->databaseFile());
    const QString title = QStringLiteral("a") + QString(15, QChar(0x6C49)); // 31 bytes
    const QString content = QString(101, QChar(0x5B57));                    // 202 bytes
    const Ics::Imported result = importInto(
        db, calendar("BEGIN:VEVENT\nUID:long\nDTSTART:20260401T090000\nSUMMARY:" + title.toUtf8() +
                     "\nDESCRIPTION:" + content.toUtf8() +
                     "\nEND:VEVENT\nBEGIN:VEVENT\nUID:short\nDTSTART:20260402T090000\n"
                     "SUMMARY:短\nEND:VEVENT\nBEGIN:VEVENT\nUID:where\n"
                     "DTSTART:20260403T090000\nSUMMARY:地\nDESCRIPTION:" +
                     QString(98, QChar(0x5B57)).toUtf8() + "\nLOCATION:很远的地方\nEND:VEVENT\n"));
    QCOMPARE(result.added, 3);
    QCOMPARE(result.cut, 2);
    const Schedule s = *ScheduleData::byId(db.q, 1);
    QCOMPARE(s.title, QStringLiteral("a") + QString(14, QChar(0x6C49)));
    QCOMPARE(s.content, QString(100, QChar(0x5B57)));
    // What the location adds is cut the same way.
    QCOMPARE(ScheduleData::byId(db.q, 3)->content,
             QString(98, QChar(0x5B57)) + QStringLiteral("\n地"));
}

void TestIcs::anEventImportedBeforeIsNotAddedAgain()
{
    Db db(env->databaseFile());
    const QByteArray file =
        calendar("BEGIN:VEVENT\nUID:once@example.com\nDTSTART:20260401T090000\n"
                 "SUMMARY:一次\nEND:VEVENT\nBEGIN:VEVENT\nUID:series@example.com\n"
                 "DTSTART:20260401T100000\nRRULE:FREQ=DAILY;COUNT=3\n"
                 "SUMMARY:三次\nEND:VEVENT\n");
    QCOMPARE(importInto(db, file).added, 4);
    Ics::Imported again = importInto(db, file);
    QCOMPARE(again.added, 0);
    QCOMPARE(again.already, 4);
    ScheduleData::remove(db.q, 3); // the user deletes one occurrence
    again = importInto(db, file);
    QCOMPARE(again.added, 1);
    QCOMPARE(again.already, 3);
    QCOMPARE(rowsOf(db).size(), 4);
}

void TestIcs::anExportIsKnownWhereverTheFileGoes()
{
    Db a(env->databaseFile());
    ScheduleData::append(schedule(QStringLiteral("甲"), QDate(2026, 4, 1), QTime(9, 0)));
    ScheduleData::append(schedule(QStringLiteral("乙"), QDate(2026, 4, 2), QTime(9, 0)));
    const QByteArray first = exportOf(a);
    a.module.ADOConnection1.closeFile();
    // The program folder moved, or the file restored elsewhere.
    QVERIFY(QDir().mkpath(env->programDir() + QStringLiteral("moved")));
    const QString moved = env->programDir() + QStringLiteral("moved/assistant.mdb");
    QVERIFY(QFile::rename(a.path, moved));
    Db m(moved);
    QCOMPARE(uids(exportOf(m)), uids(first));
    QCOMPARE(importInto(m, first).added, 0);
    // Another file takes the events once, and gives them back with their UIDs.
    Db b(env->programDir() + QStringLiteral("other.mdb"));
    QCOMPARE(importInto(b, first).added, 2);
    QCOMPARE(importInto(b, first).added, 0);
    const QByteArray fromB = exportOf(b);
    QCOMPARE(uids(fromB), uids(first));
    QCOMPARE(importInto(m, fromB).added, 0);
    QCOMPARE(rowsOf(m), rowsOf(b));
}

void TestIcs::anOldExportIsKnownInTheMovedFile_data()
{
    QTest::addColumn<bool>("sameFile");
    QTest::addColumn<int>("added");
    QTest::newRow("its own events") << true << 0;
    // The same ids in another file of the old version: other schedules.
    QTest::newRow("another file's events") << false << 4;
}

void TestIcs::anOldExportIsKnownInTheMovedFile()
{
    QFETCH(bool, sameFile);
    QFETCH(int, added);
    // A file of version 2 at its old place: an export there gives the UIDs
    // the old version gave, "<id>-<hash of that path>@brenwick".
    QVERIFY(QDir().mkpath(env->programDir() + QStringLiteral("old")));
    const QString oldPlace = env->programDir() + QStringLiteral("old/assistant.mdb");
    makeDatabase(oldPlace, fixtureSql(QStringLiteral("assistant-v2.sql")));
    Db old(oldPlace);
    QByteArray oldExport = exportOf(old);
    const QString key = ScheduleData::databaseKey(oldPlace);
    QCOMPARE(uids(oldExport),
             (QStringList{ScheduleData::legacyUid(4, key), ScheduleData::legacyUid(1, key),
                          ScheduleData::legacyUid(2, key), ScheduleData::legacyUid(5, key)}));
    if (!sameFile)
        oldExport.replace("SUMMARY:", "SUMMARY:另一个文件的");
    // The same file of version 2 moved before the update came.
    makeDatabase(env->databaseFile(), fixtureSql(QStringLiteral("assistant-v2.sql")));
    Db moved(env->databaseFile());
    QCOMPARE(importInto(moved, oldExport).added, added);
    QCOMPARE(rowsOf(moved).size(), 4 + added);
}

void TestIcs::aSeriesGoesBackAsItCame()
{
    // A weekly meeting in a zone of the file's own, one occurrence moved.
    const QByteArray zone = "BEGIN:VTIMEZONE\nTZID:Custom/Berlin\nBEGIN:STANDARD\n"
                            "DTSTART:19701025T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\n"
                            "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\nEND:STANDARD\n"
                            "BEGIN:DAYLIGHT\nDTSTART:19700329T020000\nTZOFFSETFROM:+0100\n"
                            "TZOFFSETTO:+0200\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\n"
                            "END:DAYLIGHT\nEND:VTIMEZONE\n";
    const QByteArray file = calendar(
        zone + "BEGIN:VEVENT\nUID:weekly@example.com\nDTSTAMP:20260301T000000Z\n"
               "DTSTART;TZID=Custom/Berlin:20260406T090000\n"
               "DTEND;TZID=Custom/Berlin:20260406T100000\nRRULE:FREQ=WEEKLY;COUNT=4\n"
               "LOCATION:Raum 1\nATTENDEE:mailto:kim@example.com\nCOMMENT:红\x1b[31m字\n"
               "SUMMARY:周会\nEND:VEVENT\n"
               "BEGIN:VEVENT\nUID:weekly@example.com\nDTSTAMP:20260301T000000Z\n"
               "RECURRENCE-ID;TZID=Custom/Berlin:20260413T090000\n"
               "DTSTART;TZID=Custom/Berlin:20260414T090000\nSUMMARY:周会（改期）\nEND:VEVENT\n");
    Db a(env->databaseFile());
    QCOMPARE(importInto(a, file).added, 4);
    // The series as it came, once, with its zone; the moved occurrence as an
    // override, known by its moment.
    const QByteArray first = exportOf(a);
    QCOMPARE(first.count("RRULE:FREQ=WEEKLY;COUNT=4\r\n"), 1);
    QCOMPARE(first.count("ATTENDEE:mailto:kim@example.com\r\n"), 1);
    QVERIFY(first.contains("COMMENT:红[31m字\r\n")); // nothing a terminal acts on
    QCOMPARE(first.count("BEGIN:VTIMEZONE\r\nTZID:Custom/Berlin\r\n"), 1);
    QCOMPARE(first.count("RECURRENCE-ID"), 1);
    QVERIFY(first.contains("RECURRENCE-ID:20260413T070000Z\r\n"));
    // An occurrence changed here becomes an override of its own start.
    a.use();
    std::optional<Schedule> third;
    ScheduleData::forEachForExport(a.q, QDate(2026, 4, 20), QDate(2026, 4, 20),
                                   [&](const Schedule& s) { third = s; });
    QVERIFY(third);
    third->title = QStringLiteral("周会（线上）");
    third->time = QTime(16, 0);
    QVERIFY(ScheduleData::update(a.q, *third));
    const QByteArray second = exportOf(a);
    QCOMPARE(second.count("RECURRENCE-ID"), 2);
    QVERIFY(second.contains("RECURRENCE-ID:20260420T070000Z\r\nSUMMARY:周会（线上）\r\n") ||
            second.contains("DTSTART;TZID=Asia/Shanghai:20260420T160000\r\n"
                            "RECURRENCE-ID:20260420T070000Z\r\n"));
    QCOMPARE(importInto(a, second).added, 0);
    // Another file: the same schedules, and back the same events.
    Db b(env->programDir() + QStringLiteral("other.mdb"));
    QCOMPARE(importInto(b, second).added, 4);
    QCOMPARE(rowsOf(b), rowsOf(a));
    const QByteArray fromB = exportOf(b);
    static const QRegularExpression identity(QStringLiteral("^(UID|RECURRENCE-ID|RRULE)[:;].*$"),
                                             QRegularExpression::MultilineOption);
    auto identities = [](const QByteArray& text) {
        QStringList out;
        for (auto it = identity.globalMatch(QString::fromUtf8(text)); it.hasNext();)
            out << it.next().captured(0);
        out.sort();
        return out;
    };
    QCOMPARE(identities(fromB), identities(second));
    QCOMPARE(importInto(a, fromB).added, 0);
}

void TestIcs::otherCalendarScales_data()
{
    QTest::addColumn<QByteArray>("event");
    QTest::addColumn<QDate>("on"); // today
    QTest::addColumn<QStringList>("dates");
    const QDate now = today;
    auto row = [](const char* name, const QByteArray& start, const QByteArray& rule,
                  const QDate& on, const char* dates) {
        QTest::newRow(name) << ("DTSTART;VALUE=DATE:" + start + "\nRRULE:" + rule) << on
                            << QString::fromLatin1(dates).split(QLatin1Char(' '));
    };
    // RFC 7529's examples, from their first occurrence.
    const QDate rfc(2012, 1, 1);
    row("RFC 7529 Chinese New Year", "20130210", "RSCALE=CHINESE;FREQ=YEARLY;COUNT=4", rfc,
        "2013-02-10 2014-01-31 2015-02-19 2016-02-08");
    row("RFC 7529 Ethiopic 13th month", "20130906",
        "RSCALE=ETHIOPIC;FREQ=MONTHLY;BYMONTH=13;COUNT=4", rfc,
        "2013-09-06 2014-09-06 2015-09-06 2016-09-06");
    row("RFC 7529 Hebrew leap month", "20140208",
        "RSCALE=HEBREW;FREQ=YEARLY;BYMONTH=5L;BYMONTHDAY=8;SKIP=FORWARD;COUNT=5", rfc,
        "2014-02-08 2015-02-27 2016-02-17 2017-03-06 2018-02-23");
    row("RFC 7529 Gregorian leap day", "20120229",
        "RSCALE=GREGORIAN;FREQ=YEARLY;SKIP=FORWARD;COUNT=5", rfc,
        "2012-02-29 2013-03-01 2014-03-01 2015-03-01 2016-02-29");
    // The lunar calendar where ICU's reckoning misses (2027, 2030), to the
    // ten-year horizon; the dates from python3-lunardate.
    row("春节 to the horizon", "20130210", "RSCALE=CHINESE;FREQ=YEARLY", now,
        "2027-02-06 2028-01-26 2029-02-13 2030-02-03 2031-01-23 2032-02-11 2033-01-31 "
        "2034-02-19 2035-02-08 2036-01-28");
    row("COUNT counts from the start", "20130210", "RSCALE=CHINESE;FREQ=YEARLY;COUNT=16", now,
        "2027-02-06 2028-01-26");
    row("UNTIL", "20130210", "RSCALE=CHINESE;FREQ=YEARLY;UNTIL=20301231", now,
        "2027-02-06 2028-01-26 2029-02-13 2030-02-03");
    row("INTERVAL", "20130210", "RSCALE=CHINESE;FREQ=YEARLY;INTERVAL=2", now,
        "2027-02-06 2029-02-13 2031-01-23 2033-01-31 2035-02-08");
    // 闰五月初十 2028: no fifth leap month in the years after.
    row("leap month, SKIP=OMIT", "20280702", "RSCALE=CHINESE;FREQ=YEARLY", now, "2028-07-02");
    row("leap month, SKIP=BACKWARD", "20280702", "RSCALE=CHINESE;FREQ=YEARLY;SKIP=BACKWARD", now,
        "2028-07-02 2029-06-21 2030-06-10 2031-06-29 2032-06-17 2033-06-06 2034-06-25 "
        "2035-06-15");
    row("leap month, SKIP=FORWARD", "20280702",
        "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=5L;BYMONTHDAY=10;SKIP=FORWARD", now,
        "2028-07-02 2029-07-20 2030-07-10 2031-07-28 2032-07-16 2033-07-06 2034-07-25 "
        "2035-07-14");
    row("a month and its leap month", "20260624",
        "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=5,5L;BYMONTHDAY=10;SKIP=BACKWARD", now,
        "2026-06-24 2027-06-14 2028-06-02 2028-07-02 2029-06-21 2030-06-10 2031-06-29 "
        "2032-06-17 2033-06-06 2034-06-25 2035-06-15");
    // 腊月三十 2029; the twelfth month has 29 days in 2030, 2031 and 2034.
    row("day 30, SKIP=OMIT", "20300202", "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=30", now,
        "2030-02-02 2033-01-30 2034-02-18 2035-02-07 2036-01-27");
    row("day 30, SKIP=BACKWARD", "20300202",
        "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=30;SKIP=BACKWARD", now,
        "2030-02-02 2031-01-22 2032-02-10 2033-01-30 2034-02-18 2035-02-07 2036-01-27");
    row("day 30, SKIP=FORWARD", "20300202",
        "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=30;SKIP=FORWARD", now,
        "2030-02-02 2031-01-23 2032-02-11 2033-01-30 2034-02-18 2035-02-07 2036-01-27");
    row("除夕, the last day", "20260216", "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=-1",
        now,
        "2027-02-05 2028-01-25 2029-02-12 2030-02-02 2031-01-22 2032-02-10 2033-01-30 "
        "2034-02-18 2035-02-07 2036-01-27");
}

void TestIcs::otherCalendarScales()
{
    QFETCH(QByteArray, event);
    QFETCH(QDate, on);
    QFETCH(QStringList, dates);
    Db db(env->databaseFile());
    const Ics::Imported result = importInto(
        db, calendar("BEGIN:VEVENT\nUID:scale@example.com\nSUMMARY:S\n" + event + "\nEND:VEVENT\n"),
        "Asia/Shanghai", on);
    QCOMPARE(unreadableOf(result), QString());
    QStringList found;
    for (const QString& row : rowsOf(db)) {
        QCOMPARE(row.mid(10, 9), QStringLiteral(" 00:00:00"));
        found << row.left(10);
    }
    QCOMPARE(found, dates);
}

void TestIcs::aBrokenFileAddsNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("says");
    // A sound event first, on lines 4 to 8, so that a failure after it must undo it.
    const QByteArray good = "BEGIN:VEVENT\nUID:good\nDTSTART:20260401T090000\nSUMMARY:好的\n"
                            "END:VEVENT\n";
    const QByteArray head = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\n" + good;
    const QByteArray tail = "END:VEVENT\nEND:VCALENDAR\n";
    QTest::newRow("cut off before the end")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\n"
        << 11 << "END:VEVENT";
    QTest::newRow("END that closes nothing open")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\nEND:VTODO\nEND:VCALENDAR\n"
        << 12 << "END:VTODO";
    QTest::newRow("not a calendar")
        << QByteArray("From: someone\nSubject: hello\n") << 1 << "BEGIN:VCALENDAR";
    const auto row = [&](const char* name, const QByteArray& event, int line, const char* says) {
        QTest::newRow(name) << head + "BEGIN:VEVENT\nUID:b\n" + event + tail << line
                            << QString::fromUtf8(says);
    };
    row("a value that does not parse", "SUMMARY:x\nDTSTART:tomorrow\n", 12, "DTSTART");
    row("an event without DTSTART", "SUMMARY:x\n", 9, "DTSTART");
    row("an empty DTSTART", "DTSTART:\n", 11, "DTSTART");
    row("a time zone nobody knows", "DTSTART;TZID=Mars/Olympus:20260402T090000\n", 11,
        "Mars/Olympus");
    row("not UTF-8", "DTSTART:20260402T090000\nSUMMARY:\xb2\xe2\xca\xd4\n", 12, "UTF-8");
    row("a month and an hour that do not exist", "DTSTART:20271340T250000\n", 11,
        "20271340T250000");
    row("29 February of a common year", "DTSTART;VALUE=DATE:20270229\n", 11, "20270229");
    row("the year 0", "DTSTART:00000101T000000Z\n", 11, "00000101T000000Z");
    row("the year 10000 in local time", "DTSTART:99991231T235959Z\n", 11, "1900");
    row("the year 1899", "DTSTART;VALUE=DATE:18991231\n", 11, "1900");
    row("an excluded date that does not exist, on its line",
        "DTSTART:20260402T090000\nRRULE:FREQ=DAILY;COUNT=3\nEXDATE:20260403T090000\n"
        "EXDATE:20260403T090000,20260431T090000\n",
        14, "20260431T090000");
    row("an end that does not exist", "DTSTART:20260402T090000\nSUMMARY:x\nDTEND:20260402T250000\n",
        13, "DTEND");
    row("an alarm at a time that does not exist",
        "DTSTART:20260402T090000\nBEGIN:VALARM\nACTION:DISPLAY\n"
        "TRIGGER;VALUE=DATE-TIME:20260230T010000Z\nEND:VALARM\n",
        14, "TRIGGER");
}

void TestIcs::aBrokenFileAddsNothing()
{
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, says);
    Db db(env->databaseFile());
    try {
        importInto(db, file);
        QFAIL("the import went through");
    } catch (const Ics::ImportError& e) {
        QCOMPARE(e.line, line);
        QVERIFY2(e.text.contains(says), qPrintable(e.text));
    }
    QCOMPARE(rowsOf(db), QStringList());
}

void TestIcs::theProgramOnTheCommandLine()
{
    const QString database = env->databaseFile();
    {
        Db db(database);
        DbTransaction t(db.module.ADOConnection1);
        for (int i = 0; i < 1200; ++i)
            ScheduleData::append(
                schedule(QStringLiteral("第%1个").arg(i), today.addDays(i % 40), QTime(8, 0)));
        // Stored before the import cleaned what it takes in.
        ScheduleData::append(
            schedule(QStringLiteral("\x1b[31m红\x07"), QDate(2030, 1, 1), QTime(8, 0)));
        t.commit();
    }
    QByteArray err, out;
    QCOMPARE(runTool({"--help"}, &err, &out), 0);
    for (const char* word : {"export", "import", "restore", "--from", "--to", "--database"})
        QVERIFY2(out.contains(word), word);

    const QString file = env->programDir() + QStringLiteral("all.ics");
    QCOMPARE(runTool({"export", file, "--database", database}, &err), 0);
    QVERIFY(err.contains("1000/1201"));
    QVERIFY(!readFile(file).contains('\x1b'));
    QCOMPARE(runTool({"export", "-", "--database", database, "--from", "2026-04-01", "--to",
                      "2026-04-01"},
                     &err, &out),
             0);
    QCOMPARE(out.count("BEGIN:VEVENT"), 30); // 1200 schedules over 40 days
    QCOMPARE(runTool({"export", "-", "--database", database, "--from", "2030-01-01"}, &err, &out),
             0);
    QVERIFY(out.contains("SUMMARY:[31m红\r\n"));
    QVERIFY(!out.contains('\x1b') && !out.contains('\x07'));

    const QString broken = env->programDir() + QStringLiteral("broken.ics");
    writeFile(broken, readFile(file).left(5000));
    const QString fresh = env->programDir() + QStringLiteral("fresh.mdb");
    QCOMPARE(runTool({"import", broken, "--database", fresh}, &err), 1);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY(err.contains(QFile::encodeName(broken) + ':'));
    QCOMPARE(runTool({"export"}, &err), 2);
    QCOMPARE(err.count('\n'), 1);
    QCOMPARE(runTool({"import", "/dev/zero", "--database", fresh}, &err), 1); // no end to it
    QVERIFY(err.contains("/dev/zero: "));
    QCOMPARE(runTool({"export", "-", "--database", env->programDir() + "missing.mdb"}, &err), 1);
    QVERIFY(!QFileInfo::exists(env->programDir() + "missing.mdb"));

    // What the import left out is said in its one line.
    const QString past = env->programDir() + QStringLiteral("past.ics");
    writeFile(past, calendar("BEGIN:VEVENT\nUID:p\nDTSTART:20200101T090000\n"
                             "RRULE:FREQ=MONTHLY;COUNT=12\nSUMMARY:前年\nno colon here\n"
                             "END:VEVENT\n"));
    QCOMPARE(runTool({"import", past, "--database", fresh}, &err, &out), 0);
    QCOMPARE(QString::fromUtf8(out),
             QStringLiteral("导入了 0 个日程；重复的日程有 12 次在今天之前，没有导入；"
                            "1 处无法读取，已跳过（第一处在第 9 行）\n"));
}

void TestIcs::olderAndNewerFilesOnTheCommandLine()
{
    // The tool opens a file as the program does: an older one is brought up
    // to date (by an export too), a newer one is refused and left as it is.
    const QString database = env->databaseFile();
    makeDatabase(database, fixtureSql(QStringLiteral("assistant-v1-ics.sql")));
    QByteArray err, out;
    QCOMPARE(runTool({"export", "-", "--database", database}, nullptr, &out), 0);
    QCOMPARE(out.count("BEGIN:VEVENT"), 4);
    QCOMPARE(sqlValue(database, "pragma user_version"), Schema::version());

    const QByteArray newer = "pragma user_version=" + QByteArray::number(Schema::version() + 1);
    sqlValue(database, newer.constData());
    const QByteArray bytes = readFile(database);
    for (const char* command : {"export", "import"}) {
        QCOMPARE(runTool({command, command == QByteArray("import") ? database : "-", "--database",
                          database},
                         &err),
                 1);
        QCOMPARE(QString::fromUtf8(err),
                 QStringLiteral("brenwick-ics: %1: 数据库文件是第 %2 版的，本程序只认识到第 %3 "
                                "版，没有打开它（文件未作改动）\n")
                     .arg(database)
                     .arg(Schema::version() + 1)
                     .arg(Schema::version()));
        QCOMPARE(readFile(database), bytes);
    }
}

void TestIcs::restoreKeepsTheCurrentFile()
{
    const QString database = env->databaseFile();
    const QString backup = env->programDir() + QStringLiteral("backups/assistant-2026-03-30.mdb");
    withBackup(database, backup, {QStringLiteral("旧的")}, {QStringLiteral("新的")});
    // A backup an older version left open to all: the live file is not.
    QVERIFY(::chmod(QFile::encodeName(backup).constData(), 0644) == 0);
    const QString kept = Restore::restore(backup, database, QDateTime(today, QTime(9, 5, 7)));
    QCOMPARE(kept, database + QStringLiteral(".before-restore-20260331-090507"));
    QCOMPARE(modeOf(database), 0600u);
    QCOMPARE(modeOf(kept), 0600u);
    QCOMPARE(scheduleCount(database), 1);
    QCOMPARE(scheduleCount(kept), 2);
    QVERIFY(!QFileInfo::exists(database + QStringLiteral(".restoring")));
}

void TestIcs::restoreIsRefusedWhileTheProgramRuns_data()
{
    QTest::addColumn<bool>("runtimeFolder"); // the tool's XDG_RUNTIME_DIR as the program's
    QTest::newRow("the same session") << true;
    QTest::newRow("a shell without XDG_RUNTIME_DIR") << false;
}

void TestIcs::restoreIsRefusedWhileTheProgramRuns()
{
    QFETCH(bool, runtimeFolder);
    const QString database = env->databaseFile();
    const QString backup = env->programDir() + QStringLiteral("backup.mdb");
    withBackup(database, backup, {QStringLiteral("一个")});
    // This process plays the running program.
    SingleInstance running(QStringLiteral("时雀"), database,
                           SingleInstance::runtimeDir(QStringLiteral("brenwick")));
    QVERIFY(running.tryBecomePrimary());
    const QByteArray bytes = readFile(database);
    const QStringList files = QDir(env->programDir()).entryList(QDir::Files);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    QTemporaryDir tmp;
    if (!runtimeFolder) {
        e.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        e.insert(QStringLiteral("TMPDIR"), tmp.path());
    }
    QByteArray err;
    QCOMPARE(runTool({QStringLiteral("restore"), backup, QStringLiteral("--database"), database},
                     &err, nullptr, e),
             1);
    QVERIFY2(err.contains("时雀正在运行"), "not refused as running");
    QCOMPARE(readFile(database), bytes);
    QCOMPARE(QDir(env->programDir()).entryList(QDir::Files), files);
}

void TestIcs::restoreIsOneStep_data()
{
    QTest::addColumn<QString>("crashAfter"); // the step at whose end the restore is killed
    QTest::addColumn<bool>("hardLinks");
    QTest::addColumn<int>("rows"); // the database then holds the old (2) or the new (1)
    QTest::newRow("the copy checked") << "checked" << true << 2;
    QTest::newRow("the old one kept aside") << "aside" << true << 2;
    QTest::newRow("kept aside as a copy, without hard links") << "aside" << false << 2;
    QTest::newRow("the new one in place") << "replaced" << true << 1;
}

void TestIcs::restoreIsOneStep()
{
    QFETCH(QString, crashAfter);
    QFETCH(bool, hardLinks);
    QFETCH(int, rows);
    const QString database = env->databaseFile();
    const QString backup = env->programDir() + QStringLiteral("backups/assistant-2026-03-30.mdb");
    withBackup(database, backup, {QStringLiteral("旧的")}, {QStringLiteral("新的")});
    // A backup killed part way the day before: removed by the next restore.
    writeFile(backup + QStringLiteral(".part"), readFile(backup));
    const QDateTime now(today, QTime(9, 5, 7));
    const pid_t child = ::fork();
    if (child == 0) {
        Restore::setHardLinks(hardLinks);
        Restore::setStepHook([&crashAfter](const char* step) {
            if (crashAfter == QLatin1String(step))
                ::_exit(7); // as a kill would: nothing more runs
        });
        try {
            Restore::restore(backup, database, now);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QCOMPARE(WEXITSTATUS(status), 7);
    QCOMPARE(scheduleCount(database), rows);
    const QString kept = database + QStringLiteral(".before-restore-20260331-090507");
    if (crashAfter != QLatin1String("checked"))
        QCOMPARE(scheduleCount(kept), 2);
    // The next run takes up what the killed one left, and ends whole.
    QFile::remove(kept);
    Restore::restore(backup, database, now);
    QCOMPARE(scheduleCount(database), 1);
    const QStringList left =
        QDir(env->programDir()).entryList({QStringLiteral("*.restoring*")}, QDir::Files) +
        QDir(env->programDir() + QStringLiteral("backups")).entryList({QStringLiteral("*.part*")});
    QCOMPARE(left, QStringList());
}

void TestIcs::restoreAndTheOldJournal_data()
{
    QTest::addColumn<QString>("old");
    QTest::addColumn<bool>("refused");
    QTest::newRow("a crashed program's journal") << "crashed" << false;
    QTest::newRow("another program has it open") << "open" << true;
    QTest::newRow("a damaged file and its journal") << "damaged" << false;
}

void TestIcs::restoreAndTheOldJournal()
{
    QFETCH(QString, old);
    QFETCH(bool, refused);
    const QString database = env->databaseFile();
    const QString backup = env->programDir() + QStringLiteral("backup.mdb");
    withBackup(database, backup, {QStringLiteral("备份里的")});
    // Another connection writes rows that stay in the journal: a program
    // killed, or one still running, without the program's lock.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(database).constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other,
                          "PRAGMA wal_autocheckpoint=0; INSERT INTO main (title, rc_date, "
                          "rc_time) SELECT title || '后来', rc_date, rc_time FROM main; INSERT "
                          "INTO main (title, rc_date, rc_time) SELECT title || '又一个', "
                          "rc_date, rc_time FROM main;",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    const QString wal = database + QStringLiteral("-wal");
    QVERIFY(QFileInfo(wal).size() > 0);
    if (old != QLatin1String("open")) {
        // The files as a kill leaves them: the journal not yet in the file.
        const QByteArray file = readFile(database), journal = readFile(wal);
        sqlite3_close(other);
        other = nullptr;
        writeFile(database, old == QLatin1String("damaged") ? QByteArray(8192, 'x') : file);
        writeFile(wal, journal);
    }
    try {
        const QString kept = Restore::restore(backup, database, QDateTime(today, QTime(9, 0)));
        QVERIFY(!refused);
        QVERIFY(!QFileInfo::exists(wal)); // nothing of the old one beside the new
        QCOMPARE(DatabaseBackup::problemWith(database, Restore::requiredTables()), QString());
        QCOMPARE(scheduleCount(database), 1);
        if (old == QLatin1String("crashed"))
            QCOMPARE(scheduleCount(kept), 4); // the journal's rows too
        else
            QVERIFY(QFileInfo::exists(kept));
    } catch (const AppError& e) {
        QVERIFY2(refused, qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("正被另一个程序使用")), qPrintable(e.text()));
        // The same database, which the other program goes on using.
        QCOMPARE(scalar(other, "SELECT count(*) FROM main"), 4);
        QCOMPARE(QDir(env->programDir()).entryList({QStringLiteral("*.before-restore-*")}),
                 QStringList());
    }
    sqlite3_close(other);
}

void TestIcs::importReadsPipesButNoDevice_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("failure"); // empty: imported
    textRow("standard input", "-", "");
    textRow("a named pipe", "fifo", "");
    textRow("a link to /dev/zero", "zero", "不是普通文件");
    textRow("a folder", "folder", "不是普通文件");
}

void TestIcs::importReadsPipesButNoDevice()
{
    QFETCH(QString, source);
    QFETCH(QString, failure);
    const QByteArray ics = calendar("BEGIN:VEVENT\nUID:a@example.com\nDTSTART:20260401T090000\n"
                                    "SUMMARY:管道\nEND:VEVENT\n");
    QString file = source;
    if (source == QLatin1String("fifo")) {
        file = env->programDir() + QStringLiteral("calendar.fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else if (source == QLatin1String("zero")) {
        file = env->programDir() + QStringLiteral("calendar.ics");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), file));
    } else if (source == QLatin1String("folder")) {
        file = env->programDir() + QStringLiteral("calendar");
        QVERIFY(QDir().mkpath(file));
    }
    QProcess tool;
    tool.start(qEnvironmentVariable("BRENWICK_ICS"),
               {QStringLiteral("import"), file, QStringLiteral("--database"), env->databaseFile()});
    QVERIFY(tool.waitForStarted());
    if (source == QLatin1String("-")) {
        tool.write(ics);
        tool.closeWriteChannel();
    } else if (source == QLatin1String("fifo")) {
        QFile writer(file);
        QVERIFY(writer.open(QIODevice::WriteOnly)); // meets the tool's reading end
        writer.write(ics);
    }
    QVERIFY(tool.waitForFinished(20000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    if (failure.isEmpty()) {
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(tool.readAllStandardOutput().contains("导入了 1 个日程"), qPrintable(err));
    } else {
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY2(err.contains(QDir::toNativeSeparators(file) + QStringLiteral(": ") + failure),
                 qPrintable(err));
    }
}

void TestIcs::aDamagedBackupIsRefused_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("not a database") << QByteArray("this is not a database");
    QTest::newRow("pages overwritten") << QByteArray("pages");
}

void TestIcs::aDamagedBackupIsRefused()
{
    QFETCH(QByteArray, damage);
    const QString database = env->databaseFile();
    const QString backup = env->programDir() + QStringLiteral("backup.mdb");
    {
        Db db(database);
        DbTransaction t(db.module.ADOConnection1);
        for (int i = 0; i < 300; ++i)
            ScheduleData::append(schedule(QString(12, QChar(0x5B57)), today, QTime(9, 0)));
        t.commit();
    }
    DatabaseBackup::copy(database, backup);
    QByteArray bytes = readFile(backup);
    if (damage == "pages")
        bytes.replace(4096, bytes.size() - 8192, QByteArray(bytes.size() - 8192, '\x33'));
    else
        bytes = damage;
    writeFile(backup, bytes);
    const QByteArray before = readFile(database);
    QStringList files = QDir(env->programDir()).entryList(QDir::Files);
    files << QStringLiteral("assistant.mdb.lock"); // taken, and left for the next
    files.sort();
    QVERIFY_THROWS_EXCEPTION(AppError,
                             Restore::restore(backup, database, QDateTime(today, QTime(9, 0))));
    QCOMPARE(readFile(database), before);
    QCOMPARE(QDir(env->programDir()).entryList(QDir::Files), files);
}

void TestIcs::exportsAreTheUsersAlone_data()
{
    QTest::addColumn<int>("oldMode"); // -1: a new file
    QTest::addColumn<int>("mode");
    QTest::newRow("a new file") << -1 << 0600;
    QTest::newRow("over a file open to all") << 0644 << 0600;
    QTest::newRow("over a file of the user's") << 0600 << 0600;
}

void TestIcs::exportsAreTheUsersAlone()
{
    QFETCH(int, oldMode);
    QFETCH(int, mode);
    {
        Db db(env->databaseFile());
        ScheduleData::append(schedule(QStringLiteral("私事"), today, QTime(9, 0)));
    }
    const QString file = env->programDir() + QStringLiteral("mine.ics");
    if (oldMode >= 0) {
        writeFile(file, "old");
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(oldMode)) == 0);
    }
    QCOMPARE(runTool({QStringLiteral("export"), file, QStringLiteral("--database"),
                      env->databaseFile()}),
             0);
    QVERIFY(readFile(file).contains("SUMMARY:私事"));
    QCOMPARE(int(modeOf(file)), mode);
}

QTEST_GUILESS_MAIN(TestIcs)
#include "tst_ics.moc"
