#include "exchange/Zones.h"

#include <QList>
#include <limits>
#include <map>
#include <vector>

namespace Ics {

namespace {
// Seconds since 1970 of a wall-clock read as if it were UTC.
qint64 wallSeconds(const icaltimetype& t)
{
    const qint64 days = QDate(t.year, t.month, t.day).toJulianDay() - 2440588;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + qMin(t.second, 59);
}

int offsetAt(icaltimezone* zone, qint64 utc)
{
    icaltimetype t = icaltime_from_timet_with_zone(time_t(utc), 0, icaltimezone_get_utc_timezone());
    return icaltimezone_get_utc_offset_of_utc_time(zone, &t, nullptr);
}

Local localOf(const QDateTime& d)
{
    return {d.date(), d.time()};
}
} // namespace

bool exists(const icaltimetype& t)
{
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > icaltime_days_in_month(t.month, t.year))
        return false;
    return t.is_date || (t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
                         t.second >= 0 && t.second <= 60);
}

bool inYears(const Local& l)
{
    return l.date.isValid() && l.date.year() >= 1900 && l.date.year() <= 9999;
}

Zones::Zones(const QByteArray& localId)
    : m_id(localId.isEmpty() ? QTimeZone::systemTimeZoneId() : localId)
    , m_local(localId.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(localId))
{
    // Most times fall after the last change of a zone that no longer
    // changes: arithmetic then, not a search of the zone's changes.
    const QDateTime end(QDate(9999, 12, 31), QTime(0, 0), Qt::UTC);
    const QTimeZone::OffsetData last = m_local.previousTransition(end);
    m_fixedSince = last.atUtc.isValid() ? last.atUtc.toSecsSinceEpoch() + 86400
                                        : std::numeric_limits<qint64>::min();
    m_fixedOffset = m_local.offsetFromUtc(end);
}

QString Zones::recurrenceIdOf(const icaltimetype& t) const
{
    if (t.is_date)
        return QString::asprintf(";VALUE=DATE:%04d%02d%02d", t.year, t.month, t.day);
    if (!t.zone)
        return QString::asprintf(":%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day, t.hour,
                                 qMin(t.minute, 59), qMin(t.second, 59));
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(utcOf(t), Qt::UTC);
    const QDate d = utc.date();
    const QTime h = utc.time();
    return QString::asprintf(":%04d%02d%02dT%02d%02d%02dZ", d.year(), d.month(), d.day(), h.hour(),
                             h.minute(), h.second());
}

qint64 Zones::secondsOf(const Local& l) const
{
    const qint64 wall =
        (l.date.toJulianDay() - 2440588) * 86400 + l.time.msecsSinceStartOfDay() / 1000;
    if (wall - m_fixedOffset >= m_fixedSince)
        return wall - m_fixedOffset;
    return QDateTime(l.date, l.time, m_local).toSecsSinceEpoch();
}

icaltimezone* Zones::resolve(const QByteArray& tzid, icalcomponent* calendar, int calendarIndex)
{
    const QByteArray key = QByteArray::number(calendarIndex) + '\n' + tzid;
    const auto known = m_resolved.constFind(key);
    if (known != m_resolved.cend())
        return *known;
    icaltimezone* zone = nullptr;
    if (calendar)
        zone = icalcomponent_get_timezone(calendar, tzid.constData());
    if (!zone)
        zone = icaltimezone_get_builtin_timezone(tzid.constData());
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid.constData());
    for (qsizetype slash = tzid.indexOf('/'); !zone && slash >= 0;
         slash = tzid.indexOf('/', slash + 1))
        zone = icaltimezone_get_builtin_timezone(tzid.mid(slash + 1).constData());
    if (!zone) {
        const QByteArray olson = QTimeZone::windowsIdToDefaultIanaId(tzid.trimmed());
        if (!olson.isEmpty())
            zone = icaltimezone_get_builtin_timezone(olson.constData());
    }
    m_resolved.insert(key, zone);
    return zone;
}

bool Zones::isLocal(icaltimezone* zone) const
{
    // Copied at once: libical may free the location while it looks up the
    // TZID (its UTC zone does).
    const char* location = icaltimezone_get_location(zone);
    if (location && m_id == QByteArrayView(location))
        return true;
    const char* id = icaltimezone_get_tzid(zone);
    return id && m_id == QByteArrayView(id);
}

qint64 Zones::utcOf(const icaltimetype& t) const
{
    auto* zone = const_cast<icaltimezone*>(t.zone);
    if (t.is_date || !zone)
        return secondsOf({QDate(t.year, t.month, t.day),
                          t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, qMin(t.second, 59))});
    const qint64 wall = wallSeconds(t);
    if (zone == icaltimezone_get_utc_timezone())
        return wall;
    // At most one change of offset within a day either side.
    const int before = offsetAt(zone, wall - 86400);
    const int after = offsetAt(zone, wall + 86400);
    if (before == after || offsetAt(zone, wall - before) == before)
        return wall - before;
    if (offsetAt(zone, wall - after) == after)
        return wall - after;
    return wall - before; // in the gap
}

Local Zones::toLocal(const icaltimetype& t) const
{
    auto* zone = const_cast<icaltimezone*>(t.zone);
    if (t.is_date)
        return {QDate(t.year, t.month, t.day), QTime(0, 0)};
    if (!zone || (zone != icaltimezone_get_utc_timezone() && isLocal(zone)))
        return {QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, qMin(t.second, 59))};
    const qint64 utc = utcOf(t);
    if (utc >= m_fixedSince) {
        const qint64 wall = utc + m_fixedOffset;
        const qint64 days = wall >= 0 ? wall / 86400 : (wall - 86399) / 86400;
        return {QDate::fromJulianDay(days + 2440588),
                QTime::fromMSecsSinceStartOfDay(int(wall - days * 86400) * 1000)};
    }
    return localOf(QDateTime::fromSecsSinceEpoch(utc, m_local));
}

// ---- the VTIMEZONE of an export ----------------------------------------

namespace {
struct Change {
    QDateTime atUtc;
    int from, to;
    bool daylight;
    QString name;
    QDateTime onset() const { return atUtc.addSecs(from); } // local, before the change
    bool sameKind(const Change& o) const
    {
        return from == o.from && to == o.to && daylight == o.daylight && name == o.name;
    }
};

// The ways a day is the nth weekday of its month: 1 to 5 from the start,
// -1 when it is the last one.
QList<int> weekdayPositions(const QDate& d)
{
    QList<int> out{(d.day() - 1) / 7 + 1};
    if (d.day() + 7 > d.daysInMonth())
        out.prepend(-1);
    return out;
}

// A change that follows another of its kind a year later on the same weekday
// of the month at the same local time: one rule covers both.
bool followsYearly(const Change& previous, const Change& next, QList<int>* positions)
{
    const QDateTime a = previous.onset(), b = next.onset();
    if (!previous.sameKind(next) || b.date().year() != a.date().year() + 1 ||
        b.date().month() != a.date().month() || b.date().dayOfWeek() != a.date().dayOfWeek() ||
        b.time() != a.time())
        return false;
    QList<int> common;
    for (int p : *positions)
        if (weekdayPositions(b.date()).contains(p))
            common << p;
    if (common.isEmpty())
        return false;
    *positions = common;
    return true;
}

QByteArray offsetText(int seconds)
{
    const char sign = seconds < 0 ? '-' : '+';
    seconds = qAbs(seconds);
    QByteArray out = sign + QByteArray::number(seconds / 3600).rightJustified(2, '0') +
                     QByteArray::number(seconds / 60 % 60).rightJustified(2, '0');
    if (seconds % 60)
        out += QByteArray::number(seconds % 60).rightJustified(2, '0');
    return out;
}

QByteArray wallText(const QDateTime& d)
{
    return d.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

Change changeOf(const QTimeZone& zone, const QTimeZone::OffsetData& d)
{
    const QDateTime at = d.atUtc.toUTC();
    return {at, zone.offsetFromUtc(at.addSecs(-1)), d.offsetFromUtc, d.daylightTimeOffset != 0,
            d.abbreviation};
}

const char* const weekdays[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
} // namespace

QByteArray vtimezone(const QTimeZone& zone, const QDate& first, const QDate& last)
{
    const QDateTime begin(first.addDays(-1), QTime(0, 0), Qt::UTC);
    const QDateTime end(last.addDays(2), QTime(0, 0), Qt::UTC);
    std::vector<Change> changes;
    const QTimeZone::OffsetData before = zone.previousTransition(begin);
    if (before.atUtc.isValid())
        changes.push_back(changeOf(zone, before));
    for (const QTimeZone::OffsetData& d : zone.transitions(begin, end))
        changes.push_back(changeOf(zone, d));

    QByteArray out =
        "BEGIN:VTIMEZONE\r\nTZID:" + zone.id() + "\r\nX-LIC-LOCATION:" + zone.id() + "\r\n";
    auto observance = [&](const Change& c, const QByteArray& rule) {
        const QByteArray kind = c.daylight ? "DAYLIGHT" : "STANDARD";
        out += "BEGIN:" + kind + "\r\nDTSTART:" + wallText(c.onset()) + "\r\n" + rule +
               "TZOFFSETFROM:" + offsetText(c.from) + "\r\nTZOFFSETTO:" + offsetText(c.to) + "\r\n";
        if (!c.name.isEmpty())
            out += "TZNAME:" + c.name.toUtf8() + "\r\n";
        out += "END:" + kind + "\r\n";
    };
    if (changes.empty()) {
        // No change known at all: one offset for ever.
        const int offset = zone.offsetFromUtc(begin);
        const Change always{begin, offset, offset, false, zone.abbreviation(begin)};
        out += "BEGIN:STANDARD\r\nDTSTART:19700101T000000\r\nTZOFFSETFROM:" + offsetText(offset) +
               "\r\nTZOFFSETTO:" + offsetText(offset) + "\r\n";
        if (!always.name.isEmpty())
            out += "TZNAME:" + always.name.toUtf8() + "\r\n";
        out += "END:STANDARD\r\n";
        return out + "END:VTIMEZONE\r\n";
    }

    // Runs of yearly changes of one kind; each change joins the open run of
    // its kind if the rule holds, else starts one.
    struct Run {
        std::vector<Change> changes;
        QList<int> positions;
    };
    std::vector<Run> runs;
    std::map<int, size_t> open; // by the change's kind: its index in a small list of kinds
    std::vector<Change> kinds;
    for (const Change& c : changes) {
        size_t kind = 0;
        while (kind < kinds.size() && !kinds[kind].sameKind(c))
            ++kind;
        if (kind == kinds.size())
            kinds.push_back(c);
        const auto it = open.find(int(kind));
        if (it != open.end()) {
            Run& run = runs[it->second];
            if (followsYearly(run.changes.back(), c, &run.positions)) {
                run.changes.push_back(c);
                continue;
            }
        }
        runs.push_back({{c}, weekdayPositions(c.onset().date())});
        open[int(kind)] = runs.size() - 1;
    }
    for (const Run& run : runs) {
        if (run.changes.size() < 2) {
            observance(run.changes.front(), QByteArray());
            continue;
        }
        const QDateTime onset = run.changes.front().onset();
        QByteArray rule = "RRULE:FREQ=YEARLY;BYMONTH=" + QByteArray::number(onset.date().month()) +
                          ";BYDAY=" + QByteArray::number(run.positions.front()) +
                          weekdays[onset.date().dayOfWeek() - 1];
        // Open-ended when the zone goes on with the rule after the span.
        const Change& lastChange = run.changes.back();
        bool goesOn = false;
        for (const QTimeZone::OffsetData& d :
             zone.transitions(lastChange.atUtc.addSecs(1), lastChange.atUtc.addDays(400))) {
            QList<int> positions = run.positions;
            if (followsYearly(lastChange, changeOf(zone, d), &positions) &&
                positions.contains(run.positions.front()))
                goesOn = true;
        }
        if (!goesOn)
            rule += ";UNTIL=" + wallText(lastChange.atUtc) + 'Z';
        observance(run.changes.front(), rule + "\r\n");
    }
    return out + "END:VTIMEZONE\r\n";
}

} // namespace Ics
