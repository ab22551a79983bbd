#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// The system's short date and long time formats, in QDate/QTime pattern
// syntax. Tests pin them ("yyyy-M-d", "HH:mm:ss") so that texts are stable,
// or take a real locale's own formats.
class Formats {
public:
    static QString shortDate();
    static QString longTime();
    // Tests: pinned patterns; reset() returns to the system's.
    static void set(const QString& shortDate, const QString& longTime);
    // Tests: the formats of another locale, as if it were the system's.
    static void setLocale(const QLocale& locale);
    static void reset();

    static QString dateText(const QDate& date);
    static QString timeText(const QTime& time);
    // A date for a field the user edits: the short format with the year
    // written in full, so that what is shown reads back as the same date.
    static QString editDateText(const QDate& date);

    // Typed text back to a value; a text that is no date or time raises the
    // conversion error "'%s' is not a valid date" / "... time". A two-digit
    // year is the one nearest to today's (within 50 years either side).
    static QDate parseDate(const QString& text);
    static QTime parseTime(const QString& text);

    // The long time pattern without its time-zone part, and the brackets and
    // blanks around it ("h:mm:ss AP t" -> "h:mm:ss AP", "H:mm:ss (t)" -> "H:mm:ss").
    // The day period 'B', which the toolkit does not know, becomes AM/PM.
    static QString withoutTimeZone(QString pattern);
    // A two-digit year read as 19yy, moved to the century nearest to today's year.
    static QDate nearestCentury(const QDate& date, int todayYear);
};
