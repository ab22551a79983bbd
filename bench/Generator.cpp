#include "Generator.h"

#include "platform/Database.h"
#include "platform/DayNumber.h"
#include "shell/data/Schema.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <cstdio>
#include <sqlite3.h>
#include <stdexcept>

namespace Generator {

namespace {
void check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

const char* const titles[] = {"周例会",   "项目评审", "给客户回电话", "提交周报",
                              "体检",     "交电费",   "读书会",       "部门聚餐",
                              "代码审查", "出差北京", "Team sync",    "1:1 with manager",
                              "牙医预约", "接孩子"};
} // namespace

Options aroundToday(int schedules, const QDate& today)
{
    Options o;
    o.schedules = schedules;
    o.today = today;
    o.firstDay = today.addDays(-1825);
    o.days = 3650;
    o.workNotes = 1000;
    return o;
}

Options fromToday(int schedules, const QDate& today, int days)
{
    Options o;
    o.schedules = schedules;
    o.today = today;
    o.firstDay = today;
    o.days = days;
    return o;
}

sqlite3* openBare(const QString& path)
{
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr));
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    return db;
}

int countRows(const QString& path)
{
    sqlite3* db = openBare(path);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "select count(*) from main", -1, &s, nullptr);
    sqlite3_step(s);
    const int n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
}

void createDatabase(const QString& path, const Options& o)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr));
    check(db, sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr));
    // What the steps ask of the file's path, as the program's opening gives it.
    for (const DbSchema::PathValue& v : Schema::schema().pathValues)
        check(db,
              sqlite3_create_function_v2(
                  db, v.function.constData(), 0, SQLITE_UTF8, new QByteArray(v.of(path).toUtf8()),
                  [](sqlite3_context* c, int, sqlite3_value**) {
                      const auto* text = static_cast<const QByteArray*>(sqlite3_user_data(c));
                      sqlite3_result_text(c, text->constData(), int(text->size()),
                                          SQLITE_TRANSIENT);
                  },
                  nullptr, nullptr, [](void* p) { delete static_cast<QByteArray*>(p); }));
    for (const QByteArray& step : Schema::schema().steps)
        check(db, sqlite3_exec(db, step.constData(), nullptr, nullptr, nullptr));
    const QByteArray stamp = "PRAGMA user_version=" + QByteArray::number(Schema::version());
    check(db, sqlite3_exec(db, stamp.constData(), nullptr, nullptr, nullptr));
    check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr));
    sqlite3_stmt* ins = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "insert into main (title, content, rc_date, rc_time, yxj, "
                                 "zt_flag, is_tx, tx_time, tx_time_flag, bz) "
                                 "values (?,?,?,?,?,?,?,?,?,?)",
                                 -1, &ins, nullptr));
    QRandomGenerator rng(o.seed);
    const double first = DayNumber::fromDate(o.firstDay);
    for (int i = 0; i < o.schedules; ++i) {
        const QByteArray title = QByteArray(titles[rng.bounded(int(std::size(titles)))]);
        const QByteArray content =
            QByteArray("地点：三楼会议室；带上笔记本和上周的数据。") + QByteArray::number(i);
        const double day = first + rng.bounded(o.days);
        // Quarter hours between 7:00 and 21:45.
        const double time = (7 * 60 + 15 * rng.bounded(60)) / 1440.0;
        sqlite3_bind_text(ins, 1, title.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, content.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(ins, 3, day);
        sqlite3_bind_double(ins, 4, time);
        sqlite3_bind_int(ins, 5, rng.bounded(3));
        sqlite3_bind_int(ins, 6, 1 + rng.bounded(4));
        sqlite3_bind_int(ins, 7, rng.bounded(2));
        sqlite3_bind_int(ins, 8, 1 + rng.bounded(60));
        sqlite3_bind_int(ins, 9, rng.bounded(3));
        sqlite3_bind_text(ins, 10, rng.bounded(5) == 0 ? "记得带材料" : "", -1, SQLITE_STATIC);
        check(db, sqlite3_step(ins));
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    check(db,
          sqlite3_prepare_v2(db, "insert into zjTable (date, zj) values (?,?)", -1, &ins, nullptr));
    const double today = DayNumber::fromDate(o.today);
    for (int i = 0; i < o.workNotes; ++i) {
        const QByteArray note = "上午：整理需求，和产品讨论排期。\n下午：修复缺陷 #" +
                                QByteArray::number(i) + "，评审代码。\n明天：准备周会。";
        sqlite3_bind_double(ins, 1, today - i);
        sqlite3_bind_text(ins, 2, note.constData(), -1, SQLITE_TRANSIENT);
        check(db, sqlite3_step(ins));
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    sqlite3_close(db);
}

void ConsoleDialogs::message(QWidget*, const QString& text)
{
    std::printf("message: %s\n", qPrintable(text));
}

void ConsoleDialogs::error(QWidget*, const QString& text)
{
    std::printf("error: %s\n", qPrintable(text));
}

double bestOf(int runs, const std::function<void()>& fn)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

void printRow(const QString& what, double ours, double bare)
{
    std::printf("%-58s %10.3f ms  bare %10.3f ms  ratio %5.2f\n", qPrintable(what), ours, bare,
                bare > 0 ? ours / bare : 0.0);
    std::fflush(stdout);
}

} // namespace Generator
