#include "tools/ics/Calendar.h"

#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/Database.h"
#include "shell/data/Schedules.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cstdlib>
#include <libical/ical.h>
#include <vector>

namespace {
const char* const statusName = "X-BRENWICK-STATUS";
const char* const noteName = "X-BRENWICK-NOTE";
constexpr int progressStep = 1000;

// libical's strings are ours to free when they come from a _r function.
QByteArray taken(char* s)
{
    QByteArray out(s ? s : "");
    std::free(s);
    return out;
}

struct Owned {
    icalcomponent* c;
    explicit Owned(icalcomponent* component)
        : c(component)
    {}
    ~Owned()
    {
        if (c)
            icalcomponent_free(c);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

QString textOf(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

void report(const Ics::Progress& progress, int done, int total)
{
    if (progress && total > progressStep && (done % progressStep == 0 || done == total))
        progress(done, total);
}

// ---- export -------------------------------------------------------------

icaltimetype floatingTime(const QDate& date, const QTime& time)
{
    icaltimetype t = icaltime_null_time();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    const int seconds = qMin(86399, (time.msecsSinceStartOfDay() + 500) / 1000);
    t.hour = seconds / 3600;
    t.minute = seconds / 60 % 60;
    t.second = seconds % 60;
    return t;
}

icalproperty* xProperty(const char* name, const QString& value)
{
    icalproperty* p = icalproperty_new_x(value.toUtf8().constData());
    icalproperty_set_x_name(p, name);
    return p;
}

icalcomponent* eventOf(const Schedule& s, const QString& key, const icaltimetype& stamp)
{
    icalcomponent* e = icalcomponent_new_vevent();
    icalcomponent_add_property(e, icalproperty_new_uid(Ics::uidOf(s.id, key).toUtf8().constData()));
    icalcomponent_add_property(e, icalproperty_new_dtstamp(stamp));
    icalcomponent_add_property(e, icalproperty_new_dtstart(floatingTime(s.date, s.time)));
    icalcomponent_add_property(e, icalproperty_new_summary(s.title.toUtf8().constData()));
    if (!s.content.isEmpty())
        icalcomponent_add_property(e, icalproperty_new_description(s.content.toUtf8().constData()));
    icalcomponent_add_property(e, icalproperty_new_priority(s.yxj == 0 ? 1 : s.yxj == 1 ? 5 : 9));
    icalcomponent_add_property(
        e, icalproperty_new_status(s.ztFlag == 4 ? ICAL_STATUS_CANCELLED : ICAL_STATUS_CONFIRMED));
    icalcomponent_add_property(e, xProperty(statusName, QString::number(s.ztFlag)));
    if (!s.bz.isEmpty())
        icalcomponent_add_property(e, xProperty(noteName, s.bz));
    if (s.isTx == 1) {
        icaldurationtype lead = icaldurationtype_null_duration();
        lead.is_neg = 1;
        const unsigned amount = unsigned(qMax(0, s.txTime));
        if (s.txTimeFlag == 0)
            lead.minutes = amount;
        else if (s.txTimeFlag == 1)
            lead.hours = amount;
        else
            lead.days = amount;
        icaltriggertype trigger{};
        trigger.time = icaltime_null_time();
        trigger.duration = lead;
        icalcomponent* alarm = icalcomponent_new_valarm();
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        icalcomponent_add_property(alarm,
                                   icalproperty_new_description(s.title.toUtf8().constData()));
        icalcomponent_add_component(e, alarm);
    }
    return e;
}

// ---- import: lines ------------------------------------------------------

Ics::ImportError failAt(int line, const QString& text)
{
    return Ics::ImportError{line, text};
}

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(QByteArrayView text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.constData());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned c = *p++;
        if (c < 0x80)
            continue;
        int more;
        unsigned min, v;
        if ((c & 0xE0) == 0xC0)
            more = 1, min = 0x80, v = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            more = 2, min = 0x800, v = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            more = 3, min = 0x10000, v = c & 0x07;
        else
            return false;
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            v = (v << 6) | (p[i] & 0x3F);
        }
        p += more;
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
            return false;
    }
    return true;
}

// The calendar text as content lines, unfolded, each with the line of the
// file it starts on; and where the events and time zones lie among them.
struct Block {
    int first, last; // indices into lines: the BEGIN and END lines
};
struct Scan {
    struct Line {
        int number;
        qsizetype at, size; // in unfolded
    };
    QByteArray unfolded; // the content lines one after another
    std::vector<Line> lines;
    std::vector<Block> events, zones;
    int skipped = 0;
    QByteArrayView text(int i) const
    {
        const Line& l = lines[size_t(i)];
        return QByteArrayView(unfolded.constData() + l.at, l.size);
    }
};

bool startsWithKeyword(QByteArrayView line, const char* keyword)
{
    const int n = int(qstrlen(keyword));
    return line.size() >= n && qstrnicmp(line.data(), keyword, n) == 0;
}

Scan scan(const QByteArray& text)
{
    Scan out;
    out.unfolded.reserve(text.size());
    int number = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        QByteArrayView line(text.constData() + pos, end - pos);
        pos = end + 1;
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(' ') || line.startsWith('\t')) {
            // A folded line goes on the one before, which is the last one stored.
            if (out.lines.empty())
                throw failAt(number, QStringLiteral("续行之前没有内容行"));
            out.unfolded.append(line.sliced(1));
            out.lines.back().size += line.size() - 1;
            continue;
        }
        if (line.isEmpty())
            continue;
        out.lines.push_back({number, out.unfolded.size(), line.size()});
        out.unfolded.append(line);
    }
    if (out.lines.empty())
        throw failAt(qMax(1, number), QStringLiteral("文件中没有日历"));
    // Checked unfolded: a fold may fall inside a character.
    for (int i = 0; i < int(out.lines.size()); ++i)
        if (!isUtf8(out.text(i)))
            throw failAt(out.lines[size_t(i)].number, QStringLiteral("不是 UTF-8 文本"));

    struct Open {
        QByteArray kind;
        int index;
    };
    std::vector<Open> stack;
    for (int i = 0; i < int(out.lines.size()); ++i) {
        const Scan::Line& l = out.lines[size_t(i)];
        const QByteArrayView lineText = out.text(i);
        const bool begin = startsWithKeyword(lineText, "BEGIN:");
        const bool finish = !begin && startsWithKeyword(lineText, "END:");
        if (!begin && !finish) {
            if (stack.empty())
                throw failAt(l.number, QStringLiteral("内容在 BEGIN:VCALENDAR 之外"));
            continue;
        }
        const QByteArray kind = lineText.sliced(begin ? 6 : 4).trimmed().toByteArray().toUpper();
        if (begin) {
            if (stack.empty() && kind != "VCALENDAR")
                throw failAt(l.number, QStringLiteral("日历应以 BEGIN:VCALENDAR 开始"));
            stack.push_back({kind, i});
            continue;
        }
        if (stack.empty() || stack.back().kind != kind)
            throw failAt(
                l.number,
                stack.empty()
                    ? QStringLiteral("END:%1 之前没有 BEGIN").arg(QString::fromUtf8(kind))
                    : QStringLiteral("END:%1 不配 BEGIN:%2")
                          .arg(QString::fromUtf8(kind), QString::fromUtf8(stack.back().kind)));
        if (stack.size() == 2) {
            const Block b{stack.back().index, i};
            if (kind == "VEVENT")
                out.events.push_back(b);
            else if (kind == "VTIMEZONE")
                out.zones.push_back(b);
            else
                ++out.skipped;
        }
        stack.pop_back();
    }
    if (!stack.empty())
        throw failAt(
            number,
            QStringLiteral("文件在 END:%1 之前就结束了").arg(QString::fromUtf8(stack.back().kind)));
    return out;
}

// The first error libical noted in a component or below it.
QString noted(icalcomponent* c)
{
    if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY))
        return textOf(icalproperty_get_xlicerror(p));
    for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT)) {
        const QString inner = noted(sub);
        if (!inner.isEmpty())
            return inner;
    }
    return QString();
}

// The line an error of libical's lies on: the first content line in
// [first, last] that does not parse as a property by itself.
int lineOfError(const Scan& s, int first, int last)
{
    for (int i = first; i <= last; ++i) {
        const QByteArrayView text = s.text(i);
        if (startsWithKeyword(text, "BEGIN:") || startsWithKeyword(text, "END:"))
            continue;
        if (icalproperty* p = icalproperty_new_from_string(text.toByteArray().constData())) {
            icalproperty_free(p);
            continue;
        }
        return s.lines[size_t(i)].number;
    }
    return s.lines[size_t(first)].number;
}

// The line of the first property of a name in a block.
int lineOf(const Scan& s, const Block& b, const char* name)
{
    const QByteArray colon = QByteArray(name) + ':';
    const QByteArray semicolon = QByteArray(name) + ';';
    for (int i = b.first; i <= b.last; ++i) {
        const QByteArrayView text = s.text(i);
        if (startsWithKeyword(text, colon.constData()) ||
            startsWithKeyword(text, semicolon.constData()))
            return s.lines[size_t(i)].number;
    }
    return s.lines[size_t(b.first)].number;
}

// ---- import: times ------------------------------------------------------

struct Local {
    QDate date;
    QTime time;
    bool operator<(const Local& o) const { return date != o.date ? date < o.date : time < o.time; }
};

class Zones {
public:
    explicit Zones(const QByteArray& localId)
        : m_id(localId.isEmpty() ? QTimeZone::systemTimeZoneId() : localId)
    {
        m_local = icaltimezone_get_builtin_timezone(m_id.constData());
        if (!m_local && (m_id == "UTC" || m_id == "Etc/UTC" || m_id == "Z"))
            m_local = icaltimezone_get_utc_timezone();
    }

    // The zone a property's TZID names: the calendar's own VTIMEZONE, else
    // libical's. Null for none; unknown is set when the TZID names nothing.
    icaltimezone* of(icalproperty* p, icalcomponent* calendar, bool* unknown) const
    {
        icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
        if (!tz)
            return nullptr;
        const char* id = icalparameter_get_tzid(tz);
        if (!id)
            return nullptr;
        if (icaltimezone* z = icalcomponent_get_timezone(calendar, id))
            return z;
        if (icaltimezone* z = icaltimezone_get_builtin_timezone(id))
            return z;
        if (icaltimezone* z = icaltimezone_get_builtin_timezone_from_tzid(id))
            return z;
        *unknown = true;
        return nullptr;
    }

    Local toLocal(const icaltimetype& t) const
    {
        if (t.is_date)
            return {QDate(t.year, t.month, t.day), QTime(0, 0)};
        if (!t.zone)
            return {QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)};
        if (m_local) {
            const icaltimetype l = icaltime_convert_to_zone(t, m_local);
            return {QDate(l.year, l.month, l.day), QTime(l.hour, l.minute, l.second)};
        }
        // A zone libical does not know: Qt's data.
        const qint64 utc =
            qint64(icaltime_as_timet_with_zone(t, const_cast<icaltimezone*>(t.zone)));
        const QDateTime l = QDateTime::fromSecsSinceEpoch(utc, QTimeZone(m_id));
        return {l.date(), l.time()};
    }

private:
    QByteArray m_id;
    icaltimezone* m_local = nullptr;
};

time_t instant(const icaltimetype& t)
{
    return icaltime_as_timet_with_zone(t, const_cast<icaltimezone*>(t.zone));
}

bool sameOccurrence(const icaltimetype& a, const icaltimetype& b)
{
    if (a.is_date || b.is_date)
        return a.year == b.year && a.month == b.month && a.day == b.day;
    if (!a.zone || !b.zone)
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
               a.minute == b.minute && a.second == b.second;
    return instant(a) == instant(b);
}

// How an occurrence's start is known again at the next import.
QString startKey(const icaltimetype& t)
{
    QString key = QString::fromLatin1(taken(icaltime_as_ical_string_r(t)));
    if (t.zone && !icaltime_is_utc(t))
        key += QLatin1Char(';') + textOf(icaltimezone_get_tzid(const_cast<icaltimezone*>(t.zone)));
    return key;
}

// ---- import: one event --------------------------------------------------

QString xValue(icalcomponent* e, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(e, ICAL_X_PROPERTY))
        if (qstricmp(icalproperty_get_x_name(p), name) == 0)
            return textOf(icalproperty_get_x(p));
    return QString();
}

int priorityOf(icalcomponent* e)
{
    icalproperty* p = icalcomponent_get_first_property(e, ICAL_PRIORITY_PROPERTY);
    const int v = p ? icalproperty_get_priority(p) : 0;
    if (v >= 1 && v <= 4)
        return 0;
    if (v >= 6 && v <= 9)
        return 2;
    return 1; // 5, and no priority at all
}

// The reminder lead in whole minutes from the first display or audio alarm;
// none when the event has no such alarm.
std::optional<int> leadMinutes(icalcomponent* e, const icaltimetype& start)
{
    for (icalcomponent* a = icalcomponent_get_first_component(e, ICAL_VALARM_COMPONENT); a;
         a = icalcomponent_get_next_component(e, ICAL_VALARM_COMPONENT)) {
        icalproperty* action = icalcomponent_get_first_property(a, ICAL_ACTION_PROPERTY);
        if (!action)
            continue;
        const icalproperty_action kind = icalproperty_get_action(action);
        if (kind != ICAL_ACTION_DISPLAY && kind != ICAL_ACTION_AUDIO)
            continue;
        icalproperty* trigger = icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY);
        if (!trigger)
            continue;
        const icaltriggertype t = icalproperty_get_trigger(trigger);
        qint64 seconds = 0;
        if (!icaltime_is_null_time(t.time)) {
            seconds = qint64(instant(start)) - qint64(instant(t.time));
        } else {
            seconds = -qint64(icaldurationtype_as_int(t.duration));
            icalparameter* related =
                icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
            if (related && icalparameter_get_related(related) == ICAL_RELATED_END)
                seconds -= qint64(icaldurationtype_as_int(icalcomponent_get_duration(e)));
        }
        // A reminder at or after the start is the soonest one the program has.
        return int(qMax<qint64>(1, (seconds + 30) / 60));
    }
    return std::nullopt;
}

struct Fields {
    Schedule schedule;
    bool cut = false;
};

Fields fieldsOf(icalcomponent* e, const icaltimetype& start)
{
    Fields f;
    Schedule& s = f.schedule;
    auto limited = [&f](const QString& text, int bytes) {
        const QString out = Cp936::truncated(text, bytes);
        f.cut = f.cut || out.size() != text.size();
        return out;
    };
    s.title = limited(textOf(icalcomponent_get_summary(e)), Ics::titleBytes);
    s.content = limited(textOf(icalcomponent_get_description(e)), Ics::contentBytes);
    s.bz = limited(xValue(e, noteName), Ics::noteBytes);
    s.yxj = priorityOf(e);
    bool known = false;
    const int status = xValue(e, statusName).toInt(&known);
    if (known && status >= 1 && status <= 4)
        s.ztFlag = status;
    else
        s.ztFlag = icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED ? 4 : 1;
    if (const std::optional<int> lead = leadMinutes(e, start)) {
        s.isTx = 1;
        const int m = *lead;
        if (m % 1440 == 0)
            s.txTime = m / 1440, s.txTimeFlag = 2;
        else if (m % 60 == 0)
            s.txTime = m / 60, s.txTimeFlag = 1;
        else
            s.txTime = m, s.txTimeFlag = 0;
    } else {
        // The add window's lead, kept for the day the reminder is turned on.
        s.isTx = 0;
        s.txTime = 10;
        s.txTimeFlag = 0;
    }
    return f;
}

icaltimetype timeOfProperty(icalproperty* p, icaltimetype t, icalcomponent* calendar,
                            const Zones& zones, bool* unknown)
{
    if (!t.zone && !t.is_date)
        t.zone = zones.of(p, calendar, unknown);
    return t;
}

class Importer {
public:
    Importer(const Scan& scan, DbQuery& q, const Ics::ImportOptions& o)
        : m_scan(scan)
        , m_q(q)
        , m_options(o)
        , m_zones(o.localZone)
        , m_from(o.today)
        , m_until(o.today.addYears(Ics::horizonYears))
        , m_ownUid(
              QStringLiteral("^(\\d+)-%1@brenwick$").arg(QRegularExpression::escape(o.databaseKey)))
    {
        m_done = ScheduleData::importedEvents(q);
    }

    Ics::Imported run(const std::vector<icalcomponent*>& calendars)
    {
        // The events with a RECURRENCE-ID stand in for one occurrence of their series.
        for (icalcomponent* cal : calendars)
            for (icalcomponent* e = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT);
                 e; e = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT))
                if (icalproperty* rid =
                        icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY)) {
                    bool unknown = false;
                    m_moved[textOf(icalcomponent_get_uid(e))].push_back(timeOfProperty(
                        rid, icalproperty_get_recurrenceid(rid), cal, m_zones, &unknown));
                }
        int index = 0;
        const int total = int(m_scan.events.size());
        for (icalcomponent* cal : calendars)
            for (icalcomponent* e = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT);
                 e; e = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
                event(e, cal, m_scan.events[size_t(index)]);
                ++index;
                report(m_options.progress, index, total);
            }
        return m_result;
    }

private:
    void event(icalcomponent* e, icalcomponent* cal, const Block& b)
    {
        icalproperty* dtstart = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
        if (!dtstart)
            throw failAt(m_scan.lines[size_t(b.first)].number, QStringLiteral("事件没有 DTSTART"));
        bool unknown = false;
        const icaltimetype start =
            timeOfProperty(dtstart, icalproperty_get_dtstart(dtstart), cal, m_zones, &unknown);
        if (unknown)
            throw failAt(lineOf(m_scan, b, "DTSTART"), QStringLiteral("不认识 DTSTART 的时区"));
        if (icaltime_is_null_time(start))
            throw failAt(lineOf(m_scan, b, "DTSTART"), QStringLiteral("DTSTART 没有时间"));

        const QString uid = textOf(icalcomponent_get_uid(e));
        const Fields fields = fieldsOf(e, start);
        const bool moved = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY);
        const bool recurring =
            !moved && (icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY) ||
                       icalcomponent_get_first_property(e, ICAL_RDATE_PROPERTY));
        if (!recurring) {
            if (moved && m_zones.toLocal(start).date < m_from)
                return; // a changed occurrence of the past, like the series'
            add(fields, uid, start);
            return;
        }
        for (const icaltimetype& t : occurrences(e, cal, b, start, uid))
            add(fields, uid, t);
    }

    std::vector<icaltimetype> occurrences(icalcomponent* e, icalcomponent* cal, const Block& b,
                                          const icaltimetype& start, const QString& uid)
    {
        struct Occurrence {
            Local local;
            icaltimetype time;
        };
        std::vector<Occurrence> found;
        auto consider = [&](const icaltimetype& t) {
            const Local l = m_zones.toLocal(t);
            if (l.date >= m_from && l.date < m_until)
                found.push_back({l, t});
            return l.date < m_until;
        };
        consider(start);
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_RRULE_PROPERTY)) {
            const icalrecurrencetype rule = icalproperty_get_rrule(p);
            icalrecur_iterator* it = icalrecur_iterator_new(rule, start);
            if (!it)
                throw failAt(lineOf(m_scan, b, "RRULE"), QStringLiteral("无法展开 RRULE"));
            if (rule.count == 0) {
                // Straight to the day before today: a series begun long ago
                // need not be walked from its start.
                icaltimetype near = start;
                const QDate day = m_from.addDays(-1);
                near.year = day.year();
                near.month = day.month();
                near.day = day.day();
                if (icaltime_compare(near, start) > 0)
                    icalrecur_iterator_set_start(it, near);
            }
            int taken = 0;
            for (qint64 step = 0; step < 10'000'000 && taken < Ics::maxOccurrences; ++step) {
                const icaltimetype t = icalrecur_iterator_next(it);
                if (icaltime_is_null_time(t))
                    break;
                const size_t before = found.size();
                if (!consider(t))
                    break;
                taken += int(found.size() - before);
            }
            icalrecur_iterator_free(it);
        }
        bool unknown = false;
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype r = icalproperty_get_rdate(p);
            const icaltimetype t = icaltime_is_null_time(r.time) ? r.period.start : r.time;
            consider(timeOfProperty(p, t, cal, m_zones, &unknown));
        }
        std::vector<icaltimetype> excluded;
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_EXDATE_PROPERTY))
            excluded.push_back(
                timeOfProperty(p, icalproperty_get_exdate(p), cal, m_zones, &unknown));
        if (unknown)
            throw failAt(lineOf(m_scan, b, excluded.empty() ? "RDATE" : "EXDATE"),
                         QStringLiteral("不认识时区"));
        const auto moved = m_moved.constFind(uid);
        auto gone = [&](const icaltimetype& t) {
            for (const icaltimetype& x : excluded)
                if (sameOccurrence(t, x))
                    return true;
            if (moved != m_moved.cend())
                for (const icaltimetype& x : *moved)
                    if (sameOccurrence(t, x))
                        return true;
            return false;
        };
        std::stable_sort(found.begin(), found.end(), [](const Occurrence& x, const Occurrence& y) {
            return x.local < y.local;
        });
        std::vector<icaltimetype> out;
        for (size_t i = 0; i < found.size() && int(out.size()) < Ics::maxOccurrences; ++i) {
            const icaltimetype& t = found[i].time;
            if (gone(t) || (!out.empty() && sameOccurrence(out.back(), t)))
                continue;
            out.push_back(t);
        }
        return out;
    }

    void add(const Fields& fields, const QString& uid, const icaltimetype& start)
    {
        const QString key = uid.isEmpty() ? QString() : startKey(start);
        if (!uid.isEmpty()) {
            if (m_done.contains(uid + QLatin1Char('\n') + key) || ownAndPresent(uid)) {
                ++m_result.already;
                return;
            }
        }
        Schedule s = fields.schedule;
        const Local l = m_zones.toLocal(start);
        s.date = l.date;
        s.time = l.time;
        const qint64 id = ScheduleData::appendWhole(s);
        ++m_result.added;
        if (fields.cut)
            ++m_result.cut;
        if (!uid.isEmpty()) {
            ScheduleData::logImport(uid, key, id);
            m_done.insert(uid + QLatin1Char('\n') + key);
        }
    }

    // An event this database exported, whose schedule is still there.
    bool ownAndPresent(const QString& uid)
    {
        const QRegularExpressionMatch m = m_ownUid.match(uid);
        if (!m.hasMatch())
            return false;
        if (!m_ids)
            m_ids = ScheduleData::ids(m_q);
        return m_ids->contains(m.captured(1).toLongLong());
    }

    const Scan& m_scan;
    DbQuery& m_q;
    const Ics::ImportOptions& m_options;
    Zones m_zones;
    QDate m_from, m_until;
    QRegularExpression m_ownUid;
    QSet<QString> m_done;
    std::optional<QSet<qint64>> m_ids;
    QHash<QString, std::vector<icaltimetype>> m_moved;
    Ics::Imported m_result;
};
} // namespace

namespace Ics {

QString databaseKey(const QString& databaseFile)
{
    const QFileInfo info(databaseFile);
    const QString path = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

QString uidOf(qint64 id, const QString& databaseKey)
{
    return QStringLiteral("%1-%2@brenwick").arg(id).arg(databaseKey);
}

Exported exportCalendar(DbQuery& q, const ExportOptions& options)
{
    ScheduleData::openForExport(q, options.from, options.to);
    const DbSnapshotPtr rows = q.snapshot();
    q.close();
    Owned calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.c, icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.c, icalproperty_new_prodid("-//Tavimor//Brenwick//ZH"));
    icalcomponent_add_property(calendar.c, icalproperty_new_calscale("GREGORIAN"));
    const icaltimetype stamp = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
    const int total = rows->rowCount();
    for (int r = 0; r < total; ++r) {
        icalcomponent_add_component(calendar.c,
                                    eventOf(Schedule::read(*rows, r), options.databaseKey, stamp));
        report(options.progress, r + 1, total);
    }
    return {taken(icalcomponent_as_ical_string_r(calendar.c)), total};
}

Imported importCalendar(const QByteArray& input, DbQuery& q, const ImportOptions& options)
{
    QByteArray text = input;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    Scan s = scan(text);
    Owned root(icalparser_parse_string(text.constData()));
    std::vector<icalcomponent*> calendars;
    if (root.c && icalcomponent_isa(root.c) == ICAL_VCALENDAR_COMPONENT)
        calendars.push_back(root.c);
    else if (root.c && icalcomponent_isa(root.c) == ICAL_XROOT_COMPONENT)
        for (icalcomponent* c = icalcomponent_get_first_component(root.c, ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root.c, ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(c);
    if (calendars.empty())
        throw failAt(s.lines.front().number, QStringLiteral("不是日历文件"));

    // Every error libical noted in what we read fails the whole file, at its line.
    size_t events = 0, zones = 0;
    for (icalcomponent* cal : calendars) {
        for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            const bool event = kind == ICAL_VEVENT_COMPONENT;
            if (!event && kind != ICAL_VTIMEZONE_COMPONENT)
                continue;
            const std::vector<Block>& blocks = event ? s.events : s.zones;
            size_t& n = event ? events : zones;
            if (n >= blocks.size())
                throw failAt(s.lines.back().number, QStringLiteral("日历的结构读不通"));
            const Block b = blocks[n++];
            const QString error = noted(c);
            if (!error.isEmpty())
                throw failAt(lineOfError(s, b.first, b.last), error);
        }
        if (icalproperty* p = icalcomponent_get_first_property(cal, ICAL_XLICERROR_PROPERTY))
            throw failAt(lineOfError(s, 0, int(s.lines.size()) - 1),
                         textOf(icalproperty_get_xlicerror(p)));
    }
    if (events != s.events.size() || zones != s.zones.size())
        throw failAt(s.lines.back().number, QStringLiteral("日历的结构读不通"));

    Importer importer(s, q, options);
    Imported result = importer.run(calendars);
    result.skipped = s.skipped;
    return result;
}

} // namespace Ics
