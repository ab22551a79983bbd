#pragma once

// What the database layer's classes share inside the layer: value binding,
// the engine's messages, and the scoped use of the connection's file.

#include "platform/Database.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <sqlite3.h>

namespace DbDetail {
QString engineMessage(sqlite3* db);
// Jet writes "delete * from"; SQLite knows only "delete from".
QString toEngineDialect(const QString& sql);
QString quotedName(const QString& name);

// A value as the file stores it: dates and times become day numbers, text
// stays text (a null QString too: columns hold the empty text, never null).
struct StoredValue {
    DbCell::Type type = DbCell::Null;
    qint64 i = 0;
    double d = 0;
    QString s;
};
StoredValue stored(const QVariant& v);
void bind(sqlite3* db, sqlite3_stmt* stmt, int index, const QVariant& value);
[[noreturn]] void nullValue(const QString& column);
// The keys a connection string may carry; a ';' is a separator only before one of them.
bool startsWithKnownKey(QStringView rest);
bool writable(const QString& path);
} // namespace DbDetail

// Holds the connection's file for the length of a scope.
class DbUse {
public:
    explicit DbUse(DbConnection& c)
        : m_c(c)
        , m_db(c.handle())
    {
        ++m_c.m_uses;
    }
    ~DbUse() { m_c.endUse(); }
    DbUse(const DbUse&) = delete;
    DbUse& operator=(const DbUse&) = delete;
    sqlite3* db() const { return m_db; }

private:
    DbConnection& m_c;
    sqlite3* m_db;
};

// A prepared statement. Those the layer builds itself are kept prepared for
// the next use while the file stays open; the program's own texts vary with
// the ids spliced into them and are prepared afresh.
class DbStatement {
public:
    DbStatement(DbConnection& c, sqlite3* db, const QString& sql, bool keep = false)
        : m_c(c)
        , m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (keep) {
            auto it = c.m_cached.find(utf8);
            if (it != c.m_cached.end() && it.value()) {
                m_stmt = it.value();
                it.value() = nullptr; // taken: a nested use prepares its own
                m_key = utf8;
                return;
            }
        }
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) !=
            SQLITE_OK)
            c.raise();
        if (keep)
            m_key = utf8;
    }
    ~DbStatement()
    {
        if (!m_key.isEmpty() && m_c.m_db == m_db) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            sqlite3_stmt*& slot = m_c.m_cached[m_key];
            if (!slot) {
                slot = m_stmt;
                return;
            }
        }
        sqlite3_finalize(m_stmt);
    }
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    DbConnection& m_c;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QByteArray m_key;
};
