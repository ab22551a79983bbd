#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// The system's short date and long time formats, in QDate/QTime pattern
// syntax. Tests pin them ("yyyy-M-d", "HH:mm:ss") so that texts are stable.
class Formats {
public:
    static QString shortDate();
    static QString longTime();
    static void set(const QString& shortDate, const QString& longTime);
    static void reset();

    static QString dateText(const QDate& date);
    static QString timeText(const QTime& time);

    // Typed text back to a value; a text that is no date or time raises the
    // conversion error "'%s' is not a valid date" / "... time".
    static QDate parseDate(const QString& text);
    static QTime parseTime(const QString& text);

    // The long time pattern without its time-zone part ("HH:mm:ss t" -> "HH:mm:ss").
    static QString withoutTimeZone(QString pattern);
};
