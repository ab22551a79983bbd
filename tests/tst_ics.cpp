#include "DatabaseFixtures.h"
#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/DatabaseBackup.h"
#include "platform/SingleInstance.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"
#include "shell/data/dataForm.h"
#include "tools/ics/Calendar.h"
#include "tools/ics/Restore.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// brenwick-ics: schedules to iCalendar and back, calendar files of other
// programs, broken files, and the restore of a backup.
class TestIcs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void roundTripKeepsEverySchedule();
    void filesOfOtherPrograms_data();
    void filesOfOtherPrograms();
    void recurringEventsStopAtTheHorizon_data();
    void recurringEventsStopAtTheHorizon();
    void longTextsAreCutAtACharacter();
    void anEventImportedBeforeIsNotAddedAgain();
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

// Every schedule, in date order, as one line of text each.
QStringList rowsOf(Db& db)
{
    ScheduleData::openForExport(db.q, std::nullopt, std::nullopt);
    const DbSnapshotPtr rows = db.q.snapshot();
    db.q.close();
    QStringList out;
    for (int r = 0; r < rows->rowCount(); ++r) {
        const Schedule s = Schedule::read(*rows, r);
        out << QStringLiteral("%1 %2|%3|%4|%5|%6|%7|%8|%9|%10")
                   .arg(s.date.toString(Qt::ISODate), s.time.toString(QStringLiteral("HH:mm:ss")),
                        s.title, s.content)
                   .arg(s.yxj)
                   .arg(s.ztFlag)
                   .arg(s.isTx)
                   .arg(s.txTime)
                   .arg(s.txTimeFlag)
                   .arg(s.bz);
    }
    return out;
}

Ics::Imported importInto(Db& db, const QByteArray& text, const QByteArray& zone = "Asia/Shanghai")
{
    db.use();
    Ics::ImportOptions o;
    o.today = today;
    o.databaseKey = Ics::databaseKey(db.path);
    o.localZone = zone;
    DbTransaction transaction(db.module.ADOConnection1);
    const Ics::Imported result = Ics::importCalendar(text, db.q, o);
    db.q.close();
    transaction.commit();
    return result;
}

QByteArray exportOf(Db& db)
{
    db.use();
    Ics::ExportOptions o;
    o.databaseKey = Ics::databaseKey(db.path);
    return Ics::exportCalendar(db.q, o).text;
}

// A calendar file as other programs write them: CR LF line ends.
QByteArray calendar(QByteArray body)
{
    body = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example Corp//Calendar 1.0//EN\n" + body +
           "END:VCALENDAR\n";
    return body.replace("\r\n", "\n").replace("\n", "\r\n");
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

uint modeOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
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
} // namespace

void TestIcs::init()
{
    env = std::make_unique<TestEnvironment>();
}

void TestIcs::cleanup()
{
    env.reset();
}

void TestIcs::roundTripKeepsEverySchedule()
{
    Db a(env->databaseFile());
    struct Lead {
        int isTx, amount, unit;
    };
    const Lead leads[] = {{0, 10, 0}, {1, 10, 0}, {1, 2, 1}, {1, 3, 2}, {1, 45, 0}};
    int n = 0;
    for (int zt = 1; zt <= 4; ++zt)
        for (int yxj = 0; yxj <= 2; ++yxj, ++n) {
            const Lead& l = leads[n % 5];
            Schedule s = schedule(QStringLiteral("日程%1").arg(n), today.addDays(n - 3),
                                  QTime(9, n, 15), yxj, zt, l.isTx, l.amount, l.unit);
            if (n % 3 == 0)
                s.bz = QStringLiteral("备注, 带;标点\\和\n换行");
            ScheduleData::append(s);
        }
    Schedule odd =
        schedule(QStringLiteral("十五个汉字的标题正好三十字节长"), today, QTime(23, 59, 59));
    odd.content = QStringLiteral("第一行，逗号;分号\\反斜杠\n第二行: 冒号");
    ScheduleData::append(odd);

    const QByteArray first = exportOf(a);
    QCOMPARE(uids(first).size(), 13);
    QCOMPARE(uids(exportOf(a)), uids(first)); // a second export keeps the UIDs
    Db b(env->programDir() + QStringLiteral("other.mdb"));
    QCOMPARE(importInto(b, first).added, 13);
    QCOMPARE(rowsOf(b), rowsOf(a));
    QVERIFY(uids(exportOf(b)) != uids(first)); // another database, other UIDs

    const Ics::Imported again = importInto(a, first); // back into the database it came from
    QCOMPARE(again.added, 0);
    QCOMPARE(again.already, 13);
}

void TestIcs::filesOfOtherPrograms_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("skipped");

    QTest::newRow("all-day event") << QByteArray("BEGIN:VEVENT\nUID:allday@example.com\n"
                                                 "DTSTART;VALUE=DATE:20260415\n"
                                                 "DTEND;VALUE=DATE:20260416\nSUMMARY:整理\n"
                                                 "END:VEVENT\n")
                                   << QStringList{"2026-04-15 00:00:00|整理||1|1|0|10|0|"} << 0;
    QTest::newRow("TZID with its VTIMEZONE, summer and winter")
        << QByteArray("BEGIN:VTIMEZONE\nTZID:W. Europe Standard Time\nBEGIN:STANDARD\n"
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
                      "END:VEVENT\n")
        << QStringList{"2026-01-15 16:00:00|Winter||1|1|0|10|0|",
                       "2026-07-01 15:00:00|Projektbesprechung||0|1|1|15|0|"}
        << 0;
    QTest::newRow("TZID of a known zone, no VTIMEZONE")
        << QByteArray("BEGIN:VEVENT\nUID:ny@example.com\nDTSTART;TZID=America/New_York:"
                      "20260115T200000\nSUMMARY:Call\nPRIORITY:9\nBEGIN:VALARM\nACTION:DISPLAY\n"
                      "TRIGGER:-PT2H\nEND:VALARM\nEND:VEVENT\n")
        << QStringList{"2026-01-16 09:00:00|Call||2|1|1|2|1|"} << 0;
    QTest::newRow("UTC event, cancelled")
        << QByteArray("BEGIN:VEVENT\nUID:utc@example.com\nDTSTART:20260501T010000Z\n"
                      "SUMMARY:Launch\nDESCRIPTION:All hands\nPRIORITY:5\nSTATUS:CANCELLED\n"
                      "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-P1D\nEND:VALARM\nEND:VEVENT\n")
        << QStringList{"2026-05-01 09:00:00|Launch|All hands|1|4|1|1|2|"} << 0;
    QTest::newRow("weekly RRULE with EXDATE, in two zones")
        << QByteArray("BEGIN:VEVENT\nUID:weekly@example.com\n"
                      "DTSTART;TZID=Asia/Shanghai:20260302T093000\n"
                      "RRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=8\n"
                      "EXDATE;TZID=Asia/Shanghai:20260413T093000\nSUMMARY:周会\nEND:VEVENT\n"
                      "BEGIN:VEVENT\nUID:daily@example.com\n"
                      "DTSTART;TZID=Europe/Berlin:20260401T100000\n"
                      "RRULE:FREQ=DAILY;UNTIL=20260403T235959Z\nEXDATE:20260402T080000Z\n"
                      "SUMMARY:Stand-up\nEND:VEVENT\n")
        << QStringList{"2026-04-01 16:00:00|Stand-up||1|1|0|10|0|",
                       "2026-04-03 16:00:00|Stand-up||1|1|0|10|0|",
                       "2026-04-06 09:30:00|周会||1|1|0|10|0|",
                       "2026-04-20 09:30:00|周会||1|1|0|10|0|"}
        << 0;
    QTest::newRow("folded lines, one fold inside a character")
        << QByteArray("BEGIN:VEVENT\nUID:fold@example.com\nDTSTART:20260410T140000\n"
                      "SUMMARY:季度\xe6\x80\n \xbb结\n"
                      "DESCRIPTION:第一行\\n第二行，这一行很长很长很长很长很长很长很长很长很\n"
                      "\t长，一直写到下一行\nEND:VEVENT\n")
        << QStringList{QStringLiteral("2026-04-10 14:00:00|季度总结|第一行\n第二行，这一行") +
                       QStringLiteral("很长").repeated(9) +
                       QStringLiteral("，一直写到下一行|1|1|0|10|0|")}
        << 0;
    QTest::newRow("a VTODO is skipped")
        << QByteArray("BEGIN:VTODO\nUID:todo@example.com\nDUE:20260405T170000\n"
                      "SUMMARY:交报告\nEND:VTODO\nBEGIN:VEVENT\nUID:e@example.com\n"
                      "DTSTART:20260405T090000\nSUMMARY:开会\nEND:VEVENT\n")
        << QStringList{"2026-04-05 09:00:00|开会||1|1|0|10|0|"} << 1;
    QTest::newRow("alarms: audio after e-mail, end-related, absolute, at the start")
        << QByteArray("BEGIN:VEVENT\nUID:a1\nDTSTART:20260601T100000\nSUMMARY:A\n"
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
                      "END:VEVENT\n")
        << QStringList{"2026-06-01 10:00:00|A||1|1|1|90|0|", "2026-06-02 10:00:00|B||1|1|1|1|1|",
                       "2026-06-03 09:00:00|C||1|1|1|30|0|", "2026-06-04 10:00:00|D||1|1|1|1|0|"}
        << 0;
}

void TestIcs::filesOfOtherPrograms()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, rows);
    QFETCH(int, skipped);
    Db db(env->databaseFile());
    const Ics::Imported result = importInto(db, calendar(body));
    QCOMPARE(rowsOf(db), rows);
    QCOMPARE(result.added, rows.size());
    QCOMPARE(result.skipped, skipped);
}

void TestIcs::recurringEventsStopAtTheHorizon_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::newRow("daily from today, no end")
        << QByteArray("DTSTART:20260331T080000\nRRULE:FREQ=DAILY") << 3650 << "2026-03-31";
    QTest::newRow("daily since ten years ago")
        << QByteArray("DTSTART:20160101T080000\nRRULE:FREQ=DAILY") << 3650 << "2026-03-31";
    QTest::newRow("yearly, twenty times") << QByteArray("DTSTART:20260601T080000\n"
                                                        "RRULE:FREQ=YEARLY;COUNT=20")
                                          << 10 << "2026-06-01";
    QTest::newRow("ended last year") << QByteArray("DTSTART:20240101T080000\n"
                                                   "RRULE:FREQ=WEEKLY;UNTIL=20250101T000000")
                                     << 0 << "";
    QTest::newRow("RDATE alone") << QByteArray("DTSTART:20260401T100000\n"
                                               "RDATE:20260410T100000,20260420T100000")
                                 << 3 << "2026-04-01";
}

void TestIcs::recurringEventsStopAtTheHorizon()
{
    QFETCH(QByteArray, rule);
    QFETCH(int, count);
    QFETCH(QString, first);
    Db db(env->databaseFile());
    importInto(db,
               calendar("BEGIN:VEVENT\nUID:r@example.com\nSUMMARY:R\n" + rule + "\nEND:VEVENT\n"));
    const QStringList rows = rowsOf(db);
    QCOMPARE(rows.size(), count);
    if (count) {
        QCOMPARE(rows.first().left(10), first);
        QVERIFY(rows.last().left(10) < QStringLiteral("2036-03-31"));
    }
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
                     "SUMMARY:短\nEND:VEVENT\n"));
    QCOMPARE(result.added, 2);
    QCOMPARE(result.cut, 1);
    const Schedule s = *ScheduleData::byId(db.q, 1);
    QCOMPARE(s.title, QStringLiteral("a") + QString(14, QChar(0x6C49)));
    QCOMPARE(s.content, QString(100, QChar(0x5B57)));
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

void TestIcs::aBrokenFileAddsNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    // A sound event first, on lines 4 to 8, so that a failure after it must undo it.
    const QByteArray good = "BEGIN:VEVENT\nUID:good\nDTSTART:20260401T090000\nSUMMARY:好的\n"
                            "END:VEVENT\n";
    const QByteArray head = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\n" + good;
    QTest::newRow("cut off before the end")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\n"
        << 11;
    QTest::newRow("END that closes nothing open")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\nEND:VTODO\nEND:VCALENDAR\n"
        << 12;
    QTest::newRow("a value that does not parse")
        << head + "BEGIN:VEVENT\nUID:b\nSUMMARY:x\nDTSTART:tomorrow\nEND:VEVENT\nEND:VCALENDAR\n"
        << 12;
    QTest::newRow("a line that is no property")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\nthis line has no colon\n"
                  "END:VEVENT\nEND:VCALENDAR\n"
        << 12;
    QTest::newRow("an event without DTSTART")
        << head + "BEGIN:VEVENT\nUID:b\nSUMMARY:x\nEND:VEVENT\nEND:VCALENDAR\n"
        << 9;
    QTest::newRow("a time zone nobody knows")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART;TZID=Mars/Olympus:20260402T090000\nEND:VEVENT\n"
                  "END:VCALENDAR\n"
        << 11;
    QTest::newRow("not UTF-8")
        << head + "BEGIN:VEVENT\nUID:b\nDTSTART:20260402T090000\nSUMMARY:\xb2\xe2\xca\xd4\n"
                  "END:VEVENT\nEND:VCALENDAR\n"
        << 12;
}

void TestIcs::aBrokenFileAddsNothing()
{
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    Db db(env->databaseFile());
    try {
        importInto(db, file);
        QFAIL("the import went through");
    } catch (const Ics::ImportError& e) {
        QCOMPARE(e.line, line);
        QVERIFY(!e.text.isEmpty());
    }
    QCOMPARE(rowsOf(db), QStringList());
}

void TestIcs::theProgramOnTheCommandLine()
{
    const QString program = qEnvironmentVariable("BRENWICK_ICS");
    const QString database = env->databaseFile();
    {
        Db db(database);
        DbTransaction t(db.module.ADOConnection1);
        for (int i = 0; i < 1200; ++i)
            ScheduleData::append(
                schedule(QStringLiteral("第%1个").arg(i), today.addDays(i % 40), QTime(8, 0)));
        t.commit();
    }
    auto run = [&](const QStringList& args, QByteArray* err = nullptr, QByteArray* out = nullptr) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(60000);
        if (err)
            *err = p.readAllStandardError();
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitCode();
    };
    QByteArray err, out;
    QCOMPARE(run({"--help"}, &err, &out), 0);
    for (const char* word : {"export", "import", "restore", "--from", "--to", "--database"})
        QVERIFY2(out.contains(word), word);

    const QString file = env->programDir() + QStringLiteral("all.ics");
    QCOMPARE(run({"export", file, "--database", database}, &err), 0);
    QVERIFY(err.contains("1000/1200"));
    QCOMPARE(
        run({"export", "-", "--database", database, "--from", "2026-04-01", "--to", "2026-04-01"},
            &err, &out),
        0);
    QCOMPARE(out.count("BEGIN:VEVENT"), 30); // 1200 schedules over 40 days

    const QString broken = env->programDir() + QStringLiteral("broken.ics");
    writeFile(broken, readFile(file).left(5000));
    const QString fresh = env->programDir() + QStringLiteral("fresh.mdb");
    QCOMPARE(run({"import", broken, "--database", fresh}, &err), 1);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY(err.contains(QFile::encodeName(broken) + ':'));
    QCOMPARE(run({"export"}, &err), 2);
    QCOMPARE(err.count('\n'), 1);
    QCOMPARE(run({"export", "-", "--database", env->programDir() + "missing.mdb"}, &err), 1);
    QVERIFY(!QFileInfo::exists(env->programDir() + "missing.mdb"));
}

void TestIcs::olderAndNewerFilesOnTheCommandLine()
{
    // The tool opens a file as the program does: an older one is brought up
    // to date (by an export too), a newer one is refused and left as it is.
    const QString program = qEnvironmentVariable("BRENWICK_ICS");
    const QString database = env->databaseFile();
    makeDatabase(database, fixtureSql(QStringLiteral("assistant-v1-ics.sql")));
    QProcess p;
    p.start(program, {"export", "-", "--database", database});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput().count("BEGIN:VEVENT"), 4);
    QCOMPARE(sqlValue(database, "pragma user_version"), Schema::version());

    const QByteArray newer = "pragma user_version=" + QByteArray::number(Schema::version() + 1);
    sqlValue(database, newer.constData());
    const QByteArray bytes = readFile(database);
    for (const char* command : {"export", "import"}) {
        p.start(program, {command, command == QByteArray("import") ? database : "-", "--database",
                          database});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
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
    {
        Db db(database);
        ScheduleData::append(schedule(QStringLiteral("旧的"), today, QTime(9, 0)));
        DatabaseBackup::copy(database, backup);
        ScheduleData::append(schedule(QStringLiteral("新的"), today, QTime(10, 0)));
    }
    // A backup an older version left open to all: the live file is not.
    QVERIFY(::chmod(QFile::encodeName(backup).constData(), 0644) == 0);
    const QString kept = Restore::restore(backup, database, QDateTime(today, QTime(9, 5, 7)));
    QCOMPARE(kept, database + QStringLiteral(".before-restore-20260331-090507"));
    QCOMPARE(modeOf(database), 0600u);
    QCOMPARE(modeOf(kept), 0600u);
    Db restored(database);
    QCOMPARE(rowsOf(restored).size(), 1);
    Db before(kept);
    QCOMPARE(rowsOf(before).size(), 2);
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
    {
        Db db(database);
        ScheduleData::append(schedule(QStringLiteral("一个"), today, QTime(9, 0)));
        DatabaseBackup::copy(database, backup);
    }
    // This process plays the running program.
    SingleInstance running(QStringLiteral("时雀"), database,
                           SingleInstance::runtimeDir(QStringLiteral("brenwick")));
    QVERIFY(running.tryBecomePrimary());
    const QByteArray bytes = readFile(database);
    const QStringList files = QDir(env->programDir()).entryList(QDir::Files);
    QProcess tool;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    QTemporaryDir tmp;
    if (!runtimeFolder) {
        e.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        e.insert(QStringLiteral("TMPDIR"), tmp.path());
    }
    tool.setProcessEnvironment(e);
    tool.start(qEnvironmentVariable("BRENWICK_ICS"),
               {QStringLiteral("restore"), backup, QStringLiteral("--database"), database});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY2(tool.readAllStandardError().contains("时雀正在运行"), "not refused as running");
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
    {
        Db db(database);
        ScheduleData::append(schedule(QStringLiteral("旧的"), today, QTime(9, 0)));
        DatabaseBackup::copy(database, backup);
        ScheduleData::append(schedule(QStringLiteral("新的"), today, QTime(10, 0)));
    }
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
    {
        Db after(database);
        QCOMPARE(rowsOf(after).size(), rows);
    }
    const QString kept = database + QStringLiteral(".before-restore-20260331-090507");
    if (crashAfter != QLatin1String("checked")) {
        Db before(kept);
        QCOMPARE(rowsOf(before).size(), 2);
    }
    // The next run takes up what the killed one left, and ends whole.
    QFile::remove(kept);
    Restore::restore(backup, database, now);
    {
        Db after(database);
        QCOMPARE(rowsOf(after).size(), 1);
    }
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
    {
        Db db(database);
        ScheduleData::append(schedule(QStringLiteral("备份里的"), today, QTime(9, 0)));
        DatabaseBackup::copy(database, backup);
    }
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
        {
            Db restored(database);
            QCOMPARE(rowsOf(restored).size(), 1);
        }
        if (old == QLatin1String("crashed")) {
            Db keptDb(kept);
            QCOMPARE(rowsOf(keptDb).size(), 4); // the journal's rows too
        } else {
            QVERIFY(QFileInfo::exists(kept));
        }
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
    QTest::newRow("standard input") << "-"
                                    << "";
    QTest::newRow("a named pipe") << "fifo"
                                  << "";
    QTest::newRow("a link to /dev/zero") << "zero"
                                         << "不是普通文件";
    QTest::newRow("a folder") << "folder"
                              << "不是普通文件";
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
    QProcess tool;
    tool.start(qEnvironmentVariable("BRENWICK_ICS"),
               {QStringLiteral("export"), file, QStringLiteral("--database"), env->databaseFile()});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(readFile(file).contains("SUMMARY:私事"));
    QCOMPARE(int(modeOf(file)), mode);
}

QTEST_GUILESS_MAIN(TestIcs)
#include "tst_ics.moc"
