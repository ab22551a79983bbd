#pragma once

#include <QString>

// Every statement the program issues, in the text it issues them. A date goes
// in as the statement's one parameter; an id is spliced in as a decimal number.
namespace Sql {
// Tree (today's and tomorrow's schedules, then the later ones).
inline QString schedulesOfDay()
{
    return QStringLiteral("select * from main where rc_date=:dt order by rc_time");
}
inline QString schedulesAfter()
{
    return QStringLiteral("select * from main where rc_date>:dt order by rc_date,rc_time");
}
// One schedule, by id.
inline QString scheduleById(qint64 id)
{
    return QStringLiteral("select * from main where id=") + QString::number(id);
}
inline QString deleteSchedule(qint64 id)
{
    return QStringLiteral("delete * from main where id=") + QString::number(id);
}
// Reminder check, and the reminder window's summary and due list.
inline QString reminderCandidates()
{
    return QStringLiteral("select * from main where (zt_flag=1 or zt_flag=2) and is_tx=1 and "
                          "(rc_date>=:dt) order by rc_date,rc_time");
}
inline QString schedulesOfDayCount()
{
    return QStringLiteral("select * from main where (rc_date=:td) ");
}
inline QString notCompletedOfDay()
{
    return QStringLiteral("select * from main where zt_flag=1  and  (rc_date=:td) ");
}
inline QString completedOfDay()
{
    return QStringLiteral("select * from main where zt_flag=3   and  (rc_date=:td) ");
}
inline QString reminderDueList()
{
    return QStringLiteral("select * from main where (zt_flag=1 or zt_flag=2) and is_tx=1  and  "
                          "(rc_date>=:td) order by rc_date,rc_time");
}
// Browse and query.
inline QString allSchedules()
{
    return QStringLiteral("select *  from main order by rc_date,rc_time");
}
inline QString purgeOlderThan(int days)
{
    return QStringLiteral("delete * from main where rc_date+") + QString::number(days) +
           QStringLiteral("<:dt");
}
// The typed title is bound as a text parameter, so a quote can neither break
// nor change the statement; "%" and "_" in it still act as wildcards.
inline QString titleEndsWith()
{
    return QStringLiteral(
        "select *  from main  where title like '%'||:title order by rc_date,rc_time");
}
inline QString byPriority(int code)
{
    return QStringLiteral("select *  from main  where yxj=") + QString::number(code) +
           QStringLiteral(" order by rc_date,rc_time");
}
inline QString byStatus(int code)
{
    return QStringLiteral("select *  from main  where zt_flag=") + QString::number(code) +
           QStringLiteral(" order by rc_date,rc_time");
}
inline QString byDate()
{
    return QStringLiteral("select *  from main  where rc_date=:dt order by rc_date,rc_time");
}
// Work notes.
inline QString workNoteOfDay()
{
    return QStringLiteral("select * from zjTable where date=:dt");
}
// The keyword is bound as text, as for the title query.
inline QString workNotesContaining()
{
    return QStringLiteral("select * from zjTable where zj like '%'||:kw||'%'");
}
} // namespace Sql

// Calendar exchange (brenwick-ics): the schedules of a range of dates, and
// which calendar event each imported schedule came from.
namespace Sql {
inline QString schedulesBetween()
{
    return QStringLiteral(
        "select *  from main  where rc_date>=:from and rc_date<=:to order by rc_date,rc_time");
}
// The export reads a page of rows at a time, each after the last one read,
// with each row's calendar identity.
inline QString schedulesFirstPage(bool between)
{
    return between ? QStringLiteral("select main.*, u.uid, u.recurrenceId, u.imported from main "
                                    "left join scheduleUid u on u.schedule=main.id "
                                    "where rc_date>=:from and rc_date<=:to "
                                    "order by rc_date,rc_time,main.id limit :rows")
                   : QStringLiteral("select main.*, u.uid, u.recurrenceId, u.imported from main "
                                    "left join scheduleUid u on u.schedule=main.id "
                                    "order by rc_date,rc_time,main.id limit :rows");
}
inline QString schedulesPageAfter()
{
    return QStringLiteral("select main.*, u.uid, u.recurrenceId, u.imported from main "
                          "left join scheduleUid u on u.schedule=main.id "
                          "where (rc_date,rc_time,main.id)>(:date,:time,:id) and "
                          "rc_date<=:to order by rc_date,rc_time,main.id limit :rows");
}
inline QString exportSpan(bool between)
{
    return between ? QStringLiteral("select min(rc_date), max(rc_date), count(*) from main where "
                                    "rc_date>=:from and rc_date<=:to")
                   : QStringLiteral("select min(rc_date), max(rc_date), count(*) from main");
}
// An entry whose schedule was deleted no longer holds its event back.
inline QString forgetDeletedImports()
{
    return QStringLiteral("delete from icsImport where schedule not in (select id from main)");
}
inline QString importedEvents()
{
    return QStringLiteral("select uid, start from icsImport");
}
// A row of scheduleUid counts only while its schedule is there.
inline QString keptUids()
{
    return QStringLiteral("select u.uid, u.recurrenceId from scheduleUid u "
                          "join main on main.id=u.schedule");
}
inline QString legacySchedules()
{
    return QStringLiteral("select main.*, u.uid from main join scheduleUid u "
                          "on u.schedule=main.id where u.uid like '%@brenwick' "
                          "and u.uid like main.id || '-%'");
}
inline QString keptSeries()
{
    return QStringLiteral("select uid, zones, master from icsSeries where uid in "
                          "(select u.uid from scheduleUid u join main on main.id=u.schedule)");
}
} // namespace Sql
