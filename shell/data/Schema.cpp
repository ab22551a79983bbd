#include "shell/data/Schema.h"

#include "shell/data/Schedules.h"

#include <iterator>

namespace Schema {

namespace {
// One step per version; a step, once released, never changes: files of its
// version exist. A new column or table is a new step at the end.
const char* const steps[] = {
    // 1: the first design's file: main (the schedules) and zjTable (one
    // work note per date). zjTable's id is for updating a row by its key; no
    // reader uses it.
    "CREATE TABLE main ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " title TEXT NOT NULL DEFAULT '',"
    " content TEXT NOT NULL DEFAULT '',"
    " rc_date REAL,"
    " rc_time REAL,"
    " yxj INTEGER NOT NULL DEFAULT 0,"
    " zt_flag INTEGER NOT NULL DEFAULT 1,"
    " is_tx INTEGER NOT NULL DEFAULT 0,"
    " tx_time INTEGER NOT NULL DEFAULT 0,"
    " tx_time_flag INTEGER NOT NULL DEFAULT 0,"
    " bz TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX main_rc_date ON main (rc_date, rc_time);"
    "CREATE TABLE zjTable ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " date REAL NOT NULL UNIQUE,"
    " zj TEXT NOT NULL DEFAULT '');",
    // 2: which calendar event became which schedule (brenwick-ics import).
    // Version 1 files the import has written to have it already.
    "create table if not exists icsImport (uid text not null, start text not null,"
    " schedule integer not null, primary key (uid, start));",
    // 3: each schedule's calendar UID, kept in the file so that it survives
    // moves and restores. A new row of main gets a random one from the
    // trigger, whoever writes it; the import writes its event's UID (and
    // the occurrence's RECURRENCE-ID) over it, hence ON CONFLICT REPLACE.
    // Rows of a file before this step get the UID the exports of that time
    // gave them at this path. Readers join with main: a row is never taken
    // for a schedule that is gone, whether the delete trigger ran or not.
    // imported: what an occurrence of a kept series held when imported. No
    // index on uid: readers take every row at once, and it would cost each
    // insert.
    "CREATE TABLE scheduleUid ("
    " schedule INTEGER PRIMARY KEY ON CONFLICT REPLACE,"
    " uid TEXT NOT NULL,"
    " recurrenceId TEXT,"
    " imported TEXT);"
    "INSERT INTO scheduleUid (schedule, uid)"
    " SELECT id, id || '-' || legacy_uid_key() || '@brenwick' FROM main;"
    // A version 4 UUID: 122 random bits, the version and the variant.
    "CREATE TRIGGER scheduleUid_made AFTER INSERT ON main BEGIN"
    " INSERT INTO scheduleUid (schedule, uid) VALUES (new.id,"
    " printf('%08x-%04x-4%03x-%04x-%012x@brenwick', random() & 4294967295,"
    " random() & 65535, random() & 4095, (random() & 16383) | 32768,"
    " random() & 281474976710655));"
    " END;"
    "CREATE TRIGGER scheduleUid_gone AFTER DELETE ON main BEGIN"
    " DELETE FROM scheduleUid WHERE schedule = old.id;"
    " END;"
    // The recurring events imported, as they came (with the time zones they
    // name), to be written back with their occurrences.
    "CREATE TABLE icsSeries ("
    " uid TEXT PRIMARY KEY ON CONFLICT REPLACE,"
    " zones TEXT NOT NULL DEFAULT '',"
    " master TEXT NOT NULL);",
    // 4: the calendar sync's own records. syncObject: each server object as
    // last synced, so that what the schedules cannot show is written back as
    // it came. syncStatus: each item's place, ETag and the hash of its
    // schedule's fields then; a change by any statement shows as a hash that
    // differs. syncState: the collection synced and its token.
    "CREATE TABLE syncObject ("
    " uid TEXT PRIMARY KEY ON CONFLICT REPLACE,"
    " ics TEXT NOT NULL);"
    "CREATE TABLE syncStatus ("
    " uid TEXT PRIMARY KEY ON CONFLICT REPLACE,"
    " href TEXT NOT NULL,"
    " etag TEXT NOT NULL,"
    " localHash TEXT NOT NULL);"
    "CREATE TABLE syncState ("
    " name TEXT PRIMARY KEY ON CONFLICT REPLACE,"
    " value TEXT NOT NULL);",
    // 5: the occurrences each recurring server object gave at its last
    // sync, so that one removed here since is told to the server (EXDATE).
    "CREATE TABLE syncOccurrence ("
    " uid TEXT NOT NULL,"
    " recurrenceId TEXT NOT NULL,"
    " PRIMARY KEY (uid, recurrenceId) ON CONFLICT IGNORE);",
};
} // namespace

DbSchema schema()
{
    DbSchema s;
    for (const char* step : steps)
        s.steps << QByteArray(step);
    // Files of the first design carry no version: they are version 1.
    s.unversioned = 1;
    s.unversionedProbe = "SELECT 1 FROM sqlite_master WHERE type='table' AND name='main'";
    s.pathValues << DbSchema::PathValue{"legacy_uid_key", &ScheduleData::databaseKey};
    return s;
}

int version()
{
    return int(std::size(steps));
}

} // namespace Schema
