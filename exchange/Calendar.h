#pragma once

#include "exchange/ContentLines.h"
#include "shell/data/Schedules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <functional>
#include <optional>

class DbQuery;

// Calendar exchange: schedules as iCalendar events and back, through libical.
namespace Ics {
// Called every so many events with the count done and the count in all.
using Progress = std::function<void(int done, int total)>;
// Takes the text of an export piece by piece; false once it could not be
// written, when the export stops.
using Sink = std::function<bool(QByteArrayView)>;

// What named a database in the UIDs of its schedules before each schedule
// kept its own (a hash of the file's path).
QString databaseKey(const QString& databaseFile);
// What an occurrence of a recurring event holds, as kept when it is imported.
QString importedFields(const Schedule& s);

struct ExportOptions {
    std::optional<QDate> from, to; // both included
    QString databaseKey;           // for a schedule without a kept UID
    QByteArray localZone;          // the zone schedules are kept in; empty: the system's
    Progress progress;
};
struct Exported {
    int events = 0;
    bool written = true; // false when the sink refused a piece
};
// One VEVENT per schedule, in date order, written as it is made: times in
// the local zone with its VTIMEZONE, or in UTC where the zone has no name.
// Each with the UID the schedule keeps. The occurrences of an imported
// recurring event are its series as it came, written once, and an override
// (RECURRENCE-ID) for each occurrence changed here or imported as one.
// Raises AppError for the database.
Exported exportCalendar(DbQuery& q, const ExportOptions& options, const Sink& sink);

struct ImportOptions {
    QDate today;          // recurring events add their occurrences from this day on
    QByteArray localZone; // the zone schedules are kept in; empty: the system's
    // The content is DESCRIPTION alone, as a sync maps it: no location, no
    // end, which the sync keeps in the object instead.
    bool contentAlone = false;
    Progress progress;
};
struct Imported {
    int added = 0;      // schedules added
    int already = 0;    // occurrences not added again
    int cut = 0;        // schedules whose title, content or note was cut to its limit
    int skipped = 0;    // calendar components that are not events (to-dos, journals...)
    int unreadable = 0; // properties that could not be read and were left out
    int firstUnreadableLine = 0;
    int past = 0;             // occurrences of recurring events before today, left out
    bool pastAtLeast = false; // past counts a series only up to a limit
};

// Byte limits of code page 936 the import cuts to: the program's own.
constexpr int titleBytes = fieldOf(&Schedule::title).maxBytes;
constexpr int contentBytes = fieldOf(&Schedule::content).maxBytes;
constexpr int noteBytes = fieldOf(&Schedule::bz).maxBytes;
// Occurrences of one recurring event: up to ten years ahead, at most 3,650.
constexpr int horizonYears = 10;
constexpr int maxOccurrences = 3650;
// Occurrences before today counted one by one in a series, at most.
constexpr int maxPastCounted = 10000;

// Adds one schedule per event occurrence through the data module's table.
// The caller holds the transaction. Raises ImportError for the calendar text,
// AppError for the database.
Imported importCalendar(const QByteArray& text, DbQuery& q, const ImportOptions& options);
// The same, working in the text itself instead of a copy of it.
Imported importCalendar(QByteArray&& text, DbQuery& q, const ImportOptions& options);
} // namespace Ics
