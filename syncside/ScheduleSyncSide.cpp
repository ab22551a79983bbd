#include "syncside/ScheduleSyncSide.h"

#include "exchange/Calendar.h"
#include "exchange/ScheduleObject.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Database.h"
#include "shell/data/Schedules.h"
#include "shell/data/Schema.h"

#include <QCryptographicHash>
#include <QTimeZone>

namespace {
const QString conflictMark = QStringLiteral("〔冲突〕");

// An object the schedules do not show, known by its text's meaning.
QByteArray heldHash(const QByteArray& ics)
{
    return "held:" + QCryptographicHash::hash(ics, QCryptographicHash::Sha1).toHex();
}

void exec(DbQuery& q, const QString& sql, const QVariantList& params = {})
{
    q.close();
    q.setSql(sql);
    for (int i = 0; i < params.size(); ++i)
        q.setParameter(i, params[i]);
    q.execSql();
    q.close();
}

DbSnapshotPtr rows(DbQuery& q, const QString& sql, const QVariantList& params = {})
{
    q.close();
    q.setSql(sql);
    for (int i = 0; i < params.size(); ++i)
        q.setParameter(i, params[i]);
    q.open();
    DbSnapshotPtr out = q.snapshot();
    q.close();
    return out;
}

// A recurring object by the text it has with what was done here: its
// occurrences show as schedules, which are no items of their own.
QByteArray seriesHash(const QByteArray& ics)
{
    return "series:" + QCryptographicHash::hash(ics, QCryptographicHash::Sha1).toHex();
}

// The local day of a RECURRENCE-ID as Zones writes it.
QDate dayOf(const QString& rid, const QTimeZone& zone)
{
    const qsizetype colon = rid.lastIndexOf(QLatin1Char(':'));
    const QString value = rid.mid(colon + 1);
    const QDate day = QDate::fromString(value.left(8), QStringLiteral("yyyyMMdd"));
    if (!value.endsWith(QLatin1Char('Z')))
        return day;
    const QTime time = QTime::fromString(value.mid(9, 6), QStringLiteral("HHmmss"));
    return QDateTime(day, time, Qt::UTC).toTimeZone(zone).date();
}

const QString schedulesWithUids =
    QStringLiteral("select u.uid as syncUid, main.* from main join scheduleUid u"
                   " on u.schedule=main.id where u.recurrenceId is null order by main.id");
} // namespace

ScheduleSyncSide::ScheduleSyncSide(DbConnection& connection, QByteArray localZone,
                                   const std::atomic_bool* cancel)
    : m_connection(connection)
    , m_q(std::make_unique<DbQuery>(connection))
    , m_zone(std::move(localZone))
    , m_cancel(cancel)
{}

void ScheduleSyncSide::checkCancel() const
{
    if (m_cancel && m_cancel->load())
        throw AppError(QStringLiteral("已取消"));
}

ScheduleSyncSide::~ScheduleSyncSide() = default;

QString ScheduleSyncSide::conflictTitle(const QString& title)
{
    return Cp936::truncated(conflictMark + title, fieldOf(&Schedule::title).maxBytes);
}

QList<SyncLocalSide::Item> ScheduleSyncSide::items()
{
    checkCancel();
    QList<Item> out;
    m_ids.clear();
    m_listed = false;
    const DbSnapshotPtr r = rows(*m_q, schedulesWithUids);
    const ScheduleColumns c(*r);
    const int uidColumn = r->columnIndex(QStringLiteral("syncUid"));
    out.reserve(r->rowCount());
    for (int i = 0; i < r->rowCount(); ++i) {
        const QString uid = r->text(i, uidColumn);
        if (m_ids.contains(uid))
            continue; // one schedule per object: the first made
        const Schedule s = Schedule::read(*r, c, i);
        m_ids.insert(uid, s.id);
        out.append({uid, Exchange::fieldsHash(s)});
    }
    m_listed = true;
    // Server objects without a schedule: those it cannot show stay items.
    const DbSnapshotPtr held = rows(*m_q, QStringLiteral("select uid, ics from syncObject"));
    for (int i = 0; i < held->rowCount(); ++i) {
        const QString uid = held->text(i, 0);
        if (m_ids.contains(uid))
            continue;
        const QByteArray ics = held->text(i, 1).toUtf8();
        if (Exchange::isRecurring(ics))
            out.append({uid, seriesHash(seriesObject(uid, ics))});
        else if (!Exchange::scheduleOf(ics, m_zone))
            out.append({uid, heldHash(ics)});
    }
    return out;
}

qint64 ScheduleSyncSide::scheduleOf(const QString& uid)
{
    const auto known = m_ids.constFind(uid);
    if (known != m_ids.cend())
        return *known;
    if (m_listed)
        return 0; // items() found every schedule, and the writes since keep m_ids
    const DbSnapshotPtr r = rows(
        *m_q,
        QStringLiteral("select u.schedule from scheduleUid u join main on main.id=u.schedule"
                       " where u.uid=? and u.recurrenceId is null order by u.schedule limit 1"),
        {uid});
    return r->rowCount() ? r->value(0, 0).toLongLong() : 0;
}

QByteArray ScheduleSyncSide::kept(const QString& uid)
{
    const DbSnapshotPtr r =
        rows(*m_q, QStringLiteral("select ics from syncObject where uid=?"), {uid});
    return r->rowCount() ? r->text(0, 0).toUtf8() : QByteArray();
}

QByteArray ScheduleSyncSide::read(const QString& uid)
{
    checkCancel();
    const qint64 id = scheduleOf(uid);
    const QByteArray object = kept(uid);
    if (!id && Exchange::isRecurring(object))
        return seriesObject(uid, object);
    if (!id) {
        if (object.isEmpty())
            throw AppError(QStringLiteral("日程 %1 已不在").arg(uid));
        return object;
    }
    const std::optional<Schedule> s = ScheduleData::byId(*m_q, id);
    if (!s)
        throw AppError(QStringLiteral("日程 %1 已不在").arg(uid));
    return Exchange::objectOf(*s, uid, object, m_zone);
}

QByteArray ScheduleSyncSide::write(const QString& uid, const QByteArray& ics)
{
    checkCancel();
    if (Exchange::isRecurring(ics))
        return writeSeries(uid, ics);
    std::optional<Schedule> s = Exchange::scheduleOf(ics, m_zone);
    DbTransaction t(m_connection);
    // Occurrences of what was a series before (found by the records' key:
    // a look through every schedule's UID for each item would make a large
    // first sync slow).
    if (rows(*m_q, QStringLiteral("select 1 from syncOccurrence where uid=? limit 1"), {uid})
            ->rowCount()) {
        exec(*m_q,
             QStringLiteral("delete from main where id in (select schedule from scheduleUid"
                            " where uid=? and recurrenceId is not null)"),
             {uid});
        exec(*m_q, QStringLiteral("delete from syncOccurrence where uid=?"), {uid});
    }
    const qint64 id = scheduleOf(uid);
    QByteArray hash;
    if (!s) {
        if (id)
            ScheduleData::remove(*m_q, id);
        m_ids.remove(uid);
        hash = heldHash(ics);
    } else if (id) {
        const std::optional<Schedule> was = ScheduleData::byId(*m_q, id);
        s->id = id;
        if (was && s->isTx != 1) // the lead kept for the day the reminder is turned on
            s->txTime = was->txTime, s->txTimeFlag = was->txTimeFlag;
        ScheduleData::replace(*m_q, *s);
        hash = Exchange::fieldsHash(*s);
    } else {
        ScheduleData::ImportWriter writer(m_connection);
        const qint64 added = writer.append(*s);
        writer.keep(added, {uid, QString(), QString()});
        m_ids.insert(uid, added);
        hash = Exchange::fieldsHash(*s);
    }
    exec(*m_q, QStringLiteral("insert into syncObject (uid, ics) values (?, ?)"),
         {uid, QString::fromUtf8(ics)});
    t.commit();
    return hash;
}

void ScheduleSyncSide::remove(const QString& uid)
{
    checkCancel();
    DbTransaction t(m_connection);
    // The schedule, or every occurrence of a series.
    exec(*m_q,
         QStringLiteral("delete from main where id in (select schedule from scheduleUid"
                        " where uid=?)"),
         {uid});
    exec(*m_q, QStringLiteral("delete from syncObject where uid=?"), {uid});
    exec(*m_q, QStringLiteral("delete from syncOccurrence where uid=?"), {uid});
    t.commit();
    m_ids.remove(uid);
}

QByteArray ScheduleSyncSide::writeSeries(const QString& uid, const QByteArray& ics)
{
    DbTransaction t(m_connection);
    exec(*m_q,
         QStringLiteral("delete from main where id in (select schedule from scheduleUid"
                        " where uid=?)"),
         {uid});
    exec(*m_q, QStringLiteral("delete from syncOccurrence where uid=?"), {uid});
    // Its occurrences from today, as the import makes them, with the content
    // as the sync maps it: the rest of the event stays in the object.
    Ics::ImportOptions options;
    options.today = Clock::today();
    options.localZone = m_zone;
    options.contentAlone = true;
    try {
        Ics::importCalendar(ics, *m_q, options);
    } catch (const Ics::ImportError&) {
        // Kept as it came, showing nothing, as any object the schedules cannot show.
    }
    exec(*m_q,
         QStringLiteral("insert into syncOccurrence (uid, recurrenceId)"
                        " select u.uid, u.recurrenceId from scheduleUid u join main"
                        " on main.id=u.schedule where u.uid=? and u.recurrenceId is not null"),
         {uid});
    exec(*m_q, QStringLiteral("insert into syncObject (uid, ics) values (?, ?)"),
         {uid, QString::fromUtf8(ics)});
    t.commit();
    m_ids.remove(uid);
    return seriesHash(ics);
}

// The occurrences of a series as they stand here: those changed, those of
// the server's overrides, and those removed since the last sync (from today
// on: the past ones go with the purge, not by the user's hand).
QList<Exchange::Occurrence> ScheduleSyncSide::occurrences(const QString& uid)
{
    const DbSnapshotPtr r =
        rows(*m_q,
             QStringLiteral("select main.*, u.recurrenceId as syncRid, u.imported as syncImported"
                            " from main join scheduleUid u on u.schedule=main.id"
                            " where u.uid=? and u.recurrenceId is not null order by main.id"),
             {uid});
    const ScheduleColumns c(*r);
    const int ridColumn = r->columnIndex(QStringLiteral("syncRid"));
    const int importedColumn = r->columnIndex(QStringLiteral("syncImported"));
    QList<Exchange::Occurrence> out;
    QSet<QString> present;
    for (int i = 0; i < r->rowCount(); ++i) {
        const QString rid = r->text(i, ridColumn);
        if (present.contains(rid))
            continue;
        present.insert(rid);
        const Schedule s = Schedule::read(*r, c, i);
        const QString imported = r->value(i, importedColumn).toString();
        out.append({rid, s, !imported.isEmpty() && imported != Ics::importedFields(s)});
    }
    const DbSnapshotPtr expected = rows(
        *m_q,
        QStringLiteral("select recurrenceId from syncOccurrence where uid=? order by recurrenceId"),
        {uid});
    const QTimeZone zone = m_zone.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(m_zone);
    const QDate today = Clock::today();
    for (int i = 0; i < expected->rowCount(); ++i) {
        const QString rid = expected->text(i, 0);
        if (!present.contains(rid) && dayOf(rid, zone) >= today)
            out.append({rid, std::nullopt, false});
    }
    return out;
}

QByteArray ScheduleSyncSide::seriesObject(const QString& uid, const QByteArray& kept)
{
    return Exchange::seriesObjectOf(kept, uid, occurrences(uid), m_zone);
}

void ScheduleSyncSide::uploaded(const QString& uid, const QByteArray& ics)
{
    // What the server holds now is what the next changes patch (an object
    // that was never the server's stays unkept: it is made anew).
    exec(*m_q, QStringLiteral("update syncObject set ics=? where uid=?"),
         {QString::fromUtf8(ics), uid});
}

QByteArray ScheduleSyncSide::hashOf(const QByteArray& ics)
{
    if (Exchange::isRecurring(ics))
        return seriesHash(ics);
    const std::optional<Schedule> s = Exchange::scheduleOf(ics, m_zone);
    return s ? Exchange::fieldsHash(*s) : heldHash(ics);
}

QStringList ScheduleSyncSide::keepConflictCopies(const QString& uid)
{
    checkCancel();
    QList<Schedule> kept;
    if (const qint64 id = scheduleOf(uid)) {
        if (std::optional<Schedule> s = ScheduleData::byId(*m_q, id))
            kept << *s;
    } else if (Exchange::isRecurring(this->kept(uid))) {
        // A series: each occurrence changed here stands alone.
        for (const Exchange::Occurrence& o : occurrences(uid))
            if (o.changed && o.schedule)
                kept << *o.schedule;
    } else {
        throw AppError(QStringLiteral("日程 %1 已不在").arg(uid));
    }
    QStringList copies;
    DbTransaction t(m_connection);
    ScheduleData::ImportWriter writer(m_connection);
    QList<qint64> added;
    for (Schedule s : std::as_const(kept)) {
        s.title = conflictTitle(s.title);
        added << writer.append(s);
    }
    for (const qint64 id : std::as_const(added)) {
        const DbSnapshotPtr r =
            rows(*m_q, QStringLiteral("select uid from scheduleUid where schedule=?"), {id});
        if (!r->rowCount())
            throw AppError(QStringLiteral("冲突日程没有 UID"));
        copies << r->text(0, 0);
        m_ids.insert(copies.last(), id);
    }
    t.commit();
    return copies;
}

// ---- records --------------------------------------------------------------

ScheduleSyncStatus::ScheduleSyncStatus(DbConnection& connection, const QString& collection)
    : m_q(std::make_unique<DbQuery>(connection))
{
    if (state(QStringLiteral("collection")) == collection)
        return;
    DbTransaction t(connection);
    exec(*m_q, QStringLiteral("delete from syncStatus"));
    exec(*m_q, QStringLiteral("delete from syncObject"));
    exec(*m_q, QStringLiteral("delete from syncOccurrence"));
    exec(*m_q, QStringLiteral("delete from syncState"));
    setState(QStringLiteral("collection"), collection);
    t.commit();
}

ScheduleSyncStatus::~ScheduleSyncStatus() = default;

QString ScheduleSyncStatus::state(const QString& name)
{
    const DbSnapshotPtr r =
        rows(*m_q, QStringLiteral("select value from syncState where name=?"), {name});
    return r->rowCount() ? r->text(0, 0) : QString();
}

void ScheduleSyncStatus::setState(const QString& name, const QString& value)
{
    exec(*m_q, QStringLiteral("insert into syncState (name, value) values (?, ?)"), {name, value});
}

QList<Sync::Status> ScheduleSyncStatus::statuses()
{
    const DbSnapshotPtr r =
        rows(*m_q, QStringLiteral("select uid, href, etag, localHash from syncStatus"));
    QList<Sync::Status> out;
    out.reserve(r->rowCount());
    for (int i = 0; i < r->rowCount(); ++i)
        out.append({r->text(i, 0), r->text(i, 1), r->text(i, 2), r->text(i, 3).toLatin1()});
    return out;
}

void ScheduleSyncStatus::put(const Sync::Status& s)
{
    exec(*m_q,
         QStringLiteral("insert into syncStatus (uid, href, etag, localHash) values (?, ?, ?, ?)"),
         {s.uid, s.href, s.etag, QString::fromLatin1(s.localHash)});
}

void ScheduleSyncStatus::forget(const QString& uid)
{
    exec(*m_q, QStringLiteral("delete from syncStatus where uid=?"), {uid});
}

QString ScheduleSyncStatus::token()
{
    return state(QStringLiteral("token"));
}

void ScheduleSyncStatus::setToken(const QString& token)
{
    setState(QStringLiteral("token"), token);
}

// ---- a round ---------------------------------------------------------------

SyncReport runScheduleSync(const ScheduleSyncRound& round)
{
    SyncReport report;
    try {
        DbConnection connection;
        connection.setSchema(Schema::schema());
        connection.setCreatesMissingFile(false);
        connection.setConnectionString(QStringLiteral("Data Source=") + round.database);
        ScheduleSyncSide local(connection, round.localZone, round.cancel);
        ScheduleSyncStatus status(connection, round.collection.toString());
        CalDavClient client(round.account);
        SyncEngine engine(client, round.collection, local, status);
        report = engine.run();
    } catch (const std::exception& e) {
        report.localError = QString::fromUtf8(e.what());
    }
    return report;
}

QString syncSecretSchema()
{
    return QStringLiteral("Tavimor.Brenwick.sync");
}
