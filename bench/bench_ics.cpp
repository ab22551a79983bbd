// brenwick-ics export and import of 10,000 and 50,000 schedules, the whole
// command as run from the shell (less the process start), beside bare
// baselines doing the same rows: SQLite with the text written by printf, and
// SQLite with libical making or parsing the same calendar. Each run is a
// child process of its own, so that its peak memory is its own too; the
// memory shown is what the run added to the child's resident set at its
// peak. Then one event with a property of 5 and 10 MB on one line: the import
// must grow with the text, not with its square (libical's own string reader
// does).
#include "Generator.h"
#include "platform/DayNumber.h"
#include "platform/Heap.h"
#include "tools/ics/Tool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <libical/ical.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
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

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail("cannot read the calendar");
    return f.readAll();
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

// libical parses the file; its events become rows in one transaction.
void bareImportLibical(const QString& db, const QString& file)
{
    const QByteArray text = readAll(file);
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
    // Bare rows: without the trigger that gives each new schedule its UID.
    sqlite3_exec(d, "DROP TRIGGER IF EXISTS scheduleUid_made", nullptr, nullptr, nullptr);
    bareInsert(d, rows);
    sqlite3_close(d);
}

// The one long line read and inserted as it is: libical's own reading of a
// long line grows with its square, so it is no baseline for it.
void bareImportLongLine(const QString& db, const QString& file)
{
    const QByteArray text = readAll(file);
    const qsizetype at = text.indexOf("DESCRIPTION:") + 12;
    const QByteArray value = text.mid(at, text.indexOf("\r\n", at) - at);
    sqlite3* d = Generator::openBare(db);
    bareInsert(d, {{"long", value, DayNumber::fromDate(QDate(2030, 1, 1)), 0.375, 1, 1}});
    sqlite3_close(d);
}

// The command as the shell runs it; its summary line and progress are
// written (to /dev/null in the child).
void tool(const QStringList& args)
{
    if (runIcsTool(args) != 0)
        fail("the command failed");
}

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return 0;
}

struct Run {
    double ms = 1e300;
    double mb = 0; // peak resident set above the child's at its start
};

// The best time of `runs` children running fn, and the most memory one took.
// prepare runs in the child first, untimed.
Run measure(int runs, const std::function<void()>& fn,
            const std::function<void()>& prepare = std::function<void()>())
{
    Run best;
    for (int i = 0; i < runs; ++i) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            fail("pipe");
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid < 0)
            fail("fork");
        if (pid == 0) {
            ::close(pipeFds[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            if (prepare)
                prepare();
            const long before = statusKb("VmRSS:");
            QElapsedTimer t;
            t.start();
            fn();
            const double result[2] = {t.nsecsElapsed() / 1e6,
                                      (statusKb("VmHWM:") - before) / 1024.0};
            if (::write(pipeFds[1], result, sizeof result) != sizeof result)
                ::_exit(1);
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        double result[2] = {0, 0};
        const bool read = ::read(pipeFds[0], result, sizeof result) == sizeof result;
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            fail("a measured run failed");
        best.ms = std::min(best.ms, result[0]);
        best.mb = std::max(best.mb, result[1]);
    }
    return best;
}

void printRow(const QString& what, const Run& ours, const Run& bare)
{
    Generator::printRow(what, ours.ms, bare.ms);
    std::printf("%-58s %10.1f MB  bare %10.1f MB  ratio %5.2f\n", "  memory", ours.mb, bare.mb,
                bare.mb > 0 ? ours.mb / bare.mb : 0.0);
    std::fflush(stdout);
}

void exchange(const QTemporaryDir& dir, int schedules)
{
    const QString source = dir.filePath(QStringLiteral("assistant.mdb"));
    const QString target = dir.filePath(QStringLiteral("target.mdb"));
    const QString ours = dir.filePath(QStringLiteral("ours.ics"));
    const QString bare = dir.filePath(QStringLiteral("bare.ics"));
    const QDate today = QDate::currentDate();
    Generator::createDatabase(source, Generator::aroundToday(schedules, today));
    const Generator::Options empty = Generator::fromToday(0, today);
    const int runs = schedules > 10000 ? 3 : 5;

    const Run exportOurs = measure(runs, [&] {
        tool({QStringLiteral("export"), ours, QStringLiteral("--database"), source});
    });
    const Run exportPrintf = measure(runs, [&] { bareExportPrintf(source, bare); });
    const Run exportLibical = measure(runs, [&] { bareExportLibical(source, bare); });

    // Each import into an empty database made afresh, untimed.
    auto fresh = [&] {
        Generator::createDatabase(target, empty);
    };
    const Run importOurs = measure(
        runs,
        [&] {
            tool({QStringLiteral("import"), ours, QStringLiteral("--database"), target});
        },
        fresh);
    if (Generator::countRows(target) != schedules)
        fail("the import did not add every schedule");
    const Run importLibical = measure(
        runs, [&] { bareImportLibical(target, ours); }, fresh);
    if (Generator::countRows(target) != schedules)
        fail("the bare import did not add every schedule");

    const QString n = QLocale::c().toString(schedules);
    printRow(QStringLiteral("export %1, vs bare SQLite + printf").arg(n), exportOurs, exportPrintf);
    printRow(QStringLiteral("export %1, vs bare SQLite + libical").arg(n), exportOurs,
             exportLibical);
    printRow(QStringLiteral("import %1, vs bare libical parse + SQLite").arg(n), importOurs,
             importLibical);
}

// One event whose description is megabytes long, on one line as some
// writers leave it.
void longLine(const QTemporaryDir& dir, int megabytes)
{
    const QString file = dir.filePath(QStringLiteral("long.ics"));
    const QString target = dir.filePath(QStringLiteral("target.mdb"));
    const QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n"
                            "BEGIN:VEVENT\r\nUID:long@bench\r\nDTSTART:20300101T090000Z\r\n"
                            "SUMMARY:long\r\nDESCRIPTION:" +
                            QByteArray(qsizetype(megabytes) << 20, 'a') +
                            "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    writeAll(file, text);
    auto fresh = [&] {
        Generator::createDatabase(target, Generator::fromToday(0, {}));
    };
    const Run ours = measure(
        3,
        [&] {
            tool({QStringLiteral("import"), file, QStringLiteral("--database"), target});
        },
        fresh);
    const Run bare = measure(
        3, [&] { bareImportLongLine(target, file); }, fresh);
    printRow(QStringLiteral("import one %1 MB line, vs bare read + SQLite").arg(megabytes), ours,
             bare);
}
} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    exchange(dir, 10000);
    exchange(dir, 50000);
    longLine(dir, 5);
    longLine(dir, 10);
    return 0;
}
