#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <variant>

class DbConnection;
class DbQuery;
class DbTable;
class DbSnapshot;
struct ScheduleColumns;

// A schedule: one row of table main.
struct Schedule {
    qint64 id = 0;
    QString title;
    QString content;
    QDate date;         // rc_date, a whole day
    QTime time;         // rc_time, a time of day
    int yxj = 0;        // priority code: 0 高, 1 中, 2 低
    int ztFlag = 1;     // status code: 1 没有完成, 2 进行中, 3 已经完成, 4 取消
    int isTx = 0;       // 1: remind before the schedule
    int txTime = 0;     // the reminder lead, in units of txTimeFlag
    int txTimeFlag = 0; // 0 分钟, 1 小时, 2 天
    QString bz;         // the schedule note; empty when there is none

    // A row of a result of "select * from main". A null in any column
    // raises, as the program's readers always have.
    static Schedule read(const DbSnapshot& rows, int row);
    static Schedule read(const DbSnapshot& rows, const ScheduleColumns& columns, int row);
    static Schedule read(const DbQuery& q); // the current row

    QDateTime moment() const { return QDateTime(date, time); }
};

// The columns of main in a result, found once for reading many rows.
struct ScheduleColumns {
    explicit ScheduleColumns(const DbSnapshot& rows);
    int id = -1, title = -1, content = -1, rcDate = -1, rcTime = -1, yxj = -1, ztFlag = -1,
        isTx = -1, txTime = -1, txTimeFlag = -1, bz = -1;
};

// One column of table main: its name; the member of Schedule it holds, whose
// type is the column's kind (the key, text, a day, a time of day, an
// integer); where ScheduleColumns keeps its position; the most GB18030 bytes
// the program lets into it (0: no limit); and whether the editing windows
// write it (a save leaves the others as they are).
struct ScheduleField {
    const char* column;
    std::variant<qint64 Schedule::*, QString Schedule::*, QDate Schedule::*, QTime Schedule::*,
                 int Schedule::*>
        member;
    int ScheduleColumns::*position;
    int maxBytes;
    bool edited;
};

// Every column of main, in the file's order. The reads, the update and the
// append follow it; a new column is a row here and a migration (Schema.cpp).
inline constexpr ScheduleField scheduleFields[] = {
    {"id", &Schedule::id, &ScheduleColumns::id, 0, false},
    {"title", &Schedule::title, &ScheduleColumns::title, 30, true},
    {"content", &Schedule::content, &ScheduleColumns::content, 200, true},
    {"rc_date", &Schedule::date, &ScheduleColumns::rcDate, 0, true},
    {"rc_time", &Schedule::time, &ScheduleColumns::rcTime, 0, true},
    {"yxj", &Schedule::yxj, &ScheduleColumns::yxj, 0, true},
    {"zt_flag", &Schedule::ztFlag, &ScheduleColumns::ztFlag, 0, false},
    {"is_tx", &Schedule::isTx, &ScheduleColumns::isTx, 0, true},
    {"tx_time", &Schedule::txTime, &ScheduleColumns::txTime, 0, true},
    {"tx_time_flag", &Schedule::txTimeFlag, &ScheduleColumns::txTimeFlag, 0, true},
    {"bz", &Schedule::bz, &ScheduleColumns::bz, 100, false},
};

// The field of a member, at compile time: fieldOf(&Schedule::title).maxBytes.
template <class T> constexpr const ScheduleField& fieldOf(T Schedule::*member)
{
    for (const ScheduleField& f : scheduleFields)
        // Not get_if: the sanitizer's null check on its pointer is not a
        // constant expression.
        if (std::holds_alternative<T Schedule::*>(f.member) &&
            std::get<T Schedule::*>(f.member) == member)
            return f;
    throw std::logic_error("not a column of main");
}

// One work note: table zjTable.
struct WorkNote {
    QDate date;
    QString text;
};

// The captions every window shows for the codes.
namespace Codes {
QString statusCaption(int ztFlag);   // "" for codes outside 1..4
QString priorityCaption(int yxj);    // "" for codes outside 0..2
QString unitCaption(int txTimeFlag); // "" for codes outside 0..2
int unitMinutes(int txTimeFlag);     // 1, 60, and 1440 for any other code
// Every caption in code order, as the lists and menus offer them: entry i
// stands for code i (statuses: code i + 1).
QStringList statusCaptions();
QStringList priorityCaptions();
QStringList unitCaptions();
} // namespace Codes

// Every operation the windows run on the data, each with the statement text
// the program has always issued, on a query object of the calling window.
namespace ScheduleData {
// "select * from main where id=": the row, or nothing when none has the id.
// The query is closed again.
std::optional<Schedule> byId(DbQuery& q, qint64 id);
std::optional<int> priorityOf(DbQuery& q, qint64 id);
std::optional<int> statusOf(DbQuery& q, qint64 id);
// Edit and post on the row of the id; false when there is no such row.
bool setStatus(DbQuery& q, qint64 id, int ztFlag);
bool setNote(DbQuery& q, qint64 id, const QString& bz);
bool setReminder(DbQuery& q, qint64 id, int isTx);
// The columns the editing windows write (ScheduleField::edited).
bool update(DbQuery& q, const Schedule& s);
// Every column but the id (the sync writes what the server holds).
bool replace(DbQuery& q, const Schedule& s);
// "delete * from main where id=".
void remove(DbQuery& q, qint64 id);
// A new row through the data module's table object, with every column but
// the key, which the file gives it.
qint64 append(const Schedule& s);

// The tree's three reads; each leaves its result open on q.
void openDay(DbQuery& q, const QDate& day);   // rc_date = day, by rc_time
void openAfter(DbQuery& q, const QDate& day); // rc_date > day, by rc_date, rc_time

// The work note of one date ("select * from zjTable where date=:dt").
std::optional<WorkNote> workNote(DbQuery& q, const QDate& date);
// Saves a date's note: the row found is edited (an empty text too); a date
// without one gets a new row unless the text is blank.
enum class NoteSaved { Saved, NothingToSave };
NoteSaved saveWorkNote(DbQuery& q, const QDate& date, const QString& text);
} // namespace ScheduleData

// Calendar exchange (brenwick-ics): reading schedules by date range, and the
// log of which calendar event became which schedule.
namespace ScheduleData {
// Every schedule by rc_date, rc_time; with both dates, those dated between
// them, both included. Leaves the result open on q.
void openForExport(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to);
// The same schedules, handed to take one by one, read a page of pageRows
// at a time so that memory stays flat however many there are. q is closed.
void forEachForExport(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to,
                      const std::function<void(const Schedule&)>& take, int pageRows = 1000);
// How many there are, and their first and last date; nothing when there are none.
struct ExportSpan {
    QDate first, last;
    int count = 0;
};
std::optional<ExportSpan> exportSpan(DbQuery& q, const std::optional<QDate>& from,
                                     const std::optional<QDate>& to);
// The events imported before each schedule kept its UID, as uid and start
// joined by a newline, of the schedules that still exist (table icsImport).
QSet<QString> importedEvents(DbQuery& q);

// A schedule's calendar identity (table scheduleUid): its UID, kept from its
// creation; for an occurrence of a recurring event, the RECURRENCE-ID it
// came with, as the property's text after its name (";VALUE=DATE:20260405",
// ":20260405T020000Z"); and what it held when imported, for an occurrence
// of a kept series. Empty texts where there is none.
struct KeptUid {
    QString uid;
    QString recurrenceId;
    QString imported;
};
// The key that exports made before UIDs were kept named a database file by
// (a hash of its path), and the UID they gave a schedule with it.
QString databaseKey(const QString& databaseFile);
QString legacyUid(qint64 id, const QString& key);
// forEachForExport with each schedule's identity.
void forEachWithUid(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to,
                    const std::function<void(const Schedule&, const KeptUid&)>& take,
                    int pageRows = 1000);
// The UID and RECURRENCE-ID of every schedule, joined by a newline.
QSet<QString> keptUids(DbQuery& q);
// The schedules that still carry the UID an export before kept UIDs gave
// them (legacyUid of their own id, under whatever key), by id.
QHash<qint64, Schedule> legacySchedules(DbQuery& q);
// A recurring event as it was imported (icsSeries): its VEVENT's lines and
// the VTIMEZONEs it names, each line ending in CR LF.
struct KeptSeries {
    QByteArray zones;
    QByteArray master;
};
// Every kept series with at least one schedule, by UID.
QHash<QString, KeptSeries> keptSeries(DbQuery& q);

// The import's writes, many rows in a row: the table objects stay open from
// the first to the last.
class ImportWriter {
public:
    explicit ImportWriter(DbConnection& connection);
    ~ImportWriter();
    qint64 append(const Schedule& s);
    // The schedule's identity, in place of the one it was given.
    void keep(qint64 id, const KeptUid& uid);
    void keepSeries(const QString& uid, const KeptSeries& series);

private:
    std::unique_ptr<DbTable> m_main, m_uids, m_series;
};
} // namespace ScheduleData

// ---- Reminders: the check, and the reminder window's summary and due list ----
namespace ScheduleData {
using DueTest = std::function<bool(const Schedule&)>;
// The not-finished schedules with a reminder on, from day on, by date and
// time: the first that isDue finds due (asked afresh for each row). The
// result stays open on q.
std::optional<Schedule> firstDueReminder(DbQuery& q, const QDate& day, const DueTest& isDue);
// Every one of them that isDue finds due, in that order; q is closed.
QList<Schedule> dueReminders(DbQuery& q, const QDate& day, const DueTest& isDue);
// The day summary's counts: every schedule of a day, and the day's not
// finished (status 1) and finished (status 3) ones.
int countOfDay(DbQuery& q, const QDate& day);
int notCompletedCountOfDay(DbQuery& q, const QDate& day);
int completedCountOfDay(DbQuery& q, const QDate& day);
// is_tx 0 through the row's edit and post; false when no row has the id.
bool switchReminderOff(DbQuery& q, qint64 id);
} // namespace ScheduleData

// Browse and query, schedule notes and the work-note browser.
namespace ScheduleData {
// What the note windows show of one schedule; a title or note without a
// value reads as the empty text. The query is closed again.
struct ScheduleNote {
    QString title;
    QDate date;
    QTime time;
    QString bz;
};
std::optional<ScheduleNote> noteOf(DbQuery& q, qint64 id);

// Every schedule, by rc_date and rc_time; the result stays open on q.
void openAll(DbQuery& q);
// Deletes every schedule whose rc_date plus `days` lies before `today`.
void purgeOlderThan(DbQuery& q, int days, const QDate& today);
// The four queries, each by rc_date and rc_time, the result left open on q.
// The title is matched at the end of the titles, "%" and "_" still wildcards.
void openTitleEndsWith(DbQuery& q, const QString& typed);
void openByPriority(DbQuery& q, int yxj);
void openByStatus(DbQuery& q, int ztFlag);
void openByDate(DbQuery& q, const QDate& day);

// The browser's note of one date: the empty text when it has none.
QString workNoteText(DbQuery& q, const QDate& date);
// Stores a date's note: the row found is edited, a date without one gets a
// new row whatever the text (the empty text too).
void storeWorkNote(DbQuery& q, const QDate& date, const QString& text);
// The notes containing the keyword, left open on q; the number of hits.
int openWorkNotesContaining(DbQuery& q, const QString& keyword);
// The hit at the current row of such a result.
WorkNote currentWorkNote(const DbQuery& q);
// Re-reads the stored text of every hit of such a result through `reader`,
// keeping the hits and the current row, also those that no longer match.
void refreshWorkNotes(DbQuery& hits, DbQuery& reader);
} // namespace ScheduleData
