#include "DatabaseFixtures.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/DayNumber.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"
#include "shell/data/Statements.h"
#include "shell/data/dataForm.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QDate today(2026, 3, 31);

struct Row {
    QString title;
    QDate date;
    QTime time;
    int yxj, zt, isTx;
};

// The fixture, in id order (ids start at 1).
const QList<Row> rows = {
    {QStringLiteral("xab"), today, QTime(10, 0), 0, 1, 1},                 // 1
    {QStringLiteral("abx"), today, QTime(8, 0), 1, 2, 1},                  // 2
    {QStringLiteral("晨会"), today.addDays(1), QTime(9, 0), 2, 3, 1},      // 3
    {QStringLiteral("later1"), today.addDays(5), QTime(15, 0), 0, 1, 0},   // 4
    {QStringLiteral("later2"), today.addDays(5), QTime(7, 0), 1, 4, 1},    // 5
    {QStringLiteral("later3"), today.addDays(3), QTime(12, 0), 2, 2, 1},   // 6
    {QStringLiteral("y1"), today.addDays(-1), QTime(9, 0), 1, 1, 1},       // 7
    {QStringLiteral("y2"), today.addDays(-1), QTime(10, 0), 1, 3, 1},      // 8
    {QStringLiteral("march1"), QDate(2026, 3, 1), QTime(9, 0), 1, 3, 0},   // 9
    {QStringLiteral("feb28"), QDate(2026, 2, 28), QTime(9, 0), 1, 1, 1},   // 10
    {QStringLiteral("it's 50%"), today.addDays(2), QTime(9, 30), 0, 1, 0}, // 11
};

// What a file holds, without the program's layer: its tables and indexes,
// and every row of every table, as lines of text.
QStringList contentOf(const QString& path, const char* sql)
{
    QStringList out;
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        qFatal("%s", sqlite3_errmsg(db));
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            cells << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        out << cells.join(QLatin1Char('|'));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
QStringList schemaOf(const QString& path)
{
    return contentOf(path, "select type, name, sql from sqlite_master order by name");
}
QStringList rowsOf(const QString& path)
{
    QStringList out;
    for (const char* table : {"main", "zjTable", "sqlite_sequence"})
        out << contentOf(path, QByteArray("select * from ") + table + " order by 1");
    return out;
}

// The statement run on q, with its one parameter where it has one.
DbQuery& open(DbQuery& q, const QString& sql, const QVariant& param = {})
{
    q.setSql(sql);
    if (param.isValid())
        q.setParameter(0, param);
    q.open();
    return q;
}

QList<int> ids(DbQuery& q)
{
    QList<int> out;
    for (q.first(); !q.eof(); q.next())
        out << q.intField(QStringLiteral("id"));
    return out;
}
} // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void newDatabaseHasTheSchema();
    void newDatabaseIsTheUsersAlone_data();
    void newDatabaseIsTheUsersAlone();
    void olderFilesAreBroughtUpToDate_data();
    void olderFilesAreBroughtUpToDate();
    void aNewerFileIsRefusedAndLeftUntouched();
    void aFailingMigrationLeavesTheFileAsItWas();
    void everyNewScheduleGetsAUidOfItsOwn();
    void newRowReadsBackWithItsDefaults();
    void statements_data();
    void statements();
    void purgeRemovesOnlyOlderThanTheLimit();
    void editAndPostUpdatesTheRowAtOnce();
    void deleteRemovesOneRow();
    void quoteInATypedTextIsHarmless();
    void oneWorkNotePerDate();
    void navigation();
    void nullReadsRaise();
    void exportReadsEveryRowOncePageByPage_data();
    void exportReadsEveryRowOncePageByPage();
    void connectionOpensWithFirstUserAndClosesWithLast();
    void foreignFileIsReportedAndLeftUntouched_data();
    void foreignFileIsReportedAndLeftUntouched();
    void postsSurviveAKilledProcess();
    void dataSourceIsThePathAsItIs_data();
    void dataSourceIsThePathAsItIs();
    void scheduleRecords();
    void everyFieldIsReadAndWritten();
    void readOnlyFileIsNamedAndRecovers();
    void aReadOnlyFolderIsReadNotWritten_data();
    void aReadOnlyFolderIsReadNotWritten();

private:
    void fill();
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TDataModule1> dm;
};

void TestDatabase::init()
{
    env = std::make_unique<TestEnvironment>(QDateTime(today, QTime(9, 0)));
    dm = std::make_unique<TDataModule1>();
    dm->ADOConnection1.setConnectionString(TDataModule1::connectionStringFor(env->programDir()));
    DataModule1 = dm.get();
}

void TestDatabase::cleanup()
{
    dm.reset();
    env.reset();
}

void TestDatabase::fill()
{
    for (const Row& r : rows) {
        // The way the add window appends: eight columns, no zt_flag, no bz.
        dm->mydata.close();
        dm->mydata.open();
        dm->mydata.append();
        dm->mydata.setField(QStringLiteral("title"), r.title);
        dm->mydata.setField(QStringLiteral("content"), QStringLiteral("内容 ") + r.title);
        dm->mydata.setField(QStringLiteral("rc_date"), r.date);
        dm->mydata.setField(QStringLiteral("rc_time"), r.time);
        dm->mydata.setField(QStringLiteral("yxj"), r.yxj);
        dm->mydata.setField(QStringLiteral("tx_time_flag"), 0);
        dm->mydata.setField(QStringLiteral("is_tx"), r.isTx);
        dm->mydata.setField(QStringLiteral("tx_time"), 10);
        dm->mydata.post();
        const qint64 id = dm->mydata.lastId();
        dm->mydata.close();
        if (r.zt != 1) {
            DbQuery q(dm->ADOConnection1);
            open(q, Sql::scheduleById(id));
            q.edit();
            q.setField(QStringLiteral("zt_flag"), r.zt);
            q.post();
        }
    }
}

void TestDatabase::newDatabaseHasTheSchema()
{
    QVERIFY(!QFile::exists(env->databaseFile()));
    DbQuery q(dm->ADOConnection1);
    open(q, QStringLiteral("select name from sqlite_master where type='table' order by name"));
    QStringList tables;
    for (; !q.eof(); q.next())
        tables << q.textField(QStringLiteral("name"));
    for (const char* table : {"main", "zjTable", "icsImport"})
        QVERIFY2(tables.contains(QLatin1String(table)), table);
    QCOMPARE(
        open(q, QStringLiteral("pragma journal_mode")).textField(QStringLiteral("journal_mode")),
        QStringLiteral("wal"));
    QCOMPARE(
        open(q, QStringLiteral("pragma user_version")).intField(QStringLiteral("user_version")),
        Schema::version());
    QVERIFY(QFile::exists(env->databaseFile()));
    QVERIFY(!QFile::exists(env->databaseFile() + QStringLiteral(".new")));
}

void TestDatabase::newDatabaseIsTheUsersAlone_data()
{
    QTest::addColumn<int>("umask");
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 000") << 0;
}

void TestDatabase::newDatabaseIsTheUsersAlone()
{
    QFETCH(int, umask);
    const mode_t before = ::umask(mode_t(umask));
    DbQuery q(dm->ADOConnection1);
    open(q, Sql::allSchedules()); // makes the file; its journals are there while it is open
    ::umask(before);
    for (const char* suffix : {"", "-wal", "-shm"})
        QVERIFY2(modeOf(env->databaseFile() + QLatin1String(suffix)) == 0600u, suffix);
}

void TestDatabase::olderFilesAreBroughtUpToDate_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("imported"); // an event the import log holds
    QTest::addColumn<int>("version");      // user_version
    QTest::addColumn<QString>("uidKey");   // of the UIDs kept; empty: this path's
    const QString imported = QStringLiteral("abc@example.com\n20260408T103000");
    QTest::newRow("version 1") << "assistant-v1.sql" << QString() << 0 << QString();
    QTest::newRow("version 1, after an import")
        << "assistant-v1-ics.sql" << imported << 0 << QString();
    QTest::newRow("version 2") << "assistant-v2.sql" << imported << 2 << QString();
    QTest::newRow("version 3") << "assistant-v3.sql" << imported << 3 << "f00dfeed1234";
    QTest::newRow("version 4, synced") << "assistant-v4.sql" << imported << 4 << "f00dfeed1234";
}

void TestDatabase::olderFilesAreBroughtUpToDate()
{
    QFETCH(QString, fixture);
    QFETCH(QString, imported);
    QFETCH(int, version);
    QFETCH(QString, uidKey);
    const QString file = env->databaseFile();
    makeDatabase(file, fixtureSql(fixture));
    const QStringList before = rowsOf(file);
    const QStringList records =
        version == 4 ? contentOf(file, "select * from syncStatus") : QStringList();
    QCOMPARE(sqlValue(file, "pragma user_version"), version);

    DbQuery q(dm->ADOConnection1);
    const std::optional<Schedule> s = ScheduleData::byId(q, 2);
    QVERIFY(s);
    QCOMPARE(s->title, QStringLiteral("it's 50%"));
    QCOMPARE(s->moment(), QDateTime(QDate(2026, 4, 1), QTime(14, 30)));
    QCOMPARE(ScheduleData::byId(q, 4)->bz, QStringLiteral("已订会议室"));
    QCOMPARE(ScheduleData::workNoteText(q, QDate(2026, 3, 30)),
             QStringLiteral("写完周报\n明天继续"));
    QCOMPARE(ScheduleData::importedEvents(q).contains(imported), !imported.isEmpty());
    // Each schedule has the UID the exports gave it at this path before.
    QSet<QString> legacy;
    open(q, Sql::allSchedules());
    for (int id : ids(q))
        legacy << ScheduleData::legacyUid(id, uidKey.isEmpty() ? ScheduleData::databaseKey(file)
                                                               : uidKey) +
                      QLatin1Char('\n');
    QCOMPARE(legacy.size(), imported.isEmpty() ? 3 : 4);
    QCOMPARE(ScheduleData::keptUids(q), legacy);
    dm->ADOConnection1.closeFile();

    // The data as it was, the version of today and the tables of a new file.
    QCOMPARE(rowsOf(file), before);
    if (version == 4)
        QCOMPARE(contentOf(file, "select * from syncStatus"), records);
    QCOMPARE(sqlValue(file, "pragma user_version"), Schema::version());
    const QString fresh = env->programDir() + QStringLiteral("fresh.mdb");
    {
        TDataModule1 other;
        other.ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + fresh);
        other.ADOConnection1.exec(QStringLiteral("select 1"));
    }
    QCOMPARE(schemaOf(file), schemaOf(fresh));
}

void TestDatabase::aNewerFileIsRefusedAndLeftUntouched()
{
    const QString file = env->databaseFile();
    makeDatabase(file, fixtureSql(QStringLiteral("assistant-v1.sql")) +
                           "PRAGMA user_version=" + QByteArray::number(Schema::version() + 1));
    const QByteArray bytes = readFile(file);
    DbQuery q(dm->ADOConnection1);
    QCOMPARE(errorOf([&] { ScheduleData::byId(q, 1); }),
             QStringLiteral("%1: 数据库文件是第 %2 版的，本程序只认识到第 %3 版，"
                            "没有打开它（文件未作改动）")
                 .arg(file)
                 .arg(Schema::version() + 1)
                 .arg(Schema::version()));
    QVERIFY(!dm->ADOConnection1.fileOpen());
    QCOMPARE(readFile(file), bytes);
    QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(file + QStringLiteral("-shm")));
}

void TestDatabase::aFailingMigrationLeavesTheFileAsItWas()
{
    const QString file = env->databaseFile();
    makeDatabase(file, fixtureSql(QStringLiteral("assistant-v1.sql")));
    const QByteArray bytes = readFile(file);
    // Version 2 goes well, version 3 fails half-way: neither stays.
    DbSchema broken = Schema::schema();
    broken.steps << "CREATE TABLE extra (a); INSERT INTO nosuch VALUES (1);";
    dm->ADOConnection1.setSchema(broken);
    DbQuery q(dm->ADOConnection1);
    QCOMPARE(errorOf([&] { ScheduleData::byId(q, 1); }),
             QStringLiteral("%1: 无法把数据库从第 1 版升级到第 %2 版（no such table: "
                            "nosuch），文件保持原样")
                 .arg(file)
                 .arg(broken.version()));
    QVERIFY(!dm->ADOConnection1.fileOpen());
    QCOMPARE(readFile(file), bytes);
    QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
    // Not replaced, not emptied: the program of today still reads it.
    dm->ADOConnection1.setSchema(Schema::schema());
    QCOMPARE(ScheduleData::byId(q, 4)->title, QStringLiteral("评审"));
}

void TestDatabase::everyNewScheduleGetsAUidOfItsOwn()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    Schedule s;
    s.title = QStringLiteral("新");
    s.date = QDate(2026, 5, 1);
    s.time = QTime(9, 0);
    const qint64 first = ScheduleData::append(s);
    dm->ADOConnection1.exec(QStringLiteral("insert into main (title, rc_date, rc_time) "
                                           "values ('别的写法', 46150, 0.5)"));
    // A random UUID (version 4) each, whoever wrote the row, none twice.
    static const QRegularExpression uuid(QStringLiteral(
        "^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}@brenwick\\n$"));
    const QSet<QString> kept = ScheduleData::keptUids(q);
    QCOMPARE(int(kept.size()), sqlValue(env->databaseFile(), "select count(*) from main"));
    for (const QString& key : kept)
        QVERIFY2(uuid.match(key).hasMatch(), qPrintable(key));
    // A deleted schedule's UID no longer counts, nor is it given again.
    const int before = int(ScheduleData::keptUids(q).size());
    ScheduleData::remove(q, first);
    QCOMPARE(int(ScheduleData::keptUids(q).size()), before - 1);
    QCOMPARE(sqlValue(env->databaseFile(), "select count(*) from scheduleUid where schedule not "
                                           "in (select id from main)"),
             0);
    dm->ADOConnection1.exec(QStringLiteral("delete from main"));
    QVERIFY(ScheduleData::keptUids(q).isEmpty());
}

void TestDatabase::newRowReadsBackWithItsDefaults()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    open(q, Sql::scheduleById(4));
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.intField(QStringLiteral("zt_flag")), 1);
    QCOMPARE(q.textField(QStringLiteral("bz")), QString());
    QCOMPARE(q.intField(QStringLiteral("is_tx")), 0);
    QCOMPARE(q.textField(QStringLiteral("title")), QStringLiteral("later1"));
    QCOMPARE(DayNumber::toDate(q.dateTimeField(QStringLiteral("rc_date"))), today.addDays(5));
    QCOMPARE(DayNumber::toTime(q.dateTimeField(QStringLiteral("rc_time"))), QTime(15, 0));
    // rc_date holds a whole day and rc_time only a time of day.
    QCOMPARE(q.dateTimeField(QStringLiteral("rc_date")), DayNumber::fromDate(today.addDays(5)));
    QVERIFY(q.dateTimeField(QStringLiteral("rc_time")) < 1.0);
    // Ids are never reused.
    q.setSql(Sql::deleteSchedule(11));
    q.execSql();
    dm->mydata.open();
    dm->mydata.append();
    dm->mydata.setField(QStringLiteral("title"), QStringLiteral("new"));
    dm->mydata.post();
    QCOMPARE(dm->mydata.lastId(), qint64(12));
    dm->mydata.close();
}

void TestDatabase::statements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariant>("param");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<bool>("ordered");
    const QVariant none;
    const QDate tomorrow = today.addDays(1), yesterday = today.addDays(-1);
    QTest::newRow("today, by time")
        << Sql::schedulesOfDay() << QVariant(today) << QList<int>{2, 1} << true;
    QTest::newRow("tomorrow") << Sql::schedulesOfDay() << QVariant(tomorrow) << QList<int>{3}
                              << true;
    QTest::newRow("after tomorrow, by date and time")
        << Sql::schedulesAfter() << QVariant(tomorrow) << QList<int>{11, 6, 5, 4} << true;
    QTest::newRow("reminder candidates")
        << Sql::reminderCandidates() << QVariant(today) << QList<int>{2, 1, 6} << true;
    QTest::newRow("reminder due list")
        << Sql::reminderDueList() << QVariant(today) << QList<int>{2, 1, 6} << true;
    QTest::newRow("today's count")
        << Sql::schedulesOfDayCount() << QVariant(today) << QList<int>{1, 2} << false;
    QTest::newRow("yesterday not completed")
        << Sql::notCompletedOfDay() << QVariant(yesterday) << QList<int>{7} << false;
    QTest::newRow("yesterday completed")
        << Sql::completedOfDay() << QVariant(yesterday) << QList<int>{8} << false;
    QTest::newRow("all schedules")
        << Sql::allSchedules() << none << QList<int>{10, 9, 7, 8, 2, 1, 3, 11, 6, 5, 4} << true;
    QTest::newRow("title ends with ab")
        << Sql::titleEndsWith() << QVariant(QStringLiteral("ab")) << QList<int>{1} << true;
    QTest::newRow("title wildcard %")
        << Sql::titleEndsWith() << QVariant(QStringLiteral("r%2")) << QList<int>{5} << true;
    QTest::newRow("title wildcard _") << Sql::titleEndsWith() << QVariant(QStringLiteral("later_"))
                                      << QList<int>{6, 5, 4} << true;
    QTest::newRow("title case-insensitive")
        << Sql::titleEndsWith() << QVariant(QStringLiteral("XAB")) << QList<int>{1} << true;
    QTest::newRow("priority high") << Sql::byPriority(0) << none << QList<int>{1, 11, 4} << true;
    QTest::newRow("status completed") << Sql::byStatus(3) << none << QList<int>{9, 8, 3} << true;
    QTest::newRow("status cancelled") << Sql::byStatus(4) << none << QList<int>{5} << true;
    QTest::newRow("by date") << Sql::byDate() << QVariant(today) << QList<int>{2, 1} << true;
    QTest::newRow("by date, none")
        << Sql::byDate() << QVariant(QDate(2030, 1, 1)) << QList<int>{} << true;
}

void TestDatabase::statements()
{
    QFETCH(QString, sql);
    QFETCH(QVariant, param);
    QFETCH(QList<int>, expected);
    QFETCH(bool, ordered);
    fill();
    DbQuery q(dm->ADOConnection1);
    open(q, sql, param);
    QCOMPARE(q.recordCount(), expected.size());
    QList<int> got = ids(q);
    if (!ordered) {
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
    }
    QCOMPARE(got, expected);
}

void TestDatabase::purgeRemovesOnlyOlderThanTheLimit()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    // oldrcDays 30 on 31 March: 1 March stays, 28 February goes, whatever its status.
    q.setSql(Sql::purgeOlderThan(30));
    QCOMPARE(q.sql(), QStringLiteral("delete * from main where rc_date+30<:dt"));
    q.setDateParameter(today);
    q.execSql();
    open(q, Sql::allSchedules());
    QCOMPARE(ids(q), (QList<int>{9, 7, 8, 2, 1, 3, 11, 6, 5, 4}));
}

void TestDatabase::editAndPostUpdatesTheRowAtOnce()
{
    fill();
    DbQuery edit(dm->ADOConnection1), check(dm->ADOConnection1);
    open(edit, Sql::scheduleById(1));
    edit.edit();
    edit.setField(QStringLiteral("title"), QStringLiteral("  blanks kept  "));
    edit.setField(QStringLiteral("rc_date"), QDate(2027, 1, 2));
    edit.setField(QStringLiteral("is_tx"), 0);
    edit.post();
    QCOMPARE(edit.textField(QStringLiteral("title")), QStringLiteral("  blanks kept  "));
    open(check, Sql::scheduleById(1));
    QCOMPARE(check.textField(QStringLiteral("title")), QStringLiteral("  blanks kept  "));
    QCOMPARE(DayNumber::toDate(check.dateTimeField(QStringLiteral("rc_date"))), QDate(2027, 1, 2));
    QCOMPARE(check.intField(QStringLiteral("is_tx")), 0);
    // Only that row changed.
    open(check, Sql::scheduleById(2));
    QCOMPARE(check.textField(QStringLiteral("title")), QStringLiteral("abx"));
}

void TestDatabase::deleteRemovesOneRow()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    q.setSql(Sql::deleteSchedule(3));
    q.execSql();
    open(q, Sql::scheduleById(3));
    QCOMPARE(q.recordCount(), 0);
    QVERIFY(q.eof());
    open(q, Sql::allSchedules());
    QCOMPARE(q.recordCount(), rows.size() - 1);
}

void TestDatabase::quoteInATypedTextIsHarmless()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    QCOMPARE(ids(open(q, Sql::titleEndsWith(), QStringLiteral("'s 50%"))), QList<int>{11});
    // A would-be injection only ever matches titles.
    QCOMPARE(open(q, Sql::titleEndsWith(), QStringLiteral("' or '1'='1")).recordCount(), 0);
    QCOMPARE(open(q, Sql::workNotesContaining(), QStringLiteral("'; delete from main; --"))
                 .recordCount(),
             0);
    QCOMPARE(open(q, Sql::allSchedules()).recordCount(), rows.size());
}

void TestDatabase::oneWorkNotePerDate()
{
    // Each writer looks the date up, edits the row it found, appends only when none.
    auto save = [this](const QDate& date, const QString& text) {
        DbQuery q(dm->ADOConnection1);
        open(q, Sql::workNoteOfDay(), date);
        if (q.recordCount() > 0) {
            q.edit();
            q.setField(QStringLiteral("zj"), text);
            q.post();
            return;
        }
        q.close();
        dm->zjTable.close();
        dm->zjTable.open();
        dm->zjTable.append();
        dm->zjTable.setField(QStringLiteral("date"), date);
        dm->zjTable.setField(QStringLiteral("zj"), text);
        dm->zjTable.post();
        dm->zjTable.close();
    };
    save(today, QStringLiteral("第一稿"));
    save(today, QStringLiteral("今天完成了报告，明天开会"));
    save(today.addDays(-1), QStringLiteral("昨天的笔记"));
    DbQuery q(dm->ADOConnection1);
    open(q, Sql::workNoteOfDay(), today);
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.textField(QStringLiteral("zj")), QStringLiteral("今天完成了报告，明天开会"));
    // The keyword is found anywhere in the text.
    for (const char* kw : {"今天", "报告", "开会", "笔记"})
        QCOMPARE(open(q, Sql::workNotesContaining(), QString::fromUtf8(kw)).recordCount(), 1);
    // A second row for a date is refused by the file itself.
    dm->zjTable.open();
    dm->zjTable.append();
    dm->zjTable.setField(QStringLiteral("date"), today);
    QVERIFY_THROWS_EXCEPTION(AppError, dm->zjTable.post());
    dm->zjTable.close();
}

void TestDatabase::navigation()
{
    fill();
    DbQuery q(dm->ADOConnection1);
    open(q, Sql::allSchedules());
    QCOMPARE(q.recNo(), 1);
    QVERIFY(q.bof());
    q.prior();
    QVERIFY(q.bof());
    QCOMPARE(q.recNo(), 1);
    q.setRecNo(5);
    QCOMPARE(q.intField(QStringLiteral("id")), 2);
    q.prior();
    QCOMPARE(q.intField(QStringLiteral("id")), 8);
    q.setRecNo(11);
    QVERIFY(!q.eof());
    q.next();
    QVERIFY(q.eof());
    QCOMPARE(q.recNo(), 11);
    QCOMPARE(q.intField(QStringLiteral("id")), 4);
    // Re-reading keeps the position and sees changes made elsewhere.
    q.setRecNo(6);
    DbQuery other(dm->ADOConnection1);
    open(other, Sql::scheduleById(1));
    other.edit();
    other.setField(QStringLiteral("title"), QStringLiteral("renamed"));
    other.post();
    q.requery();
    QCOMPARE(q.recNo(), 6);
    QCOMPARE(q.textField(QStringLiteral("title")), QStringLiteral("renamed"));
    // Columns are read by name without regard to case.
    QCOMPARE(q.intField(QStringLiteral("ID")), 1);
    QVERIFY_THROWS_EXCEPTION(AppError, q.intField(QStringLiteral("nosuch")));
}

void TestDatabase::nullReadsRaise()
{
    dm->ADOConnection1.exec(
        QStringLiteral("insert into main (title, rc_date) values ('t', 46000)"));
    DbQuery q(dm->ADOConnection1);
    open(q, Sql::scheduleById(1));
    QCOMPARE(q.textField(QStringLiteral("title")), QStringLiteral("t"));
    QVERIFY(q.isNull(QStringLiteral("rc_time")));
    QVERIFY_THROWS_EXCEPTION(AppError, q.dateTimeField(QStringLiteral("rc_time")));
    // Text columns never hold null: the file refuses it.
    QVERIFY_THROWS_EXCEPTION(AppError,
                             dm->ADOConnection1.exec(QStringLiteral("update main set title=null")));
}

void TestDatabase::exportReadsEveryRowOncePageByPage_data()
{
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    for (int page : {1, 2, 3, 100}) {
        QTest::addRow("pages of %d, every date", page) << page << QDate() << QDate();
        QTest::addRow("pages of %d, four days", page)
            << page << today.addDays(-1) << today.addDays(2);
    }
    QTest::addRow("pages of 2, from a date on") << 2 << today << QDate();
}

void TestDatabase::exportReadsEveryRowOncePageByPage()
{
    QFETCH(int, pageRows);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    fill();
    fill(); // every date and time twice
    auto optional = [](const QDate& d) {
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    };
    DbQuery q(dm->ADOConnection1);
    ScheduleData::openForExport(q, optional(from), optional(to));
    QList<qint64> expected;
    for (q.first(); !q.eof(); q.next())
        expected << Schedule::read(q).id;
    QVERIFY(expected.size() >= 8);
    QList<qint64> read;
    ScheduleData::forEachForExport(
        q, optional(from), optional(to), [&](const Schedule& s) { read << s.id; }, pageRows);
    QCOMPARE(read, expected);
    QVERIFY(!q.active());

    const auto span = ScheduleData::exportSpan(q, optional(from), optional(to));
    QVERIFY(span);
    QCOMPARE(span->first, from.isValid() ? from : QDate(2026, 2, 28));
    QCOMPARE(span->last, to.isValid() ? to : today.addDays(5));
    QCOMPARE(span->count, expected.size());
    QVERIFY(!ScheduleData::exportSpan(q, QDate(2030, 1, 1), std::nullopt));

    // A row that cannot be read is not passed over on a later page.
    dm->ADOConnection1.exec(QStringLiteral("insert into main (title, rc_date) values ('t', %1)")
                                .arg(DayNumber::fromDate(today.addDays(1))));
    QVERIFY_THROWS_EXCEPTION(
        AppError, ScheduleData::forEachForExport(
                      q, optional(from), optional(to), [](const Schedule&) {}, pageRows));
}

void TestDatabase::connectionOpensWithFirstUserAndClosesWithLast()
{
    DbConnection& c = dm->ADOConnection1;
    QVERIFY(!c.connected());
    DbQuery a(c), b(c);
    open(a, Sql::allSchedules());
    QVERIFY(c.connected());
    open(b, Sql::allSchedules());
    a.close();
    QVERIFY(c.connected());
    b.close();
    QVERIFY(!c.connected());
    dm->mydata.open();
    QVERIFY(c.connected());
    dm->mydata.close();
    QVERIFY(!c.connected());
    // The file itself closes once the program is idle again.
    QVERIFY(c.fileOpen());
    QTRY_VERIFY(!c.fileOpen());
    // A failing statement leaves nothing open.
    a.setSql(QStringLiteral("select * from nosuch"));
    QVERIFY_THROWS_EXCEPTION(AppError, a.open());
    QVERIFY(!a.active());
    QVERIFY(!c.connected());
    QCOMPARE(TDataModule1::connectionStringFor(QStringLiteral("/opt/x/")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/x/assistant.mdb;"
                            "Persist Security Info=False"));
    QCOMPARE(c.dataSource(), env->databaseFile());
}

void TestDatabase::foreignFileIsReportedAndLeftUntouched_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("text file") << QByteArray("Standard Jet DB\0 this is no database", 37)
                               << "file is not a database";
    QTest::newRow("empty file") << QByteArray() << "no such table: main";
}

void TestDatabase::foreignFileIsReportedAndLeftUntouched()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    writeFile(env->databaseFile(), bytes);
    DbQuery q(dm->ADOConnection1);
    q.setSql(Sql::schedulesOfDay());
    q.setDateParameter(today);
    const QString raised = errorOf([&] { q.open(); });
    QVERIFY2(raised.contains(error), qPrintable(raised));
    QCOMPARE(readFile(env->databaseFile()), bytes);
    QVERIFY(!QFile::exists(env->databaseFile() + QStringLiteral("-wal")));
}

void TestDatabase::postsSurviveAKilledProcess()
{
    const QString file = env->databaseFile();
    for (int round = 0; round < 4; ++round) {
        QProcess child;
        child.start(QStringLiteral(DURABILITY_CHILD), {file});
        QVERIFY(child.waitForStarted());
        // Killed while it posts: counted from its first post, as a loaded
        // machine (or a sanitizer build) may take long to start it.
        QVERIFY(child.waitForReadyRead(60000));
        QTest::qWait(150 + QRandomGenerator::global()->bounded(250));
        child.kill();
        child.waitForFinished();
        const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
        qint64 lastReturned = 0;
        for (const QByteArray& l : lines)
            if (!l.trimmed().isEmpty())
                lastReturned = l.trimmed().toLongLong();
        QVERIFY2(lastReturned > 0, "the child posted nothing before it was killed");

        DbQuery q(dm->ADOConnection1);
        open(q, QStringLiteral("pragma integrity_check"));
        QCOMPARE(q.textField(QStringLiteral("integrity_check")), QStringLiteral("ok"));
        open(q, QStringLiteral("select max(id) as m from main"));
        QVERIFY2(
            q.intField(QStringLiteral("m")) >= lastReturned,
            qPrintable(
                QStringLiteral("%1 < %2").arg(q.intField(QStringLiteral("m"))).arg(lastReturned)));
    }
}

void TestDatabase::dataSourceIsThePathAsItIs_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << TDataModule1::connectionStringFor("/opt/x/")
                           << "/opt/x/assistant.mdb";
    QTest::newRow("semicolon in a folder")
        << TDataModule1::connectionStringFor("/home/u/work;2026/")
        << "/home/u/work;2026/assistant.mdb";
    QTest::newRow("semicolon and equals")
        << TDataModule1::connectionStringFor("/a;b=c;d/") << "/a;b=c;d/assistant.mdb";
    textRow("quoted", "Provider=x;Data Source=\"/q;r/a.mdb\";Mode=Read", "/q;r/a.mdb");
    textRow("last key", "Data Source=/z/a.mdb", "/z/a.mdb");
    textRow("blanks around", "Provider=x; data source = /s p/a.mdb ;Mode=Read", "/s p/a.mdb");
    textRow("none", "Provider=x", "");
}

void TestDatabase::dataSourceIsThePathAsItIs()
{
    QFETCH(QString, connection);
    QFETCH(QString, path);
    QCOMPARE(DbConnection::dataSourceOf(connection), path);
}

void TestDatabase::scheduleRecords()
{
    Schedule s;
    s.title = QStringLiteral("评审");
    s.content = QStringLiteral("带电脑");
    s.date = today.addDays(2);
    s.time = QTime(14, 30, 15);
    s.yxj = 2;
    s.txTimeFlag = 2;
    s.isTx = 1;
    s.txTime = 1;
    s.id = ScheduleData::append(s);
    DbQuery q(dm->ADOConnection1);
    const std::optional<Schedule> back = ScheduleData::byId(q, s.id);
    QVERIFY(back);
    QCOMPARE(back->title, s.title);
    QCOMPARE(back->moment(), QDateTime(today.addDays(2), QTime(14, 30, 15)));
    QCOMPARE(back->ztFlag, 1); // the file's defaults
    QCOMPARE(back->bz, QString());
    QVERIFY(!q.active()); // read and closed
    QVERIFY(ScheduleData::setNote(q, s.id, QStringLiteral("已订会议室")));
    QCOMPARE(ScheduleData::byId(q, s.id)->bz, QStringLiteral("已订会议室"));
    // An id no row has: nothing is read, nothing written.
    QVERIFY(!ScheduleData::byId(q, s.id + 1));
    QVERIFY(!ScheduleData::setStatus(q, s.id + 1, 3));
    QCOMPARE(ScheduleData::statusOf(q, s.id), std::optional<int>(1));
    // A null where the program reads a value raises, naming the column.
    dm->ADOConnection1.exec(QStringLiteral("update main set rc_time=null"));
    QCOMPARE(errorOf([&] { ScheduleData::byId(q, s.id); }),
             QStringLiteral("Column 'rc_time' holds no value"));
    QCOMPARE(ScheduleData::priorityOf(q, s.id), std::optional<int>(2)); // others still read
}

void TestDatabase::everyFieldIsReadAndWritten()
{
    // The field list is every column of main, in the file's order.
    DbQuery q(dm->ADOConnection1);
    ScheduleData::openAll(q);
    QStringList fields;
    for (const ScheduleField& f : scheduleFields)
        fields << QLatin1String(f.column);
    QCOMPARE(q.snapshot()->columns(), fields);

    const auto text = [](const Schedule& s) {
        return QStringLiteral("%1|%2|%3|%4|%5 %6 %7 %8 %9|%10")
            .arg(s.title, s.content, s.date.toString(Qt::ISODate),
                 s.time.toString(QStringLiteral("HH:mm:ss.zzz")))
            .arg(s.yxj)
            .arg(s.ztFlag)
            .arg(s.isTx)
            .arg(s.txTime)
            .arg(s.txTimeFlag)
            .arg(s.bz);
    };
    Schedule a;
    a.title = QStringLiteral("甲");
    a.content = QStringLiteral("乙\n第二行");
    a.date = today;
    a.time = QTime(14, 30, 15, 250);
    a.yxj = 2;
    a.ztFlag = 3;
    a.isTx = 1;
    a.txTime = 7;
    a.txTimeFlag = 1;
    a.bz = QStringLiteral("丙");
    a.id = ScheduleData::append(a);
    QCOMPARE(text(*ScheduleData::byId(q, a.id)), text(a));
    // A save of the editing windows writes what they edit; status and note stay.
    Schedule b;
    b.id = a.id;
    b.title = QStringLiteral("丁");
    b.content = QStringLiteral("戊");
    b.date = today.addDays(1);
    b.time = QTime(8, 0);
    b.txTime = 2;
    b.txTimeFlag = 2;
    QVERIFY(ScheduleData::update(q, b));
    b.ztFlag = a.ztFlag;
    b.bz = a.bz;
    QCOMPARE(text(*ScheduleData::byId(q, a.id)), text(b));
}

void TestDatabase::readOnlyFileIsNamedAndRecovers()
{
    // Read-only files mean nothing to root: the steps run as another user then.
    QStringList command{QStringLiteral(DURABILITY_CHILD)};
    if (::geteuid() == 0) {
        for (QDir dir(env->programDir()); dir.path() != QDir::tempPath() && !dir.isRoot();
             dir.cdUp())
            QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                              QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")} +
                  command;
    }
    QProcess child;
    child.start(command.takeFirst(), command + QStringList{env->databaseFile(), "permissions"});
    QVERIFY(child.waitForFinished(20000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(child.exitCode() == 0, qPrintable(out + child.readAllStandardError()));
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    // While it is read-only, the write names the database file.
    QVERIFY2(lines[0].startsWith(env->databaseFile() + QStringLiteral(": ")), qPrintable(lines[0]));
    // Mended by the user, the next command writes again.
    QCOMPARE(lines[1], QStringLiteral("written"));
}

void TestDatabase::aReadOnlyFolderIsReadNotWritten_data()
{
    QTest::addColumn<int>("made");        // 0: by the program, 1: with a crash's log, 2: version 1
    QTest::addColumn<QString>("refusal"); // of the opening, after the file's name; "": it opens
    QTest::newRow("closed by the program") << 0 << QString();
    QTest::newRow("its log left by a crash") << 1 << QString();
    QTest::newRow("needing a migration")
        << 2
        << QStringLiteral(
               "数据库文件是第 1 版的，要升级到第 %1 版才能使用，但它所在的文件夹是只读的")
               .arg(Schema::version());
}

void TestDatabase::aReadOnlyFolderIsReadNotWritten()
{
    QFETCH(int, made);
    QFETCH(QString, refusal);
    const QString file = env->databaseFile();
    if (made == 2) {
        makeDatabase(file, fixtureSql(QStringLiteral("assistant-v1.sql")));
    } else {
        fill();
        dm->ADOConnection1.closeFile();
    }
    if (made == 1) {
        // A crash leaves the last post in the log beside the file: copies
        // taken while a writer holds it open are such a state.
        const QString live = env->programDir() + QStringLiteral("live.mdb");
        QFile::copy(file, live);
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(live).constData(), &db);
        sqlite3_exec(db,
                     "pragma wal_autocheckpoint=0; insert into main (title) values ('在日志里')",
                     nullptr, nullptr, nullptr);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(file + QLatin1String(suffix));
            QVERIFY(QFile::copy(live + QLatin1String(suffix), file + QLatin1String(suffix)));
        }
        sqlite3_close(db);
    }
    const QStringList sideFiles = QDir(env->programDir()).entryList(QDir::Files);
    const QByteArray bytes = readFile(file);
    ReadOnlyFolder folder(env->programDir());
    if (!folder.failure().isEmpty())
        QSKIP(qPrintable(folder.failure()));

    DbQuery q(dm->ADOConnection1);
    QCOMPARE(errorOf([&] { ScheduleData::openAll(q); }),
             refusal.isEmpty() ? QString() : file + QStringLiteral(": ") + refusal);
    if (refusal.isEmpty()) {
        QCOMPARE(q.recordCount(), rows.size() + (made == 1 ? 1 : 0));
        QVERIFY(dm->ADOConnection1.readOnlyFolder());
        // Every write says why it fails, naming the folder.
        const QString readOnly =
            QFileInfo(file).absolutePath() + QStringLiteral(": 文件夹是只读的，不能写入");
        QCOMPARE(errorOf([&] { ScheduleData::setStatus(q, 1, 3); }), readOnly);
        QCOMPARE(errorOf([&] {
                     DbTransaction t(dm->ADOConnection1);
                     ScheduleData::append(Schedule());
                 }),
                 readOnly);
        QCOMPARE(ScheduleData::statusOf(q, 1), std::optional<int>(1));
    }
    q.close();
    dm->ADOConnection1.closeFile();
    folder.release();
    QCOMPARE(readFile(file), bytes);
    QCOMPARE(QDir(env->programDir()).entryList(QDir::Files), sideFiles);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
