#include "platform/Formats.h"

#include "platform/AppError.h"
#include "platform/Clock.h"

#include <optional>

namespace {
struct Pinned {
    QString shortDate;
    QString longTime;
    std::optional<QLocale> locale;
};

Pinned& pinned()
{
    static Pinned p;
    return p;
}

// Asking the system for its locale at every formatted value shows in a tree
// of ten thousand rows.
const QLocale& locale()
{
    static const QLocale system = QLocale::system();
    return pinned().locale ? *pinned().locale : system;
}

// Pattern letters outside quotes, one at a time.
template <class F> QString mapUnquoted(const QString& pattern, F f)
{
    QString out;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
        } else if (quoted) {
            out += c;
        } else {
            out += f(c);
        }
    }
    return out;
}

bool hasFullYear(const QString& pattern)
{
    return pattern.contains(QLatin1String("yyyy"));
}

QString withFullYear(const QString& pattern)
{
    if (hasFullYear(pattern) || !pattern.contains(QLatin1String("yy")))
        return pattern;
    QString out = pattern;
    out.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return out;
}
} // namespace

QString Formats::withoutTimeZone(QString pattern)
{
    QString out = mapUnquoted(pattern, [](QChar c) -> QString {
        if (c == QLatin1Char('t'))
            return QString();
        if (c == QLatin1Char('B')) // the day period: morning, afternoon, evening
            return QStringLiteral("AP");
        return QString(c);
    });
    // Brackets that held only the zone go with the blanks around them.
    for (const char* empty : {"[]", "()", "（）", "【】"}) {
        const QString e = QString::fromUtf8(empty);
        int at;
        while ((at = out.indexOf(e)) >= 0)
            out.remove(at, e.size());
    }
    return out.simplified();
}

QDate Formats::nearestCentury(const QDate& date, int todayYear)
{
    if (!date.isValid())
        return date;
    const int yy = ((date.year() % 100) + 100) % 100;
    // The year in [today - 50, today + 50) that ends in these two digits.
    int year = todayYear - 50 + ((yy - (todayYear - 50)) % 100 + 100) % 100;
    QDate moved(year, date.month(), date.day());
    if (!moved.isValid()) // 29 February of a year that has none
        moved = QDate(year, date.month(), 28);
    return moved;
}

QString Formats::shortDate()
{
    if (!pinned().shortDate.isEmpty())
        return pinned().shortDate;
    return locale().dateFormat(QLocale::ShortFormat);
}

QString Formats::longTime()
{
    if (!pinned().longTime.isEmpty())
        return pinned().longTime;
    return withoutTimeZone(locale().timeFormat(QLocale::LongFormat));
}

void Formats::set(const QString& shortDate, const QString& longTime)
{
    pinned().shortDate = shortDate;
    pinned().longTime = longTime;
}

void Formats::setLocale(const QLocale& l)
{
    pinned() = Pinned();
    pinned().locale = l;
}

void Formats::reset()
{
    pinned() = Pinned();
}

QString Formats::dateText(const QDate& date)
{
    return locale().toString(date, shortDate());
}

QString Formats::editDateText(const QDate& date)
{
    return locale().toString(date, withFullYear(shortDate()));
}

QString Formats::timeText(const QTime& time)
{
    return locale().toString(time, longTime());
}

QDate Formats::parseDate(const QString& text)
{
    const QString t = text.trimmed();
    const QString pattern = shortDate();
    QDate d = locale().toDate(t, withFullYear(pattern));
    if (!d.isValid() && !hasFullYear(pattern) && pattern.contains(QLatin1String("yy"))) {
        d = locale().toDate(t, pattern);
        d = nearestCentury(d, Clock::today().year());
    }
    if (!d.isValid()) {
        // Be forgiving: "2026-12-9" is a date in any locale.
        d = QDate::fromString(t, Qt::ISODate);
    }
    if (!d.isValid())
        throw AppError(QStringLiteral("'%1' is not a valid date").arg(text));
    return d;
}

QTime Formats::parseTime(const QString& text)
{
    const QString t = text.trimmed();
    QTime tm = locale().toTime(t, longTime());
    if (!tm.isValid()) {
        // A time typed without its seconds is still a time.
        for (const char* p : {"H:mm:ss", "H:mm", "HH:mm"}) {
            tm = QTime::fromString(t, QLatin1String(p));
            if (tm.isValid())
                break;
        }
    }
    if (!tm.isValid())
        throw AppError(QStringLiteral("'%1' is not a valid time").arg(text));
    return tm;
}
