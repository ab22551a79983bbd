#pragma once

#include "shell/data/Schedules.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>
#include <optional>

class DbQuery;

// Calendar exchange: schedules as iCalendar events and back, through libical.
namespace Ics {
// Called every so many events with the count done and the count in all.
using Progress = std::function<void(int done, int total)>;

// What names a database in the UIDs of its schedules.
QString databaseKey(const QString& databaseFile);
// The UID of one schedule: the same for every export of it.
QString uidOf(qint64 id, const QString& databaseKey);

struct ExportOptions {
    std::optional<QDate> from, to; // both included
    QString databaseKey;
    Progress progress;
};
struct Exported {
    QByteArray text;
    int events = 0;
};
// One VEVENT per schedule, in date order. Raises AppError.
Exported exportCalendar(DbQuery& q, const ExportOptions& options);

struct ImportOptions {
    QDate today;          // recurring events add their occurrences from this day on
    QString databaseKey;  // events exported from this database are known by their UID
    QByteArray localZone; // the zone schedules are kept in; empty: the system's
    Progress progress;
};
struct Imported {
    int added = 0;   // schedules added
    int already = 0; // occurrences not added again
    int cut = 0;     // schedules whose title, content or note was cut to its limit
    int skipped = 0; // calendar components that are not events (to-dos, journals...)
};
// A failure with the line of the calendar text it arose at (1-based).
struct ImportError {
    int line = 0;
    QString text;
};

// Byte limits of code page 936 the import cuts to: the program's own.
constexpr int titleBytes = fieldOf(&Schedule::title).maxBytes;
constexpr int contentBytes = fieldOf(&Schedule::content).maxBytes;
constexpr int noteBytes = fieldOf(&Schedule::bz).maxBytes;
// Occurrences of one recurring event: up to ten years ahead, at most 3,650.
constexpr int horizonYears = 10;
constexpr int maxOccurrences = 3650;

// Adds one schedule per event occurrence through the data module's table.
// The caller holds the transaction. Raises ImportError for the calendar text,
// AppError for the database.
Imported importCalendar(const QByteArray& text, DbQuery& q, const ImportOptions& options);
} // namespace Ics
