#include "shell/data/Schema.h"

namespace Schema {

QByteArray sql()
{
    // zjTable's id is for updating a row by its key; no reader uses it.
    return QByteArrayLiteral("CREATE TABLE main ("
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
                             " zj TEXT NOT NULL DEFAULT '');");
}

} // namespace Schema
