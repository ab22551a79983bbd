#pragma once

// Files of earlier versions of assistant.mdb, kept as the SQL text of their
// dumps (tests/fixtures) and made into files in WAL mode, as the program
// made them.

#include <QFile>
#include <QString>
#include <sqlite3.h>

inline QByteArray fixtureSql(const QString& name)
{
    QFile f(QStringLiteral(BRENWICK_FIXTURES "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no fixture %s", qPrintable(name));
    return f.readAll();
}

// Runs the SQL on a new file at path; an empty text leaves an empty database.
inline void makeDatabase(const QString& path, const QByteArray& sql)
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    char* err = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, &err) != SQLITE_OK ||
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("cannot make %s: %s", qPrintable(path), err ? err : sqlite3_errmsg(db));
    sqlite3_close(db);
}

// One integer a statement gives on the file at path, without the program's layer.
inline int sqlValue(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    int value = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}
