#include "platform/Formats.h"

#include "platform/AppError.h"

#include <QLocale>
#include <QRegularExpression>

namespace {
struct Pinned {
    QString shortDate;
    QString longTime;
};

Pinned& pinned()
{
    static Pinned p;
    return p;
}

// Asking the system for its locale at every formatted value shows in a tree
// of ten thousand schedules.
const QLocale& systemLocale()
{
    static const QLocale locale = QLocale::system();
    return locale;
}
} // namespace

QString Formats::withoutTimeZone(QString pattern)
{
    // 't' outside quotes is the zone name; drop it with the blanks around it.
    QString out;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.simplified();
}

QString Formats::shortDate()
{
    if (!pinned().shortDate.isEmpty())
        return pinned().shortDate;
    return systemLocale().dateFormat(QLocale::ShortFormat);
}

QString Formats::longTime()
{
    if (!pinned().longTime.isEmpty())
        return pinned().longTime;
    return withoutTimeZone(systemLocale().timeFormat(QLocale::LongFormat));
}

void Formats::set(const QString& shortDate, const QString& longTime)
{
    pinned() = {shortDate, longTime};
}

void Formats::reset()
{
    pinned() = {};
}

QString Formats::dateText(const QDate& date)
{
    return systemLocale().toString(date, shortDate());
}

QString Formats::timeText(const QTime& time)
{
    return systemLocale().toString(time, longTime());
}

QDate Formats::parseDate(const QString& text)
{
    const QString t = text.trimmed();
    QDate d = systemLocale().toDate(t, shortDate());
    if (!d.isValid()) {
        // Be forgiving about the year: users type "2026-12-9" for "yy" patterns too.
        d = QDate::fromString(t, Qt::ISODate);
    }
    if (!d.isValid())
        throw AppError(QStringLiteral("'%1' is not a valid date").arg(text));
    return d;
}

QTime Formats::parseTime(const QString& text)
{
    const QString t = text.trimmed();
    QTime tm = systemLocale().toTime(t, longTime());
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
