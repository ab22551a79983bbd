#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QTime>
#include <QTimeZone>
#include <libical/ical.h>

// Time zones of the calendar exchange: the zone a TZID names, times in
// those zones as the local wall-clock that schedules keep, and the
// VTIMEZONE an export writes for its own zone.
namespace Ics {

struct Local {
    QDate date;
    QTime time;
    bool operator<(const Local& o) const { return date != o.date ? date < o.date : time < o.time; }
    bool operator==(const Local& o) const { return date == o.date && time == o.time; }
};

// A date or time that the calendar has: month, day, hour, minute and second
// in their ranges (a leap second too), a year from 1 to 9999.
bool exists(const icaltimetype& t);
// Within the years the program keeps: 1900 to 9999.
bool inYears(const Local& l);

class Zones {
public:
    // The zone schedules are kept in; empty: the system's.
    explicit Zones(const QByteArray& localId);

    const QByteArray& localId() const { return m_id; }
    const QTimeZone& local() const { return m_local; }

    // The zone a TZID names: the calendar's own VTIMEZONE first, then
    // libical's zones by their names and by the names libical writes, the
    // Olson name at the end of a path (older Thunderbird writes
    // /mozilla.org/20070129_1/America/New_York) and the Windows names
    // Outlook writes without a VTIMEZONE. Null when nothing has that name.
    icaltimezone* resolve(const QByteArray& tzid, icalcomponent* calendar, int calendarIndex);

    // The moment of a time, in seconds since 1970 UTC. A zoned time that
    // falls into a gap, or twice into an overlap, takes the offset in force
    // before the change (RFC 5545 3.3.5). Floating times and dates are local.
    qint64 utcOf(const icaltimetype& t) const;
    // The local wall-clock of a time. Floating times keep theirs, a date is
    // its midnight, and so does a time in the local zone itself, even in a
    // gap, so that a calendar written here reads back as it was.
    Local toLocal(const icaltimetype& t) const;
    // A local wall-clock as a moment, for differences.
    QDateTime moment(const Local& l) const { return QDateTime(l.date, l.time, m_local); }
    qint64 secondsOf(const Local& l) const; // the same, in seconds since 1970 UTC
    // A RECURRENCE-ID as the property's text after its name: the day of a
    // date, the wall-clock of a floating time, the moment in UTC of any
    // other, so that one occurrence gives one text whatever zone a calendar
    // writes it in.
    QString recurrenceIdOf(const icaltimetype& t) const;

private:
    bool isLocal(icaltimezone* zone) const;

    QByteArray m_id;
    QTimeZone m_local;
    // Since its last change of offset the local zone is a fixed offset.
    qint64 m_fixedSince;
    int m_fixedOffset;
    QHash<QByteArray, icaltimezone*> m_resolved; // by calendar index and TZID
};

// The VTIMEZONE of a zone for the times from first to last (both days
// included): an observance for each change of offset in that span and for
// the one in force at its start; the yearly changes of one kind as one
// observance with its RRULE. CR LF line ends.
QByteArray vtimezone(const QTimeZone& zone, const QDate& first, const QDate& last);

} // namespace Ics
