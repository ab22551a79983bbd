// The shell's costs: the tree's three statements through the data-access
// layer, appending schedules one post at a time, and settings-store cycles,
// each beside bare SQLite doing the same work in the same run.
#include "Generator.h"
#include "platform/DayNumber.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"
#include "shell/data/Statements.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {
const QDate today = QDate::currentDate();

// What the tree reads of each row.
struct Sink {
    qint64 ids = 0;
    double times = 0;
    qsizetype chars = 0;
};

void treeThroughLayer(DbConnection& c, Sink& sink)
{
    DbQuery q(c);
    const QString statements[3] = {Sql::schedulesOfDay(), Sql::schedulesOfDay(),
                                   Sql::schedulesAfter()};
    const QDate params[3] = {today, today.addDays(1), today.addDays(1)};
    for (int i = 0; i < 3; ++i) {
        q.close();
        q.setSql(statements[i]);
        q.setDateParameter(params[i]);
        q.open();
        for (; !q.eof(); q.next()) {
            sink.ids += q.intField(QStringLiteral("id"));
            sink.times += q.dateTimeField(QStringLiteral("rc_time")) +
                          q.dateTimeField(QStringLiteral("rc_date"));
            sink.chars += q.textField(QStringLiteral("title")).size();
        }
        q.close();
    }
}

void treeBare(sqlite3* db, Sink& sink)
{
    const char* statements[3] = {"select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date>:dt order by rc_date,rc_time"};
    const double params[3] = {DayNumber::fromDate(today), DayNumber::fromDate(today) + 1,
                              DayNumber::fromDate(today) + 1};
    for (int i = 0; i < 3; ++i) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, statements[i], -1, &s, nullptr);
        sqlite3_bind_double(s, 1, params[i]);
        while (sqlite3_step(s) == SQLITE_ROW) {
            sink.ids += sqlite3_column_int64(s, 0);
            sink.times += sqlite3_column_double(s, 4) + sqlite3_column_double(s, 3);
            sink.chars +=
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                                  sqlite3_column_bytes(s, 1))
                    .size();
        }
        sqlite3_finalize(s);
    }
}

void appendThroughLayer(TDataModule1& dm, int rows)
{
    const QTime time(9, 30);
    for (int i = 0; i < rows; ++i) {
        dm.mydata.close();
        dm.mydata.open();
        dm.mydata.append();
        dm.mydata.setField(QStringLiteral("title"), QStringLiteral("每日站会"));
        dm.mydata.setField(QStringLiteral("content"), QStringLiteral("十点前到会议室"));
        dm.mydata.setField(QStringLiteral("rc_date"), today.addDays(i + 1));
        dm.mydata.setField(QStringLiteral("rc_time"), time);
        dm.mydata.setField(QStringLiteral("yxj"), 1);
        dm.mydata.setField(QStringLiteral("tx_time_flag"), 0);
        dm.mydata.setField(QStringLiteral("is_tx"), 1);
        dm.mydata.setField(QStringLiteral("tx_time"), 10);
        dm.mydata.post();
        dm.mydata.close();
    }
}

void appendBare(sqlite3* db, int rows)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into main (title,content,rc_date,rc_time,yxj,tx_time_flag,is_tx,"
                       "tx_time) values (?,?,?,?,?,?,?,?)",
                       -1, &s, nullptr);
    const QByteArray title = QStringLiteral("每日站会").toUtf8();
    const QByteArray content = QStringLiteral("十点前到会议室").toUtf8();
    for (int i = 0; i < rows; ++i) {
        sqlite3_bind_text(s, 1, title.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(s, 2, content.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(s, 3, DayNumber::fromDate(today) + i + 1);
        sqlite3_bind_double(s, 4, 9.5 / 24);
        sqlite3_bind_int(s, 5, 1);
        sqlite3_bind_int(s, 6, 0);
        sqlite3_bind_int(s, 7, 1);
        sqlite3_bind_int(s, 8, 10);
        sqlite3_step(s); // autocommit: one transaction per row
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
}
} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    ProgramDir::set(dir.path());
    const QString file = dir.filePath(QStringLiteral("assistant.mdb"));

    std::printf("today %s; times are the best of several runs\n",
                qPrintable(today.toString(Qt::ISODate)));
    for (int n : {10000, 100000}) {
        Generator::createDatabase(file, Generator::aroundToday(n, today));
        TDataModule1 dm;
        dm.ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
        sqlite3* bare = Generator::openBare(file);
        Sink a, b;
        const double ours = Generator::bestOf(7, [&] { treeThroughLayer(dm.ADOConnection1, a); });
        const double base = Generator::bestOf(7, [&] { treeBare(bare, b); });
        if (a.ids != b.ids || a.chars != b.chars)
            std::printf("MISMATCH: the layer and bare SQLite read different rows\n");
        DbQuery count(dm.ADOConnection1);
        count.setSql(Sql::schedulesAfter());
        count.setDateParameter(today.addDays(1));
        count.open();
        Generator::printRow(QStringLiteral("tree statements, %1 schedules (%2 from tomorrow on)")
                                .arg(n)
                                .arg(count.recordCount()),
                            ours, base);
        count.close();
        sqlite3_close(bare);
    }

    const int rows = 3650;
    Generator::createDatabase(file, Generator::aroundToday(0, today));
    double ours = 0, base = 0;
    {
        TDataModule1 dm;
        dm.ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
        ours = Generator::bestOf(1, [&] { appendThroughLayer(dm, rows); });
    }
    Generator::createDatabase(file, Generator::aroundToday(0, today));
    {
        sqlite3* bare = Generator::openBare(file);
        base = Generator::bestOf(1, [&] { appendBare(bare, rows); });
        sqlite3_close(bare);
    }
    Generator::printRow(QStringLiteral("append %1 schedules, one post each").arg(rows), ours, base);

    Settings::writeFirstRunDefaults();
    int sum = 0;
    const double settings = Generator::bestOf(3, [&] {
        for (int i = 0; i < 1000; ++i) {
            const Settings::Reader reader;
            sum += reader.integer(Settings::intervalTime) + reader.string(Settings::zm).size();
        }
    });
    std::printf("%-58s %10.3f ms  (%.1f us a cycle)\n", "1000 settings open-read-close cycles",
                settings, settings);

    // A settings file grown large (by another program, or by hand): the start
    // opens it several times. Each opening here finds it changed, so it is
    // parsed every time; beside it, only reading the file's text.
    for (int values : {20000, 40000, 200000}) {
        const QString store = dir.filePath(QStringLiteral("big.reg"));
        QByteArray text = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n";
        for (int i = 0; i < values; ++i)
            text += "\"value" + QByteArray::number(i) + "\"=\"滚动字幕 " + QByteArray::number(i) +
                    "\"\n";
        QFile f(store);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        f.close();
        const double parse = Generator::bestOf(3, [&] {
            ::utimensat(AT_FDCWD, QFile::encodeName(store).constData(), nullptr, 0);
            RegistryKey key(store);
            key.openKey(QStringLiteral("Software\\Tavimor\\Option"), false);
            sum += key.readString(QStringLiteral("value7")).size();
        });
        const double read = Generator::bestOf(3, [&] {
            QFile in(store);
            in.open(QIODevice::ReadOnly);
            sum += int(QString::fromUtf8(in.readAll()).size() & 1);
        });
        const double cached = Generator::bestOf(3, [&] {
            RegistryKey key(store);
            key.openKey(QStringLiteral("Software\\Tavimor\\Option"), false);
        });
        Generator::printRow(QStringLiteral("settings file of %1 values (%2 MB), parsed")
                                .arg(values)
                                .arg(text.size() / 1048576.0, 0, 'f', 1),
                            parse, read);
        std::printf("%-58s %10.3f ms\n", "  the same file again, unchanged", cached);
    }
    return sum > 0 ? 0 : 1;
}
