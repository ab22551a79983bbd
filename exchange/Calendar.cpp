#include "exchange/Calendar.h"

#include "exchange/ContentLines.h"
#include "exchange/ScheduleObject.h"
#include "exchange/Zones.h"
#include "lunar/LunarYearly.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Database.h"
#include "platform/PlainText.h"
#include "shell/data/Schedules.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <libical/ical.h>
#include <utility>
#include <vector>

namespace {
using Ics::ContentLines;
using Ics::Local;
using Ics::Name;

const char* const statusName = Exchange::statusProperty;
const char* const noteName = Exchange::noteProperty;
constexpr int progressStep = 1000;

void report(const Ics::Progress& progress, int done, int total)
{
    if (progress && total > progressStep && (done % progressStep == 0 || done == total))
        progress(done, total);
}

// ---- export -------------------------------------------------------------

// Content lines into the sink, folded at 75 octets (never inside a
// character), gathered into pieces of some size.
class Writer {
public:
    explicit Writer(const Ics::Sink& sink)
        : m_sink(sink)
    {
        m_buffer.reserve(pieceSize + 1024);
    }
    void line(QByteArrayView text)
    {
        qsizetype at = 0;
        qsizetype room = 75;
        while (text.size() - at > room) {
            qsizetype cut = at + room;
            while (cut > at && (uchar(text[cut]) & 0xC0) == 0x80)
                --cut; // back to the start of a character
            m_buffer.append(text.data() + at, cut - at);
            m_buffer.append("\r\n ");
            at = cut;
            room = 74;
        }
        m_buffer.append(text.data() + at, text.size() - at);
        m_buffer.append("\r\n");
        if (m_buffer.size() >= pieceSize)
            flush();
    }
    void line(QByteArrayView name, QByteArrayView value)
    {
        QByteArray whole;
        whole.reserve(name.size() + value.size() + 1);
        whole.append(name).append(':').append(value);
        line(whole);
    }
    void raw(const QByteArray& lines) { m_buffer += lines; }
    bool flush()
    {
        if (m_ok && !m_buffer.isEmpty())
            m_ok = m_sink(m_buffer);
        m_buffer.clear();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    static constexpr qsizetype pieceSize = 64 * 1024;
    const Ics::Sink& m_sink;
    QByteArray m_buffer;
    bool m_ok = true;
};

using Exchange::wallText;
using Exchange::wholeSeconds;

// The local time zone as the export writes it: its name and VTIMEZONE, or
// UTC for a zone without a name or one that is UTC itself.
struct ExportZone {
    QTimeZone zone;
    QByteArray tzid; // empty: times in UTC

    ExportZone(const QByteArray& id, const std::optional<ScheduleData::ExportSpan>& span)
        : zone(id.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(id))
    {
        const QByteArray name = zone.id();
        if (!zone.isValid() || !QTimeZone::isTimeZoneIdAvailable(name) || !span)
            return;
        const QDateTime start(span->first, QTime(0, 0), Qt::UTC);
        const bool utc = zone.offsetFromUtc(start) == 0 && !zone.hasTransitions();
        if (!utc)
            tzid = name;
    }
    QByteArray dtstart(const QDate& date, const QTime& time) const
    {
        if (!tzid.isEmpty())
            return "DTSTART;TZID=" + tzid + ':' + wallText(date, time);
        const QDateTime utc = QDateTime(date, time, zone).toUTC();
        return "DTSTART:" + wallText(utc.date(), utc.time()) + 'Z';
    }
};

void writeEvent(Writer& w, const Schedule& s, const ScheduleData::KeptUid& uid,
                const QByteArray& stamp, const ExportZone& zone)
{
    // Rows stored before the import cleaned its text are cleaned on the way out.
    const QByteArray title = Ics::escapedText(PlainText::singleLine(s.title));
    w.line("BEGIN:VEVENT");
    w.line("UID", Ics::escapedText(uid.uid));
    w.line("DTSTAMP", stamp);
    w.line(zone.dtstart(s.date, wholeSeconds(s.time)));
    if (!uid.recurrenceId.isEmpty())
        w.line(QByteArray("RECURRENCE-ID" + uid.recurrenceId.toUtf8()));
    w.line("SUMMARY", title);
    const QString content = PlainText::multiLine(s.content);
    if (!content.isEmpty())
        w.line("DESCRIPTION", Ics::escapedText(content));
    w.line("PRIORITY", Exchange::priorityValue(s.yxj));
    w.line("STATUS", Exchange::statusValue(s.ztFlag));
    w.line(statusName, QByteArray::number(s.ztFlag));
    const QString note = PlainText::multiLine(s.bz);
    if (!note.isEmpty())
        w.line(noteName, Ics::escapedText(note));
    if (s.isTx == 1) {
        w.line("BEGIN:VALARM");
        w.line("ACTION:DISPLAY");
        w.line("TRIGGER", Exchange::triggerValue(s.txTime, s.txTimeFlag));
        // A display alarm must say something.
        w.line("DESCRIPTION", title.isEmpty() ? QByteArray("日程提醒") : title);
        w.line("END:VALARM");
    }
    w.line("END:VEVENT");
}

// A recurring event imported as it came, written once before the first of
// its occurrences, with the time zones it names that the export has not
// written yet.
class SeriesWriter {
public:
    SeriesWriter(QHash<QString, ScheduleData::KeptSeries> kept, const QByteArray& ownZone)
        : m_kept(std::move(kept))
    {
        if (!ownZone.isEmpty())
            m_zones.insert(ownZone);
    }
    bool holds(const QString& uid) const { return m_kept.contains(uid); }
    void write(Writer& w, const QString& uid)
    {
        const auto kept = m_kept.constFind(uid);
        if (kept == m_kept.cend() || m_written.contains(uid))
            return;
        m_written.insert(uid);
        const QList<QByteArray> zoneLines = kept->zones.split('\n');
        bool skipping = false;
        for (QByteArray line : zoneLines) {
            line = line.trimmed();
            if (line.isEmpty())
                continue;
            const QByteArray upper = line.toUpper();
            if (upper.startsWith("BEGIN:VTIMEZONE")) {
                skipping = false;
                m_pending.clear();
            }
            if (skipping)
                continue;
            m_pending.append(line);
            if (upper.startsWith("TZID") && line.indexOf(':') > 0) {
                const QByteArray id = line.mid(line.indexOf(':') + 1);
                if (m_zones.contains(id)) {
                    skipping = true; // written already
                    m_pending.clear();
                    continue;
                }
                m_zones.insert(id);
            }
            if (upper.startsWith("END:VTIMEZONE")) {
                for (const QByteArray& l : std::as_const(m_pending))
                    w.line(l);
                m_pending.clear();
            }
        }
        for (const QByteArray& line : kept->master.split('\n'))
            if (!line.trimmed().isEmpty())
                w.line(line.endsWith('\r') ? line.chopped(1) : line);
    }

private:
    QHash<QString, ScheduleData::KeptSeries> m_kept;
    QSet<QString> m_written;
    QSet<QByteArray> m_zones;
    QList<QByteArray> m_pending;
};

} // namespace

// What an occurrence of a recurring event holds, to tell at the export
// whether it was changed here since it was imported.
QString Ics::importedFields(const Schedule& s)
{
    const QTime t = wholeSeconds(s.time);
    const QString text = QStringList{s.title,
                                     s.content,
                                     s.date.toString(Qt::ISODate),
                                     t.toString(QStringLiteral("HH:mm:ss")),
                                     QString::number(s.yxj),
                                     QString::number(s.ztFlag),
                                     QString::number(s.isTx),
                                     QString::number(s.txTime),
                                     QString::number(s.txTimeFlag),
                                     s.bz}
                             .join(QChar(0x1f));
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

namespace {

// ---- import -------------------------------------------------------------

Ics::ImportError failAt(int line, const QString& text)
{
    return Ics::ImportError{line, PlainText::singleLine(text)};
}

// libical as the import wants it, for as long as it runs: unknown
// parameters and values are kept rather than reported, and no parse error
// aborts the program.
struct ParserSettings {
    ical_unknown_token_handling tokens = ical_get_unknown_token_handling_setting();
    icalerrorstate malformed = icalerror_get_error_state(ICAL_MALFORMEDDATA_ERROR);
    ParserSettings()
    {
        ical_set_unknown_token_handling_setting(ICAL_ASSUME_IANA_TOKEN);
        icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, ICAL_ERROR_NONFATAL);
    }
    ~ParserSettings()
    {
        ical_set_unknown_token_handling_setting(tokens);
        icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, malformed);
    }
};

struct Owned {
    icalcomponent* c;
    explicit Owned(icalcomponent* component = nullptr)
        : c(component)
    {}
    ~Owned()
    {
        if (c)
            icalcomponent_free(c);
    }
    Owned(Owned&& o) noexcept
        : c(std::exchange(o.c, nullptr))
    {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

struct Parser {
    icalparser* p = icalparser_new();
    ~Parser() { icalparser_free(p); }
    icalcomponent* add(char* line) { return icalparser_add_line(p, line); }
};

int errorsIn(icalcomponent* c)
{
    int n = icalcomponent_count_properties(c, ICAL_XLICERROR_PROPERTY);
    for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        n += errorsIn(sub);
    return n;
}

// The text an event keeps in lines of its own: where they are.
struct TextLines {
    int summary = -1, description = -1, location = -1, note = -1, brenwickStatus = -1;
    int uid = -1, priority = -1, status = -1;
    std::vector<int> actions; // of each alarm in turn; -1 for none
};

// What an event's block holds, read: the component libical made of the
// properties the import uses, and the lines of the rest.
struct EventRead {
    Owned event;
    TextLines texts;
    std::vector<int> fed; // the lines given to libical
    int emptyStart = -1;  // a DTSTART line without a value
};

bool isUtc(const icaltimetype& t)
{
    return t.zone == icaltimezone_get_utc_timezone();
}

QString durationText(qint64 seconds)
{
    const qint64 days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                 rest = seconds % 60;
    QString out;
    if (days)
        out += QStringLiteral("%1天").arg(days);
    if (hours)
        out += QStringLiteral("%1小时").arg(hours);
    if (minutes)
        out += QStringLiteral("%1分钟").arg(minutes);
    if (rest)
        out += QStringLiteral("%1秒").arg(rest);
    return out;
}

QString timeText(const QTime& t)
{
    return t.toString(t.second() ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

using Exchange::setLead;

int priorityOf(int v)
{
    return Exchange::priorityCode(v);
}

struct Occurrence {
    Local local;
    icaltimetype time;
};

class Importer {
public:
    Importer(ContentLines& lines, DbQuery& q, const Ics::ImportOptions& o)
        : m_lines(lines)
        , m_q(q)
        , m_options(o)
        , m_zones(o.localZone)
        , m_from(o.today)
        , m_until(o.today.addYears(Ics::horizonYears))
    {
        m_done = ScheduleData::importedEvents(q);
        m_kept = ScheduleData::keptUids(q);
    }

    Ics::Imported run()
    {
        for (int i : m_lines.unreadable())
            skipLine(i);
        readZones();
        // The events with a RECURRENCE-ID stand in for one occurrence of their series.
        m_counting = false; // the events are counted when they are imported
        for (const Ics::Block& b : m_lines.events())
            if (holds(b, Name::RecurrenceId)) {
                EventRead read = readEvent(b);
                icalproperty* rid =
                    icalcomponent_get_first_property(read.event.c, ICAL_RECURRENCEID_PROPERTY);
                if (rid && !icaltime_is_null_time(icalproperty_get_recurrenceid(rid)))
                    m_moved[uidOf(read)].push_back(pointOf(
                        timeOf(rid, icalproperty_get_recurrenceid(rid), b, "RECURRENCE-ID")));
            }
        m_counting = true;
        const int total = int(m_lines.events().size());
        for (int i = 0; i < total; ++i) {
            event(m_lines.events()[size_t(i)]);
            report(m_options.progress, i + 1, total);
        }
        m_result.skipped = m_lines.skipped();
        return m_result;
    }

private:
    // ---- reading ----

    bool holds(const Ics::Block& b, Name name) const
    {
        for (int i = b.first + 1; i < b.last; ++i)
            if (m_lines[i].name == name)
                return true;
        return false;
    }

    void readZones()
    {
        m_calendars.resize(size_t(m_lines.calendars()));
        for (int c = 0; c < m_lines.calendars(); ++c)
            m_calendars[size_t(c)] = std::make_unique<Owned>(icalcomponent_new_vcalendar());
        for (const Ics::Block& b : m_lines.zones()) {
            std::vector<int> fed;
            for (int i = b.first; i <= b.last; ++i)
                if (m_lines[i].value >= 0 && !m_lines.hasEmptyValue(i))
                    fed.push_back(i);
            icalcomponent* zone = feed(fed);
            if (!zone)
                continue;
            unreadable(zone, fed);
            icalcomponent_add_component(m_calendars[size_t(b.calendar)]->c, zone);
        }
    }

    icalcomponent* feed(const std::vector<int>& lines)
    {
        icalcomponent* root = nullptr;
        for (int i : lines)
            if (icalcomponent* c = m_parser.add(m_lines.data(i)))
                root = c;
        return root;
    }

    // The properties of an event the import uses go to libical, with the
    // display and audio alarms; its texts are read from their lines.
    EventRead readEvent(const Ics::Block& b)
    {
        EventRead out;
        out.fed.push_back(b.first);
        int depth = 0;
        bool alarm = false;
        for (int i = b.first + 1; i < b.last; ++i) {
            const Ics::ContentLine& l = m_lines[i];
            if (l.name == Name::Begin) {
                if (++depth == 1 && m_lines.component(i) == "VALARM") {
                    alarm = true;
                    out.fed.push_back(i);
                    out.texts.actions.push_back(-1);
                }
                continue;
            }
            if (l.name == Name::End) {
                if (alarm && depth == 1) {
                    out.fed.push_back(i);
                    alarm = false;
                }
                --depth;
                continue;
            }
            if (depth > 1 || (depth == 1 && !alarm))
                continue;
            if (depth == 1) {
                if (l.name == Name::Trigger && !m_lines.hasEmptyValue(i))
                    out.fed.push_back(i);
                else if (l.name == Name::Action)
                    take(out.texts.actions.back(), i, m_lines);
                continue;
            }
            switch (l.name) {
            case Name::Summary:
                take(out.texts.summary, i, m_lines);
                break;
            case Name::Description:
                take(out.texts.description, i, m_lines);
                break;
            case Name::Location:
                take(out.texts.location, i, m_lines);
                break;
            case Name::BrenwickNote:
                take(out.texts.note, i, m_lines);
                break;
            case Name::BrenwickStatus:
                take(out.texts.brenwickStatus, i, m_lines);
                break;
            case Name::Uid:
                take(out.texts.uid, i, m_lines);
                break;
            case Name::Priority:
                take(out.texts.priority, i, m_lines);
                break;
            case Name::Status:
                take(out.texts.status, i, m_lines);
                break;
            case Name::DtStart:
            case Name::DtEnd:
            case Name::Duration:
            case Name::RRule:
            case Name::RDate:
            case Name::ExDate:
            case Name::RecurrenceId:
                // An empty value is no value: nothing to read, nothing wrong.
                if (!m_lines.hasEmptyValue(i))
                    out.fed.push_back(i);
                else if (l.name == Name::DtStart && out.emptyStart < 0)
                    out.emptyStart = i;
                break;
            default:
                break;
            }
        }
        out.fed.push_back(b.last);
        out.event.c = feed(out.fed);
        if (!out.event.c)
            throw failAt(m_lines[b.first].number, QStringLiteral("事件无法读取"));
        unreadable(out.event.c, out.fed);
        return out;
    }

    // The first of a kind counts; a line without a colon is counted already.
    static void take(int& slot, int i, const ContentLines& lines)
    {
        if (slot < 0 && lines[i].value >= 0)
            slot = i;
    }

    void skipLine(int i)
    {
        if (!m_counting)
            return;
        ++m_result.unreadable;
        if (!m_result.firstUnreadableLine || m_lines[i].number < m_result.firstUnreadableLine)
            m_result.firstUnreadableLine = m_lines[i].number;
    }

    // libical leaves out what it cannot read and says so in the component;
    // then the lines it came from are found by reading each by itself.
    void unreadable(icalcomponent* c, const std::vector<int>& fed)
    {
        if (!m_counting || !errorsIn(c))
            return;
        for (int i : fed)
            if (!readsAlone(i))
                skipLine(i);
    }

    bool readsAlone(int i)
    {
        const Ics::ContentLine& l = m_lines[i];
        if (l.name == Name::Begin || l.name == Name::End)
            return true;
        char begin[] = "BEGIN:VEVENT", end[] = "END:VEVENT";
        m_parser.add(begin);
        m_parser.add(m_lines.data(i));
        Owned c(m_parser.add(end));
        return c.c && errorsIn(c.c) == 0;
    }

    QString textAt(int i) const { return i < 0 ? QString() : Ics::unescapedText(m_lines.value(i)); }

    // A value read from its line: blanks around it do not count, as libical reads it.
    QByteArrayView trimmedValue(int i) const
    {
        return i < 0 ? QByteArrayView() : m_lines.value(i).trimmed();
    }

    QString uidOf(const EventRead& read) const
    {
        return Ics::unescapedText(trimmedValue(read.texts.uid));
    }

    // ---- times ----

    // The line a property of a name came from: the first with a value that
    // fails check when read by itself, else the first of that name.
    int lineOf(const Ics::Block& b, Name name,
               const std::function<bool(icalproperty*)>& fails = nullptr)
    {
        int first = 0;
        for (int i = b.first + 1; i < b.last; ++i) {
            if (m_lines[i].name != name)
                continue;
            if (!first)
                first = m_lines[i].number;
            if (!fails)
                return first;
            char begin[] = "BEGIN:VEVENT", end[] = "END:VEVENT";
            m_parser.add(begin);
            m_parser.add(m_lines.data(i));
            Owned c(m_parser.add(end));
            if (!c.c)
                continue;
            for (icalproperty* p = icalcomponent_get_first_property(c.c, ICAL_ANY_PROPERTY); p;
                 p = icalcomponent_get_next_property(c.c, ICAL_ANY_PROPERTY))
                if (fails(p))
                    return m_lines[i].number;
        }
        return first ? first : m_lines[b.first].number;
    }

    // A time of a property with its zone: the TZID's, UTC, or none.
    icaltimetype zoned(icalproperty* p, icaltimetype t, const Ics::Block& b, bool* unknown)
    {
        if (t.is_date || isUtc(t))
            return t;
        t.zone = nullptr;
        icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
        if (!tzid || !icalparameter_get_tzid(tzid))
            return t;
        t.zone = m_zones.resolve(icalparameter_get_tzid(tzid), m_calendars[size_t(b.calendar)]->c,
                                 b.calendar);
        if (!t.zone)
            *unknown = true;
        return t;
    }

    QString valueText(icalproperty* p) const
    {
        const char* v = icalproperty_get_value_as_string(p);
        return v ? QString::fromUtf8(v) : QString();
    }

    // A time read from a property, with its zone, that exists and lies in
    // the years the program keeps; else the import fails at its line.
    icaltimetype timeOf(icalproperty* p, const icaltimetype& raw, const Ics::Block& b,
                        const char* what)
    {
        const Name name = icalproperty_isa(p) == ICAL_DTSTART_PROPERTY        ? Name::DtStart
                          : icalproperty_isa(p) == ICAL_DTEND_PROPERTY        ? Name::DtEnd
                          : icalproperty_isa(p) == ICAL_RECURRENCEID_PROPERTY ? Name::RecurrenceId
                          : icalproperty_isa(p) == ICAL_RDATE_PROPERTY        ? Name::RDate
                          : icalproperty_isa(p) == ICAL_EXDATE_PROPERTY       ? Name::ExDate
                                                                              : Name::Trigger;
        bool unknown = false;
        const icaltimetype t = zoned(p, raw, b, &unknown);
        if (unknown) {
            icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
            const QString id = QString::fromUtf8(icalparameter_get_tzid(tzid));
            throw failAt(lineOf(b, name,
                                [&](icalproperty* alone) {
                                    icalparameter* z = icalproperty_get_first_parameter(
                                        alone, ICAL_TZID_PARAMETER);
                                    return z && id == QString::fromUtf8(icalparameter_get_tzid(z));
                                }),
                         QStringLiteral("不认识 %1 的时区 %2").arg(QLatin1String(what), id));
        }
        const QString value = valueText(p);
        auto sameValue = [&](icalproperty* alone) {
            return valueText(alone) == value;
        };
        if (!Ics::exists(raw))
            throw failAt(
                lineOf(b, name, sameValue),
                QStringLiteral("%1 的日期或时间不存在：%2").arg(QLatin1String(what), value));
        if (!Ics::inYears(m_zones.toLocal(t)))
            throw failAt(
                lineOf(b, name, sameValue),
                QStringLiteral("%1 不在 1900 至 9999 年之间：%2").arg(QLatin1String(what), value));
        return t;
    }

    // ---- events ----

    void event(const Ics::Block& b)
    {
        EventRead read = readEvent(b);
        icalcomponent* e = read.event.c;
        icalproperty* dtstart = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
        if (!dtstart) {
            if (read.emptyStart >= 0)
                throw failAt(m_lines[read.emptyStart].number, QStringLiteral("DTSTART 没有值"));
            if (holds(b, Name::DtStart))
                throw failAt(lineOf(b, Name::DtStart), QStringLiteral("DTSTART 无法读取"));
            throw failAt(m_lines[b.first].number, QStringLiteral("事件没有 DTSTART"));
        }
        const icaltimetype raw = icalproperty_get_dtstart(dtstart);
        if (icaltime_is_null_time(raw))
            throw failAt(lineOf(b, Name::DtStart), QStringLiteral("DTSTART 无法读取"));
        const icaltimetype start = timeOf(dtstart, raw, b, "DTSTART");
        const Local startLocal = m_zones.toLocal(start);

        Fields f = fieldsOf(read, start, startLocal, b);
        const QString uid = uidOf(read);
        icalproperty* moved = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY);
        const bool recurring =
            !moved && (icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY) ||
                       icalcomponent_get_first_property(e, ICAL_RDATE_PROPERTY));
        if (!recurring) {
            if (moved && startLocal.date < m_from) {
                ++m_result.past; // a changed occurrence of the past, like the series'
                return;
            }
            QString rid;
            if (moved && !icaltime_is_null_time(icalproperty_get_recurrenceid(moved)))
                rid = m_zones.recurrenceIdOf(
                    timeOf(moved, icalproperty_get_recurrenceid(moved), b, "RECURRENCE-ID"));
            add(f, uid, {startLocal, start}, rid, false);
            return;
        }
        const std::vector<Occurrence> all = occurrences(e, b, start, uid);
        for (const Occurrence& o : all)
            add(f, uid, o, m_zones.recurrenceIdOf(o.time), true);
        // Kept to be written back with its occurrences: another calendar
        // then finds its own series, and the occurrences changed here as
        // overrides of it.
        if (!uid.isEmpty() && !all.empty())
            m_writer.keepSeries(uid, seriesOf(b));
    }

    // A recurring event's lines, and the time zones of its calendar that it
    // names; kept as other calendars' text is, nothing a terminal acts on.
    ScheduleData::KeptSeries seriesOf(const Ics::Block& b) const
    {
        ScheduleData::KeptSeries out;
        // QByteArray, not the builder: that would hold the line past its end.
        auto lineOf = [this](int i) -> QByteArray {
            return PlainText::singleLine(QString::fromUtf8(m_lines.text(i))).toUtf8() + "\r\n";
        };
        for (int i = b.first; i <= b.last; ++i)
            out.master.append(lineOf(i));
        static const QRegularExpression tzid(QStringLiteral("[;:]TZID=(\"[^\"]*\"|[^;:]*)"),
                                             QRegularExpression::CaseInsensitiveOption);
        QSet<QByteArray> named;
        for (auto it = tzid.globalMatch(QString::fromUtf8(out.master)); it.hasNext();) {
            QString id = it.next().captured(1);
            if (id.startsWith(QLatin1Char('"')))
                id = id.mid(1, id.size() - 2);
            named.insert(id.toUtf8());
        }
        for (const Ics::Block& z : m_lines.zones()) {
            if (z.calendar != b.calendar)
                continue;
            bool wanted = false;
            for (int i = z.first + 1; i < z.last && !wanted; ++i) {
                const QByteArrayView line = m_lines.text(i);
                if (line.size() > 4 &&
                    QByteArrayView(line.data(), 4).compare("TZID", Qt::CaseInsensitive) == 0 &&
                    (line[4] == ':' || line[4] == ';'))
                    wanted = named.contains(m_lines.value(i).trimmed().toByteArray());
            }
            if (wanted)
                for (int i = z.first; i <= z.last; ++i)
                    out.zones.append(lineOf(i));
        }
        return out;
    }

    // What every occurrence of an event shares, and what makes its end.
    struct Fields {
        Schedule schedule;
        QString description; // with the location
        bool cut = false;
        enum { NoEnd, EndsAt, EndsOn, Lasts } end = NoEnd;
        qint64 length = 0; // seconds from the start to the end; days for EndsOn
    };

    Fields fieldsOf(const EventRead& read, const icaltimetype& start, const Local& startLocal,
                    const Ics::Block& b)
    {
        icalcomponent* e = read.event.c;
        Fields f;
        Schedule& s = f.schedule;
        const QString title = PlainText::singleLine(textAt(read.texts.summary));
        s.title = Cp936::truncated(title, Ics::titleBytes);
        f.cut = s.title.size() != title.size();
        f.description = PlainText::multiLine(textAt(read.texts.description));
        const QString location = PlainText::singleLine(textAt(read.texts.location));
        if (!location.isEmpty() && !m_options.contentAlone)
            f.description += (f.description.isEmpty() ? QString() : QStringLiteral("\n")) +
                             QStringLiteral("地点：") + location;
        const QString note = PlainText::multiLine(textAt(read.texts.note));
        s.bz = Cp936::truncated(note, Ics::noteBytes);
        f.cut = f.cut || s.bz.size() != note.size();
        bool known = false;
        const int priority = trimmedValue(read.texts.priority).toInt(&known);
        if (read.texts.priority >= 0 && !known && !m_lines.hasEmptyValue(read.texts.priority))
            skipLine(read.texts.priority);
        s.yxj = priorityOf(known ? priority : 0);
        const int status = trimmedValue(read.texts.brenwickStatus).toInt(&known);
        if (known && status >= 1 && status <= 4)
            s.ztFlag = status;
        else
            s.ztFlag =
                trimmedValue(read.texts.status).compare("CANCELLED", Qt::CaseInsensitive) == 0 ? 4
                                                                                               : 1;

        // The end: a time of its own, or a length.
        if (icalproperty* dtend = icalcomponent_get_first_property(e, ICAL_DTEND_PROPERTY)) {
            const icaltimetype raw = icalproperty_get_dtend(dtend);
            if (!icaltime_is_null_time(raw)) {
                const icaltimetype end = timeOf(dtend, raw, b, "DTEND");
                const Local endLocal = m_zones.toLocal(end);
                if (start.is_date) {
                    f.end = Fields::EndsOn;
                    f.length = startLocal.date.daysTo(endLocal.date);
                } else {
                    f.end = Fields::EndsAt;
                    f.length = m_zones.utcOf(end) - m_zones.utcOf(start);
                }
            }
        } else if (icalproperty* d = icalcomponent_get_first_property(e, ICAL_DURATION_PROPERTY)) {
            const int seconds = icaldurationtype_as_int(icalproperty_get_duration(d));
            f.end = start.is_date ? Fields::EndsOn : Fields::Lasts;
            f.length = start.is_date ? seconds / 86400 : seconds;
        }
        if (f.length <= 0 || (f.end == Fields::EndsOn && f.length <= 1))
            f.end = Fields::NoEnd;

        lead(read, start, startLocal, b, s);
        return f;
    }

    // The reminder lead from the first display or audio alarm.
    void lead(const EventRead& read, const icaltimetype& start, const Local& startLocal,
              const Ics::Block& b, Schedule& s)
    {
        icalcomponent* e = read.event.c;
        // The add window's lead, kept for the day the reminder is turned on.
        s.isTx = 0;
        s.txTime = 10;
        s.txTimeFlag = 0;
        size_t alarm = 0;
        for (icalcomponent* a = icalcomponent_get_first_component(e, ICAL_VALARM_COMPONENT); a;
             a = icalcomponent_get_next_component(e, ICAL_VALARM_COMPONENT), ++alarm) {
            const QByteArrayView action = alarm < read.texts.actions.size()
                                              ? trimmedValue(read.texts.actions[alarm])
                                              : QByteArrayView();
            if (action.compare("DISPLAY", Qt::CaseInsensitive) != 0 &&
                action.compare("AUDIO", Qt::CaseInsensitive) != 0)
                continue;
            icalproperty* trigger = icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY);
            if (!trigger)
                continue;
            const icaltriggertype t = icalproperty_get_trigger(trigger);
            qint64 seconds = 0;
            const icaldurationtype* written = nullptr;
            if (!icaltime_is_null_time(t.time)) {
                // An absolute trigger and the start in the same local time:
                // a floating or all-day start is a local wall-clock.
                const icaltimetype at = timeOf(trigger, t.time, b, "TRIGGER");
                seconds = m_zones.moment(m_zones.toLocal(at))
                              .secsTo(start.zone ? QDateTime::fromSecsSinceEpoch(
                                                       m_zones.utcOf(start), m_zones.local())
                                                 : m_zones.moment(startLocal));
            } else {
                seconds = -qint64(icaldurationtype_as_int(t.duration));
                icalparameter* related =
                    icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
                if (related && icalparameter_get_related(related) == ICAL_RELATED_END)
                    seconds -= qint64(icaldurationtype_as_int(icalcomponent_get_duration(e)));
                else if (t.duration.is_neg)
                    written = &t.duration;
            }
            // A reminder at or after the start is the soonest one the program has.
            setLead(s, written, int(qMax<qint64>(1, (seconds + 30) / 60)));
            return;
        }
    }

    QString contentOf(const Fields& f, const Local& at) const
    {
        QString end;
        switch (m_options.contentAlone ? Fields::NoEnd : f.end) {
        case Fields::NoEnd:
            break;
        case Fields::EndsAt: {
            const QDateTime e = m_zones.moment(at).addSecs(f.length);
            end = QStringLiteral("结束：") +
                  (e.date() == at.date
                       ? timeText(e.time())
                       : e.date().toString(Qt::ISODate) + QLatin1Char(' ') + timeText(e.time()));
            break;
        }
        case Fields::EndsOn:
            end = QStringLiteral("结束：") + at.date.addDays(f.length - 1).toString(Qt::ISODate);
            break;
        case Fields::Lasts:
            end = QStringLiteral("时长：") + durationText(f.length);
            break;
        }
        if (end.isEmpty())
            return f.description;
        return f.description.isEmpty() ? end : f.description + QLatin1Char('\n') + end;
    }

    // ---- recurrence ----

    // A time ready to be compared with others.
    struct Point {
        icaltimetype time;
        qint64 utc;
    };
    Point pointOf(const icaltimetype& t) const { return {t, m_zones.utcOf(t)}; }

    // Two times of one occurrence: the same moment, the same day for dates,
    // the same wall-clock when one of them is floating.
    static bool sameOccurrence(const Point& a, const Point& b)
    {
        const icaltimetype &x = a.time, &y = b.time;
        if (x.is_date || y.is_date)
            return x.year == y.year && x.month == y.month && x.day == y.day;
        if (!x.zone || !y.zone)
            return x.year == y.year && x.month == y.month && x.day == y.day && x.hour == y.hour &&
                   x.minute == y.minute && x.second == y.second;
        return a.utc == b.utc;
    }

    enum class Step { Past, Taken, Gone, Beyond };

    std::vector<Occurrence> occurrences(icalcomponent* e, const Ics::Block& b,
                                        const icaltimetype& start, const QString& uid)
    {
        // Excluded dates and changed occurrences are no occurrences.
        std::vector<Point> gone;
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_EXDATE_PROPERTY))
            gone.push_back(pointOf(timeOf(p, icalproperty_get_exdate(p), b, "EXDATE")));
        const auto moved = m_moved.constFind(uid);
        if (moved != m_moved.cend())
            gone.insert(gone.end(), moved->begin(), moved->end());

        struct Found {
            Local local;
            Point point;
        };
        std::vector<Found> found;
        QSet<qint64> past; // an RDATE may fall on an occurrence of the rule
        auto consider = [&](const icaltimetype& t) {
            const Point p = pointOf(t);
            const Local l = m_zones.toLocal(t);
            if (l.date >= m_until)
                return Step::Beyond;
            for (const Point& x : gone)
                if (sameOccurrence(p, x))
                    return Step::Gone;
            if (l.date < m_from) {
                past.insert(t.is_date ? -l.date.toJulianDay() : p.utc);
                return Step::Past;
            }
            found.push_back({l, p});
            return Step::Taken;
        };

        consider(start);
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_RRULE_PROPERTY))
            expand(p, b, start, consider);
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype r = icalproperty_get_rdate(p);
            const icaltimetype t = icaltime_is_null_time(r.time) ? r.period.start : r.time;
            if (!icaltime_is_null_time(t))
                consider(timeOf(p, t, b, "RDATE"));
        }
        m_result.past += int(past.size());

        std::stable_sort(found.begin(), found.end(),
                         [](const Found& x, const Found& y) { return x.local < y.local; });
        std::vector<Occurrence> out;
        const Point* last = nullptr;
        for (size_t i = 0; i < found.size() && int(out.size()) < Ics::maxOccurrences; ++i) {
            if (last && sameOccurrence(*last, found[i].point))
                continue; // an RDATE on an occurrence of the rule
            out.push_back({found[i].local, found[i].point.time});
            last = &found[i].point;
        }
        return out;
    }

    // One RRULE's occurrences through consider, up to the horizon. A series
    // begun long ago is counted up to a limit, then taken up again the day
    // before today.
    template <class Consider>
    void expand(icalproperty* p, const Ics::Block& b, const icaltimetype& start, Consider& consider)
    {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (!icaltime_is_null_time(rule.until) && !Ics::exists(rule.until))
            throw failAt(lineOf(b, Name::RRule), QStringLiteral("RRULE 的 UNTIL 不存在"));
        if (expandLunar(rule, start, consider))
            return;
        icalrecur_iterator* it = icalrecur_iterator_new(rule, start);
        if (!it) {
            skipLine(lineIndexOf(b, Name::RRule));
            return;
        }
        int taken = 0, past = 0;
        for (qint64 step = 0; step < 10'000'000 && taken < Ics::maxOccurrences; ++step) {
            const icaltimetype t = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(t))
                break;
            if (icaltime_compare(t, start) == 0)
                continue; // the start, taken already
            const Step s = consider(t);
            if (s == Step::Beyond)
                break;
            if (s == Step::Taken)
                ++taken;
            if (s != Step::Past || ++past < Ics::maxPastCounted || rule.count != 0)
                continue;
            // Straight to the day before today: the count of the past stops here.
            icaltimetype near = start;
            const QDate day = m_from.addDays(-1);
            near.year = day.year();
            near.month = day.month();
            near.day = day.day();
            if (icaltime_compare(near, t) > 0 && icalrecur_iterator_set_start(it, near))
                m_result.pastAtLeast = true;
            past = 0;
        }
        icalrecur_iterator_free(it);
    }

    // A yearly rule of the Chinese calendar (RFC 7529: RSCALE=CHINESE, with
    // BYMONTH, leap months as "5L", BYMONTHDAY, SKIP, INTERVAL, COUNT and
    // UNTIL) through the program's lunar calendar: libical reckons it with
    // ICU's astronomy, which puts the new moon on the wrong day in twelve
    // months of 1901 to 2099 (春节 2027 and 2030 among them). False for any
    // other rule, which libical expands.
    template <class Consider>
    bool expandLunar(const icalrecurrencetype& rule, const icaltimetype& start, Consider& consider)
    {
        if (!rule.rscale || qstricmp(rule.rscale, "CHINESE") != 0 ||
            rule.freq != ICAL_YEARLY_RECURRENCE)
            return false;
        for (const short* other : {rule.by_second, rule.by_minute, rule.by_hour, rule.by_day,
                                   rule.by_year_day, rule.by_week_no, rule.by_set_pos})
            if (other[0] != ICAL_RECURRENCE_ARRAY_MAX)
                return false;
        const QDate first(start.year, start.month, start.day);
        const LunarDate lunar = Lunar::fromSolar(first);
        if (!lunar.isValid())
            return false;
        QList<LunarYearlyRule> rules;
        const LunarSkip skip = rule.skip == ICAL_SKIP_BACKWARD  ? LunarSkip::Backward
                               : rule.skip == ICAL_SKIP_FORWARD ? LunarSkip::Forward
                                                                : LunarSkip::Omit;
        QList<std::pair<int, bool>> months;
        for (int i = 0; i < ICAL_BY_MONTH_SIZE && rule.by_month[i] != ICAL_RECURRENCE_ARRAY_MAX;
             ++i)
            months.append({icalrecurrencetype_month_month(rule.by_month[i]),
                           icalrecurrencetype_month_is_leap(rule.by_month[i]) != 0});
        if (months.isEmpty())
            months.append({lunar.month, lunar.leap});
        QList<int> days;
        for (int i = 0;
             i < ICAL_BY_MONTHDAY_SIZE && rule.by_month_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
            days.append(rule.by_month_day[i]);
        if (days.isEmpty())
            days.append(lunar.day);
        for (const auto& [month, leap] : months)
            for (int day : days)
                rules.append(LunarYearlyRule{month, leap, day, skip});

        // The start is the first occurrence, and counts as one (RFC 5545 3.3.10).
        int counted = 1, taken = 0;
        const int interval = qMax(1, int(rule.interval));
        const bool until = !icaltime_is_null_time(rule.until);
        for (int year = lunar.year; year <= Lunar::lastYear; year += interval) {
            QList<QDate> dates;
            for (const LunarYearlyRule& r : std::as_const(rules)) {
                const QDate d = Lunar::yearlyOccurrence(r, year);
                if (d.isValid() && d > first)
                    dates.append(d);
            }
            std::sort(dates.begin(), dates.end());
            dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
            for (const QDate& d : std::as_const(dates)) {
                icaltimetype t = start;
                t.year = d.year();
                t.month = d.month();
                t.day = d.day();
                if (until && after(t, rule.until))
                    return true;
                if ((rule.count > 0 && ++counted > rule.count) || taken >= Ics::maxOccurrences)
                    return true;
                const Step s = consider(t);
                if (s == Step::Beyond)
                    return true;
                if (s == Step::Taken)
                    ++taken;
            }
        }
        return true;
    }

    // A time after an UNTIL: by the day where either is a date.
    bool after(const icaltimetype& t, const icaltimetype& until) const
    {
        if (t.is_date || until.is_date)
            return QDate(t.year, t.month, t.day) > QDate(until.year, until.month, until.day);
        if (!t.zone || !until.zone) // floating: wall-clocks
            return icaltime_compare(t, until) > 0;
        return m_zones.utcOf(t) > m_zones.utcOf(until);
    }

    int lineIndexOf(const Ics::Block& b, Name name) const
    {
        for (int i = b.first + 1; i < b.last; ++i)
            if (m_lines[i].name == name)
                return i;
        return b.first;
    }

    // The occurrence as the log of imports knows it.
    static QString startKey(const icaltimetype& t)
    {
        char* text = icaltime_as_ical_string_r(t);
        QString key = QString::fromLatin1(text);
        std::free(text);
        if (t.zone && !isUtc(t))
            key += QLatin1Char(';') +
                   QString::fromUtf8(icaltimezone_get_tzid(const_cast<icaltimezone*>(t.zone)));
        return key;
    }

    // ---- adding ----

    // A schedule for an occurrence, keeping the event's UID and its
    // RECURRENCE-ID (rid), unless it is here already.
    void add(const Fields& fields, const QString& uid, const Occurrence& o, const QString& rid,
             bool ofSeries)
    {
        const QString key = uid.isEmpty() ? QString() : startKey(o.time);
        Schedule s = fields.schedule;
        const QString content = contentOf(fields, o.local);
        s.content = Cp936::truncated(content, Ics::contentBytes);
        s.date = o.local.date;
        s.time = o.local.time;
        if (!uid.isEmpty() &&
            (m_done.contains(uid + QLatin1Char('\n') + key) || present(uid, rid, s))) {
            ++m_result.already;
            return;
        }
        const qint64 id = m_writer.append(s);
        ++m_result.added;
        if (fields.cut || s.content.size() != content.size())
            ++m_result.cut;
        if (!uid.isEmpty()) {
            m_done.insert(uid + QLatin1Char('\n') + key);
            m_writer.keep(id, {uid, rid, ofSeries ? Ics::importedFields(s) : QString()});
        }
    }

    // A schedule keeps this UID and RECURRENCE-ID, or is the one an export
    // made before UIDs were kept named: "<id>-<key>@brenwick", the key a
    // hash of the file's path then, which moving or restoring the file
    // since has changed. That schedule counts only while it still has the
    // event's title and start: the export may come from another file.
    bool present(const QString& uid, const QString& rid, const Schedule& s)
    {
        if (m_kept.contains(uid + QLatin1Char('\n') + rid))
            return true;
        if (!rid.isEmpty() || !uid.endsWith(QLatin1String("@brenwick")))
            return false;
        static const QRegularExpression legacy(QStringLiteral("^(\\d+)-[0-9a-f]{12}@brenwick$"));
        const QRegularExpressionMatch m = legacy.match(uid);
        if (!m.hasMatch())
            return false;
        if (!m_legacy)
            m_legacy = ScheduleData::legacySchedules(m_q);
        const auto it = m_legacy->constFind(m.captured(1).toLongLong());
        return it != m_legacy->cend() && it->title == s.title && it->date == s.date &&
               wholeSeconds(it->time) == wholeSeconds(s.time);
    }

    ContentLines& m_lines;
    DbQuery& m_q;
    ScheduleData::ImportWriter m_writer{m_q.connection()};
    const Ics::ImportOptions& m_options;
    Ics::Zones m_zones;
    Parser m_parser;
    std::vector<std::unique_ptr<Owned>> m_calendars; // each VCALENDAR's time zones
    QDate m_from, m_until;
    QSet<QString> m_done;
    QSet<QString> m_kept;
    std::optional<QHash<qint64, Schedule>> m_legacy;
    QHash<QString, std::vector<Point>> m_moved;
    Ics::Imported m_result;
    bool m_counting = true;
};
} // namespace

namespace Ics {

QString databaseKey(const QString& databaseFile)
{
    return ScheduleData::databaseKey(databaseFile);
}

Exported exportCalendar(DbQuery& q, const ExportOptions& options, const Sink& sink)
{
    const std::optional<ScheduleData::ExportSpan> span =
        ScheduleData::exportSpan(q, options.from, options.to);
    const ExportZone zone(options.localZone, span);
    Writer w(sink);
    w.line("BEGIN:VCALENDAR");
    w.line("VERSION:2.0");
    w.line("PRODID:-//Tavimor//Brenwick//ZH");
    w.line("CALSCALE:GREGORIAN");
    if (!zone.tzid.isEmpty())
        w.raw(vtimezone(zone.zone, span->first, span->last));
    const QDateTime now = Clock::now().toUTC();
    const QByteArray stamp = wallText(now.date(), now.time()) + 'Z';
    const int total = span ? span->count : 0;
    SeriesWriter series(ScheduleData::keptSeries(q), zone.tzid);
    Exported out;
    ScheduleData::forEachWithUid(
        q, options.from, options.to, [&](const Schedule& s, ScheduleData::KeptUid uid) {
            if (!w.ok())
                return;
            if (uid.uid.isEmpty()) // a row whose UID was taken from it
                uid = {ScheduleData::legacyUid(s.id, options.databaseKey), {}, {}};
            // An occurrence of an imported series: the series as it came, and
            // the occurrence as an override of it where it was changed here.
            const bool inSeries = !uid.recurrenceId.isEmpty() && series.holds(uid.uid);
            if (inSeries)
                series.write(w, uid.uid);
            if (!inSeries || uid.imported.isEmpty() || uid.imported != importedFields(s))
                writeEvent(w, s, uid, stamp, zone);
            ++out.events;
            report(options.progress, out.events, qMax(total, out.events));
        });
    w.line("END:VCALENDAR");
    out.written = w.flush();
    return out;
}

Imported importCalendar(QByteArray&& input, DbQuery& q, const ImportOptions& options)
{
    ContentLines lines(std::move(input));
    const ParserSettings settings;
    Importer importer(lines, q, options);
    return importer.run();
}

Imported importCalendar(const QByteArray& input, DbQuery& q, const ImportOptions& options)
{
    return importCalendar(QByteArray(input), q, options);
}

} // namespace Ics
