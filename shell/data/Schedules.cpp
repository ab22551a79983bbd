#include "shell/data/Schedules.h"

#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "shell/data/Statements.h"
#include "shell/data/dataForm.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>
#include <type_traits>

namespace {
template <class T> QString columnOf(T Schedule::*member)
{
    return QLatin1String(fieldOf(member).column);
}

namespace Col {
const QString yxj = columnOf(&Schedule::yxj);
const QString ztFlag = columnOf(&Schedule::ztFlag);
const QString isTx = columnOf(&Schedule::isTx);
const QString title = columnOf(&Schedule::title);
const QString rcDate = columnOf(&Schedule::date);
const QString rcTime = columnOf(&Schedule::time);
const QString bz = columnOf(&Schedule::bz);
// zjTable
const QString date = QStringLiteral("date");
const QString zj = QStringLiteral("zj");
} // namespace Col

QVariant valueOf(const Schedule& s, const ScheduleField& f)
{
    return std::visit([&s](auto member) { return QVariant::fromValue(s.*member); }, f.member);
}

void run(DbQuery& q, const QString& sql)
{
    q.close();
    q.setSql(sql);
    q.open();
}

void run(DbQuery& q, const QString& sql, const QDate& day)
{
    q.close();
    q.setSql(sql);
    q.setDateParameter(day);
    q.open();
}

void run(DbQuery& q, const QString& sql, const QString& text)
{
    q.close();
    q.setSql(sql);
    q.setParameter(0, text);
    q.open();
}

// A column the program's own tables leave null where there is nothing.
QString textOrEmpty(const DbSnapshot& rows, int row, int column)
{
    return rows.isNull(row, column) ? QString() : rows.text(row, column);
}

// The table object is closed after each row, also when the row failed.
struct ClosedAfter {
    DbTable& table;
    ~ClosedAfter() { table.close(); }
};

template <class F> bool editRow(DbQuery& q, qint64 id, F assign)
{
    run(q, Sql::scheduleById(id));
    if (q.recordCount() == 0) {
        q.close();
        return false;
    }
    q.edit();
    assign();
    q.post();
    q.close();
    return true;
}
} // namespace

Schedule Schedule::read(const DbSnapshot& rows, int row)
{
    return read(rows, ScheduleColumns(rows), row);
}

Schedule Schedule::read(const DbSnapshot& rows, const ScheduleColumns& c, int row)
{
    Schedule s;
    for (const ScheduleField& f : scheduleFields) {
        const int column = c.*f.position;
        std::visit(
            [&](auto member) {
                auto& value = s.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, QString>)
                    value = rows.text(row, column);
                else if constexpr (std::is_same_v<T, QDate>)
                    value = DayNumber::toDate(rows.dateTime(row, column));
                else if constexpr (std::is_same_v<T, QTime>)
                    value = DayNumber::toTime(rows.dateTime(row, column));
                else
                    value = rows.integer(row, column);
            },
            f.member);
    }
    return s;
}

Schedule Schedule::read(const DbQuery& q)
{
    q.recNo(); // raises on a closed result
    if (!q.snapshot() || q.snapshot()->rowCount() == 0)
        throw AppError(QStringLiteral("The result holds no row to read a schedule from"));
    return read(*q.snapshot(), q.row());
}

ScheduleColumns::ScheduleColumns(const DbSnapshot& rows)
{
    for (const ScheduleField& f : scheduleFields)
        this->*f.position = rows.columnIndex(QLatin1String(f.column));
}

namespace Codes {

namespace {
const char* const statuses[] = {"没有完成", "进行中", "已经完成", "取消"};
const char* const priorities[] = {"高", "中", "低"};
const char* const units[] = {"分钟", "小时", "天"};

// The caption of a code counted from `first`; "" for any other code.
template <size_t N> QString captionOf(const char* const (&captions)[N], int first, int code)
{
    const int i = code - first;
    return i >= 0 && i < int(N) ? QString::fromUtf8(captions[i]) : QString();
}

template <size_t N> QStringList captionsOf(const char* const (&captions)[N])
{
    QStringList out;
    for (const char* c : captions)
        out << QString::fromUtf8(c);
    return out;
}
} // namespace

QString statusCaption(int ztFlag)
{
    return captionOf(statuses, 1, ztFlag);
}

QString priorityCaption(int yxj)
{
    return captionOf(priorities, 0, yxj);
}

QString unitCaption(int txTimeFlag)
{
    return captionOf(units, 0, txTimeFlag);
}

int unitMinutes(int txTimeFlag)
{
    return txTimeFlag == 0 ? 1 : txTimeFlag == 1 ? 60 : 1440;
}

QStringList statusCaptions()
{
    return captionsOf(statuses);
}

QStringList priorityCaptions()
{
    return captionsOf(priorities);
}

QStringList unitCaptions()
{
    return captionsOf(units);
}

} // namespace Codes

namespace ScheduleData {

std::optional<Schedule> byId(DbQuery& q, qint64 id)
{
    run(q, Sql::scheduleById(id));
    std::optional<Schedule> s;
    if (q.recordCount() > 0)
        s = Schedule::read(q);
    q.close();
    return s;
}

namespace {
std::optional<int> integerOf(DbQuery& q, qint64 id, const QString& column)
{
    run(q, Sql::scheduleById(id));
    std::optional<int> v;
    if (q.recordCount() > 0)
        v = q.intField(column);
    q.close();
    return v;
}
} // namespace

std::optional<int> priorityOf(DbQuery& q, qint64 id)
{
    return integerOf(q, id, Col::yxj);
}

std::optional<int> statusOf(DbQuery& q, qint64 id)
{
    return integerOf(q, id, Col::ztFlag);
}

bool setStatus(DbQuery& q, qint64 id, int ztFlag)
{
    return editRow(q, id, [&] { q.setField(Col::ztFlag, ztFlag); });
}

bool setNote(DbQuery& q, qint64 id, const QString& bz)
{
    return editRow(q, id, [&] { q.setField(Col::bz, bz); });
}

bool setReminder(DbQuery& q, qint64 id, int isTx)
{
    return editRow(q, id, [&] { q.setField(Col::isTx, isTx); });
}

bool update(DbQuery& q, const Schedule& s)
{
    return editRow(q, s.id, [&] {
        for (const ScheduleField& f : scheduleFields)
            if (f.edited)
                q.setField(QLatin1String(f.column), valueOf(s, f));
    });
}

bool replace(DbQuery& q, const Schedule& s)
{
    return editRow(q, s.id, [&] {
        for (const ScheduleField& f : scheduleFields)
            if (!std::holds_alternative<qint64 Schedule::*>(f.member))
                q.setField(QLatin1String(f.column), valueOf(s, f));
    });
}

void remove(DbQuery& q, qint64 id)
{
    q.close();
    q.setSql(Sql::deleteSchedule(id));
    q.execSql();
    q.close();
}

namespace {
qint64 appendTo(DbTable& table, const Schedule& s)
{
    table.append();
    for (const ScheduleField& f : scheduleFields)
        if (!std::holds_alternative<qint64 Schedule::*>(f.member)) // the file numbers the rows
            table.setField(QLatin1String(f.column), valueOf(s, f));
    table.post();
    return table.lastId();
}
} // namespace

qint64 append(const Schedule& s)
{
    DbTable& table = DataModule1->mydata;
    table.close();
    ClosedAfter closing{table};
    table.open();
    return appendTo(table, s);
}

void openDay(DbQuery& q, const QDate& day)
{
    run(q, Sql::schedulesOfDay(), day);
}

void openAfter(DbQuery& q, const QDate& day)
{
    run(q, Sql::schedulesAfter(), day);
}

std::optional<WorkNote> workNote(DbQuery& q, const QDate& date)
{
    run(q, Sql::workNoteOfDay(), date);
    if (q.recordCount() == 0)
        return std::nullopt;
    return WorkNote{date, q.textField(Col::zj)};
}

NoteSaved saveWorkNote(DbQuery& q, const QDate& date, const QString& text)
{
    run(q, Sql::workNoteOfDay(), date);
    if (q.recordCount() > 0) {
        q.edit();
        q.setField(Col::zj, text);
        q.post();
        return NoteSaved::Saved;
    }
    if (Cp936::trimmed(text).isEmpty())
        return NoteSaved::NothingToSave;
    q.close();
    DbTable& table = DataModule1->zjTable;
    table.close();
    ClosedAfter closing{table};
    table.open();
    table.append();
    table.setField(Col::date, date);
    table.setField(Col::zj, text);
    table.post();
    return NoteSaved::Saved;
}

} // namespace ScheduleData

// ---- calendar exchange ------------------------------------------------------

namespace ScheduleData {

void openForExport(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to)
{
    if (!from && !to) {
        run(q, Sql::allSchedules());
        return;
    }
    q.close();
    q.setSql(Sql::schedulesBetween());
    q.setParameter(0, from.value_or(QDate(100, 1, 1)));
    q.setParameter(1, to.value_or(QDate(9999, 12, 31)));
    q.open();
}

void forEachForExport(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to,
                      const std::function<void(const Schedule&)>& take, int pageRows)
{
    forEachWithUid(
        q, from, to, [&](const Schedule& s, const KeptUid&) { take(s); }, pageRows);
}

void forEachWithUid(DbQuery& q, const std::optional<QDate>& from, const std::optional<QDate>& to,
                    const std::function<void(const Schedule&, const KeptUid&)>& take, int pageRows)
{
    const bool between = from || to;
    const QDate last = to.value_or(QDate(9999, 12, 31));
    q.close();
    q.setSql(Sql::schedulesFirstPage(between));
    int p = 0;
    if (between) {
        q.setParameter(p++, from.value_or(QDate(100, 1, 1)));
        q.setParameter(p++, last);
    }
    q.setParameter(p, pageRows);
    for (;;) {
        q.open();
        const DbSnapshotPtr rows = q.snapshot();
        q.close();
        const int n = rows->rowCount();
        const ScheduleColumns c(*rows);
        const int uid = rows->columnIndex(QStringLiteral("uid")),
                  rid = rows->columnIndex(QStringLiteral("recurrenceId")),
                  imported = rows->columnIndex(QStringLiteral("imported"));
        for (int r = 0; r < n; ++r)
            take(Schedule::read(*rows, c, r),
                 KeptUid{textOrEmpty(*rows, r, uid), textOrEmpty(*rows, r, rid),
                         textOrEmpty(*rows, r, imported)});
        if (n < pageRows)
            return;
        // The key of the last row as stored, not as a date and time made of it.
        q.setSql(Sql::schedulesPageAfter());
        q.setParameter(0, rows->dateTime(n - 1, c.rcDate));
        q.setParameter(1, rows->dateTime(n - 1, c.rcTime));
        q.setParameter(2, rows->value(n - 1, c.id));
        q.setParameter(3, last);
        q.setParameter(4, pageRows);
    }
}

std::optional<ExportSpan> exportSpan(DbQuery& q, const std::optional<QDate>& from,
                                     const std::optional<QDate>& to)
{
    q.close();
    q.setSql(Sql::exportSpan(from || to));
    if (from || to) {
        q.setParameter(0, from.value_or(QDate(100, 1, 1)));
        q.setParameter(1, to.value_or(QDate(9999, 12, 31)));
    }
    q.open();
    const DbSnapshotPtr rows = q.snapshot();
    q.close();
    if (rows->rowCount() == 0 || rows->integer(0, 2) == 0)
        return std::nullopt;
    return ExportSpan{DayNumber::toDate(rows->dateTime(0, 0)),
                      DayNumber::toDate(rows->dateTime(0, 1)), rows->integer(0, 2)};
}

QSet<QString> importedEvents(DbQuery& q)
{
    q.setSql(Sql::forgetDeletedImports());
    q.execSql();
    run(q, Sql::importedEvents());
    QSet<QString> out;
    const DbSnapshotPtr rows = q.snapshot();
    for (int r = 0; r < rows->rowCount(); ++r)
        out.insert(rows->text(r, 0) + QLatin1Char('\n') + rows->text(r, 1));
    q.close();
    return out;
}

QString databaseKey(const QString& databaseFile)
{
    const QFileInfo info(databaseFile);
    const QString path = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

QString legacyUid(qint64 id, const QString& key)
{
    return QStringLiteral("%1-%2@brenwick").arg(id).arg(key);
}

QSet<QString> keptUids(DbQuery& q)
{
    run(q, Sql::keptUids());
    QSet<QString> out;
    const DbSnapshotPtr rows = q.snapshot();
    out.reserve(rows->rowCount());
    for (int r = 0; r < rows->rowCount(); ++r)
        out.insert(rows->text(r, 0) + QLatin1Char('\n') + textOrEmpty(*rows, r, 1));
    q.close();
    return out;
}

QHash<qint64, Schedule> legacySchedules(DbQuery& q)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)-[0-9a-f]{12}@brenwick$"));
    run(q, Sql::legacySchedules());
    QHash<qint64, Schedule> out;
    const DbSnapshotPtr rows = q.snapshot();
    const ScheduleColumns c(*rows);
    const int uid = rows->columnIndex(QStringLiteral("uid"));
    for (int r = 0; r < rows->rowCount(); ++r) {
        const Schedule s = Schedule::read(*rows, c, r);
        const QRegularExpressionMatch m = form.match(rows->text(r, uid));
        if (m.hasMatch() && m.captured(1).toLongLong() == s.id)
            out.insert(s.id, s);
    }
    q.close();
    return out;
}

QHash<QString, KeptSeries> keptSeries(DbQuery& q)
{
    run(q, Sql::keptSeries());
    QHash<QString, KeptSeries> out;
    const DbSnapshotPtr rows = q.snapshot();
    for (int r = 0; r < rows->rowCount(); ++r)
        out.insert(rows->text(r, 0),
                   KeptSeries{rows->text(r, 1).toUtf8(), rows->text(r, 2).toUtf8()});
    q.close();
    return out;
}

ImportWriter::ImportWriter(DbConnection& connection)
    : m_main(std::make_unique<DbTable>(connection, QStringLiteral("main")))
    , m_uids(std::make_unique<DbTable>(connection, QStringLiteral("scheduleUid")))
    , m_series(std::make_unique<DbTable>(connection, QStringLiteral("icsSeries")))
{}

ImportWriter::~ImportWriter() = default;

void ImportWriter::keep(qint64 id, const KeptUid& uid)
{
    m_uids->open();
    m_uids->append();
    m_uids->setField(QStringLiteral("schedule"), id);
    m_uids->setField(QStringLiteral("uid"), uid.uid);
    // Null where there is none: the column tells an occurrence from an event.
    m_uids->setField(QStringLiteral("recurrenceId"),
                     uid.recurrenceId.isEmpty() ? QVariant() : QVariant(uid.recurrenceId));
    m_uids->setField(QStringLiteral("imported"),
                     uid.imported.isEmpty() ? QVariant() : QVariant(uid.imported));
    m_uids->post();
}

void ImportWriter::keepSeries(const QString& uid, const KeptSeries& series)
{
    m_series->open();
    m_series->append();
    m_series->setField(QStringLiteral("uid"), uid);
    m_series->setField(QStringLiteral("zones"), QString::fromUtf8(series.zones));
    m_series->setField(QStringLiteral("master"), QString::fromUtf8(series.master));
    m_series->post();
}

qint64 ImportWriter::append(const Schedule& s)
{
    m_main->open();
    return appendTo(*m_main, s);
}

} // namespace ScheduleData

// ---- Reminders: the check, and the reminder window's summary and due list ----
namespace ScheduleData {

std::optional<Schedule> firstDueReminder(DbQuery& q, const QDate& day, const DueTest& isDue)
{
    run(q, Sql::reminderCandidates(), day);
    const DbSnapshotPtr rows = q.snapshot();
    const ScheduleColumns columns(*rows);
    for (int row = 0; row < rows->rowCount(); ++row) {
        Schedule s = Schedule::read(*rows, columns, row);
        if (isDue(s))
            return s;
    }
    return std::nullopt;
}

QList<Schedule> dueReminders(DbQuery& q, const QDate& day, const DueTest& isDue)
{
    run(q, Sql::reminderDueList(), day);
    const DbSnapshotPtr rows = q.snapshot();
    q.close();
    QList<Schedule> due;
    const ScheduleColumns columns(*rows);
    for (int row = 0; row < rows->rowCount(); ++row) {
        Schedule s = Schedule::read(*rows, columns, row);
        if (isDue(s))
            due.append(std::move(s));
    }
    return due;
}

namespace {
int countOf(DbQuery& q, const QString& sql, const QDate& day)
{
    run(q, sql, day);
    const int n = q.recordCount();
    q.close();
    return n;
}
} // namespace

int countOfDay(DbQuery& q, const QDate& day)
{
    return countOf(q, Sql::schedulesOfDayCount(), day);
}

int notCompletedCountOfDay(DbQuery& q, const QDate& day)
{
    return countOf(q, Sql::notCompletedOfDay(), day);
}

int completedCountOfDay(DbQuery& q, const QDate& day)
{
    return countOf(q, Sql::completedOfDay(), day);
}

bool switchReminderOff(DbQuery& q, qint64 id)
{
    return setReminder(q, id, 0);
}

} // namespace ScheduleData

// Browse and query, schedule notes and the work-note browser.
namespace ScheduleData {

namespace {
QString textOrEmpty(const DbQuery& q, const QString& column)
{
    return q.isNull(column) ? QString() : q.textField(column);
}
} // namespace

std::optional<ScheduleNote> noteOf(DbQuery& q, qint64 id)
{
    run(q, Sql::scheduleById(id));
    std::optional<ScheduleNote> n;
    if (q.recordCount() > 0)
        n = ScheduleNote{textOrEmpty(q, Col::title),
                         DayNumber::toDate(q.dateTimeField(Col::rcDate)),
                         DayNumber::toTime(q.dateTimeField(Col::rcTime)), textOrEmpty(q, Col::bz)};
    q.close();
    return n;
}

void openAll(DbQuery& q)
{
    run(q, Sql::allSchedules());
}

void purgeOlderThan(DbQuery& q, int days, const QDate& today)
{
    q.close();
    q.setSql(Sql::purgeOlderThan(days));
    q.setDateParameter(today);
    q.execSql();
}

void openTitleEndsWith(DbQuery& q, const QString& typed)
{
    run(q, Sql::titleEndsWith(), typed);
}

void openByPriority(DbQuery& q, int yxj)
{
    run(q, Sql::byPriority(yxj));
}

void openByStatus(DbQuery& q, int ztFlag)
{
    run(q, Sql::byStatus(ztFlag));
}

void openByDate(DbQuery& q, const QDate& day)
{
    run(q, Sql::byDate(), day);
}

QString workNoteText(DbQuery& q, const QDate& date)
{
    run(q, Sql::workNoteOfDay(), date);
    return q.recordCount() > 0 ? textOrEmpty(q, Col::zj) : QString();
}

void storeWorkNote(DbQuery& q, const QDate& date, const QString& text)
{
    run(q, Sql::workNoteOfDay(), date);
    if (q.recordCount() > 0) {
        q.edit();
        q.setField(Col::zj, text);
        q.post();
        q.close();
        return;
    }
    q.close();
    DbTable& table = DataModule1->zjTable;
    table.close();
    ClosedAfter closing{table};
    table.open();
    table.append();
    table.setField(Col::date, date);
    table.setField(Col::zj, text);
    table.post();
}

int openWorkNotesContaining(DbQuery& q, const QString& keyword)
{
    run(q, Sql::workNotesContaining(), keyword);
    return q.recordCount();
}

WorkNote currentWorkNote(const DbQuery& q)
{
    return WorkNote{DayNumber::toDate(q.dateTimeField(Col::date)), textOrEmpty(q, Col::zj)};
}

void refreshWorkNotes(DbQuery& hits, DbQuery& reader)
{
    // The same hits, each re-read by its date: running the search again
    // would drop a hit whose new text lacks the keyword.
    const DbSnapshotPtr rows = hits.snapshot();
    if (!hits.active() || !rows)
        return;
    const int date = rows->columnIndex(Col::date);
    const int zj = rows->columnIndex(Col::zj);
    for (int r = 0; r < rows->rowCount(); ++r) {
        run(reader, Sql::workNoteOfDay(), DayNumber::toDate(rows->dateTime(r, date)));
        if (reader.recordCount() > 0)
            rows->store(r, zj, reader.value(Col::zj));
    }
    reader.close();
}

} // namespace ScheduleData
