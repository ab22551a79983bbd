#pragma once

#include "shell/data/Schedules.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct icaldurationtype;

// One schedule as one calendar object (a VCALENDAR holding its VEVENT) and
// back: the mapping the calendar exchange and the sync share.
namespace Exchange {

// Properties of our own, where iCalendar has no word.
inline constexpr char statusProperty[] = "X-BRENWICK-STATUS";
inline constexpr char noteProperty[] = "X-BRENWICK-NOTE";

// Priority: 高 1, 中 5, 低 9; any other value to the nearest, none to 中.
QByteArray priorityValue(int yxj);
int priorityCode(int icalPriority);
// STATUS of a status code (cancelled or confirmed: the event's own words),
// and the code from STATUS and our own property (empty when missing).
QByteArray statusValue(int ztFlag);
int statusCode(const QByteArray& status, const QByteArray& own);
// The TRIGGER of a reminder lead, and the lead of a duration before the
// start: the unit it was written in when it has only one, else the largest
// unit that divides it.
QByteArray triggerValue(int txTime, int txTimeFlag);
void setLead(Schedule& s, const icaldurationtype* written, int minutes);

// A wall-clock time as iCalendar writes it (YYYYMMDDTHHMMSS).
QByteArray wallText(const QDate& date, const QTime& time);
// A time to the nearest whole second of its day; midnight for none.
QTime wholeSeconds(const QTime& time);

// What a sync compares of a schedule: the mapped fields, the lead only
// where the reminder is on. Equal schedules give equal hashes.
QByteArray fieldsHash(const Schedule& s);

// The schedule an object shows: its first VEVENT that overrides no
// occurrence, the texts cleaned and cut to their limits as the import cuts
// them; DESCRIPTION is the content alone. Nothing for an object without such
// an event or whose event repeats (RRULE, RDATE), and for a text that is no
// calendar. localZone: the zone schedules are kept in (empty: the system's).
std::optional<Schedule> scheduleOf(const QByteArray& ics, const QByteArray& localZone = {});
// The event repeats.
bool isRecurring(const QByteArray& ics);

// The object of a schedule. With `kept` (the server's object as last
// synced) only the mapped properties whose meaning the schedule changed are
// written into it; everything else (attendees, location, the end, other
// alarms, properties of other programs) stays as it came. Without it, a new
// object: DTSTART in the local zone with its VTIMEZONE.
QByteArray objectOf(const Schedule& s, const QString& uid, const QByteArray& kept = {},
                    const QByteArray& localZone = {});

// One occurrence of a recurring event as it stands here.
struct Occurrence {
    QString recurrenceId;             // its RECURRENCE-ID as Zones::recurrenceIdOf writes it
    std::optional<Schedule> schedule; // none: removed here
    bool changed = false;             // it differs from what the series gives it
};
// A recurring event's object as last synced, with what was done here to
// its occurrences: an override (RECURRENCE-ID) patched where one exists,
// one made from the series' event for an occurrence changed here, an EXDATE
// (and no override) for one removed. Everything else stays as it came; the
// object unchanged when nothing differs.
QByteArray seriesObjectOf(const QByteArray& kept, const QString& uid,
                          const QList<Occurrence>& occurrences, const QByteArray& localZone = {});

} // namespace Exchange
