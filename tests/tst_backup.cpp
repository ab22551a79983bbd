#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/DatabaseBackup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

// The daily copy of the database: consistent under a writer, one a day,
// the newest fourteen kept, a failure told once.
class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }
    void copyTakenWhileAnotherConnectionWritesIsIntact();
    void theFifteenthCopyRemovesTheOldest();
    void oneCopyADayAndAFailureToldOnce();
    void nothingToCopyBeforeTheDatabaseExists();
    void damagedCopiesAreFound_data();
    void damagedCopiesAreFound();
    void copiesAreTheUsersAlone_data();
    void copiesAreTheUsersAlone();
    void aFailureNamesTheFileThatFailed_data();
    void aFailureNamesTheFileThatFailed();
    void leftoversOfKilledCopiesAreRemoved_data();
    void leftoversOfKilledCopiesAreRemoved();

private:
    QString database() const { return env->databaseFile(); }
    QString folder() const { return env->programDir() + QStringLiteral("backups"); }
    void makeDatabase(const QString& path, int pairs = 10);
    std::unique_ptr<TestEnvironment> env;
};

namespace {
void exec(sqlite3* db, const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("%s: %s", sql, err);
}

qint64 scalar(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}
} // namespace

// Rows come in pairs (k, -k) written in one transaction each, so a copy of
// one moment sums to zero and holds an even count.
void TestBackup::makeDatabase(const QString& path, int pairs)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE main (id INTEGER PRIMARY KEY, v INTEGER, "
             "pad TEXT); CREATE TABLE zjTable (date REAL, zj TEXT);");
    exec(db, "BEGIN");
    for (int k = 1; k <= pairs; ++k)
        exec(db,
             QStringLiteral("INSERT INTO main (v, pad) VALUES (%1, hex(randomblob(200))), (-%1, "
                            "hex(randomblob(200)))")
                 .arg(k)
                 .toUtf8()
                 .constData());
    exec(db, "COMMIT");
    sqlite3_close(db);
}

void TestBackup::copyTakenWhileAnotherConnectionWritesIsIntact()
{
    makeDatabase(database(), 2000);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(database()).constData(), &db);
        sqlite3_busy_timeout(db, 5000);
        for (int k = 1000000; !stop; ++k) {
            const QByteArray sql =
                QStringLiteral("BEGIN; INSERT INTO main (v, pad) VALUES (%1, "
                               "hex(randomblob(300))); INSERT INTO main (v, pad) "
                               "VALUES (-%1, 'x'); COMMIT;")
                    .arg(k)
                    .toUtf8();
            if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
                ++written;
        }
        sqlite3_close(db);
    });
    QStringList copies;
    for (int i = 0; i < 8; ++i) {
        while (written < (i + 1) * 20)
            QThread::msleep(1);
        const QString copy = folder() + QStringLiteral("/copy-%1.mdb").arg(i);
        DatabaseBackup::copy(database(), copy);
        copies << copy;
    }
    stop = true;
    writer.join();
    QVERIFY(written >= 160);
    qint64 last = 0;
    for (const QString& copy : copies) {
        QCOMPARE(DatabaseBackup::problemWith(copy, {QStringLiteral("main")}), QString());
        QCOMPARE(scalar(copy, "SELECT sum(v) FROM main"), 0);
        const qint64 rows = scalar(copy, "SELECT count(*) FROM main");
        QCOMPARE(rows % 2, 0);
        QVERIFY(rows > last); // each copy is of its own moment, not a stale one
        last = rows;
    }
    QVERIFY(!QFileInfo::exists(copies.last() + QStringLiteral(".part")));
}

void TestBackup::theFifteenthCopyRemovesTheOldest()
{
    makeDatabase(database());
    writeFile(folder() + QStringLiteral("/assistant-notes.txt"), "mine");
    writeFile(folder() + QStringLiteral("/other-2026-01-01.mdb"), "another database's");
    DailyBackup backup(database(), folder());
    const QDate first(2026, 3, 1);
    for (int d = 0; d < 15; ++d) {
        QVERIFY(backup.runFor(first.addDays(d)));
        backup.wait();
    }
    const QStringList copies = DatabaseBackup::datedCopies(folder(), database());
    QCOMPARE(copies.size(), 14);
    QCOMPARE(copies.first(), QStringLiteral("assistant-2026-03-02.mdb"));
    QCOMPARE(copies.last(), QStringLiteral("assistant-2026-03-15.mdb"));
    QVERIFY(QFileInfo::exists(folder() + QStringLiteral("/assistant-notes.txt")));
    QVERIFY(QFileInfo::exists(folder() + QStringLiteral("/other-2026-01-01.mdb")));
    QCOMPARE(scalar(folder() + QLatin1Char('/') + copies.last(), "SELECT count(*) FROM main"), 20);
}

void TestBackup::oneCopyADayAndAFailureToldOnce()
{
    makeDatabase(database());
    const QDate day(2026, 3, 31);
    {
        DailyBackup backup(database(), folder());
        QSignalSpy done(&backup, &DailyBackup::succeeded);
        QVERIFY(backup.runFor(day));
        backup.wait();
        QCOMPARE(done.count(), 1);
        QVERIFY(!backup.runFor(day)); // the midnight rebuild's ticks, a second start
        DailyBackup restarted(database(), folder());
        QVERIFY(!restarted.runFor(day)); // the day has its copy
    }
    // A folder that cannot be made: a file stands in its place.
    const QString blocked = env->programDir() + QStringLiteral("blocked");
    writeFile(blocked, "a file, not a folder");
    DailyBackup backup(database(), blocked);
    QSignalSpy failed(&backup, &DailyBackup::failed);
    QVERIFY(backup.runFor(day));
    backup.wait();
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().first().toString().contains(QStringLiteral("blocked")));
    QVERIFY(!backup.runFor(day));
    QCOMPARE(failed.count(), 1);
    QVERIFY(backup.runFor(day.addDays(1))); // tried again the next day
    backup.wait();
    QCOMPARE(failed.count(), 2);
}

void TestBackup::nothingToCopyBeforeTheDatabaseExists()
{
    DailyBackup backup(database(), folder());
    QSignalSpy failed(&backup, &DailyBackup::failed);
    const QDate day(2026, 3, 31);
    QVERIFY(!backup.runFor(day));
    QCOMPARE(failed.count(), 0);
    makeDatabase(database());
    QVERIFY(backup.runFor(day)); // the same day, once the start has made it
    backup.wait();
    QVERIFY(QFileInfo::exists(folder() + QStringLiteral("/assistant-2026-03-31.mdb")));
}

void TestBackup::damagedCopiesAreFound_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("not a database") << "text";
    QTest::newRow("cut short") << "truncate";
    QTest::newRow("a page overwritten") << "page";
    QTest::newRow("without the tables") << "tables";
    QTest::newRow("empty file") << "empty";
}

void TestBackup::damagedCopiesAreFound()
{
    QFETCH(QString, damage);
    const QString copy = env->programDir() + QStringLiteral("copy.mdb");
    makeDatabase(database(), 400);
    DatabaseBackup::copy(database(), copy);
    QCOMPARE(DatabaseBackup::problemWith(copy, {QStringLiteral("main"), QStringLiteral("zjTable")}),
             QString());
    QByteArray bytes = readFile(copy);
    const int page = 4096;
    if (damage == "text")
        bytes = "BEGIN:VCALENDAR\r\nnot a database at all\r\n";
    else if (damage == "truncate")
        bytes.truncate(bytes.size() / 2);
    else if (damage == "page")
        bytes.replace(3 * page + 100, 400, QByteArray(400, '\x5a'));
    else if (damage == "empty")
        bytes.clear();
    if (damage == "tables") {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(copy).constData(), &db);
        exec(db, "DROP TABLE zjTable");
        sqlite3_close(db);
    } else {
        writeFile(copy, bytes);
    }
    QVERIFY(!DatabaseBackup::problemWith(copy, {QStringLiteral("main"), QStringLiteral("zjTable")})
                 .isEmpty());
}

void TestBackup::copiesAreTheUsersAlone_data()
{
    QTest::addColumn<int>("source"); // the database's mode
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("copy");
    QTest::newRow("of a database open to all") << 0644 << 022 << 0600;
    QTest::newRow("of the user's database, under umask 000") << 0600 << 0 << 0600;
    QTest::newRow("of one the group may read") << 0640 << 022 << 0600;
}

void TestBackup::copiesAreTheUsersAlone()
{
    QFETCH(int, source);
    QFETCH(int, umask);
    QFETCH(int, copy);
    makeDatabase(database());
    QVERIFY(::chmod(QFile::encodeName(database()).constData(), mode_t(source)) == 0);
    const QString target = folder() + QStringLiteral("/assistant-2026-03-31.mdb");
    const mode_t before = ::umask(mode_t(umask));
    DatabaseBackup::copy(database(), target);
    ::umask(before);
    QCOMPARE(int(modeOf(target)), copy);
    QCOMPARE(modeOf(folder()), 0700u);
    const std::optional<bool> others = otherUserCanRead(target);
    if (!others)
        QSKIP("needs root and setpriv to play another local user");
    QCOMPARE(*otherUserCanRead(database()), (source & 04) != 0); // the check can tell
    QVERIFY(!*others);
}

void TestBackup::aFailureNamesTheFileThatFailed_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("namesTheCopy"); // else the database
    QTest::newRow("a full backups disk") << "full" << true;
    QTest::newRow("a database that is none") << "damaged" << false;
}

void TestBackup::aFailureNamesTheFileThatFailed()
{
    QFETCH(QString, failure);
    QFETCH(bool, namesTheCopy);
    makeDatabase(database(), 400);
    QString backups = folder();
    QTemporaryDir mount;
    if (failure == QLatin1String("full")) {
        // A small file system of its own, where the machine allows one.
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"),
                               mount.path()}) != 0)
            QSKIP("no tmpfs can be mounted here");
        backups = mount.path();
    } else {
        writeFile(database(), QByteArray(8192, 'x'));
    }
    const QString target = backups + QStringLiteral("/assistant-2026-03-31.mdb");
    QString text;
    try {
        DatabaseBackup::copy(database(), target);
    } catch (const AppError& e) {
        text = e.text();
    }
    const QStringList left = QDir(backups).entryList(QDir::Files);
    if (failure == QLatin1String("full"))
        QProcess::execute(QStringLiteral("umount"), {mount.path()});
    QVERIFY2(text.startsWith((namesTheCopy ? target : database()) + QStringLiteral(": ")),
             qPrintable(text));
    if (failure == QLatin1String("full"))
        QVERIFY2(text.endsWith(QStringLiteral("database or disk is full")), qPrintable(text));
    QCOMPARE(left, QStringList()); // nor is a part of it left behind
}

void TestBackup::leftoversOfKilledCopiesAreRemoved_data()
{
    QTest::addColumn<QString>("file"); // in the program folder
    QTest::addColumn<bool>("removed");
    QTest::newRow("a killed backup's copy") << "backups/assistant-2026-03-30.mdb.part" << true;
    QTest::newRow("its journal") << "backups/assistant-2026-03-30.mdb.part-journal" << true;
    QTest::newRow("a killed restore's copy") << "assistant.mdb.restoring" << true;
    QTest::newRow("the part of that copy") << "assistant.mdb.restoring.part" << true;
    QTest::newRow("a backup") << "backups/assistant-2026-03-30.mdb" << false;
    QTest::newRow("another database's part") << "backups/other-2026-03-30.mdb.part" << false;
    QTest::newRow("a file of the user's") << "backups/notes.part" << false;
    QTest::newRow("the database") << "assistant.mdb" << false;
}

void TestBackup::leftoversOfKilledCopiesAreRemoved()
{
    QFETCH(QString, file);
    QFETCH(bool, removed);
    const QString path = env->programDir() + file;
    writeFile(path, QByteArray(4096, 'x'));
    DatabaseBackup::removeLeftovers(database(), folder());
    QCOMPARE(QFileInfo::exists(path), !removed);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
