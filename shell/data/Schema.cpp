#include "shell/data/Schema.h"

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
    return s;
}

int version()
{
    return int(std::size(steps));
}

} // namespace Schema
