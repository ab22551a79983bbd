#include "exchange/ScheduleObject.h"

#include "exchange/ContentLines.h"
#include "exchange/Zones.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/PlainText.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <cstdio>
#include <libical/ical.h>
#include <map>
#include <memory>
#include <vector>

namespace Exchange {

QByteArray priorityValue(int yxj)
{
    return yxj == 0 ? "1" : yxj == 1 ? "5" : "9";
}

int priorityCode(int v)
{
    if (v >= 1 && v <= 4)
        return 0;
    if (v >= 6 && v <= 9)
        return 2;
    return 1; // 5, and no priority at all
}

QByteArray statusValue(int ztFlag)
{
    return ztFlag == 4 ? "CANCELLED" : "CONFIRMED";
}

int statusCode(const QByteArray& status, const QByteArray& own)
{
    bool known = false;
    const int code = own.trimmed().toInt(&known);
    if (known && code >= 1 && code <= 4)
        return code;
    return status.trimmed().compare("CANCELLED", Qt::CaseInsensitive) == 0 ? 4 : 1;
}

QByteArray triggerValue(int txTime, int txTimeFlag)
{
    const QByteArray amount = QByteArray::number(qMax(0, txTime));
    return txTimeFlag == 0   ? QByteArray("-PT" + amount + 'M')
           : txTimeFlag == 1 ? QByteArray("-PT" + amount + 'H')
                             : QByteArray("-P" + amount + 'D');
}

void setLead(Schedule& s, const icaldurationtype* written, int minutes)
{
    s.isTx = 1;
    if (written && !written->seconds) {
        const int weeks = int(written->weeks), days = int(written->days),
                  hours = int(written->hours), mins = int(written->minutes);
        if (!weeks && !hours && !mins && days > 0) {
            s.txTime = days, s.txTimeFlag = 2;
            return;
        }
        if (!weeks && !days && !mins && hours > 0) {
            s.txTime = hours, s.txTimeFlag = 1;
            return;
        }
        if (!weeks && !days && !hours && mins > 0) {
            s.txTime = mins, s.txTimeFlag = 0;
            return;
        }
    }
    if (minutes % 1440 == 0)
        s.txTime = minutes / 1440, s.txTimeFlag = 2;
    else if (minutes % 60 == 0)
        s.txTime = minutes / 60, s.txTimeFlag = 1;
    else
        s.txTime = minutes, s.txTimeFlag = 0;
}

QByteArray fieldsHash(const Schedule& s)
{
    QByteArray text;
    text.reserve(256);
    const int seconds =
        s.time.isValid() ? qMin(86399, (s.time.msecsSinceStartOfDay() + 500) / 1000) : 0;
    text += s.title.toUtf8() + '\0' + s.content.toUtf8() + '\0' +
            s.date.toString(Qt::ISODate).toUtf8() + '\0' + QByteArray::number(seconds) + '\0' +
            QByteArray::number(s.yxj) + '\0' + QByteArray::number(s.ztFlag) + '\0' +
            QByteArray::number(s.isTx) + '\0' + s.bz.toUtf8();
    // A lead of nothing is nothing in any unit.
    if (s.isTx == 1)
        text += '\0' + QByteArray::number(qMax(0, s.txTime) * Codes::unitMinutes(s.txTimeFlag));
    return QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex();
}

QByteArray wallText(const QDate& date, const QTime& time)
{
    char out[20];
    std::snprintf(out, sizeof out, "%04d%02d%02dT%02d%02d%02d", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second());
    return QByteArray(out);
}

QTime wholeSeconds(const QTime& time)
{
    if (!time.isValid())
        return QTime(0, 0);
    const int seconds = qMin(86399, (time.msecsSinceStartOfDay() + 500) / 1000);
    return QTime::fromMSecsSinceStartOfDay(seconds * 1000);
}

namespace {
struct FreeComponent {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
struct FreeProperty {
    void operator()(icalproperty* p) const { icalproperty_free(p); }
};
using Component = std::unique_ptr<icalcomponent, FreeComponent>;
using Property = std::unique_ptr<icalproperty, FreeProperty>;

// The lines of the event an object shows, found once.
struct Event {
    int begin = -1, end = -1;                  // its BEGIN and END lines
    std::map<Ics::Name, std::vector<int>> own; // its properties, outside its alarms
    int alarmBegin = -1, alarmEnd = -1;        // its first display alarm
    std::vector<int> alarmTriggers;
    int calendarBegin = 0; // the BEGIN:VCALENDAR before it
};

Event eventOf(const Ics::ContentLines& lines, const Ics::Block& b)
{
    Event e;
    e.begin = b.first, e.end = b.last;
    int depth = 0, alarmAt = -1;
    bool display = false, anyAlarm = false;
    std::vector<int> triggers;
    for (int i = b.first + 1; i < b.last; ++i) {
        const Ics::Name n = lines[i].name;
        if (n == Ics::Name::Begin) {
            if (++depth == 1 && lines.component(i) == "VALARM")
                alarmAt = i, display = false, triggers.clear();
            continue;
        }
        if (n == Ics::Name::End) {
            if (depth == 0)
                continue; // a stray END of nothing opened: the event's own lines go on
            if (depth-- == 1 && alarmAt >= 0) {
                if (display && !anyAlarm) {
                    anyAlarm = true;
                    e.alarmBegin = alarmAt, e.alarmEnd = i, e.alarmTriggers = triggers;
                }
                alarmAt = -1;
            }
            continue;
        }
        if (depth == 0)
            e.own[n].push_back(i);
        else if (depth == 1 && alarmAt >= 0) {
            if (n == Ics::Name::Action &&
                lines.value(i).trimmed().compare("DISPLAY", Qt::CaseInsensitive) == 0)
                display = true;
            else if (n == Ics::Name::Trigger)
                triggers.push_back(i);
        }
    }
    for (int i = b.first; i >= 0; --i)
        if (lines[i].name == Ics::Name::Begin && lines.component(i) == "VCALENDAR") {
            e.calendarBegin = i;
            break;
        }
    return e;
}

// The event an object shows: its first that overrides no occurrence.
std::optional<Event> findEvent(const Ics::ContentLines& lines)
{
    for (const Ics::Block& b : lines.events()) {
        Event e = eventOf(lines, b);
        if (!e.own.count(Ics::Name::RecurrenceId))
            return e;
    }
    return std::nullopt;
}

int first(const Event& e, Ics::Name n)
{
    const auto at = e.own.find(n);
    return at == e.own.end() || at->second.empty() ? -1 : at->second.front();
}

QString textOf(const Ics::ContentLines& lines, int i)
{
    return i < 0 ? QString() : Ics::unescapedText(lines.value(i));
}

Property propertyOf(const Ics::ContentLines& lines, int i)
{
    const QByteArray text = lines.text(i).toByteArray();
    return Property(icalproperty_new_from_string(text.constData()));
}

// The time zones the object carries, as a calendar libical resolves TZIDs in.
Component zonesOf(const Ics::ContentLines& lines)
{
    QByteArray text = "BEGIN:VCALENDAR\r\n";
    for (const Ics::Block& b : lines.zones())
        for (int i = b.first; i <= b.last; ++i)
            text += lines.text(i) + "\r\n";
    text += "END:VCALENDAR\r\n";
    return Component(icalparser_parse_string(text.constData()));
}

std::optional<icaltimetype> timeOfLine(const QByteArray& text, Ics::Zones& zones,
                                       icalcomponent* zoneCalendar)
{
    const Property p(icalproperty_new_from_string(text.constData()));
    if (!p)
        return std::nullopt;
    icalvalue* v = icalproperty_get_value(p.get());
    if (!v)
        return std::nullopt;
    icaltimetype t = icalvalue_get_datetime(v);
    if (icaltime_is_null_time(t) || !Ics::exists(t))
        return std::nullopt;
    if (icalparameter* tz = icalproperty_get_first_parameter(p.get(), ICAL_TZID_PARAMETER)) {
        if (icaltimezone* zone = zones.resolve(icalparameter_get_tzid(tz), zoneCalendar, 0))
            t = icaltime_set_timezone(&t, zone);
    }
    return t;
}

std::optional<icaltimetype> timeAt(const Ics::ContentLines& lines, int i, Ics::Zones& zones,
                                   icalcomponent* zoneCalendar)
{
    if (i < 0)
        return std::nullopt;
    return timeOfLine(lines.text(i).toByteArray(), zones, zoneCalendar);
}

struct Read {
    Schedule schedule;
    std::optional<icaltimetype> start;
};

Read readEvent(const Ics::ContentLines& lines, const Event& e, Ics::Zones& zones,
               icalcomponent* zoneCalendar)
{
    Read r;
    Schedule& s = r.schedule;
    s.title = Cp936::truncated(PlainText::singleLine(textOf(lines, first(e, Ics::Name::Summary))),
                               fieldOf(&Schedule::title).maxBytes);
    s.content =
        Cp936::truncated(PlainText::multiLine(textOf(lines, first(e, Ics::Name::Description))),
                         fieldOf(&Schedule::content).maxBytes);
    s.bz = Cp936::truncated(PlainText::multiLine(textOf(lines, first(e, Ics::Name::BrenwickNote))),
                            fieldOf(&Schedule::bz).maxBytes);
    const int priority = first(e, Ics::Name::Priority);
    s.yxj = priorityCode(priority < 0 ? 0 : lines.value(priority).trimmed().toInt());
    const int status = first(e, Ics::Name::Status), own = first(e, Ics::Name::BrenwickStatus);
    s.ztFlag = statusCode(status < 0 ? QByteArray() : lines.value(status).toByteArray(),
                          own < 0 ? QByteArray() : lines.value(own).toByteArray());
    r.start = timeAt(lines, first(e, Ics::Name::DtStart), zones, zoneCalendar);
    if (r.start) {
        const Ics::Local l = zones.toLocal(*r.start);
        s.date = l.date, s.time = l.time;
    }
    s.isTx = 0;
    if (e.alarmBegin >= 0 && !e.alarmTriggers.empty()) {
        const Property p = propertyOf(lines, e.alarmTriggers.front());
        if (p) {
            const icaltriggertype trigger = icalproperty_get_trigger(p.get());
            if (!icaltime_is_null_time(trigger.time)) {
                if (r.start) {
                    const qint64 lead = zones.utcOf(*r.start) - zones.utcOf(trigger.time);
                    if (lead >= 0)
                        setLead(s, nullptr, int(lead / 60));
                }
            } else {
                icaldurationtype d = trigger.duration;
                const int seconds = icaldurationtype_as_int(d);
                if (seconds <= 0) {
                    d.is_neg = 0;
                    setLead(s, &d, -seconds / 60);
                }
            }
        }
    }
    return r;
}

// The zone a start is written in: its name with its VTIMEZONE, or UTC for a
// zone without a name.
struct WriteZone {
    QTimeZone zone;
    QByteArray tzid;

    explicit WriteZone(const QByteArray& id)
        : zone(id.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(id))
    {
        const QByteArray name = zone.id();
        if (zone.isValid() && QTimeZone::isTimeZoneIdAvailable(name) &&
            (zone.hasTransitions() || zone.offsetFromUtc(QDateTime::currentDateTimeUtc()) != 0))
            tzid = name;
    }
    QByteArray time(const char* name, const QDateTime& local) const
    {
        if (!tzid.isEmpty())
            return name + (";TZID=" + tzid + ':') + wallText(local.date(), local.time());
        const QDateTime utc = local.toUTC();
        return name + (':' + wallText(utc.date(), utc.time())) + 'Z';
    }
};

QByteArray line(QByteArrayView name, const QString& text)
{
    return name.toByteArray() + ':' + Ics::escapedText(text);
}

QList<QByteArray> alarmLines(const Schedule& s, const QString& title)
{
    return {"BEGIN:VALARM", "ACTION:DISPLAY", "TRIGGER:" + triggerValue(s.txTime, s.txTimeFlag),
            line("DESCRIPTION", title.isEmpty() ? QStringLiteral("日程提醒") : title),
            "END:VALARM"};
}

// Lines folded at 75 octets, never inside a character, CR LF ended.
void fold(QByteArray& out, QByteArrayView text)
{
    qsizetype at = 0, room = 75;
    while (text.size() - at > room) {
        qsizetype cut = at + room;
        while (cut > at && (uchar(text[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(text.data() + at, cut - at);
        out.append("\r\n ");
        at = cut;
        room = 74;
    }
    out.append(text.data() + at, text.size() - at);
    out.append("\r\n");
}

void fold(QByteArray& out, const QByteArray& text)
{
    fold(out, QByteArrayView(text));
}
void fold(QByteArray& out, const char* text)
{
    fold(out, QByteArrayView(text));
}

QByteArray stampNow()
{
    const QDateTime now = Clock::now().toUTC();
    return wallText(now.date(), now.time()) + 'Z';
}

// The zone's definition for the whole year of a date: made once a year and
// zone, not once an object.
QByteArray zoneOfYear(const QTimeZone& zone, const QDate& date)
{
    thread_local QHash<QByteArray, QByteArray> made;
    const QByteArray key = zone.id() + ' ' + QByteArray::number(date.year());
    auto at = made.find(key);
    if (at == made.end())
        at = made.insert(
            key, Ics::vtimezone(zone, QDate(date.year(), 1, 1), QDate(date.year(), 12, 31)));
    return *at;
}

QByteArray newObject(const Schedule& s, const QString& uid, const QByteArray& localZone)
{
    const WriteZone zone(localZone);
    const QString title = PlainText::singleLine(s.title);
    QByteArray out;
    fold(out, "BEGIN:VCALENDAR");
    fold(out, "VERSION:2.0");
    fold(out, "PRODID:-//Tavimor//Brenwick//ZH");
    if (!zone.tzid.isEmpty())
        out += zoneOfYear(zone.zone, s.date);
    fold(out, "BEGIN:VEVENT");
    fold(out, line("UID", uid));
    fold(out, "DTSTAMP:" + stampNow());
    fold(out, zone.time("DTSTART", QDateTime(s.date, wholeSeconds(s.time), zone.zone)));
    fold(out, line("SUMMARY", title));
    const QString content = PlainText::multiLine(s.content);
    if (!content.isEmpty())
        fold(out, line("DESCRIPTION", content));
    fold(out, "PRIORITY:" + priorityValue(s.yxj));
    fold(out, "STATUS:" + statusValue(s.ztFlag));
    fold(out, statusProperty + (':' + QByteArray::number(s.ztFlag)));
    const QString note = PlainText::multiLine(s.bz);
    if (!note.isEmpty())
        fold(out, line(noteProperty, note));
    if (s.isTx == 1)
        for (const QByteArray& l : alarmLines(s, title))
            fold(out, l);
    fold(out, "END:VEVENT");
    fold(out, "END:VCALENDAR");
    return out;
}
// The line's property has this name (the names the reader does not know
// are all Other).
bool named(const Ics::ContentLines& lines, int i, QByteArrayView name)
{
    const QByteArrayView text = lines.text(i);
    return text.size() > name.size() && (text[name.size()] == ':' || text[name.size()] == ';') &&
           qstrnicmp(text.data(), name.size(), name.data(), name.size()) == 0;
}

// A changed event tells other calendars so: the next SEQUENCE, a new DTSTAMP.
QList<QByteArray> nextRevision(const Ics::ContentLines& lines, const Event& e, QSet<int>& drop)
{
    int sequence = 0;
    const auto others = e.own.find(Ics::Name::Other);
    if (others != e.own.end())
        for (int i : others->second) {
            if (named(lines, i, "SEQUENCE")) {
                sequence = qMax(sequence, lines.value(i).trimmed().toInt());
                drop.insert(i);
            } else if (named(lines, i, "DTSTAMP")) {
                drop.insert(i);
            }
        }
    return {"SEQUENCE:" + QByteArray::number(sequence + 1), "DTSTAMP:" + stampNow()};
}

// The lines with some dropped and others written before given ones.
QByteArray rewritten(const Ics::ContentLines& lines, const QSet<int>& drop,
                     const std::map<int, QList<QByteArray>>& before, qsizetype sizeHint)
{
    QByteArray out;
    out.reserve(sizeHint + 512);
    for (int i = 0; i <= lines.count(); ++i) {
        const auto extra = before.find(i);
        if (extra != before.end())
            for (const QByteArray& l : extra->second)
                fold(out, l);
        if (i < lines.count() && !drop.contains(i))
            fold(out, lines.text(i));
    }
    return out;
}

} // namespace

std::optional<Schedule> scheduleOf(const QByteArray& ics, const QByteArray& localZone)
{
    try {
        const Ics::ContentLines lines(ics);
        const std::optional<Event> e = findEvent(lines);
        if (!e || e->own.count(Ics::Name::RRule) || e->own.count(Ics::Name::RDate))
            return std::nullopt;
        Ics::Zones zones(localZone);
        const Component zoneCalendar = zonesOf(lines);
        Read r = readEvent(lines, *e, zones, zoneCalendar.get());
        if (!r.start)
            return std::nullopt;
        return r.schedule;
    } catch (const Ics::ImportError&) {
        return std::nullopt;
    }
}

bool isRecurring(const QByteArray& ics)
{
    try {
        const Ics::ContentLines lines(ics);
        const std::optional<Event> e = findEvent(lines);
        return e && (e->own.count(Ics::Name::RRule) || e->own.count(Ics::Name::RDate));
    } catch (const Ics::ImportError&) {
        return false;
    }
}

QByteArray objectOf(const Schedule& s, const QString& uid, const QByteArray& kept,
                    const QByteArray& localZone)
{
    if (kept.isEmpty())
        return newObject(s, uid, localZone);
    std::optional<Ics::ContentLines> parsed;
    try {
        parsed.emplace(kept);
    } catch (const Ics::ImportError&) {
        return newObject(s, uid, localZone);
    }
    const Ics::ContentLines& lines = *parsed;
    const std::optional<Event> found = findEvent(lines);
    if (!found)
        return newObject(s, uid, localZone);
    const Event& e = *found;
    Ics::Zones zones(localZone);
    const Component zoneCalendar = zonesOf(lines);
    const Read was = readEvent(lines, e, zones, zoneCalendar.get());
    const Schedule& k = was.schedule;
    const QString title = PlainText::singleLine(s.title);

    QSet<int> drop;
    std::map<int, QList<QByteArray>> before; // lines to write before line i
    auto dropAll = [&](Ics::Name n) {
        const auto at = e.own.find(n);
        if (at != e.own.end())
            for (int i : at->second)
                drop.insert(i);
    };
    auto add = [&](const QByteArray& l) {
        before[e.end] << l;
    };

    if (s.title != k.title) {
        dropAll(Ics::Name::Summary);
        add(line("SUMMARY", title));
    }
    if (s.content != k.content) {
        dropAll(Ics::Name::Description);
        const QString content = PlainText::multiLine(s.content);
        if (!content.isEmpty())
            add(line("DESCRIPTION", content));
    }
    if (s.bz != k.bz) {
        dropAll(Ics::Name::BrenwickNote);
        const QString note = PlainText::multiLine(s.bz);
        if (!note.isEmpty())
            add(line(noteProperty, note));
    }
    if (s.yxj != k.yxj) {
        dropAll(Ics::Name::Priority);
        add("PRIORITY:" + priorityValue(s.yxj));
    }
    if (s.ztFlag != k.ztFlag) {
        dropAll(Ics::Name::Status);
        dropAll(Ics::Name::BrenwickStatus);
        add("STATUS:" + statusValue(s.ztFlag));
        add(statusProperty + (':' + QByteArray::number(s.ztFlag)));
    }
    const QTime time = wholeSeconds(s.time);
    if (s.date != k.date || time != wholeSeconds(k.time)) {
        const WriteZone zone(localZone);
        const QDateTime start(s.date, time, zone.zone);
        dropAll(Ics::Name::DtStart);
        add(zone.time("DTSTART", start));
        // The end moves with the start, keeping the event's length.
        const std::optional<icaltimetype> end =
            timeAt(lines, first(e, Ics::Name::DtEnd), zones, zoneCalendar.get());
        if (end && was.start) {
            const qint64 length = zones.utcOf(*end) - zones.utcOf(*was.start);
            dropAll(Ics::Name::DtEnd);
            add(zone.time("DTEND", start.addSecs(qMax<qint64>(0, length))));
        }
        if (!zone.tzid.isEmpty()) {
            bool has = false;
            for (const Ics::Block& b : lines.zones())
                for (int i = b.first; i <= b.last && !has; ++i)
                    has = lines[i].name == Ics::Name::Other && lines.text(i).startsWith("TZID:") &&
                          lines.value(i).trimmed() == zone.tzid;
            if (!has) {
                const QByteArray vtz = zoneOfYear(zone.zone, s.date);
                for (const QByteArray& l : vtz.split('\n'))
                    if (!l.trimmed().isEmpty())
                        before[e.begin] << l.chopped(l.endsWith('\r') ? 1 : 0);
            }
        }
    }
    // The lead by its length: "-PT0M" reads back in any unit.
    auto minutes = [](const Schedule& x) {
        return qMax(0, x.txTime) * Codes::unitMinutes(x.txTimeFlag);
    };
    const bool alarmChanged = s.isTx != k.isTx || (s.isTx == 1 && minutes(s) != minutes(k));
    if (alarmChanged) {
        if (e.alarmBegin >= 0) {
            if (s.isTx != 1) {
                for (int i = e.alarmBegin; i <= e.alarmEnd; ++i)
                    drop.insert(i);
            } else {
                for (int i : e.alarmTriggers)
                    drop.insert(i);
                before[e.alarmEnd] << "TRIGGER:" + triggerValue(s.txTime, s.txTimeFlag);
            }
        } else if (s.isTx == 1) {
            for (const QByteArray& l : alarmLines(s, title))
                add(l);
        }
    }
    if (drop.isEmpty() && before.empty())
        return kept;
    for (const QByteArray& l : nextRevision(lines, e, drop))
        add(l);
    return rewritten(lines, drop, before, kept.size());
}

QByteArray seriesObjectOf(const QByteArray& kept, const QString& uid,
                          const QList<Occurrence>& occurrences, const QByteArray& localZone)
{
    std::optional<Ics::ContentLines> parsed;
    try {
        parsed.emplace(kept);
    } catch (const Ics::ImportError&) {
        return kept;
    }
    const Ics::ContentLines& lines = *parsed;
    Ics::Zones zones(localZone);
    const Component zoneCalendar = zonesOf(lines);
    std::optional<Event> master;
    QHash<QString, Event> overrides; // by RECURRENCE-ID
    for (const Ics::Block& b : lines.events()) {
        Event e = eventOf(lines, b);
        const int rid = first(e, Ics::Name::RecurrenceId);
        if (rid < 0) {
            if (!master && (e.own.count(Ics::Name::RRule) || e.own.count(Ics::Name::RDate)))
                master = e;
        } else if (const auto t = timeAt(lines, rid, zones, zoneCalendar.get())) {
            overrides.insert(zones.recurrenceIdOf(*t), e);
        }
    }
    if (!master)
        return kept;

    // The occurrences the series leaves out already, one value at a time.
    QSet<QString> excluded;
    const auto exdates = master->own.find(Ics::Name::ExDate);
    if (exdates != master->own.end())
        for (int i : exdates->second) {
            const int valueAt = lines[i].value;
            if (valueAt < 7)
                continue;
            const QByteArray params = lines.text(i).sliced(6, valueAt - 7).toByteArray();
            for (const QByteArray& v : lines.value(i).toByteArray().split(','))
                if (const auto t = timeOfLine("DTSTART" + params + ':' + v.trimmed(), zones,
                                              zoneCalendar.get()))
                    excluded.insert(zones.recurrenceIdOf(*t));
        }
    // The series' length, for an override made from it.
    QByteArray length;
    if (const int d = first(*master, Ics::Name::Duration); d >= 0) {
        length = lines.value(d).trimmed().toByteArray();
    } else {
        const auto start =
            timeAt(lines, first(*master, Ics::Name::DtStart), zones, zoneCalendar.get());
        const auto end = timeAt(lines, first(*master, Ics::Name::DtEnd), zones, zoneCalendar.get());
        if (start && end) {
            const qint64 seconds = qMax<qint64>(0, zones.utcOf(*end) - zones.utcOf(*start));
            length = start->is_date ? QByteArray("P" + QByteArray::number(seconds / 86400) + 'D')
                                    : QByteArray("PT" + QByteArray::number(seconds) + 'S');
        }
    }
    QSet<QByteArray> zoneIds;
    for (const Ics::Block& b : lines.zones())
        for (int i = b.first; i <= b.last; ++i)
            if (named(lines, i, "TZID"))
                zoneIds.insert(lines.value(i).trimmed().toByteArray());

    QSet<int> drop;
    std::map<int, QList<QByteArray>> before;
    // An event's lines patched with a schedule by objectOf, as the override
    // of one occurrence; nothing when the schedule changes nothing in it.
    const auto overrideOf = [&](const Schedule& s, const QList<QByteArray>& event,
                                const QByteArray& ridLine) -> std::optional<QList<QByteArray>> {
        QByteArray text;
        fold(text, "BEGIN:VCALENDAR");
        fold(text, "VERSION:2.0");
        for (const Ics::Block& b : lines.zones())
            for (int i = b.first; i <= b.last; ++i)
                fold(text, lines.text(i));
        for (const QByteArray& l : event)
            fold(text, l);
        fold(text, "END:VCALENDAR");
        const QByteArray out = objectOf(s, uid, text, localZone);
        if (out == text)
            return std::nullopt;
        const Ics::ContentLines made(out);
        if (made.events().empty())
            return std::nullopt;
        for (const Ics::Block& b : made.zones()) {
            QByteArray id;
            for (int i = b.first; i <= b.last && id.isEmpty(); ++i)
                if (named(made, i, "TZID"))
                    id = made.value(i).trimmed().toByteArray();
            if (zoneIds.contains(id))
                continue;
            zoneIds.insert(id);
            for (int i = b.first; i <= b.last; ++i)
                before[master->begin] << made.text(i).toByteArray();
        }
        const Ics::Block& b = made.events().front();
        QList<QByteArray> result;
        for (int i = b.first; i <= b.last; ++i) {
            result << made.text(i).toByteArray();
            if (i == b.first)
                result << ridLine;
        }
        return result;
    };

    bool masterChanged = false;
    for (const Occurrence& o : occurrences) {
        const QByteArray rid = o.recurrenceId.toUtf8();
        const auto over = overrides.constFind(o.recurrenceId);
        if (!o.schedule) {
            if (over != overrides.cend())
                for (int i = over->begin; i <= over->end; ++i)
                    drop.insert(i);
            if (!excluded.contains(o.recurrenceId)) {
                before[master->end] << "EXDATE" + rid;
                excluded.insert(o.recurrenceId);
                masterChanged = true;
            }
        } else if (over != overrides.cend()) {
            QList<QByteArray> event;
            for (int i = over->begin; i <= over->end; ++i)
                if (lines[i].name != Ics::Name::RecurrenceId)
                    event << lines.text(i).toByteArray();
            const auto made =
                overrideOf(*o.schedule, event,
                           lines.text(first(*over, Ics::Name::RecurrenceId)).toByteArray());
            if (!made)
                continue;
            for (int i = over->begin; i <= over->end; ++i)
                drop.insert(i);
            before[over->begin] << *made;
        } else if (o.changed) {
            // A new override, from the series' event at the occurrence's start.
            QList<QByteArray> event;
            for (int i = master->begin; i <= master->end; ++i) {
                const Ics::Name n = lines[i].name;
                if (n == Ics::Name::RRule || n == Ics::Name::RDate || n == Ics::Name::ExDate ||
                    n == Ics::Name::DtStart || n == Ics::Name::DtEnd || n == Ics::Name::Duration ||
                    named(lines, i, "EXRULE"))
                    continue;
                event << lines.text(i).toByteArray();
                if (i == master->begin) {
                    event << "DTSTART" + rid;
                    if (!length.isEmpty())
                        event << "DURATION:" + length;
                }
            }
            if (const auto made = overrideOf(*o.schedule, event, "RECURRENCE-ID" + rid))
                before[master->end + 1] << *made;
        }
    }
    if (masterChanged)
        for (const QByteArray& l : nextRevision(lines, *master, drop))
            before[master->end] << l;
    if (drop.isEmpty() && before.empty())
        return kept;
    return rewritten(lines, drop, before, kept.size());
}

} // namespace Exchange
