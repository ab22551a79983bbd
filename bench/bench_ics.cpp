// brenwick-ics export and import of 10,000 schedules, the whole command as
// run from the shell (less the process start), beside two bare baselines
// doing the same rows: bare SQLite with the text written by printf, and bare
// SQLite with libical making or parsing the same calendar.
#include "Generator.h"
#include "platform/DayNumber.h"
#include "platform/Heap.h"
#include "tools/ics/Tool.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <libical/ical.h>
#include <sqlite3.h>
#include <vector>

namespace {
const int schedules = 10000;

void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        fail("cannot write the baseline's file");
}

struct Row {
    QByteArray title, content;
    double date, time;
    int yxj, zt;
};

std::vector<Row> readRows(const QString& path)
{
    sqlite3* db = Generator::openBare(path);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "select title, content, rc_date, rc_time, yxj, zt_flag from main order by "
                       "rc_date, rc_time",
                       -1, &s, nullptr);
    std::vector<Row> rows;
    while (sqlite3_step(s) == SQLITE_ROW)
        rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                        reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                        sqlite3_column_double(s, 2), sqlite3_column_double(s, 3),
                        sqlite3_column_int(s, 4), sqlite3_column_int(s, 5)});
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
}

icaltimetype floating(double date, double time)
{
    const QDateTime d(DayNumber::toDate(date), DayNumber::toTime(time));
    icaltimetype t = icaltime_null_time();
    t.year = d.date().year();
    t.month = d.date().month();
    t.day = d.date().day();
    t.hour = d.time().hour();
    t.minute = d.time().minute();
    t.second = d.time().second();
    return t;
}

void bareExportPrintf(const QString& db, const QString& file)
{
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    char line[128];
    int n = 0;
    for (const Row& r : readRows(db)) {
        const icaltimetype t = floating(r.date, r.time);
        std::snprintf(line, sizeof line,
                      "BEGIN:VEVENT\r\nUID:%d@bare\r\nDTSTART:%04d%02d%02dT%02d%02d%02d\r\n", ++n,
                      t.year, t.month, t.day, t.hour, t.minute, t.second);
        out += line;
        out += "SUMMARY:" + r.title + "\r\nDESCRIPTION:" + r.content + "\r\nEND:VEVENT\r\n";
    }
    out += "END:VCALENDAR\r\n";
    writeAll(file, out);
}

void bareExportLibical(const QString& db, const QString& file)
{
    icalcomponent* cal = icalcomponent_new_vcalendar();
    icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
    int n = 0;
    for (const Row& r : readRows(db)) {
        icalcomponent* e = icalcomponent_new_vevent();
        icalcomponent_add_property(e, icalproperty_new_uid(QByteArray::number(++n).constData()));
        icalcomponent_add_property(e, icalproperty_new_dtstart(floating(r.date, r.time)));
        icalcomponent_add_property(e, icalproperty_new_summary(r.title.constData()));
        icalcomponent_add_property(e, icalproperty_new_description(r.content.constData()));
        icalcomponent_add_property(e, icalproperty_new_priority(r.yxj == 0 ? 1 : 5));
        icalcomponent_add_component(cal, e);
    }
    char* text = icalcomponent_as_ical_string_r(cal);
    writeAll(file, QByteArray(text));
    free(text);
    icalcomponent_free(cal);
}

void bareInsert(sqlite3* db, const std::vector<Row>& rows)
{
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into main (title, content, rc_date, rc_time, yxj, zt_flag, is_tx, "
                       "tx_time, tx_time_flag, bz) values (?,?,?,?,?,?,0,10,0,'')",
                       -1, &ins, nullptr);
    for (const Row& r : rows) {
        sqlite3_bind_text(ins, 1, r.title.constData(), int(r.title.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, r.content.constData(), int(r.content.size()), SQLITE_STATIC);
        sqlite3_bind_double(ins, 3, r.date);
        sqlite3_bind_double(ins, 4, r.time);
        sqlite3_bind_int(ins, 5, r.yxj);
        sqlite3_bind_int(ins, 6, r.zt);
        if (sqlite3_step(ins) != SQLITE_DONE)
            fail("bare insert failed");
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

// The rows as read back, ready to insert: the insert alone.
void bareImportSqlite(const QString& db, const std::vector<Row>& rows)
{
    sqlite3* d = Generator::openBare(db);
    bareInsert(d, rows);
    sqlite3_close(d);
}

// libical parses the file; its events become rows in one transaction.
void bareImportLibical(const QString& db, const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        fail("cannot read the calendar");
    const QByteArray text = f.readAll();
    icalcomponent* cal = icalparser_parse_string(text.constData());
    std::vector<Row> rows;
    for (icalcomponent* e = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        const icaltimetype t = icalcomponent_get_dtstart(e);
        const char* summary = icalcomponent_get_summary(e);
        const char* description = icalcomponent_get_description(e);
        rows.push_back({summary ? summary : "", description ? description : "",
                        DayNumber::fromDate(QDate(t.year, t.month, t.day)),
                        DayNumber::fromTime(QTime(t.hour, t.minute, t.second)), 1, 1});
    }
    icalcomponent_free(cal);
    sqlite3* d = Generator::openBare(db);
    bareInsert(d, rows);
    sqlite3_close(d);
}

// The command as the shell runs it; its summary line and progress show.
int tool(const QStringList& args)
{
    return runIcsTool(args);
}
} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("assistant.mdb"));
    const QString target = dir.filePath(QStringLiteral("target.mdb"));
    const QString ours = dir.filePath(QStringLiteral("ours.ics"));
    const QString bare = dir.filePath(QStringLiteral("bare.ics"));
    Generator::createDatabase(source, Generator::aroundToday(schedules, QDate::currentDate()));
    const Generator::Options empty = Generator::fromToday(0, QDate::currentDate());

    const double exportOurs = Generator::bestOf(5, [&] {
        if (tool({QStringLiteral("export"), ours, QStringLiteral("--database"), source}) != 0)
            fail("export failed");
    });
    const double exportPrintf = Generator::bestOf(5, [&] { bareExportPrintf(source, bare); });
    const double exportLibical = Generator::bestOf(5, [&] { bareExportLibical(source, bare); });

    // Each import into an empty database made afresh, untimed.
    double importOurs = 1e300, importSqlite = 1e300, importLibical = 1e300;
    const std::vector<Row> rows = readRows(source);
    for (int i = 0; i < 5; ++i) {
        Generator::createDatabase(target, empty);
        importOurs = std::min(importOurs, Generator::bestOf(1, [&] {
                                  if (tool({QStringLiteral("import"), ours,
                                            QStringLiteral("--database"), target}) != 0)
                                      fail("import failed");
                              }));
        if (Generator::countRows(target) != schedules)
            fail("the import did not add every schedule");
        Generator::createDatabase(target, empty);
        importSqlite =
            std::min(importSqlite, Generator::bestOf(1, [&] { bareImportSqlite(target, rows); }));
        Generator::createDatabase(target, empty);
        importLibical =
            std::min(importLibical, Generator::bestOf(1, [&] { bareImportLibical(target, ours); }));
        if (Generator::countRows(target) != schedules)
            fail("the bare import did not add every schedule");
    }

    Generator::printRow(QStringLiteral("export 10,000, vs bare SQLite + printf"), exportOurs,
                        exportPrintf);
    Generator::printRow(QStringLiteral("export 10,000, vs bare SQLite + libical"), exportOurs,
                        exportLibical);
    Generator::printRow(QStringLiteral("import 10,000, vs bare SQLite insert"), importOurs,
                        importSqlite);
    Generator::printRow(QStringLiteral("import 10,000, vs bare libical parse + SQLite"), importOurs,
                        importLibical);
    return 0;
}
